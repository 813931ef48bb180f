#pragma once
// Recognises a gesture on a view and calls its actions.
//
// State machine (the platform's): a discrete gesture goes Possible → Ended
// (= Recognized) or Failed; a continuous one Possible → Began → Changed… →
// Ended or Cancelled (or Failed before it began). Actions run on every move
// into Began, Changed, Ended and Cancelled, reading state() and the location;
// after Ended, Cancelled or Failed the recogniser is back to Possible.
//
// Headless, gestures are fired synthetically (tests, or a backend that
// recognised them itself): fire() and the subclasses' helpers run the whole
// gesture. A gesture starts only when the recogniser is enabled and on a
// view, its delegate lets it receive the touch and begin, and no other
// recogniser of the same view that is in the middle of its own gesture
// (Began/Changed) objects: the two must be allowed to recognise
// simultaneously by either one's delegate.

#include <functional>
#include <string>
#include <vector>

#include "kit/foundation/Object.h"
#include "kit/ui/Geometry.h"

namespace kit {

class GestureRecognizer;
class Touch;
class View;

class GestureRecognizerDelegate {
 public:
  virtual ~GestureRecognizerDelegate() = default;
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
    (void)recognizer;
    return true;
  }
  virtual bool gestureRecognizerShouldReceiveTouch(GestureRecognizer& recognizer, Touch& touch) {
    (void)recognizer;
    (void)touch;
    return true;
  }
  virtual bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer& recognizer,
                                                              GestureRecognizer& other) {
    (void)recognizer;
    (void)other;
    return false;
  }
};

class GestureRecognizer : public Object {
 public:
  enum class State { Possible = 0, Began = 1, Changed = 2, Ended = 3, Cancelled = 4, Failed = 5 };
  static constexpr State Recognized = State::Ended;
  using Action = std::function<void(GestureRecognizer& recognizer)>;

  GestureRecognizer() = default;
  // With one action under `actionName`.
  GestureRecognizer(std::string actionName, Action action);
  ~GestureRecognizer() override;

  State state() const noexcept { return state_; }
  bool isEnabled() const noexcept { return enabled_; }
  // Disabling a gesture in progress cancels it.
  void setEnabled(bool enabled);
  // The view it is attached to (not owned).
  View* view() const noexcept { return view_; }
  GestureRecognizerDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(GestureRecognizerDelegate* d) { delegate_ = d; }

  // Actions by name; adding a name again replaces its action.
  void addTarget(std::string actionName, Action action);
  // An empty name removes every action.
  void removeTarget(const std::string& actionName = {});
  std::vector<std::string> actionNames() const;

  bool cancelsTouchesInView() const noexcept { return cancelsTouches_; }
  void setCancelsTouchesInView(bool c) { cancelsTouches_ = c; }
  bool delaysTouchesBegan() const noexcept { return delaysBegan_; }
  void setDelaysTouchesBegan(bool d) { delaysBegan_ = d; }
  bool delaysTouchesEnded() const noexcept { return delaysEnded_; }
  void setDelaysTouchesEnded(bool d) { delaysEnded_ = d; }
  // Recorded for a backend's recogniser; synthetic firing does not wait on it.
  void requireGestureRecognizerToFail(GestureRecognizer* other);
  GestureRecognizer* requiredToFail() const { return requiredToFail_.lock().get(); }

  // Where the gesture is (or last was), in `view`'s coordinates (null: window).
  Point locationInView(const View* view) const;
  size_t numberOfTouches() const noexcept { return touches_; }

  // Whether a and b may recognise at the same time (either delegate says so).
  static bool canRecognizeSimultaneously(GestureRecognizer& a, GestureRecognizer& b);

  // ---- Synthetic firing
  // Runs the whole gesture at `location` (in the view's coordinates) with the
  // required number of touches. Answers whether it was recognised.
  virtual bool fire(Point location);
  // Moves the state machine as a backend saw it: an invalid move is ignored
  // (answers false). Moving out of Possible applies the start checks above.
  bool moveTo(State next, Point location);
  // Calls the actions in any state, then returns to Possible (for testing handlers).
  void fireInState(State s, Point location);

  std::string className() const override { return "GestureRecognizer"; }

 protected:
  // The start checks; `touches` is the number of fingers. On refusal the
  // recogniser fails (and is back to Possible).
  bool start(Point location, size_t touches);
  void setState(State s);
  // Called when back in Possible.
  virtual void reset() {}

 private:
  friend class View;
  struct Target {
    std::string name;
    Action action;
  };
  void sendActions();

  View* view_ = nullptr;
  GestureRecognizerDelegate* delegate_ = nullptr;
  State state_ = State::Possible;
  bool enabled_ = true;
  bool cancelsTouches_ = true;
  bool delaysBegan_ = false;
  bool delaysEnded_ = true;
  std::vector<Target> targets_;
  WeakRef<GestureRecognizer> requiredToFail_;
  Point location_;
  size_t touches_ = 0;
};

}  // namespace kit
