#pragma once
// The system reachability source on Linux, read from the kernel's routing table over netlink.
// A target counts as reachable when a usable route leads to it: for a host name or 0.0.0.0 that
// is a default route (IPv4 or IPv6); for another address the longest matching IPv4 route. Such a
// route without a gateway is direct; one through an interface named "wwan..." is mobile data;
// 127/8 is a local address. Scheduled on a run loop, a netlink socket subscribed to route and
// link changes is watched there and the callback hears every change of the flags.

#include <cstdint>
#include <string>
#include <vector>

#include "kit/foundation/RunLoop.h"
#include "kit/net/ReachabilityFlagSource.h"

namespace kit {

class ReachabilityNetlinkSource : public ReachabilityFlagSource {
 public:
  struct Route {
    int family = 0;               // AF_INET or AF_INET6
    uint8_t prefixLength = 0;     // 0 for a default route
    in_addr_t destination = 0;    // IPv4 only, network byte order
    bool hasGateway = false;
    std::string interfaceName;
    bool linkDown = false;
  };

  explicit ReachabilityNetlinkSource(Target target);
  ~ReachabilityNetlinkSource() override;

  // The flags a target has under a routing table (no system access).
  static uint32_t flagsForRoutes(const Target& target, const std::vector<Route>& routes);
  // The main routing table now; false when netlink cannot be asked.
  static bool readRoutes(std::vector<Route>* routes);

  bool getFlags(uint32_t* flags) const override;
  bool setCallback(Callback callback) override;
  bool scheduleWithRunLoop(RunLoop& loop, const std::string& mode) override;
  bool unscheduleFromRunLoop(RunLoop& loop, const std::string& mode) override;

  std::string className() const override { return "ReachabilityNetlinkSource"; }

 private:
  void onNetlinkReadable();
  void closeWatch();

  Callback callback_;
  RunLoop* loop_ = nullptr;
  RunLoop::WatchId watch_ = 0;
  int fd_ = -1;
  uint32_t lastFlags_ = 0;
  bool lastReadable_ = false;
};

}  // namespace kit
