#include "kit/foundation/UTF8.h"

namespace kit::utf8 {

size_t firstInvalid(std::string_view s) noexcept {
  const auto* begin = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = begin + s.size();
  for (const unsigned char* p = begin; p != end;) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    const size_t n = sequenceLength(p, end);
    if (n == 0) return static_cast<size_t>(p - begin);
    p += n;
  }
  return std::string_view::npos;
}

void append(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace kit::utf8
