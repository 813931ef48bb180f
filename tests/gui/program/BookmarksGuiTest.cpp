// Bookmarks in the real program: a page is bookmarked from its bookmark
// button, shows in the bookmark list with its site icon, and opens from
// there; the icon of the loopback site also reaches the page's tab. Pages and
// the icon are served on 127.0.0.1.

#include <string>
#include <vector>

#include "TabsFixture.h"
#include "data/VeskBookmarkAddTableViewController.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskBookmarkTableViewController.h"
#include "data/VeskFaviconDatabase.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Image.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/TableView.h"
#include "kit/ui/Toolbar.h"

namespace {

using tolvatest::TabsFixture;
using tolvatest::TestResponse;

// A 32 x 32 picture in one colour, as PNG bytes.
std::string icon() {
  std::vector<uint8_t> rgba(32 * 32 * 4);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    rgba[i] = 220;
    rgba[i + 1] = 30;
    rgba[i + 2] = 120;
    rgba[i + 3] = 255;
  }
  return std::string(kit::Image::imageWithPixels({32, 32}, std::move(rgba))->pngData()->view());
}

kit::Point middleOf(kit::Rect r) { return {r.x() + r.width() / 2, r.y() + r.height() / 2}; }

bool samePicture(const kit::Image* a, const kit::Image* b) {
  return a && b && a->pixelWidth() == b->pixelWidth() && a->pixels() == b->pixels();
}

class BookmarksGuiTest : public TabsFixture {
 protected:
  void SetUp() override {
    TabsFixture::SetUp();
    server_.route("GET", "/home", TestResponse::html(html("Tolva Home Test", "<h1>Home</h1>")));
    server_.route("GET", "/kept", TestResponse::html(html("A Page Worth Keeping", "<h1>Keep me</h1>")));
    server_.route("GET", "/favicon.ico", TestResponse::ok(icon(), "image/png"));
  }

  // A real click on a bar button of the main window.
  static void clickItem(kit::BarButtonItem* item) {
    ASSERT_NE(item, nullptr);
    ASSERT_NE(item->bar(), nullptr);
    settle();
    click(item->bar(), middleOf(item->frameInBar()));
    settle();
  }
  // A real click on a bar button of a screen in the bookmark popover.
  static void clickItemInPopover(kit::BarButtonItem* item) {
    ASSERT_NE(item, nullptr);
    ASSERT_NE(item->bar(), nullptr);
    settle();
    clickInPopover(item->bar(), middleOf(item->frameInBar()));
  }
  static kit::BarButtonItem* toolbarItem(kit::ViewController* screen, const std::string& title) {
    for (auto& b : screen->toolbarItems())
      if (b->title() == title) return b.get();
    return nullptr;
  }
  kit::NavigationController* bookmarks() const { return strip()->getBookmarkNavicon(); }
  kit::ViewController* top() const { return bookmarks()->topViewController(); }
};

TEST_F(BookmarksGuiTest, APageIsBookmarkedListedWithItsIconAndOpenedFromTheList) {
  ASSERT_TRUE(startProgram(server_.url("/kept")));
  ASSERT_TRUE(waitForTitle("A Page Worth Keeping"));
  tolva::VeskFaviconDatabase* icons = tolva::VeskFaviconDatabase::getSharedInstance();
  const std::string kept = server_.url("/kept");

  // The site's icon is fetched and, at the page's next look, shown in its tab.
  ASSERT_TRUE(waitUntil([&] { return icons->checkFavicon(kept); }, 10)) << "no icon stored";
  kit::Ref<kit::Image> stored = icons->getFavicon(kept);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->size(), kit::Size(16, 16));
  ASSERT_TRUE(waitUntil([&] { return samePicture(strip()->getItemAt(0)->faviCon()->image(), stored.get()); }, 10))
      << "the tab shows no site icon";
  EXPECT_TRUE(waitUntil([&] { return samePicture(page()->faviconView()->image(), stored.get()); }, 10))
      << "the address bar shows no site icon";
  EXPECT_EQ(server_.requestsFor("/favicon.ico").size(), 1u);

  // The page's bookmark button opens the list; "Add" opens the form filled from the page.
  clickItem(page()->bookmarkBtn());
  ASSERT_TRUE(waitUntil([&] { return strip()->getBookmarkPopover()->isPopoverVisible(); }, 5));
  auto* list = dynamic_cast<tolva::VeskBookmarkTableViewController*>(top());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->targetVeskView(), page());
  saveScreenshot("BookmarksGuiTest.List");
  clickItemInPopover(toolbarItem(list, "Add"));
  auto* form = dynamic_cast<tolva::VeskBookmarkAddTableViewController*>(top());
  ASSERT_NE(form, nullptr) << "no bookmark form";
  ASSERT_TRUE(waitUntil([&] { return form->urlField()->window() != nullptr; }, 5));
  EXPECT_EQ(form->titleField()->text(), "A Page Worth Keeping");
  EXPECT_EQ(form->urlField()->text(), kept);
  saveScreenshot("BookmarksGuiTest.Form");
  clickItemInPopover(form->navigationItem()->rightBarButtonItem());
  ASSERT_TRUE(waitUntil([&] { return top() == list; }, 5)) << "the form stayed open";

  // The new bookmark is the list's last row, with the site's icon.
  tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
  kit::TableView* table = list->tableView();
  const long rows = table->numberOfRowsInSection(0);
  ASSERT_GT(rows, 0);
  const kit::IndexPath last{0, rows - 1};
  kit::Ref<kit::Dictionary> item = db->getItemAt(static_cast<size_t>(rows - 1));
  ASSERT_TRUE(item);
  EXPECT_EQ(item->get<kit::String>("url")->str(), kept);
  table->scrollToRowAtIndexPath(last, kit::TableView::ScrollPosition::Bottom, false);
  ASSERT_TRUE(waitUntil([&] { return table->cellForRowAtIndexPath(last) != nullptr; }, 5));
  EXPECT_EQ(table->cellForRowAtIndexPath(last)->textLabel()->text(), "A Page Worth Keeping");
  EXPECT_TRUE(samePicture(table->cellForRowAtIndexPath(last)->imageView()->image(), stored.get()));
  saveScreenshot("BookmarksGuiTest.ListWithBookmark");

  // Elsewhere, then back through the bookmark.
  page()->bookmarkUrlSelected(server_.url("/home"));
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  clickItem(page()->bookmarkBtn());
  ASSERT_TRUE(waitUntil([&] { return strip()->getBookmarkPopover()->isPopoverVisible(); }, 5));
  table->scrollToRowAtIndexPath(last, kit::TableView::ScrollPosition::Bottom, false);
  settle();
  clickInPopover(table, middleOf(table->rectForRowAtIndexPath(last)));
  ASSERT_TRUE(waitForTitle("A Page Worth Keeping")) << "the bookmark did not open";
  EXPECT_FALSE(strip()->getBookmarkPopover()->isPopoverVisible());
  EXPECT_EQ(server_.requestsFor("/kept").size(), 2u);
  saveScreenshot("BookmarksGuiTest.Opened");
}

}  // namespace
