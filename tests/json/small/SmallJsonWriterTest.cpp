#include <gtest/gtest.h>

#include <limits>

#include "json/small/SmallJsonTestSupport.h"
#include "json/small/SmallJsonWriter.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/DecimalNumber.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Null.h"

using namespace smalljsontest;
using tolva::SmallJsonWriter;

namespace {

kit::Ref<SmallJsonWriter> writer(bool human = false, bool sorted = false) {
  kit::Ref<SmallJsonWriter> w(new SmallJsonWriter());
  w->setHumanReadable(human);
  w->setSortKeys(sorted);
  return w;
}

std::string text(const kit::Object* value, bool human = false, bool sorted = false) {
  auto w = writer(human, sorted);
  auto s = w->stringWithFragment(value);
  EXPECT_TRUE(s) << (traceOf(*w).empty() ? "" : traceOf(*w).back().second);
  return s ? s->str() : "(failed)";
}

Trace failure(const kit::Object* value, bool sorted = false) {
  auto w = writer(false, sorted);
  EXPECT_FALSE(w->stringWithFragment(value));
  EXPECT_TRUE(wellFormedTrace(*w));
  return traceOf(*w);
}

kit::Ref<kit::MutableArray> array(std::vector<kit::Ref<kit::Object>> items) {
  return kit::Ref<kit::MutableArray>(new kit::MutableArray(std::move(items)));
}

// Answers a stand-in for itself.
class Proxied : public kit::Object {
 public:
  explicit Proxied(kit::Ref<kit::Object> proxy) : proxy_(std::move(proxy)) {}
  kit::Ref<kit::Object> proxyForJson() const override { return proxy_ ? proxy_ : kit::Ref<kit::Object>(new Proxied(nullptr)); }
  std::string className() const override { return "Proxied"; }

 private:
  kit::Ref<kit::Object> proxy_;
};

}  // namespace

TEST(SmallJsonWriter, CompactAndSorted) {
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::num(1), "b");
  d->setObject(array({kit::str("x"), kit::Null::null()}), "a");
  EXPECT_EQ(text(d), R"({"b":1,"a":["x",null]})");  // the dictionary's own order
  EXPECT_EQ(text(d, false, true), R"({"a":["x",null],"b":1})");
  EXPECT_EQ(text(kit::MutableArray::array()), "[]");
  EXPECT_EQ(text(kit::MutableDictionary::dictionary(), true), "{}");
}

TEST(SmallJsonWriter, HumanReadable) {
  EXPECT_EQ(text(array({kit::num(1), kit::num(2)}), true), "[\n  1,\n  2\n]");
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(array({kit::num(1)}), "a");
  d->setObject(kit::MutableDictionary::dictionary(), "b");
  EXPECT_EQ(text(d, true), "{\n  \"a\" : [\n    1\n  ],\n  \"b\" : {}\n}");
  // Indentation follows the nesting even without a nesting limit.
  auto w = writer(true);
  w->setMaxDepth(0);
  EXPECT_EQ(w->stringWithObject(array({array({kit::num(1)})}))->str(), "[\n  [\n    1\n  ]\n]");
}

TEST(SmallJsonWriter, Scalars) {
  EXPECT_EQ(text(kit::Number::yes()), "true");
  EXPECT_EQ(text(kit::Number::no()), "false");
  EXPECT_EQ(text(kit::Number::numberWithChar(1)), "true");  // the one-byte type is the boolean type
  EXPECT_EQ(text(kit::num(1)), "1");
  EXPECT_EQ(text(kit::Number::numberWithUnsignedLongLong(std::numeric_limits<uint64_t>::max())),
            "18446744073709551615");
  EXPECT_EQ(text(kit::num(0.1)), "0.1");
  EXPECT_EQ(text(kit::num(-1e300)), "-1e+300");
  EXPECT_EQ(text(kit::DecimalNumber::decimalNumberWithString("-12.500")), "-12.5");
  EXPECT_EQ(text(kit::Null::null()), "null");
  EXPECT_EQ(failure(nullptr), (Trace{{1, "JSON serialisation not supported for (null)"}}));
}

TEST(SmallJsonWriter, NonFiniteNumbersAreRefused) {
  EXPECT_EQ(failure(kit::num(std::numeric_limits<double>::quiet_NaN())),
            (Trace{{1, "JSON serialisation not supported for nan"}}));
  EXPECT_EQ(failure(array({kit::num(-std::numeric_limits<double>::infinity())})),
            (Trace{{1, "JSON serialisation not supported for -inf"}}));
  EXPECT_EQ(failure(kit::Number::numberWithFloat(std::numeric_limits<float>::infinity())),
            (Trace{{1, "JSON serialisation not supported for inf"}}));
}

TEST(SmallJsonWriter, Strings) {
  EXPECT_EQ(text(kit::str("\t\xc3\xa9")), "\"\\t\xc3\xa9\"");
  EXPECT_EQ(text(kit::str("\x01")), "\"\\u0001\"");
  EXPECT_EQ(text(kit::str("\"\\/\b\f\n\r\x1f\x7f")), "\"\\\"\\\\/\\b\\f\\n\\r\\u001f\x7f\"");
  EXPECT_EQ(text(kit::str(std::string("a\0b", 3))), "\"a\\u0000b\"");
  EXPECT_EQ(text(kit::str("plain \xf0\x9f\x98\x80")), "\"plain \xf0\x9f\x98\x80\"");
  EXPECT_EQ(failure(kit::str("bad \xed\xa0\x80")), (Trace{{1, "Invalid UTF-8 in string"}}));
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::num(1), "\xff");
  EXPECT_EQ(failure(d), (Trace{{1, "Invalid UTF-8 in string"}}));
}

TEST(SmallJsonWriter, UnsupportedValues) {
  auto date = kit::Date::dateWithTimeIntervalSinceReferenceDate(0);
  EXPECT_EQ(failure(array({kit::num(1), date})), (Trace{{1, "JSON serialisation not supported for Date"}}));
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(date, "when");
  EXPECT_EQ(failure(d), (Trace{{1, "JSON serialisation not supported for Date"},
                               {1, "Unsupported value for key when in object"}}));
  EXPECT_EQ(failure(kit::Data::dataWithString("x")), (Trace{{1, "JSON serialisation not supported for Data"}}));
}

TEST(SmallJsonWriter, KeysMustBeStringsEvenWhenSorting) {
  for (bool sorted : {false, true}) {
    auto d = kit::MutableDictionary::dictionary();
    d->setObject(kit::num(1), "a");
    d->setObject(kit::num(2), kit::Ref<kit::Object>(kit::num(7)));
    d->setObject(kit::num(3), kit::Ref<kit::Object>(kit::Null::null()));
    EXPECT_EQ(failure(d, sorted), (Trace{{1, "JSON object key must be string"}})) << sorted;
  }
}

TEST(SmallJsonWriter, ObjectsOnlyUnlessFragment) {
  auto w = writer();
  EXPECT_FALSE(w->stringWithObject(kit::str("s")));
  EXPECT_EQ(traceOf(*w), (Trace{{4, "Not valid type for JSON"}}));
  EXPECT_FALSE(w->stringWithObject(nullptr));
  EXPECT_EQ(traceOf(*w), (Trace{{4, "Not valid type for JSON"}}));
  EXPECT_EQ(w->stringWithFragment(kit::str("s"))->str(), "\"s\"");
  EXPECT_FALSE(w->errorTrace());
  EXPECT_TRUE(w->stringWithFragment(kit::str("s"))->isMutable());
}

TEST(SmallJsonWriter, Proxies) {
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::num(1), "p");
  kit::Ref<kit::Object> proxied(new Proxied(d));
  EXPECT_EQ(text(array({proxied})), R"([{"p":1}])");
  auto w = writer();
  EXPECT_EQ(w->stringWithObject(proxied)->str(), R"({"p":1})");
  // A proxy that is no container is no JSON text; one whose value fails neither.
  EXPECT_FALSE(w->stringWithObject(kit::Ref<kit::Object>(new Proxied(kit::str("s")))));
  EXPECT_EQ(traceOf(*w), (Trace{{4, "Not valid type for JSON"}}));
  EXPECT_FALSE(w->stringWithObject(kit::Ref<kit::Object>(new Proxied(array({kit::Data::dataWithString("x")})))));
  EXPECT_EQ(traceOf(*w), (Trace{{4, "Not valid type for JSON"}}));
  // A chain of proxies that never ends fails instead of running forever.
  kit::Ref<kit::Object> endless(new Proxied(nullptr));
  EXPECT_EQ(failure(endless), (Trace{{1, "JSON serialisation not supported for Proxied"}}));
  EXPECT_FALSE(w->stringWithObject(endless));
}

TEST(SmallJsonWriter, NestingLimitAndCycles) {
  auto deepest = kit::MutableArray::array();
  kit::Ref<kit::MutableArray> outer = deepest;
  for (int i = 1; i < 513; ++i) outer = array({outer});  // 513 levels
  auto w = writer();
  EXPECT_FALSE(w->stringWithObject(outer));
  EXPECT_EQ(traceOf(*w), (Trace{{7, "Nested too deep"}}));
  EXPECT_TRUE(w->stringWithObject(outer->objectAtIndex(0)));  // 512 levels

  // A collection holding itself, with and without a limit.
  auto cycle = kit::MutableArray::array();
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(cycle, "again");
  cycle->addObject(d);
  for (unsigned limit : {512u, 0u, 100000u}) {
    w->setMaxDepth(limit);
    EXPECT_FALSE(w->stringWithObject(cycle)) << limit;
    auto trace = traceOf(*w);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front(), (std::pair<long, std::string>{7, "Nested too deep"}));
    EXPECT_EQ(trace.back(), (std::pair<long, std::string>{1, "Unsupported value for key again in object"}));
  }
  cycle->removeAllObjects();  // break the reference cycle
}
