#pragma once
// One finger on the screen: where it is (window coordinates), where it was,
// the view it started in, how many taps it makes, and its phase.

#include "kit/foundation/Object.h"
#include "kit/ui/Geometry.h"

namespace kit {

class View;
class Window;

class Touch : public Object {
 public:
  enum class Phase { Began, Moved, Stationary, Ended, Cancelled };

  Touch(Window* window, View* view, Point locationInWindow, int tapCount = 1);

  Phase phase() const noexcept { return phase_; }
  int tapCount() const noexcept { return tapCount_; }
  double timestamp() const noexcept { return timestamp_; }
  // The view the touch began in, and its window (not owned; null once gone).
  View* view() const;
  Window* window() const;
  // In `view`'s coordinates; null means window coordinates.
  Point locationInView(const View* view) const;
  Point previousLocationInView(const View* view) const;

  // Moves the finger (window coordinates) and sets the phase; the timestamp is the clock's.
  void update(Point locationInWindow, Phase phase);

  std::string className() const override { return "Touch"; }

 private:
  Point convert(Point windowPoint, const View* view) const;
  WeakRef<Window> window_;
  WeakRef<View> view_;
  Point location_;
  Point previous_;
  int tapCount_;
  Phase phase_ = Phase::Began;
  double timestamp_;
};

}  // namespace kit
