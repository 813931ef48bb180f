#include "shell/VeskTrackPadView.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/VeskMiscObject.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Animation.h"
#include "kit/ui/Layer.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/Touch.h"
#include "shell/UIViewAnimated.h"
#include "shell/UIWebViewExpand.h"
#include "shell/VeskProgressIndicatorView.h"
#include "shell/VeskWebView.h"

namespace tolva {
namespace {

// sign(d)·d²/50 in whole points: nothing below 8 points off, then quickly faster.
int speedFor(int d) {
  const int speed = d * d / 50;
  return d < 0 ? -speed : speed;
}

kit::Point locationIn(const kit::Touches& touches, const kit::View* view) {
  return touches.empty() ? kit::Point{} : touches.front()->locationInView(view);
}

bool usableRatio(double r) { return std::isfinite(r) && r >= 0 && r <= 1; }

}  // namespace

VeskTrackPadView::VeskTrackPadView(kit::Rect frame) : kit::View(frame) {}

VeskTrackPadView::~VeskTrackPadView() {
  if (timer_) timer_->invalidate();
}

VeskWebView* VeskTrackPadView::veskView() const { return veskView_.lock().get(); }

void VeskTrackPadView::setVeskView(VeskWebView* page) {
  if (page == veskView()) return;
  endTouch();  // on the old page: its indicator goes
  veskView_ = page;
}

void VeskTrackPadView::setTimer(kit::Ref<kit::Timer> t) {
  if (timer_ && timer_ != t) timer_->invalidate();
  timer_ = std::move(t);
}

kit::View* VeskTrackPadView::referenceView() const {
  // The page's web view, or the place it will take: asking must not make a
  // web view (and its web process) for a page that is not shown yet.
  if (VeskWebView* page = veskView()) {
    if (kit::WebView* web = page->existingWebView()) return web;
    if (kit::View* place = page->placeholderView()) return place;
  }
  return superview();
}

// ---- Position

void VeskTrackPadView::setPositionRatio(kit::Point ratio) {
  if (!usableRatio(ratio.x) || !usableRatio(ratio.y)) return;
  positionRatio_ = ratio;
  bPostionRatioValid_ = true;
  moveToRatio();
}

void VeskTrackPadView::moveToRatio() {
  kit::View* ref = referenceView();
  kit::View* parent = superview();
  if (!ref || !parent) return;
  const kit::Size size = ref->bounds().size;
  kit::Rect f = frame();
  f.origin = ref->convertPointToView({size.width * positionRatio_.x, size.height * positionRatio_.y}, parent);
  setFrame(f);
}

void VeskTrackPadView::recoverWhenItsOutsideUsingRatio() {
  kit::View* ref = referenceView();
  kit::View* parent = superview();
  if (!bPostionRatioValid_ || !ref || !parent) return;
  if (!ref->bounds().contains(parent->convertRectToView(frame(), ref))) moveToRatio();
}

void VeskTrackPadView::moveTrackpad(kit::Point origin) {
  kit::View* ref = referenceView();
  kit::View* parent = superview();
  if (!ref || !parent) return;
  const kit::Rect b = ref->bounds();
  const kit::Size size = frame().size;
  const kit::Point o = parent->convertPointToView(origin, ref);
  double x = std::max(o.x, b.x());
  x = std::min(x, b.maxX() - size.width);
  double y = std::max(o.y, b.y());
  y = std::min(y, b.maxY() - size.height);
  // An empty reference view has no ratio to give: the last one stands.
  if (b.width() > 0 && b.height() > 0) {
    positionRatio_ = {x / b.width(), y / b.height()};
    bPostionRatioValid_ = true;
  }

  // Keep to the third of the page the pad sits in when the page resizes.
  const double cx = x + size.width / 2, cy = y + size.height / 2;
  unsigned mask = 0;
  if (cx < b.x() + b.width() / 3)
    mask |= FlexibleRightMargin;
  else if (cx < b.x() + 2 * b.width() / 3)
    mask |= FlexibleLeftMargin | FlexibleRightMargin;
  else
    mask |= FlexibleLeftMargin;
  if (cy < b.y() + b.height() / 3)
    mask |= FlexibleBottomMargin;
  else if (cy < b.y() + 2 * b.height() / 3)
    mask |= FlexibleTopMargin | FlexibleBottomMargin;
  else
    mask |= FlexibleTopMargin;
  setAutoresizingMask(mask);
  setFrame(ref->convertRectToView(kit::Rect(x, y, size.width, size.height), parent));
}

double VeskTrackPadView::distanceBetween(kit::Point a, kit::Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// ---- Touches

void VeskTrackPadView::setSuperviewScrolling(bool enabled) {
  if (auto* sv = dynamic_cast<kit::ScrollView*>(superview())) sv->setScrollEnabled(enabled);
}

void VeskTrackPadView::showScrollIndicator(bool show) {
  VeskWebView* page = veskView();
  VeskProgressIndicatorView* indicator = page ? page->customScrollIndicator() : nullptr;
  if (!indicator) return;
  if (show) indicator->updateProgress();
  UIViewAnimated::setHidden(*indicator, !show, true);
}

bool VeskTrackPadView::pointInside(kit::Point p, kit::Event*) const {
  const kit::Rect b = bounds();
  const double r = std::min(b.width(), b.height()) / 2;
  const kit::Point c = b.center();
  return (p.x - c.x) * (p.x - c.x) + (p.y - c.y) * (p.y - c.y) <= r * r;
}

void VeskTrackPadView::touchesBegan(const kit::Touches& touches, kit::Event*) {
  touching_ = true;
  bMoved_ = false;
  setSuperviewScrolling(false);
  if (trackBg_) trackBg_->setAlpha(kTouchedAlpha);
  lastTapCount_ = touches.empty() ? 1 : touches.front()->tapCount();
  gPtStart_ = locationIn(touches, this);
  gCurPt_ = gPtStart_;
  showScrollIndicator(true);
}

void VeskTrackPadView::touchesMoved(const kit::Touches& touches, kit::Event*) {
  if (!touching_) return;
  const kit::Point c = locationIn(touches, this);
  gCurPt_ = c;
  const int dx = static_cast<int>(c.x - gPtStart_.x);
  const int dy = static_cast<int>(c.y - gPtStart_.y);

  if (lastTapCount_ == 2 && referenceView() && (dx != 0 || dy != 0)) {
    bMoved_ = true;
    if (trackBgMove_) trackBgMove_->setHidden(false);
    const kit::Point o = frame().origin;
    moveTrackpad({o.x + dx, o.y + dy});
    return;
  }

  gScrollX_ = speedFor(dx);
  gScrollY_ = speedFor(dy);
  if (gDirectionLocked_ == 0) {
    if (std::abs(gScrollY_) >= 3 && gScrollX_ == 0) {
      gRepeatCountX_ = 0;
      if (++gRepeatCountY_ > kVerticalLockMoves) gDirectionLocked_ = 1;
    } else if (gScrollY_ == 0 && std::abs(gScrollX_) >= 3) {
      gRepeatCountY_ = 0;
      ++gRepeatCountX_;
    }
  }

  if (!timer_) {
    kit::WeakRef<VeskTrackPadView> weak(this);
    timer_ = kit::Timer::scheduledTimer(kTimerInterval, true, [weak](kit::Timer& t) {
      if (kit::Ref<VeskTrackPadView> pad = weak.lock())
        pad->timerMethod(t);
      else
        t.invalidate();
    });
  }

  // The ball stays on the pad: past the rim it sits on the rim towards the finger.
  const kit::Point m{bounds().size.width / 2, bounds().size.height / 2};
  const double radius = trackBg_ ? trackBg_->bounds().size.height / 2 : m.y;
  const double d = distanceBetween(c, m);
  kit::Point ball = c;
  if (d > radius) {
    ball = {m.x + radius * (c.x - m.x) / d, m.y + radius * (c.y - m.y) / d};
    gCurPt_ = ball;
  }
  if (trackBall_) trackBall_->setCenter(ball);
}

void VeskTrackPadView::touchesEnded(const kit::Touches& touches, kit::Event*) { finishTouch(locationIn(touches, this)); }

void VeskTrackPadView::touchesCancelled(const kit::Touches& touches, kit::Event*) {
  finishTouch(locationIn(touches, this));
}

void VeskTrackPadView::finishTouch(kit::Point at) {
  if (!touching_) return;
  VeskWebView* page = veskView();
  const bool stayed = std::abs(static_cast<int>(at.x - gPtStart_.x)) <= kDoubleTapSlop &&
                      std::abs(static_cast<int>(at.y - gPtStart_.y)) <= kDoubleTapSlop;
  if (page && lastTapCount_ == 2 && !bMoved_ && stayed) {
    kit::WeakRef<VeskWebView> weak(page);
    kit::Ref<kit::Number> code = kit::Number::numberWithInt(VeskMiscObject::sharedInstance()->opt_double_tab_scroll2());
    kit::RunLoop::performOnMainThread([weak, code] {
      if (kit::Ref<VeskWebView> p = weak.lock()) p->handleActionFromOutside(code.get());
    });
  }
  endTouch();
}

// The touch is over, lifted or not (the pad lost its page, was hidden or
// left the window): nothing of it may stay on show, and a move is kept.
void VeskTrackPadView::endTouch() {
  if (!touching_) return;
  showScrollIndicator(false);
  if (bMoved_ && bPostionRatioValid_) {
    kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
    const bool first = tag() == 0;
    defaults.setFloat(static_cast<float>(positionRatio_.x),
                      first ? "opt_trackpad_positionRatio1x" : "opt_trackpad_positionRatio2x");
    defaults.setFloat(static_cast<float>(positionRatio_.y),
                      first ? "opt_trackpad_positionRatio1y" : "opt_trackpad_positionRatio2y");
    defaults.synchronize();
  }

  if (trackBgMove_) trackBgMove_->setHidden(true);
  if (trackBall_) {
    const kit::Point home{bounds().size.width / 2, bounds().size.height / 2};
    kit::Ref<kit::Animation> comeback = kit::Animation::animationWithKeyPath("position");
    comeback->setFromValue(trackBall_->center());
    comeback->setToValue(home);
    comeback->setTimingFunction(kit::TimingFunction::EaseInEaseOut);
    comeback->setDuration(kComebackDuration);
    trackBall_->layer()->addAnimation(comeback, "comeback");
    trackBall_->setCenter(home);
  }
  stopScrolling();
}

// Back to idle: no speed, no lock, no timer.
void VeskTrackPadView::stopScrolling() {
  if (touching_) {
    setSuperviewScrolling(true);
    if (trackBg_) trackBg_->setAlpha(kIdleAlpha);
  }
  touching_ = false;
  gScrollX_ = gScrollY_ = 0;
  gDirectionLocked_ = 0;
  gRepeatCountX_ = gRepeatCountY_ = 0;
  setTimer(nullptr);
}

void VeskTrackPadView::setHidden(bool hidden) {
  if (hidden) endTouch();
  kit::View::setHidden(hidden);
}

void VeskTrackPadView::didMoveToWindow() {
  if (!window()) endTouch();
}

// ---- Scrolling

void VeskTrackPadView::timerMethod(kit::Timer&) {
  VeskWebView* page = veskView();
  if (!page) {
    endTouch();  // the page view went away
    return;
  }
  if (gScrollX_ == 0 && gScrollY_ == 0) return;
  kit::WebView* web = page->webView();
  kit::ScrollView* sv = VeskWebView::retrieveScrollView(web);
  if (!sv) return;
  kit::Point o = sv->contentOffset();
  double x = o.x, y = o.y;
  if (gDirectionLocked_ != 1) x += gScrollX_ / 10;
  y += gScrollY_;

  // Past an end of the page the page's own scrolling elements get the move.
  const double top = -sv->contentInset().top;
  const kit::Size content = sv->contentSize(), visible = sv->bounds().size;
  if (x < 0) {
    x = 0;
    UIWebViewExpand::findScrollElementAndScroll(*web, {static_cast<double>(gScrollX_), 0});
  }
  if (y < top) y = top;
  UIWebViewExpand::findScrollElementAndScroll(*web, {0, static_cast<double>(gScrollY_)});
  // A page smaller than the view has its end at its start.
  const double maxX = std::max(0.0, content.width - visible.width);
  const double maxY = std::max(top, content.height - visible.height);
  if (x > maxX) {
    x = maxX;
    UIWebViewExpand::findScrollElementAndScroll(*web, {static_cast<double>(gScrollX_), 0});
  }
  if (y > maxY) {
    y = maxY;
    UIWebViewExpand::findScrollElementAndScroll(*web, {0, static_cast<double>(gScrollY_)});
  }
  sv->setContentOffset({x, y}, false);
  if (VeskProgressIndicatorView* indicator = page->customScrollIndicator()) indicator->updateProgress();
}

}  // namespace tolva
