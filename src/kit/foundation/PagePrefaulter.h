#pragma once
// Faults in the pages of a large buffer on a thread of its own, a bounded stretch ahead of the
// one writer filling it front to back. A fresh page costs the kernel a clearing on first touch;
// done here, that work runs beside the writer instead of in its path. The pages are only made
// present (never written), so the buffer's contents are never disturbed, whatever the order.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace kit {

class PagePrefaulter {
 public:
  // Faults from `base` on, ahead of the writer by no more than it has written and never more
  // than `lead`: a buffer sized by what a peer announced costs nothing until bytes arrive, and
  // one that stops filling costs at most as much again as it holds.
  PagePrefaulter(void* base, size_t length, size_t lead = size_t(64) << 20);
  // Stops the thread and waits for it (a step in progress is at most one large page).
  ~PagePrefaulter();
  PagePrefaulter(const PagePrefaulter&) = delete;
  PagePrefaulter& operator=(const PagePrefaulter&) = delete;

  // The writer has filled the buffer up to `offset`. Cheap: it wakes the thread only when it
  // has fallen half its lead behind.
  void writerReached(size_t offset) noexcept;

  const void* base() const noexcept { return base_; }
  // How far the pages are present (for tests).
  size_t faultedUpTo() const noexcept { return done_.load(std::memory_order_acquire); }

 private:
  void run();
  size_t wantedEnd() const noexcept;

  char* const base_;
  const size_t length_;
  const size_t lead_;
  size_t first_ = 0;  // offset of the first whole page
  std::atomic<size_t> reached_{0};
  std::atomic<size_t> done_{0};
  std::atomic<bool> sleeping_{false};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace kit
