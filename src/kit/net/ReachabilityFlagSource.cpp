#include "kit/net/ReachabilityFlagSource.h"

#include <mutex>

#include "kit/net/ReachabilityNetlinkSource.h"

namespace kit {

namespace {

std::mutex& factoryMutex() {
  static std::mutex m;
  return m;
}

ReachabilityFlagSource::Factory& factorySlot() {
  static ReachabilityFlagSource::Factory f;
  return f;
}

Ref<ReachabilityFlagSource> make(const ReachabilityFlagSource::Target& target) {
  ReachabilityFlagSource::Factory factory;
  {
    std::lock_guard<std::mutex> g(factoryMutex());
    factory = factorySlot();
  }
  if (factory) return factory(target);
  return Ref<ReachabilityFlagSource>(new ReachabilityNetlinkSource(target));
}

}  // namespace

Ref<ReachabilityFlagSource> ReachabilityFlagSource::sourceWithName(std::string_view hostName) {
  if (hostName.empty() || hostName.find('\0') != std::string_view::npos) return nullptr;
  Target t;
  t.kind = Target::Kind::HostName;
  t.hostName = std::string(hostName);
  return make(t);
}

Ref<ReachabilityFlagSource> ReachabilityFlagSource::sourceWithAddress(const sockaddr_in& address) {
  if (address.sin_family != AF_INET) return nullptr;
  Target t;
  t.kind = Target::Kind::Address;
  t.address = address.sin_addr.s_addr;
  return make(t);
}

void ReachabilityFlagSource::setFactory(Factory factory) {
  std::lock_guard<std::mutex> g(factoryMutex());
  factorySlot() = std::move(factory);
}

}  // namespace kit
