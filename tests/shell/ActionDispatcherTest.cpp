// The page view's numbered actions as gestures, buttons and other views run
// them: every code's effect and caption, the held-off sender, the swipe
// debounce, the gesture settings, the long press and the two toolbar menus.

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <type_traits>

#include "ShellTest.h"
#include "downloads/VeskDownloadTableViewController.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/NavigationController.h"
#include "kit/foundation/Number.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/PinchGestureRecognizer.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/SwipeGestureRecognizer.h"
#include "kit/ui/TapGestureRecognizer.h"
#include "shell/PreferredLanguages.h"

using namespace tolva;

namespace {

// The tab strip as the page sees it, recording what it is told.
struct FakeStrip : VeskWebViewDelegate {
  struct Caption {
    std::string text;
    kit::Image* icon;
  };
  std::vector<Caption> captions;
  std::vector<int> moves;
  std::vector<std::string> newTabs;
  std::vector<int> fullscreen;
  int closes = 0, screenshots = 0;
  std::function<void()> onMove;  // runs inside moveTab

  void needToCreateNewTab(VeskWebView*, const std::string& url, bool selected, bool privateMode) override {
    newTabs.push_back(url + (selected ? "|selected" : "|background") + (privateMode ? "|private" : ""));
  }
  void moveTab(int delta) override {
    moves.push_back(delta);
    if (onMove) onMove();
  }
  void screenShotUpdated(VeskWebView&) override { ++screenshots; }
  kit::PopoverController* getBookmarkPopover() override { return bookmarks.get(); }
  kit::NavigationController* getBookmarkNavicon() override { return nullptr; }
  void showInfoBox(const std::string& text, kit::Image* image) override { captions.push_back({text, image}); }
  kit::Ref<kit::PopoverController> bookmarks;
  int getIdentifierForPersistentData(const VeskWebView&) const override { return 0; }
  void makeAllTabsFullscreen(int mode) override { fullscreen.push_back(mode); }
  bool isScreenShotActive() const override { return true; }
  void closeMe(VeskWebView&) override { ++closes; }

  std::string lastCaption() const { return captions.empty() ? "" : captions.back().text; }
  kit::Image* lastIcon() const { return captions.empty() ? nullptr : captions.back().icon; }
};

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class ActionDispatcherTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    defaults().setInteger(5, "ana_remind_counter");  // no review question over the tests
  }
  void TearDown() override {
    pages.clear();
    ShellTest::TearDown();
  }

  VeskWebView* open(const std::string& url = "http://site.test/page.html") {
    kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, &strip, url);
    EXPECT_TRUE(p);
    pages.push_back(p);
    return p.get();
  }
  static kit::ScrollView* scroll(VeskWebView* p) { return p->existingWebView()->scrollView(); }

  template <class T>
  static T* recogniser(VeskWebView* p, size_t fingers, unsigned direction = 0) {
    for (auto& g : p->existingWebView()->gestureRecognizers()) {
      if (auto* swipe = kit::cast<kit::SwipeGestureRecognizer>(g.get())) {
        if constexpr (std::is_same_v<T, kit::SwipeGestureRecognizer>)
          if (swipe->numberOfTouchesRequired() == fingers && swipe->direction() == direction) return swipe;
      } else if (auto* tap = kit::cast<kit::TapGestureRecognizer>(g.get())) {
        if constexpr (std::is_same_v<T, kit::TapGestureRecognizer>)
          if (tap->numberOfTouchesRequired() == fingers) return tap;
      } else if (auto* hold = kit::cast<kit::LongPressGestureRecognizer>(g.get())) {
        if constexpr (std::is_same_v<T, kit::LongPressGestureRecognizer>) return hold;
      }
    }
    return nullptr;
  }
  static void setSetting(const char* key, int code) {
    defaults().setInteger(code, key);
    rereadSettings();
  }

  FakeStrip strip;  // declared first: it outlives the pages
  std::vector<kit::Ref<VeskWebView>> pages;
};

TEST_F(ActionDispatcherTest, EachCodeActsAndAnnouncesItself) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  kit::Image* gesture = VeskInfoBoxView::sharedGestureIcon();

  p->handleAction(2);
  p->handleAction(3);
  EXPECT_EQ(strip.moves, (std::vector<int>{-1, 1}));
  ASSERT_EQ(strip.captions.size(), 2u);
  EXPECT_EQ(strip.captions[0].text, "Previous Tab");
  EXPECT_EQ(strip.captions[0].icon, VeskInfoBoxView::sharedTabLeft());
  EXPECT_EQ(strip.captions[1].text, "Next Tab");
  EXPECT_EQ(strip.captions[1].icon, VeskInfoBoxView::sharedTabRight());

  p->handleAction(4);
  EXPECT_EQ(strip.closes, 1);
  EXPECT_EQ(strip.lastCaption(), "Close Tab");
  EXPECT_EQ(strip.lastIcon(), gesture);

  p->handleAction(5);
  EXPECT_EQ(w->goBackCount(), 1);
  EXPECT_EQ(strip.lastCaption(), "Previous Page");
  p->handleAction(6);
  EXPECT_EQ(w->goForwardCount(), 1);
  EXPECT_EQ(strip.lastCaption(), "Next Page");

  // Stop while loading, reload otherwise: the caption follows the button as it was.
  p->btnStopRefresh()->setSelected(true);
  p->handleAction(10);
  EXPECT_EQ(w->stopCount(), 1);
  EXPECT_EQ(strip.lastCaption(), "Stop loading");
  EXPECT_FALSE(p->btnStopRefresh()->isSelected());
  w->clearLoads();
  p->handleAction(10);
  EXPECT_EQ(lastLoad(p), "http://site.test/page.html");
  EXPECT_EQ(strip.lastCaption(), "Reload");

  p->handleAction(11);
  EXPECT_EQ(strip.lastCaption(), "Reader");
  p->handleAction(19);
  EXPECT_EQ(strip.lastCaption(), "Translate");

  p->handleAction(14);
  EXPECT_TRUE(p->showFontPopup());
  EXPECT_FALSE(p->vwFontPopup()->isHidden());

  p->handleAction(22);
  EXPECT_EQ(strip.newTabs, (std::vector<std::string>{"|selected"}));
  EXPECT_EQ(strip.lastCaption(), "New tab");
  EXPECT_EQ(strip.lastIcon(), gesture);
}

TEST_F(ActionDispatcherTest, CodesOutsideOneToTwentyEightDoNothing) {
  VeskWebView* p = open();
  kit::SwipeGestureRecognizer* swipe = recogniser<kit::SwipeGestureRecognizer>(p, 2, kit::SwipeGestureRecognizer::Up);
  ASSERT_TRUE(swipe);
  web(p)->clearLoads();
  web(p)->clearEvaluatedScripts();
  for (int code : {0, 29, 100, -1, -28}) {
    p->handleAction(code, swipe);
    EXPECT_TRUE(swipe->isEnabled()) << code;
    EXPECT_EQ(swipe->delegate(), p) << code;
  }
  p->handleActionFromOutside(nullptr);
  p->handleActionFromOutside(kit::Number::numberWithInteger(29).get());
  loop().advance(1);
  EXPECT_TRUE(strip.captions.empty());
  EXPECT_TRUE(strip.moves.empty());
  EXPECT_TRUE(web(p)->loadedRequests().empty());
  EXPECT_TRUE(kit::ActionSheet::visibleSheets().empty());

  // From outside, a number carries the code (a trackpad's double tap).
  p->handleActionFromOutside(kit::Number::numberWithInteger(3).get());
  EXPECT_EQ(strip.moves, (std::vector<int>{1}));
}

TEST_F(ActionDispatcherTest, TheSenderIsHeldOffWhileItsActionRuns) {
  VeskWebView* p = open();
  kit::SwipeGestureRecognizer* swipe =
      recogniser<kit::SwipeGestureRecognizer>(p, 2, kit::SwipeGestureRecognizer::Left);
  ASSERT_TRUE(swipe);
  bool enabledDuring = true;
  kit::GestureRecognizerDelegate* delegateDuring = p;
  strip.onMove = [&] {
    enabledDuring = swipe->isEnabled();
    delegateDuring = swipe->delegate();
  };
  EXPECT_TRUE(swipe->swipe(kit::SwipeGestureRecognizer::Left, 2));
  EXPECT_EQ(strip.moves, (std::vector<int>{1}));  // two fingers left: next tab
  EXPECT_FALSE(enabledDuring);
  EXPECT_EQ(delegateDuring, nullptr);
  EXPECT_TRUE(swipe->isEnabled());
  EXPECT_EQ(swipe->delegate(), p);
}

TEST_F(ActionDispatcherTest, SwipesWithinHalfASecondCountOnce) {
  VeskWebView* p = open();
  kit::SwipeGestureRecognizer* left = recogniser<kit::SwipeGestureRecognizer>(p, 2, kit::SwipeGestureRecognizer::Left);
  kit::SwipeGestureRecognizer* right =
      recogniser<kit::SwipeGestureRecognizer>(p, 2, kit::SwipeGestureRecognizer::Right);
  ASSERT_TRUE(left && right);
  EXPECT_FALSE(p->timeStamp());

  left->swipe(kit::SwipeGestureRecognizer::Left, 2);
  loop().advance(0.3);
  right->swipe(kit::SwipeGestureRecognizer::Right, 2);  // too soon: ignored
  EXPECT_EQ(strip.moves, (std::vector<int>{1}));
  loop().advance(0.25);  // 0.55 s after the first; the ignored one did not count
  right->swipe(kit::SwipeGestureRecognizer::Right, 2);
  EXPECT_EQ(strip.moves, (std::vector<int>{1, -1}));
  loop().advance(0.5);  // exactly half a second is enough
  left->swipe(kit::SwipeGestureRecognizer::Left, 2);
  EXPECT_EQ(strip.moves, (std::vector<int>{1, -1, 1}));

  // A swipe that is not recognised still counts as the last swipe.
  loop().advance(1);
  left->fireInState(kit::GestureRecognizer::State::Cancelled, {});
  EXPECT_EQ(strip.moves.size(), 3u);
  loop().advance(0.4);
  left->swipe(kit::SwipeGestureRecognizer::Left, 2);
  EXPECT_EQ(strip.moves.size(), 3u);
  loop().advance(0.6);
  left->swipe(kit::SwipeGestureRecognizer::Left, 2);
  EXPECT_EQ(strip.moves.size(), 4u);

  // A clock set back does not hold swipes off until it catches up.
  kit::Clock::setVirtual(kit::Clock::now() - 3600);
  left->swipe(kit::SwipeGestureRecognizer::Left, 2);
  EXPECT_EQ(strip.moves.size(), 5u);
}

TEST_F(ActionDispatcherTest, EachSwipeAndTapReadsItsOwnSetting) {
  // Codes with captions of their own, one per gesture.
  struct Gesture {
    const char* key;
    size_t fingers;
    unsigned direction;  // 0: a tap
    int code;
    const char* caption;
  };
  using S = kit::SwipeGestureRecognizer;
  const Gesture gestures[] = {
      {"opt_twof_swipe_right", 2, S::Right, 2, "Previous Tab"},
      {"opt_twof_swipe_left", 2, S::Left, 3, "Next Tab"},
      {"opt_twof_swipe_up", 2, S::Up, 4, "Close Tab"},
      {"opt_twof_swipe_down", 2, S::Down, 5, "Previous Page"},
      {"opt_threef_swipe_right", 3, S::Right, 6, "Next Page"},
      {"opt_threef_swipe_left", 3, S::Left, 11, "Reader"},
      {"opt_threef_swipe_up", 3, S::Up, 19, "Translate"},
      {"opt_threef_swipe_down", 3, S::Down, 20, "Goto homepage"},
      {"opt_fourf_swipe_right", 4, S::Right, 22, "New tab"},
      {"opt_fourf_swipe_left", 4, S::Left, 28, "Open with Safari"},
      {"opt_fourf_swipe_up", 4, S::Up, 10, "Reload"},
      {"opt_fourf_swipe_down", 4, S::Down, 21, "Private Browsing"},
      {"opt_twof_tap", 2, 0, 2, "Previous Tab"},
      {"opt_threef_tap", 3, 0, 3, "Next Tab"},
      {"opt_fourf_tap", 4, 0, 4, "Close Tab"},
  };
  for (const Gesture& g : gestures) defaults().setInteger(g.code, g.key);
  rereadSettings();
  VeskWebView* p = open();
  for (const Gesture& g : gestures) {
    loop().advance(1);
    size_t before = strip.captions.size();
    if (g.direction) {
      S* swipe = recogniser<S>(p, g.fingers, g.direction);
      ASSERT_TRUE(swipe) << g.key;
      EXPECT_TRUE(swipe->swipe(static_cast<S::Direction>(g.direction), g.fingers)) << g.key;
    } else {
      kit::TapGestureRecognizer* tap = recogniser<kit::TapGestureRecognizer>(p, g.fingers);
      ASSERT_TRUE(tap) << g.key;
      EXPECT_TRUE(tap->fire({10, 10})) << g.key;
    }
    ASSERT_EQ(strip.captions.size(), before + 1) << g.key;
    EXPECT_EQ(strip.lastCaption(), g.caption) << g.key;
  }

  // A gesture whose setting is 0 does nothing and leaves its recogniser as it was.
  setSetting("opt_twof_swipe_up", 0);
  loop().advance(1);
  S* up = recogniser<S>(p, 2, S::Up);
  size_t before = strip.captions.size();
  up->swipe(S::Up, 2);
  EXPECT_EQ(strip.captions.size(), before);
  EXPECT_TRUE(up->isEnabled());
  EXPECT_EQ(up->delegate(), p);
}

TEST_F(ActionDispatcherTest, ATapNeverRunsTogetherWithAPinch) {
  VeskWebView* p = open();
  kit::Ref<kit::TapGestureRecognizer> tap = kit::make<kit::TapGestureRecognizer>();
  kit::Ref<kit::PinchGestureRecognizer> pinch = kit::make<kit::PinchGestureRecognizer>();
  kit::Ref<kit::SwipeGestureRecognizer> swipe = kit::make<kit::SwipeGestureRecognizer>();
  kit::Ref<kit::LongPressGestureRecognizer> hold = kit::make<kit::LongPressGestureRecognizer>();
  EXPECT_FALSE(p->gestureRecognizerShouldRecognizeSimultaneously(*tap, *pinch));
  EXPECT_FALSE(p->gestureRecognizerShouldRecognizeSimultaneously(*pinch, *tap));
  EXPECT_TRUE(p->gestureRecognizerShouldRecognizeSimultaneously(*swipe, *pinch));
  EXPECT_TRUE(p->gestureRecognizerShouldRecognizeSimultaneously(*tap, *hold));
  EXPECT_TRUE(p->gestureRecognizerShouldRecognizeSimultaneously(*tap, *tap));

  // On the web view: a pinch in progress keeps a tap from starting.
  kit::WebView* w = p->existingWebView();
  pinch->setDelegate(p);
  w->addGestureRecognizer(pinch.get());
  ASSERT_TRUE(pinch->begin({100, 100}));
  setSetting("opt_twof_tap", 3);
  EXPECT_FALSE(recogniser<kit::TapGestureRecognizer>(p, 2)->fire({100, 100}));
  pinch->end();
  EXPECT_TRUE(strip.moves.empty());
}

TEST_F(ActionDispatcherTest, ScrollingToEitherEndWaitsATenthOfASecond) {
  VeskWebView* p = open();
  kit::ScrollView* sv = scroll(p);
  sv->setFrame({0, 0, 1024, 500});
  sv->setContentSize({1024, 5000});
  sv->setContentInset({40, 0, 0, 0});
  sv->setContentOffset({0, 2000});

  p->handleAction(8);
  EXPECT_EQ(sv->contentOffset().y, 2000);
  loop().advance(0.1);
  EXPECT_EQ(sv->contentOffset().y, 4500);  // the last line in view
  EXPECT_EQ(strip.lastCaption(), "Scroll to bottom");
  EXPECT_EQ(strip.lastIcon(), VeskInfoBoxView::sharedScrollBottomIcon());

  p->handleAction(7);
  loop().advance(0.05);
  EXPECT_EQ(sv->contentOffset().y, 4500);
  loop().advance(0.05);
  EXPECT_EQ(sv->contentOffset(), (kit::Point{0, -40}));  // above the inset
  EXPECT_EQ(strip.lastCaption(), "Scroll to top");
  EXPECT_EQ(strip.lastIcon(), VeskInfoBoxView::sharedScrollTopIcon());

  // Code 9 goes to the farther end at once: the bottom from the upper part, the top from the lower.
  sv->setContentOffset({0, 2200});  // 2300 left below
  p->handleAction(9);
  EXPECT_EQ(sv->contentOffset().y, 4500);
  sv->setContentOffset({0, 2400});  // 2100 left below
  p->handleAction(9);
  EXPECT_EQ(sv->contentOffset().y, -40);
}

TEST_F(ActionDispatcherTest, TypingLeavesFullScreenUnlessTheBarTravelsWithThePage) {
  ASSERT_TRUE(launch());
  VeskWebView* p = page(0);
  VeskMultiTabView* strip = tabs();
  strip->makeAllTabsFullscreen(2);
  EXPECT_EQ(p->fullScreenMode(), 2);

  p->handleAction(12);
  EXPECT_EQ(strip->nFullScreen(), 0);
  EXPECT_EQ(p->fullScreenMode(), 0);
  EXPECT_TRUE(p->urlField()->isFirstResponder());
  bool wasOn = false;
  EXPECT_TRUE(p->popFullScreen(&wasOn));
  EXPECT_TRUE(wasOn);
  EXPECT_FALSE(p->popFullScreen(&wasOn));

  // Not in full screen: the search field is focused and nothing is pushed.
  p->handleAction(13);
  EXPECT_TRUE(p->searchField()->isFirstResponder());
  EXPECT_FALSE(p->popFullScreen(&wasOn));
}

TEST_F(ActionDispatcherTest, WithTheBarInThePageTypingStaysInFullScreen) {
  defaults().setBool(true, "opt_urlbar_scroll");
  rereadSettings();
  VeskWebView* p = open();
  ASSERT_TRUE(p->bURLBarScroll());
  p->setFullScreenMode(1);
  p->handleAction(13);
  EXPECT_TRUE(strip.fullscreen.empty());
  EXPECT_FALSE(p->popFullScreen(nullptr));
}

TEST_F(ActionDispatcherTest, HomePagePrivateModeAndTheSystemBrowser) {
  VeskWebView* p = open();
  p->handleAction(20);
  EXPECT_EQ(lastLoad(p), VeskWebView::kDefaultHomePage);
  EXPECT_EQ(strip.lastCaption(), "Goto homepage");
  defaults().setString("http://home.test/", "homepage");
  p->handleAction(20);
  EXPECT_EQ(lastLoad(p), "http://home.test/");

  p->handleAction(21);
  EXPECT_TRUE(p->privateMode());
  EXPECT_TRUE(p->btnPrivate()->isSelected());
  EXPECT_EQ(strip.lastCaption(), "Private Browsing");
  EXPECT_EQ(strip.lastIcon(), VeskInfoBoxView::sharedPrivateIconSelected());
  EXPECT_EQ(strip.screenshots, 1);
  kit::Ref<kit::Dictionary> saved = defaults().dictionaryForKey("tab0");
  ASSERT_TRUE(saved);
  EXPECT_TRUE(saved->get<kit::Number>("private")->boolValue());
  p->handleAction(21);
  EXPECT_FALSE(p->privateMode());
  EXPECT_EQ(strip.lastCaption(), "Normal Browsing");
  EXPECT_EQ(strip.lastIcon(), VeskInfoBoxView::sharedPrivateIcon());

  // The page goes to the system browser when it can; the caption shows either way.
  kit::HeadlessURLOpener& opener = app()->headlessURLOpener();
  p->handleAction(28);
  ASSERT_EQ(opener.openedURLs().size(), 1u);
  EXPECT_EQ(opener.openedURLs()[0], "http://site.test/page.html");
  opener.setOpenableSchemes({});
  size_t shown = strip.captions.size();
  p->handleAction(28);
  EXPECT_EQ(opener.openedURLs().size(), 1u);
  EXPECT_EQ(strip.captions.size(), shown + 1);
  EXPECT_EQ(strip.lastCaption(), "Open with Safari");
}

TEST_F(ActionDispatcherTest, MainScreenCodesReachTheController) {
  ASSERT_TRUE(launch());
  VeskWebViewController* c = controller();
  VeskWebView* p = page(0);

  // Through the real tab strip the caption lands in the main screen's box.
  p->handleAction(27);
  EXPECT_TRUE(c->lockRotation());
  EXPECT_TRUE(p->btnRotationLock()->isSelected());
  EXPECT_EQ(c->infoBox()->text(), "Rotation Lock");
  EXPECT_EQ(c->infoBox()->image(), VeskInfoBoxView::sharedRotationLockIcon());
  p->btnRotationLock()->tap();  // the page's own button does the same
  EXPECT_FALSE(c->lockRotation());
  EXPECT_EQ(c->infoBox()->text(), "Rotation Unlock");
  EXPECT_EQ(c->infoBox()->image(), VeskInfoBoxView::sharedRotationUnlockIcon());

  p->handleAction(24);
  EXPECT_TRUE(c->trackPad()->isHidden());
  EXPECT_EQ(c->infoBox()->text(), "Trackpad disabled");

  p->handleAction(23);
  EXPECT_TRUE(tabs()->isDual());
  EXPECT_EQ(c->infoBox()->text(), "Dual-window mode");
  p->handleAction(23);
  EXPECT_FALSE(tabs()->isDual());

  // A page whose tab is not on screen (a double tap on its tab) still reaches the main screen.
  int count = tabs()->tabCount();
  p->handleAction(22);
  ASSERT_EQ(tabs()->tabCount(), count + 1);
  EXPECT_EQ(tabs()->curSel(), 1);
  EXPECT_EQ(c->infoBox()->text(), "New tab");
  EXPECT_FALSE(p->superview());
  p->handleActionFromOutside(kit::Number::numberWithInteger(16).get());
  EXPECT_TRUE(c->presentedViewController());
}

TEST_F(ActionDispatcherTest, ClosingItsOwnTabFinishesTheAction) {
  ASSERT_TRUE(launch());
  tabs()->needToCreateNewTab(page(0), "", true, false);
  VeskWebView* p = page(1);
  kit::SwipeGestureRecognizer* up = recogniser<kit::SwipeGestureRecognizer>(p, 2, kit::SwipeGestureRecognizer::Up);
  setSetting("opt_twof_swipe_up", 4);
  kit::Ref<VeskWebView> held(p);
  const int before = tabs()->tabCount();
  EXPECT_TRUE(up->swipe(kit::SwipeGestureRecognizer::Up, 2));
  EXPECT_EQ(tabs()->tabCount(), before - 1);
  EXPECT_EQ(tabs()->getIdentifierForPersistentData(*p), -1);
  EXPECT_EQ(controller()->infoBox()->text(), "Close Tab");
  EXPECT_TRUE(up->isEnabled());
}

TEST_F(ActionDispatcherTest, ALongPressOpensTheMenuAtThePagePoint) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  ASSERT_EQ(w->frame().width(), 1024);
  w->setScriptAnswer("window.innerWidth", "2048");
  w->setScriptAnswer("window.innerHeight", "1200");
  w->setScriptAnswer("window.pageXOffset", "30");
  w->setScriptAnswer("window.pageYOffset", "500");
  EXPECT_EQ(p->documentPoint({10, 20}), (kit::Point{20, 40}));

  // Before 5.0 the page's scroll offset is added; versions compare as numbers.
  kit::Device::currentDevice().setSystemVersion("4.3");
  EXPECT_EQ(p->documentPoint({10, 20}), (kit::Point{50, 540}));
  kit::Device::currentDevice().setSystemVersion("10.0");
  EXPECT_EQ(p->documentPoint({10, 20}), (kit::Point{20, 40}));
  kit::Device::currentDevice().setSystemVersion("6.0");

  // A page that reports no width is taken as unscaled.
  w->setScriptAnswer("window.innerWidth", "");
  EXPECT_EQ(p->documentPoint({10, 20}), (kit::Point{10, 20}));

  // The page is asked only when a press begins, and never while the keyboard is up.
  kit::LongPressGestureRecognizer* hold = recogniser<kit::LongPressGestureRecognizer>(p, 1);
  ASSERT_TRUE(hold);
  misc()->keyboardBegin(kit::Notification("keyboard", nullptr, nullptr));
  w->clearEvaluatedScripts();
  hold->press({10, 20});
  hold->lift();
  EXPECT_EQ(w->evaluatedCount("window.inner"), 0u);
  misc()->keyboardEnd(kit::Notification("keyboard", nullptr, nullptr));
  hold->press({10, 20});
  hold->move({12, 22});
  hold->lift();
  EXPECT_EQ(w->evaluatedCount("window.innerWidth"), 1u);
}

TEST_F(ActionDispatcherTest, TheCommandMenuClosesOnASecondTapAndComesBackFresh) {
  ASSERT_TRUE(launch());
  VeskWebView* p = page(0);
  p->btnEzCommand()->tap();
  kit::ActionSheet* first = p->easyCommandSheet();
  ASSERT_TRUE(first->isVisible());
  EXPECT_EQ(first->title(), "Ez-Commands");
  EXPECT_EQ(first->tag(), VeskWebView::kTagCommandMenu);
  EXPECT_EQ(first->delegate(), p);
  EXPECT_EQ(first->anchorItem(), p->btnEzCommand());
  std::vector<std::string> titles;
  for (long i = 0; i < first->numberOfButtons(); ++i)
    if (i != first->cancelButtonIndex()) titles.push_back(first->buttonTitleAtIndex(i));
  EXPECT_EQ(titles, (std::vector<std::string>{"Lock Rotation", "Adjust Font Size", "Readability™",
                                              "Download Manager", "Settings"}));
  EXPECT_EQ(first->buttonTitleAtIndex(first->cancelButtonIndex()), "Cancel");
  kit::Ref<kit::ActionSheet> old(first);

  p->btnEzCommand()->tap();
  EXPECT_FALSE(old->isVisible());
  controller()->setLockRotation(true);
  p->handleAction(26);
  kit::ActionSheet* fresh = p->easyCommandSheet();
  EXPECT_NE(fresh, old.get());
  EXPECT_TRUE(fresh->isVisible());
  EXPECT_EQ(fresh->buttonTitleAtIndex(fresh->firstOtherButtonIndex()), "Unlock Rotation");

  // Opening the actions menu puts the command menu away, and the other way round.
  p->btnAction()->tap();
  EXPECT_FALSE(fresh->isVisible());
  EXPECT_TRUE(p->actionsMenuSheet()->isVisible());
  p->btnEzCommand()->tap();
  EXPECT_FALSE(p->actionsMenuSheet()->isVisible());
  EXPECT_TRUE(p->easyCommandSheet()->isVisible());
  EXPECT_EQ(kit::ActionSheet::visibleSheets().size(), 1u);
}

TEST_F(ActionDispatcherTest, TheActionsMenuIsKeptAndTitledWithThePage) {
  ScopedEnv language("LANGUAGE", "de_AT:en");
  VeskWebView* p = open();
  p->handleAction(25);
  kit::ActionSheet* menu = p->actionsMenuSheet();
  ASSERT_TRUE(menu->isVisible());
  EXPECT_EQ(menu->title(), "http://site.test/page.html");
  EXPECT_EQ(menu->tag(), VeskWebView::kTagActionsMenu);
  EXPECT_EQ(menu->delegate(), p);
  std::vector<std::string> titles;
  for (long i = 0; i < menu->numberOfButtons(); ++i)
    if (i != menu->cancelButtonIndex()) titles.push_back(menu->buttonTitleAtIndex(i));
  EXPECT_EQ(titles, (std::vector<std::string>{"Add to Bookmark", "Open with Safari", "Share this page ...",
                                              "Set as Homepage", "Translate to Deutsch", "Print"}));
  p->onAction();  // a second tap closes it
  EXPECT_FALSE(menu->isVisible());

  // Either menu puts the tab strip's bookmark popover away.
  strip.bookmarks = kit::PopoverController::withContentViewController(kit::make<kit::ViewController>().get());
  strip.bookmarks->presentPopoverFromRect({0, 0, 1, 1}, p, kit::PopoverArrowAny, false);
  ASSERT_TRUE(strip.bookmarks->isPopoverVisible());
  p->onEasyCommand();
  EXPECT_FALSE(strip.bookmarks->isPopoverVisible());
  p->onEasyCommand();

  p->setLocation("http://other.test/");
  p->onAction();
  EXPECT_EQ(p->actionsMenuSheet(), menu);
  EXPECT_EQ(menu->title(), "http://other.test/");
  EXPECT_EQ(menu->anchorItem(), p->btnAction());
  // Its entries act through the sheet handler; cancelling does nothing here.
  EXPECT_TRUE(menu->tapButton(menu->cancelButtonIndex()));
  EXPECT_FALSE(menu->isVisible());
}

TEST_F(ActionDispatcherTest, OneLanguageMeansNoTranslationOnPhonesToo) {
  usePhone();
  ScopedEnv language("LANGUAGE", "fr_FR");
  VeskWebView* p = open();
  p->onAction();
  kit::ActionSheet* menu = p->actionsMenuSheet();
  ASSERT_TRUE(menu->isVisible());
  EXPECT_EQ(menu->anchor(), kit::ActionSheet::Anchor::Rect);
  EXPECT_EQ(menu->anchorView(), p);
  std::vector<std::string> titles;
  for (long i = 0; i < menu->numberOfButtons(); ++i) titles.push_back(menu->buttonTitleAtIndex(i));
  EXPECT_EQ(std::count(titles.begin(), titles.end(), "Print"), 1);
  for (const std::string& t : titles) EXPECT_EQ(t.rfind("Translate", 0), std::string::npos) << t;
  p->onEasyCommand();
  EXPECT_EQ(p->easyCommandSheet()->anchor(), kit::ActionSheet::Anchor::Rect);
}

TEST(PreferredLanguagesTest, ListsAndNamesTheUsersLanguages) {
  {
    ScopedEnv language("LANGUAGE", "pt_BR:de::en");
    EXPECT_EQ(PreferredLanguages::list(), (std::vector<std::string>{"pt-BR", "de", "en"}));
    EXPECT_EQ(PreferredLanguages::displayNameInItself("pt-BR"), "português");
  }
  {
    ScopedEnv language("LANGUAGE", nullptr);
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", "ja_JP.UTF-8");
    EXPECT_EQ(PreferredLanguages::list(), (std::vector<std::string>{"ja-JP"}));
    EXPECT_EQ(PreferredLanguages::displayNameInItself("ja-JP"), "日本語");
  }
  {
    ScopedEnv language("LANGUAGE", "");
    ScopedEnv all("LC_ALL", "C.UTF-8");
    EXPECT_TRUE(PreferredLanguages::list().empty());
  }
  EXPECT_EQ(PreferredLanguages::displayNameInItself("xx-YY"), "xx-YY");
}

}  // namespace

TEST_F(ActionDispatcherTest, TheDownloadManagerOpensOnceAsAFormSheetWithItsCloseButton) {
  ASSERT_TRUE(launch());
  VeskWebView* p = page(0);
  EXPECT_FALSE(VeskDownloadTableViewController::isShowing());
  p->handleAction(15);
  loop().advance(1);
  auto* nav = dynamic_cast<kit::NavigationController*>(p->viewController()->presentedViewController());
  ASSERT_TRUE(nav);
  EXPECT_EQ(nav->modalPresentationStyle(), kit::ViewController::ModalPresentationStyle::FormSheet);
  EXPECT_FALSE(nav->isToolbarHidden());
  auto* list = dynamic_cast<VeskDownloadTableViewController*>(nav->viewControllers().front().get());
  ASSERT_TRUE(list);
  EXPECT_TRUE(VeskDownloadTableViewController::isShowing());
  EXPECT_EQ(list->contentSizeForViewInPopover().width, 500);
  EXPECT_EQ(list->contentSizeForViewInPopover().height, 400);
  // Already showing: a second request changes nothing.
  p->handleAction(15);
  loop().advance(1);
  EXPECT_EQ(p->viewController()->presentedViewController(), nav);
  ASSERT_EQ(list->toolbarItems().size(), 1u);
  EXPECT_EQ(list->toolbarItems()[0]->title(), "Close");
  list->toolbarItems()[0]->tap();
  loop().advance(1);
  EXPECT_FALSE(p->viewController()->presentedViewController());
  EXPECT_FALSE(VeskDownloadTableViewController::isShowing());
}
