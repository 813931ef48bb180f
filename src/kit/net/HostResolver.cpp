#include "kit/net/HostResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>

#include "kit/net/NetError.h"

namespace kit {

namespace {

std::mutex& hookMutex() {
  static std::mutex m;
  return m;
}
HostResolver::Hook& hookSlot() {
  static HostResolver::Hook* h = new HostResolver::Hook();
  return *h;
}

// The helper threads under way, so the program can wait for them before it exits.
struct Helpers {
  std::mutex mutex;
  std::condition_variable ended;
  int running = 0;
};

Helpers& helpers() {
  static Helpers* h = new Helpers();  // outlives the static destructors, as the helpers may
  return *h;
}

}  // namespace

std::string HostResolver::Address::text() const {
  char buf[INET6_ADDRSTRLEN] = {0};
  if (family() == AF_INET) {
    auto* a = reinterpret_cast<const sockaddr_in*>(&storage);
    inet_ntop(AF_INET, &a->sin_addr, buf, sizeof buf);
    return std::string(buf) + ":" + std::to_string(ntohs(a->sin_port));
  }
  auto* a = reinterpret_cast<const sockaddr_in6*>(&storage);
  inet_ntop(AF_INET6, &a->sin6_addr, buf, sizeof buf);
  return "[" + std::string(buf) + "]:" + std::to_string(ntohs(a->sin6_port));
}

bool HostResolver::Lookup::done() const {
  std::lock_guard<std::mutex> g(mutex_);
  return done_;
}

std::vector<HostResolver::Address> HostResolver::Lookup::addresses() const {
  std::lock_guard<std::mutex> g(mutex_);
  return addresses_;
}

Ref<Error> HostResolver::Lookup::error() const {
  std::lock_guard<std::mutex> g(mutex_);
  return error_;
}

void HostResolver::Lookup::cancel() {
  std::function<void()> dropped;
  std::lock_guard<std::mutex> g(mutex_);
  cancelled_ = true;
  dropped = std::move(onDone_);
  onDone_ = nullptr;
}

void HostResolver::setLookupHook(Hook hook) {
  std::lock_guard<std::mutex> g(hookMutex());
  hookSlot() = std::move(hook);
}

std::optional<HostResolver::Address> HostResolver::literalAddress(const std::string& hostIn, int port) {
  std::string host = hostIn;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  Address a;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&a.storage);
  if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(uint16_t(port));
    a.length = sizeof(sockaddr_in);
    return a;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&a.storage);
  if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(uint16_t(port));
    a.length = sizeof(sockaddr_in6);
    return a;
  }
  return std::nullopt;
}

std::vector<HostResolver::Address> HostResolver::interleave(std::vector<Address> addresses) {
  if (addresses.empty()) return addresses;
  const int first = addresses.front().family();
  std::vector<Address> a, b, out;
  for (auto& x : addresses) (x.family() == first ? a : b).push_back(x);
  for (size_t i = 0; i < a.size() || i < b.size(); ++i) {
    if (i < a.size()) out.push_back(a[i]);
    if (i < b.size()) out.push_back(b[i]);
  }
  return out;
}

bool HostResolver::waitForLookups(double seconds) {
  Helpers& h = helpers();
  std::unique_lock<std::mutex> g(h.mutex);
  return h.ended.wait_for(g, std::chrono::duration<double>(seconds), [&] { return h.running == 0; });
}

void HostResolver::finish(Lookup& lookup, std::vector<Address> addresses, Ref<Error> error,
                          std::function<void()>* callbackOut) {
  std::lock_guard<std::mutex> g(lookup.mutex_);
  lookup.addresses_ = std::move(addresses);
  lookup.error_ = std::move(error);
  lookup.done_ = true;
  if (!lookup.cancelled_) *callbackOut = std::move(lookup.onDone_);
  lookup.onDone_ = nullptr;
}

std::shared_ptr<HostResolver::Lookup> HostResolver::resolve(const std::string& host, int port,
                                                            std::function<void()> onDone) {
  auto lookup = std::make_shared<Lookup>();
  if (auto literal = literalAddress(host, port)) {
    lookup->addresses_.push_back(*literal);
    lookup->done_ = true;
    return lookup;
  }
  lookup->onDone_ = std::move(onDone);
  Hook hook;
  {
    std::lock_guard<std::mutex> g(hookMutex());
    hook = hookSlot();
  }
  {
    Helpers& h = helpers();
    std::lock_guard<std::mutex> g(h.mutex);
    ++h.running;
  }
  std::thread([lookup, host, port, hook = std::move(hook)] {
    struct Leaving {
      ~Leaving() {
        Helpers& h = helpers();
        std::lock_guard<std::mutex> g(h.mutex);
        if (--h.running == 0) h.ended.notify_all();
      }
    } leaving;
    std::vector<Address> addresses;
    Ref<Error> error;
    std::optional<std::vector<Address>> answer;
    if (hook) answer = hook(host, port);
    if (answer) {
      addresses = std::move(*answer);
      if (addresses.empty())
        error = NetError::make(NetError::kDNSFailure, "The host \"" + host + "\" has no address");
    } else {
      addrinfo hints{};
      hints.ai_family = AF_UNSPEC;
      hints.ai_socktype = SOCK_STREAM;
      hints.ai_protocol = IPPROTO_TCP;
      addrinfo* res = nullptr;
      const std::string service = std::to_string(port);
      int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
      if (rc != 0) {
        error = NetError::make(NetError::kDNSFailure,
                               "The host \"" + host + "\" could not be resolved: " + gai_strerror(rc));
      } else {
        for (addrinfo* ai = res; ai; ai = ai->ai_next) {
          if ((ai->ai_family != AF_INET && ai->ai_family != AF_INET6) || ai->ai_addrlen > sizeof(sockaddr_storage))
            continue;
          Address a;
          std::memcpy(&a.storage, ai->ai_addr, ai->ai_addrlen);
          a.length = ai->ai_addrlen;
          bool duplicate = false;
          for (auto& b : addresses)
            duplicate = duplicate || (b.length == a.length && std::memcmp(&b.storage, &a.storage, a.length) == 0);
          if (!duplicate) addresses.push_back(a);
        }
        freeaddrinfo(res);
        if (addresses.empty())
          error = NetError::make(NetError::kDNSFailure, "The host \"" + host + "\" has no address");
      }
    }
    std::function<void()> callback;
    finish(*lookup, interleave(std::move(addresses)), error, &callback);
    if (callback) callback();
  }).detach();
  return lookup;
}


}  // namespace kit
