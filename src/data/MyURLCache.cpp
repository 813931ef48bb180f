#include "data/MyURLCache.h"

#include "common/VeskMiscObject.h"
#include "data/VeskAdblockManager.h"
#include "kit/foundation/Data.h"
#include "kit/net/URLResponse.h"

namespace tolva {

kit::Ref<kit::CachedURLResponse> MyURLCache::placeholderForURL(kit::URL* url) {
  auto response = kit::URLResponse::responseWithURL(url, "text/plain", 1, std::nullopt);
  return kit::CachedURLResponse::cachedResponse(response, kit::Data::dataWithBytes(" ", 1),
                                                kit::CachedURLResponse::StoragePolicy::NotAllowed);
}

kit::Ref<kit::CachedURLResponse> MyURLCache::cachedResponseForRequest(const kit::URLRequest& request) {
  kit::URL* url = request.url();
  if (url && VeskMiscObject::sharedInstance()->opt_adblock() &&
      VeskAdblockManager::sharedInstance()->checkWithFilter(url->absoluteString()))
    return placeholderForURL(url);
  return kit::URLCache::cachedResponseForRequest(request);
}

}  // namespace tolva
