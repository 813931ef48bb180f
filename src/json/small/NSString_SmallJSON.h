#pragma once
// Decoding a string object in one call, each with a fresh parser (limit 512);
// a failure answers null and prints the error trace on the console.

#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace tolva::NSString_SmallJSON {

// A dictionary or an array.
kit::Ref<kit::Object> JSONValue(const kit::String* string);
// Any JSON value.
kit::Ref<kit::Object> JSONFragmentValue(const kit::String* string);

}  // namespace tolva::NSString_SmallJSON
