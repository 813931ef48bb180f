#pragma once
// One tab of the tab strip: the tab shape, the page title, the favicon, a
// close button and, while the strip shows screenshots, a picture of the
// page. It tells its delegate (the tab manager) about a tap on the close
// button and about a double tap. Its title is red for a private tab.
//
// Made from the interface file "VeskTabItemView" ("...~iphone" on phones)
// by allocInstance(). Main thread only.

#include <string>

#include "kit/ui/Button.h"
#include "kit/ui/GestureRecognizer.h"
#include "kit/ui/Image.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/TapGestureRecognizer.h"
#include "kit/ui/View.h"
#include "shell/VeskTabItemViewDelegate.h"

namespace tolva {

class VeskTabItemView : public kit::View {
 public:
  static constexpr const char* kInterfaceFile = "VeskTabItemView";
  static constexpr const char* kPhoneInterfaceFile = "VeskTabItemView~iphone";

  explicit VeskTabItemView(kit::Rect frame = {}) : kit::View(frame) {}
  ~VeskTabItemView() override;

  // A new item from the interface file of the device's idiom, with the
  // title and frame, unselected; null when the file yields no item.
  static kit::Ref<VeskTabItemView> allocInstance(kit::Rect frame, const std::string& title);
  // The frame size of the interface file's item; zero when there is none.
  static kit::Size xibFrameSize();
  // The tab shapes and close images, made once for the life of the process.
  static kit::Image* selectedImage();
  static kit::Image* normalImage();
  static kit::Image* selectedClose();
  static kit::Image* normalClose();

  bool selected() const noexcept { return selected_; }
  void setSelected(bool selected);
  bool privateMode() const noexcept { return privateMode_; }
  void setPrivateMode(bool privateMode);
  VeskTabItemViewDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(VeskTabItemViewDelegate* d) { delegate_ = d; }
  // The title-only tab area: the bounds of tabView (the stored value is not used).
  kit::Rect tabBounds() const;
  void setTabBounds(kit::Rect r) { tabBounds_ = r; }

  void onDoubleTap(kit::GestureRecognizer& recognizer);
  // The close button's action.
  void onCloseClicked();

  // ---- Outlets
  kit::ImageView* tab_bg() const noexcept { return tab_bg_.get(); }
  kit::ImageView* glossy() const noexcept { return glossy_.get(); }
  kit::ImageView* tab_shadow() const noexcept { return tab_shadow_.get(); }
  kit::ImageView* screenShotView() const noexcept { return screenShotView_.get(); }
  kit::Label* title() const noexcept { return title_.get(); }
  kit::ImageView* faviCon() const noexcept { return faviCon_.get(); }
  kit::View* tabView() const noexcept { return tabView_.get(); }
  kit::View* screenShotBg() const noexcept { return screenShotBg_.get(); }
  kit::View* tabViewBg() const noexcept { return tabViewBg_.get(); }
  kit::Button* closeBtn() const noexcept { return closeBtn_.get(); }
  kit::ImageView* maskOnLeftBottom() const noexcept { return maskOnLeftBottom_.get(); }
  // The double-tap recogniser made when the item wakes.
  kit::TapGestureRecognizer* doubleTapRecognizer() const noexcept { return doubleTap_.get(); }

  void awakeFromNib() override;
  std::string className() const override { return "VeskTabItemView"; }

 private:
  friend class VeskTabItemViewBuilder;

  void restyleTitle();

  kit::Ref<kit::ImageView> tab_bg_, glossy_, tab_shadow_, screenShotView_;
  kit::Ref<kit::Label> title_;
  kit::Ref<kit::ImageView> faviCon_;
  kit::Ref<kit::View> tabView_, screenShotBg_, tabViewBg_;
  kit::Ref<kit::Button> closeBtn_;
  kit::Ref<kit::ImageView> maskOnLeftBottom_;
  bool selected_ = false;
  bool privateMode_ = false;
  VeskTabItemViewDelegate* delegate_ = nullptr;  // the tab manager; not owned
  kit::Rect tabBounds_;
  kit::Ref<kit::TapGestureRecognizer> doubleTap_;
};

}  // namespace tolva
