#pragma once
// A discrete tap with a number of taps and of fingers.

#include "kit/ui/GestureRecognizer.h"

namespace kit {

class TapGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  size_t numberOfTapsRequired() const noexcept { return taps_; }
  void setNumberOfTapsRequired(size_t n) { taps_ = n; }
  size_t numberOfTouchesRequired() const noexcept { return touchesRequired_; }
  void setNumberOfTouchesRequired(size_t n) { touchesRequired_ = n; }

  // A tap with the required counts.
  bool fire(Point location) override { return tap(location, touchesRequired_, taps_); }
  // A tap with these counts: recognised only when they are the required ones.
  bool tap(Point location, size_t touches, size_t taps);

  std::string className() const override { return "TapGestureRecognizer"; }

 private:
  size_t taps_ = 1;
  size_t touchesRequired_ = 1;
};

}  // namespace kit
