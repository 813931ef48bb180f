#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "json/fast/FJSerializer.h"
#include "json/fast/FJUnicode.h"
#include "json/fast/JSONDecoder.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using namespace tolva;
using kit::Ref;

namespace {

class TreeMaker {
 public:
  explicit TreeMaker(uint32_t seed) : rng_(seed) {}

  Ref<kit::Object> collection(int depth) { return pick(2) ? array(depth) : dictionary(depth); }

 private:
  uint32_t pick(uint32_t n) { return rng_() % n; }

  std::string text() {
    std::string s;
    size_t n = pick(4) == 0 ? pick(200) : pick(12);
    for (size_t i = 0; i < n; ++i) {
      uint32_t kind = pick(10);
      uint32_t cp;
      if (kind < 5)
        cp = 0x20 + pick(0x5F);  // printable ASCII, quotes and backslashes included
      else if (kind == 5)
        cp = pick(0x20);  // control characters
      else if (kind == 6)
        cp = 0x80 + pick(0x780);
      else if (kind == 7)
        cp = 0x800 + pick(0xD000);  // below the surrogates
      else if (kind == 8)
        cp = 0xE000 + pick(0x1DD0);
      else
        cp = 0x10000 + pick(0xFFFF0);
      if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE)
        cp = 'x';  // the decoder refuses these escaped; keep the tree writable and readable
      unsigned char buf[4];
      s.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(FJUnicode::encode(cp, buf)));
    }
    return s;
  }

  Ref<kit::Object> number() {
    switch (pick(9)) {
      case 0: return kit::Number::numberWithLongLong(static_cast<long long>(rng_()) - (1LL << 31));
      case 1: return kit::Number::numberWithLongLong(INT64_MIN + pick(3));
      case 2: return kit::Number::numberWithUnsignedLongLong(UINT64_MAX - pick(3));
      case 3: return kit::Number::numberWithInt(static_cast<int>(pick(200)) - 100);
      case 4: {
        uint64_t bits = (static_cast<uint64_t>(rng_()) << 32) | rng_();
        double d;
        std::memcpy(&d, &bits, 8);
        return kit::num(std::isfinite(d) ? d : 1.5);
      }
      case 5: return kit::num(pick(2) ? 5e-324 : -1.7976931348623157e308);
      case 6: return kit::num(pick(2) ? -0.0 : 0.1);
      case 7: return kit::Number::numberWithFloat(static_cast<float>(pick(1000)) / 8.0f);
      default: return kit::num((static_cast<double>(rng_()) - 2e9) / 1024.0);
    }
  }

  Ref<kit::Object> value(int depth) {
    uint32_t k = pick(depth > 0 ? 10 : 7);
    switch (k) {
      case 0:
      case 1:
      case 2: return kit::str(text());
      case 3:
      case 4: return number();
      case 5: return kit::boolean(pick(2));
      case 6: return Ref<kit::Object>(kit::Null::null());
      default: return collection(depth - 1);
    }
  }

  Ref<kit::Object> array(int depth) {
    auto a = kit::MutableArray::array();
    for (size_t i = 0, n = pick(8); i < n; ++i) a->addObject(value(depth));
    return a;
  }

  Ref<kit::Object> dictionary(int depth) {
    auto d = kit::MutableDictionary::dictionary();
    for (size_t i = 0, n = pick(8); i < n; ++i) d->setObject(value(depth), text());
    return d;
  }

  std::mt19937 rng_;
};

// Numbers compare by value; doubles written with 17 digits must come back bit for bit.
bool sameTree(const kit::Object* a, const kit::Object* b) {
  if (a->kind() != b->kind()) return false;
  if (a->kind() == kit::Kind::Number) {
    auto* x = static_cast<const kit::Number*>(a);
    auto* y = static_cast<const kit::Number*>(b);
    if (x->isBool() != y->isBool()) return false;
    if (x->isFloatingPoint()) {
      double dx = x->doubleValue(), dy = y->doubleValue();
      return std::memcmp(&dx, &dy, 8) == 0;
    }
    return x->isEqual(y);
  }
  if (a->kind() == kit::Kind::Array) {
    auto* x = static_cast<const kit::Array*>(a);
    auto* y = static_cast<const kit::Array*>(b);
    if (x->count() != y->count()) return false;
    for (size_t i = 0; i < x->count(); ++i)
      if (!sameTree(x->objectAtIndex(i), y->objectAtIndex(i))) return false;
    return true;
  }
  if (a->kind() == kit::Kind::Dictionary) {
    auto* x = static_cast<const kit::Dictionary*>(a);
    auto* y = static_cast<const kit::Dictionary*>(b);
    if (x->count() != y->count()) return false;
    bool same = true;
    x->enumerate([&](kit::Object* k, kit::Object* v, bool& stop) {
      kit::Object* w = y->objectForKey(k);
      if (!w || !sameTree(v, w)) same = false, stop = true;
    });
    return same;
  }
  return a->isEqual(b);
}

}  // namespace

TEST(FJRoundTrip, RandomTreesSurviveWritingAndReadingBack) {
  auto decoder = JSONDecoder::decoder();
  const FJSerializeOptionFlags optionSets[] = {0, FJSerializeOptionPretty, FJSerializeOptionEscapeNonASCII,
                                               FJSerializeOptionEscapeSlash | FJSerializeOptionPretty |
                                                   FJSerializeOptionEscapeNonASCII};
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    TreeMaker maker(seed);
    Ref<kit::Object> tree = maker.collection(5);
    for (FJSerializeOptionFlags options : optionSets) {
      Ref<kit::Error> error;
      auto data = FJSerializer::serializeObject(tree.get(), options, FJEncodeOptionToData | FJEncodeOptionCollectionObj,
                                                {}, nullptr, {}, &error);
      ASSERT_TRUE(data) << "seed " << seed << ": " << error->localizedDescription();
      auto* bytes = static_cast<kit::Data*>(data.get());
      auto back = (seed % 2) ? decoder->objectWithData(bytes, &error) : decoder->mutableObjectWithData(bytes, &error);
      ASSERT_TRUE(back) << "seed " << seed << ": " << error->localizedDescription() << "\n" << bytes->toString();
      ASSERT_TRUE(sameTree(tree.get(), back.get())) << "seed " << seed << " options " << options << "\n"
                                                    << bytes->toString();
      // The decoder's own collections write back to the same tree.
      auto again = FJSerializer::serializeObject(back.get(), options, FJEncodeOptionToString, {}, nullptr, {}, &error);
      ASSERT_TRUE(again);
      auto* text = static_cast<kit::String*>(again.get());
      auto third = decoder->objectWithUTF8String(text->UTF8String(), text->byteLength(), &error);
      ASSERT_TRUE(third && sameTree(back.get(), third.get())) << "seed " << seed;
    }
  }
}
