#pragma once
// UTF-8 checks and encoding shared by the fast decoder and serializer.

#include <cstddef>
#include <cstdint>

namespace tolva::FJUnicode {

// Length (2..4) of a well-formed multi-byte UTF-8 sequence at s (s < end);
// 0 when the input ends inside an otherwise well-formed prefix; -n for an
// ill-formed sequence whose maximal well-formed prefix is n bytes (n >= 1),
// which one replacement character stands for.
int sequenceLength(const unsigned char* s, const unsigned char* end) noexcept;

// The code point of a well-formed sequence of n bytes.
uint32_t decode(const unsigned char* s, int n) noexcept;

// Writes a code point (at most U+10FFFF) as UTF-8 into out; returns the byte count.
int encode(uint32_t codePoint, unsigned char* out) noexcept;

}  // namespace tolva::FJUnicode
