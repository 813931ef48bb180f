#include "kit/foundation/DecimalNumber.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace kit {
namespace {

// Writes the decimal digits of v at `out` (at least 39 bytes of room);
// returns the end.
char* appendDigits(char* out, unsigned __int128 v) {
  char buf[40];
  char* p = buf + sizeof buf;
  // 128-bit division is a library call; finish in 64 bits once it fits.
  while (v > UINT64_MAX) {
    *--p = static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  }
  auto w = static_cast<uint64_t>(v);
  do {
    *--p = static_cast<char>('0' + static_cast<int>(w % 10));
    w /= 10;
  } while (w != 0);
  size_t n = static_cast<size_t>(buf + sizeof buf - p);
  std::memcpy(out, p, n);
  return out + n;
}

std::string u128ToString(unsigned __int128 v) {
  char buf[40];
  return std::string(buf, appendDigits(buf, v));
}

// Powers of ten a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

Ref<DecimalNumber> DecimalNumber::decimalNumberWithMantissa(unsigned __int128 mantissa,
                                                            int exponent, bool negative) {
  return Ref<DecimalNumber>(new DecimalNumber(mantissa, exponent, negative));
}

DecimalNumber::DecimalNumber(unsigned __int128 mantissa, int exponent, bool negative)
    : Number('d', Store::Double) {
  // Normalise so equal values have equal representations.
  if (mantissa <= UINT64_MAX) {
    auto m = static_cast<uint64_t>(mantissa);
    while (m != 0 && m % 10 == 0) {
      m /= 10;
      ++exponent;
    }
    mantissa = m;
  } else {
    while (mantissa % 10 == 0) {
      mantissa /= 10;
      ++exponent;
    }
  }
  if (mantissa == 0) {
    exponent = 0;
    negative = false;
  }
  mantissaLow_ = static_cast<uint64_t>(mantissa);
  mantissaHigh_ = static_cast<uint64_t>(mantissa >> 64);
  exponent_ = exponent;
  negative_ = negative;
  // A mantissa and a power of ten that are both exact doubles give the
  // correctly rounded value in one operation, as reading the text would.
  if (mantissa <= (static_cast<unsigned __int128>(1) << 53) && exponent >= -22 && exponent <= 22) {
    double m = static_cast<double>(static_cast<uint64_t>(mantissa));
    double v = exponent >= 0 ? m * kExactPowers[exponent] : m / kExactPowers[-exponent];
    v_.d = negative ? -v : v;
    return;
  }
  // from_chars reads the exact text whatever the process locale says.
  char buf[64];
  char* end = buf;
  if (negative) *end++ = '-';
  end = appendDigits(end, mantissa);
  *end++ = 'e';
  end = std::to_chars(end, buf + sizeof buf, exponent).ptr;
  double v = 0;
  auto r = std::from_chars(buf, end, v);
  if (r.ec == std::errc::result_out_of_range)
    v = exponent > 0 ? (negative ? -HUGE_VAL : HUGE_VAL) : (negative ? -0.0 : 0.0);
  v_.d = v;
}

Ref<DecimalNumber> DecimalNumber::decimalNumberWithString(std::string_view t) {
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) neg = t[i++] == '-';
  std::string digits;  // significant digits, leading zeros dropped
  long exp = 0;
  bool any = false, frac = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c == '.' && !frac) {
      frac = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    any = true;
    if (frac) --exp;
    if (c != '0' || !digits.empty()) digits.push_back(c);
  }
  if (!any) return nullptr;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) eneg = t[i++] == '-';
    if (i >= t.size() || t[i] < '0' || t[i] > '9') return nullptr;
    long e = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
      e = e * 10 + (t[i] - '0');
      if (e > 100000) return nullptr;
    }
    exp += eneg ? -e : e;
  }
  if (i != t.size()) return nullptr;
  while (!digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++exp;
  }
  if (digits.size() > static_cast<size_t>(kMaxDigits)) return nullptr;
  unsigned __int128 m = 0;
  for (char c : digits) m = m * 10 + static_cast<unsigned>(c - '0');
  return decimalNumberWithMantissa(m, static_cast<int>(exp), neg);
}

// Integers wider than a double's 53 bits must come out exactly, so the
// integral part is computed from the digits when it fits.
static bool integralPart(unsigned __int128 m, int exponent, unsigned __int128& out) {
  if (exponent >= 0) {
    for (int i = 0; i < exponent; ++i) {
      if (m > (~static_cast<unsigned __int128>(0)) / 10) return false;
      m *= 10;
    }
  } else {
    for (int i = 0; i < -exponent && m; ++i) m /= 10;
  }
  out = m;
  return true;
}

long long DecimalNumber::longLongValue() const noexcept {
  unsigned __int128 v;
  if (!integralPart(mantissa(), exponent_, v)) return Number::longLongValue();
  constexpr auto kMax = static_cast<unsigned __int128>(std::numeric_limits<long long>::max());
  if (negative_) return v > kMax + 1 ? std::numeric_limits<long long>::min() : static_cast<long long>(-static_cast<__int128>(v));
  return v > kMax ? std::numeric_limits<long long>::max() : static_cast<long long>(v);
}

unsigned long long DecimalNumber::unsignedLongLongValue() const noexcept {
  unsigned __int128 v;
  if (negative_ || !integralPart(mantissa(), exponent_, v)) return Number::unsignedLongLongValue();
  constexpr auto kMax = static_cast<unsigned __int128>(std::numeric_limits<unsigned long long>::max());
  return v > kMax ? std::numeric_limits<unsigned long long>::max() : static_cast<unsigned long long>(v);
}

std::string DecimalNumber::stringValue() const {
  std::string digits = u128ToString(mantissa());
  std::string out = negative_ ? "-" : "";
  if (exponent_ >= 0) {
    if (mantissa() == 0) return "0";
    if (exponent_ > 40) return out + digits + "e" + std::to_string(exponent_);
    return out + digits + std::string(static_cast<size_t>(exponent_), '0');
  }
  size_t fracLen = static_cast<size_t>(-exponent_);
  if (fracLen > 60) return out + digits + "e" + std::to_string(exponent_);
  if (digits.size() <= fracLen) digits.insert(0, fracLen - digits.size() + 1, '0');
  digits.insert(digits.size() - fracLen, ".");
  return out + digits;
}

int DecimalNumber::compare(const Number& other) const noexcept {
  auto* o = dynamic_cast<const DecimalNumber*>(&other);
  if (!o || o->exponent_ != exponent_ || o->negative_ != negative_) return Number::compare(other);
  int c = mantissa() < o->mantissa() ? -1 : mantissa() > o->mantissa() ? 1 : 0;
  return negative_ ? -c : c;
}

}  // namespace kit
