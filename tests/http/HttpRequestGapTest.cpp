// Paths of the request engine that other suites pass by: a proxy in the
// way, and the exact offsets a stalled download resumes from.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "http/HttpCacheDelegate.h"
#include "http/HttpErrorType.h"
#include "http/HttpRequestTestSupport.h"
#include "support/TestHTTPServer.h"
#include "support/TestProxyServer.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/String.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

TEST_F(HttpRequestTest, ARequestThroughAProxyAsksForTheWholeURLAndGetsTheServersAnswer) {
  TestHTTPServer server;
  server.route("GET", "/via", TestResponse::ok("through the proxy"));
  TestProxyServer proxy;
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/via")));
  r->setProxyHost("127.0.0.1");
  r->setProxyPort(proxy.port());
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");
  EXPECT_EQ(r->responseStatusCode(), 200);
  EXPECT_EQ(r->responseString(), "through the proxy");
  auto records = proxy.records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().method, "GET");
  EXPECT_EQ(records.back().target, server.url("/via"));  // absolute form: the proxy is asked for the whole URL
  EXPECT_EQ(server.requestsFor("/via").size(), 1u);

  proxy.stop();
  server.stop();
}

// Each attempt stalls after 40000 bytes; each retry asks for the rest from
// where the partial file ends, so the third attempt completes the file.
TEST_F(HttpRequestTest, EachRetryOfAStalledDownloadResumesWhereTheFileEnds) {
  TestHTTPServer server;
  std::string body;
  for (int i = 0; i < 100000; ++i) body += static_cast<char>('a' + i % 23);
  server.route("GET", "/slow", [&](const RecordedRequest& request) {
    std::string range = request.headers.value("Range");
    size_t from = range.rfind("bytes=", 0) == 0 ? std::stoul(range.substr(6)) : 0;
    TestResponse response = from ? TestResponse::withStatus(206, body.substr(from))
                                       .header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                                    std::to_string(body.size() - 1) + "/" +
                                                                    std::to_string(body.size()))
                                 : TestResponse::ok(body);
    if (body.size() - from > 40000) response.stallAfterBody(40000, TestResponse::untilStop);
    return response.header("Accept-Ranges", "bytes");
  });
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/slow")));
  r->setTimeOutSeconds(0.4);
  r->setNumberOfTimesToRetryOnTimeout(2);
  r->setDownloadDestinationPath(tmp("slow"));
  r->setTemporaryFileDownloadPath(tmp("slow.part"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d, 15));
  auto seen = server.requestsFor("/slow");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_FALSE(seen[0].headers.has("Range"));
  EXPECT_EQ(seen[1].headers.value("Range"), "bytes=40000-");
  EXPECT_EQ(seen[2].headers.value("Range"), "bytes=80000-");
  ASSERT_EQ(d.finished, 1);
  EXPECT_TRUE(read(tmp("slow")) == body);
  EXPECT_FALSE(kit::FileManager::fileExists(tmp("slow.part")));
  server.stop();
}

namespace {

// A queue object: the request reports to it as well as to its delegate.
class RecordingQueue : public kit::Object, public RecordingDelegate {
 public:
  std::string className() const override { return "RecordingQueue"; }
};

// A response cache that raises from the first question it is asked.
class RaisingCache : public HttpCacheDelegate {
 public:
  int defaultCachePolicy() const override { return CachePolicyDefault; }
  void setDefaultCachePolicy(int) override {}
  void removeCachedDataForRequest(HttpRequest*) override {}
  bool isCachedDataCurrentForRequest(HttpRequest*) override { return false; }
  void storeResponseForRequest(HttpRequest*, double) override {}
  kit::Ref<kit::Dictionary> cachedResponseHeadersForURL(const kit::URL*) override { return nullptr; }
  kit::Ref<kit::Data> cachedResponseDataForURL(const kit::URL*) override { return nullptr; }
  std::string pathToCachedResponseDataForURL(const kit::URL*) override { return {}; }
  std::string pathToCachedResponseHeadersForURL(const kit::URL*) override { return {}; }
  std::string pathToStoreCachedResponseDataForRequest(HttpRequest*) override { return {}; }
  std::string pathToStoreCachedResponseHeadersForRequest(HttpRequest*) override { return {}; }
  void clearCachedResponsesForStoragePolicy(int) override {}
  bool canUseCachedDataForRequest(HttpRequest*) override {
    throw kit::GenericException("The cache's store is unreadable");
  }
};

// A response cache that holds the request's end inside storing until the test lets it go (or
// five seconds pass).
class HoldingCache : public RaisingCache {
 public:
  bool canUseCachedDataForRequest(HttpRequest*) override { return false; }
  void storeResponseForRequest(HttpRequest*, double) override {
    std::unique_lock<std::mutex> g(m);
    storing = true;
    released = cv.wait_for(g, std::chrono::seconds(5), [this] { return letGo; });
  }
  void letItGo() {
    std::lock_guard<std::mutex> g(m);
    letGo = true;
    cv.notify_all();
  }
  std::mutex m;
  std::condition_variable cv;
  std::atomic<bool> storing{false};
  bool letGo = false;
  bool released = false;
};

}  // namespace

// The end of a response (inflating, moving, storing: work that grows with the body) runs
// without the request's lock, so the main thread's pause or cancel never waits for it.
TEST_F(HttpRequestTest, TheEndOfAResponseNeverHoldsTheMainThread) {
  TestHTTPServer server;
  server.route("GET", "/end", TestResponse::ok("body"));
  Ref<HoldingCache> cache = kit::make<HoldingCache>();
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/end")));
  r->setDownloadCache(cache);
  RecordingDelegate d;
  r->setDelegate(&d);
  r->startAsynchronous();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return cache->storing.load(); }, 20));
  r->clearDelegatesAndCancel();
  cache->letItGo();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return r->isFinished(); }, 20));
  std::lock_guard<std::mutex> g(cache->m);
  EXPECT_TRUE(cache->released);
}

TEST_F(HttpRequestTest, TheQueueObjectHearsEveryEventTheDelegateHears) {
  TestHTTPServer server;
  server.route("GET", "/queued", TestResponse::ok("queued body"));
  server.route("GET", "/missing-host-answer", TestResponse::withStatus(401, "no").header("WWW-Authenticate", "Basic realm=\"x\""));
  Ref<RecordingQueue> queue(new RecordingQueue());
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/queued")));
  r->setQueue(queue);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  settle();
  ASSERT_EQ(d.finished, 1);
  EXPECT_EQ(queue->finished, 1);
  EXPECT_EQ(queue->count("started"), 1u);
  EXPECT_EQ(queue->count("headers"), 1u);
  EXPECT_EQ(queue->calls, d.calls);

  // A failure reaches the queue too.
  Ref<RecordingQueue> failing(new RecordingQueue());
  Ref<HttpRequest> f = HttpRequest::requestWithURL(U(server.url("/missing-host-answer")));
  f->setQueue(failing);
  f->setShouldPresentAuthenticationDialog(false);
  RecordingDelegate fd;
  ASSERT_TRUE(runAsync(f, fd));
  settle();
  ASSERT_EQ(fd.failed, 1);
  EXPECT_EQ(failing->failed, 1);
  EXPECT_EQ(failing->finished, 0);
  server.stop();
}

TEST_F(HttpRequestTest, AnExceptionWhileSettingUpFailsWithCodeTenNamingIt) {
  TestHTTPServer server;
  server.route("GET", "/cached", TestResponse::ok("never read"));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/cached")));
  r->setDownloadCache(kit::make<RaisingCache>());
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.failed, 1);
  ASSERT_TRUE(r->error());
  EXPECT_EQ(r->error()->domain(), kHttpRequestErrorDomain);
  EXPECT_EQ(r->error()->code(), kUnhandledExceptionError);
  EXPECT_EQ(r->error()->localizedDescription(), "NSGenericException");
  auto* reason = r->error()->userInfo()->get<kit::String>(kit::Error::kLocalizedFailureReasonKey);
  EXPECT_EQ(reason ? reason->str() : "", "The cache's store is unreadable");
  auto* underlying = r->error()->userInfo()->get<kit::Error>(kit::Error::kUnderlyingErrorKey);
  ASSERT_TRUE(underlying);
  EXPECT_EQ(underlying->code(), kUnhandledExceptionError);
  EXPECT_TRUE(server.requestsFor("/cached").empty());
  server.stop();
}

// A request with a body waits half as long again before it times out. The
// limit is long beside the 0.25 s status checks, so the lower bound tells
// 3 s from 2 s, and a slow machine only makes the wait longer.
TEST_F(HttpRequestTest, ARequestWithABodyTimesOutAfterHalfAsLongAgain) {
  TestHTTPServer server;
  server.route("POST", "/slow", TestResponse::ok("late").stallBeforeHead(TestResponse::untilStop));
  auto timeOut = [&](double limit) {  // seconds until the time-out was reported
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/slow")));
    r->setTimeOutSeconds(limit);
    r->setRequestMethod("POST");
    r->appendPostData(kit::Data::dataWithString("a=1&b=2").get());
    RecordingDelegate d;
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(runAsync(r, d, 15));
    EXPECT_EQ(d.failed, 1);
    EXPECT_EQ(r->error() ? r->error()->code() : 0, kRequestTimedOutErrorType);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  };
  EXPECT_GE(timeOut(2), 3.0);
  server.stop();
}
