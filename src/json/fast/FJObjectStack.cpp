#include "json/fast/FJObjectStack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "kit/foundation/Object.h"

namespace tolva {

FJObjectStack::~FJObjectStack() {
  releaseFrom(0);
  if (onHeap_) {
    std::free(objects_);
    std::free(keys_);
    std::free(hashes_);
  }
}

bool FJObjectStack::grow(size_t free) noexcept {
  // Geometric growth: one array of n values costs O(n) copying in all, not
  // O(n^2) as fixed steps would.
  size_t want = count_ + std::max(count_, kGrowthStep);
  if (want < index_ + free) want = index_ + free;
  want = (want + kGrowthRound - 1) / kGrowthRound * kGrowthRound;
  if (want > std::numeric_limits<size_t>::max() / sizeof(void*) || want <= count_) return false;

  if (onHeap_) {
    // Each array keeps its contents when it moves, and a bigger one than
    // count_ says is harmless: a failure part-way leaves a usable stack.
    auto* objects = static_cast<kit::Object**>(std::realloc(objects_, want * sizeof(kit::Object*)));
    if (!objects) return false;
    objects_ = objects;
    auto* keys = static_cast<kit::Object**>(std::realloc(keys_, want * sizeof(kit::Object*)));
    if (!keys) return false;
    keys_ = keys;
    auto* hashes = static_cast<size_t*>(std::realloc(hashes_, want * sizeof(size_t)));
    if (!hashes) return false;
    hashes_ = hashes;
    count_ = want;
    return true;
  }
  auto* objects = static_cast<kit::Object**>(std::malloc(want * sizeof(kit::Object*)));
  auto* keys = static_cast<kit::Object**>(std::malloc(want * sizeof(kit::Object*)));
  auto* hashes = static_cast<size_t*>(std::malloc(want * sizeof(size_t)));
  if (!objects || !keys || !hashes) {
    std::free(objects);
    std::free(keys);
    std::free(hashes);
    return false;
  }
  std::memcpy(objects, objects_, index_ * sizeof(kit::Object*));
  std::memcpy(keys, keys_, index_ * sizeof(kit::Object*));
  std::memcpy(hashes, hashes_, index_ * sizeof(size_t));
  objects_ = objects;
  keys_ = keys;
  hashes_ = hashes;
  count_ = want;
  onHeap_ = true;
  return true;
}

void FJObjectStack::popTo(size_t start) noexcept {
  if (start < index_) index_ = start;
}

void FJObjectStack::releaseFrom(size_t start) noexcept {
  while (index_ > start) {
    --index_;
    if (keys_[index_]) keys_[index_]->release();
    if (objects_[index_]) objects_[index_]->release();
    keys_[index_] = objects_[index_] = nullptr;
  }
}

}  // namespace tolva
