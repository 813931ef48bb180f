#pragma once
// Number text for the fast serializer: a double as printf's "%.17g" would
// write it in the C locale, done with integer arithmetic for the magnitudes
// JSON mostly carries and with std::to_chars for the rest.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tolva::FJNumberFormat {

// Two decimal digits at a time, "00" to "99".
extern const char kDigitPairs[201];
extern const uint64_t kPowersOfTen[20];

// Writes an integer in decimal into out (at least 20 bytes for an unsigned
// value, 21 for a signed one) and returns the end: the text std::to_chars
// writes, with no branch on the sign or on the length, which in a run of
// numbers of mixed signs and sizes the processor cannot foresee.
inline char* formatUnsigned(uint64_t u, char* out) noexcept {
  int t = ((64 - std::countl_zero(u | 1)) * 1233) >> 12;  // digits - 1, or digits
  char* end = out + t + ((u | 1) >= kPowersOfTen[t]);
  char* p = end;
  while (u >= 100) {
    uint64_t q = u / 100;
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (u - q * 100), 2);
    u = q;
  }
  if (u >= 10)
    std::memcpy(p - 2, kDigitPairs + 2 * u, 2);
  else
    p[-1] = static_cast<char>('0' + u);
  return end;
}
inline char* formatSigned(int64_t v, char* out) noexcept {
  uint64_t u = static_cast<uint64_t>(v);
  uint64_t negative = u >> 63;
  *out = '-';
  return formatUnsigned((u ^ (0 - negative)) + negative, out + negative);
}

// Writes a finite double into out (at least 32 bytes) and returns the end.
char* formatDouble(double value, char* out) noexcept;

}  // namespace tolva::FJNumberFormat
