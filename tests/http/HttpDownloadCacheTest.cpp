// The response cache: keys and files, storage paths, the policies, currency (max-age, Expires,
// ETag and Last-Modified revalidation, 304) and falling back on a failure.

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "http/HttpDownloadCache.h"
#include "http/HttpRequestTestSupport.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"
#include "kit/net/HTTPDate.h"
#include "kit/security/Digest.h"
#include "support/TestCodec.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

namespace {

class HttpDownloadCacheTest : public HttpRequestTest {
 protected:
  void SetUp() override {
    HttpRequestTest::SetUp();
    cache = kit::make<HttpDownloadCache>();
    root = tmp("cache");
    cache->setStoragePath(root);
  }
  Ref<HttpRequest> cached(const std::string& url, int policy = CachePolicyDefault) {
    return HttpRequest::requestWithURL(U(url), cache, policy);
  }
  Ref<HttpRequest> fetch(const std::string& url, int policy = CachePolicyDefault) {
    Ref<HttpRequest> r = cached(url, policy);
    r->startSynchronous();
    return r;
  }
  // A request that has received these headers, for judging currency without a server.
  Ref<HttpRequest> answered(const std::string& url, int status, std::initializer_list<std::pair<const char*, const char*>> h) {
    Ref<HttpRequest> r = cached(url);
    auto headers = kit::MutableDictionary::dictionary();
    for (auto& [k, v] : h) headers->setObject(kit::str(v), k);
    r->setResponseHeaders(headers);
    r->setResponseStatusCode(status);
    return r;
  }
  void setStoredHeader(const std::string& url, const char* name, const std::string& value) {
    const std::string path = cache->pathToCachedResponseHeadersForURL(U(url));
    Ref<kit::MutableDictionary> headers =
        kit::cast<kit::MutableDictionary>(cache->cachedResponseHeadersForURL(U(url))->mutableCopy());
    if (value.empty()) headers->removeObjectForKey(name);
    else headers->setObject(kit::str(value), name);
    ASSERT_FALSE(kit::PropertyList::writeToFile(headers, path));
  }

  Ref<HttpDownloadCache> cache;
  std::string root;
};

TEST_F(HttpDownloadCacheTest, KeysFileNamesAndStoragePaths) {
  EXPECT_EQ(HttpDownloadCache::keyForURL(U("http://a.example/dir/")), HttpDownloadCache::keyForURL(U("http://a.example/dir")));
  EXPECT_NE(HttpDownloadCache::keyForURL(U("http://a.example/dir//")), HttpDownloadCache::keyForURL(U("http://a.example/dir")));
  const std::string key = HttpDownloadCache::keyForURL(U("http://a.example/"));
  EXPECT_EQ(key, kit::Digest::hex(kit::Digest::md5("http://a.example"), kit::Digest::HexCase::Upper));
  EXPECT_EQ(key.size(), 32u);

  Ref<HttpRequest> png = cached("http://a.example/img/logo.png");
  EXPECT_EQ(cache->pathToStoreCachedResponseDataForRequest(png),
            root + "/SessionStore/" + HttpDownloadCache::keyForURL(U("http://a.example/img/logo.png")) + ".png");
  png->setCacheStoragePolicy(CacheStoragePermanent);
  EXPECT_EQ(cache->pathToStoreCachedResponseHeadersForRequest(png),
            root + "/PermanentStore/" + HttpDownloadCache::keyForURL(U("http://a.example/img/logo.png")) + ".cachedheaders");
  auto ext = [&](const char* u) {
    const std::string p = cache->pathToStoreCachedResponseDataForRequest(cached(u));
    return p.substr(p.rfind('.') + 1);
  };
  EXPECT_EQ(ext("http://a.example/"), "html");
  EXPECT_EQ(ext("http://a.example/x.tar%2F..%2Fescape"), "html");
  EXPECT_EQ(ext("http://a.example/x.abcdefghijklmnop"), "abcdefghijklmnop");
  EXPECT_EQ(ext("http://a.example/x.abcdefghijklmnopq"), "html");

  EXPECT_EQ(cache->defaultCachePolicy(), CachePolicyUseIfCurrent);
  cache->setDefaultCachePolicy(CachePolicyDefault);
  EXPECT_EQ(cache->defaultCachePolicy(), CachePolicyUseIfCurrent);
  cache->setDefaultCachePolicy(CachePolicyUseIfCached);
  EXPECT_EQ(cache->defaultCachePolicy(), CachePolicyUseIfCached);

  // A file where a folder must go is refused by name.
  kit::FileManager::writeFile(tmp("plainfile"), "x");
  auto other = kit::make<HttpDownloadCache>();
  try {
    other->setStoragePath(tmp("plainfile"));
    ADD_FAILURE() << "no exception";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), "FileExistsAtCachePath");
  }
  // Without a storage path nothing is found or stored, and NeverLoad still answers yes.
  auto none = kit::make<HttpDownloadCache>();
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U("http://a.example/"), none, CachePolicyNeverLoad);
  EXPECT_TRUE(none->canUseCachedDataForRequest(r));
  EXPECT_EQ(none->pathToStoreCachedResponseDataForRequest(r), "");
  EXPECT_FALSE(none->isCachedDataCurrentForRequest(r));
  EXPECT_TRUE(cache->canUseCachedDataForRequest(cached("http://a.example/empty", CachePolicyNeverLoad)));
  EXPECT_FALSE(cache->canUseCachedDataForRequest(cached("http://a.example/empty", CachePolicyUseIfCached)));
}

TEST_F(HttpDownloadCacheTest, MaxAgeAnswersWithoutTheNetworkUntilItRunsOut) {
  TestHTTPServer server;
  server.route("GET", "/fresh", TestResponse::ok("fresh body").header("Cache-Control", "max-age=60"));
  Ref<HttpRequest> first = fetch(server.url("/fresh"));
  ASSERT_FALSE(first->error());
  EXPECT_FALSE(first->didUseCachedResponse());
  Ref<kit::Dictionary> stored = cache->cachedResponseHeadersForURL(U(server.url("/fresh")));
  ASSERT_TRUE(stored);
  ASSERT_TRUE(stored->objectForKey("X-HttpRequest-Fetch-date"));

  Ref<HttpRequest> second = fetch(server.url("/fresh"));
  EXPECT_TRUE(second->didUseCachedResponse());
  EXPECT_EQ(second->responseString(), "fresh body");
  EXPECT_EQ(server.requestCount(), 1u);

  // Fetched two minutes ago: stale, asked again.
  setStoredHeader(server.url("/fresh"), "X-HttpRequest-Fetch-date",
                  kit::HTTPDate::formatRFC1123(kit::Date::date()->timeIntervalSinceReferenceDate() - 120));
  EXPECT_FALSE(cache->isCachedDataCurrentForRequest(cached(server.url("/fresh"))));
  setStoredHeader(server.url("/fresh"), "X-HttpRequest-Fetch-date", "not a date");
  EXPECT_FALSE(cache->isCachedDataCurrentForRequest(cached(server.url("/fresh"))));
  Ref<HttpRequest> third = fetch(server.url("/fresh"));
  EXPECT_FALSE(third->didUseCachedResponse());
  EXPECT_EQ(server.requestCount(), 2u);

  // A max-age given by the caller replaces the server's Expires.
  server.route("GET", "/expiring", TestResponse::ok("e").header("Expires", "Thu, 01 Jan 1970 00:00:00 GMT"));
  Ref<HttpRequest> forced = cached(server.url("/expiring"));
  forced->setSecondsToCache(30);
  forced->startSynchronous();
  stored = cache->cachedResponseHeadersForURL(U(server.url("/expiring")));
  EXPECT_FALSE(stored->objectForKey("Expires"));
  EXPECT_EQ(stored->objectForKey("Cache-Control")->description(), "max-age=30");

  // A body the delegate takes is kept nowhere, so the response is not stored to answer the next.
  server.route("GET", "/taken", TestResponse::ok("taken body").header("Cache-Control", "max-age=60"));
  Ref<HttpRequest> taken = cached(server.url("/taken"));
  RecordingDelegate d;
  d.takesData = true;
  ASSERT_TRUE(runAsync(taken, d));
  EXPECT_FALSE(cache->cachedResponseHeadersForURL(U(server.url("/taken"))));
  Ref<HttpRequest> after = fetch(server.url("/taken"));
  EXPECT_FALSE(after->didUseCachedResponse());
  EXPECT_EQ(after->responseString(), "taken body");
}

TEST_F(HttpDownloadCacheTest, ExpiresAndValidatorsDecideCurrency) {
  TestHTTPServer server;
  server.route("GET", "/doc", TestResponse::ok("doc").header("Expires", kit::HTTPDate::formatRFC1123(
                                                                           kit::Date::date()->timeIntervalSinceReferenceDate() + 3600)));
  fetch(server.url("/doc"));
  const std::string url = server.url("/doc");
  EXPECT_TRUE(cache->isCachedDataCurrentForRequest(cached(url)));
  setStoredHeader(url, "Expires", "Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_FALSE(cache->isCachedDataCurrentForRequest(cached(url)));
  setStoredHeader(url, "Expires", "garbage");
  EXPECT_FALSE(cache->isCachedDataCurrentForRequest(cached(url)));
  setStoredHeader(url, "Expires", "");
  EXPECT_FALSE(cache->isCachedDataCurrentForRequest(cached(url)));
  cache->setShouldRespectCacheControlHeaders(false);
  EXPECT_TRUE(cache->isCachedDataCurrentForRequest(cached(url)));
  cache->setShouldRespectCacheControlHeaders(true);

  // With a response in hand: 304 means current; both validators must match otherwise.
  setStoredHeader(url, "Etag", "\"v1\"");
  setStoredHeader(url, "Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT");
  setStoredHeader(url, "Cache-Control", "max-age=600");
  EXPECT_TRUE(cache->isCachedDataCurrentForRequest(answered(url, 304, {})));
  EXPECT_FALSE(cache->isCachedDataCurrentForRequest(answered(url, 200, {{"Etag", "\"v1\""}})));
  EXPECT_FALSE(cache->isCachedDataCurrentForRequest(
      answered(url, 200, {{"Etag", "\"v2\""}, {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}})));
  EXPECT_TRUE(cache->isCachedDataCurrentForRequest(
      answered(url, 200, {{"Etag", "\"v1\""}, {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}})));
}

TEST_F(HttpDownloadCacheTest, RevalidationSendsTheValidatorsAndA304ServesTheStoredBody) {
  TestHTTPServer server;
  server.route("GET", "/page", [](const RecordedRequest& r) {
    if (r.headers.value("If-None-Match") == "\"tag\"") return TestResponse::withStatus(304);
    return TestResponse::ok("stored body").header("ETag", "\"tag\"").header("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT");
  });
  fetch(server.url("/page"));
  Ref<HttpRequest> again = fetch(server.url("/page"), CachePolicyUseIfServerAgrees);
  ASSERT_FALSE(again->error());
  EXPECT_TRUE(again->didUseCachedResponse());
  EXPECT_EQ(again->responseString(), "stored body");
  EXPECT_EQ(again->responseStatusCode(), 200);
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].headers.value("If-None-Match"), "\"tag\"");
  EXPECT_EQ(seen[1].headers.value("If-Modified-Since"), "Mon, 01 Jan 2024 00:00:00 GMT");
}

TEST_F(HttpDownloadCacheTest, FallbackOnFailureAndNoWriteAndNoStore) {
  auto server = std::make_unique<TestHTTPServer>();
  server->route("GET", "/f", TestResponse::ok("kept"));
  server->route("GET", "/secret", TestResponse::ok("s").header("Cache-Control", "no-cache, no-store"));
  server->route("GET", "/pragma", TestResponse::ok("p").header("Pragma", "no-cache"));
  const std::string f = server->url("/f");
  fetch(f);
  fetch(server->url("/secret"));
  fetch(server->url("/pragma"));
  EXPECT_FALSE(cache->cachedResponseHeadersForURL(U(server->url("/secret"))));
  EXPECT_FALSE(cache->cachedResponseHeadersForURL(U(server->url("/pragma"))));
  fetch(server->url("/f") + "?nowrite", CachePolicyNoWrite);
  EXPECT_FALSE(cache->cachedResponseDataForURL(U(server->url("/f") + "?nowrite")));
  server->stop();

  Ref<HttpRequest> offline = fetch(f, CachePolicyNoRead);
  EXPECT_TRUE(offline->error());
  Ref<HttpRequest> fallback = fetch(f, CachePolicyUseIfServerAgrees | CachePolicyFallbackOnFailure);
  EXPECT_FALSE(fallback->error());
  EXPECT_TRUE(fallback->didUseCachedResponse());
  EXPECT_EQ(fallback->responseString(), "kept");
  Ref<HttpRequest> ifCached = fetch(f, CachePolicyUseIfCached);
  EXPECT_EQ(ifCached->responseString(), "kept");

  // Never loading answers from the store; with nothing stored it fails, on its own or falling back.
  EXPECT_EQ(fetch(f, CachePolicyNeverLoad)->responseString(), "kept");
  for (int policy : {int(CachePolicyNeverLoad), CachePolicyNeverLoad | CachePolicyFallbackOnFailure}) {
    Ref<HttpRequest> none = cached(server->url("/none"), policy);
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(none, d, 10)) << policy;
    ASSERT_TRUE(none->error());
    EXPECT_EQ(none->error()->code(), kConnectionFailureErrorType);
    EXPECT_EQ(d.failed, 1);
    EXPECT_FALSE(none->didUseCachedResponse());
  }

  // Clearing the session store forgets it; the permanent store is not touched.
  cache->clearCachedResponsesForStoragePolicy(CacheStorageSession);
  EXPECT_FALSE(cache->cachedResponseDataForURL(U(f)));
}

TEST_F(HttpDownloadCacheTest, AFailedStoreLeavesNeitherFileBehind) {
  TestHTTPServer server;
  server.route("GET", "/a", TestResponse::ok("first").header("Cache-Control", "max-age=60"));
  fetch(server.url("/a"));
  ASSERT_TRUE(cache->cachedResponseHeadersForURL(U(server.url("/a"))));
  // The data file cannot be replaced (a folder holds its place): old headers must not survive
  // beside it either.
  const std::string dataPath = cache->pathToCachedResponseDataForURL(U(server.url("/a")));
  kit::FileManager::removeItem(dataPath);
  kit::FileManager::createDirectory(dataPath + "/blocker");
  server.route("GET", "/a", TestResponse::ok("second"));
  fetch(server.url("/a"), CachePolicyNoRead);
  EXPECT_FALSE(kit::FileManager::fileExists(cache->pathToStoreCachedResponseHeadersForRequest(cached(server.url("/a")))));
  EXPECT_FALSE(kit::FileManager::fileExists(dataPath));

  // The shared cache is one object, under the caches folder.
  EXPECT_EQ(HttpDownloadCache::sharedCache().get(), HttpDownloadCache::sharedCache().get());
  EXPECT_EQ(HttpDownloadCache::sharedCache()->storagePath(), kit::Paths::cachesDirectory() + "/HttpRequestCache");
}

}  // namespace

namespace {

TEST_F(HttpDownloadCacheTest, ReStoringAFileDownloadReplacesTheEntry) {
  TestHTTPServer server;
  server.route("GET", "/f", TestResponse::ok("first body"));
  const std::string url = server.url("/f");
  Ref<HttpRequest> first = cached(url);
  first->setDownloadDestinationPath(tmp("first.out"));
  first->startSynchronous();
  ASSERT_FALSE(first->error());
  ASSERT_EQ(cache->cachedResponseDataForURL(U(url))->toString(), "first body");

  server.route("GET", "/f", TestResponse::ok("the second body"));
  // A copy left half-made by an earlier crash does not stand in the way.
  ASSERT_TRUE(kit::FileManager::writeFile(cache->pathToCachedResponseDataForURL(U(url)) + ".incoming", "stale"));
  Ref<HttpRequest> second = cached(url, CachePolicyNoRead);
  second->setDownloadDestinationPath(tmp("second.out"));
  second->startSynchronous();
  ASSERT_FALSE(second->error());
  Ref<kit::Data> stored = cache->cachedResponseDataForURL(U(url));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->toString(), "the second body");
  EXPECT_EQ(cache->cachedResponseHeadersForURL(U(url))->objectForKey("Content-Length")->description(), "15");
}

TEST_F(HttpDownloadCacheTest, StoredFilesThatAreNotWhatWasStoredAreAMissAndRemoved) {
  TestHTTPServer server;
  server.route("GET", "/p", TestResponse::ok("the page body"));
  const std::string url = server.url("/p");
  auto sabotage = [&](const std::function<void(const std::string&)>& replace) {
    fetch(url, CachePolicyNoRead);
    const std::string data = cache->pathToCachedResponseDataForURL(U(url));
    const std::string headers = cache->pathToCachedResponseHeadersForURL(U(url));
    if (data.empty() || headers.empty()) return std::string("not stored");
    kit::FileManager::removeItem(data);
    replace(data);
    std::string seen;
    if (cache->cachedResponseDataForURL(U(url))) seen += "data served;";
    if (cache->cachedResponseHeadersForURL(U(url))) seen += "headers served;";
    if (kit::FileManager::attributesOfItem(data) || kit::FileManager::attributesOfItem(headers)) seen += "left behind;";
    return seen;
  };
  EXPECT_EQ(sabotage([](const std::string& p) { kit::FileManager::writeFile(p, "the page"); }), "");
  EXPECT_EQ(sabotage([](const std::string& p) { kit::FileManager::writeFile(p, ""); }), "");
  EXPECT_EQ(sabotage([](const std::string& p) { kit::FileManager::createDirectory(p); }), "");
  EXPECT_EQ(sabotage([](const std::string& p) { ::symlink("/etc/passwd", p.c_str()); }), "");
  EXPECT_EQ(sabotage([](const std::string& p) { ::symlink("/dev/zero", p.c_str()); }), "");
  EXPECT_EQ(sabotage([](const std::string& p) { ::mkfifo(p.c_str(), 0600); }), "");

  // A planted FIFO neither hangs the request nor is served: it goes to the network.
  fetch(url, CachePolicyNoRead);
  const std::string data = cache->pathToCachedResponseDataForURL(U(url));
  kit::FileManager::removeItem(data);
  ASSERT_EQ(::mkfifo(data.c_str(), 0600), 0);
  Ref<HttpRequest> r = fetch(url, CachePolicyUseIfCached);
  EXPECT_FALSE(r->error());
  EXPECT_FALSE(r->didUseCachedResponse());
  EXPECT_EQ(r->responseString(), "the page body");
}

TEST_F(HttpDownloadCacheTest, AnAnswerFromTheCacheWritesTheCallersFile) {
  TestHTTPServer server;
  server.route("GET", "/doc", TestResponse::ok("cached document").header("Cache-Control", "max-age=600"));
  const std::string url = server.url("/doc");
  fetch(url);
  const std::string mine = tmp("mine.out");
  kit::FileManager::writeFile(mine, "old contents");
  Ref<HttpRequest> r = cached(url);
  r->setDownloadDestinationPath(mine);
  r->startSynchronous();
  ASSERT_FALSE(r->error());
  EXPECT_TRUE(r->didUseCachedResponse());
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(r->downloadDestinationPath(), mine);
  EXPECT_EQ(read(mine), "cached document");
  EXPECT_EQ(cache->cachedResponseDataForURL(U(url))->toString(), "cached document");

  // A body of one byte is read back whole too.
  server.route("GET", "/one", TestResponse::ok("1"));
  fetch(server.url("/one"));
  Ref<kit::Data> one = cache->cachedResponseDataForURL(U(server.url("/one")));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->toString(), "1");
}

TEST_F(HttpDownloadCacheTest, AStoredBodyLabelledGzipIsInflatedWithinTheBoundOrFails) {
  TestHTTPServer server;
  server.route("GET", "/g", TestResponse::ok("plain"));
  const std::string url = server.url("/g");
  auto plant = [&](const std::string& bytes) {
    fetch(url, CachePolicyNoRead);
    Ref<kit::MutableDictionary> headers =
        kit::cast<kit::MutableDictionary>(cache->cachedResponseHeadersForURL(U(url))->mutableCopy());
    headers->setObject(kit::str("gzip"), "Content-Encoding");
    headers->setObject(kit::str(std::to_string(bytes.size())), "Content-Length");
    const std::string headerPath = cache->pathToCachedResponseHeadersForURL(U(url));
    kit::FileManager::writeFile(cache->pathToCachedResponseDataForURL(U(url)), bytes);
    EXPECT_FALSE(kit::PropertyList::writeToFile(headers, headerPath));
    return fetch(url, CachePolicyUseIfCached);
  };
  Ref<HttpRequest> good = plant(TestCodec::gzip("inflated page"));
  EXPECT_FALSE(good->error());
  EXPECT_TRUE(good->didUseCachedResponse());
  EXPECT_EQ(good->responseString(), "inflated page");

  Ref<HttpRequest> broken = plant("not gzip at all");
  ASSERT_TRUE(broken->error());
  EXPECT_EQ(broken->error()->code(), kCompressionError);
  EXPECT_FALSE(cache->cachedResponseHeadersForURL(U(url)));  // the damaged entry is gone

  HttpRequest::setMaximumInMemoryBodyLength(1 << 20);
  Ref<HttpRequest> bomb = plant(TestCodec::gzip(std::string(4 << 20, '\0')));
  HttpRequest::setMaximumInMemoryBodyLength(HttpRequest::kDefaultMaximumInMemoryBodyLength);
  ASSERT_TRUE(bomb->error());
  EXPECT_EQ(bomb->error()->code(), kFileManagementError);
}

// A cache that throws while the response is stored on the network thread (as a stored date that
// did not parse once did): the request fails with a readable error and the next one goes on.
class ThrowingCache : public HttpDownloadCache {
 public:
  void storeResponseForRequest(HttpRequest*, double) override { throw std::invalid_argument("stol"); }
};

TEST_F(HttpDownloadCacheTest, AnExceptionOnTheNetworkThreadFailsOnlyItsRequest) {
  TestHTTPServer server;
  server.route("GET", "/p", TestResponse::ok("body").header("Date", "Sun, 06 Nov 1994 08:49:37 +12ab"));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/p")), kit::make<ThrowingCache>(), CachePolicyDefault);
  r->startSynchronous();
  ASSERT_TRUE(r->error());
  EXPECT_EQ(r->error()->code(), kUnhandledExceptionError);
  kit::Object* reason = r->error()->userInfo()->objectForKey(kit::Error::kLocalizedFailureReasonKey);
  ASSERT_TRUE(reason);
  EXPECT_EQ(reason->description(), "stol");
  Ref<HttpRequest> next = fetch(server.url("/p"));
  EXPECT_FALSE(next->error());
  EXPECT_EQ(next->responseString(), "body");
}

}  // namespace
