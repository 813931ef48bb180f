#pragma once
// Permanent credentials for protection spaces (a server's host, port, scheme and realm, or a
// proxy's host and port), kept in the keychain: one default credential per space, the password
// as the item's data and the account domain, when there is one, as its label.

#include <optional>
#include <string>

namespace kit {

class URLCredentialStorage {
 public:
  struct Space {
    std::string host;
    int port = 0;
    std::string protocol;  // "http", "https"; ignored for a proxy
    std::string realm;     // empty when none
    bool proxy = false;
  };
  struct Credential {
    std::string user;
    std::string password;
    std::string domain;
  };

  // Replaces the space's default credential; false when the keychain refused it.
  static bool setDefaultCredential(const Credential& credential, const Space& space);
  static std::optional<Credential> defaultCredential(const Space& space);
  static void removeDefaultCredential(const Space& space);
  // The keychain service that names a space.
  static std::string serviceForSpace(const Space& space);
};

}  // namespace kit
