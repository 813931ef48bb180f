#include "data/VeskFaviconDatabase.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "data/Resizing.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/OperationQueue.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/URL.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLConnection.h"
#include "kit/net/URLRequest.h"

namespace tolva {

namespace {

// What the fetches share: the pool, the sites being fetched and those that failed lately.
struct Fetches {
  std::mutex mutex;
  std::set<std::string> inFlight;
  std::map<std::string, double> failedUntil;
  int started = 0;
  VeskFaviconDatabase::FetchAddress address;
  kit::Ref<kit::OperationQueue> queue;
  // Set when the program ends (stopFetches); the fetches under way, each with
  // the loop it runs on, and a signal for the last one's end.
  bool stopping = false;
  int active = 0;
  std::condition_variable ended;
  std::map<const void*, std::pair<std::shared_ptr<kit::RunLoop>, kit::Ref<kit::URLConnection>>> running;

  kit::OperationQueue& pool() {
    if (!queue) {
      queue = kit::make<kit::OperationQueue>();
      queue->setMaxConcurrentOperationCount(VeskFaviconDatabase::kConcurrentFetches);
      queue->setName("favicons");
    }
    return *queue;
  }
};

Fetches& fetches() {
  static Fetches* f = new Fetches();  // lives as long as the pool threads may
  return *f;
}

bool startsWithIgnoringCase(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char p, char t) { return p == std::tolower(static_cast<unsigned char>(t)); });
}

kit::Ref<kit::URL> parse(const std::string& url) {
  kit::Ref<kit::URL> u = kit::URL::URLWithString(url);
  return u ? u : kit::URL::lenientURLWithString(url);
}

// The host in its ASCII form, or "" when it cannot name a file safely.
std::string asciiHost(const std::string& written) {
  std::string host = kit::URLEscaping::replacePercentEscapes(written).value_or("");
  if (host.empty()) return {};
  if (std::any_of(host.begin(), host.end(), [](unsigned char c) { return c >= 0x80; })) {
    gchar* ascii = g_hostname_to_ascii(host.c_str());
    host = ascii ? ascii : "";
    g_free(ascii);
  }
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const bool safe = std::all_of(host.begin(), host.end(), [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
  });
  if (!safe || host.size() > 253 || host.front() == '.' || host.find("..") != std::string::npos) return {};
  return host;
}

std::string cachesFolder() { return kit::Paths::cachesDirectory(); }

constexpr std::string_view kFilePrefix = "favicon-";
constexpr std::string_view kFileSuffix = ".png";

std::string fileForSite(const std::string& site) {
  return cachesFolder() + "/" + std::string(kFilePrefix) + site + std::string(kFileSuffix);
}

// What the main thread asks per tab, known without touching the disk: the
// sites whose icon file is stored (the caches folder listed once, then
// followed by the fetches that store one) and every icon decoded once.
// Another process's new icon files show after the folder changes.
struct Icons {
  std::mutex mutex;
  std::string folder;  // the folder `stored` lists
  std::set<std::string> stored;
  std::map<std::string, kit::Ref<kit::Image>> decoded;  // by site
  std::string bundlePath;                               // the bundle `bundled` comes from
  std::map<std::string, kit::Ref<kit::Image>> bundled;  // by name; null when the bundle has none
  static constexpr size_t kMaxDecoded = 512;

  // Call with the mutex held.
  void follow(const std::string& now) {
    if (now == folder) return;
    folder = now;
    stored.clear();
    decoded.clear();
    std::optional<std::vector<std::string>> names = kit::FileManager::contentsOfDirectory(folder);
    if (!names) return;
    for (const std::string& name : *names) {
      if (name.size() > kFilePrefix.size() + kFileSuffix.size() && name.compare(0, kFilePrefix.size(), kFilePrefix) == 0 &&
          name.compare(name.size() - kFileSuffix.size(), kFileSuffix.size(), kFileSuffix) == 0)
        stored.insert(name.substr(kFilePrefix.size(), name.size() - kFilePrefix.size() - kFileSuffix.size()));
    }
  }
  bool isStored(const std::string& site) {
    std::lock_guard<std::mutex> lock(mutex);
    follow(kit::Paths::cachesDirectoryPath());
    return stored.count(site) != 0;
  }
  void noteStored(const std::string& site) {
    std::lock_guard<std::mutex> lock(mutex);
    if (folder == kit::Paths::cachesDirectoryPath()) stored.insert(site);
  }
  // The stored icon, decoded on first use; null when it is no picture.
  kit::Ref<kit::Image> storedImage(const std::string& site) {
    std::lock_guard<std::mutex> lock(mutex);
    auto at = decoded.find(site);
    if (at != decoded.end()) return at->second;
    if (decoded.size() >= kMaxDecoded) decoded.clear();
    kit::Ref<kit::Image> image = kit::Image::imageWithContentsOfFile(
        folder + "/" + std::string(kFilePrefix) + site + std::string(kFileSuffix));
    decoded[site] = image;
    return image;
  }
  kit::Ref<kit::Image> bundleImage(const std::string& name) {
    kit::Ref<kit::Bundle> bundle = kit::Bundle::mainBundle();
    std::lock_guard<std::mutex> lock(mutex);
    const std::string path = bundle ? bundle->bundlePath() : std::string();
    if (path != bundlePath) {
      bundlePath = path;
      bundled.clear();
    }
    auto at = bundled.find(name);
    if (at != bundled.end()) return at->second;
    std::string file = bundle ? bundle->pathForResource(name, "png") : std::string();
    kit::Ref<kit::Image> image = file.empty() ? nullptr : kit::Image::imageWithContentsOfFile(file);
    if (bundled.size() >= kMaxDecoded) bundled.clear();
    bundled[name] = image;
    return image;
  }
};

Icons& icons() {
  static Icons* i = new Icons();  // lives as long as the pool threads may
  return *i;
}

// Reads the answer of one fetch, giving up past the size cap.
class IconFetch : public kit::URLConnectionDelegate {
 public:
  void didReceiveResponse(kit::URLConnection& connection, kit::URLResponse& response) override {
    auto* http = dynamic_cast<kit::HTTPURLResponse*>(&response);
    if (http && http->statusCode() != 200) finish(connection, false);
  }
  void didReceiveData(kit::URLConnection& connection, kit::Data& data) override {
    if (done) return;
    body->appendData(data);
    if (body->length() > VeskFaviconDatabase::kMaxIconBytes) finish(connection, false);
  }
  void didFinishLoading(kit::URLConnection&) override {
    done = true;
    ok = true;
  }
  void didFailWithError(kit::URLConnection&, kit::Error&) override { done = true; }

  kit::Ref<kit::MutableData> body = kit::MutableData::data();
  bool done = false;
  bool ok = false;

 private:
  void finish(kit::URLConnection& connection, bool success) {
    done = true;
    ok = success;
    connection.cancel();
  }
};

kit::Ref<kit::Data> fetchIcon(const std::string& address) {
  kit::Ref<kit::URL> url = kit::URL::URLWithString(address);
  if (!url) return nullptr;
  kit::Ref<kit::URLRequest> request = kit::URLRequest::requestWithURL(
      url, kit::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, VeskFaviconDatabase::kFetchTimeout);
  IconFetch fetch;
  kit::Ref<kit::URLConnection> connection(new kit::URLConnection(*request, &fetch, false));
  std::shared_ptr<kit::RunLoop> loop = kit::RunLoop::current().shared_from_this();
  Fetches& f = fetches();
  {
    std::lock_guard<std::mutex> lock(f.mutex);
    if (f.stopping) return nullptr;
    f.running[&fetch] = {loop, connection};
  }
  connection->scheduleInRunLoop(*loop, kit::URLConnection::kSynchronousRunLoopMode);
  connection->start();
  while (!fetch.done) loop->runMode(kit::URLConnection::kSynchronousRunLoopMode, kit::RunLoop::kDistantFuture);
  {
    std::lock_guard<std::mutex> lock(f.mutex);
    f.running.erase(&fetch);
  }
  return fetch.ok ? kit::Ref<kit::Data>(fetch.body) : nullptr;
}

}  // namespace

VeskFaviconDatabase::VeskFaviconDatabase() = default;

VeskFaviconDatabase* VeskFaviconDatabase::getSharedInstance() {
  static VeskFaviconDatabase* instance = [] {
    auto* db = new VeskFaviconDatabase();
    db->retain();  // kept for the life of the process
    return db;
  }();
  return instance;
}

std::optional<std::string> VeskFaviconDatabase::extractBase(const std::string& url) {
  kit::Ref<kit::URL> u = parse(url);
  if (!u || u->host().empty()) return std::nullopt;
  return u->host();
}

std::optional<std::string> VeskFaviconDatabase::siteKey(const std::string& url) {
  kit::Ref<kit::URL> u = parse(url);
  if (!u || u->host().empty()) return std::nullopt;
  std::string host = asciiHost(u->host());
  if (host.empty()) return std::nullopt;
  if (std::optional<int> port = u->port()) {
    const std::string scheme = u->lowercaseScheme();
    const bool usual = (scheme == "http" && *port == 80) || (scheme == "https" && *port == 443);
    if (!usual) host += ":" + std::to_string(*port);
  }
  return host;
}

std::string VeskFaviconDatabase::faviconPath(const std::string& url) {
  std::optional<std::string> site = siteKey(url);
  return site ? fileForSite(*site) : std::string();
}

kit::Ref<kit::Image> VeskFaviconDatabase::bundleIcon(const std::string& name) { return icons().bundleImage(name); }

kit::Ref<kit::Image> VeskFaviconDatabase::getCancelFavicon() { return bundleIcon("favicon-cancel"); }
kit::Ref<kit::Image> VeskFaviconDatabase::getHistoryFavicon() { return bundleIcon("favicon-history"); }
kit::Ref<kit::Image> VeskFaviconDatabase::getFolderFavicon() { return bundleIcon("favicon-folder"); }

bool VeskFaviconDatabase::checkFavicon(const std::string& url) const {
  std::optional<std::string> site = siteKey(url);
  return site && icons().isStored(*site);
}

kit::Ref<kit::Image> VeskFaviconDatabase::getFavicon(const std::string& url) {
  if (url.empty() || startsWithIgnoringCase(url, "javascript:")) return bundleIcon("favicon-js");
  std::optional<std::string> site = siteKey(url);
  // Pages without a site (blank, files, data) show the default icon, looked up nowhere.
  if (!site) return bundleIcon("favicon-default");
  if (icons().isStored(*site)) {
    kit::Ref<kit::Image> stored = icons().storedImage(*site);
    return stored ? stored : bundleIcon("favicon-default");
  }
  kit::Ref<kit::Image> shipped = bundleIcon("favicon-" + *site);
  makeFaviconAvailable(url);
  return shipped ? shipped : bundleIcon("favicon-default");
}

void VeskFaviconDatabase::makeFaviconAvailable(const std::string& url) {
  std::optional<std::string> site = siteKey(url);
  if (!site || icons().isStored(*site)) return;
  Fetches& f = fetches();
  {
    std::lock_guard<std::mutex> lock(f.mutex);
    auto failed = f.failedUntil.find(*site);
    if (failed != f.failedUntil.end()) {
      if (kit::Clock::now() < failed->second) return;
      f.failedUntil.erase(failed);
    }
    if (f.stopping || !f.inFlight.insert(*site).second) return;
    ++f.started;
  }
  const std::string key = *site;
  f.pool().addOperationWithBlock([key] { downloadFaviconInBackground(key); });
}

void VeskFaviconDatabase::downloadFaviconInBackground(const std::string& site) {
  Fetches& f = fetches();
  std::string address;
  {
    std::lock_guard<std::mutex> lock(f.mutex);
    if (f.stopping) {
      f.inFlight.erase(site);
      return;
    }
    ++f.active;
    address = f.address ? f.address(site) : "http://" + site + "/favicon.ico";
  }
  struct Ending {
    Fetches& f;
    ~Ending() {
      std::lock_guard<std::mutex> lock(f.mutex);
      if (--f.active == 0) f.ended.notify_all();
    }
  } ending{f};
  // The disk is asked here, off the main thread: a file another process stored counts.
  bool stored = kit::FileManager::fileExists(fileForSite(site));
  if (!stored && !address.empty()) {
    kit::Ref<kit::Data> data = fetchIcon(address);
    kit::Ref<kit::Image> image = data ? kit::Image::imageWithData(data.get()) : nullptr;
    if (image && image->size().width != kIconSide) image = Resizing::scaleToSize(*image, {kIconSide, kIconSide});
    kit::Ref<kit::Data> png = image ? image->pngData() : nullptr;
    if (png) {
      kit::FileManager::createDirectory(cachesFolder());
      // Written whole under a temporary name and renamed into place; a file already there stays.
      kit::FileManager::createFile(fileForSite(site), png->view());
      stored = kit::FileManager::fileExists(fileForSite(site));
    }
  }
  if (stored) icons().noteStored(site);
  std::lock_guard<std::mutex> lock(f.mutex);
  f.inFlight.erase(site);
  if (!stored) f.failedUntil[site] = kit::Clock::now() + kRetryAfterFailure;
}

void VeskFaviconDatabase::stopFetches(double seconds) {
  Fetches& f = fetches();
  kit::Ref<kit::OperationQueue> queue;
  std::vector<std::pair<const void*, std::shared_ptr<kit::RunLoop>>> cancel;
  {
    std::lock_guard<std::mutex> lock(f.mutex);
    f.stopping = true;
    queue = f.queue;
    for (auto& [fetch, run] : f.running) cancel.emplace_back(fetch, run.first);
  }
  if (queue) queue->cancelAllOperations();
  // Each fetch is cancelled on its own loop, if it is still the one running there.
  for (auto& entry : cancel) {
    const void* fetch = entry.first;
    entry.second->perform([fetch] {
      Fetches& f = fetches();
      kit::Ref<kit::URLConnection> connection;
      {
        std::lock_guard<std::mutex> lock(f.mutex);
        auto it = f.running.find(fetch);
        if (it == f.running.end()) return;
        connection = it->second.second;
      }
      connection->cancel();
      static_cast<IconFetch*>(const_cast<void*>(fetch))->done = true;
    }, false, {kit::URLConnection::kSynchronousRunLoopMode});
  }
  std::unique_lock<std::mutex> lock(f.mutex);
  f.ended.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return f.active == 0; });
}

void VeskFaviconDatabase::setFetchAddressForTesting(FetchAddress address) {
  Fetches& f = fetches();
  std::lock_guard<std::mutex> lock(f.mutex);
  f.address = std::move(address);
}

void VeskFaviconDatabase::waitForFetchesForTesting() {
  Fetches& f = fetches();
  if (f.queue) f.queue->waitUntilAllOperationsAreFinished();
}

void VeskFaviconDatabase::resetForTesting() {
  waitForFetchesForTesting();
  Fetches& f = fetches();
  std::lock_guard<std::mutex> lock(f.mutex);
  f.failedUntil.clear();
  f.started = 0;
  f.stopping = false;
}

int VeskFaviconDatabase::fetchCountForTesting() {
  Fetches& f = fetches();
  std::lock_guard<std::mutex> lock(f.mutex);
  return f.started;
}

}  // namespace tolva
