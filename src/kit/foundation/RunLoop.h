#pragma once
// Run loops: one per thread, created on first use; the main thread's is
// RunLoop::main(). A loop waits, in one named mode at a time, for the inputs
// registered for that mode (timers and delayed calls, fd watchers, custom
// sources) and for calls other threads post to it, and runs them on its own
// thread.
//
// Modes: kDefaultMode; kCommonModes, a pseudo-mode standing for the set of
// common modes (the default mode plus any added with addCommonMode()); and any
// other name as a private mode, in which only what was registered for it runs
// (a thread waiting on its own work runs its loop in a private mode).
//
// Which thread is main: the process's initial thread, so the answer is the
// same whichever thread asks first. An embedder whose UI runs elsewhere calls
// setMainThread() from that thread before it uses any run loop.
//
// Posted calls (perform, performOnMainThread) are always an input of every
// common mode, so a thread that runs its loop waits for them even when nothing
// else is registered; calls from one sending thread run in the order sent.
//
// Time comes from kit::Clock. In virtual mode it moves only when advanced:
// advance()/runFor() step the clock from one due timer to the next and fire
// each in order, and wake every other loop so that their timers fire too
// (moving the clock with Clock::advance directly wakes nobody). A run that
// blocks in virtual mode therefore waits for posted calls, fd events, signals,
// stop() or an advance() elsewhere, never for the clock alone.
//
// Everything that runs a loop (run, runMode, drain, advance, runFor, runUntil,
// processDueWork) must be called on the loop's own thread; everything else is
// thread-safe.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kit/foundation/Object.h"
#include "kit/foundation/RunLoopDriver.h"

namespace kit {

class RunLoopSource;
class Thread;
class Timer;

class RunLoop : public std::enable_shared_from_this<RunLoop> {
 public:
  // Inline so that other files' static initialisers may already use them,
  // and never destroyed: a worker thread may still be in its run loop while
  // the process ends.
  inline static const std::string& kDefaultMode = *new std::string("DefaultRunLoopMode");
  inline static const std::string& kCommonModes = *new std::string("RunLoopCommonModes");
  // A time later than any run will reach (about the year 4001).
  static constexpr double kDistantFuture = 63113904000.0;

  enum FdEvents : unsigned { kReadable = 1, kWritable = 2, kError = 4 };
  // `events` holds the FdEvents that happened. A hang-up arrives as readable
  // (plus kError on an error), so a reader sees end of file; a closed fd
  // arrives once as kError and its watcher is then paused.
  using FdCallback = std::function<void(int fd, unsigned events)>;
  using WatchId = uint64_t;

  struct Private;  // construction goes through main()/current()
  explicit RunLoop(const Private&);
  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // ---- Which loop, which thread
  static RunLoop& main();
  static RunLoop& current();
  // Makes the calling thread the main thread (see above).
  static void setMainThread();
  static bool isMainThread();
  // Whether the calling thread owns this loop.
  bool isCurrent() const;

  // ---- Modes
  void addCommonMode(const std::string& mode);
  std::vector<std::string> commonModes() const;
  // The mode of the innermost run of this loop; empty when it is not running.
  std::string currentMode() const;

  // ---- Timers, sources and fd watchers, each registered for a mode
  // A timer belongs to one loop; adding it to another throws InvalidArgumentException.
  void addTimer(Timer* timer, const std::string& mode = kDefaultMode);
  void addSource(RunLoopSource* source, const std::string& mode = kDefaultMode);
  void removeSource(RunLoopSource* source, const std::string& mode);
  // Watches `fd` for the FdEvents in `events` (readable and/or writable).
  WatchId watchFd(int fd, unsigned events, FdCallback callback,
                  const std::string& mode = kCommonModes);
  // Changes what a watcher waits for (0 pauses it).
  void setWatchEvents(WatchId id, unsigned events);
  // After this returns on the loop's thread the callback is not called again.
  void removeWatch(WatchId id);

  // ---- Delayed calls on this loop, keyed by (target, action, argument)
  // `target` is an identity only (never dereferenced); `argument` is retained
  // and compared with kit::isEqual. Calls run in due-time order, FIFO for equal times.
  void performAfterDelay(const void* target, std::string action, Ref<Object> argument,
                         double delay, std::function<void()> fn,
                         const std::vector<std::string>& modes = {kDefaultMode});
  // Cancels every pending call aimed at `target`.
  void cancelPreviousPerformRequests(const void* target);
  // Cancels the pending calls with exactly this key.
  void cancelPreviousPerformRequests(const void* target, const std::string& action,
                                     const Object* argument);
  size_t pendingPerformRequestCount(const void* target) const;

  // ---- Calls posted from any thread
  // Queues `fn` to run on this loop in one of `modes`. With waitUntilDone the
  // caller blocks until it ran (on the loop's own thread it runs at once) and an
  // exception it throws is rethrown to the caller. Answers false, without running
  // or queueing anything, when the loop's thread has ended.
  bool perform(std::function<void()> fn, bool waitUntilDone = false,
               const std::vector<std::string>& modes = {kCommonModes});
  static bool performOnMainThread(std::function<void()> fn, bool waitUntilDone = false);

  // ---- Running (on the loop's own thread)
  // Runs the default mode until stop().
  void run();
  // Runs `mode` until an input source (a posted call, an fd event, a signalled
  // source) was handled, `untilTime` (Clock time) arrives, or stop(). Timers fire
  // meanwhile without ending the run. Answers whether a source was handled.
  bool runMode(const std::string& mode, double untilTime);
  // Ends the innermost run of this loop (any thread); no effect when none is running.
  void stop();

  // ---- Headless driving (on the loop's own thread)
  // Runs everything already due: posted calls, due timers and delayed calls,
  // signalled sources and ready fds, until nothing is left. Answers how many ran.
  size_t drain(const std::string& mode = kDefaultMode);
  // Virtual clock: moves time forward by `seconds`, stopping at each due timer or
  // delayed call on the way and firing it. Real clock: runs the loop that long.
  void advance(double seconds, const std::string& mode = kDefaultMode);
  void runFor(double seconds, const std::string& mode = kDefaultMode) { advance(seconds, mode); }
  // Runs the loop until `predicate` holds or `timeoutSeconds` of real time pass;
  // answers whether it held. The predicate is checked after every pass and at
  // least every few milliseconds, so other threads need not wake the loop. Never moves a virtual clock: tests of real I/O and
  // real threads use it, while timers fire as the clock says.
  bool runUntil(const std::function<bool()>& predicate, double timeoutSeconds,
                const std::string& mode = kDefaultMode);

  // ---- Seam for a host event loop (see RunLoopDriver.h)
  // Readable whenever work was posted or an input changed; processDueWork() clears it.
  int wakeupFd() const;
  // The fds `mode` watches, with the events it waits for (the wakeup fd excluded).
  std::vector<pollfd> pollFds(const std::string& mode) const;
  // When `mode` has work next: Clock::now() if a posted call or signal waits,
  // else the earliest timer, else kDistantFuture.
  double nextDueTime(const std::string& mode) const;
  // One pass over `mode` without blocking; answers whether anything ran.
  bool processDueWork(const std::string& mode = kDefaultMode);
  // Lets `driver` do the blocking waits of this loop (null: poll(2)). The driver
  // must outlive its use.
  void setDriver(RunLoopDriver* driver);
  // Interrupts a wait of this loop (any thread).
  void wakeUp();

  // While one lives on a thread other than the main one, that thread's wake-ups of the main
  // loop wait until the outermost one ends; calls are still queued at once and in order, and
  // a call that waits until done, or a run of the thread's own loop that would wait, wakes the
  // main loop at once. A thread that posts results while it holds a lock the main thread's
  // handlers also take keeps one around that work, so that the main thread does not wake only
  // to block on the lock.
  class HoldMainWakeUps {
   public:
    HoldMainWakeUps();
    ~HoldMainWakeUps();
    HoldMainWakeUps(const HoldMainWakeUps&) = delete;
    HoldMainWakeUps& operator=(const HoldMainWakeUps&) = delete;
  };

 private:
  friend class Thread;
  struct State;
  struct PassResult {
    size_t sources = 0;
    size_t timers = 0;
  };
  struct Frame;
  class FrameGuard;
  struct ThreadSlot;
  static ThreadSlot& threadSlot();

  static std::shared_ptr<RunLoop>& mainShared();
  static std::shared_ptr<RunLoop> currentShared();
  static std::shared_ptr<RunLoop> createUnowned();
  // Binds a loop created ahead of its thread to the calling thread.
  static void adopt(const std::shared_ptr<RunLoop>& loop);
  // The calling thread is ending: pending waiters give up, later posts fail.
  void shutDown();
  // The calling thread's own loop shuts down as at the thread's end and is forgotten; the
  // thread gets a fresh one on next use (Thread::renewCurrent).
  static void retireCurrent();
  void requireOwner(const char* what) const;
  // Whether the calling thread runs this loop in a run that looks for work before it waits.
  bool runningHereAndLooksBeforeWaiting() const;
  bool inMode(const std::string& registered, const std::string& mode) const;
  void checkMode(const std::string& mode) const;
  double nextTimerDate(const std::string& mode) const;
  size_t runPosted(const std::string& mode);
  size_t fireTimers(const std::string& mode);
  size_t fireSources(const std::string& mode);
  size_t pollAndDispatch(const std::string& mode, int timeoutMs);
  PassResult pass(const std::string& mode, double untilTime, double realDeadline, bool mayBlock);
  void drainPasses(const std::string& mode, size_t* count);
  static void wakeAllLoops();
  // wakeUp() without the main loop's hold.
  void wakeUpNow();
  // Wakes the main loop if this thread has held a wake-up of it back.
  static void giveHeldMainWakeUp();

  std::unique_ptr<State> s_;
};

}  // namespace kit
