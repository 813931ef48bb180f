// Progress reports, bandwidth accounting and throttling, and the throttled body stream.

#include <thread>

#include "http/HttpInputStream.h"
#include "http/HttpRequestTestSupport.h"
#include "http/Reachability.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/net/ReachabilityManualSource.h"
#include "support/PseudoRandomBody.h"
#include "support/TestCodec.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

namespace {

class ProgressRecorder : public HttpProgressDelegate {
 public:
  bool respondsToSelector(std::string_view) const override { return true; }
  void requestDidReceiveBytes(HttpRequest*, int64_t bytes) override {
    received += bytes;
    ++receivedCalls;
  }
  void requestDidSendBytes(HttpRequest*, int64_t bytes) override { sent += bytes; }
  void requestIncrementDownloadSizeBy(HttpRequest*, int64_t n) override {
    downloadSize += n;
    ++downloadSizeCalls;
  }
  void requestIncrementUploadSizeBy(HttpRequest*, int64_t n) override { uploadSize += n; }
  void setProgress(float f) override { fractions.push_back(f); }

  int64_t received = 0, sent = 0, downloadSize = 0, uploadSize = 0;
  int receivedCalls = 0, downloadSizeCalls = 0;
  std::vector<float> fractions;
};

class ProgressTest : public HttpRequestTest {
 protected:
  void SetUp() override {
    HttpRequestTest::SetUp();
    HttpRequest::resetBandwidthForTesting();
  }
  void TearDown() override {
    HttpRequest::resetBandwidthForTesting();
    kit::ReachabilityFlagSource::setFactory(nullptr);
    kit::Clock::setReal();
    HttpRequestTest::TearDown();
  }
  static bool nonDecreasingUpToOne(const std::vector<float>& f) {
    for (size_t i = 0; i < f.size(); ++i) {
      if (f[i] < 0 || f[i] > 1.0f || (i && f[i] < f[i - 1])) return false;
    }
    return true;
  }
};

TEST_F(ProgressTest, DownloadAmountsSumToTheLengthAndEndAtOne) {
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(1000000, 3);
  server.route("GET", "/f", TestResponse::generated(body));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/f")));
  r->setDownloadDestinationPath(tmp("f"));
  ProgressRecorder p;
  r->setDownloadProgressDelegate(&p);
  int64_t blockSum = 0;
  uint64_t blockTotal = 0;
  r->setBytesReceivedBlock([&](uint64_t n, uint64_t total) {
    blockSum += static_cast<int64_t>(n);
    blockTotal = total;
  });
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1);
  EXPECT_EQ(p.downloadSize, 1000000);
  EXPECT_EQ(p.received, 1000000);
  EXPECT_EQ(blockSum, 1000000);
  EXPECT_EQ(blockTotal, 1000000u);
  ASSERT_FALSE(p.fractions.empty());
  EXPECT_FLOAT_EQ(p.fractions.back(), 1.0f);
  EXPECT_TRUE(nonDecreasingUpToOne(p.fractions));

  // The bar starts at 0 of 1, whatever an earlier run of its delegate showed.
  EXPECT_EQ(p.fractions.front(), 0.0f);
}

TEST_F(ProgressTest, ResumedDownloadCountsThePartialFile) {
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(1000000, 5);
  server.rangeRoute("/f", body);
  ASSERT_TRUE(kit::FileManager::writeFile(tmp("f.part"), body->bytes(0, 400000)));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/f")));
  r->setDownloadDestinationPath(tmp("f"));
  r->setTemporaryFileDownloadPath(tmp("f.part"));
  ProgressRecorder p;
  r->setDownloadProgressDelegate(&p);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1);
  EXPECT_EQ(p.downloadSize, 1000000);
  // The bytes on disk are reported with the first amount: what arrives adds the rest.
  EXPECT_EQ(p.received, 1000000);
  ASSERT_FALSE(p.fractions.empty());
  EXPECT_GE(p.fractions.front(), 0.4f);
  EXPECT_FLOAT_EQ(p.fractions.back(), 1.0f);
}

TEST_F(ProgressTest, NoLengthGrowsByOneAndReportsOneStepAtTheEnd) {
  TestHTTPServer server;
  server.route("GET", "/c", TestResponse::ok(std::string(50000, 'x')).chunked({1000}));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/c")));
  ProgressRecorder p;
  r->setDownloadProgressDelegate(&p);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  settle(0.1);
  EXPECT_EQ(p.downloadSize, 1);
  EXPECT_EQ(p.received, 1);
  EXPECT_EQ(p.receivedCalls, 1);
  // 0 of 1 at the start, then the one step.
  EXPECT_EQ(p.fractions, (std::vector<float>{0.0f, 1.0f}));
}

TEST_F(ProgressTest, ReportsFromAnotherThreadAreCoalescedAndSummed) {
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U("http://127.0.0.1:9/"));
  ProgressRecorder p;
  r->setDownloadProgressDelegate(&p);
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i) r->incrementDownloadSizeBy(7);
    r->incrementDownloadSizeBy(-3);
  });
  worker.join();
  settle(0.05);
  EXPECT_EQ(p.downloadSize, 32);
  EXPECT_EQ(p.downloadSizeCalls, 1);

  // A delegate cleared before the delivery runs hears nothing.
  std::thread again([&] { r->incrementDownloadSizeBy(1); });
  again.join();
  r->setDownloadProgressDelegate(nullptr);
  settle(0.05);
  EXPECT_EQ(p.downloadSize, 32);
}

TEST_F(ProgressTest, FractionIsZeroForNoTotalAndNeverAboveOne) {
  EXPECT_EQ(HttpRequest::progressFraction(0, 0), 0.0f);
  EXPECT_EQ(HttpRequest::progressFraction(10, 0), 0.0f);
  EXPECT_EQ(HttpRequest::progressFraction(10, -5), 0.0f);
  EXPECT_FLOAT_EQ(HttpRequest::progressFraction(1, 4), 0.25f);
  EXPECT_FLOAT_EQ(HttpRequest::progressFraction(9, 4), 1.0f);
  ProgressRecorder p;
  HttpRequest::updateProgressIndicator(&p, 3, 0);
  HttpRequest::updateProgressIndicator(&p, 1, 2);
  EXPECT_EQ(p.fractions, (std::vector<float>{0.0f, 0.5f}));
}

TEST_F(ProgressTest, UploadProgressThroughTheThrottledBodyStream) {
  TestHTTPServer server;
  server.route("POST", "/up", TestResponse::ok("ok"));
  // A limit far above the body's size: the body passes through the throttle's accounting only.
  HttpRequest::setMaxBandwidthPerSecond(1u << 30);
  const std::string body(300000, 'b');
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/up")));
  r->setRequestMethod("POST");
  r->appendPostData(kit::Data::dataWithString(body));
  ProgressRecorder p;
  r->setUploadProgressDelegate(&p);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1);
  EXPECT_EQ(server.lastRequest()->bodySize, body.size());
  EXPECT_GT(p.uploadSize, 0);
  EXPECT_EQ(p.sent, p.uploadSize);
  ASSERT_FALSE(p.fractions.empty());
  EXPECT_EQ(p.fractions.front(), 0.0f);
  EXPECT_FLOAT_EQ(p.fractions.back(), 1.0f);
  EXPECT_TRUE(nonDecreasingUpToOne(p.fractions));
  // Every byte of the body was counted against the budget.
  HttpRequest::recordBandwidthUsage();
  EXPECT_GE(HttpRequest::averageBandwidthUsedPerSecond(), 1u);
}

TEST_F(ProgressTest, BandwidthHistoryAverageAndWakeUp) {
  kit::Clock::setVirtual(1000.0);
  HttpRequest::setMaxBandwidthPerSecond(1000);
  EXPECT_TRUE(HttpRequest::isBandwidthThrottled());
  EXPECT_EQ(HttpRequest::maxBandwidthPerSecond(), 1000u);

  HttpRequest::measureBandwidthUsage();  // the first period starts
  EXPECT_FALSE(HttpRequest::isThrottleWakeUpPending());
  HttpRequest::incrementBandwidthUsedInLastSecond(1500);
  HttpRequest::measureBandwidthUsage();
  // 500 bytes over a limit of 1000 cost half a second after the period's end.
  EXPECT_TRUE(HttpRequest::isThrottleWakeUpPending());
  kit::Clock::advance(1.49);
  EXPECT_TRUE(HttpRequest::isThrottleWakeUpPending());
  kit::Clock::advance(0.02);
  EXPECT_FALSE(HttpRequest::isThrottleWakeUpPending());

  // A period that ended before this measurement is dropped from the history.
  HttpRequest::recordBandwidthUsage();
  EXPECT_EQ(HttpRequest::averageBandwidthUsedPerSecond(), 1500u);
  for (unsigned long use : {100ul, 200ul, 300ul, 400ul, 500ul, 600ul, 700ul}) {
    HttpRequest::incrementBandwidthUsedInLastSecond(use);
    kit::Clock::advance(1.0);
    HttpRequest::recordBandwidthUsage();
  }
  // Six periods are kept at most.
  EXPECT_EQ(HttpRequest::averageBandwidthUsedPerSecond(), (200 + 300 + 400 + 500 + 600 + 700) / 6u);
  // A quiet period empties the history; a late measurement drops the periods it skipped.
  kit::Clock::advance(1.0);
  HttpRequest::recordBandwidthUsage();
  EXPECT_EQ(HttpRequest::averageBandwidthUsedPerSecond(), 0u);
  HttpRequest::incrementBandwidthUsedInLastSecond(900);
  kit::Clock::advance(1.0);
  HttpRequest::recordBandwidthUsage();
  EXPECT_EQ(HttpRequest::averageBandwidthUsedPerSecond(), 450u);
  HttpRequest::incrementBandwidthUsedInLastSecond(30);
  kit::Clock::advance(5.0);
  HttpRequest::recordBandwidthUsage();
  EXPECT_EQ(HttpRequest::averageBandwidthUsedPerSecond(), 30u);
}

TEST_F(ProgressTest, UploadAndReadAllowances) {
  kit::Clock::setVirtual(50.0);
  EXPECT_EQ(HttpRequest::throttledReadBufferSize(16384), 16384u);  // no limit
  HttpRequest::setMaxBandwidthPerSecond(1000);
  HttpRequest::measureBandwidthUsage();
  EXPECT_EQ(HttpRequest::maxUploadReadLength(), 250u);
  EXPECT_EQ(HttpRequest::throttledReadBufferSize(16384), 250u);
  EXPECT_EQ(HttpRequest::throttledReadBufferSize(100), 100u);
  HttpRequest::incrementBandwidthUsedInLastSecond(900);
  EXPECT_EQ(HttpRequest::maxUploadReadLength(), 100u);
  EXPECT_EQ(HttpRequest::throttledReadBufferSize(16384), 25u);
  HttpRequest::incrementBandwidthUsedInLastSecond(100);
  EXPECT_EQ(HttpRequest::throttledReadBufferSize(16384), 1u);
  // Nothing left: the streams wait for the next period.
  EXPECT_EQ(HttpRequest::maxUploadReadLength(), 0u);
  EXPECT_TRUE(HttpRequest::isThrottleWakeUpPending());
  kit::Clock::advance(1.0);
  EXPECT_FALSE(HttpRequest::isThrottleWakeUpPending());
}

TEST_F(ProgressTest, OnAMeteredLinkADownloadStaysWithinTheLimitPerSecond) {
  Ref<kit::ReachabilityManualSource> source;
  kit::ReachabilityFlagSource::setFactory([&](const kit::ReachabilityFlagSource::Target& t) {
    source = Ref<kit::ReachabilityManualSource>(
        new kit::ReachabilityManualSource(t, kit::kReachabilityFlagReachable | kit::kReachabilityFlagIsWWAN));
    return Ref<kit::ReachabilityFlagSource>(source);
  });
  HttpRequest::setShouldThrottleBandwidthForWWAN(true);
  ASSERT_TRUE(HttpRequest::isBandwidthThrottled());
  EXPECT_EQ(HttpRequest::maxBandwidthPerSecond(), 14800u);

  // A real download through the engine's own reading: by any moment no more has arrived than
  // the limit allows for the seconds begun so far.
  constexpr uint64_t kLimit = 100000;
  HttpRequest::throttleBandwidthForWWANUsingLimit(kLimit);
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(250000, 9);
  server.route("GET", "/metered", TestResponse::generated(body));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/metered")));
  RecordingDelegate d;
  d.takesData = true;
  const double start = kit::Clock::monotonic();
  // The throttle's first period begins now, so by `elapsed` at most floor(elapsed) + 1 began.
  HttpRequest::recordBandwidthUsage();
  bool withinLimit = true;
  size_t seen = 0;
  r->setDataReceivedBlock([&](kit::Data* data) {
    seen += data->length();
    const double elapsed = kit::Clock::monotonic() - start;
    // Each period may end one byte over (the next one then sleeps it off).
    if (seen > (kLimit + 1) * static_cast<uint64_t>(elapsed + 1.0)) withinLimit = false;
  });
  ASSERT_TRUE(runAsync(r, d, 30));
  ASSERT_EQ(d.finished, 1);
  const double took = kit::Clock::monotonic() - start;
  EXPECT_TRUE(d.received == body->bytes(0, 250000));
  EXPECT_TRUE(withinLimit);
  // Unthrottled the loopback takes milliseconds; 250 kB at 100 kB a second needs two seconds.
  EXPECT_GE(took, 1.5);

  // A large body kept in memory (read straight into its pages otherwise) is held back as well.
  HttpRequest::throttleBandwidthForWWANUsingLimit(1000000);
  auto large = std::make_shared<PseudoRandomBody>(2500000, 10);
  server.route("GET", "/large", TestResponse::generated(large));
  Ref<HttpRequest> kept = HttpRequest::requestWithURL(U(server.url("/large")));
  RecordingDelegate k;
  const double keptStart = kit::Clock::monotonic();
  HttpRequest::recordBandwidthUsage();
  ASSERT_TRUE(runAsync(kept, k, 30));
  ASSERT_EQ(k.finished, 1);
  EXPECT_GE(kit::Clock::monotonic() - keptStart, 1.5);
  EXPECT_EQ(TestCodec::sha256Hex(kept->responseData()->view()), large->sha256Hex());

  // Off the metered link the throttle lets go; switching the rule off forgets the limit.
  source->setFlags(kit::kReachabilityFlagReachable);
  kit::NotificationCenter::defaultCenter().postNotification(kReachabilityChangedNotification);
  EXPECT_FALSE(HttpRequest::isBandwidthThrottled());
  source->setFlags(kit::kReachabilityFlagReachable | kit::kReachabilityFlagIsWWAN);
  kit::NotificationCenter::defaultCenter().postNotification(kReachabilityChangedNotification);
  EXPECT_TRUE(HttpRequest::isBandwidthThrottled());
  HttpRequest::setShouldThrottleBandwidthForWWAN(false);
  EXPECT_FALSE(HttpRequest::isBandwidthThrottled());
  EXPECT_EQ(HttpRequest::maxBandwidthPerSecond(), 0u);
  kit::NotificationCenter::defaultCenter().postNotification(kReachabilityChangedNotification);
  EXPECT_FALSE(HttpRequest::isBandwidthThrottled());
}

TEST_F(ProgressTest, ThrottledBodyStreamReadsAndCounts) {
  kit::Clock::setVirtual(10.0);
  const std::string text(40000, 'q');
  Ref<HttpInputStream> s = HttpInputStream::inputStreamWithData(kit::Data::dataWithString(text), nullptr);
  EXPECT_EQ(s->streamStatus(), kit::InputStream::Status::NotOpen);
  ASSERT_TRUE(s->open());
  EXPECT_EQ(s->streamStatus(), s->stream()->streamStatus());
  std::vector<uint8_t> buffer(40000);
  EXPECT_EQ(s->read(buffer.data(), 32768), 32768);
  HttpRequest::recordBandwidthUsage();
  EXPECT_EQ(HttpRequest::averageBandwidthUsedPerSecond(), 32768u);

  // Throttled with nothing left of the allowance: one byte per read.
  HttpRequest::setMaxBandwidthPerSecond(8);
  HttpRequest::incrementBandwidthUsedInLastSecond(8);
  EXPECT_EQ(s->read(buffer.data(), 4096), 1);
  EXPECT_EQ(s->read(buffer.data(), 4096), 1);
  // A fresh period allows a quarter of the limit.
  kit::Clock::advance(3.0);
  HttpRequest::measureBandwidthUsage();
  EXPECT_EQ(s->read(buffer.data(), 4096), 2);

  Ref<HttpInputStream> missing = HttpInputStream::inputStreamWithFileAtPath(tmp("nothing-here"), nullptr);
  EXPECT_FALSE(missing->open());
  ASSERT_TRUE(missing->streamError());
  EXPECT_EQ(missing->streamError(), missing->stream()->streamError());
  EXPECT_EQ(missing->streamStatus(), missing->stream()->streamStatus());
}

}  // namespace

namespace {

TEST_F(ProgressTest, TheFirstBytesTakenByTheSendBufferAreNotCountedAsSent) {
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U("http://127.0.0.1:9/"));
  ProgressRecorder p;
  r->setUploadProgressDelegate(&p);
  r->setPostLength(1000);
  r->setTotalBytesSent(100);
  r->updateUploadProgress();
  settle(0.01);
  // The platform took 100 bytes into its buffer: the upload shrinks by them, nothing is sent yet.
  EXPECT_EQ(r->uploadBufferSize(), 100u);
  EXPECT_EQ(p.uploadSize, -100);
  EXPECT_EQ(p.sent, 0);
  EXPECT_TRUE(p.fractions.empty());

  r->setLastBytesSent(100);
  r->setTotalBytesSent(550);
  r->updateUploadProgress();
  settle(0.01);
  EXPECT_EQ(p.sent, 450);
  ASSERT_EQ(p.fractions.size(), 1u);
  EXPECT_FLOAT_EQ(p.fractions.back(), 0.5f);  // (550 - 100) of (1000 - 100)

  // Sent again from the start: what was reported is taken back.
  r->removeUploadProgressSoFar();
  settle(0.01);
  EXPECT_EQ(p.sent, 450 - 550);
  EXPECT_EQ(p.fractions.back(), 0.0f);
}

TEST_F(ProgressTest, TheBodyStreamPassesSchedulingAndItsClientThrough) {
  Ref<HttpInputStream> s = HttpInputStream::inputStreamWithData(kit::Data::dataWithString("abc"), nullptr);
  int events = 0;
  ASSERT_TRUE(s->setClient(kit::InputStream::kEventHasBytesAvailable | kit::InputStream::kEventEndEncountered,
                           [&](kit::InputStream&, kit::InputStream::Event) { ++events; }));
  ASSERT_TRUE(s->open());
  s->scheduleInRunLoop(kit::RunLoop::main(), kit::RunLoop::kDefaultMode);
  EXPECT_TRUE(kit::RunLoop::main().runUntil([&] { return events > 0; }, 5));
  s->unscheduleFromRunLoop(kit::RunLoop::main(), kit::RunLoop::kDefaultMode);
  const int seen = events;
  settle(0.05);
  EXPECT_EQ(events, seen);
  EXPECT_TRUE(s->hasBytesAvailable());
}

}  // namespace

namespace {

TEST_F(ProgressTest, AThrottledStreamIsAttachedAgainWhenTheLimitIsLifted) {
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(300000, 6);
  server.route("GET", "/slow", TestResponse::generated(body));
  HttpRequest::setMaxBandwidthPerSecond(20000);
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/slow")));
  r->setDownloadDestinationPath(tmp("slow"));
  RecordingDelegate d;
  r->setDelegate(&d);
  r->startAsynchronous();
  EXPECT_TRUE(kit::RunLoop::main().runUntil([] { return HttpRequest::isNetworkInUse(); }, 10));
  // A second's allowance is soon used up: the stream is detached until the wake-up time.
  ASSERT_TRUE(kit::RunLoop::main().runUntil([] { return HttpRequest::isThrottleWakeUpPending(); }, 10));
  EXPECT_FALSE(d.done());
  EXPECT_LT(r->totalBytesRead(), 300000u);
  HttpRequest::setMaxBandwidthPerSecond(0);
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return d.done() && r->isFinished(); }, 15));
  EXPECT_EQ(d.finished, 1);
  EXPECT_EQ(kit::FileManager::fileSize(tmp("slow")).value_or(0), 300000u);
  settle(0.1);
  EXPECT_FALSE(HttpRequest::isNetworkInUse());
}

}  // namespace
