#include "shell/VeskJogDialView.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "kit/ui/Animation.h"
#include "kit/ui/Application.h"
#include "kit/ui/Layer.h"
#include "kit/ui/Touch.h"
#include "data/VeskBookmarkDatabase.h"

namespace tolva {
namespace {

constexpr double kTwoPi = 2 * VeskJogDialView::kPi;

// Where the finger was at the last step; one for all dials (one finger turns one dial).
kit::Point gReference;

kit::Point locationIn(const kit::Touches& touches, const kit::View* view) {
  return touches.empty() ? kit::Point{} : touches.front()->locationInView(view);
}

}  // namespace

VeskJogDialView::VeskJogDialView(kit::Rect frame) : kit::View(frame) {
  setMultipleTouchEnabled(false);
  setUp();
}

VeskJogDialView::~VeskJogDialView() {
  observers_.clear();
  delegate_ = nullptr;
}

void VeskJogDialView::awakeFromNib() { setUp(); }

void VeskJogDialView::setUp() {
  auto& center = kit::NotificationCenter::defaultCenter();
  observers_.clear();
  observers_.push_back(center.addObserver(kit::Application::kDidReceiveMemoryWarningNotification, nullptr,
                                          [this](const kit::Notification&) { squeezeMemory(); }));
  // From the store's shared instance, whichever it is at the time (the store can be dropped and made again).
  observers_.push_back(center.addObserver(kVeskBookmarkDatabaseUpdateNotification, nullptr,
                                          [this](const kit::Notification& note) {
                                            if (dynamic_cast<VeskBookmarkDatabase*>(note.object())) bookmarkUpdated();
                                          }));
  hasCancelBtn_ = true;
  setCurSel(0);
}

int VeskJogDialView::itemCount() const {
  int items = delegate_ ? static_cast<int>(delegate_->VeskJogDialViewNumberOfItems(const_cast<VeskJogDialView&>(*this))) : 0;
  return items + (hasCancelBtn_ ? 1 : 0);
}

int VeskJogDialView::btnCount() const {
  if (btnCount_ > 0) return btnCount_;
  int asked = delegate_ ? static_cast<int>(delegate_->VeskJogDialNumberOfButtonsOnJogdial(const_cast<VeskJogDialView&>(*this))) : 0;
  return asked > 0 ? asked : kDefaultButtons;
}

void VeskJogDialView::setLeftSided(bool left) {
  if (left == leftSided_) return;
  leftSided_ = left;
  selectRadius_ = kPi;
  setJogBg(nullptr);
  setBtnArray({});
  setCurSel(0);
}

int VeskJogDialView::discSide() const {
  const kit::Size size = bounds().size;
  return static_cast<int>(std::min(size.width, size.height));
}

kit::ImageView* VeskJogDialView::jogBg() {
  if (!jogBg_) {
    const kit::Size size = bounds().size;
    const double s = discSide();
    const kit::Point origin = size.width <= size.height ? kit::Point{0, (size.height - s) / 2}
                                                         : kit::Point{(size.width - s) / 2, 0};
    jogBg_ = kit::make<kit::ImageView>(kit::Rect(origin.x, origin.y, s, s));
    jogBg_->setContentMode(ContentMode::ScaleToFill);
    jogBg_->setImage(kit::Image::imageNamed("jogdial_bg"));
    jogBg_->setUserInteractionEnabled(false);
    addSubview(jogBg_.get());
  }
  return jogBg_.get();
}

void VeskJogDialView::setJogBg(kit::Ref<kit::ImageView> bg) {
  if (jogBg_) jogBg_->removeFromSuperview();
  jogBg_ = std::move(bg);
  turn_ = 0;
  if (jogBg_) addSubview(jogBg_.get());
}

const std::vector<kit::Ref<kit::ImageView>>& VeskJogDialView::btnArray() {
  const int n = btnCount();
  // A ring built before the delegate said how many buttons it wants is built again.
  if (btnArray_.size() != static_cast<size_t>(n)) setBtnArray({});
  if (btnArray_.empty()) {
    const int h = discSide() / 2;
    const double radius = h - kRingInset;
    kit::ImageView* disc = jogBg();
    for (int i = 0; i < n; ++i) {
      const double step = kTwoPi * i / n;
      const double a = selectRadius_ + step;
      auto button = kit::make<kit::ImageView>(kit::Rect(0, 0, kButtonSide, kButtonSide));
      button->setCenter({h + radius * std::cos(a), h + radius * std::sin(a)});
      button->setContentMode(ContentMode::Center);
      button->setTransform(kit::AffineTransform::rotation(step + selectRadius_ + (leftSided_ ? kPi : 0)));
      disc->addSubview(button.get());
      btnArray_.push_back(std::move(button));
    }
  }
  return btnArray_;
}

void VeskJogDialView::setBtnArray(std::vector<kit::Ref<kit::ImageView>> buttons) {
  for (auto& b : btnArray_) b->removeFromSuperview();
  btnArray_ = std::move(buttons);
  if (!btnArray_.empty()) {
    kit::ImageView* disc = jogBg();
    for (auto& b : btnArray_) disc->addSubview(b.get());
  }
}

void VeskJogDialView::setCurSel(int p) {
  const int items = itemCount();
  if (p < 0 || p >= items) return;
  const int n = btnCount();
  const int half = n / 2;
  const int previous = curSel_;
  if (std::abs(p - previous) > 1) setBtnArray({});
  curSel_ = p;
  const auto& buttons = btnArray();
  if (items > n) {
    if (previous < p)
      buttons[(p + n - half - 1) % n]->setImage(nullptr);
    else if (previous > p)
      buttons[(p + n - half) % n]->setImage(nullptr);
  } else {
    for (int k = items; k < n; ++k) buttons[k]->setImage(nullptr);
  }
  show(p);
  if (delegate_) delegate_->VeskJogDialViewPositionChanged(*this, hasCancelBtn_ ? p - 1 : p);
}

void VeskJogDialView::show(int p) {
  const int items = itemCount();
  const int n = btnCount();
  const int half = n / 2;
  const auto& buttons = btnArray();
  if (items > n) {
    auto fillAt = [&](int k) {
      const int button = ((p + k) % n + n) % n;
      const int item = ((p + k) % items + items) % items;
      fillButton(*buttons[button], item);
    };
    for (int k = 0; k <= n - half - 1; ++k) fillAt(k);
    for (int k = -1; k >= -half; --k) fillAt(k);
  } else {
    for (int k = 0; k < items; ++k) fillButton(*buttons[k], k);
  }

  kit::ImageView* disc = jogBg();
  const double to = -kTwoPi * (p % n) / n;
  kit::Ref<kit::Animation> rotate = kit::Animation::animationWithKeyPath("transform");
  rotate->setFromValue(turn_);
  rotate->setToValue(to);
  rotate->setTimingFunction(kit::TimingFunction::EaseInEaseOut);
  rotate->setDuration(kTurnDuration);
  disc->layer()->addAnimation(rotate, "rotate");
  disc->setTransform(kit::AffineTransform::rotation(to));
  turn_ = to;
}

void VeskJogDialView::fillButton(kit::ImageView& button, int item) {
  if (button.image() || !delegate_) return;
  if (hasCancelBtn_ && item == 0)
    button.setImage(delegate_->VeskJogDialViewCancelImage(*this));
  else
    button.setImage(delegate_->VeskJogDialViewImageAtIndex(*this, hasCancelBtn_ ? item - 1 : item));
}

void VeskJogDialView::bookmarkUpdated() {
  for (auto& b : btnArray_) b->setImage(nullptr);
  // Fewer items than before must not leave the selection past the end.
  const int last = itemCount() - 1;
  if (last < 0) return;
  curSel_ = std::min(curSel_, last);
  setCurSel(curSel_);
}

void VeskJogDialView::layoutSubviews() {
  // A disc built for another size (the dial was made before its frame was
  // set, or was resized) is built again, with its buttons.
  if (!jogBg_ || jogBg_->bounds().size.width == discSide()) return;
  setJogBg(nullptr);
  setBtnArray({});
  if (curSel_ < itemCount()) show(curSel_);
}

void VeskJogDialView::cancelWarmup() { gReference = {}; }

void VeskJogDialView::touchesBegan(const kit::Touches& touches, kit::Event*) { gReference = locationIn(touches, this); }

void VeskJogDialView::touchesMoved(const kit::Touches& touches, kit::Event*) {
  const kit::Point at = locationIn(touches, this);
  const int dx = static_cast<int>(at.x - gReference.x);
  const int dy = static_cast<int>(at.y - gReference.y);
  const kit::Size size = bounds().size;
  int direction;
  int distance;
  if (std::abs(dy) < std::abs(dx)) {
    if (leftSided_)
      direction = at.y > size.height / 2 ? -1 : 1;
    else
      direction = at.y < size.height / 2 ? 1 : -1;
    distance = dx;
  } else {
    if (leftSided_)
      direction = at.x > size.width / 2 ? 1 : -1;
    else
      direction = at.x < size.width / 2 ? -1 : 1;
    distance = dy;
  }
  if (distance > 0) direction = -direction;
  if (std::abs(distance) < kStepDistance) return;
  setCurSel(curSel_ + direction);
  gReference = at;
}

void VeskJogDialView::touchesEnded(const kit::Touches&, kit::Event*) {}

void VeskJogDialView::touchesCancelled(const kit::Touches&, kit::Event*) {}

}  // namespace tolva
