#include "kit/net/URLCredentialStorage.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "kit/security/Keychain.h"

namespace kit {

std::string URLCredentialStorage::serviceForSpace(const Space& space) {
  std::string host = space.host;
  std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  std::string s = space.proxy ? "URLCredential proxy " + host + ":" + std::to_string(space.port)
                              : "URLCredential " + space.protocol + "://" + host + ":" + std::to_string(space.port);
  if (!space.realm.empty()) s += " realm " + space.realm;
  return s;
}

bool URLCredentialStorage::setDefaultCredential(const Credential& credential, const Space& space) {
  const std::string service = serviceForSpace(space);
  if (!Keychain::isStorableText(service) || !Keychain::isStorableText(credential.user) ||
      !Keychain::isStorableText(credential.domain)) {
    return false;
  }
  removeDefaultCredential(space);
  KeychainItem item;
  item.service = service;
  item.account = credential.user;
  if (!credential.domain.empty()) item.label = credential.domain;
  item.data = std::vector<std::uint8_t>(credential.password.begin(), credential.password.end());
  return Keychain::shared().add(item) == kKeychainSuccess;
}

std::optional<URLCredentialStorage::Credential> URLCredentialStorage::defaultCredential(const Space& space) {
  KeychainQuery query;
  query.service = serviceForSpace(space);
  std::vector<KeychainItem> found;
  if (Keychain::shared().copyMatching(query, &found) != kKeychainSuccess || found.empty()) return std::nullopt;
  const KeychainItem& item = found.front();
  Credential c;
  c.user = item.account;
  if (item.data) c.password.assign(item.data->begin(), item.data->end());
  c.domain = item.label.value_or("");
  return c;
}

void URLCredentialStorage::removeDefaultCredential(const Space& space) {
  KeychainQuery query;
  query.service = serviceForSpace(space);
  query.limit = KeychainQuery::kAll;
  Keychain::shared().remove(query);
}

}  // namespace kit
