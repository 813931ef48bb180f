#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/foundation/ArenaMutableArray.h"
#include "kit/foundation/ArenaMutableDictionary.h"
#include "kit/foundation/ArenaObject.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/ObjectArena.h"
#include "kit/foundation/String.h"

using namespace kit;

namespace {

// Ref adopts by retaining; these makers hand over a reference already counted.
template <class T>
Ref<T> adopt(T* made) {
  Ref<T> r(made);
  made->release();
  return r;
}

Object* counted(Ref<Object> o) { return o.detach(); }

}  // namespace

TEST(ArenaCollections, ArrayIsAnOrdinaryMutableArrayThatGrowsOutOfItsRoom) {
  ObjectArena arena(256);
  Ref<String> watched = str("watched");
  Object* items[] = {counted(num(1)), counted(watched), counted(num(3))};
  auto array = adopt(ArenaMutableArray::make(arena, items, 3));
  EXPECT_EQ(watched->retainCount(), 2);
  EXPECT_EQ(array->className(), "MutableArray");
  EXPECT_TRUE(array->isMutable());
  EXPECT_TRUE(array->isEqual(Ref<Object>(new Array({num(1), str("watched"), num(3)}))));

  for (int i = 0; i < 10; ++i) array->addObject(num(10 + i));
  array->insertObject(str("first"), 0);
  array->removeObjectAtIndex(2);  // the watched string
  EXPECT_EQ(watched->retainCount(), 1);
  ASSERT_EQ(array->count(), 13u);
  EXPECT_EQ(array->get<String>(0)->str(), "first");
  EXPECT_EQ(array->get<Number>(12)->intValue(), 19);
  EXPECT_THROW(array->objectAtIndex(13), RangeException);

  auto empty = adopt(ArenaMutableArray::make(arena, nullptr, 0));
  EXPECT_TRUE(empty->empty());
  empty->addObject(watched);
  EXPECT_EQ(empty->count(), 1u);
  empty = nullptr;
  EXPECT_EQ(watched->retainCount(), 1);
}

TEST(ArenaCollections, DictionaryKeepsFirstPlaceAndLastValueOfARepeatedKey) {
  ObjectArena arena(256);
  std::vector<Object*> members;
  for (int i = 0; i < 12; ++i) {  // past the size that gets an index
    members.push_back(counted(str("k" + std::to_string(i))));
    members.push_back(counted(num(i)));
  }
  Ref<Number> dropped = num(-1);
  members.insert(members.begin() + 2, {counted(str("k5")), counted(dropped)});
  members.push_back(counted(str("k1")));
  members.push_back(counted(num(100)));
  auto d = adopt(ArenaMutableDictionary::make(arena, members.data(), members.size() / 2));
  EXPECT_EQ(dropped->retainCount(), 1);  // replaced by the later k5
  EXPECT_EQ(d->className(), "MutableDictionary");
  ASSERT_EQ(d->count(), 12u);
  auto keys = d->allKeys();
  EXPECT_EQ(keys[0]->description(), "k0");
  EXPECT_EQ(keys[1]->description(), "k5");
  EXPECT_EQ(keys[2]->description(), "k1");
  EXPECT_EQ(d->get<Number>("k5")->intValue(), 5);
  EXPECT_EQ(d->get<Number>("k1")->intValue(), 100);
  for (int i = 2; i < 12; ++i) EXPECT_EQ(d->get<Number>("k" + std::to_string(i))->intValue(), i);

  // Growing moves the table out of the arena; lookups keep working.
  for (int i = 12; i < 40; ++i) d->setObject(num(i), "k" + std::to_string(i));
  d->removeObjectForKey("k0");
  d->setObject(num(-5), "k5");
  EXPECT_EQ(d->count(), 39u);
  EXPECT_EQ(d->allKeys()[0]->description(), "k5");
  EXPECT_EQ(d->get<Number>("k5")->intValue(), -5);
  EXPECT_EQ(d->get<Number>("k39")->intValue(), 39);
  EXPECT_FALSE(d->objectForKey("k0"));

  auto plain = d->copy();
  EXPECT_EQ(plain->className(), "Dictionary");
  EXPECT_TRUE(plain->isEqual(d));
  EXPECT_TRUE(d->isEqual(plain));
}

TEST(ArenaCollections, ArenaObjectsLookLikeTheirClass) {
  ObjectArena arena(64);
  auto s = adopt(new (arena) ArenaObject<MutableString>(std::string_view("abc")));
  EXPECT_EQ(s->className(), "MutableString");
  EXPECT_TRUE(s->isEqual(str("abc")));
  EXPECT_EQ(s->hash(), str("abc")->hash());
  s->appendString("d");
  EXPECT_EQ(s->str(), "abcd");
  auto frozen = s->copy();
  EXPECT_EQ(frozen->className(), "String");
  // Outlives the arena that made it.
  Ref<String> kept;
  {
    ObjectArena scoped(64);
    kept = adopt(new (scoped) ArenaObject<String>(std::string_view("kept")));
  }
  EXPECT_EQ(kept->str(), "kept");
  EXPECT_EQ(kept->copy().get(), kept.get());
}

TEST(Dictionary, ManyEntriesSurviveRemovalsInOrder) {
  Ref<MutableDictionary> d = MutableDictionary::dictionary();
  for (int i = 0; i < 200; ++i) d->setObject(num(i), "key" + std::to_string(i));
  for (int i = 0; i < 200; i += 2) d->removeObjectForKey("key" + std::to_string(i));
  ASSERT_EQ(d->count(), 100u);
  auto keys = d->allKeys();
  for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i]->description(), "key" + std::to_string(2 * i + 1));
  for (int i = 0; i < 200; ++i) EXPECT_EQ(d->objectForKey("key" + std::to_string(i)) != nullptr, i % 2 == 1) << i;
  // A mutable key is copied, so changing it later does not move the entry.
  Ref<MutableString> key = MutableString::string("moving");
  d->setObject(num(1), key);
  key->appendString("!");
  EXPECT_TRUE(d->objectForKey("moving"));
  EXPECT_FALSE(d->objectForKey("moving!"));
  d->removeAllObjects();
  EXPECT_TRUE(d->empty());
}

namespace {
// A subclass with storage of its own: the raw accessors must not read the
// base's fields for it.
class OwnStorageDictionary : public MutableDictionary {
 public:
  size_t count() const noexcept override { return 1; }
};
class OwnStorageArray : public MutableArray {
 public:
  size_t count() const noexcept override { return 1; }
  Object* objectAtIndex(size_t) const override { return Null::null(); }
};
}  // namespace

TEST(ArenaCollections, StoredEntriesAndObjectsAreReadInPlaceForKitClassesOnly) {
  ObjectArena arena(512);
  Object* pairs[] = {counted(str("a")), counted(num(1)), counted(str("b")), counted(num(2)),
                     counted(str("c")), counted(num(3))};
  auto dictionary = adopt(ArenaMutableDictionary::make(arena, pairs, 3));
  Object* out[4] = {};
  // Paged: two, then the one left, then none.
  ASSERT_EQ(dictionary->storedEntries(0, out, 2), 2u);
  EXPECT_TRUE(out[0]->isEqual(str("a").get()));
  EXPECT_TRUE(out[3]->isEqual(num(2).get()));
  ASSERT_EQ(dictionary->storedEntries(2, out, 2), 1u);
  EXPECT_TRUE(out[0]->isEqual(str("c").get()));
  EXPECT_EQ(dictionary->storedEntries(3, out, 2), 0u);
  // Grown out of its room onto the heap: still read in place.
  dictionary->setObject(num(4), "d");
  EXPECT_EQ(dictionary->storedEntries(0, out, 2), 2u);
  EXPECT_EQ(dictionary->storedEntries(2, out, 2), 2u);
  EXPECT_EQ(MutableDictionary::dictionary()->storedEntries(0, out, 2), 0u);
  OwnStorageDictionary own;
  EXPECT_EQ(own.storedEntries(0, out, 2), 0u);

  Object* items[] = {counted(num(1)), counted(num(2))};
  auto array = adopt(ArenaMutableArray::make(arena, items, 2));
  size_t count = 9;
  Object* const* objects = array->storedObjects(count);
  ASSERT_EQ(count, 2u);
  EXPECT_TRUE(objects[1]->isEqual(num(2).get()));
  array->addObject(num(3));
  objects = array->storedObjects(count);
  ASSERT_EQ(count, 3u);
  EXPECT_TRUE(objects[2]->isEqual(num(3).get()));
  OwnStorageArray ownArray;
  EXPECT_EQ(ownArray.storedObjects(count), nullptr);
  EXPECT_EQ(count, 0u);
}
