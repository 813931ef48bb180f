// The OAuth login: request token, the service's page in the authorization
// view (the headless web view plays the page), access token; against a fake
// service that recomputes every signature and refuses a wrong one.

#include <map>

#include "../ShareTest.h"
#include "kit/net/HTTPReadStream.h"
#include "kit/ui/HeadlessWebView.h"
#include "kit/ui/NavigationController.h"
#include "FakeOAuthService.h"
#include "share/oauth/ShareOAuthSharer.h"
#include "share/oauth/ShareOAuthView.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using tolvatest::RecordedRequest;
using tolvatest::TestHTTPServer;
using tolvatest::TestResponse;
using sharetest::FakeService;

namespace {

class TestOAuthSharer : public ShareOAuthSharer {
 public:
  std::string sharerTitle() const override { return "Test OAuth"; }
  bool canShareURL() const override { return true; }
  std::string className() const override { return "TestOAuthSharer"; }
};

class Recorder : public ShareSharerDelegate {
 public:
  std::vector<std::string> events;
  void sharerAuthDidFinish(ShareSharer*, bool ok) override { events.push_back(ok ? "auth:yes" : "auth:no"); }
  void sharer(ShareSharer*, const kit::Error*, bool) override { events.push_back("fail"); }
  void sharerCancelledSending(ShareSharer*) override { events.push_back("cancel"); }
};

class OAuthFlowTest : public sharetest::ShareTest {
 protected:
  void SetUp() override {
    ShareTest::SetUp();
    ASSERT_TRUE(kit::HTTPReadStream::addTrustedCertificate(tolvatest::TestCertificateAuthority::shared().certificatePEM()));
    service_.origin = server_.origin();
    server_.route("POST", "/oauth/request_token", [this](const RecordedRequest& r) {
      if (!service_.verify(r)) return TestResponse::withStatus(401, "signature_invalid");
      return TestResponse::ok("oauth_token=rt%2Bkey&oauth_token_secret=rt%26secret&oauth_callback_confirmed=true&junk");
    });
    server_.route("POST", "/oauth/access_token", [this](const RecordedRequest& r) {
      if (!service_.verify(r)) return TestResponse::withStatus(401, "signature_invalid");
      return TestResponse::ok("oauth_token=at&oauth_token_secret=ats=x&oauth_session_handle=h");
    });
    sharer_ = kit::make<TestOAuthSharer>();
    sharer_->setConsumerKey("c key");
    sharer_->setSecretKey("c secret");
    sharer_->setRequestURL(kit::URL::URLWithString(server_.url("/oauth/request_token")));
    sharer_->setAccessURL(kit::URL::URLWithString(server_.url("/oauth/access_token")));
    sharer_->setAuthorizeURL(kit::URL::URLWithString(server_.url("/oauth/authorize")));
    sharer_->setAuthorizeCallbackURL(kit::URL::URLWithString("http://callback.test/done"));
    sharer_->setShareDelegate(recorder_.get());
    sharer_->setItem(ShareItem::URL(kit::URL::URLWithString("http://example.com/"), "Page").get());
  }

  // Starts the login and waits for the authorization screen.
  ShareOAuthView* startLogin() {
    sharer_->share();
    EXPECT_TRUE(loop().runUntil([] { return authorizationView() != nullptr; }, 10));
    ShareOAuthView* view = authorizationView();
    if (view) view->view();
    return view;
  }
  static ShareOAuthView* authorizationView() {
    auto* nav = dynamic_cast<kit::NavigationController*>(Share::currentHelper()->currentView());
    return nav ? dynamic_cast<ShareOAuthView*>(nav->topViewController()) : nullptr;
  }
  static kit::HeadlessWebView* web(ShareOAuthView* v) { return dynamic_cast<kit::HeadlessWebView*>(v->webView()); }
  void waitForAuth() {
    EXPECT_TRUE(loop().runUntil([&] { return !recorder_->events.empty(); }, 10));
    loop().drain();
  }

  TestHTTPServer server_{tolvatest::TestHTTPServerOptions::https()};
  FakeService service_;
  kit::Ref<Recorder> recorder_ = kit::make<Recorder>();
  kit::Ref<TestOAuthSharer> sharer_;
};

TEST_F(OAuthFlowTest, TheThreeStepsStoreTheAccessToken) {
  ShareOAuthView* view = startLogin();
  ASSERT_TRUE(view);
  auto requestStep = server_.requestsFor("/oauth/request_token");
  ASSERT_EQ(requestStep.size(), 1u);
  std::map<std::string, std::string> values;
  EXPECT_TRUE(service_.verify(requestStep[0], &values));
  EXPECT_EQ(values["oauth_callback"], "http://callback.test/done");
  EXPECT_EQ(values.count("oauth_token"), 0u);
  EXPECT_EQ(sharer_->requestToken()->key(), "rt+key");
  EXPECT_EQ(sharer_->requestToken()->secret(), "rt&secret");

  kit::HeadlessWebView* page = web(view);
  ASSERT_TRUE(page);
  ASSERT_EQ(page->loadedRequests().size(), 1u);
  EXPECT_EQ(page->loadedRequests()[0]->url()->absoluteString(), server_.url("/oauth/authorize?oauth_token=rt%2Bkey"));
  page->fireDidStart();
  ASSERT_TRUE(view->spinner());
  EXPECT_TRUE(view->spinner()->isAnimating());
  page->fireDidFinish();
  EXPECT_FALSE(view->spinner()->isAnimating());
  // An ignored load error keeps the screen up.
  page->fireDidFail(kit::WebView::kURLErrorDomain, kit::WebView::kURLErrorCancelled);
  EXPECT_TRUE(recorder_->events.empty());
  EXPECT_TRUE(page->fireShouldStart("https://elsewhere.test/login?x=1", kit::WebViewNavigationType::LinkClicked));

  EXPECT_FALSE(page->fireShouldStart("HTTP://Callback.test/done?oauth_token=rt%2Bkey&oauth_verifier=v%201",
                                     kit::WebViewNavigationType::Other));
  EXPECT_EQ(view->delegate(), nullptr);
  waitForAuth();
  EXPECT_EQ(recorder_->events, std::vector<std::string>{"auth:yes"}) << "reported once, after the access step";
  auto accessStep = server_.requestsFor("/oauth/access_token");
  ASSERT_EQ(accessStep.size(), 1u);
  EXPECT_TRUE(service_.verify(accessStep[0], &values));
  EXPECT_EQ(values["oauth_verifier"], "v 1");
  EXPECT_EQ(values["oauth_token"], "rt+key");
  EXPECT_EQ(sharer_->authorizeResponseQueryVars().at("oauth_verifier"), "v 1");
  EXPECT_EQ(Share::getAuthValueForKey("accessKey", "TestOAuthSharer"), "at");
  EXPECT_EQ(Share::getAuthValueForKey("accessSecret", "TestOAuthSharer"), "ats=x");
  EXPECT_EQ(Share::getAuthValueForKey("sessionHandle", "TestOAuthSharer"), "h");

  // A later sharer restores it; the refresh signs with the access token.
  auto again = kit::make<TestOAuthSharer>();
  again->setAccessURL(sharer_->accessURL());
  again->setConsumerKey("c key");
  again->setSecretKey("c secret");
  EXPECT_TRUE(again->isAuthorized());
  EXPECT_EQ(again->accessToken()->sessionHandle(), "h");
  again->setShareDelegate(recorder_.get());
  again->refreshToken();
  EXPECT_TRUE(loop().runUntil([&] { return recorder_->events.size() == 2; }, 10));
  EXPECT_EQ(recorder_->events.back(), "auth:yes");
  EXPECT_TRUE(service_.verify(server_.requestsFor("/oauth/access_token").back(), &values));
  EXPECT_EQ(values["oauth_token"], "at");

  again->logout();
  for (const char* key : {"accessKey", "accessSecret", "sessionHandle"})
    EXPECT_FALSE(Share::getAuthValueForKey(key, "TestOAuthSharer")) << key;
}

TEST_F(OAuthFlowTest, AWrongSignatureIsARequestError) {
  service_.consumerSecret = "another";
  sharer_->share();
  waitForAuth();
  EXPECT_EQ(recorder_->events, std::vector<std::string>{"auth:no"});
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Request Error");
  EXPECT_EQ(topAlert()->message(), "There was a problem requesting authorization from Test OAuth");
  EXPECT_EQ(authorizationView(), nullptr);
}

TEST_F(OAuthFlowTest, ARefusedCallbackOrAFailedPageEndsTheLogin) {
  ShareOAuthView* view = startLogin();
  ASSERT_TRUE(view);
  EXPECT_FALSE(web(view)->fireShouldStart("http://callback.test/done?oauth_problem=user_refused",
                                          kit::WebViewNavigationType::Other));
  loop().drain();
  EXPECT_EQ(recorder_->events, std::vector<std::string>{"auth:no"});
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Authorize Error");
  EXPECT_EQ(topAlert()->message(), "There was an error while authorizing");
  EXPECT_TRUE(server_.requestsFor("/oauth/access_token").empty());
  topAlert()->dismissWithClickedButtonIndex(0, false);
  loop().advance(1);

  recorder_->events.clear();
  view = startLogin();
  ASSERT_TRUE(view);
  web(view)->fireDidFail(kit::Error::errorWithDescription(kit::WebView::kURLErrorDomain, -1004, "No server").get());
  loop().drain();
  EXPECT_EQ(recorder_->events, std::vector<std::string>{"auth:no"});
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Authorize Error");
  EXPECT_EQ(topAlert()->message(), "No server");
  // The dropped delegate hears nothing more.
  web(view)->fireShouldStart("http://callback.test/done?oauth_token=x", kit::WebViewNavigationType::Other);
  view->cancel();
  loop().drain();
  EXPECT_EQ(recorder_->events.size(), 1u);
}

TEST_F(OAuthFlowTest, APinPageIsAConfigurationErrorAndCancelEndsTheLogin) {
  ShareOAuthView* view = startLogin();
  ASSERT_TRUE(view);
  web(view)->setScriptAnswer(ShareOAuthView::kPinScript, "1234567");
  web(view)->fireDidFinish();
  loop().drain();
  EXPECT_EQ(recorder_->events, std::vector<std::string>{"auth:no"});
  ASSERT_TRUE(topAlert());
  EXPECT_NE(topAlert()->message().find("You must set your application type to Browser"), std::string::npos);
  topAlert()->dismissWithClickedButtonIndex(0, false);
  loop().advance(1);

  recorder_->events.clear();
  view = startLogin();
  ASSERT_TRUE(view);
  view->cancel();
  loop().drain();
  EXPECT_EQ(recorder_->events, std::vector<std::string>{"auth:no"});
  EXPECT_FALSE(topAlert());
}

TEST_F(OAuthFlowTest, AnEmptyCallbackIsAConfigurationErrorAndTheTokenJoinsAQuery) {
  sharer_->setAuthorizeCallbackURL(nullptr);
  sharer_->share();
  waitForAuth();
  EXPECT_EQ(recorder_->events, std::vector<std::string>{"auth:no"});
  EXPECT_EQ(authorizationView(), nullptr);
  std::map<std::string, std::string> values;
  service_.verify(server_.requestsFor("/oauth/request_token").back(), &values);
  EXPECT_EQ(values.count("oauth_callback"), 0u);
  topAlert()->dismissWithClickedButtonIndex(0, false);
  loop().advance(1);

  sharer_->setAuthorizeCallbackURL(kit::URL::URLWithString("http://callback.test/done"));
  sharer_->setAuthorizeURL(kit::URL::URLWithString(server_.url("/oauth/authorize?force_login=1")));
  ShareOAuthView* view = startLogin();
  ASSERT_TRUE(view);
  EXPECT_EQ(view->url()->absoluteString(), server_.url("/oauth/authorize?force_login=1&oauth_token=rt%2Bkey"));
}

TEST(ShareOAuthViewTest, TheCallbackQueryIsDecodedPairByPair) {
  auto q = ShareOAuthView::queryParams(*kit::URL::URLWithString("http://cb/x?a=1&b=x%20y&c&d=1=2&&e="));
  ASSERT_TRUE(q);
  EXPECT_EQ(*q, (ShareOAuthSharer::QueryParams{{"a", "1"}, {"b", "x y"}, {"e", ""}}));
  EXPECT_FALSE(ShareOAuthView::queryParams(*kit::URL::URLWithString("http://cb/x")));
}

TEST_F(OAuthFlowTest, RestoringNeedsBothKeyAndSecret) {
  Share::setAuthValue("k", "accessKey", "TestOAuthSharer");
  EXPECT_FALSE(kit::make<TestOAuthSharer>()->restoreAccessToken());
  Share::setAuthValue("s", "accessSecret", "TestOAuthSharer");
  auto s = kit::make<TestOAuthSharer>();
  EXPECT_TRUE(s->restoreAccessToken());
  EXPECT_EQ(s->accessToken()->key(), "k");
  EXPECT_EQ(s->accessToken()->sessionHandle(), "");
}

}  // namespace
