// kit's main run loop hosted in GLib's main context, both ways round.

#include <glib.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "kit/foundation/RunLoop.h"
#include "kit/gtk/MainContextHost.h"
#include "support/GuiFixture.h"

namespace {

using tolvatest::GuiFixture;

// Iterates GLib alone (as gtk_main does) until `flag` or a time-out.
bool spinGLib(const std::atomic<bool>& flag, int timeoutMs = 5000) {
  const gint64 end = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
  while (!flag && g_get_monotonic_time() < end) {
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return flag;
}

class RunLoopOnGLibTest : public GuiFixture {};

TEST_F(RunLoopOnGLibTest, DelayedCallsAndTimersFireFromGLibIterations) {
  std::atomic<bool> fired{false};
  int order = 0, first = 0, second = 0;
  kit::RunLoop& loop = kit::RunLoop::main();
  loop.performAfterDelay(this, "second", nullptr, 0.06, [&] { second = ++order; });
  loop.performAfterDelay(this, "first", nullptr, 0.02, [&] { first = ++order; });
  loop.performAfterDelay(this, "last", nullptr, 0.1, [&] { fired = true; });
  ASSERT_TRUE(spinGLib(fired));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
}

TEST_F(RunLoopOnGLibTest, CancelledDelayedCallNeverRuns) {
  std::atomic<bool> ran{false}, later{false};
  kit::RunLoop& loop = kit::RunLoop::main();
  loop.performAfterDelay(&ran, "x", nullptr, 0.02, [&] { ran = true; });
  loop.cancelPreviousPerformRequests(&ran);
  loop.performAfterDelay(this, "y", nullptr, 0.05, [&] { later = true; });
  ASSERT_TRUE(spinGLib(later));
  EXPECT_FALSE(ran);
}

TEST_F(RunLoopOnGLibTest, PerformOnMainFromOtherThreadsRunsInOrder) {
  std::vector<int> seen;
  std::atomic<bool> last{false};
  std::thread t([&] {
    for (int i = 0; i < 50; ++i) kit::RunLoop::performOnMainThread([&seen, i] { seen.push_back(i); });
    kit::RunLoop::performOnMainThread([&] { last = true; });
  });
  ASSERT_TRUE(spinGLib(last));
  t.join();
  ASSERT_EQ(seen.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(seen[i], i);
}

TEST_F(RunLoopOnGLibTest, WaitingPerformFromAnotherThreadIsServedByGLib) {
  std::atomic<bool> returned{false};
  int value = 0;
  std::thread t([&] {
    kit::RunLoop::performOnMainThread([&] { value = 42; }, true);
    returned = true;
  });
  ASSERT_TRUE(spinGLib(returned));
  t.join();
  EXPECT_EQ(value, 42);
}

TEST_F(RunLoopOnGLibTest, FdWatcherIsPolledByGLib) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::atomic<bool> readable{false};
  kit::RunLoop& loop = kit::RunLoop::main();
  auto id = loop.watchFd(fds[0], kit::RunLoop::kReadable, [&](int fd, unsigned events) {
    char c;
    if ((events & kit::RunLoop::kReadable) && ::read(fd, &c, 1) == 1 && c == 'x') readable = true;
  });
  std::thread t([&] { ASSERT_EQ(::write(fds[1], "x", 1), 1); });
  EXPECT_TRUE(spinGLib(readable));
  t.join();
  loop.removeWatch(id);
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST_F(RunLoopOnGLibTest, KitDrivenWaitKeepsGLibSourcesRunning) {
  bool glibFired = false;
  g_timeout_add(30, [](gpointer p) -> gboolean {
    *static_cast<bool*>(p) = true;
    return G_SOURCE_REMOVE;
  }, &glibFired);
  EXPECT_TRUE(kit::RunLoop::main().runUntil([&] { return glibFired; }, 5));
}

TEST_F(RunLoopOnGLibTest, KitTimersFireDuringKitDrivenWait) {
  bool fired = false;
  kit::RunLoop::main().performAfterDelay(this, "t", nullptr, 0.03, [&] { fired = true; });
  EXPECT_TRUE(kit::RunLoop::main().runUntil([&] { return fired; }, 5));
}

TEST_F(RunLoopOnGLibTest, SuspensionHoldsKitWorkAndDeferredInputBack) {
  std::atomic<bool> due{false};
  std::vector<std::string> order;
  kit::RunLoop::main().performAfterDelay(this, "due", nullptr, 0, [&] { due = true; });
  {
    kit::gtk::MainContextHost::Suspension hold;
    kit::gtk::MainContextHost::deliver([&] { order.push_back("first"); });
    kit::gtk::MainContextHost::deliver([&] { order.push_back("second"); });
    const gint64 end = g_get_monotonic_time() + 100 * 1000;
    while (g_get_monotonic_time() < end) g_main_context_iteration(nullptr, FALSE);
    EXPECT_FALSE(due) << "kit's delayed call ran inside a suspension";
    EXPECT_TRUE(order.empty());
  }
  ASSERT_TRUE(spinGLib(due));
  std::atomic<bool> both{false};
  kit::gtk::MainContextHost::deliver([&] { both = true; });
  ASSERT_TRUE(spinGLib(both));
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
  // Without a suspension, delivery is immediate.
  bool now = false;
  kit::gtk::MainContextHost::deliver([&] { now = true; });
  EXPECT_TRUE(now);
}

}  // namespace
