#pragma once
// A discrete swipe in one of the permitted directions with a number of fingers.

#include "kit/ui/GestureRecognizer.h"

namespace kit {

class SwipeGestureRecognizer : public GestureRecognizer {
 public:
  // Direction bits (the platform's values).
  enum Direction : unsigned { Right = 1, Left = 2, Up = 4, Down = 8 };

  using GestureRecognizer::GestureRecognizer;

  unsigned direction() const noexcept { return direction_; }
  void setDirection(unsigned d) { direction_ = d; }
  size_t numberOfTouchesRequired() const noexcept { return touchesRequired_; }
  void setNumberOfTouchesRequired(size_t n) { touchesRequired_ = n; }

  // A swipe one way with some fingers: recognised only when the direction is
  // permitted and the finger count is the required one.
  bool swipe(Direction d, size_t touches, Point location = {});
  // A swipe in the lowest permitted direction with the required fingers.
  bool fire(Point location) override;

  std::string className() const override { return "SwipeGestureRecognizer"; }

 private:
  unsigned direction_ = Right;
  size_t touchesRequired_ = 1;
};

}  // namespace kit
