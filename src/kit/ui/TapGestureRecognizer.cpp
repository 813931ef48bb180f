#include "kit/ui/TapGestureRecognizer.h"

namespace kit {

bool TapGestureRecognizer::tap(Point location, size_t touches, size_t taps) {
  if (touches != touchesRequired_ || taps != taps_) return false;
  if (!start(location, touches)) return false;
  setState(State::Ended);
  return true;
}

}  // namespace kit
