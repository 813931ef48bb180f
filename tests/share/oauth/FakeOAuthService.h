#pragma once
// The OAuth service's side of the tests: it recomputes the signature of a
// recorded request from its Authorization header, query and form body with
// the secrets the service knows, so a wrong signature is refused.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "share/oauth/OAHMAC_SHA1SignatureProvider.h"
#include "share/oauth/OAURLEncodingAdditions.h"
#include "support/RecordedRequest.h"

namespace sharetest {

namespace enc = tolva::OAURLEncodingAdditions;
using tolva::OAHMAC_SHA1SignatureProvider;
using tolvatest::RecordedRequest;

// The service's side of the signature: the Authorization header's values,
// the query and the form body, normalised and signed with the secrets the
// service knows.
struct FakeService {
  std::string consumerSecret = "c secret";
  std::map<std::string, std::string> tokenSecrets{{"", ""}, {"rt+key", "rt&secret"}, {"at", "ats=x"}};
  std::string origin;

  static std::map<std::string, std::string> oauthValues(const std::string& header) {
    std::map<std::string, std::string> values;
    if (header.rfind("OAuth ", 0) != 0) return values;
    std::string rest = header.substr(6);
    size_t at = 0;
    while (at < rest.size()) {
      const size_t eq = rest.find("=\"", at);
      const size_t close = rest.find('"', eq + 2);
      if (eq == std::string::npos || close == std::string::npos) break;
      values[enc::URLDecodedString(rest.substr(at, eq - at))] = enc::URLDecodedString(rest.substr(eq + 2, close - eq - 2));
      at = close + 1;
      while (at < rest.size() && (rest[at] == ',' || rest[at] == ' ')) ++at;
    }
    return values;
  }

  bool verify(const RecordedRequest& r, std::map<std::string, std::string>* out = nullptr) const {
    return verifyHeader(r.method, r.path, r.headers.value("Authorization"),
                        r.headers.value("Content-Type").rfind("multipart/form-data", 0) == 0 ? r.query : r.query + "&" + r.body,
                        out);
  }
  // The signature of `header` for a request of `method` on `path` with the form parameters `form`.
  bool verifyHeader(const std::string& method, const std::string& path, const std::string& header,
                    const std::string& form, std::map<std::string, std::string>* out = nullptr) const {
    std::map<std::string, std::string> values = oauthValues(header);
    if (out) *out = values;
    auto secret = tokenSecrets.find(values.count("oauth_token") ? values["oauth_token"] : "");
    if (secret == tokenSecrets.end() || values["oauth_signature_method"] != "HMAC-SHA1") return false;
    std::vector<std::string> pairs;
    for (const auto& [name, value] : values)
      if (name != "realm" && name != "oauth_signature") pairs.push_back(enc::URLEncodedString(name) + "=" + enc::URLEncodedString(value));
    auto addForm = [&](const std::string& text) {
      enc::forEachFormPair(text, [&](const std::string& n, const std::string& v) {
        pairs.push_back(enc::URLEncodedString(n) + "=" + enc::URLEncodedString(v));
      });
    };
    addForm(form);
    std::sort(pairs.begin(), pairs.end());
    std::string joined;
    for (const auto& p : pairs) joined += (joined.empty() ? "" : "&") + p;
    const std::string base =
        method + "&" + enc::URLEncodedString(origin + path) + "&" + enc::URLEncodedString(joined);
    const std::string expected = OAHMAC_SHA1SignatureProvider().signClearText(
        base, enc::URLEncodedString(consumerSecret) + "&" + enc::URLEncodedString(secret->second));
    return expected == values["oauth_signature"];
  }
};

}  // namespace sharetest
