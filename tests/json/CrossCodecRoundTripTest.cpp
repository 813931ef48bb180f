// The two codecs read each other's output: a document goes through the fast
// codec and then the small one (and back) and comes out as the same tree.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "json/fast/FJSerializer.h"
#include "json/fast/JSONDecoder.h"
#include "json/small/SmallJSON.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/String.h"

namespace {

// Random documents with what both codecs hold exactly: integers within a
// double's exact range, binary fractions, escapes, non-ASCII and nesting.
class DocumentMaker {
 public:
  explicit DocumentMaker(unsigned seed) : rng_(seed) {}

  std::string container(int depth) { return pick(2) ? array(depth) : object(depth); }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string string() {
    static const char* const pieces[] = {"a", "Z", " ", "\\\"", "\\\\", "\\/", "\\n", "\\t", "\\u0001",
                                         "\\u00e9", "\xc3\xa9", "\xe2\x82\xac", "\\ud83d\\ude00",
                                         "\xf0\x9f\x98\x80", "\\u20ac", "key"};
    std::string s = "\"";
    for (int n = pick(6); n > 0; --n) s += pieces[pick(static_cast<int>(std::size(pieces)))];
    return s + "\"";
  }

  std::string number() {
    switch (pick(3)) {
      case 0: return std::to_string(std::uniform_int_distribution<long long>(-(1LL << 53), 1LL << 53)(rng_));
      case 1: return std::to_string(pick(2000) - 1000) + "." + std::to_string(pick(2) ? 5 : 25);
      default: return std::to_string(pick(100)) + "e" + std::to_string(pick(10));
    }
  }

  std::string value(int depth) {
    switch (pick(depth > 5 ? 6 : 8)) {
      case 0: return string();
      case 1: return number();
      case 2: return "true";
      case 3: return "false";
      case 4: return "null";
      case 5: return string();
      case 6: return array(depth);
      default: return object(depth);
    }
  }

  std::string array(int depth) {
    std::string s = "[";
    for (int n = pick(5), i = 0; i < n; ++i) s += (i ? "," : "") + value(depth + 1);
    return s + "]";
  }

  std::string object(int depth) {
    std::string s = "{";
    // Keys unique within the object: a repeated key keeps one value, in either codec.
    for (int n = pick(5), i = 0; i < n; ++i) s += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":" + value(depth + 1);
    return s + "}";
  }

  std::mt19937 rng_;
};

kit::Ref<kit::Object> fastRead(std::string_view text) {
  return tolva::JSONDecoder::decoder()->objectWithUTF8String(text.data(), text.size());
}

std::string fastWrite(kit::Object* tree) {
  kit::Ref<kit::Object> out = tolva::FJSerializer::serializeObject(
      tree, 0, tolva::FJEncodeOptionToString | tolva::FJEncodeOptionCollectionObj, {}, nullptr, {}, nullptr);
  auto* s = kit::cast<kit::String>(out.get());
  return s ? std::string(s->view()) : std::string();
}

}  // namespace

TEST(CrossCodecRoundTrip, EachCodecReadsWhatTheOtherWrote) {
  auto small = kit::make<tolva::SmallJSON>();
  for (unsigned seed = 1; seed <= 300; ++seed) {
    const std::string text = DocumentMaker(seed).container(0);
    SCOPED_TRACE(text);

    kit::Ref<kit::Object> fast = fastRead(text);
    ASSERT_TRUE(fast);
    kit::Ref<kit::Error> error;
    kit::Ref<kit::Object> smallTree = small->objectWithString(std::string_view(text), &error);
    ASSERT_TRUE(smallTree) << (error ? error->description() : "");
    EXPECT_TRUE(fast->isEqual(smallTree.get()));

    // Fast tree → small writer → small parser.
    kit::Ref<kit::String> fromFast = small->stringWithObject(fast.get(), &error);
    ASSERT_TRUE(fromFast) << (error ? error->description() : "");
    kit::Ref<kit::Object> back = small->objectWithString(fromFast->view(), &error);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(fast.get()));

    // Small tree → fast serializer → fast decoder.
    const std::string fromSmall = fastWrite(smallTree.get());
    ASSERT_FALSE(fromSmall.empty());
    kit::Ref<kit::Object> again = fastRead(fromSmall);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->isEqual(smallTree.get()));
  }
}
