#pragma once
// Stand-in for the browser's URL cache: it keeps the capacities and disk
// path it was made with and caches nothing. The real cache (placeholder
// answers for blocked URLs on top of the platform's cache) replaces it.

#include <cstdint>
#include <string>

#include "kit/foundation/Object.h"

namespace tolva {

class MyURLCache : public kit::Object {
 public:
  MyURLCache(uint64_t memoryCapacity, uint64_t diskCapacity, std::string diskPath)
      : memoryCapacity_(memoryCapacity), diskCapacity_(diskCapacity), diskPath_(std::move(diskPath)) {}

  uint64_t memoryCapacity() const noexcept { return memoryCapacity_; }
  uint64_t diskCapacity() const noexcept { return diskCapacity_; }
  const std::string& diskPath() const noexcept { return diskPath_; }
  void removeAllCachedResponses() {}

  std::string className() const override { return "MyURLCache"; }

 private:
  uint64_t memoryCapacity_;
  uint64_t diskCapacity_;
  std::string diskPath_;
};

}  // namespace tolva
