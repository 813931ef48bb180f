// Start-up, incoming URLs, the passcode window, the review question and the
// clear-data buttons of the application delegate.

#include "ShellTest.h"
#include "data/VeskPasscodeStore.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"
#include "kit/net/CachedURLResponse.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/net/HTTPCookie.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLCache.h"
#include "kit/net/URLRequest.h"
#include "kit/ui/Screen.h"
#include "shell/MyMutableURLRequest.h"
#include "shell/VeskAnalytics.h"
#include "share/core/DefaultShareConfigurator.h"
#include "data/MyURLCache.h"
#include "data/MyURLRequest.h"
#include "data/PINViewController.h"

using namespace tolva;

namespace {

class AppDelegateTest : public shelltest::ShellTest {
 protected:
  // Hands a URL over as another program would; answers the delegate's answer.
  bool open(const std::string& text) {
    kit::Ref<kit::URL> url = kit::URL::URLWithString(text);
    EXPECT_TRUE(url) << text;
    return app()->openURL(url.get());
  }
  std::vector<std::string> locations() const {
    std::vector<std::string> out;
    for (auto& p : tabs()->tabs()) out.push_back(p->location());
    return out;
  }
  PINViewController* pinScreen() const {
    kit::Window* w = delegate()->window2();
    kit::ViewController* root = w ? w->rootViewController() : nullptr;
    return root ? dynamic_cast<PINViewController*>(root->presentedViewController()) : nullptr;
  }
  void setPasscode(const std::string& code) { tolva::VeskPasscodeStore::setPasscode(code); }
  static void noReviewYet() { VeskAnalytics::sharedInstance()->setRemindCounter(5); }
};

TEST_F(AppDelegateTest, StartUpShowsTheMainScreenAndInstallsHooksAndCache) {
  ASSERT_TRUE(launch());
  kit::Window* window = delegate()->window();
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_FALSE(window->isHidden());
  ASSERT_TRUE(controller());
  EXPECT_EQ(controller()->nibName(), "VeskWebViewController");
  EXPECT_EQ(controller()->view()->frame(), kit::Screen::mainScreen().applicationFrame());
  EXPECT_EQ(controller()->view()->superview(), window);

  // A first start opens the welcome page (selected) and a tab at the home page.
  ASSERT_EQ(tabs()->tabCount(), 2);
  EXPECT_EQ(tabs()->curSel(), 0);
  EXPECT_EQ(lastLoad(page(0)), VeskMultiTabView::welcomePageURL(true));
  // The tab not on show makes no web view (and no web process) until it is shown.
  EXPECT_FALSE(page(1)->existingWebView());
  EXPECT_EQ(page(1)->location(), VeskWebView::kDefaultHomePage);
  tabs()->setCurSel(1);
  EXPECT_EQ(lastLoad(page(1)), VeskWebView::kDefaultHomePage);
  tabs()->setCurSel(0);

  EXPECT_TRUE(MyMutableURLRequest::isUserAgentOverwriteInstalled());
  EXPECT_TRUE(MyURLRequest::isAdblockFilterInstalled());
  EXPECT_NO_THROW(ShareConfiguration::sharedInstance());
  // A cache with no capacity is replaced by one of 512 KiB and 10 MiB.
  auto* cache = dynamic_cast<MyURLCache*>(kit::URLCache::sharedURLCache().get());
  ASSERT_TRUE(cache);
  EXPECT_EQ(cache->memoryCapacity(), 524288u);
  EXPECT_EQ(cache->diskCapacity(), 10485760u);
  EXPECT_TRUE(cache->diskPath().ends_with("/web_cache")) << cache->diskPath();
}

TEST_F(AppDelegateTest, PhoneStartUpUsesThePhoneFilesAndKeepsExistingCacheCapacities) {
  usePhone();
  kit::URLCache::setSharedURLCache(kit::make<kit::URLCache>(1000, 2000, "small_cache"));
  defaults().setString("http://start.test/", "homepage");
  ASSERT_TRUE(launch());
  EXPECT_EQ(controller()->nibName(), "VeskWebViewController~iphone");
  EXPECT_EQ(controller()->view()->frame().size, (kit::Size{320, 460}));
  EXPECT_EQ(lastLoad(page(0)), VeskMultiTabView::welcomePageURL(false));
  EXPECT_FALSE(page(1)->existingWebView());
  tabs()->setCurSel(1);
  EXPECT_EQ(lastLoad(page(1)), "http://start.test/");
  kit::Ref<kit::URLCache> cache = kit::URLCache::sharedURLCache();
  EXPECT_TRUE(dynamic_cast<MyURLCache*>(cache.get()));
  EXPECT_EQ(cache->memoryCapacity(), 1000u);
  EXPECT_EQ(cache->diskCapacity(), 2000u);
}

TEST_F(AppDelegateTest, ALaunchURLOpensInANewTab) {
  kit::Ref<kit::Dictionary> options(
      new kit::Dictionary({{kit::Application::kLaunchOptionsURLKey, kit::URL::URLWithString("tolp://example.org/a")}}));
  ASSERT_TRUE(launch(options));
  ASSERT_EQ(tabs()->tabCount(), 3);
  EXPECT_EQ(page(1)->location(), "http://example.org/a");
  EXPECT_EQ(tabs()->curSel(), 1);
  EXPECT_EQ(lastLoad(page(1)), "http://example.org/a");
  // Only the page on show has a web view: the welcome page gave way before it made one.
  EXPECT_FALSE(page(0)->existingWebView());
  EXPECT_FALSE(page(2)->existingWebView());
  tabs()->setCurSel(0);
  EXPECT_EQ(lastLoad(page(0)), VeskMultiTabView::welcomePageURL(true));
}

TEST_F(AppDelegateTest, HandedOverURLsOpenInNewTabsAndFileURLsAreIgnored) {
  ASSERT_TRUE(launch());
  EXPECT_TRUE(delegate()->handleURL(nullptr));
  EXPECT_TRUE(open("https://example.org/x?y=1"));
  EXPECT_TRUE(open("file:///etc/passwd"));
  EXPECT_TRUE(open("ftp://files.example.org/"));
  EXPECT_EQ(locations(), (std::vector<std::string>{VeskMultiTabView::welcomePageURL(true), "https://example.org/x?y=1",
                                                   "ftp://files.example.org/", VeskWebView::kDefaultHomePage}));
}

TEST_F(AppDelegateTest, TolpURLsAreRepairedAndNeverReadPastTheEnd) {
  ASSERT_TRUE(launch());
  const std::pair<const char*, const char*> cases[] = {
      {"tolp://example.org/page", "http://example.org/page"},
      {"TOLP://example.org/", "http://example.org/"},
      {"tolp://http//example.org/a", "http://example.org/a"},
      {"tolp://HtTpS//example.org/b", "https://example.org/b"},
      {"tolp://https://example.org/c", "https://example.org/c"},
      {"tolp://HTTP://example.org/d", "HTTP://example.org/d"},
      {"tolp://ab", "http://ab"},
      {"tolp:x", "http://x"},
  };
  for (auto& [given, opened] : cases) {
    int before = tabs()->tabCount();
    EXPECT_TRUE(open(given)) << given;
    ASSERT_EQ(tabs()->tabCount(), before + 1) << given;
    EXPECT_EQ(page(tabs()->curSel())->location(), opened) << given;
  }
  // Nothing after the scheme: nothing to open, and no crash.
  for (const char* empty : {"tolp:", "tolp://", "tolp:/"}) {
    int before = tabs()->tabCount();
    EXPECT_TRUE(open(empty)) << empty;
    EXPECT_EQ(tabs()->tabCount(), before) << empty;
  }
}

TEST_F(AppDelegateTest, SocialNetworkCallbacksNeedTheConfiguredAppId) {
  ASSERT_TRUE(launch());
  // The browser's configurator names an app id: its callback goes to the
  // social-network sharer, which takes the token, and opens no tab.
  const int start = tabs()->tabCount();
  EXPECT_TRUE(open("fb482913607558214://authorize#access_token=x"));
  EXPECT_EQ(tabs()->tabCount(), start);
  EXPECT_EQ(kit::UserDefaults::standardUserDefaults().stringForKey("kShareFacebookAccessToken"), "x");
  // Another "fb" scheme is an ordinary URL.
  EXPECT_TRUE(open("fb1234://x"));
  EXPECT_EQ(tabs()->tabCount(), start + 1);

  // Without an app id no scheme counts as the callback.
  ShareConfiguration::resetForTesting();
  ShareConfiguration::sharedInstanceWithConfigurator(kit::make<DefaultShareConfigurator>());
  EXPECT_TRUE(open("fb://authorize"));
  EXPECT_TRUE(open("fbanything://x"));
  EXPECT_EQ(tabs()->tabCount(), start + 3);
}

TEST_F(AppDelegateTest, APasscodeLocksAtLaunchUntilTheRightPIN) {
  setPasscode("1234");
  noReviewYet();
  ASSERT_TRUE(launch());
  EXPECT_TRUE(delegate()->bPasscodeVisible());
  EXPECT_TRUE(delegate()->window()->isHidden());
  ASSERT_TRUE(delegate()->window2());
  EXPECT_TRUE(delegate()->window2()->isKeyWindow());
  PINViewController* pin = pinScreen();
  ASSERT_TRUE(pin);
  EXPECT_EQ(pin->messageText(), "Enter Your PIN");
  EXPECT_EQ(pin->title(), "Tolva Web Browser");

  ASSERT_TRUE(pin->inputField());
  EXPECT_TRUE(pin->inputField()->isFirstResponder());
  pin->inputField()->typeText("4321");
  EXPECT_EQ(pin->errorText(), "Passcode did not match. Try again.");
  EXPECT_EQ(app()->vibrationCount(), 1u);
  EXPECT_EQ(pin->inputField()->text(), "");
  EXPECT_TRUE(delegate()->bPasscodeVisible());

  kit::Ref<PINViewController> keep(pin);
  pin->inputField()->typeText("1234");
  EXPECT_EQ(app()->vibrationCount(), 1u);
  EXPECT_FALSE(pin->presentingViewController());
  EXPECT_FALSE(delegate()->bPasscodeVisible());
  EXPECT_FALSE(delegate()->window2());
  EXPECT_FALSE(delegate()->window()->isHidden());
  EXPECT_TRUE(delegate()->window()->isKeyWindow());
}

TEST_F(AppDelegateTest, TheRightPINRestoresTheLockedOrientation) {
  setPasscode("1234");
  noReviewYet();
  defaults().setBool(true, "opt_lock_rotation");
  defaults().setInteger(static_cast<int>(kit::InterfaceOrientation::LandscapeLeft), "opt_lock_rotation_info");
  ASSERT_TRUE(launch());
  PINViewController* pin = pinScreen();
  ASSERT_TRUE(pin);
  kit::Application::sharedApplication()->setStatusBarOrientation(kit::InterfaceOrientation::Portrait);
  kit::Ref<PINViewController> keep(pin);
  pin->inputField()->typeText("4321");
  EXPECT_TRUE(delegate()->bPasscodeVisible());
  EXPECT_EQ(kit::Application::sharedApplication()->statusBarOrientation(), kit::InterfaceOrientation::Portrait);
  pin->inputField()->typeText("1234");
  EXPECT_FALSE(delegate()->bPasscodeVisible());
  EXPECT_EQ(kit::Application::sharedApplication()->statusBarOrientation(), kit::InterfaceOrientation::LandscapeLeft);

}

TEST_F(AppDelegateTest, OnlyAFourCharacterPasscodeLocks) {
  for (const char* code : {"123", "12345", ""}) {
    setPasscode(code);
    ASSERT_TRUE(launch());
    EXPECT_FALSE(delegate()->bPasscodeVisible()) << code;
    EXPECT_FALSE(delegate()->window()->isHidden()) << code;
    delegate()->checkAndShowPasscode(true);
    EXPECT_FALSE(delegate()->window()->isHidden()) << code;
    ShareConfiguration::resetForTesting();
  }
}

TEST_F(AppDelegateTest, ResigningActiveArmsThePasscodeCheckAfterTwoAndAHalfSeconds) {
  noReviewYet();
  ASSERT_TRUE(launch());
  setPasscode("2468");

  // A short interruption: becoming active again cancels the check.
  app()->resignActive();
  loop().advance(2.4);
  app()->becomeActive();
  loop().advance(10);
  EXPECT_FALSE(delegate()->bPasscodeVisible());

  // A longer one: the PIN screen is up when the user returns.
  app()->resignActive();
  loop().advance(2.4);
  EXPECT_FALSE(delegate()->bPasscodeVisible());
  loop().advance(0.2);
  EXPECT_TRUE(delegate()->bPasscodeVisible());
  EXPECT_TRUE(delegate()->window()->isHidden());
}

TEST_F(AppDelegateTest, BackgroundHidesTheWindowAndForegroundAsksForThePIN) {
  noReviewYet();
  ASSERT_TRUE(launch());
  setPasscode("1111");
  int used = VeskAnalytics::sharedInstance()->usageCounter();
  defaults().setString("kept", "background_probe");
  app()->enterBackground();
  EXPECT_TRUE(delegate()->window()->isHidden());
  EXPECT_FALSE(delegate()->bPasscodeVisible());
  EXPECT_EQ(VeskAnalytics::sharedInstance()->usageCounter(), used + 1);
  // Settings reach the disk on the way out: the program may be ended there.
  kit::Ref<kit::Object> file = kit::PropertyList::readFromFile(defaults().path());
  auto* onDisk = kit::cast<kit::Dictionary>(file);
  ASSERT_TRUE(onDisk);
  EXPECT_TRUE(onDisk->get<kit::String>("background_probe"));
  app()->enterForeground();
  EXPECT_TRUE(delegate()->bPasscodeVisible());
}

TEST_F(AppDelegateTest, AskOnlyWithPrivateTabsShowsTheWindowWhenNoneWasOpen) {
  noReviewYet();
  ASSERT_TRUE(launch());
  setPasscode("1111");
  defaults().setBool(true, "passcode_ask_only_private_exists");
  app()->enterBackground();
  EXPECT_TRUE(delegate()->window()->isHidden());
  app()->enterForeground();
  EXPECT_FALSE(delegate()->bPasscodeVisible());
  EXPECT_FALSE(delegate()->window()->isHidden());

  // With a private tab open when going away, the PIN is asked.
  page(0)->setPrivateMode(true);
  app()->enterBackground();
  app()->enterForeground();
  EXPECT_TRUE(delegate()->bPasscodeVisible());
}

// A desktop window mostly only loses the focus: a private tab opened after the
// last background still locks the window once the delayed check runs.
TEST_F(AppDelegateTest, AskOnlyWithPrivateTabsSeesATabOpenedSinceTheLastBackground) {
  noReviewYet();
  ASSERT_TRUE(launch());
  setPasscode("1111");
  defaults().setBool(true, "passcode_ask_only_private_exists");
  page(0)->setPrivateMode(true);
  app()->resignActive();
  loop().advance(2.6);
  EXPECT_TRUE(delegate()->bPasscodeVisible());
}

TEST_F(AppDelegateTest, TheReviewQuestionHasThreeAnswers) {
  struct Case {
    const char* button;
    bool reviewed;
    int remind;
    bool opensStore;
  };
  const Case cases[] = {
      {"Sure!", true, 0, true}, {"Ask me later.", false, 10, false}, {"No, Thanks.", false, 2000, false}};
  for (const Case& c : cases) {
    VeskAnalytics::sharedInstance()->setReviewed(false);
    VeskAnalytics::sharedInstance()->setRemindCounter(0);
    app()->headlessURLOpener().clear();
    ASSERT_TRUE(launch());
    kit::AlertView* alert = topAlert();
    ASSERT_TRUE(alert) << c.button;
    EXPECT_EQ(alert->tag(), VeskWebAppDelegate::kTagReview);
    EXPECT_EQ(alert->title(), "Review helps us.");
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "No, Thanks.");
    EXPECT_TRUE(delegate()->bReviewVisible());
    // Only one question at a time.
    delegate()->checkAndAskReview();
    EXPECT_EQ(kit::AlertView::visibleAlerts().size(), 1u);

    ASSERT_TRUE(alert->tapButtonWithTitle(c.button));
    EXPECT_FALSE(delegate()->bReviewVisible());
    EXPECT_EQ(VeskAnalytics::sharedInstance()->reviewed(), c.reviewed) << c.button;
    EXPECT_EQ(VeskAnalytics::sharedInstance()->remindCounter(), c.remind) << c.button;
    EXPECT_EQ(app()->headlessURLOpener().openedURLs().size(), c.opensStore ? 1u : 0u) << c.button;
    ShareConfiguration::resetForTesting();
  }
  // Not asked while uses remain to count down.
  app()->becomeActive();
  EXPECT_FALSE(topAlert());
}

TEST_F(AppDelegateTest, TheShellRegistersTheClassesNamedInSettingsAndSharing) {
  kit::ClassRegistry registry;
  tolva::registerShellClasses(registry);
  for (const char* name : {"ShareCopy", "ShareMail", "VeskPasscodeViewController"})
    EXPECT_TRUE(registry.classExists(name)) << name;
}

TEST_F(AppDelegateTest, EachClearDataButtonAsksByTagAndActsOnlyOnClear) {
  noReviewYet();
  ASSERT_TRUE(launch());
  auto& registry = kit::ClassRegistry::shared();
  struct Case {
    const char* action;
    long tag;
    const char* question;
    const char* result;
  };
  const Case cases[] = {
      {"onDeleteCookies", 1, "Do you want to clear all the cookies?", "All the cookies were removed."},
      {"onDeleteHistories:key:", 2, "Do you want to clear all the histories?", "All the histories were removed."},
      {"onDeletePasswords", 4, "Do you want to clear all the saved password(s)?", "All the passwords were removed."},
      {"onLogoutAllShareAccounts", 5, "Do you want to clear all share account sessions?",
       "All the share account sessions were cleared."},
      {"onDeleteCaches", 6, "Do you want to clear the cache?", "Browser cache was cleared."},
  };
  auto& cookies = kit::HTTPCookieStorage::sharedHTTPCookieStorage();
  kit::Ref<kit::URL> site = kit::URL::URLWithString("http://example.org/");
  auto cachedRequest = kit::URLRequest::requestWithURL(site);
  auto fill = [&] {
    cookies.setCookies(kit::HTTPCookie::cookiesWithSetCookieHeaders({"a=1", "b=2"}, *site), *site, nullptr);
    VeskBookmarkDatabase::getSharedInstance()->addItemAtHistory("t", "http://example.org/");
    kit::Ref<kit::Dictionary> fields(new kit::Dictionary({{"user", kit::str("me")}, {"pw", kit::str("pw")}}));
    VeskPagePasswordDatabase::sharedInstance()->updatePassword("pw", fields.get(), "example.org");
    auto response = kit::HTTPURLResponse::responseWithURL(site, 200, "HTTP/1.1", {{"Content-Type", "text/plain"}});
    kit::URLCache::sharedURLCache()->storeCachedResponse(
        kit::CachedURLResponse::cachedResponse(response, kit::Data::dataWithString("page")), *cachedRequest);
  };
  auto cached = [&] { return bool(kit::URLCache::sharedURLCache()->cachedResponseForRequest(*cachedRequest)); };
  for (const Case& c : cases) {
    fill();
    // Cancel changes nothing.
    registry.callClassFunction("VeskWebAppDelegate", c.action);
    kit::AlertView* ask = topAlert();
    ASSERT_TRUE(ask) << c.action;
    EXPECT_EQ(ask->tag(), c.tag);
    EXPECT_EQ(ask->message(), c.question);
    EXPECT_EQ(ask->title(), "");
    EXPECT_EQ(ask->buttonTitleAtIndex(0), "Cancel");
    EXPECT_EQ(ask->buttonTitleAtIndex(1), "Clear");
    EXPECT_EQ(ask->delegate(), dynamic_cast<kit::AlertViewDelegate*>(delegate()));
    ask->tapButton(0);
    EXPECT_FALSE(topAlert());
    EXPECT_EQ(cookies.cookies().size(), 2u);
    EXPECT_TRUE(cached());

    registry.callClassFunction("VeskWebAppDelegate", c.action);
    topAlert()->tapButtonWithTitle("Clear");
    kit::AlertView* result = topAlert();
    ASSERT_TRUE(result) << c.action;
    EXPECT_EQ(result->message(), c.result);
    EXPECT_EQ(result->buttonTitleAtIndex(0), "OK");
    EXPECT_FALSE(result->delegate());
    result->tapButton(0);
    EXPECT_EQ(cookies.cookies().empty(), c.tag == 1) << c.action;
    EXPECT_EQ(historyEntries()->count() == 0, c.tag == 2) << c.action;
    EXPECT_EQ(VeskPagePasswordDatabase::sharedInstance()->count() == 0, c.tag == 4) << c.action;
    EXPECT_EQ(!cached(), c.tag == 6) << c.action;
    cookies.deleteAllCookies();
    VeskBookmarkDatabase::getSharedInstance()->clearHistory();
    VeskPagePasswordDatabase::sharedInstance()->deleteAllPasswords();
  }
}

TEST_F(AppDelegateTest, SettingsLinksOpenInTheSystem) {
  noReviewYet();
  ASSERT_TRUE(launch());
  VeskWebAppDelegate::onBookmarkLet(nullptr, nullptr);
  VeskWebAppDelegate::onRateThisApp(nullptr, nullptr);
  EXPECT_EQ(app()->headlessURLOpener().openedURLs(),
            (std::vector<std::string>{VeskWebAppDelegate::kBookmarkletHelpURL, VeskWebAppDelegate::kReviewURL}));
}

TEST_F(AppDelegateTest, TerminatingCountsAUseAndSaves) {
  noReviewYet();
  ASSERT_TRUE(launch());
  app()->terminate();
  EXPECT_EQ(VeskAnalytics::sharedInstance()->usageCounter(), 1);
  EXPECT_EQ(VeskAnalytics::sharedInstance()->remindCounter(), 4);
  // Saved: a fresh read of the file sees it.
  kit::UserDefaults::discardStandardUserDefaultsForTesting();
  EXPECT_EQ(defaults().integerForKey("ana_usage_counter"), 1);
}

}  // namespace
