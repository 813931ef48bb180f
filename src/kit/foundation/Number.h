#pragma once
// A boxed scalar that remembers the C type it was made from (its type letter:
// c C s S i I l L q Q f d). Booleans are two shared instances, so writers can
// tell true/false from a one-byte char by identity. Numbers compare by value
// across types: true == 1 == 1.0.

#include <cstdint>
#include <string>

#include "kit/foundation/Object.h"

namespace kit {

class Number : public Object {
 public:
  static Ref<Number> numberWithBool(bool v);
  static Ref<Number> numberWithChar(signed char v) { return make('c', static_cast<int64_t>(v)); }
  static Ref<Number> numberWithUnsignedChar(unsigned char v) { return makeU('C', v); }
  static Ref<Number> numberWithShort(short v) { return make('s', v); }
  static Ref<Number> numberWithUnsignedShort(unsigned short v) { return makeU('S', v); }
  static Ref<Number> numberWithInt(int v) { return make('i', v); }
  static Ref<Number> numberWithUnsignedInt(unsigned v) { return makeU('I', v); }
  static Ref<Number> numberWithLong(long v) { return make('l', v); }
  static Ref<Number> numberWithUnsignedLong(unsigned long v) { return makeU('L', v); }
  static Ref<Number> numberWithInteger(long v) { return make('q', v); }
  static Ref<Number> numberWithLongLong(long long v) { return make('q', v); }
  static Ref<Number> numberWithUnsignedLongLong(unsigned long long v) { return makeU('Q', v); }
  static Ref<Number> numberWithFloat(float v);
  static Ref<Number> numberWithDouble(double v);

  static Number* yes();
  static Number* no();

  // The type letter of the C type the number was made from ('c' for booleans).
  char typeLetter() const noexcept { return type_; }
  // True only for the two shared boolean instances.
  bool isBool() const noexcept { return this == yes() || this == no(); }
  bool isFloatingPoint() const noexcept { return type_ == 'f' || type_ == 'd'; }
  bool isUnsigned() const noexcept {
    return type_ == 'C' || type_ == 'S' || type_ == 'I' || type_ == 'L' || type_ == 'Q';
  }

  bool boolValue() const noexcept;
  int intValue() const noexcept { return static_cast<int>(longLongValue()); }
  long integerValue() const noexcept { return static_cast<long>(longLongValue()); }
  virtual long long longLongValue() const noexcept;
  virtual unsigned long long unsignedLongLongValue() const noexcept;
  virtual double doubleValue() const noexcept;
  float floatValue() const noexcept { return static_cast<float>(doubleValue()); }
  virtual std::string stringValue() const;
  // -1, 0 or 1 by numeric value.
  virtual int compare(const Number& other) const noexcept;

  std::string className() const override { return "Number"; }
  Kind kind() const noexcept override { return Kind::Number; }
  size_t hash() const noexcept override;
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override { return stringValue(); }

 protected:
  enum class Store : uint8_t { Signed, Unsigned, Double };
  Number(char type, Store store) : type_(type), store_(store) {}
  char type_;
  Store store_;
  union {
    int64_t i;
    uint64_t u;
    double d;
  } v_{};

 private:
  static Ref<Number> make(char type, int64_t v);
  static Ref<Number> makeU(char type, uint64_t v);
};

// Shorthands.
inline Ref<Number> num(int v) { return Number::numberWithInt(v); }
inline Ref<Number> num(long long v) { return Number::numberWithLongLong(v); }
inline Ref<Number> num(double v) { return Number::numberWithDouble(v); }
inline Ref<Number> boolean(bool v) { return Number::numberWithBool(v); }

}  // namespace kit
