#pragma once
// A folder of resources: the program's own (the main bundle, the source
// tree's resources/ folder) or any other one (the settings bundle, test
// fixtures). Resources are found in the folder itself first, then in its
// English localisation folder en.lproj. Localised text comes from ".strings"
// tables in the bundle whose keys are the English text.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace kit {

class Bundle : public Object {
 public:
  // Info.plist keys.
  static constexpr const char* kDisplayNameKey = "CFBundleDisplayName";
  static constexpr const char* kNameKey = "CFBundleName";
  static constexpr const char* kShortVersionKey = "CFBundleShortVersionString";
  static constexpr const char* kVersionKey = "CFBundleVersion";
  static constexpr const char* kIdentifierKey = "CFBundleIdentifier";
  // The one localisation the program ships.
  static constexpr const char* kLocalizationFolder = "en.lproj";
  static constexpr const char* kDefaultTable = "Localizable";
  // The environment variable that overrides the main bundle's folder.
  static constexpr const char* kResourcesEnvironmentVariable = "TOLVA_RESOURCES";

  enum class TextEncoding { UTF8, ASCII };

  // Any folder; a missing one simply has no resources.
  explicit Bundle(std::string path);
  // A bundle for an existing folder, or null.
  static Ref<Bundle> bundleWithPath(const std::string& path);

  // The program's resources: $TOLVA_RESOURCES when set, else the path given
  // to setMainBundlePath (the program and the tests pass the source tree's
  // resources/ folder), else "resources" next to the executable.
  static Ref<Bundle> mainBundle();
  static void setMainBundlePath(std::string path);

  const std::string& bundlePath() const noexcept { return path_; }

  // The full path of name.type (type may be empty when the name carries its
  // extension; a leading dot on type is ignored), looked up in the folder
  // (or its subdirectory) and then in en.lproj. Empty when missing, and for
  // names that would leave the bundle ("..", absolute paths).
  std::string pathForResource(std::string_view name, std::string_view type) const;
  std::string pathForResource(std::string_view name, std::string_view type, std::string_view subdirectory) const;
  // Every resource with that extension (every one when type is empty), in the
  // folder and then in en.lproj; a localised file hidden by an unlocalised one
  // of the same name is left out. Sorted by name within each folder.
  std::vector<std::string> pathsForResourcesOfType(std::string_view type, std::string_view subdirectory = {}) const;

  // A resource's text. UTF-8 refuses invalid sequences (a leading byte-order
  // mark is dropped); ASCII refuses any byte of 0x80 or above. Null on
  // failure, with *error set (Cocoa domain: 260 missing, 261 wrong encoding,
  // 256 unreadable).
  Ref<String> textOfResource(std::string_view name, std::string_view type, TextEncoding encoding,
                             Ref<Error>* error = nullptr) const;
  static Ref<String> textOfFile(const std::string& path, TextEncoding encoding, Ref<Error>* error = nullptr);

  // Info.plist's dictionary, read once; empty (never null) when absent or unreadable.
  Ref<Dictionary> infoDictionary() const;
  Object* objectForInfoDictionaryKey(std::string_view key) const;
  // CFBundleIdentifier, or empty.
  std::string bundleIdentifier() const;

  // The translation of key in the table (empty table means "Localizable").
  // A missing key answers value when value is non-empty, else the key.
  // Tables are read once and kept; one that fails to parse counts as empty
  // and is reported on stderr once.
  std::string localizedStringForKey(std::string_view key, std::string_view value = {},
                                    std::string_view table = {}) const;
  // The whole table, loaded and cached as localizedStringForKey does; never null.
  Ref<Dictionary> stringsTable(std::string_view table = {}) const;

  std::string className() const override { return "Bundle"; }
  std::string description() const override { return "Bundle <" + path_ + ">"; }

 private:
  std::string path_;
  mutable std::mutex mutex_;
  mutable Ref<Dictionary> info_;
  mutable std::map<std::string, Ref<Dictionary>, std::less<>> tables_;
};

}  // namespace kit
