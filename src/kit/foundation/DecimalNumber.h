#pragma once
// A base-10 number of up to 38 significant digits, kept exactly as written so
// decimal texts survive a round trip without binary rounding.

#include <cstdint>
#include <string>
#include <string_view>

#include "kit/foundation/Number.h"

namespace kit {

class DecimalNumber : public Number {
 public:
  static constexpr int kMaxDigits = 38;

  // Null when the text is not a decimal number or needs more than 38 digits
  // (trailing zeros of the fraction and leading zeros do not count).
  static Ref<DecimalNumber> decimalNumberWithString(std::string_view text);
  static Ref<DecimalNumber> decimalNumberWithMantissa(unsigned __int128 mantissa, int exponent,
                                                      bool negative);

  unsigned __int128 mantissa() const noexcept {
    return static_cast<unsigned __int128>(mantissaHigh_) << 64 | mantissaLow_;
  }
  int exponent() const noexcept { return exponent_; }
  bool isNegative() const noexcept { return negative_; }

  long long longLongValue() const noexcept override;
  unsigned long long unsignedLongLongValue() const noexcept override;
  std::string stringValue() const override;
  int compare(const Number& other) const noexcept override;

  std::string className() const override { return "DecimalNumber"; }

 protected:
  // mantissa * 10^exponent, normalised so equal values look alike.
  DecimalNumber(unsigned __int128 mantissa, int exponent, bool negative);
  // For a maker that already normalised the value (no trailing zeros in a
  // non-zero mantissa; zero is 0e0 and not negative) and knows its nearest
  // double.
  DecimalNumber(uint64_t mantissa, int exponent, bool negative, double value) noexcept
      : Number('d', Store::Double), mantissaLow_(mantissa), exponent_(exponent), negative_(negative) {
    v_.d = value;
  }

 private:
  // Kept in two halves: an __int128 member would ask for 16-byte alignment,
  // more than the allocators of small objects give.
  uint64_t mantissaLow_ = 0;
  uint64_t mantissaHigh_ = 0;
  int exponent_ = 0;
  bool negative_ = false;
};

}  // namespace kit
