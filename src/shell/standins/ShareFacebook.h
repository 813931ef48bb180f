#pragma once
// Stand-in for the social-network sharer: no login is under way, so a
// callback URL is not taken. The real sharer replaces it.

#include "kit/foundation/URL.h"

namespace tolva {

class ShareFacebook {
 public:
  static bool handleOpenURL(const kit::URL* url);
};

}  // namespace tolva
