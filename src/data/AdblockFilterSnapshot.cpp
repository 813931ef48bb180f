#include "data/AdblockFilterSnapshot.h"

#include <string>

namespace tolva {
namespace {

std::vector<std::string> patternsOf(const std::vector<kit::Ref<AdblockPredicate>>& predicates) {
  std::vector<std::string> out;
  out.reserve(predicates.size());
  for (const auto& p : predicates) out.push_back(p->pattern());
  return out;
}

}  // namespace

AdblockFilterSnapshot::AdblockFilterSnapshot(std::vector<kit::Ref<AdblockPredicate>> predicates, uint64_t generation)
    : predicates_(std::move(predicates)), set_(patternsOf(predicates_)), generation_(generation) {}

AdblockPredicate* AdblockFilterSnapshot::firstMatch(std::string_view url) const {
  size_t i = set_.firstMatch(url);
  return i == kit::WildcardPatternSet::npos ? nullptr : predicates_[i].get();
}

}  // namespace tolva
