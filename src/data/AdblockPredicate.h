#pragma once
// The compiled matcher of one filter entry's pattern, kept in memory under
// the entry's "predicate" key and never stored. It also carries the entry's
// hit counter: checks on loading threads only add to it, and the manager
// moves what it holds into the entry's "hitcount" on the main thread. An
// entry's successive predicates share one counter, so a check that still
// holds the previous list counts into the same place.

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "kit/foundation/Object.h"

namespace tolva {

class AdblockPredicate : public kit::Object {
 public:
  using Counter = std::shared_ptr<std::atomic<long>>;

  // A null counter makes a new one.
  explicit AdblockPredicate(std::string pattern, Counter counter = nullptr);

  const std::string& pattern() const noexcept { return pattern_; }
  // Whether the whole URL matches the pattern.
  bool evaluateWithObject(std::string_view url) const;

  const Counter& counter() const noexcept { return counter_; }
  void countHit() const { counter_->fetch_add(1, std::memory_order_relaxed); }
  // The hits counted since the last call.
  long takeHits() const { return counter_->exchange(0, std::memory_order_relaxed); }

  std::string className() const override { return "AdblockPredicate"; }
  std::string description() const override { return "self LIKE \"" + pattern_ + "\""; }

 private:
  const std::string pattern_;
  const Counter counter_;
};

}  // namespace tolva
