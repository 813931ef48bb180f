#include "data/AdblockPredicate.h"

#include "kit/foundation/WildcardPatternSet.h"

namespace tolva {

AdblockPredicate::AdblockPredicate(std::string pattern, Counter counter)
    : pattern_(std::move(pattern)), counter_(counter ? std::move(counter) : std::make_shared<std::atomic<long>>(0)) {}

bool AdblockPredicate::evaluateWithObject(std::string_view url) const {
  return kit::WildcardPatternSet::matches(pattern_, url);
}

}  // namespace tolva
