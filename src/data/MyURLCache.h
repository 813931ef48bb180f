#pragma once
// The browser's URL cache: while ad blocking is on, a request for a URL the
// filter list matches is answered with a placeholder, a "text/plain"
// response of one space, so a cache-only request for it succeeds empty-handed.
// The placeholder is made for each answer and never kept: once ad blocking
// is off (or the list changes) the URL loads normally, and a response the
// cache held for it before is still there.

#include <cstdint>
#include <string>

#include "kit/net/URLCache.h"

namespace tolva {

class MyURLCache : public kit::URLCache {
 public:
  MyURLCache(uint64_t memoryCapacity, uint64_t diskCapacity, const std::string& diskPath)
      : kit::URLCache(memoryCapacity, diskCapacity, diskPath) {}

  kit::Ref<kit::CachedURLResponse> cachedResponseForRequest(const kit::URLRequest& request) override;

  // The placeholder for a URL.
  static kit::Ref<kit::CachedURLResponse> placeholderForURL(kit::URL* url);

  std::string className() const override { return "MyURLCache"; }
};

}  // namespace tolva
