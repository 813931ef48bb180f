#pragma once
// Immutable UTF-8 text with a cached hash and the platform's numeric coercions.

#include <cstdint>
#include <string>
#include <string_view>

#include "kit/foundation/Object.h"

namespace kit {

class String : public Object {
 public:
  String() = default;
  explicit String(std::string s) : s_(std::move(s)) {}
  explicit String(std::string_view s) : s_(s) {}
  explicit String(const char* s) : s_(s ? s : "") {}

  static Ref<String> string(std::string s) { return Ref<String>(new String(std::move(s))); }
  // Hash of UTF-8 bytes, equal to hash() of a String holding them.
  static size_t hashBytes(std::string_view s) noexcept;

  const std::string& str() const noexcept { return s_; }
  std::string_view view() const noexcept { return s_; }
  const char* UTF8String() const noexcept { return s_.c_str(); }
  // Length in UTF-16 code units, as text counters show it.
  size_t length() const noexcept;
  size_t byteLength() const noexcept { return s_.size(); }
  bool empty() const noexcept { return s_.empty(); }

  bool isEqualToString(std::string_view o) const noexcept { return s_ == o; }
  bool hasPrefix(std::string_view p) const noexcept { return s_.starts_with(p); }
  bool hasSuffix(std::string_view p) const noexcept { return s_.ends_with(p); }
  bool contains(std::string_view p) const noexcept { return s_.find(p) != std::string::npos; }
  // -1, 0 or 1 by bytewise comparison (code-point order for UTF-8).
  int compare(const String& o) const noexcept;
  std::string lowercaseString() const;
  std::string uppercaseString() const;

  // Coercions: leading white space skipped, then an optional sign and digits.
  // boolValue is true for a leading Y, y, T, t or non-zero digit ("YES", "1").
  bool boolValue() const noexcept;
  int intValue() const noexcept;
  long long longLongValue() const noexcept;
  double doubleValue() const noexcept;
  float floatValue() const noexcept { return static_cast<float>(doubleValue()); }

  std::string className() const override { return "String"; }
  Kind kind() const noexcept override { return Kind::String; }
  size_t hash() const noexcept override;
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override { return s_; }
  Ref<Object> copy() const override;
  Ref<Object> mutableCopy() const override;

 protected:
  // For a maker that already knows hashBytes(s).
  String(std::string_view s, size_t knownHash) : s_(s), hash_(knownHash) {}
  void invalidateHash() noexcept { hash_.store(0, std::memory_order_relaxed); }
  std::string s_;

 private:
  // The hash once computed; 0 while not (a hash that is 0 is computed each time).
  mutable std::atomic<size_t> hash_{0};
};

class MutableString : public String {
 public:
  using String::String;
  static Ref<MutableString> string(std::string s = {}) {
    return Ref<MutableString>(new MutableString(std::move(s)));
  }

  void appendString(std::string_view s) {
    s_.append(s);
    invalidateHash();
  }
  void setString(std::string_view s) {
    s_.assign(s);
    invalidateHash();
  }
  // Replaces every occurrence; returns how many were replaced.
  size_t replaceOccurrencesOfString(std::string_view target, std::string_view replacement);
  void deleteCharactersInRange(size_t byteLocation, size_t byteLength);
  void insertString(std::string_view s, size_t byteLocation);

  std::string className() const override { return "MutableString"; }
  bool isMutable() const noexcept override { return true; }
};

// Shorthand for building string objects.
inline Ref<String> str(std::string s) { return String::string(std::move(s)); }

}  // namespace kit
