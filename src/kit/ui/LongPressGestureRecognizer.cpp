#include "kit/ui/LongPressGestureRecognizer.h"

namespace kit {

bool LongPressGestureRecognizer::press(Point location) { return press(location, touchesRequired_); }

bool LongPressGestureRecognizer::press(Point location, size_t touches) {
  if (touches != touchesRequired_ || state() != State::Possible) return false;
  if (!start(location, touches)) return false;
  setState(State::Began);
  return true;
}

void LongPressGestureRecognizer::move(Point location) { moveTo(State::Changed, location); }

void LongPressGestureRecognizer::lift(Point location) { moveTo(State::Ended, location); }

void LongPressGestureRecognizer::lift() { moveTo(State::Ended, locationInView(view())); }

void LongPressGestureRecognizer::cancel() { moveTo(State::Cancelled, locationInView(view())); }

bool LongPressGestureRecognizer::fire(Point location) {
  if (!press(location)) return false;
  lift(location);
  return true;
}

}  // namespace kit
