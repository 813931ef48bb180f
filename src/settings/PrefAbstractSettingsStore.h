#pragma once
// A settings store built on two operations, setObject and objectForKey,
// which subclasses supply: the typed setters wrap their value in a number,
// the typed getters read a number (or a string's text) back. The two
// operations themselves raise "Unimplemented" here.

#include "settings/PrefSettingsStore.h"

namespace tolva {

class PrefAbstractSettingsStore : public PrefSettingsStore {
 public:
  void setObject(kit::Ref<kit::Object> value, const std::string& key) override;
  kit::Ref<kit::Object> objectForKey(const std::string& key) override;
  void setBool(bool value, const std::string& key) override;
  void setFloat(float value, const std::string& key) override;
  void setInteger(int value, const std::string& key) override;
  void setDouble(double value, const std::string& key) override;
  bool boolForKey(const std::string& key) override;
  float floatForKey(const std::string& key) override;
  int integerForKey(const std::string& key) override;
  double doubleForKey(const std::string& key) override;
  // Nothing to write: NO.
  bool synchronize() override;

  std::string className() const override { return "PrefAbstractSettingsStore"; }
};

}  // namespace tolva
