#include "json/fast/FJParseState.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kit/foundation/ObjectArena.h"
#include "json/fast/FJArray.h"
#include "json/fast/FJDictionary.h"
#include "json/fast/FJManagedBuffer.h"
#include "json/fast/FJObjectStack.h"
#include "json/fast/FJUnicode.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

// Forced inlining buys speed once optimised; unoptimised (the sanitizer
// builds) it only piles the inlined scanners' locals into the collection
// bodies, one frame per nesting level, until the deepest nesting allowed no
// longer fits the stack.
#ifdef __OPTIMIZE__
#define FJ_HOT_INLINE [[gnu::always_inline]] inline
#else
#define FJ_HOT_INLINE inline
#endif

namespace tolva {
namespace {

using uchar = unsigned char;

// Bytes a string can take as they are on the fast path.
struct PlainTable {
  bool plain[256];
  constexpr PlainTable() : plain() {
    for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
  }
};
constexpr PlainTable kPlain;

// The scanners below load eight input bytes into one word and take the
// first byte as its lowest.
static_assert(std::endian::native == std::endian::little, "the word-at-a-time scanners need a little-endian machine");

inline bool isDigit(uchar c) { return c >= '0' && c <= '9'; }

// The widest run of string bytes the scanners test at once, and how many of
// those at s (which has that many readable bytes) are plain: not below 0x20,
// from 0x80, a quote or a backslash.
#if defined(__SSE2__)
constexpr int kScanWidth = 16;
inline int plainPrefix(const uchar* s) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  // Signed compare: catches control characters and every byte from 0x80 alike.
  __m128i special = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)),
                                 _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                              _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
  unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
  return mask ? __builtin_ctz(mask) : 16;
}
#else
// How many of eight bytes (the first in the lowest) are plain ASCII string
// text before the first that is not: below 0x20, from 0x80, a quote or a
// backslash. (The tests may flag bytes after the first such byte too, never
// one before it.)
inline int plainBytes(uint64_t v) {
  constexpr uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
  auto hasZero = [](uint64_t x) { return (x - ones) & ~x & highs; };
  uint64_t control = (v - 0x2020202020202020ULL) & ~v & highs;
  uint64_t special = (v & highs) | control | hasZero(v ^ (ones * '"')) | hasZero(v ^ (ones * '\\'));
  return special ? __builtin_ctzll(special) / 8 : 8;
}

constexpr int kScanWidth = 8;
inline int plainPrefix(const uchar* s) {
  uint64_t v;
  std::memcpy(&v, s, 8);
  return plainBytes(v);
}
#endif

// The cache hash folded over the first n (0..kScanWidth) bytes at s, which
// has kScanWidth readable bytes, without a branch on n.
inline uint32_t hashPrefix(uint32_t h, const uchar* s, int n) noexcept {
  static_assert(kScanWidth == 8 || kScanWidth == 16);
  uint64_t v;
  std::memcpy(&v, s, 8);
  int first = n < 8 ? n : 8;
  h = FJTokenCache::hashBytes(h, v, first);
  if constexpr (kScanWidth == 16) {
    std::memcpy(&v, s + 8, 8);
    h = FJTokenCache::hashBytes(h, v, n - first);
  }
  return h;
}

// UTF-8 lead bytes: the length of the sequence (0: not a lead byte), the
// range its second byte must lie in (lo .. lo + span), and a mask over its
// third and fourth bytes, which must be 0x80..0xBF.
struct LeadTable {
  uint8_t length[256];
  uint8_t lo[256];
  uint8_t span[256];
  uint32_t mask[256];
  constexpr LeadTable() : length(), lo(), span(), mask() {
    for (int c = 0; c < 256; ++c) {
      int n = 0, l = 0x80, hi = 0xBF;
      if (c >= 0xC2 && c <= 0xDF) n = 2;
      else if (c == 0xE0) n = 3, l = 0xA0;
      else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) n = 3;
      else if (c == 0xED) n = 3, hi = 0x9F;
      else if (c == 0xF0) n = 4, l = 0x90;
      else if (c >= 0xF1 && c <= 0xF3) n = 4;
      else if (c == 0xF4) n = 4, hi = 0x8F;
      length[c] = static_cast<uint8_t>(n);
      lo[c] = static_cast<uint8_t>(l);
      span[c] = static_cast<uint8_t>(hi - l);
      mask[c] = n == 4 ? 0xC0C00000u : n == 3 ? 0x00C00000u : 0;
    }
  }
};
constexpr LeadTable kLead;

// The length (2..4) of the well-formed UTF-8 sequence at s, which has four
// readable bytes, or 0 when it is not one (FJUnicode::sequenceLength tells
// why). One branch for the caller instead of one per length and byte.
inline int wellFormedLength(const uchar* s) noexcept {
  uint32_t w;
  std::memcpy(&w, s, 4);
  uchar c = s[0];
  uint32_t mask = kLead.mask[c];
  bool ok = (static_cast<uint8_t>(static_cast<uint8_t>(w >> 8) - kLead.lo[c]) <= kLead.span[c]) &
            ((w & mask) == (mask & 0x80808080u)) & (kLead.length[c] != 0);
  return ok ? kLead.length[c] : 0;
}

// The hash folded over a UTF-8 sequence of n bytes (1..4) at p, in one step
// where eight bytes can be read.
[[gnu::always_inline]] inline uint32_t hashSequence(uint32_t h, const uchar* p, int n, const uchar* end) noexcept {
  if (end - p >= 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return FJTokenCache::hashBytes(h, v, n);
  }
  for (int i = 0; i < n; ++i) h = FJTokenCache::hashStep(h, p[i]);
  return h;
}

inline bool isValueToken(FJTokenType t) {
  return t == FJTokenTypeNumber || t == FJTokenTypeString || t == FJTokenTypeObjectBegin ||
         t == FJTokenTypeArrayBegin || t == FJTokenTypeTrue || t == FJTokenTypeFalse || t == FJTokenTypeNull;
}

int hexValue(uchar c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isIllegalCodePoint(uint32_t cp) {
  return cp == 0 || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
}

// The byte a one-letter escape stands for (0: none, as for 'u').
struct EscapeTable {
  uchar value[256];
  constexpr EscapeTable() : value() {
    const char letters[] = "\"\\/bfnrt";
    const uchar bytes[] = {'"', '\\', '/', 8, 12, 10, 13, 9};
    for (size_t i = 0; i < sizeof bytes; ++i) value[static_cast<uchar>(letters[i])] = bytes[i];
  }
};
constexpr EscapeTable kEscapes;

struct HexTable {
  uint8_t value[256];
  constexpr HexTable() : value() {
    for (int c = 0; c < 256; ++c) value[c] = 0xFF;
    for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<uint8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) value[c] = static_cast<uint8_t>(c - 'A' + 10);
  }
};
constexpr HexTable kHex;

// The value of the four hex digits at p, or UINT32_MAX when one is not a hex digit.
inline uint32_t hexQuad(const uchar* p) noexcept {
  uint32_t a = kHex.value[p[0]], b = kHex.value[p[1]], c = kHex.value[p[2]], d = kHex.value[p[3]];
  if ((a | b | c | d) & 0xF0) return UINT32_MAX;
  return (a << 12) | (b << 8) | (c << 4) | d;
}

// A code point (1 .. U+10FFFF) as UTF-8 in a word, the first byte lowest; k is set to its length.
inline uint32_t utf8Word(uint32_t cp, int& k) noexcept {
  if (cp < 0x80) {
    k = 1;
    return cp;
  }
  if (cp < 0x800) {
    k = 2;
    return (0xC0 | (cp >> 6)) | ((0x80 | (cp & 0x3F)) << 8);
  }
  if (cp < 0x10000) {
    k = 3;
    return (0xE0 | (cp >> 12)) | ((0x80 | ((cp >> 6) & 0x3F)) << 8) | ((0x80 | (cp & 0x3F)) << 16);
  }
  k = 4;
  return (0xF0 | (cp >> 18)) | ((0x80 | ((cp >> 12) & 0x3F)) << 8) | ((0x80 | ((cp >> 6) & 0x3F)) << 16) |
         ((0x80 | (cp & 0x3F)) << 24);
}

// Text of a token for a message, cut short when very long.
std::string clip(const uchar* p, size_t n) {
  constexpr size_t kMax = 128;
  if (n <= kMax) return std::string(reinterpret_cast<const char*>(p), n);
  return std::string(reinterpret_cast<const char*>(p), kMax) + "...";
}

// A byte for a message: itself when printable ASCII, else its hex value.
std::string showByte(uchar c) {
  if (c >= 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
  static const char* digits = "0123456789abcdef";
  return std::string("\\x") + digits[c >> 4] + digits[c & 15];
}

// Whether the decimal number in [p, end) is at least 1 in magnitude, for
// telling an overflow from an underflow when the conversion is out of range.
bool magnitudeAtLeastOne(const uchar* p, const uchar* end) {
  if (p < end && *p == '-') ++p;
  long long intDigits = 0;  // digits before the point, from the first non-zero one
  long long leadingZeros = 0;  // zeros after the point before the first non-zero digit
  bool seenNonZero = false;
  while (p < end && isDigit(*p)) {
    if (*p != '0') seenNonZero = true;
    if (seenNonZero) ++intDigits;
    ++p;
  }
  if (p < end && *p == '.') {
    ++p;
    while (p < end && isDigit(*p)) {
      if (!seenNonZero) {
        if (*p != '0')
          seenNonZero = true;
        else
          ++leadingZeros;
      }
      ++p;
    }
  }
  long long exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool neg = false;
    if (p < end && (*p == '+' || *p == '-')) neg = *p++ == '-';
    while (p < end && isDigit(*p)) {
      if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
      ++p;
    }
    if (neg) exponent = -exponent;
  }
  // The value is d.ddd × 10^k with k = intDigits - 1 + exponent (or -(leadingZeros + 1) + exponent).
  long long k = intDigits > 0 ? intDigits - 1 + exponent : -(leadingZeros + 1) + exponent;
  return k >= 0;
}

using u128 = unsigned __int128;

// Powers of five up to 5^27, the last below 2^63, and for k >= 1 the
// reciprocal ceil(2^(127 + bits(5^k)) / 5^k), which lies in [2^127, 2^128).
struct PowersOfFive {
  uint64_t pow[28];
  u128 reciprocal[28];
  int exponent[28];  // 1 - bits(5^k) - k: what the quotient's scale adds to the exponent
  constexpr PowersOfFive() : pow(), reciprocal(), exponent() {
    pow[0] = 1;
    for (int k = 1; k < 28; ++k) pow[k] = pow[k - 1] * 5;
    for (int k = 1; k < 28; ++k) {
      uint64_t d = pow[k];
      int bits = 64 - std::countl_zero(d);
      // Long division of 2^(127 + bits) by d, one bit at a time.
      u128 q = 0;
      uint64_t r = 0;
      for (int i = 127 + bits; i >= 0; --i) {
        r = 2 * r + (i == 127 + bits);
        q = 2 * q + (r >= d);
        if (r >= d) r -= d;
      }
      reciprocal[k] = q + (r != 0);
      exponent[k] = 1 - bits - k;
    }
  }
};
constexpr PowersOfFive kFive;

// The double whose significand is `top` (2^52 <= top <= 2^53) times 2^e.
inline double fromParts(uint64_t top, int e) {
  // The hidden bit adds one to the exponent field; a significand rounded up
  // to 2^53 adds two, which is the same as the next exponent.
  return std::bit_cast<double>((static_cast<uint64_t>(e + 52 + 1022) << 52) + top);
}

// m × 10^e10 correctly rounded to a double, for 1 <= m and |e10| <= 27, in
// integer arithmetic. A positive power is exact: m × 5^e10 fits in 128 bits.
// A negative one multiplies by the reciprocal of 5^k, which is over by less
// than m units in the 192-bit product, so its top 128 bits are within one of
// the true quotient and decide the rounding, unless they fall exactly on a
// halfway point between two doubles: then false is returned (the caller
// converts the text instead).
inline bool scaledPowerOfTen(uint64_t m, int e10, double& out) {
  if (e10 >= 0) {
    u128 p = u128{m} * kFive.pow[e10];
    uint64_t high = static_cast<uint64_t>(p >> 64);
    int shift = high ? std::countl_zero(high) : 64 + std::countl_zero(static_cast<uint64_t>(p));
    p <<= shift;  // top bit at 127: 53 bits kept, 75 dropped
    uint64_t top = static_cast<uint64_t>(p >> 75);
    u128 low = p & ((u128{1} << 75) - 1), half = u128{1} << 74;
    if (low > half || (low == half && (top & 1))) ++top;
    out = fromParts(top, 75 - shift + e10);
    return true;
  }
  int k = -e10;
  int lz = std::countl_zero(m);
  uint64_t mn = m << lz;
  u128 r = kFive.reciprocal[k];
  u128 w = u128{mn} * static_cast<uint64_t>(r >> 64) + ((u128{mn} * static_cast<uint64_t>(r)) >> 64);
  uint64_t high = static_cast<uint64_t>(w >> 64), low = static_cast<uint64_t>(w);
  int drop = 10 + static_cast<int>(high >> 63);  // bits of the high word below the 53 kept
  uint64_t rest = high & ((uint64_t{1} << drop) - 1), half = uint64_t{1} << (drop - 1);
  if (rest == half && low == 0) return false;
  uint64_t top = (high >> drop) + (rest >= half);
  // w ≈ m × 2^(lz + 63 + bits(5^k)) / 5^k, and the value is m / 5^k × 2^-k.
  out = fromParts(top, drop + kFive.exponent[k] - lz);
  return true;
}

// The number eight digit values (0..9 each, the first in the lowest byte) spell.
inline uint64_t eightDigits(uint64_t v) {
  v = v * 10 + (v >> 8);
  return (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
          (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
         32;
}

// Reads the run of decimal digits at s, folding them into m (which wraps
// past 19 digits), eight bytes at a time while the input has room.
inline const uchar* readDigits(const uchar* s, const uchar* end, uint64_t& m) {
  static constexpr uint64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
  while (end - s >= 8) {
    uint64_t v;
    std::memcpy(&v, s, 8);
    uint64_t values = v - 0x3030303030303030ULL;
    // The top bit of each byte that is not a digit: below '0' the
    // subtraction wraps, above '9' the addition reaches 0x80. A borrow or
    // carry out of a byte can only spoil bytes after a non-digit.
    uint64_t other = (values | (v + 0x4646464646464646ULL)) & 0x8080808080808080ULL;
    int n = other ? __builtin_ctzll(other) / 8 : 8;
    if (n == 0) return s;
    // The n digits to the top, zeros (leading zero digits) below them.
    m = m * kPow10[n] + eightDigits(values << (8 * (8 - n)));
    s += n;
    if (n < 8) return s;
  }
  while (s < end && isDigit(*s)) m = m * 10 + static_cast<uint64_t>(*s++ - '0');
  return s;
}

// Whether 20 decimal digits stay within 18446744073709551615.
bool fitsUnsigned(const uchar* p, const uchar* end) {
  static const char kMax[] = "18446744073709551615";
  return static_cast<size_t>(end - p) == 20 && std::memcmp(p, kMax, 20) <= 0;
}

}  // namespace

void FJParseState::errorAt(const unsigned char* p, const char* message) {
  error(static_cast<size_t>(p - begin_), message);
}

void FJParseState::endOfBuffer() { error(static_cast<size_t>(end_ - begin_), "Reached the end of the buffer."); }

void FJParseState::depthError() {
  errorAt(token_.ptr, "Exceeded the maximum nesting depth of " + std::to_string(maxDepth_) + ".");
}

void FJParseState::error(size_t index, const std::string& message) {
  if (errorIsSet_) return;
  errorIsSet_ = true;
  auto info = kit::make<kit::Dictionary>(std::initializer_list<std::pair<std::string_view, kit::Ref<kit::Object>>>{
      {kit::Error::kLocalizedDescriptionKey, kit::str(message)},
      {FJAtIndexKey, kit::Number::numberWithUnsignedLong(index)},
      {FJLineNumberKey, kit::Number::numberWithUnsignedLong(lineNumber_)},
  });
  error_ = kit::Error::errorWithDomain(FJErrorDomain, FJErrorCode, info);
}

void FJParseState::internalError(const char* what, int line) {
  error(static_cast<size_t>(p_ - begin_),
        std::string("Internal error: ") + what + " " + kSourceName + " line #" + std::to_string(line));
}

// ---------------------------------------------------------------------------
// White space

void FJParseState::skipWhitespace() noexcept {
  while (p_ < end_) {
    uchar c = *p_;
    if (c == ' ' || c == '\t') {
      ++p_;
    } else if (c == '\n') {
      ++p_;
      newLine();
    } else if (c == '\r') {
      ++p_;
      if (p_ < end_ && *p_ == '\n') ++p_;
      newLine();
    } else if (!(options_ & (FJParseOptionAcceptComments | FJParseOptionUnicodeLineBreaks)) ||
               !skipExtendedWhitespace()) {
      return;
    }
  }
}

// Unicode line breaks and comments, when the options allow them.
bool FJParseState::skipExtendedWhitespace() noexcept {
  auto unicodeBreak = [&](const uchar* q) -> int {
    if (!(options_ & FJParseOptionUnicodeLineBreaks)) return 0;
    if (*q == 0xE2 && end_ - q >= 3 && q[1] == 0x80 && (q[2] == 0xA8 || q[2] == 0xA9)) return 3;
    if (*q == 0xC2 && end_ - q >= 2 && q[1] == 0x85) return 2;
    return 0;
  };
  if (int n = unicodeBreak(p_)) {
    p_ += n;
    newLine();
    return true;
  }
  if (!(options_ & FJParseOptionAcceptComments) || *p_ != '/' || end_ - p_ < 2) return false;
  if (p_[1] == '/') {
    p_ += 2;
    while (p_ < end_ && *p_ != '\n' && *p_ != '\r' && !unicodeBreak(p_)) ++p_;
    return true;  // the line break itself is counted by the caller
  }
  if (p_[1] != '*') return false;
  p_ += 2;
  while (p_ < end_) {
    if (*p_ == '*' && end_ - p_ >= 2 && p_[1] == '/') {
      p_ += 2;
      return true;
    }
    if (*p_ == '\n') {
      ++p_;
      newLine();
    } else if (*p_ == '\r') {
      ++p_;
      if (p_ < end_ && *p_ == '\n') ++p_;
      newLine();
    } else if (int n = unicodeBreak(p_)) {
      p_ += n;
      newLine();
    } else {
      ++p_;
    }
  }
  return true;  // a comment left open runs to the end of the input
}

// ---------------------------------------------------------------------------
// Tokens

bool FJParseState::nextToken() {
  skipSpace();
  return readToken();
}

bool FJParseState::readToken() {
  token_.type = FJTokenTypeInvalid;
  if (p_ >= end_) return false;
  token_.ptr = p_;
  token_.length = 1;
  uchar c = *p_;
  switch (c) {
    case '"': return parseString();
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9': return parseNumber();
    case '{': token_.type = FJTokenTypeObjectBegin; break;
    case '}': token_.type = FJTokenTypeObjectEnd; break;
    case '[': token_.type = FJTokenTypeArrayBegin; break;
    case ']': token_.type = FJTokenTypeArrayEnd; break;
    case ':': token_.type = FJTokenTypeSeparator; break;
    case ',': token_.type = FJTokenTypeComma; break;
    case 't':
    case 'f':
    case 'n': {
      const char* word = c == 't' ? "true" : c == 'f' ? "false" : "null";
      size_t n = std::strlen(word);
      size_t avail = static_cast<size_t>(end_ - p_);
      if (avail >= n && std::memcmp(p_, word, n) == 0) {
        token_.type = c == 't' ? FJTokenTypeTrue : c == 'f' ? FJTokenTypeFalse : FJTokenTypeNull;
        token_.length = n;
        break;
      }
      // A literal cut off by the end of the input is an early end, not a bad token.
      if (avail < n && std::memcmp(p_, word, avail) == 0) {
        p_ = end_;
        return false;
      }
      [[fallthrough]];
    }
    default:
      errorAt(p_,
              "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', "
              "'NUMBER'.");
      return false;
  }
  p_ += token_.length;
  return true;
}

// ---------------------------------------------------------------------------
// Numbers

bool FJParseState::numberConversionFailed(const std::string& message) {
  errorAt(token_.ptr, message);
  errorAt(token_.ptr, "Invalid number.");
  return false;
}

FJ_HOT_INLINE bool FJParseState::parseNumber() {
  const uchar* start = p_;
  const uchar* s = p_;
  bool negative = false, isFloat = false;
  auto invalid = [&](const uchar* at) {
    errorAt(at < end_ ? at : end_, "Invalid number.");
    return false;
  };
  if (*s == '-') {
    negative = true;
    ++s;
  }
  if (s >= end_) return invalid(s);
  // Digits are gathered while scanning; with more than 19 of them (m has
  // wrapped) they are gathered again below, the first 19 significant ones.
  uint64_t m = 0;
  const uchar* digits = s;
  if (*s == '0') {
    ++s;
  } else if (*s >= '1' && *s <= '9') {
    s = readDigits(s, end_, m);
  } else {
    return invalid(s);
  }
  size_t intDigits = static_cast<size_t>(s - digits);
  if (s >= end_) return invalid(s);
  const uchar* fraction = s;  // its digits, when there is a fraction
  size_t fractionDigits = 0;
  if (*s == '.') {
    isFloat = true;
    ++s;
    if (s >= end_ || !isDigit(*s)) return invalid(s);
    fraction = s;
    s = readDigits(s, end_, m);
    fractionDigits = static_cast<size_t>(s - fraction);
    if (s >= end_) return invalid(s);
  }
  int exponent = 0;
  if (*s == 'e' || *s == 'E') {
    isFloat = true;
    ++s;
    bool negExp = false;
    if (s < end_ && (*s == '+' || *s == '-')) negExp = *s++ == '-';
    if (s >= end_ || !isDigit(*s)) return invalid(s);
    while (s < end_ && isDigit(*s)) {
      if (exponent < 100000) exponent = exponent * 10 + (*s - '0');
      ++s;
    }
    if (s >= end_) return invalid(s);
    if (negExp) exponent = -exponent;
  }
  // value = m × 10^(scale + exponent) when !tooMany.
  int scale = -static_cast<int>(fractionDigits);
  bool tooMany = false;
  if (intDigits + fractionDigits > 19) {
    m = 0;
    scale = 0;
    int significant = 0;
    auto digit = [&](uchar c, bool inFraction) {
      if (significant < 19) {
        if (m || c != '0') ++significant;
        m = m * 10 + static_cast<uint64_t>(c - '0');
        if (inFraction) --scale;
      } else {
        tooMany = true;
      }
    };
    for (const uchar* q = digits; q < digits + intDigits; ++q) digit(*q, false);
    for (const uchar* q = fraction; q < fraction + fractionDigits; ++q) digit(*q, true);
  }

  token_.type = FJTokenTypeNumber;
  token_.length = static_cast<size_t>(s - start);
  FJTokenValue& v = token_.value;
  v.ptr = start;
  v.length = token_.length;
  const char* first = reinterpret_cast<const char*>(start);
  const char* last = reinterpret_cast<const char*>(s);

  if (isFloat || (negative && intDigits == 1 && *digits == '0')) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double d = 0;
    int e10 = scale + exponent;
    if (!tooMany && m <= (uint64_t{1} << 53) && e10 >= -22 && e10 <= 22) {
      // Mantissa and power of ten are exact doubles: one operation rounds correctly.
      d = static_cast<double>(m);
      d = e10 < 0 ? d / kPow10[-e10] : d * kPow10[e10];
      if (negative) d = -d;
    } else if (!tooMany && e10 >= -27 && e10 <= 27 && m && scaledPowerOfTen(m, e10, d)) {
      if (negative) d = -d;
    } else {
      auto [ptr, ec] = std::from_chars(first, last, d);
      if (ec == std::errc::result_out_of_range) {
        const char* why = magnitudeAtLeastOne(start, s) ? "overflow" : "underflow";
        return numberConversionFailed("The value '" + clip(start, token_.length) +
                                      "' could not be represented as a 'double' due to " + why + ".");
      }
      if (ec != std::errc() || ptr != last)
        return numberConversionFailed(
            "The conversion function did not consume all of the number tokens characters.");
    }
    v.type = FJValueTypeDouble;
    v.numberBits = std::bit_cast<uint64_t>(d);
  } else if (negative) {
    // 19 digits gathered exactly; the smallest value is one past the largest.
    if (intDigits > 19 || m > uint64_t{1} << 63)
      return numberConversionFailed("The value '" + clip(start, token_.length) +
                                    "' exceeded the minimum value that could be represented: " +
                                    std::to_string(INT64_MIN) + ".");
    v.type = FJValueTypeLongLong;
    v.numberBits = std::bit_cast<uint64_t>(m == uint64_t{1} << 63 ? INT64_MIN : -static_cast<int64_t>(m));
  } else {
    if (intDigits > 20 || (intDigits == 20 && !fitsUnsigned(digits, s)))
      return numberConversionFailed("The value '" + clip(start, token_.length) +
                                    "' exceeded the maximum value that could be represented: " +
                                    std::to_string(UINT64_MAX) + ".");
    if (intDigits == 20) {
      auto [ptr, ec] = std::from_chars(first, last, m);
      if (ec != std::errc() || ptr != last)
        return numberConversionFailed(
            "The conversion function did not consume all of the number tokens characters.");
    }
    v.type = FJValueTypeUnsignedLongLong;
    v.numberBits = m;
  }
  v.hash = FJTokenCache::hashNumber(v.type, v.unsignedLongLongValue());
  p_ = s;
  return true;
}

// ---------------------------------------------------------------------------
// Strings

bool FJParseState::parseString() {
  const uchar* s = p_ + 1;
  uint32_t h = FJTokenCache::kHashSeed;
  for (;;) {
    // Runs of plain ASCII, the common case, a vector at a time.
    while (end_ - s >= kScanWidth) {
      int n = plainPrefix(s);
      h = hashPrefix(h, s, n);
      s += n;
      if (n < kScanWidth) break;
    }
    while (s < end_ && kPlain.plain[*s]) h = FJTokenCache::hashStep(h, *s++);
    if (s >= end_) {
      endOfBuffer();
      errorAt(p_, "Invalid string.");
      return false;
    }
    uchar c = *s;
    if (c == '"') break;
    if (c >= 0x80) {
      int n = end_ - s >= 4 ? wellFormedLength(s) : 0;
      if (!n) n = FJUnicode::sequenceLength(s, end_);
      if (n > 0) {
        h = hashSequence(h, s, n, end_);
        s += n;
        continue;
      }
      if (n == 0) {
        error(static_cast<size_t>(end_ - begin_), "End of buffer reached while parsing UTF8 in \"\" string.");
        errorAt(p_, "Invalid string.");
        return false;
      }
      return parseStringSlow(s, h);
    }
    if (c == '\\') return parseStringSlow(s, h);
    // c < 0x20
    errorAt(s, "Invalid character < 0x20 found in string: 0x" + std::string(1, "0123456789abcdef"[c >> 4]) +
                   std::string(1, "0123456789abcdef"[c & 15]) + ".");
    errorAt(p_, "Invalid string.");
    return false;
  }
  token_.type = FJTokenTypeString;
  token_.length = static_cast<size_t>(s + 1 - p_);
  FJTokenValue& v = token_.value;
  v.ptr = p_ + 1;
  v.length = static_cast<size_t>(s - (p_ + 1));
  v.type = FJValueTypeString;
  v.hash = h;
  p_ = s + 1;
  return true;
}

bool FJParseState::reserveToken(size_t used, size_t n) {
  if (tokenBuffer_->bytes() && n <= tokenBuffer_->length() - used) return true;
  if (tokenBuffer_->grow(used + n + 1024)) return true;
  internalError("Unable to resize temporary buffer.", __LINE__);
  return false;
}

// Decodes a string that has escapes or bad UTF-8 into the token buffer. `s`
// is the first byte the fast scan could not take; `h` the hash so far.
//
// Decoding never writes more bytes than it reads, except a bad byte replaced
// by three; so the buffer keeps room for the rest of the input plus some
// slack, and only a replacement has to check for more.
bool FJParseState::parseStringSlow(const uchar* s, uint32_t h) {
  const uchar* open = p_;
  const bool replace = options_ & FJParseOptionReplaceBadUnicode;
  auto fail = [&] {
    errorAt(open, "Invalid string.");
    return false;
  };
  size_t prefix = static_cast<size_t>(s - (open + 1));
  if (!reserveToken(0, prefix + static_cast<size_t>(end_ - s) + 4)) return fail();
  uchar* base = tokenBuffer_->bytes();
  std::memcpy(base, open + 1, prefix);
  uchar* o = base + prefix;
  auto ensureSlack = [&]() -> bool {
    size_t used = static_cast<size_t>(o - base);
    if (!reserveToken(used, static_cast<size_t>(end_ - s) + 4)) return false;
    base = tokenBuffer_->bytes();
    o = base + used;
    return true;
  };
  auto put = [&](uchar c) {
    h = FJTokenCache::hashStep(h, c);
    *o++ = c;
  };
  auto putReplacement = [&] {
    put(0xEF);
    put(0xBF);
    put(0xBD);
  };

  // Reads the four hex digits of a \u escape at q (q points at the backslash).
  auto readEscape = [&](const uchar* q, uint32_t& cp) -> bool {
    cp = 0;
    for (int i = 2; i < 6; ++i) {
      if (q + i >= end_) {
        endOfBuffer();
        return false;
      }
      int d = hexValue(q[i]);
      if (d < 0) {
        errorAt(q + i, "Unexpected character found in \\u Unicode escape sequence.  Found '" + showByte(q[i]) +
                           "', expected [0-9a-fA-F].");
        return false;
      }
      cp = (cp << 4) | static_cast<uint32_t>(d);
    }
    return true;
  };

  for (;;) {
    // The buffer has room for the rest of the input, so eight bytes can be
    // stored even when fewer of them are kept.
    // The scan works on copies that live in registers: the lambdas above
    // take the originals' addresses, and every byte stored through `o`
    // could then change them as far as the compiler knows.
    {
      uint32_t hs = h;
      uchar* os = o;
      const uchar* ss = s;
      while (end_ - ss >= kScanWidth) {
        std::memcpy(os, ss, kScanWidth);
        int n = plainPrefix(ss);
        hs = hashPrefix(hs, ss, n);
        ss += n;
        os += n;
        if (n < kScanWidth) break;
      }
      h = hs;
      o = os;
      s = ss;
    }
    while (s < end_ && kPlain.plain[*s]) put(*s++);
    if (s >= end_) {
      endOfBuffer();
      return fail();
    }
    uchar c = *s;
    if (c == '"') break;
    if (c < 0x20) {
      errorAt(s, "Invalid character < 0x20 found in string: 0x" + std::string(1, "0123456789abcdef"[c >> 4]) +
                     std::string(1, "0123456789abcdef"[c & 15]) + ".");
      return fail();
    }
    if (c >= 0x80) {
      if (end_ - s >= 8) {
        if (int n = wellFormedLength(s)) {
          // Room for eight is there (see above); the hash takes the sequence at once.
          uint64_t v;
          std::memcpy(&v, s, 8);
          std::memcpy(o, &v, 8);
          h = FJTokenCache::hashBytes(h, v, n);
          o += n;
          s += n;
          continue;
        }
      }
      int n = FJUnicode::sequenceLength(s, end_);
      if (n > 0) {
        if (end_ - s >= 8) {
          // Room for eight is there (see above); the hash takes the sequence at once.
          std::memcpy(o, s, 8);
          h = hashSequence(h, s, n, end_);
          o += n;
          s += n;
        } else {
          for (int i = 0; i < n; ++i) put(*s++);
        }
        continue;
      }
      if (n == 0) {
        error(static_cast<size_t>(end_ - begin_), "End of buffer reached while parsing UTF8 in \"\" string.");
        return fail();
      }
      if (!replace) {
        errorAt(s, "Illegal UTF8 sequence found in \"\" string.");
        return fail();
      }
      if (!ensureSlack()) return fail();
      putReplacement();
      s += -n;
      continue;
    }
    // A backslash escape. The common ones, well-formed with input to spare,
    // are decoded here; the rest, and every error, below.
    if (end_ - s >= 12) {
      uchar e = s[1];
      if (uchar simple = kEscapes.value[e]) {
        *o++ = simple;
        h = FJTokenCache::hashStep(h, simple);
        s += 2;
        continue;
      }
      if (e == 'u') {
        uint32_t cp = hexQuad(s + 2), n = 0;
        if (cp < 0xD800 ? cp != 0 : (cp >= 0xE000 && cp < 0x10000 && !isIllegalCodePoint(cp))) {
          n = 6;
        } else if (cp >= 0xD800 && cp <= 0xDBFF && s[6] == '\\' && s[7] == 'u') {
          uint32_t low = hexQuad(s + 8);
          if (low >= 0xDC00 && low <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            if (!isIllegalCodePoint(cp)) n = 12;
          }
        }
        if (n) {
          // Six bytes of escape make at most three, twelve four: the room is there.
          int k;
          uint32_t bytes = utf8Word(cp, k);
          std::memcpy(o, &bytes, 4);
          h = FJTokenCache::hashBytes(h, bytes, k);
          o += k;
          s += n;
          continue;
        }
      }
    }
    if (s + 1 >= end_) {
      endOfBuffer();
      return fail();
    }
    uchar e = s[1];
    uchar simple = 0;
    switch (e) {
      case '"': simple = 0x22; break;
      case '\\': simple = 0x5C; break;
      case '/': simple = 0x2F; break;
      case 'b': simple = 8; break;
      case 'f': simple = 12; break;
      case 'n': simple = 10; break;
      case 'r': simple = 13; break;
      case 't': simple = 9; break;
      case 'u': break;
      default:
        errorAt(s + 1, "Invalid escape sequence found in \"\" string.");
        return fail();
    }
    if (simple) {
      put(simple);
      s += 2;
      continue;
    }
    uint32_t cp;
    if (!readEscape(s, cp)) return fail();
    const uchar* escape = s;
    s += 6;
    bool bad = false;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (end_ - s >= 2 && s[0] == '\\' && s[1] == 'u') {
        uint32_t low;
        if (!readEscape(s, low)) return fail();
        if (low >= 0xDC00 && low <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          s += 6;
          bad = isIllegalCodePoint(cp);
        } else {
          bad = true;  // the second escape is read again on its own
        }
      } else if (s >= end_ || (end_ - s == 1 && *s == '\\')) {
        endOfBuffer();
        return fail();
      } else {
        if (!replace) {
          errorAt(s,
                  "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape "
                  "sequence.");
          return fail();
        }
        putReplacement();
        continue;
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      bad = true;
    } else {
      bad = isIllegalCodePoint(cp);
    }
    if (bad) {
      if (!replace) {
        errorAt(escape, "Illegal \\u Unicode escape sequence.");
        return fail();
      }
      putReplacement();
      continue;
    }
    uchar utf8[4];
    int n = FJUnicode::encode(cp, utf8);
    for (int i = 0; i < n; ++i) put(utf8[i]);
  }

  token_.type = FJTokenTypeString;
  token_.length = static_cast<size_t>(s + 1 - open);
  FJTokenValue& v = token_.value;
  v.ptr = base;
  v.length = static_cast<size_t>(o - base);
  v.type = FJValueTypeString;
  v.hash = h;
  p_ = s + 1;
  return true;
}

// ---------------------------------------------------------------------------
// Values and collections

kit::Object* FJParseState::valueForToken() {
  switch (token_.type) {
    case FJTokenTypeNumber:
    case FJTokenTypeString: return cache_.retainedObject(token_.value);
    case FJTokenTypeTrue: {
      kit::Object* o = kit::Number::yes();
      o->retain();
      return o;
    }
    case FJTokenTypeFalse: {
      kit::Object* o = kit::Number::no();
      o->retain();
      return o;
    }
    case FJTokenTypeNull: {
      kit::Object* o = kit::Null::null();
      o->retain();
      return o;
    }
    case FJTokenTypeArrayBegin: return parseCollection(false);
    case FJTokenTypeObjectBegin: return parseCollection(true);
    default: return nullptr;
  }
}

// Inlined, as parseCollection is, into the collection bodies: a nesting
// level then costs one call and one return instead of three, and returns
// out of deep nesting, which the processor mostly mispredicts, are fewer.
FJ_HOT_INLINE kit::Object* FJParseState::readValue(bool& taken) {
  uchar c = *p_;
  taken = true;
  token_.ptr = p_;
  token_.length = 1;
  token_.type = FJTokenTypeInvalid;
  if (c == '"') {
    if (!parseString()) {
      endOfBuffer();
      return nullptr;
    }
    return cache_.retainedObject(token_.value);
  }
  if (c == '-' || isDigit(c)) {
    if (!parseNumber()) {
      endOfBuffer();
      return nullptr;
    }
    return cache_.retainedObject(token_.value);
  }
  if (c == '[' || c == '{') {
    token_.type = c == '[' ? FJTokenTypeArrayBegin : FJTokenTypeObjectBegin;
    ++p_;
    return parseCollection(c == '{');
  }
  taken = false;
  return nullptr;
}

FJ_HOT_INLINE kit::Object* FJParseState::parseCollection(bool dictionary) {
  if (depth_ >= maxDepth_) {
    depthError();
    return nullptr;
  }
  ++depth_;
  size_t start = stack_->index();
  kit::Object* result = dictionary ? parseDictionaryBody(start) : parseArrayBody(start);
  --depth_;
  return result;
}

std::string FJParseState::tokenText() const { return clip(token_.ptr, token_.length); }

void FJParseState::expectedError(const char* first, const char* second) {
  std::string items = second ? std::string(first) + " or " + second : std::string(first);
  errorAt(token_.ptr, "Expected " + items + ", not '" + tokenText() + "'");
}

kit::Object* FJParseState::parseArrayBody(size_t start) {
  int state = 1 | 4;
  for (;;) {
    if (!stack_->reserve(4)) {
      internalError("Unable to resize temporary buffer.", __LINE__);
      break;
    }
    skipSpace();
    // Punctuation where it is allowed is taken at once; anything else is
    // read as a token below, which also reports every error.
    if (p_ < end_) {
      if (*p_ == ',' && (state & 2)) {
        ++p_;
        state = 1;
        continue;
      }
      if (*p_ == ']' && (state & 4)) {
        ++p_;
        FJArray* array =
            FJArray::create(*arena_, stack_->objects() + start, stack_->index() - start, mutableCollections_);
        stack_->popTo(start);
        return array;
      }
      if (state & 1) {
        bool taken;
        kit::Object* value = readValue(taken);
        if (taken) {
          if (!value) break;
          stack_->push(nullptr, 0, value);
          state = 2 | 4;
          continue;
        }
      }
    }
    if (!readToken()) {
      endOfBuffer();
      break;
    }
    FJTokenType t = token_.type;
    if (isValueToken(t)) {
      if (!(state & 1)) {
        errorAt(token_.ptr, "Unexpected value.");
        break;
      }
      kit::Object* value = valueForToken();
      if (!value) break;
      stack_->push(nullptr, 0, value);
      state = 2 | 4;
    } else if (t == FJTokenTypeComma) {
      if (!(state & 2)) {
        errorAt(token_.ptr, "Unexpected ','.");
        break;
      }
      state = 1;
    } else if (t == FJTokenTypeArrayEnd) {
      if (!(state & 4)) {
        errorAt(token_.ptr, "Unexpected ']'.");
        break;
      }
      FJArray* array =
          FJArray::create(*arena_, stack_->objects() + start, stack_->index() - start, mutableCollections_);
      stack_->popTo(start);
      return array;
    } else {
      const char* items[2] = {nullptr, nullptr};
      int n = 0;
      if (state & 1) items[n++] = "a value";
      if (state & 2) items[n++] = "a comma";
      if (state & 4 && n < 2) items[n++] = "a ']'";
      expectedError(items[0], items[1]);
      break;
    }
  }
  cache_.settle();  // what the cache holds may be among what goes
  stack_->releaseFrom(start);
  return nullptr;
}

kit::Object* FJParseState::parseDictionaryBody(size_t start) {
  int state = 1 | 4;
  for (;;) {
    if (!stack_->reserve(4)) {
      internalError("Unable to resize temporary buffer.", __LINE__);
      break;
    }
    skipSpace();
    // As in arrays: allowed punctuation at once, the rest as tokens.
    if (p_ < end_) {
      if (*p_ == ',' && (state & 2)) {
        ++p_;
        state = 1;
        continue;
      }
      if (*p_ == '}' && (state & 4)) {
        ++p_;
        FJDictionary* dict = FJDictionary::create(*arena_, stack_->keys() + start, stack_->hashes() + start,
                                                  stack_->objects() + start, stack_->index() - start,
                                                  mutableCollections_, &cache_);
        stack_->popTo(start);
        return dict;
      }
    }
    // A key, the common case, goes straight to the string scanner.
    bool read;
    if (p_ < end_ && *p_ == '"') {
      token_.ptr = p_;
      token_.length = 1;
      token_.type = FJTokenTypeInvalid;
      read = parseString();
    } else {
      read = readToken();
    }
    if (!read) {
      endOfBuffer();
      break;
    }
    FJTokenType t = token_.type;
    if (t == FJTokenTypeString) {
      if (!(state & 1)) {
        errorAt(token_.ptr, "Unexpected string.");
        break;
      }
      kit::Object* key = cache_.retainedObject(token_.value);
      if (!key) break;
      // The key goes on the stack at once (its value to follow), so every
      // way out below releases it with the rest.
      size_t keyHash;
      if (FJTokenCacheItem* item = token_.value.cacheItem) {
        if (item->keyHash == 0) item->keyHash = static_cast<uint32_t>(FJDictionary::hashForKey(key));
        keyHash = item->keyHash;
      } else {
        keyHash = FJDictionary::hashForKey(key);
      }
      stack_->push(key, keyHash, nullptr);
      skipSpace();
      if (p_ < end_ && *p_ == ':') {
        ++p_;
      } else {
        if (!readToken()) {
          endOfBuffer();
          break;
        }
        if (token_.type != FJTokenTypeSeparator) {
          errorAt(token_.ptr, "Expected ':'.");
          break;
        }
      }
      skipSpace();
      bool taken = false;
      kit::Object* value = p_ < end_ ? readValue(taken) : nullptr;
      if (!taken) {
        if (!readToken()) {
          endOfBuffer();
          break;
        }
        if (!isValueToken(token_.type)) {
          expectedError("a value", (state & 4) ? "a '}'" : nullptr);
          break;
        }
        value = valueForToken();
      }
      if (!value) break;
      stack_->setLastObject(value);
      state = 2 | 4;
    } else if (t == FJTokenTypeComma) {
      if (!(state & 2)) {
        errorAt(token_.ptr, "Unexpected ','.");
        break;
      }
      state = 1;
    } else if (t == FJTokenTypeObjectEnd) {
      if (!(state & 4)) {
        errorAt(token_.ptr, "Unexpected '}'.");
        break;
      }
      FJDictionary* dict = FJDictionary::create(*arena_, stack_->keys() + start, stack_->hashes() + start,
                                                stack_->objects() + start, stack_->index() - start,
                                                mutableCollections_, &cache_);
      stack_->popTo(start);
      return dict;
    } else {
      const char* items[2] = {nullptr, nullptr};
      int n = 0;
      if (state & 1) items[n++] = "a \"STRING\"";
      if (state & 2) items[n++] = "a comma";
      if (state & 4 && n < 2) items[n++] = "a '}'";
      expectedError(items[0], items[1]);
      break;
    }
  }
  cache_.settle();  // what the cache holds may be among what goes
  stack_->releaseFrom(start);
  return nullptr;
}

// ---------------------------------------------------------------------------
// Top level

kit::Ref<kit::Object> FJParseState::parse(const unsigned char* bytes, size_t length, bool mutableCollections,
                                          kit::Ref<kit::Error>* error) {
  begin_ = bytes;
  end_ = bytes + length;
  p_ = bytes;
  lineNumber_ = 1;
  lineStart_ = bytes;
  error_ = nullptr;
  errorIsSet_ = false;
  mutableCollections_ = mutableCollections;
  depth_ = 0;
  token_ = FJParseToken{};

  kit::Object* objects[FJObjectStack::kInitialSlots];
  kit::Object* keys[FJObjectStack::kInitialSlots];
  size_t hashes[FJObjectStack::kInitialSlots];
  FJObjectStack stack(objects, keys, hashes, FJObjectStack::kInitialSlots);
  unsigned char tokenBytes[kTokenBufferStackSize];
  FJManagedBuffer tokenBuffer(tokenBytes, sizeof tokenBytes, kTokenBufferRound);
  kit::ObjectArena arena(length);
  stack_ = &stack;
  tokenBuffer_ = &tokenBuffer;
  arena_ = &arena;
  cache_.setArena(&arena);
  // The cache must not cut from the arena once this call is over, however it ends.
  struct Detach {
    FJParseState* state;
    ~Detach() {
      state->cache_.setArena(nullptr);
      state->arena_ = nullptr;
    }
  } detach{this};

  kit::Object* result = nullptr;
  try {
    skipWhitespace();
    if (p_ >= end_) {
      endOfBuffer();
    } else if (*p_ != '[' && *p_ != '{') {
      errorAt(p_, "Expected either '[' or '{'.");
    } else if (nextToken()) {
      result = parseCollection(token_.type == FJTokenTypeObjectBegin);
    }
    if (!result) {
      if (p_ >= end_)
        endOfBuffer();
      else
        errorAt(p_, "Unable to parse JSON.");
    } else {
      skipWhitespace();
      if (p_ < end_ && !(options_ & FJParseOptionAllowTrailingText)) {
        errorAt(p_, "A valid JSON object was parsed but there were additional non-white-space characters "
                    "remaining.");
        cache_.settle();
        result->release();
        result = nullptr;
      }
    }
  } catch (const std::bad_alloc&) {
    try {
      internalError("Unable to allocate memory.", __LINE__);
    } catch (const std::bad_alloc&) {
    }
    cache_.settle();
    if (result) result->release();
    result = nullptr;
  }

  stack_ = nullptr;
  tokenBuffer_ = nullptr;
  begin_ = end_ = p_ = lineStart_ = nullptr;
  token_ = FJParseToken{};
  if (error) *error = error_;
  kit::Ref<kit::Object> out(result);
  if (result) result->release();
  return out;
}

}  // namespace tolva
