#pragma once
// URL helpers of the OAuth signer.

#include <string>

#include "kit/foundation/URL.h"

namespace tolva::OABaseAdditions {

// The absolute string up to its first "?" (or "#").
std::string URLStringWithoutQuery(const kit::URL& url);
// The base string URI: scheme and host lower-cased, the default port of the
// scheme dropped, no query or fragment, an empty path written as "/".
std::string normalizedURLString(const kit::URL& url);

}  // namespace tolva::OABaseAdditions
