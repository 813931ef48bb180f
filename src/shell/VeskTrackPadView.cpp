#include "shell/VeskTrackPadView.h"

namespace tolva {

void VeskTrackPadView::setPositionRatio(kit::Point ratio) {
  positionRatio_ = ratio;
  bPostionRatioValid_ = true;
  moveToRatio();
}

void VeskTrackPadView::recoverWhenItsOutsideUsingRatio() {
  kit::View* ref = superview();
  if (!bPostionRatioValid_ || !ref) return;
  if (!ref->bounds().contains(frame())) moveToRatio();
}

void VeskTrackPadView::moveToRatio() {
  kit::View* ref = superview();
  if (!ref) return;
  kit::Rect b = ref->bounds();
  kit::Rect f = frame();
  f.origin = {b.origin.x + b.size.width * positionRatio_.x, b.origin.y + b.size.height * positionRatio_.y};
  setFrame(f);
}

}  // namespace tolva
