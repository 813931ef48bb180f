#pragma once
// The replay of one offline queue entry, as an operation on the sharing
// core's offline queue: it drives one quiet sharer on the main thread and
// waits, on its own thread, until the sharer reports or the time limit
// passes. The outcome goes back to Share::offlineReplayEnded: success and
// failures for good drop the entry; a network failure, a service's answer
// that says "later", a time-out or being offline again keep it for the next
// flush. After a 429 the replays still waiting keep their entries unsent.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "kit/foundation/Operation.h"
#include "kit/foundation/RunLoop.h"
#include "share/core/ShareItem.h"
#include "share/core/ShareSharer.h"
#include "share/core/ShareSharerDelegate.h"

namespace tolva {

class ShareOfflineSharer : public kit::Operation {
 public:
  // How long a replay waits for its sharer's report.
  static constexpr double kTimeLimit = 300;

  ShareOfflineSharer(kit::Ref<ShareItem> item, std::string sharerId, std::string uid);
  ~ShareOfflineSharer() override;

  void main() override;
  // Also wakes the waiting thread, so a cancelled replay ends at once.
  void cancel() override;
  // Main thread: makes the sharer and sends.
  void share();
  bool shouldRun() const;
  void finish();
  void lastSpin() {}

  // Whether a failure may pass with time (the network, a service's "later"),
  // so the entry stays.
  static bool isTemporaryFailure(const kit::Error* error);
  // Whether the service asked to slow down (429): the flush stops there.
  static bool isTooManyRequests(const kit::Error* error);

  ShareItem* item() const noexcept { return item_.get(); }
  const std::string& sharerId() const noexcept { return sharerId_; }
  const std::string& uid() const noexcept { return uid_; }
  bool readyToFinish() const noexcept { return readyToFinish_.load(); }
  ShareSharer* sharer() const noexcept { return sharer_.get(); }

  std::string className() const override { return "ShareOfflineSharer"; }

 private:
  // The sharer's reports; they arrive on the main thread.
  class Reporter;
  // Main thread: hands the outcome to Share once and wakes the waiting thread.
  void ended(bool dropEntry);
  void wake();

  kit::Ref<ShareItem> item_;
  std::string sharerId_;
  std::string uid_;
  std::atomic<bool> readyToFinish_{false};
  // Set on the operation's thread, read on the main thread to wake it.
  std::mutex loopMutex_;
  std::weak_ptr<kit::RunLoop> runLoopThread_;
  kit::Ref<ShareSharer> sharer_;
  kit::Ref<Reporter> reporter_;
  bool outcomeDelivered_ = false;
};

}  // namespace tolva
