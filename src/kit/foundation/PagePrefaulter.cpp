#include "kit/foundation/PagePrefaulter.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace kit {
namespace {
// One step: a large page, so the thread stops soon when asked and each call fills whole pages.
constexpr size_t kStep = size_t(2) << 20;
}  // namespace

PagePrefaulter::PagePrefaulter(void* base, size_t length, size_t lead)
    : base_(static_cast<char*>(base)), length_(length), lead_(std::max(lead, 2 * kStep)) {
  // Only whole pages inside the buffer: the first partial page is the writer's to fault.
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(base_);
  first_ = static_cast<size_t>(((start + page - 1) & ~(page - 1)) - start);
  done_.store(first_, std::memory_order_relaxed);
  thread_ = std::thread([this] { run(); });
}

PagePrefaulter::~PagePrefaulter() {
  {
    std::lock_guard<std::mutex> g(mutex_);
    stop_.store(true);
  }
  wake_.notify_one();
  thread_.join();
}

void PagePrefaulter::writerReached(size_t offset) noexcept {
  reached_.store(offset);
  // Pairs with the thread's store of sleeping_ before it looks at reached_ again: one of the
  // two sees the other, so a wake-up is never lost.
  if (sleeping_.load() && offset + std::min(lead_, offset) / 2 >= done_.load(std::memory_order_relaxed)) {
    std::lock_guard<std::mutex> g(mutex_);
    wake_.notify_one();
  }
}

size_t PagePrefaulter::wantedEnd() const noexcept {
  const size_t reached = reached_.load();
  return std::min(length_, reached + std::min(lead_, reached));
}

void PagePrefaulter::run() {
  const auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  for (;;) {
    const size_t done = done_.load(std::memory_order_relaxed);
    if (stop_.load(std::memory_order_relaxed) || done >= length_) return;
    const size_t end = wantedEnd();
    if (done + page <= end) {
      // Whole pages only: the last partial page is left to the writer.
      const size_t stepEnd = first_ + (std::min(end, done + kStep) - first_) / page * page;
      if (::madvise(base_ + done, stepEnd - done, MADV_POPULATE_WRITE) != 0) return;
      done_.store(stepEnd, std::memory_order_release);
      continue;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    sleeping_.store(true);
    wake_.wait(lock, [&] { return stop_.load() || done_.load(std::memory_order_relaxed) + page <= wantedEnd(); });
    sleeping_.store(false);
  }
}

}  // namespace kit
