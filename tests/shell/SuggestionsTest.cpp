// The lists under the address and search fields, driven through the fields
// as a user types, against the bookmark store and a loopback completion service.

#include <atomic>
#include <chrono>
#include <thread>

#include "ShellTest.h"
#include "kit/ui/TableView.h"
#include "shell/VeskTextSearchTableViewController.h"
#include "shell/VeskURLSearchTableViewController.h"
#include "support/TestHTTPServer.h"

using namespace tolva;

namespace {

struct Strip : VeskWebViewDelegate {
  std::vector<std::string> captions;
  void moveTab(int) override {}
  kit::PopoverController* getBookmarkPopover() override { return nullptr; }
  kit::NavigationController* getBookmarkNavicon() override { return nullptr; }
  void showInfoBox(const std::string& text, kit::Image*) override { captions.push_back(text); }
  int getIdentifierForPersistentData(const VeskWebView&) const override { return -1; }
  void makeAllTabsFullscreen(int) override {}
  bool isScreenShotActive() const override { return false; }
  void closeMe(VeskWebView&) override {}
};

std::string answer(int count) {
  std::string xml = "<?xml version=\"1.0\"?><toplevel>";
  for (int i = 0; i < count; ++i)
    xml += "<CompleteSuggestion><suggestion data=\"s" + std::to_string(i) + "\"/></CompleteSuggestion>";
  return xml + "</toplevel>";
}

class SuggestionsTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    VeskTextSearchTableViewController::setSuggestionServiceBase(server_.origin());
  }
  void TearDown() override {
    pages_.clear();
    VeskTextSearchTableViewController::setSuggestionServiceBase("http://127.0.0.1:9");
    ShellTest::TearDown();
  }
  VeskWebView* open() {
    kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, &strip_, "http://site.test/");
    pages_.push_back(p);
    return p.get();
  }
  // Types into the field, which starts empty (an address field shows the page's address).
  static void type(kit::TextField* field, const std::string& text, bool clear = true) {
    field->becomeFirstResponder();
    if (clear) field->setText("");
    field->typeText(text);
  }
  static std::vector<std::string> rows(kit::TableView* table, long section = 0) {
    std::vector<std::string> out;
    long n = table->dataSource()->tableViewNumberOfRowsInSection(*table, section);
    for (long r = 0; r < n; ++r)
      out.push_back(table->dataSource()->tableViewCellForRowAtIndexPath(*table, {section, r})->textLabel()->text());
    return out;
  }
  // Waits (real time; the virtual clock stands still, so no time-out fires
  // early) until the server has seen `count` requests and their answers are in.
  void settle(VeskTextSearchTableViewController* list, size_t count) {
    loop().runUntil([&] { return server_.requests().size() >= count && !list->fetching(); }, 10);
    loop().drain();
  }

  tolvatest::TestHTTPServer server_;
  Strip strip_;
  std::vector<kit::Ref<VeskWebView>> pages_;
};

TEST_F(SuggestionsTest, TheAddressListShowsStoreMatchesAndLoadsThePickedOne) {
  VeskBookmarkDatabase* store = VeskBookmarkDatabase::getSharedInstance();
  store->addItem("Kittens daily", "http://cats.test/news");
  store->addItem("Dogs", "http://dogs.test/kitten-care");
  store->addItemAtHistory("Weather", "http://weather.test/");
  VeskWebView* p = open();
  type(p->urlField(), "kitten");
  auto* list = kit::cast<VeskURLSearchTableViewController>(p->urlSearchTableController());
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->includeTitle());
  kit::TableView* table = list->tableView();
  std::vector<std::string> found = rows(table);
  EXPECT_EQ(found.size(), 2u) << "the URL match and, with titles, the title match";

  list->setIncludeTitle(false);
  list->setSearchText(std::string("kittens"));
  EXPECT_TRUE(rows(table).empty()) << "without titles only URLs count";

  list->setSearchText(std::string(""));
  EXPECT_EQ(rows(table), (std::vector<std::string>{"Weather"})) << "an empty field lists the most visited";

  list->setSearchText(std::string("weather"));
  ASSERT_EQ(rows(table).size(), 1u);
  table->delegate()->tableViewDidSelectRowAtIndexPath(*table, {0, 0});
  EXPECT_EQ(lastLoad(p), "http://weather.test/");
  EXPECT_EQ(p->urlField()->text(), "http://weather.test/");
  EXPECT_FALSE(p->urlField()->isFirstResponder());
  EXPECT_TRUE(kit::PopoverController::visiblePopovers().empty());
}

TEST_F(SuggestionsTest, TypingFastFetchesOnceAndShowsNineSuggestions) {
  server_.route("GET", "/complete/search", tolvatest::TestResponse::ok(answer(12), "text/xml"));
  VeskWebView* p = open();
  type(p->searchField(), "a");
  loop().advance(0.02);
  type(p->searchField(), "b", false);
  loop().advance(0.02);
  type(p->searchField(), "c", false);
  auto* list = kit::cast<VeskTextSearchTableViewController>(p->textSearchTableController());
  ASSERT_TRUE(list);
  EXPECT_TRUE(server_.requests().empty());
  loop().advance(0.06);
  settle(list, 1);
  auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/complete/search?output=toolbar&q=abc");
  kit::TableView* table = list->tableView();
  EXPECT_EQ(rows(table).size(), 9u);
  EXPECT_EQ(rows(table)[0], "s0");
  EXPECT_EQ(table->dataSource()->tableViewTitleForFooterInSection(*table, 0), "On This Page");
  EXPECT_EQ(rows(table, 1), (std::vector<std::string>{"Highlight \"abc\""}));

  // Only the query is escaped, and as a component.
  EXPECT_EQ(VeskTextSearchTableViewController::suggestionURL("AT&T c++ #1"),
            server_.origin() + "/complete/search?output=toolbar&q=AT%26T%20c%2B%2B%20%231");
}

TEST_F(SuggestionsTest, AStaleOrBrokenAnswerIsNeverShown) {
  // The answer for "old" is held back until the text has changed.
  auto released = std::make_shared<std::atomic<bool>>(false);
  server_.route("GET", "/complete/search", [released](const tolvatest::RecordedRequest& r) {
    if (r.target.find("q=broken") != std::string::npos)
      return tolvatest::TestResponse::ok("<toplevel><suggestion data=\"x\"/>", "text/xml");
    bool old = r.target.find("q=old") != std::string::npos;
    for (int i = 0; old && !released->load() && i < 5000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return tolvatest::TestResponse::ok(answer(old ? 2 : 3), "text/xml");
  });
  VeskWebView* p = open();
  type(p->searchField(), "old");
  auto* list = kit::cast<VeskTextSearchTableViewController>(p->textSearchTableController());
  loop().advance(0.06);
  ASSERT_TRUE(list->fetching());
  // The text changes while the first fetch is out: its answer is dropped and the new text asked for.
  list->setSearchText("new");
  released->store(true);
  settle(list, 2);
  auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "/complete/search?output=toolbar&q=new");
  EXPECT_EQ(list->suggest().size(), 3u);

  list->setSearchText("broken");
  loop().advance(0.06);
  settle(list, 3);
  EXPECT_TRUE(list->suggest().empty()) << "a malformed answer shows nothing, not half a list";
  EXPECT_TRUE(VeskTextSearchTableViewController::parseSuggestions("<a><suggestion data=\"1\"/>").empty());
  std::vector<std::string> entity = VeskTextSearchTableViewController::parseSuggestions(
      "<!DOCTYPE t [<!ENTITY e \"boom\">]><t><suggestion data=\"&e;\"/><suggestion data=\"ok\"/></t>");
  ASSERT_EQ(entity.size(), 2u);
  EXPECT_EQ(entity[0].find("boom"), std::string::npos) << "entities are not expanded";
}

TEST_F(SuggestionsTest, TheOnThisPageRowsFindAndHighlight) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  ASSERT_TRUE(w);
  type(p->searchField(), "cat");
  auto* list = kit::cast<VeskTextSearchTableViewController>(p->textSearchTableController());
  kit::TableView* table = list->tableView();
  w->setScriptAnswer("Vesk_FindResultCount", "0");
  table->delegate()->tableViewDidSelectRowAtIndexPath(*table, {1, 0});
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Not Found");
  EXPECT_TRUE(p->searchField()->isFirstResponder()) << "the list stays open";
  topAlert()->dismissWithClickedButtonIndex(0, false);

  w->setScriptAnswer("Vesk_FindResultCount", "1");
  w->setScriptAnswer("Vesk_SearchResultCount", "1");
  table->delegate()->tableViewDidSelectRowAtIndexPath(*table, {1, 0});
  EXPECT_EQ(strip_.captions.back(), "Found 1 item(s)");
  EXPECT_FALSE(p->searchField()->isFirstResponder());
  EXPECT_EQ(rows(table, 1), (std::vector<std::string>{"Highlight \"cat\"", "Remove highlights"}));
}

TEST_F(SuggestionsTest, OnThePhoneTheListDrivesTheTableOverThePage) {
  usePhone();
  VeskWebView* p = open();
  VeskBookmarkDatabase::getSharedInstance()->addItem("Maps", "http://maps.test/");
  // A view the page gains later (its web view is made when first shown) stays below the list.
  p->addSubview(kit::View::view({0, 0, 10, 10}));
  type(p->urlField(), "maps");
  EXPECT_FALSE(p->resultTableView()->isHidden());
  EXPECT_EQ(p->subviews().back().get(), p->resultTableView());
  EXPECT_EQ(rows(p->resultTableView()), (std::vector<std::string>{"Maps"}));
  kit::TableView* results = p->resultTableView();
  EXPECT_EQ(results->dataSource()->tableViewCellForRowAtIndexPath(*results, {0, 0})->detailTextLabel()->text(),
            "http://maps.test/");
  EXPECT_EQ(p->urlField()->tag(), VeskWebView::kTagURLField);
  EXPECT_EQ(p->searchField()->tag(), VeskWebView::kTagSearchField);
  p->resultTableView()->delegate()->tableViewDidSelectRowAtIndexPath(*p->resultTableView(), {0, 0});
  EXPECT_EQ(lastLoad(p), "http://maps.test/");
  EXPECT_TRUE(p->resultTableView()->isHidden());
}

}  // namespace
