#pragma once
// A recently closed tab: a dictionary with "title" and "url" strings.

#include <string>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"

namespace tolva {

namespace RecentlyClosedTab {

inline constexpr const char* kTitle = "title";
inline constexpr const char* kURL = "url";

inline kit::Ref<kit::Dictionary> make(const std::string& title, const std::string& url) {
  return kit::Ref<kit::Dictionary>(
      new kit::Dictionary({{kTitle, kit::str(title)}, {kURL, kit::str(url)}}));
}

}  // namespace RecentlyClosedTab

}  // namespace tolva
