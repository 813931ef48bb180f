#pragma once
// Interface text from the bundle's localisation table, where the English
// text is the key. Formats from the table are filled in at run time, so they
// cannot go through kit::format: only "%@" (the next argument) and "%%" are
// understood, and a missing argument leaves "%@" in place rather than
// reading anything.

#include <string>
#include <string_view>
#include <vector>

namespace tolva {

class LocalizedText {
 public:
  static std::string localized(std::string_view key);
  // The localised format with each "%@" replaced by the next argument.
  static std::string localizedFormat(std::string_view key, const std::vector<std::string>& args);
  // The same substitution on a text that is not looked up.
  static std::string substitute(std::string_view format, const std::vector<std::string>& args);
};

}  // namespace tolva
