// The request hook and the URL cache: blocked requests become cache-only
// and are answered with a placeholder that is never kept.

#include "AdblockTestSupport.h"
#include "data/MyURLCache.h"
#include "data/MyURLRequest.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/URL.h"
#include "kit/net/URLConnection.h"
#include "kit/net/URLResponse.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using Policy = kit::URLRequest::CachePolicy;

namespace {

class AdblockHookAndCacheTest : public adblocktest::AdblockTest {
 protected:
  void SetUp() override {
    AdblockTest::SetUp();
    MyURLRequest::setupAdblockFilter();
    useList({entry("*/ads/*"), entry("*://track.test/*")});
    cache_ = kit::make<MyURLCache>(1 << 20, 0, "adblock_cache");
  }

  static kit::Ref<kit::URLRequest> request(const std::string& url, Policy policy) {
    return kit::URLRequest::requestWithURL(kit::URL::URLWithString(url), policy, 30);
  }
  static std::string body(kit::CachedURLResponse* cached) {
    return cached ? std::string(cached->data()->view()) : std::string("(none)");
  }

  kit::Ref<MyURLCache> cache_;
};

TEST_F(AdblockHookAndCacheTest, ABlockedRequestIsCacheOnlyWhateverItsPolicy) {
  EXPECT_TRUE(MyURLRequest::isAdblockFilterInstalled());
  for (Policy p : {Policy::UseProtocolCachePolicy, Policy::ReloadIgnoringLocalCacheData, Policy::ReturnCacheDataElseLoad,
                   Policy::ReloadIgnoringLocalAndRemoteCacheData}) {
    auto blocked = request("http://site.test/ads/1.png", p);
    EXPECT_EQ(blocked->cachePolicy(), Policy::ReturnCacheDataDontLoad);
    EXPECT_EQ(blocked->timeoutInterval(), 30);
    EXPECT_EQ(blocked->url()->absoluteString(), "http://site.test/ads/1.png");
    EXPECT_EQ(request("http://site.test/news/1.png", p)->cachePolicy(), p);
  }
  EXPECT_EQ(hits(0), 4);
  // A copy is not a new request: no second check.
  request("http://site.test/ads/2.png", Policy::UseProtocolCachePolicy)->copy();
  EXPECT_EQ(hits(0), 5);
}

TEST_F(AdblockHookAndCacheTest, WithAdBlockingOffNothingChangesAndNothingCounts) {
  setAdblock(false);
  EXPECT_EQ(request("http://site.test/ads/1.png", Policy::UseProtocolCachePolicy)->cachePolicy(),
            Policy::UseProtocolCachePolicy);
  EXPECT_FALSE(cache_->cachedResponseForRequest(*request("http://site.test/ads/1.png", Policy::UseProtocolCachePolicy)));
  EXPECT_EQ(hits(0), -1);
  EXPECT_EQ(cache_->currentMemoryUsage(), 0u);
}

TEST_F(AdblockHookAndCacheTest, TheCacheAnswersABlockedURLWithOneSpaceAndKeepsNothing) {
  // A real response the cache held for the URL before.
  auto url = kit::URL::URLWithString("http://track.test/p.gif");
  auto real = kit::CachedURLResponse::cachedResponse(kit::URLResponse::responseWithURL(url, "image/gif", 3, std::nullopt),
                                                     kit::Data::dataWithBytes("GIF", 3));
  setAdblock(false);
  auto plain = request("http://track.test/p.gif", Policy::UseProtocolCachePolicy);
  cache_->storeCachedResponse(real, *plain);
  const uint64_t usage = cache_->currentMemoryUsage();
  setAdblock(true);

  kit::Ref<kit::CachedURLResponse> answer = cache_->cachedResponseForRequest(*plain);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->response()->MIMEType(), "text/plain");
  EXPECT_EQ(answer->response()->expectedContentLength(), 1);
  EXPECT_FALSE(answer->response()->textEncodingName().has_value());
  EXPECT_EQ(answer->response()->url()->absoluteString(), "http://track.test/p.gif");
  EXPECT_EQ(body(answer.get()), " ");
  EXPECT_EQ(cache_->currentMemoryUsage(), usage);

  // Switched off, the URL is answered as before: the placeholder was not kept.
  setAdblock(false);
  EXPECT_EQ(body(cache_->cachedResponseForRequest(*plain).get()), "GIF");
  cache_->removeAllCachedResponses();
  EXPECT_FALSE(cache_->cachedResponseForRequest(*plain));
}

TEST_F(AdblockHookAndCacheTest, ALoadOfABlockedURLNeverReachesTheServer) {
  tolvatest::TestHTTPServer server;
  server.route("GET", "/ads/banner.png", tolvatest::TestResponse::ok("BANNER"));
  server.route("GET", "/page", tolvatest::TestResponse::ok("PAGE"));
  kit::URLCache::setSharedURLCache(cache_);

  kit::Ref<kit::URLResponse> response;
  kit::Ref<kit::Error> error;
  auto blocked = request(server.url("/ads/banner.png"), Policy::UseProtocolCachePolicy);
  kit::Ref<kit::Data> data = kit::URLConnection::sendSynchronousRequest(*blocked, &response, &error);
  ASSERT_TRUE(data) << (error ? error->description() : "");
  EXPECT_EQ(std::string(data->view()), " ");
  EXPECT_EQ(response->MIMEType(), "text/plain");
  EXPECT_EQ(server.requests().size(), 0u);
  EXPECT_EQ(hits(0), 2);  // the hook and the cache each count

  setAdblock(false);
  auto again = request(server.url("/ads/banner.png"), Policy::UseProtocolCachePolicy);
  data = kit::URLConnection::sendSynchronousRequest(*again, &response, &error);
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(data->view()), "BANNER");
  EXPECT_EQ(server.requests().size(), 1u);
  kit::URLCache::setSharedURLCache(nullptr);
}

}  // namespace
