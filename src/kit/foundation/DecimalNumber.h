#pragma once
// A base-10 number of up to 38 significant digits, kept exactly as written so
// decimal texts survive a round trip without binary rounding.

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

  unsigned __int128 mantissa() const noexcept { return mantissa_; }
  int exponent() const noexcept { return exponent_; }
  bool isNegative() const noexcept { return negative_; }

  long long longLongValue() const noexcept override;
  unsigned long long unsignedLongLongValue() const noexcept override;
  std::string stringValue() const override;
  int compare(const Number& other) const noexcept override;

  std::string className() const override { return "DecimalNumber"; }

 private:
  DecimalNumber() : Number('d', Store::Double) {}
  unsigned __int128 mantissa_ = 0;
  int exponent_ = 0;
  bool negative_ = false;
};

}  // namespace kit
