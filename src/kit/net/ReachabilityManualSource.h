#pragma once
// A reachability source whose flags are set by hand: tests inject it through
// ReachabilityFlagSource::setFactory to play network changes. A change of flags reaches the
// callback on the scheduled run loop, like a system change would.

#include <memory>
#include <mutex>
#include <string>

#include "kit/net/ReachabilityFlagSource.h"

namespace kit {

class ReachabilityManualSource : public ReachabilityFlagSource {
 public:
  explicit ReachabilityManualSource(Target target, uint32_t flags = kReachabilityFlagReachable);

  // Changes the flags; when they differ and the source is scheduled, the callback is queued on
  // its loop. Thread-safe.
  void setFlags(uint32_t flags);
  // Makes getFlags fail (true) or work again.
  void setUnreadable(bool unreadable);
  bool isScheduled() const;

  bool getFlags(uint32_t* flags) const override;
  bool setCallback(Callback callback) override;
  bool scheduleWithRunLoop(RunLoop& loop, const std::string& mode) override;
  bool unscheduleFromRunLoop(RunLoop& loop, const std::string& mode) override;

  std::string className() const override { return "ReachabilityManualSource"; }

 private:
  mutable std::mutex mutex_;
  uint32_t flags_;
  bool unreadable_ = false;
  std::shared_ptr<Callback> callback_;
  std::weak_ptr<RunLoop> loop_;
  RunLoop* loopIdentity_ = nullptr;
  std::string mode_;
  // Bumped on every unschedule, so that changes queued before it are dropped.
  uint64_t generation_ = 0;
};

}  // namespace kit
