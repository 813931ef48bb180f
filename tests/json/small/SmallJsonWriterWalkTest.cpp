// The writer walks kit's own containers without holding each value, writes
// numbers and strings straight into its buffer and keeps that buffer between
// calls: these tests hold it to the same text and errors as the plain way.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "json/small/SmallJsonParser.h"
#include "json/small/SmallJsonTestSupport.h"
#include "json/small/SmallJsonWriter.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/DecimalNumber.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"

using namespace smalljsontest;
using tolva::SmallJsonWriter;

namespace {

std::string text(const kit::Object* value, bool human = false, bool sorted = false) {
  kit::Ref<SmallJsonWriter> w(new SmallJsonWriter());
  w->setHumanReadable(human);
  w->setSortKeys(sorted);
  auto s = w->stringWithFragment(value);
  EXPECT_TRUE(s) << (traceOf(*w).empty() ? "" : traceOf(*w).back().second);
  return s ? s->str() : "(failed)";
}

// Runs a change when asked for its stand-in, then stands in as a string.
class Changer : public kit::Object {
 public:
  explicit Changer(std::function<void()> change) : change_(std::move(change)) {}
  kit::Ref<kit::Object> proxyForJson() const override {
    change_();
    return kit::str("changed");
  }
  std::string className() const override { return "Changer"; }

 private:
  std::function<void()> change_;
};

// The numbers 0 to n - 1, each made when asked for and gone at the next ask.
class Countdown : public kit::Array {
 public:
  explicit Countdown(size_t n) : n_(n) {}
  size_t count() const noexcept override { return n_; }
  kit::Object* objectAtIndex(size_t index) const override {
    made_ = kit::num(static_cast<int>(index));
    return made_.get();
  }

 private:
  size_t n_;
  mutable kit::Ref<kit::Object> made_;
};

// Each key's value is its length; keys and values exist only while enumerated.
class Lengths : public kit::Dictionary {
 public:
  explicit Lengths(std::vector<std::string> keys) : keys_(std::move(keys)) {}
  size_t count() const noexcept override { return keys_.size(); }
  void enumerate(const std::function<void(kit::Object*, kit::Object*, bool&)>& fn) const override {
    bool stop = false;
    for (const auto& k : keys_) {
      auto key = kit::str(k);
      auto value = kit::num(static_cast<int>(k.size()));
      fn(key.get(), value.get(), stop);
      if (stop) return;
    }
  }

 private:
  std::vector<std::string> keys_;
};

// The escaping the writer must match, a byte at a time.
std::string escaped(const std::string& s) {
  std::string out = "\"";
  for (unsigned char b : s) {
    switch (b) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (b < 0x20) {
          char u[8];
          std::snprintf(u, sizeof u, "\\u%04x", b);
          out += u;
        } else {
          out += static_cast<char>(b);
        }
    }
  }
  return out + "\"";
}

}  // namespace

TEST(SmallJsonWriterWalk, ContainersChangedByAProxyKeepWhatWasPending) {
  // The dictionary drops every member, the one being written included: the
  // members it had when its writing began are written all the same.
  auto d = kit::MutableDictionary::dictionary();
  kit::MutableDictionary* dRaw = d.get();
  d->setObject(kit::Ref<kit::Object>(new Changer([dRaw] { dRaw->removeAllObjects(); })), "a");
  d->setObject(kit::Ref<kit::Object>(new kit::MutableArray({kit::str("only the dictionary holds this")})), "b");
  d->setObject(kit::str("last"), "c");
  EXPECT_EQ(text(d), R"({"a":"changed","b":["only the dictionary holds this"],"c":"last"})");
  EXPECT_EQ(d->count(), 0u);

  // An array emptied from two levels down: the element being written stays,
  // and the array, asked its count again, has no more.
  auto outer = kit::MutableArray::array();
  kit::MutableArray* outerRaw = outer.get();
  {
    auto inner = kit::MutableDictionary::dictionary();
    inner->setObject(kit::Ref<kit::Object>(new Changer([outerRaw] { outerRaw->removeAllObjects(); })), "m");
    inner->setObject(kit::str("after"), "n");
    outer->addObject(inner);
    outer->addObject(kit::str("dropped"));
  }
  EXPECT_EQ(text(outer), R"([{"m":"changed","n":"after"}])");

  // Sorted, and with a level in between that the change leaves alone.
  auto top = kit::MutableDictionary::dictionary();
  kit::MutableDictionary* topRaw = top.get();
  top->setObject(kit::str("z"), "z");
  top->setObject(kit::Ref<kit::Object>(new kit::MutableArray(
                     {kit::Ref<kit::Object>(new Changer([topRaw] { topRaw->removeAllObjects(); })), kit::num(2)})),
                 "m");
  top->setObject(kit::str("a"), "a");
  EXPECT_EQ(text(top, false, true), R"({"a":"a","m":["changed",2],"z":"z"})");
}

TEST(SmallJsonWriterWalk, ContainersWithTheirOwnStorage) {
  EXPECT_EQ(text(kit::Ref<kit::Object>(new Countdown(3))), "[0,1,2]");
  kit::Ref<kit::Object> lengths(new Lengths({"ccc", "a", "bb"}));
  EXPECT_EQ(text(lengths), R"({"ccc":3,"a":1,"bb":2})");
  EXPECT_EQ(text(lengths, false, true), R"({"a":1,"bb":2,"ccc":3})");
  EXPECT_EQ(text(kit::Ref<kit::Object>(new kit::MutableArray({lengths, kit::Ref<kit::Object>(new Countdown(2))})),
                 true),
            "[\n  {\n    \"ccc\" : 3,\n    \"a\" : 1,\n    \"bb\" : 2\n  },\n  [\n    0,\n    1\n  ]\n]");
}

TEST(SmallJsonWriterWalk, NumbersAsTheirOwnText) {
  std::vector<kit::Ref<kit::Number>> numbers = {
      kit::num(0),
      kit::Number::numberWithLongLong(std::numeric_limits<int64_t>::min()),
      kit::Number::numberWithLongLong(std::numeric_limits<int64_t>::max()),
      kit::Number::numberWithUnsignedLongLong(std::numeric_limits<uint64_t>::max()),
      kit::Number::numberWithUnsignedChar(200),
      kit::Number::numberWithShort(-7),
      kit::Number::numberWithFloat(0.1f),
      kit::Number::numberWithFloat(-3.4e38f),
      kit::num(5e-324),
      kit::num(-1.7976931348623157e308),
      kit::num(-0.0),
      kit::num(123456789.125),
  };
  std::mt19937_64 rng(17);
  for (int i = 0; i < 300; ++i) {
    // Mantissas of every length up to the full 128 bits, exponents into
    // each of the text's forms (plain, zeros after, "0.", with an exponent).
    unsigned __int128 m = (static_cast<unsigned __int128>(rng()) << 64) | rng();
    m >>= rng() % 128;
    int exponent = static_cast<int>(rng() % 130) - 80;
    numbers.push_back(kit::DecimalNumber::decimalNumberWithMantissa(m, exponent, rng() % 2));
  }
  for (auto& n : numbers) EXPECT_EQ(text(n), n->stringValue());
  // Many in one array, where each is written into what the last one left.
  std::string expected = "[";
  auto all = kit::MutableArray::array();
  for (auto& n : numbers) {
    expected += (all->empty() ? "" : ",") + n->stringValue();
    all->addObject(n);
  }
  EXPECT_EQ(text(all), expected + "]");
}

TEST(SmallJsonWriterWalk, StringsEscapedAndCheckedInOnePass) {
  const std::vector<std::string> pieces = {"a",  "plain text ", "\"", "\\", "\n", "\x01", "\x1f", "\x7f", "/",
                                           "\xc3\xa9", "\xe4\xb8\xad", "\xf0\x9f\x98\x80", "\t\r\b\f"};
  std::mt19937 rng(3);
  for (int i = 0; i < 400; ++i) {
    std::string s;
    for (int n = static_cast<int>(rng() % 12); n > 0; --n) s += pieces[rng() % pieces.size()];
    EXPECT_EQ(text(kit::str(s)), escaped(s)) << s;
  }
  // Bad bytes anywhere: after a long plain run, after an escape, cut short
  // at the end, a surrogate, an overlong form.
  for (std::string bad : {std::string(20, 'x') + "\xff", std::string("\n\x80"), std::string("abc\xe4\xb8"),
                          std::string("12345678\xed\xa0\x80"), std::string("\xc0\xaf rest")}) {
    kit::Ref<SmallJsonWriter> w(new SmallJsonWriter());
    EXPECT_FALSE(w->stringWithFragment(kit::Ref<kit::Object>(new kit::MutableArray({kit::str("ok"), kit::str(bad)}))));
    EXPECT_EQ(traceOf(*w), (Trace{{1, "Invalid UTF-8 in string"}})) << bad;
  }
}

TEST(SmallJsonWriterWalk, OneWriterForLargeAndSmallTexts) {
  kit::Ref<SmallJsonWriter> w(new SmallJsonWriter());
  auto big = kit::MutableArray::array();
  std::string expected = "[";
  for (int i = 0; i < 20000; ++i) {
    big->addObject(kit::str("item " + std::to_string(i)));
    expected += (i ? ",\"item " : "\"item ") + std::to_string(i) + "\"";
  }
  expected += "]";
  auto small = kit::Ref<kit::Object>(new kit::MutableArray({kit::num(1)}));
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(w->stringWithObject(big)->str(), expected);
    EXPECT_EQ(w->stringWithObject(small)->str(), "[1]");
  }
  // A failed write leaves nothing behind for the next one.
  EXPECT_FALSE(w->stringWithObject(kit::Ref<kit::Object>(new kit::MutableArray({kit::num(1), kit::str("\xff")}))));
  EXPECT_EQ(w->stringWithObject(small)->str(), "[1]");
  // Indentation deeper than the buffer first made.
  auto deep = kit::MutableArray::array();
  kit::Ref<kit::MutableArray> outer = deep;
  deep->addObject(kit::num(7));
  for (int i = 1; i < 300; ++i) outer = kit::Ref<kit::MutableArray>(new kit::MutableArray({outer}));
  w->setHumanReadable(true);
  auto indented = w->stringWithObject(outer)->str();
  EXPECT_NE(indented.find("\n" + std::string(2 * 300, ' ') + "7\n" + std::string(2 * 299, ' ') + "]"),
            std::string::npos);
}

TEST(SmallJsonWriterWalk, AProxyMayAskTheWriterThatIsWritingIt) {
  // Stands in as the writer's text for another value.
  class Nested : public kit::Object {
   public:
    Nested(SmallJsonWriter* writer, kit::Ref<kit::Object> value) : writer_(writer), value_(std::move(value)) {}
    kit::Ref<kit::Object> proxyForJson() const override { return writer_->stringWithFragment(value_); }

   private:
    SmallJsonWriter* writer_;
    kit::Ref<kit::Object> value_;
  };
  kit::Ref<SmallJsonWriter> w(new SmallJsonWriter());
  w->setSortKeys(true);
  auto inner = kit::MutableDictionary::dictionary();
  inner->setObject(kit::Ref<kit::Object>(new kit::MutableArray({kit::num(1), kit::num(2)})), "k");
  inner->setObject(kit::str("v"), "j");
  auto outer = kit::MutableDictionary::dictionary();
  outer->setObject(kit::Ref<kit::Object>(new kit::MutableArray({kit::Number::yes()})), "z");
  outer->setObject(kit::Ref<kit::Object>(new Nested(w.get(), inner)), "n");
  outer->setObject(kit::str("x"), "a");
  EXPECT_EQ(w->stringWithObject(outer)->str(), R"({"a":"x","n":"{\"j\":\"v\",\"k\":[1,2]}","z":[true]})");
  EXPECT_FALSE(w->errorTrace());
}

TEST(SmallJsonWriterWalk, KeysSharedByManyDictionariesAreWrittenAlikeEachTime) {
  // The parser makes each distinct key once; the writer copies a short one's
  // text from what it wrote before. Escaped keys and one too long to keep,
  // in dictionaries of up to nine entries (more take the long way), twice
  // through one writer.
  std::string doc = "[";
  for (int i = 0; i < 40; ++i) {
    if (i) doc += ",";
    doc += R"({"k":1,"a \"quoted\" key\n":2,"a key much longer than any the writer keeps, to be sure":{"k":[]})";
    if (i % 3 == 0) doc += R"(,"b":1,"c":2,"d":3,"e":4,"f":5,"g":6)";
    doc += "}";
  }
  doc += "]";
  kit::Ref<tolva::SmallJsonParser> parser(new tolva::SmallJsonParser());
  kit::Ref<kit::Object> tree = parser->objectWithString(doc);
  ASSERT_TRUE(tree);
  kit::Ref<SmallJsonWriter> w(new SmallJsonWriter());
  for (int pass = 0; pass < 2; ++pass) {
    auto s = w->stringWithFragment(tree.get());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->str(), doc);
  }
  // Keys changed between two writes: the first write's text is not reused.
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::num(1), "first");
  EXPECT_EQ(w->stringWithFragment(d.get())->str(), R"({"first":1})");
  d = kit::MutableDictionary::dictionary();
  d->setObject(kit::num(2), "other");
  EXPECT_EQ(w->stringWithFragment(d.get())->str(), R"({"other":2})");
}
