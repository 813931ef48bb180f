#include "support/Watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace tolvatest {

Watchdog::Watchdog(std::string what, std::chrono::seconds limit) {
  thread_ = std::thread([this, what = std::move(what), limit] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (done_.wait_for(lock, limit, [this] { return finished_; })) return;
    std::fflush(stdout);  // what the test printed before it stuck
    std::fprintf(stderr, "watchdog: %s still running after %lld s; giving up\n", what.c_str(),
                 static_cast<long long>(limit.count()));
    std::fflush(stderr);
    std::_Exit(124);
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> g(mutex_);
    finished_ = true;
  }
  done_.notify_all();
  thread_.join();
}

}  // namespace tolvatest
