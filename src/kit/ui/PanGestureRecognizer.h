#pragma once
// A continuous drag; translation is measured from where it began, in the
// recogniser's view.

#include "kit/ui/GestureRecognizer.h"

namespace kit {

class PanGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  size_t minimumNumberOfTouches() const noexcept { return minTouches_; }
  void setMinimumNumberOfTouches(size_t n) { minTouches_ = n; }
  size_t maximumNumberOfTouches() const noexcept { return maxTouches_; }
  void setMaximumNumberOfTouches(size_t n) { maxTouches_ = n; }

  Point translation() const noexcept { return translation_; }
  void setTranslation(Point t) { translation_ = t; }

  bool begin(Point location, size_t touches = 1);
  void moveBy(Point delta);
  void end();
  void cancel();
  // begin at `from`, move to `to`, end.
  bool pan(Point from, Point to, size_t touches = 1);
  bool fire(Point location) override { return pan(location, location); }

  std::string className() const override { return "PanGestureRecognizer"; }

 protected:
  void reset() override { translation_ = {}; }

 private:
  size_t minTouches_ = 1;
  size_t maxTouches_ = 10;
  Point translation_;
  Point at_;
};

}  // namespace kit
