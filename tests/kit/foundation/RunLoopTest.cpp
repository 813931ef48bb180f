#include "kit/foundation/RunLoop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <string>
#include <future>
#include <thread>
#include <vector>

#include "kit/foundation/Clock.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/RunLoopSource.h"
#include "kit/foundation/String.h"
#include "kit/foundation/Thread.h"
#include "kit/foundation/Timer.h"

using kit::Clock;
using kit::RunLoop;
using kit::Timer;

namespace {

constexpr double kStart = 700000000.0;

class RunLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clock::setVirtual(kStart);
    loop().drain();
  }
  void TearDown() override {
    loop().drain();
    Clock::setReal();
  }
  static RunLoop& loop() { return RunLoop::main(); }
  // Milliseconds of virtual time since the test began.
  static long ms() { return std::lround((Clock::now() - kStart) * 1000.0); }
  std::function<void()> record(std::string what) {
    return [this, what] { events.push_back(what + "@" + std::to_string(ms())); };
  }

  std::vector<std::string> events;
  int target = 0;
  int otherTarget = 0;
};

using Events = std::vector<std::string>;

TEST_F(RunLoopTest, DelayedCallsFireInDueOrderFifoForEqualTimes) {
  loop().performAfterDelay(&target, "a", nullptr, 2.0, record("a"));
  loop().performAfterDelay(&target, "b", nullptr, 1.0, record("b"));
  loop().performAfterDelay(&target, "c", nullptr, 1.0, record("c"));
  loop().performAfterDelay(&target, "d", nullptr, 0.5, record("d"));

  loop().advance(0.4);
  EXPECT_TRUE(events.empty());
  loop().advance(0.1);
  EXPECT_EQ(events, (Events{"d@500"}));
  loop().advance(10.0);
  EXPECT_EQ(events, (Events{"d@500", "b@1000", "c@1000", "a@2000"}));
  EXPECT_EQ(ms(), 10500);
  EXPECT_EQ(loop().pendingPerformRequestCount(&target), 0u);
}

TEST_F(RunLoopTest, CancellingByTargetCancelsEveryCallAimedAtItOnly) {
  loop().performAfterDelay(&target, "x", nullptr, 1.0, record("t.x"));
  loop().performAfterDelay(&target, "y", kit::String::string("q"), 2.0, record("t.y"));
  loop().performAfterDelay(&otherTarget, "x", nullptr, 1.0, record("o.x"));
  EXPECT_EQ(loop().pendingPerformRequestCount(&target), 2u);

  loop().cancelPreviousPerformRequests(&target);
  EXPECT_EQ(loop().pendingPerformRequestCount(&target), 0u);
  loop().advance(5.0);
  EXPECT_EQ(events, (Events{"o.x@1000"}));
}

TEST_F(RunLoopTest, CancellingByKeyMatchesActionAndEqualArgument) {
  loop().performAfterDelay(&target, "load", kit::String::string("x"), 1.0, record("load-x"));
  loop().performAfterDelay(&target, "load", kit::String::string("y"), 1.0, record("load-y"));
  loop().performAfterDelay(&target, "other", kit::String::string("x"), 1.0, record("other-x"));
  loop().performAfterDelay(&target, "load", nullptr, 1.0, record("load-nil"));
  loop().performAfterDelay(&target, "load", kit::String::string("x"), 2.0, record("load-x2"));

  // An equal argument, not the same object, is enough.
  auto x = kit::String::string("x");
  loop().cancelPreviousPerformRequests(&target, "load", x.get());
  loop().cancelPreviousPerformRequests(&target, "load", nullptr);
  loop().cancelPreviousPerformRequests(&otherTarget, "other", x.get());

  loop().advance(3.0);
  EXPECT_EQ(events, (Events{"load-y@1000", "other-x@1000"}));
}

TEST_F(RunLoopTest, CancelAndRearmFiresOnlyTheLastTrigger) {
  // The debounce pattern: every trigger cancels the pending call and arms a new one.
  for (int i = 0; i < 3; ++i) {
    loop().cancelPreviousPerformRequests(&target, "suggest", nullptr);
    loop().performAfterDelay(&target, "suggest", nullptr, 0.05, record("s" + std::to_string(i)));
    loop().advance(0.03);
  }
  loop().advance(1.0);
  EXPECT_EQ(events, (Events{"s2@110"}));
}

TEST_F(RunLoopTest, CallsScheduledWhileFiringRunInTheSameAdvance) {
  loop().performAfterDelay(&target, "first", nullptr, 1.0, [&] {
    events.push_back("first@" + std::to_string(ms()));
    loop().performAfterDelay(&target, "now", nullptr, 0.0, record("now"));
    loop().performAfterDelay(&target, "later", nullptr, 0.5, record("later"));
  });
  loop().advance(2.0);
  EXPECT_EQ(events, (Events{"first@1000", "now@1000", "later@1500"}));
}

TEST_F(RunLoopTest, TimersAndDelayedCallsInterleaveByDueTime) {
  auto tick = Timer::timer(0.05, true, [&](Timer&) { events.push_back("tick@" + std::to_string(ms())); });
  auto shot = Timer::timer(0.12, false, [&](Timer&) { events.push_back("shot@" + std::to_string(ms())); });
  loop().addTimer(tick);
  loop().addTimer(shot);
  loop().performAfterDelay(&target, "call", nullptr, 0.11, record("call"));

  loop().advance(0.2);
  EXPECT_EQ(events, (Events{"tick@50", "tick@100", "call@110", "shot@120", "tick@150", "tick@200"}));
  EXPECT_FALSE(shot->isValid());
  EXPECT_TRUE(tick->isValid());
  EXPECT_DOUBLE_EQ(tick->timeInterval(), 0.05);
  EXPECT_EQ(shot->timeInterval(), 0.0);

  tick->invalidate();
  loop().advance(1.0);
  EXPECT_EQ(events.size(), 6u);
}

TEST_F(RunLoopTest, RepeatingTimerStopsItselfAndSkipsMissedBeats) {
  int fired = 0;
  auto t = Timer::timer(1.0, true, [&](Timer& self) {
    if (++fired == 3) self.invalidate();
  });
  loop().addTimer(t);
  loop().advance(10.0);
  EXPECT_EQ(fired, 3);

  // The clock jumps past three beats while nobody runs the loop: one late fire, then on the beat.
  int late = 0;
  auto status = Timer::timer(1.0, true, [&](Timer&) { ++late; });
  loop().addTimer(status);
  Clock::advance(3.5);
  loop().drain();
  EXPECT_EQ(late, 1);
  EXPECT_NEAR(status->fireDate() - Clock::now(), 0.5, 1e-6);
  loop().advance(0.5);
  EXPECT_EQ(late, 2);
  status->invalidate();
}

TEST_F(RunLoopTest, MovingAFireDateReschedulesTheTimer) {
  auto t = Timer::timer(5.0, false, [&](Timer&) { events.push_back("t@" + std::to_string(ms())); });
  loop().addTimer(t);
  t->setFireDate(Clock::now() + 1.0);
  loop().advance(2.0);
  EXPECT_EQ(events, (Events{"t@1000"}));
  t->setFireDate(Clock::now() + 1.0);  // a fired one-shot stays dead
  loop().advance(2.0);
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(RunLoopTest, ATimerBelongsToOneLoop) {
  auto t = Timer::timer(1.0, false, [](Timer&) {});
  loop().addTimer(t);
  auto thread = kit::make<kit::Thread>([] {});
  EXPECT_THROW(thread->runLoop().addTimer(t), kit::InvalidArgumentException);
  EXPECT_THROW(loop().addTimer(nullptr), kit::InvalidArgumentException);
  t->invalidate();
}

TEST_F(RunLoopTest, ModesSelectWhatRuns) {
  const std::string priv = "PrivateTestMode";
  auto inPrivate = Timer::timer(0.1, false, [&](Timer&) { events.push_back("private:" + loop().currentMode()); });
  auto inCommon = Timer::timer(0.1, false, [&](Timer&) { events.push_back("common:" + loop().currentMode()); });
  loop().addTimer(inPrivate, priv);
  loop().addTimer(inCommon, RunLoop::kCommonModes);

  loop().advance(1.0);
  EXPECT_EQ(events, (Events{"common:" + RunLoop::kDefaultMode}));
  loop().drain(priv);  // already due: runs as soon as the loop runs in its mode
  EXPECT_EQ(events, (Events{"common:" + RunLoop::kDefaultMode, "private:" + priv}));
  EXPECT_EQ(loop().currentMode(), "");

  // A mode added to the common set also runs what was registered for common modes.
  events.clear();
  const std::string tracking = "TrackingTestMode";
  loop().addCommonMode(tracking);
  loop().performAfterDelay(&target, "common", nullptr, 0.0, record("common"), {RunLoop::kCommonModes});
  loop().performAfterDelay(&target, "default", nullptr, 0.0, record("default"));
  loop().perform(record("posted"));
  loop().perform(record("posted-private"), false, {priv});
  loop().drain(tracking);
  EXPECT_EQ(events, (Events{"posted@1000", "common@1000"}));
  loop().drain(priv);
  EXPECT_EQ(events.back(), "posted-private@1000");
  loop().drain();
  EXPECT_EQ(events.back(), "default@1000");

  EXPECT_THROW(loop().drain(RunLoop::kCommonModes), kit::InvalidArgumentException);
}

TEST_F(RunLoopTest, RunModeReturnsWhetherASourceWasHandled) {
  // A due timer fires but is not a source: the run ends at its time limit.
  auto t = Timer::timer(0.0, false, [&](Timer&) { events.push_back("timer"); });
  loop().addTimer(t);
  EXPECT_FALSE(loop().runMode(RunLoop::kDefaultMode, Clock::now()));
  EXPECT_EQ(events, (Events{"timer"}));

  // stop() outside any run is not remembered for the next one.
  loop().stop();
  loop().perform([&] { events.push_back("posted"); });
  EXPECT_TRUE(loop().runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture));
  EXPECT_EQ(events.back(), "posted");

  // A signalled source wakes a run that would otherwise wait for ever.
  auto source = kit::make<kit::RunLoopSource>([&] { events.push_back("source"); });
  auto silent = kit::make<kit::RunLoopSource>();
  loop().addSource(source);
  loop().addSource(silent);
  std::thread signaller([&] {
    silent->signal();  // no handler: never fires
    source->signal();
  });
  EXPECT_TRUE(loop().runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture));
  signaller.join();
  EXPECT_EQ(events.back(), "source");
  source->invalidate();
  silent->invalidate();
  source->signal();
  EXPECT_EQ(loop().drain(), 0u);
}

TEST_F(RunLoopTest, StopEndsOnlyTheInnermostRun) {
  loop().perform([&] {
    events.push_back("outer running");
    loop().perform([&] {
      events.push_back("stop inner");
      loop().stop();
    });
    loop().run();  // nested
    events.push_back("inner returned");
    loop().perform([&] {
      events.push_back("stop outer");
      loop().stop();
    });
  });
  loop().run();
  EXPECT_EQ(events, (Events{"outer running", "stop inner", "inner returned", "stop outer"}));

  // stop() ends a nested runMode too, which then answers that no source ended it.
  const std::string nested = "NestedTestMode";
  int nestedResult = -1;
  auto outerTimer = Timer::timer(0.0, false, [&](Timer&) {
    nestedResult = loop().runMode(nested, RunLoop::kDistantFuture);
  });
  auto stopper = Timer::timer(0.0, false, [&](Timer&) { loop().stop(); });
  loop().addTimer(outerTimer, nested);
  loop().addTimer(stopper, nested);
  EXPECT_FALSE(loop().runMode(nested, Clock::now()));
  EXPECT_EQ(nestedResult, 0);
}

TEST_F(RunLoopTest, PerformOnMainFromManyThreadsLosesAndReordersNothing) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 2000;
  std::vector<std::vector<int>> seen(kThreads);  // touched on the main thread only
  std::vector<int> countAtWait(kThreads, -1);
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i)
        RunLoop::performOnMainThread([&seen, t, i] { seen[t].push_back(i); });
      // A waiting call runs after everything this thread sent before it.
      RunLoop::performOnMainThread([&, t] { countAtWait[t] = static_cast<int>(seen[t].size()); }, true);
      ++finished;
    });
  }
  EXPECT_TRUE(loop().runUntil([&] { return finished.load() == kThreads; }, 60.0));
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), size_t(kPerThread)) << "thread " << t;
    for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
    EXPECT_EQ(countAtWait[t], kPerThread);
  }
}

TEST_F(RunLoopTest, WaitingPerformFromMainRunsInlineAndErrorsReachTheWaiter) {
  bool ran = false;
  EXPECT_TRUE(RunLoop::performOnMainThread([&] { ran = true; }, true));
  EXPECT_TRUE(ran);

  bool caught = false;
  std::thread caller([&] {
    try {
      RunLoop::performOnMainThread([] { throw kit::InvalidArgumentException("bad"); }, true);
    } catch (const kit::InvalidArgumentException& e) {
      caught = std::string(e.what()) == "bad";
    }
    RunLoop::performOnMainThread([] {});  // wakes the loop after the catch
  });
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    caller.join();
    done = true;
    RunLoop::performOnMainThread([] {});
  });
  EXPECT_TRUE(loop().runUntil([&] { return done.load(); }, 30.0));
  watcher.join();
  EXPECT_TRUE(caught);
}

TEST_F(RunLoopTest, AThrowingCallLosesNoOtherCall) {
  loop().perform([] { throw kit::InternalInconsistencyException("boom"); });
  loop().perform([&] { events.push_back("second"); });
  EXPECT_THROW(loop().drain(), kit::InternalInconsistencyException);
  EXPECT_EQ(loop().currentMode(), "");
  loop().drain();
  EXPECT_EQ(events, (Events{"second"}));
}

TEST_F(RunLoopTest, OnlyTheOwningThreadRunsALoop) {
  bool threw = false;
  bool isMain = true;
  std::thread other([&] {
    isMain = RunLoop::isMainThread();
    try {
      RunLoop::main().drain();
    } catch (const kit::InternalInconsistencyException&) {
      threw = true;
    }
  });
  other.join();
  EXPECT_TRUE(threw);
  EXPECT_FALSE(isMain);
  EXPECT_TRUE(RunLoop::isMainThread());
  EXPECT_TRUE(loop().isCurrent());
  EXPECT_EQ(&RunLoop::current(), &RunLoop::main());
}

TEST_F(RunLoopTest, FdWatcherReadsAPipeInRealTime) {
  Clock::setReal();
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
  std::string got;
  bool eof = false;
  auto reader = [&](int fd, unsigned ev) {
    EXPECT_TRUE(ev & RunLoop::kReadable);
    char buf[64];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) got.append(buf, n);
    if (n == 0) eof = true;
  };
  RunLoop::WatchId id = loop().watchFd(fds[0], RunLoop::kReadable, reader);
  std::thread writer([&] { ASSERT_EQ(::write(fds[1], "hello", 5), 5); });
  EXPECT_TRUE(loop().runUntil([&] { return got == "hello"; }, 10.0));
  writer.join();

  // Removed: nothing more is read.
  loop().removeWatch(id);
  ASSERT_EQ(::write(fds[1], "more", 4), 4);
  loop().drain();
  EXPECT_EQ(got, "hello");

  // Writable fires at once; a paused watcher stays quiet.
  int writable = 0;
  RunLoop::WatchId w = 0;
  w = loop().watchFd(fds[1], RunLoop::kWritable, [&](int, unsigned ev) {
    EXPECT_TRUE(ev & RunLoop::kWritable);
    ++writable;
    loop().setWatchEvents(w, 0);
  });
  loop().drain();
  loop().drain();
  EXPECT_EQ(writable, 1);
  loop().removeWatch(w);

  // The writer hangs up: the reader gets the rest and then end of file.
  ::close(fds[1]);
  id = loop().watchFd(fds[0], RunLoop::kReadable, reader);
  EXPECT_TRUE(loop().runUntil([&] { return eof; }, 10.0));
  EXPECT_EQ(got, "hellomore");
  loop().removeWatch(id);
  ::close(fds[0]);

  // An fd closed behind its watcher's back is reported once, not spun on.
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  std::vector<unsigned> seen;
  id = loop().watchFd(fds[0], RunLoop::kReadable, [&](int, unsigned ev) { seen.push_back(ev); });
  ::close(fds[0]);
  loop().drain();
  loop().drain();
  EXPECT_EQ(seen, (std::vector<unsigned>{RunLoop::kError}));
  loop().removeWatch(id);
  ::close(fds[1]);
  EXPECT_THROW(loop().watchFd(-1, RunLoop::kReadable, reader), kit::InvalidArgumentException);
}

TEST_F(RunLoopTest, HostLoopSeamReportsDueWorkAndWakeups) {
  loop().performAfterDelay(&target, "later", nullptr, 2.0, record("later"));
  EXPECT_NEAR(loop().nextDueTime(RunLoop::kDefaultMode) - Clock::now(), 2.0, 1e-6);
  EXPECT_FALSE(loop().processDueWork());

  std::thread poster([&] { RunLoop::performOnMainThread(record("posted")); });
  poster.join();
  pollfd p{loop().wakeupFd(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 0), 1);
  EXPECT_DOUBLE_EQ(loop().nextDueTime(RunLoop::kDefaultMode), Clock::now());
  EXPECT_TRUE(loop().processDueWork());
  EXPECT_EQ(events, (Events{"posted@0"}));

  // A driver does the waiting when one is installed.
  struct CountingDriver : kit::RunLoopDriver {
    int waits = 0;
    void wait(std::vector<pollfd>& fds, int timeoutMs) override {
      ++waits;
      ::poll(fds.data(), fds.size(), timeoutMs);
    }
  } driver;
  loop().setDriver(&driver);
  loop().perform([] {});
  loop().drain();
  loop().setDriver(nullptr);
  EXPECT_GT(driver.waits, 0);
  loop().cancelPreviousPerformRequests(&target);
}

TEST_F(RunLoopTest, HeldWakeUpsReachTheMainLoopWhenTheOutermostHoldEndsAndAWaitingCallIsNotHeld) {
  std::promise<void> posted, looked;
  std::thread poster([&] {
    RunLoop::HoldMainWakeUps outer;
    {
      RunLoop::HoldMainWakeUps inner;
      RunLoop::performOnMainThread(record("held"));
    }
    posted.set_value();
    looked.get_future().wait();
  });
  posted.get_future().wait();
  pollfd p{loop().wakeupFd(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 0), 0);
  looked.set_value();
  poster.join();
  EXPECT_EQ(::poll(&p, 1, 0), 1);
  loop().drain();
  EXPECT_EQ(events, (Events{"held@0"}));

  std::thread waiter([&] {
    RunLoop::HoldMainWakeUps hold;
    RunLoop::performOnMainThread(record("waited"), true);
  });
  EXPECT_EQ(::poll(&p, 1, 10000), 1);
  loop().drain();
  waiter.join();

  // Nor is a call held while its thread waits in its own loop (a synchronous load inside a hold).
  std::promise<RunLoop*> running;
  std::thread runner([&] {
    RunLoop::HoldMainWakeUps hold;
    RunLoop::performOnMainThread(record("ran"));
    running.set_value(&RunLoop::current());
    RunLoop::current().runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture);
  });
  RunLoop* other = running.get_future().get();
  EXPECT_EQ(::poll(&p, 1, 10000), 1);
  loop().drain();
  other->perform([] {});
  runner.join();
  EXPECT_EQ(events, (Events{"held@0", "waited@0", "ran@0"}));
}

}  // namespace
