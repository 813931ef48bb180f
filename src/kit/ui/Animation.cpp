#include "kit/ui/Animation.h"

#include <algorithm>
#include <cmath>

namespace kit {

Ref<Animation> Animation::animationWithKeyPath(std::string keyPath) {
  Ref<Animation> a(new Animation());
  a->setKeyPath(std::move(keyPath));
  return a;
}

double Animation::effectiveDuration() const {
  double d = duration_ > 0 && std::isfinite(duration_) ? duration_ : 0.25;
  double repeats = repeatCount_ > 1 && std::isfinite(repeatCount_) ? std::min(repeatCount_, 1e6) : 1;
  return d * repeats * (autoreverses_ ? 2 : 1);
}

}  // namespace kit
