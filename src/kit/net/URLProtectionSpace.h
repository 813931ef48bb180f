#pragma once
// Where credentials apply: a host, port and protocol, with the realm and the authentication
// method the server asked for. Immutable.

#include <optional>
#include <string>

#include "kit/foundation/Object.h"

namespace kit {

class URLProtectionSpace : public Object {
 public:
  // The platform's authentication method names.
  static constexpr const char* kAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";
  static constexpr const char* kAuthenticationMethodHTTPBasic = "NSURLAuthenticationMethodHTTPBasic";
  static constexpr const char* kAuthenticationMethodHTTPDigest = "NSURLAuthenticationMethodHTTPDigest";
  static constexpr const char* kAuthenticationMethodNTLM = "NSURLAuthenticationMethodNTLM";
  static constexpr const char* kAuthenticationMethodNegotiate = "NSURLAuthenticationMethodNegotiate";
  static constexpr const char* kAuthenticationMethodServerTrust = "NSURLAuthenticationMethodServerTrust";

  // `protocol` is the URL scheme ("http", "https").
  URLProtectionSpace(std::string host, int port, std::string protocol, std::optional<std::string> realm,
                     std::string authenticationMethod)
      : host_(std::move(host)),
        port_(port),
        protocol_(std::move(protocol)),
        realm_(std::move(realm)),
        method_(std::move(authenticationMethod)) {}

  const std::string& host() const noexcept { return host_; }
  int port() const noexcept { return port_; }
  const std::string& protocol() const noexcept { return protocol_; }
  const std::optional<std::string>& realm() const noexcept { return realm_; }
  const std::string& authenticationMethod() const noexcept { return method_; }
  bool isProxy() const noexcept { return false; }
  // Whether a password answered here travels protected (https, or a method that never sends it).
  bool receivesCredentialSecurely() const noexcept {
    return protocol_ == "https" || method_ == kAuthenticationMethodHTTPDigest || method_ == kAuthenticationMethodNTLM;
  }

  std::string className() const override { return "URLProtectionSpace"; }
  size_t hash() const noexcept override;
  // Same host (ignoring case), port, protocol, realm and method.
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override;

 private:
  std::string host_;
  int port_;
  std::string protocol_;
  std::optional<std::string> realm_;
  std::string method_;
};

}  // namespace kit
