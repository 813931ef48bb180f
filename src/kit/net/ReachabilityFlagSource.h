#pragma once
// Whether a network target can be reached now, as a word of flags, and a way to hear when that
// changes. A target is a host name or an IPv4 address (0.0.0.0 stands for "the internet": the
// default route). Sources are made by a factory that tests replace (setFactory) with their own,
// e.g. ReachabilityManualSource; the system one is ReachabilityNetlinkSource on Linux.
//
// Flag bits keep the numbering callers of reachability APIs traditionally use.

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "kit/foundation/Object.h"

namespace kit {

class RunLoop;

enum ReachabilityFlag : uint32_t {
  kReachabilityFlagTransientConnection = 1u << 0,
  kReachabilityFlagReachable = 1u << 1,
  kReachabilityFlagConnectionRequired = 1u << 2,
  kReachabilityFlagConnectionOnTraffic = 1u << 3,
  kReachabilityFlagInterventionRequired = 1u << 4,
  kReachabilityFlagConnectionOnDemand = 1u << 5,
  kReachabilityFlagIsLocalAddress = 1u << 16,
  kReachabilityFlagIsDirect = 1u << 17,
  kReachabilityFlagIsWWAN = 1u << 18,
};

class ReachabilityFlagSource : public Object {
 public:
  struct Target {
    enum class Kind { HostName, Address };
    Kind kind = Kind::Address;
    std::string hostName;
    // IPv4 address in network byte order.
    in_addr_t address = 0;
  };
  // Called on the run loop the source is scheduled on, with the new flags, after they changed.
  using Callback = std::function<void(ReachabilityFlagSource& source, uint32_t flags)>;
  using Factory = std::function<Ref<ReachabilityFlagSource>(const Target& target)>;

  // Null when the target cannot be watched (an empty host name, a factory that refuses).
  static Ref<ReachabilityFlagSource> sourceWithName(std::string_view hostName);
  static Ref<ReachabilityFlagSource> sourceWithAddress(const sockaddr_in& address);
  // Replaces how sources are made, process-wide; null restores the system's. Thread-safe.
  static void setFactory(Factory factory);

  const Target& target() const noexcept { return target_; }

  // The flags now; false when they cannot be read (then *flags is left alone).
  virtual bool getFlags(uint32_t* flags) const = 0;
  // Replaces the change callback (null removes it).
  virtual bool setCallback(Callback callback) = 0;
  // Starts watching for changes on `loop` in `mode` (one loop at a time). False on failure.
  virtual bool scheduleWithRunLoop(RunLoop& loop, const std::string& mode) = 0;
  // Stops watching; false when it was not scheduled there.
  virtual bool unscheduleFromRunLoop(RunLoop& loop, const std::string& mode) = 0;

  std::string className() const override { return "ReachabilityFlagSource"; }

 protected:
  explicit ReachabilityFlagSource(Target target) : target_(std::move(target)) {}

 private:
  Target target_;
};

}  // namespace kit
