#pragma once
// The saved state of the open tabs in user defaults, read back at the next
// start: one dictionary per tab under "tab%d" (the tab's index), with the
// number of tabs, the selected index and the full-screen mode beside them.
// An entry at an index at or beyond "tabs" is stale and never read.

#include <string>

#include "kit/foundation/Format.h"

namespace tolva {

namespace TabState {

// Keys of one tab's dictionary.
inline constexpr const char* kLocation = "location";          // string; "" when none
inline constexpr const char* kPrivate = "private";            // bool
inline constexpr const char* kTextFontSize = "textFontSize";  // integer percent
inline constexpr const char* kTitle = "title";                // string

// Keys of the whole strip.
inline constexpr const char* kTabs = "tabs";                      // integer: the number of tabs
inline constexpr const char* kCurSel = "curSel";                  // integer: the selected index
inline constexpr const char* kFullscreenMode = "fullscreen_mode";  // integer: 0 off, 1 with tabs, 2 full

// The key of the tab at `index`.
inline std::string key(int index) { return kit::format("tab%d", index); }

}  // namespace TabState

}  // namespace tolva
