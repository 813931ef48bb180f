#include "kit/ui/PanGestureRecognizer.h"

namespace kit {

bool PanGestureRecognizer::begin(Point location, size_t touches) {
  if (touches < minTouches_ || touches > maxTouches_ || state() != State::Possible) return false;
  if (!start(location, touches)) return false;
  translation_ = {};
  at_ = location;
  setState(State::Began);
  return true;
}

void PanGestureRecognizer::moveBy(Point delta) {
  if (state() != State::Began && state() != State::Changed) return;
  translation_ = translation_ + delta;
  at_ = at_ + delta;
  moveTo(State::Changed, at_);
}

void PanGestureRecognizer::end() { moveTo(State::Ended, at_); }

void PanGestureRecognizer::cancel() { moveTo(State::Cancelled, at_); }

bool PanGestureRecognizer::pan(Point from, Point to, size_t touches) {
  if (!begin(from, touches)) return false;
  moveBy(to - from);
  end();
  return true;
}

}  // namespace kit
