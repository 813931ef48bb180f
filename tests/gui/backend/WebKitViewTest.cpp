// kit's web view on WebKitGTK against pages served on 127.0.0.1.

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/gtk/MainContextHost.h"
#include "kit/gtk/WebKitView.h"
#include "kit/ui/ScrollView.h"
#include "support/GuiFixture.h"
#include "support/TestHTTPServer.h"

namespace {

using kit::Rect;
using kit::Ref;
using tolvatest::GuiFixture;
using tolvatest::TestHTTPServer;
using tolvatest::TestResponse;

struct Recorder : kit::WebViewDelegate {
  struct Ask {
    std::string url;
    int type;
  };
  std::vector<Ask> asked;
  std::vector<std::string> events;  // "start", "finish", "fail:<domain>:<code>"
  std::string refuseContaining;
  bool webViewShouldStartLoadWithRequest(kit::WebView&, kit::URLRequest& r, kit::WebViewNavigationType t) override {
    asked.push_back({r.url()->absoluteString(), static_cast<int>(t)});
    return refuseContaining.empty() || r.url()->absoluteString().find(refuseContaining) == std::string::npos;
  }
  void webViewDidStartLoad(kit::WebView&) override { events.push_back("start"); }
  void webViewDidFinishLoad(kit::WebView&) override { events.push_back("finish"); }
  void webViewDidFailLoadWithError(kit::WebView&, kit::Error* e) override {
    events.push_back("fail:" + e->domain() + ":" + std::to_string(e->code()));
  }
  bool ended() const {
    return !events.empty() && (events.back() == "finish" || events.back().rfind("fail", 0) == 0);
  }
};

class WebKitViewTest : public GuiFixture {
 protected:
  void SetUp() override {
    GuiFixture::SetUp();
    server_.route("GET", "/page", TestResponse::html(
        "<html><head><title>Test Page</title></head>"
        "<body style='margin:0;background:#c03030'><h1>Hello</h1>"
        "<a id='next' href='/second'>next</a> <a id='blank' href='/second' target='_blank'>new</a>"
        "<a id='refused' href='/refused'>refused</a></body></html>"));
    server_.route("GET", "/second", TestResponse::html("<title>Second</title><p>two</p>"));
    server_.route("GET", "/refused", TestResponse::html("<title>No</title>"));
    server_.route("GET", "/long", TestResponse::html("<title>Long</title><div style='height:5000px'>tall</div>"));
    server_.route("GET", "/binary", TestResponse::ok(std::string(64, 'x'), "application/octet-stream"));
    server_.route("GET", "/stall", TestResponse::html("<title>Slow</title>").stallBeforeHead(std::chrono::seconds(30)));
    window_ = kit::Window::window(Rect(0, 0, 640, 480));
    web_ = kit::WebView::create(Rect(0, 0, 640, 480));
    web_->setDelegate(&recorder_);
    window_->addSubview(web_.get());
    window_->makeKeyAndVisible();
    screenshotWindow(window_.get());
    settle();
  }
  void TearDown() override {
    GuiFixture::TearDown();
    web_->setDelegate(nullptr);
    web_->stopLoading();
    window_->setHidden(true);
    web_->removeFromSuperview();
    settle();
    server_.stop();
  }

  void load(const std::string& url) {
    recorder_.events.clear();
    web_->loadRequest(kit::URLRequest::requestWithURL(kit::URL::URLWithString(url)).get());
  }
  bool waitForEnd(double seconds = 15) { return waitUntil([&] { return recorder_.ended(); }, seconds); }

  TestHTTPServer server_;
  Ref<kit::Window> window_;
  Ref<kit::WebView> web_;
  Recorder recorder_;
};

TEST_F(WebKitViewTest, TheFactoryMakesWebKitViews) {
  EXPECT_NE(dynamic_cast<kit::gtk::WebKitView*>(web_.get()), nullptr);
}

TEST_F(WebKitViewTest, ALoadAsksThenStartsThenFinishes) {
  load(server_.url("/page"));
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"start", "finish"}));
  ASSERT_FALSE(recorder_.asked.empty());
  EXPECT_EQ(recorder_.asked.front().url, server_.url("/page"));
  EXPECT_EQ(recorder_.asked.front().type, 5);  // other: asked by the program
  EXPECT_FALSE(web_->isLoading());
  ASSERT_NE(web_->request(), nullptr);
  EXPECT_EQ(web_->request()->url()->absoluteString(), server_.url("/page"));
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("document.title"), "Test Page");
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("1 + 2"), "3");
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("undefined"), "");
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("null"), "");
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("throw new Error('x')"), "");
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("this is not javascript"), "");
}

TEST_F(WebKitViewTest, LinksAreAskedAboutAsLinkClicksAndHistoryFollows) {
  load(server_.url("/page"));
  ASSERT_TRUE(waitForEnd());
  EXPECT_FALSE(web_->canGoBack());
  recorder_.asked.clear();
  recorder_.events.clear();
  web_->stringByEvaluatingJavaScriptFromString("document.getElementById('next').click()");
  ASSERT_TRUE(waitForEnd());
  ASSERT_FALSE(recorder_.asked.empty());
  EXPECT_EQ(recorder_.asked.front().type, 0);
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("document.title"), "Second");
  EXPECT_TRUE(web_->canGoBack());
  EXPECT_FALSE(web_->canGoForward());
  recorder_.asked.clear();
  recorder_.events.clear();
  web_->goBack();
  ASSERT_TRUE(waitForEnd());
  EXPECT_TRUE(web_->canGoForward());
  ASSERT_FALSE(recorder_.asked.empty());
  EXPECT_EQ(recorder_.asked.front().type, 2);  // back/forward
  EXPECT_EQ(web_->request()->url()->absoluteString(), server_.url("/page"));
}

TEST_F(WebKitViewTest, ARefusedNavigationLoadsNothing) {
  load(server_.url("/page"));
  ASSERT_TRUE(waitForEnd());
  recorder_.refuseContaining = "/refused";
  recorder_.events.clear();
  recorder_.asked.clear();
  web_->stringByEvaluatingJavaScriptFromString("document.getElementById('refused').click()");
  ASSERT_TRUE(waitUntil([&] { return !recorder_.asked.empty(); }, 10));
  kit::RunLoop::main().runUntil(nullptr, 0.3);
  EXPECT_TRUE(recorder_.events.empty());
  EXPECT_TRUE(server_.requestsFor("/refused").empty());
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("document.title"), "Test Page");
}

TEST_F(WebKitViewTest, ANewWindowRequestIsANavigationOfThisView) {
  load(server_.url("/page"));
  ASSERT_TRUE(waitForEnd());
  recorder_.events.clear();
  recorder_.asked.clear();
  web_->stringByEvaluatingJavaScriptFromString("document.getElementById('blank').click()");
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"start", "finish"}));
  ASSERT_EQ(recorder_.asked.size(), 1u) << "asked once, not again for its own load";
  EXPECT_EQ(recorder_.asked.front().type, 0);
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("document.title"), "Second");
}

TEST_F(WebKitViewTest, FailuresCarryThePlatformsDomainsAndCodes) {
  // Nothing listens on a port the test held and let go.
  std::string closed;
  {
    TestHTTPServer gone;
    closed = gone.url("/x");
  }
  load(closed);
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(recorder_.events.back(), "fail:NSURLErrorDomain:-1004");

  load(server_.url("/binary"));
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(recorder_.events.back(), "fail:WebKitErrorDomain:102");

  load("tolva-unknown-scheme://x/");
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(recorder_.events.back(), "fail:NSURLErrorDomain:-1002");
}

TEST_F(WebKitViewTest, ALoadInterruptedByAnotherFailsAsCancelled) {
  load(server_.url("/stall"));
  ASSERT_TRUE(waitUntil([&] { return !recorder_.events.empty(); }, 10));
  EXPECT_TRUE(web_->isLoading());
  web_->loadRequest(kit::URLRequest::requestWithURL(kit::URL::URLWithString(server_.url("/second"))).get());
  ASSERT_TRUE(waitUntil([&] { return !recorder_.events.empty() && recorder_.events.back() == "finish"; }, 15));
  EXPECT_NE(std::find(recorder_.events.begin(), recorder_.events.end(), "fail:NSURLErrorDomain:-999"),
            recorder_.events.end());
}

TEST_F(WebKitViewTest, CertificatesAreNeverIgnored) {
  TestHTTPServer tls(tolvatest::TestHTTPServerOptions::https());
  tls.route("GET", "/", TestResponse::html("<title>Secret</title>"));
  load(tls.url("/"));
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(recorder_.events.back(), "fail:NSURLErrorDomain:-1202");
  EXPECT_NE(web_->stringByEvaluatingJavaScriptFromString("document.title"), "Secret");
}

TEST_F(WebKitViewTest, KitWorkWaitsUntilASynchronousEvaluationReturns) {
  load(server_.url("/page"));
  ASSERT_TRUE(waitForEnd());
  bool ran = false;
  kit::RunLoop::main().performAfterDelay(this, "due", nullptr, 0, [&] { ran = true; });
  const std::string answer = web_->stringByEvaluatingJavaScriptFromString(
      "new Promise(r => setTimeout(() => r('late'), 100)); 'now'");
  EXPECT_EQ(answer, "now");
  EXPECT_FALSE(ran) << "a delayed call ran inside the evaluation";
  EXPECT_TRUE(waitUntil([&] { return ran; }, 5));
}

// A GLib callback run while kit waits (as WebKit's own signals and the
// program's idle work are) evaluates a script while kit's wakeup is pending:
// the answer must still come, not starve behind kit's ready wait.
TEST_F(WebKitViewTest, AnEvaluationFromAGLibCallbackDuringAKitWaitIsAnswered) {
  load(server_.url("/page"));
  ASSERT_TRUE(waitForEnd());
  struct Probe {
    kit::WebView* web;
    std::string answer;
    gint64 tookUs = -1;
  } probe{web_.get(), {}, -1};
  g_idle_add([](gpointer p) -> gboolean {
    auto* probe = static_cast<Probe*>(p);
    kit::RunLoop::main().wakeUp();
    const gint64 start = g_get_monotonic_time();
    probe->answer = probe->web->stringByEvaluatingJavaScriptFromString("document.title");
    probe->tookUs = g_get_monotonic_time() - start;
    return G_SOURCE_REMOVE;
  }, &probe);
  ASSERT_TRUE(waitUntil([&] { return probe.tookUs >= 0; }, 10));
  EXPECT_EQ(probe.answer, "Test Page");
  EXPECT_LT(probe.tookUs, 2'000'000);
}

TEST_F(WebKitViewTest, TheUserAgentComesFromTheSettings) {
  auto defaults = kit::MutableDictionary::dictionary();
  defaults->setObject(kit::String::string("TolvaTest/1.0 (GUI)"), "UserAgent");
  kit::UserDefaults::standardUserDefaults().registerDefaults(defaults.get());
  load(server_.url("/second"));
  ASSERT_TRUE(waitForEnd());
  auto requests = server_.requestsFor("/second");
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().headers.value("User-Agent"), "TolvaTest/1.0 (GUI)");
  EXPECT_EQ(web_->stringByEvaluatingJavaScriptFromString("navigator.userAgent"), "TolvaTest/1.0 (GUI)");
  kit::UserDefaults::standardUserDefaults().registerDefaults(kit::Dictionary::dictionary().get());
}

TEST_F(WebKitViewTest, SnapshotsShowThePage) {
  load(server_.url("/page"));
  ASSERT_TRUE(waitForEnd());
  settle();
  ASSERT_TRUE(waitUntil([&] {
    Ref<kit::Image> shot = web_->snapshot();
    return shot->hasPixels() && shot->pixelAt(600, 400) != 0xFFFFFFFFu;
  }, 5));
  Ref<kit::Image> shot = web_->snapshot();
  EXPECT_EQ(shot->pixelWidth(), 640u);
  EXPECT_EQ(shot->pixelHeight(), 480u);
  const uint32_t px = shot->pixelAt(600, 400);  // the page's red background
  const uint8_t r = px >> 24, g = (px >> 16) & 0xff, b = (px >> 8) & 0xff;
  EXPECT_GT(r, 150);
  EXPECT_LT(g, 100);
  EXPECT_LT(b, 100);
}

TEST_F(WebKitViewTest, TheScrollViewFollowsThePageBothWays) {
  load(server_.url("/long"));
  ASSERT_TRUE(waitForEnd());
  kit::ScrollView* sv = web_->scrollView();
  ASSERT_NE(sv, nullptr);
  ASSERT_TRUE(waitUntil([&] { return sv->contentSize().height > 4000; }, 5)) << kit::toString(sv->contentSize());
  sv->setContentOffset({0, 700});
  EXPECT_TRUE(waitUntil([&] { return web_->stringByEvaluatingJavaScriptFromString("String(window.scrollY)") == "700"; }, 5));
  web_->stringByEvaluatingJavaScriptFromString("window.scrollTo(0, 1200)");
  static_cast<kit::gtk::WebKitView*>(web_.get())->evaluateAsync("0", nullptr);
  // A wheel turn over the page makes the view re-read the page's position.
  GdkEvent* wheel = gdk_event_new(GDK_SCROLL);
  wheel->scroll.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(static_cast<kit::gtk::WebKitView*>(web_.get())->webWidget())));
  wheel->scroll.direction = GDK_SCROLL_DOWN;
  gdk_event_set_device(wheel, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_widget_event(static_cast<kit::gtk::WebKitView*>(web_.get())->webWidget(), wheel);
  gdk_event_free(wheel);
  EXPECT_TRUE(waitUntil([&] { return sv->contentOffset().y >= 1200; }, 5)) << kit::toString(sv->contentOffset());
}

}  // namespace
