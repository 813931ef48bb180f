#pragma once
// A continuous press-and-hold: Began when the finger has been down long
// enough, Changed as it moves, Ended when it lifts.

#include "kit/ui/GestureRecognizer.h"

namespace kit {

class LongPressGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  double minimumPressDuration() const noexcept { return minimumDuration_; }
  void setMinimumPressDuration(double d) { minimumDuration_ = d; }
  size_t numberOfTouchesRequired() const noexcept { return touchesRequired_; }
  void setNumberOfTouchesRequired(size_t n) { touchesRequired_ = n; }
  double allowableMovement() const noexcept { return allowableMovement_; }
  void setAllowableMovement(double d) { allowableMovement_ = d; }

  // The press has lasted long enough: Began (answers whether it started).
  bool press(Point location);
  bool press(Point location, size_t touches);
  // Changed.
  void move(Point location);
  // Ended.
  void lift(Point location);
  void lift();
  // Cancelled.
  void cancel();
  // press + lift at one point.
  bool fire(Point location) override;

  std::string className() const override { return "LongPressGestureRecognizer"; }

 private:
  double minimumDuration_ = 0.5;
  size_t touchesRequired_ = 1;
  double allowableMovement_ = 10;
};

}  // namespace kit
