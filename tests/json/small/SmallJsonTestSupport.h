#pragma once
// Helpers shared by the small JSON codec's tests.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "json/small/SmallJsonBase.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/String.h"

namespace smalljsontest {

using Trace = std::vector<std::pair<long, std::string>>;

// The trace as (code, message) pairs, innermost first.
inline Trace traceOf(const tolva::SmallJsonBase& codec) {
  Trace t;
  if (auto trace = codec.errorTrace())
    for (auto* o : *trace) {
      auto* e = static_cast<kit::Error*>(o);
      t.emplace_back(e->code(), e->localizedDescription());
    }
  return t;
}

// Whether the trace is a proper chain: our domain, codes 1 to 12, and each
// error's underlying error is the one before it.
inline ::testing::AssertionResult wellFormedTrace(const tolva::SmallJsonBase& codec) {
  auto trace = codec.errorTrace();
  if (!trace || trace->empty()) return ::testing::AssertionFailure() << "empty trace";
  kit::Error* previous = nullptr;
  for (auto* o : *trace) {
    auto* e = kit::cast<kit::Error>(o);
    if (!e) return ::testing::AssertionFailure() << "not an error: " << o->className();
    if (e->domain() != tolva::SmallJsonBase::kErrorDomain || e->code() < 1 || e->code() > 12)
      return ::testing::AssertionFailure() << e->description();
    if (e->underlyingError() != previous)
      return ::testing::AssertionFailure() << "broken chain at " << e->description();
    previous = e;
  }
  return ::testing::AssertionSuccess();
}

inline std::string nested(size_t depth, const char* open = "[", const char* close = "]") {
  std::string s;
  for (size_t i = 0; i < depth; ++i) s += open;
  for (size_t i = 0; i < depth; ++i) s += close;
  return s;
}

}  // namespace smalljsontest
