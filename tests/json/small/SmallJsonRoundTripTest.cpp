// Whole-codec tests: random trees through writer and parser, a corpus of
// broken inputs, and the facade and one-call helpers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <string>

#include "json/small/NSObject_SmallJSON.h"
#include "json/small/NSString_SmallJSON.h"
#include "json/small/SmallJSON.h"
#include "json/small/SmallJsonParser.h"
#include "json/small/SmallJsonTestSupport.h"
#include "json/small/SmallJsonWriter.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/DecimalNumber.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Null.h"

using namespace smalljsontest;
using tolva::SmallJSON;

namespace {

class TreeMaker {
 public:
  explicit TreeMaker(unsigned seed) : rng_(seed) {}

  kit::Ref<kit::Object> container(int depth) {
    return pick(2) ? array(depth) : dictionary(depth);
  }

  std::string text() {
    static const char* const pieces[] = {"a", "Z", " ", "\"", "\\", "/", "\n", "\t", "\x01", "\x1f", "\x7f",
                                         "\xc3\xa9", "\xe2\x82\xac", "\xef\xbf\xbf", "\xf0\x9f\x98\x80",
                                         "\xf4\x8f\xbf\xbf"};
    std::string s;
    for (int n = pick(8); n > 0; --n) s += pieces[pick(std::size(pieces))];
    if (pick(20) == 0) s.push_back('\0');
    return s;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  int pick(size_t n) { return pick(static_cast<int>(n)); }

  kit::Ref<kit::Object> array(int depth) {
    auto a = kit::MutableArray::array();
    for (int n = pick(5); n > 0; --n) a->addObject(value(depth + 1));
    return a;
  }

  kit::Ref<kit::Object> dictionary(int depth) {
    auto d = kit::MutableDictionary::dictionary();
    for (int n = pick(5); n > 0; --n) d->setObject(value(depth + 1), text());
    return d;
  }

  kit::Ref<kit::Object> value(int depth) {
    switch (pick(depth > 6 ? 7 : 9)) {
      case 0: return kit::str(text());
      case 1: return kit::Number::numberWithBool(pick(2));
      case 2: return kit::Null::null();
      case 3: return kit::Number::numberWithLongLong(std::uniform_int_distribution<long long>(
                  -(1LL << 53), 1LL << 53)(rng_));
      case 4: {
        // Finite doubles of every magnitude, subnormals included.
        double d;
        do {
          uint64_t bits = rng_();
          std::memcpy(&d, &bits, sizeof d);
        } while (!std::isfinite(d));
        return kit::num(d);
      }
      case 5:
      case 6: {
        unsigned __int128 m = 0;
        for (int n = 1 + pick(38); n > 0; --n) m = m * 10 + static_cast<unsigned>(pick(10));
        return kit::DecimalNumber::decimalNumberWithMantissa(m, pick(120) - 80, pick(2));
      }
      case 7: return array(depth);
      default: return dictionary(depth);
    }
  }

  std::mt19937_64 rng_;
};

}  // namespace

TEST(SmallJsonRoundTrip, RandomTrees) {
  SmallJSON json;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    TreeMaker maker(seed);
    auto tree = maker.container(0);
    json.setHumanReadable(seed % 3 == 0);
    json.setSortKeys(seed % 2 == 0);
    kit::Ref<kit::Error> error;
    auto text = json.stringWithObject(tree, &error);
    ASSERT_TRUE(text) << seed << ": " << (error ? error->localizedDescription() : "");
    auto back = json.objectWithString(text, &error);
    ASSERT_TRUE(back) << seed << ": " << (error ? error->localizedDescription() : "") << "\n" << text->str();
    EXPECT_TRUE(back->isEqual(tree)) << seed << "\n" << text->str();
    // Once parsed, a tree writes back to the same text.
    json.setSortKeys(false);
    auto again = json.stringWithObject(back);
    ASSERT_TRUE(again);
    EXPECT_EQ(json.stringWithObject(json.objectWithString(again))->str(), again->str()) << seed;
  }
}

TEST(SmallJsonRoundTrip, ExactDecimals) {
  SmallJSON json;
  const std::pair<const char*, const char*> cases[] = {
      {"[0.1,0.2,0.30000000000000004]", nullptr},
      {"[12345678901234567890123456789012345678,-0.12345678901234567890123456789012345678]", nullptr},
      {"[18446744073709551616,-9223372036854775809,5e-324]", nullptr},
      {"{\"price\":19.99,\"qty\":3,\"rate\":1E-7}", "{\"price\":19.99,\"qty\":3,\"rate\":0.0000001}"},
      // Far from 1, decimals are written as digits and an exponent: the same value.
      {"[1.7976931348623157e308,-2.5e-300]", "[17976931348623157e292,-25e-301]"},
  };
  for (const auto& [in, out] : cases) {
    auto tree = json.objectWithString(in);
    ASSERT_TRUE(tree) << in;
    auto text = json.stringWithObject(tree);
    EXPECT_EQ(text->str(), out ? out : in);
    EXPECT_TRUE(json.objectWithString(text)->isEqual(tree)) << in;
  }
}

TEST(SmallJsonRoundTrip, TruncatedDocumentsFailWithTheFirstError) {
  const std::string doc = R"({"ab":[1.5,"x\u00e9"],"t":true})";
  struct Cut {
    size_t length;
    Trace trace;
  };
  const std::pair<long, std::string> inArray{3, "Expected value while parsing array"};
  const std::pair<long, std::string> inMember{3, "Object value expected for key: ab"};
  const std::pair<long, std::string> brokenEscape[] = {
      {6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, {6, "Broken unicode character"}};
  const Cut cuts[] = {
      {0, {{11, "Unexpected end of string"}}},
      {1, {{11, "End of input while parsing object"}}},
      {2, {{11, "Unexpected EOF while parsing string"}, {3, "Object key string expected"}}},
      {5, {{3, "Expected ':' separating key and value"}}},
      {6, {{11, "Unexpected end of string"}, inMember}},
      {7, {{11, "End of input while parsing array"}, inMember}},
      {8, {{11, "End of input while parsing array"}, inMember}},
      {9, {{2, "No digits after decimal point"}, inArray, inMember}},
      {11, {{11, "End of input while parsing array"}, inMember}},
      {12, {{11, "Unexpected EOF while parsing string"}, inArray, inMember}},
      {14, {{11, "Unexpected EOF while parsing string"}, inArray, inMember}},
      {15, {brokenEscape[0], brokenEscape[1], brokenEscape[2], inArray, inMember}},
      {18, {brokenEscape[0], brokenEscape[1], brokenEscape[2], inArray, inMember}},
      {20, {{11, "End of input while parsing array"}, inMember}},
      {21, {{11, "End of input while parsing object"}}},
      {22, {{11, "End of input while parsing object"}}},
      {23, {{11, "Unexpected EOF while parsing string"}, {3, "Object key string expected"}}},
      {25, {{3, "Expected ':' separating key and value"}}},
      {26, {{11, "Unexpected end of string"}, {3, "Object value expected for key: t"}}},
      {29, {{3, "Expected 'true'"}, {3, "Object value expected for key: t"}}},
      {30, {{11, "End of input while parsing object"}}},
  };
  ASSERT_EQ(doc.size(), 31u);
  kit::Ref<tolva::SmallJsonParser> parser(new tolva::SmallJsonParser());
  for (const auto& cut : cuts) {
    EXPECT_FALSE(parser->objectWithString(std::string_view(doc).substr(0, cut.length)));
    EXPECT_EQ(traceOf(*parser), cut.trace) << doc.substr(0, cut.length);
  }
  // Every other cut fails too, with a well-formed trace.
  for (size_t n = 0; n < doc.size(); ++n) {
    EXPECT_FALSE(parser->objectWithString(std::string_view(doc).substr(0, n))) << n;
    EXPECT_TRUE(wellFormedTrace(*parser)) << n;
  }
  EXPECT_TRUE(parser->objectWithString(doc));
}

TEST(SmallJsonRoundTrip, MutatedDocumentsNeverCrash) {
  // Bytes that matter to the grammar, plus some it never allows.
  const char interesting[] = {'"', '\\', '[', ']', '{', '}', ',', ':', '0', '-', '+', '.', 'e', 'u', 'd', 't',
                              'n', ' ', '\0', '\x01', '\x7f', '\x80', '\xc3', '\xed', '\xf4', '\xff'};
  SmallJSON json;
  std::mt19937 rng(7);
  size_t parsed = 0;
  for (unsigned seed = 1; seed <= 60; ++seed) {
    TreeMaker maker(1000 + seed);
    std::string doc = json.stringWithObject(maker.container(0))->str();
    for (int round = 0; round < 60; ++round) {
      std::string text = doc;
      for (int edits = 1 + static_cast<int>(rng() % 3); edits > 0 && !text.empty(); --edits) {
        size_t at = rng() % text.size();
        switch (rng() % 3) {
          case 0: text[at] = interesting[rng() % sizeof interesting]; break;
          case 1: text.erase(at, 1 + rng() % 4); break;
          default: text.insert(at, 1, interesting[rng() % sizeof interesting]);
        }
      }
      kit::Ref<kit::Error> error;
      auto value = json.fragmentWithString(text, &error);
      if (!value) {
        ASSERT_TRUE(error) << text;
        EXPECT_TRUE(wellFormedTrace(json)) << text;
        EXPECT_EQ(error.get(), json.errorTrace()->lastObject());
        continue;
      }
      ++parsed;
      // What was accepted writes back and reads as the same value.
      auto again = json.stringWithFragment(value, &error);
      ASSERT_TRUE(again) << text;
      auto back = json.fragmentWithString(again, &error);
      ASSERT_TRUE(back) << again->str();
      EXPECT_TRUE(back->isEqual(value)) << text;
    }
  }
  EXPECT_GT(parsed, 0u);
}

TEST(SmallJsonRoundTrip, DeepestNestingIsSafeToBuildAndFree) {
  // Parse, write and free trees and error chains at the ceiling.
  SmallJSON json;
  json.setMaxDepth(0);
  constexpr size_t ceiling = tolva::SmallJsonBase::kDepthCeiling;
  auto tree = json.objectWithString(nested(ceiling / 2, "{\"k\":[", "]}"));
  ASSERT_TRUE(tree);
  auto text = json.stringWithObject(tree);
  ASSERT_TRUE(text);
  tree = nullptr;
  kit::Ref<kit::Error> error;
  {
    SmallJSON other;
    other.setMaxDepth(0);
    EXPECT_FALSE(other.objectWithString(std::string(ceiling + 1, '['), &error));
    EXPECT_EQ(other.errorTrace()->count(), ceiling + 1);
  }
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 3);
  error = nullptr;  // the caller drops the last link of the chain
}

TEST(SmallJsonFacade, ForwardsAndReports) {
  SmallJSON json;
  EXPECT_EQ(json.maxDepth(), 512u);
  json.setMaxDepth(2);
  EXPECT_EQ(json.maxDepth(), 2u);
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(json.objectWithString("[[[1]]]", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), "org.tarnholt.JSON.ErrorDomain");
  EXPECT_EQ(error->code(), 3);
  ASSERT_TRUE(error->underlyingError());
  EXPECT_EQ(error->underlyingError()->underlyingError()->localizedDescription(), "Nested too deep");
  EXPECT_EQ(traceOf(json).size(), 3u);
  EXPECT_TRUE(json.errorTrace()->isMutable());
  auto deep = json.objectWithString("[[1]]");
  ASSERT_TRUE(deep);
  EXPECT_FALSE(json.stringWithObject(kit::Ref<kit::Object>(new kit::MutableArray({deep})), &error));
  EXPECT_EQ(error->localizedDescription(), "Nested too deep");

  json.setHumanReadable(true);
  json.setSortKeys(true);
  EXPECT_TRUE(json.humanReadable());
  EXPECT_TRUE(json.sortKeys());
  EXPECT_EQ(json.stringWithObject(json.objectWithString(R"({"b":1,"a":2})"))->str(),
            "{\n  \"a\" : 2,\n  \"b\" : 1\n}");

  // Scalars only where allowed.
  error = nullptr;
  EXPECT_FALSE(json.objectWithString(kit::str("1"), &error));
  EXPECT_EQ(error->code(), 4);
  EXPECT_TRUE(json.fragmentWithString(kit::str("1"), &error));
  EXPECT_TRUE(json.objectWithString("1", true, &error));
  EXPECT_FALSE(json.stringWithObject(kit::num(1), &error));
  EXPECT_EQ(error->localizedDescription(), "Not valid type for JSON");
  EXPECT_EQ(json.stringWithFragment(kit::num(1), &error)->str(), "1");
  EXPECT_FALSE(json.objectWithString(static_cast<const kit::String*>(nullptr), true, &error));
  EXPECT_EQ(error->code(), 12);
  // No out-parameter needed.
  EXPECT_FALSE(json.objectWithString("["));
  EXPECT_EQ(traceOf(json), (Trace{{11, "End of input while parsing array"}}));
}

TEST(SmallJsonFacade, OneCallHelpers) {
  using namespace tolva;
  auto value = NSString_SmallJSON::JSONValue(kit::str(R"({"a":[true]})"));
  ASSERT_TRUE(value);
  EXPECT_EQ(NSObject_SmallJSON::JSONRepresentation(value)->str(), R"({"a":[true]})");
  EXPECT_FALSE(NSString_SmallJSON::JSONValue(kit::str("1")));
  EXPECT_FALSE(NSString_SmallJSON::JSONValue(nullptr));
  EXPECT_TRUE(NSString_SmallJSON::JSONFragmentValue(kit::str("1")));
  EXPECT_FALSE(NSObject_SmallJSON::JSONRepresentation(kit::str("s")));
  EXPECT_EQ(NSObject_SmallJSON::JSONFragment(kit::str("s"))->str(), "\"s\"");
}
