#pragma once
// Where the settings screens read and write values: a key-value store with
// typed setters and getters. The browser uses the user-defaults store, so
// every edited value lands in the standard user defaults under its key.

#include <string>

#include "kit/foundation/Object.h"

namespace tolva {

class PrefSettingsStore : public kit::Object {
 public:
  virtual void setBool(bool value, const std::string& key) = 0;
  virtual void setFloat(float value, const std::string& key) = 0;
  virtual void setDouble(double value, const std::string& key) = 0;
  virtual void setInteger(int value, const std::string& key) = 0;
  // A null value removes the key.
  virtual void setObject(kit::Ref<kit::Object> value, const std::string& key) = 0;
  // Getters answer false / 0 for a missing key and for a value that is
  // neither a number nor a string (arrays, dictionaries, data).
  virtual bool boolForKey(const std::string& key) = 0;
  virtual float floatForKey(const std::string& key) = 0;
  virtual double doubleForKey(const std::string& key) = 0;
  virtual int integerForKey(const std::string& key) = 0;
  // Null when the key is missing.
  virtual kit::Ref<kit::Object> objectForKey(const std::string& key) = 0;
  virtual bool synchronize() = 0;

  std::string className() const override { return "PrefSettingsStore"; }
};

}  // namespace tolva
