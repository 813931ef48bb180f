#pragma once
// Shared by the URL loading tests: a delegate that records what a connection tells it, and a
// fixture that gives every test its own URL cache and restores the process-wide state.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kit/foundation/RunLoop.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLCache.h"
#include "kit/net/URLConnection.h"
#include "kit/net/URLError.h"
#include "kit/net/URLRequest.h"

namespace urltest {

class Recorder : public kit::URLConnectionDelegate {
 public:
  std::vector<std::string> events;
  kit::Ref<kit::URLResponse> response;
  std::string body;
  kit::Ref<kit::Error> error;
  bool done = false;
  std::vector<std::string> redirectedTo;
  // Optional behaviour.
  std::function<kit::Ref<kit::URLRequest>(kit::Ref<kit::URLRequest>, kit::URLResponse*)> onWillSend;
  std::function<void(kit::URLConnection&, kit::URLAuthenticationChallenge&)> onChallenge;
  std::function<void(kit::URLConnection&)> onResponse;
  std::function<void(kit::URLConnection&)> onData;
  std::function<kit::Ref<kit::CachedURLResponse>(kit::Ref<kit::CachedURLResponse>)> onWillCache;

  kit::Ref<kit::URLRequest> willSendRequest(kit::URLConnection&, kit::Ref<kit::URLRequest> request,
                                            kit::URLResponse* redirect) override {
    events.push_back(redirect ? "redirect" : "send");
    if (redirect) redirectedTo.push_back(request->url()->absoluteString());
    return onWillSend ? onWillSend(request, redirect) : request;
  }
  void didReceiveAuthenticationChallenge(kit::URLConnection& c, kit::URLAuthenticationChallenge& challenge) override {
    events.push_back("challenge");
    if (onChallenge)
      onChallenge(c, challenge);
    else
      URLConnectionDelegate::didReceiveAuthenticationChallenge(c, challenge);
  }
  void didReceiveResponse(kit::URLConnection& c, kit::URLResponse& r) override {
    events.push_back("response");
    response = kit::Ref<kit::URLResponse>(&r);
    if (onResponse) onResponse(c);
  }
  void didReceiveData(kit::URLConnection& c, kit::Data& d) override {
    if (events.empty() || events.back() != "data") events.push_back("data");
    body.append(d.view());
    if (onData) onData(c);
  }
  kit::Ref<kit::CachedURLResponse> willCacheResponse(kit::URLConnection&, kit::Ref<kit::CachedURLResponse> c) override {
    events.push_back("willCache");
    return onWillCache ? onWillCache(c) : c;
  }
  void didFinishLoading(kit::URLConnection&) override {
    events.push_back("finish");
    done = true;
  }
  void didFailWithError(kit::URLConnection&, kit::Error& e) override {
    events.push_back("fail");
    error = kit::Ref<kit::Error>(&e);
    done = true;
  }

  int status() const {
    auto* http = kit::cast<kit::HTTPURLResponse>(response);
    return http ? http->statusCode() : 0;
  }
  long errorCode() const { return error ? error->code() : 0; }
  // Runs the test thread's loop until the load ended.
  bool wait(double seconds = 10) {
    return kit::RunLoop::current().runUntil([this] { return done; }, seconds);
  }
};

inline kit::Ref<kit::URLRequest> request(const std::string& url,
                                         kit::URLRequest::CachePolicy policy = kit::URLRequest::CachePolicy::UseProtocolCachePolicy,
                                         double timeout = 10) {
  auto u = kit::URL::URLWithString(url);
  EXPECT_TRUE(u) << url;
  return kit::URLRequest::requestWithURL(u, policy, timeout);
}

// Starts a load of the request and waits for its end.
inline void load(Recorder& recorder, const kit::URLRequest& r, double seconds = 10) {
  kit::Ref<kit::URLConnection> c = kit::URLConnection::connectionWithRequest(r, &recorder);
  ASSERT_TRUE(recorder.wait(seconds)) << "the load did not end";
}

class URLLoadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cache_ = kit::make<kit::URLCache>(4 << 20, 0, "unused");
    kit::URLCache::setSharedURLCache(cache_);
  }
  void TearDown() override {
    kit::URLCache::setSharedURLCache(nullptr);
    kit::HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies();
  }
  kit::Ref<kit::URLCache> cache_;
};

}  // namespace urltest
