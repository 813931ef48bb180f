#pragma once
// What a JSON writer of the small codec offers: a dictionary or array to text.

#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace tolva {

class SmallJsonWriterProtocol {
 public:
  virtual ~SmallJsonWriterProtocol() = default;
  // JSON text for a dictionary or an array, or null on failure (see the error trace).
  virtual kit::Ref<kit::String> stringWithObject(const kit::Object* value) = 0;
  virtual bool humanReadable() const = 0;
  virtual void setHumanReadable(bool humanReadable) = 0;
  virtual bool sortKeys() const = 0;
  virtual void setSortKeys(bool sortKeys) = 0;
};

}  // namespace tolva
