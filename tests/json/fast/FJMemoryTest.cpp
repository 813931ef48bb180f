// What the fast codec holds after a parse whose result is gone: once the
// decoder's cache is cleared, the memory in use returns to what it was.

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstddef>
#include <string>

#include "json/fast/FJObjectStack.h"
#include "json/fast/FastJSONSerializing.h"
#include "json/fast/JSONDecoder.h"
#include "kit/foundation/Array.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own count (GCC ships no header declaring it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace tolva;
using kit::Ref;

namespace {

// Bytes the allocator has handed out and not got back. AddressSanitizer's
// allocator answers for itself (its mallinfo2 says 0).
size_t bytesInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

std::string document(int records) {
  std::string doc = "[";
  for (int i = 0; i < records; ++i) {
    if (i) doc += ",";
    doc += R"({"id":)" + std::to_string(i) + R"(,"name":"record number )" + std::to_string(i) +
           R"(","score":)" + std::to_string(i * 0.25) + R"(,"tags":["a)" + std::to_string(i % 97) +
           R"(","b"],"ok":true,"none":null})";
  }
  return doc + "]";
}

constexpr size_t kSlack = 1 << 20;

TEST(FJMemory, ALargeParseGivesItsMemoryBackOnceItsResultAndTheCacheAreGone) {
  const std::string doc = document(40000);  // about 4 MB
  auto decoder = JSONDecoder::decoder();
  for (bool mutableCollections : {false, true}) {
    SCOPED_TRACE(mutableCollections);
    decoder->clearCache();
    const size_t before = bytesInUse();
    {
      Ref<kit::Error> error;
      auto value = mutableCollections ? decoder->mutableObjectWithUTF8String(doc.data(), doc.size(), &error)
                                      : decoder->objectWithUTF8String(doc.data(), doc.size(), &error);
      ASSERT_TRUE(value);
      EXPECT_EQ(kit::cast<kit::Array>(value)->count(), 40000u);
      EXPECT_GT(bytesInUse(), before + 4 * kSlack);  // the tree is really there
    }
    decoder->clearCache();
    EXPECT_LE(bytesInUse(), before + kSlack);
  }
}

TEST(FJMemory, ManySmallParsesLeaveNothingBehind) {
  auto decoder = JSONDecoder::decoder();
  decoder->clearCache();
  const size_t before = bytesInUse();
  for (int i = 0; i < 100; ++i) {
    const std::string doc = document(50 + i);
    auto value = decoder->objectWithUTF8String(doc.data(), doc.size());
    ASSERT_TRUE(value);
  }
  decoder->clearCache();
  EXPECT_LE(bytesInUse(), before + kSlack);
}

}  // namespace

namespace {

// A parse that fails half-way lets go of everything it made so far.
TEST(FJMemory, AFailedParseKeepsNothingOfWhatItMade) {
  std::string text(2000, 'x');
  std::string array = "[", object = "{";
  for (int i = 0; i < 1000; ++i) {
    array += "\"" + std::to_string(i) + text + "\",";
    object += "\"k" + std::to_string(i) + "\":\"" + std::to_string(i) + text + "\",";
  }
  array += "}";    // the wrong closing mark
  object += "]";
  auto decoder = JSONDecoder::decoder();
  for (const std::string* doc : {&array, &object}) {
    decoder->clearCache();
    const size_t before = bytesInUse();
    Ref<kit::Error> error;
    EXPECT_FALSE(decoder->objectWithUTF8String(doc->data(), doc->size(), &error));
    EXPECT_TRUE(error);
    decoder->clearCache();
    EXPECT_LE(bytesInUse(), before + kSlack) << "still held after a failed parse of " << doc->substr(0, 1);
  }
}

}  // namespace

TEST(FJMemory, TheObjectStackGrowsGeometrically) {
  // One array of n values must not copy the stack n / 2048 times over.
  kit::Object* objects[FJObjectStack::kInitialSlots];
  kit::Object* keys[FJObjectStack::kInitialSlots];
  size_t hashes[FJObjectStack::kInitialSlots];
  FJObjectStack stack(objects, keys, hashes, FJObjectStack::kInitialSlots);
  size_t growths = 0, slots = stack.count();
  for (size_t i = 0; i < 300000; ++i) {
    ASSERT_TRUE(stack.reserve(4));
    if (stack.count() != slots) ++growths, slots = stack.count();
    stack.push(nullptr, 0, nullptr);
  }
  EXPECT_EQ(stack.index(), 300000u);
  EXPECT_LE(growths, 10u);
  EXPECT_TRUE(stack.onHeap());
}
