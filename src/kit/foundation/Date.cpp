#include "kit/foundation/Date.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>

#include "kit/foundation/Clock.h"

namespace kit {

Ref<Date> Date::date() { return Ref<Date>(new Date(Clock::now())); }

Ref<Date> Date::dateWithTimeIntervalSince1970(double t) {
  return Ref<Date>(new Date(t - Clock::kReferenceDateOffset1970));
}

Ref<Date> Date::dateWithTimeIntervalSinceNow(double t) { return Ref<Date>(new Date(Clock::now() + t)); }

double Date::timeIntervalSince1970() const noexcept { return t_ + Clock::kReferenceDateOffset1970; }

double Date::timeIntervalSinceNow() const noexcept { return t_ - Clock::now(); }

std::string Date::ISO8601() const {
  double secs = std::floor(timeIntervalSince1970());
  if (!std::isfinite(secs) || std::fabs(secs) > 1e15) return "invalid";
  auto tt = static_cast<time_t>(secs);
  struct tm tm{};
  gmtime_r(&tt, &tm);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

Ref<Date> Date::dateWithISO8601(const std::string& text) {
  int y, mo, d, h, mi, s;
  char z = 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &y, &mo, &d, &h, &mi, &s, &z,
                  &consumed) != 7 ||
      z != 'Z' || static_cast<size_t>(consumed) != text.size())
    return nullptr;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || h < 0 || mi < 0 || s < 0)
    return nullptr;
  struct tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  time_t t = timegm(&tm);
  return dateWithTimeIntervalSince1970(static_cast<double>(t));
}

size_t Date::hash() const noexcept { return std::hash<double>()(t_); }

bool Date::isEqual(const Object* other) const noexcept {
  if (other == this) return true;
  auto* o = dynamic_cast<const Date*>(other);
  return o && o->t_ == t_;
}

}  // namespace kit
