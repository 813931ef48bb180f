#include "kit/ui/Slider.h"

#include <algorithm>
#include <cmath>

#include "kit/foundation/Exception.h"

namespace kit {

Slider::Slider(Rect frame) : Control(frame) {}

void Slider::setValue(double v, bool) {
  if (std::isnan(v)) return;
  v = std::clamp(v, std::min(min_, max_), std::max(min_, max_));
  if (v == value_) return;
  value_ = v;
  notify(ViewChange::Content);
}

void Slider::setMinimumValue(double v) {
  if (std::isnan(v)) return;
  min_ = v;
  if (max_ < min_) max_ = min_;
  setValue(value_);
}

void Slider::setMaximumValue(double v) {
  if (std::isnan(v)) return;
  max_ = v;
  if (min_ > max_) min_ = max_;
  setValue(value_);
}

void Slider::slideTo(double v) {
  if (std::string why = whyUntappable(); !why.empty())
    throw IllegalStateException("slide on " + describe() + ": it " + why);
  dragThumbTo(v);
}

void Slider::dragThumbTo(double v) {
  if (!isEnabled()) return;
  Ref<Slider> keep(this);
  touchDown();
  double before = value_;
  setValue(v, true);
  if (value_ != before) sendActionsForControlEvents(ValueChanged);
  touchUpInside();
}

}  // namespace kit
