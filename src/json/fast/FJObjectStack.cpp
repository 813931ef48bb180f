#include "json/fast/FJObjectStack.h"

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
  size_t want = count_ + kGrowthStep;
  if (want < index_ + free) want = index_ + free;
  want = (want + kGrowthRound - 1) / kGrowthRound * kGrowthRound;
  if (want > std::numeric_limits<size_t>::max() / sizeof(void*)) return false;

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
  if (onHeap_) {
    std::free(objects_);
    std::free(keys_);
    std::free(hashes_);
  }
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
