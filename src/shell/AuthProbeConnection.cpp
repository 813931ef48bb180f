#include "shell/AuthProbeConnection.h"

#include <mutex>

namespace tolva {
namespace {

std::mutex factoryLock;
AuthProbeConnection::Factory& factory() {
  static AuthProbeConnection::Factory f;
  return f;
}

}  // namespace

kit::Ref<AuthProbeConnection> AuthProbeConnection::connectionWithRequest(kit::URLRequest& request,
                                                                         AuthProbeConnectionDelegate* delegate) {
  Factory f;
  {
    std::lock_guard<std::mutex> g(factoryLock);
    f = factory();
  }
  if (f) return f(request, delegate);
  return kit::Ref<AuthProbeConnection>(new AuthProbeConnection(delegate));
}

void AuthProbeConnection::setFactory(Factory f) {
  std::lock_guard<std::mutex> g(factoryLock);
  factory() = std::move(f);
}

}  // namespace tolva
