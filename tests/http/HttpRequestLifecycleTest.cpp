// Defaults, cancelling, failures and time-outs, the blocks and the activity indicator.

#include <chrono>
#include <thread>

#include "http/HttpErrorType.h"
#include "http/HttpRequestTestSupport.h"
#include "http/HttpWebPageRequest.h"
#include "kit/foundation/OperationQueue.h"
#include "kit/ui/Application.h"
#include "support/PseudoRandomBody.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;
using namespace std::chrono_literals;

TEST_F(HttpRequestTest, NewRequestDefaults) {
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U("http://127.0.0.1/"));
  EXPECT_EQ(r->requestMethod(), "GET");
  EXPECT_EQ(r->timeOutSeconds(), 10.0);
  EXPECT_EQ(r->persistentConnectionTimeoutSeconds(), 60.0);
  EXPECT_TRUE(r->shouldRedirect());
  EXPECT_TRUE(r->allowResumeForFileDownloads());
  EXPECT_TRUE(r->allowCompressedResponse());
  EXPECT_TRUE(r->shouldWaitToInflateCompressedResponses());
  EXPECT_TRUE(r->useSessionPersistence());
  EXPECT_TRUE(r->useCookiePersistence());
  EXPECT_TRUE(r->validatesSecureCertificate());
  EXPECT_TRUE(r->shouldAttemptPersistentConnection());
  EXPECT_FALSE(r->useKeychainPersistence());
  EXPECT_FALSE(r->shouldPresentAuthenticationDialog());
  EXPECT_TRUE(r->shouldPresentProxyAuthenticationDialog());
  EXPECT_EQ(r->defaultResponseEncoding(), HttpRequest::kISOLatin1StringEncoding);
  EXPECT_EQ(r->runLoopMode(), kit::RunLoop::kDefaultMode);
  EXPECT_EQ(r->didFinishSelector().name(), "requestFinished:");
  EXPECT_EQ(r->didReceiveDataSelector().name(), "request:didReceiveData:");
  EXPECT_EQ(r->requestCookies()->count(), 0u);
  EXPECT_EQ(r->numberOfTimesToRetryOnTimeout(), 0);
  EXPECT_TRUE(r->isConcurrent());
  EXPECT_EQ(HttpRequest::sharedQueue()->maxConcurrentOperationCount(), 4);

  HttpRequest::setDefaultTimeOutSeconds(3.5);
  Ref<HttpRequest> later = HttpRequest::requestWithURL(U("http://127.0.0.1/"));
  HttpRequest::setDefaultTimeOutSeconds(10.0);
  EXPECT_EQ(later->timeOutSeconds(), 3.5);
  EXPECT_EQ(r->timeOutSeconds(), 10.0);

  Ref<HttpRequest> copy = later->copyRequest();
  EXPECT_EQ(copy->timeOutSeconds(), 3.5);
  EXPECT_TRUE(copy->url()->isEqual(later->url()));
  EXPECT_NE(copy.get(), later.get());
  // A body already built is sent by the copy as it stands.
  later->appendPostData(kit::Data::dataWithString("abc").get());
  later->buildPostBody();
  copy = later->copyRequest();
  EXPECT_TRUE(copy->haveBuiltPostBody());
  EXPECT_EQ(copy->postLength(), 3u);

  // A copy and a HEAD request are of the request's own class.
  Ref<HttpRequest> page = HttpWebPageRequest::requestWithURL(U("http://127.0.0.1/"));
  EXPECT_EQ(page->copyRequest()->className(), "HttpWebPageRequest");
  EXPECT_EQ(page->HEADRequest()->className(), "HttpWebPageRequest");
}

TEST_F(HttpRequestTest, BlocksRunBesideTheDelegateAndASecondSetterWins) {
  TestHTTPServer server;
  server.route("GET", "/b", TestResponse::ok("b"));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/b")));
  int first = 0, second = 0, started = 0, headers = 0;
  r->setCompletionBlock([&] { ++first; });
  r->setCompletionBlock([&] { ++second; });
  r->setStartedBlock([&] { ++started; });
  r->setHeadersReceivedBlock([&](kit::Dictionary* h) { headers += h && h->objectForKey("Content-Length"); });
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(started, 1);
  EXPECT_EQ(headers, 1);
}

TEST_F(HttpRequestTest, RequestWithoutUrlFailsWithCode5) {
  Ref<HttpRequest> r = HttpRequest::requestWithURL(nullptr);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d, 5));
  ASSERT_EQ(d.failed, 1);
  EXPECT_EQ(r->error()->domain(), kHttpRequestErrorDomain);
  EXPECT_EQ(r->error()->code(), kUnableToCreateRequestErrorType);
  EXPECT_EQ(r->error()->localizedDescription(), "Unable to create request (bad url?)");
  EXPECT_EQ((std::vector<std::string>{"failed"}), d.calls);
}

TEST_F(HttpRequestTest, ServerThatSendsNothingTimesOut) {
  TestHTTPServer server;
  server.route("GET", "/stall", TestResponse::ok("late").stallBeforeHead(TestResponse::untilStop));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/stall")));
  r->setTimeOutSeconds(0.5);
  RecordingDelegate d;
  const auto began = std::chrono::steady_clock::now();
  ASSERT_TRUE(runAsync(r, d, 10));
  ASSERT_EQ(d.failed, 1);
  EXPECT_EQ(r->error()->code(), kRequestTimedOutErrorType);
  EXPECT_EQ(r->error()->localizedDescription(), "The request timed out");
  EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
  server.stop();
}

TEST_F(HttpRequestTest, StalledResumableDownloadIsRestartedWithRangeBeforeItFails) {
  TestHTTPServer server;
  const std::string body(100000, 'r');
  server.route("GET", "/slow", [&](const RecordedRequest&) {
    return TestResponse::ok(body).stallAfterBody(40000, TestResponse::untilStop);
  });
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/slow")));
  r->setTimeOutSeconds(0.4);
  r->setNumberOfTimesToRetryOnTimeout(2);
  r->setDownloadDestinationPath(tmp("slow"));
  r->setTemporaryFileDownloadPath(tmp("slow.part"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d, 15));
  ASSERT_EQ(d.failed, 1);
  EXPECT_EQ(r->error()->code(), kRequestTimedOutErrorType);
  auto seen = server.requestsFor("/slow");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_FALSE(seen[0].headers.has("Range"));
  EXPECT_TRUE(seen[1].headers.value("Range").rfind("bytes=", 0) == 0);
  EXPECT_TRUE(kit::FileManager::fileExists(tmp("slow.part")));
  server.stop();
}

TEST_F(HttpRequestTest, Status401FailsWithAuthenticationNeeded) {
  TestHTTPServer server;
  server.route("GET", "/private",
               TestResponse::withStatus(401, "no").header("WWW-Authenticate", "Basic realm=\"x\""));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/private")));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.failed, 1);
  EXPECT_EQ(r->error()->code(), kAuthenticationErrorType);
  EXPECT_EQ(r->error()->localizedDescription(), "Authentication needed");
}

TEST_F(HttpRequestTest, CancelFailsARunningRequestOnceAndNothingFollows) {
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(400000);
  server.route("GET", "/slow", TestResponse::generated(body).stallAfterBody(100000, TestResponse::untilStop));
  for (bool resume : {true, false}) {
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/slow")));
    r->setDownloadDestinationPath(tmp("c"));
    r->setTemporaryFileDownloadPath(tmp("c.part"));
    r->setAllowResumeForFileDownloads(resume);
    int failedBlocks = 0;
    r->setFailedBlock([&] { ++failedBlocks; });
    RecordingDelegate d;
    r->setDelegate(&d);
    r->startAsynchronous();
    ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return r->totalBytesRead() >= 100000; }, 10));
    r->cancel();
    ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return d.done() && r->isFinished(); }, 10));
    settle();
    EXPECT_EQ((std::vector<std::string>{"started", "headers", "failed"}), d.calls);
    EXPECT_EQ(failedBlocks, 1);
    EXPECT_EQ(r->error()->code(), kRequestCancelledErrorType);
    EXPECT_EQ(r->error()->localizedDescription(), "The request was cancelled");
    EXPECT_TRUE(r->isCancelled());
    EXPECT_EQ(kit::FileManager::fileExists(tmp("c.part")), resume);
    // Cancelling again, or a finished request, changes nothing.
    r->cancel();
    settle(0.1);
    EXPECT_EQ(d.calls.size(), 3u);
  }
  server.stop();
}

TEST_F(HttpRequestTest, ClearDelegatesAndCancelSilencesEverything) {
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(400000);
  server.route("GET", "/slow", TestResponse::generated(body).stallAfterBody(50000, TestResponse::untilStop));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/slow")));
  int blocks = 0;
  r->setFailedBlock([&] { ++blocks; });
  r->setCompletionBlock([&] { ++blocks; });
  RecordingDelegate d;
  r->setDelegate(&d);
  r->startAsynchronous();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return d.count("headers") == 1; }, 10));
  r->clearDelegatesAndCancel();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return r->isFinished(); }, 10));
  settle();
  EXPECT_EQ((std::vector<std::string>{"started", "headers"}), d.calls);
  EXPECT_EQ(blocks, 0);
  EXPECT_EQ(r->error()->code(), kRequestCancelledErrorType);
  server.stop();
}

TEST_F(HttpRequestTest, ReportsAlreadyQueuedAreDroppedWhenTheDelegateIsCleared) {
  TestHTTPServer server;
  server.route("GET", "/q", TestResponse::ok("q"));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/q")));
  RecordingDelegate d;
  r->setDelegate(&d);
  r->startAsynchronous();
  // Wait without running the main loop: every report is queued for it meanwhile.
  ASSERT_TRUE(server.waitForRequests(1));
  for (int i = 0; i < 500 && !r->isFinished(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(r->isFinished());
  r->setDelegate(nullptr);
  settle();
  EXPECT_TRUE(d.calls.empty());
}

TEST_F(HttpRequestTest, NetworkActivityIndicatorShowsWhileStreamsRunAndHidesAfterADelay) {
  TestHTTPServer server;
  server.route("GET", "/i", TestResponse::ok("i"));
  std::vector<bool> changes;
  HttpRequest::setNetworkActivityIndicatorHandler([&](bool visible) {
    EXPECT_TRUE(kit::RunLoop::isMainThread());
    changes.push_back(visible);
  });
  settle(0.6);  // earlier tests' indicator settles first
  changes.clear();
  for (int i = 0; i < 2; ++i) {
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/i")));
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(r, d));
  }
  // Back-to-back requests keep it on; the application's indicator follows.
  EXPECT_EQ(changes, std::vector<bool>{true});
  EXPECT_TRUE(HttpRequest::isNetworkActivityIndicatorVisible());
  EXPECT_TRUE(kit::Application::sharedApplication()->isNetworkActivityIndicatorVisible());
  ASSERT_TRUE(kit::RunLoop::main().runUntil([] { return !HttpRequest::isNetworkActivityIndicatorVisible(); }, 3));
  EXPECT_EQ(changes, (std::vector<bool>{true, false}));
  EXPECT_FALSE(kit::Application::sharedApplication()->isNetworkActivityIndicatorVisible());
  EXPECT_FALSE(HttpRequest::isNetworkInUse());
  HttpRequest::setNetworkActivityIndicatorHandler(nullptr);
  settle(0.05);
}

TEST_F(HttpRequestTest, DateAndContentTypeParsing) {
  Ref<kit::Date> a = HttpRequest::dateFromRFC1123String("Sun, 06 Nov 1994 08:49:37 GMT");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->timeIntervalSince1970(), 784111777.0);
  Ref<kit::Date> b = HttpRequest::dateFromRFC1123String("06 Nov 1994 08:49 GMT");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->timeIntervalSince1970(), 784111740.0);
  EXPECT_FALSE(HttpRequest::dateFromRFC1123String("yesterday"));
  // The zone names older peers send.
  Ref<kit::Date> c = HttpRequest::dateFromRFC1123String("Sun, 06 Nov 1994 03:49:37 EST");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->timeIntervalSince1970(), 784111777.0);
  Ref<kit::Date> d = HttpRequest::dateFromRFC1123String("Sun, 06 Nov 1994 01:49:37 PDT");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->timeIntervalSince1970(), 784111777.0);
  Ref<kit::Date> e = HttpRequest::dateFromRFC1123String("Sun, 06 Nov 1994 00:49:37 PST");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->timeIntervalSince1970(), 784111777.0);
  Ref<kit::Date> f = HttpRequest::dateFromRFC1123String("Sun, 06 Nov 1994 10:19:37 +0130");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->timeIntervalSince1970(), 784111777.0);
  // A malformed zone or field reads as no date, never as an exception.
  for (const char* bad : {"Sun, 06 Nov 1994 08:49:37 +12ab", "Sun, 06 Nov 1994 08:49:37 +1-00",
                          "Sun, 06 Nov 1994 08:49:37 +2400", "Sun, 06 Nov 1994 -8:49:37 GMT"}) {
    EXPECT_FALSE(HttpRequest::dateFromRFC1123String(bad)) << bad;
  }
  std::string mime = "unset";
  unsigned encoding = 99;
  HttpRequest::parseMimeType(&mime, &encoding, "");
  EXPECT_EQ(mime, "unset");
  HttpRequest::parseMimeType(&mime, &encoding, " text/html ; charset=UTF-8");
  EXPECT_EQ(mime, "text/html");
  EXPECT_EQ(encoding, HttpRequest::kUTF8StringEncoding);
  HttpRequest::parseMimeType(&mime, &encoding, "image/png");
  EXPECT_EQ(mime, "image/png");
  EXPECT_EQ(HttpRequest::mimeTypeForFileAtPath(tmp("none.png")), "");
  ASSERT_TRUE(kit::FileManager::writeFile(tmp("x.png"), "x"));
  EXPECT_EQ(HttpRequest::mimeTypeForFileAtPath(tmp("x.png")), "image/png");
}

TEST_F(HttpRequestTest, ATimeOutRetryClosesTheStalledStreamAndTheNewResponseDecidesAppendOrRestart) {
  const std::string body(100000, 'r');
  for (bool honourRange : {true, false}) {
    TestHTTPServer server;
    std::atomic<int> calls{0};
    server.route("GET", "/slow", [&](const RecordedRequest& req) {
      if (calls++ == 0) return TestResponse::ok(body).stallAfterBody(40000, TestResponse::untilStop);
      const std::string range = req.headers.value("Range");
      if (!honourRange || range.rfind("bytes=", 0) != 0) return TestResponse::ok(body);
      const size_t from = std::stoul(range.substr(6));
      return TestResponse::withStatus(206, body.substr(from))
          .header("Content-Range", "bytes " + std::to_string(from) + "-99999/100000");
    });
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/slow")));
    r->setTimeOutSeconds(0.4);
    r->setNumberOfTimesToRetryOnTimeout(1);
    r->setDownloadDestinationPath(tmp("slow"));
    r->setTemporaryFileDownloadPath(tmp("slow.part"));
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(r, d, 15));
    ASSERT_EQ(d.finished, 1) << honourRange;
    EXPECT_EQ(read(tmp("slow")), body) << honourRange;
    auto seen = server.requestsFor("/slow");
    ASSERT_EQ(seen.size(), 2u);
    // A new connection, and the stalled one is no longer among the kept ones.
    EXPECT_NE(seen[0].connectionId, seen[1].connectionId);
    size_t kept = 0;
    for (const auto& record : HttpRequest::persistentConnections()) {
      auto* port = record->get<kit::Number>("port");
      kept += port && port->intValue() == server.port();
    }
    EXPECT_LE(kept, 1u);
    server.stop();
    kit::FileManager::removeItem(tmp("slow"));
  }
}
