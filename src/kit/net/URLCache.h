#pragma once
// Responses kept for later loads of the same URL, in memory and on disk. One cache is shared by
// the process (sharedURLCache); a program may install its own, a subclass included, which every
// URL connection started afterwards consults.
//
// Entries are keyed by the request URL's absolute string without fragment. The memory tier holds
// entries whose storage policy allows memory, the disk tier those that allow disk, each up to its
// capacity: storing evicts the least recently used entries until everything fits; an entry larger
// than a tier's capacity is not kept in it. Responses saying "Cache-Control: no-store" are never
// stored. Disk entries are single files written atomically (temporary file, flush, rename), so a
// crash leaves each entry whole or absent; a damaged entry reads as absent and is removed. The
// disk folder is created when the first entry is written.
//
// Thread-safe; connections on any thread ask it.

#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "kit/foundation/Object.h"
#include "kit/net/CachedURLResponse.h"
#include "kit/net/URLRequest.h"

namespace kit {

class URLCache : public Object {
 public:
  static constexpr uint64_t kDefaultMemoryCapacity = 512 * 1024;
  static constexpr uint64_t kDefaultDiskCapacity = 10 * 1024 * 1024;
  // The disk folder of the cache made when none was installed (under the caches folder).
  static constexpr const char* kDefaultDiskPath = "URLCache";

  // A relative `diskPath` is taken inside Paths::cachesDirectory(); an empty one means
  // kDefaultDiskPath. No entry is read or written until the cache is used.
  URLCache(uint64_t memoryCapacity, uint64_t diskCapacity, const std::string& diskPath);
  ~URLCache() override;

  // The process's cache: the one last installed, else a default one (kDefaultMemoryCapacity,
  // kDefaultDiskCapacity, kDefaultDiskPath) made on first use.
  static Ref<URLCache> sharedURLCache();
  // Installs `cache` (null: a default one is made at the next sharedURLCache()).
  static void setSharedURLCache(Ref<URLCache> cache);

  // The entry for the request's URL, or null.
  virtual Ref<CachedURLResponse> cachedResponseForRequest(const URLRequest& request);
  // Stores (replaces) the entry for the request's URL as its storage policy allows.
  virtual void storeCachedResponse(Ref<CachedURLResponse> cachedResponse, const URLRequest& request);
  virtual void removeCachedResponseForRequest(const URLRequest& request);
  virtual void removeAllCachedResponses();

  uint64_t memoryCapacity() const;
  uint64_t diskCapacity() const;
  // Lowering a capacity evicts at once.
  void setMemoryCapacity(uint64_t bytes);
  void setDiskCapacity(uint64_t bytes);
  uint64_t currentMemoryUsage() const;
  uint64_t currentDiskUsage() const;
  // The disk folder (absolute).
  const std::string& diskPath() const noexcept { return folder_; }

  // The cache key of a URL: its absolute string without fragment.
  static std::string keyForURL(const URL& url);
  // The bytes of a disk entry and back (null when they do not read as one; `key` receives the
  // URL the entry was stored under).
  static std::string encodeEntry(const std::string& key, const CachedURLResponse& cached);
  static Ref<CachedURLResponse> decodeEntry(std::string_view bytes, std::string* key);

  std::string className() const override { return "URLCache"; }

 private:
  struct MemoryEntry {
    Ref<CachedURLResponse> cached;
    uint64_t cost;
    std::list<std::string>::iterator order;
  };
  struct DiskEntry {
    uint64_t size;
    uint64_t lastUse;  // a counter: larger is more recent
  };

  // Disk entries are named by a digest of their key.
  static std::string fileNameFor(const std::string& key);
  std::string pathFor(const std::string& fileName) const { return folder_ + "/" + fileName; }
  void loadDiskIndex();
  void evictMemory();
  void evictDisk();
  void removeMemory(std::string key);
  void removeDisk(std::string fileName);
  void putMemory(const std::string& key, Ref<CachedURLResponse> cached);
  static uint64_t memoryCost(const CachedURLResponse& cached);

  mutable std::mutex mutex_;
  uint64_t memoryCapacity_;
  uint64_t diskCapacity_;
  const std::string folder_;
  // Memory tier: most recently used first.
  std::list<std::string> memoryOrder_;
  std::unordered_map<std::string, MemoryEntry> memory_;
  uint64_t memoryUsage_ = 0;
  // Disk tier, by file name. Read from the folder on first use.
  bool diskLoaded_ = false;
  std::map<std::string, DiskEntry> disk_;
  uint64_t diskUsage_ = 0;
  uint64_t useCounter_ = 0;
};

}  // namespace kit
