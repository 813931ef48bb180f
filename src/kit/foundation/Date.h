#pragma once
// An instant, as seconds since 2001-01-01 00:00:00 UTC.

#include <string>

#include "kit/foundation/Object.h"

namespace kit {

class Date : public Object {
 public:
  explicit Date(double sinceReferenceDate) : t_(sinceReferenceDate) {}

  // Now, by kit's clock (virtual in tests).
  static Ref<Date> date();
  static Ref<Date> dateWithTimeIntervalSinceReferenceDate(double t) { return Ref<Date>(new Date(t)); }
  static Ref<Date> dateWithTimeIntervalSince1970(double t);
  static Ref<Date> dateWithTimeIntervalSinceNow(double t);
  // ISO 8601 in UTC ("2026-12-09T04:26:00Z"); null when malformed.
  static Ref<Date> dateWithISO8601(const std::string& text);

  double timeIntervalSinceReferenceDate() const noexcept { return t_; }
  double timeIntervalSince1970() const noexcept;
  double timeIntervalSinceNow() const noexcept;
  double timeIntervalSinceDate(const Date& d) const noexcept { return t_ - d.t_; }
  // ISO 8601 in UTC, whole seconds.
  std::string ISO8601() const;

  std::string className() const override { return "Date"; }
  Kind kind() const noexcept override { return Kind::Date; }
  size_t hash() const noexcept override;
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override { return ISO8601(); }

 private:
  double t_;
};

}  // namespace kit
