// The page view's fields, full screen and scrolling as a user drives them:
// confirming an address or a search, editing on phones, the full-screen
// modes and their return after typing, the address bar riding in the
// page's scroll view, and pull-down-to-reload.

#include "ShellTest.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/Application.h"
#include "kit/ui/GeometryValue.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/ViewController.h"
#include "shell/VeskInfoBoxView.h"

using namespace tolva;

namespace {

struct FakeStrip : VeskWebViewDelegate {
  std::vector<std::string> captions;
  std::vector<int> fullscreen;
  void moveTab(int) override {}
  kit::Ref<kit::PopoverController> bookmarks;  // the bookmark list's popover, when a test makes one
  kit::PopoverController* getBookmarkPopover() override { return bookmarks.get(); }
  kit::NavigationController* getBookmarkNavicon() override { return nullptr; }
  void showInfoBox(const std::string& text, kit::Image*) override { captions.push_back(text); }
  int getIdentifierForPersistentData(const VeskWebView&) const override { return -1; }
  void makeAllTabsFullscreen(int mode) override { fullscreen.push_back(mode); }
  bool isScreenShotActive() const override { return false; }
  void closeMe(VeskWebView&) override {}
};

class AddressFieldTest : public shelltest::ShellTest {
 protected:
  void TearDown() override {
    pages.clear();
    ShellTest::TearDown();
  }
  VeskWebView* open(const std::string& url = "http://site.test/page.html") {
    kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, &strip, url);
    EXPECT_TRUE(p);
    pages.push_back(p);
    web(p.get())->clearLoads();
    return p.get();
  }
  // Types `text` into `field` as a user would and presses return.
  static void typeAndReturn(kit::TextField* field, const std::string& text) {
    field->becomeFirstResponder();
    field->setText("");
    field->typeText(text);
    field->pressReturn();
  }
  static size_t loads(VeskWebView* p) { return web(p)->loadedRequests().size(); }

  FakeStrip strip;
  std::vector<kit::Ref<VeskWebView>> pages;
};

TEST_F(AddressFieldTest, AConfirmedAddressLoadsWithAWebSchemeInFront) {
  VeskWebView* p = open();
  typeAndReturn(p->urlField(), "example.test/a b");
  EXPECT_EQ(lastLoad(p), "http://example.test/a%20b");
  EXPECT_FALSE(p->urlField()->isEditing());  // tablets close the keyboard

  // A web scheme in any case is kept as typed; an escape already there stays one.
  typeAndReturn(p->urlField(), "HtTpS://example.test/x%20y");
  EXPECT_EQ(lastLoad(p), "HtTpS://example.test/x%20y");
  // Shorter than "http://" is no scheme; a stray "%" is escaped.
  typeAndReturn(p->urlField(), "htt");
  EXPECT_EQ(lastLoad(p), "http://htt");
  typeAndReturn(p->urlField(), "  site.test/100%  ");
  EXPECT_EQ(lastLoad(p), "http://site.test/100%25");
}

TEST_F(AddressFieldTest, PickingABookmarkLoadsItAndClosesTheBookmarkList) {
  VeskWebView* p = open();
  kit::Ref<kit::ViewController> list(new kit::ViewController());
  strip.bookmarks = kit::PopoverController::withContentViewController(list.get());
  strip.bookmarks->presentPopoverFromRect({0, 0, 10, 10}, p, kit::PopoverArrowAny, false);
  ASSERT_TRUE(strip.bookmarks->isPopoverVisible());
  p->bookmarkUrlSelected("bookmarked.test/page");
  EXPECT_EQ(lastLoad(p), "http://bookmarked.test/page");
  loop().advance(1);
  EXPECT_FALSE(strip.bookmarks->isPopoverVisible());
}

TEST_F(AddressFieldTest, AnEmptyOrHostlessAddressLoadsNothingAndKeepsTheText) {
  VeskWebView* p = open();
  typeAndReturn(p->urlField(), "   ");
  EXPECT_EQ(loads(p), 0u);
  EXPECT_EQ(topAlert(), nullptr);

  typeAndReturn(p->urlField(), "http://");
  EXPECT_EQ(loads(p), 0u);
  ASSERT_NE(topAlert(), nullptr);
  EXPECT_EQ(p->urlField()->text(), "http://");
  EXPECT_FALSE(VeskWebView::addressFromTypedText("https:///path"));
  EXPECT_EQ(VeskWebView::addressFromTypedText("a.test"), std::optional<std::string>("http://a.test"));
}

TEST_F(AddressFieldTest, ASearchFollowsTheChosenEngineWithTheWordsEscaped) {
  VeskWebView* p = open();
  typeAndReturn(p->searchField(), "fish & chips #1");
  EXPECT_EQ(lastLoad(p), "https://www.google.com/search?q=fish%20%26%20chips%20%231");

  defaults().setString("https://search.test/find?p=%@&lang=en", "opt_search_engine");
  EXPECT_EQ(VeskWebView::urlForSearchInCurrentSearchEngine("a+b"), "https://search.test/find?p=a%2Bb&lang=en");

  // The user's own format takes the words at every "%@"; without one the default stands in.
  defaults().setString("user-defined", "opt_search_engine");
  EXPECT_EQ(VeskWebView::urlForSearchInCurrentSearchEngine("x y"), "https://www.google.com/search?q=x%20y");
  defaults().setString("http://own.test/?q=%@&again=%@", "opt_user_search_url");
  typeAndReturn(p->searchField(), "x y");
  EXPECT_EQ(lastLoad(p), "http://own.test/?q=x%20y&again=x%20y");

  // The stored settings are read afresh: another writer's engine counts.
  ASSERT_TRUE(defaults().synchronize());
  kit::Ref<kit::UserDefaults> other = kit::make<kit::UserDefaults>(defaults().path());
  other->setString("https://other.test/?q=%@", "opt_search_engine");
  ASSERT_TRUE(other->synchronize());
  EXPECT_EQ(VeskWebView::urlForSearchInCurrentSearchEngine("z"), "https://other.test/?q=z");
}

TEST_F(AddressFieldTest, OnPhonesTheEditedGroupGrowsAndComesBack) {
  usePhone();
  VeskWebView* p = open();
  kit::Rect resting = p->header_left()->frame();
  p->urlField()->becomeFirstResponder();
  EXPECT_EQ(p->header_left()->frame(), p->textFieldZoomPlaceHolder()->frame());
  EXPECT_TRUE(p->header_right()->isHidden());
  EXPECT_FALSE(p->resultTableView()->isHidden());
  EXPECT_FALSE(p->textFieldZoomCloseBtn()->isHidden());
  EXPECT_EQ(p->oldActiveTag(), VeskWebView::kTagURLField);

  // The close button puts the page's address back.
  p->urlField()->typeText("half typed");
  p->onExitSearchInput();
  EXPECT_EQ(p->urlField()->text(), "http://site.test/page.html");
  loop().advance(0.3);
  EXPECT_EQ(p->header_left()->frame(), resting);
  EXPECT_FALSE(p->header_right()->isHidden());
  EXPECT_TRUE(p->resultTableView()->isHidden());
  EXPECT_TRUE(p->textFieldZoomCloseBtn()->isHidden());
  EXPECT_FALSE(p->urlField()->isEditing());

  // The search group grows the same way; return searches and ends the edit.
  p->searchField()->becomeFirstResponder();
  EXPECT_TRUE(p->header_left()->isHidden());
  EXPECT_EQ(p->oldActiveTag(), VeskWebView::kTagSearchField);
  p->searchField()->typeText("q");
  p->searchField()->pressReturn();
  EXPECT_EQ(lastLoad(p), "https://www.google.com/search?q=q");
  loop().advance(0.3);
  EXPECT_FALSE(p->searchField()->isEditing());
  EXPECT_FALSE(p->header_left()->isHidden());
}

TEST_F(AddressFieldTest, FullScreenCyclesAndLaysThePageOut) {
  VeskWebView* p = open();
  // Tablets skip the mode with tabs on the way in.
  p->onFullScreen();
  EXPECT_EQ(strip.fullscreen, std::vector<int>{2});
  EXPECT_EQ(strip.captions.back(), "Full screen mode");
  p->setFullScreenMode(2);
  p->onFullScreen();
  p->setFullScreenMode(0);
  EXPECT_EQ(strip.captions.back(), "Full screen Off");
  usePhone();
  p->onFullScreen();
  EXPECT_EQ(strip.captions.back(), "Full screen mode with tabs");
  EXPECT_EQ(strip.fullscreen, (std::vector<int>{2, 0, 1}));

  p->setFullScreenMode(1);
  EXPECT_TRUE(p->toolBarView1()->isHidden());
  EXPECT_TRUE(p->toolBarView2()->isHidden());
  EXPECT_TRUE(p->urlBaseView()->isHidden());
  EXPECT_FALSE(p->btnFullscreenExit()->isHidden());
  EXPECT_EQ(p->existingWebView()->frame(), kit::Rect(0, 0, 1024, 598));
  p->setFullScreenMode(0);
  EXPECT_FALSE(p->toolBarView1()->isHidden());
  EXPECT_TRUE(p->btnFullscreenNext()->isHidden());
  EXPECT_EQ(p->existingWebView()->frame(), p->placeholderView()->frame());
}

TEST_F(AddressFieldTest, TypingFromFullScreenReturnsToItWhenTheEditEnds) {
  ASSERT_TRUE(launch());
  VeskWebView* p = page(0);
  tabs()->makeAllTabsFullscreen(2);
  p->handleAction(12);
  EXPECT_EQ(p->fullScreenMode(), 0);
  EXPECT_TRUE(p->urlField()->isEditing());
  p->urlField()->resignFirstResponder();
  EXPECT_EQ(tabs()->nFullScreen(), 1);
  EXPECT_EQ(p->fullScreenMode(), 1);
  // A plain edit afterwards leaves the layout alone.
  p->handleAction(13);
  p->searchField()->resignFirstResponder();
  EXPECT_EQ(tabs()->nFullScreen(), 1);
}

TEST_F(AddressFieldTest, TheScrollingBarLeavesThePageWhileTyping) {
  defaults().setBool(true, "opt_urlbar_scroll");
  rereadSettings();
  VeskWebView* p = open();
  kit::ScrollView* sv = p->existingWebView()->scrollView();
  ASSERT_TRUE(p->isURLBarInScrollView());
  double barH = p->urlBaseView()->frame().height();
  EXPECT_EQ(sv->contentInset().top, barH);
  EXPECT_EQ(p->urlBaseView()->frame().y(), -barH);
  EXPECT_EQ(sv->delegate(), p);

  p->urlField()->becomeFirstResponder();
  EXPECT_FALSE(p->isURLBarInScrollView());
  // In the page, in front of the web view, at the top.
  EXPECT_EQ(p->urlBaseView()->superview(), p);
  EXPECT_EQ(p->subviews().back().get(), p->urlBaseView());
  EXPECT_EQ(p->urlBaseView()->frame().origin, kit::Point(0, 0));
  EXPECT_EQ(sv->delegate(), nullptr);
  p->urlField()->resignFirstResponder();
  EXPECT_TRUE(p->isURLBarInScrollView());
  EXPECT_EQ(sv->delegate(), p);

  // Sideways the bar stays put.
  sv->setContentSize({3000, 3000});
  sv->setContentOffset({200, 10});
  EXPECT_EQ(p->urlBaseView()->frame().x(), 200);
}

TEST_F(AddressFieldTest, APullBeyondTheThresholdReloadsUnlessZooming) {
  VeskWebView* p = open();
  kit::ScrollView* sv = p->existingWebView()->scrollView();
  sv->setContentSize({1024, 3000});
  sv->drag({0, 80});  // exactly at the threshold
  EXPECT_EQ(loads(p), 0u);
  EXPECT_EQ(p->pullDownToRefreshLabel()->text(), "⇣ Pull down to refresh ...");
  EXPECT_FALSE(p->pullDownToRefreshLabel()->isHidden());
  EXPECT_EQ(p->pullDownToRefreshLabel()->frame().y(), 87);

  sv->drag({0, 81});
  EXPECT_EQ(loads(p), 1u);
  EXPECT_EQ(lastLoad(p), "http://site.test/page.html");

  p->scrollViewDidZoom(*sv);
  EXPECT_TRUE(p->pullDownToRefreshLabel()->isHidden());
  sv->drag({0, 200});
  EXPECT_EQ(loads(p), 1u);
  p->scrollViewDidEndZooming(*sv, nullptr, 1);
  sv->drag({0, 200});
  EXPECT_EQ(loads(p), 2u);

  // Off: no label, no reload.
  defaults().setBool(false, "opt_pull_down_refresh");
  rereadSettings();
  ASSERT_FALSE(misc()->bPullDownRefresh());
  sv->drag({0, 200});
  EXPECT_EQ(loads(p), 2u);
  EXPECT_TRUE(p->pullDownToRefreshLabel()->isHidden());
}

TEST_F(AddressFieldTest, ATapOnTheStatusBarScrollsUpWithACaptionWherePullingReloads) {
  VeskWebView* p = open();
  kit::ScrollView* sv = p->existingWebView()->scrollView();
  ASSERT_TRUE(misc()->bPullDownRefresh());
  EXPECT_TRUE(p->scrollViewShouldScrollToTop(*sv));
  ASSERT_EQ(strip.captions.size(), 1u);
  EXPECT_EQ(strip.captions.back(), "Scroll to top");
  defaults().setBool(false, "opt_pull_down_refresh");
  rereadSettings();
  p->scrollViewShouldScrollToTop(*sv);
  EXPECT_EQ(strip.captions.size(), 1u);
}

// On phones the suggestion list ends where the keyboard begins.
TEST_F(AddressFieldTest, OnPhonesTheSuggestionListStopsAtTheKeyboard) {
  usePhone();
  VeskWebView* p = open();
  p->willBeViewed();
  p->urlField()->becomeFirstResponder();
  kit::Rect list = p->placeholderView()->frame();
  kit::Rect keyboard = p->convertRectToView({0, list.y() + 150, 320, 216}, nullptr);
  kit::Ref<kit::Dictionary> info(new kit::Dictionary(
      {{kit::Application::kKeyboardFrameEndUserInfoKey, kit::GeometryValue::valueWithRect(keyboard)}}));
  kit::NotificationCenter::defaultCenter().postNotification(kit::Application::kKeyboardDidShowNotification, nullptr,
                                                            info);
  EXPECT_EQ(p->resultTableView()->frame(), kit::Rect(list.x(), list.y(), list.width(), 150));
  // A keyboard above the list's top leaves it no height.
  info = kit::Ref<kit::Dictionary>(new kit::Dictionary(
      {{kit::Application::kKeyboardFrameEndUserInfoKey,
        kit::GeometryValue::valueWithRect(p->convertRectToView({0, list.y() - 10, 320, 216}, nullptr))}}));
  kit::NotificationCenter::defaultCenter().postNotification(kit::Application::kKeyboardDidShowNotification, nullptr,
                                                            info);
  EXPECT_EQ(p->resultTableView()->frame(), kit::Rect(list.x(), list.y(), list.width(), 0));
}

}  // namespace
