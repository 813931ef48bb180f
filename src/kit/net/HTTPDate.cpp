#include "kit/net/HTTPDate.h"

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <vector>

#include "kit/foundation/Clock.h"

namespace kit {

namespace {

bool isDelimiter(unsigned char c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
         (c >= 0x7B && c <= 0x7E);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Leading digits (between min and max of them) followed by nothing or a non-digit.
bool leadingNumber(std::string_view token, size_t minDigits, size_t maxDigits, int* value, size_t* used = nullptr) {
  size_t n = 0;
  while (n < token.size() && isDigit(token[n])) ++n;
  if (n < minDigits || n > maxDigits) return false;
  int v = 0;
  for (size_t i = 0; i < n; ++i) v = v * 10 + (token[i] - '0');
  *value = v;
  if (used) *used = n;
  return true;
}

bool parseTime(std::string_view token, int* h, int* m, int* s) {
  int parts[3];
  for (int i = 0; i < 3; ++i) {
    size_t used;
    if (!leadingNumber(token, 1, 2, &parts[i], &used)) return false;
    token.remove_prefix(used);
    if (i < 2) {
      if (token.empty() || token.front() != ':') return false;
      token.remove_prefix(1);
    }
  }
  *h = parts[0];
  *m = parts[1];
  *s = parts[2];
  return true;
}

int monthOf(std::string_view token) {
  static const char* const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                      "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3) return -1;
  char t[3];
  for (int i = 0; i < 3; ++i) t[i] = char(token[size_t(i)] | 0x20);
  for (int i = 0; i < 12; ++i)
    if (t[0] == names[i][0] && t[1] == names[i][1] && t[2] == names[i][2]) return i + 1;
  return -1;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

int daysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return days[month - 1];
}

}  // namespace

std::optional<double> HTTPDate::parseCookieDate(std::string_view text) {
  bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isDelimiter(static_cast<unsigned char>(text[i]))) ++i;
    size_t start = i;
    while (i < text.size() && !isDelimiter(static_cast<unsigned char>(text[i]))) ++i;
    std::string_view token = text.substr(start, i - start);
    if (token.empty()) continue;
    int v;
    if (!haveTime && parseTime(token, &hour, &minute, &second)) {
      haveTime = true;
    } else if (!haveDay && leadingNumber(token, 1, 2, &v)) {
      day = v;
      haveDay = true;
    } else if (!haveMonth && monthOf(token) > 0) {
      month = monthOf(token);
      haveMonth = true;
    } else if (!haveYear && leadingNumber(token, 2, 4, &v)) {
      year = v;
      haveYear = true;
    }
  }
  if (!haveTime || !haveDay || !haveMonth || !haveYear) return std::nullopt;
  if (year >= 70 && year <= 99) year += 1900;
  else if (year >= 0 && year <= 69) year += 2000;
  if (year < 1601 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  const int64_t days = daysFromCivil(year, unsigned(month), unsigned(day));
  const double unix = double(days) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
  return unix - Clock::kReferenceDateOffset1970;
}

std::string HTTPDate::formatRFC1123(double time) {
  static const char* const weekdays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int64_t unix = int64_t(std::floor(time + Clock::kReferenceDateOffset1970));
  int64_t days = unix >= 0 ? unix / 86400 : (unix - 86399) / 86400;
  int64_t secs = unix - days * 86400;
  // Civil date from days (inverse of daysFromCivil).
  int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = int64_t(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  const int weekday = int(((days % 7) + 7) % 7);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02u %s %04lld %02d:%02d:%02d GMT", weekdays[weekday], d, months[m - 1],
                static_cast<long long>(y), int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
  return buf;
}

}  // namespace kit
