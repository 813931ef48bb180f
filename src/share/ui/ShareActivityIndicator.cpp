#include "share/ui/ShareActivityIndicator.h"

#include <cmath>
#include <numbers>

#include "kit/foundation/RunLoop.h"
#include "kit/ui/Application.h"
#include "kit/ui/Layer.h"
#include "kit/ui/ViewAnimation.h"
#include "kit/ui/Window.h"

namespace tolva {
namespace {

constexpr const char* kHideAction = "hide";

}  // namespace

ShareActivityIndicator* ShareActivityIndicator::currentIndicator() {
  static ShareActivityIndicator* instance = [] {
    auto* v = new ShareActivityIndicator();
    v->retain();  // kept for the life of the process
    return v;
  }();
  return instance;
}

ShareActivityIndicator::ShareActivityIndicator() {
  kit::Window* key = kit::Application::sharedApplication()->keyWindow();
  const kit::Rect bounds = key ? key->bounds() : kit::Rect{};
  setFrame({std::round(bounds.width() / 2 - kSize / 2), std::round(bounds.height() / 2 - kSize / 2), kSize, kSize});
  setBackgroundColor(kit::Color::rgba(0, 0, 0, 0.5));
  setOpaque(false);
  layer()->setCornerRadius(10);
  setUserInteractionEnabled(false);
  setAutoresizesSubviews(true);
  setAutoresizingMask(FlexibleLeftMargin | FlexibleRightMargin | FlexibleTopMargin | FlexibleBottomMargin);
  setAlpha(0);
  setProperRotation(false);
  rotationToken_ = kit::NotificationCenter::defaultCenter().addObserver(
      kit::Application::kDidChangeStatusBarOrientationNotification, nullptr,
      [this](const kit::Notification&) { setProperRotation(); });
}

void ShareActivityIndicator::show() {
  kit::Window* key = kit::Application::sharedApplication()->keyWindow();
  if (key && superview() != key) key->addSubview(this);
  kit::RunLoop::main().cancelPreviousPerformRequests(this, kHideAction, nullptr);
  kit::ViewAnimation::animate(kShowDuration, [this] { setAlpha(1); });
}

void ShareActivityIndicator::persist() {
  kit::RunLoop::main().cancelPreviousPerformRequests(this, kHideAction, nullptr);
  kit::ViewAnimation::beginAnimations("persist");
  kit::ViewAnimation::setAnimationBeginsFromCurrentState(true);
  kit::ViewAnimation::setAnimationDuration(kPersistDuration);
  setAlpha(1);
  kit::ViewAnimation::commitAnimations();
}

void ShareActivityIndicator::hideAfterDelay() {
  kit::RunLoop::main().performAfterDelay(this, kHideAction, nullptr, kHideDelay, [this] { hide(); });
}

void ShareActivityIndicator::hide() {
  kit::Ref<ShareActivityIndicator> keep(this);
  kit::ViewAnimation::animate(kHideDuration, [this] { setAlpha(0); }, [keep](bool) { keep->hidden(); });
}

void ShareActivityIndicator::hidden() {
  if (alpha() > 0) return;
  removeFromSuperview();
}

void ShareActivityIndicator::showOrPersist() {
  if (superview())
    persist();
  else
    show();
}

void ShareActivityIndicator::displayActivity(const std::string& text) {
  setSubMessage(&text);
  showSpinner();
  if (centerMessageLabel_) centerMessageLabel_->removeFromSuperview();
  centerMessageLabel_ = nullptr;
  showOrPersist();
}

void ShareActivityIndicator::displayCompleted(const std::string& text) {
  const std::string check = "\u2713";
  setCenterMessage(&check);
  setSubMessage(&text);
  if (spinner_) spinner_->removeFromSuperview();
  spinner_ = nullptr;
  showOrPersist();
  hideAfterDelay();
}

kit::Ref<kit::Label> ShareActivityIndicator::makeLabel(kit::Rect frame, double fontSize) const {
  auto label = kit::make<kit::Label>(frame);
  label->setFont(kit::Font::boldSystemFont(fontSize));
  label->setTextColor(kit::Color::whiteColor());
  label->setTextAlignment(kit::TextAlignment::Center);
  label->setBackgroundColor(kit::Color::clearColor());
  label->setShadowColor(kit::Color::darkGrayColor());
  label->setShadowOffset({1, 1});
  label->setAdjustsFontSizeToFitWidth(true);
  return label;
}

void ShareActivityIndicator::setCenterMessage(const std::string* text) {
  if (!text) {
    centerMessageLabel_ = nullptr;
    return;
  }
  const kit::Rect b = bounds();
  if (!centerMessageLabel_) centerMessageLabel_ = makeLabel({12, std::round(b.height() / 2 - 25), b.width() - 24, 50}, 40);
  addSubview(centerMessageLabel_.get());
  centerMessageLabel_->setText(*text);
}

void ShareActivityIndicator::setSubMessage(const std::string* text) {
  if (!text) {
    subMessageLabel_ = nullptr;
    return;
  }
  const kit::Rect b = bounds();
  if (!subMessageLabel_) subMessageLabel_ = makeLabel({12, b.height() - 45, b.width() - 24, 30}, 17);
  addSubview(subMessageLabel_.get());
  subMessageLabel_->setText(*text);
}

void ShareActivityIndicator::showSpinner() {
  if (!spinner_) {
    spinner_ = kit::make<kit::ActivityIndicatorView>(kit::ActivityIndicatorView::Style::WhiteLarge);
    const kit::Rect b = bounds();
    const kit::Rect f = spinner_->frame();
    spinner_->setFrame({std::round(b.width() / 2 - f.width() / 2), std::round(b.height() / 2 - f.height() / 2),
                        f.width(), f.height()});
  }
  addSubview(spinner_.get());
  spinner_->startAnimating();
}

void ShareActivityIndicator::setProperRotation(bool animate) {
  double angle = 0;
  switch (kit::Application::sharedApplication()->statusBarOrientation()) {
    case kit::InterfaceOrientation::Portrait: angle = 0; break;
    case kit::InterfaceOrientation::PortraitUpsideDown: angle = std::numbers::pi; break;
    case kit::InterfaceOrientation::LandscapeRight: angle = std::numbers::pi / 2; break;
    case kit::InterfaceOrientation::LandscapeLeft: angle = -std::numbers::pi / 2; break;
    default: return;
  }
  if (animate) {
    kit::ViewAnimation::beginAnimations("rotation");
    kit::ViewAnimation::setAnimationDuration(kRotationDuration);
  }
  setTransform(kit::AffineTransform::rotation(angle));
  if (animate) kit::ViewAnimation::commitAnimations();
}

}  // namespace tolva
