#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/String.h"

using namespace kit;
using Token = NotificationCenter::Token;

TEST(NotificationCenter, DeliversInRegistrationOrderFilteredByNameAndSender) {
  NotificationCenter center;
  Ref<String> a = str("a"), b = str("b");
  std::vector<std::string> log;
  Token t1 = center.addObserver("N", nullptr, [&](const Notification&) { log.push_back("any sender"); });
  Token t2 = center.addObserver("N", a.get(), [&](const Notification&) { log.push_back("from a"); });
  Token t3 = center.addObserver("", nullptr, [&](const Notification& n) { log.push_back("all:" + n.name()); });
  Token t4 = center.addObserver("Other", nullptr, [&](const Notification&) { log.push_back("other"); });

  auto info = Ref<Dictionary>(new Dictionary{{"k", str("v")}});
  Token t5 = center.addObserver("N", b.get(), [&](const Notification& n) {
    EXPECT_EQ(n.object(), b.get());
    EXPECT_EQ(n.userInfo(), info.get());
    log.push_back("from b");
  });

  center.postNotification("N", a.get());
  EXPECT_EQ(log, (std::vector<std::string>{"any sender", "from a", "all:N"}));
  log.clear();
  center.postNotification("N", b.get(), info);
  EXPECT_EQ(log, (std::vector<std::string>{"any sender", "all:N", "from b"}));
  log.clear();
  center.postNotification("Unheard");
  EXPECT_EQ(log, (std::vector<std::string>{"all:Unheard"}));
}

TEST(NotificationCenter, TokensOwnTheRegistration) {
  NotificationCenter center;
  int calls = 0;
  {
    Token t = center.addObserver("N", nullptr, [&](const Notification&) { ++calls; });
    Token moved = std::move(t);
    EXPECT_FALSE(t);
    EXPECT_TRUE(moved);
    center.postNotification("N");
    EXPECT_EQ(calls, 1);
    Token other = center.addObserver("N", nullptr, [&](const Notification&) { calls += 100; });
    other = std::move(moved);  // drops the +100 observer, takes over the first
    center.postNotification("N");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(center.observerCount(), 1u);
  }
  center.postNotification("N");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(center.observerCount(), 0u);
}

TEST(NotificationCenter, RemovalDuringDeliveryStopsLaterCalls) {
  NotificationCenter center;
  std::vector<std::string> log;
  Token self, victim, late;
  self = center.addObserver("N", nullptr, [&](const Notification&) {
    log.push_back("self");
    self.reset();  // removes itself while running
  });
  Token killer = center.addObserver("N", nullptr, [&](const Notification&) {
    log.push_back("killer");
    victim.reset();  // removes an observer of the same post before its turn
    if (!late) late = center.addObserver("N", nullptr, [&](const Notification&) { log.push_back("late"); });
  });
  victim = center.addObserver("N", nullptr, [&](const Notification&) { log.push_back("victim"); });

  center.postNotification("N");
  EXPECT_EQ(log, (std::vector<std::string>{"self", "killer"}));  // late joiner not called for this post
  log.clear();
  center.postNotification("N");
  EXPECT_EQ(log, (std::vector<std::string>{"killer", "late"}));
}

TEST(NotificationCenter, TokensMayOutliveTheirCentre) {
  Token t;
  {
    NotificationCenter center;
    t = center.addObserver("N", nullptr, [](const Notification&) {});
  }
  EXPECT_TRUE(t);
  t.reset();  // nothing left to unregister from; must not crash
  EXPECT_FALSE(t);
}

TEST(NotificationCenter, PostingFromManyThreadsWhileObserversComeAndGo) {
  NotificationCenter center;
  std::atomic<int> counted{0};
  Token steady = center.addObserver("N", nullptr, [&](const Notification&) { counted.fetch_add(1); });
  constexpr int kThreads = 6, kPosts = 2000;
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop.load()) {
      Token t = center.addObserver("N", nullptr, [](const Notification&) {});
      Token u = center.addObserver("", nullptr, [](const Notification&) {});
    }
  });
  std::vector<std::thread> posters;
  for (int i = 0; i < kThreads; ++i)
    posters.emplace_back([&] {
      for (int j = 0; j < kPosts; ++j) center.postNotification("N");
    });
  for (auto& p : posters) p.join();
  stop = true;
  churn.join();
  EXPECT_EQ(counted.load(), kThreads * kPosts);
  EXPECT_EQ(center.observerCount(), 1u);
}

TEST(NotificationCenter, RemovalWaitsForAHandlerRunningOnAnotherThread) {
  NotificationCenter center;
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> sequence{0};
  int handlerFinished = 0, resetReturned = 0;
  auto owned = std::make_unique<int>(7);  // stands for what the handler uses
  Token t = center.addObserver("N", nullptr, [&, p = owned.get()](const Notification&) {
    entered.set_value();
    released.wait();
    EXPECT_EQ(*p, 7);
    handlerFinished = ++sequence;
  });
  std::thread poster([&] { center.postNotification("N"); });
  entered.get_future().wait();

  auto remover = std::async(std::launch::async, [&] {
    t.reset();
    resetReturned = ++sequence;
    owned.reset();  // safe only because reset() waited
  });
  // Real threads are the point here: give a wrong implementation time to
  // return early before the handler is released.
  EXPECT_EQ(remover.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  release.set_value();
  remover.wait();
  poster.join();
  EXPECT_LT(handlerFinished, resetReturned);
}

namespace {
// Posts itself from its constructor, before any Ref owns it.
class EarlyPoster : public Object {
 public:
  explicit EarlyPoster(NotificationCenter& c) { c.postNotification("Born", this); }
};
}  // namespace

TEST(NotificationCenter, ASenderMayPostFromItsConstructor) {
  NotificationCenter center;
  Object* seen = nullptr;
  Token t = center.addObserver("Born", nullptr, [&](const Notification& n) { seen = n.object(); });
  Ref<EarlyPoster> p(new EarlyPoster(center));  // must still be alive here
  EXPECT_EQ(seen, p.get());
  EXPECT_EQ(p->retainCount(), 1);
}
