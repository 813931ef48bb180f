#include "common/LocalizedText.h"

#include "kit/foundation/Bundle.h"

namespace tolva {

std::string LocalizedText::localized(std::string_view key) {
  return kit::Bundle::mainBundle()->localizedStringForKey(key);
}

std::string LocalizedText::localizedFormat(std::string_view key, const std::vector<std::string>& args) {
  return substitute(localized(key), args);
}

std::string LocalizedText::substitute(std::string_view format, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == '@' && next < args.size()) {
        out += args[next++];
        ++i;
        continue;
      }
      if (format[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

}  // namespace tolva
