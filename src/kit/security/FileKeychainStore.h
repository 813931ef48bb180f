#pragma once
// The keychain's file: one property list (mode 0600) holding every item,
// replaced through AtomicFile on every change, so a crash leaves either the
// old or the new file, never a mix.
//
// Layout: a dictionary {"version": 1, "items": [item, ...]}, each item a
// dictionary {"service": string, "account": string, "label": string
// (optional), "data": data (optional)}, in the order the items were added.
//
// A file that cannot be parsed, or is no regular file (a FIFO, a device), is
// moved aside with AtomicFile::moveAside and the store starts empty, saying so
// on stderr. A file that can be neither read nor moved aside is never
// replaced: saves then fail with kKeychainIOError. Temporary files of saves
// that a crash cut short are removed on load.

#include <mutex>
#include <string>
#include <vector>

#include "kit/security/KeychainStore.h"

namespace kit {

class FileKeychainStore : public KeychainStore {
 public:
  explicit FileKeychainStore(std::string path);

  std::vector<KeychainItem> load() override;
  KeychainStatus save(const std::vector<KeychainItem>& items) override;

  const std::string& path() const { return path_; }
  // Where the last load moved a corrupt file, or empty.
  std::string movedAsidePath() const;

 private:
  mutable std::mutex mutex_;
  std::string path_;
  std::string movedAside_;
  // Set when an existing file could not be read or moved aside: it must not be overwritten.
  bool blocked_ = false;
};

}  // namespace kit
