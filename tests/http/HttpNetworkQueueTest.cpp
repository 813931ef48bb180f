// The network queue: its callbacks and counts, cancelling the rest on a failure, accurate
// progress with HEAD requests measured first, and the byte counters.

#include "http/HttpNetworkQueue.h"
#include "http/HttpRequestTestSupport.h"
#include "kit/foundation/BlockOperation.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/String.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

namespace {

class Recorder : public HttpRequestDelegate {
 public:
  bool respondsToSelector(std::string_view) const override { return true; }
  std::vector<std::string> calls;
  int queueFinished = 0;
};

class HttpNetworkQueueTest : public HttpRequestTest {
 protected:
  Ref<HttpNetworkQueue> makeQueue(Recorder& r) {
    Ref<HttpNetworkQueue> q = HttpNetworkQueue::queue();
    wire(q, r);
    return q;
  }
  static void wire(HttpNetworkQueue* q, Recorder& r) {
    q->setDelegate(&r);
    q->setRequestDidStartSelector([&r](HttpRequest* x) { r.calls.push_back("start " + x->url()->path()); });
    q->setRequestDidReceiveResponseHeadersSelector(
        [&r](HttpRequest* x, kit::Dictionary*) { r.calls.push_back("headers " + x->url()->path()); });
    q->setRequestDidFinishSelector([&r](HttpRequest* x) { r.calls.push_back("finish " + x->url()->path()); });
    q->setRequestDidFailSelector([&r](HttpRequest* x) { r.calls.push_back("fail " + x->url()->path()); });
    q->setQueueDidFinishSelector([&r](HttpNetworkQueue*) { ++r.queueFinished; });
  }
  static size_t count(const Recorder& r, const std::string& prefix) {
    size_t n = 0;
    for (const auto& c : r.calls) n += c.rfind(prefix, 0) == 0;
    return n;
  }
};

TEST_F(HttpNetworkQueueTest, EveryRequestReportsAndTheQueueFinishesOnce) {
  TestHTTPServer server;
  server.routePrefix("GET", "/r", TestResponse::ok("x"));
  Recorder rec;
  Ref<HttpNetworkQueue> q = makeQueue(rec);
  EXPECT_TRUE(q->isSuspended());
  EXPECT_EQ(q->maxConcurrentOperationCount(), 4);
  for (const char* p : {"/r1", "/r2", "/r3"}) q->addOperation(HttpRequest::requestWithURL(U(server.url(p))));
  EXPECT_EQ(q->requestsCount(), 3);
  // Accurate progress off: each request counts as one unit.
  EXPECT_EQ(q->totalBytesToDownload(), 3u);
  EXPECT_EQ(q->totalBytesToUpload(), 3u);
  settle(0.1);
  EXPECT_EQ(server.requestCount(), 0u);
  q->go();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return rec.queueFinished > 0; }, 20));
  settle(0.1);
  EXPECT_EQ(rec.queueFinished, 1);
  EXPECT_EQ(q->requestsCount(), 0);
  EXPECT_EQ(count(rec, "start"), 3u);
  EXPECT_EQ(count(rec, "headers"), 3u);
  EXPECT_EQ(count(rec, "finish"), 3u);

  EXPECT_THROW(q->addOperation(kit::make<kit::BlockOperation>([] {})), kit::Exception);
  q->cancelAllOperations();
  EXPECT_EQ(q->totalBytesToDownload(), 0u);
  EXPECT_EQ(q->totalBytesToUpload(), 0u);
  EXPECT_EQ(q->bytesDownloadedSoFar(), 0u);
}

TEST_F(HttpNetworkQueueTest, AFailureCancelsTheRestUnlessToldNotTo) {
  TestHTTPServer server;
  server.route("GET", "/slow", TestResponse::ok("late").stallBeforeHead(TestResponse::untilStop));
  int dead;
  {
    TestHTTPServer gone;
    dead = gone.port();
  }
  for (bool cancelRest : {true, false}) {
    Recorder rec;
    Ref<HttpNetworkQueue> q = makeQueue(rec);
    q->setShouldCancelAllRequestsOnFailure(cancelRest);
    Ref<HttpRequest> a = HttpRequest::requestWithURL(U(server.url("/slow")));
    Ref<HttpRequest> b = HttpRequest::requestWithURL(U(server.url("/slow")));
    a->setTimeOutSeconds(cancelRest ? 30 : 0.5);
    b->setTimeOutSeconds(cancelRest ? 30 : 0.5);
    q->addOperation(HttpRequest::requestWithURL(U("http://127.0.0.1:" + std::to_string(dead) + "/down")));
    q->addOperation(a);
    q->addOperation(b);
    q->go();
    ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return rec.queueFinished > 0; }, 20)) << cancelRest;
    settle(0.1);
    EXPECT_EQ(count(rec, "fail"), 3u);
    EXPECT_EQ(rec.queueFinished, 1);
    EXPECT_EQ(a->error()->code(), cancelRest ? kRequestCancelledErrorType : kRequestTimedOutErrorType);
  }
  server.stop();
}

TEST_F(HttpNetworkQueueTest, AccurateProgressMeasuresWithHEADFirstAndItsReportsStayOutOfTheCounts) {
  TestHTTPServer server;
  server.route("GET", "/big", TestResponse::ok(std::string(1000, 'b')));
  server.route("GET", "/small", TestResponse::ok("s"));
  Recorder rec;
  Ref<HttpNetworkQueue> q = makeQueue(rec);
  q->setShowAccurateProgress(true);
  q->addOperation(HttpRequest::requestWithURL(U(server.url("/big"))));
  q->addOperation(HttpRequest::requestWithURL(U(server.url("/small"))));
  EXPECT_EQ(q->requestsCount(), 2);
  EXPECT_EQ(q->operationCount(), 4u);
  q->go();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return rec.queueFinished > 0; }, 20));
  settle(0.1);
  EXPECT_EQ(rec.queueFinished, 1);
  EXPECT_EQ(count(rec, "finish"), 2u);
  EXPECT_EQ(count(rec, "start"), 2u);
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 4u);
  for (const char* path : {"/big", "/small"}) {
    auto forPath = server.requestsFor(path);
    ASSERT_EQ(forPath.size(), 2u);
    EXPECT_EQ(forPath[0].method, "HEAD");
    EXPECT_EQ(forPath[1].method, "GET");
  }

  // A copy keeps the settings and callbacks but none of the requests.
  Ref<HttpNetworkQueue> copy(kit::cast<HttpNetworkQueue>(q->copy()));
  EXPECT_TRUE(copy->showAccurateProgress());
  EXPECT_EQ(copy->delegate(), &rec);
  EXPECT_EQ(copy->requestsCount(), 0);
  q->reset();
  EXPECT_FALSE(q->delegate());
  EXPECT_TRUE(q->isSuspended());

  // Used again after the reset, every request is heard, wherever it was made (a request may
  // take the memory of a HEAD request that has ended).
  Recorder again;
  wire(q, again);
  q->setShowAccurateProgress(false);
  for (int i = 0; i < 8; ++i) q->addOperation(HttpRequest::requestWithURL(U(server.url("/small"))));
  q->go();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return again.queueFinished > 0; }, 20));
  settle(0.1);
  EXPECT_EQ(count(again, "finish"), 8u);
  EXPECT_EQ(again.queueFinished, 1);
}

}  // namespace

namespace {

class Bar : public HttpProgressDelegate {
 public:
  bool respondsToSelector(std::string_view s) const override { return s == kSetProgress; }
  void setProgress(float p) override { values.push_back(p); }
  std::vector<float> values;
};

TEST_F(HttpNetworkQueueTest, CombinedDownloadProgressOverAllRequests) {
  TestHTTPServer server;
  server.route("GET", "/one", TestResponse::ok(std::string(1000, '1')));
  server.route("GET", "/three", TestResponse::ok(std::string(3000, '3')));
  Recorder rec;
  Bar bar;
  Ref<HttpNetworkQueue> q = makeQueue(rec);
  q->setShowAccurateProgress(true);
  q->setDownloadProgressDelegate(&bar);
  q->addOperation(HttpRequest::requestWithURL(U(server.url("/one"))));
  q->addOperation(HttpRequest::requestWithURL(U(server.url("/three"))));
  q->go();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return rec.queueFinished > 0; }, 20));
  settle(0.2);
  EXPECT_EQ(q->bytesDownloadedSoFar(), 4000u);
  EXPECT_EQ(q->totalBytesToDownload(), 4000u);
  ASSERT_FALSE(bar.values.empty());
  EXPECT_FLOAT_EQ(bar.values.front(), 0.0f);
  EXPECT_FLOAT_EQ(bar.values.back(), 1.0f);
  for (float v : bar.values) EXPECT_LE(v, 1.0f);
}

}  // namespace
