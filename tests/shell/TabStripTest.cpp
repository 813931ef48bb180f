// The tab strip and tab manager: tabs saved and restored across starts,
// added, selected, paired in dual mode and closed, the saved keys and the
// recently closed list kept right, the items laid out and the pages' calls.

#include "ShellTest.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/ui/Layer.h"
#include "kit/ui/Touch.h"
#include "shell/TabState.h"
#include "shell/VeskTabItemView.h"
#include "data/VeskBookmarkTableViewController.h"

using namespace tolva;

namespace {

class TabStripTest : public shelltest::ShellTest {
 protected:
  void TearDown() override {
    screens_.clear();
    ShellTest::TearDown();
  }

  // The main screen built afresh from what is on disk, as at a start.
  VeskMultiTabView* start() {
    defaults().synchronize();
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    rereadSettings();
    const bool pad = kit::Device::currentDevice().isPad();
    kit::Ref<VeskWebViewController> c(
        new VeskWebViewController(pad ? "VeskWebViewController" : "VeskWebViewController~iphone"));
    c->view();
    screens_.push_back(c);
    strip_ = c->multiTab();
    loop().drain();  // the start settles: the page on show makes its web view
    return strip_;
  }
  VeskWebViewController* screen() const { return screens_.back().get(); }
  VeskWebView* at(int i) const { return strip_->getViewAt(i); }

  // A saved tab, as a page writes it.
  static void saveTab(int index, const std::string& location, bool priv = false, int size = 100,
                      const std::string& title = "T") {
    kit::Ref<kit::Dictionary> state(new kit::Dictionary({{TabState::kLocation, kit::str(location)},
                                                         {TabState::kPrivate, kit::boolean(priv)},
                                                         {TabState::kTextFontSize, kit::num(static_cast<int>(size))},
                                                         {TabState::kTitle, kit::str(title)}}));
    defaults().setDictionary(state.get(), TabState::key(index));
  }
  // Saved tabs "http://t<i>.test/" for each index, `count` of them, with the selection.
  static void saveTabs(int count, int selected) {
    for (int i = 0; i < count; ++i) saveTab(i, url(i));
    defaults().setInteger(count, TabState::kTabs);
    defaults().setInteger(selected, TabState::kCurSel);
  }
  static std::string url(int i) { return "http://t" + std::to_string(i) + ".test/"; }
  static std::string savedLocation(int index) {
    kit::Ref<kit::Dictionary> d = defaults().dictionaryForKey(TabState::key(index));
    auto* s = d ? d->get<kit::String>(TabState::kLocation) : nullptr;
    return s ? s->str() : "<none>";
  }
  static long savedInt(const char* key) { return defaults().integerForKey(key); }

  std::vector<std::string> locations() const {
    std::vector<std::string> out;
    for (auto& p : strip_->tabs()) out.push_back(p->location());
    return out;
  }
  std::vector<std::string> closedURLs() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < misc()->recentlyClosedTabs()->count(); ++i)
      out.push_back(
          kit::cast<kit::Dictionary>(misc()->recentlyClosedTabs()->objectAtIndex(i))->get<kit::String>("url")->str());
    return out;
  }
  // Which pages are in the contents area, in no particular order.
  size_t pagesShown() const { return screen()->contentsHolder()->subviews().size(); }
  // Everything that shows or drives a page points at one of the open tabs.
  void expectOnlyOpenPagesShown() const {
    auto open = [&](kit::View* v) { return strip_->getIdentifierForPersistentData(*kit::cast<VeskWebView>(v)) >= 0; };
    for (auto& v : screen()->contentsHolder()->subviews()) EXPECT_TRUE(open(v.get()));
    EXPECT_EQ(pagesShown(), strip_->isDual() ? 2u : 1u);
    EXPECT_EQ(strip_->trackPad()->veskView(), strip_->isDual() ? strip_->curView2() : strip_->curView());
    EXPECT_EQ(strip_->trackPad2()->veskView(), strip_->isDual() ? strip_->curView() : nullptr);
    ASSERT_EQ(strip_->tabItems().size(), strip_->tabs().size());
    for (int i = 0; i < strip_->tabCount(); ++i)
      EXPECT_EQ(strip_->tabItems()[i]->selected(), i == strip_->curSel() || i == strip_->curSel2()) << i;
  }

  std::vector<kit::Ref<VeskWebViewController>> screens_;
  VeskMultiTabView* strip_ = nullptr;
};

// ---- Start

TEST_F(TabStripTest, AFirstStartOpensTheWelcomePageThenAHomePageTab) {
  start();
  ASSERT_EQ(strip_->tabCount(), 2);
  EXPECT_EQ(strip_->curSel(), 0);
  EXPECT_EQ(strip_->curSel2(), -1);
  EXPECT_EQ(at(0)->location(), VeskMultiTabView::welcomePageURL(true));
  EXPECT_EQ(lastLoad(at(0)), VeskMultiTabView::welcomePageURL(true));
  EXPECT_FALSE(at(1)->existingWebView());  // made when the tab is first shown
  EXPECT_EQ(at(0)->superview(), screen()->contentsHolder());
  EXPECT_EQ(savedInt(TabState::kTabs), 2);
  EXPECT_EQ(savedInt(TabState::kCurSel), 0);
  EXPECT_EQ(savedLocation(1), VeskWebView::kDefaultHomePage);
  EXPECT_FALSE(misc()->bPrivateTabExists());
  expectOnlyOpenPagesShown();
}

TEST_F(TabStripTest, ARestartRestoresTabsOrderSelectionPrivacyAndTextSizes) {
  start();
  strip_->needToCreateNewTab(at(1), "http://private.test/", true, true);  // after the home page, selected
  strip_->needToCreateNewTab(at(0), "http://big.test/", false, false);    // after the welcome page
  ASSERT_EQ(locations(), (std::vector<std::string>{VeskMultiTabView::welcomePageURL(true), "http://big.test/",
                                                   VeskWebView::kDefaultHomePage, "http://private.test/"}));
  EXPECT_EQ(strip_->curSel(), 3);
  EXPECT_TRUE(strip_->privateTabExists());
  VeskWebView* big = at(1);
  big->setTextFontSize(150);
  web(big)->setScriptAnswer("document.title", "Big");
  web(big)->completeLoad();  // a finished load saves the tab
  strip_->moveTab(-1);
  const std::vector<std::string> before = locations();

  start();
  EXPECT_EQ(locations(), before);
  EXPECT_EQ(strip_->curSel(), 2);
  EXPECT_TRUE(at(3)->privateMode());
  EXPECT_FALSE(at(1)->privateMode());
  EXPECT_EQ(at(1)->textFontSize(), 150u);
  EXPECT_EQ(at(1)->title()->text(), "Big");
  EXPECT_EQ(strip_->tabItems()[1]->title()->text(), "Big");
  EXPECT_TRUE(strip_->tabItems()[3]->privateMode());
  EXPECT_TRUE(misc()->bPrivateTabExists());
  // Only the tab shown has a web view; the others make theirs when first shown.
  for (int i = 0; i < strip_->tabCount(); ++i) EXPECT_EQ(at(i)->existingWebView() != nullptr, i == 2) << i;
  strip_->moveTab(1);
  EXPECT_EQ(lastLoad(at(3)), "http://private.test/");
}

TEST_F(TabStripTest, AMissingEntryIsSkippedAndShiftsTheSelection) {
  saveTabs(3, 2);
  defaults().removeObjectForKey(TabState::key(1));
  start();
  EXPECT_EQ(locations(), (std::vector<std::string>{url(0), url(2)}));
  EXPECT_EQ(strip_->curSel(), 1);
  // The keys follow the tabs that came back.
  EXPECT_EQ(savedInt(TabState::kTabs), 2);
  EXPECT_EQ(savedLocation(1), url(2));
  EXPECT_EQ(savedInt(TabState::kCurSel), 1);
}

TEST_F(TabStripTest, WhatIsRestoredDependsOnTheSavedCountAndSelection) {
  // A selection outside the tabs selects the first.
  saveTabs(3, 7);
  start();
  EXPECT_EQ(strip_->tabCount(), 3);
  EXPECT_EQ(strip_->curSel(), 0);

  // Entries at or past "tabs" are stale and never read.
  saveTabs(3, 0);
  defaults().setInteger(2, TabState::kTabs);
  start();
  EXPECT_EQ(locations(), (std::vector<std::string>{url(0), url(1)}));

  // Nothing restorable although tabs were saved: a home-page tab, no welcome page.
  defaults().setInteger(2, TabState::kTabs);
  defaults().removeObjectForKey(TabState::key(0));
  defaults().removeObjectForKey(TabState::key(1));
  start();
  EXPECT_EQ(locations(), (std::vector<std::string>{VeskWebView::kDefaultHomePage}));

  // A damaged count restores what is there, at once.
  saveTabs(2, 1);
  defaults().removeObjectForKey(TabState::key(2));
  defaults().setInteger(2000000000L, TabState::kTabs);
  start();
  EXPECT_EQ(locations(), (std::vector<std::string>{url(0), url(1)}));
  EXPECT_EQ(strip_->curSel(), 1);
  EXPECT_EQ(savedInt(TabState::kTabs), 2);
}

TEST_F(TabStripTest, TheSavedFullScreenModeCountsOnlyWhenTabsAreRestored) {
  saveTabs(2, 0);
  defaults().setInteger(1, TabState::kFullscreenMode);
  start();
  EXPECT_EQ(strip_->nFullScreen(), 1);
  for (auto& p : strip_->tabs()) EXPECT_EQ(p->fullScreenMode(), 1);

  defaults().setBool(false, "opt_save_sessions");
  start();
  EXPECT_EQ(locations(), (std::vector<std::string>{VeskWebView::kDefaultHomePage}));
  EXPECT_EQ(strip_->nFullScreen(), 0);
  EXPECT_EQ(at(0)->fullScreenMode(), 0);
}

// ---- Closing

TEST_F(TabStripTest, ClosingInSinglePaneKeepsIndexesAndSavedKeysRight) {
  saveTabs(4, 3);
  start();
  VeskWebView* closing = at(1);
  strip_->deleteTab(1);
  EXPECT_EQ(locations(), (std::vector<std::string>{url(0), url(2), url(3)}));
  EXPECT_EQ(strip_->curSel(), 2);
  EXPECT_EQ(strip_->curSel2(), -1);
  EXPECT_EQ(savedInt(TabState::kCurSel), 2);
  EXPECT_EQ(savedInt(TabState::kTabs), 3);
  EXPECT_EQ(savedLocation(1), url(2));
  EXPECT_EQ(savedLocation(2), url(3));
  EXPECT_EQ(savedLocation(3), url(3));  // stale, never read
  EXPECT_EQ(closing->delegate(), nullptr);
  EXPECT_EQ(closing->superview(), nullptr);
  expectOnlyOpenPagesShown();

  // The selected last tab: the one before it.
  strip_->deleteTab(-1);
  EXPECT_EQ(locations(), (std::vector<std::string>{url(0), url(2)}));
  EXPECT_EQ(strip_->curSel(), 1);
  expectOnlyOpenPagesShown();
  // The selected first tab: the next one, now first.
  strip_->setCurSel(0);
  strip_->deleteTab(0);
  EXPECT_EQ(locations(), (std::vector<std::string>{url(2)}));
  EXPECT_EQ(strip_->curSel(), 0);
  EXPECT_EQ(strip_->curSel2(), -1);
  EXPECT_EQ(savedInt(TabState::kCurSel), 0);
  expectOnlyOpenPagesShown();
  // The only tab: a fresh one at the home page takes its place.
  strip_->deleteTab(0, true);
  EXPECT_EQ(locations(), (std::vector<std::string>{VeskWebView::kDefaultHomePage}));
  EXPECT_EQ(savedLocation(0), VeskWebView::kDefaultHomePage);
  expectOnlyOpenPagesShown();
  // Out of range: nothing.
  strip_->deleteTab(5);
  EXPECT_EQ(strip_->tabCount(), 1);
}

TEST_F(TabStripTest, ClosingInDualPaneKeepsBothPanesOnOpenTabs) {
  saveTabs(2, 0);
  start();
  strip_->setCurSel2(1);
  ASSERT_TRUE(strip_->isDual());
  strip_->deleteTab(0);  // two tabs in dual mode: nothing closes
  EXPECT_EQ(strip_->tabCount(), 2);

  saveTabs(6, 2);
  start();
  strip_->setCurSel2(3);
  ASSERT_TRUE(strip_->isDual());
  // The left pane's tab: the one before it moves in, the right pane stays.
  strip_->deleteTab(2);
  EXPECT_EQ(locations(), (std::vector<std::string>{url(0), url(1), url(3), url(4), url(5)}));
  EXPECT_EQ(strip_->curSel(), 1);
  EXPECT_EQ(strip_->curSel2(), 2);
  EXPECT_EQ(strip_->curView2()->location(), url(3));
  expectOnlyOpenPagesShown();
  // The right pane's tab: the next one moves into the right pane.
  strip_->deleteTab(2);
  EXPECT_EQ(locations(), (std::vector<std::string>{url(0), url(1), url(4), url(5)}));
  EXPECT_EQ(strip_->curSel(), 1);
  EXPECT_EQ(strip_->curSel2(), 2);
  EXPECT_EQ(strip_->curView2()->location(), url(4));
  expectOnlyOpenPagesShown();
  // A tab left of both: both indexes move down with their pages.
  strip_->deleteTab(0);
  EXPECT_EQ(strip_->curView()->location(), url(1));
  EXPECT_EQ(strip_->curView2()->location(), url(4));
  EXPECT_EQ(savedInt(TabState::kCurSel), 0);
  expectOnlyOpenPagesShown();
  // The first tab selected: the pair moves on by one.
  strip_->deleteTab(0);
  EXPECT_EQ(locations(), (std::vector<std::string>{url(4), url(5)}));
  EXPECT_EQ(strip_->curView()->location(), url(4));
  EXPECT_EQ(strip_->curView2()->location(), url(5));
  expectOnlyOpenPagesShown();

  // The right pane on the last tab: the pair moves back by one.
  saveTabs(4, 2);
  start();
  strip_->setCurSel2(3);
  strip_->deleteTab(3);
  EXPECT_EQ(locations(), (std::vector<std::string>{url(0), url(1), url(2)}));
  EXPECT_EQ(strip_->curView()->location(), url(1));
  EXPECT_EQ(strip_->curView2()->location(), url(2));
  expectOnlyOpenPagesShown();
}

TEST_F(TabStripTest, ClosedTabsFeedTheRecentlyClosedListButPrivateOnesNever) {
  saveTabs(13, 0);
  saveTab(5, "http://secret.test/", true);
  start();
  for (int i = 0; i < 12; ++i) strip_->deleteTab(0);
  // Newest first, ten at most, the private tab not among them.
  std::vector<std::string> newest;
  for (int i = 11; i >= 0 && newest.size() < 10; --i)
    if (i != 5) newest.push_back(url(i));
  EXPECT_EQ(closedURLs(), newest);
  EXPECT_EQ(misc()->recentlyClosedTabs()->count(), 10u);
}

TEST_F(TabStripTest, AClosedPageLivesTenSecondsAndHearsNothingMore) {
  saveTabs(2, 0);
  start();
  kit::WeakRef<VeskWebView> gone(at(0));
  strip_->closeMe(*at(0));
  ASSERT_EQ(strip_->tabCount(), 1);
  ASSERT_TRUE(gone.lock());
  EXPECT_EQ(gone.lock()->delegate(), nullptr);
  EXPECT_EQ(gone.lock()->superview(), nullptr);
  // A late call from the closed page changes nothing.
  strip_->titleUpdated(*gone.lock());
  strip_->closeMe(*gone.lock());
  EXPECT_EQ(strip_->tabCount(), 1);
  loop().advance(9.9);
  EXPECT_TRUE(gone.lock());
  loop().advance(0.2);
  EXPECT_FALSE(gone.lock());
}

// ---- Adding and selecting

TEST_F(TabStripTest, AddingKeepsTheSelectedPageAndClampsTheIndex) {
  saveTabs(3, 1);
  start();
  VeskWebView* shown = strip_->curView();
  kit::Ref<VeskWebView> first = VeskWebView::allocInstance({}, strip_, std::string("http://first.test/"), false);
  EXPECT_EQ(strip_->addTab(first.get(), 0, true), 0);
  EXPECT_EQ(strip_->curView(), shown);
  EXPECT_EQ(strip_->curSel(), 2);
  EXPECT_EQ(savedInt(TabState::kCurSel), 2);  // a restart selects the same page
  EXPECT_EQ(savedLocation(0), "http://first.test/");
  EXPECT_EQ(savedLocation(3), url(2));
  EXPECT_TRUE(strip_->tabItems()[0]->layer()->animationForKey("transition"));

  kit::Ref<VeskWebView> far = VeskWebView::allocInstance({}, strip_, std::string("http://far.test/"), false);
  EXPECT_EQ(strip_->addTab(far.get(), 99, false, true), 4);
  EXPECT_EQ(strip_->curSel(), 4);
  EXPECT_EQ(savedInt(TabState::kTabs), 5);
  EXPECT_EQ(strip_->addTab(nullptr, 0, false), -1);
  expectOnlyOpenPagesShown();
}

TEST_F(TabStripTest, NewTabsFromAPageLandBesideIt) {
  saveTabs(3, 0);
  start();
  // Selected: right after the page, and shown.
  strip_->needToCreateNewTab(at(0), "http://a.test/", true, false);
  EXPECT_EQ(at(1)->location(), "http://a.test/");
  EXPECT_EQ(strip_->curSel(), 1);
  // In the background: right after the page, the selection stays.
  strip_->needToCreateNewTab(at(1), "http://b.test/", false, false);
  EXPECT_EQ(at(2)->location(), "http://b.test/");
  EXPECT_EQ(strip_->curSel(), 1);
  // No sender: at the end.
  strip_->needToCreateNewTab(nullptr, "http://c.test/", false, true);
  EXPECT_EQ(at(strip_->tabCount() - 1)->location(), "http://c.test/");
  EXPECT_TRUE(at(strip_->tabCount() - 1)->privateMode());
  expectOnlyOpenPagesShown();
}

TEST_F(TabStripTest, NewTabsInDualPaneGoToTheRightPaneOrBehindIt) {
  saveTabs(4, 0);
  start();
  strip_->setCurSel2(1);
  // From the left pane: the new tab opens in the right pane.
  strip_->needToCreateNewTab(at(0), "http://left.test/", true, false);
  EXPECT_EQ(strip_->curSel(), 0);
  EXPECT_EQ(strip_->curView2()->location(), "http://left.test/");
  expectOnlyOpenPagesShown();
  // From the right pane: the new tab takes the right pane, its opener the left.
  VeskWebView* opener = strip_->curView2();
  strip_->needToCreateNewTab(opener, "http://right.test/", true, false);
  EXPECT_EQ(strip_->curView(), opener);
  EXPECT_EQ(strip_->curView2()->location(), "http://right.test/");
  expectOnlyOpenPagesShown();
  // In the background: behind the right pane.
  strip_->needToCreateNewTab(strip_->curView(), "http://behind.test/", false, false);
  EXPECT_EQ(at(strip_->curSel2() + 1)->location(), "http://behind.test/");
  expectOnlyOpenPagesShown();
  // A tab added left of the pair: the pages shown stay as they are.
  VeskWebView* left = strip_->curView();
  VeskWebView* right = strip_->curView2();
  kit::Ref<VeskWebView> first = VeskWebView::allocInstance({}, strip_, std::string("http://first.test/"), false);
  strip_->addTab(first.get(), 0, false);
  EXPECT_EQ(strip_->curView(), left);
  EXPECT_EQ(strip_->curView2(), right);
  EXPECT_EQ(savedInt(TabState::kCurSel), strip_->curSel());
  expectOnlyOpenPagesShown();
}

TEST_F(TabStripTest, TapsSelectTheTabUnderTheFingerAndNothingBeyond) {
  saveTabs(3, 0);
  start();
  kit::Size room = strip_->roomSize();
  ASSERT_GT(room.width, 0);
  EXPECT_EQ(strip_->calcIndexFromPoint({room.width * 1.5, 10}), 1);
  EXPECT_EQ(strip_->calcIndexFromPoint({room.width * 3.5, 10}), -1);
  EXPECT_EQ(strip_->calcIndexFromPoint({-1, 10}), -1);
  EXPECT_EQ(strip_->calcIndexFromPoint({10, -1}), -1);
  EXPECT_EQ(strip_->calcIndexFromPoint({10, strip_->bounds().height() + 1}), -1);

  auto tapAt = [&](kit::Point p) {
    kit::Ref<kit::Touch> t(new kit::Touch(nullptr, strip_, strip_->convertPointToView(p, nullptr)));
    strip_->touchesEnded({t}, nullptr);
  };
  tapAt({room.width * 2.5, 10});
  EXPECT_EQ(strip_->curSel(), 2);
  tapAt({room.width * 3.5, 10});  // right of the last tab
  EXPECT_EQ(strip_->curSel(), 2);
  EXPECT_EQ(strip_->tabCount(), 3);
  // A touch on an item's title reaches the strip through the item.
  kit::Ref<kit::Touch> onItem(
      new kit::Touch(nullptr, strip_->tabItems()[1].get(), strip_->convertPointToView({room.width * 1.5, 10}, nullptr)));
  strip_->tabItems()[1]->title()->touchesEnded({onItem}, nullptr);
  EXPECT_EQ(strip_->curSel(), 1);

  // In dual mode a tap chooses the pair: the tapped tab and the one after it.
  strip_->setCurSel(0);
  strip_->setCurSel2(1);
  tapAt({room.width * 1.5, 10});
  EXPECT_EQ(strip_->curSel(), 1);
  EXPECT_EQ(strip_->curSel2(), 2);
  expectOnlyOpenPagesShown();
  tapAt({room.width * 0.5, 10});
  EXPECT_EQ(strip_->curSel(), 0);
  EXPECT_EQ(strip_->curSel2(), 1);
  expectOnlyOpenPagesShown();
}

TEST_F(TabStripTest, TheRightPaneOnlyEverHoldsARealIndex) {
  saveTabs(2, 0);
  start();
  strip_->setCurSel2(-5);
  EXPECT_EQ(strip_->curSel2(), -1);
  // Past the end: a fresh tab opens there.
  strip_->setCurSel(1);
  strip_->setCurSel2(7);
  EXPECT_EQ(strip_->tabCount(), 3);
  EXPECT_EQ(strip_->curSel2(), 2);
  EXPECT_EQ(lastLoad(at(2)), VeskWebView::kDefaultHomePage);
  expectOnlyOpenPagesShown();
  strip_->setCurSel2(-1);
  EXPECT_FALSE(strip_->isDual());
  EXPECT_EQ(at(1)->frame(), screen()->contentsHolder()->bounds());
  expectOnlyOpenPagesShown();
}

// ---- Items, page calls and screens

TEST_F(TabStripTest, ItemsFillTheirRoomsInBothStripSizes) {
  saveTabs(3, 0);
  start();
  kit::Size room = strip_->roomSize();
  EXPECT_EQ(room.height, strip_->bounds().height());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(strip_->tabItems()[i]->frame(), strip_->getRoomRect(i));
  EXPECT_EQ(strip_->contentSize(), (kit::Size{3 * room.width + 10, room.height}));
  EXPECT_EQ(strip_->getItemRect(1), (kit::Rect{room.width + 3, 4, room.width - 6, room.height - 22}));

  screen()->onToggleTab(nullptr);
  EXPECT_FALSE(strip_->showScreenShots());
  kit::Size small = strip_->roomSize();
  EXPECT_EQ(small, strip_->tabItems()[0]->tabBounds().size);
  EXPECT_LT(small.height, room.height);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(strip_->tabItems()[i]->frame(), strip_->getRoomRect(i));
}

TEST_F(TabStripTest, PageCallsUpdateTheirItem) {
  saveTabs(2, 0);
  saveTab(1, "http://secret.test/", true);
  start();
  VeskWebView* secret = at(1);
  VeskTabItemView* item = strip_->tabItems()[1].get();
  strip_->screenShotUpdated(*secret);
  ASSERT_TRUE(item->maskOnLeftBottom()->image());
  EXPECT_EQ(item->maskOnLeftBottom()->image(), VeskInfoBoxView::sharedPrivateIconSelected());
  EXPECT_TRUE(item->privateMode());

  secret->title()->setText("");
  strip_->titleUpdated(*secret);
  EXPECT_EQ(item->title()->text(), "Loading ...");
  secret->updateTitleLabel("Hello");
  EXPECT_EQ(item->title()->text(), "Hello");

  // The close button closes the item's tab.
  item->closeBtn()->tap();
  EXPECT_EQ(locations(), (std::vector<std::string>{url(0)}));
  EXPECT_TRUE(closedURLs().empty());
}

TEST_F(TabStripTest, ADoubleTapOnATabRunsTheTabActionOnItsPage) {
  saveTabs(2, 0);
  start();
  kit::HeadlessWebView* w = web(at(0));
  ASSERT_TRUE(w);
  const size_t loads = w->loadedRequests().size();
  // The default action: stop or reload.
  ASSERT_TRUE(strip_->tabItems()[0]->doubleTapRecognizer()->tap({5, 5}, 1, 2));
  EXPECT_EQ(w->loadedRequests().size(), loads + 1);
  EXPECT_EQ(strip_->infoBox()->text(), "Reload");
  // The setting picks the action: the next tab.
  defaults().setInteger(3, "opt_double_tap_on_tab");
  rereadSettings();
  ASSERT_TRUE(strip_->tabItems()[0]->doubleTapRecognizer()->tap({5, 5}, 1, 2));
  EXPECT_EQ(strip_->curSel(), 1);
}

TEST_F(TabStripTest, FullScreenForAllTabsIsWrittenAtOnce) {
  saveTabs(2, 0);
  start();
  strip_->makeAllTabsFullscreen(2);
  EXPECT_EQ(strip_->nFullScreen(), 2);
  for (auto& p : strip_->tabs()) EXPECT_EQ(p->fullScreenMode(), 2);
  EXPECT_EQ(savedInt(TabState::kFullscreenMode), 2);
  // The tablet keeps its strip; a new tab takes the mode.
  EXPECT_EQ(screen()->fullEstate(), 0);
  strip_->needToCreateNewTab(nullptr, "http://n.test/", false, false);
  EXPECT_EQ(at(2)->fullScreenMode(), 2);

  // The phone gives the whole screen to the page.
  usePhone();
  start();
  strip_->makeAllTabsFullscreen(2);
  EXPECT_EQ(screen()->fullEstate(), 2);
  EXPECT_TRUE(strip_->isHidden());
  strip_->makeAllTabsFullscreen(0);
  EXPECT_EQ(screen()->fullEstate(), 0);
}

TEST_F(TabStripTest, BookmarkScreensAreMadeOnceAndDroppedWhenLeftElsewhere) {
  saveTabs(1, 0);
  start();
  kit::Ref<kit::NavigationController> nav(strip_->getBookmarkNavicon());
  ASSERT_TRUE(dynamic_cast<VeskBookmarkTableViewController*>(nav->topViewController()));
  kit::PopoverController* pop = strip_->getBookmarkPopover();
  ASSERT_TRUE(pop);
  EXPECT_EQ(pop->contentViewController(), nav.get());
  // Dismissed on the list: kept for next time.
  strip_->popoverControllerDidDismissPopover(*pop);
  EXPECT_EQ(strip_->getBookmarkPopover(), pop);
  // Dismissed on another screen: both made afresh next time.
  nav->pushViewController(kit::make<kit::ViewController>().get(), false);
  strip_->popoverControllerDidDismissPopover(*pop);
  EXPECT_NE(strip_->getBookmarkNavicon(), nav.get());
  usePhone();
  EXPECT_FALSE(strip_->getBookmarkPopover());
}

}  // namespace
