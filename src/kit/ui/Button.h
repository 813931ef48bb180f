#pragma once
// A push button with a title, title colour, image and background image per
// control state. A state without its own value shows the normal state's (a
// selected+highlighted button first tries the selected state's).

#include <map>
#include <optional>
#include <string>

#include "kit/ui/Control.h"
#include "kit/ui/Image.h"
#include "kit/ui/Label.h"

namespace kit {

class Button : public Control {
 public:
  enum class Type { Custom = 0, RoundedRect = 1, DetailDisclosure = 2, InfoLight = 3, InfoDark = 4, ContactAdd = 5 };

  explicit Button(Rect frame = {}, Type type = Type::Custom);
  ~Button() override;
  static Ref<Button> buttonWithType(Type type) { return Ref<Button>(new Button({}, type)); }

  Type buttonType() const noexcept { return type_; }

  void setTitle(std::string title, unsigned state = Normal);
  // The title for the state (with the fallback above); empty when none.
  std::string titleForState(unsigned state) const;
  std::string currentTitle() const { return titleForState(state()); }
  void setTitleColor(std::optional<Color> color, unsigned state = Normal);
  std::optional<Color> titleColorForState(unsigned state) const;
  std::optional<Color> currentTitleColor() const { return titleColorForState(state()); }
  void setImage(Ref<Image> image, unsigned state = Normal);
  Image* imageForState(unsigned state) const;
  Image* currentImage() const { return imageForState(state()); }
  void setBackgroundImage(Ref<Image> image, unsigned state = Normal);
  Image* backgroundImageForState(unsigned state) const;
  Image* currentBackgroundImage() const { return backgroundImageForState(state()); }

  // Holds the title's font, alignment and shadow; its text follows currentTitle().
  Label* titleLabel();
  bool adjustsImageWhenHighlighted() const noexcept { return adjustsImage_; }
  void setAdjustsImageWhenHighlighted(bool a) { adjustsImage_ = a; }
  bool showsTouchWhenHighlighted() const noexcept { return showsTouch_; }
  void setShowsTouchWhenHighlighted(bool s) { showsTouch_ = s; }
  const EdgeInsets& contentEdgeInsets() const noexcept { return contentInsets_; }
  void setContentEdgeInsets(EdgeInsets e);
  const EdgeInsets& titleEdgeInsets() const noexcept { return titleInsets_; }
  void setTitleEdgeInsets(EdgeInsets e);
  const EdgeInsets& imageEdgeInsets() const noexcept { return imageInsets_; }
  void setImageEdgeInsets(EdgeInsets e);

  void setEnabled(bool enabled) override;
  void setSelected(bool selected) override;
  void setHighlighted(bool highlighted) override;
  Size sizeThatFits(Size size) const override;
  // A custom button shows only its image, title, background or the views put in it.
  bool drawsSomething() const override;

  std::string className() const override { return "Button"; }

 private:
  template <class M>
  static auto lookup(const M& map, unsigned state) -> const typename M::mapped_type*;
  void refreshTitle();

  Type type_;
  std::map<unsigned, std::string> titles_;
  std::map<unsigned, std::optional<Color>> titleColors_;
  std::map<unsigned, Ref<Image>> images_;
  std::map<unsigned, Ref<Image>> backgrounds_;
  Ref<Label> titleLabel_;
  bool adjustsImage_ = true;
  bool showsTouch_ = false;
  EdgeInsets contentInsets_;
  EdgeInsets titleInsets_;
  EdgeInsets imageInsets_;
};

}  // namespace kit
