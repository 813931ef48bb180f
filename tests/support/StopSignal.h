#pragma once
// A one-shot signal every wait of a loopback server polls alongside its
// socket, so that stop() wakes reads, writes, stalls and trickles at once.

#include <atomic>
#include <chrono>

namespace tolvatest {

class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Idempotent; the descriptor stays readable from then on.
  void fire();
  bool fired() const { return fired_.load(std::memory_order_acquire); }
  int fd() const { return fd_; }

  // Waits until fired or until the time; true when fired.
  bool waitUntil(std::chrono::steady_clock::time_point until) const;

 private:
  int fd_ = -1;
  std::atomic<bool> fired_{false};
};

}  // namespace tolvatest
