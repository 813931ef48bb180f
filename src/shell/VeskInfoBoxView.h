#pragma once
// Stand-in for the info box: it shows a message with an icon (the fail icon
// when none is given) and keeps them on display; the fade-out comes with the
// real box. The stock icons are blank images named after their resources.

#include <string>

#include "kit/ui/Image.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/View.h"

namespace tolva {

class VeskInfoBoxView : public kit::View {
 public:
  explicit VeskInfoBoxView(kit::Rect frame = {});

  void twinkle(const std::string& text, kit::Image* image);
  const std::string& text() const { return label_->text(); }
  kit::Image* image() const { return icon_->image(); }

  static kit::Image* sharedFailIcon();
  static kit::Image* sharedDualScreenIcon();
  static kit::Image* sharedSingleScreenIcon();
  static kit::Image* sharedTrackpadIcon();
  static kit::Image* sharedTrackpadOffIcon();
  static kit::Image* sharedShowScreenshotIcon();
  static kit::Image* sharedHideScreenshotIcon();
  static kit::Image* sharedPrivateIconSelected();

  std::string className() const override { return "VeskInfoBoxView"; }

 private:
  kit::Ref<kit::Label> label_;
  kit::Ref<kit::ImageView> icon_;
};

}  // namespace tolva
