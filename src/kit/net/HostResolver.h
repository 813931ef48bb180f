#pragma once
// Name resolution that never blocks the caller: system look-ups run on a helper thread of their
// own each, so one slow host holds up nobody else. Literal IPv4/IPv6 addresses resolve at once.

#include <sys/socket.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/Error.h"

namespace kit {

class HostResolver {
 public:
  struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const noexcept { return storage.ss_family; }
    // "127.0.0.1:80", "[::1]:443".
    std::string text() const;
  };

  class Lookup {
   public:
    bool done() const;
    // Valid once done: the addresses (IPv6 and IPv4 interleaved, the first family first) or the error.
    std::vector<Address> addresses() const;
    Ref<Error> error() const;
    // The result is no longer wanted; onDone will not be called.
    void cancel();

   private:
    friend class HostResolver;
    mutable std::mutex mutex_;
    bool done_ = false;
    bool cancelled_ = false;
    std::vector<Address> addresses_;
    Ref<Error> error_;
    std::function<void()> onDone_;
  };

  // Test seam: called on the helper thread before the system look-up of a name (not of a literal
  // address); an answer replaces the system's. A null hook restores the default.
  using Hook = std::function<std::optional<std::vector<Address>>(const std::string& host, int port)>;
  static void setLookupHook(Hook hook);

  // Starts resolving; `onDone` runs on the helper thread when the answer is in (not when it was
  // cancelled, and not for a literal address, whose lookup is done on return).
  static std::shared_ptr<Lookup> resolve(const std::string& host, int port, std::function<void()> onDone);
  // Waits up to `seconds` for the system look-ups under way (which cannot be
  // cancelled) to end; answers whether they did. The program calls it before
  // it exits, so that no helper thread is inside the resolver meanwhile.
  static bool waitForLookups(double seconds);
  // A literal address (brackets allowed for IPv6), else nullopt.
  static std::optional<Address> literalAddress(const std::string& host, int port);
  // Reorders so the families alternate, starting with the first one's.
  static std::vector<Address> interleave(std::vector<Address> addresses);

 private:
  static void finish(Lookup& lookup, std::vector<Address> addresses, Ref<Error> error,
                     std::function<void()>* callbackOut);
};

}  // namespace kit
