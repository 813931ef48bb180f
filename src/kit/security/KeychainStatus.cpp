#include "kit/security/KeychainStatus.h"

namespace kit {

std::string keychainStatusDescription(KeychainStatus status) {
  switch (status) {
    case kKeychainSuccess: return "No error.";
    case kKeychainItemNotFound: return "The specified item could not be found in the keychain.";
    case kKeychainDuplicateItem: return "The specified item already exists in the keychain.";
    case kKeychainBadParameter: return "One or more parameters passed to a function were not valid.";
    case kKeychainIOError: return "The keychain could not be written.";
  }
  return "Keychain status " + std::to_string(status) + ".";
}

}  // namespace kit
