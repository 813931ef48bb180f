#pragma once
// The records of the bookmark tree. A bookmark is a dictionary {"title",
// "url"}; a folder is {"title", "subitems"}; a history entry adds
// "visit_count" and "last_visit". A folder path (BookmarkFolderPath) is an
// array of folder titles from the root down; empty or null names the root.
// A folder list entry (FolderListEntry) is {"path", "title", "depth"}.

#include <string>

#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"

namespace tolva {

namespace BookmarkItem {

inline constexpr const char* kTitle = "title";
inline constexpr const char* kURL = "url";
inline constexpr const char* kSubitems = "subitems";
inline constexpr const char* kVisitCount = "visit_count";
inline constexpr const char* kLastVisit = "last_visit";
// The root folder that holds the history; never localised.
inline constexpr const char* kHistoryFolder = "History";

// The string under `key`, "" when absent or not a string.
inline const std::string& text(const kit::Dictionary* item, const char* key) {
  static const std::string empty;
  const kit::String* s = item ? item->get<kit::String>(key) : nullptr;
  return s ? s->str() : empty;
}
inline const std::string& title(const kit::Dictionary* item) { return text(item, kTitle); }
inline const std::string& url(const kit::Dictionary* item) { return text(item, kURL); }

}  // namespace BookmarkItem

namespace FolderListEntry {

inline constexpr const char* kPath = "path";
inline constexpr const char* kTitle = "title";
inline constexpr const char* kDepth = "depth";

}  // namespace FolderListEntry

}  // namespace tolva
