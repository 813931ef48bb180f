// Suggestions in the real program: typing in the address field lists the
// matching bookmarks and history entries, and a click on one loads it;
// typing in the search field lists what the loopback completion service
// suggests.

#include <string>
#include <vector>

#include "TabsFixture.h"
#include "data/VeskBookmarkDatabase.h"
#include "kit/ui/TableView.h"
#include "kit/ui/TableViewCell.h"
#include "kit/ui/TextField.h"
#include "shell/VeskTextSearchTableViewController.h"
#include "shell/VeskURLSearchTableViewController.h"

namespace {

using tolvatest::TabsFixture;
using tolvatest::TestResponse;

std::vector<std::string> rowTitles(kit::TableView* table) {
  std::vector<std::string> out;
  if (!table || !table->dataSource()) return out;
  long n = table->dataSource()->tableViewNumberOfRowsInSection(*table, 0);
  for (long r = 0; r < n; ++r)
    out.push_back(table->dataSource()->tableViewCellForRowAtIndexPath(*table, {0, r})->textLabel()->text());
  return out;
}

class SuggestionsGuiTest : public TabsFixture {
 protected:
  void SetUp() override {
    TabsFixture::SetUp();
    tolva::VeskTextSearchTableViewController::setSuggestionServiceBase(server_.origin());
    server_.route("GET", "/start", TestResponse::html(html("Start Page", "<h1>Start</h1>")));
    server_.route("GET", "/kittens", TestResponse::html(html("Kitten News", "<h1>Kittens</h1>")));
    std::string xml = "<?xml version=\"1.0\"?><toplevel>";
    for (int i = 0; i < 12; ++i)
      xml += "<CompleteSuggestion><suggestion data=\"kitten " + std::to_string(i) + "\"/></CompleteSuggestion>";
    server_.route("GET", "/complete/search", TestResponse::ok(xml + "</toplevel>", "text/xml"));
  }
  void TearDown() override {
    tolva::VeskTextSearchTableViewController::setSuggestionServiceBase("http://127.0.0.1:9");
    TabsFixture::TearDown();
  }
  // Clicks the field and types into it from empty.
  void typeInto(kit::TextField* field, const std::string& text) {
    clickMiddleOf(field);
    ASSERT_TRUE(waitUntil([&] { return field->isFirstResponder(); }, 5));
    field->setText("");
    typeKeys(field, text);
  }
};

TEST_F(SuggestionsGuiTest, TheAddressFieldListsStoreMatchesAndOpensThePickedOne) {
  tolva::VeskBookmarkDatabase* store = tolva::VeskBookmarkDatabase::getSharedInstance();
  ASSERT_TRUE(startProgram(server_.url("/start")));
  ASSERT_TRUE(waitForTitle("Start Page"));
  store->addItem("Kitten News", server_.url("/kittens"), nullptr);
  store->addItemAtHistory("Visited kittens", "http://127.0.0.1:9/kittens-history");

  typeInto(page()->urlField(), "kitten");
  auto* list = dynamic_cast<tolva::VeskURLSearchTableViewController*>(page()->urlSearchTableController());
  ASSERT_NE(list, nullptr) << "no address suggestions";
  kit::TableView* table = list->tableView();
  ASSERT_TRUE(waitUntil([&] { return rowTitles(table).size() == 2; }, 5)) << rowTitles(table).size();
  std::vector<std::string> titles = rowTitles(table);
  EXPECT_NE(std::find(titles.begin(), titles.end(), "Kitten News"), titles.end());
  EXPECT_NE(std::find(titles.begin(), titles.end(), "Visited kittens"), titles.end());
  ASSERT_TRUE(waitUntil([&] { return table->window() != nullptr; }, 5)) << "the list is not on screen";
  saveScreenshot("SuggestionsGuiTest.AddressList");

  long row = titles[0] == "Kitten News" ? 0 : 1;
  const kit::Rect r = table->rectForRowAtIndexPath({0, row});
  clickInPopover(table, {r.x() + r.width() / 2, r.y() + r.height() / 2});
  ASSERT_TRUE(waitForTitle("Kitten News")) << "the picked suggestion did not open";
  EXPECT_EQ(server_.requestsFor("/kittens").size(), 1u);
}

TEST_F(SuggestionsGuiTest, TheSearchFieldListsTheServicesSuggestions) {
  ASSERT_TRUE(startProgram(server_.url("/start")));
  ASSERT_TRUE(waitForTitle("Start Page"));
  typeInto(page()->searchField(), "kit");
  auto* list = dynamic_cast<tolva::VeskTextSearchTableViewController*>(page()->textSearchTableController());
  ASSERT_NE(list, nullptr) << "no search suggestions";
  ASSERT_TRUE(waitUntil([&] { return rowTitles(list->tableView()).size() == 9; }, 10))
      << rowTitles(list->tableView()).size();
  EXPECT_EQ(rowTitles(list->tableView()).front(), "kitten 0");
  EXPECT_FALSE(server_.requestsFor("/complete/search").empty());
  EXPECT_EQ(server_.requestsFor("/complete/search").back().target, "/complete/search?output=toolbar&q=kit");
  saveScreenshot("SuggestionsGuiTest.SearchList");
}

}  // namespace
