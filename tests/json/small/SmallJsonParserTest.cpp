#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "json/small/SmallJsonParser.h"
#include "json/small/SmallJsonTestSupport.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/DecimalNumber.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Null.h"

using namespace smalljsontest;
using tolva::SmallJsonParser;

namespace {

kit::Ref<SmallJsonParser> parser() { return kit::Ref<SmallJsonParser>(new SmallJsonParser()); }

kit::Ref<kit::Object> fragment(std::string_view text) {
  auto p = parser();
  auto value = p->fragmentWithString(text);
  EXPECT_TRUE(value) << text << " failed: " << (traceOf(*p).empty() ? "" : traceOf(*p).back().second);
  return value;
}

std::string numberText(std::string_view text) {
  auto value = fragment(text);  // held: the casts below borrow it
  auto* n = kit::cast<kit::DecimalNumber>(value);
  return n ? n->stringValue() : "(not a decimal)";
}

std::string stringOf(std::string_view text) {
  auto value = fragment(text);
  auto* s = kit::cast<kit::String>(value);
  return s ? s->str() : "(not a string)";
}

Trace failure(std::string_view text, bool objectOnly = true) {
  auto p = parser();
  auto value = objectOnly ? p->objectWithString(text) : p->fragmentWithString(text);
  EXPECT_FALSE(value) << text;
  EXPECT_TRUE(wellFormedTrace(*p)) << text;
  return traceOf(*p);
}

const std::pair<long, std::string> kInArray{3, "Expected value while parsing array"};

}  // namespace

TEST(SmallJsonParser, ValuesBecomeKitObjects) {
  auto value = fragment(" {\"a\": [1, \"x\", true, false, null, {}], \"b\":{\"c\":[]}} ");
  auto* d = kit::cast<kit::MutableDictionary>(value);
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->isMutable());
  auto* a = d->get<kit::MutableArray>("a");
  ASSERT_TRUE(a);
  ASSERT_EQ(a->count(), 6u);
  EXPECT_TRUE(kit::cast<kit::DecimalNumber>(a->objectAtIndex(0)));
  EXPECT_EQ(a->objectAtIndex(0)->className(), "DecimalNumber");
  EXPECT_TRUE(kit::cast<kit::MutableString>(a->objectAtIndex(1)));
  EXPECT_TRUE(a->objectAtIndex(1)->isMutable());
  EXPECT_EQ(a->objectAtIndex(2), kit::Number::yes());
  EXPECT_EQ(a->objectAtIndex(3), kit::Number::no());
  EXPECT_EQ(a->objectAtIndex(4), kit::Null::null());
  EXPECT_TRUE(kit::cast<kit::MutableDictionary>(a->objectAtIndex(5)));
  EXPECT_TRUE(d->get<kit::Dictionary>("b")->get<kit::MutableArray>("c")->empty());
  // Keys are plain strings, as the dictionary keeps them.
  EXPECT_FALSE(d->allKeys()[0]->isMutable());
}

TEST(SmallJsonParser, LenientForms) {
  // Members need no comma between them; every C white-space byte separates.
  auto held = fragment("[1 2]");
  auto* a = kit::cast<kit::Array>(held);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->count(), 2u);
  EXPECT_EQ(kit::cast<kit::Array>(fragment("\v\f[\r\n\t]\v"))->count(), 0u);
  held = fragment("{\"a\":1 \"a\":2 \"b\":3}");
  auto* d = kit::cast<kit::Dictionary>(held);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->count(), 2u);
  EXPECT_EQ(d->get<kit::Number>("a")->intValue(), 2);  // the last value wins
}

TEST(SmallJsonParser, ScalarsOnlyAsFragments) {
  EXPECT_EQ(failure("42"), (Trace{{4, "Valid fragment, but not JSON"}}));
  EXPECT_EQ(failure("\"s\""), (Trace{{4, "Valid fragment, but not JSON"}}));
  EXPECT_EQ(numberText("42"), "42");
  EXPECT_EQ(fragment(" null "), kit::Null::null());
  auto p = parser();
  EXPECT_FALSE(p->objectWithString(static_cast<const kit::String*>(nullptr)));
  EXPECT_EQ(traceOf(*p), (Trace{{12, "Input was 'nil'"}}));
  EXPECT_FALSE(p->fragmentWithString(static_cast<const kit::String*>(nullptr)));
  EXPECT_EQ(traceOf(*p), (Trace{{12, "Input was 'nil'"}}));
  // A success clears the previous failure's trace.
  EXPECT_TRUE(p->objectWithString(kit::str("[]")));
  EXPECT_FALSE(p->errorTrace());
}

TEST(SmallJsonParser, ErrorTraces) {
  struct Case {
    std::string text;
    Trace trace;
  };
  const Case cases[] = {
      {"", {{11, "Unexpected end of string"}}},
      {"   ", {{11, "Unexpected end of string"}}},
      {"[", {{11, "End of input while parsing array"}}},
      {"[ ", {{11, "Unexpected end of string"}, kInArray}},
      {"[1", {{11, "End of input while parsing array"}}},
      {"[1,", {{11, "End of input while parsing array"}}},
      {"{", {{11, "End of input while parsing object"}}},
      {"{ ", {{3, "Object key string expected"}}},
      {"[\"abc", {{11, "Unexpected EOF while parsing string"}, kInArray}},
      {"[\"abc\\", {{11, "Unexpected EOF while parsing string"}, kInArray}},
      {"[1] x", {{10, "Garbage after JSON"}}},
      {"[1]]", {{10, "Garbage after JSON"}}},
      {"[1,]", {{9, "Trailing comma disallowed in array"}}},
      {"[[1 , ] ]", {{9, "Trailing comma disallowed in array"}, kInArray}},
      {"{\"a\":1 , }", {{9, "Trailing comma disallowed in object"}}},
      {"[,1]", {{3, "Unrecognised leading character"}, kInArray}},
      {"[1,,2]", {{3, "Unrecognised leading character"}, kInArray}},
      {"[.5]", {{3, "Unrecognised leading character"}, kInArray}},
      {"[\xc3\xa9]", {{3, "Unrecognised leading character"}, kInArray}},
      {"[tru]", {{3, "Expected 'true'"}, kInArray}},
      {"[fals]", {{3, "Expected 'false'"}, kInArray}},
      {"[nul]", {{3, "Expected 'null'"}, kInArray}},
      {"[nan]", {{3, "Expected 'null'"}, kInArray}},
      {"[+1]", {{2, "Leading + disallowed in number"}, kInArray}},
      {"[01]", {{2, "Leading 0 disallowed in number"}, kInArray}},
      {"[-01]", {{2, "Leading 0 disallowed in number"}, kInArray}},
      {"[-]", {{2, "No digits after initial minus"}, kInArray}},
      {"[-a]", {{2, "No digits after initial minus"}, kInArray}},
      {"[1.]", {{2, "No digits after decimal point"}, kInArray}},
      {"[1.e5]", {{2, "No digits after decimal point"}, kInArray}},
      {"[1e]", {{2, "No digits after exponent"}, kInArray}},
      {"[1E+]", {{2, "No digits after exponent"}, kInArray}},
      {"[\"a\tb\"]", {{5, "Unescaped control character '0x9'"}, kInArray}},
      {"[\"\x1f\"]", {{5, "Unescaped control character '0x1f'"}, kInArray}},
      {"[\"\\q\"]", {{8, "Illegal escape sequence '0x71'"}, kInArray}},
      {"[\"\\\xc3\xa9\"]", {{8, "Illegal escape sequence '0xc3'"}, kInArray}},
      {"[\"\\u12G4\"]",
       {{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, {6, "Broken unicode character"}, kInArray}},
      {"[\"\\u", {{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, {6, "Broken unicode character"}, kInArray}},
      {"[\"\\ud83d\"]", {{6, "Missing low character in surrogate pair"}, {6, "Broken unicode character"}, kInArray}},
      {"[\"\\ud83dx\"]", {{6, "Missing low character in surrogate pair"}, {6, "Broken unicode character"}, kInArray}},
      {"[\"\\udc00\"]", {{6, "Invalid high character in surrogate pair"}, {6, "Broken unicode character"}, kInArray}},
      {"[\"\\ud83d\\u0041\"]", {{6, "Invalid low surrogate char"}, {6, "Broken unicode character"}, kInArray}},
      {"[\"\\ud83d\\ud83d\"]", {{6, "Invalid low surrogate char"}, {6, "Broken unicode character"}, kInArray}},
      {"[\"\\ud83d\\u00\"]",
       {{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, {6, "Broken unicode character"}, kInArray}},
      {"{1:2}", {{3, "Object key string expected"}}},
      {"{\"a\\q\":2}", {{8, "Illegal escape sequence '0x71'"}, {3, "Object key string expected"}}},
      {"{\"a\" 1}", {{3, "Expected ':' separating key and value"}}},
      {"{\"a\":}", {{3, "Unrecognised leading character"}, {3, "Object value expected for key: a"}}},
      {"{\"k\":[1,]}", {{9, "Trailing comma disallowed in array"}, {3, "Object value expected for key: k"}}},
      {"[{\"k\":-}]",
       {{2, "No digits after initial minus"}, {3, "Object value expected for key: k"}, kInArray}},
  };
  for (const auto& c : cases) EXPECT_EQ(failure(c.text), c.trace) << c.text;
}

TEST(SmallJsonParser, InputIsReadByLengthNotToNul) {
  using namespace std::string_literals;
  // A NUL byte is ordinary bad input wherever it is, never the end.
  EXPECT_EQ(failure("[1]\0"s), (Trace{{10, "Garbage after JSON"}}));
  EXPECT_EQ(failure("[1]\0[2]"s), (Trace{{10, "Garbage after JSON"}}));
  EXPECT_EQ(failure("\0[1]"s), (Trace{{3, "Unrecognised leading character"}}));
  EXPECT_EQ(failure("[\"a\0b\"]"s), (Trace{{5, "Unescaped control character '0x0'"}, kInArray}));
  // The bytes past the given length are never looked at.
  const char buffer[] = "[1,2]";
  EXPECT_EQ(failure(std::string_view(buffer, 4)), (Trace{{11, "End of input while parsing array"}}));
  EXPECT_EQ(failure(std::string_view(buffer, 3)), (Trace{{11, "End of input while parsing array"}}));
  EXPECT_EQ(failure(std::string_view("[tr", 3)), (Trace{{3, "Expected 'true'"}, kInArray}));
  // An escaped NUL is a character like any other.
  EXPECT_EQ(stringOf("\"a\\u0000b\""), "a\0b"s);
}

TEST(SmallJsonParser, Escapes) {
  EXPECT_EQ(stringOf(R"("\"\\\/\b\f\n\r\t")"), "\"\\/\b\f\n\r\t");
  EXPECT_EQ(stringOf(R"("caf\u00e9 \u00E9")"), "caf\xc3\xa9 \xc3\xa9");
  EXPECT_EQ(stringOf(R"("\u20ac")"), "\xe2\x82\xac");
  // A surrogate pair is one character of two UTF-16 units.
  auto pair = fragment(R"("\ud83d\ude00")");
  auto* s = kit::cast<kit::String>(pair);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->str(), "\xf0\x9f\x98\x80");
  EXPECT_EQ(s->length(), 2u);
  EXPECT_EQ(stringOf(R"("\udbff\udfff")"), "\xf4\x8f\xbf\xbf");  // low unit DFFF is accepted
  EXPECT_EQ(stringOf(R"("\uffff")"), "\xef\xbf\xbf");
  // Raw UTF-8 passes through whole, runs and escapes mixed.
  EXPECT_EQ(stringOf("\"\xc3\xa9\\n\xf0\x9f\x98\x80x\""), "\xc3\xa9\n\xf0\x9f\x98\x80x");
}

TEST(SmallJsonParser, InvalidUtf8IsRefused) {
  const char* bad[] = {
      "\x80",              // lone continuation byte
      "\xc0\xaf",          // overlong '/'
      "\xe0\x80\xaf",      // overlong, three bytes
      "\xed\xa0\x80",      // an encoded surrogate
      "\xf4\x90\x80\x80",  // above U+10FFFF
      "\xf5\x80\x80\x80",  // never a lead byte
      "\xe2\x82",          // cut short
      "\xff",
  };
  for (const char* b : bad) {
    std::string text = std::string("[\"a") + b + "\"]";
    EXPECT_EQ(failure(text), (Trace{{3, "Invalid UTF-8 in string"}, kInArray})) << text;
  }
  // A sequence cut by the closing quote is invalid too.
  EXPECT_EQ(failure("[\"\xe2\x82\"]"), (Trace{{3, "Invalid UTF-8 in string"}, kInArray}));
}

TEST(SmallJsonParser, NumbersAreExactDecimals) {
  EXPECT_EQ(numberText("0.1"), "0.1");
  EXPECT_EQ(numberText("-1.50"), "-1.5");
  EXPECT_EQ(numberText("1E2"), "100");
  EXPECT_EQ(numberText("1e-2"), "0.01");
  EXPECT_EQ(numberText("0.000e-99999999999999999999"), "0");
  EXPECT_EQ(numberText("0e99999999999999999999"), "0");
  // 38 significant digits are kept exactly, wherever the point is.
  EXPECT_EQ(numberText("12345678901234567890123456789012345678"), "12345678901234567890123456789012345678");
  EXPECT_EQ(numberText("-0.00012345678901234567890123456789012345678"),
            "-0.00012345678901234567890123456789012345678");
  EXPECT_EQ(numberText("99999999999999999999999999999999999999"), "99999999999999999999999999999999999999");
  // More are rounded to 38, half to even, rather than refused.
  const std::string zeros36(36, '0');
  EXPECT_EQ(numberText("123456789012345678901234567890123456789"), "123456789012345678901234567890123456790");
  EXPECT_EQ(numberText("1." + zeros36 + "05"), "1");                            // tie, even: down
  EXPECT_EQ(numberText("1." + zeros36 + "15"), "1." + zeros36 + "2");           // tie, odd: up
  EXPECT_EQ(numberText("1." + zeros36 + "0500001"), "1." + zeros36 + "1");      // above the tie
  EXPECT_EQ(numberText(std::string(38, '9') + "5"), "1" + std::string(39, '0'));  // carry
}

TEST(SmallJsonParser, NumberEdgeCases) {
  // -0 is zero (decimals have no negative zero).
  auto zero = fragment("-0");
  ASSERT_TRUE(zero);
  EXPECT_TRUE(zero->isEqual(kit::num(0)));
  EXPECT_EQ(numberText("-0.0e5"), "0");

  auto minValue = fragment("-9223372036854775808");
  auto* min = kit::cast<kit::Number>(minValue);
  ASSERT_TRUE(min);
  EXPECT_EQ(min->longLongValue(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(min->stringValue(), "-9223372036854775808");
  auto maxValue = fragment("18446744073709551615");
  auto* max = kit::cast<kit::Number>(maxValue);
  ASSERT_TRUE(max);
  EXPECT_EQ(max->unsignedLongLongValue(), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(max->stringValue(), "18446744073709551615");
  EXPECT_EQ(numberText("18446744073709551616"), "18446744073709551616");
  EXPECT_EQ(numberText("-9223372036854775809"), "-9223372036854775809");

  // Anything a double can hold is accepted, subnormals included...
  auto tinyValue = fragment("5e-324");
  auto* tiny = kit::cast<kit::Number>(tinyValue);
  ASSERT_TRUE(tiny);
  EXPECT_EQ(tiny->doubleValue(), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(tiny->stringValue(), "5e-324");
  EXPECT_EQ(numberText("3e-324"), "3e-324");  // rounds to the smallest subnormal, not to zero
  EXPECT_EQ(numberText("2.2250738585072011e-308"), "22250738585072011e-324");
  auto bigValue = fragment("1.7976931348623157e308");
  auto* big = kit::cast<kit::Number>(bigValue);
  ASSERT_TRUE(big);
  EXPECT_EQ(big->doubleValue(), std::numeric_limits<double>::max());
  // ...while overflow (infinity) and underflow (a non-zero value becoming zero) are errors.
  const Trace refused{{2, "Failed creating decimal instance"}};
  for (const char* t : {"1e400", "-1e400", "1.8e308", "1e-400", "2.4e-324", "1e99999999999999999999"})
    EXPECT_EQ(failure(t, false), refused) << t;
  EXPECT_EQ(failure("[1e400]"), (Trace{{2, "Failed creating decimal instance"}, kInArray}));
}

TEST(SmallJsonParser, NestingLimit) {
  auto p = parser();
  EXPECT_EQ(p->maxDepth(), 512u);
  EXPECT_TRUE(p->objectWithString(nested(512)));
  EXPECT_TRUE(p->objectWithString(nested(256, "{\"k\":[", "]}")));
  EXPECT_FALSE(p->objectWithString(nested(513)));
  auto trace = traceOf(*p);
  ASSERT_EQ(trace.size(), 513u);
  EXPECT_EQ(trace.front(), (std::pair<long, std::string>{7, "Nested too deep"}));
  EXPECT_EQ(trace.back(), kInArray);
  EXPECT_TRUE(wellFormedTrace(*p));
  EXPECT_FALSE(p->objectWithString(nested(513, "{\"k\":", "}")));
  EXPECT_EQ(traceOf(*p).front().first, 7);

  p->setMaxDepth(3);
  EXPECT_TRUE(p->objectWithString("[[[]]]"));
  EXPECT_FALSE(p->objectWithString("[[[[]]]]"));

  // 0 lifts the limit but not the ceiling that keeps the stack safe.
  p->setMaxDepth(0);
  constexpr size_t ceiling = tolva::SmallJsonBase::kDepthCeiling;
  EXPECT_TRUE(p->objectWithString(nested(600)));
  EXPECT_TRUE(p->objectWithString(nested(ceiling)));
  EXPECT_FALSE(p->objectWithString(nested(ceiling + 1)));
  EXPECT_EQ(traceOf(*p).front().first, 7);
  EXPECT_FALSE(p->objectWithString(std::string(1000000, '[')));
  EXPECT_EQ(traceOf(*p).front().first, 7);
  p->setMaxDepth(1000000);
  EXPECT_FALSE(p->objectWithString(nested(ceiling + 1)));
  EXPECT_EQ(traceOf(*p).front().first, 7);
}

TEST(SmallJsonParser, TraceObserverSeesEveryChange) {
  auto p = parser();
  std::vector<bool> notices;
  p->setErrorTraceObserver([&](bool prior) { notices.push_back(prior); });
  p->objectWithString("[x]");  // clear, then two errors
  EXPECT_EQ(notices, (std::vector<bool>{true, false, true, false, true, false}));
}

TEST(SmallJsonParser, ShortNumbersMatchTheGeneralReading) {
  // Up to 19 digits take a short path; it must agree with the decimal
  // reading of the same text and with the C library's double.
  const char* texts[] = {"0",
                         "7",
                         "-12",
                         "1000000",
                         "-4200e-2",
                         "0.5",
                         "-139.98765432101234",
                         "47.123456789012345",
                         "9007199254740993",  // 2^53 + 1: no exact double
                         "1234567890123456789",
                         "9999999999999999999",
                         "0.0000000000000000001",
                         "1e22",
                         "1e23",
                         "123e-25",
                         "-5e280",
                         "5e-280",
                         "1.7976931348623157e280",
                         "4.9e-290"};
  for (const char* text : texts) {
    auto value = fragment(text);
    auto* n = kit::cast<kit::DecimalNumber>(value);
    ASSERT_TRUE(n) << text;
    auto expected = kit::DecimalNumber::decimalNumberWithString(text);
    ASSERT_TRUE(expected) << text;
    EXPECT_EQ(n->stringValue(), expected->stringValue()) << text;
    EXPECT_EQ(n->mantissa(), expected->mantissa()) << text;
    EXPECT_EQ(n->exponent(), expected->exponent()) << text;
    EXPECT_TRUE(n->isEqual(expected.get())) << text;
    EXPECT_EQ(n->hash(), expected->hash()) << text;
    EXPECT_EQ(n->doubleValue(), std::strtod(text, nullptr)) << text;
  }
}

TEST(SmallJsonParser, TreesAreOrdinaryMutableObjects) {
  auto p = parser();
  auto tree = p->objectWithString(R"({"k":[1,"s",{"a":1,"b":2}],"k2":"text","k3":{}})");
  ASSERT_TRUE(tree);
  // Later parses, and the parser's end, leave the tree alone.
  EXPECT_TRUE(p->objectWithString(R"({"k":[2]})"));
  EXPECT_FALSE(p->objectWithString(R"({"k":[2,"x",)"));
  p = nullptr;

  auto* d = kit::cast<kit::MutableDictionary>(tree);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->className(), "MutableDictionary");
  auto* a = d->get<kit::MutableArray>("k");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->className(), "MutableArray");
  for (int i = 0; i < 20; ++i) a->addObject(kit::num(i));  // beyond the room it was made with
  a->removeObjectAtIndex(0);
  ASSERT_EQ(a->count(), 22u);
  EXPECT_EQ(kit::cast<kit::String>(a->objectAtIndex(0))->str(), "s");
  EXPECT_EQ(kit::cast<kit::Number>(a->objectAtIndex(21))->intValue(), 19);

  for (int i = 0; i < 20; ++i) d->setObject(kit::num(i), "extra" + std::to_string(i));
  d->removeObjectForKey("k2");
  EXPECT_EQ(d->count(), 22u);
  EXPECT_EQ(d->allKeys()[0]->description(), "k");
  EXPECT_EQ(d->get<kit::Number>("extra19")->intValue(), 19);
  EXPECT_EQ(d->get<kit::Dictionary>("k3")->count(), 0u);

  auto* s = kit::cast<kit::MutableString>(a->objectAtIndex(0));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->className(), "MutableString");
  s->appendString(" and more than fits in a short string");
  EXPECT_EQ(s->str(), "s and more than fits in a short string");
  EXPECT_EQ(s->hash(), kit::String::hashBytes(s->str()));

  // Copies are kit's plain classes, equal to the originals.
  auto copy = d->copy();
  EXPECT_EQ(copy->className(), "Dictionary");
  EXPECT_TRUE(copy->isEqual(d));
  EXPECT_FALSE(copy->isMutable());
}

TEST(SmallJsonParser, RepeatedKeysAreSharedPlainStrings) {
  auto value = fragment(R"([{"name":1,"a\u0062":2},{"name":3,"ab":4}])");
  auto* a = kit::cast<kit::Array>(value);
  ASSERT_TRUE(a);
  auto first = kit::cast<kit::Dictionary>(a->objectAtIndex(0))->allKeys();
  auto second = kit::cast<kit::Dictionary>(a->objectAtIndex(1))->allKeys();
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(first[i]->className(), "String");
    EXPECT_TRUE(first[i]->isEqual(second[i]));
    EXPECT_EQ(first[i]->hash(), kit::String::hashBytes(kit::cast<kit::String>(first[i])->str()));
  }
  EXPECT_EQ(kit::cast<kit::Dictionary>(a->objectAtIndex(1))->get<kit::Number>("ab")->intValue(), 4);

  // A replaced value goes while the parse still hands out its keys.
  auto replaced = fragment(R"({"a":{"k":{"k":1}},"a":2,"k":{"k":3}})");
  auto* d = kit::cast<kit::Dictionary>(replaced);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->count(), 2u);
  EXPECT_EQ(d->get<kit::Number>("a")->intValue(), 2);
  EXPECT_EQ(d->get<kit::Dictionary>("k")->get<kit::Number>("k")->intValue(), 3);
}

TEST(SmallJsonParser, SpecialBytesAreFoundAnywhereInALongRun) {
  // Plain text is scanned several bytes at a time; what stops or checks the
  // scan must be found at every offset.
  using namespace std::string_literals;
  for (size_t at = 0; at < 20; ++at) {
    std::string before(at, 'a'), after(19 - at, 'b');
    EXPECT_EQ(stringOf("\"" + before + "\xc3\xa9" + after + "\""), before + "\xc3\xa9" + after) << at;
    EXPECT_EQ(stringOf("\"" + before + "\\n" + after + "\""), before + "\n" + after) << at;
    EXPECT_EQ(stringOf("\"" + before + "\xf0\x9f\x98\x80\xe2\x82\xac" + after + "\""),
              before + "\xf0\x9f\x98\x80\xe2\x82\xac" + after)
        << at;
    EXPECT_EQ(failure("[\"" + before + "\x01" + after + "\"]"),
              (Trace{{5, "Unescaped control character '0x1'"}, kInArray}))
        << at;
    EXPECT_EQ(failure("[\"" + before + "\xed\xa0\x80" + after + "\"]"),
              (Trace{{3, "Invalid UTF-8 in string"}, kInArray}))
        << at;
    EXPECT_EQ(failure("[\"" + before + "\0"s + after + "\"]"),
              (Trace{{5, "Unescaped control character '0x0'"}, kInArray}))
        << at;
    // A key ends where its quote is, however long the run before it.
    auto value = fragment("{\"" + before + "\":1,\"" + before + "\\u0041\":2}");
    auto* d = kit::cast<kit::Dictionary>(value);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->get<kit::Number>(before)->intValue(), 1) << at;
    EXPECT_EQ(d->get<kit::Number>(before + "A")->intValue(), 2) << at;
  }
}
