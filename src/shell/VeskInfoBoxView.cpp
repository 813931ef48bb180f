#include "shell/VeskInfoBoxView.h"

#include <map>
#include <string>
#include <string_view>

#include "kit/foundation/RunLoop.h"
#include "kit/ui/Image.h"
#include "kit/ui/Layer.h"

namespace tolva {
namespace {

// One icon per resource name (of type "png"), decoded on first use and
// kept. A name with "@2x" is the double-density picture of the stem.
kit::Image* stockIcon(const char* resource) {
  static std::map<std::string, kit::Ref<kit::Image>> icons;
  kit::Ref<kit::Image>& icon = icons[resource];
  if (!icon) {
    std::string name = resource;
    constexpr std::string_view kDouble = "@2x";
    bool doubled = name.size() > kDouble.size() && name.compare(name.size() - kDouble.size(), kDouble.size(), kDouble) == 0;
    icon = kit::Image::imageNamed(doubled ? name.substr(0, name.size() - kDouble.size()) : name);
    // A missing picture shows as a blank icon rather than none.
    if (!icon) icon = kit::Image::imageWithSize({32, 32});
    icon->setName(resource);
  }
  return icon.get();
}

}  // namespace

VeskInfoBoxView::VeskInfoBoxView(kit::Rect frame)
    : kit::View(frame), imgView_(new kit::ImageView()), label_(new kit::Label()) {
  setUserInteractionEnabled(false);
  addSubview(imgView_.get());
  addSubview(label_.get());
  setHidden(true);
}

VeskInfoBoxView::~VeskInfoBoxView() { kit::RunLoop::main().cancelPreviousPerformRequests(this); }

const std::string& VeskInfoBoxView::text() const {
  static const std::string none;
  return label_ ? label_->text() : none;
}

kit::Image* VeskInfoBoxView::image() const { return imgView_ ? imgView_->image() : nullptr; }

void VeskInfoBoxView::twinkle(const std::string& text, kit::Image* image) {
  // A fade in progress stops at once (and clears the old icon before the new one is set).
  layer()->removeAllAnimations();
  if (label_) label_->setText(text);
  if (imgView_) imgView_->setImage(kit::Ref<kit::Image>(image ? image : sharedFailIcon()));
  setHidden(false);
  setAlpha(1);
  // A fade that has not begun yet belongs to the previous message.
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
  kit::WeakRef<VeskInfoBoxView> weak(this);
  kit::RunLoop::performOnMainThread([weak] {
    if (kit::Ref<VeskInfoBoxView> box = weak.lock()) box->_fadeout_mainThread();
  });
}

void VeskInfoBoxView::_fadeout_mainThread() {
  kit::RunLoop::main().performAfterDelay(this, "fadeOut", nullptr, kShowFor, [this] { fadeOut(); });
}

void VeskInfoBoxView::fadeOut() {
  kit::Layer* l = layer();
  kit::WeakRef<VeskInfoBoxView> weak(this);

  kit::Ref<kit::Animation> opacity = kit::Animation::animationWithKeyPath("opacity");
  opacity->setFromValue(1.0);
  opacity->setToValue(0.0);
  opacity->setTimingFunction(kit::TimingFunction::EaseInEaseOut);
  opacity->setDuration(kFadeFor);
  opacity->setStopCallback([weak](kit::Animation& a, bool finished) {
    if (kit::Ref<VeskInfoBoxView> box = weak.lock()) box->animationDidStop(a, finished);
  });
  l->addAnimation(opacity, "opa");
  l->setOpacity(0);

  kit::Ref<kit::Animation> hidden = kit::Animation::animationWithKeyPath("hidden");
  hidden->setFromValue(false);
  hidden->setToValue(true);
  hidden->setTimingFunction(kit::TimingFunction::EaseInEaseOut);
  hidden->setDuration(kHideFor);
  l->addAnimation(hidden, "hid");
  l->setHidden(true);
}

void VeskInfoBoxView::animationDidStop(kit::Animation&, bool) {
  if (imgView_) imgView_->setImage(nullptr);
}

kit::Image* VeskInfoBoxView::sharedDoneIcon() { return stockIcon("info_done"); }
kit::Image* VeskInfoBoxView::sharedGestureIcon() { return stockIcon("info_gesture"); }
kit::Image* VeskInfoBoxView::sharedSearchIcon() { return stockIcon("info_search"); }
kit::Image* VeskInfoBoxView::sharedFullscreenIcon() { return stockIcon("info_fullscreen"); }
kit::Image* VeskInfoBoxView::sharedPrivateIconOnTabItem() { return stockIcon("secret_on_tab"); }
kit::Image* VeskInfoBoxView::sharedPrivateIconSelected() { return stockIcon("secret_selected@2x"); }
kit::Image* VeskInfoBoxView::sharedPrivateIcon() { return stockIcon("info_secret"); }
kit::Image* VeskInfoBoxView::sharedDualScreenIcon() { return stockIcon("info_dualscreen"); }
kit::Image* VeskInfoBoxView::sharedSingleScreenIcon() { return stockIcon("info_singlescreen"); }
kit::Image* VeskInfoBoxView::sharedRotationLockIcon() { return stockIcon("info_lock_rotation"); }
kit::Image* VeskInfoBoxView::sharedRotationUnlockIcon() { return stockIcon("info_unlock_rotation"); }
kit::Image* VeskInfoBoxView::sharedTrackpadIcon() { return stockIcon("info_trackpad"); }
kit::Image* VeskInfoBoxView::sharedTrackpadOffIcon() { return stockIcon("info_trackpadoff"); }
kit::Image* VeskInfoBoxView::sharedShowScreenshotIcon() { return stockIcon("info_showscreenshot"); }
kit::Image* VeskInfoBoxView::sharedHideScreenshotIcon() { return stockIcon("info_hidescreenshot"); }
kit::Image* VeskInfoBoxView::sharedFailIcon() { return stockIcon("info_fail"); }
kit::Image* VeskInfoBoxView::sharedScrollTopIcon() { return stockIcon("info_scroll_top"); }
kit::Image* VeskInfoBoxView::sharedScrollBottomIcon() { return stockIcon("info_scroll_bottom"); }
kit::Image* VeskInfoBoxView::sharedTabLeft() { return stockIcon("info_left_tab"); }
kit::Image* VeskInfoBoxView::sharedTabRight() { return stockIcon("info_right_tab"); }

}  // namespace tolva
