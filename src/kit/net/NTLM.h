#pragma once
// The NTLM (version 2) messages a client sends: the negotiate message (type 1), reading the
// server's challenge message (type 2) and the authenticate message (type 3). MD4 is computed
// here, since the crypto library only offers it through a provider that may be missing.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kit {

class NTLM {
 public:
  struct Challenge {
    uint32_t flags = 0;
    std::array<uint8_t, 8> serverChallenge{};
    std::string targetInfo;  // raw AV pairs
  };

  // The negotiate message (raw bytes).
  static std::string negotiateMessage();
  // Reads a challenge message; nullopt when it is not one or its fields point outside it.
  static std::optional<Challenge> parseChallenge(std::string_view message);
  // The authenticate message for a challenge. `timestamp` is in 100 ns units since 1601 and
  // `clientChallenge` 8 random bytes; both come from the clock and the random source when
  // absent (tests give them to compare with known answers).
  static std::string authenticateMessage(const Challenge& challenge, std::string_view user,
                                         std::string_view password, std::string_view domain,
                                         std::string_view workstation = {},
                                         std::optional<uint64_t> timestamp = std::nullopt,
                                         std::optional<std::array<uint8_t, 8>> clientChallenge = std::nullopt);

  // The pieces, for tests and for a server that checks an answer.
  static std::array<uint8_t, 16> md4(std::string_view bytes);
  static std::array<uint8_t, 16> hmacMd5(std::string_view key, std::string_view message);
  // UTF-8 to UTF-16LE (invalid bytes become U+FFFD).
  static std::string utf16le(std::string_view utf8);
  // NTOWFv2: HMAC-MD5 keyed by MD4(UTF-16LE password) over UTF-16LE(upper-case user + domain).
  static std::array<uint8_t, 16> ntowfv2(std::string_view user, std::string_view password, std::string_view domain);
};

}  // namespace kit
