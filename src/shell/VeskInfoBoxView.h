#pragma once
// The info box: a small overlay that shows an icon and a short text after an
// action (a gesture, a toggle, a find result) and then fades away by itself.
// A message stays fully visible for 0.8 s and fades over 0.4 s; a new one
// restarts the cycle. The box takes no touches: they reach the page beneath.
//
// Its class functions are also the program's shared status icons, each made
// once from the resource of its name and kept for the life of the process.
// Main thread only.

#include <string>

#include "kit/ui/Animation.h"
#include "kit/ui/Image.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/View.h"

namespace tolva {

class VeskInfoBoxView : public kit::View {
 public:
  // How long a message stays, and how long its fade takes.
  static constexpr double kShowFor = 0.8;
  static constexpr double kFadeFor = 0.4;
  static constexpr double kHideFor = 1.0;

  // Made with an icon view and a label of its own, which an interface file may replace.
  explicit VeskInfoBoxView(kit::Rect frame = {});
  ~VeskInfoBoxView() override;

  // Shows the text with the image (the fail icon when none is given).
  void twinkle(const std::string& text, kit::Image* image);
  void fadeOut();
  void _fadeout_mainThread();
  void animationDidStop(kit::Animation& animation, bool finished);

  kit::ImageView* imgView() const noexcept { return imgView_.get(); }
  void setImgView(kit::ImageView* v) { imgView_ = v; }
  kit::Label* label() const noexcept { return label_.get(); }
  void setLabel(kit::Label* l) { label_ = l; }
  // What the box shows now ("" and null without a label or icon view).
  const std::string& text() const;
  kit::Image* image() const;

  // ---- Shared status icons
  static kit::Image* sharedDoneIcon();
  static kit::Image* sharedGestureIcon();
  static kit::Image* sharedSearchIcon();
  static kit::Image* sharedFullscreenIcon();
  static kit::Image* sharedPrivateIconOnTabItem();
  static kit::Image* sharedPrivateIconSelected();
  static kit::Image* sharedPrivateIcon();
  static kit::Image* sharedDualScreenIcon();
  static kit::Image* sharedSingleScreenIcon();
  static kit::Image* sharedRotationLockIcon();
  static kit::Image* sharedRotationUnlockIcon();
  static kit::Image* sharedTrackpadIcon();
  static kit::Image* sharedTrackpadOffIcon();
  static kit::Image* sharedShowScreenshotIcon();
  static kit::Image* sharedHideScreenshotIcon();
  static kit::Image* sharedFailIcon();
  static kit::Image* sharedScrollTopIcon();
  static kit::Image* sharedScrollBottomIcon();
  static kit::Image* sharedTabLeft();
  static kit::Image* sharedTabRight();

  std::string className() const override { return "VeskInfoBoxView"; }

 private:
  kit::Ref<kit::ImageView> imgView_;
  kit::Ref<kit::Label> label_;
};

}  // namespace tolva
