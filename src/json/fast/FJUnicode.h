#pragma once
// UTF-8 checks and encoding shared by the fast decoder and serializer.

#include <cstddef>
#include <cstdint>

namespace tolva::FJUnicode {

// Length (2..4) of a well-formed multi-byte UTF-8 sequence at s (s < end);
// 0 when the input ends inside an otherwise well-formed prefix; -n for an
// ill-formed sequence whose maximal well-formed prefix is n bytes (n >= 1),
// which one replacement character stands for.
inline int sequenceLength(const unsigned char* s, const unsigned char* end) noexcept {
  unsigned char c = s[0];
  int n;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c == 0xE0) {
    n = 3;
    lo = 0xA0;  // no overlong forms
  } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
    n = 3;
  } else if (c == 0xED) {
    n = 3;
    hi = 0x9F;  // no surrogates
  } else if (c == 0xF0) {
    n = 4;
    lo = 0x90;
  } else if (c >= 0xF1 && c <= 0xF3) {
    n = 4;
  } else if (c == 0xF4) {
    n = 4;
    hi = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return -1;
  }
  for (int i = 1; i < n; ++i) {
    if (s + i >= end) return 0;
    unsigned char b = s[i];
    if (i == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return -i;
  }
  return n;
}

// The code point of a well-formed sequence of n bytes.
uint32_t decode(const unsigned char* s, int n) noexcept;

// Writes a code point (at most U+10FFFF) as UTF-8 into out; returns the byte count.
int encode(uint32_t codePoint, unsigned char* out) noexcept;

}  // namespace tolva::FJUnicode
