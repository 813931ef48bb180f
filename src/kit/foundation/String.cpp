#include "kit/foundation/String.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "kit/foundation/Exception.h"

namespace kit {
namespace {

size_t skipSpace(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' ||
                          s[i] == '\f' || s[i] == '\v'))
    ++i;
  return i;
}

// Saturating integer parse of [sign]digits after white space; 0 when none.
long long parseInteger(std::string_view s) {
  size_t i = skipSpace(s);
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  unsigned long long v = 0;
  bool overflow = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    unsigned d = static_cast<unsigned>(s[i] - '0');
    if (v > (ULLONG_MAX - d) / 10) {
      overflow = true;
      break;
    }
    v = v * 10 + d;
  }
  if (neg) {
    if (overflow || v > static_cast<unsigned long long>(LLONG_MAX) + 1) return LLONG_MIN;
    return v == static_cast<unsigned long long>(LLONG_MAX) + 1 ? LLONG_MIN
                                                                : -static_cast<long long>(v);
  }
  if (overflow || v > static_cast<unsigned long long>(LLONG_MAX)) return LLONG_MAX;
  return static_cast<long long>(v);
}

}  // namespace

size_t String::hashBytes(std::string_view s) noexcept {
  // FNV-1a: stable across runs, which keeps orderings reproducible.
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return static_cast<size_t>(h);
}

size_t String::length() const noexcept {
  size_t n = 0;
  for (size_t i = 0; i < s_.size();) {
    unsigned char c = static_cast<unsigned char>(s_[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    n += len == 4 ? 2 : 1;  // characters beyond the BMP take a surrogate pair
    i += len;
  }
  return n;
}

int String::compare(const String& o) const noexcept {
  int c = s_.compare(o.s_);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::string String::lowercaseString() const {
  std::string r = s_;
  std::transform(r.begin(), r.end(), r.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return r;
}

std::string String::uppercaseString() const {
  std::string r = s_;
  std::transform(r.begin(), r.end(), r.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return r;
}

bool String::boolValue() const noexcept {
  std::string_view s = s_;
  size_t i = skipSpace(s);
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  while (i < s.size() && s[i] == '0') ++i;
  if (i >= s.size()) return false;
  char c = s[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

int String::intValue() const noexcept {
  long long v = parseInteger(s_);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

long long String::longLongValue() const noexcept { return parseInteger(s_); }

double String::doubleValue() const noexcept {
  std::string_view s = s_;
  size_t i = skipSpace(s);
  if (i < s.size() && s[i] == '+') ++i;
  double v = 0;
  auto [ptr, ec] = std::from_chars(s.data() + i, s.data() + s.size(), v);
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves v alone on range errors; answer like strtod does.
    std::string tmp(s.substr(i));
    return std::strtod(tmp.c_str(), nullptr);
  }
  (void)ptr;
  return ec == std::errc() ? v : 0.0;
}

size_t String::hash() const noexcept {
  if (size_t h = hash_.load(std::memory_order_relaxed)) return h;
  size_t h = hashBytes(s_);
  hash_.store(h, std::memory_order_relaxed);
  return h;
}

bool String::isEqual(const Object* other) const noexcept {
  if (other == this) return true;
  auto* o = dynamic_cast<const String*>(other);
  return o && o->s_ == s_;
}

Ref<Object> String::copy() const {
  if (!isMutable()) return Object::copy();
  return Ref<Object>(new String(s_));
}

Ref<Object> String::mutableCopy() const { return Ref<Object>(new MutableString(s_)); }

size_t MutableString::replaceOccurrencesOfString(std::string_view target,
                                                 std::string_view replacement) {
  if (target.empty()) return 0;
  size_t count = 0;
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = s_.find(target, pos)) != std::string::npos; pos = hit + target.size()) {
    out.append(s_, pos, hit - pos);
    out.append(replacement);
    ++count;
  }
  if (count) {
    out.append(s_, pos, std::string::npos);
    s_.swap(out);
    invalidateHash();
  }
  return count;
}

void MutableString::deleteCharactersInRange(size_t byteLocation, size_t byteLength) {
  if (byteLocation > s_.size() || byteLength > s_.size() - byteLocation)
    throw RangeException("deleteCharactersInRange: range beyond the end");
  s_.erase(byteLocation, byteLength);
  invalidateHash();
}

void MutableString::insertString(std::string_view s, size_t byteLocation) {
  if (byteLocation > s_.size()) throw RangeException("insertString: index beyond the end");
  s_.insert(byteLocation, s);
  invalidateHash();
}

}  // namespace kit
