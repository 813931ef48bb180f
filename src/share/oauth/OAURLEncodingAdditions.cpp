#include "share/oauth/OAURLEncodingAdditions.h"

#include "kit/foundation/URLEscaping.h"

namespace tolva::OAURLEncodingAdditions {
std::string URLEncodedString(std::string_view text) { return kit::URLEscaping::escapeUnreserved(text); }

std::string URLDecodedString(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int hi = kit::URLEscaping::hexValue(text[i + 1]), lo = kit::URLEscaping::hexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(char(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

void forEachFormPair(std::string_view text, const std::function<void(const std::string&, const std::string&)>& pair) {
  size_t at = 0;
  while (at <= text.size()) {
    size_t amp = text.find('&', at);
    std::string_view item = text.substr(at, amp == std::string_view::npos ? std::string_view::npos : amp - at);
    size_t eq = item.find('=');
    if (eq != std::string_view::npos) pair(URLDecodedString(item.substr(0, eq)), URLDecodedString(item.substr(eq + 1)));
    if (amp == std::string_view::npos) break;
    at = amp + 1;
  }
}

}  // namespace tolva::OAURLEncodingAdditions
