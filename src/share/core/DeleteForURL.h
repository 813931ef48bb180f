#pragma once
// Forgets a site's cookies (a service's logout ends its web session too).

#include "kit/foundation/URL.h"

namespace tolva::DeleteForURL {

// Deletes every cookie the shared cookie storage holds for the URL.
void deleteCookiesForURL(const kit::URL* url);

}  // namespace tolva::DeleteForURL
