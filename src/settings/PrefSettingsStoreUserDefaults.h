#pragma once
// The settings store the browser uses: every operation goes to the standard
// user defaults, where the browser's own classes read the values.

#include "settings/PrefAbstractSettingsStore.h"

namespace tolva {

class PrefSettingsStoreUserDefaults : public PrefAbstractSettingsStore {
 public:
  void setBool(bool value, const std::string& key) override;
  void setFloat(float value, const std::string& key) override;
  void setDouble(double value, const std::string& key) override;
  void setInteger(int value, const std::string& key) override;
  // A value that is not a property list is refused by the user defaults and the old value kept.
  void setObject(kit::Ref<kit::Object> value, const std::string& key) override;
  bool boolForKey(const std::string& key) override;
  float floatForKey(const std::string& key) override;
  double doubleForKey(const std::string& key) override;
  int integerForKey(const std::string& key) override;
  kit::Ref<kit::Object> objectForKey(const std::string& key) override;
  bool synchronize() override;

  std::string className() const override { return "PrefSettingsStoreUserDefaults"; }
};

}  // namespace tolva
