#include "json/fast/FJUnicode.h"

namespace tolva::FJUnicode {

uint32_t decode(const unsigned char* s, int n) noexcept {
  switch (n) {
    case 2: return (uint32_t{s[0] & 0x1Fu} << 6) | (s[1] & 0x3Fu);
    case 3: return (uint32_t{s[0] & 0x0Fu} << 12) | (uint32_t{s[1] & 0x3Fu} << 6) | (s[2] & 0x3Fu);
    case 4:
      return (uint32_t{s[0] & 0x07u} << 18) | (uint32_t{s[1] & 0x3Fu} << 12) | (uint32_t{s[2] & 0x3Fu} << 6) |
             (s[3] & 0x3Fu);
    default: return s[0];
  }
}

int encode(uint32_t cp, unsigned char* out) noexcept {
  if (cp < 0x80) {
    out[0] = static_cast<unsigned char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace tolva::FJUnicode
