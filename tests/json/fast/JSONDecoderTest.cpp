#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <cstdint>
#include <string>
#include <vector>

#include "json/fast/FJArray.h"
#include "json/fast/FJDictionary.h"
#include "json/fast/FJParseState.h"
#include "json/fast/FJTokenCache.h"
#include "json/fast/FastJSONDeserializing.h"
#include "json/fast/JSONDecoder.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using namespace tolva;
using kit::Ref;

namespace {

struct Outcome {
  Ref<kit::Object> value;
  std::string message;
  long index = -1;
  long line = -1;
};

Outcome decode(const std::string& text, FJParseOptionFlags options = 0) {
  auto decoder = JSONDecoder::decoderWithParseOptions(options);
  Outcome o;
  Ref<kit::Error> error;
  o.value = decoder->objectWithUTF8String(text.data(), text.size(), &error);
  if (error) {
    EXPECT_EQ(error->domain(), "FJErrorDomain");
    EXPECT_EQ(error->code(), -1);
    o.message = error->localizedDescription();
    o.index = static_cast<kit::Number*>(error->userInfo()->objectForKey(FJAtIndexKey))->integerValue();
    o.line = static_cast<kit::Number*>(error->userInfo()->objectForKey(FJLineNumberKey))->integerValue();
  }
  EXPECT_EQ(static_cast<bool>(o.value), !error) << text;
  return o;
}

// The one element of a parsed one-element array.
kit::Object* only(const Outcome& o) {
  auto* a = kit::cast<kit::Array>(o.value);
  return a && a->count() == 1 ? a->objectAtIndex(0) : nullptr;
}

kit::Number* numberOf(const std::string& text) {
  static std::vector<Outcome> keep;  // keeps the results alive for the test's assertions
  keep.push_back(decode("[" + text + "]"));
  EXPECT_EQ(keep.back().message, "") << text;
  return kit::cast<kit::Number>(only(keep.back()));
}

std::string stringOf(const std::string& body, FJParseOptionFlags options = 0) {
  Outcome o = decode("[\"" + body + "\"]", options);
  if (!o.value) return "error: " + o.message;
  auto* s = kit::cast<kit::String>(only(o));
  return s ? s->str() : "(not a string)";
}

std::string errorOf(const std::string& text, FJParseOptionFlags options = 0) { return decode(text, options).message; }

}  // namespace

TEST(JSONDecoder, NumbersKeepTheirTypeAndEdgeValues) {
  kit::Number* n = numberOf("-0");
  ASSERT_TRUE(n);
  EXPECT_EQ(n->typeLetter(), 'd');
  EXPECT_TRUE(std::signbit(n->doubleValue()));
  EXPECT_EQ(numberOf("0")->typeLetter(), 'q');
  EXPECT_EQ(numberOf("-9223372036854775808")->longLongValue(), INT64_MIN);
  EXPECT_EQ(numberOf("-9223372036854775808")->typeLetter(), 'q');
  EXPECT_EQ(numberOf("9223372036854775807")->typeLetter(), 'q');
  EXPECT_EQ(numberOf("9223372036854775808")->typeLetter(), 'Q');
  EXPECT_EQ(numberOf("18446744073709551615")->unsignedLongLongValue(), UINT64_MAX);
  EXPECT_EQ(numberOf("18446744073709551615")->typeLetter(), 'Q');
  EXPECT_EQ(numberOf("1.5")->doubleValue(), 1.5);
  EXPECT_EQ(numberOf("-12.5e-1")->doubleValue(), -1.25);
  EXPECT_EQ(numberOf("1E5")->doubleValue(), 1e5);
  EXPECT_EQ(numberOf("1e+5")->typeLetter(), 'd');
  EXPECT_EQ(numberOf("1.7976931348623157e308")->doubleValue(), 1.7976931348623157e308);
  // Subnormals are values, not underflows; so is a zero with a huge exponent.
  EXPECT_EQ(numberOf("5e-324")->doubleValue(), 4.9406564584124654e-324);
  EXPECT_EQ(numberOf("3e-324")->doubleValue(), 4.9406564584124654e-324);
  EXPECT_EQ(numberOf("2.2250738585072011e-308")->doubleValue(), 2.2250738585072011e-308);
  EXPECT_EQ(numberOf("0.0e99999")->doubleValue(), 0.0);
  EXPECT_EQ(numberOf("123456789012345678901234567890.5")->doubleValue(), 123456789012345678901234567890.5);
}

TEST(JSONDecoder, NumberRangeErrorsNameTheLimitAndTheCause) {
  EXPECT_EQ(errorOf("[18446744073709551616]"),
            "The value '18446744073709551616' exceeded the maximum value that could be represented: "
            "18446744073709551615.");
  EXPECT_EQ(errorOf("[-9223372036854775809]"),
            "The value '-9223372036854775809' exceeded the minimum value that could be represented: "
            "-9223372036854775808.");
  EXPECT_EQ(errorOf("[1e400]"), "The value '1e400' could not be represented as a 'double' due to overflow.");
  EXPECT_EQ(errorOf("[-1.8e308]"), "The value '-1.8e308' could not be represented as a 'double' due to overflow.");
  EXPECT_EQ(errorOf("[1e-400]"), "The value '1e-400' could not be represented as a 'double' due to underflow.");
  EXPECT_EQ(errorOf("[2e-324]"), "The value '2e-324' could not be represented as a 'double' due to underflow.");
  EXPECT_EQ(errorOf("[0.00001e-320]"),
            "The value '0.00001e-320' could not be represented as a 'double' due to underflow.");
  EXPECT_EQ(errorOf("[100000e-330]"), "The value '100000e-330' could not be represented as a 'double' due to underflow.");
  // A leading zero ends the number: the 1 is a second value.
  Outcome o = decode("[01]");
  EXPECT_EQ(o.message, "Unexpected value.");
  EXPECT_EQ(o.index, 2);
  EXPECT_EQ(errorOf("[-01]"), "Unexpected value.");
  EXPECT_EQ(errorOf("[.5]"), "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', "
                             "'\"STRING\"', 'NUMBER'.");
  EXPECT_EQ(errorOf("[+1]"), errorOf("[.5]"));
  EXPECT_EQ(errorOf("[1.]"), "Invalid number.");
  EXPECT_EQ(errorOf("[1e+]"), "Invalid number.");
  EXPECT_EQ(errorOf("[-]"), "Invalid number.");
}

TEST(JSONDecoder, StringsDecodeEscapesAndSurrogatePairs) {
  EXPECT_EQ(stringOf(R"(\"\\\/\b\f\n\r\t)"), "\"\\/\b\f\n\r\t");
  EXPECT_EQ(stringOf(R"(\u00e9\u20AC\ud83d\ude00)"), "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
  EXPECT_EQ(stringOf(R"(\uDBFF\uDFFD)"), "\xf4\x8f\xbf\xbd");  // U+10FFFD
  EXPECT_EQ(stringOf("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"), "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
  EXPECT_EQ(stringOf("plain then \\n then \xc3\xa9"), "plain then \n then \xc3\xa9");
  EXPECT_EQ(stringOf(""), "");
  EXPECT_EQ(stringOf("\x7f"), "\x7f");
  // Long escaped strings outgrow the parse's own token buffer.
  std::string longText(10000, 'x');
  EXPECT_EQ(stringOf(longText + "\\t" + longText), longText + "\t" + longText);
}

// An escape sends a string to the token buffer, whose first room is on the
// stack; strings that end around the size of that room, near the end of the
// input, must neither overrun it nor lose their tail.
TEST(JSONDecoder, EscapedStringsAroundTheTokenBufferSizeDecodeWhole) {
  for (size_t n = FJParseState::kTokenBufferStackSize - 16; n < FJParseState::kTokenBufferStackSize + 16; ++n) {
    std::string doc = "[\"\\n" + std::string(n, 'a') + "\"]";
    auto result = JSONDecoder::decoder()->objectWithUTF8String(doc.data(), doc.size());
    auto* array = kit::cast<kit::Array>(result);
    ASSERT_TRUE(array) << n;
    EXPECT_EQ(kit::cast<kit::String>(array->objectAtIndex(0))->str(), "\n" + std::string(n, 'a')) << n;
  }
}

TEST(JSONDecoder, IllegalEscapesFailOrBecomeReplacementCharacters) {
  const std::string fffd = "\xef\xbf\xbd";
  struct Case {
    const char* body;
    const char* message;
    const char* replaced;
  } cases[] = {
      {R"(\u0000)", "Illegal \\u Unicode escape sequence.", "\xef\xbf\xbd"},
      {R"(a\udc00b)", "Illegal \\u Unicode escape sequence.", "a\xef\xbf\xbd" "b"},
      {R"(\ud800\u0041)", "Illegal \\u Unicode escape sequence.", "\xef\xbf\xbd" "A"},
      {R"(\ud800x)", "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.",
       "\xef\xbf\xbdx"},
      {R"(\ud800\n)", "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.",
       "\xef\xbf\xbd\n"},
      {R"(\ufdd0)", "Illegal \\u Unicode escape sequence.", "\xef\xbf\xbd"},
      {R"(\uFFFE)", "Illegal \\u Unicode escape sequence.", "\xef\xbf\xbd"},
      {R"(\ud83f\udfff)", "Illegal \\u Unicode escape sequence.", "\xef\xbf\xbd"},  // U+1FFFF
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stringOf(c.body), std::string("error: ") + c.message) << c.body;
    EXPECT_EQ(stringOf(c.body, FJParseOptionReplaceBadUnicode), c.replaced) << c.body;
  }
  // Syntax errors in escapes are errors even when bad Unicode is replaced.
  for (FJParseOptionFlags options : {0u, unsigned{FJParseOptionReplaceBadUnicode}}) {
    EXPECT_EQ(stringOf(R"(\u12G4)", options),
              "error: Unexpected character found in \\u Unicode escape sequence.  Found 'G', expected [0-9a-fA-F].");
    EXPECT_EQ(stringOf(R"(\q)", options), "error: Invalid escape sequence found in \"\" string.");
    EXPECT_EQ(stringOf("a\tb", options), "error: Invalid character < 0x20 found in string: 0x09.");
  }
  EXPECT_EQ(stringOf(R"(\u12)" "\x01" "4"),
            "error: Unexpected character found in \\u Unicode escape sequence.  Found '\\x01', expected [0-9a-fA-F].");
}

TEST(JSONDecoder, InvalidUTF8FailsOrIsReplacedOneCharacterPerBadSequence) {
  struct Case {
    std::string body, replaced;
  } cases[] = {
      {"a\xff" "b", "a\xef\xbf\xbd" "b"},
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},              // overlong: two bad bytes
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // an encoded surrogate
      {"\xe2\x82" "x", "\xef\xbf\xbdx"},                       // cut short by a plain byte
      {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // past U+10FFFF
      {"ok \\n \x80", "ok \n \xef\xbf\xbd"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stringOf(c.body), "error: Illegal UTF8 sequence found in \"\" string.") << c.body;
    EXPECT_EQ(stringOf(c.body, FJParseOptionReplaceBadUnicode), c.replaced) << c.body;
  }
  // Every bad byte grows to three: a string of them outgrows every buffer it starts in.
  std::string bad(5000, '\xff');
  std::string out = stringOf(bad, FJParseOptionReplaceBadUnicode);
  EXPECT_EQ(out.size(), 15000u);
  EXPECT_EQ(out.substr(14997), "\xef\xbf\xbd");
  Outcome cut = decode("[\"abc\xe2\x82");
  EXPECT_EQ(cut.message, "End of buffer reached while parsing UTF8 in \"\" string.");
  EXPECT_EQ(cut.index, 7);
}

TEST(JSONDecoder, InputIsReadByLengthNotToANulByte) {
  std::string text = "[1,2]";
  auto decoder = JSONDecoder::decoder();
  // The bytes past the given length are never looked at.
  std::string withTail = text + "garbage";
  EXPECT_TRUE(decoder->objectWithUTF8String(withTail.data(), text.size()));
  Ref<kit::Error> error;
  EXPECT_FALSE(decoder->objectWithUTF8String(withTail.data(), 4, &error));
  EXPECT_EQ(error->localizedDescription(), "Invalid number.");
  // A NUL inside the text is a control character, not the end.
  std::string nul("[\"a\0b\"]", 7);
  EXPECT_EQ(errorOf(nul), "Invalid character < 0x20 found in string: 0x00.");
  std::string nulOutside("[1]\0", 4);
  EXPECT_EQ(errorOf(nulOutside),
            "A valid JSON object was parsed but there were additional non-white-space characters remaining.");
  // Exact-size heap copies, so ASan sees any read past the end.
  for (std::string t : {"[\"abc", "[1", "[tru", "{\"a\":", "[\"\\u12", "[\"\\", "[1e", "[-", "{\"a"}) {
    std::vector<char> exact(t.begin(), t.end());
    EXPECT_FALSE(decoder->objectWithUTF8String(exact.data(), exact.size())) << t;
  }
}

TEST(JSONDecoder, OptionsForCommentsLineBreaksAndTrailingText) {
  std::string commented = "[1, /* two\n lines */ 2, // rest\n 3]";
  EXPECT_EQ(errorOf(commented), "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', "
                                "'\"STRING\"', 'NUMBER'.");
  Outcome o = decode(commented, FJParseOptionAcceptComments);
  ASSERT_TRUE(o.value);
  EXPECT_EQ(static_cast<kit::Array*>(o.value.get())->count(), 3u);
  Outcome late = decode("[1, /* a\nb */ // c\n @]", FJParseOptionAcceptComments);
  EXPECT_EQ(late.line, 3);
  EXPECT_TRUE(decode("[1] /* open comment", FJParseOptionAcceptComments).value);

  std::string lsep = "[1,\xe2\x80\xa8 2,\xc2\x85 @]";
  EXPECT_EQ(decode(lsep).index, 3);
  Outcome withBreaks = decode(lsep, FJParseOptionUnicodeLineBreaks);
  EXPECT_EQ(withBreaks.line, 3);
  EXPECT_EQ(withBreaks.index, 12);

  EXPECT_TRUE(decode("[1] trailing", FJParseOptionAllowTrailingText).value);
  EXPECT_TRUE(decode("{} {", FJParseOptionAllowTrailingText).value);
}

TEST(JSONDecoder, MisuseRaisesNamedExceptions) {
  try {
    JSONDecoder::decoderWithParseOptions(16);
    ADD_FAILURE() << "options 16 accepted";
  } catch (const kit::InvalidArgumentException& e) {
    EXPECT_STREQ(e.what(), "Invalid parse options.");
  }
  EXPECT_NO_THROW(JSONDecoder::decoderWithParseOptions(15));
  auto decoder = JSONDecoder::decoder();
  try {
    decoder->objectWithData(nullptr);
    ADD_FAILURE();
  } catch (const kit::InvalidArgumentException& e) {
    EXPECT_STREQ(e.what(), "The jsonData argument is NULL.");
  }
  try {
    decoder->mutableObjectWithUTF8String(nullptr, 0);
    ADD_FAILURE();
  } catch (const kit::InvalidArgumentException& e) {
    EXPECT_STREQ(e.what(), "The string argument is NULL.");
  }
}

TEST(JSONDecoder, ResultsAreKitObjectsAndMutableOnlyWhenAskedFor) {
  auto decoder = JSONDecoder::decoder();
  std::string text = R"({"list":[true,false,null,"s",1],"empty":{},"none":[]})";
  auto frozen = decoder->objectWithUTF8String(text.data(), text.size());
  auto* d = kit::cast<FJDictionary>(frozen);
  ASSERT_TRUE(d);
  EXPECT_FALSE(d->isMutable());
  auto* list = d->get<FJArray>("list");
  ASSERT_TRUE(list);
  EXPECT_FALSE(list->isMutable());
  EXPECT_EQ(list->objectAtIndex(0), kit::Number::yes());
  EXPECT_EQ(list->objectAtIndex(1), kit::Number::no());
  EXPECT_EQ(list->objectAtIndex(2), kit::Null::null());
  EXPECT_EQ(d->get<FJDictionary>("empty")->count(), 0u);
  EXPECT_EQ(d->get<FJArray>("none")->count(), 0u);
  try {
    list->removeLastObject();
    ADD_FAILURE();
  } catch (const kit::InternalInconsistencyException& e) {
    EXPECT_STREQ(e.what(), "*** -[FJArray removeLastObject]: mutating method sent to immutable object");
  }

  auto data = kit::Data::dataWithString(text);
  auto live = decoder->mutableObjectWithData(data.get());
  auto* md = kit::cast<FJDictionary>(live);
  ASSERT_TRUE(md);
  EXPECT_TRUE(md->isMutable());
  EXPECT_TRUE(md->get<FJArray>("list")->isMutable());
  md->get<FJArray>("list")->addObject(kit::str("more"));
  md->setObject(kit::num(2), "new");
  EXPECT_EQ(md->count(), 4u);
  EXPECT_FALSE(md->get<kit::String>("new"));
  EXPECT_FALSE(md->get<FJArray>("list")->get<kit::String>(3)->isMutable());
}

TEST(JSONDecoder, OneOffDecodingFromStringsAndData) {
  auto text = kit::str(R"(["a",1])");
  auto result = FastJSONDeserializing::objectFromJSONString(text.get());
  ASSERT_TRUE(result);
  EXPECT_FALSE(result->isMutable());
  EXPECT_TRUE(FastJSONDeserializing::mutableObjectFromJSONString(text.get())->isMutable());
  Ref<kit::Error> error;
  auto bad = kit::str("[1,]");
  EXPECT_FALSE(FastJSONDeserializing::objectFromJSONStringWithParseOptions(bad.get(), 0, &error));
  EXPECT_EQ(error->localizedDescription(), "Unexpected ']'.");
  auto data = kit::Data::dataWithString("[1] x");
  EXPECT_TRUE(FastJSONDeserializing::objectFromJSONDataWithParseOptions(data.get(), FJParseOptionAllowTrailingText));
  EXPECT_FALSE(FastJSONDeserializing::objectFromJSONData(data.get()));
  auto list = kit::Data::dataWithString("[1]");
  ASSERT_TRUE(FastJSONDeserializing::mutableObjectFromJSONData(list.get()));
  EXPECT_TRUE(FastJSONDeserializing::mutableObjectFromJSONData(list.get())->isMutable());
  EXPECT_FALSE(FastJSONDeserializing::objectFromJSONData(list.get())->isMutable());
  EXPECT_FALSE(FastJSONDeserializing::objectFromJSONString(nullptr));
  auto empty = kit::Data::dataWithString("");
  EXPECT_FALSE(FastJSONDeserializing::mutableObjectFromJSONDataWithParseOptions(empty.get(), 0, &error));
  EXPECT_EQ(error->localizedDescription(), "Reached the end of the buffer.");
}

TEST(JSONDecoderCache, RepeatedValuesAreTheSameObjectsWithinAndAcrossParses) {
  auto decoder = JSONDecoder::decoder();
  std::string text = R"([{"name":"alpha","n":12},{"name":"alpha","n":12},"alpha",12.5,12.5,-7,-7])";
  auto first = decoder->objectWithUTF8String(text.data(), text.size());
  auto* a = static_cast<kit::Array*>(first.get());
  auto* d0 = a->get<kit::Dictionary>(0);
  auto* d1 = a->get<kit::Dictionary>(1);
  EXPECT_EQ(d0->objectForKey("name"), d1->objectForKey("name"));
  EXPECT_EQ(d0->objectForKey("name"), a->objectAtIndex(2));
  EXPECT_EQ(d0->objectForKey("n"), d1->objectForKey("n"));
  EXPECT_EQ(a->objectAtIndex(3), a->objectAtIndex(4));
  EXPECT_EQ(a->objectAtIndex(5), a->objectAtIndex(6));
  d0->enumerate([&](kit::Object* k0, kit::Object*, bool&) {
    bool same = false;
    d1->enumerate([&](kit::Object* k1, kit::Object*, bool&) { same = same || k0 == k1; });
    EXPECT_TRUE(same) << "key " << k0->description() << " not shared";
  });

  auto second = decoder->objectWithUTF8String(text.data(), text.size());
  EXPECT_TRUE(second->isEqual(first.get()));
  EXPECT_EQ(static_cast<kit::Array*>(second.get())->objectAtIndex(2), a->objectAtIndex(2));
  // A value decoded through escapes is the same value as the plain one.
  std::string escaped = R"(["alpha"])";
  auto third = decoder->objectWithUTF8String(escaped.data(), escaped.size());
  EXPECT_EQ(static_cast<kit::Array*>(third.get())->objectAtIndex(0), a->objectAtIndex(2));

  decoder->clearCache();
  auto fourth = decoder->objectWithUTF8String(text.data(), text.size());
  EXPECT_NE(static_cast<kit::Array*>(fourth.get())->objectAtIndex(2), a->objectAtIndex(2));
  // Values that are only equal by number are not confused: 1, 1.0 and -0.0 / 0.0 stay apart.
  std::string numbers = "[1,1.0,-0.0,0.0]";
  auto n = decoder->objectWithUTF8String(numbers.data(), numbers.size());
  auto* na = static_cast<kit::Array*>(n.get());
  EXPECT_EQ(static_cast<kit::Number*>(na->objectAtIndex(0))->typeLetter(), 'q');
  EXPECT_EQ(static_cast<kit::Number*>(na->objectAtIndex(1))->typeLetter(), 'd');
  EXPECT_TRUE(std::signbit(static_cast<kit::Number*>(na->objectAtIndex(2))->doubleValue()));
  EXPECT_FALSE(std::signbit(static_cast<kit::Number*>(na->objectAtIndex(3))->doubleValue()));
}

// The cache keeps the values it holds alive whatever the parse that made
// them drops: the earlier value of a repeated key, everything a failed parse
// made, the tree that trailing text refuses.
TEST(JSONDecoderCache, CachedValuesOutliveWhatTheirParseDrops) {
  const std::string dropped[] = {
      R"({"k":"dropped value one","k":2.5e-3})",
      R"([["dropped value one",2.5e-3],tru])",
      R"({"a":["dropped value one",2.5e-3]} x)",
  };
  for (const std::string& text : dropped) {
    auto decoder = JSONDecoder::decoder();
    auto value = decoder->objectWithUTF8String(text.data(), text.size());
    std::string again = R"(["dropped value one",2.5e-3,"dropped value one"])";
    auto second = decoder->objectWithUTF8String(again.data(), again.size());
    ASSERT_TRUE(second) << text;
    auto* a = static_cast<kit::Array*>(second.get());
    EXPECT_EQ(a->get<kit::String>(0)->str(), "dropped value one") << text;
    EXPECT_EQ(a->objectAtIndex(0), a->objectAtIndex(2)) << text;
    EXPECT_EQ(static_cast<kit::Number*>(a->objectAtIndex(1))->doubleValue(), 2.5e-3) << text;
  }
}

TEST(JSONDecoderCache, SlotsAgeAndAReplacedValueIsMadeAnew) {
  FJTokenCache cache;
  // Two different strings with the same cache hash probe the same slots.
  const unsigned char a[] = "aaaa", b[] = "bbbb";
  auto value = [](const unsigned char* bytes) {
    FJTokenValue v;
    v.ptr = bytes;
    v.length = 4;
    v.type = FJValueTypeString;
    v.hash = 77;
    return v;
  };
  size_t s0 = FJTokenCache::slotFor(77, 4, FJValueTypeString, 0);
  size_t s1 = FJTokenCache::slotFor(77, 4, FJValueTypeString, 1);

  FJTokenValue va = value(a);
  Ref<kit::Object> firstA = cache.cachedObject(va);
  EXPECT_EQ(va.cacheItem, &cache.item(s0));
  EXPECT_EQ(cache.age(s0), 0);
  EXPECT_EQ(firstA->retainCount(), 2);  // outside a parse the cache holds a reference of its own
  // A slot of age 0 is taken before the empty one behind it: b evicts a.
  FJTokenValue vb = value(b);
  Ref<kit::Object> firstB = cache.cachedObject(vb);
  EXPECT_EQ(cache.item(s0).object, firstB.get());
  EXPECT_EQ(cache.item(s1).object, nullptr);
  // a again is made anew and takes its slot back.
  va = value(a);
  Ref<kit::Object> secondA = cache.cachedObject(va);
  EXPECT_NE(secondA.get(), firstA.get());
  EXPECT_TRUE(secondA->isEqual(firstA.get()));
  EXPECT_EQ(cache.item(s0).object, secondA.get());
  // A hit makes the slot older than zero, so the next miss goes past it.
  va = value(a);
  EXPECT_EQ(cache.cachedObject(va).get(), secondA.get());
  EXPECT_EQ(cache.age(s0), 1);
  vb = value(b);
  Ref<kit::Object> secondB = cache.cachedObject(vb);
  EXPECT_EQ(cache.age(s0), 0);  // halved on the way
  EXPECT_EQ(cache.item(s1).object, secondB.get());
  va = value(a);
  vb = value(b);
  EXPECT_EQ(cache.cachedObject(va).get(), secondA.get());
  EXPECT_EQ(cache.cachedObject(vb).get(), secondB.get());

  cache.clear();
  EXPECT_EQ(cache.item(s0).object, nullptr);
  EXPECT_EQ(cache.age(s0), 0);
  EXPECT_EQ(secondA->retainCount(), 1);  // the cache let go of its reference
}

// The word-at-a-time hashes must equal the byte-at-a-time fold they stand
// for: a string's bytes, and a number's type (with an integer's low 32 bits)
// and then the eight bytes of its value, lowest first.
TEST(JSONDecoderCache, WordHashesEqualTheByteFold) {
  std::mt19937_64 rng(3);
  for (int round = 0; round < 2000; ++round) {
    uint64_t bits = rng();
    uint32_t h = static_cast<uint32_t>(rng());
    for (int n = 0; n <= 8; ++n) {  // none at all too: the string scanner folds what may be an empty run
      uint32_t folded = h;
      for (int i = 0; i < n; ++i) folded = FJTokenCache::hashStep(folded, static_cast<unsigned char>(bits >> (8 * i)));
      ASSERT_EQ(FJTokenCache::hashBytes(h, bits, n), folded) << n;
    }
    for (FJValueType type : {FJValueTypeLongLong, FJValueTypeUnsignedLongLong, FJValueTypeDouble}) {
      uint32_t folded = FJTokenCache::kHashSeed + type;
      if (type != FJValueTypeDouble) folded += static_cast<uint32_t>(bits);
      for (int i = 0; i < 8; ++i) folded = FJTokenCache::hashStep(folded, static_cast<unsigned char>(bits >> (8 * i)));
      ASSERT_EQ(FJTokenCache::hashNumber(type, bits), folded) << type;
    }
  }
}

// A parsed string's cache hash is the byte fold of its decoded text, however
// the scanner met it: plain runs shorter and longer than a scanner word,
// characters beyond ASCII, and escapes of every kind between them.
TEST(JSONDecoderCache, ParsedStringsHashAsTheByteFoldOfTheirText) {
  const char* const pieces[] = {"a", "plain", "0123456789abcdefghij", "caf\xc3\xa9", "\xf0\x9f\x98\x80",
                                "\\n", "\\u00e9", "\\u4e2d", "\\ud83d\\ude00", "\\\"", "\\u0041"};
  const size_t kinds = sizeof pieces / sizeof pieces[0];
  std::string text = "[";
  for (size_t length = 1; length <= 40; ++length) {
    for (size_t start = 0; start < kinds; ++start) {
      text += text.size() > 1 ? ",\"" : "\"";
      for (size_t i = 0; i < length % 7 + 1; ++i) text += pieces[(start + i * length) % kinds];
      text += std::string(length, 'x') + "\"";
    }
  }
  text += "]";
  auto decoder = JSONDecoder::decoder();
  ASSERT_TRUE(decoder->objectWithUTF8String(text.data(), text.size()));
  const FJTokenCache& cache = decoder->parseState()->cache();
  size_t checked = 0;
  for (size_t slot = 0; slot < FJTokenCache::kSlots; ++slot) {
    const FJTokenCacheItem& item = cache.item(slot);
    if (!item.object || item.type != FJValueTypeString) continue;
    uint32_t folded = FJTokenCache::kHashSeed;
    for (unsigned char c : static_cast<const kit::String*>(item.object)->view()) folded = FJTokenCache::hashStep(folded, c);
    EXPECT_EQ(item.hash, folded) << static_cast<const kit::String*>(item.object)->str();
    ++checked;
  }
  EXPECT_GT(checked, 300u);
}

TEST(JSONDecoderCache, KeysWhoseCacheHashesCollideStayDistinct) {
  // "Aa" and "B@" fold to the same cache hash, so strings of as many pairs
  // (and the same tail) collide in the cache; each must still come back as
  // itself, short or long, whichever of its bytes differ.
  std::vector<std::string> keys, round = {""};
  for (int pairs = 1; pairs <= 10; ++pairs) {
    std::vector<std::string> next;
    for (auto& k : round) {
      next.push_back(k + "Aa");
      next.push_back(k + "B@");
    }
    round.swap(next);
    for (auto& k : round) {
      keys.push_back(k);
      keys.push_back(k + "z");
    }
  }
  std::string text = "{";
  for (size_t i = 0; i < keys.size(); ++i) text += (i ? ",\"" : "\"") + keys[i] + "\":" + std::to_string(i);
  text += "}";
  auto decoder = JSONDecoder::decoder();
  auto result = decoder->objectWithUTF8String(text.data(), text.size());
  auto* d = kit::cast<kit::Dictionary>(result);
  ASSERT_TRUE(d);
  ASSERT_EQ(d->count(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i)
    ASSERT_EQ(static_cast<kit::Number*>(d->objectForKey(keys[i]))->integerValue(), static_cast<long>(i));
}

// Decimals of 17 to 19 digits that lie within a hair of a halfway point
// between two doubles, on either side, and exactly on one: the rounding
// direction is all that is tested.
TEST(JSONDecoder, LongMantissasNextToHalfwayPointsRoundCorrectly) {
  std::mt19937_64 rng(23);
  std::vector<std::string> texts;
  for (int i = 0; i < 4000; ++i) {
    double x = std::ldexp(1.0 + static_cast<double>(rng() >> 12) / 4503599627370496.0, static_cast<int>(rng() % 90) - 30);
    // The halfway point has 54 bits: exact in the x87 format, and so printed exactly rounded.
    long double tie = (static_cast<long double>(x) + std::nextafter(x, 2 * x)) / 2;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Le", 16 + static_cast<int>(rng() % 3), tie);
    std::string text = buf;
    texts.push_back(text);
    // The neighbours one unit away in the last digit, on the other side of the point.
    size_t e = text.find('e');
    for (int step : {-1, 1}) {
      std::string t = text;
      int pos = static_cast<int>(e) - 1;
      while (pos >= 0 && (t[pos] == (step > 0 ? '9' : '0') || t[pos] == '.')) {
        if (t[pos] != '.') t[pos] = step > 0 ? '0' : '9';
        --pos;
      }
      if (pos < 0 || (pos == 0 && step < 0 && t[0] == '1')) continue;
      t[pos] = static_cast<char>(t[pos] + step);
      texts.push_back(t);
    }
  }
  std::string doc = "[";
  for (const auto& t : texts) doc += (doc.size() > 1 ? "," : "") + t;
  doc += "]";
  Ref<kit::Error> error;
  auto result = JSONDecoder::decoder()->objectWithUTF8String(doc.data(), doc.size(), &error);
  auto* array = kit::cast<kit::Array>(result);
  ASSERT_TRUE(array) << (error ? error->localizedDescription() : "");
  ASSERT_EQ(array->count(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    double expected = 0;
    std::from_chars(texts[i].data(), texts[i].data() + texts[i].size(), expected);
    double got = kit::cast<kit::Number>(array->objectAtIndex(i))->doubleValue();
    ASSERT_EQ(std::memcmp(&got, &expected, 8), 0) << texts[i];
  }
}

TEST(JSONDecoder, RandomNumbersMatchTheStandardConversionBitForBit) {
  std::mt19937_64 rng(11);
  auto digits = [&](int n, bool leadingNonZero) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + (i == 0 && leadingNonZero ? 1 + rng() % 9 : rng() % 10));
    return s;
  };
  auto decoder = JSONDecoder::decoder();
  for (int round = 0; round < 20000; ++round) {
    std::string text = rng() % 3 == 0 ? "-" : "";
    int intLen = 1 + static_cast<int>(rng() % 22);
    text += rng() % 5 == 0 ? "0" : digits(intLen, true);
    bool isFloat = false;
    if (rng() % 2) {
      text += "." + digits(1 + static_cast<int>(rng() % 20), false);
      isFloat = true;
    }
    if (rng() % 3 == 0) {
      text += (rng() % 2 ? "e" : "E");
      text += rng() % 2 ? "-" : (rng() % 2 ? "+" : "");
      text += std::to_string(rng() % 40);
      isFloat = true;
    }
    std::string doc = "[" + text + "]";
    kit::Ref<kit::Error> error;
    auto result = decoder->objectWithUTF8String(doc.data(), doc.size(), &error);
    const char* b = text.data();
    const char* e = b + text.size();
    if (isFloat || text == "-0") {
      double expected = 0;
      auto r = std::from_chars(b, e, expected);
      ASSERT_EQ(r.ec, std::errc()) << text;
      ASSERT_TRUE(result) << text << ": " << error->localizedDescription();
      double got = static_cast<kit::Number*>(static_cast<kit::Array*>(result.get())->objectAtIndex(0))->doubleValue();
      ASSERT_EQ(std::memcmp(&got, &expected, 8), 0) << text;
    } else if (text[0] == '-') {
      long long expected = 0;
      auto r = std::from_chars(b, e, expected);
      ASSERT_EQ(static_cast<bool>(result), r.ec == std::errc()) << text;
      if (result) {
        ASSERT_EQ(static_cast<kit::Number*>(static_cast<kit::Array*>(result.get())->objectAtIndex(0))->longLongValue(),
                  expected)
            << text;
      }
    } else {
      unsigned long long expected = 0;
      auto r = std::from_chars(b, e, expected);
      ASSERT_EQ(static_cast<bool>(result), r.ec == std::errc()) << text;
      if (result) {
        ASSERT_EQ(static_cast<kit::Number*>(static_cast<kit::Array*>(result.get())->objectAtIndex(0))
                      ->unsignedLongLongValue(),
                  expected)
            << text;
      }
    }
  }
}
