#pragma once
// What a JSON parser of the small codec offers: text to a dictionary or array.

#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace tolva {

class SmallJsonParserProtocol {
 public:
  virtual ~SmallJsonParserProtocol() = default;
  // A dictionary or an array, or null on failure (see the error trace).
  virtual kit::Ref<kit::Object> objectWithString(const kit::String* string) = 0;
};

}  // namespace tolva
