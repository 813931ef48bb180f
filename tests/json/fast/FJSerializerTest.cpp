#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "json/fast/FJSerializer.h"
#include "json/fast/FastJSONSerializing.h"
#include "json/fast/FastJSONSerializingBlockAdditions.h"
#include "json/fast/FJUnicode.h"
#include "json/fast/JSONDecoder.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using namespace tolva;
using namespace tolva::FastJSONSerializing;
using kit::Ref;

namespace {

Ref<kit::Array> arr(std::initializer_list<Ref<kit::Object>> items) { return Ref<kit::Array>(new kit::Array(items)); }

// The text of an array, or "error: <message>".
std::string write(const kit::Array* a, FJSerializeOptionFlags options = 0) {
  Ref<kit::Error> error;
  auto s = JSONStringWithOptions(a, options, &error);
  return s ? s->str() : "error: " + error->localizedDescription();
}

std::string one(Ref<kit::Object> item, FJSerializeOptionFlags options = 0) { return write(arr({item}), options); }

class Formatter : public kit::Object {
 public:
  kit::Ref<kit::Object> format(kit::Object* o) {
    ++calls;
    if (o->className() == "Date") return kit::str("a date");
    return nullptr;
  }
  int calls = 0;
};

class Stranger : public kit::Object {};

}  // namespace

TEST(FJSerializer, WritesEveryKindCompactly) {
  auto dict = kit::make<kit::Dictionary>(
      std::initializer_list<std::pair<std::string_view, Ref<kit::Object>>>{{"k", kit::str("v")}, {"n", kit::num(2)}});
  auto a = arr({kit::str("a"), kit::num(1), kit::num(-2), kit::num(0.5), kit::boolean(true), kit::boolean(false),
                Ref<kit::Object>(kit::Null::null()), dict, arr({})});
  EXPECT_EQ(write(a.get()), R"(["a",1,-2,0.5,true,false,null,{"k":"v","n":2},[]])");
  auto data = JSONData(a.get());
  EXPECT_EQ(data->toString(), write(a.get()));
}

TEST(FJSerializer, NumbersFollowTheirTypeLetter) {
  EXPECT_EQ(one(kit::Number::numberWithChar(1)), "[1]");  // a char is not a boolean
  EXPECT_EQ(one(kit::Number::numberWithChar(-5)), "[-5]");
  EXPECT_EQ(one(kit::Number::numberWithLongLong(INT64_MIN)), "[-9223372036854775808]");
  EXPECT_EQ(one(kit::Number::numberWithUnsignedLongLong(UINT64_MAX)), "[18446744073709551615]");
  EXPECT_EQ(one(kit::Number::numberWithUnsignedChar(255)), "[255]");
  EXPECT_EQ(one(kit::num(0.1)), "[0.10000000000000001]");
  EXPECT_EQ(one(kit::num(1e300)), "[1.0000000000000001e+300]");
  EXPECT_EQ(one(kit::num(-0.0)), "[-0]");
  EXPECT_EQ(one(kit::num(5e-324)), "[4.9406564584124654e-324]");
  EXPECT_EQ(one(kit::Number::numberWithFloat(0.5f)), "[0.5]");
  const std::string finite = "error: Floating point values must be finite.  JSON does not support NaN or Infinity.";
  EXPECT_EQ(one(kit::num(std::numeric_limits<double>::quiet_NaN())), finite);
  EXPECT_EQ(one(kit::num(-std::numeric_limits<double>::infinity())), finite);
  EXPECT_EQ(one(kit::Number::numberWithFloat(std::numeric_limits<float>::infinity())), finite);
}

TEST(FJSerializer, StringsAreEscapedAsTheOptionsSay) {
  EXPECT_EQ(one(kit::str("\"\\/\b\f\n\r\t\x01\x1f\x7f")), "[\"\\\"\\\\/\\b\\f\\n\\r\\t\\u0001\\u001f\x7f\"]");
  EXPECT_EQ(one(kit::str("a/b"), FJSerializeOptionEscapeSlash), R"(["a\/b"])");
  std::string text = "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80";
  EXPECT_EQ(one(kit::str(text)), "[\"" + text + "\"]");
  EXPECT_EQ(one(kit::str(text), FJSerializeOptionEscapeNonASCII), R"(["caf\u00e9 \u20ac \ud83d\ude00"])");
  EXPECT_EQ(one(kit::str(std::string("a\0b", 3))), "[\"a\\u0000b\"]");
  for (const char* bad : {"\xff", "a\xc3", "\xed\xa0\x80", "\xc0\x80"}) {
    EXPECT_EQ(one(kit::str(bad)), "error: Error converting UTF8.") << bad;
    EXPECT_EQ(one(kit::str(bad), FJSerializeOptionEscapeNonASCII), "error: Error converting UTF8.") << bad;
  }
  // A string on its own, with and without its quotes.
  auto s = kit::str("say \"hi\"\n");
  EXPECT_EQ(JSONString(s.get())->str(), R"("say \"hi\"\n")");
  EXPECT_EQ(JSONStringWithOptions(s.get(), 0, false)->str(), R"(say \"hi\"\n)");
  EXPECT_EQ(JSONDataWithOptions(s.get(), 0, false)->toString(), R"(say \"hi\"\n)");
}

TEST(FJSerializer, PrettyPrintingIndentsAndSortsKeys) {
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::num(1), "b");
  d->setObject(arr({kit::num(1), kit::num(2)}), "a");
  d->setObject(kit::str("z"), "B");
  EXPECT_EQ(JSONString(d.get())->str(), R"({"b":1,"a":[1,2],"B":"z"})");
  EXPECT_EQ(JSONStringWithOptions(d.get(), FJSerializeOptionPretty)->str(),
            "{\n  \"B\": \"z\",\n  \"a\": [\n    1,\n    2\n  ],\n  \"b\": 1\n}");
  EXPECT_EQ(JSONStringWithOptions(arr({}).get(), FJSerializeOptionPretty)->str(), "[\n  \n]");
}

TEST(FJSerializer, KeysMustBeStringsSortedOrNot) {
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::num(1), "a");
  d->setObject(kit::num(2), Ref<kit::Object>(kit::num(7)));
  for (FJSerializeOptionFlags options : {0u, unsigned{FJSerializeOptionPretty}}) {
    Ref<kit::Error> error;
    EXPECT_FALSE(JSONStringWithOptions(d.get(), options, &error));
    EXPECT_EQ(error->localizedDescription(), "Key must be a string object.");
    EXPECT_EQ(error->domain(), "FJErrorDomain");
    EXPECT_EQ(error->code(), -1);
  }
}

TEST(FJSerializer, RepeatedObjectsAreWrittenEachTime) {
  auto s = kit::str("repeated \"text\"");
  auto n = kit::num(42.5);
  auto inner = arr({s, n});
  auto a = arr({s, n, s, inner, inner, n});
  std::string once = R"("repeated \"text\"")";
  EXPECT_EQ(write(a.get()), "[" + once + ",42.5," + once + ",[" + once + ",42.5],[" + once + ",42.5],42.5]");
  std::string pretty = write(a.get(), FJSerializeOptionPretty);
  auto back = JSONDecoder::decoder()->objectWithUTF8String(pretty.data(), pretty.size());
  EXPECT_TRUE(back && back->isEqual(a.get())) << pretty;
  // A large repeated output moves to the heap and the cached spans stay right.
  auto big = kit::str(std::string(3000, 'x'));
  auto many = arr({big, big, big, big, big});
  std::string expected = "[";
  for (int i = 0; i < 5; ++i) expected += (i ? ",\"" : "\"") + std::string(3000, 'x') + "\"";
  EXPECT_EQ(JSONData(many.get())->toString(), expected + "]");
}

TEST(FJSerializer, UnsupportedObjectsGoToTheFormatter) {
  auto a = arr({kit::str("x"), kit::Date::date()});
  EXPECT_EQ(write(a.get()), "error: Unable to serialize object class Date.");
  auto viaBlock = FastJSONSerializingBlockAdditions::JSONStringWithOptions(
      a.get(), 0, [](kit::Object* o) -> Ref<kit::Object> { return kit::str("was " + o->className()); });
  EXPECT_EQ(viaBlock->str(), R"(["x","was Date"])");

  Ref<kit::Error> error;
  EXPECT_FALSE(FastJSONSerializingBlockAdditions::JSONDataWithOptions(
      a.get(), 0, [](kit::Object*) -> Ref<kit::Object> { return nullptr; }, &error));
  EXPECT_EQ(error->localizedDescription(), "Unable to serialize object class Date.");
  EXPECT_FALSE(FastJSONSerializingBlockAdditions::JSONDataWithOptions(
      a.get(), 0, [](kit::Object*) -> Ref<kit::Object> { return kit::Date::date(); }, &error));
  EXPECT_EQ(error->localizedDescription(),
            "Unable to serialize object class Date that was returned by the unsupported class formatter.  Original "
            "object class was Date.");
  // An answer that is a collection is written in full, its own members formatted again.
  auto nested = FastJSONSerializingBlockAdditions::JSONStringWithOptions(
      a.get(), 0, [](kit::Object* o) -> Ref<kit::Object> {
        return o->className() == "Date" ? Ref<kit::Object>(arr({kit::str("d"), kit::Null::null()})) : nullptr;
      });
  EXPECT_EQ(nested->str(), R"(["x",["d",null]])");

  auto formatter = kit::make<Formatter>();
  auto viaDelegate = JSONStringWithOptions(a.get(), 0, formatter.get(), &Formatter::format);
  EXPECT_EQ(viaDelegate->str(), R"(["x","a date"])");
  EXPECT_EQ(formatter->calls, 1);
}

TEST(FJSerializer, MisuseRaisesNamedExceptions) {
  auto a = arr({kit::num(1)});
  auto formatter = kit::make<Formatter>();
  auto stranger = kit::make<Stranger>();
  auto expectRaise = [](auto&& f, const char* message) {
    try {
      f();
      ADD_FAILURE() << "nothing raised";
    } catch (const kit::InvalidArgumentException& e) {
      EXPECT_STREQ(e.what(), message);
    }
  };
  expectRaise([&] { JSONDataWithOptions(a.get(), 0, formatter.get(), FJSelector()); },
              "The delegate argument is not NULL, but the selector argument is NULL.");
  expectRaise([&] { JSONDataWithOptions(a.get(), 0, stranger.get(), &Formatter::format); },
              "The serializeUnsupportedClassesUsingDelegate: delegate does not respond to the selector argument.");
  EXPECT_THROW(FJSerializer::serializeObject(a.get(), 0, FJEncodeOptionToData, [](kit::Object*) { return nullptr; },
                                             formatter.get(), &Formatter::format, nullptr),
               kit::InvalidArgumentException);
  EXPECT_THROW(FJSerializer::serializeObject(a.get(), 0, FJEncodeOptionToData | FJEncodeOptionStringObjTrimQuotes,
                                             {}, nullptr, {}, nullptr),
               kit::InvalidArgumentException);
}

TEST(FJSerializer, TheEncodeOptionDecidesWhatMayBeWritten) {
  Ref<kit::Error> error;
  auto s = kit::str("text");
  EXPECT_FALSE(FJSerializer::serializeObject(s.get(), 0, FJEncodeOptionToData | FJEncodeOptionCollectionObj, {},
                                             nullptr, {}, &error));
  EXPECT_EQ(error->localizedDescription(), "Unable to serialize object class String, expected a NSArray or NSDictionary.");
  auto a = arr({});
  EXPECT_FALSE(FJSerializer::serializeObject(a.get(), 0, FJEncodeOptionToString | FJEncodeOptionStringObj, {}, nullptr,
                                             {}, &error));
  EXPECT_EQ(error->localizedDescription(), "Unable to serialize object class Array, expected a NSString.");
  EXPECT_FALSE(FJSerializer::serializeObject(a.get(), 0, 3, {}, nullptr, {}, &error));
  EXPECT_EQ(error->localizedDescription(), "Unknown encode as type.");
  // Without a kind restriction any object is written on its own.
  auto n = FJSerializer::serializeObject(kit::num(7).get(), 0, FJEncodeOptionToString, {}, nullptr, {}, &error);
  EXPECT_EQ(static_cast<kit::String*>(n.get())->str(), "7");
  EXPECT_FALSE(error);
}

TEST(FJSerializer, DeepAndCyclicGraphsFailWithoutExhaustingTheStack) {
  Ref<kit::MutableArray> root = kit::MutableArray::array();
  kit::MutableArray* tip = root.get();
  for (int i = 1; i < 512; ++i) {
    auto next = kit::MutableArray::array();
    tip->addObject(next);
    tip = next.get();
  }
  EXPECT_EQ(write(root.get()).substr(0, 3), "[[[");
  tip->addObject(kit::MutableArray::array());
  EXPECT_EQ(write(root.get()), "error: Exceeded the maximum nesting depth of 512.");

  auto loop = kit::MutableArray::array();
  auto holder = kit::MutableDictionary::dictionary();
  holder->setObject(loop, "loop");
  loop->addObject(holder);
  EXPECT_EQ(write(loop.get()),
            "error: Unable to serialize an object graph that contains a cycle: a collection contains itself.");
  loop->removeAllObjects();  // break the cycle so both can go

  auto serializer = kit::make<FJSerializer>();
  serializer->setMaxDepth(2);
  Ref<kit::Error> error;
  auto deep = arr({arr({arr({})})});
  EXPECT_FALSE(serializer->serialize(deep.get(), 0, FJEncodeOptionToString, {}, nullptr, {}, &error));
  EXPECT_EQ(error->localizedDescription(), "Exceeded the maximum nesting depth of 2.");
}

TEST(FJSerializer, DecodedCollectionsWriteBackInTheirOwnOrder) {
  auto decoder = JSONDecoder::decoder();
  std::string text = R"({"z":[1,2.5,"s",{"y":null}],"a":true})";
  auto parsed = decoder->objectWithUTF8String(text.data(), text.size());
  auto written = JSONString(static_cast<kit::Dictionary*>(parsed.get()));
  auto again = decoder->objectWithUTF8String(written->UTF8String(), written->byteLength());
  EXPECT_TRUE(again->isEqual(parsed.get()));
  EXPECT_EQ(JSONStringWithOptions(static_cast<kit::Dictionary*>(parsed.get()), FJSerializeOptionPretty)->str(),
            "{\n  \"a\": true,\n  \"z\": [\n    1,\n    2.5,\n    \"s\",\n    {\n      \"y\": null\n    }\n  ]\n}");

  // A text of several MiB (its numbers of every stored kind) comes back whole, as data and as a string.
  std::string big = "[";
  for (int i = 0; big.size() < (size_t{3} << 20); ++i)
    big += std::to_string(i * 7919 - 500000) + ",18446744073709551615,-0.5," + std::to_string(i) + ".25,";
  big += "0]";
  auto numbers = decoder->objectWithUTF8String(big.data(), big.size());
  ASSERT_TRUE(numbers);
  auto* list = static_cast<kit::Array*>(numbers.get());
  Ref<kit::Data> data = JSONData(list);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->className(), "Data");
  EXPECT_TRUE(data->view() == big);
  EXPECT_TRUE(kit::cast<kit::Data>(data->mutableCopy())->view() == big);
  EXPECT_TRUE(JSONString(list)->str() == big);
}

namespace {

// The escaping rules written out plainly, one character at a time.
std::string referenceEscape(const std::string& text, FJSerializeOptionFlags options) {
  static const char* hex = "0123456789abcdef";
  auto u = [&](std::string& out, uint32_t unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex[(unit >> shift) & 15];
  };
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      int n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      if (options & FJSerializeOptionEscapeNonASCII) {
        uint32_t cp = FJUnicode::decode(reinterpret_cast<const unsigned char*>(text.data()) + i, n);
        if (cp > 0xFFFF) {
          u(out, 0xD800 + ((cp - 0x10000) >> 10));
          u(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
          u(out, cp);
        }
      } else {
        out += text.substr(i, static_cast<size_t>(n));
      }
      i += static_cast<size_t>(n);
      continue;
    }
    ++i;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '/': out += (options & FJSerializeOptionEscapeSlash) ? "\\/" : "/"; break;
      case 8: out += "\\b"; break;
      case 9: out += "\\t"; break;
      case 10: out += "\\n"; break;
      case 12: out += "\\f"; break;
      case 13: out += "\\r"; break;
      default:
        if (c < 0x20)
          u(out, c);
        else
          out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

TEST(FJSerializer, StringsOfEveryLengthMatchAPlainEscaper) {
  std::mt19937 rng(3);
  const char* pieces[] = {"a", "Z", " ", "\"", "\\", "/", "\n", "\x01", "\x1f", "\x7f", "\xc3\xa9", "\xe2\x82\xac",
                          "\xf0\x9f\x98\x80", "word", "0123456789abcdef"};
  for (int round = 0; round < 600; ++round) {
    std::string text;
    // Short strings, strings around the 16-byte steps, and long ones across the 64 KiB chunks.
    size_t target = round < 400 ? rng() % 80 : round < 580 ? rng() % 3000 : 60000 + rng() % 20000;
    while (text.size() < target) text += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
    for (FJSerializeOptionFlags options : {0u, unsigned{FJSerializeOptionEscapeSlash},
                                           unsigned{FJSerializeOptionEscapeNonASCII}}) {
      auto s = kit::str(text);
      auto written = JSONStringWithOptions(s.get(), options, true);
      ASSERT_TRUE(written);
      ASSERT_EQ(written->str(), referenceEscape(text, options)) << "round " << round << " options " << options;
    }
  }
}
