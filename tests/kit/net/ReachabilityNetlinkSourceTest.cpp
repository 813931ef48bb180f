#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "kit/foundation/RunLoop.h"
#include "kit/net/ReachabilityManualSource.h"
#include "kit/net/ReachabilityNetlinkSource.h"

using namespace kit;
using Route = ReachabilityNetlinkSource::Route;
using Target = ReachabilityFlagSource::Target;

namespace {

Target address(const char* dotted) {
  Target t;
  t.kind = Target::Kind::Address;
  t.address = inet_addr(dotted);
  return t;
}

Route route(int family, const char* dst, uint8_t len, bool gateway, const char* ifname = "eth0") {
  Route r;
  r.family = family;
  r.prefixLength = len;
  if (family == AF_INET) r.destination = inet_addr(dst);
  r.hasGateway = gateway;
  r.interfaceName = ifname;
  return r;
}

}  // namespace

TEST(ReachabilityNetlinkSource, DefaultRouteMakesTheInternetReachable) {
  Target internet = address("0.0.0.0");
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(internet, {}), 0u);
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(internet, {route(AF_INET, "10.0.0.0", 8, false)}), 0u);
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(internet, {route(AF_INET, "0.0.0.0", 0, true)}),
            kReachabilityFlagReachable);
  // An IPv6-only default route counts too.
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(internet, {route(AF_INET6, "", 0, true)}),
            kReachabilityFlagReachable);
  // A default route whose link is down does not.
  Route down = route(AF_INET, "0.0.0.0", 0, true);
  down.linkDown = true;
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(internet, {down}), 0u);
  Target host;
  host.kind = Target::Kind::HostName;
  host.hostName = "example.org";
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(host, {route(AF_INET, "0.0.0.0", 0, false, "wwan0")}),
            kReachabilityFlagReachable | kReachabilityFlagIsDirect | kReachabilityFlagIsWWAN);
}

TEST(ReachabilityNetlinkSource, AddressesTakeTheLongestMatchingRoute) {
  std::vector<Route> routes{route(AF_INET, "0.0.0.0", 0, true), route(AF_INET, "169.254.0.0", 16, false)};
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(address("169.254.0.0"), routes),
            kReachabilityFlagReachable | kReachabilityFlagIsDirect);
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(address("8.8.8.8"), routes), kReachabilityFlagReachable);
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(address("169.254.0.0"), {route(AF_INET, "10.0.0.0", 8, false)}),
            0u);
  EXPECT_EQ(ReachabilityNetlinkSource::flagsForRoutes(address("127.0.0.1"), {}),
            kReachabilityFlagReachable | kReachabilityFlagIsLocalAddress | kReachabilityFlagIsDirect);
}

TEST(ReachabilityNetlinkSource, ReadsTheSystemTableAndSchedulesItsWatch) {
  std::vector<Route> routes;
  if (!ReachabilityNetlinkSource::readRoutes(&routes)) GTEST_SKIP() << "netlink is not available here";
  sockaddr_in zero{};
  zero.sin_family = AF_INET;
  Ref<ReachabilityFlagSource> source = ReachabilityFlagSource::sourceWithAddress(zero);
  ASSERT_TRUE(source);
  uint32_t flags = 0xdead;
  EXPECT_TRUE(source->getFlags(&flags));
  EXPECT_EQ(flags, ReachabilityNetlinkSource::flagsForRoutes(source->target(), routes));
  EXPECT_TRUE(source->scheduleWithRunLoop(RunLoop::current(), RunLoop::kDefaultMode));
  RunLoop::current().drain();
  EXPECT_TRUE(source->unscheduleFromRunLoop(RunLoop::current(), RunLoop::kDefaultMode));
  EXPECT_FALSE(source->unscheduleFromRunLoop(RunLoop::current(), RunLoop::kDefaultMode));
}

TEST(ReachabilityNetlinkSource, FactoryCanBeReplacedAndRestored) {
  ReachabilityFlagSource::setFactory([](const Target& t) {
    return Ref<ReachabilityFlagSource>(new ReachabilityManualSource(t, kReachabilityFlagIsWWAN));
  });
  Ref<ReachabilityFlagSource> s = ReachabilityFlagSource::sourceWithName("host.test");
  ReachabilityFlagSource::setFactory(nullptr);
  ASSERT_TRUE(dynamic_cast<ReachabilityManualSource*>(s.get()));
  EXPECT_EQ(s->target().hostName, "host.test");
  EXPECT_FALSE(ReachabilityFlagSource::sourceWithName(""));
  Ref<ReachabilityFlagSource> system = ReachabilityFlagSource::sourceWithName("host.test");
  EXPECT_TRUE(dynamic_cast<ReachabilityNetlinkSource*>(system.get()));
}
