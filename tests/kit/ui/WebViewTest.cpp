#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "UiTest.h"
#include "kit/net/URLRequest.h"
#include "kit/ui/HeadlessWebView.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/WebView.h"

using kit::HeadlessWebView;
using kit::Ref;
using kit::URL;
using kit::URLRequest;
using kit::WebView;
using kit::WebViewNavigationType;

namespace {

class WebViewTest : public uitest::UiTest {
 protected:
  void TearDown() override {
    WebView::setFactory(nullptr);
    UiTest::TearDown();
  }
};

// A page-view-like delegate that refuses marker URLs and records the sequence.
struct PageLog : kit::WebViewDelegate {
  std::vector<std::string> calls;
  bool webViewShouldStartLoadWithRequest(WebView&, URLRequest& r, WebViewNavigationType type) override {
    calls.push_back("should " + r.url()->absoluteString() + " " + std::to_string(static_cast<int>(type)));
    return r.url()->absoluteString().find("newtab") == std::string::npos;
  }
  void webViewDidStartLoad(WebView& w) override {
    calls.push_back(std::string("start loading=") + (w.isLoading() ? "1" : "0"));
  }
  void webViewDidFinishLoad(WebView& w) override {
    calls.push_back(std::string("finish loading=") + (w.isLoading() ? "1" : "0"));
  }
  void webViewDidFailLoadWithError(WebView&, kit::Error* e) override {
    calls.push_back("fail " + (e ? e->domain() + " " + std::to_string(e->code()) : std::string("none")));
  }
};

TEST_F(WebViewTest, TheDelegateSeesLoadsThenTheEventsTheTestFires) {
  Ref<WebView> web = WebView::create({0, 0, 320, 400});
  auto* headless = kit::cast<HeadlessWebView>(web);
  ASSERT_NE(headless, nullptr);
  PageLog page;
  web->setDelegate(&page);
  auto request = URLRequest::requestWithURL(URL::URLWithString("http://example.org/"),
                                            URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, 60);
  web->loadRequest(request.get());
  EXPECT_EQ(web->request()->url()->absoluteString(), "http://example.org/");
  EXPECT_EQ(web->request()->cachePolicy(), URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
  headless->fireDidStart();
  EXPECT_FALSE(headless->fireShouldStart("http://x.org/newtab/", WebViewNavigationType::LinkClicked));
  EXPECT_EQ(web->request()->url()->absoluteString(), "http://example.org/");  // refused: unchanged
  EXPECT_TRUE(headless->fireShouldStart("http://example.org/frame", WebViewNavigationType::Other));
  headless->fireDidStart();
  headless->fireDidFinish();
  headless->fireDidFail(WebView::kURLErrorDomain, WebView::kURLErrorCancelled);
  headless->fireDidFail(nullptr);
  EXPECT_EQ(page.calls, (std::vector<std::string>{
                            "should http://example.org/ 5", "start loading=1", "should http://x.org/newtab/ 0",
                            "should http://example.org/frame 5", "start loading=1", "finish loading=0",
                            "fail NSURLErrorDomain -999", "fail none"}));
  ASSERT_EQ(headless->loadedRequests().size(), 1u);

  // Reload asks again; back and forward follow the state the test sets.
  page.calls.clear();
  web->reload();
  EXPECT_EQ(page.calls, (std::vector<std::string>{"should http://example.org/frame 3"}));
  EXPECT_FALSE(web->canGoBack());
  headless->setCanGoBack(true);
  EXPECT_TRUE(web->canGoBack());
  web->goBack();
  web->stopLoading();
  EXPECT_EQ(headless->goBackCount(), 1);
  EXPECT_EQ(headless->stopCount(), 1);
}

TEST_F(WebViewTest, TheRecordedRequestIsACopy) {
  Ref<HeadlessWebView> web(new HeadlessWebView());
  auto request = URLRequest::requestWithURL(URL::URLWithString("https://a.example/"));
  web->loadRequest(request.get());
  request->setValue("changed", "X-After");
  EXPECT_FALSE(web->lastLoadedRequest()->valueForHTTPHeaderField("X-After"));
}

TEST_F(WebViewTest, ScriptsAreAnsweredByExactTextThenLongestPrefixThenDefault) {
  Ref<HeadlessWebView> web(new HeadlessWebView({0, 0, 100, 100}));
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "");
  web->setScriptAnswer("document.title", "Example");
  web->setScriptAnswerForPrefix("window.", "1");
  web->setScriptAnswerForPrefix("window.inner", "1024");
  web->setDefaultScriptAnswer("undefined-ish");
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "Example");
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("window.innerWidth"), "1024");
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("window.pageYOffset"), "1");
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("isInjected().toString();"), "undefined-ish");
  web->setScriptHandler([](const std::string& s) -> std::optional<std::string> {
    if (s.starts_with("setVeSkValue(")) return "done";
    return std::nullopt;
  });
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("setVeSkValue('a','b');"), "done");
  EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "Example");
  EXPECT_EQ(web->evaluatedScripts().size(), 7u);
  EXPECT_EQ(web->evaluatedCount("window."), 2u);
}

TEST_F(WebViewTest, ViewPropertiesScrollViewSnapshotAndFactory) {
  Ref<HeadlessWebView> web(new HeadlessWebView({0, 0, 300, 200}));
  ASSERT_NE(web->scrollView(), nullptr);
  EXPECT_EQ(web->scrollView()->superview(), web.get());
  web->setFrame({0, 0, 600, 400});
  EXPECT_EQ(web->scrollView()->frame().size, kit::Size(600, 400));
  EXPECT_EQ(web->snapshot()->size(), kit::Size(600, 400));
  web->setScalesPageToFit(true);
  web->setDataDetectorTypes(WebView::DataDetectorNone);
  web->setMultipleTouchEnabled(true);
  EXPECT_TRUE(web->scalesPageToFit());
  EXPECT_EQ(web->dataDetectorTypes(), 0u);
  EXPECT_EQ(Ref<HeadlessWebView>(new HeadlessWebView({}, false))->scrollView(), nullptr);

  int made = 0;
  WebView::setFactory([&](kit::Rect frame) -> Ref<WebView> {
    ++made;
    return Ref<WebView>(new HeadlessWebView(frame, false));
  });
  Ref<WebView> w = WebView::create({0, 0, 10, 10});
  EXPECT_EQ(made, 1);
  EXPECT_EQ(w->scrollView(), nullptr);
}

TEST_F(WebViewTest, RequestsKeepTheirSettingsAndRefuseHeaderInjection) {
  auto r = URLRequest::requestWithURL(URL::URLWithString("http://example.org/login"),
                                      URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, 3);
  EXPECT_EQ(r->timeoutInterval(), 3);
  EXPECT_EQ(r->HTTPMethod(), "GET");
  EXPECT_EQ(static_cast<int>(URLRequest::CachePolicy::ReturnCacheDataDontLoad), 3);
  EXPECT_TRUE(r->setValue("Basic dXNlcjpwYXNz", "Authorization"));
  EXPECT_EQ(r->valueForHTTPHeaderField("authorization").value_or(""), "Basic dXNlcjpwYXNz");
  EXPECT_TRUE(r->setValue("Basic b3RoZXI6eA==", "AUTHORIZATION"));  // same header, any case
  EXPECT_EQ(r->allHTTPHeaderFields().size(), 1u);
  EXPECT_FALSE(r->setValue("x\r\nX-Evil: 1", "X-Test"));
  EXPECT_FALSE(r->setValue("x", "X-Test\n"));
  EXPECT_FALSE(r->setValue("x", ""));
  EXPECT_FALSE(r->valueForHTTPHeaderField("X-Test"));
  r->addValue("a", "Accept");
  r->addValue("b", "accept");
  EXPECT_EQ(r->valueForHTTPHeaderField("Accept").value_or(""), "a,b");
  r->setTimeoutInterval(-1);
  r->setTimeoutInterval(std::nan(""));
  EXPECT_EQ(r->timeoutInterval(), 3);
  r->setHTTPMethod("");
  EXPECT_EQ(r->HTTPMethod(), "GET");

  r->setHTTPMethod("POST");
  r->setHTTPBody(kit::Data::dataWithString("a=1"));
  Ref<URLRequest> copy(kit::cast<URLRequest>(r->copy()));
  ASSERT_TRUE(copy);
  EXPECT_TRUE(copy->isEqual(r.get()));
  copy->setValue("1", "X-Other");
  EXPECT_FALSE(copy->isEqual(r.get()));
  EXPECT_FALSE(r->valueForHTTPHeaderField("X-Other"));
  r->removeHTTPHeaderField("authorization");
  EXPECT_TRUE(copy->valueForHTTPHeaderField("Authorization"));
  EXPECT_EQ(r->description(), "<URLRequest POST http://example.org/login>");
}

}  // namespace
