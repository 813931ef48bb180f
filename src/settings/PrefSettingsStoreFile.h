#pragma once
// A settings store kept in one property-list file: loaded when made (a
// missing or unreadable file starts empty), changed in memory, and written
// whole and atomically by synchronize(). The browser does not use it.

#include <string>

#include "kit/foundation/Dictionary.h"
#include "settings/PrefAbstractSettingsStore.h"

namespace tolva {

class PrefSettingsStoreFile : public PrefAbstractSettingsStore {
 public:
  explicit PrefSettingsStoreFile(std::string path);

  void setObject(kit::Ref<kit::Object> value, const std::string& key) override;
  kit::Ref<kit::Object> objectForKey(const std::string& key) override;
  // Answers whether the file was written.
  bool synchronize() override;

  const std::string& filePath() const noexcept { return filePath_; }
  std::string className() const override { return "PrefSettingsStoreFile"; }

 private:
  std::string filePath_;
  kit::Ref<kit::MutableDictionary> dict_;
};

}  // namespace tolva
