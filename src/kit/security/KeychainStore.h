#pragma once
// Where a Keychain keeps its items. The keychain holds the items in memory and
// hands the store the complete list after every change.

#include <vector>

#include "kit/security/KeychainItem.h"
#include "kit/security/KeychainStatus.h"

namespace kit {

class KeychainStore {
 public:
  virtual ~KeychainStore() = default;
  // The items kept, read when a keychain starts using the store.
  virtual std::vector<KeychainItem> load() = 0;
  // Keeps the complete new list. On failure the previously kept list stays
  // whole and the status says why (kKeychainIOError).
  virtual KeychainStatus save(const std::vector<KeychainItem>& items) = 0;
};

}  // namespace kit
