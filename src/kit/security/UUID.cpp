#include "kit/security/UUID.h"

#include "kit/security/SecureRandom.h"

namespace kit {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isHyphenPosition(size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

UUID UUID::random() {
  Bytes b;
  SecureRandom::fill(b);
  b[6] = std::uint8_t((b[6] & 0x0f) | 0x40);  // version 4
  b[8] = std::uint8_t((b[8] & 0x3f) | 0x80);  // variant 10xx
  return UUID(b);
}

std::string UUID::createString() { return random().string(); }

std::string UUID::string() const {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(36);
  for (size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s.push_back('-');
    s.push_back(digits[bytes_[i] >> 4]);
    s.push_back(digits[bytes_[i] & 0x0f]);
  }
  return s;
}

std::optional<UUID> UUID::parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  Bytes b{};
  size_t nibble = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (isHyphenPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      continue;
    }
    int v = hexValue(text[i]);
    if (v < 0) return std::nullopt;
    b[nibble / 2] = std::uint8_t(b[nibble / 2] | (nibble % 2 == 0 ? v << 4 : v));
    ++nibble;
  }
  return UUID(b);
}

}  // namespace kit
