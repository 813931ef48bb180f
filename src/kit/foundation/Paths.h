#pragma once
// Where the program keeps its files. Two roots: data (documents, preferences,
// keychain) and cache (caches and the temporary folder). TOLVA_HOME, when
// set, holds both ($TOLVA_HOME/data, $TOLVA_HOME/cache); otherwise the XDG
// base directories are used. The temporary folder lives under the cache root,
// not /tmp, because partial downloads must survive a reboot.

#include <string>

namespace kit {

class Paths {
 public:
  static std::string dataRoot();
  static std::string cacheRoot();
  // The folders are created (with parents) on first use.
  static std::string documentsDirectory();
  static std::string cachesDirectory();
  static std::string temporaryDirectory();
  // The caches folder's path, not created: for lookups that must not touch
  // the disk.
  static std::string cachesDirectoryPath();
  static std::string preferencesFile();
  static std::string keychainFile();
  // Re-reads the environment (tests point TOLVA_HOME at a fresh folder).
  static void reset();
};

}  // namespace kit
