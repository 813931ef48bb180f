#pragma once
// A layer animation of one key path ("opacity", "position", "hidden", ...)
// from one value to another. Headless, nothing moves: the layer keeps the
// animation under its key for the animation's duration on kit's clock (the
// main run loop's delayed calls), then removes it and reports it stopped.
// The model value is whatever the code sets on the layer, as on the platform.

#include <functional>
#include <string>
#include <variant>

#include "kit/foundation/Object.h"
#include "kit/ui/Color.h"
#include "kit/ui/Geometry.h"

namespace kit {

enum class TimingFunction { Default, Linear, EaseIn, EaseOut, EaseInEaseOut };

using AnimationValue = std::variant<std::monostate, double, bool, Point, Size, Rect, Color>;

class Animation : public Object {
 public:
  using StartCallback = std::function<void(Animation& animation)>;
  using StopCallback = std::function<void(Animation& animation, bool finished)>;

  static Ref<Animation> animationWithKeyPath(std::string keyPath);

  const std::string& keyPath() const noexcept { return keyPath_; }
  void setKeyPath(std::string k) { keyPath_ = std::move(k); }
  double duration() const noexcept { return duration_; }
  // The platform's default, 0.25 s, applies to a duration of 0.
  void setDuration(double d) { duration_ = d; }
  double effectiveDuration() const;
  TimingFunction timingFunction() const noexcept { return timing_; }
  void setTimingFunction(TimingFunction t) { timing_ = t; }
  const AnimationValue& fromValue() const noexcept { return from_; }
  void setFromValue(AnimationValue v) { from_ = std::move(v); }
  const AnimationValue& toValue() const noexcept { return to_; }
  void setToValue(AnimationValue v) { to_ = std::move(v); }
  double repeatCount() const noexcept { return repeatCount_; }
  void setRepeatCount(double n) { repeatCount_ = n; }
  bool autoreverses() const noexcept { return autoreverses_; }
  void setAutoreverses(bool a) { autoreverses_ = a; }
  bool isRemovedOnCompletion() const noexcept { return removedOnCompletion_; }
  void setRemovedOnCompletion(bool r) { removedOnCompletion_ = r; }

  // The delegate's did-start / did-stop, as callbacks.
  void setStartCallback(StartCallback cb) { onStart_ = std::move(cb); }
  void setStopCallback(StopCallback cb) { onStop_ = std::move(cb); }
  const StartCallback& startCallback() const { return onStart_; }
  const StopCallback& stopCallback() const { return onStop_; }

  std::string className() const override { return "Animation"; }

 protected:
  Animation() = default;

 private:
  std::string keyPath_;
  double duration_ = 0;
  TimingFunction timing_ = TimingFunction::Default;
  AnimationValue from_;
  AnimationValue to_;
  double repeatCount_ = 0;
  bool autoreverses_ = false;
  bool removedOnCompletion_ = true;
  StartCallback onStart_;
  StopCallback onStop_;
};

}  // namespace kit
