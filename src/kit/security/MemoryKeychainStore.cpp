#include "kit/security/MemoryKeychainStore.h"

namespace kit {

std::vector<KeychainItem> MemoryKeychainStore::load() { return items(); }

KeychainStatus MemoryKeychainStore::save(const std::vector<KeychainItem>& items) {
  std::lock_guard<std::mutex> g(mutex_);
  if (failure_ != kKeychainSuccess) return failure_;
  items_ = items;
  return kKeychainSuccess;
}

void MemoryKeychainStore::failSavesWith(KeychainStatus status) {
  std::lock_guard<std::mutex> g(mutex_);
  failure_ = status;
}

std::vector<KeychainItem> MemoryKeychainStore::items() const {
  std::lock_guard<std::mutex> g(mutex_);
  return items_;
}

}  // namespace kit
