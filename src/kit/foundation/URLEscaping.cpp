#include "kit/foundation/URLEscaping.h"

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
  if (!isValidUTF8(out)) return std::nullopt;
  return out;
}

bool URLEscaping::isValidUTF8(std::string_view text) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;  // continuation byte, overlong lead (C0, C1) or beyond U+10FFFF
    }
    if (end - p <= extra) return false;
    for (int k = 1; k <= extra; ++k) {
      if ((p[k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[k] & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000)) return false;  // overlong
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;                              // surrogate
    if (cp > 0x10FFFF) return false;
    p += extra + 1;
  }
  return true;
}

}  // namespace kit
