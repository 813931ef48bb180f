#include "kit/ui/Utf16.h"

#include <algorithm>

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

Range clampedUtf16Range(std::string_view s, Range range) {
  const size_t length = utf16Length(s);
  if (range.location > length) range.location = length;
  if (range.length > length - range.location) range.length = length - range.location;
  return range;
}

void replaceUtf16Range(std::string& s, Range range, std::string_view replacement) {
  range = clampedUtf16Range(s, range);
  const size_t from = utf8OffsetOfUtf16(s, range.location);
  const size_t to = std::max(from, utf8OffsetOfUtf16(s, range.location + range.length));
  s.replace(from, to - from, replacement);
}

Range lastCodePointUtf16Range(std::string_view s) {
  const size_t units = utf16Length(s.substr(s.size() - lastCodePointLength(s)));
  return {utf16Length(s) - units, units};
}

bool typeEachCodePoint(std::string_view s, const std::function<bool(const std::string&)>& type) {
  bool any = false;
  for (size_t i = 0; i < s.size();) {
    std::string_view cp = nextCodePoint(s, i);
    any = type(std::string(cp)) || any;
    i += cp.size();
  }
  return any;
}

}  // namespace kit
