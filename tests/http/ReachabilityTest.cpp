#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "http/Reachability.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/RunLoop.h"
#include "kit/net/ReachabilityManualSource.h"

using namespace tolva;
using namespace kit;

namespace {

// Every monitor made in a test gets a hand-driven source.
class ReachabilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReachabilityFlagSource::setFactory([this](const ReachabilityFlagSource::Target& t) {
      last = Ref<ReachabilityManualSource>(new ReachabilityManualSource(t, kReachabilityFlagReachable));
      return Ref<ReachabilityFlagSource>(last);
    });
  }
  void TearDown() override { ReachabilityFlagSource::setFactory(nullptr); }
  Ref<ReachabilityManualSource> last;
};

constexpr uint32_t R = kReachabilityFlagReachable;

}  // namespace

TEST_F(ReachabilityTest, StatusFollowsTheFlagRules) {
  Ref<Reachability> internet = Reachability::reachabilityForInternetConnection();
  Ref<Reachability> wifi = Reachability::reachabilityForLocalWiFi();
  EXPECT_EQ(internet->networkStatusForFlags(R | kReachabilityFlagIsWWAN), NetworkStatusViaWWAN);
  EXPECT_EQ(wifi->networkStatusForFlags(R | kReachabilityFlagIsWWAN), NetworkStatusNotReachable);
  EXPECT_EQ(wifi->networkStatusForFlags(R | kReachabilityFlagIsWWAN | kReachabilityFlagIsDirect), NetworkStatusViaWiFi);
  const uint32_t tc = kReachabilityFlagTransientConnection | kReachabilityFlagConnectionRequired;
  EXPECT_EQ(internet->networkStatusForFlags(R | tc), NetworkStatusNotReachable);
  EXPECT_EQ(internet->networkStatusForFlags(R | tc | kReachabilityFlagIsLocalAddress | kReachabilityFlagIsDirect),
            NetworkStatusNotReachable);
  EXPECT_EQ(internet->networkStatusForFlags(R), NetworkStatusViaWiFi);
  EXPECT_EQ(internet->networkStatusForFlags(R | kReachabilityFlagInterventionRequired), NetworkStatusNotReachable);
  EXPECT_EQ(internet->networkStatusForFlags(R | kReachabilityFlagConnectionRequired | kReachabilityFlagConnectionOnDemand),
            NetworkStatusViaWiFi);
  EXPECT_EQ(internet->networkStatusForFlags(R | kReachabilityFlagTransientConnection), NetworkStatusViaWiFi);
  EXPECT_EQ(internet->networkStatusForFlags(kReachabilityFlagIsWWAN), NetworkStatusNotReachable);
}

TEST_F(ReachabilityTest, KeysAndEquality) {
  EXPECT_EQ(Reachability::makeAddressKey(inet_addr("169.254.0.0")), "169.254.0.0");
  EXPECT_EQ(Reachability::reachabilityForInternetConnection()->key(), "InternetConnection");
  EXPECT_EQ(Reachability::reachabilityForLocalWiFi()->key(), "LocalWiFiConnection");
  EXPECT_EQ(last->target().address, inet_addr("169.254.0.0"));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr("10.1.2.3");
  EXPECT_EQ(Reachability::reachabilityWithAddress(a)->key(), "10.1.2.3");
  Ref<Reachability> h1 = Reachability::reachabilityWithHostName("example.test");
  Ref<Reachability> h2 = Reachability::reachabilityWithHostName("example.test");
  EXPECT_TRUE(h1->isEqual(h2.get()));
  EXPECT_EQ(h1->hash(), h2->hash());
  EXPECT_FALSE(h1->isEqual(Reachability::reachabilityWithHostName("other.test").get()));
  EXPECT_FALSE(Reachability::accessInstanceVariablesDirectly());
}

TEST_F(ReachabilityTest, QueriesReadTheFlagsNowAndAnswerNoWhenUnreadable) {
  Ref<Reachability> r = Reachability::reachabilityForInternetConnection();
  last->setFlags(R | kReachabilityFlagIsWWAN);
  EXPECT_TRUE(r->isReachable());
  EXPECT_TRUE(r->isReachableViaWWAN());
  EXPECT_FALSE(r->isReachableViaWiFi());
  EXPECT_EQ(r->currentReachabilityStatus(), NetworkStatusViaWWAN);
  last->setFlags(R | kReachabilityFlagConnectionRequired | kReachabilityFlagConnectionOnTraffic |
                 kReachabilityFlagInterventionRequired);
  EXPECT_TRUE(r->isConnectionRequired());
  EXPECT_TRUE(r->connectionRequired());
  EXPECT_TRUE(r->isConnectionOnDemand());
  EXPECT_TRUE(r->isInterventionRequired());
  last->setUnreadable(true);
  EXPECT_EQ(r->currentReachabilityStatus(), NetworkStatusNotReachable);
  EXPECT_FALSE(r->isReachable());
  EXPECT_FALSE(r->isConnectionRequired());
  EXPECT_EQ(r->reachabilityFlags(), 0u);
}

TEST_F(ReachabilityTest, MonitorWithoutTargetIsAProgrammingError) {
  Reachability empty(nullptr);
  try {
    empty.isReachableViaWiFi();
    FAIL();
  } catch (const InternalInconsistencyException& e) {
    EXPECT_STREQ(e.what(), "isReachableViaWiFi called with NULL reachabilityRef");
  }
  EXPECT_THROW(empty.isConnectionOnDemand(), InternalInconsistencyException);
  EXPECT_THROW(Reachability::ReachabilityCallback(nullptr, 0, nullptr), InternalInconsistencyException);
  EXPECT_FALSE(empty.startNotifier());
}

TEST_F(ReachabilityTest, NotifierPostsEachChangeWithTheMonitorUntilStopped) {
  Ref<Reachability> r = Reachability::reachabilityForInternetConnection();
  std::vector<Object*> senders;
  auto token = NotificationCenter::defaultCenter().addObserver(
      kReachabilityChangedNotification, nullptr, [&](const Notification& n) { senders.push_back(n.object()); });
  ASSERT_TRUE(r->startNotifier());
  last->setFlags(0);
  RunLoop::main().drain();
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], r.get());
  EXPECT_EQ(r->currentReachabilityStatus(), NetworkStatusNotReachable);
  last->setFlags(R);
  r->stopNotifier();
  RunLoop::main().drain();
  EXPECT_EQ(senders.size(), 1u);
  // A monitor that goes away stops watching.
  ASSERT_TRUE(r->startNotifier());
  Ref<ReachabilityManualSource> source = last;
  r = nullptr;
  EXPECT_FALSE(source->isScheduled());
  source->setFlags(0);
  RunLoop::main().drain();
  EXPECT_EQ(senders.size(), 1u);
}
