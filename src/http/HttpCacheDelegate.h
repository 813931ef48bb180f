#pragma once
// What the request engine asks of a response cache (the download cache of a request). The
// browser attaches none to its downloads; the cache itself comes separately and adopts this.

#include <string>

#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/URL.h"

namespace tolva {

class HttpRequest;

// A request's cachePolicy: flags, combinable.
enum CachePolicy : int {
  CachePolicyDefault = 0,
  CachePolicyNoRead = 1,
  CachePolicyNoWrite = 2,
  CachePolicyUseIfCurrent = 4,
  CachePolicyUseIfServerAgrees = 8,
  CachePolicyUseIfCached = 16,
  CachePolicyNeverLoad = 32,
  CachePolicyFallbackOnFailure = 64,
};

// A request's cacheStoragePolicy.
enum CacheStoragePolicy : int {
  CacheStorageSession = 0,
  CacheStoragePermanent = 1,
};

class HttpCacheDelegate : public kit::Object {
 public:
  // The policy a request with CachePolicyDefault takes.
  virtual int defaultCachePolicy() const = 0;
  virtual void setDefaultCachePolicy(int policy) = 0;
  virtual void removeCachedDataForRequest(HttpRequest* request) = 0;
  virtual bool isCachedDataCurrentForRequest(HttpRequest* request) = 0;
  virtual void storeResponseForRequest(HttpRequest* request, double maxAge) = 0;
  virtual kit::Ref<kit::Dictionary> cachedResponseHeadersForURL(const kit::URL* url) = 0;
  virtual kit::Ref<kit::Data> cachedResponseDataForURL(const kit::URL* url) = 0;
  // Writes the stored body to a file of the caller's, replacing it; false when nothing usable
  // is stored or the file cannot be written.
  virtual bool writeCachedResponseDataForURL(const kit::URL* url, const std::string& destination) {
    kit::Ref<kit::Data> data = cachedResponseDataForURL(url);
    return data && kit::FileManager::writeFile(destination, data->view());
  }
  // Empty when nothing is stored.
  virtual std::string pathToCachedResponseDataForURL(const kit::URL* url) = 0;
  virtual std::string pathToCachedResponseHeadersForURL(const kit::URL* url) = 0;
  virtual std::string pathToStoreCachedResponseDataForRequest(HttpRequest* request) = 0;
  virtual std::string pathToStoreCachedResponseHeadersForRequest(HttpRequest* request) = 0;
  virtual void clearCachedResponsesForStoragePolicy(int storagePolicy) = 0;
  virtual bool canUseCachedDataForRequest(HttpRequest* request) = 0;

  std::string className() const override { return "HttpCacheDelegate"; }
};

}  // namespace tolva
