#include "kit/net/ReachabilityNetlinkSource.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kit {

namespace {

constexpr size_t kReceiveBuffer = 32 * 1024;

int openNetlink(uint32_t groups) {
  int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | (groups ? SOCK_NONBLOCK : 0), NETLINK_ROUTE);
  if (fd < 0) return -1;
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups = groups;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool parseRoute(const nlmsghdr* h, ReachabilityNetlinkSource::Route* out) {
  if (h->nlmsg_type != RTM_NEWROUTE) return false;
  const auto* rt = static_cast<const rtmsg*>(NLMSG_DATA(h));
  if (rt->rtm_family != AF_INET && rt->rtm_family != AF_INET6) return false;
  if (rt->rtm_type != RTN_UNICAST) return false;
  uint32_t table = rt->rtm_table;
  ReachabilityNetlinkSource::Route r;
  r.family = rt->rtm_family;
  r.prefixLength = rt->rtm_dst_len;
  r.linkDown = (rt->rtm_flags & RTNH_F_LINKDOWN) != 0;
  int oif = 0;
  int len = static_cast<int>(RTM_PAYLOAD(h));
  for (const rtattr* a = RTM_RTA(rt); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
    switch (a->rta_type) {
      case RTA_TABLE:
        if (RTA_PAYLOAD(a) >= sizeof(uint32_t)) std::memcpy(&table, RTA_DATA(a), sizeof(uint32_t));
        break;
      case RTA_DST:
        if (r.family == AF_INET && RTA_PAYLOAD(a) >= sizeof(in_addr_t)) {
          std::memcpy(&r.destination, RTA_DATA(a), sizeof(in_addr_t));
        }
        break;
      case RTA_GATEWAY:
      case RTA_VIA:
        r.hasGateway = true;
        break;
      case RTA_MULTIPATH:
        // Several next hops: treat as routed through gateways.
        r.hasGateway = true;
        break;
      case RTA_OIF:
        if (RTA_PAYLOAD(a) >= sizeof(int)) std::memcpy(&oif, RTA_DATA(a), sizeof(int));
        break;
      default:
        break;
    }
  }
  if (table != RT_TABLE_MAIN) return false;
  if (oif > 0) {
    char name[IF_NAMESIZE] = {0};
    if (if_indextoname(static_cast<unsigned>(oif), name)) r.interfaceName = name;
  }
  *out = std::move(r);
  return true;
}

bool contains(const ReachabilityNetlinkSource::Route& r, in_addr_t address) {
  if (r.prefixLength == 0) return true;
  if (r.prefixLength > 32) return false;
  const uint32_t mask = r.prefixLength == 32 ? 0xffffffffu : ~(0xffffffffu >> r.prefixLength);
  return (ntohl(r.destination) & mask) == (ntohl(address) & mask);
}

uint32_t flagsOfRoute(const ReachabilityNetlinkSource::Route& r) {
  uint32_t f = kReachabilityFlagReachable;
  if (!r.hasGateway) f |= kReachabilityFlagIsDirect;
  if (r.interfaceName.rfind("wwan", 0) == 0) f |= kReachabilityFlagIsWWAN;
  return f;
}

}  // namespace

ReachabilityNetlinkSource::ReachabilityNetlinkSource(Target target) : ReachabilityFlagSource(std::move(target)) {}

ReachabilityNetlinkSource::~ReachabilityNetlinkSource() { closeWatch(); }

uint32_t ReachabilityNetlinkSource::flagsForRoutes(const Target& target, const std::vector<Route>& routes) {
  const bool internet = target.kind == Target::Kind::HostName || target.address == 0;
  if (!internet) {
    if ((ntohl(target.address) >> 24) == 127) {
      return kReachabilityFlagReachable | kReachabilityFlagIsLocalAddress | kReachabilityFlagIsDirect;
    }
    const Route* best = nullptr;
    for (const Route& r : routes) {
      if (r.family != AF_INET || r.linkDown || !contains(r, target.address)) continue;
      if (!best || r.prefixLength > best->prefixLength) best = &r;
    }
    return best ? flagsOfRoute(*best) : 0;
  }
  // The internet: any usable default route, a direct IPv4 one preferred for the flags.
  const Route* chosen = nullptr;
  for (const Route& r : routes) {
    if (r.prefixLength != 0 || r.linkDown) continue;
    if (!chosen || (chosen->family != AF_INET && r.family == AF_INET)) chosen = &r;
  }
  return chosen ? flagsOfRoute(*chosen) : 0;
}

bool ReachabilityNetlinkSource::readRoutes(std::vector<Route>* routes) {
  int fd = openNetlink(0);
  if (fd < 0) return false;
  struct {
    nlmsghdr header;
    rtmsg message;
  } request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
  request.header.nlmsg_type = RTM_GETROUTE;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = 1;
  request.message.rtm_family = AF_UNSPEC;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof(kernel)) < 0) {
    ::close(fd);
    return false;
  }
  std::vector<Route> found;
  std::vector<char> buffer(kReceiveBuffer);
  bool done = false;
  bool ok = true;
  while (!done) {
    ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    int len = static_cast<int>(n);
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(h, static_cast<unsigned>(len));
         h = NLMSG_NEXT(h, len)) {
      if (h->nlmsg_type == NLMSG_DONE) {
        done = true;
        break;
      }
      if (h->nlmsg_type == NLMSG_ERROR) {
        ok = false;
        done = true;
        break;
      }
      Route r;
      if (parseRoute(h, &r)) found.push_back(std::move(r));
    }
  }
  ::close(fd);
  if (!ok) return false;
  *routes = std::move(found);
  return true;
}

bool ReachabilityNetlinkSource::getFlags(uint32_t* flags) const {
  std::vector<Route> routes;
  if (!readRoutes(&routes)) return false;
  *flags = flagsForRoutes(target(), routes);
  return true;
}

bool ReachabilityNetlinkSource::setCallback(Callback callback) {
  callback_ = std::move(callback);
  return true;
}

bool ReachabilityNetlinkSource::scheduleWithRunLoop(RunLoop& loop, const std::string& mode) {
  closeWatch();
  fd_ = openNetlink(RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE);
  if (fd_ < 0) return false;
  lastReadable_ = getFlags(&lastFlags_);
  loop_ = &loop;
  WeakRef<ReachabilityNetlinkSource> weak(this);
  watch_ = loop.watchFd(
      fd_, RunLoop::kReadable,
      [weak](int, unsigned) {
        if (Ref<ReachabilityNetlinkSource> self = weak.lock()) self->onNetlinkReadable();
      },
      mode);
  return true;
}

bool ReachabilityNetlinkSource::unscheduleFromRunLoop(RunLoop& loop, const std::string&) {
  if (loop_ != &loop) return false;
  closeWatch();
  return true;
}

void ReachabilityNetlinkSource::onNetlinkReadable() {
  // The messages only say that something changed; the table is read again as a whole.
  char buffer[kReceiveBuffer];
  for (;;) {
    ssize_t n = ::recv(fd_, buffer, sizeof(buffer), MSG_DONTWAIT);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  uint32_t flags = 0;
  const bool readable = getFlags(&flags);
  if (readable == lastReadable_ && flags == lastFlags_) return;
  lastReadable_ = readable;
  lastFlags_ = flags;
  if (callback_) {
    Callback cb = callback_;
    cb(*this, flags);
  }
}

void ReachabilityNetlinkSource::closeWatch() {
  if (loop_ && watch_) loop_->removeWatch(watch_);
  watch_ = 0;
  loop_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace kit
