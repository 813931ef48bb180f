#include "share/oauth/OAToken.h"

#include "kit/foundation/UserDefaults.h"
#include "share/oauth/OAURLEncodingAdditions.h"

namespace tolva {
namespace {

std::string defaultsKey(const std::string& provider, const std::string& prefix, const char* what) {
  return "OAUTH_" + prefix + "_" + provider + "_" + what;
}

}  // namespace

kit::Ref<OAToken> OAToken::tokenWithHTTPResponseBody(std::string_view body) {
  kit::Ref<OAToken> token(new OAToken());
  OAURLEncodingAdditions::forEachFormPair(body, [&](const std::string& name, const std::string& value) {
    if (name == "oauth_token")
      token->key_ = value;
    else if (name == "oauth_token_secret")
      token->secret_ = value;
    else if (name == "oauth_session_handle")
      token->sessionHandle_ = value;
  });
  return token;
}

kit::Ref<OAToken> OAToken::tokenWithUserDefaults(const std::string& provider, const std::string& prefix) {
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  const std::string keyName = defaultsKey(provider, prefix, "KEY");
  const std::string secretName = defaultsKey(provider, prefix, "SECRET");
  if (!defaults.objectForKey(keyName) || !defaults.objectForKey(secretName)) return {};
  return kit::Ref<OAToken>(new OAToken(defaults.stringForKey(keyName), defaults.stringForKey(secretName)));
}

void OAToken::storeInUserDefaults(const std::string& provider, const std::string& prefix) const {
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  defaults.setString(key_, defaultsKey(provider, prefix, "KEY"));
  defaults.setString(secret_, defaultsKey(provider, prefix, "SECRET"));
  defaults.synchronize();
}

}  // namespace tolva
