#pragma once
// A keychain store that lives in memory only; for tests, and as the shared
// keychain's store until the program installs a file store.

#include <mutex>
#include <vector>

#include "kit/security/KeychainStore.h"

namespace kit {

class MemoryKeychainStore : public KeychainStore {
 public:
  MemoryKeychainStore() = default;
  explicit MemoryKeychainStore(std::vector<KeychainItem> items) : items_(std::move(items)) {}

  std::vector<KeychainItem> load() override;
  KeychainStatus save(const std::vector<KeychainItem>& items) override;

  // Makes the following saves fail with the given status (kKeychainSuccess to
  // stop), so callers' handling of a failing store can be tested.
  void failSavesWith(KeychainStatus status);
  std::vector<KeychainItem> items() const;

 private:
  mutable std::mutex mutex_;
  std::vector<KeychainItem> items_;
  KeychainStatus failure_ = kKeychainSuccess;
};

}  // namespace kit
