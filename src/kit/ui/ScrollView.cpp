#include "kit/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

#include "kit/foundation/RunLoop.h"

namespace kit {

ScrollView::ScrollView(Rect frame) : View(frame) { setClipsToBounds(true); }

ScrollView::~ScrollView() { RunLoop::main().cancelPreviousPerformRequests(this); }

void ScrollView::setContentSize(Size s) {
  if (s == contentSize_) return;
  contentSize_ = s;
  notify(ViewChange::Content);
}

void ScrollView::setBounds(Rect b) {
  Point old = bounds().origin;
  View::setBounds(b);
  if (!(bounds().origin == old) && delegate_) delegate_->scrollViewDidScroll(*this);
}

void ScrollView::setContentOffset(Point p) {
  if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
  Rect b = bounds();
  b.origin = p;
  setBounds(b);
}

void ScrollView::setContentOffset(Point p, bool animated) {
  setContentOffset(p);
  if (!animated) return;
  WeakRef<ScrollView> weak(this);
  RunLoop::main().cancelPreviousPerformRequests(this, "scrollAnimation", nullptr);
  RunLoop::main().performAfterDelay(this, "scrollAnimation", nullptr, kAnimationDuration, [weak] {
    Ref<ScrollView> sv = weak.lock();
    if (sv && sv->delegate_) sv->delegate_->scrollViewDidEndScrollingAnimation(*sv);
  });
}

void ScrollView::setContentInset(EdgeInsets e) {
  contentInset_ = e;
  notify(ViewChange::Content);
}

void ScrollView::setScrollIndicatorInsets(EdgeInsets e) {
  indicatorInsets_ = e;
  notify(ViewChange::Appearance);
}

Point ScrollView::minimumContentOffset() const { return {-contentInset_.left, -contentInset_.top}; }

Point ScrollView::maximumContentOffset() const {
  Rect b = bounds();
  Point min = minimumContentOffset();
  double maxX = contentSize_.width + contentInset_.right - b.width();
  double maxY = contentSize_.height + contentInset_.bottom - b.height();
  return {std::max(min.x, maxX), std::max(min.y, maxY)};
}

Point ScrollView::clamp(Point p) const {
  Point lo = minimumContentOffset();
  Point hi = maximumContentOffset();
  return {std::clamp(p.x, lo.x, hi.x), std::clamp(p.y, lo.y, hi.y)};
}

void ScrollView::scrollRectToVisible(Rect rect, bool animated) {
  Rect b = bounds();
  Point o = b.origin;
  if (rect.maxX() > b.maxX()) o.x = rect.maxX() - b.width();
  if (rect.minX() < o.x) o.x = rect.minX();
  if (rect.maxY() > b.maxY()) o.y = rect.maxY() - b.height();
  if (rect.minY() < o.y) o.y = rect.minY();
  o = clamp(o);
  if (o == b.origin) return;
  setContentOffset(o, animated);
}

void ScrollView::setZoomScale(double s, bool) {
  if (!std::isfinite(s)) return;
  s = std::clamp(s, std::min(minZoom_, maxZoom_), std::max(minZoom_, maxZoom_));
  if (s == zoomScale_) return;
  zoomScale_ = s;
  notify(ViewChange::Content);
  if (delegate_) delegate_->scrollViewDidZoom(*this);
}

bool ScrollView::drag(Point translation, bool decelerate, Point velocity) {
  if (!scrollEnabled_) return false;
  Ref<ScrollView> keep(this);
  dragging_ = true;
  if (delegate_) delegate_->scrollViewWillBeginDragging(*this);
  Point to{contentOffset().x - translation.x, contentOffset().y - translation.y};
  if (!bounces_) to = clamp(to);
  setContentOffset(to);
  Point target = clamp(contentOffset());
  if (delegate_) delegate_->scrollViewWillEndDragging(*this, velocity, &target);
  dragging_ = false;
  if (delegate_) delegate_->scrollViewDidEndDragging(*this, decelerate);
  if (decelerate) {
    decelerating_ = true;
    if (delegate_) delegate_->scrollViewWillBeginDecelerating(*this);
    setContentOffset(target);
    decelerating_ = false;
    if (delegate_) delegate_->scrollViewDidEndDecelerating(*this);
  } else {
    // Springs back into range.
    Point rest = clamp(contentOffset());
    if (!(rest == contentOffset())) setContentOffset(rest);
  }
  return true;
}

bool ScrollView::pinchZoom(double scale) {
  if (!delegate_) return false;
  Ref<ScrollView> keep(this);
  View* zoomed = delegate_->viewForZoomingInScrollView(*this);
  if (!zoomed) return false;
  zooming_ = true;
  delegate_->scrollViewWillBeginZooming(*this, zoomed);
  setZoomScale(scale);
  zooming_ = false;
  if (delegate_) delegate_->scrollViewDidEndZooming(*this, zoomed, zoomScale_);
  return true;
}

bool ScrollView::tapStatusBar() {
  if (!scrollsToTop_) return false;
  Ref<ScrollView> keep(this);
  if (delegate_ && !delegate_->scrollViewShouldScrollToTop(*this)) return false;
  setContentOffset({contentOffset().x, -contentInset_.top});
  WeakRef<ScrollView> weak(this);
  RunLoop::main().performAfterDelay(this, "scrollToTop", nullptr, kAnimationDuration, [weak] {
    Ref<ScrollView> sv = weak.lock();
    if (sv && sv->delegate_) sv->delegate_->scrollViewDidScrollToTop(*sv);
  });
  return true;
}

}  // namespace kit
