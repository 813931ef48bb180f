#pragma once
// UTF-8 checks and encoding shared by every text reader and writer in kit.

#include <cstdint>
#include <string>
#include <string_view>

namespace kit::utf8 {

// Offset of the first byte that is not part of well-formed UTF-8 (overlong
// forms, surrogates and values past U+10FFFF are not), or npos.
size_t firstInvalid(std::string_view s) noexcept;
inline bool isValid(std::string_view s) noexcept { return firstInvalid(s) == std::string_view::npos; }
// Appends a code point; surrogates and values past U+10FFFF become U+FFFD.
void append(std::string& out, uint32_t codePoint);

}  // namespace kit::utf8
