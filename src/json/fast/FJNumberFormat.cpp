#include "json/fast/FJNumberFormat.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace tolva::FJNumberFormat {

const char kDigitPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
const uint64_t kPowersOfTen[20] = {1ULL,
                                   10ULL,
                                   100ULL,
                                   1000ULL,
                                   10000ULL,
                                   100000ULL,
                                   1000000ULL,
                                   10000000ULL,
                                   100000000ULL,
                                   1000000000ULL,
                                   10000000000ULL,
                                   100000000000ULL,
                                   1000000000000ULL,
                                   10000000000000ULL,
                                   100000000000000ULL,
                                   1000000000000000ULL,
                                   10000000000000000ULL,
                                   100000000000000000ULL,
                                   1000000000000000000ULL,
                                   10000000000000000000ULL};

namespace {

using u128 = unsigned __int128;
constexpr const uint64_t* kPow10 = kPowersOfTen;

u128 pow10(int k) { return k <= 19 ? u128{kPow10[k]} : u128{kPow10[19]} * kPow10[k - 19]; }

// m × 2^e × 10^k rounded to an integer, ties to even, for m < 2^53,
// 0 <= k <= 22 and -127 < e <= 4 (the product stays below 2^128).
uint64_t scaled(uint64_t m, int e, int k) {
  u128 p = u128{m} * pow10(k);
  if (e >= 0) return static_cast<uint64_t>(p << e);
  int s = -e;
  u128 n = p >> s;
  u128 rest = p - (n << s);
  u128 half = u128{1} << (s - 1);
  if (rest > half || (rest == half && (n & 1))) ++n;
  return static_cast<uint64_t>(n);
}

constexpr const char* kPairs = kDigitPairs;

// The 17 digits of n (10^16 <= n < 10^17) into out.
void seventeenDigits(uint64_t n, char* out) {
  uint64_t hi = n / 100000000;  // 9 digits
  uint32_t lo = static_cast<uint32_t>(n % 100000000);
  uint32_t h1 = static_cast<uint32_t>(hi / 10000), h2 = static_cast<uint32_t>(hi % 10000);  // 5 + 4
  out[0] = static_cast<char>('0' + h1 / 10000);
  std::memcpy(out + 1, kPairs + 2 * (h1 / 100 % 100), 2);
  std::memcpy(out + 3, kPairs + 2 * (h1 % 100), 2);
  std::memcpy(out + 5, kPairs + 2 * (h2 / 100), 2);
  std::memcpy(out + 7, kPairs + 2 * (h2 % 100), 2);
  uint32_t l1 = lo / 10000, l2 = lo % 10000;
  std::memcpy(out + 9, kPairs + 2 * (l1 / 100), 2);
  std::memcpy(out + 11, kPairs + 2 * (l1 % 100), 2);
  std::memcpy(out + 13, kPairs + 2 * (l2 / 100), 2);
  std::memcpy(out + 15, kPairs + 2 * (l2 % 100), 2);
}

}  // namespace

char* formatDouble(double value, char* out) noexcept {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  int biased = static_cast<int>((bits >> 52) & 0x7FF);
  double magnitude = value < 0 ? -value : value;
  // Normal numbers from 1e-5 up to 1e17: there seventeen digits come from one
  // 128-bit product, and "%.17g" takes its fixed form or a two-digit exponent.
  if (biased == 0 || !(magnitude >= 1e-5 && magnitude < 1e17)) {
    auto r = std::to_chars(out, out + 32, value, std::chars_format::general, 17);
    return r.ptr;
  }
  uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  int e = biased - 1075;  // value = ±m × 2^e
  // The decimal exponent x (10^x <= magnitude < 10^(x+1)), estimated from the
  // binary one and then settled by the digits themselves.
  static constexpr double kPowers[] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,  1e4,  1e5, 1e6,
                                       1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};
  int x = ((e + 52) * 78913) >> 18;  // floor((e + 52) × log10(2)): x or x + 1
  if (x < 16 && magnitude >= kPowers[x + 6]) ++x;
  uint64_t n = 0;
  for (int tries = 0; tries < 4; ++tries) {
    n = scaled(m, e, 16 - x);
    if (n >= kPow10[17])
      ++x;
    else if (n < kPow10[16])
      --x;
    else
      break;
  }
  char digits[17];
  seventeenDigits(n, digits);
  int used = 17;  // digits written, trailing zeros dropped
  while (used > 1 && digits[used - 1] == '0') --used;

  char* o = out;
  if (value < 0) *o++ = '-';
  if (x < -4) {
    *o++ = digits[0];
    if (used > 1) {
      *o++ = '.';
      std::memcpy(o, digits + 1, static_cast<size_t>(used - 1));
      o += used - 1;
    }
    *o++ = 'e';
    *o++ = '-';
    *o++ = '0';
    *o++ = static_cast<char>('0' - x);  // x is -5 here
    return o;
  }
  if (x >= 0) {
    std::memcpy(o, digits, static_cast<size_t>(x + 1));
    o += x + 1;
    if (used > x + 1) {
      *o++ = '.';
      std::memcpy(o, digits + x + 1, static_cast<size_t>(used - x - 1));
      o += used - x - 1;
    }
    return o;
  }
  *o++ = '0';
  *o++ = '.';
  for (int i = -1; i > x; --i) *o++ = '0';
  std::memcpy(o, digits, static_cast<size_t>(used));
  return o + used;
}

}  // namespace tolva::FJNumberFormat
