#pragma once
// Stand-in for a trackpad: it keeps the page it drives and its position
// ratio, and moves back to that ratio when it lies outside its reference
// view (the view it is placed in). Scrolling by touch comes with the real pad.

#include "kit/ui/View.h"

namespace tolva {

class VeskWebView;

class VeskTrackPadView : public kit::View {
 public:
  explicit VeskTrackPadView(kit::Rect frame = {}) : kit::View(frame) {}

  VeskWebView* veskView() const noexcept { return veskView_; }
  void setVeskView(VeskWebView* page) { veskView_ = page; }
  kit::Point positionRatio() const noexcept { return positionRatio_; }
  bool bPostionRatioValid() const noexcept { return bPostionRatioValid_; }
  // Puts the pad's origin at the ratio of the superview's size.
  void setPositionRatio(kit::Point ratio);
  void recoverWhenItsOutsideUsingRatio();

  std::string className() const override { return "VeskTrackPadView"; }

 private:
  void moveToRatio();
  VeskWebView* veskView_ = nullptr;  // not owned
  kit::Point positionRatio_;
  bool bPostionRatioValid_ = false;
};

}  // namespace tolva
