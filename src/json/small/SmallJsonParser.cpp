#include "json/small/SmallJsonParser.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

#include "kit/foundation/ArenaMutableArray.h"
#include "kit/foundation/ArenaMutableDictionary.h"
#include "kit/foundation/ArenaObject.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/DecimalNumber.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/ObjectArena.h"
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

// mantissa * 10^exponent, with the sign apart.
struct Decimal {
  unsigned __int128 mantissa;
  int exponent;
  bool negative;
};

// The decimal number a JSON number text (already checked against the
// grammar) stands for. Up to 38 significant digits are kept exactly; more are
// rounded to 38, half to even. False when the value is beyond what a double
// can hold (it would become infinite) or so small that it would round to zero.
bool decimalFromText(std::string_view text, Decimal& out) {
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
  if (mantissa == 0) {
    out = {0, 0, false};
    return true;
  }
  out = {mantissa, static_cast<int>(exponent), negative};

  // Range: a double holds magnitudes from about 4.9e-324 to 1.8e308.
  int64_t order = kept + exponent;  // value < 10^order
  if (order > 400 || order < -400) return false;
  // Well inside the range: no need to read the value to find out.
  if (order <= 300 && order >= -300) return true;
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
  return r.ec == std::errc();
}

// Powers of ten a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Flags (bit 7) the bytes of w below n (n at most 128); only the lowest flag
// is sure to be right, borrows may flag bytes above it.
constexpr uint64_t anyByteBelow(uint64_t w, uint64_t n) noexcept { return (w - kOnes * n) & ~w & kHighBits; }
constexpr uint64_t anyByteIs(uint64_t w, uint64_t b) noexcept { return anyByteBelow(w ^ (kOnes * b), 1); }

}  // namespace

SmallJsonParser::~SmallJsonParser() = default;

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
  if (!keys_) {
    keys_ = std::make_unique<KeySlot[]>(kKeySlots);
    usedKeySlots_.reserve(kKeySlots);
  }
  kit::ObjectArena arena(text.size());
  arena_ = &arena;
  kit::Object* read = nullptr;
  bool ok;
  try {
    ok = scanValue(read);
  } catch (...) {
    endParse();
    throw;
  }
  endParse();
  kit::Ref<kit::Object> value(read);
  if (read) read->release();  // the reference the scanners handed over
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

void SmallJsonParser::endParse() noexcept {
  // What a failed parse had read so far.
  for (kit::Object* o : stack_)
    if (o) o->release();
  stack_.clear();
  for (size_t i : usedKeySlots_) {
    keys_[i].key->release();
    keys_[i] = KeySlot{};
  }
  usedKeySlots_.clear();
  if (scratch_.capacity() > 64 * 1024) std::string().swap(scratch_);
  arena_ = nullptr;
}

void SmallJsonParser::skipWhitespace() noexcept {
  while (c_ != end_ && isSpace(*c_)) ++c_;
}

bool SmallJsonParser::scanIsAtEnd() {
  skipWhitespace();
  return atEnd();
}

bool SmallJsonParser::scanValue(kit::Object*& value) {
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

kit::Object* retained(kit::Object* o) noexcept {
  o->retain();
  return o;
}
}  // namespace

[[gnu::noinline]] bool SmallJsonParser::scanRestOfTrue(kit::Object*& value) {
  if (!follows(c_, end_, "rue")) return fail(kErrorParse, "Expected 'true'");
  value = retained(kit::Number::yes());
  return true;
}

[[gnu::noinline]] bool SmallJsonParser::scanRestOfFalse(kit::Object*& value) {
  if (!follows(c_, end_, "alse")) return fail(kErrorParse, "Expected 'false'");
  value = retained(kit::Number::no());
  return true;
}

[[gnu::noinline]] bool SmallJsonParser::scanRestOfNull(kit::Object*& value) {
  if (!follows(c_, end_, "ull")) return fail(kErrorParse, "Expected 'null'");
  value = retained(kit::Null::null());
  return true;
}

bool SmallJsonParser::enterNesting() {
  if (++depth_ > depthLimit()) return fail(kErrorTooDeep, "Nested too deep");
  return true;
}

bool SmallJsonParser::scanRestOfArray(kit::Object*& value) {
  if (!enterNesting()) return false;
  size_t base = stack_.size();
  for (;;) {
    if (atEnd()) return fail(kErrorPrematureEnd, "End of input while parsing array");
    skipWhitespace();
    if (!atEnd() && *c_ == ']') {
      ++c_;
      --depth_;
      value = kit::ArenaMutableArray::make(*arena_, stack_.data() + base, stack_.size() - base);
      stack_.resize(base);
      return true;
    }
    // The slot first, so nothing read is left without an owner if it cannot grow.
    size_t at = stack_.size();
    stack_.push_back(nullptr);
    kit::Object* element = nullptr;
    bool ok = scanValue(element);  // may move the stack
    stack_[at] = element;
    if (!ok) return fail(kErrorParse, "Expected value while parsing array");
    skipWhitespace();
    if (!atEnd() && *c_ == ',') {
      ++c_;
      skipWhitespace();
      if (!atEnd() && *c_ == ']') return fail(kErrorTrailingComma, "Trailing comma disallowed in array");
    }
  }
}

bool SmallJsonParser::scanRestOfDictionary(kit::Object*& value) {
  if (!enterNesting()) return false;
  size_t base = stack_.size();
  for (;;) {
    if (atEnd()) return fail(kErrorPrematureEnd, "End of input while parsing object");
    skipWhitespace();
    if (!atEnd() && *c_ == '}') {
      ++c_;
      --depth_;
      value = kit::ArenaMutableDictionary::make(*arena_, stack_.data() + base, (stack_.size() - base) / 2);
      stack_.resize(base);
      return true;
    }
    if (atEnd() || *c_ != '"') return fail(kErrorParse, "Object key string expected");
    ++c_;
    std::string_view keyText;
    if (!scanString(keyText)) return fail(kErrorParse, "Object key string expected");
    // The slots first, so nothing read is left without an owner if they cannot grow.
    size_t at = stack_.size();
    stack_.push_back(nullptr);
    stack_.push_back(nullptr);
    stack_[at] = keyFor(keyText);
    skipWhitespace();
    if (atEnd() || *c_ != ':') return fail(kErrorParse, "Expected ':' separating key and value");
    ++c_;
    kit::Object* member = nullptr;
    bool ok = scanValue(member);
    stack_[at + 1] = member;
    if (!ok) {
      addMemberError(static_cast<kit::String*>(stack_[at])->str());
      return false;
    }
    skipWhitespace();
    if (!atEnd() && *c_ == ',') {
      ++c_;
      skipWhitespace();
      if (!atEnd() && *c_ == '}') return fail(kErrorTrailingComma, "Trailing comma disallowed in object");
    }
  }
}

kit::Object* SmallJsonParser::keyFor(std::string_view text) {
  size_t h = kit::String::hashBytes(text);
  size_t i = (h ^ (h >> 29)) & (kKeySlots - 1);
  KeySlot& slot = keys_[i];
  if (slot.key && slot.hash == h && slot.key->view() == text) return retained(slot.key);
  // Keys are immutable strings: the dictionary would copy a mutable one.
  auto* key = new (*arena_) kit::ArenaObject<kit::String>(text, h);  // the caller's reference
  key->retain();                                                     // the cache's
  if (slot.key)
    slot.key->release();
  else
    usedKeySlots_.push_back(i);  // never grows: reserved for every slot
  slot = KeySlot{h, key};
  return key;
}

[[gnu::noinline]] void SmallJsonParser::addMemberError(const std::string& key) {
  addErrorWithCode(kErrorParse, "Object value expected for key: " + key);
}

[[gnu::noinline]] bool SmallJsonParser::scanRestOfString(kit::Object*& value) {
  std::string_view text;
  if (!scanString(text)) return false;
  value = new (*arena_) kit::ArenaObject<kit::MutableString>(text);
  return true;
}

bool SmallJsonParser::skipPlainText() noexcept {
  auto c = reinterpret_cast<const unsigned char*>(c_);
  auto end = reinterpret_cast<const unsigned char*>(end_);
  for (;;) {
    // Mostly ASCII text: eight bytes at a time while none stops the run or
    // starts a multi-byte sequence.
    while (end - c >= 8) {
      uint64_t w;
      std::memcpy(&w, c, sizeof w);
      uint64_t flagged = (w & kHighBits) | anyByteBelow(w, 0x20) | anyByteIs(w, '"') | anyByteIs(w, '\\');
      if (!flagged) {
        c += 8;
        continue;
      }
      // The lowest flag is exact (borrows only run upwards, to later bytes
      // when the word was read little-endian): go straight to that byte.
      if constexpr (std::endian::native == std::endian::little) c += __builtin_ctzll(flagged) >> 3;
      break;
    }
    if (c == end) break;
    unsigned char b = *c;
    if (b < 0x80) {
      if (kStopSet[b]) break;
      ++c;
      continue;
    }
    // Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
    const size_t n = kit::utf8::sequenceLength(c, end);
    if (n == 0) return false;
    c += n;
  }
  c_ = reinterpret_cast<const char*>(c);
  return true;
}

bool SmallJsonParser::scanString(std::string_view& text) {
  bool copied = false;  // whether the text is in scratch_ (it has escapes)
  for (;;) {
    const char* run = c_;
    if (!skipPlainText()) return fail(kErrorParse, "Invalid UTF-8 in string");
    if (copied && c_ != run) scratch_.append(run, c_);
    if (atEnd()) break;
    char b = *c_;
    if (b == '"') {
      text = copied ? std::string_view(scratch_) : std::string_view(run, static_cast<size_t>(c_ - run));
      ++c_;
      return true;
    }
    if (b != '\\') {
      addErrorWithCode(kErrorControlCharacter,
                       "Unescaped control character '0x" + hex(static_cast<unsigned char>(b)) + "'");
      return false;
    }
    if (!copied) {
      scratch_.assign(run, c_);
      copied = true;
    }
    if (++c_ == end_) break;
    char e = *c_++;
    switch (e) {
      case '"':
      case '/':
      case '\\': scratch_.push_back(e); break;
      case 'b': scratch_.push_back('\b'); break;
      case 'f': scratch_.push_back('\f'); break;
      case 'n': scratch_.push_back('\n'); break;
      case 'r': scratch_.push_back('\r'); break;
      case 't': scratch_.push_back('\t'); break;
      case 'u': {
        char32_t cp = 0;
        if (!scanUnicodeChar(cp)) return fail(kErrorBadUnicodeEscape, "Broken unicode character");
        kit::utf8::append(scratch_, static_cast<uint32_t>(cp));
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

[[gnu::noinline]] bool SmallJsonParser::scanNumber(kit::Object*& value) {
  const char* start = c_;
  bool negative = false;
  if (!atEnd() && *c_ == '-') {
    negative = true;
    ++c_;
  }
  // The digits as one integer while they fit (up to 19 digits, leading
  // zeros of a fraction included).
  uint64_t mantissa = 0;
  int digits = 0;
  int fractionDigits = 0;
  if (!atEnd() && *c_ == '0') {
    ++c_;
    if (!atEnd() && isDigit(*c_)) return fail(kErrorBadNumber, "Leading 0 disallowed in number");
  } else if (!atEnd() && isDigit(*c_)) {
    for (; !atEnd() && isDigit(*c_); ++c_, ++digits) mantissa = mantissa * 10 + static_cast<uint64_t>(*c_ - '0');
  } else {
    return fail(kErrorBadNumber, "No digits after initial minus");
  }
  if (!atEnd() && *c_ == '.') {
    ++c_;
    if (atEnd() || !isDigit(*c_)) return fail(kErrorBadNumber, "No digits after decimal point");
    for (; !atEnd() && isDigit(*c_); ++c_, ++fractionDigits)
      mantissa = mantissa * 10 + static_cast<uint64_t>(*c_ - '0');
    digits += fractionDigits;
  }
  int64_t exponent = 0;
  if (!atEnd() && (*c_ == 'e' || *c_ == 'E')) {
    ++c_;
    bool expNegative = false;
    if (!atEnd() && (*c_ == '-' || *c_ == '+')) expNegative = *c_++ == '-';
    if (atEnd() || !isDigit(*c_)) return fail(kErrorBadNumber, "No digits after exponent");
    for (; !atEnd() && isDigit(*c_); ++c_)
      if (exponent < 1000000) exponent = exponent * 10 + (*c_ - '0');
    if (expNegative) exponent = -exponent;
  }
  std::string_view text(start, static_cast<size_t>(c_ - start));
  if (digits <= 19 && exponent <= 280 && exponent >= -280) {
    // Common numbers: exact in 64 bits and far inside a double's range.
    int e = static_cast<int>(exponent) - fractionDigits;
    if (mantissa == 0) {
      value = new (*arena_) kit::ArenaObject<kit::DecimalNumber>(uint64_t{0}, 0, false, 0.0);
      return true;
    }
    while (mantissa % 10 == 0) {
      mantissa /= 10;
      ++e;
    }
    double v;
    if (mantissa <= (uint64_t{1} << 53) && e >= -22 && e <= 22) {
      // Both exact doubles: one operation rounds correctly, as reading the text would.
      double m = static_cast<double>(mantissa);
      v = e >= 0 ? m * kExactPowers[e] : m / kExactPowers[-e];
      if (negative) v = -v;
    } else if (std::from_chars(text.data(), text.data() + text.size(), v).ec != std::errc()) {
      return fail(kErrorBadNumber, "Failed creating decimal instance");
    }
    value = new (*arena_) kit::ArenaObject<kit::DecimalNumber>(mantissa, e, negative, v);
    return true;
  }
  Decimal d;
  if (!decimalFromText(text, d)) return fail(kErrorBadNumber, "Failed creating decimal instance");
  value = new (*arena_) kit::ArenaObject<kit::DecimalNumber>(d.mantissa, d.exponent, d.negative);
  return true;
}

}  // namespace tolva
