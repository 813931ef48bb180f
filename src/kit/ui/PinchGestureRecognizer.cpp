#include "kit/ui/PinchGestureRecognizer.h"

namespace kit {

bool PinchGestureRecognizer::begin(Point location) {
  if (state() != State::Possible) return false;
  if (!start(location, 2)) return false;
  scale_ = 1;
  velocity_ = 0;
  setState(State::Began);
  return true;
}

void PinchGestureRecognizer::change(double scale, double velocity) {
  if (state() != State::Began && state() != State::Changed) return;
  scale_ = scale;
  velocity_ = velocity;
  setState(State::Changed);
}

void PinchGestureRecognizer::end() {
  if (state() != State::Began && state() != State::Changed) return;
  setState(State::Ended);
}

void PinchGestureRecognizer::cancel() {
  if (state() != State::Began && state() != State::Changed) return;
  setState(State::Cancelled);
}

bool PinchGestureRecognizer::pinch(double scale, Point location) {
  if (!begin(location)) return false;
  change(scale);
  end();
  return true;
}

}  // namespace kit
