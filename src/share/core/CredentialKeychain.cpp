#include "share/core/CredentialKeychain.h"

#include "kit/foundation/Data.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/security/Keychain.h"

namespace tolva {
namespace {

bool report(long status, kit::Ref<kit::Error>* error) {
  if (status != kit::kKeychainSuccess && error)
    *error = kit::Error::errorWithDomain(CredentialKeychain::kErrorDomain, status);
  return status == kit::kKeychainSuccess;
}

}  // namespace

kit::Ref<kit::MutableDictionary> CredentialKeychain::_queryForService(const Text& service, const Text& account) {
  auto q = kit::MutableDictionary::dictionary();
  q->setObject(kit::str(kit::Keychain::kClassGenericPassword), kit::Keychain::kClass);
  if (service) q->setObject(kit::str(*service), kit::Keychain::kAttrService);
  if (account) q->setObject(kit::str(*account), kit::Keychain::kAttrAccount);
  return q;
}

kit::Ref<kit::Array> CredentialKeychain::allAccounts(kit::Ref<kit::Error>* error) {
  return accountsForService(std::nullopt, error);
}

kit::Ref<kit::Array> CredentialKeychain::accountsForService(const Text& service, kit::Ref<kit::Error>* error) {
  auto q = _queryForService(service, std::nullopt);
  q->setObject(kit::boolean(true), kit::Keychain::kReturnAttributes);
  q->setObject(kit::str(kit::Keychain::kMatchLimitAll), kit::Keychain::kMatchLimit);
  kit::Ref<kit::Object> result;
  if (!report(kit::Keychain::shared().copyMatching(q.get(), &result), error)) return nullptr;
  if (auto* list = kit::cast<kit::Array>(result)) return kit::Ref<kit::Array>(list);
  if (result) return kit::Ref<kit::Array>(new kit::Array({result}));
  return kit::Array::array();
}

CredentialKeychain::Text CredentialKeychain::passwordForService(const Text& service, const Text& account,
                                                                kit::Ref<kit::Error>* error) {
  if (!service || !account) {
    report(kMissingArgument, error);
    return std::nullopt;
  }
  auto q = _queryForService(service, account);
  q->setObject(kit::boolean(true), kit::Keychain::kReturnData);
  kit::Ref<kit::Object> result;
  if (!report(kit::Keychain::shared().copyMatching(q.get(), &result), error)) return std::nullopt;
  auto* data = kit::cast<kit::Data>(result);
  if (!data || data->length() == 0) return std::nullopt;
  return data->toString();
}

bool CredentialKeychain::deletePasswordForService(const Text& service, const Text& account,
                                                  kit::Ref<kit::Error>* error) {
  if (!service || !account) return report(kMissingArgument, error);
  return report(kit::Keychain::shared().remove(_queryForService(service, account).get()), error);
}

bool CredentialKeychain::setPassword(const Text& password, const Text& service, const Text& account,
                                     kit::Ref<kit::Error>* error) {
  if (!password || !service || !account) return report(kMissingArgument, error);
  kit::Keychain& keychain = kit::Keychain::shared();
  auto query = _queryForService(service, account);
  kit::Ref<kit::Data> bytes = kit::Data::dataWithString(*password);
  kit::Ref<kit::Object> existing;
  const long found = keychain.copyMatching(query.get(), &existing);
  if (found == kit::kKeychainSuccess) {
    kit::Dictionary change({{kit::Keychain::kValueData, bytes}});
    return report(keychain.update(query.get(), &change), error);
  }
  query->setObject(bytes, kit::Keychain::kValueData);
  return report(keychain.add(query.get()), error);
}

}  // namespace tolva
