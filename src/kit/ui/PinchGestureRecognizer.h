#pragma once
// A continuous two-finger pinch; scale is relative to the fingers' distance
// when the pinch began.

#include "kit/ui/GestureRecognizer.h"

namespace kit {

class PinchGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  double scale() const noexcept { return scale_; }
  // Handlers may reset the scale (to 1) to read increments.
  void setScale(double s) { scale_ = s; }
  double velocity() const noexcept { return velocity_; }

  // Began with scale 1.
  bool begin(Point location);
  // Changed to `scale`.
  void change(double scale, double velocity = 0);
  void end();
  void cancel();
  // begin, change to `scale`, end.
  bool pinch(double scale, Point location = {});
  bool fire(Point location) override { return pinch(2, location); }

  std::string className() const override { return "PinchGestureRecognizer"; }

 protected:
  void reset() override { velocity_ = 0; }

 private:
  double scale_ = 1;
  double velocity_ = 0;
};

}  // namespace kit
