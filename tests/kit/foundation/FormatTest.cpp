#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "kit/foundation/Format.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using kit::format;
using kit::FormatArg;
using kit::Ref;

namespace kit {

// Reaches the unchecked formatter, which ordinary code cannot call.
class FormatTest : public ::testing::Test {
 protected:
  template <class... Args>
  static std::string unchecked(std::string_view fmt, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
      return Format::vformat(fmt, nullptr, 0);
    } else {
      const FormatArg a[] = {FormatArg::from(args)...};
      return Format::vformat(fmt, a, sizeof...(Args));
    }
  }
};

}  // namespace kit

using kit::FormatTest;

namespace {

using kit::format_detail::ArgKind;
using kit::format_detail::Problem;

template <class... Args>
constexpr Problem check(std::string_view fmt) {
  constexpr std::array<ArgKind, sizeof...(Args)> kinds{kit::format_detail::kindOf<Args>()...};
  return kit::format_detail::validate(fmt, kinds.data(), kinds.size());
}

// What the compiler refuses: each of these would fail to build as a kit::format call.
static_assert(check<>("plain 100%%") == Problem::None);
static_assert(check<int>("%d") == Problem::None);
static_assert(check<std::string>("%d") == Problem::WrongArgumentType);
static_assert(check<double>("%x") == Problem::WrongArgumentType);
static_assert(check<int>("%p") == Problem::WrongArgumentType);
static_assert(check<bool>("%f") == Problem::WrongArgumentType);
static_assert(check<int>("%s") == Problem::WrongArgumentType);
static_assert(check<>("%@") == Problem::TooFewArguments);
static_assert(check<int>("%d %d") == Problem::TooFewArguments);
static_assert(check<int, int>("%d") == Problem::TooManyArguments);
static_assert(check<int>("%n") == Problem::BadConversion);
static_assert(check<int>("%") == Problem::BadConversion);
static_assert(check<int>("%ld%") == Problem::BadConversion);
static_assert(check<int, int>("%1$d %d") == Problem::MixedPositional);
static_assert(check<int, int>("%2$d") == Problem::TooManyArguments);
static_assert(check<int>("%3$d") == Problem::TooFewArguments);
static_assert(check<double, int>("%*f") == Problem::WrongArgumentType);
static_assert(check<int, double>("%*f") == Problem::None);
static_assert(check<int>("%99999999d") == Problem::BadWidth);
static_assert(check<const char*, kit::String*, Ref<kit::Number>, std::nullptr_t>("%@%@%@%@") == Problem::None);

}  // namespace

TEST_F(FormatTest, ObjectsAndTexts) {
  Ref<kit::String> s = kit::str("caf\xC3\xA9");
  kit::String* raw = s.get();
  Ref<kit::String> none;
  const char* nullText = nullptr;
  std::string owned = "owned";
  std::string_view view = "view";
  EXPECT_EQ(format("%@|%@|%@|%@", s, raw, none, nullptr), "caf\xC3\xA9|caf\xC3\xA9|(null)|(null)");
  EXPECT_EQ(format("%@ %s %@ %s", owned, view, "lit", nullText), "owned view lit (null)");
  EXPECT_EQ(format("%s", s), "caf\xC3\xA9");
  EXPECT_EQ(format("%@ %@ %@ %@", kit::num(3), 42, 2.5, true), "3 42 2.5 1");
  EXPECT_EQ(format("[%6@][%-6s][%.2s]", "ab", "ab", "abc"), "[    ab][ab    ][ab]");
  // Width counts characters and precision never splits one.
  EXPECT_EQ(format("[%5@][%.4@]", s, s), "[ caf\xC3\xA9][caf]");
  // Argument text is data: its percent signs are never read as conversions.
  EXPECT_EQ(format("%@", "100%d %s %n"), "100%d %s %n");
  EXPECT_EQ(format("no arguments, 100%%"), "no arguments, 100%");
}

TEST_F(FormatTest, Integers) {
  EXPECT_EQ(format("%d %i %ld %lld %u %lu", -5, 7, 123456789012L, -9223372036854775807LL - 1, 42u,
                   std::numeric_limits<unsigned long>::max()),
            "-5 7 123456789012 -9223372036854775808 42 18446744073709551615");
  EXPECT_EQ(format("%x %X %o %#x %#o %#X", 255, 255, 8, 255, 8, 0), "ff FF 10 0xff 010 0");
  // Negative values wrap at their own width, as printf does.
  EXPECT_EQ(format("%x %u %x %x", -1, -1, static_cast<short>(-1), -1LL), "ffffffff 4294967295 ffff ffffffffffffffff");
  EXPECT_EQ(format("%02d:%02d %5d|%-5d|%+d % d %05d %+05d", 7, 5, 42, 42, 3, 3, -42, 42),
            "07:05    42|42   |+3  3 -0042 +0042");
  EXPECT_EQ(format("%.3d %.0d| %08.3d %2.2x %04x", 5, 0, 7, 10, 0xab), "005 |      007 0a 00ab");
  EXPECT_EQ(format("%d %d %hi %d", true, false, static_cast<short>(-3), 'A'), "1 0 -3 65");
  EXPECT_EQ(format("%d", std::numeric_limits<unsigned long long>::max()), "18446744073709551615");
  EXPECT_EQ(format("%zu %lld %llu", size_t{9}, int64_t{-1}, uint64_t{1} << 63), "9 -1 9223372036854775808");
  EXPECT_EQ(format("%*d|%-*d|%.*d", 4, 1, 3, 2, 3, 4), "   1|2  |004");
  EXPECT_EQ(format("%*d|", -4, 1), "1   |");
  enum class Tag : uint8_t { Big = 200 };
  enum Plain { kMinus = -2 };
  EXPECT_EQ(format("%d %d %x", Tag::Big, kMinus, kMinus), "200 -2 fffffffe");
}

TEST_F(FormatTest, Characters) {
  EXPECT_EQ(format("%c%c%c", 'o', 107, 0x263A), "ok\xE2\x98\xBA");
  EXPECT_EQ(format("[%3c][%-3c]", 'x', 'y'), "[  x][y  ]");
  EXPECT_EQ(format("%C", 0x1F600), "\xF0\x9F\x98\x80");
  // Nothing that is not a character gets in: NUL is dropped, invalid code points are replaced.
  EXPECT_EQ(format("a%cb", 0), "ab");
  EXPECT_EQ(format("%c%c", 0xD800, 0x110000), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(format("%c", static_cast<char>(0xE9)), "\xC3\xA9");
}

TEST_F(FormatTest, FloatingPoint) {
  EXPECT_EQ(format("%f %.1f %.2f %5.1f %.0f %.0f", 3.14159, 2.25, 1.005, 9.96, 2.5, 3.5),
            "3.141590 2.2 1.00  10.0 2 4");
  EXPECT_EQ(format("%2f|%-8.2f|%08.2f|%+.1f|% .1f", 1.5, 1.5, -1.5, 1.0, 1.0), "1.500000|1.50    |-0001.50|+1.0| 1.0");
  EXPECT_EQ(format("%e %E %.2e %g %g %g %G %.17g", 12345.678, 0.00012, 0.0, 0.0001, 100000.0, 1e6, 1e-5, 0.1),
            "1.234568e+04 1.200000E-04 0.00e+00 0.0001 100000 1e+06 1E-05 0.10000000000000001");
  EXPECT_EQ(format("%a %A %.1a", 1.0, 3.0, 1.0), "0x1p+0 0X1.8P+1 0x1.0p+0");
  EXPECT_EQ(format("%#.0f %#.0e", 2.0, 2.0), "2. 2.e+00");
  EXPECT_EQ(format("%f %d", 2, 2), "2.000000 2");  // an integer for a float conversion is converted
  double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(format("%f %F %05f %.1f %e", inf, -inf, inf, std::nan(""), -std::nan("")), "inf -INF   inf nan -nan");
  EXPECT_EQ(format("%f", -0.0), "-0.000000");
  EXPECT_EQ(format("%.1f", 1e300).size(), 303u);
  EXPECT_EQ(format("%@", 0.1), "0.1");
  EXPECT_EQ(format("%.*f", 3, 1.0 / 3), "0.333");
}

TEST_F(FormatTest, DecimalPointIgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_NUMERIC, name)) {
      switched = true;
      break;
    }
  }
  std::string text = format("%.2f %g %e %@", 1.5, 2.5, 3.5, 4.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(text, "1.50 2.5 3.500000e+00 4.5");
  if (!switched) GTEST_SKIP() << "no comma-decimal locale installed; checked in the C locale only";
}

TEST_F(FormatTest, PositionalArguments) {
  EXPECT_EQ(format("%2$@ before %1$@", "one", "two"), "two before one");
  EXPECT_EQ(format("%1$@ and %1$@ again, %2$05.1f", "x", 3.14159), "x and x again, 003.1");
}

TEST_F(FormatTest, UncheckedMismatchesWriteMarkersNotGarbage) {
  EXPECT_EQ(unchecked("%d items", std::string("ten")), "%!d(text) items");
  EXPECT_EQ(unchecked("%@ and %@", "one"), "one and %!@(missing)");
  EXPECT_EQ(unchecked("%f %s %p %c", "x", 1, 2, 2.5), "%!f(text) %!s(int) %!p(int) %!c(double)");
  EXPECT_EQ(unchecked("%d", 1, "extra", 2.0), "1%!(extra text)%!(extra double)");
  EXPECT_EQ(unchecked("a %n b %", 1), "a %!(bad format) b %!(bad format)%!(extra int)");
  EXPECT_EQ(unchecked("%3$@ %1$@", "a", "b"), "%!@(missing) a%!(extra text)");
  EXPECT_EQ(unchecked("%*d", 5), "%!d(missing)");
  EXPECT_EQ(unchecked("[%*d]", "wide", 5), "[5]");  // a width that is not a number is ignored
  EXPECT_EQ(unchecked("%*d", 1 << 30, 1).size(), 65536u);  // runtime widths are bounded
  EXPECT_EQ(unchecked("%.*f", -3, 0.5), "0.500000");      // a negative precision means none
  EXPECT_EQ(unchecked("%"), "%!(bad format)");
}
