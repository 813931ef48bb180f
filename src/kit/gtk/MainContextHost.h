#pragma once
// Hosts kit's main run loop in GLib's default main context, in both
// directions of RunLoopDriver:
//  - GLib drives (gtk's main loop, the program's normal state): a GSource
//    watches the loop's wakeup fd and fd watchers, sleeps until the next due
//    timer and then runs RunLoop::processDueWork().
//  - kit drives (a nested runMode/runUntil, e.g. a test waiting for a page):
//    wait() runs GLib main-context iterations, so windows, WebKit and input
//    stay live while kit waits.
//
// While a Suspension is open (a synchronous script evaluation spinning its
// own nested loop) kit's timers, delayed calls and posted calls do not run,
// and input for kit is queued with deliver() and handed over once the last
// suspension ends, so kit code never finds itself re-entered halfway through
// a call. Main thread only, except wakeUp().

#include <functional>
#include <vector>

#include "kit/foundation/RunLoopDriver.h"

typedef struct _GSource GSource;

namespace kit::gtk {

class MainContextHost : public RunLoopDriver {
 public:
  // Installs the host for RunLoop::main() (once; later calls answer the same host).
  static MainContextHost& install();
  // The installed host, or null.
  static MainContextHost* installed();

  class Suspension {
   public:
    Suspension();
    ~Suspension();
    Suspension(const Suspension&) = delete;
    Suspension& operator=(const Suspension&) = delete;
  };
  static bool isSuspended();

  // Runs `fn` now, or, while suspended (or while earlier work still waits),
  // once the suspension ends, in order.
  static void deliver(std::function<void()> fn);
  // Runs `fn` from the main loop soon, after what was delivered or posted
  // before it: for signal handlers of a toolkit that must return before kit
  // code may spin a nested loop (WebKit answers nothing while one of its
  // signals is still being emitted).
  static void post(std::function<void()> fn);

  // ---- RunLoopDriver
  void wait(std::vector<pollfd>& fds, int timeoutMs) override;
  void wakeUp() override;

 private:
  MainContextHost();
  ~MainContextHost() override;
  static void flushDeferred();
  static void scheduleFlush();

  GSource* source_ = nullptr;
};

}  // namespace kit::gtk
