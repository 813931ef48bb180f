#pragma once
// The answer to one HTTP authentication challenge (a 401 from a server or a 407 from a proxy):
// made from the response, it picks the strongest scheme offered (NTLM, then Digest, then Basic),
// knows its realm, and puts credentials on a request message ("Authorization" or
// "Proxy-Authorization"). It follows the exchange: an NTLM challenge message or a stale Digest
// nonce in the next response keeps it valid; the same challenge again after credentials were
// sent means they were refused.
//
// Not thread-safe: one request uses it at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Object.h"
#include "kit/net/HTTPMessage.h"
#include "kit/net/NTLM.h"

namespace kit {

class HTTPAuthentication : public Object {
 public:
  static constexpr const char* kSchemeBasic = "Basic";
  static constexpr const char* kSchemeDigest = "Digest";
  static constexpr const char* kSchemeNTLM = "NTLM";
  // Keys of a credentials dictionary.
  static constexpr const char* kUsername = "Username";
  static constexpr const char* kPassword = "Password";
  static constexpr const char* kAccountDomain = "AccountDomain";

  enum class Failure { None, BadPassword, Malformed };

  // One challenge of a WWW-Authenticate or Proxy-Authenticate value.
  struct Challenge {
    std::string scheme;  // as sent
    std::string token;   // token68 (NTLM's message), when given
    std::vector<std::pair<std::string, std::string>> params;  // names lower-cased, values unquoted
    std::optional<std::string> param(std::string_view name) const;
  };
  // Splits a header value into challenges ("Basic realm="a", Digest nonce=..., NTLM").
  static std::vector<Challenge> parseChallenges(std::string_view value);

  // From a 401 (server) or 407 (proxy) response; null when no scheme offered is supported.
  static Ref<HTTPAuthentication> authenticationFromResponse(const HTTPMessage& response);

  const std::string& schemeName() const noexcept { return scheme_; }
  const std::optional<std::string>& realm() const noexcept { return realm_; }
  bool isProxy() const noexcept { return proxy_; }
  // NTLM takes an account domain.
  bool requiresAccountDomain() const noexcept { return scheme_ == kSchemeNTLM; }
  bool requiresUserNameAndPassword() const noexcept { return true; }
  // Whether credentials can (still) be applied; why not when it cannot.
  bool isValid(Failure* failure = nullptr) const;
  // Reads the next response of the exchange (a 401/407 that follows applied credentials).
  void updateFromResponse(const HTTPMessage& response);
  // Back to the state of the first challenge, for credentials typed after a refusal.
  void reset();
  // Puts the credentials (kUsername, kPassword, kAccountDomain) on the message; false when they
  // lack a user name or password or the object is not valid.
  bool applyCredentials(HTTPMessage& message, const Dictionary* credentials);
  // The header field this object writes.
  const char* headerName() const noexcept { return proxy_ ? "Proxy-Authorization" : "Authorization"; }

  std::string className() const override { return "HTTPAuthentication"; }
  std::string description() const override;

  // Overrides the Digest client nonce and the NTLM time and client challenge (tests).
  struct FixedRandomness {
    std::string cnonce;
    uint64_t ntlmTimestamp = 0;
    std::array<uint8_t, 8> ntlmClientChallenge{};
  };
  static void setFixedRandomnessForTesting(std::optional<FixedRandomness> fixed);

 private:
  HTTPAuthentication() = default;
  bool applyDigest(HTTPMessage& message, const std::string& user, const std::string& password);

  bool proxy_ = false;
  std::string scheme_;
  std::optional<std::string> realm_;
  Challenge challenge_;  // the first one, kept for reset()
  Challenge current_;
  Failure failure_ = Failure::None;
  bool applied_ = false;
  // Digest.
  unsigned nonceCount_ = 0;
  bool staleRetried_ = false;
  // NTLM: the server's challenge message, once it came.
  std::optional<NTLM::Challenge> ntlmChallenge_;
  bool ntlmAuthenticateSent_ = false;
};

}  // namespace kit
