#include "http/Reachability.h"

#include <arpa/inet.h>

#include <cstring>

#include "kit/foundation/Exception.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"

namespace tolva {

using kit::Ref;
using kit::ReachabilityFlagSource;

Reachability::Reachability(Ref<ReachabilityFlagSource> reachabilityRef) : reachabilityRef_(std::move(reachabilityRef)) {}

Reachability::~Reachability() {
  stopNotifier();
  reachabilityRef_ = nullptr;
  key_.clear();
}

bool Reachability::startNotifier() {
  if (!reachabilityRef_) return false;
  // The monitor is not kept alive by its own watch: a change after it is gone reaches nobody.
  kit::WeakRef<Reachability> weak(this);
  if (!reachabilityRef_->setCallback([weak](ReachabilityFlagSource& source, uint32_t flags) {
        if (Ref<Reachability> self = weak.lock()) ReachabilityCallback(&source, flags, self.get());
      })) {
    return false;
  }
  kit::RunLoop& loop = kit::RunLoop::current();
  if (!reachabilityRef_->scheduleWithRunLoop(loop, kit::RunLoop::kDefaultMode)) return false;
  scheduledLoop_ = &loop;
  return true;
}

void Reachability::stopNotifier() {
  if (!reachabilityRef_) return;
  // The current run loop's default mode, or the loop it was scheduled on when destroyed elsewhere.
  kit::RunLoop& loop = kit::RunLoop::current();
  if (!reachabilityRef_->unscheduleFromRunLoop(loop, kit::RunLoop::kDefaultMode) && scheduledLoop_ &&
      scheduledLoop_ != &loop) {
    reachabilityRef_->setCallback(nullptr);
    reachabilityRef_->unscheduleFromRunLoop(*scheduledLoop_, kit::RunLoop::kDefaultMode);
  }
  scheduledLoop_ = nullptr;
}

void Reachability::ReachabilityCallback(ReachabilityFlagSource*, uint32_t, kit::Object* info) {
  if (!info) throw kit::InternalInconsistencyException("info was NULL in ReachabilityCallback");
  auto* monitor = dynamic_cast<Reachability*>(info);
  if (!monitor) throw kit::InternalInconsistencyException("info was the wrong class in ReachabilityCallback");
  kit::NotificationCenter::defaultCenter().postNotification(kReachabilityChangedNotification, monitor);
}

bool Reachability::isEqual(const kit::Object* other) const noexcept {
  if (other == this) return true;
  const auto* o = dynamic_cast<const Reachability*>(other);
  return o && o->key() == key();
}

size_t Reachability::hash() const noexcept { return kit::String::hashBytes(key()); }

std::string Reachability::key() const { return key_; }
void Reachability::setKey(std::string key) { key_ = std::move(key); }

Ref<Reachability> Reachability::reachabilityWithHostName(std::string_view hostName) {
  Ref<ReachabilityFlagSource> ref = ReachabilityFlagSource::sourceWithName(hostName);
  if (!ref) return nullptr;
  Ref<Reachability> r(new Reachability(ref));
  r->setKey(std::string(hostName));
  return r;
}

std::string Reachability::makeAddressKey(in_addr_t address) {
  unsigned char b[4];
  std::memcpy(b, &address, 4);
  return kit::format("%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}

Ref<Reachability> Reachability::reachabilityWithAddress(const sockaddr_in& address) {
  Ref<ReachabilityFlagSource> ref = ReachabilityFlagSource::sourceWithAddress(address);
  if (!ref) return nullptr;
  Ref<Reachability> r(new Reachability(ref));
  r->setKey(makeAddressKey(address.sin_addr.s_addr));
  return r;
}

Ref<Reachability> Reachability::reachabilityForInternetConnection() {
  sockaddr_in zero{};
  zero.sin_family = AF_INET;
  Ref<Reachability> r = reachabilityWithAddress(zero);
  if (r) r->setKey(kInternetConnectionKey);
  return r;
}

Ref<Reachability> Reachability::reachabilityForLocalWiFi() {
  sockaddr_in linkLocal{};
  linkLocal.sin_family = AF_INET;
  linkLocal.sin_addr.s_addr = htonl(0xA9FE0000u);  // 169.254.0.0
  Ref<Reachability> r = reachabilityWithAddress(linkLocal);
  if (r) r->setKey(kLocalWiFiConnectionKey);
  return r;
}

NetworkStatus Reachability::networkStatusForFlags(uint32_t flags) const {
  using namespace kit;
  if (!(flags & kReachabilityFlagReachable)) return NetworkStatusNotReachable;
  if (key_ == kLocalWiFiConnectionKey) {
    return (flags & kReachabilityFlagIsDirect) ? NetworkStatusViaWiFi : NetworkStatusNotReachable;
  }
  if (flags & kReachabilityFlagIsWWAN) return NetworkStatusViaWWAN;
  const uint32_t m = flags & ~(kReachabilityFlagReachable | kReachabilityFlagIsLocalAddress | kReachabilityFlagIsDirect);
  if (m == (kReachabilityFlagConnectionRequired | kReachabilityFlagTransientConnection)) {
    return NetworkStatusNotReachable;
  }
  if (flags & kReachabilityFlagTransientConnection) return NetworkStatusViaWiFi;
  if (m == 0) return NetworkStatusViaWiFi;
  return (flags & kReachabilityFlagConnectionRequired) ? NetworkStatusViaWiFi : NetworkStatusNotReachable;
}

bool Reachability::readFlags(uint32_t* flags, const char* query) const {
  if (!reachabilityRef_) {
    throw kit::InternalInconsistencyException(kit::format("%s called with NULL reachabilityRef", query));
  }
  *flags = 0;
  return reachabilityRef_->getFlags(flags);
}

NetworkStatus Reachability::currentReachabilityStatus() const {
  uint32_t f = 0;
  if (!readFlags(&f, "currentReachabilityStatus")) return NetworkStatusNotReachable;
  return networkStatusForFlags(f);
}

bool Reachability::isReachable() const {
  uint32_t f = 0;
  return readFlags(&f, "isReachable") && networkStatusForFlags(f) != NetworkStatusNotReachable;
}

bool Reachability::isConnectionRequired() const {
  uint32_t f = 0;
  return readFlags(&f, "isConnectionRequired") && (f & kit::kReachabilityFlagConnectionRequired);
}

bool Reachability::isConnectionOnDemand() const {
  uint32_t f = 0;
  return readFlags(&f, "isConnectionIsOnDemand") && (f & kit::kReachabilityFlagConnectionRequired) &&
         (f & (kit::kReachabilityFlagConnectionOnTraffic | kit::kReachabilityFlagConnectionOnDemand));
}

bool Reachability::isInterventionRequired() const {
  uint32_t f = 0;
  return readFlags(&f, "isInterventionRequired") && (f & kit::kReachabilityFlagConnectionRequired) &&
         (f & kit::kReachabilityFlagInterventionRequired);
}

bool Reachability::isReachableViaWWAN() const {
  uint32_t f = 0;
  return readFlags(&f, "isReachableViaWWAN") && networkStatusForFlags(f) == NetworkStatusViaWWAN;
}

bool Reachability::isReachableViaWiFi() const {
  uint32_t f = 0;
  return readFlags(&f, "isReachableViaWiFi") && networkStatusForFlags(f) == NetworkStatusViaWiFi;
}

uint32_t Reachability::reachabilityFlags() const {
  uint32_t f = 0;
  if (!readFlags(&f, "reachabilityFlags")) return 0;
  return f;
}

}  // namespace tolva
