#pragma once
// Base64 with the standard alphabet and "=" padding (RFC 4648, section 4).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kit {

class Base64 {
 public:
  static std::string encode(std::span<const std::uint8_t> bytes);
  static std::string encode(std::string_view bytes);

  // Encodes and inserts `lineBreak` after every `lineLength` output characters,
  // also after a last line that is exactly full. A line length of 0 means no breaks.
  static std::string encode(std::span<const std::uint8_t> bytes, size_t lineLength,
                            std::string_view lineBreak = "\r\n");

  // The length `encode` produces for `inputLength` bytes with the given line layout.
  static size_t encodedLength(size_t inputLength, size_t lineLength = 0, size_t lineBreakLength = 2);

  // Decodes padded Base64. Spaces, tabs, CR and LF are skipped (so line-broken
  // text decodes); any other character outside the alphabet, missing or misplaced
  // padding gives nullopt and, when asked for, a reason in `error`.
  static std::optional<std::vector<std::uint8_t>> decode(std::string_view text,
                                                         std::string* error = nullptr);
};

}  // namespace kit
