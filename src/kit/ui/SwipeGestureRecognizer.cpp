#include "kit/ui/SwipeGestureRecognizer.h"

namespace kit {

bool SwipeGestureRecognizer::swipe(Direction d, size_t touches, Point location) {
  if (!(direction_ & d) || touches != touchesRequired_) return false;
  if (!start(location, touches)) return false;
  setState(State::Ended);
  return true;
}

bool SwipeGestureRecognizer::fire(Point location) {
  for (unsigned bit : {Right, Left, Up, Down}) {
    if (direction_ & bit) return swipe(static_cast<Direction>(bit), touchesRequired_, location);
  }
  return false;
}

}  // namespace kit
