#pragma once
// Responses kept on disk so that a request can be answered without the network, revalidated,
// or served when the network fails. Two stores under the storage path: "SessionStore" (emptied
// whenever a storage path is set) and "PermanentStore". Per URL a headers file (a property list,
// "<KEY>.cachedheaders") and a data file ("<KEY>.<ext>"). Every storage operation runs under the
// recursive access lock.
//
// Stored files are not trusted: an entry is a headers file and a data file that are both regular
// files (no symbolic link followed, no FIFO or device), of bounded size, the data file exactly as
// long as the stored "Content-Length" (which the cache writes as the stored body's length).
// Anything else is a miss, and its files are removed.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "http/HttpCacheDelegate.h"
#include "kit/foundation/Date.h"

namespace tolva {

class HttpDownloadCache : public HttpCacheDelegate {
 public:
  // The largest body kept; a longer response is not stored.
  static constexpr uint64_t kMaxStoredBodyLength = uint64_t(1) << 30;

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
  bool writeCachedResponseDataForURL(const kit::URL* url, const std::string& destination) override;
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
  struct StoredEntry {
    std::string headersPath;
    std::string dataPath;
    kit::Ref<kit::Dictionary> headers;
    uint64_t length = 0;
  };
  // The URL's entry when its files pass the checks above; otherwise they are removed.
  std::optional<StoredEntry> storedEntry(const kit::URL* url);
  // The checked data file opened for reading, or -1.
  int openCachedResponseData(const kit::URL* url, uint64_t* length);

  int defaultCachePolicy_ = CachePolicyUseIfCurrent;
  std::string storagePath_;
  mutable std::recursive_mutex accessLock_;
  bool shouldRespectCacheControlHeaders_ = true;
};

}  // namespace tolva
