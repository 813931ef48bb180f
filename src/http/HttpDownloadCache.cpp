#include "http/HttpDownloadCache.h"

#include <cctype>
#include <cstdlib>

#include "http/HttpRequest.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"
#include "kit/net/HTTPDate.h"
#include "kit/security/Digest.h"

namespace tolva {

using kit::Ref;

namespace {

constexpr const char* kSessionStore = "SessionStore";
constexpr const char* kPermanentStore = "PermanentStore";
constexpr const char* kFetchDateKey = "X-HttpRequest-Fetch-date";

std::string lower(std::string s) {
  for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string headerText(const kit::Dictionary* headers, const char* name) {
  kit::Object* o = headers ? headers->objectForKey(name) : nullptr;
  return o ? o->description() : std::string();
}

// Whether a comma-separated header value holds the token (ignoring case and spaces).
bool hasToken(const std::string& value, std::string_view token) {
  size_t b = 0;
  const std::string v = lower(value);
  while (b <= v.size()) {
    size_t e = v.find(',', b);
    if (e == std::string::npos) e = v.size();
    std::string item = v.substr(b, e - b);
    const size_t eq = item.find('=');
    if (eq != std::string::npos) item = item.substr(0, eq);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) item.erase(0, 1);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) item.pop_back();
    if (item == token) return true;
    b = e + 1;
  }
  return false;
}

// The number after "max-age=", when there is one.
std::optional<long> maxAge(const std::string& cacheControl) {
  const std::string v = lower(cacheControl);
  const size_t at = v.find("max-age");
  if (at == std::string::npos) return std::nullopt;
  size_t i = at + 7;
  while (i < v.size() && v[i] == ' ') ++i;
  if (i >= v.size() || v[i] != '=') return std::nullopt;
  ++i;
  while (i < v.size() && v[i] == ' ') ++i;
  if (i >= v.size() || !std::isdigit(static_cast<unsigned char>(v[i]))) return std::nullopt;
  return std::strtol(v.c_str() + i, nullptr, 10);
}

[[noreturn]] void raise(std::unique_lock<std::recursive_mutex>& lock, const char* name, std::string reason) {
  lock.unlock();
  throw kit::Exception(name, reason);
}

// Writes through a temporary file renamed over the old one.
bool replaceFile(const std::string& path, std::string_view bytes) { return kit::FileManager::writeFile(path, bytes); }

}  // namespace

HttpDownloadCache::HttpDownloadCache() { setDefaultCachePolicy(CachePolicyDefault); }

Ref<HttpDownloadCache> HttpDownloadCache::sharedCache() {
  // Made once even when several threads ask at the same time.
  static const Ref<HttpDownloadCache> shared = [] {
    auto cache = kit::make<HttpDownloadCache>();
    cache->setStoragePath(kit::Paths::cachesDirectory() + "/HttpRequestCache");
    return cache;
  }();
  return shared;
}

std::string HttpDownloadCache::storagePath() const {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  return storagePath_;
}

void HttpDownloadCache::setStoragePath(const std::string& path) {
  std::unique_lock<std::recursive_mutex> lock(accessLock_);
  clearCachedResponsesForStoragePolicy(CacheStorageSession);
  storagePath_ = path;
  if (path.empty()) return;
  for (const std::string& dir : {path, path + "/" + kSessionStore, path + "/" + kPermanentStore}) {
    bool isDirectory = false;
    if (kit::FileManager::fileExists(dir, &isDirectory)) {
      if (!isDirectory) {
        raise(lock, "FileExistsAtCachePath",
              kit::format("Cannot create a directory for the cache at '%@', because a file already exists", dir));
      }
      continue;
    }
    kit::FileManager::createDirectory(dir, false);
    if (!kit::FileManager::isDirectory(dir)) {
      raise(lock, "FailedToCreateCacheDirectory", kit::format("Failed to create a directory for the cache at '%@'", dir));
    }
  }
  clearCachedResponsesForStoragePolicy(CacheStorageSession);
}

int HttpDownloadCache::defaultCachePolicy() const {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  return defaultCachePolicy_;
}

void HttpDownloadCache::setDefaultCachePolicy(int policy) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  defaultCachePolicy_ = policy == CachePolicyDefault ? CachePolicyUseIfCurrent : policy;
}

std::string HttpDownloadCache::keyForURL(const kit::URL* url) {
  if (!url) return {};
  std::string s = url->absoluteString();
  if (!s.empty() && s.back() == '/') s.pop_back();
  return kit::Digest::hex(kit::Digest::md5(s), kit::Digest::HexCase::Upper);
}

std::string HttpDownloadCache::extensionForURL(const kit::URL* url) {
  std::string ext = url ? url->pathExtension() : std::string();
  // A file name is made of it: only letters and digits are taken.
  for (char c : ext) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return "html";
  }
  return ext.empty() || ext.size() > 16 ? "html" : ext;
}

std::string HttpDownloadCache::pathInStore(const char* store, const kit::URL* url, bool headers) const {
  if (storagePath_.empty() || !url) return {};
  return storagePath_ + "/" + store + "/" + keyForURL(url) + "." + (headers ? "cachedheaders" : extensionForURL(url));
}

std::string HttpDownloadCache::foundPath(const kit::URL* url, bool headers) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  for (const char* store : {kSessionStore, kPermanentStore}) {
    const std::string p = pathInStore(store, url, headers);
    if (!p.empty() && kit::FileManager::fileExists(p)) return p;
  }
  return {};
}

std::string HttpDownloadCache::pathToCachedResponseDataForURL(const kit::URL* url) { return foundPath(url, false); }
std::string HttpDownloadCache::pathToCachedResponseHeadersForURL(const kit::URL* url) { return foundPath(url, true); }

std::string HttpDownloadCache::pathToStoreCachedResponseDataForRequest(HttpRequest* request) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  Ref<kit::URL> url = request ? request->url() : nullptr;
  return pathInStore(request && request->cacheStoragePolicy() == CacheStoragePermanent ? kPermanentStore : kSessionStore,
                     url, false);
}

std::string HttpDownloadCache::pathToStoreCachedResponseHeadersForRequest(HttpRequest* request) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  Ref<kit::URL> url = request ? request->url() : nullptr;
  return pathInStore(request && request->cacheStoragePolicy() == CacheStoragePermanent ? kPermanentStore : kSessionStore,
                     url, true);
}

Ref<kit::Dictionary> HttpDownloadCache::cachedResponseHeadersForURL(const kit::URL* url) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  const std::string path = pathToCachedResponseHeadersForURL(url);
  if (path.empty()) return nullptr;
  return kit::cast<kit::Dictionary>(kit::PropertyList::readFromFile(path));
}

Ref<kit::Data> HttpDownloadCache::cachedResponseDataForURL(const kit::URL* url) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  const std::string path = pathToCachedResponseDataForURL(url);
  if (path.empty()) return nullptr;
  return kit::FileManager::readFile(path);
}

void HttpDownloadCache::removeCachedDataForRequest(HttpRequest* request) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  Ref<kit::URL> url = request ? request->url() : nullptr;
  const std::string headers = pathToCachedResponseHeadersForURL(url);
  const std::string data = pathToCachedResponseDataForURL(url);
  if (headers.empty() || data.empty()) return;
  kit::FileManager::removeItem(headers);
  kit::FileManager::removeItem(data);
}

bool HttpDownloadCache::serverAllowsResponseCachingForRequest(HttpRequest* request) {
  Ref<kit::Dictionary> headers = request ? request->responseHeaders() : nullptr;
  // Read as lists of directives: "no-cache, no-store" forbids keeping the response as much as
  // either directive alone does.
  const std::string cacheControl = headerText(headers, "Cache-Control");
  if (hasToken(cacheControl, "no-store") || hasToken(cacheControl, "no-cache")) return false;
  return !hasToken(headerText(headers, "Pragma"), "no-cache");
}

std::string HttpDownloadCache::rfc1123StringFromDate(const kit::Date* date) {
  return kit::HTTPDate::formatRFC1123(date ? date->timeIntervalSinceReferenceDate() : 0);
}

void HttpDownloadCache::storeResponseForRequest(HttpRequest* request, double maxAgeSeconds) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  if (!request || request->error() || !request->responseHeaders() || request->responseStatusCode() != 200 ||
      (request->cachePolicy() & CachePolicyNoWrite)) {
    return;
  }
  if (shouldRespectCacheControlHeaders_ && !serverAllowsResponseCachingForRequest(request)) return;
  const std::string headerPath = pathToStoreCachedResponseHeadersForRequest(request);
  const std::string dataPath = pathToStoreCachedResponseDataForRequest(request);
  if (headerPath.empty() || dataPath.empty()) return;

  Ref<kit::MutableDictionary> headers = kit::cast<kit::MutableDictionary>(request->responseHeaders()->mutableCopy());
  if (request->isResponseCompressed()) headers->removeObjectForKey("Content-Encoding");
  if (maxAgeSeconds > 0) {
    headers->removeObjectForKey("Expires");
    headers->setObject(kit::str(kit::format("max-age=%i", static_cast<int>(maxAgeSeconds))), "Cache-Control");
  }
  headers->setObject(kit::str(rfc1123StringFromDate(kit::Date::date())), kFetchDateKey);

  // The body first, then the headers, each replacing the old file whole: new headers are never
  // served with an old or torn body. On any failure both go.
  bool ok = true;
  if (request->downloadDestinationPath().empty()) {
    Ref<kit::Data> body = request->responseData();
    ok = replaceFile(dataPath, body ? body->view() : std::string_view());
  } else if (request->downloadDestinationPath() != dataPath) {
    // Copied beside the old file, then renamed over it.
    const std::string incoming = dataPath + ".incoming";
    kit::FileManager::removeItem(incoming);
    ok = kit::FileManager::copyItem(request->downloadDestinationPath(), incoming) &&
         kit::FileManager::moveItem(incoming, dataPath);
    if (!ok) kit::FileManager::removeItem(incoming);
  }
  if (ok) {
    Ref<kit::Data> plist = kit::PropertyList::write(headers);
    ok = plist && replaceFile(headerPath, plist->view());
  }
  if (!ok) {
    kit::FileManager::removeItem(headerPath);
    kit::FileManager::removeItem(dataPath);
  }
}

bool HttpDownloadCache::isCachedDataCurrentForRequest(HttpRequest* request) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  if (storagePath_.empty() || !request) return false;
  Ref<kit::URL> url = request->url();
  Ref<kit::Dictionary> cached = cachedResponseHeadersForURL(url);
  if (!cached || pathToCachedResponseDataForURL(url).empty()) return false;

  if (Ref<kit::Dictionary> fresh = request->responseHeaders()) {
    if (request->responseStatusCode() == 304) return true;
    for (const char* name : {"Etag", "Last-Modified"}) {
      const std::string now = headerText(fresh, name);
      if (now.empty() || now != headerText(cached, name)) return false;
    }
  }
  if (!shouldRespectCacheControlHeaders_) return true;

  if (std::optional<long> age = maxAge(headerText(cached, "Cache-Control"))) {
    // Without a readable fetch date the age cannot be told: not current.
    Ref<kit::Date> fetched = HttpRequest::dateFromRFC1123String(headerText(cached, kFetchDateKey));
    if (!fetched) return false;
    return fetched->timeIntervalSinceReferenceDate() + double(*age) >= kit::Date::date()->timeIntervalSinceReferenceDate();
  }
  const std::string expires = headerText(cached, "Expires");
  if (!expires.empty()) {
    // An Expires that is no date means already expired.
    Ref<kit::Date> date = HttpRequest::dateFromRFC1123String(expires);
    return date && date->timeIntervalSinceNow() >= 0;
  }
  return false;
}

void HttpDownloadCache::clearCachedResponsesForStoragePolicy(int storagePolicy) {
  std::unique_lock<std::recursive_mutex> lock(accessLock_);
  if (storagePath_.empty()) return;
  const std::string dir = storagePath_ + "/" + (storagePolicy == CacheStorageSession ? kSessionStore : kPermanentStore);
  if (!kit::FileManager::isDirectory(dir)) return;
  std::optional<std::vector<std::string>> entries = kit::FileManager::contentsOfDirectory(dir);
  if (!entries) raise(lock, "FailedToTraverseCacheDirectory", kit::format("Listing cache directory failed at path '%@'", dir));
  for (const std::string& name : *entries) {
    if (!kit::FileManager::removeItem(dir + "/" + name)) {
      raise(lock, "FailedToRemoveCacheFile", kit::format("Failed to remove cached data at path '%@'", dir));
    }
  }
}

bool HttpDownloadCache::canUseCachedDataForRequest(HttpRequest* request) {
  if (!request) return false;
  const int policy = request->cachePolicy();
  if (policy & CachePolicyNoRead) return false;
  if (policy & CachePolicyNeverLoad) return true;
  Ref<kit::URL> url = request->url();
  if (!cachedResponseHeadersForURL(url) || pathToCachedResponseDataForURL(url).empty()) return false;
  if (policy & CachePolicyUseIfCached) return true;
  if (request->complete() && (policy & CachePolicyFallbackOnFailure)) return true;
  if ((policy & CachePolicyUseIfCurrent) || ((policy & CachePolicyUseIfServerAgrees) && request->responseHeaders())) {
    return isCachedDataCurrentForRequest(request);
  }
  return false;
}

}  // namespace tolva
