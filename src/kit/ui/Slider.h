#pragma once
// A value between a minimum and a maximum. slideTo() is a user's drag of the
// thumb: it sends ValueChanged (a programmatic setValue does not).

#include "kit/ui/Control.h"

namespace kit {

class Slider : public Control {
 public:
  explicit Slider(Rect frame = {});

  double value() const noexcept { return value_; }
  // Clamped to the range; NaN is ignored.
  void setValue(double v, bool animated = false);
  double minimumValue() const noexcept { return min_; }
  void setMinimumValue(double v);
  double maximumValue() const noexcept { return max_; }
  void setMaximumValue(double v);
  bool isContinuous() const noexcept { return continuous_; }
  void setContinuous(bool c) { continuous_ = c; }

  // Touch down, move the thumb to `v`, lift inside; like a finger it must
  // find the slider (else IllegalStateException, as Control::tap()).
  void slideTo(double v);
  // The same for a drag the window itself took.
  void dragThumbTo(double v);

  std::string className() const override { return "Slider"; }

 private:
  double value_ = 0;
  double min_ = 0;
  double max_ = 1;
  bool continuous_ = true;
};

}  // namespace kit
