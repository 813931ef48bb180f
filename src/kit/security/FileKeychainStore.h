#pragma once
// The keychain's file: one property list (mode 0600) holding every item,
// replaced atomically on every change (temporary file in the same folder,
// fsync, rename, fsync of the folder), so a crash leaves either the old or the
// new file, never a mix.
//
// Layout: a dictionary {"version": 1, "items": [item, ...]}, each item a
// dictionary {"service": string, "account": string, "label": string
// (optional), "data": data (optional)}, in the order the items were added.
//
// A file that cannot be parsed is moved aside as "<path>.corrupt-<UTC time
// yyyymmddThhmmss>" and the store starts empty, saying so on stderr. A file
// that can be neither read nor moved aside is never replaced: saves then fail
// with kKeychainIOError.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
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

  // The file's contents for a list of items (nullopt when a text cannot be
  // stored), and back (nullopt and a reason for anything this store would not
  // have written).
  static std::optional<std::string> encode(const std::vector<KeychainItem>& items);
  static std::optional<std::vector<KeychainItem>> decode(std::string_view bytes, std::string* why);

 private:
  bool moveAside(const std::string& why);
  KeychainStatus writeAtomically(const std::string& bytes);

  mutable std::mutex mutex_;
  std::string path_;
  std::string movedAside_;
  // Set when an existing file could not be read or moved aside: it must not be overwritten.
  bool blocked_ = false;
};

}  // namespace kit
