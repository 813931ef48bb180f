#pragma once
// Decoded user information may hold nulls where the sharers expect text.

#include "kit/foundation/Dictionary.h"

namespace tolva::NSNullsToEmptyStrings {

// Every null value becomes the empty text and every dictionary value is
// converted the same way (an immutable one is replaced by a converted mutable
// copy); arrays are not entered.
void convertNSNullsToEmptyStrings(kit::MutableDictionary* dictionary);

}  // namespace tolva::NSNullsToEmptyStrings
