#pragma once
// A URL request that signs itself for an OAuth 1.0 service: prepare() builds
// the signature base string from the OAuth values and the request's own
// parameters, signs it with the consumer and token secrets, and sets the
// "Authorization" header. A request is signed once.

#include <cstdint>
#include <map>
#include <string>

#include "kit/net/URLRequest.h"
#include "share/oauth/OAConsumer.h"
#include "share/oauth/OASignatureProviding.h"
#include "share/oauth/OAToken.h"

namespace tolva {

class OAMutableURLRequest : public kit::URLRequest {
 public:
  static constexpr double kTimeoutInterval = 10;

  // A null token becomes an empty one, a null provider HMAC-SHA1. The nonce
  // and timestamp are fresh.
  OAMutableURLRequest(kit::Ref<kit::URL> url, kit::Ref<OAConsumer> consumer, kit::Ref<OAToken> token,
                      std::string realm, kit::Ref<OASignatureProviding> signatureProvider);
  // With the caller's nonce and timestamp (tests).
  OAMutableURLRequest(kit::Ref<kit::URL> url, kit::Ref<OAConsumer> consumer, kit::Ref<OAToken> token,
                      std::string realm, kit::Ref<OASignatureProviding> signatureProvider, std::string nonce,
                      std::string timestamp);

  OAConsumer* consumer() const noexcept { return consumer_.get(); }
  OAToken* token() const noexcept { return token_.get(); }
  const std::string& realm() const noexcept { return realm_; }
  OASignatureProviding* signatureProvider() const noexcept { return provider_.get(); }
  const std::string& signature() const noexcept { return signature_; }
  const std::string& nonce() const noexcept { return nonce_; }
  const std::string& timestamp() const noexcept { return timestamp_; }
  const std::map<std::string, std::string>& extraOAuthParameters() const noexcept { return extra_; }
  bool didPrepare() const noexcept { return didPrepare_; }

  // Adds an OAuth parameter of the header and base string ("oauth_callback", "oauth_verifier").
  void setOAuthParameterName(const std::string& name, const std::string& value);

  void prepare();
  // The text that is signed (exposed for tests and diagnostics).
  std::string signatureBaseString() const;

  std::string className() const override { return "OAMutableURLRequest"; }

 private:
  kit::Ref<OAConsumer> consumer_;
  kit::Ref<OAToken> token_;
  std::string realm_;
  std::string signature_;
  kit::Ref<OASignatureProviding> provider_;
  std::string nonce_;
  std::string timestamp_;
  std::map<std::string, std::string> extra_;
  bool didPrepare_ = false;
};

}  // namespace tolva
