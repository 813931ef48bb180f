#pragma once
// Message digests and keyed hashes over byte strings (MD5, SHA-1, HMAC-SHA1),
// and their hexadecimal text forms. MD5 and SHA-1 are here for the formats
// that name them (cache keys, resource hashes, OAuth signatures), not for new
// security decisions.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kit {

class Digest {
 public:
  static constexpr size_t kMd5Length = 16;
  static constexpr size_t kSha1Length = 20;
  using Md5 = std::array<std::uint8_t, kMd5Length>;
  using Sha1 = std::array<std::uint8_t, kSha1Length>;

  enum class HexCase { Lower, Upper };

  static Md5 md5(std::span<const std::uint8_t> bytes);
  static Md5 md5(std::string_view bytes);
  static Sha1 sha1(std::span<const std::uint8_t> bytes);
  static Sha1 sha1(std::string_view bytes);
  static Sha1 hmacSha1(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message);
  static Sha1 hmacSha1(std::string_view key, std::string_view message);

  // Two hexadecimal digits per byte, first byte first.
  static std::string hex(std::span<const std::uint8_t> bytes, HexCase c = HexCase::Lower);

  // The digests written as lower-case hexadecimal (32 and 40 characters).
  static std::string md5Hex(std::span<const std::uint8_t> bytes);
  static std::string md5Hex(std::string_view bytes);
  static std::string sha1Hex(std::span<const std::uint8_t> bytes);
  static std::string sha1Hex(std::string_view bytes);
};

}  // namespace kit
