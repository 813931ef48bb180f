#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "json/fast/JSONDecoder.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using namespace tolva;
using kit::Ref;

namespace {

struct Report {
  bool ok = false;
  std::string message;
  long index = -1;
  long line = -1;
};

Report run(JSONDecoder& decoder, const std::string& text) {
  // An exact-size heap copy, so a read past the end is an ASan report.
  std::vector<char> bytes(text.begin(), text.end());
  Ref<kit::Error> error;
  Report r;
  r.ok = static_cast<bool>(decoder.objectWithUTF8String(bytes.empty() ? "" : bytes.data(), bytes.size(), &error));
  if (error) {
    r.message = error->localizedDescription();
    r.index = static_cast<kit::Number*>(error->userInfo()->objectForKey(FJAtIndexKey))->integerValue();
    r.line = static_cast<kit::Number*>(error->userInfo()->objectForKey(FJLineNumberKey))->integerValue();
  }
  return r;
}

const char* const kUnexpectedToken =
    "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";

// Valid documents whose truncations and mutations make the corpus.
const char* const kSeeds[] = {
    R"({"user":{"id":12345,"name":"Ana \"A\" B\u00e9","tags":["x","y"],"ratio":-0.25e-3,"ok":true,"none":null}})",
    "[\n  1,\r\n  -2.5E+10,\r  \"caf\xc3\xa9 \\ud83d\\ude00\",\n  {\"k\": [[], {}, false]}\n]",
    R"([18446744073709551615,-9223372036854775808,5e-324,0,-0,"\/\b\f\n\r\t"])",
    R"({"a":{"b":{"c":{"d":[1,[2,[3,[4]]]]}}},"e":"\u0041\u00df\u6771\ud801\udc37"})",
};

}  // namespace

TEST(FJParseErrors, EachFailureReportsItsMessageIndexAndLine) {
  struct Case {
    std::string text;
    std::string message;
    long index, line;
  } cases[] = {
      {"", "Reached the end of the buffer.", 0, 1},
      {" \n\t ", "Reached the end of the buffer.", 4, 2},
      {"123", "Expected either '[' or '{'.", 0, 1},
      {"\n  \"text\"", "Expected either '[' or '{'.", 3, 2},
      {"true", "Expected either '[' or '{'.", 0, 1},
      {"[1,2", "Invalid number.", 4, 1},
      {"[1,2,", "Reached the end of the buffer.", 5, 1},
      {"[", "Reached the end of the buffer.", 1, 1},
      {"[1,]", "Unexpected ']'.", 3, 1},
      {"[1 2]", "Unexpected value.", 3, 1},
      {"[,1]", "Unexpected ','.", 1, 1},
      {"[1,,2]", "Unexpected ','.", 3, 1},
      {"[:]", "Expected a value or a ']', not ':'", 1, 1},
      {"[1:]", "Expected a comma or a ']', not ':'", 2, 1},
      {"[1,}", "Expected a value, not '}'", 3, 1},
      {"{\"a\" 1}", "Expected ':'.", 5, 1},
      {"{\"a\":}", "Expected a value or a '}', not '}'", 5, 1},
      {"{\"x\":1,\"a\":]", "Expected a value, not ']'", 11, 1},
      {"{1:2}", "Expected a \"STRING\" or a '}', not '1'", 1, 1},
      {"{\"a\":1 \"b\":2}", "Unexpected string.", 7, 1},
      {"{\"a\":1,}", "Unexpected '}'.", 7, 1},
      {"{\"a\":1:", "Expected a comma or a '}', not ':'", 6, 1},
      {"{\"a\":1,[", "Expected a \"STRING\", not '['", 7, 1},
      {"{\"a\"", "Reached the end of the buffer.", 4, 1},
      {"{\"a\":", "Reached the end of the buffer.", 5, 1},
      {"[tru]", kUnexpectedToken, 1, 1},
      {"[tr", "Reached the end of the buffer.", 3, 1},
      {"[nul", "Reached the end of the buffer.", 4, 1},
      {"[True]", kUnexpectedToken, 1, 1},
      {"[truex]", kUnexpectedToken, 5, 1},
      {"[\"abc", "Reached the end of the buffer.", 5, 1},
      {"[\"ab\\", "Reached the end of the buffer.", 5, 1},
      {"[\"\\u00", "Reached the end of the buffer.", 6, 1},
      {"[\"\\ud800", "Reached the end of the buffer.", 8, 1},
      {"[\"a\x01\"]", "Invalid character < 0x20 found in string: 0x01.", 3, 1},
      {"[\"a\nb\"]", "Invalid character < 0x20 found in string: 0x0a.", 3, 1},
      {"[\"a\\q\"]", "Invalid escape sequence found in \"\" string.", 4, 1},
      {"[\"\\u12G4\"]", "Unexpected character found in \\u Unicode escape sequence.  Found 'G', expected [0-9a-fA-F].",
       6, 1},
      {"[\"\\u0000\"]", "Illegal \\u Unicode escape sequence.", 2, 1},
      {"[\"x\\ud800\"]",
       "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.", 9, 1},
      {"[\"\\ud800\\u0041\"]", "Illegal \\u Unicode escape sequence.", 2, 1},
      {"[\"ab\xff\"]", "Illegal UTF8 sequence found in \"\" string.", 4, 1},
      {"[\"\\n\xc3\"]", "Illegal UTF8 sequence found in \"\" string.", 4, 1},
      {"[\"\xe2\x82", "End of buffer reached while parsing UTF8 in \"\" string.", 4, 1},
      {"[1] x", "A valid JSON object was parsed but there were additional non-white-space characters remaining.", 4, 1},
      {"{}\n\n{}", "A valid JSON object was parsed but there were additional non-white-space characters remaining.", 4,
       3},
      {"[\n1,\r\n2,\r3,\n@]", kUnexpectedToken, 12, 5},
      {"[1e400]", "The value '1e400' could not be represented as a 'double' due to overflow.", 1, 1},
      {"[\n -1e-400]", "The value '-1e-400' could not be represented as a 'double' due to underflow.", 3, 2},
      {"[99999999999999999999]",
       "The value '99999999999999999999' exceeded the maximum value that could be represented: 18446744073709551615.",
       1, 1},
      {"[-1x]", kUnexpectedToken, 3, 1},
      {"[-x]", "Invalid number.", 2, 1},
      {"[1.e5]", "Invalid number.", 3, 1},
      {"[1e]", "Invalid number.", 3, 1},
      {"[0", "Invalid number.", 2, 1},
      {"/* c */ []", "Expected either '[' or '{'.", 0, 1},
      {"[/ 1]", kUnexpectedToken, 1, 1},
  };
  auto decoder = JSONDecoder::decoder();
  for (const Case& c : cases) {
    Report r = run(*decoder, c.text);
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_EQ(r.message, c.message) << c.text;
    EXPECT_EQ(r.index, c.index) << c.text;
    EXPECT_EQ(r.line, c.line) << c.text;
  }
}

TEST(FJParseErrors, NestingIsBoundedWithItsOwnError) {
  auto decoder = JSONDecoder::decoder();
  auto nested = [](size_t depth, char open, const std::string& inner, char close) {
    std::string s;
    for (size_t i = 0; i < depth; ++i) s += open == '{' ? "{\"k\":" : "[";
    s += inner;
    for (size_t i = 0; i < depth; ++i) s += close;
    return s;
  };
  EXPECT_TRUE(run(*decoder, nested(512, '[', "1", ']')).ok);
  Report deep = run(*decoder, nested(513, '[', "1", ']'));
  EXPECT_EQ(deep.message, "Exceeded the maximum nesting depth of 512.");
  EXPECT_EQ(deep.index, 512);
  EXPECT_TRUE(run(*decoder, nested(512, '{', "{}", '}')).ok == false);  // 513 objects deep
  EXPECT_TRUE(run(*decoder, nested(511, '{', "{}", '}')).ok);
  // Far deeper than any stack would take, unterminated, or both.
  EXPECT_EQ(run(*decoder, std::string(1000000, '[')).message, "Exceeded the maximum nesting depth of 512.");
  EXPECT_EQ(run(*decoder, nested(200000, '{', "1", '}')).message, "Exceeded the maximum nesting depth of 512.");
  decoder->setMaxDepth(3);
  EXPECT_TRUE(run(*decoder, "[[[1]]]").ok);
  EXPECT_EQ(run(*decoder, "[[[[1]]]]").message, "Exceeded the maximum nesting depth of 3.");
}

TEST(FJParseErrors, TheFirstErrorWins) {
  auto decoder = JSONDecoder::decoder();
  // Each of these also raises a follow-up message inside the parser.
  EXPECT_EQ(run(*decoder, "[18446744073709551616]").message.substr(0, 9), "The value");
  EXPECT_EQ(run(*decoder, "[\"a\x02\"]").message, "Invalid character < 0x20 found in string: 0x02.");
  EXPECT_EQ(run(*decoder, "[[1,]]").message, "Unexpected ']'.");
  // A decoder's next parse starts clean.
  EXPECT_TRUE(run(*decoder, "[1]").ok);
  EXPECT_EQ(run(*decoder, "[1,]").message, "Unexpected ']'.");
}

TEST(FJParseErrors, EveryTruncationFailsCleanly) {
  auto decoder = JSONDecoder::decoder();
  for (const char* seed : kSeeds) {
    std::string text = seed;
    ASSERT_TRUE(run(*decoder, text).ok) << text;
    for (size_t len = 0; len < text.size(); ++len) {
      std::string cut = text.substr(0, len);
      Report r = run(*decoder, cut);
      ASSERT_FALSE(r.ok) << cut;
      ASSERT_FALSE(r.message.empty());
      ASSERT_LE(r.index, static_cast<long>(len)) << cut;
      ASSERT_GE(r.line, 1);
      // Only the end of the input is wrong with a cut-off text, apart from
      // numbers, which cannot end with the input.
      bool endMessage = r.message == "Reached the end of the buffer." || r.message == "Invalid number." ||
                        r.message == "End of buffer reached while parsing UTF8 in \"\" string.";
      EXPECT_TRUE(endMessage) << cut << " -> " << r.message;
      EXPECT_EQ(r.index, static_cast<long>(len)) << cut << " -> " << r.message;
    }
  }
}

TEST(FJParseErrors, RandomMutationsNeverCrashAndAlwaysExplainThemselves) {
  std::mt19937 rng(20240601);
  const char alphabet[] = "[]{}:,\"\\/ntfrue0123456789.eE+-u \n\r\t\x01\x7f\x80\xbf\xc3\xe2\xed\xf0\xf4\xff";
  std::vector<Ref<JSONDecoder>> decoders = {JSONDecoder::decoder(), JSONDecoder::decoderWithParseOptions(15)};
  size_t failures = 0, successes = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string text = kSeeds[rng() % (sizeof kSeeds / sizeof kSeeds[0])];
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      size_t at = rng() % (text.size() + 1);
      char c = alphabet[rng() % (sizeof alphabet - 1)];
      switch (rng() % 3) {
        case 0: text.insert(text.begin() + static_cast<long>(at), c); break;
        case 1:
          if (at < text.size()) text.erase(at, 1);
          break;
        default:
          if (at < text.size()) text[at] = c;
      }
    }
    for (auto& decoder : decoders) {
      Report r = run(*decoder, text);
      if (r.ok) {
        ++successes;
        continue;
      }
      ++failures;
      ASSERT_FALSE(r.message.empty()) << text;
      ASSERT_GE(r.index, 0);
      ASSERT_LE(r.index, static_cast<long>(text.size())) << text;
      ASSERT_GE(r.line, 1);
    }
  }
  EXPECT_GT(failures, 1000u);
  EXPECT_GT(successes, 100u);
}
