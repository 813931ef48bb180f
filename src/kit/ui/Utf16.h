#pragma once
// UTF-8 text addressed in UTF-16 code units, as editing ranges are given.
// Invalid bytes count as one code point each.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "kit/ui/Geometry.h"

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

// The shared arithmetic of the text entries' editing:
// `range` cut down to fit the text.
Range clampedUtf16Range(std::string_view s, Range range);
// Replaces the (clamped) UTF-16 range with `replacement`.
void replaceUtf16Range(std::string& s, Range range, std::string_view replacement);
// The UTF-16 range of the last code point (empty for an empty text).
Range lastCodePointUtf16Range(std::string_view s);
// Calls `type` with each code point in turn; answers whether any call answered true.
bool typeEachCodePoint(std::string_view s, const std::function<bool(const std::string&)>& type);

}  // namespace kit
