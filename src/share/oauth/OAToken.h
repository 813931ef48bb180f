#pragma once
// A request or access token of an OAuth 1.0 service. An empty key means
// there is no token yet.

#include <string>
#include <string_view>

#include "kit/foundation/Object.h"

namespace tolva {

class OAToken : public kit::Object {
 public:
  OAToken() = default;
  OAToken(std::string key, std::string secret) : key_(std::move(key)), secret_(std::move(secret)) {}
  // From a service's form-encoded token reply ("oauth_token=...&oauth_token_secret=...").
  static kit::Ref<OAToken> tokenWithHTTPResponseBody(std::string_view body);
  // The token stored under "OAUTH_<prefix>_<provider>_KEY" / "..._SECRET"; null unless both are set.
  static kit::Ref<OAToken> tokenWithUserDefaults(const std::string& provider, const std::string& prefix);
  void storeInUserDefaults(const std::string& provider, const std::string& prefix) const;

  const std::string& key() const noexcept { return key_; }
  void setKey(std::string k) { key_ = std::move(k); }
  const std::string& secret() const noexcept { return secret_; }
  void setSecret(std::string s) { secret_ = std::move(s); }
  const std::string& sessionHandle() const noexcept { return sessionHandle_; }
  void setSessionHandle(std::string h) { sessionHandle_ = std::move(h); }

  std::string className() const override { return "OAToken"; }

 private:
  std::string key_;
  std::string secret_;
  std::string sessionHandle_;
};

}  // namespace tolva
