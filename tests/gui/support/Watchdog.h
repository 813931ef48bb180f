#pragma once
// Ends the process when a GUI test hangs: a test that waits on a window,
// WebKit or the X server must fail in bounded time rather than stall the
// suite. Armed per test; the process exits with a message naming the test.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tolvatest {

class Watchdog {
 public:
  Watchdog(std::string what, std::chrono::seconds limit);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace tolvatest
