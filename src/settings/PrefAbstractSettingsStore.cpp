#include "settings/PrefAbstractSettingsStore.h"

#include "kit/foundation/Exception.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

namespace tolva {
namespace {

// A stored number, or a string read as a number; anything else is 0.
double numericValue(const kit::Object* o) {
  if (auto* n = dynamic_cast<const kit::Number*>(o)) return n->doubleValue();
  if (auto* s = dynamic_cast<const kit::String*>(o)) return s->doubleValue();
  return 0;
}

}  // namespace

void PrefAbstractSettingsStore::setObject(kit::Ref<kit::Object>, const std::string&) {
  throw kit::Exception("Unimplemented", "setObject:forKey: must be implemented in subclasses of PrefAbstractSettingsStore");
}

kit::Ref<kit::Object> PrefAbstractSettingsStore::objectForKey(const std::string&) {
  throw kit::Exception("Unimplemented", "objectForKey: must be implemented in subclasses of PrefAbstractSettingsStore");
}

void PrefAbstractSettingsStore::setBool(bool value, const std::string& key) { setObject(kit::boolean(value), key); }

void PrefAbstractSettingsStore::setFloat(float value, const std::string& key) {
  setObject(kit::Number::numberWithFloat(value), key);
}

void PrefAbstractSettingsStore::setInteger(int value, const std::string& key) {
  setObject(kit::Number::numberWithInt(value), key);
}

void PrefAbstractSettingsStore::setDouble(double value, const std::string& key) {
  setObject(kit::Number::numberWithDouble(value), key);
}

bool PrefAbstractSettingsStore::boolForKey(const std::string& key) {
  kit::Ref<kit::Object> o = objectForKey(key);
  if (auto* n = dynamic_cast<kit::Number*>(o.get())) return n->boolValue();
  if (auto* s = dynamic_cast<kit::String*>(o.get())) return s->boolValue();
  return false;
}

float PrefAbstractSettingsStore::floatForKey(const std::string& key) {
  return static_cast<float>(numericValue(objectForKey(key).get()));
}

int PrefAbstractSettingsStore::integerForKey(const std::string& key) {
  kit::Ref<kit::Object> o = objectForKey(key);
  if (auto* n = dynamic_cast<kit::Number*>(o.get())) return n->intValue();
  if (auto* s = dynamic_cast<kit::String*>(o.get())) return s->intValue();
  return 0;
}

double PrefAbstractSettingsStore::doubleForKey(const std::string& key) { return numericValue(objectForKey(key).get()); }

bool PrefAbstractSettingsStore::synchronize() { return false; }

}  // namespace tolva
