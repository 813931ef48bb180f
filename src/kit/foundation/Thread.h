#pragma once
// Threads with a name and a run loop of their own. Every thread has a Thread
// object, including threads kit did not start (created on first
// Thread::current()); the main thread's run loop is RunLoop::main().
//
// A thread that wants work posted to it waits in its own loop, e.g.
//   while (!done) Thread::current()->runLoop().runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture);
// and others reach it with perform(). Once the thread has ended, perform()
// answers false instead of queueing work nobody will run.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kit/foundation/Object.h"
#include "kit/foundation/RunLoop.h"

namespace kit {

class Thread : public Object {
 public:
  // A thread that will run `body` once started; its run loop exists already,
  // so work can be posted to it before it starts.
  explicit Thread(std::function<void()> body, std::string name = {});
  ~Thread() override;

  // Starts a detached thread running `body`. An exception leaving `body` ends
  // the process, as on any thread.
  static Ref<Thread> detachNewThread(std::function<void()> body, std::string name = {});
  static Ref<Thread> current();
  static Ref<Thread> mainThread();
  // Whether the calling thread is the main thread (see RunLoop.h).
  static bool isMainThread();
  // For pools that run one task after another on a system thread: ends the calling thread's
  // identity as if the thread had ended (its Thread is finished, its run loop shut down, work
  // posted to it refused), so that the next task gets a fresh Thread and run loop, named `name`.
  // Not for the main thread (nothing happens there).
  static void renewCurrent(std::string name);

  // Starts the thread; a second call throws InvalidArgumentException. The
  // thread keeps this object alive while it runs.
  void start();
  bool isMain() const { return main_; }
  std::string name() const;
  // Names the thread; the system sees the first 15 bytes when it starts or, for
  // the calling thread, at once.
  void setName(std::string name);
  RunLoop& runLoop() const { return *loop_; }
  bool isExecuting() const { return executing_.load(); }
  bool isFinished() const { return finished_.load(); }
  // Cancellation is advisory: the body polls isCancelled().
  bool isCancelled() const { return cancelled_.load(); }
  void cancel() { cancelled_.store(true); }
  // Runs `fn` on this thread's run loop (see RunLoop::perform).
  bool perform(std::function<void()> fn, bool waitUntilDone = false,
               const std::vector<std::string>& modes = {RunLoop::kCommonModes});

  std::string className() const override { return "Thread"; }
  std::string description() const override;

 private:
  struct Adopt {};
  struct CurrentSlot;
  static CurrentSlot& currentSlot();
  Thread(Adopt, std::shared_ptr<RunLoop> loop, bool main, std::string name);
  void entry();
  void applySystemName() const;

  mutable std::mutex mutex_;
  std::string name_;
  std::function<void()> body_;
  const std::shared_ptr<RunLoop> loop_;
  const bool main_ = false;
  std::atomic<bool> started_{false};
  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> cancelled_{false};
};

}  // namespace kit
