#include "kit/ui/Utf16.h"

namespace kit {
namespace {

// Length of the sequence starting at s[i]; 1 for a stray or truncated byte.
size_t sequenceLength(std::string_view s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  if (i + n > s.size()) return 1;
  for (size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

}  // namespace

size_t utf8CodePointCount(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i += sequenceLength(s, i)) ++n;
  return n;
}

size_t utf16Length(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size();) {
    size_t len = sequenceLength(s, i);
    n += len == 4 ? 2 : 1;
    i += len;
  }
  return n;
}

size_t utf8OffsetOfUtf16(std::string_view s, size_t pos) {
  size_t units = 0;
  size_t i = 0;
  while (i < s.size()) {
    size_t len = sequenceLength(s, i);
    size_t w = len == 4 ? 2 : 1;
    if (units + w > pos) break;
    units += w;
    i += len;
  }
  return i;
}

size_t lastCodePointLength(std::string_view s) {
  size_t last = 0;
  for (size_t i = 0; i < s.size();) {
    last = sequenceLength(s, i);
    i += last;
  }
  return last;
}

std::string_view nextCodePoint(std::string_view s, size_t offset) {
  if (offset >= s.size()) return {};
  return s.substr(offset, sequenceLength(s, offset));
}

}  // namespace kit
