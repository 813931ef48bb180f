#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/DecimalNumber.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using namespace kit;

TEST(Ref, CountsAndWeakReferencesFollowTheObject) {
  Ref<String> s = str("x");
  EXPECT_EQ(s->retainCount(), 1);
  WeakRef<String> w(s);
  {
    Ref<Object> other = s;
    EXPECT_EQ(s->retainCount(), 2);
    EXPECT_EQ(w.lock().get(), s.get());
  }
  s = nullptr;
  EXPECT_FALSE(w.lock());
  WeakRef<String> copy = w;  // copying a dead reference stays dead
  EXPECT_TRUE(copy.expired());
}

TEST(Ref, WeakLockRacesWithLastReleaseSafely) {
  for (int round = 0; round < 200; ++round) {
    Ref<String> s = str("race");
    WeakRef<String> w(s);
    std::thread t([&] {
      for (int i = 0; i < 50; ++i) (void)w.lock();
    });
    s = nullptr;
    t.join();
    EXPECT_TRUE(w.expired());
  }
}

TEST(Ref, WeakReferencesBelongToOneObjectNotItsAddress) {
  // A new object often gets a dead one's address: it must not inherit the
  // dead one's weak references, on any thread.
  auto churn = [] {
    for (int i = 0; i < 2000; ++i) {
      Ref<String> a = str("a");
      WeakRef<String> wa(a);
      WeakRef<String> again(a);  // a second weak reference shares the first's control
      a = nullptr;
      Ref<String> b = str("b");
      WeakRef<String> wb(b);
      if (wa.lock() || again.lock() || wb.lock().get() != b.get()) return false;
    }
    return true;
  };
  bool ok[4] = {};
  std::vector<std::thread> threads;
  for (bool& o : ok) threads.emplace_back([&o, &churn] { o = churn(); });
  for (auto& t : threads) t.join();
  for (bool o : ok) EXPECT_TRUE(o);
}

TEST(String, CoercionsFollowThePlatform) {
  EXPECT_TRUE(str("YES")->boolValue());
  EXPECT_TRUE(str("yes")->boolValue());
  EXPECT_TRUE(str("1")->boolValue());
  EXPECT_TRUE(str("  true")->boolValue());
  EXPECT_TRUE(str("007")->boolValue());
  EXPECT_FALSE(str("NO")->boolValue());
  EXPECT_FALSE(str("0")->boolValue());
  EXPECT_FALSE(str("")->boolValue());
  EXPECT_FALSE(str("000")->boolValue());
  EXPECT_EQ(str(" -42abc")->intValue(), -42);
  EXPECT_EQ(str("abc")->intValue(), 0);
  EXPECT_EQ(str("99999999999999")->intValue(), INT32_MAX);
  EXPECT_EQ(str("-99999999999999999999999")->longLongValue(), INT64_MIN);
  EXPECT_DOUBLE_EQ(str(" 2.5e1x")->doubleValue(), 25.0);
  EXPECT_DOUBLE_EQ(str("+0.5")->doubleValue(), 0.5);
  EXPECT_EQ(str("junk")->doubleValue(), 0.0);
}

TEST(String, LengthCountsUtf16UnitsAndMutationRehashes) {
  EXPECT_EQ(str("héllo")->length(), 5u);
  EXPECT_EQ(str("a😀")->length(), 3u);  // surrogate pair
  auto m = MutableString::string("ab");
  size_t before = m->hash();
  m->appendString("c");
  EXPECT_NE(m->hash(), before);
  EXPECT_TRUE(m->isEqual(str("abc")));
  EXPECT_EQ(m->hash(), str("abc")->hash());
  EXPECT_EQ(m->replaceOccurrencesOfString("b", "xx"), 1u);
  EXPECT_EQ(m->str(), "axxc");
  EXPECT_THROW(m->deleteCharactersInRange(3, 5), RangeException);
  // An immutable copy of a mutable string does not follow later changes.
  Ref<Object> frozen = m->copy();
  m->setString("z");
  EXPECT_EQ(frozen->description(), "axxc");
  EXPECT_FALSE(frozen->isMutable());
  // Copying an immutable string answers the same object.
  Ref<String> s = str("same");
  EXPECT_EQ(s->copy().get(), s.get());
}

TEST(Number, KeepsTypeLettersAndSharesBooleans) {
  EXPECT_EQ(Number::numberWithBool(true).get(), Number::yes());
  EXPECT_EQ(Number::numberWithBool(false).get(), Number::no());
  EXPECT_TRUE(Number::yes()->isBool());
  auto c = Number::numberWithChar(1);
  EXPECT_EQ(c->typeLetter(), 'c');
  EXPECT_FALSE(c->isBool());  // a one-byte char is not a boolean
  EXPECT_EQ(Number::numberWithInt(1)->typeLetter(), 'i');
  EXPECT_EQ(Number::numberWithLongLong(1)->typeLetter(), 'q');
  EXPECT_EQ(Number::numberWithUnsignedLongLong(1)->typeLetter(), 'Q');
  EXPECT_EQ(Number::numberWithFloat(1)->typeLetter(), 'f');
  EXPECT_EQ(Number::numberWithDouble(1)->typeLetter(), 'd');
}

TEST(Number, ComparesByValueAcrossTypesWithMatchingHashes) {
  auto t = Number::numberWithBool(true);
  auto i = Number::numberWithInt(1);
  auto d = Number::numberWithDouble(1.0);
  EXPECT_TRUE(t->isEqual(i.get()));
  EXPECT_TRUE(i->isEqual(d.get()));
  EXPECT_EQ(t->hash(), d->hash());
  EXPECT_FALSE(Number::numberWithDouble(1.5)->isEqual(i.get()));
  // Large integers are compared exactly, not through a lossy double.
  auto big = Number::numberWithLongLong(INT64_MAX);
  auto bigMinus = Number::numberWithLongLong(INT64_MAX - 1);
  EXPECT_FALSE(big->isEqual(bigMinus.get()));
  auto u = Number::numberWithUnsignedLongLong(UINT64_MAX);
  EXPECT_EQ(u->compare(*Number::numberWithLongLong(-1)), 1);
  EXPECT_EQ(Number::numberWithLongLong(-1)->compare(*u), -1);
  EXPECT_EQ(Number::numberWithDouble(-0.5)->compare(*Number::numberWithInt(0)), -1);
  EXPECT_EQ(Number::numberWithDouble(0.1)->stringValue(), "0.1");
  EXPECT_EQ(Number::numberWithFloat(0.1f)->stringValue(), "0.1");
  EXPECT_EQ(Number::numberWithDouble(1e300)->longLongValue(), INT64_MAX);
}

TEST(DecimalNumber, KeepsDecimalTextExactly) {
  auto d = DecimalNumber::decimalNumberWithString("123.4500");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->stringValue(), "123.45");
  EXPECT_DOUBLE_EQ(d->doubleValue(), 123.45);
  EXPECT_EQ(DecimalNumber::decimalNumberWithString("-0.001")->stringValue(), "-0.001");
  EXPECT_EQ(DecimalNumber::decimalNumberWithString("1.5e3")->stringValue(), "1500");
  EXPECT_EQ(DecimalNumber::decimalNumberWithString("000")->stringValue(), "0");
  std::string digits38(38, '9');
  EXPECT_TRUE(DecimalNumber::decimalNumberWithString(digits38));
  EXPECT_FALSE(DecimalNumber::decimalNumberWithString(digits38 + "1"));
  EXPECT_TRUE(DecimalNumber::decimalNumberWithString(digits38 + "000"));
  EXPECT_FALSE(DecimalNumber::decimalNumberWithString("1.2.3"));
  EXPECT_FALSE(DecimalNumber::decimalNumberWithString("1e"));
  EXPECT_FALSE(DecimalNumber::decimalNumberWithString(""));
  EXPECT_TRUE(DecimalNumber::decimalNumberWithString("2")->isEqual(Number::numberWithInt(2).get()));
}

TEST(Collections, RefuseNullsAndOutOfRangeIndexes) {
  auto a = MutableArray::array();
  EXPECT_THROW(a->addObject(nullptr), InvalidArgumentException);
  EXPECT_THROW(a->objectAtIndex(0), RangeException);
  EXPECT_THROW(a->insertObject(str("x"), 1), RangeException);
  EXPECT_THROW(a->removeLastObject(), RangeException);
  a->addObject(str("a"));
  a->insertObject(str("b"), 0);
  EXPECT_EQ(a->get<String>(0)->str(), "b");
  EXPECT_EQ(a->get<Number>(0), nullptr);
  EXPECT_EQ(a->get<String>(5), nullptr);
  EXPECT_EQ(a->indexOfObject(str("a").get()), 1u);
  a->removeObject(str("b").get());
  EXPECT_EQ(a->count(), 1u);
}

TEST(Collections, EnumerationDetectsMutation) {
  auto a = MutableArray::array();
  a->addObject(num(1));
  a->addObject(num(2));
  EXPECT_THROW(
      {
        for (Object* o : *a) {
          (void)o;
          a->addObject(num(3));
        }
      },
      GenericException);
  auto d = MutableDictionary::dictionary();
  d->setObject(num(1), "a");
  EXPECT_THROW(d->enumerate([&](Object*, Object*, bool&) { d->setObject(num(2), "b"); }),
               GenericException);
}

TEST(Collections, DictionaryKeysAreCopiedAndLookedUpByValue) {
  auto d = MutableDictionary::dictionary();
  auto key = MutableString::string("k");
  d->setObject(num(1), Ref<Object>(key));
  key->setString("changed");  // the stored key was copied and does not move
  EXPECT_TRUE(d->objectForKey("k"));
  EXPECT_FALSE(d->objectForKey("changed"));
  // Numbers equal across types find the same entry.
  d->setObject(str("one"), Ref<Object>(num(1)));
  EXPECT_EQ(d->objectForKey(Number::numberWithDouble(1.0).get())->description(), "one");
  EXPECT_EQ(d->objectForKey(Number::yes())->description(), "one");
  d->setObject(str("two"), "k");
  EXPECT_EQ(d->count(), 2u);
  EXPECT_EQ(d->get<String>("k")->str(), "two");
  d->setObject(nullptr, "k");  // nil removes
  EXPECT_EQ(d->count(), 1u);
  // Removal keeps the remaining entries findable and in order.
  for (int i = 0; i < 20; ++i) d->setObject(num(i), "n" + std::to_string(i));
  d->removeObjectForKey("n3");
  d->removeObjectForKey("n10");
  EXPECT_FALSE(d->objectForKey("n3"));
  EXPECT_EQ(d->get<Number>("n19")->intValue(), 19);
  EXPECT_EQ(d->allKeys()[1]->description(), "n0");
}

TEST(Collections, DeepEqualityAndCopies) {
  Ref<Dictionary> a(new Dictionary({{"x", num(1)}, {"list", Ref<Object>(new Array({str("a"), Null::null()}))}}));
  Ref<Dictionary> b(new Dictionary({{"list", Ref<Object>(new Array({str("a"), Null::null()}))}, {"x", Number::numberWithDouble(1)}}));
  EXPECT_TRUE(a->isEqual(b.get()));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_EQ(a->copy().get(), a.get());
  Ref<Object> m = a->mutableCopy();
  EXPECT_TRUE(m->isMutable());
  EXPECT_TRUE(m->isEqual(a.get()));
  cast<MutableDictionary>(m)->setObject(num(2), "x");
  EXPECT_EQ(a->get<Number>("x")->intValue(), 1);
  EXPECT_THROW(Dictionary({{"k", nullptr}}), InvalidArgumentException);
}

TEST(Collections, ATreeOfAnyDepthIsFreedOnABoundedStack) {
  // Dictionary -> array -> dictionary ... a million levels down, as a parser
  // makes of unclosed markup; the leaf tells when it is gone.
  static int leaves = 0;
  struct Leaf : Object {
    ~Leaf() override { ++leaves; }
  };
  Ref<Object> tree(new Leaf);
  for (int level = 0; level < 1000000; ++level) {
    if (level % 2) {
      auto d = MutableDictionary::dictionary();
      d->setObject(tree, "child");
      tree = d;
    } else {
      auto a = MutableArray::array();
      a->addObject(tree);
      a->addObject(str("sibling"));
      tree = a;
    }
  }
  tree = nullptr;
  EXPECT_EQ(leaves, 1);
}

TEST(Data, AdoptsBuffersAndCompares) {
  void* buf = std::malloc(3);
  std::memcpy(buf, "abc", 3);
  auto d = Data::dataWithBytesNoCopy(buf, 3);
  EXPECT_EQ(d->bytes(), buf);
  EXPECT_TRUE(d->isEqual(Data::dataWithString("abc").get()));
  Ref<Object> m = d->mutableCopy();
  cast<MutableData>(m)->appendBytes("d", 1);
  EXPECT_EQ(cast<Data>(m)->toString(), "abcd");
  EXPECT_EQ(d->description(), "<616263>");
}

TEST(Data, ATailFilledInPlaceGrowsInPagesKeepingItsBytes) {
  Ref<MutableData> m = MutableData::data();
  m->appendBytes("head", 4);
  // Moved into pages of its own, then grown well past them: every byte stays.
  std::string expected = "head";
  for (int round = 0; round < 40; ++round) {
    const size_t n = 100000 + static_cast<size_t>(round) * 7919;
    uint8_t* tail = m->reserveTail(n);
    for (size_t i = 0; i < n; ++i) tail[i] = static_cast<uint8_t>('a' + (round + i) % 26);
    m->commitTail(n);
    for (size_t i = 0; i < n; ++i) expected += static_cast<char>('a' + (round + i) % 26);
  }
  m->appendBytes("end", 3);
  expected += "end";
  EXPECT_GE(m->capacity(), m->length());
  ASSERT_EQ(m->length(), expected.size());
  EXPECT_TRUE(m->view() == expected);
  m->setLength(4);
  EXPECT_EQ(m->toString(), "head");
  m->setLength(6);
  EXPECT_EQ(m->toString(), std::string("head\0\0", 6));
  Ref<Object> copy = m->copy();
  EXPECT_TRUE(copy->isEqual(m.get()));
}

TEST(Date, ConvertsBetweenEpochsAndIso8601) {
  auto d = Date::dateWithTimeIntervalSince1970(0);
  EXPECT_DOUBLE_EQ(d->timeIntervalSinceReferenceDate(), -978307200.0);
  EXPECT_EQ(d->ISO8601(), "1970-01-01T00:00:00Z");
  auto p = Date::dateWithISO8601("2026-12-09T04:26:00Z");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->ISO8601(), "2026-12-09T04:26:00Z");
  EXPECT_FALSE(Date::dateWithISO8601("2026-13-09T04:26:00Z"));
  EXPECT_FALSE(Date::dateWithISO8601("2026-12-09T04:26:00Zjunk"));
  EXPECT_FALSE(Date::dateWithISO8601("yesterday"));
}

TEST(Error, DescribesItselfAndCarriesUnderlyingErrors) {
  auto inner = Error::posixError(ENOENT, "/nowhere");
  EXPECT_EQ(inner->code(), ENOENT);
  EXPECT_NE(inner->localizedDescription().find("/nowhere"), std::string::npos);
  auto outer = Error::errorWithDescription("TestDomain", 7, "outer failed", inner);
  EXPECT_EQ(outer->underlyingError(), inner.get());
  EXPECT_EQ(outer->localizedDescription(), "outer failed");
  EXPECT_EQ(Error::errorWithDomain("D", 3)->localizedDescription(),
            "The operation couldn't be completed. (D error 3.)");
}

TEST(DecimalNumber, IntegersBeyondDoublePrecisionStayExact) {
  auto d = DecimalNumber::decimalNumberWithString("9007199254740993");
  EXPECT_EQ(d->longLongValue(), 9007199254740993LL);
  EXPECT_EQ(DecimalNumber::decimalNumberWithString("-9223372036854775808")->longLongValue(), INT64_MIN);
  EXPECT_EQ(DecimalNumber::decimalNumberWithString("18446744073709551615")->unsignedLongLongValue(), UINT64_MAX);
  EXPECT_EQ(DecimalNumber::decimalNumberWithString("1e30")->longLongValue(), INT64_MAX);
  EXPECT_EQ(DecimalNumber::decimalNumberWithString("-12.9")->longLongValue(), -12);
  EXPECT_TRUE(std::isinf(DecimalNumber::decimalNumberWithString("1e400")->doubleValue()));
}
