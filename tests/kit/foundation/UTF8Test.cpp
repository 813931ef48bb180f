// The one strict UTF-8 check every text reader relies on.

#include <gtest/gtest.h>

#include <string>

#include "kit/foundation/UTF8.h"

using kit::utf8::firstInvalid;

TEST(UTF8, FirstInvalidFindsEachKindOfBadSequenceWhereItStarts) {
  constexpr size_t npos = std::string_view::npos;
  EXPECT_EQ(firstInvalid(""), npos);
  EXPECT_EQ(firstInvalid("plain ascii"), npos);
  EXPECT_EQ(firstInvalid("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf"), npos);  // é € 😀 U+10FFFF
  EXPECT_EQ(firstInvalid("\xed\x9f\xbf\xee\x80\x80"), npos);  // just below and above the surrogates

  struct Case {
    std::string text;
    size_t at;
  } cases[] = {
      {"ab\x80", 2},                 // stray continuation byte
      {"a\xc0\x80", 1},              // overlong NUL
      {"\xc1\xbf", 0},               // overlong two-byte lead
      {"x\xe0\x9f\xbf", 1},          // overlong three-byte form
      {"\xf0\x8f\xbf\xbf", 0},       // overlong four-byte form
      {"ok\xed\xa0\x80", 2},         // a surrogate
      {"\xf4\x90\x80\x80", 0},       // past U+10FFFF
      {"\xf5\x80\x80\x80", 0},       // lead byte that never starts a sequence
      {"abc\xe2\x82", 3},            // cut short by the end
      {"\xc3\xa9\xe2\x28\xa1", 2},   // a continuation byte missing
      {std::string("a\0\xff", 3), 2},  // a NUL is text; 0xFF is not
  };
  for (const auto& c : cases) EXPECT_EQ(firstInvalid(c.text), c.at) << c.at;
}
