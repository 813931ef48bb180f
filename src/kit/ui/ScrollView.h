#pragma once
// A view whose content is larger than itself. The content offset is the
// bounds origin; the content inset adds room around the content. The
// delegate hears of scrolling, dragging, deceleration and zooming.
//
// A user's scrolling is acted out with drag() (and, with deceleration,
// a fling), pinchZoom() and tapStatusBar(). Animated scrolling moves at once
// and reports the end of the animation kAnimationDuration later on kit's clock.

#include "kit/ui/View.h"

namespace kit {

class ScrollView;

class ScrollViewDelegate {
 public:
  virtual ~ScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(ScrollView& sv) { (void)sv; }
  virtual void scrollViewWillBeginDragging(ScrollView& sv) { (void)sv; }
  // May change *targetContentOffset, where the content comes to rest.
  virtual void scrollViewWillEndDragging(ScrollView& sv, Point velocity, Point* targetContentOffset) {
    (void)sv;
    (void)velocity;
    (void)targetContentOffset;
  }
  virtual void scrollViewDidEndDragging(ScrollView& sv, bool decelerate) {
    (void)sv;
    (void)decelerate;
  }
  virtual void scrollViewWillBeginDecelerating(ScrollView& sv) { (void)sv; }
  virtual void scrollViewDidEndDecelerating(ScrollView& sv) { (void)sv; }
  virtual void scrollViewDidEndScrollingAnimation(ScrollView& sv) { (void)sv; }
  virtual View* viewForZoomingInScrollView(ScrollView& sv) {
    (void)sv;
    return nullptr;
  }
  virtual void scrollViewWillBeginZooming(ScrollView& sv, View* view) {
    (void)sv;
    (void)view;
  }
  virtual void scrollViewDidZoom(ScrollView& sv) { (void)sv; }
  virtual void scrollViewDidEndZooming(ScrollView& sv, View* view, double scale) {
    (void)sv;
    (void)view;
    (void)scale;
  }
  virtual bool scrollViewShouldScrollToTop(ScrollView& sv) {
    (void)sv;
    return true;
  }
  virtual void scrollViewDidScrollToTop(ScrollView& sv) { (void)sv; }
};

class ScrollView : public View {
 public:
  static constexpr double kAnimationDuration = 0.3;

  explicit ScrollView(Rect frame = {});
  ~ScrollView() override;

  Size contentSize() const noexcept { return contentSize_; }
  void setContentSize(Size s);
  Point contentOffset() const { return bounds().origin; }
  void setContentOffset(Point p);
  void setContentOffset(Point p, bool animated);
  const EdgeInsets& contentInset() const noexcept { return contentInset_; }
  virtual void setContentInset(EdgeInsets e);
  const EdgeInsets& scrollIndicatorInsets() const noexcept { return indicatorInsets_; }
  void setScrollIndicatorInsets(EdgeInsets e);
  // The offsets the content may rest at (the content plus its inset, at least the bounds).
  Point minimumContentOffset() const;
  Point maximumContentOffset() const;
  // Scrolls just enough for `rect` (content coordinates) to be visible.
  void scrollRectToVisible(Rect rect, bool animated);
  void flashScrollIndicators() { ++flashes_; }
  int flashCount() const noexcept { return flashes_; }

  bool isScrollEnabled() const noexcept { return scrollEnabled_; }
  void setScrollEnabled(bool e) { scrollEnabled_ = e; }
  bool bounces() const noexcept { return bounces_; }
  void setBounces(bool b) { bounces_ = b; }
  bool alwaysBounceVertical() const noexcept { return bounceVertical_; }
  void setAlwaysBounceVertical(bool b) { bounceVertical_ = b; }
  bool alwaysBounceHorizontal() const noexcept { return bounceHorizontal_; }
  void setAlwaysBounceHorizontal(bool b) { bounceHorizontal_ = b; }
  bool isPagingEnabled() const noexcept { return paging_; }
  void setPagingEnabled(bool p) { paging_ = p; }
  bool showsHorizontalScrollIndicator() const noexcept { return showsH_; }
  void setShowsHorizontalScrollIndicator(bool s) { showsH_ = s; }
  bool showsVerticalScrollIndicator() const noexcept { return showsV_; }
  void setShowsVerticalScrollIndicator(bool s) { showsV_ = s; }
  bool scrollsToTop() const noexcept { return scrollsToTop_; }
  void setScrollsToTop(bool s) { scrollsToTop_ = s; }
  bool isDirectionalLockEnabled() const noexcept { return directionalLock_; }
  void setDirectionalLockEnabled(bool d) { directionalLock_ = d; }
  bool delaysContentTouches() const noexcept { return delaysTouches_; }
  void setDelaysContentTouches(bool d) { delaysTouches_ = d; }
  bool canCancelContentTouches() const noexcept { return cancelsTouches_; }
  void setCanCancelContentTouches(bool c) { cancelsTouches_ = c; }

  double zoomScale() const noexcept { return zoomScale_; }
  // Clamped to the minimum and maximum; reports didZoom when it changes.
  void setZoomScale(double s, bool animated = false);
  double minimumZoomScale() const noexcept { return minZoom_; }
  void setMinimumZoomScale(double s) { minZoom_ = s; }
  double maximumZoomScale() const noexcept { return maxZoom_; }
  void setMaximumZoomScale(double s) { maxZoom_ = s; }
  bool bouncesZoom() const noexcept { return bouncesZoom_; }
  void setBouncesZoom(bool b) { bouncesZoom_ = b; }

  bool isTracking() const noexcept { return dragging_; }
  bool isDragging() const noexcept { return dragging_; }
  bool isDecelerating() const noexcept { return decelerating_; }
  bool isZooming() const noexcept { return zooming_; }

  ScrollViewDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(ScrollViewDelegate* d) { delegate_ = d; }

  // ---- A user's scrolling
  // The finger moves by `translation` (the content follows it, so the offset
  // moves the other way). Without bounces the offset stays in range. With
  // `decelerate` the content then glides to where willEndDragging leaves the
  // target; otherwise it springs back into range. Answers false when scrolling is off.
  bool drag(Point translation, bool decelerate = false, Point velocity = {});
  // Zooms the delegate's zooming view to `scale` (clamped); false without one.
  bool pinchZoom(double scale);
  // A tap on the status bar; answers whether it scrolled to the top.
  bool tapStatusBar();

  void setBounds(Rect bounds) override;

  std::string className() const override { return "ScrollView"; }

 private:
  Point clamp(Point p) const;

  Size contentSize_;
  EdgeInsets contentInset_;
  EdgeInsets indicatorInsets_;
  bool scrollEnabled_ = true;
  bool bounces_ = true;
  bool bounceVertical_ = false;
  bool bounceHorizontal_ = false;
  bool paging_ = false;
  bool showsH_ = true;
  bool showsV_ = true;
  bool scrollsToTop_ = true;
  bool directionalLock_ = false;
  bool delaysTouches_ = true;
  bool cancelsTouches_ = true;
  double zoomScale_ = 1;
  double minZoom_ = 1;
  double maxZoom_ = 1;
  bool bouncesZoom_ = true;
  bool dragging_ = false;
  bool decelerating_ = false;
  bool zooming_ = false;
  int flashes_ = 0;
  ScrollViewDelegate* delegate_ = nullptr;
};

}  // namespace kit
