#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "json/fast/FJArray.h"
#include "json/fast/FJDictionary.h"
#include "json/fast/FJDictionaryEnumerator.h"
#include "json/fast/JSONDecoder.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using namespace tolva;
using kit::Ref;

namespace {

Ref<kit::Object> parse(const std::string& text, bool mutableCollections) {
  auto decoder = JSONDecoder::decoder();
  Ref<kit::Error> error;
  auto result = mutableCollections ? decoder->mutableObjectWithUTF8String(text.data(), text.size(), &error)
                                   : decoder->objectWithUTF8String(text.data(), text.size(), &error);
  EXPECT_TRUE(result) << text << ": " << (error ? error->localizedDescription() : "");
  return result;
}

Ref<FJDictionary> dict(const std::string& text, bool mutableCollections = true) {
  return Ref<FJDictionary>(kit::cast<FJDictionary>(parse(text, mutableCollections)));
}

Ref<FJArray> array(const std::string& text, bool mutableCollections = true) {
  return Ref<FJArray>(kit::cast<FJArray>(parse(text, mutableCollections)));
}

template <class E, class F>
std::string raised(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing raised)";
}

long number(kit::Object* o) { return static_cast<kit::Number*>(o)->integerValue(); }

}  // namespace

TEST(FJDictionary, AgreesWithAReferenceMapUnderRandomInsertReplaceRemove) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    std::mt19937 rng(seed);
    Ref<FJDictionary> d = dict("{}");
    std::unordered_map<std::string, long> ref;
    // A small key space gives long probe chains, replacements and removals inside them.
    const int keySpace = seed == 3 ? 2000 : 60;
    for (int op = 0; op < 6000; ++op) {
      std::string key = "k" + std::to_string(rng() % keySpace);
      long value = static_cast<long>(rng() % 1000);
      if (rng() % 3) {
        d->setObject(kit::Number::numberWithLong(value), key);
        ref[key] = value;
      } else {
        d->removeObjectForKey(key);
        ref.erase(key);
      }
      ASSERT_EQ(d->count(), ref.size());
      if (op % 97 == 0 || op > 5900) {
        for (int k = 0; k < keySpace; ++k) {
          std::string probe = "k" + std::to_string(k);
          auto it = ref.find(probe);
          kit::Object* byView = d->objectForKey(std::string_view(probe));
          kit::Object* byObject = d->objectForKey(kit::str(probe).get());
          ASSERT_EQ(byView, byObject);
          if (it == ref.end()) {
            ASSERT_EQ(byView, nullptr) << probe;
          } else {
            ASSERT_NE(byView, nullptr) << probe << " lost after op " << op;
            ASSERT_EQ(number(byView), it->second);
          }
        }
        std::set<std::string> seen;
        d->enumerate([&](kit::Object* k, kit::Object*, bool&) { seen.insert(k->description()); });
        ASSERT_EQ(seen.size(), ref.size());
      }
    }
  }
}

TEST(FJDictionary, ParsedDictionaryKeepsTheLastValueOfARepeatedKeyAndStaysFindable) {
  Ref<FJDictionary> d = dict(R"({"a":1,"b":2,"a":3,"c":4,"a":5})", false);
  EXPECT_EQ(d->count(), 3u);
  EXPECT_EQ(number(d->objectForKey("a")), 5);
  EXPECT_EQ(number(d->objectForKey("b")), 2);
  EXPECT_EQ(number(d->objectForKey("c")), 4);
}

TEST(FJDictionary, RemovingInsideAProbeChainKeepsEveryOtherKey) {
  std::string text = "{";
  for (int i = 0; i < 300; ++i) text += (i ? "," : "") + ("\"key" + std::to_string(i) + "\":" + std::to_string(i));
  text += "}";
  Ref<FJDictionary> d = dict(text);
  for (int i = 0; i < 300; i += 2) d->removeObjectForKey("key" + std::to_string(i));
  EXPECT_EQ(d->count(), 150u);
  for (int i = 0; i < 300; ++i) {
    kit::Object* v = d->objectForKey("key" + std::to_string(i));
    if (i % 2)
      ASSERT_TRUE(v && number(v) == i) << i;
    else
      ASSERT_EQ(v, nullptr) << i;
  }
}

TEST(FJDictionary, CapacityComesFromThePrimeTable) {
  EXPECT_EQ(FJDictionary::capacityForCount(0), 0u);
  EXPECT_EQ(FJDictionary::capacityForCount(1), 3u);
  EXPECT_EQ(FJDictionary::capacityForCount(3), 3u);
  EXPECT_EQ(FJDictionary::capacityForCount(4), 7u);
  EXPECT_EQ(FJDictionary::capacityForCount(6), 7u);
  EXPECT_EQ(FJDictionary::capacityForCount(10), 13u);
  EXPECT_EQ(FJDictionary::capacityForCount(100), 191u);
  EXPECT_EQ(dict(R"({"a":1,"b":2,"c":3,"d":4})")->capacity(), 7u);
}

TEST(FJDictionary, StringKeysHashAlikeWhateverTheirClassButNotWithTheUnseededHash) {
  auto plain = kit::str("some key");
  auto mutableKey = kit::MutableString::string("some key");
  EXPECT_EQ(FJDictionary::hashForKey(plain.get()), FJDictionary::hashForKey(mutableKey.get()));
  EXPECT_EQ(FJDictionary::hashForKey(plain.get()), FJDictionary::hashForString("some key"));
  EXPECT_NE(FJDictionary::hashForString("some key"), kit::String::hashBytes("some key"));
  // Numbers equal by value hash alike too.
  EXPECT_EQ(FJDictionary::hashForKey(kit::num(3).get()), FJDictionary::hashForKey(kit::num(3.0).get()));
}

TEST(FJDictionary, MutableKeysAreCopiedAndNonStringKeysWork) {
  Ref<FJDictionary> d = dict("{}");
  auto key = kit::MutableString::string("k");
  d->setObject(kit::num(1), Ref<kit::Object>(key));
  key->setString("changed");
  EXPECT_EQ(number(d->objectForKey("k")), 1);
  d->setObject(kit::str("seven"), Ref<kit::Object>(kit::num(7)));
  EXPECT_EQ(d->objectForKey(kit::num(7.0).get())->description(), "seven");
}

TEST(FJDictionary, MisuseRaisesNamedExceptions) {
  EXPECT_EQ(raised<kit::InvalidArgumentException>([] { FJDictionary::alloc(); }),
            "*** - [FJDictionary alloc]: The FJDictionary class is private to FastJSON and should not be used in "
            "this fashion.");
  Ref<FJDictionary> frozen = dict(R"({"a":1})", false);
  EXPECT_EQ(raised<kit::InternalInconsistencyException>([&] { frozen->setObject(kit::num(1), "b"); }),
            "*** -[FJDictionary setObject]: mutating method sent to immutable object");
  EXPECT_EQ(raised<kit::InternalInconsistencyException>([&] { frozen->removeObjectForKey("a"); }),
            "*** -[FJDictionary removeObjectForKey]: mutating method sent to immutable object");
  Ref<FJDictionary> d = dict("{}");
  EXPECT_EQ(raised<kit::InvalidArgumentException>([&] { d->setObject(kit::num(1), Ref<kit::Object>()); }),
            "*** -[FJDictionary setObject]: attempt to insert nil key");
  EXPECT_EQ(raised<kit::InvalidArgumentException>([&] { d->setObject(nullptr, "key"); }),
            "*** -[FJDictionary setObject]: attempt to insert nil value (key: key)");
  EXPECT_EQ(raised<kit::InvalidArgumentException>([&] { d->removeObjectForKey(static_cast<kit::Object*>(nullptr)); }),
            "*** -[FJDictionary removeObjectForKey]: attempt to remove nil key");
}

TEST(FJDictionary, MutationsAreCountedOnlyWhenSomethingChanged) {
  Ref<FJDictionary> d = dict(R"({"a":1})");
  EXPECT_EQ(d->mutationCount(), 1u);
  d->removeObjectForKey("missing");
  EXPECT_EQ(d->mutationCount(), 1u);
  d->setObject(kit::num(2), "a");
  d->removeObjectForKey("a");
  EXPECT_EQ(d->mutationCount(), 3u);
  d->setObject(kit::num(3), "b");
  EXPECT_THROW(d->enumerate([&](kit::Object*, kit::Object*, bool&) { d->setObject(kit::num(1), "x"); }),
               kit::GenericException);
}

TEST(FJDictionary, CopiesAndEnumeration) {
  Ref<FJDictionary> frozen = dict(R"({"a":1,"b":2,"c":3})", false);
  EXPECT_EQ(frozen->copy().get(), frozen.get());
  EXPECT_FALSE(frozen->isMutable());
  auto mcopy = frozen->mutableCopy();
  EXPECT_EQ(mcopy->className(), "MutableDictionary");
  EXPECT_TRUE(mcopy->isEqual(frozen.get()));

  Ref<FJDictionary> live = dict(R"({"a":1,"b":2,"c":3})");
  auto copy = live->copy();
  EXPECT_NE(copy.get(), live.get());
  EXPECT_EQ(copy->className(), "Dictionary");
  EXPECT_FALSE(copy->isMutable());
  EXPECT_TRUE(copy->isEqual(live.get()));

  // Keys come out in slot order by every route.
  kit::Object* keys[3];
  kit::Object* values[3];
  live->getObjects(values, keys);
  auto keyEnum = live->keyEnumerator();
  for (auto* k : keys) EXPECT_EQ(keyEnum->nextObject(), k);
  EXPECT_EQ(keyEnum->nextObject(), nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(live->objectForKey(keys[i]), values[i]);
  EXPECT_EQ(live->keyEnumerator()->allObjects()->count(), 3u);

  FJFastEnumerationState state;
  kit::Object* buffer[2];
  std::vector<kit::Object*> seen;
  while (size_t n = live->countByEnumerating(&state, buffer, 2)) seen.insert(seen.end(), buffer, buffer + n);
  EXPECT_EQ(seen, std::vector<kit::Object*>(keys, keys + 3));
  EXPECT_EQ(*state.mutationsPtr, live->mutationCount());
}

TEST(FJArray, MutableArrayGrowsAndShiftsLikeAnyArray) {
  Ref<FJArray> a = array("[1,2,3]");
  EXPECT_EQ(a->capacity(), 3u);
  a->addObject(kit::num(4));
  EXPECT_EQ(a->capacity(), 19u);  // grown by 16 slots
  a->insertObject(kit::num(0), 0);
  a->removeObjectAtIndex(2);
  // Every change counts, a replacement too: an enumeration under way notices it.
  const unsigned long before = a->mutationCount();
  a->replaceObjectAtIndex(3, kit::str("x"));
  EXPECT_NE(a->mutationCount(), before);
  ASSERT_EQ(a->count(), 4u);
  EXPECT_EQ(a->description(), kit::MutableArray({kit::num(0), kit::num(1), kit::num(3), kit::str("x")}).description());
  for (int i = 0; i < 40; ++i) a->addObject(kit::num(i));
  EXPECT_EQ(a->count(), 44u);
  a->removeAllObjects();
  EXPECT_TRUE(a->empty());
}

TEST(FJArray, EmptyArraysAndDictionariesGrowOutOfTheirFirstRoom) {
  // The room made with an empty collection only holds the pointer to the
  // heap storage it moves to.
  Ref<FJArray> a = array("[[],{}]");
  auto* inner = kit::cast<FJArray>(a->objectAtIndex(0));
  auto* innerDict = kit::cast<FJDictionary>(a->objectAtIndex(1));
  ASSERT_TRUE(inner && innerDict);
  EXPECT_EQ(inner->capacity(), 0u);
  for (int i = 0; i < 40; ++i) inner->addObject(kit::num(i));
  for (int i = 0; i < 40; ++i) innerDict->setObject(kit::num(i), kit::str("k" + std::to_string(i)));
  ASSERT_EQ(inner->count(), 40u);
  ASSERT_EQ(innerDict->count(), 40u);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(number(inner->objectAtIndex(static_cast<size_t>(i))), i);
    EXPECT_EQ(number(innerDict->objectForKey("k" + std::to_string(i))), i);
  }
  inner->removeObjectAtIndex(0);
  innerDict->removeObjectForKey("k0");
  EXPECT_EQ(number(inner->objects()[0]), 1);
  EXPECT_EQ(innerDict->objectForKey("k0"), nullptr);
  EXPECT_EQ(innerDict->count(), 39u);
}

TEST(FJArray, MisuseRaisesNamedExceptions) {
  EXPECT_EQ(raised<kit::InvalidArgumentException>([] { FJArray::alloc(); }),
            "*** - [FJArray alloc]: The FJArray class is private to FastJSON and should not be used in this "
            "fashion.");
  Ref<FJArray> frozen = array("[1,2,3]", false);
  EXPECT_EQ(raised<kit::InternalInconsistencyException>([&] { frozen->addObject(kit::num(1)); }),
            "*** -[FJArray insertObject]: mutating method sent to immutable object");
  EXPECT_EQ(raised<kit::InternalInconsistencyException>([&] { frozen->removeLastObject(); }),
            "*** -[FJArray removeLastObject]: mutating method sent to immutable object");
  EXPECT_EQ(raised<kit::RangeException>([&] { frozen->objectAtIndex(3); }),
            "*** -[FJArray objectAtIndex]: index (3) beyond bounds (3)");
  kit::Object* out[4];
  EXPECT_EQ(raised<kit::RangeException>([&] { frozen->getObjects(nullptr, 0, 2); }),
            "*** -[FJArray getObjects]: pointer to objects array is NULL but range length is 2");
  EXPECT_EQ(raised<kit::RangeException>([&] { frozen->getObjects(out, 2, 2); }),
            "*** -[FJArray getObjects]: index (4) beyond bounds (3)");
  frozen->getObjects(out, 1, 2);
  EXPECT_EQ(out[0], frozen->objectAtIndex(1));

  Ref<FJArray> a = array("[1]");
  EXPECT_EQ(raised<kit::RangeException>([&] { a->insertObject(kit::num(1), 3); }),
            "*** -[FJArray insertObject]: index (3) beyond bounds (2)");
  EXPECT_EQ(raised<kit::InvalidArgumentException>([&] { a->insertObject(nullptr, 0); }),
            "*** -[FJArray insertObject]: attempt to insert nil");
  EXPECT_EQ(raised<kit::InvalidArgumentException>([&] { a->replaceObjectAtIndex(0, nullptr); }),
            "*** -[FJArray replaceObjectAtIndex]: attempt to insert nil");
  EXPECT_THROW(a->enumerate([&](kit::Object*, size_t, bool&) { a->addObject(kit::num(2)); }), kit::GenericException);
}

TEST(FJArray, CopiesAndFastEnumeration) {
  Ref<FJArray> frozen = array(R"([1,"two",null])", false);
  EXPECT_EQ(frozen->copy().get(), frozen.get());
  Ref<FJArray> live = array(R"([1,"two",null])");
  auto copy = live->copy();
  EXPECT_EQ(copy->className(), "Array");
  EXPECT_TRUE(copy->isEqual(live.get()));
  EXPECT_EQ(live->mutableCopy()->className(), "MutableArray");

  FJFastEnumerationState state;
  kit::Object* buffer[2];
  std::vector<kit::Object*> seen;
  while (size_t n = live->countByEnumerating(&state, buffer, 2)) seen.insert(seen.end(), buffer, buffer + n);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2], live->objectAtIndex(2));
}
