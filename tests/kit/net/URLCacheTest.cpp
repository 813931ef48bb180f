#include "kit/net/URLCache.h"

#include <gtest/gtest.h>

#include "URLLoadingSupport.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/net/HTTPDate.h"
#include "support/TempHome.h"
#include "support/TestHTTPServer.h"

using namespace kit;
using namespace tolvatest;
using urltest::Recorder;
using urltest::request;

namespace {

using Policy = URLRequest::CachePolicy;

Ref<CachedURLResponse> entry(const std::string& url, const std::string& body,
                             CachedURLResponse::StoragePolicy policy = CachedURLResponse::StoragePolicy::Allowed,
                             HTTPURLResponse::HeaderFields extra = {}) {
  HTTPURLResponse::HeaderFields fields{{"Content-Type", "text/html; charset=iso-8859-1"},
                                       {"Set-Cookie", "a=1"},
                                       {"Set-Cookie", "b=2"}};
  fields.insert(fields.end(), extra.begin(), extra.end());
  auto response = HTTPURLResponse::responseWithURL(URL::URLWithString(url), 200, "HTTP/1.1", fields);
  return CachedURLResponse::cachedResponse(response, Data::dataWithString(body), policy);
}

std::vector<std::string> entryFiles(const URLCache& cache) {
  std::vector<std::string> out;
  for (const auto& name : FileManager::contentsOfDirectory(cache.diskPath()).value_or(std::vector<std::string>{}))
    if (name.size() > 6 && name.substr(name.size() - 6) == ".entry") out.push_back(name);
  return out;
}

class URLCacheTest : public ::testing::Test {
 protected:
  TempHome home_;
};

}  // namespace

TEST_F(URLCacheTest, StoresAndAnswersByURLWithoutFragment) {
  URLCache cache(1 << 20, 1 << 20, "web_cache");
  EXPECT_EQ(cache.diskPath(), Paths::cachesDirectory() + "/web_cache");
  EXPECT_FALSE(FileManager::fileExists(cache.diskPath())) << "nothing is made before it is needed";
  auto q = request("http://example.com/a?x=1#top");
  EXPECT_FALSE(cache.cachedResponseForRequest(*q));
  cache.storeCachedResponse(entry("http://example.com/a?x=1", "body"), *q);
  auto found = cache.cachedResponseForRequest(*request("http://example.com/a?x=1#other"));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->data()->toString(), "body");
  EXPECT_FALSE(cache.cachedResponseForRequest(*request("http://example.com/a?x=2")));
  EXPECT_GT(cache.currentMemoryUsage(), 4u);
  EXPECT_GT(cache.currentDiskUsage(), 4u);
  cache.removeCachedResponseForRequest(*q);
  EXPECT_FALSE(cache.cachedResponseForRequest(*q));
  EXPECT_EQ(cache.currentMemoryUsage(), 0u);
  EXPECT_EQ(cache.currentDiskUsage(), 0u);
}

TEST_F(URLCacheTest, DiskEntriesOutliveTheCacheObject) {
  auto q = request("http://example.com/kept");
  {
    URLCache cache(1 << 20, 1 << 20, "web_cache");
    cache.storeCachedResponse(entry("http://example.com/kept", std::string("\0bin\xff", 5)), *q);
    cache.storeCachedResponse(entry("http://example.com/memory", "m", CachedURLResponse::StoragePolicy::AllowedInMemoryOnly),
                              *request("http://example.com/memory"));
  }
  URLCache again(0, 1 << 20, "web_cache");
  auto found = again.cachedResponseForRequest(*q);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->data()->toString(), std::string("\0bin\xff", 5));
  auto* http = cast<HTTPURLResponse>(found->response());
  ASSERT_TRUE(http);
  EXPECT_EQ(http->statusCode(), 200);
  EXPECT_EQ(http->MIMEType(), "text/html");
  EXPECT_EQ(http->textEncodingName(), "iso-8859-1");
  EXPECT_EQ(http->valuesForHTTPHeaderField("Set-Cookie"), (std::vector<std::string>{"a=1", "b=2"}));
  EXPECT_FALSE(again.cachedResponseForRequest(*request("http://example.com/memory")));

  // A plain response keeps its own fields.
  auto plain = URLResponse::responseWithURL(URL::URLWithString("http://example.com/p"), "text/plain", 1, std::nullopt);
  again.storeCachedResponse(CachedURLResponse::cachedResponse(plain, Data::dataWithString(" ")), *request("http://example.com/p"));
  URLCache third(0, 1 << 20, "web_cache");
  auto p = third.cachedResponseForRequest(*request("http://example.com/p"));
  ASSERT_TRUE(p);
  EXPECT_FALSE(cast<HTTPURLResponse>(p->response()));
  EXPECT_EQ(p->response()->MIMEType(), "text/plain");
  EXPECT_EQ(p->response()->expectedContentLength(), 1);
  EXPECT_FALSE(p->response()->textEncodingName());
}

TEST_F(URLCacheTest, NoStoreAndNotAllowedAreNeverKept) {
  URLCache cache(1 << 20, 1 << 20, "web_cache");
  cache.storeCachedResponse(entry("http://example.com/s", "x", CachedURLResponse::StoragePolicy::Allowed,
                                  {{"Cache-Control", "private, No-Store"}}),
                            *request("http://example.com/s"));
  cache.storeCachedResponse(entry("http://example.com/n", "x", CachedURLResponse::StoragePolicy::NotAllowed),
                            *request("http://example.com/n"));
  EXPECT_FALSE(cache.cachedResponseForRequest(*request("http://example.com/s")));
  EXPECT_FALSE(cache.cachedResponseForRequest(*request("http://example.com/n")));
  EXPECT_EQ(cache.currentDiskUsage(), 0u);
}

TEST_F(URLCacheTest, EvictsTheLeastRecentlyUsedToFitTheCapacity) {
  const std::string body(1000, 'b');
  const uint64_t one = URLCache::encodeEntry("http://example.com/0", *entry("http://example.com/0", body)).size();
  URLCache cache(0, 3 * one + 10, "web_cache");
  for (int i = 0; i < 3; ++i)
    cache.storeCachedResponse(entry("http://example.com/" + std::to_string(i), body),
                              *request("http://example.com/" + std::to_string(i)));
  EXPECT_EQ(entryFiles(cache).size(), 3u);
  ASSERT_TRUE(cache.cachedResponseForRequest(*request("http://example.com/0")));  // now the most recent
  cache.storeCachedResponse(entry("http://example.com/3", body), *request("http://example.com/3"));
  EXPECT_LE(cache.currentDiskUsage(), cache.diskCapacity());
  EXPECT_TRUE(cache.cachedResponseForRequest(*request("http://example.com/0")));
  EXPECT_FALSE(cache.cachedResponseForRequest(*request("http://example.com/1")));
  EXPECT_TRUE(cache.cachedResponseForRequest(*request("http://example.com/3")));
  EXPECT_EQ(entryFiles(cache).size(), 3u);

  // Too large for the whole cache: not kept, and nothing else is pushed out for it.
  cache.storeCachedResponse(entry("http://example.com/huge", std::string(10 * one, 'h')), *request("http://example.com/huge"));
  EXPECT_FALSE(cache.cachedResponseForRequest(*request("http://example.com/huge")));
  EXPECT_EQ(entryFiles(cache).size(), 3u);

  // A lower capacity evicts at once; a new cache object over the folder finds what is left.
  cache.setDiskCapacity(one + 10);
  EXPECT_EQ(entryFiles(cache).size(), 1u);
  URLCache reopened(0, 3 * one + 10, "web_cache");
  EXPECT_EQ(reopened.currentDiskUsage(), one);

  URLCache memory(3 * (one + 200), 0, "unused");
  for (int i = 0; i < 5; ++i)
    memory.storeCachedResponse(entry("http://example.com/" + std::to_string(i), body),
                               *request("http://example.com/" + std::to_string(i)));
  EXPECT_LE(memory.currentMemoryUsage(), memory.memoryCapacity());
  EXPECT_TRUE(memory.cachedResponseForRequest(*request("http://example.com/4")));
  EXPECT_FALSE(memory.cachedResponseForRequest(*request("http://example.com/0")));
}

TEST_F(URLCacheTest, DamagedEntriesReadAsAbsentAndGo) {
  auto q = request("http://example.com/d");
  {
    URLCache cache(0, 1 << 20, "web_cache");
    cache.storeCachedResponse(entry("http://example.com/d", "precious"), *q);
    cache.storeCachedResponse(entry("http://example.com/e", "other"), *request("http://example.com/e"));
  }
  URLCache probe(0, 1 << 20, "web_cache");
  auto files = entryFiles(probe);
  ASSERT_EQ(files.size(), 2u);
  // Flip one byte in the middle of every entry file, and leave a stray temporary file behind.
  for (const auto& name : files) {
    std::string path = probe.diskPath() + "/" + name;
    std::string bytes = FileManager::readFile(path)->toString();
    bytes[bytes.size() / 2] ^= 0x40;
    ASSERT_TRUE(FileManager::writeFile(path, bytes));
  }
  ASSERT_TRUE(FileManager::writeFile(probe.diskPath() + "/.tmp-abcdef", "half"));
  URLCache cache(0, 1 << 20, "web_cache");
  EXPECT_FALSE(cache.cachedResponseForRequest(*q));
  EXPECT_FALSE(cache.cachedResponseForRequest(*request("http://example.com/e")));
  EXPECT_EQ(entryFiles(cache).size(), 0u);
  EXPECT_FALSE(FileManager::fileExists(cache.diskPath() + "/.tmp-abcdef"));
  EXPECT_EQ(cache.currentDiskUsage(), 0u);
  // Truncated and foreign bytes do not decode either.
  std::string good = URLCache::encodeEntry("http://example.com/d", *entry("http://example.com/d", "x"));
  std::string key;
  EXPECT_TRUE(URLCache::decodeEntry(good, &key));
  EXPECT_EQ(key, "http://example.com/d");
  for (size_t cut : {size_t(0), size_t(5), good.size() / 2, good.size() - 1})
    EXPECT_FALSE(URLCache::decodeEntry(std::string_view(good).substr(0, cut), nullptr)) << cut;
}

TEST_F(URLCacheTest, RemoveAllEmptiesBothTiers) {
  URLCache cache(1 << 20, 1 << 20, "web_cache");
  for (int i = 0; i < 4; ++i)
    cache.storeCachedResponse(entry("http://example.com/" + std::to_string(i), "x"),
                              *request("http://example.com/" + std::to_string(i)));
  cache.removeAllCachedResponses();
  EXPECT_EQ(cache.currentMemoryUsage(), 0u);
  EXPECT_EQ(cache.currentDiskUsage(), 0u);
  EXPECT_TRUE(entryFiles(cache).empty());
  EXPECT_FALSE(cache.cachedResponseForRequest(*request("http://example.com/2")));
}

TEST_F(URLCacheTest, SharedCacheIsReplaceable) {
  URLCache::setSharedURLCache(nullptr);
  Ref<URLCache> first = URLCache::sharedURLCache();
  EXPECT_EQ(first->memoryCapacity(), URLCache::kDefaultMemoryCapacity);
  EXPECT_EQ(first->diskCapacity(), URLCache::kDefaultDiskCapacity);
  EXPECT_EQ(URLCache::sharedURLCache().get(), first.get());
  auto mine = make<URLCache>(524288, 10485760, "web_cache");
  URLCache::setSharedURLCache(mine);
  EXPECT_EQ(URLCache::sharedURLCache().get(), mine.get());
  URLCache::setSharedURLCache(nullptr);
}

// ---- The cache as URL connections use it

namespace {

// Answers every URL containing "/ads/" with a one-space placeholder, stored through the base
// class first, as the browser's ad-block cache does.
class PlaceholderCache : public URLCache {
 public:
  using URLCache::URLCache;
  Ref<CachedURLResponse> cachedResponseForRequest(const URLRequest& request) override {
    ++asked;
    if (request.url() && request.url()->absoluteString().find("/ads/") != std::string::npos) {
      auto response = URLResponse::responseWithURL(Ref<URL>(request.url()), "text/plain", 1, std::nullopt);
      URLCache::storeCachedResponse(CachedURLResponse::cachedResponse(response, Data::dataWithString(" ")), request);
    }
    return URLCache::cachedResponseForRequest(request);
  }
  int asked = 0;
};

class URLCachePolicyTest : public URLCacheTest {
 protected:
  void install(Ref<URLCache> cache) { URLCache::setSharedURLCache(cache); }
  void TearDown() override { URLCache::setSharedURLCache(nullptr); }
  TestHTTPServer server_;
};

}  // namespace

TEST_F(URLCachePolicyTest, CacheOnlyRequestsNeverReachTheNetwork) {
  auto cache = make<PlaceholderCache>(1 << 20, 1 << 20, "web_cache");
  install(cache);
  server_.route("GET", "/page", TestResponse::ok("fresh"));
  Recorder missing;
  urltest::load(missing, *request(server_.url("/page"), Policy::ReturnCacheDataDontLoad));
  EXPECT_EQ(missing.errorCode(), URLError::kResourceUnavailable);
  EXPECT_EQ(missing.errorCode(), -1008);

  Recorder blocked;
  urltest::load(blocked, *request(server_.url("/ads/banner.js"), Policy::ReturnCacheDataDontLoad));
  EXPECT_FALSE(blocked.error);
  EXPECT_EQ(blocked.body, " ");
  EXPECT_EQ(blocked.response->MIMEType(), "text/plain");
  EXPECT_EQ(blocked.response->expectedContentLength(), 1);
  EXPECT_EQ(std::count(blocked.events.begin(), blocked.events.end(), "willCache"), 0);

  cache->storeCachedResponse(entry(server_.url("/page"), "from cache"), *request(server_.url("/page")));
  Recorder cached;
  urltest::load(cached, *request(server_.url("/page"), Policy::ReturnCacheDataDontLoad));
  EXPECT_EQ(cached.body, "from cache");
  EXPECT_EQ(server_.requestCount(), 0u);
}

TEST_F(URLCachePolicyTest, LoadedResponsesAreStoredAndPoliciesDecideWhenTheyAreUsed) {
  auto cache = make<URLCache>(1 << 20, 1 << 20, "web_cache");
  install(cache);
  int served = 0;
  server_.route("GET", "/counted", [&served](const RecordedRequest&) {
    return TestResponse::ok("version " + std::to_string(++served));
  });
  server_.route("GET", "/fresh", [](const RecordedRequest&) {
    return TestResponse::ok("long lived")
        .header("Cache-Control", "max-age=600")
        .header("Date", HTTPDate::formatRFC1123(Clock::now()));
  });
  server_.route("GET", "/nostore", TestResponse::ok("secret").header("Cache-Control", "no-store"));

  Recorder first;
  urltest::load(first, *request(server_.url("/counted")));
  EXPECT_EQ(first.body, "version 1");
  ASSERT_TRUE(cache->cachedResponseForRequest(*request(server_.url("/counted"))));
  // Without freshness information the protocol policy loads again; reloading stores the new one.
  Recorder second;
  urltest::load(second, *request(server_.url("/counted")));
  EXPECT_EQ(second.body, "version 2");
  Recorder reload;
  urltest::load(reload, *request(server_.url("/counted"), Policy::ReloadIgnoringLocalCacheData));
  EXPECT_EQ(reload.body, "version 3");
  Recorder elseLoad;
  urltest::load(elseLoad, *request(server_.url("/counted"), Policy::ReturnCacheDataElseLoad));
  EXPECT_EQ(elseLoad.body, "version 3");
  EXPECT_EQ(served, 3);

  Recorder f1, f2;
  urltest::load(f1, *request(server_.url("/fresh")));
  urltest::load(f2, *request(server_.url("/fresh")));
  EXPECT_EQ(f2.body, "long lived");
  EXPECT_EQ(server_.requestsFor("/fresh").size(), 1u);

  Recorder secret;
  urltest::load(secret, *request(server_.url("/nostore")));
  EXPECT_EQ(std::count(secret.events.begin(), secret.events.end(), "willCache"), 0);
  EXPECT_FALSE(cache->cachedResponseForRequest(*request(server_.url("/nostore"))));

  // The delegate may refuse the entry.
  Recorder refusing;
  refusing.onWillCache = [](Ref<CachedURLResponse>) { return Ref<CachedURLResponse>(); };
  auto other = request(server_.url("/counted?x"));
  urltest::load(refusing, *other);
  EXPECT_FALSE(cache->cachedResponseForRequest(*other));
}
