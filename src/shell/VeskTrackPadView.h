#pragma once
// A small round pad laid over the page, with a ball that follows the
// finger. Holding the finger off the point where it went down scrolls the
// page on a 0.05 s timer, faster the further off it is (sign·d²/50 points
// a tick); a mostly vertical drag locks to vertical scrolling. A double tap
// runs the configured action on the page; a double tap followed by a drag
// moves the pad itself within the page's area, and its place is kept as a
// ratio of that area ("opt_trackpad_positionRatio1x"/"...1y" for the pad
// with tag 0, "...2x"/"...2y" for the other).
//
// The reference view is the page view's web view when a page view is set,
// else the pad's superview. The timer runs only while a finger is down and
// the pad is shown; it never outlives the pad or its page view. Main
// thread only.

#include "kit/foundation/Timer.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/View.h"

namespace tolva {

class VeskWebView;

class VeskTrackPadView : public kit::View {
 public:
  static constexpr double kTimerInterval = 0.05;
  static constexpr double kTouchedAlpha = 0.55;
  static constexpr double kIdleAlpha = 0.15;
  // Consecutive vertical moves after which the pad scrolls only vertically.
  static constexpr int kVerticalLockMoves = 5;
  // How far a double tap may wander and still run the action.
  static constexpr int kDoubleTapSlop = 4;
  static constexpr double kComebackDuration = 0.2;

  explicit VeskTrackPadView(kit::Rect frame = {});
  ~VeskTrackPadView() override;

  VeskWebView* veskView() const;
  // Another page (or none) stops any scrolling in progress.
  void setVeskView(VeskWebView* page);
  kit::ImageView* trackBg() const noexcept { return trackBg_.get(); }
  void setTrackBg(kit::Ref<kit::ImageView> v) { trackBg_ = std::move(v); }
  kit::ImageView* trackBall() const noexcept { return trackBall_.get(); }
  void setTrackBall(kit::Ref<kit::ImageView> v) { trackBall_ = std::move(v); }
  kit::ImageView* trackBgMove() const noexcept { return trackBgMove_.get(); }
  void setTrackBgMove(kit::Ref<kit::ImageView> v) { trackBgMove_ = std::move(v); }
  kit::Timer* timer() const noexcept { return timer_.get(); }
  void setTimer(kit::Ref<kit::Timer> t);

  kit::Point positionRatio() const noexcept { return positionRatio_; }
  bool bPostionRatioValid() const noexcept { return bPostionRatioValid_; }
  // Puts the pad's origin at that fraction of the reference view's size.
  // A ratio that is not finite or lies outside 0..1 is ignored.
  void setPositionRatio(kit::Point ratio);
  // Back to the ratio when the pad lies partly outside the reference view.
  void recoverWhenItsOutsideUsingRatio();
  // Moves the pad's origin (superview coordinates) as far as the reference view allows.
  void moveTrackpad(kit::Point origin);
  static double distanceBetween(kit::Point a, kit::Point b);
  // One scroll step.
  void timerMethod(kit::Timer& timer);

  // Current speeds (points per tick) and the vertical lock (0 or 1).
  int gScrollX() const noexcept { return gScrollX_; }
  int gScrollY() const noexcept { return gScrollY_; }
  int gDirectionLocked() const noexcept { return gDirectionLocked_; }

  void setHidden(bool hidden) override;
  void didMoveToWindow() override;
  // The pad is round: a touch outside its disc goes to what lies beneath.
  bool pointInside(kit::Point p, kit::Event* event) const override;
  void touchesBegan(const kit::Touches& touches, kit::Event* event) override;
  void touchesMoved(const kit::Touches& touches, kit::Event* event) override;
  void touchesEnded(const kit::Touches& touches, kit::Event* event) override;
  void touchesCancelled(const kit::Touches& touches, kit::Event* event) override;

  std::string className() const override { return "VeskTrackPadView"; }

 private:
  kit::View* referenceView() const;
  void moveToRatio();
  void setSuperviewScrolling(bool enabled);
  void showScrollIndicator(bool show);
  void finishTouch(kit::Point at);
  void endTouch();
  void stopScrolling();

  kit::WeakRef<VeskWebView> veskView_;
  kit::Ref<kit::ImageView> trackBg_;
  kit::Ref<kit::ImageView> trackBall_;
  kit::Ref<kit::ImageView> trackBgMove_;
  kit::Ref<kit::Timer> timer_;
  kit::Point gPtStart_;
  kit::Point gCurPt_;
  int gScrollX_ = 0;
  int gScrollY_ = 0;
  int gDirectionLocked_ = 0;
  int gRepeatCountX_ = 0;
  int gRepeatCountY_ = 0;
  int lastTapCount_ = 0;
  kit::Point positionRatio_;
  bool bPostionRatioValid_ = false;
  bool bMoved_ = false;
  bool touching_ = false;
};

}  // namespace tolva
