#include "shell/VeskScreenBrightnessJogDialDelegate.h"

namespace tolva {

void VeskScreenBrightnessJogDialDelegate::VeskJogDialViewPositionChanged(VeskJogDialView&, long index) {
  if (!overlay_) return;
  if (index == 0) {
    overlay_->setHidden(true);
    return;
  }
  overlay_->setHidden(false);
  overlay_->setAlpha(index / 10.0);  // the cancel position (-1) clamps to clear
}

}  // namespace tolva
