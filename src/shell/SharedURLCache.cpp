#include "shell/SharedURLCache.h"

namespace tolva {
namespace {

struct Slot {
  uint64_t memory = 0;
  uint64_t disk = 0;
  kit::Ref<MyURLCache> cache;
};

Slot& slot() {
  static Slot s;
  return s;
}

}  // namespace

uint64_t SharedURLCache::currentMemoryCapacity() {
  return slot().cache ? slot().cache->memoryCapacity() : slot().memory;
}

uint64_t SharedURLCache::currentDiskCapacity() { return slot().cache ? slot().cache->diskCapacity() : slot().disk; }

void SharedURLCache::install(kit::Ref<MyURLCache> cache) { slot().cache = std::move(cache); }

MyURLCache* SharedURLCache::installed() { return slot().cache.get(); }

void SharedURLCache::removeAllCachedResponses() {
  if (slot().cache) slot().cache->removeAllCachedResponses();
}

void SharedURLCache::resetForTesting(uint64_t memoryCapacity, uint64_t diskCapacity) {
  slot() = Slot{memoryCapacity, diskCapacity, nullptr};
}

}  // namespace tolva
