#pragma once
// Responses kept on disk so that a request can be answered without the network, revalidated,
// or served when the network fails. Two stores under the storage path: "SessionStore" (emptied
// whenever a storage path is set) and "PermanentStore". Per URL a headers file (a property list,
// "<KEY>.cachedheaders") and a data file ("<KEY>.<ext>"). Every storage operation runs under the
// recursive access lock.

#include <mutex>
#include <string>

#include "http/HttpCacheDelegate.h"
#include "kit/foundation/Date.h"

namespace tolva {

class HttpDownloadCache : public HttpCacheDelegate {
 public:
  HttpDownloadCache();

  // The process's cache under "HttpRequestCache" in the caches folder, made once on first use.
  static kit::Ref<HttpDownloadCache> sharedCache();

  std::string storagePath() const;
  // Raises "FileExistsAtCachePath" or "FailedToCreateCacheDirectory" (kit::Exception).
  void setStoragePath(const std::string& path);

  int defaultCachePolicy() const override;
  // 0 stores CachePolicyUseIfCurrent.
  void setDefaultCachePolicy(int policy) override;
  bool shouldRespectCacheControlHeaders() const noexcept { return shouldRespectCacheControlHeaders_; }
  void setShouldRespectCacheControlHeaders(bool respect) noexcept { shouldRespectCacheControlHeaders_ = respect; }
  std::recursive_mutex& accessLock() const noexcept { return accessLock_; }

  void storeResponseForRequest(HttpRequest* request, double maxAge) override;
  kit::Ref<kit::Dictionary> cachedResponseHeadersForURL(const kit::URL* url) override;
  kit::Ref<kit::Data> cachedResponseDataForURL(const kit::URL* url) override;
  std::string pathToCachedResponseDataForURL(const kit::URL* url) override;
  std::string pathToCachedResponseHeadersForURL(const kit::URL* url) override;
  std::string pathToStoreCachedResponseDataForRequest(HttpRequest* request) override;
  std::string pathToStoreCachedResponseHeadersForRequest(HttpRequest* request) override;
  void removeCachedDataForRequest(HttpRequest* request) override;
  bool isCachedDataCurrentForRequest(HttpRequest* request) override;
  // Raises "FailedToTraverseCacheDirectory" or "FailedToRemoveCacheFile".
  void clearCachedResponsesForStoragePolicy(int storagePolicy) override;
  bool canUseCachedDataForRequest(HttpRequest* request) override;

  // Whether the response's Cache-Control and Pragma allow keeping it.
  static bool serverAllowsResponseCachingForRequest(HttpRequest* request);
  // MD5 of the URL (without one trailing "/") as 32 upper-case hexadecimal digits.
  static std::string keyForURL(const kit::URL* url);
  // "EEE, dd MMM yyyy HH:mm:ss 'GMT'".
  static std::string rfc1123StringFromDate(const kit::Date* date);

  std::string className() const override { return "HttpDownloadCache"; }

 private:
  // The file name's extension: the URL path's, or "html".
  static std::string extensionForURL(const kit::URL* url);
  std::string pathInStore(const char* store, const kit::URL* url, bool headers) const;
  std::string foundPath(const kit::URL* url, bool headers);

  int defaultCachePolicy_ = CachePolicyUseIfCurrent;
  std::string storagePath_;
  mutable std::recursive_mutex accessLock_;
  bool shouldRespectCacheControlHeaders_ = true;
};

}  // namespace tolva
