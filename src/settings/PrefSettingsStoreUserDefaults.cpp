#include "settings/PrefSettingsStoreUserDefaults.h"

#include "kit/foundation/UserDefaults.h"

namespace tolva {
namespace {

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

}  // namespace

void PrefSettingsStoreUserDefaults::setBool(bool value, const std::string& key) { defaults().setBool(value, key); }

void PrefSettingsStoreUserDefaults::setFloat(float value, const std::string& key) { defaults().setFloat(value, key); }

void PrefSettingsStoreUserDefaults::setDouble(double value, const std::string& key) { defaults().setDouble(value, key); }

void PrefSettingsStoreUserDefaults::setInteger(int value, const std::string& key) { defaults().setInt(value, key); }

void PrefSettingsStoreUserDefaults::setObject(kit::Ref<kit::Object> value, const std::string& key) {
  defaults().setObject(value.get(), key);
}

bool PrefSettingsStoreUserDefaults::boolForKey(const std::string& key) { return defaults().boolForKey(key); }

float PrefSettingsStoreUserDefaults::floatForKey(const std::string& key) { return defaults().floatForKey(key); }

double PrefSettingsStoreUserDefaults::doubleForKey(const std::string& key) { return defaults().doubleForKey(key); }

int PrefSettingsStoreUserDefaults::integerForKey(const std::string& key) {
  return static_cast<int>(defaults().integerForKey(key));
}

kit::Ref<kit::Object> PrefSettingsStoreUserDefaults::objectForKey(const std::string& key) {
  return defaults().objectForKey(key);
}

bool PrefSettingsStoreUserDefaults::synchronize() { return defaults().synchronize(); }

}  // namespace tolva
