#pragma once
// A one-shot or repeating timer on kit::Clock, fired by the run loop it was
// added to. Delayed calls (RunLoop::performAfterDelay) are timers that carry a
// (target, action, argument) key so they can be cancelled by it.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "kit/foundation/Object.h"

namespace kit {

class RunLoop;

class Timer : public Object {
 public:
  using Callback = std::function<void(Timer&)>;
  // Due times within this many seconds count as equal, so that clock steps
  // computed by adding intervals to large absolute times still meet them.
  static constexpr double kTolerance = 1e-6;
  // Repeating intervals are at least this long (a zero interval would spin).
  static constexpr double kMinimumInterval = 1e-4;

  // A timer in no loop yet, first due `interval` seconds from now.
  Timer(double interval, bool repeats, Callback callback, Ref<Object> userInfo = nullptr);
  ~Timer() override;

  static Ref<Timer> timer(double interval, bool repeats, Callback callback,
                          Ref<Object> userInfo = nullptr);
  // Created and added to the calling thread's run loop in the default mode.
  static Ref<Timer> scheduledTimer(double interval, bool repeats, Callback callback,
                                   Ref<Object> userInfo = nullptr);

  // Runs the callback now without changing the schedule of a repeating timer;
  // a one-shot timer is invalidated by it. Does nothing once invalid.
  void fire();
  double fireDate() const;
  // Moves the next due time (a fired one-shot timer is not revived).
  void setFireDate(double date);
  // The repeat interval; 0 for a one-shot timer.
  double timeInterval() const;
  bool repeats() const { return repeats_; }
  bool isValid() const;
  // Stops the timer for good and releases its callback; its loop drops it.
  void invalidate();
  Object* userInfo() const { return userInfo_.get(); }

  std::string className() const override { return "Timer"; }

 private:
  friend class RunLoop;
  struct PerformKey {
    const void* target;
    std::string action;
    Ref<Object> argument;
  };

  // A delayed call keyed for cancellation.
  static Ref<Timer> performRequest(const void* target, std::string action, Ref<Object> argument,
                                   double delay, std::function<void()> fn);
  bool matches(const void* target) const;
  bool matches(const void* target, const std::string& action, const Object* argument) const;
  bool isPerformRequest() const { return key_ != nullptr; }
  // Whether the timer is valid and due at `now`; gives its (date, order) for sorting.
  bool dueAt(double now, double* date, uint64_t* sequence) const;
  // Fires when still due at `now`, rescheduling a repeating timer past `now`;
  // answers whether it fired.
  bool fireIfDue(double now);
  // Claims the timer for a loop; false when it already belongs to another one.
  bool attach(const std::shared_ptr<RunLoop>& loop);

  mutable std::mutex mutex_;
  double fireDate_;
  uint64_t sequence_;
  const double interval_;
  const bool repeats_;
  bool valid_ = true;
  std::shared_ptr<Callback> callback_;
  const Ref<Object> userInfo_;
  std::unique_ptr<PerformKey> key_;
  std::weak_ptr<RunLoop> loop_;
  bool attached_ = false;
};

}  // namespace kit
