#pragma once
// Cryptographically strong random bytes and numbers from the crypto library's
// generator (seeded by the kernel). Failure of the generator is not survivable
// for its callers (nonces, identifiers), so it raises GenericException rather
// than handing out weak values.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kit {

class SecureRandom {
 public:
  static void fill(std::span<std::uint8_t> out);
  static std::vector<std::uint8_t> bytes(size_t count);
  static std::uint32_t uint32();
  static std::uint64_t uint64();
  // Uniform in [0, upperBound) without modulo bias; 0 for an upper bound of 0.
  static std::uint32_t uniform(std::uint32_t upperBound);
};

}  // namespace kit
