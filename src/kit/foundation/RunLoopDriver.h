#pragma once
// The seam through which another event loop can host a kit run loop.
//
// A kit run loop is driven in one of two directions:
//  - kit drives: run()/runMode() wait through the loop's driver. The default
//    driver is poll(2); a GUI backend installs one whose wait() also dispatches
//    its own toolkit's events (for GLib: one main-context iteration that polls
//    the same fds), so windows stay live during a nested kit run.
//  - the host drives: the host loop watches RunLoop::wakeupFd() and the fds of
//    RunLoop::pollFds(), sleeps no longer than RunLoop::nextDueTime(), and then
//    calls RunLoop::processDueWork() (for GLib: a custom GSource whose
//    prepare/check/dispatch map onto those three calls).
// Both directions use only the public RunLoop interface plus this class.

#include <poll.h>

#include <vector>

namespace kit {

class RunLoopDriver {
 public:
  virtual ~RunLoopDriver() = default;
  // Blocks until one of `fds` is ready or `timeoutMs` passes (-1: no limit),
  // filling in each revents like poll(2). fds[0] is always the loop's wakeup fd.
  virtual void wait(std::vector<pollfd>& fds, int timeoutMs) = 0;
  // Called from any thread after work was posted to the loop, so that a host
  // loop sleeping elsewhere can schedule a processDueWork().
  virtual void wakeUp() {}
};

}  // namespace kit
