#pragma once
// The layer behind a view, or a free layer added to one (a gradient, say).
//
// A view's own layer shares the view's state: its position is the view's
// centre, its bounds the view's bounds, its opacity the view's alpha; setting
// either side changes both and is reported once through the view observer.
// Free sublayers are drawn above the view's background and below its
// subviews, in order; they are not the subviews' layers (those stay with
// their views). A free layer reports its changes as ViewChange::Layer on the
// view it ends up under.
//
// Animations are kept by key: adding one under a key in use stops the old one
// (not finished); after its duration on kit's clock an animation stops
// (finished) and is removed unless told otherwise. Headless, the layer shows
// its model values at once.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/Object.h"
#include "kit/ui/Animation.h"
#include "kit/ui/Color.h"
#include "kit/ui/Geometry.h"

namespace kit {

class View;

class Layer : public Object {
 public:
  Layer();
  ~Layer() override;
  static Ref<Layer> layer() { return Ref<Layer>(new Layer()); }

  // The view this layer backs; null for a free layer.
  View* view() const noexcept { return view_; }
  // The view whose tree this layer is part of (its own or its superlayer's).
  View* hostView() const;

  Point position() const noexcept { return position_; }
  void setPosition(Point p);
  Rect bounds() const noexcept { return bounds_; }
  void setBounds(Rect b);
  // Position and bounds as a rectangle in the superlayer (anchor at the centre).
  Rect frame() const;
  void setFrame(Rect f);
  double opacity() const noexcept { return opacity_; }
  void setOpacity(double o);
  bool isHidden() const noexcept { return hidden_; }
  void setHidden(bool h);
  const std::optional<Color>& backgroundColor() const noexcept { return background_; }
  void setBackgroundColor(std::optional<Color> c);
  bool masksToBounds() const noexcept { return masksToBounds_; }
  void setMasksToBounds(bool m);
  double cornerRadius() const noexcept { return cornerRadius_; }
  void setCornerRadius(double r);
  double borderWidth() const noexcept { return borderWidth_; }
  void setBorderWidth(double w);
  const std::optional<Color>& borderColor() const noexcept { return borderColor_; }
  void setBorderColor(std::optional<Color> c);
  // A shadow cast by what the layer shows (its background, or a label's
  // text), blurred by the radius; none while the opacity is 0.
  Color shadowColor() const noexcept { return shadowColor_; }
  void setShadowColor(Color c);
  Size shadowOffset() const noexcept { return shadowOffset_; }
  void setShadowOffset(Size s);
  double shadowRadius() const noexcept { return shadowRadius_; }
  void setShadowRadius(double r);
  double shadowOpacity() const noexcept { return shadowOpacity_; }
  void setShadowOpacity(double o);

  // ---- Sublayers
  const std::vector<Ref<Layer>>& sublayers() const noexcept { return sublayers_; }
  Layer* superlayer() const noexcept { return superlayer_; }
  void addSublayer(Layer* layer);
  // Index 0 is the bottom; past the end adds on top.
  void insertSublayer(Layer* layer, size_t index);
  void removeFromSuperlayer();

  // ---- Animations
  // An empty key adds an animation that cannot be looked up or replaced by key.
  void addAnimation(Ref<Animation> animation, const std::string& key);
  Animation* animationForKey(const std::string& key) const;
  std::vector<std::string> animationKeys() const;
  // Stops the animation (not finished).
  void removeAnimation(const std::string& key);
  void removeAllAnimations();

  std::string className() const override { return "Layer"; }

 protected:
  // Reports a change of a free layer (or of this layer's own styling).
  void changed();

 private:
  friend class View;
  friend class Window;
  struct Running;
  void stop(const std::string& key, bool finished);

  View* view_ = nullptr;
  Layer* superlayer_ = nullptr;
  Point position_;
  Rect bounds_;
  double opacity_ = 1;
  bool hidden_ = false;
  std::optional<Color> background_;
  bool masksToBounds_ = false;
  double cornerRadius_ = 0;
  double borderWidth_ = 0;
  std::optional<Color> borderColor_;
  Color shadowColor_ = Color::blackColor();
  Size shadowOffset_{0, -3};
  double shadowRadius_ = 3;
  double shadowOpacity_ = 0;
  std::vector<Ref<Layer>> sublayers_;
  std::map<std::string, Ref<Animation>> animations_;
  unsigned long anonymous_ = 0;
};

}  // namespace kit
