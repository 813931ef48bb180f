#pragma once
// Encoding any object in one call, each with a fresh writer (compact, keys in
// the collection's order, limit 512); a failure answers null and prints the
// error trace on the console.

#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace tolva::NSObject_SmallJSON {

// Text of a dictionary or an array.
kit::Ref<kit::String> JSONRepresentation(const kit::Object* object);
// Text of any writable value.
kit::Ref<kit::String> JSONFragment(const kit::Object* object);

}  // namespace tolva::NSObject_SmallJSON
