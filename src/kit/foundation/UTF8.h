#pragma once
// UTF-8 checks and encoding shared by every text reader and writer in kit.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kit::utf8 {

// The length (2 to 4) of the well-formed multi-byte sequence at p (whose
// first byte is 0x80 or above), or 0 when it is not one: overlong forms,
// surrogates, values past U+10FFFF, stray continuation bytes and sequences
// cut short by `end` are not.
inline size_t sequenceLength(const unsigned char* p, const unsigned char* end) noexcept {
  const unsigned char b = *p;
  size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;       // overlong
    else if (b == 0xED) hi = 0x9F;  // surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;       // overlong
    else if (b == 0xF4) hi = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < n || p[1] < lo || p[1] > hi) return 0;
  for (size_t k = 2; k < n; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  return n;
}

// Offset of the first byte that is not part of well-formed UTF-8 (overlong
// forms, surrogates and values past U+10FFFF are not), or npos.
size_t firstInvalid(std::string_view s) noexcept;
inline bool isValid(std::string_view s) noexcept { return firstInvalid(s) == std::string_view::npos; }
// The code point at s[i], moving i past it; a byte that does not start a
// well-formed sequence gives U+FFFD and moves i by one.
inline uint32_t decode(std::string_view s, size_t& i) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + i;
  if (*p < 0x80) {
    ++i;
    return *p;
  }
  const size_t n = sequenceLength(p, reinterpret_cast<const unsigned char*>(s.data()) + s.size());
  if (n == 0) {
    ++i;
    return 0xFFFD;
  }
  uint32_t cp = p[0] & (0x7Fu >> n);
  for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (p[k] & 0x3Fu);
  i += n;
  return cp;
}
// Appends a code point; surrogates and values past U+10FFFF become U+FFFD.
void append(std::string& out, uint32_t codePoint);

// Caseless matching: a code point's simple case folding (its lower-case
// form in every script with case; U+00B5 and U+017F, say, fold to the Greek
// and Latin letters they stand for), and a text with every code point
// folded, so "Über" and "über" fold alike. Bytes that
// are not well-formed UTF-8 are kept as they are. A folded text may be
// shorter or longer than the original.
uint32_t foldCase(uint32_t codePoint) noexcept;
void appendFoldedCase(std::string& out, std::string_view s);
std::string foldedCase(std::string_view s);

}  // namespace kit::utf8
