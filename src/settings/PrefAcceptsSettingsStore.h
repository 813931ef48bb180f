#pragma once
// A screen pushed from a settings page that wants that page's settings store.

#include "kit/foundation/Object.h"

namespace tolva {

class PrefSettingsStore;

class PrefAcceptsSettingsStore {
 public:
  virtual ~PrefAcceptsSettingsStore() = default;
  virtual void setSettingsStore(kit::Ref<PrefSettingsStore> store) = 0;
};

}  // namespace tolva
