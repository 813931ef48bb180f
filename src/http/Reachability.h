#pragma once
// Watches whether one network target (a host name, an IPv4 address, the internet connection or
// the link-local network) can be reached, and by which kind of link, and broadcasts every change
// as kReachabilityChangedNotification with the monitor as its object.

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "kit/foundation/Object.h"
#include "kit/net/ReachabilityFlagSource.h"

namespace tolva {

enum NetworkStatus : unsigned {
  NetworkStatusNotReachable = 0,
  NetworkStatusViaWWAN = 1,
  NetworkStatusViaWiFi = 2,
};

inline constexpr const char* kReachabilityChangedNotification = "NetworkReachabilityChangedNotification";

class Reachability : public kit::Object {
 public:
  static constexpr const char* kInternetConnectionKey = "InternetConnection";
  static constexpr const char* kLocalWiFiConnectionKey = "LocalWiFiConnection";

  static bool accessInstanceVariablesDirectly() { return false; }

  // Takes the source as its target (initWithReachabilityRef).
  explicit Reachability(kit::Ref<kit::ReachabilityFlagSource> reachabilityRef);
  ~Reachability() override;

  // Watches the target on the calling thread's run loop in the default mode; true only when both
  // the callback and the scheduling took.
  bool startNotifier();
  void stopNotifier();

  static kit::Ref<Reachability> reachabilityWithHostName(std::string_view hostName);
  // "a.b.c.d" of an address in network byte order, its first byte first.
  static std::string makeAddressKey(in_addr_t address);
  static kit::Ref<Reachability> reachabilityWithAddress(const sockaddr_in& address);
  static kit::Ref<Reachability> reachabilityForInternetConnection();
  static kit::Ref<Reachability> reachabilityForLocalWiFi();

  NetworkStatus networkStatusForFlags(uint32_t flags) const;
  // The queries below read the flags now; unreadable flags give the negative answer. Asking a
  // monitor without a target throws kit::InternalInconsistencyException naming the query.
  NetworkStatus currentReachabilityStatus() const;
  bool isReachable() const;
  bool isConnectionRequired() const;
  bool connectionRequired() const { return isConnectionRequired(); }
  bool isConnectionOnDemand() const;
  bool isInterventionRequired() const;
  bool isReachableViaWWAN() const;
  bool isReachableViaWiFi() const;
  uint32_t reachabilityFlags() const;

  std::string key() const;
  void setKey(std::string key);
  kit::ReachabilityFlagSource* reachabilityRef() const noexcept { return reachabilityRef_.get(); }

  bool isEqual(const kit::Object* other) const noexcept override;
  size_t hash() const noexcept override;
  std::string className() const override { return "Reachability"; }

  // What the flag source calls on a change: posts the notification for the monitor in `info`.
  static void ReachabilityCallback(kit::ReachabilityFlagSource* target, uint32_t flags, kit::Object* info);

 private:
  // Reads the flags into *flags; throws for a monitor without a target.
  bool readFlags(uint32_t* flags, const char* query) const;

  std::string key_;
  kit::Ref<kit::ReachabilityFlagSource> reachabilityRef_;
  kit::RunLoop* scheduledLoop_ = nullptr;
};

}  // namespace tolva
