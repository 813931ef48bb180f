#pragma once
// The process's shared URL cache as the shell sees it: the capacities of the
// cache in place and the installing of the browser's own. A seam over the
// platform's shared URL cache, which kit's URL loading will provide; until
// then the cache in place is a default one with no capacity.

#include <cstdint>

#include "kit/foundation/Object.h"
#include "shell/standins/MyURLCache.h"

namespace tolva {

class SharedURLCache {
 public:
  static uint64_t currentMemoryCapacity();
  static uint64_t currentDiskCapacity();
  static void install(kit::Ref<MyURLCache> cache);
  // The browser's cache once installed, else null.
  static MyURLCache* installed();
  static void removeAllCachedResponses();
  // Back to a default cache of these capacities (tests).
  static void resetForTesting(uint64_t memoryCapacity, uint64_t diskCapacity);
};

}  // namespace tolva
