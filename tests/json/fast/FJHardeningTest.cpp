#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "json/fast/FJDictionary.h"
#include "json/fast/FJSerializer.h"
#include "json/fast/FJTokenCache.h"
#include "json/fast/FJTypes.h"
#include "json/fast/FastJSONSerializing.h"
#include "json/fast/FastJSONSerializingBlockAdditions.h"
#include "json/fast/JSONDecoder.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using namespace tolva;
using kit::Ref;

constexpr const char* kExpectedKeyOrder =
    R"({"foxtrot":6,"hotel":8,"juliett":10,"india":9,"kilo":11,"lima":12,"delta":4,"golf":7,"charlie":3,)"
    R"("alpha":1,"echo":5,"bravo":2})";

namespace {

// A string that is always made in the same room: the next one lands where
// the last one was freed, as a heap without quarantine would place it.
class ReusedString : public kit::String {
 public:
  using kit::String::String;
  static void* operator new(size_t size) {
    if (size > sizeof room) throw std::bad_alloc();
    return room;
  }
  static void operator delete(void*) noexcept {}
  alignas(std::max_align_t) static inline unsigned char room[sizeof(kit::String)];
};

std::string writeWithBlock(kit::Object* root, const FJSerializeBlock& block, FJSerializeOptionFlags options,
                           Ref<kit::Error>* error) {
  auto s = FJSerializer::serializeObject(root, options, FJEncodeOptionToString, block, nullptr, FJSelector(), error);
  return s ? kit::cast<kit::String>(s)->str() : "(null)";
}

}  // namespace

TEST(FJHardening, AnObjectMadeWhereAWrittenOneWasFreedIsWrittenAfresh) {
  auto inner = kit::MutableArray::array();
  inner->addObject(Ref<kit::Object>(new ReusedString("first")));
  auto root = kit::MutableArray::array();
  root->addObject(inner);
  root->addObject(kit::Date::date());
  Ref<kit::Error> error;
  std::string text = writeWithBlock(
      root.get(),
      [&](kit::Object*) -> Ref<kit::Object> {
        inner->removeAllObjects();  // frees "first"; "second" takes its room
        return Ref<kit::Object>(new ReusedString("second"));
      },
      0, &error);
  EXPECT_EQ(text, R"([["first"],"second"])");
}

TEST(FJHardening, AFormatterThatChangesACollectionIsReportedAsAnError) {
  for (FJSerializeOptionFlags options : {FJSerializeOptionNone, FJSerializeOptionPretty}) {
    SCOPED_TRACE(options);
    auto array = kit::MutableArray::array();
    array->addObject(kit::Date::date());
    array->addObject(kit::str("after"));
    Ref<kit::Error> error;
    std::string text;
    EXPECT_NO_THROW(text = writeWithBlock(
                        array.get(),
                        [&](kit::Object*) -> Ref<kit::Object> {
                          array->addObject(kit::str("more"));
                          return kit::str("date");
                        },
                        options, &error));
    EXPECT_EQ(text, "(null)");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), FJErrorDomain);
    EXPECT_EQ(error->localizedDescription(), "Collection was mutated while being serialized.");

    auto dict = kit::MutableDictionary::dictionary();
    dict->setObject(kit::Date::date(), "d");
    dict->setObject(kit::str("v"), "e");
    error = nullptr;
    EXPECT_NO_THROW(text = writeWithBlock(
                        dict.get(),
                        [&](kit::Object*) -> Ref<kit::Object> {
                          dict->setObject(kit::str("new"), "f");
                          return kit::str("date");
                        },
                        options, &error));
    EXPECT_EQ(text, "(null)");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), FJErrorDomain);
  }
}

// The same document gives the same text in every run: key order may not
// depend on anything drawn at start-up.
TEST(FJHardening, KeyOrderIsTheSameInEveryRun) {
  std::string doc = R"({"alpha":1,"bravo":2,"charlie":3,"delta":4,"echo":5,"foxtrot":6,"golf":7,"hotel":8,)"
                    R"("india":9,"juliett":10,"kilo":11,"lima":12})";
  auto decoder = JSONDecoder::decoder();
  auto value = decoder->objectWithUTF8String(doc.data(), doc.size());
  ASSERT_TRUE(value);
  auto text = FastJSONSerializing::JSONString(kit::cast<kit::Dictionary>(value));
  EXPECT_EQ(text->str(), kExpectedKeyOrder);
}

// Keys picked so that every one's home slot lies in the first few slots of
// the table: under the fixed key they would pile up in one long chain.
TEST(FJHardening, KeysCraftedToCollideAreStillFoundAndKeepTheirOrder) {
  constexpr size_t kKeys = 3000;
  const size_t capacity = FJDictionary::capacityForCount(kKeys);
  std::vector<std::string> keys;
  std::string doc = "{";
  for (size_t i = 0; keys.size() < kKeys; ++i) {
    std::string key = "k" + std::to_string(i);
    if (FJDictionary::hashForString(key) % capacity >= 16) continue;
    doc += (keys.empty() ? "\"" : ",\"") + key + "\":" + std::to_string(keys.size());
    keys.push_back(key);
  }
  doc += ",\"" + keys[7] + "\":-1}";  // a repeated key: the later value wins
  auto decoder = JSONDecoder::decoder();
  auto first = decoder->mutableObjectWithUTF8String(doc.data(), doc.size());
  auto* dict = kit::cast<FJDictionary>(first);
  ASSERT_TRUE(dict);
  EXPECT_TRUE(dict->hasOwnHashKey());
  EXPECT_EQ(dict->count(), kKeys);
  for (size_t i = 0; i < kKeys; ++i) {
    auto* n = kit::cast<kit::Number>(dict->objectForKey(keys[i]));
    ASSERT_TRUE(n) << keys[i];
    EXPECT_EQ(n->longLongValue(), i == 7 ? -1 : static_cast<long long>(i));
  }
  // Changes go on under the table's own key.
  dict->removeObjectForKey(std::string_view(keys[3]));
  dict->setObject(kit::num(99), kit::str("late"));
  EXPECT_FALSE(dict->objectForKey(keys[3]));
  EXPECT_EQ(kit::cast<kit::Number>(dict->objectForKey("late"))->longLongValue(), 99);
  EXPECT_EQ(kit::cast<kit::Number>(dict->objectForKey(kit::str(keys[4]).get()))->longLongValue(), 4);

  decoder->clearCache();
  auto again = JSONDecoder::decoder()->objectWithUTF8String(doc.data(), doc.size());
  auto once = JSONDecoder::decoder()->objectWithUTF8String(doc.data(), doc.size());
  EXPECT_EQ(FastJSONSerializing::JSONString(kit::cast<kit::Dictionary>(again))->str(),
            FastJSONSerializing::JSONString(kit::cast<kit::Dictionary>(once))->str());

  // Ordinary keys keep the fixed key.
  auto plain = JSONDecoder::decoder()->objectWithUTF8String(R"({"a":1,"b":2})", 13);
  EXPECT_FALSE(kit::cast<FJDictionary>(plain)->hasOwnHashKey());
}

// A string of eight bytes whose cache hash equals that of the eight-byte
// number "0.000000": same hash, same length, another type. The cache must
// still answer each with its own object.
TEST(FJHardening, AStringAndANumberWithTheSameCacheHashStayApart) {
  // Eight bytes b0..b7 hash to seed·33^8 + Σ b_i·33^(7-i); a number to hashNumber.
  const uint32_t target = FJTokenCache::hashNumber(FJValueTypeDouble, 0);
  const uint32_t rest = target - FJTokenCache::kHashSeed * 33u * 33u * 33u * 33u * 33u * 33u * 33u * 33u;
  // Base-33 digits of rest + k·2^32, for the first k that needs no zero byte (\u0000 is refused).
  unsigned char bytes[8] = {};
  bool found = false;
  for (uint64_t k = 0; k < 300 && !found; ++k) {
    uint64_t n = rest + (k << 32);
    found = true;
    for (int i = 7; i >= 0; --i) {
      bytes[i] = static_cast<unsigned char>(n % 33);
      found = found && bytes[i] != 0;
      n /= 33;
    }
    found = found && n == 0;
  }
  ASSERT_TRUE(found);
  uint32_t h = FJTokenCache::kHashSeed;
  for (unsigned char b : bytes) h = FJTokenCache::hashStep(h, b);
  ASSERT_EQ(h, target);
  std::string doc = "[\"";
  for (unsigned char b : bytes) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", b);
    doc += escape;
  }
  doc += "\",0.000000,0.000000]";
  Ref<kit::Error> error;
  auto value = JSONDecoder::decoder()->objectWithUTF8String(doc.data(), doc.size(), &error);
  auto* array = kit::cast<kit::Array>(value);
  ASSERT_TRUE(array) << doc << ": " << (error ? error->localizedDescription() : "");
  ASSERT_EQ(array->count(), 3u);
  EXPECT_EQ(kit::cast<kit::String>(array->objectAtIndex(0))->str().size(), 8u);
  for (size_t i = 1; i < 3; ++i) {
    auto* zero = kit::cast<kit::Number>(array->objectAtIndex(i));
    ASSERT_TRUE(zero) << "element " << i << " is " << array->objectAtIndex(i)->className();
    EXPECT_EQ(zero->doubleValue(), 0.0);
  }
}

TEST(FJHardening, DepthLimitsAreClampedToTheCeilingBothWays) {
  constexpr size_t kCeiling = 4096;  // the small codec's too
  auto nested = [](size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  auto decoder = JSONDecoder::decoder();
  auto serializer = kit::make<FJSerializer>();
  Ref<kit::Object> deepest = kit::Array::array();  // kCeiling + 1 arrays
  for (size_t i = 0; i < kCeiling; ++i) deepest = Ref<kit::Object>(new kit::Array({deepest}));
  // 0 is no limit of the caller's, and a huge one is more than the stack holds: both give the ceiling.
  for (size_t asked : {size_t{0}, size_t{1} << 40}) {
    SCOPED_TRACE(asked);
    decoder->setMaxDepth(asked);
    serializer->setMaxDepth(asked);
    EXPECT_EQ(decoder->maxDepth(), kCeiling);
    const std::string ok = nested(kCeiling), tooDeep = nested(kCeiling + 1);
    EXPECT_TRUE(decoder->objectWithUTF8String(ok.data(), ok.size()));
    Ref<kit::Error> error;
    EXPECT_FALSE(decoder->objectWithUTF8String(tooDeep.data(), tooDeep.size(), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), "Exceeded the maximum nesting depth of 4096.");
    error = nullptr;
    EXPECT_TRUE(serializer->serialize(kit::Array::array().get(), 0, FJEncodeOptionToString, {}, nullptr, {}, &error));
    EXPECT_FALSE(serializer->serialize(deepest.get(), 0, FJEncodeOptionToString, {}, nullptr, {}, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), "Exceeded the maximum nesting depth of 4096.");
  }
}
