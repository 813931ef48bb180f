#include "json/small/SmallJsonParser.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

#include "kit/foundation/Array.h"
#include "kit/foundation/DecimalNumber.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/UTF8.h"

namespace tolva {
namespace {

// Bytes that end a run of plain string text: the quote, the backslash and the
// control bytes (the NUL included: it is not allowed raw in a string either).
constexpr std::array<bool, 256> kStopSet = [] {
  std::array<bool, 256> set{};
  for (int b = 0; b < 0x20; ++b) set[static_cast<size_t>(b)] = true;
  set['"'] = true;
  set['\\'] = true;
  return set;
}();

// The C library's white space, without its locale.
constexpr bool isSpace(char b) noexcept {
  return b == ' ' || b == '\t' || b == '\n' || b == '\v' || b == '\f' || b == '\r';
}

constexpr bool isDigit(char b) noexcept { return b >= '0' && b <= '9'; }

int hexValue(char b) noexcept {
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  return -1;
}

std::string hex(unsigned char b) {
  char buf[4];
  auto r = std::to_chars(buf, buf + sizeof buf, static_cast<unsigned>(b), 16);
  return std::string(buf, r.ptr);
}


// The decimal number a JSON number text (already checked against the
// grammar) stands for. Up to 38 significant digits are kept exactly; more are
// rounded to 38, half to even. Null when the value is beyond what a double
// can hold (it would become infinite) or so small that it would round to zero.
kit::Ref<kit::DecimalNumber> decimalFromText(std::string_view text) {
  constexpr int kDigits = kit::DecimalNumber::kMaxDigits;
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  unsigned __int128 mantissa = 0;
  int kept = 0;           // significant digits in the mantissa
  int64_t exponent = 0;   // of the last kept digit
  int roundDigit = -1;    // the first digit dropped, if any
  bool sticky = false;    // any non-zero digit after it
  bool fraction = false;
  for (; i < text.size(); ++i) {
    char b = text[i];
    if (b == '.') {
      fraction = true;
      continue;
    }
    if (!isDigit(b)) break;
    int d = b - '0';
    if (kept == 0 && d == 0) {
      if (fraction) --exponent;
      continue;
    }
    if (kept < kDigits) {
      mantissa = mantissa * 10 + static_cast<unsigned>(d);
      ++kept;
      if (fraction) --exponent;
    } else {
      if (roundDigit < 0) roundDigit = d;
      else if (d != 0) sticky = true;
      if (!fraction) ++exponent;
    }
  }
  if (i < text.size()) {  // the exponent part
    ++i;
    bool expNegative = false;
    if (text[i] == '-' || text[i] == '+') expNegative = text[i++] == '-';
    int64_t e = 0;
    for (; i < text.size(); ++i) {
      // Far beyond any representable value; stop before overflowing.
      if (e < 1000000000) e = e * 10 + (text[i] - '0');
    }
    exponent += expNegative ? -e : e;
  }
  if (roundDigit > 5 || (roundDigit == 5 && (sticky || (mantissa & 1) != 0))) {
    ++mantissa;
    unsigned __int128 limit = 1;
    for (int k = 0; k < kDigits; ++k) limit *= 10;
    if (mantissa == limit) {
      mantissa /= 10;
      ++exponent;
    }
  }
  if (mantissa == 0) return kit::DecimalNumber::decimalNumberWithMantissa(0, 0, false);

  // Range: a double holds magnitudes from about 4.9e-324 to 1.8e308.
  int64_t order = kept + exponent;  // value < 10^order
  if (order > 400 || order < -400) return nullptr;
  // Well inside the range: no need to read the value to find out.
  if (order <= 300 && order >= -300)
    return kit::DecimalNumber::decimalNumberWithMantissa(mantissa, static_cast<int>(exponent), negative);
  char buf[64];
  char* end = buf;
  {
    char digits[40];
    char* p = digits + sizeof digits;
    for (unsigned __int128 m = mantissa; m != 0; m /= 10) *--p = static_cast<char>('0' + static_cast<int>(m % 10));
    size_t n = static_cast<size_t>(digits + sizeof digits - p);
    std::memcpy(end, p, n);
    end += n;
    *end++ = 'e';
    end = std::to_chars(end, buf + sizeof buf, exponent).ptr;
  }
  double value = 0;
  auto r = std::from_chars(buf, end, value);
  if (r.ec != std::errc()) return nullptr;
  return kit::DecimalNumber::decimalNumberWithMantissa(mantissa, static_cast<int>(exponent), negative);
}

}  // namespace

kit::Ref<kit::Object> SmallJsonParser::objectWithString(const kit::String* string) {
  if (!string) return fragmentWithString(string);
  return parse(string->view(), true);
}

kit::Ref<kit::Object> SmallJsonParser::objectWithString(std::string_view text) { return parse(text, true); }

kit::Ref<kit::Object> SmallJsonParser::fragmentWithString(const kit::String* string) {
  if (!string) {
    clearErrorTrace();
    addErrorWithCode(kErrorNoInput, "Input was 'nil'");
    return nullptr;
  }
  return parse(string->view(), false);
}

kit::Ref<kit::Object> SmallJsonParser::fragmentWithString(std::string_view text) { return parse(text, false); }

kit::Ref<kit::Object> SmallJsonParser::parse(std::string_view text, bool objectOnly) {
  clearErrorTrace();
  depth_ = 0;
  c_ = text.data();
  end_ = c_ + text.size();
  kit::Ref<kit::Object> value;
  bool ok = scanValue(value);
  if (ok && !scanIsAtEnd()) {
    addErrorWithCode(kErrorGarbage, "Garbage after JSON");
    ok = false;
  }
  c_ = end_ = nullptr;
  if (!ok) return nullptr;
  if (objectOnly && value->kind() != kit::Kind::Array && value->kind() != kit::Kind::Dictionary) {
    addErrorWithCode(kErrorNotContainer, "Valid fragment, but not JSON");
    return nullptr;
  }
  return value;
}

void SmallJsonParser::skipWhitespace() noexcept {
  while (c_ != end_ && isSpace(*c_)) ++c_;
}

bool SmallJsonParser::scanIsAtEnd() {
  skipWhitespace();
  return atEnd();
}

bool SmallJsonParser::scanValue(kit::Ref<kit::Object>& value) {
  skipWhitespace();
  if (atEnd()) return fail(kErrorPrematureEnd, "Unexpected end of string");
  char b = *c_++;
  switch (b) {
    case '"': return scanRestOfString(value);
    case '{': return scanRestOfDictionary(value);
    case '[': return scanRestOfArray(value);
    case 't': return scanRestOfTrue(value);
    case 'f': return scanRestOfFalse(value);
    case 'n': return scanRestOfNull(value);
    case '+':
      return fail(kErrorBadNumber, "Leading + disallowed in number");
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      --c_;
      return scanNumber(value);
    default:
      return fail(kErrorParse, "Unrecognised leading character");
  }
}

namespace {
bool follows(const char*& c, const char* end, std::string_view rest) {
  if (static_cast<size_t>(end - c) < rest.size() || std::memcmp(c, rest.data(), rest.size()) != 0)
    return false;
  c += rest.size();
  return true;
}
}  // namespace

[[gnu::noinline]] bool SmallJsonParser::scanRestOfTrue(kit::Ref<kit::Object>& value) {
  if (!follows(c_, end_, "rue")) return fail(kErrorParse, "Expected 'true'");
  value = kit::Number::yes();
  return true;
}

[[gnu::noinline]] bool SmallJsonParser::scanRestOfFalse(kit::Ref<kit::Object>& value) {
  if (!follows(c_, end_, "alse")) return fail(kErrorParse, "Expected 'false'");
  value = kit::Number::no();
  return true;
}

[[gnu::noinline]] bool SmallJsonParser::scanRestOfNull(kit::Ref<kit::Object>& value) {
  if (!follows(c_, end_, "ull")) return fail(kErrorParse, "Expected 'null'");
  value = kit::Null::null();
  return true;
}

bool SmallJsonParser::enterNesting() {
  if (++depth_ > depthLimit()) return fail(kErrorTooDeep, "Nested too deep");
  return true;
}

bool SmallJsonParser::scanRestOfArray(kit::Ref<kit::Object>& value) {
  if (!enterNesting()) return false;
  auto array = kit::MutableArray::array();
  for (;;) {
    if (atEnd()) return fail(kErrorPrematureEnd, "End of input while parsing array");
    skipWhitespace();
    if (!atEnd() && *c_ == ']') {
      ++c_;
      --depth_;
      value = std::move(array);
      return true;
    }
    kit::Ref<kit::Object> element;
    if (!scanValue(element)) return fail(kErrorParse, "Expected value while parsing array");
    array->addObject(std::move(element));
    skipWhitespace();
    if (!atEnd() && *c_ == ',') {
      ++c_;
      skipWhitespace();
      if (!atEnd() && *c_ == ']') return fail(kErrorTrailingComma, "Trailing comma disallowed in array");
    }
  }
}

bool SmallJsonParser::scanRestOfDictionary(kit::Ref<kit::Object>& value) {
  if (!enterNesting()) return false;
  auto dictionary = kit::MutableDictionary::dictionary();
  std::string key;
  for (;;) {
    if (atEnd()) return fail(kErrorPrematureEnd, "End of input while parsing object");
    skipWhitespace();
    if (!atEnd() && *c_ == '}') {
      ++c_;
      --depth_;
      value = std::move(dictionary);
      return true;
    }
    key.clear();
    if (atEnd() || *c_ != '"') return fail(kErrorParse, "Object key string expected");
    ++c_;
    if (!scanString(key)) return fail(kErrorParse, "Object key string expected");
    skipWhitespace();
    if (atEnd() || *c_ != ':') return fail(kErrorParse, "Expected ':' separating key and value");
    ++c_;
    kit::Ref<kit::Object> member;
    if (!scanValue(member)) {
      addMemberError(key);
      return false;
    }
    // Keys are immutable strings: the dictionary would copy a mutable one.
    kit::Ref<kit::Object> keyObject = kit::String::string(key);
    dictionary->setObject(std::move(member), std::move(keyObject));
    skipWhitespace();
    if (!atEnd() && *c_ == ',') {
      ++c_;
      skipWhitespace();
      if (!atEnd() && *c_ == '}') return fail(kErrorTrailingComma, "Trailing comma disallowed in object");
    }
  }
}

[[gnu::noinline]] void SmallJsonParser::addMemberError(const std::string& key) {
  addErrorWithCode(kErrorParse, "Object value expected for key: " + key);
}

[[gnu::noinline]] bool SmallJsonParser::scanRestOfString(kit::Ref<kit::Object>& value) {
  std::string text;
  if (!scanString(text)) return false;
  value = kit::MutableString::string(std::move(text));
  return true;
}

[[gnu::noinline]] bool SmallJsonParser::scanString(std::string& text) {
  for (;;) {
    const char* run = c_;
    while (c_ != end_ && !kStopSet[static_cast<unsigned char>(*c_)]) ++c_;
    if (c_ != run) {
      // Stop bytes are ASCII, which never occurs inside a multi-byte
      // sequence, so each run can be checked on its own.
      if (!isValidUTF8(std::string_view(run, static_cast<size_t>(c_ - run)))) {
        return fail(kErrorParse, "Invalid UTF-8 in string");
      }
      text.append(run, c_);
    }
    if (atEnd()) break;
    char b = *c_;
    if (b == '"') {
      ++c_;
      return true;
    }
    if (b != '\\') {
      addErrorWithCode(kErrorControlCharacter,
                       "Unescaped control character '0x" + hex(static_cast<unsigned char>(b)) + "'");
      return false;
    }
    if (++c_ == end_) break;
    char e = *c_++;
    switch (e) {
      case '"':
      case '/':
      case '\\': text.push_back(e); break;
      case 'b': text.push_back('\b'); break;
      case 'f': text.push_back('\f'); break;
      case 'n': text.push_back('\n'); break;
      case 'r': text.push_back('\r'); break;
      case 't': text.push_back('\t'); break;
      case 'u': {
        char32_t cp = 0;
        if (!scanUnicodeChar(cp)) return fail(kErrorBadUnicodeEscape, "Broken unicode character");
        kit::utf8::append(text, static_cast<uint32_t>(cp));
        break;
      }
      default:
        addErrorWithCode(kErrorBadEscape,
                         "Illegal escape sequence '0x" + hex(static_cast<unsigned char>(e)) + "'");
        return false;
    }
  }
  return fail(kErrorPrematureEnd, "Unexpected EOF while parsing string");
}

bool SmallJsonParser::scanHexQuad(uint16_t& unit) {
  unsigned v = 0;
  for (int k = 0; k < 4; ++k) {
    int h = atEnd() ? -1 : hexValue(*c_);
    if (h < 0) return fail(kErrorBadUnicodeEscape, "Missing hex digit in quad");
    v = v * 16 + static_cast<unsigned>(h);
    ++c_;
  }
  unit = static_cast<uint16_t>(v);
  return true;
}

bool SmallJsonParser::scanUnicodeChar(char32_t& codePoint) {
  uint16_t high = 0;
  if (!scanHexQuad(high)) return fail(kErrorBadUnicodeEscape, "Missing hex quad");
  if (high < 0xD800 || high > 0xDFFF) {
    codePoint = high;
    return true;
  }
  if (high >= 0xDC00) return fail(kErrorBadUnicodeEscape, "Invalid high character in surrogate pair");
  if (end_ - c_ < 2 || c_[0] != '\\' || c_[1] != 'u') {
    return fail(kErrorBadUnicodeEscape, "Missing low character in surrogate pair");
  }
  c_ += 2;
  uint16_t low = 0;
  if (!scanHexQuad(low)) return fail(kErrorBadUnicodeEscape, "Missing hex quad");
  if (low < 0xDC00 || low > 0xDFFF) return fail(kErrorBadUnicodeEscape, "Invalid low surrogate char");
  codePoint = 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
  return true;
}

[[gnu::noinline]] bool SmallJsonParser::scanNumber(kit::Ref<kit::Object>& value) {
  const char* start = c_;
  if (!atEnd() && *c_ == '-') ++c_;
  if (!atEnd() && *c_ == '0') {
    ++c_;
    if (!atEnd() && isDigit(*c_)) return fail(kErrorBadNumber, "Leading 0 disallowed in number");
  } else if (!atEnd() && isDigit(*c_)) {
    while (!atEnd() && isDigit(*c_)) ++c_;
  } else {
    return fail(kErrorBadNumber, "No digits after initial minus");
  }
  if (!atEnd() && *c_ == '.') {
    ++c_;
    if (atEnd() || !isDigit(*c_)) return fail(kErrorBadNumber, "No digits after decimal point");
    while (!atEnd() && isDigit(*c_)) ++c_;
  }
  if (!atEnd() && (*c_ == 'e' || *c_ == 'E')) {
    ++c_;
    if (!atEnd() && (*c_ == '-' || *c_ == '+')) ++c_;
    if (atEnd() || !isDigit(*c_)) return fail(kErrorBadNumber, "No digits after exponent");
    while (!atEnd() && isDigit(*c_)) ++c_;
  }
  auto number = decimalFromText(std::string_view(start, static_cast<size_t>(c_ - start)));
  if (!number) return fail(kErrorBadNumber, "Failed creating decimal instance");
  value = std::move(number);
  return true;
}

}  // namespace tolva
