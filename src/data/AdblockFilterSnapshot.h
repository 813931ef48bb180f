#pragma once
// One whole, immutable state of the filter list as checks see it: the
// enabled entries that have a predicate, in list order, indexed for
// matching. The manager swaps in a new one after every change, so a check
// running meanwhile answers from the old list or the new one, never a mix.

#include <cstdint>
#include <string_view>
#include <vector>

#include "data/AdblockPredicate.h"
#include "kit/foundation/Ref.h"
#include "kit/foundation/WildcardPatternSet.h"

namespace tolva {

class AdblockFilterSnapshot {
 public:
  AdblockFilterSnapshot(std::vector<kit::Ref<AdblockPredicate>> predicates, uint64_t generation);

  // The predicate of the first entry that matches the URL, or null.
  AdblockPredicate* firstMatch(std::string_view url) const;

  const std::vector<kit::Ref<AdblockPredicate>>& predicates() const noexcept { return predicates_; }
  const kit::WildcardPatternSet& patterns() const noexcept { return set_; }
  uint64_t generation() const noexcept { return generation_; }

 private:
  const std::vector<kit::Ref<AdblockPredicate>> predicates_;
  const kit::WildcardPatternSet set_;
  const uint64_t generation_;
};

}  // namespace tolva
