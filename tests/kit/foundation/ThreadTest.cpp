#include "kit/foundation/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "kit/foundation/Clock.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/Timer.h"

using kit::Clock;
using kit::RunLoop;
using kit::Ref;
using kit::Thread;

namespace {

class ThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { RunLoop::main().drain(); }
  void TearDown() override {
    RunLoop::main().drain();
    Clock::setReal();
  }
  // Runs the main loop until `done` (threads post to main to wake it).
  static bool waitFor(const std::function<bool()>& done) { return RunLoop::main().runUntil(done, 30.0); }
};

TEST_F(ThreadTest, MainThreadIdentity) {
  Thread* main = Thread::mainThread().get();
  EXPECT_EQ(Thread::current().get(), main);
  EXPECT_TRUE(main->isMain());
  EXPECT_TRUE(Thread::isMainThread());
  EXPECT_EQ(&main->runLoop(), &RunLoop::main());
  EXPECT_THROW(main->start(), kit::InvalidArgumentException);

  // A thread kit did not start still gets a Thread with a loop of its own.
  bool sawMain = true;
  bool ownLoop = false;
  bool stable = false;
  std::thread foreign([&] {
    Ref<Thread> self = Thread::current();
    sawMain = self->isMain() || Thread::isMainThread();
    ownLoop = &self->runLoop() == &RunLoop::current() && &RunLoop::current() != &RunLoop::main();
    stable = Thread::current() == self;
  });
  foreign.join();
  EXPECT_FALSE(sawMain);
  EXPECT_TRUE(ownLoop);
  EXPECT_TRUE(stable);
}

TEST_F(ThreadTest, DetachedThreadRunsWithItsNameAndReportsToMain) {
  std::string name;
  bool onMain = true;
  Thread* seen = nullptr;
  std::atomic<bool> reported{false};
  Ref<Thread> t = Thread::detachNewThread(
      [&] {
        name = Thread::current()->name();
        onMain = Thread::isMainThread();
        seen = Thread::current().get();
        RunLoop::performOnMainThread([&] { reported = true; });
      },
      "favicon fetch");
  EXPECT_TRUE(waitFor([&] { return reported.load(); }));
  EXPECT_EQ(name, "favicon fetch");
  EXPECT_FALSE(onMain);
  EXPECT_EQ(seen, t.get());
  EXPECT_THROW(t->start(), kit::InvalidArgumentException);
}

TEST_F(ThreadTest, ThreadWaitsInItsRunLoopUntilWokenByAPerform) {
  // A worker hands work to main, waits for it, then sleeps in its own loop until
  // main says it may finish and sends an empty call to wake it.
  std::atomic<bool> readyToFinish{false};
  std::atomic<int> spins{0};
  bool sharedOnMain = false;
  Ref<Thread> t = Thread::detachNewThread([&] {
    RunLoop::performOnMainThread([&] { sharedOnMain = Thread::isMainThread(); }, true);
    while (!readyToFinish.load()) {
      RunLoop::current().runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture);
      ++spins;
    }
    RunLoop::performOnMainThread([] {});
  });
  EXPECT_TRUE(waitFor([&] { return sharedOnMain; }));

  // Work posted with waiting runs on the worker's thread, inside its wait.
  std::thread::id ranOn;
  EXPECT_TRUE(t->perform([&] { ranOn = std::this_thread::get_id(); }, true));
  EXPECT_NE(ranOn, std::this_thread::get_id());
  const int spinsBefore = spins.load();

  readyToFinish = true;
  EXPECT_TRUE(t->perform([] {}));
  EXPECT_TRUE(waitFor([&] { return t->isFinished(); }));
  // It waited: a handful of wake-ups (the last call's may be counted after we
  // read the count), never a busy loop's thousands.
  EXPECT_LE(spins.load() - spinsBefore, 5);

  // Nobody is left to run work for the ended thread: a waiting call does not hang.
  EXPECT_FALSE(t->perform([] {}, true));
}

TEST_F(ThreadTest, WorkPostedBeforeStartRunsOnTheThread) {
  std::atomic<bool> ran{false};
  auto t = kit::make<Thread>([&] {
    while (!ran.load()) RunLoop::current().runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture);
    RunLoop::performOnMainThread([] {});
  });
  t->perform([&] { ran = true; });
  t->start();
  EXPECT_TRUE(waitFor([&] { return t->isFinished(); }));
}

TEST_F(ThreadTest, DelayedCallsRunOnTheirThreadAsVirtualTimeAdvances) {
  Clock::setVirtual(1000.0);
  std::atomic<bool> scheduled{false};
  std::atomic<bool> fired{false};
  std::atomic<int> ticks{0};
  std::thread::id firedOn;
  Ref<Thread> t = Thread::detachNewThread([&] {
    int token = 0;
    RunLoop::current().performAfterDelay(&token, "later", nullptr, 1.0, [&] {
      firedOn = std::this_thread::get_id();
      fired = true;
      RunLoop::current().stop();  // timers alone do not end a run
    });
    auto tick = kit::Timer::scheduledTimer(0.25, true, [&](kit::Timer&) { ++ticks; });
    RunLoop::performOnMainThread([&] { scheduled = true; }, true);
    while (!fired.load()) RunLoop::current().runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture);
    tick->invalidate();
    RunLoop::performOnMainThread([] {});
  });
  EXPECT_TRUE(waitFor([&] { return scheduled.load(); }));
  RunLoop::main().advance(0.5);
  EXPECT_FALSE(fired.load());  // not due yet, whenever the thread looks
  RunLoop::main().advance(0.5);
  EXPECT_TRUE(waitFor([&] { return t->isFinished(); }));
  EXPECT_TRUE(fired.load());
  EXPECT_NE(firedOn, std::this_thread::get_id());
  EXPECT_GE(ticks.load(), 1);
  EXPECT_LE(ticks.load(), 4);
}

}  // namespace

namespace {

TEST_F(ThreadTest, RenewedThreadGetsAFreshIdentityAndTheOldOneIsFinished) {
  Ref<Thread> before, after;
  bool postedToOld = true;
  bool sameLoop = true;
  std::string name;
  std::thread([&] {
    before = Thread::current();
    RunLoop* oldLoop = &RunLoop::current();
    Thread::renewCurrent("renewed");
    after = Thread::current();
    sameLoop = &RunLoop::current() == oldLoop;
    postedToOld = before->perform([] {});
    name = after->name();
    // The fresh loop works.
    bool ran = false;
    after->perform([&] { ran = true; });
    RunLoop::current().runMode(RunLoop::kDefaultMode, Clock::now() + 5);
    EXPECT_TRUE(ran);
  }).join();
  ASSERT_TRUE(before && after);
  EXPECT_NE(before.get(), after.get());
  EXPECT_TRUE(before->isFinished());
  EXPECT_FALSE(postedToOld);  // refused, not queued for whatever runs next on the thread
  EXPECT_FALSE(sameLoop);
  EXPECT_EQ(name, "renewed");

  // The main thread keeps its identity.
  Ref<Thread> main = Thread::current();
  Thread::renewCurrent("not main");
  EXPECT_EQ(Thread::current().get(), main.get());
  EXPECT_EQ(Thread::current()->name(), "main");
}

}  // namespace
