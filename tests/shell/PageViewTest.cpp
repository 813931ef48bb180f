// The page view: creation from its interface file, the load check, the
// finish and fail sequences, the memory rule, tab state and the login probe.
// The tests play the page's part through the headless web view.

#include "ShellTest.h"
#include "kit/net/URLError.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestHTTPServer.h"
#include "kit/net/HTTPReadStream.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/ui/Layer.h"
#include "kit/ui/ScrollView.h"
#include "shell/UIWebViewExpand.h"
#include "data/VeskAuthenticationTableViewController.h"

using namespace tolva;

namespace {

// The tab strip as the page sees it, recording what it is told.
struct FakeStrip : VeskWebViewDelegate {
  struct NewTab {
    std::string url;
    bool selected;
    bool privateMode;
  };
  std::vector<NewTab> newTabs;
  int screenshots = 0, titles = 0, favicons = 0;
  mutable int identifierAsks = 0;
  int index = 0;
  bool shots = true;
  bool answersNewTab = true;

  bool respondsTo(Optional call) const override { return call != Optional::NeedToCreateNewTab || answersNewTab; }
  void needToCreateNewTab(VeskWebView*, const std::string& url, bool selected, bool privateMode) override {
    newTabs.push_back({url, selected, privateMode});
  }
  void moveTab(int) override {}
  void screenShotUpdated(VeskWebView&) override { ++screenshots; }
  void titleUpdated(VeskWebView&) override { ++titles; }
  kit::PopoverController* getBookmarkPopover() override { return nullptr; }
  kit::NavigationController* getBookmarkNavicon() override { return nullptr; }
  void faviconUpdated(VeskWebView&) override { ++favicons; }
  void showInfoBox(const std::string&, kit::Image*) override {}
  int getIdentifierForPersistentData(const VeskWebView&) const override {
    ++identifierAsks;
    return index;
  }
  void makeAllTabsFullscreen(int) override {}
  bool isScreenShotActive() const override { return shots; }
  void closeMe(VeskWebView&) override {}
};

class PageViewTest : public shelltest::ShellTest {
 protected:
  void TearDown() override {
    pages.clear();
    ShellTest::TearDown();
  }

  // A page at `url` with its web view made (and the first load allowed).
  VeskWebView* open(const std::string& url = "http://site.test/dir/page.html") {
    kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, &strip, url);
    EXPECT_TRUE(p);
    pages.push_back(p);
    return p.get();
  }
  // A page whose web view is not made yet.
  VeskWebView* openLater(const std::string& url = "http://site.test/") {
    kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, &strip, url, false);
    pages.push_back(p);
    return p.get();
  }
  static void setAccurate(bool on) {
    defaults().setBool(on, "opt_use_accurate_page_load_completion");
    rereadSettings();
  }
  static size_t historyCount() { return historyEntries()->count(); }
  // Visits recorded since the fixture began (a repeat of one page is one entry, counted again).
  int historyRecords = 0;
  kit::NotificationCenter::Token historyObserver = kit::NotificationCenter::defaultCenter().addObserver(
      tolva::kVeskBookmarkDatabaseUpdateHistoryNotification, nullptr,
      [this](const kit::Notification&) { ++historyRecords; });
  static kit::Ref<kit::Error> error(long code, const std::string& description = "It failed",
                                    const std::string& reason = "") {
    kit::Ref<kit::MutableDictionary> info = kit::MutableDictionary::dictionary();
    info->setObject(kit::str(description), kit::Error::kLocalizedDescriptionKey);
    if (!reason.empty()) info->setObject(kit::str(reason), kit::Error::kLocalizedFailureReasonKey);
    return kit::Error::errorWithDomain(kit::WebView::kURLErrorDomain, code, info);
  }

  FakeStrip strip;  // declared first: it outlives the pages
  std::vector<kit::Ref<VeskWebView>> pages;
};

TEST_F(PageViewTest, TheInterfaceFileBuildsEveryOutletAndNoWebViewUntilShown) {
  VeskWebView* p = openLater("http://site.test/");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->autoresizingMask(), 63u);
  EXPECT_EQ(p->frame(), kit::Rect(0, 0, 1024, 598));
  EXPECT_EQ(p->delegate(), &strip);
  for (kit::View* v : {p->placeholderView(),
                       p->placeholderViewWithEmbeddedUrlBar(),
                       (kit::View*)p->faviconView(),
                       (kit::View*)p->btnStopRefresh(),
                       p->urlBaseView(),
                       p->header_left(),
                       p->header_right(),
                       (kit::View*)p->activity(),
                       p->progressBoundary(),
                       (kit::View*)p->title(),
                       (kit::View*)p->urlField(),
                       (kit::View*)p->searchField(),
                       p->textFieldZoomPlaceHolder(),
                       (kit::View*)p->textFieldZoomCloseBtn(),
                       (kit::View*)p->btnRotationLock(),
                       p->toolBarView1(),
                       p->toolBarView2(),
                       (kit::View*)p->btnPrivate(),
                       (kit::View*)p->btnFullscreenExit(),
                       (kit::View*)p->btnFullscreenPrev(),
                       (kit::View*)p->btnFullscreenNext(),
                       p->vwFontPopup(),
                       (kit::View*)p->btnFontIncrease(),
                       (kit::View*)p->btnFontReset(),
                       (kit::View*)p->btnFontDecrease(),
                       p->header_left_placeHolder(),
                       p->header_right_placeHolder(),
                       (kit::View*)p->resultTableView(),
                       (kit::View*)p->pullDownToRefreshLabel()})
    EXPECT_TRUE(v);
  for (kit::BarButtonItem* b :
       {p->btnNext(), p->btnPrev(), p->btnAction(), p->btnEzCommand(), p->readerBtn(), p->bookmarkBtn()})
    EXPECT_TRUE(b && b->hasAction());
  EXPECT_EQ(p->urlField()->text(), "http://site.test/");
  EXPECT_EQ(p->searchField()->placeholder(), "Google");
  EXPECT_EQ(p->textFontSize(), 100u);
  EXPECT_FALSE(p->urlBaseView()->layer()->sublayers().empty());  // the gradient

  // Nothing a tab strip asks of a hidden page makes its web view.
  EXPECT_FALSE(p->getScreenShot({100, 100}));
  EXPECT_EQ(p->getTitle(), "");
  p->updateButtonUI();
  EXPECT_FALSE(p->btnPrev()->isEnabled());
  EXPECT_EQ(p->btnFullscreenPrev()->alpha(), 0.5);
  app()->receiveMemoryWarning();
  EXPECT_FALSE(p->existingWebView());
  EXPECT_TRUE(p->hitStamp());

  p->willBeViewed();
  ASSERT_TRUE(web(p));
  EXPECT_FALSE(p->hitStamp());
  EXPECT_EQ(lastLoad(p), "http://site.test/");
  EXPECT_EQ(web(p)->frame(), p->placeholderView()->frame());
  EXPECT_EQ(web(p)->delegate(), p);
  EXPECT_EQ(web(p)->scrollView()->delegate(), p);
  EXPECT_TRUE(web(p)->scalesPageToFit());
  // A long press, swipes in four directions and taps, with 2 to 4 fingers.
  EXPECT_EQ(web(p)->gestureRecognizers().size(), 1u + 12u + 3u);
  ASSERT_TRUE(p->customScrollIndicator());
  EXPECT_EQ(p->customScrollIndicator()->frame(), kit::Rect(1024 - 7, 5, 5, web(p)->frame().height() - 10));
  EXPECT_EQ(p->customScrollIndicator()->autoresizingMask(), 17u);
  EXPECT_EQ(p->customScrollIndicator()->dataSource(), p);
}

TEST_F(PageViewTest, ThePhoneLayoutHasNoEmbeddedBarTemplateAndFewerGestures) {
  usePhone();
  VeskWebView* p = open("http://site.test/");
  EXPECT_EQ(p->frame().size, (kit::Size{1024, 598}));  // the caller's frame wins
  EXPECT_FALSE(p->placeholderViewWithEmbeddedUrlBar());
  EXPECT_EQ(web(p)->gestureRecognizers().size(), 1u + 8u + 2u);
}

TEST_F(PageViewTest, WithoutALocationThePageOpensTheHomePage) {
  EXPECT_EQ(lastLoad(open("")), VeskWebView::kDefaultHomePage);
  defaults().setString("http://home.test/", "homepage");
  EXPECT_EQ(lastLoad(open("")), "http://home.test/");
  defaults().setString("", "homepage");
  EXPECT_EQ(lastLoad(open("")), VeskWebView::kDefaultHomePage);
}

TEST_F(PageViewTest, NewTabMarkersOpenTabsAndNeverNavigateThePage) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  struct Case {
    std::string url;
    std::string target;
    bool selected;
  };
  const Case cases[] = {
      {"http://site.test/dir/newtabquorb58301946627/http://target.test/a", "http://target.test/a", true},
      {"newbgtabquorb58301946627http://target.test/b", "http://target.test/b", false},
      {"http://site.test/go?u=newtabquorb58301946627%2fhttp://target.test/c", "http://target.test/c", true},
      {"http://site.test/go?u=newbgtabquorb58301946627%2Fhttp://target.test/d", "http://target.test/d", false},
      {"HTTP://SITE.TEST/dir/NewTabQuorb58301946627/http://target.test/e", "http://target.test/e", true},
      {"http://site.test/dir/newtabquorb58301946627/other.html", "http://site.test/dir/other.html", true},
      {"http://site.test/dir/newbgtabquorb58301946627../up.html", "http://site.test/up.html", false},
  };
  for (const Case& c : cases) {
    strip.newTabs.clear();
    EXPECT_FALSE(w->fireShouldStart(c.url, kit::WebViewNavigationType::LinkClicked)) << c.url;
    ASSERT_EQ(strip.newTabs.size(), 1u) << c.url;
    EXPECT_EQ(strip.newTabs[0].url, c.target) << c.url;
    EXPECT_EQ(strip.newTabs[0].selected, c.selected) << c.url;
    EXPECT_FALSE(strip.newTabs[0].privateMode);
    EXPECT_EQ(p->downloadable_url(), "");
    EXPECT_EQ(w->request()->url()->absoluteString(), "http://site.test/dir/page.html");
  }
  // A private page's new tabs are private too.
  p->setPrivateMode(true);
  w->fireShouldStart(cases[0].url, kit::WebViewNavigationType::LinkClicked);
  EXPECT_TRUE(strip.newTabs.back().privateMode);
  // A strip that does not take new tabs: still no navigation.
  strip.answersNewTab = false;
  strip.newTabs.clear();
  EXPECT_FALSE(w->fireShouldStart(cases[0].url, kit::WebViewNavigationType::LinkClicked));
  EXPECT_TRUE(strip.newTabs.empty());
  // Without a marker an ordinary link loads and becomes the downloadable URL.
  EXPECT_TRUE(w->fireShouldStart("http://site.test/file.zip", kit::WebViewNavigationType::LinkClicked));
  EXPECT_EQ(p->downloadable_url(), "http://site.test/file.zip");
}

TEST_F(PageViewTest, LinksForOtherProgramsAreConfirmedFirst) {
  for (const char* s : {"mailto", "tel", "itms"}) app()->headlessURLOpener().addOpenableScheme(s);
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  struct Case {
    const char* url;
    const char* message;
  };
  const Case cases[] = {
      {"mailto:me@example.org", "Mail to me@example.org"},
      {"tel:+15551234", "Call +15551234"},
      {"itms://store.example/app", "Selected link requires another Application. Would you like to continue ?"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(w->fireShouldStart(c.url, kit::WebViewNavigationType::LinkClicked)) << c.url;
    kit::AlertView* ask = topAlert();
    ASSERT_TRUE(ask) << c.url;
    EXPECT_EQ(ask->tag(), VeskWebView::kTagExternalLink);
    EXPECT_EQ(ask->message(), c.message);
    EXPECT_EQ(ask->buttonTitleAtIndex(0), "Cancel");
    EXPECT_EQ(ask->buttonTitleAtIndex(1), "Continue");
    ASSERT_TRUE(p->external_url());
    EXPECT_EQ(p->downloadable_url(), "");
    ask->tapButtonWithTitle("Continue");
    EXPECT_FALSE(p->external_url());
  }
  EXPECT_EQ(app()->headlessURLOpener().openedURLs().size(), 3u);

  w->fireShouldStart("mailto:you@example.org", kit::WebViewNavigationType::LinkClicked);
  topAlert()->tapButtonWithTitle("Cancel");
  EXPECT_FALSE(p->external_url());
  EXPECT_EQ(app()->headlessURLOpener().openedURLs().size(), 3u);

  // What no program takes is left to the web view, without a question.
  for (const char* url : {"about:blank", "javascript:void(0)", "data:text/plain,hi"}) {
    EXPECT_TRUE(w->fireShouldStart(url, kit::WebViewNavigationType::LinkClicked)) << url;
    EXPECT_FALSE(topAlert()) << url;
  }
}

TEST_F(PageViewTest, AFinishedLoadRecordsHistorySavesTheTabAndRefillsTheForm) {
  kit::Ref<kit::Dictionary> fields(new kit::Dictionary({{"user", kit::str("me")}, {"pw", kit::str("secret")}}));
  VeskPagePasswordDatabase::sharedInstance()->updatePassword("pw", fields.get(), "site.test");
  strip.index = 3;
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  w->setScriptAnswer("document.title", "The Page");
  w->fireDidStart();
  EXPECT_TRUE(p->activity()->isAnimating());
  EXPECT_FALSE(p->progressBoundary()->isHidden());
  EXPECT_TRUE(p->btnStopRefresh()->isSelected());
  EXPECT_EQ(p->title()->text(), "Loading ...");
  EXPECT_EQ(p->urlLoadCounter(), 1);
  w->fireDidFinish();

  EXPECT_EQ(p->urlLoadCounter(), 0);
  EXPECT_FALSE(p->activity()->isAnimating());
  EXPECT_TRUE(p->progressBoundary()->isHidden());
  EXPECT_FALSE(p->btnStopRefresh()->isSelected());
  EXPECT_EQ(p->title()->text(), "The Page");
  ASSERT_EQ(historyCount(), 1u);
  kit::Ref<kit::Array> history = historyEntries();
  auto* visit = history->get<kit::Dictionary>(0);
  EXPECT_EQ(visit->get<kit::String>("title")->str(), "The Page");
  EXPECT_EQ(visit->get<kit::String>("url")->str(), "http://site.test/dir/page.html");
  kit::Ref<kit::Dictionary> saved = defaults().dictionaryForKey("tab3");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->get<kit::String>("title")->str(), "The Page");
  EXPECT_EQ(saved->get<kit::String>("location")->str(), "http://site.test/dir/page.html");
  EXPECT_EQ(saved->get<kit::Number>("textFontSize")->intValue(), 100);
  EXPECT_FALSE(saved->get<kit::Number>("private")->boolValue());
  EXPECT_EQ(w->evaluatedCount("setVeSkValue('user','me');"), 1u);
  EXPECT_EQ(w->evaluatedCount("setVeSkValue('pw','secret');"), 1u);
  EXPECT_EQ(w->evaluatedCount("document.body.style.webkitTouchCallout='none';"), 1u);

  // The scripts are injected again half a second later, the screenshot 2 s later.
  size_t linkTargets = w->evaluatedCount("injectLinkTargets();");
  loop().advance(0.5);
  EXPECT_EQ(w->evaluatedCount("injectLinkTargets();"), linkTargets + 1);
  EXPECT_EQ(strip.screenshots, 0);
  loop().advance(1.5);
  EXPECT_EQ(strip.screenshots, 1);

  // Without screenshots in the strip it waits 8 s; a private page records no visit.
  strip.shots = false;
  p->setPrivateMode(true);
  p->setTextFontSize(150);
  w->completeLoad();
  EXPECT_EQ(historyCount(), 1u);
  EXPECT_EQ(w->evaluatedCount("document.getElementsByTagName('body')[0].style.webkitTextSizeAdjust= '150%'"), 1u);
  loop().advance(7.9);
  EXPECT_EQ(strip.screenshots, 1);
  loop().advance(0.2);
  EXPECT_EQ(strip.screenshots, 2);
  EXPECT_TRUE(defaults().dictionaryForKey("tab3")->get<kit::Number>("private")->boolValue());
}

TEST_F(PageViewTest, AccurateDetectionFinishesAPageOfFramesExactlyOnce) {
  setAccurate(true);
  kit::Ref<kit::Dictionary> fields(new kit::Dictionary({{"user", kit::str("me")}, {"pw", kit::str("pw")}}));
  VeskPagePasswordDatabase::sharedInstance()->updatePassword("pw", fields.get(), "site.test");
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  w->setScriptAnswer("document.title", "Framed");
  for (int i = 0; i < 3; ++i) w->fireDidStart();
  EXPECT_EQ(p->urlLoadCounter(), 3);
  w->fireDidFinish();
  w->fireDidFinish();
  EXPECT_EQ(historyRecords, 0);
  EXPECT_EQ(strip.identifierAsks, 0);
  EXPECT_EQ(p->title()->text(), "Framed");  // refreshed while frames load
  EXPECT_TRUE(p->activity()->isAnimating());
  w->fireDidFinish();
  EXPECT_EQ(historyRecords, 1);
  EXPECT_EQ(strip.identifierAsks, 1);
  EXPECT_EQ(w->evaluatedCount("setVeSkValue('user','me');"), 1u);
  EXPECT_FALSE(p->activity()->isAnimating());
  loop().advance(10);
  EXPECT_EQ(strip.screenshots, 1);

  // A frame that fails counts as done too.
  w->fireDidStart();
  w->fireDidStart();
  w->fireDidFail(kit::WebView::kURLErrorDomain, kit::WebView::kURLErrorCancelled);
  EXPECT_EQ(historyRecords, 1);
  w->fireDidFinish();
  EXPECT_EQ(historyRecords, 2);
  // Ten seconds on, the same page counts as a second visit.
  ASSERT_EQ(historyCount(), 1u);
  EXPECT_EQ(historyEntries()->get<kit::Dictionary>(0)->get<kit::Number>("visit_count")->intValue(), 2);
}

TEST_F(PageViewTest, WithoutAccurateDetectionEveryFrameFinishes) {
  setAccurate(false);
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  for (int i = 0; i < 3; ++i) w->fireDidStart();
  for (int i = 0; i < 3; ++i) w->fireDidFinish();
  EXPECT_EQ(historyRecords, 3);
  EXPECT_EQ(p->urlLoadCounter(), 0);
  // The delayed injection and screenshot are re-armed, not piled up.
  loop().advance(10);
  EXPECT_EQ(strip.screenshots, 1);
}

TEST_F(PageViewTest, OnlyFailuresWorthTellingShowAnAlert) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);

  // Cancelled loads, plug-in hand-overs, no error at all: nothing to tell.
  for (long code : {kit::WebView::kURLErrorCancelled, kit::WebView::kWebKitErrorPlugInWillHandleLoad}) {
    w->fireDidStart();
    w->fireDidFail(error(code).get());
    EXPECT_FALSE(topAlert()) << code;
  }
  w->fireDidFail(nullptr);
  EXPECT_FALSE(topAlert());
  EXPECT_EQ(p->urlLoadCounter(), 0);

  // Content the page cannot show, after a link: offered for download.
  ASSERT_TRUE(w->fireShouldStart("http://files.test/docs/report.pdf?x=1", kit::WebViewNavigationType::LinkClicked));
  w->fireDidStart();
  w->fireDidFail(error(kit::WebView::kWebKitErrorFrameLoadInterrupted).get());
  EXPECT_FALSE(p->activity()->isAnimating());
  EXPECT_FALSE(p->btnStopRefresh()->isSelected());
  kit::AlertView* offer = topAlert();
  ASSERT_TRUE(offer);
  EXPECT_EQ(offer->tag(), VeskWebView::kTagDownload);
  EXPECT_EQ(offer->title(), "Download");
  EXPECT_EQ(offer->message(), "The file 'report.pdf' can not be displayed. Would you like to download it?");
  offer->tapButtonWithTitle("Cancel");
  EXPECT_EQ(VeskDownloadManager::sharedInstance()->count(), 0);
  w->fireDidFail(error(kit::WebView::kWebKitErrorFrameLoadInterrupted).get());
  topAlert()->tapButtonWithTitle("OK");
  ASSERT_EQ(VeskDownloadManager::sharedInstance()->count(), 1);
  EXPECT_EQ(VeskDownloadManager::sharedInstance()->list()->get<kit::Dictionary>(0)->get<kit::String>("url")->str(),
            "http://files.test/docs/report.pdf?x=1");

  // The same failure with nothing to download: silent.
  w->fireShouldStart("http://site.test/newtabquorb58301946627/http://x.test/", kit::WebViewNavigationType::LinkClicked);
  EXPECT_EQ(p->downloadable_url(), "");
  w->fireDidFail(error(kit::WebView::kWebKitErrorFrameLoadInterrupted).get());
  EXPECT_FALSE(topAlert());

  // An unsupported URL while a link waits for the go-ahead to open elsewhere: silent.
  app()->headlessURLOpener().addOpenableScheme("tel");
  w->fireShouldStart("tel:123", kit::WebViewNavigationType::LinkClicked);
  kit::AlertView* ask = topAlert();
  w->fireDidFail(error(kit::WebView::kURLErrorUnsupportedURL).get());
  EXPECT_EQ(topAlert(), ask);
  ask->tapButtonWithTitle("Cancel");

  // Otherwise it is told, with the error's own texts.
  w->fireDidFail(error(kit::WebView::kURLErrorUnsupportedURL, "Unsupported URL").get());
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Unsupported URL");
  topAlert()->tapButton(0);
  w->fireDidFail(error(-1009, "No connection", "The network is offline.").get());
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "No connection");
  EXPECT_EQ(topAlert()->message(), "The network is offline.");
  EXPECT_EQ(topAlert()->buttonTitleAtIndex(0), "Close");
  EXPECT_FALSE(topAlert()->delegate());
  topAlert()->tapButton(0);

  // Nothing is loading after a failure: the title names the address that failed.
  p->title()->setText("Loading ...");
  kit::Ref<kit::MutableDictionary> info = kit::MutableDictionary::dictionary();
  info->setObject(kit::str("Could not connect"), kit::Error::kLocalizedDescriptionKey);
  info->setObject(kit::str("http://down.test/page"), kit::URLError::kFailingURLStringKey);
  w->fireDidFail(kit::Error::errorWithDomain(kit::WebView::kURLErrorDomain, -1004, info).get());
  EXPECT_EQ(p->title()->text(), "http://down.test/page");
}

TEST_F(PageViewTest, AHiddenPageDropsItsWebViewOnlyPastTheLimits) {
  VeskWebView* shown = open("http://shown.test/");
  shown->willBeViewed();
  VeskWebView* hidden = open("http://hidden.test/");
  hidden->willBeViewed();
  hidden->willBeHidden();
  kit::Ref<kit::WebView> dropped(hidden->existingWebView());

  loop().advance(20);  // exactly 20 s: not yet
  app()->receiveMemoryWarning();
  EXPECT_TRUE(hidden->existingWebView());
  EXPECT_EQ(hidden->memoryIgnoreCnt(), 1);
  loop().advance(40);  // exactly 60 s with one warning survived: kept
  app()->receiveMemoryWarning();
  EXPECT_TRUE(hidden->existingWebView());
  EXPECT_EQ(hidden->memoryIgnoreCnt(), 2);
  loop().advance(0.5);  // past 60 s
  app()->receiveMemoryWarning();
  EXPECT_FALSE(hidden->existingWebView());
  EXPECT_EQ(hidden->memoryIgnoreCnt(), 0);
  EXPECT_FALSE(dropped->delegate());
  EXPECT_FALSE(dropped->scrollView()->delegate());
  EXPECT_FALSE(dropped->superview());

  // The shown page keeps its web view whatever happens.
  loop().advance(1000);
  for (int i = 0; i < 5; ++i) app()->receiveMemoryWarning();
  EXPECT_TRUE(shown->existingWebView());
  EXPECT_FALSE(hidden->existingWebView());  // no web view, nothing counted
  EXPECT_EQ(hidden->memoryIgnoreCnt(), 0);

  // Shown again, it comes back and reloads its page.
  hidden->willBeViewed();
  EXPECT_EQ(lastLoad(hidden), "http://hidden.test/");
}

TEST_F(PageViewTest, AfterTwoWarningsTwentySecondsAreEnough) {
  VeskWebView* p = open();
  p->willBeViewed();
  p->willBeHidden();
  loop().advance(5);
  app()->receiveMemoryWarning();
  loop().advance(16);  // 21 s with only one warning survived: kept
  app()->receiveMemoryWarning();
  EXPECT_TRUE(p->existingWebView());
  EXPECT_EQ(p->memoryIgnoreCnt(), 2);
  loop().advance(1);  // 22 s after two: dropped
  app()->receiveMemoryWarning();
  EXPECT_FALSE(p->existingWebView());
}

TEST_F(PageViewTest, ADestroyedPageLeavesNothingPointingAtIt) {
  tolvatest::TestHTTPServer server;
  server.route("GET", "/slow",
               tolvatest::TestResponse::withStatus(401, "who?")
                   .header("WWW-Authenticate", "Basic realm=\"x\"")
                   .stallBeforeHead(std::chrono::milliseconds(200)));
  app()->headlessURLOpener().addOpenableScheme("mailto");
  defaults().setBool(true, "opt_http_auth");
  rereadSettings();
  kit::Ref<kit::WebView> webView;
  kit::Ref<kit::ScrollView> scroll;
  kit::Ref<kit::GestureRecognizer> gesture;
  kit::Ref<kit::AlertView> ask;
  {
    kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, &strip, server.url("/slow"));
    webView = p->existingWebView();
    scroll = webView->scrollView();
    gesture = webView->gestureRecognizers().at(1);
    loop().advance(3);  // the login probe starts
    ASSERT_TRUE(p->probeConnection());
    ASSERT_TRUE(server.waitForRequests(1));
    web(p.get())->fireShouldStart("mailto:a@b.c", kit::WebViewNavigationType::LinkClicked);
    ask = topAlert();
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->delegate(), dynamic_cast<kit::AlertViewDelegate*>(p.get()));
  }
  EXPECT_FALSE(webView->delegate());
  EXPECT_FALSE(scroll->delegate());
  EXPECT_FALSE(gesture->delegate());
  EXPECT_FALSE(ask->delegate());
  ask->tapButton(1);  // no page to answer: nothing happens
  // The probe's answer arrives for nobody; no delayed call reaches the page.
  loop().runUntil([] { return false; }, 0.5);
  loop().advance(30);
  EXPECT_TRUE(kit::PopoverController::visiblePopovers().empty());
}

TEST_F(PageViewTest, TabStateIsSavedAndRestored) {
  VeskWebView* p = open("http://saved.test/a");
  p->setPrivateMode(true);
  p->setTextFontSize(130);
  web(p)->setScriptAnswer("document.title", "Saved Title");
  p->saveAsIdentifier(-1);
  EXPECT_FALSE(defaults().exists("tab-1"));
  p->saveAsIdentifier(2);
  ASSERT_TRUE(defaults().dictionaryForKey("tab2"));

  kit::Ref<VeskWebView> restored = VeskWebView::allocInstance({0, 0, 800, 600}, &strip, 2);
  ASSERT_TRUE(restored);
  EXPECT_FALSE(restored->existingWebView());
  EXPECT_TRUE(restored->privateMode());
  EXPECT_EQ(restored->location(), "http://saved.test/a");
  EXPECT_EQ(restored->textFontSize(), 130u);
  EXPECT_EQ(restored->title()->text(), "Saved Title");
  restored->willBeViewed();
  EXPECT_EQ(lastLoad(restored.get()), "http://saved.test/a");

  // An address too long for the settings file is not kept.
  p->setLocation("data:text/plain," + std::string(VeskWebView::kMaxStoredLocationBytes, 'x'));
  p->saveAsIdentifier(3);
  ASSERT_TRUE(defaults().dictionaryForKey("tab3"));
  EXPECT_EQ(defaults().dictionaryForKey("tab3")->get<kit::String>("location")->str(), "");

  // No title: "Loading ..."; an empty location: the home page when shown.
  defaults().setDictionary(kit::Ref<kit::Dictionary>(new kit::Dictionary({{"location", kit::str("")}})).get(), "tab5");
  kit::Ref<VeskWebView> bare = VeskWebView::allocInstance({0, 0, 800, 600}, &strip, 5);
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->title()->text(), "Loading ...");
  EXPECT_FALSE(bare->privateMode());
  EXPECT_EQ(bare->textFontSize(), 100u);
  bare->willBeViewed();
  EXPECT_EQ(lastLoad(bare.get()), VeskWebView::kDefaultHomePage);

  // A missing entry, or one that is not a dictionary, restores nothing.
  EXPECT_FALSE(VeskWebView::allocInstance({0, 0, 800, 600}, &strip, 7));
  defaults().setString("garbage", "tab6");
  EXPECT_FALSE(VeskWebView::allocInstance({0, 0, 800, 600}, &strip, 6));
  EXPECT_FALSE(bare->restoreFromIdentifier(-1));

  // Sizes that are no percentage are left at 100.
  defaults().setDictionary(kit::Ref<kit::Dictionary>(new kit::Dictionary({{"textFontSize", kit::num(-5)}})).get(),
                           "tab8");
  EXPECT_EQ(VeskWebView::allocInstance({0, 0, 800, 600}, &strip, 8)->textFontSize(), 100u);
}

TEST_F(PageViewTest, TheLoginProbeRunsThreeSecondsAfterAnAllowedLoad) {
  tolvatest::TestHTTPServer server;
  server.route("GET", "/open", tolvatest::TestResponse::ok("fine"));
  server.route("GET", "/login",
               tolvatest::TestResponse::withStatus(401, "who?").header("WWW-Authenticate", "Basic realm=\"x\""));
  defaults().setBool(true, "opt_http_auth");
  rereadSettings();
  const std::string open1 = server.url("/open");
  VeskWebView* p = open(open1);
  EXPECT_EQ(p->authen_url(), open1);
  loop().advance(2.9);
  EXPECT_FALSE(p->probeConnection());
  loop().advance(0.2);
  // The probe is under way; on a fast machine it may already have its answer.
  EXPECT_TRUE(p->probeConnection() || server.requestsFor("/open").size() == 1u);

  // A page that needs no login: the probe ends with the response.
  ASSERT_TRUE(loop().runUntil([&] { return !p->probeConnection() && server.requestsFor("/open").size() == 1u; }, 10));
  EXPECT_TRUE(kit::PopoverController::visiblePopovers().empty());

  // A finished load before the probe is due cancels it.
  web(p)->fireShouldStart(server.url("/open?again"), kit::WebViewNavigationType::LinkClicked);
  web(p)->completeLoad();
  loop().advance(5);
  EXPECT_FALSE(p->probeConnection());

  // A login challenge: the load stops and the login screen points at the page's centre.
  const std::string login1 = server.url("/login");
  web(p)->fireShouldStart(login1, kit::WebViewNavigationType::LinkClicked);
  web(p)->fireDidStart();
  loop().advance(3);  // the probe starts; its 401 may arrive at once
  ASSERT_TRUE(loop().runUntil([] { return !kit::PopoverController::visiblePopovers().empty(); }, 10));
  EXPECT_FALSE(p->probeConnection());
  EXPECT_EQ(p->urlLoadCounter(), 0);
  EXPECT_FALSE(p->activity()->isAnimating());
  EXPECT_GE(web(p)->stopCount(), 1);
  ASSERT_EQ(kit::PopoverController::visiblePopovers().size(), 1u);
  auto popover = kit::PopoverController::visiblePopovers()[0];
  auto* nav = dynamic_cast<kit::NavigationController*>(popover->contentViewController());
  ASSERT_TRUE(nav);
  auto* login = dynamic_cast<VeskAuthenticationTableViewController*>(nav->topViewController());
  ASSERT_TRUE(login);
  EXPECT_EQ(login->urlStr(), login1);
  EXPECT_EQ(login->veskWebView(), p);
  EXPECT_EQ(login->pop(), popover.get());
  EXPECT_EQ(p->authen_url(), "");
  EXPECT_FALSE(p->bSkipAuthCheck());

  // The login screen loads with the credentials; that load is not probed again.
  p->loadRequest(login1, "user", "pass");
  kit::URLRequest* r = web(p)->lastLoadedRequest();
  EXPECT_EQ(r->valueForHTTPHeaderField("Authorization").value_or(""), "Basic dXNlcjpwYXNz");
  EXPECT_EQ(r->cachePolicy(), kit::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
  EXPECT_EQ(r->timeoutInterval(), 3);
  EXPECT_EQ(p->authen_url(), login1);
  loop().advance(5);
  EXPECT_FALSE(p->probeConnection());
  EXPECT_EQ(server.requestsFor("/login").size(), 1u);
}

TEST_F(PageViewTest, SpecialLoadsAndChosenURLs) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  size_t loads = w->loadedRequests().size();
  p->loadRequest("http://about:blank");
  EXPECT_EQ(w->loadedRequests().size(), loads);
  EXPECT_EQ(w->evaluatedCount("document.location='about:blank'"), 1u);

  p->bookmarkUrlSelected("example.org/x");
  EXPECT_EQ(lastLoad(p), "http://example.org/x");
  EXPECT_EQ(w->lastLoadedRequest()->cachePolicy(), kit::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
  EXPECT_EQ(w->lastLoadedRequest()->timeoutInterval(), 60);
  p->bookmarkUrlSelected("JavaScript:alert(%22hi%20there%22)");
  EXPECT_EQ(w->evaluatedCount("JavaScript:alert(\"hi there\")"), 1u);
  p->bookmarkUrlSelected("http://site.test/newtabquorb58301946627/http://t.test/");
  ASSERT_EQ(strip.newTabs.size(), 1u);
  EXPECT_EQ(strip.newTabs[0].url, "http://t.test/");
  // Text that is no URL at all loads nothing.
  loads = w->loadedRequests().size();
  p->loadRequest(":::: not a url");
  EXPECT_EQ(w->loadedRequests().size(), loads);
  // Text the address field would take is taken the same way.
  p->loadRequest("http://exa mple.org/a b");
  EXPECT_EQ(w->loadedRequests().size(), loads + 1);
}

TEST_F(PageViewTest, StopAndReloadFollowTheButton) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  w->fireDidStart();
  ASSERT_TRUE(p->btnStopRefresh()->isSelected());
  p->btnStopRefresh()->tap();
  EXPECT_FALSE(p->btnStopRefresh()->isSelected());
  EXPECT_EQ(p->urlLoadCounter(), 0);
  EXPECT_TRUE(p->progressBoundary()->isHidden());
  EXPECT_EQ(strip.screenshots, 1);
  size_t loads = w->loadedRequests().size();
  p->btnStopRefresh()->tap();
  EXPECT_EQ(w->loadedRequests().size(), loads + 1);
  EXPECT_EQ(lastLoad(p), "http://site.test/dir/page.html");
}

TEST_F(PageViewTest, FormValuesReachThePageExactly) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  w->clearEvaluatedScripts();
  UIWebViewExpand::setValue(*w, "a b'\xC3\xBC\xE2\x82\xAC", "user's\nname");
  ASSERT_EQ(w->evaluatedScripts().size(), 2u);
  EXPECT_EQ(w->evaluatedScripts()[1], "setVeSkValue('user\\'s\\nname','a%20b%27%FC%u20AC');");
}

TEST_F(PageViewTest, APageMadeWithoutItsInterfaceFileStillLoads) {
  kit::Ref<VeskWebView> bare = kit::make<VeskWebView>(kit::Rect(0, 0, 300, 200));
  bare->setDelegate(&strip);
  bare->setLocation("http://bare.test/");
  bare->willBeViewed();
  kit::HeadlessWebView* w = web(bare.get());
  ASSERT_TRUE(w);
  EXPECT_EQ(w->frame(), bare->bounds());
  w->completeLoad();
  w->fireDidFail(error(-1009).get());
  bare->onStopReload();
  EXPECT_EQ(historyCount(), 1u);
}

TEST_F(PageViewTest, TheLoginProbeAsksOnlyAServerWhoseCertificateVerifies) {
  ASSERT_TRUE(kit::HTTPReadStream::addTrustedCertificate(
      tolvatest::TestCertificateAuthority::shared().certificatePEM()));
  auto challenge =
      tolvatest::TestResponse::withStatus(401, "who?").header("WWW-Authenticate", "Basic realm=\"x\"");
  defaults().setBool(true, "opt_http_auth");
  rereadSettings();

  // A certificate from an authority nobody trusts: no request, no login screen.
  tolvatest::TestHTTPServer forged(
      tolvatest::TestHTTPServerOptions::https(tolvatest::TestCertificateAuthority::untrustedCertificate()));
  forged.route("GET", "/login", challenge);
  VeskWebView* p = open(forged.url("/login"));
  loop().advance(3);
  ASSERT_TRUE(loop().runUntil([&] { return !p->probeConnection(); }, 10));
  EXPECT_TRUE(forged.requestsFor("/login").empty());
  EXPECT_TRUE(kit::PopoverController::visiblePopovers().empty());

  // The same challenge over a verified connection asks for the login.
  tolvatest::TestHTTPServer sound(tolvatest::TestHTTPServerOptions::https());
  sound.route("GET", "/login", challenge);
  web(p)->fireShouldStart(sound.url("/login"), kit::WebViewNavigationType::LinkClicked);
  web(p)->fireDidStart();
  loop().advance(3);
  ASSERT_TRUE(loop().runUntil([] { return !kit::PopoverController::visiblePopovers().empty(); }, 10));
  EXPECT_EQ(sound.requestsFor("/login").size(), 1u);
}

}  // namespace

namespace {

TEST_F(PageViewTest, ANewLocationWithoutAnIconAsksForItAgainFourSecondsLater) {
  VeskWebView* p = open();
  int before = strip.favicons;
  p->setLocation("http://no-icon.test/a.html");
  EXPECT_EQ(strip.favicons, before + 1);  // at once, with what is stored
  loop().advance(3.9);
  EXPECT_EQ(strip.favicons, before + 1);
  // Another new location re-arms the delay.
  p->setLocation("http://no-icon.test/b.html");
  EXPECT_EQ(strip.favicons, before + 2);
  loop().advance(3.9);
  EXPECT_EQ(strip.favicons, before + 2);
  loop().advance(0.2);
  EXPECT_EQ(strip.favicons, before + 3);
  loop().advance(60);
  EXPECT_EQ(strip.favicons, before + 3);
}

}  // namespace
