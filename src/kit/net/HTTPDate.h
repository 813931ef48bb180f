#pragma once
// Dates in HTTP texts. Times are kit::Clock times (seconds since 2001-01-01 UTC).

#include <optional>
#include <string>
#include <string_view>

namespace kit {

class HTTPDate {
 public:
  // The lenient cookie-date reading of RFC 6265 (5.1.1): finds a time, a day of month, a month
  // name and a year among the tokens in any order, so RFC 1123 ("Sun, 06 Nov 1994 08:49:37 GMT"),
  // RFC 850 ("Sunday, 06-Nov-94 08:49:37 GMT") and asctime ("Sun Nov  6 08:49:37 1994") all
  // read. Two-digit years 70-99 are 19xx, 00-69 20xx. Nullopt for a date that does not exist.
  static std::optional<double> parseCookieDate(std::string_view text);
  // "Sun, 06 Nov 1994 08:49:37 GMT".
  static std::string formatRFC1123(double time);
};

}  // namespace kit
