#include <gtest/gtest.h>

#include <memory>

#include "kit/net/URLRequest.h"

using namespace kit;

namespace {

Ref<URL> url(const char* text) { return URL::URLWithString(text); }

// Restores the built-in functions however a test ends.
struct HookReset {
  ~HookReset() {
    URLRequest::exchangeSetValueFunction(nullptr);
    URLRequest::exchangeInitFunction(nullptr);
  }
};

}  // namespace

TEST(URLLoadingRequestHooks, SetValueHookReplacesOnlyTheExactHeaderName) {
  HookReset reset;
  URLRequest::wrapSetValueFunction([](URLRequest::SetValueFunction former) -> URLRequest::SetValueFunction {
    return [former](URLRequest& r, std::string_view value, std::string_view field) {
      return former(r, field == "User-Agent" ? std::string_view("Chosen/1.0") : value, field);
    };
  });
  auto r = URLRequest::requestWithURL(url("http://example.com/"));
  EXPECT_TRUE(r->setValue("Other/2.0", "User-Agent"));
  EXPECT_EQ(r->valueForHTTPHeaderField("user-agent"), "Chosen/1.0");
  // Another letter case is a different name for the hook.
  EXPECT_TRUE(r->setValue("Other/2.0", "user-agent"));
  EXPECT_EQ(r->valueForHTTPHeaderField("User-Agent"), "Other/2.0");
  // Bulk setting goes through the hook too.
  r->setAllHTTPHeaderFields({{"User-Agent", "Bulk/3.0"}, {"Accept", "*/*"}});
  EXPECT_EQ(r->valueForHTTPHeaderField("User-Agent"), "Chosen/1.0");
  EXPECT_EQ(r->valueForHTTPHeaderField("Accept"), "*/*");
  // The built-in checks still run behind the hook.
  EXPECT_FALSE(r->setValue("a\r\nInjected: 1", "User-Agent2"));
}

TEST(URLLoadingRequestHooks, ExchangingTwiceRestoresTheFormerBehaviour) {
  HookReset reset;
  int calls = 0;
  auto former = std::make_shared<URLRequest::SetValueFunction>();
  URLRequest::SetValueFunction replacement = [&calls, former](URLRequest& r, std::string_view v, std::string_view f) {
    ++calls;
    return (*former)(r, v, f);
  };
  *former = URLRequest::exchangeSetValueFunction(replacement);
  auto r = URLRequest::requestWithURL(url("http://example.com/"));
  r->setValue("1", "X-A");
  EXPECT_EQ(calls, 1);
  // Putting the former function back: the replacement is answered and no longer runs.
  auto answered = URLRequest::exchangeSetValueFunction(*former);
  ASSERT_TRUE(answered);
  r->setValue("2", "X-A");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(r->valueForHTTPHeaderField("X-A"), "2");
}

TEST(URLLoadingRequestHooks, InitHookSeesEveryNewRequestButNotCopies) {
  HookReset reset;
  int calls = 0;
  URLRequest::wrapInitFunction([&calls](URLRequest::InitFunction former) -> URLRequest::InitFunction {
    return [&calls, former](URLRequest& r, Ref<URL> u, URLRequest::CachePolicy p, double t) {
      ++calls;
      if (u && u->host() == "ads.example.com") p = URLRequest::CachePolicy::ReturnCacheDataDontLoad;
      former(r, std::move(u), p, t);
    };
  });
  auto blocked = URLRequest::requestWithURL(url("http://ads.example.com/banner"),
                                            URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, 7);
  EXPECT_EQ(blocked->cachePolicy(), URLRequest::CachePolicy::ReturnCacheDataDontLoad);
  EXPECT_EQ(blocked->timeoutInterval(), 7);
  EXPECT_EQ(blocked->url()->absoluteString(), "http://ads.example.com/banner");
  URLRequest plain(url("http://example.com/"));
  EXPECT_EQ(plain.cachePolicy(), URLRequest::CachePolicy::UseProtocolCachePolicy);
  EXPECT_EQ(calls, 2);
  Ref<Object> copied = plain.copy();
  auto* copy = cast<URLRequest>(copied);
  ASSERT_TRUE(copy);
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(copy->isEqual(&plain));
}
