#include "shell/VeskJogDialView.h"

namespace tolva {

void VeskJogDialView::setLeftSided(bool left) {
  if (left == leftSided_) return;
  leftSided_ = left;
  setCurSel(0);
}

void VeskJogDialView::setCurSel(long position) {
  curSel_ = position;
  if (delegate_) delegate_->VeskJogDialViewPositionChanged(*this, hasCancelBtn_ ? position - 1 : position);
}

}  // namespace tolva
