// The engine's side of a download cache, the user agent and the HEAD request.

#include <algorithm>

#include "http/HttpRequestTestSupport.h"
#include "kit/foundation/Bundle.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

namespace {

// A cache that answers from one stored response and records what it is asked.
class FakeCache : public HttpCacheDelegate {
 public:
  int defaultCachePolicy() const override { return CachePolicyUseIfCurrent; }
  void setDefaultCachePolicy(int) override {}
  void removeCachedDataForRequest(HttpRequest*) override {}
  bool isCachedDataCurrentForRequest(HttpRequest*) override { return current; }
  void storeResponseForRequest(HttpRequest* request, double) override { stored.push_back(request->url()->absoluteString()); }
  Ref<kit::Dictionary> cachedResponseHeadersForURL(const kit::URL*) override { return headers; }
  Ref<kit::Data> cachedResponseDataForURL(const kit::URL*) override { return data; }
  std::string pathToCachedResponseDataForURL(const kit::URL*) override { return data ? "/cache/data" : ""; }
  std::string pathToCachedResponseHeadersForURL(const kit::URL*) override { return {}; }
  std::string pathToStoreCachedResponseDataForRequest(HttpRequest*) override { return {}; }
  std::string pathToStoreCachedResponseHeadersForRequest(HttpRequest*) override { return {}; }
  void clearCachedResponsesForStoragePolicy(int) override {}
  bool canUseCachedDataForRequest(HttpRequest*) override {
    ++asked;
    return current && headers && data;
  }

  bool current = false;
  int asked = 0;
  Ref<kit::Dictionary> headers;
  Ref<kit::Data> data;
  std::vector<std::string> stored;
};

void writeInfo(const std::string& folder, const std::string& shortVersion, const std::string& build) {
  kit::FileManager::createDirectory(folder);
  kit::FileManager::writeFile(folder + "/Info.plist",
                              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                              "<key>CFBundleName</key><string>Probe</string>"
                              "<key>CFBundleShortVersionString</key><string>" +
                                  shortVersion + "</string><key>CFBundleVersion</key><string>" + build +
                                  "</string></dict></plist>\n");
}

}  // namespace

TEST_F(HttpRequestTest, CurrentCachedResponseAnswersWithoutTheNetworkAndRevalidationHeadersGo) {
  TestHTTPServer server;
  server.route("GET", "/c", TestResponse::ok("from the network"));
  Ref<FakeCache> cache = kit::make<FakeCache>();
  cache->headers = new kit::Dictionary({{"Content-Length", kit::str("6")},
                                        {"Etag", kit::str("\"v1\"")},
                                        {"Last-Modified", kit::str("Sun, 06 Nov 1994 08:49:37 GMT")}});
  cache->data = kit::Data::dataWithString("cached");
  cache->current = true;

  Ref<HttpRequest> hit = HttpRequest::requestWithURL(U(server.url("/c")), cache);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(hit, d));
  EXPECT_EQ(d.finished, 1);
  EXPECT_TRUE(hit->didUseCachedResponse());
  EXPECT_EQ(hit->responseString(), "cached");
  EXPECT_EQ(hit->contentLength(), 6u);
  EXPECT_EQ(server.requestCount(), 0u);

  cache->current = false;
  Ref<HttpRequest> stale = HttpRequest::requestWithURL(U(server.url("/c")), cache);
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(stale, d2));
  EXPECT_EQ(stale->responseString(), "from the network");
  EXPECT_EQ(stale->cachePolicy(), CachePolicyUseIfCurrent);
  EXPECT_EQ(server.lastRequest()->headers.value("If-None-Match"), "\"v1\"");
  EXPECT_EQ(server.lastRequest()->headers.value("If-Modified-Since"), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(cache->stored, std::vector<std::string>{server.url("/c")});
}

TEST_F(HttpRequestTest, PostRequestsNeverUseTheCache) {
  TestHTTPServer server;
  server.route("POST", "/p", TestResponse::ok("posted"));
  Ref<FakeCache> cache = kit::make<FakeCache>();
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/p")), cache);
  r->appendPostData(kit::Data::dataWithString("x"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_EQ(r->responseString(), "posted");
  EXPECT_FALSE(r->downloadCache());
  EXPECT_EQ(cache->asked, 0);
  EXPECT_TRUE(cache->stored.empty());
}

TEST_F(HttpRequestTest, UserAgentCarriesTheBuildOnlyWhenItDiffers) {
  writeInfo(tmp("same"), "2.0", "2.0");
  writeInfo(tmp("differs"), "2.0", "417");
  const std::string same = HttpRequest::userAgentForBundle(kit::make<kit::Bundle>(tmp("same")));
  const std::string differs = HttpRequest::userAgentForBundle(kit::make<kit::Bundle>(tmp("differs")));
  EXPECT_EQ(same.rfind("Probe 2.0 (", 0), 0u) << same;
  EXPECT_EQ(differs.rfind("Probe 2.0 rv:417 (", 0), 0u) << differs;
  // Name, version, then (model; system version; locale).
  EXPECT_EQ(std::count(same.begin(), same.end(), ';'), 2);
  EXPECT_EQ(same.back(), ')');
  EXPECT_EQ(HttpRequest::userAgentForBundle(kit::make<kit::Bundle>(tmp("nothing-here"))), "");
}

TEST_F(HttpRequestTest, HeadRequestWorksForItsMainRequest) {
  TestHTTPServer server;
  server.route("GET", "/m", TestResponse::ok("main body"));
  Ref<HttpRequest> main = HttpRequest::requestWithURL(U(server.url("/m")));
  main->addRequestHeader("X-Probe", "1");
  main->setTimeOutSeconds(7);
  Ref<HttpRequest> head = main->HEADRequest();
  EXPECT_EQ(head->requestMethod(), "HEAD");
  EXPECT_EQ(head->mainRequest(), main.get());
  EXPECT_EQ(head->timeOutSeconds(), 7.0);
  head->startSynchronous();
  EXPECT_TRUE(head->complete());
  auto req = *server.lastRequest();
  EXPECT_EQ(req.method, "HEAD");
  EXPECT_EQ(req.headers.value("X-Probe"), "1");
  EXPECT_EQ(main->contentLength(), 9u);
}
