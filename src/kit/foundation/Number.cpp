#include "kit/foundation/Number.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

namespace kit {
namespace {

// Exact comparison of a signed integer with a double, without rounding the integer.
int cmpSignedDouble(int64_t a, double b) {
  if (std::isnan(b)) return -1;
  if (b >= 9223372036854775808.0) return -1;
  if (b < -9223372036854775808.0) return 1;
  double fl = std::floor(b);
  auto bi = static_cast<int64_t>(fl);
  if (a != bi) return a < bi ? -1 : 1;
  return fl == b ? 0 : -1;
}

int cmpUnsignedDouble(uint64_t a, double b) {
  if (std::isnan(b)) return -1;
  if (b < 0) return 1;
  if (b >= 18446744073709551616.0) return -1;
  double fl = std::floor(b);
  auto bi = static_cast<uint64_t>(fl);
  if (a != bi) return a < bi ? -1 : 1;
  return fl == b ? 0 : -1;
}

int cmpSignedUnsigned(int64_t a, uint64_t b) {
  if (a < 0) return -1;
  auto ua = static_cast<uint64_t>(a);
  return ua < b ? -1 : ua > b ? 1 : 0;
}

class SharedBool final : public Number {
 public:
  explicit SharedBool(bool v) : Number('c', Store::Signed) {
    v_.i = v ? 1 : 0;
    retain();  // never freed
  }
};

}  // namespace

Number* Number::yes() {
  static SharedBool* y = new SharedBool(true);
  return y;
}

Number* Number::no() {
  static SharedBool* n = new SharedBool(false);
  return n;
}

Ref<Number> Number::numberWithBool(bool v) { return Ref<Number>(v ? yes() : no()); }

Ref<Number> Number::make(char type, int64_t v) {
  auto* n = new Number(type, Store::Signed);
  n->v_.i = v;
  return Ref<Number>(n);
}

Ref<Number> Number::makeU(char type, uint64_t v) {
  auto* n = new Number(type, Store::Unsigned);
  n->v_.u = v;
  return Ref<Number>(n);
}

Ref<Number> Number::numberWithFloat(float v) {
  auto* n = new Number('f', Store::Double);
  n->v_.d = v;
  return Ref<Number>(n);
}

Ref<Number> Number::numberWithDouble(double v) {
  auto* n = new Number('d', Store::Double);
  n->v_.d = v;
  return Ref<Number>(n);
}

bool Number::boolValue() const noexcept {
  switch (store_) {
    case Store::Signed: return v_.i != 0;
    case Store::Unsigned: return v_.u != 0;
    case Store::Double: return v_.d != 0;
  }
  return false;
}

long long Number::longLongValue() const noexcept {
  switch (store_) {
    case Store::Signed: return v_.i;
    case Store::Unsigned: return static_cast<long long>(v_.u);
    case Store::Double:
      if (std::isnan(v_.d)) return 0;
      if (v_.d >= 9223372036854775807.0) return std::numeric_limits<long long>::max();
      if (v_.d <= -9223372036854775808.0) return std::numeric_limits<long long>::min();
      return static_cast<long long>(v_.d);
  }
  return 0;
}

unsigned long long Number::unsignedLongLongValue() const noexcept {
  switch (store_) {
    case Store::Signed: return static_cast<unsigned long long>(v_.i);
    case Store::Unsigned: return v_.u;
    case Store::Double:
      if (std::isnan(v_.d) || v_.d <= 0) return 0;
      if (v_.d >= 18446744073709551615.0) return std::numeric_limits<unsigned long long>::max();
      return static_cast<unsigned long long>(v_.d);
  }
  return 0;
}

double Number::doubleValue() const noexcept {
  switch (store_) {
    case Store::Signed: return static_cast<double>(v_.i);
    case Store::Unsigned: return static_cast<double>(v_.u);
    case Store::Double: return v_.d;
  }
  return 0;
}

std::string Number::stringValue() const {
  char buf[64];
  switch (store_) {
    case Store::Signed: return std::to_string(v_.i);
    case Store::Unsigned: return std::to_string(v_.u);
    case Store::Double: {
      if (std::isnan(v_.d)) return "nan";
      if (std::isinf(v_.d)) return v_.d > 0 ? "inf" : "-inf";
      // Shortest text that reads back to the same value.
      auto r = type_ == 'f' ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v_.d))
                            : std::to_chars(buf, buf + sizeof buf, v_.d);
      return std::string(buf, r.ptr);
    }
  }
  return "0";
}

int Number::compare(const Number& o) const noexcept {
  if (store_ == Store::Double && o.store_ == Store::Double) {
    return v_.d < o.v_.d ? -1 : v_.d > o.v_.d ? 1 : 0;
  }
  if (store_ == Store::Double) return -o.compare(*this);
  if (o.store_ == Store::Double) {
    return store_ == Store::Signed ? cmpSignedDouble(v_.i, o.v_.d) : cmpUnsignedDouble(v_.u, o.v_.d);
  }
  if (store_ == Store::Signed && o.store_ == Store::Signed)
    return v_.i < o.v_.i ? -1 : v_.i > o.v_.i ? 1 : 0;
  if (store_ == Store::Unsigned && o.store_ == Store::Unsigned)
    return v_.u < o.v_.u ? -1 : v_.u > o.v_.u ? 1 : 0;
  if (store_ == Store::Signed) return cmpSignedUnsigned(v_.i, o.v_.u);
  return -cmpSignedUnsigned(o.v_.i, v_.u);
}

size_t Number::hash() const noexcept {
  // Equal values must hash alike whatever their type: integral values hash as
  // integers, everything else by its double bits.
  switch (store_) {
    case Store::Signed: return std::hash<int64_t>()(v_.i);
    case Store::Unsigned:
      return v_.u <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                 ? std::hash<int64_t>()(static_cast<int64_t>(v_.u))
                 : std::hash<uint64_t>()(v_.u);
    case Store::Double: {
      double d = v_.d;
      if (d == std::floor(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
        return std::hash<int64_t>()(static_cast<int64_t>(d));
      if (d == std::floor(d) && d >= 0 && d < 18446744073709551616.0)
        return std::hash<uint64_t>()(static_cast<uint64_t>(d));
      return std::hash<double>()(d);
    }
  }
  return 0;
}

bool Number::isEqual(const Object* other) const noexcept {
  if (other == this) return true;
  auto* o = dynamic_cast<const Number*>(other);
  return o && compare(*o) == 0;
}

}  // namespace kit
