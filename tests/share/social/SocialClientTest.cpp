// The social network's client, its requests and its dialogs, against a
// loopback server and the headless web view.
#include <gtest/gtest.h>

#include <cmath>

#include "kit/foundation/Array.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/net/HTTPCookie.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/ui/HeadlessURLOpener.h"
#include "kit/ui/HeadlessWebView.h"
#include "kit/ui/Screen.h"
#include "kit/ui/UiTest.h"
#include "share/social/SocialClient.h"
#include "support/TestHTTPServer.h"

namespace {

using kit::Ref;
using tolva::SNDialog;
using tolva::SNRequest;
using tolva::SocialClient;

struct Session : tolva::SNSessionDelegate {
  std::vector<std::string> events;
  void fbDidLogin() override { events.push_back("login"); }
  void fbDidNotLogin(bool cancelled) override { events.push_back(cancelled ? "cancelled" : "failed"); }
  void fbDidLogout() override { events.push_back("logout"); }
  void fbSessionInvalidated() override { events.push_back("invalidated"); }
};

struct Answers : tolva::SNRequestDelegate {
  std::vector<std::string> events;
  Ref<kit::Object> loaded;
  long errorCode = 0;
  std::string errorMessage;  // the error's "error_msg"
  void requestLoading(SNRequest&) override { events.push_back("loading"); }
  void requestDidFailWithError(SNRequest&, kit::Error* e) override {
    events.push_back("failed");
    errorCode = e ? e->code() : 0;
    auto* m = e ? dynamic_cast<kit::String*>(e->userInfo()->objectForKey("error_msg")) : nullptr;
    errorMessage = m ? m->str() : "";
  }
  void requestDidLoad(SNRequest&, kit::Object* o) override {
    events.push_back("loaded");
    loaded = Ref<kit::Object>(o);
  }
};

struct DialogEvents : tolva::SNDialogDelegate {
  std::vector<std::string> events;
  long code = 0;
  std::string message;
  bool openOutside = true;
  void dialogDidComplete(SNDialog&) override { events.push_back("complete"); }
  void dialogCompleteWithUrl(kit::URL* u) override { events.push_back("url " + (u ? u->absoluteString() : "")); }
  void dialogDidNotCompleteWithUrl(kit::URL*) override { events.push_back("not-url"); }
  void dialogDidNotComplete(SNDialog&) override { events.push_back("not-complete"); }
  void dialogDidFailWithError(SNDialog&, kit::Error* e) override {
    events.push_back("failed");
    code = e ? e->code() : 0;
    if (e && e->userInfo())
      if (auto* m = dynamic_cast<kit::String*>(e->userInfo()->objectForKey("error_msg"))) message = m->str();
  }
  bool dialogShouldOpenURLInExternalBrowser(SNDialog&, kit::URL&) override { return openOutside; }
};

class SocialClientTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    window_ = makeKeyWindow();
    SocialClient::Endpoints e;
    e.graphBase = server_.url("/graph/");
    e.restBase = server_.url("/method/");
    e.dialogBase = server_.url("/dialog/");
    e.loginHost = "login.example.test";
    SocialClient::setEndpoints(e);
  }
  void TearDown() override {
    SocialClient::setEndpoints({});
    SocialClient::setOutsideLoginAllowed(false);
    kit::Clock::setVirtual(700000000.0);
    UiTest::TearDown();
  }
  // Runs the loop in real time until the request has ended (the virtual
  // clock stands still meanwhile, so no time-out fires early).
  void finish(const Ref<SNRequest>& r) {
    ASSERT_TRUE(r);
    loop().runUntil([&] { return r->state() >= SNRequest::Complete; }, 10);
  }
  kit::HeadlessWebView& web(SNDialog* d) { return *static_cast<kit::HeadlessWebView*>(d->webView()); }

  tolvatest::TestHTTPServer server_;
  Ref<kit::Window> window_;
};

TEST_F(SocialClientTest, RequestsGoToTheirEndpointsWithTheSessionAndParameters) {
  server_.route("GET", "/graph/me", tolvatest::TestResponse::ok("{\"id\":\"7\",\"username\":\"ann\"}"));
  server_.route("GET", "/method/status.get", tolvatest::TestResponse::ok("true"));
  Session session;
  Ref<SocialClient> client(new SocialClient("123", &session));
  client->fbDialogLogin("tok/en", kit::RunLoop::kDistantFuture);
  Answers answers;
  Ref<SNRequest> me = client->requestWithGraphPath("me", &answers);
  EXPECT_EQ(client->requestsInFlight(), 1u);
  finish(me);
  auto recorded = server_.requests();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].target, "/graph/me?access_token=tok%2Fen&format=json&sdk=ios&sdk_version=2");
  EXPECT_EQ(recorded[0].headers.value("User-Agent"), "SocialConnect");
  EXPECT_EQ(answers.events, (std::vector<std::string>{"loading", "loaded"}));
  auto* dict = dynamic_cast<kit::Dictionary*>(answers.loaded.get());
  ASSERT_TRUE(dict);
  EXPECT_EQ(client->requestsInFlight(), 0u);

  Answers rest;
  SNRequest::Params params = {{"method", kit::String::string("status.get")}, {"uid", kit::String::string("a b")}};
  finish(client->requestWithParams(params, &rest));
  EXPECT_EQ(server_.requests().back().target,
            "/method/status.get?access_token=tok%2Fen&format=json&sdk=ios&sdk_version=2&uid=a%20b");
  EXPECT_EQ(rest.events.back(), "loaded");
  EXPECT_FALSE(client->requestWithParams({{"uid", kit::String::string("1")}}, &rest)) << "no method given";
}

TEST_F(SocialClientTest, AFailedRequestEndsTheSessionOther2xxAnswersAreLoaded) {
  server_.route("GET", "/graph/me", tolvatest::TestResponse::ok("{\"error_code\":190,\"error_msg\":\"expired\"}"));
  server_.route("GET", "/graph/page", tolvatest::TestResponse::withStatus(503, "<html>oops</html>"));
  server_.route("GET", "/graph/list", tolvatest::TestResponse::ok("[1,2]"));
  server_.route("GET", "/graph/html", tolvatest::TestResponse::ok("<html>sign in</html>"));
  Session session;
  Ref<SocialClient> client(new SocialClient("123", &session));
  for (const char* path : {"me", "page"}) {
    client->fbDialogLogin("t", kit::RunLoop::kDistantFuture);
    Answers answers;
    finish(client->requestWithGraphPath(path, &answers));
    EXPECT_EQ(answers.events.back(), "failed") << path;
    EXPECT_FALSE(client->isSessionValid());
    EXPECT_EQ(session.events.back(), "invalidated");
    EXPECT_EQ(client->requestsInFlight(), 0u);
    // A status the body does not explain has a code of its own, no login problem.
    EXPECT_EQ(answers.errorCode, std::string(path) == "me" ? 190 : SNRequest::kClientErrorCode);
    EXPECT_EQ(answers.errorMessage, std::string(path) == "me" ? "expired" : "The service answered HTTP 503");
  }

  // An array as it is, a body that is no JSON as its raw data; the session stays.
  session.events.clear();
  client->fbDialogLogin("t", kit::RunLoop::kDistantFuture);
  Answers list;
  finish(client->requestWithGraphPath("list", &list));
  EXPECT_EQ(list.events.back(), "loaded");
  auto* array = dynamic_cast<kit::Array*>(list.loaded.get());
  ASSERT_TRUE(array);
  EXPECT_EQ(array->count(), 2u);
  Answers html;
  finish(client->requestWithGraphPath("html", &html));
  EXPECT_EQ(html.events.back(), "loaded");
  auto* raw = dynamic_cast<kit::Data*>(html.loaded.get());
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->toString(), "<html>sign in</html>");
  EXPECT_TRUE(client->isSessionValid());
  EXPECT_EQ(session.events, (std::vector<std::string>{"login"}));
}

TEST_F(SocialClientTest, AnswersAreReadByTheTable) {
  auto parse = [](const std::string& body, long* code) {
    Ref<kit::Error> error;
    Ref<kit::Object> out = SNRequest::parseJsonResponse(*kit::Data::dataWithString(body), &error);
    *code = error ? error->code() : 0;
    return out;
  };
  long code = 0;
  Ref<kit::Object> t = parse("true", &code);
  ASSERT_TRUE(dynamic_cast<kit::Dictionary*>(t.get()));
  EXPECT_EQ(static_cast<kit::String*>(static_cast<kit::Dictionary*>(t.get())->objectForKey("result"))->str(), "true");
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(parse("false", &code));
  EXPECT_EQ(code, 10000);
  EXPECT_TRUE(dynamic_cast<kit::Array*>(parse("[1,2]", &code).get()));
  EXPECT_FALSE(parse("{\"error\":{\"type\":\"OAuthException\"}}", &code));
  EXPECT_EQ(code, 10000);
  EXPECT_FALSE(parse("{\"error_code\":\"341\"}", &code));
  EXPECT_EQ(code, 341);
  EXPECT_TRUE(parse("{\"error_msg\":\"soft\"}", &code));
  EXPECT_EQ(code, 10000);
  EXPECT_FALSE(parse("<html>", &code));
  EXPECT_EQ(code, 0);
}

TEST_F(SocialClientTest, UploadsAreMultipartWithNamedFilePartsAndAClosingBoundary) {
  SNRequest::Params params = {{"message", kit::String::string("hi \"there\"")},
                              {"source", kit::Data::dataWithString(std::string("\x00\x01", 2))}};
  Ref<SNRequest> r = SNRequest::getRequestWithParams(params, "POST", nullptr, "http://x.test/me/photos");
  const std::string b = SNRequest::kBoundary;
  EXPECT_EQ(std::string(r->generatePostBody()->view()),
            "--" + b + "\r\nContent-Disposition: form-data; name=\"message\"\r\n\r\nhi \"there\"\r\n--" + b +
                "\r\nContent-Disposition: form-data; name=\"source\"; filename=\"source\"\r\n"
                "Content-Type: content/unknown\r\n\r\n" +
                std::string("\x00\x01", 2) + "\r\n--" + b + "--\r\n");
  EXPECT_EQ(SNRequest::serializeURL("http://x.test/a?b=1", params, "GET"), "http://x.test/a?b=1&message=hi%20%22there%22")
      << "binary values never go into a URL";
  EXPECT_EQ(SNRequest::serializeURL("http://x.test/a", {}, "GET"), "http://x.test/a?");
}

TEST_F(SocialClientTest, TheCallbackURLCompletesOrCancelsTheLogin) {
  kit::Clock::setVirtual(700000000.0);
  Session session;
  Ref<SocialClient> client(new SocialClient("123", std::string(""), &session));
  EXPECT_EQ(client->getOwnBaseUrl(), "fb123://authorize");
  EXPECT_FALSE(client->handleOpenURL(*kit::URL::URLWithString("fb999://authorize#access_token=x")));

  EXPECT_TRUE(client->handleOpenURL(
      *kit::URL::URLWithString("fb123://authorize?access_token=query&expires_in=60#access_token=frag&expires_in=0&junk")));
  EXPECT_EQ(client->accessToken(), "frag") << "the fragment wins";
  EXPECT_EQ(client->expirationDate(), kit::RunLoop::kDistantFuture);
  client->handleOpenURL(*kit::URL::URLWithString("fb123://authorize#access_token=a%3Db=c&expires_in=60"));
  EXPECT_EQ(client->accessToken(), "a=b=c") << "split at the first \"=\"";
  EXPECT_EQ(client->expirationDate(), 700000060.0);
  EXPECT_TRUE(client->isSessionValid());
  kit::Clock::advance(61);
  EXPECT_FALSE(client->isSessionValid());

  session.events.clear();
  client->handleOpenURL(*kit::URL::URLWithString("fb123://authorize?error=access_denied"));
  client->handleOpenURL(*kit::URL::URLWithString("fb123://authorize?error=access_denied&error_code=200"));
  client->handleOpenURL(*kit::URL::URLWithString("fb123://authorize?error=other"));
  EXPECT_EQ(session.events, (std::vector<std::string>{"cancelled", "failed", "failed"}));

  // The service asking for the inline login shows the login dialog.
  client->handleOpenURL(*kit::URL::URLWithString("fb123://authorize?error=service_disabled"));
  ASSERT_TRUE(client->loginDialog());
  EXPECT_EQ(client->loginDialog()->superview(), window_.get());
}

TEST_F(SocialClientTest, LogoutForgetsTheSessionAndEveryLoginCookie) {
  kit::HTTPCookieStorage& jar = kit::HTTPCookieStorage::sharedHTTPCookieStorage();
  auto set = [&](const char* header, const char* url) {
    Ref<kit::HTTPCookie> c = kit::HTTPCookie::cookieWithSetCookieHeader(header, *kit::URL::URLWithString(url));
    ASSERT_TRUE(c) << header;
    jar.setCookie(c);
  };
  set("a=1; Domain=.example.test; Secure", "https://login.example.test/");
  set("b=2", "http://login.example.test/");
  set("c=3", "http://other.test/");
  Session session;
  Ref<SocialClient> client(new SocialClient("123", &session));
  client->fbDialogLogin("t", kit::Clock::now() + 60);
  client->logout();
  EXPECT_FALSE(client->isSessionValid());
  EXPECT_EQ(session.events.back(), "logout");
  EXPECT_TRUE(jar.cookiesForURL(*kit::URL::URLWithString("https://login.example.test/")).empty());
  EXPECT_EQ(jar.cookiesForURL(*kit::URL::URLWithString("http://other.test/")).size(), 1u);
  for (auto& c : jar.cookies()) jar.deleteCookie(*c);
}

TEST_F(SocialClientTest, DialogsEndOnceOnTheirRedirects) {
  Ref<SocialClient> client(new SocialClient("123", nullptr));
  DialogEvents events;
  client->dialog("feed", {{"link", "http://a.test/?x=1&y=2"}}, &events);
  SNDialog* d = client->currentDialog();
  ASSERT_TRUE(d);
  EXPECT_EQ(d->loadingURL()->absoluteString(),
            server_.url("/dialog/feed") +
                "?app_id=123&display=touch&link=http%3A%2F%2Fa.test%2F%3Fx%3D1%26y%3D2&redirect_uri=fbconnect%3A%2F%2Fsuccess&sdk=2");
  EXPECT_TRUE(web(d).fireShouldStart(d->loadingURL()->absoluteString(), kit::WebViewNavigationType::LinkClicked));
  EXPECT_TRUE(web(d).fireShouldStart("http://elsewhere.test/", kit::WebViewNavigationType::Other));
  // A clicked link goes to the desktop's browser (http(s) only); the dialog stays.
  EXPECT_FALSE(web(d).fireShouldStart("http://elsewhere.test/", kit::WebViewNavigationType::LinkClicked));
  EXPECT_FALSE(web(d).fireShouldStart("file:///etc/passwd", kit::WebViewNavigationType::LinkClicked));
  auto& opener = kit::Application::sharedApplication()->headlessURLOpener();
  EXPECT_EQ(opener.openedURLs(), (std::vector<std::string>{"http://elsewhere.test/"}));

  EXPECT_FALSE(web(d).fireShouldStart("fbconnect://cancel?error_code=190&error_msg=Session%20expired",
                                      kit::WebViewNavigationType::Other));
  EXPECT_EQ(events.events, (std::vector<std::string>{"failed"}));
  EXPECT_EQ(events.code, 190);
  EXPECT_EQ(events.message, "Session expired");
  web(d).fireShouldStart("fbconnect://success", kit::WebViewNavigationType::Other);
  EXPECT_EQ(events.events.size(), 1u) << "one outcome per dialog";
  // A link clicked once the dialog has ended asks nobody and opens nothing.
  EXPECT_FALSE(web(d).fireShouldStart("http://late.test/", kit::WebViewNavigationType::LinkClicked));
  EXPECT_EQ(opener.openedURLs().size(), 1u);
  loop().advance(1);
  EXPECT_FALSE(d->superview());

  DialogEvents done;
  client->dialog("feed", &done);
  d = client->currentDialog();
  web(d).fireShouldStart("fbconnect://success?post_id=1", kit::WebViewNavigationType::Other);
  EXPECT_EQ(done.events, (std::vector<std::string>{"url fbconnect://success?post_id=1", "complete"}));

  DialogEvents shortCancel;
  client->dialog("feed", &shortCancel);
  web(client->currentDialog()).fireShouldStart("fbconnect:", kit::WebViewNavigationType::Other);
  EXPECT_EQ(shortCancel.events.back(), "complete") << "a short URL is read safely";

  DialogEvents erred;
  client->dialog("feed", &erred);
  web(client->currentDialog()).fireShouldStart("fbconnect://success?error_code=4201", kit::WebViewNavigationType::Other);
  EXPECT_EQ(erred.events, (std::vector<std::string>{"failed"}));
  EXPECT_EQ(erred.code, 4201);
}

TEST_F(SocialClientTest, TheLoginDialogHandsOverTheTokenOrCancels) {
  kit::Clock::setVirtual(700000000.0);
  Session session;
  Ref<SocialClient> client(new SocialClient("123", &session));
  client->authorize({"publish_stream", "offline_access"});
  SNDialog* d = client->loginDialog();
  ASSERT_TRUE(d);
  EXPECT_NE(d->loadingURL()->absoluteString().find("scope=publish_stream%2Coffline_access"), std::string::npos);
  kit::Rect app = kit::Screen::mainScreen().applicationFrame();
  EXPECT_EQ(d->bounds().size.width, std::floor(app.size.width * 0.6)) << "a tablet panel covers 0.6";

  web(d).fireShouldStart("fbconnect://success#access_token=T1&expires_in=0", kit::WebViewNavigationType::Other);
  EXPECT_EQ(client->accessToken(), "T1");
  EXPECT_EQ(client->expirationDate(), kit::RunLoop::kDistantFuture);
  EXPECT_EQ(session.events, (std::vector<std::string>{"login"}));

  client->authorize({});
  web(client->loginDialog()).fireShouldStart("fbconnect://success#expires_in=60", kit::WebViewNavigationType::Other);
  EXPECT_EQ(session.events.back(), "cancelled");

  client->authorize({});
  web(client->loginDialog()).fireDidFail(kit::WebView::kURLErrorDomain, kit::WebView::kURLErrorCancelled);
  EXPECT_EQ(session.events.size(), 2u) << "a cancelled load is no failure";
  web(client->loginDialog()).fireDidFail("NSURLErrorDomain", -1004);
  EXPECT_EQ(session.events.back(), "failed");
  web(client->loginDialog()).fireDidFail("NSURLErrorDomain", -1004);
  EXPECT_EQ(session.events.size(), 3u) << "dismissed exactly once";

  // A client gone while its login dialog is up is not called by it.
  Ref<SNDialog> orphan;
  {
    Ref<SocialClient> gone(new SocialClient("123", &session));
    gone->authorize({});
    orphan = Ref<SNDialog>(gone->loginDialog());
  }
  web(orphan.get()).fireShouldStart("fbconnect://cancel", kit::WebViewNavigationType::Other);
  EXPECT_EQ(session.events.size(), 3u);
}

}  // namespace
