#include "kit/foundation/Timer.h"

#include <atomic>
#include <cmath>

#include "kit/foundation/Clock.h"
#include "kit/foundation/RunLoop.h"

namespace kit {
namespace {
// Orders timers due at the same instant by when they were scheduled.
std::atomic<uint64_t> gNextSequence{1};
uint64_t nextSequence() { return gNextSequence.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

Timer::Timer(double interval, bool repeats, Callback callback, Ref<Object> userInfo)
    : fireDate_(Clock::now() + std::max(0.0, interval)),
      sequence_(nextSequence()),
      interval_(repeats ? std::max(interval, kMinimumInterval) : std::max(0.0, interval)),
      repeats_(repeats),
      callback_(callback ? std::make_shared<Callback>(std::move(callback)) : nullptr),
      userInfo_(std::move(userInfo)) {}

Timer::~Timer() = default;

Ref<Timer> Timer::timer(double interval, bool repeats, Callback callback, Ref<Object> userInfo) {
  return make<Timer>(interval, repeats, std::move(callback), std::move(userInfo));
}

Ref<Timer> Timer::scheduledTimer(double interval, bool repeats, Callback callback,
                                 Ref<Object> userInfo) {
  Ref<Timer> t = timer(interval, repeats, std::move(callback), std::move(userInfo));
  RunLoop::current().addTimer(t);
  return t;
}

Ref<Timer> Timer::performRequest(const void* target, std::string action, Ref<Object> argument,
                                 double delay, std::function<void()> fn) {
  Ref<Timer> t = make<Timer>(delay, false, [fn = std::move(fn)](Timer&) {
    if (fn) fn();
  });
  t->key_ = std::make_unique<PerformKey>(PerformKey{target, std::move(action), std::move(argument)});
  return t;
}

void Timer::fire() {
  std::shared_ptr<Callback> cb;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!valid_) return;
    cb = callback_;
    if (!repeats_) {
      valid_ = false;
      callback_.reset();
    }
  }
  KeepAlive keep(this);  // the callback may drop the last other reference
  if (cb && *cb) (*cb)(*this);
}

double Timer::fireDate() const {
  std::lock_guard<std::mutex> g(mutex_);
  return fireDate_;
}

void Timer::setFireDate(double date) {
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!valid_) return;
    fireDate_ = date;
    sequence_ = nextSequence();
    loop = loop_.lock();
  }
  // A loop asleep until the old date must recompute how long to sleep.
  if (loop) loop->wakeUp();
}

double Timer::timeInterval() const { return repeats_ ? interval_ : 0.0; }

bool Timer::isValid() const {
  std::lock_guard<std::mutex> g(mutex_);
  return valid_;
}

void Timer::invalidate() {
  std::shared_ptr<Callback> dropped;  // released outside the lock: it may own anything
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!valid_) return;
    valid_ = false;
    dropped = std::move(callback_);
  }
}

bool Timer::matches(const void* target) const { return key_ && key_->target == target; }

bool Timer::matches(const void* target, const std::string& action, const Object* argument) const {
  return key_ && key_->target == target && key_->action == action &&
         ::kit::isEqual(key_->argument.get(), argument);
}

bool Timer::dueAt(double now, double* date, uint64_t* sequence) const {
  std::lock_guard<std::mutex> g(mutex_);
  if (!valid_ || fireDate_ > now + kTolerance) return false;
  *date = fireDate_;
  *sequence = sequence_;
  return true;
}

bool Timer::fireIfDue(double now) {
  std::shared_ptr<Callback> cb;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!valid_ || fireDate_ > now + kTolerance) return false;
    cb = callback_;
    if (repeats_) {
      // The next beat after now; beats missed while the loop was busy are skipped.
      double next = fireDate_ + interval_;
      if (next <= now + kTolerance) next = fireDate_ + interval_ * (std::floor((now - fireDate_) / interval_) + 1);
      if (next <= now + kTolerance) next += interval_;
      fireDate_ = next;
      sequence_ = nextSequence();
    } else {
      valid_ = false;
      callback_.reset();
    }
  }
  KeepAlive keep(this);
  if (cb && *cb) (*cb)(*this);
  return true;
}

bool Timer::attach(const std::shared_ptr<RunLoop>& loop) {
  std::lock_guard<std::mutex> g(mutex_);
  if (attached_) {
    auto current = loop_.lock();
    if (current && current != loop) return false;
  }
  attached_ = true;
  loop_ = loop;
  return true;
}

}  // namespace kit
