#include "kit/foundation/RunLoop.h"

#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

#include "kit/foundation/Clock.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/RunLoopSource.h"
#include "kit/foundation/Timer.h"

namespace kit {

struct RunLoop::Private {};

namespace {

constexpr double kNoDeadline = std::numeric_limits<double>::infinity();
// How often runUntil() looks at its predicate when nothing wakes the loop.
constexpr double kPredicatePollInterval = 0.005;

double steadyNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A caller blocked in perform(..., waitUntilDone = true).
struct Waiter {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  bool ran = false;
  std::exception_ptr error;

  void finish(bool didRun, std::exception_ptr e) {
    {
      std::lock_guard<std::mutex> g(mutex);
      done = true;
      ran = didRun;
      error = std::move(e);
    }
    cv.notify_all();
  }
};

// Main-thread identity: the initial thread unless setMainThread() said otherwise.
std::atomic<bool> gMainOverridden{false};
std::mutex gMainIdMutex;
std::thread::id gMainId;

bool isInitialThread() {
  thread_local const bool initial = ::syscall(SYS_gettid) == ::getpid();
  return initial;
}

// Every live loop, so that moving the virtual clock can wake them all.
std::mutex gRegistryMutex;
std::vector<RunLoop*>& registry() {
  static auto* loops = new std::vector<RunLoop*>();
  return *loops;
}

}  // namespace

// The calling thread's own loop (never the main loop). When the thread ends its
// loop shuts down, so that nobody waits for it forever.
struct RunLoop::ThreadSlot {
  std::shared_ptr<RunLoop> loop;
  ~ThreadSlot() {
    if (loop) loop->shutDown();
  }
};

RunLoop::ThreadSlot& RunLoop::threadSlot() {
  thread_local ThreadSlot slot;
  return slot;
}

struct RunLoop::Frame {
  std::string mode;
  bool stopped = false;
  // A run that looks at posted calls, signalled sources, timers, watches and stop() afresh
  // before every wait (run, runMode, runUntil): its own thread needs no wake-up from itself.
  bool looksBeforeWaiting = false;
};

struct RunLoop::State {
  struct TimerEntry {
    Ref<Timer> timer;
    std::string mode;
  };
  struct SourceEntry {
    Ref<RunLoopSource> source;
    std::string mode;
  };
  struct Watch {
    WatchId id;
    int fd;
    unsigned events;
    std::shared_ptr<FdCallback> callback;
    std::string mode;
  };
  struct Posted {
    std::function<void()> fn;
    std::vector<std::string> modes;
    std::shared_ptr<Waiter> waiter;
  };

  mutable std::mutex mutex;
  bool owned = false;
  std::thread::id owner;
  bool dead = false;
  int wakeFd = -1;
  std::atomic<RunLoopDriver*> driver{nullptr};
  std::vector<std::string> commonModes{RunLoop::kDefaultMode};
  std::vector<TimerEntry> timers;
  std::vector<SourceEntry> sources;
  std::vector<Watch> watches;
  std::deque<Posted> posted;
  std::vector<Frame*> frames;
  WatchId nextWatch = 1;
};

// Keeps the frame stack right however a run ends (callbacks may throw).
class RunLoop::FrameGuard {
 public:
  FrameGuard(RunLoop* loop, const std::string& mode, bool looksBeforeWaiting = false) : loop_(loop) {
    frame_.mode = mode;
    frame_.looksBeforeWaiting = looksBeforeWaiting;
    std::lock_guard<std::mutex> g(loop_->s_->mutex);
    loop_->s_->frames.push_back(&frame_);
  }
  ~FrameGuard() {
    std::lock_guard<std::mutex> g(loop_->s_->mutex);
    auto& frames = loop_->s_->frames;
    frames.erase(std::find(frames.begin(), frames.end(), &frame_));
  }
  bool stopped() const {
    std::lock_guard<std::mutex> g(loop_->s_->mutex);
    return frame_.stopped;
  }

 private:
  RunLoop* loop_;
  Frame frame_;
};

// Never destroyed: other threads may post to it while the process exits.
std::shared_ptr<RunLoop>& RunLoop::mainShared() {
  static auto* loop = new std::shared_ptr<RunLoop>(createUnowned());
  return *loop;
}

// ---------------------------------------------------------------- lifetime

RunLoop::RunLoop(const Private&) : s_(std::make_unique<State>()) {
  s_->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (s_->wakeFd < 0) throw InternalInconsistencyException("run loop: cannot create its wakeup eventfd");
  std::lock_guard<std::mutex> g(gRegistryMutex);
  registry().push_back(this);
}

RunLoop::~RunLoop() {
  {
    std::lock_guard<std::mutex> g(gRegistryMutex);
    auto& loops = registry();
    loops.erase(std::remove(loops.begin(), loops.end(), this), loops.end());
  }
  for (auto& p : s_->posted)
    if (p.waiter) p.waiter->finish(false, nullptr);
  ::close(s_->wakeFd);
}

std::shared_ptr<RunLoop> RunLoop::createUnowned() { return std::make_shared<RunLoop>(Private{}); }

void RunLoop::adopt(const std::shared_ptr<RunLoop>& loop) {
  {
    std::lock_guard<std::mutex> g(loop->s_->mutex);
    loop->s_->owned = true;
    loop->s_->owner = std::this_thread::get_id();
  }
  threadSlot().loop = loop;
}

void RunLoop::shutDown() {
  std::deque<State::Posted> posted;
  std::vector<State::TimerEntry> timers;
  std::vector<State::SourceEntry> sources;
  std::vector<State::Watch> watches;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    s_->dead = true;
    posted.swap(s_->posted);
    timers.swap(s_->timers);
    sources.swap(s_->sources);
    watches.swap(s_->watches);
  }
  for (auto& p : posted)
    if (p.waiter) p.waiter->finish(false, nullptr);
  for (auto& t : timers) t.timer->invalidate();
  wakeUp();
}

void RunLoop::retireCurrent() {
  if (isMainThread()) return;
  if (std::shared_ptr<RunLoop> loop = std::move(threadSlot().loop)) loop->shutDown();
}

// ---------------------------------------------------------------- which loop

RunLoop& RunLoop::main() { return *mainShared(); }

RunLoop& RunLoop::current() { return *currentShared(); }

std::shared_ptr<RunLoop> RunLoop::currentShared() {
  if (isMainThread()) return mainShared();
  ThreadSlot& slot = threadSlot();
  if (!slot.loop) adopt(createUnowned());
  return slot.loop;
}

void RunLoop::setMainThread() {
  {
    std::lock_guard<std::mutex> g(gMainIdMutex);
    gMainId = std::this_thread::get_id();
  }
  gMainOverridden.store(true, std::memory_order_release);
}

bool RunLoop::isMainThread() {
  if (gMainOverridden.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> g(gMainIdMutex);
    return gMainId == std::this_thread::get_id();
  }
  return isInitialThread();
}

bool RunLoop::isCurrent() const {
  if (this == mainShared().get()) return isMainThread();
  std::lock_guard<std::mutex> g(s_->mutex);
  return s_->owned && s_->owner == std::this_thread::get_id();
}

void RunLoop::requireOwner(const char* what) const {
  if (!isCurrent())
    throw InternalInconsistencyException(std::string("RunLoop::") + what +
                                         " called on a thread that does not own the loop");
}

// ---------------------------------------------------------------- modes

bool RunLoop::inMode(const std::string& registered, const std::string& mode) const {
  if (registered == mode) return true;
  if (registered != kCommonModes) return false;
  const auto& common = s_->commonModes;
  return std::find(common.begin(), common.end(), mode) != common.end();
}

void RunLoop::checkMode(const std::string& mode) const {
  if (mode.empty() || mode == kCommonModes)
    throw InvalidArgumentException("a run loop runs in one named mode, not \"" + mode + "\"");
}

void RunLoop::addCommonMode(const std::string& mode) {
  if (mode.empty() || mode == kCommonModes) throw InvalidArgumentException("invalid common mode");
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    auto& common = s_->commonModes;
    if (std::find(common.begin(), common.end(), mode) == common.end()) common.push_back(mode);
  }
  wakeUp();
}

std::vector<std::string> RunLoop::commonModes() const {
  std::lock_guard<std::mutex> g(s_->mutex);
  return s_->commonModes;
}

std::string RunLoop::currentMode() const {
  std::lock_guard<std::mutex> g(s_->mutex);
  return s_->frames.empty() ? std::string() : s_->frames.back()->mode;
}

// ---------------------------------------------------------------- registration

void RunLoop::addTimer(Timer* timer, const std::string& mode) {
  if (!timer) throw InvalidArgumentException("RunLoop::addTimer: null timer");
  if (mode.empty()) throw InvalidArgumentException("RunLoop::addTimer: empty mode");
  if (!timer->isValid()) return;
  if (!timer->attach(shared_from_this()))
    throw InvalidArgumentException("RunLoop::addTimer: the timer belongs to another run loop");
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    if (s_->dead) return;
    for (auto& e : s_->timers)
      if (e.timer.get() == timer && e.mode == mode) return;
    s_->timers.push_back({Ref<Timer>(timer), mode});
  }
  wakeUp();
}

void RunLoop::addSource(RunLoopSource* source, const std::string& mode) {
  if (!source) throw InvalidArgumentException("RunLoop::addSource: null source");
  if (mode.empty()) throw InvalidArgumentException("RunLoop::addSource: empty mode");
  {
    std::lock_guard<std::mutex> g(source->mutex_);
    if (!source->valid_) return;
    auto owner = source->loop_.lock();
    if (owner && owner.get() != this)
      throw InvalidArgumentException("RunLoop::addSource: the source belongs to another run loop");
    source->loop_ = shared_from_this();
  }
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    if (s_->dead) return;
    for (auto& e : s_->sources)
      if (e.source.get() == source && e.mode == mode) return;
    s_->sources.push_back({Ref<RunLoopSource>(source), mode});
  }
  wakeUp();
}

void RunLoop::removeSource(RunLoopSource* source, const std::string& mode) {
  std::vector<State::SourceEntry> removed;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    auto& v = s_->sources;
    for (auto it = v.begin(); it != v.end();) {
      if (it->source.get() == source && it->mode == mode) {
        removed.push_back(std::move(*it));
        it = v.erase(it);
      } else {
        ++it;
      }
    }
  }
}

RunLoop::WatchId RunLoop::watchFd(int fd, unsigned events, FdCallback callback,
                                  const std::string& mode) {
  if (fd < 0) throw InvalidArgumentException("RunLoop::watchFd: negative file descriptor");
  if (!callback) throw InvalidArgumentException("RunLoop::watchFd: no callback");
  if (mode.empty()) throw InvalidArgumentException("RunLoop::watchFd: empty mode");
  WatchId id;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    if (s_->dead) return 0;
    id = s_->nextWatch++;
    s_->watches.push_back({id, fd, events & (kReadable | kWritable),
                           std::make_shared<FdCallback>(std::move(callback)), mode});
  }
  wakeUp();
  return id;
}

void RunLoop::setWatchEvents(WatchId id, unsigned events) {
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    for (auto& w : s_->watches)
      if (w.id == id) w.events = events & (kReadable | kWritable);
  }
  wakeUp();
}

void RunLoop::removeWatch(WatchId id) {
  std::shared_ptr<FdCallback> dropped;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    auto& v = s_->watches;
    auto it = std::find_if(v.begin(), v.end(), [&](const State::Watch& w) { return w.id == id; });
    if (it == v.end()) return;
    dropped = std::move(it->callback);
    v.erase(it);
  }
  wakeUp();
}

// ---------------------------------------------------------------- delayed calls

void RunLoop::performAfterDelay(const void* target, std::string action, Ref<Object> argument,
                                double delay, std::function<void()> fn,
                                const std::vector<std::string>& modes) {
  if (!fn) throw InvalidArgumentException("RunLoop::performAfterDelay: no function");
  Ref<Timer> t = Timer::performRequest(target, std::move(action), std::move(argument), delay,
                                       std::move(fn));
  if (modes.empty()) {
    addTimer(t, kDefaultMode);
  } else {
    for (const auto& m : modes) addTimer(t, m);
  }
}

void RunLoop::cancelPreviousPerformRequests(const void* target) {
  std::vector<State::TimerEntry> cancelled;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    auto& v = s_->timers;
    for (auto it = v.begin(); it != v.end();) {
      if (it->timer->matches(target)) {
        cancelled.push_back(std::move(*it));
        it = v.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Outside the lock: dropping a call's function may run any destructor.
  for (auto& e : cancelled) e.timer->invalidate();
}

void RunLoop::cancelPreviousPerformRequests(const void* target, const std::string& action,
                                            const Object* argument) {
  std::vector<State::TimerEntry> cancelled;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    auto& v = s_->timers;
    for (auto it = v.begin(); it != v.end();) {
      if (it->timer->matches(target, action, argument)) {
        cancelled.push_back(std::move(*it));
        it = v.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& e : cancelled) e.timer->invalidate();
}

size_t RunLoop::pendingPerformRequestCount(const void* target) const {
  std::lock_guard<std::mutex> g(s_->mutex);
  std::vector<const Timer*> seen;
  for (auto& e : s_->timers)
    if (e.timer->matches(target) && e.timer->isValid() &&
        std::find(seen.begin(), seen.end(), e.timer.get()) == seen.end())
      seen.push_back(e.timer.get());
  return seen.size();
}

// ---------------------------------------------------------------- posted calls

bool RunLoop::perform(std::function<void()> fn, bool waitUntilDone,
                      const std::vector<std::string>& modes) {
  if (!fn) throw InvalidArgumentException("RunLoop::perform: no function");
  if (waitUntilDone && isCurrent()) {
    fn();
    return true;
  }
  auto waiter = waitUntilDone ? std::make_shared<Waiter>() : nullptr;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    if (s_->dead) return false;
    s_->posted.push_back(
        {std::move(fn), modes.empty() ? std::vector<std::string>{kCommonModes} : modes, waiter});
  }
  if (waiter) wakeUpNow();
  else wakeUp();
  if (!waiter) return true;
  std::unique_lock<std::mutex> l(waiter->mutex);
  waiter->cv.wait(l, [&] { return waiter->done; });
  if (waiter->error) std::rethrow_exception(waiter->error);
  return waiter->ran;
}

bool RunLoop::performOnMainThread(std::function<void()> fn, bool waitUntilDone) {
  return main().perform(std::move(fn), waitUntilDone);
}

size_t RunLoop::runPosted(const std::string& mode) {
  auto matches = [&](const State::Posted& p) {
    for (const auto& m : p.modes)
      if (inMode(m, mode)) return true;
    return false;
  };
  size_t budget;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    budget = std::count_if(s_->posted.begin(), s_->posted.end(), matches);
  }
  // Only what was queued when the pass began: calls that post calls cannot
  // keep one pass going for ever. Each call leaves the queue before it runs,
  // so one that throws loses none of the others.
  size_t ran = 0;
  for (; ran < budget; ++ran) {
    State::Posted item;
    {
      std::lock_guard<std::mutex> g(s_->mutex);
      auto it = std::find_if(s_->posted.begin(), s_->posted.end(), matches);
      if (it == s_->posted.end()) break;
      item = std::move(*it);
      s_->posted.erase(it);
    }
    if (item.waiter) {
      try {
        item.fn();
        item.waiter->finish(true, nullptr);
      } catch (...) {
        item.waiter->finish(true, std::current_exception());
      }
    } else {
      item.fn();
    }
  }
  return ran;
}

// ---------------------------------------------------------------- one pass

double RunLoop::nextTimerDate(const std::string& mode) const {
  std::lock_guard<std::mutex> g(s_->mutex);
  double next = kDistantFuture;
  for (auto& e : s_->timers)
    if (inMode(e.mode, mode) && e.timer->isValid()) next = std::min(next, e.timer->fireDate());
  return next;
}

size_t RunLoop::fireTimers(const std::string& mode) {
  struct Due {
    double date;
    uint64_t sequence;
    Ref<Timer> timer;
  };
  const double now = Clock::now();
  std::vector<Due> due;
  std::vector<State::TimerEntry> pruned;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    auto& v = s_->timers;
    for (auto it = v.begin(); it != v.end();) {
      if (!it->timer->isValid()) {
        pruned.push_back(std::move(*it));
        it = v.erase(it);
        continue;
      }
      double date;
      uint64_t seq;
      if (inMode(it->mode, mode) && it->timer->dueAt(now, &date, &seq) &&
          std::none_of(due.begin(), due.end(), [&](const Due& d) { return d.timer == it->timer; }))
        due.push_back({date, seq, it->timer});
      ++it;
    }
  }
  std::sort(due.begin(), due.end(), [](const Due& a, const Due& b) {
    return a.date != b.date ? a.date < b.date : a.sequence < b.sequence;
  });
  size_t fired = 0;
  // An earlier callback may cancel or move a later timer; fireIfDue re-checks.
  for (auto& d : due)
    if (d.timer->fireIfDue(now)) ++fired;
  return fired;
}

size_t RunLoop::fireSources(const std::string& mode) {
  std::vector<Ref<RunLoopSource>> ready;
  std::vector<State::SourceEntry> pruned;
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    auto& v = s_->sources;
    for (auto it = v.begin(); it != v.end();) {
      if (!it->source->isValid()) {
        pruned.push_back(std::move(*it));
        it = v.erase(it);
        continue;
      }
      if (inMode(it->mode, mode) && it->source->isSignalled() &&
          std::find(ready.begin(), ready.end(), it->source) == ready.end())
        ready.push_back(it->source);
      ++it;
    }
  }
  size_t handled = 0;
  for (auto& s : ready) {
    if (auto handler = s->takeSignal()) {
      ++handled;
      (*handler)();
    }
  }
  return handled;
}

namespace {
thread_local int tMainWakeUpHolds = 0;
thread_local bool tMainWakeUpHeld = false;
}  // namespace

void RunLoop::giveHeldMainWakeUp() {
  if (!tMainWakeUpHeld) return;
  tMainWakeUpHeld = false;
  main().wakeUpNow();
}

size_t RunLoop::pollAndDispatch(const std::string& mode, int timeoutMs) {
  std::vector<pollfd> fds{{s_->wakeFd, POLLIN, 0}};
  std::vector<WatchId> ids{0};
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    for (auto& w : s_->watches) {
      if (!w.events || !inMode(w.mode, mode)) continue;
      short ev = 0;
      if (w.events & kReadable) ev |= POLLIN;
      if (w.events & kWritable) ev |= POLLOUT;
      fds.push_back({w.fd, ev, 0});
      ids.push_back(w.id);
    }
  }
  // A thread never waits while it owes the main loop a wake-up (a run inside a hold).
  if (timeoutMs != 0) giveHeldMainWakeUp();
  if (RunLoopDriver* driver = s_->driver.load()) {
    driver->wait(fds, timeoutMs);
  } else if (::poll(fds.data(), fds.size(), timeoutMs) < 0) {
    return 0;  // interrupted: the caller's next pass polls again
  }
  if (fds[0].revents & POLLIN) {
    uint64_t count;
    while (::read(s_->wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
  }
  size_t handled = 0;
  for (size_t i = 1; i < fds.size(); ++i) {
    const short re = fds[i].revents;
    if (!re) continue;
    std::shared_ptr<FdCallback> callback;
    unsigned events = 0;
    {
      std::lock_guard<std::mutex> g(s_->mutex);
      auto it = std::find_if(s_->watches.begin(), s_->watches.end(),
                             [&](const State::Watch& w) { return w.id == ids[i]; });
      // Removed or paused by an earlier callback of this pass.
      if (it == s_->watches.end() || !it->events) continue;
      if (re & POLLNVAL) {
        // Closed behind the watcher's back: say so once rather than spin.
        events = kError;
        it->events = 0;
      } else {
        if (re & (POLLIN | POLLPRI | POLLHUP)) events |= kReadable;
        if (re & POLLOUT) events |= kWritable;
        events &= it->events;
        if (re & POLLERR) events |= kError | it->events;
        // A hang-up nobody reads about would wake every poll: report it.
        if (!events && (re & POLLHUP)) events = kError;
      }
      callback = it->callback;
    }
    if (!events) continue;
    ++handled;
    (*callback)(fds[i].fd, events);
  }
  return handled;
}

RunLoop::PassResult RunLoop::pass(const std::string& mode, double untilTime, double realDeadline,
                                  bool mayBlock) {
  PassResult r;
  r.sources += runPosted(mode);
  r.timers += fireTimers(mode);
  r.sources += fireSources(mode);

  int timeoutMs = 0;
  if (mayBlock && !r.sources && !r.timers) {
    bool pending = false;
    bool stopped = false;
    {
      std::lock_guard<std::mutex> g(s_->mutex);
      stopped = !s_->frames.empty() && s_->frames.back()->stopped;
      for (auto& p : s_->posted)
        for (const auto& m : p.modes) pending = pending || inMode(m, mode);
      for (auto& e : s_->sources)
        pending = pending || (inMode(e.mode, mode) && e.source->isSignalled());
    }
    if (!pending && !stopped) {
      const double now = Clock::now();
      const double limit = std::min(untilTime, nextTimerDate(mode));
      double ms;
      if (limit <= now + Timer::kTolerance)
        ms = 0;
      else if (Clock::isVirtual() || limit >= kDistantFuture)
        ms = kNoDeadline;  // virtual time moves only when someone advances it (and wakes us)
      else
        ms = std::ceil((limit - now) * 1000.0);
      if (realDeadline != kNoDeadline)
        ms = std::min(ms, std::max(0.0, std::ceil((realDeadline - steadyNow()) * 1000.0)));
      timeoutMs = ms == kNoDeadline ? -1 : static_cast<int>(std::min(ms, double(INT_MAX / 2)));
    }
  }
  r.sources += pollAndDispatch(mode, timeoutMs);
  return r;
}

void RunLoop::drainPasses(const std::string& mode, size_t* count) {
  for (;;) {
    PassResult r = pass(mode, 0, kNoDeadline, false);
    *count += r.sources + r.timers;
    if (!r.sources && !r.timers) return;
    std::lock_guard<std::mutex> g(s_->mutex);
    if (!s_->frames.empty() && s_->frames.back()->stopped) return;
  }
}

// ---------------------------------------------------------------- running

void RunLoop::run() {
  requireOwner("run");
  FrameGuard frame(this, kDefaultMode, true);
  while (!frame.stopped()) pass(kDefaultMode, kDistantFuture, kNoDeadline, true);
}

bool RunLoop::runMode(const std::string& mode, double untilTime) {
  requireOwner("runMode");
  checkMode(mode);
  FrameGuard frame(this, mode, true);
  for (;;) {
    if (frame.stopped()) return false;
    if (pass(mode, untilTime, kNoDeadline, true).sources) return true;
    if (frame.stopped() || Clock::now() + Timer::kTolerance >= untilTime) return false;
  }
}

void RunLoop::stop() {
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    if (!s_->frames.empty()) s_->frames.back()->stopped = true;
  }
  wakeUp();
}

size_t RunLoop::drain(const std::string& mode) {
  requireOwner("drain");
  checkMode(mode);
  FrameGuard frame(this, mode);
  size_t count = 0;
  drainPasses(mode, &count);
  return count;
}

void RunLoop::advance(double seconds, const std::string& mode) {
  requireOwner("advance");
  checkMode(mode);
  if (!Clock::isVirtual()) {
    runUntil(nullptr, seconds, mode);
    return;
  }
  FrameGuard frame(this, mode);
  const double target = Clock::now() + std::max(0.0, seconds);
  size_t count = 0;
  drainPasses(mode, &count);
  while (!frame.stopped()) {
    const double next = nextTimerDate(mode);
    if (next > target + Timer::kTolerance) break;
    if (next > Clock::now()) {
      Clock::setVirtual(next);
      wakeAllLoops();
    }
    drainPasses(mode, &count);
  }
  if (!frame.stopped() && Clock::now() < target) {
    Clock::setVirtual(target);
    wakeAllLoops();
    drainPasses(mode, &count);
  }
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, double timeoutSeconds,
                       const std::string& mode) {
  requireOwner("runUntil");
  checkMode(mode);
  FrameGuard frame(this, mode, true);
  const double deadline = steadyNow() + std::max(0.0, timeoutSeconds);
  for (;;) {
    if (predicate && predicate()) return true;
    const double now = steadyNow();
    if (frame.stopped() || now >= deadline) return predicate && predicate();
    // Other threads may make the predicate true without posting anything here.
    pass(mode, kDistantFuture, std::min(deadline, now + kPredicatePollInterval), true);
  }
}

// ---------------------------------------------------------------- host seam

int RunLoop::wakeupFd() const { return s_->wakeFd; }

std::vector<pollfd> RunLoop::pollFds(const std::string& mode) const {
  std::vector<pollfd> fds;
  std::lock_guard<std::mutex> g(s_->mutex);
  for (auto& w : s_->watches) {
    if (!w.events || !inMode(w.mode, mode)) continue;
    short ev = 0;
    if (w.events & kReadable) ev |= POLLIN;
    if (w.events & kWritable) ev |= POLLOUT;
    fds.push_back({w.fd, ev, 0});
  }
  return fds;
}

double RunLoop::nextDueTime(const std::string& mode) const {
  {
    std::lock_guard<std::mutex> g(s_->mutex);
    for (auto& p : s_->posted)
      for (const auto& m : p.modes)
        if (inMode(m, mode)) return Clock::now();
    for (auto& e : s_->sources)
      if (inMode(e.mode, mode) && e.source->isSignalled()) return Clock::now();
  }
  return nextTimerDate(mode);
}

bool RunLoop::processDueWork(const std::string& mode) {
  requireOwner("processDueWork");
  checkMode(mode);
  FrameGuard frame(this, mode);
  PassResult r = pass(mode, 0, kNoDeadline, false);
  return r.sources + r.timers > 0;
}

void RunLoop::setDriver(RunLoopDriver* driver) {
  s_->driver.store(driver);
  wakeUp();
}

bool RunLoop::runningHereAndLooksBeforeWaiting() const {
  const bool own = this == mainShared().get() ? isMainThread() : threadSlot().loop.get() == this;
  if (!own) return false;
  // Only the owner changes the frame stack, so the owner may read it without the lock.
  const auto& frames = s_->frames;
  return !frames.empty() && frames.back()->looksBeforeWaiting;
}

RunLoop::HoldMainWakeUps::HoldMainWakeUps() { ++tMainWakeUpHolds; }

RunLoop::HoldMainWakeUps::~HoldMainWakeUps() {
  if (--tMainWakeUpHolds == 0) giveHeldMainWakeUp();
}

void RunLoop::wakeUp() {
  if (tMainWakeUpHolds > 0 && this == mainShared().get() && !isMainThread()) {
    tMainWakeUpHeld = true;
    return;
  }
  wakeUpNow();
}

void RunLoop::wakeUpNow() {
  RunLoopDriver* driver = s_->driver.load();
  // Called from a callback of the loop's own run: the run looks at everything again before it
  // waits, so the wakeup fd need not be written (and read back) for it. A host loop (driver)
  // is always told.
  if (!driver && runningHereAndLooksBeforeWaiting()) return;
  const uint64_t one = 1;
  while (::write(s_->wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
  if (driver) driver->wakeUp();
}

void RunLoop::wakeAllLoops() {
  std::lock_guard<std::mutex> g(gRegistryMutex);
  for (RunLoop* loop : registry()) loop->wakeUp();
}

}  // namespace kit
