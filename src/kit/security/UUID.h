#pragma once
// A 128-bit universally unique identifier. Text form: 36 characters, upper-case
// hexadecimal in groups 8-4-4-4-12 ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F").

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kit {

class UUID {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  // The nil identifier (all zero).
  UUID() = default;
  explicit UUID(const Bytes& bytes) : bytes_(bytes) {}

  // A fresh random identifier (version 4, RFC 4122 variant).
  static UUID random();
  // Parses the 36-character text form in either case; nullopt otherwise.
  static std::optional<UUID> parse(std::string_view text);
  // Shorthand for random().string(): a new identifier's text.
  static std::string createString();

  const Bytes& bytes() const { return bytes_; }
  std::string string() const;
  int version() const { return bytes_[6] >> 4; }

  bool operator==(const UUID&) const = default;

 private:
  Bytes bytes_{};
};

}  // namespace kit
