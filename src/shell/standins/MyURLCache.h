#pragma once
// Stand-in for the browser's URL cache: the platform's cache as it is. The
// real one (placeholder answers for URLs the ad-block filter refuses)
// replaces it.

#include <cstdint>
#include <string>

#include "kit/net/URLCache.h"

namespace tolva {

class MyURLCache : public kit::URLCache {
 public:
  MyURLCache(uint64_t memoryCapacity, uint64_t diskCapacity, const std::string& diskPath)
      : kit::URLCache(memoryCapacity, diskCapacity, diskPath) {}

  std::string className() const override { return "MyURLCache"; }
};

}  // namespace tolva
