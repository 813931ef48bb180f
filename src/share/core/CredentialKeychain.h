#pragma once
// The sharing services' credentials as generic-password items of the
// keychain (service, account, the password's UTF-8 bytes). Every failure
// answers null or false; the error, when asked for, has the domain
// "com.dorvane.credentialkeychain" and the keychain status as its code, or
// kMissingArgument when a required argument is absent.

#include <optional>
#include <string>

#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"

namespace tolva {

class CredentialKeychain {
 public:
  static constexpr const char* kErrorDomain = "com.dorvane.credentialkeychain";
  static constexpr long kMissingArgument = -1001;

  using Text = std::optional<std::string>;

  static kit::Ref<kit::Array> allAccounts(kit::Ref<kit::Error>* error = nullptr);
  // The attribute dictionaries of every matching item (every service when none).
  static kit::Ref<kit::Array> accountsForService(const Text& service, kit::Ref<kit::Error>* error = nullptr);
  // Null for a missing item or an empty password.
  static Text passwordForService(const Text& service, const Text& account, kit::Ref<kit::Error>* error = nullptr);
  static bool deletePasswordForService(const Text& service, const Text& account,
                                       kit::Ref<kit::Error>* error = nullptr);
  // Changes the password of an existing item in place (so a failure keeps the
  // old one), or adds the item.
  static bool setPassword(const Text& password, const Text& service, const Text& account,
                          kit::Ref<kit::Error>* error = nullptr);

  static kit::Ref<kit::MutableDictionary> _queryForService(const Text& service, const Text& account);
};

}  // namespace tolva
