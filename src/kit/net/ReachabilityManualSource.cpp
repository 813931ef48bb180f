#include "kit/net/ReachabilityManualSource.h"

#include "kit/foundation/RunLoop.h"

namespace kit {

ReachabilityManualSource::ReachabilityManualSource(Target target, uint32_t flags)
    : ReachabilityFlagSource(std::move(target)), flags_(flags) {}

void ReachabilityManualSource::setFlags(uint32_t flags) {
  std::shared_ptr<RunLoop> loop;
  std::string mode;
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (flags == flags_) return;
    flags_ = flags;
    loop = loop_.lock();
    mode = mode_;
    generation = generation_;
  }
  if (!loop) return;
  WeakRef<ReachabilityManualSource> weak(this);
  loop->perform(
      [weak, flags, generation] {
        Ref<ReachabilityManualSource> self = weak.lock();
        if (!self) return;
        std::shared_ptr<Callback> cb;
        {
          std::lock_guard<std::mutex> g(self->mutex_);
          if (self->generation_ != generation || !self->loopIdentity_) return;
          cb = self->callback_;
        }
        if (cb && *cb) (*cb)(*self, flags);
      },
      false, {mode});
}

void ReachabilityManualSource::setUnreadable(bool unreadable) {
  std::lock_guard<std::mutex> g(mutex_);
  unreadable_ = unreadable;
}

bool ReachabilityManualSource::isScheduled() const {
  std::lock_guard<std::mutex> g(mutex_);
  return loopIdentity_ != nullptr;
}

bool ReachabilityManualSource::getFlags(uint32_t* flags) const {
  std::lock_guard<std::mutex> g(mutex_);
  if (unreadable_) return false;
  *flags = flags_;
  return true;
}

bool ReachabilityManualSource::setCallback(Callback callback) {
  std::lock_guard<std::mutex> g(mutex_);
  callback_ = callback ? std::make_shared<Callback>(std::move(callback)) : nullptr;
  return true;
}

bool ReachabilityManualSource::scheduleWithRunLoop(RunLoop& loop, const std::string& mode) {
  std::lock_guard<std::mutex> g(mutex_);
  loop_ = loop.shared_from_this();
  loopIdentity_ = &loop;
  mode_ = mode;
  ++generation_;
  return true;
}

bool ReachabilityManualSource::unscheduleFromRunLoop(RunLoop& loop, const std::string& mode) {
  std::lock_guard<std::mutex> g(mutex_);
  if (loopIdentity_ != &loop || mode_ != mode) return false;
  loop_.reset();
  loopIdentity_ = nullptr;
  ++generation_;
  return true;
}

}  // namespace kit
