#include "kit/security/SecureRandom.h"

#include <openssl/rand.h>

#include <climits>

#include "kit/foundation/Exception.h"

namespace kit {

void SecureRandom::fill(std::span<std::uint8_t> out) {
  // RAND_bytes takes an int count; feed large requests in slices.
  while (!out.empty()) {
    size_t n = out.size() < size_t(INT_MAX) ? out.size() : size_t(INT_MAX);
    if (RAND_bytes(out.data(), static_cast<int>(n)) != 1)
      throw GenericException("the secure random generator failed");
    out = out.subspan(n);
  }
}

std::vector<std::uint8_t> SecureRandom::bytes(size_t count) {
  std::vector<std::uint8_t> v(count);
  fill(v);
  return v;
}

std::uint32_t SecureRandom::uint32() {
  std::uint8_t b[4];
  fill(b);
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
         std::uint32_t(b[3]) << 24;
}

std::uint64_t SecureRandom::uint64() { return std::uint64_t(uint32()) << 32 | uint32(); }

std::uint32_t SecureRandom::uniform(std::uint32_t upperBound) {
  if (upperBound < 2) return 0;
  // Reject the low values that would make some results more likely:
  // 2^32 mod upperBound of them.
  std::uint32_t threshold = static_cast<std::uint32_t>(-upperBound) % upperBound;
  for (;;) {
    std::uint32_t r = uint32();
    if (r >= threshold) return r % upperBound;
  }
}

}  // namespace kit
