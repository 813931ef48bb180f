#include "support/StopSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace tolvatest {

StopSignal::StopSignal() {
  fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd_ < 0) throw std::runtime_error("eventfd failed");
}

StopSignal::~StopSignal() { ::close(fd_); }

void StopSignal::fire() {
  if (fired_.exchange(true, std::memory_order_acq_rel)) return;
  uint64_t one = 1;
  // Never read back, so the descriptor stays readable for every later poll.
  [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

bool StopSignal::waitUntil(std::chrono::steady_clock::time_point until) const {
  for (;;) {
    if (fired()) return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return fired();
    pollfd p{fd_, POLLIN, 0};
    int ms = left.count() > 60000 ? 60000 : int(left.count()) + 1;
    int r = ::poll(&p, 1, ms);
    if (r < 0 && errno != EINTR) return fired();
  }
}

}  // namespace tolvatest
