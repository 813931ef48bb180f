#include "http/HttpDownloadCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

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

// Copies `from` beside `to` and renames the copy over it, so `to` holds the old file or the new
// one, never a mix and never nothing.
bool replaceFileWithCopy(const std::string& from, const std::string& to) {
  const std::string incoming = to + ".incoming";
  kit::FileManager::removeItem(incoming);
  if (kit::FileManager::copyItem(from, incoming) && ::rename(incoming.c_str(), to.c_str()) == 0) return true;
  kit::FileManager::removeItem(incoming);
  return false;
}

// Opens a stored file for reading only when it is a regular file (no link followed, no FIFO or
// device, which could hang or never end) of at most `limit` bytes; -1 otherwise.
int openStoredFile(const std::string& path, uint64_t limit, uint64_t* size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > limit) {
    ::close(fd);
    return -1;
  }
  *size = static_cast<uint64_t>(st.st_size);
  return fd;
}

// Reads exactly `size` bytes; null when the file turns out shorter or longer.
Ref<kit::Data> readExactly(int fd, uint64_t size) {
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return nullptr;
    got += static_cast<size_t>(n);
  }
  char extra = 0;
  if (::read(fd, &extra, 1) != 0) return nullptr;
  return Ref<kit::Data>(new kit::Data(std::move(bytes)));
}

constexpr uint64_t kMaxHeadersFileLength = 1 << 20;

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
    // Whatever sits there, a dangling link too, is found, so that checking it removes it.
    if (!p.empty() && kit::FileManager::attributesOfItem(p)) return p;
  }
  return {};
}

std::optional<HttpDownloadCache::StoredEntry> HttpDownloadCache::storedEntry(const kit::URL* url) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  StoredEntry entry;
  entry.headersPath = foundPath(url, true);
  entry.dataPath = foundPath(url, false);
  if (entry.headersPath.empty() && entry.dataPath.empty()) return std::nullopt;
  // Both files come from the disk, where anything may have been put in their place: only a
  // regular headers file holding a dictionary, and a regular data file of the stored length, are
  // an entry. Anything else is dropped.
  uint64_t size = 0;
  bool ok = false;
  if (!entry.headersPath.empty() && !entry.dataPath.empty()) {
    const int fd = openStoredFile(entry.headersPath, kMaxHeadersFileLength, &size);
    Ref<kit::Data> bytes = fd >= 0 ? readExactly(fd, size) : nullptr;
    if (fd >= 0) ::close(fd);
    if (bytes) entry.headers = kit::cast<kit::Dictionary>(kit::PropertyList::read(bytes->view()));
    if (entry.headers && HttpRequest::parseDecimalLength(headerText(entry.headers, "Content-Length"), &entry.length)) {
      const int dataFd = openStoredFile(entry.dataPath, kMaxStoredBodyLength, &size);
      if (dataFd >= 0) ::close(dataFd);
      ok = dataFd >= 0 && size == entry.length;
    }
  }
  if (!ok) {
    if (!entry.headersPath.empty()) kit::FileManager::removeItem(entry.headersPath);
    if (!entry.dataPath.empty()) kit::FileManager::removeItem(entry.dataPath);
    return std::nullopt;
  }
  return entry;
}

std::string HttpDownloadCache::pathToCachedResponseDataForURL(const kit::URL* url) {
  std::optional<StoredEntry> entry = storedEntry(url);
  return entry ? entry->dataPath : std::string();
}

std::string HttpDownloadCache::pathToCachedResponseHeadersForURL(const kit::URL* url) {
  std::optional<StoredEntry> entry = storedEntry(url);
  return entry ? entry->headersPath : std::string();
}

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
  std::optional<StoredEntry> entry = storedEntry(url);
  return entry ? entry->headers : nullptr;
}

int HttpDownloadCache::openCachedResponseData(const kit::URL* url, uint64_t* length) {
  std::lock_guard<std::recursive_mutex> g(accessLock_);
  std::optional<StoredEntry> entry = storedEntry(url);
  if (!entry) return -1;
  // Opened again, and checked again, in case the file changed since it was looked at.
  uint64_t size = 0;
  const int fd = openStoredFile(entry->dataPath, kMaxStoredBodyLength, &size);
  if (fd >= 0 && size == entry->length) {
    *length = size;
    return fd;
  }
  if (fd >= 0) ::close(fd);
  kit::FileManager::removeItem(entry->headersPath);
  kit::FileManager::removeItem(entry->dataPath);
  return -1;
}

Ref<kit::Data> HttpDownloadCache::cachedResponseDataForURL(const kit::URL* url) {
  uint64_t length = 0;
  const int fd = openCachedResponseData(url, &length);
  if (fd < 0) return nullptr;
  Ref<kit::Data> data = readExactly(fd, length);
  ::close(fd);
  return data;
}

bool HttpDownloadCache::writeCachedResponseDataForURL(const kit::URL* url, const std::string& destination) {
  uint64_t length = 0;
  const int in = openCachedResponseData(url, &length);
  if (in < 0) return false;
  // Written beside the destination and renamed over it: the caller's old file stays whole
  // until the new one is complete.
  std::optional<std::string> temp = kit::FileManager::createUniqueFile(kit::FileManager::folderOf(destination), ".cached-");
  int out = temp ? ::open(temp->c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
  bool ok = out >= 0;
  uint64_t copied = 0;
  std::vector<char> buf(1 << 16);
  while (ok) {
    const ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    copied += static_cast<uint64_t>(n);
    ok = kit::FileManager::writeAll(out, std::string_view(buf.data(), static_cast<size_t>(n)));
  }
  ::close(in);
  if (out >= 0 && ::close(out) != 0) ok = false;
  ok = ok && copied == length && ::rename(temp->c_str(), destination.c_str()) == 0;
  if (!ok && temp) kit::FileManager::removeItem(*temp);
  return ok;
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
  const std::string source = request->downloadDestinationPath();
  Ref<kit::Data> body = source.empty() ? request->responseData() : nullptr;
  const uint64_t length = source.empty() ? (body ? body->length() : 0) : kit::FileManager::fileSize(source).value_or(0);
  if (length > kMaxStoredBodyLength || (!source.empty() && !kit::FileManager::fileSize(source))) {
    // Not kept, and an older copy must not be served in its place.
    kit::FileManager::removeItem(headerPath);
    kit::FileManager::removeItem(dataPath);
    return;
  }

  Ref<kit::MutableDictionary> headers = kit::cast<kit::MutableDictionary>(request->responseHeaders()->mutableCopy());
  if (request->isResponseCompressed()) headers->removeObjectForKey("Content-Encoding");
  if (maxAgeSeconds > 0) {
    headers->removeObjectForKey("Expires");
    headers->setObject(kit::str(kit::format("max-age=%i", static_cast<int>(maxAgeSeconds))), "Cache-Control");
  }
  headers->setObject(kit::str(rfc1123StringFromDate(kit::Date::date())), kFetchDateKey);
  // The length of the body as stored (the inflated one for a compressed response): a data file
  // of any other length is not this entry's.
  headers->setObject(kit::str(std::to_string(length)), "Content-Length");

  // The body first, then the headers, each replacing the old file whole: until the new headers
  // are in place the old pair is served, and new headers are never served with an old or torn
  // body. On any failure both go.
  bool ok = true;
  if (source.empty()) {
    ok = replaceFile(dataPath, body ? body->view() : std::string_view());
  } else if (source != dataPath) {
    ok = replaceFileWithCopy(source, dataPath);
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
