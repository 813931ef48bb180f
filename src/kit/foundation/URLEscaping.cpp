#include "kit/foundation/URLEscaping.h"
#include "kit/foundation/UTF8.h"

#include <cstdint>

namespace kit {

namespace {

// Bytes a URL may hold as they are: unreserved, reserved (less the brackets, which only an
// IPv6 host may use) and '#'. '%' is not among them: a literal percent sign must be escaped.
bool isLegalURLByte(unsigned char c) {
  if (c >= 0x80 || c <= 0x20 || c == 0x7F) return false;
  switch (c) {
    case '"': case '%': case '<': case '>': case '[': case '\\': case ']':
    case '^': case '`': case '{': case '|': case '}':
      return false;
    default:
      return true;
  }
}

bool isUnreservedByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

void URLEscaping::appendEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.push_back('%');
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 0xF]);
}

std::string URLEscaping::addPercentEscapes(std::string_view text, std::string_view alsoEscape,
                                           std::string_view leaveUnescaped) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    bool keep = isLegalURLByte(c) && alsoEscape.find(ch) == std::string_view::npos;
    if (!keep && leaveUnescaped.find(ch) != std::string_view::npos) keep = true;
    if (keep) {
      out.push_back(ch);
    } else {
      appendEscape(out, c);
    }
  }
  return out;
}

std::string URLEscaping::escapeUnreserved(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (isUnreservedByte(c)) {
      out.push_back(ch);
    } else {
      appendEscape(out, c);
    }
  }
  return out;
}

std::optional<std::string> URLEscaping::replacePercentEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int hi = hexValue(text[i + 1]);
    int lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  if (!utf8::isValid(out)) return std::nullopt;
  return out;
}


}  // namespace kit
