#include "kit/net/URLCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/security/Digest.h"

namespace kit {
namespace {

constexpr std::string_view kMagic = "kit.URLCache.1\n";
constexpr std::string_view kEntrySuffix = ".entry";
constexpr std::string_view kTempPrefix = ".tmp-";

std::string resolveFolder(const std::string& path) {
  std::string p = path.empty() ? std::string(URLCache::kDefaultDiskPath) : path;
  if (p.front() == '/') return p;
  return Paths::cachesDirectory() + "/" + p;
}

// "no-store" among the directives of every Cache-Control field.
bool saysNoStore(const std::vector<std::string>& values) {
  for (const auto& value : values) {
    size_t start = 0;
    while (start <= value.size()) {
      size_t end = value.find(',', start);
      if (end == std::string::npos) end = value.size();
      std::string token = value.substr(start, end - start);
      token.erase(0, token.find_first_not_of(" \t"));
      token.erase(token.find_last_not_of(" \t") + 1);
      std::transform(token.begin(), token.end(), token.begin(), [](unsigned char c) { return char(std::tolower(c)); });
      if (token == "no-store") return true;
      start = end + 1;
    }
  }
  return false;
}

// ---- Entry encoding: length-prefixed fields, a CRC-32 of everything before it at the end.

void putU64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out += char((v >> (8 * i)) & 0xff);
}
void putString(std::string& out, std::string_view s) {
  putU64(out, s.size());
  out.append(s);
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : b_(bytes) {}
  bool u64(uint64_t* v) {
    if (b_.size() - at_ < 8) return false;
    *v = 0;
    for (int i = 0; i < 8; ++i) *v |= uint64_t(static_cast<unsigned char>(b_[at_ + i])) << (8 * i);
    at_ += 8;
    return true;
  }
  bool u8(unsigned* v) {
    if (at_ >= b_.size()) return false;
    *v = static_cast<unsigned char>(b_[at_++]);
    return true;
  }
  bool string(std::string* s) {
    uint64_t n;
    if (!u64(&n) || n > b_.size() - at_) return false;
    s->assign(b_.substr(at_, n));
    at_ += n;
    return true;
  }
  bool atEnd() const { return at_ == b_.size(); }

 private:
  std::string_view b_;
  size_t at_ = 0;
};

uint32_t crc(std::string_view bytes) {
  uLong c = crc32(0L, Z_NULL, 0);
  size_t at = 0;
  while (at < bytes.size()) {
    const uInt n = static_cast<uInt>(std::min<size_t>(bytes.size() - at, 1u << 30));
    c = crc32(c, reinterpret_cast<const Bytef*>(bytes.data() + at), n);
    at += n;
  }
  return static_cast<uint32_t>(c);
}

// Writes a whole file under a temporary name in the same folder, then renames it into place.
// The entry's checksum, not a flush, guards against a torn file after a crash: a cache entry is
// only worth keeping when it is whole, and losing one costs a reload.
bool writeEntryFile(const std::string& folder, const std::string& path, std::string_view bytes) {
  std::string temp = folder + "/" + std::string(kTempPrefix) + "XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  const bool ok = ::close(fd) == 0 && done == bytes.size();
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool isEntryName(const std::string& name) {
  if (name.size() != 40 + kEntrySuffix.size() || name.compare(40, std::string::npos, kEntrySuffix) != 0) return false;
  return std::all_of(name.begin(), name.begin() + 40, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

std::mutex& sharedMutex() {
  static std::mutex* m = new std::mutex();
  return *m;
}
Ref<URLCache>& sharedSlot() {
  static Ref<URLCache>* cache = new Ref<URLCache>();
  return *cache;
}

}  // namespace

URLCache::URLCache(uint64_t memoryCapacity, uint64_t diskCapacity, const std::string& diskPath)
    : memoryCapacity_(memoryCapacity), diskCapacity_(diskCapacity), folder_(resolveFolder(diskPath)) {}

URLCache::~URLCache() = default;

Ref<URLCache> URLCache::sharedURLCache() {
  std::lock_guard<std::mutex> g(sharedMutex());
  Ref<URLCache>& slot = sharedSlot();
  if (!slot) slot = Ref<URLCache>(new URLCache(kDefaultMemoryCapacity, kDefaultDiskCapacity, kDefaultDiskPath));
  return slot;
}

void URLCache::setSharedURLCache(Ref<URLCache> cache) {
  std::lock_guard<std::mutex> g(sharedMutex());
  sharedSlot() = std::move(cache);
}

std::string URLCache::keyForURL(const URL& url) {
  const std::string& s = url.absoluteString();
  return s.substr(0, s.find('#'));
}

std::string URLCache::fileNameFor(const std::string& key) { return Digest::sha1Hex(key) + std::string(kEntrySuffix); }

uint64_t URLCache::memoryCost(const CachedURLResponse& cached) {
  uint64_t cost = 256 + cached.data()->length();
  if (auto* http = dynamic_cast<HTTPURLResponse*>(cached.response()))
    for (const auto& [name, value] : http->headerFields()) cost += name.size() + value.size() + 32;
  return cost;
}

std::string URLCache::encodeEntry(const std::string& key, const CachedURLResponse& cached) {
  std::string out(kMagic);
  URLResponse* response = cached.response();
  auto* http = dynamic_cast<HTTPURLResponse*>(response);
  out += char(http ? 1 : 0);
  putString(out, key);
  putString(out, response && response->url() ? response->url()->absoluteString() : key);
  if (http) {
    putU64(out, uint64_t(http->statusCode()));
    putString(out, http->HTTPVersion());
    putU64(out, http->headerFields().size());
    for (const auto& [name, value] : http->headerFields()) {
      putString(out, name);
      putString(out, value);
    }
  } else {
    putString(out, response ? response->MIMEType() : std::string());
    putU64(out, uint64_t(response ? response->expectedContentLength() : URLResponse::kUnknownLength));
    const bool hasEncoding = response && response->textEncodingName();
    out += char(hasEncoding ? 1 : 0);
    putString(out, hasEncoding ? *response->textEncodingName() : std::string());
  }
  out += char(int(cached.storagePolicy()));
  putString(out, cached.data()->view());
  const uint32_t sum = crc(out);
  for (int i = 0; i < 4; ++i) out += char((sum >> (8 * i)) & 0xff);
  return out;
}

Ref<CachedURLResponse> URLCache::decodeEntry(std::string_view bytes, std::string* key) {
  if (bytes.size() < kMagic.size() + 4 || bytes.substr(0, kMagic.size()) != kMagic) return nullptr;
  std::string_view body = bytes.substr(0, bytes.size() - 4);
  uint32_t sum = 0;
  for (int i = 0; i < 4; ++i) sum |= uint32_t(static_cast<unsigned char>(bytes[body.size() + i])) << (8 * i);
  if (sum != crc(body)) return nullptr;
  Reader r(body.substr(kMagic.size()));
  unsigned kind, policy;
  std::string storedKey, urlText, data;
  if (!r.u8(&kind) || kind > 1 || !r.string(&storedKey) || !r.string(&urlText)) return nullptr;
  Ref<URL> url = URL::URLWithString(urlText);
  if (!url) return nullptr;
  Ref<URLResponse> response;
  if (kind == 1) {
    uint64_t status, count;
    std::string version;
    if (!r.u64(&status) || status > 999 || !r.string(&version) || !r.u64(&count)) return nullptr;
    HTTPURLResponse::HeaderFields fields;
    for (uint64_t i = 0; i < count; ++i) {
      std::string name, value;
      if (!r.string(&name) || !r.string(&value)) return nullptr;
      fields.emplace_back(std::move(name), std::move(value));
    }
    response = HTTPURLResponse::responseWithURL(url, int(status), version, std::move(fields));
  } else {
    std::string mime, encoding;
    uint64_t length;
    unsigned hasEncoding;
    if (!r.string(&mime) || !r.u64(&length) || !r.u8(&hasEncoding) || !r.string(&encoding)) return nullptr;
    response = URLResponse::responseWithURL(url, mime, int64_t(length),
                                            hasEncoding ? std::optional<std::string>(encoding) : std::nullopt);
  }
  if (!r.u8(&policy) || policy > 2 || !r.string(&data) || !r.atEnd()) return nullptr;
  if (key) *key = storedKey;
  return CachedURLResponse::cachedResponse(response, Data::dataWithString(data),
                                           static_cast<CachedURLResponse::StoragePolicy>(policy));
}

// ---- Memory tier

void URLCache::removeMemory(std::string key) {
  auto it = memory_.find(key);
  if (it == memory_.end()) return;
  memoryUsage_ -= it->second.cost;
  memoryOrder_.erase(it->second.order);
  memory_.erase(it);
}

void URLCache::putMemory(const std::string& key, Ref<CachedURLResponse> cached) {
  removeMemory(key);
  const uint64_t cost = memoryCost(*cached);
  if (cost > memoryCapacity_) return;
  memoryOrder_.push_front(key);
  memory_.emplace(key, MemoryEntry{std::move(cached), cost, memoryOrder_.begin()});
  memoryUsage_ += cost;
  evictMemory();
}

void URLCache::evictMemory() {
  while (memoryUsage_ > memoryCapacity_ && !memoryOrder_.empty()) removeMemory(memoryOrder_.back());
}

// ---- Disk tier

void URLCache::loadDiskIndex() {
  if (diskLoaded_) return;
  diskLoaded_ = true;
  auto names = FileManager::contentsOfDirectory(folder_);
  if (!names) return;
  struct Found {
    std::string name;
    uint64_t size;
    double modified;
  };
  std::vector<Found> found;
  for (const auto& name : *names) {
    if (name.compare(0, kTempPrefix.size(), kTempPrefix) == 0) {
      // Left by a write that did not finish.
      FileManager::removeItem(pathFor(name));
      continue;
    }
    if (!isEntryName(name)) continue;
    auto attributes = FileManager::attributesOfItem(pathFor(name));
    if (!attributes || attributes->isDirectory || attributes->isSymbolicLink) continue;
    found.push_back({name, attributes->size,
                     attributes->modificationDate ? attributes->modificationDate->timeIntervalSinceReferenceDate() : 0});
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.modified < b.modified; });
  for (const auto& f : found) {
    disk_[f.name] = DiskEntry{f.size, ++useCounter_};
    diskUsage_ += f.size;
  }
  evictDisk();
}

void URLCache::removeDisk(std::string fileName) {
  auto it = disk_.find(fileName);
  if (it == disk_.end()) return;
  diskUsage_ -= it->second.size;
  disk_.erase(it);
  FileManager::removeItem(pathFor(fileName));
}

void URLCache::evictDisk() {
  while (diskUsage_ > diskCapacity_ && !disk_.empty()) {
    auto oldest = std::min_element(disk_.begin(), disk_.end(),
                                   [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
    removeDisk(oldest->first);
  }
}

// ---- Public operations

Ref<CachedURLResponse> URLCache::cachedResponseForRequest(const URLRequest& request) {
  if (!request.url()) return nullptr;
  const std::string key = keyForURL(*request.url());
  std::lock_guard<std::mutex> g(mutex_);
  if (auto it = memory_.find(key); it != memory_.end()) {
    memoryOrder_.splice(memoryOrder_.begin(), memoryOrder_, it->second.order);
    return it->second.cached;
  }
  loadDiskIndex();
  const std::string name = fileNameFor(key);
  auto it = disk_.find(name);
  if (it == disk_.end()) return nullptr;
  Ref<Data> bytes = FileManager::readFile(pathFor(name));
  std::string storedKey;
  Ref<CachedURLResponse> cached = bytes ? decodeEntry(bytes->view(), &storedKey) : nullptr;
  if (!cached || storedKey != key) {
    // Damaged, or (never in practice) another URL with the same digest.
    if (!cached) removeDisk(name);
    return nullptr;
  }
  it->second.lastUse = ++useCounter_;
  // The modification time carries the order of use over to the next start.
  ::utimensat(AT_FDCWD, pathFor(name).c_str(), nullptr, 0);
  if (cached->storagePolicy() == CachedURLResponse::StoragePolicy::Allowed) putMemory(key, cached);
  return cached;
}

void URLCache::storeCachedResponse(Ref<CachedURLResponse> cached, const URLRequest& request) {
  if (!cached || !cached->response() || !request.url()) return;
  if (cached->storagePolicy() == CachedURLResponse::StoragePolicy::NotAllowed) return;
  if (auto* http = dynamic_cast<HTTPURLResponse*>(cached->response()))
    if (saysNoStore(http->valuesForHTTPHeaderField("Cache-Control"))) return;
  const std::string key = keyForURL(*request.url());
  std::lock_guard<std::mutex> g(mutex_);
  putMemory(key, cached);
  loadDiskIndex();
  const std::string name = fileNameFor(key);
  removeDisk(name);
  if (cached->storagePolicy() != CachedURLResponse::StoragePolicy::Allowed || diskCapacity_ == 0) return;
  const std::string bytes = encodeEntry(key, *cached);
  if (bytes.size() > diskCapacity_) return;
  if (!FileManager::createDirectory(folder_)) return;
  if (!writeEntryFile(folder_, pathFor(name), bytes)) return;
  disk_[name] = DiskEntry{bytes.size(), ++useCounter_};
  diskUsage_ += bytes.size();
  evictDisk();
}

void URLCache::removeCachedResponseForRequest(const URLRequest& request) {
  if (!request.url()) return;
  const std::string key = keyForURL(*request.url());
  std::lock_guard<std::mutex> g(mutex_);
  removeMemory(key);
  loadDiskIndex();
  removeDisk(fileNameFor(key));
}

void URLCache::removeAllCachedResponses() {
  std::lock_guard<std::mutex> g(mutex_);
  memory_.clear();
  memoryOrder_.clear();
  memoryUsage_ = 0;
  loadDiskIndex();
  while (!disk_.empty()) removeDisk(disk_.begin()->first);
}

uint64_t URLCache::memoryCapacity() const {
  std::lock_guard<std::mutex> g(mutex_);
  return memoryCapacity_;
}

uint64_t URLCache::diskCapacity() const {
  std::lock_guard<std::mutex> g(mutex_);
  return diskCapacity_;
}

void URLCache::setMemoryCapacity(uint64_t bytes) {
  std::lock_guard<std::mutex> g(mutex_);
  memoryCapacity_ = bytes;
  evictMemory();
}

void URLCache::setDiskCapacity(uint64_t bytes) {
  std::lock_guard<std::mutex> g(mutex_);
  diskCapacity_ = bytes;
  if (diskLoaded_) evictDisk();
}

uint64_t URLCache::currentMemoryUsage() const {
  std::lock_guard<std::mutex> g(mutex_);
  return memoryUsage_;
}

uint64_t URLCache::currentDiskUsage() const {
  std::lock_guard<std::mutex> g(mutex_);
  const_cast<URLCache*>(this)->loadDiskIndex();
  return diskUsage_;
}

}  // namespace kit
