// Tabs and page scripts in the real program: find in page, links that open
// a new tab, the offer to save a submitted login, reopening a closed tab and
// the tabs coming back after a restart. Pages are served on 127.0.0.1.

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "TabsFixture.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/Label.h"
#include "kit/ui/TableView.h"
#include "shell/RecentlyClosedTab.h"
#include "shell/UIWebViewExpand.h"
#include "common/VeskMiscObject.h"
#include "shell/VeskRecentlyClosedTableViewController.h"
#include "data/VeskPagePasswordDatabase.h"

namespace {

using tolvatest::TabsFixture;
using tolvatest::TestResponse;
namespace Expand = tolva::UIWebViewExpand;

class TabsTest : public TabsFixture {
 protected:
  void SetUp() override {
    TabsFixture::SetUp();
    server_.route("GET", "/home", TestResponse::html(html("Tolva Home Test", "<h1>Home sweet home</h1>")));
    server_.route("GET", "/one", TestResponse::html(html("Page One", "<h1>One</h1>")));
    server_.route("GET", "/two", TestResponse::html(html("Page Two", "<h1>Two</h1>")));
    server_.route("GET", "/second", TestResponse::html(html("The Second Page", "<h1>Second page</h1>")));
  }

  // The web view of the tab on show, once it exists.
  kit::WebView* web() const { return page() ? page()->existingWebView() : nullptr; }

  std::string eval(const std::string& script) const { return web()->stringByEvaluatingJavaScriptFromString(script); }

  // The texts of the highlight elements in the page, joined by "|".
  std::string highlighted() const {
    return eval(
        "(function(){var s=document.querySelectorAll('span.vesk-search-highlight'),a=[];"
        "for(var i=0;i<s.length;i++)a.push(s[i].textContent);return a.join('|');})()");
  }

};

TEST_F(TabsTest, FindInPageHighlightsAndCountsAWordAndOneWithAQuote) {
  server_.route("GET", "/find", TestResponse::html(html(
      "Find Page",
      "<p>An apple a day; Apple pie and <b>pineAPPLE</b> juice.</p>"
      "<p>It <i>isn't</i> here, isn't there, isnt anywhere. Isn't it?</p>"
      "<p>She said \"hi\" twice: \"hi\".</p>")));
  ASSERT_TRUE(startProgram(server_.url("/find")));
  ASSERT_TRUE(waitForTitle("Find Page"));
  ASSERT_NE(web(), nullptr);
  const std::string before = eval("document.body.textContent");

  // Counting leaves the page as it is; case is ignored, parts of words count.
  EXPECT_EQ(Expand::numberOfOccurencesOfString(*web(), "apple"), 3);
  EXPECT_TRUE(Expand::isSearchInjected(*web()));
  EXPECT_EQ(highlighted(), "");
  EXPECT_EQ(Expand::numberOfOccurencesOfString(*web(), "isn't"), 3);
  EXPECT_EQ(Expand::numberOfOccurencesOfString(*web(), "\"hi\""), 2);
  EXPECT_EQ(Expand::numberOfOccurencesOfString(*web(), "banana"), 0);
  EXPECT_EQ(Expand::numberOfOccurencesOfString(*web(), ""), 0);

  // Highlighting marks exactly the matches, in yellow.
  EXPECT_EQ(Expand::highlightAllOccurencesOfString(*web(), "apple"), 3);
  EXPECT_EQ(highlighted(), "apple|Apple|APPLE");
  EXPECT_EQ(Expand::numberOfHighlightedOfString(*web()), 3);
  EXPECT_EQ(eval("getComputedStyle(document.querySelector('span.vesk-search-highlight')).backgroundColor"),
            "rgb(255, 255, 0)");
  settle();
  saveScreenshot("TabsTest.HighlightedApple");

  // A new search replaces the highlights; the quote goes in as text.
  EXPECT_EQ(Expand::highlightAllOccurencesOfString(*web(), "isn't"), 3);
  EXPECT_EQ(highlighted(), "isn't|isn't|Isn't");
  EXPECT_EQ(Expand::numberOfHighlightedOfString(*web()), 3);
  EXPECT_EQ(Expand::highlightAllOccurencesOfString(*web(), "\"hi\""), 2);
  EXPECT_EQ(highlighted(), "\"hi\"|\"hi\"");
  settle();
  saveScreenshot("TabsTest.HighlightedQuote");

  // A search text built to end the string and run as script finds nothing and runs nothing.
  EXPECT_EQ(Expand::highlightAllOccurencesOfString(*web(), "'); document.title='hacked'; ('"), 0);
  EXPECT_EQ(Expand::numberOfOccurencesOfString(*web(), "\\'); document.title='hacked2'; //"), 0);
  EXPECT_EQ(eval("document.title"), "Find Page");

  // Removing the highlights gives the page its text back unchanged.
  Expand::highlightAllOccurencesOfString(*web(), "apple");
  Expand::removeAllHighlights(*web());
  EXPECT_EQ(highlighted(), "");
  EXPECT_EQ(Expand::numberOfHighlightedOfString(*web()), 0);
  EXPECT_EQ(eval("document.body.textContent"), before);
  EXPECT_EQ(eval("document.querySelectorAll('p')[0].childNodes.length"), "3");
}

TEST_F(TabsTest, ALinkWithTargetBlankOpensANewTabThroughTheMarker) {
  server_.route("GET", "/links", TestResponse::html(html(
      "Links Page", "<p><a id='blank' target='_blank' href='/opened' style='font-size:28px'>Open in a new tab</a></p>")));
  server_.route("GET", "/opened", TestResponse::html(html("Opened Page", "<h1>Opened in its own tab</h1>")));
  ASSERT_TRUE(startProgram(server_.url("/links")));
  ASSERT_TRUE(waitForTitle("Links Page"));
  ASSERT_EQ(strip()->tabCount(), 1);
  // The page's links are taken over half a second after the load finishes;
  // a click before that opens the link in place.
  ASSERT_TRUE(waitUntil([&] { return eval("document.__veskLinkTargets === true") == "true"; }, 5));

  clickElement("blank");
  ASSERT_TRUE(waitUntil([&] { return strip()->tabCount() == 2; }, 10))
      << "no new tab; the page is at " << page()->location();
  // The new tab follows its opener, shown, and loads the link's page.
  EXPECT_EQ(strip()->curSel(), 1);
  ASSERT_TRUE(waitForTabTitle(1, "Opened Page")) << strip()->getViewAt(1)->title()->text();
  EXPECT_EQ(strip()->getViewAt(1)->location(), server_.url("/opened"));
  EXPECT_EQ(page(), strip()->getViewAt(1));
  EXPECT_EQ(strip()->getItemAt(1)->title()->text(), "Opened Page");
  // The opener stays where it was; the marker never reached the network.
  EXPECT_EQ(strip()->getViewAt(0)->title()->text(), "Links Page");
  EXPECT_EQ(strip()->getViewAt(0)->location(), server_.url("/links"));
  EXPECT_EQ(server_.requestsFor("/opened").size(), 1u);
  EXPECT_EQ(server_.requestsFor("/links").size(), 1u);
  for (const auto& r : server_.requests()) EXPECT_EQ(r.target.find("quorb"), std::string::npos) << r.target;
}

TEST_F(TabsTest, ASubmittedLoginFormBringsTheOfferToSaveIt) {
  tolva::VeskPagePasswordDatabase* store = tolva::VeskPagePasswordDatabase::sharedInstance();
  store->resetForTesting();
  server_.route("GET", "/login", TestResponse::html(html(
      "Sign In",
      "<form id='signin' action='/signed-in' method='post' style='font-size:24px'>"
      "<p><input id='user' name='user' type='text' style='font-size:24px'></p>"
      "<p><input id='pass' name='pass' type='password' style='font-size:24px'></p>"
      "<p><button id='go' type='submit' style='font-size:24px'>Sign in</button></p></form>")));
  server_.route("POST", "/signed-in", TestResponse::html(html("Signed In", "<h1>Welcome back</h1>")));
  ASSERT_TRUE(startProgram(server_.url("/login")));
  ASSERT_TRUE(waitForTitle("Sign In"));

  // Typed with real keys into the page's inputs.
  clickElement("user");
  typeKeys(page(), "alice");
  clickElement("pass");
  typeKeys(page(), "s3cret");
  ASSERT_EQ(eval("document.getElementById('user').value"), "alice");
  ASSERT_EQ(eval("document.getElementById('pass').value"), "s3cret");
  EXPECT_TRUE(kit::ActionSheet::visibleSheets().empty());

  clickElement("go");
  ASSERT_TRUE(waitUntil([] { return !kit::ActionSheet::visibleSheets().empty(); }, 10)) << "no offer to save";
  kit::Ref<kit::ActionSheet> sheet = kit::ActionSheet::visibleSheets().front();
  EXPECT_EQ(sheet->tag(), tolva::VeskWebView::kTagSavePassword);
  EXPECT_NE(sheet->title().find("127.0.0.1"), std::string::npos) << sheet->title();
  EXPECT_TRUE(page()->bShowingPasswordSheet());
  // It is on screen as a dialog with the three answers.
  EXPECT_EQ(kit::gtk::WidgetTree::installed()->dialogs().size(), 1u);
  GtkWidget* dialog = dialogFor(sheet.get());
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(gtk_widget_get_visible(dialog));
  GtkWidget* save = dialogButton(sheet.get(), "Save Password");
  ASSERT_NE(save, nullptr);
  EXPECT_NE(dialogButton(sheet.get(), "Never for this site"), nullptr);
  // The form went to the site as submitted.
  ASSERT_TRUE(waitUntil([&] { return !server_.requestsFor("/signed-in").empty(); }, 10));
  EXPECT_EQ(server_.requestsFor("/signed-in").front().body, "user=alice&pass=s3cret");
  saveScreenshot("TabsTest.SaveOffer");

  // Saving keeps the login for the site.
  gtk_button_clicked(GTK_BUTTON(save));
  ASSERT_TRUE(waitUntil([] { return kit::ActionSheet::visibleSheets().empty(); }, 5));
  EXPECT_FALSE(page()->bShowingPasswordSheet());
  kit::Ref<kit::MutableDictionary> saved = store->retrieveByURL("127.0.0.1");
  ASSERT_TRUE(saved);
  ASSERT_NE(saved->get<kit::String>("user"), nullptr);
  EXPECT_EQ(saved->get<kit::String>("user")->str(), "alice");
  ASSERT_NE(saved->get<kit::String>("pass"), nullptr);
  EXPECT_EQ(saved->get<kit::String>("pass")->str(), "s3cret");
  EXPECT_EQ(store->getSaveOption("127.0.0.1"), 3);
  EXPECT_TRUE(waitForTitle("Signed In"));
}

TEST_F(TabsTest, AClosedTabReopensFromTheRecentlyClosedList) {
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  // Asked for only now: the shared object reads the settings when first made.
  kit::MutableArray* closed = tolva::VeskMiscObject::sharedInstance()->recentlyClosedTabs();
  controller()->createNewTabWithURL(server_.url("/second"));
  ASSERT_EQ(strip()->tabCount(), 2);
  EXPECT_EQ(strip()->curSel(), 1);
  ASSERT_TRUE(waitForTabTitle(1, "The Second Page"));
  EXPECT_EQ(closed->count(), 0u);
  settle();

  // A real click on the second tab's close button.
  tolva::VeskTabItemView* item = strip()->getItemAt(1);
  ASSERT_NE(item, nullptr);
  clickMiddleOf(item->closeBtn());
  ASSERT_TRUE(waitUntil([&] { return strip()->tabCount() == 1; }, 5)) << "the tab did not close";
  EXPECT_EQ(strip()->curSel(), 0);
  EXPECT_EQ(page(), strip()->getViewAt(0));
  EXPECT_EQ(page()->title()->text(), "Tolva Home Test");
  ASSERT_EQ(closed->count(), 1u);
  auto* entry = closed->get<kit::Dictionary>(0);
  ASSERT_NE(entry, nullptr);
  ASSERT_NE(entry->get<kit::String>(tolva::RecentlyClosedTab::kURL), nullptr);
  EXPECT_EQ(entry->get<kit::String>(tolva::RecentlyClosedTab::kURL)->str(), server_.url("/second"));
  ASSERT_NE(entry->get<kit::String>(tolva::RecentlyClosedTab::kTitle), nullptr);
  EXPECT_EQ(entry->get<kit::String>(tolva::RecentlyClosedTab::kTitle)->str(), "The Second Page");
  saveScreenshot("TabsTest.AfterClose");

  // A long press on the new-page button shows the list; a real click on its
  // row opens the page again as a tab beside the one on show.
  ASSERT_TRUE(longPressMiddleOf(controller()->newPageBtn1(),
                                [] { return !kit::PopoverController::visiblePopovers().empty(); }))
      << "no list after a long press";
  auto* list = dynamic_cast<tolva::VeskRecentlyClosedTableViewController*>(
      kit::PopoverController::visiblePopovers()[0]->contentViewController());
  ASSERT_NE(list, nullptr);
  kit::TableView* table = list->tableView();
  ASSERT_EQ(table->numberOfRowsInSection(0), 1);
  ASSERT_TRUE(waitUntil([&] { return table->cellForRowAtIndexPath({0, 0}) != nullptr; }, 5));
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0})->textLabel()->text(), "The Second Page");
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0})->detailTextLabel()->text(), server_.url("/second"));
  saveScreenshot("TabsTest.RecentlyClosedList");
  const kit::Rect row = table->rectForRowAtIndexPath({0, 0});
  clickInPopover(table, {row.x() + row.width() / 2, row.y() + row.height() / 2});
  ASSERT_TRUE(waitUntil([&] { return strip()->tabCount() == 2; }, 5)) << "the row's click opened nothing";
  EXPECT_TRUE(kit::PopoverController::visiblePopovers().empty());
  EXPECT_FALSE(controller()->blockLongPressGesture());
  EXPECT_EQ(closed->count(), 1u);
  ASSERT_EQ(strip()->tabCount(), 2);
  EXPECT_EQ(strip()->curSel(), 1);
  ASSERT_TRUE(waitForTabTitle(1, "The Second Page"));
  EXPECT_EQ(strip()->getViewAt(1)->location(), server_.url("/second"));
  EXPECT_EQ(strip()->getItemAt(1)->title()->text(), "The Second Page");
  EXPECT_EQ(strip()->getViewAt(0)->title()->text(), "Tolva Home Test");
  EXPECT_EQ(server_.requestsFor("/second").size(), 2u);
}

TEST_F(TabsTest, ARestartRestoresTheTabsTheirOrderAndTheSelection) {
  ASSERT_TRUE(startRestoring(server_.url("/home")));
  // A first start: the welcome page, then the home page.
  ASSERT_EQ(strip()->tabCount(), 2);
  EXPECT_EQ(strip()->curSel(), 0);
  // One tab opened beside the welcome page, one private tab at the end never shown.
  controller()->createNewTabWithURL(server_.url("/one"));
  ASSERT_TRUE(waitForTabTitle(1, "Page One"));
  strip()->needToCreateNewTab(nullptr, server_.url("/two"), false, true);
  ASSERT_EQ(strip()->tabCount(), 4);
  EXPECT_EQ(strip()->curSel(), 1);
  settle();
  // The home tab chosen with a real click on its item in the strip.
  clickMiddleOf(strip()->getItemAt(2)->title());
  ASSERT_TRUE(waitUntil([&] { return strip()->curSel() == 2; }, 5)) << "curSel " << strip()->curSel();
  ASSERT_TRUE(waitForTabTitle(2, "Tolva Home Test"));

  std::vector<std::string> locations;
  std::vector<bool> privates;
  for (const auto& p : strip()->tabs()) {
    locations.push_back(p->location());
    privates.push_back(p->privateMode());
  }
  EXPECT_EQ(locations[1], server_.url("/one"));
  EXPECT_EQ(locations[2], server_.url("/home"));
  EXPECT_EQ(locations[3], server_.url("/two"));
  EXPECT_EQ(privates, (std::vector<bool>{false, false, false, true}));
  saveScreenshot("TabsTest.BeforeRestart");
  // (A tab opened in the background loads at once.)
  const size_t oneRequests = server_.requestsFor("/one").size();
  const size_t twoRequests = server_.requestsFor("/two").size();

  ASSERT_TRUE(restartProgram());
  tolva::VeskMultiTabView* s = strip();
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->tabCount(), 4);
  EXPECT_EQ(s->curSel(), 2);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(s->getViewAt(i)->location(), locations[size_t(i)]) << "tab " << i;
    EXPECT_EQ(s->getViewAt(i)->privateMode(), privates[size_t(i)]) << "tab " << i;
  }
  ASSERT_TRUE(waitForTabTitle(2, "Tolva Home Test"));
  EXPECT_EQ(page(), s->getViewAt(2));
  // Only the tab on show made a web view; the others wait until shown.
  EXPECT_EQ(s->getViewAt(0)->existingWebView(), nullptr);
  EXPECT_EQ(s->getViewAt(1)->existingWebView(), nullptr);
  EXPECT_EQ(s->getViewAt(3)->existingWebView(), nullptr);
  EXPECT_EQ(server_.requestsFor("/one").size(), oneRequests);
  EXPECT_EQ(server_.requestsFor("/two").size(), twoRequests);
  EXPECT_EQ(s->getItemAt(1)->title()->text(), "Page One");

  // Showing a restored tab loads it.
  s->setCurSel(1);
  EXPECT_NE(s->getViewAt(1)->existingWebView(), nullptr);
  EXPECT_TRUE(waitForTabTitle(1, "Page One"));
}

// The wheel scrolls the tab strip under the pointer: the plain wheel moves a
// strip that only scrolls sideways sideways, and the sideways wheel moves it
// back. The phone shows about one tab, so three are enough to need it.
TEST_F(TabsTest, TheWheelScrollsTheTabStripSideways) {
  ASSERT_TRUE(startProgram(server_.url("/home"), true));
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  for (int i = 0; i < 2; ++i) controller()->onNewPage(nullptr);
  ASSERT_TRUE(waitUntil([&] { return strip()->tabCount() == 3; }, 5));
  ASSERT_GT(strip()->maximumContentOffset().x, 0);
  strip()->setContentOffset({0, 0});
  settle();
  const kit::Rect f = strip()->convertRectToView(strip()->bounds(), nullptr);
  pointerTo(mainWindow(), {f.x() + f.width() / 2, f.y() + f.height() / 2});
  auto wheel = [](unsigned button) {
    pressButton(true, button);
    pressButton(false, button);
  };
  wheel(5);  // down
  ASSERT_TRUE(waitUntil([&] { return strip()->contentOffset().x > 0; }, 5)) << "the wheel did not reach the strip";
  EXPECT_EQ(strip()->contentOffset().y, 0);
  const double moved = strip()->contentOffset().x;
  wheel(6);  // left
  EXPECT_TRUE(waitUntil([&] { return strip()->contentOffset().x < moved; }, 5)) << strip()->contentOffset().x;
}

}  // namespace
