#pragma once
// UTF-8 text addressed in UTF-16 code units, as editing ranges are given.
// Invalid bytes count as one code point each.

#include <cstddef>
#include <string>
#include <string_view>

namespace kit {

size_t utf8CodePointCount(std::string_view s);
size_t utf16Length(std::string_view s);
// The byte offset of UTF-16 position `pos` (clamped to the end; a position
// inside a surrogate pair moves to the start of its code point).
size_t utf8OffsetOfUtf16(std::string_view s, size_t pos);
// The byte length of the last code point (0 for an empty text).
size_t lastCodePointLength(std::string_view s);
// Splits into code points.
std::string_view nextCodePoint(std::string_view s, size_t offset);

}  // namespace kit
