#include "share/oauth/OAMutableURLRequest.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "kit/security/UUID.h"
#include "share/oauth/OABaseAdditions.h"
#include "share/oauth/OAHMAC_SHA1SignatureProvider.h"
#include "share/oauth/OAParameterAdditions.h"
#include "share/oauth/OAURLEncodingAdditions.h"

namespace tolva {
namespace {

using OAURLEncodingAdditions::URLEncodedString;

std::string quoted(const std::string& name, const std::string& value) { return name + "=\"" + value + "\""; }

}  // namespace

OAMutableURLRequest::OAMutableURLRequest(kit::Ref<kit::URL> url, kit::Ref<OAConsumer> consumer,
                                         kit::Ref<OAToken> token, std::string realm,
                                         kit::Ref<OASignatureProviding> signatureProvider)
    : OAMutableURLRequest(std::move(url), std::move(consumer), std::move(token), std::move(realm),
                          std::move(signatureProvider), kit::UUID::createString(),
                          std::to_string(static_cast<int64_t>(std::time(nullptr)))) {}

OAMutableURLRequest::OAMutableURLRequest(kit::Ref<kit::URL> url, kit::Ref<OAConsumer> consumer,
                                         kit::Ref<OAToken> token, std::string realm,
                                         kit::Ref<OASignatureProviding> signatureProvider, std::string nonce,
                                         std::string timestamp)
    : kit::URLRequest(std::move(url), CachePolicy::ReloadIgnoringLocalCacheData, kTimeoutInterval),
      consumer_(consumer ? std::move(consumer) : kit::Ref<OAConsumer>(new OAConsumer("", ""))),
      token_(token ? std::move(token) : kit::Ref<OAToken>(new OAToken())),
      realm_(std::move(realm)),
      provider_(signatureProvider ? std::move(signatureProvider)
                                  : kit::Ref<OASignatureProviding>(new OAHMAC_SHA1SignatureProvider())),
      nonce_(std::move(nonce)),
      timestamp_(std::move(timestamp)) {}

void OAMutableURLRequest::setOAuthParameterName(const std::string& name, const std::string& value) {
  extra_[name] = value;
}

std::string OAMutableURLRequest::signatureBaseString() const {
  std::vector<OARequestParameter> params = {
      {"oauth_consumer_key", consumer_->key()}, {"oauth_signature_method", provider_->name()},
      {"oauth_timestamp", timestamp_},          {"oauth_nonce", nonce_},
      {"oauth_version", "1.0"},
  };
  if (!token_->key().empty()) params.emplace_back("oauth_token", token_->key());
  for (const auto& [name, value] : extra_) params.emplace_back(name, value);
  // A multipart body is not made of form pairs, so it is not signed.
  std::string type = valueForHTTPHeaderField("Content-Type").value_or("");
  if (type.rfind("multipart/form-data", 0) != 0)
    if (auto own = OAParameterAdditions::parameters(*this)) params.insert(params.end(), own->begin(), own->end());

  // Sorted by encoded name, then encoded value: sorting whole "name=value"
  // texts would put "a-b=" before "a=", which services reject.
  std::vector<std::pair<std::string, std::string>> encoded;
  encoded.reserve(params.size());
  for (const OARequestParameter& p : params) encoded.emplace_back(p.URLEncodedName(), p.URLEncodedValue());
  std::sort(encoded.begin(), encoded.end());
  std::string joined;
  for (const auto& [name, value] : encoded) joined += (joined.empty() ? "" : "&") + name + "=" + value;

  std::string base = url() ? OABaseAdditions::normalizedURLString(*url()) : std::string();
  return HTTPMethod() + "&" + URLEncodedString(base) + "&" + URLEncodedString(joined);
}

void OAMutableURLRequest::prepare() {
  if (didPrepare_) return;
  didPrepare_ = true;
  const std::string secret = URLEncodedString(consumer_->secret()) + "&" + URLEncodedString(token_->secret());
  signature_ = provider_->signClearText(signatureBaseString(), secret);

  std::string header = "OAuth " + quoted("realm", URLEncodedString(realm_)) + ", " +
                       quoted("oauth_consumer_key", URLEncodedString(consumer_->key())) + ", ";
  if (!token_->key().empty()) header += quoted("oauth_token", URLEncodedString(token_->key())) + ", ";
  header += quoted("oauth_signature_method", URLEncodedString(provider_->name())) + ", " +
            quoted("oauth_signature", URLEncodedString(signature_)) + ", " + quoted("oauth_timestamp", timestamp_) +
            ", " + quoted("oauth_nonce", nonce_) + ", " + quoted("oauth_version", "1.0");
  for (const auto& [name, value] : extra_)
    header += ", " + quoted(URLEncodedString(name), URLEncodedString(value));
  setValue(header, "Authorization");
}

}  // namespace tolva
