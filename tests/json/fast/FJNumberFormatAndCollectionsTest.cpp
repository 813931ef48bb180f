// The serializer's own number printing against the C library's "%.17g", and
// kit's collections against the standard containers under random churn.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "json/fast/FJNumberFormat.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

namespace {

std::string viaPrintf(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string viaFormat(double v) {
  char buf[64];
  char* end = tolva::FJNumberFormat::formatDouble(v, buf);
  return std::string(buf, end);
}

TEST(FJNumberFormat, MatchesPercent17gOnEdgesAndRandomValues) {
  const double edges[] = {0.0, -0.0, 1.0, -1.0, 0.1, 1e-7, 123456789012345678.0, 1e21, 1e22, 5e-324,
                          std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                          9007199254740993.0, 0.5, 2.5, 1e-5, 1e16, 1e17, 123.456};
  for (double v : edges) EXPECT_EQ(viaFormat(v), viaPrintf(v)) << v;
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> unit(-1e6, 1e6);
  for (int i = 0; i < 200000; ++i) {
    double v;
    if (i % 3 == 0) {
      uint64_t bits = rng();
      std::memcpy(&v, &bits, sizeof v);
      if (!std::isfinite(v)) continue;
    } else if (i % 3 == 1) {
      v = unit(rng);
    } else {
      v = static_cast<double>(static_cast<int64_t>(rng() >> 11)) / 1000.0;
    }
    ASSERT_EQ(viaFormat(v), viaPrintf(v)) << "bits of " << v;
  }
}

TEST(KitCollections, DictionaryAndArrayAgreeWithStandardContainersUnderChurn) {
  std::mt19937 rng(7);
  auto dict = kit::MutableDictionary::dictionary();
  std::map<std::string, int> reference;
  auto arr = kit::MutableArray::array();
  std::vector<int> list;
  for (int step = 0; step < 20000; ++step) {
    std::string key = "k" + std::to_string(rng() % 500);
    int op = static_cast<int>(rng() % 4);
    if (op < 2) {
      int v = static_cast<int>(rng() % 1000);
      dict->setObject(kit::num(v), key);
      reference[key] = v;
    } else if (op == 2) {
      dict->removeObjectForKey(key);
      reference.erase(key);
    }
    if (rng() % 2 || list.empty()) {
      size_t at = list.empty() ? 0 : rng() % (list.size() + 1);
      arr->insertObject(kit::num(step), at);
      list.insert(list.begin() + static_cast<long>(at), step);
    } else {
      size_t at = rng() % list.size();
      arr->removeObjectAtIndex(at);
      list.erase(list.begin() + static_cast<long>(at));
    }
  }
  ASSERT_EQ(dict->count(), reference.size());
  for (auto& [k, v] : reference) {
    auto* n = dict->get<kit::Number>(k);
    ASSERT_NE(n, nullptr) << k;
    EXPECT_EQ(n->intValue(), v) << k;
  }
  ASSERT_EQ(arr->count(), list.size());
  for (size_t i = 0; i < list.size(); ++i) ASSERT_EQ(arr->get<kit::Number>(i)->intValue(), list[i]);
}

}  // namespace
