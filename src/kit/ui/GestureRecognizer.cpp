#include "kit/ui/GestureRecognizer.h"

#include <algorithm>

#include "kit/ui/Touch.h"
#include "kit/ui/View.h"
#include "kit/ui/Window.h"

namespace kit {

GestureRecognizer::GestureRecognizer(std::string actionName, Action action) {
  addTarget(std::move(actionName), std::move(action));
}

GestureRecognizer::~GestureRecognizer() = default;

void GestureRecognizer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!enabled && (state_ == State::Began || state_ == State::Changed)) setState(State::Cancelled);
}

void GestureRecognizer::addTarget(std::string actionName, Action action) {
  if (!action) return;
  for (auto& t : targets_) {
    if (t.name == actionName) {
      t.action = std::move(action);
      return;
    }
  }
  targets_.push_back({std::move(actionName), std::move(action)});
}

void GestureRecognizer::removeTarget(const std::string& actionName) {
  if (actionName.empty()) {
    targets_.clear();
    return;
  }
  targets_.erase(std::remove_if(targets_.begin(), targets_.end(), [&](const Target& t) { return t.name == actionName; }),
                 targets_.end());
}

std::vector<std::string> GestureRecognizer::actionNames() const {
  std::vector<std::string> names;
  for (auto& t : targets_) names.push_back(t.name);
  return names;
}

void GestureRecognizer::requireGestureRecognizerToFail(GestureRecognizer* other) { requiredToFail_ = other; }

Point GestureRecognizer::locationInView(const View* view) const {
  if (!view_) return location_;
  return view_->convertPointToView(location_, view);
}

bool GestureRecognizer::canRecognizeSimultaneously(GestureRecognizer& a, GestureRecognizer& b) {
  if (a.delegate_ && a.delegate_->gestureRecognizerShouldRecognizeSimultaneously(a, b)) return true;
  if (b.delegate_ && b.delegate_->gestureRecognizerShouldRecognizeSimultaneously(b, a)) return true;
  return false;
}

bool GestureRecognizer::start(Point location, size_t touches) {
  if (!enabled_ || !view_ || state_ != State::Possible) return false;
  location_ = location;
  touches_ = touches;
  Ref<GestureRecognizer> keep(this);
  auto fail = [this] {
    setState(State::Failed);
    return false;
  };
  if (delegate_) {
    Point inWindow = view_->convertPointToView(location, nullptr);
    Ref<Touch> touch(new Touch(view_->window(), view_, inWindow));
    if (!delegate_->gestureRecognizerShouldReceiveTouch(*this, *touch)) return fail();
  }
  // Another recogniser of the view already in its gesture keeps the touches
  // unless the two may recognise together.
  Ref<View> view(view_);
  for (auto& other : view->gestureRecognizers()) {
    if (other.get() == this) continue;
    if (other->state_ != State::Began && other->state_ != State::Changed) continue;
    if (!canRecognizeSimultaneously(*this, *other)) return fail();
  }
  if (delegate_ && !delegate_->gestureRecognizerShouldBegin(*this)) return fail();
  return true;
}

void GestureRecognizer::sendActions() {
  Ref<GestureRecognizer> keep(this);
  auto targets = targets_;  // actions may add or remove targets
  for (auto& t : targets) t.action(*this);
}

void GestureRecognizer::setState(State s) {
  Ref<GestureRecognizer> keep(this);
  state_ = s;
  if (s == State::Began || s == State::Changed || s == State::Ended || s == State::Cancelled) sendActions();
  if (s == State::Ended || s == State::Cancelled || s == State::Failed) {
    state_ = State::Possible;
    reset();
  }
}

bool GestureRecognizer::moveTo(State next, Point location) {
  bool ok = false;
  switch (state_) {
    case State::Possible:
      ok = next == State::Began || next == State::Ended || next == State::Failed;
      break;
    case State::Began:
    case State::Changed:
      ok = next == State::Changed || next == State::Ended || next == State::Cancelled;
      break;
    default:
      break;
  }
  if (!ok) return false;
  if (state_ == State::Possible && next != State::Failed) {
    if (!start(location, touches_ ? touches_ : 1)) return false;
  }
  location_ = location;
  setState(next);
  return true;
}

bool GestureRecognizer::fire(Point location) {
  if (!start(location, 1)) return false;
  setState(State::Ended);
  return true;
}

void GestureRecognizer::fireInState(State s, Point location) {
  Ref<GestureRecognizer> keep(this);
  location_ = location;
  state_ = s;
  sendActions();
  state_ = State::Possible;
  reset();
}

}  // namespace kit
