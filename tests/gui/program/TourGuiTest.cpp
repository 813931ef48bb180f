// A tour of the real program in both layouts over a page whose whole body is
// one loud colour that the program never draws. Each screen on the way is
// pictured (under $TOLVA_ARTIFACTS), must not let that colour through inside
// its frame, and must let a finger find every control it shows at the
// control's centre; then it is closed the way a person closes it. On the way
// the mouse does what a finger does: it deletes a bookmark by its editing
// control and by a sideways drag, and leaves full screen by its button.

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "TabsFixture.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskBookmarkTableViewController.h"
#include "downloads/VeskDownloadTableViewController.h"
#include "kit/gtk/Backend.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Button.h"
#include "kit/ui/Image.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/TableView.h"
#include "kit/ui/Toolbar.h"

namespace {

using tolvatest::TabsFixture;
using tolvatest::TestResponse;

// Nothing in the program is drawn in this colour.
constexpr int kLoud[3] = {255, 0, 255};

kit::Point middleOf(kit::Rect r) { return {r.x() + r.width() / 2, r.y() + r.height() / 2}; }

class TourGuiTest : public TabsFixture {
 protected:
  void SetUp() override {
    TabsFixture::SetUp();
    const std::string loud = "<html><head><title>Loud</title></head>"
                             "<body style='margin:0;background:#ff00ff;height:3000px'></body></html>";
    server_.route("GET", "/loud", TestResponse::html(loud));
  }

  // The screen's frame on screen, in the main window's coordinates (a view
  // in a popover is found from the popover's widget).
  kit::Rect onScreen(kit::View* view) {
    kit::PopoverView* panel = nullptr;
    for (kit::View* v = view; v && !panel; v = v->superview()) panel = dynamic_cast<kit::PopoverView*>(v);
    const kit::Rect inRoot = view->convertRectToView(view->bounds(), panel);
    if (!panel) return inRoot;
    kit::gtk::WidgetTree* tree = kit::gtk::WidgetTree::installed();
    GtkWidget* box = tree->widgetFor(panel);
    if (!box || !gtk_widget_get_realized(box)) return {};
    int px = 0, py = 0, wx = 0, wy = 0;
    gdk_window_get_origin(gtk_widget_get_window(box), &px, &py);
    GtkAllocation a;
    gtk_widget_get_allocation(box, &a);
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(tree->toplevelFor(mainWindow()))), &wx, &wy);
    return {px + a.x - wx + inRoot.x(), py + a.y - wy + inRoot.y(), inRoot.width(), inRoot.height()};
  }

  // How many pixels of the page's colour show inside `frame` (window coordinates).
  long loudPixels(kit::Rect frame) {
    settle();
    const std::string path = std::string(std::getenv("TOLVA_HOME")) + "/tour-probe.png";
    if (!kit::gtk::Backend::writeScreenshot(mainWindow(), path)) return -1;
    kit::Ref<kit::Image> shot = kit::Image::imageWithContentsOfFile(path);
    std::remove(path.c_str());
    if (!shot || !shot->hasPixels()) return -1;
    long n = 0;
    const long x0 = std::max(0L, long(frame.x())), y0 = std::max(0L, long(frame.y()));
    const long x1 = std::min(long(shot->pixelWidth()), long(frame.maxX()));
    const long y1 = std::min(long(shot->pixelHeight()), long(frame.maxY()));
    for (long y = y0; y < y1; ++y)
      for (long x = x0; x < x1; ++x) {
        const uint32_t px = shot->pixelAt(size_t(x), size_t(y));
        const int r = (px >> 24) & 0xFF, g = (px >> 16) & 0xFF, b = (px >> 8) & 0xFF;
        if (std::abs(r - kLoud[0]) < 24 && std::abs(g - kLoud[1]) < 24 && std::abs(b - kLoud[2]) < 24) ++n;
      }
    return n;
  }

  // Whether the view's middle lies in the visible part of every scroll view
  // around it (a control scrolled out of sight is not on show).
  static bool inSight(kit::View* v) {
    for (kit::View* s = v->superview(); s; s = s->superview())
      if (dynamic_cast<kit::ScrollView*>(s) &&
          !s->bounds().contains(v->convertPointToView(middleOf(v->bounds()), s)))
        return false;
    return true;
  }

  // What a finger could not find among the controls and bar items shown in `root`.
  static void unreachable(kit::View* root, std::vector<std::string>& out) {
    if (root->isHidden() || root->alpha() < 0.01) return;
    if (auto* c = dynamic_cast<kit::Control*>(root); c && c->isEnabled() && !c->bounds().isEmpty() && inSight(c)) {
      if (std::string why = c->whyUntappable(); !why.empty())
        out.push_back(c->describe() + " in " + (c->superview() ? c->superview()->describe() : "nothing") + " " + why);
    }
    std::vector<kit::Ref<kit::BarButtonItem>> items;
    if (auto* tb = dynamic_cast<kit::Toolbar*>(root)) items = tb->items();
    if (auto* nb = dynamic_cast<kit::NavigationBar*>(root); nb && nb->topItem()) {
      for (auto& i : nb->topItem()->leftBarButtonItems()) items.push_back(i);
      for (auto& i : nb->topItem()->rightBarButtonItems()) items.push_back(i);
    }
    for (auto& i : items) {
      if (i->isSpace() || i->customView() || i->bar() != root || !i->isEnabled()) continue;
      if (std::string why = i->whyUntappable(); !why.empty()) out.push_back("item \"" + i->title() + "\" " + why);
    }
    for (auto& s : root->subviews()) unreachable(s.get(), out);
  }

  // Pictures the screen, then checks that the page does not show through
  // its frame and that every control it shows can be found.
  void visit(const std::string& name, kit::View* screen, bool pageMayShow = false) {
    ASSERT_NE(screen, nullptr) << name;
    settle();
    saveScreenshot("TourGuiTest." + std::string(phone_ ? "phone." : "tablet.") + name);
    if (!pageMayShow) {
      const kit::Rect frame = onScreen(screen);
      EXPECT_FALSE(frame.isEmpty()) << name;
      EXPECT_EQ(loudPixels(frame), 0) << name << ": the page shows through the screen";
    }
    std::vector<std::string> lost;
    unreachable(screen, lost);
    for (const auto& l : lost) ADD_FAILURE() << name << ": " << l;
  }

  void clickItem(kit::BarButtonItem* item) {
    ASSERT_NE(item, nullptr);
    ASSERT_NE(item->bar(), nullptr);
    settle();
    if (onScreen(item->bar()) != item->bar()->convertRectToView(item->bar()->bounds(), nullptr))
      clickInPopover(item->bar(), middleOf(item->frameInBar()));
    else
      click(item->bar(), middleOf(item->frameInBar()));
    settle();
  }

  bool loudPage(bool phone) {
    phone_ = phone;
    if (!startProgram(server_.url("/loud"), phone)) return false;
    return waitForTitle("Loud");
  }

  // Three bookmarks to show and delete.
  static void threeBookmarks(const std::string& base) {
    tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
    db->gotoRoot();
    for (int i = 0; i < 3; ++i) db->addItem("Kept " + std::to_string(i), base + "/kept" + std::to_string(i));
  }

  // The bookmark list, its edit mode, a row deleted by its editing control
  // and one by a sideways drag; closed by Escape.
  void bookmarkTour() {
    threeBookmarks(server_.url(""));
    clickItem(page()->bookmarkBtn());
    kit::NavigationController* nav = strip()->getBookmarkNavicon();
    ASSERT_TRUE(waitUntil([&] { return nav && nav->view()->window(); }, 5)) << "no bookmark list";
    auto* list = dynamic_cast<tolva::VeskBookmarkTableViewController*>(nav->topViewController());
    ASSERT_NE(list, nullptr);
    visit("bookmarks", nav->view());
    kit::TableView* table = list->tableView();
    const long rows = table->numberOfRowsInSection(0);
    ASSERT_GE(rows, 3);

    // A sideways drag along the last row deletes it.
    const kit::IndexPath last{0, rows - 1};
    table->scrollToRowAtIndexPath(last, kit::TableView::ScrollPosition::Bottom, false);
    settle();
    const kit::Rect row = onScreen(table->cellForRowAtIndexPath(last));
    pointerTo(table, {row.x() + 40, row.y() + row.height() / 2});
    pressButton(true);
    for (int dx = 20; dx <= 120; dx += 20) pointerTo(table, {row.x() + 40 + dx, row.y() + row.height() / 2});
    pressButton(false);
    EXPECT_TRUE(waitUntil([&] { return table->numberOfRowsInSection(0) == rows - 1; }, 5))
        << "a sideways drag did not delete the row";
    EXPECT_EQ(list->targetVeskView(), page());

    // Edit mode draws each row's delete control; a click on it deletes the row.
    kit::BarButtonItem* edit = list->navigationItem()->rightBarButtonItem();
    ASSERT_NE(edit, nullptr);
    clickItem(edit);
    ASSERT_TRUE(waitUntil([&] { return table->isEditing(); }, 5)) << "no edit mode";
    visit("bookmarks-editing", nav->view());
    const kit::IndexPath next{0, rows - 2};
    table->scrollToRowAtIndexPath(next, kit::TableView::ScrollPosition::Bottom, false);
    settle();
    kit::TableViewCell* cell = table->cellForRowAtIndexPath(next);
    ASSERT_NE(cell, nullptr);
    ASSERT_EQ(cell->editingStyle(), kit::TableViewCell::EditingStyle::Delete);
    const kit::Rect control = onScreen(cell);
    clickInPopoverOrWindow(table, {control.x() + kit::TableViewCell::kEditingControlWidth / 2,
                                   control.y() + control.height() / 2});
    EXPECT_TRUE(waitUntil([&] { return table->numberOfRowsInSection(0) == rows - 2; }, 5))
        << "a click on the delete control did not delete the row";
    clickItem(list->navigationItem()->rightBarButtonItem());
    EXPECT_TRUE(waitUntil([&] { return !table->isEditing(); }, 5));
  }

  static kit::BarButtonItem* toolbarItem(kit::ViewController* screen, const std::string& title) {
    for (auto& b : screen->toolbarItems())
      if (b->title() == title) return b.get();
    return nullptr;
  }

  // A click at a point given in window coordinates, wherever the view is shown.
  void clickInPopoverOrWindow(kit::View* anyView, kit::Point inWindow) {
    pointerTo(anyView, inWindow);
    pressButton(true);
    pressButton(false);
    settle();
  }

  bool phone_ = false;
};

TEST_F(TourGuiTest, TabletScreens) {
  ASSERT_TRUE(loudPage(false));
  kit::View* root = controller()->view();
  // At rest: the page shows, and every control over it can be found (the
  // trackpads shown at first start leave the private-mode button free).
  ASSERT_FALSE(controller()->trackPad()->isHidden());
  visit("rest", root, true);

  // The bookmark popover.
  bookmarkTour();
  pressKey(mainWindow(), GDK_KEY_Escape);
  EXPECT_TRUE(waitUntil([&] { return !strip()->getBookmarkPopover()->isPopoverVisible(); }, 5));

  // The download list is opaque between its bars; its Done button closes it.
  page()->showDownloadManager();
  kit::ViewController* shown = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (shown = controller()->presentedViewController()) != nullptr; }, 5));
  visit("downloads", shown->view());
  auto* nav = dynamic_cast<kit::NavigationController*>(shown);
  ASSERT_NE(nav, nullptr);
  clickItem(toolbarItem(nav->topViewController(), "Close"));
  EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }, 5));

  // Full screen: its floating buttons show and the exit button leaves it.
  page()->onFullScreen();
  ASSERT_TRUE(waitUntil([&] { return !page()->btnFullscreenExit()->isHidden(); }, 5));
  visit("fullscreen", root, true);
  clickMiddleOf(page()->btnFullscreenExit());
  EXPECT_TRUE(waitUntil([&] { return page()->btnFullscreenExit()->isHidden(); }, 5)) << "full screen kept";
}

TEST_F(TourGuiTest, PhoneScreens) {
  ASSERT_TRUE(loudPage(true));
  kit::View* root = controller()->view();
  // At rest: the bookmark button is inside the window and no pull tab covers it.
  visit("rest", root, true);
  const kit::Rect bookmark = page()->bookmarkBtn()->frameInWindow();
  EXPECT_LE(bookmark.maxX(), mainWindow()->bounds().width()) << "the bookmark button is cut off";

  bookmarkTour();
  clickItem(toolbarItem(strip()->getBookmarkNavicon()->topViewController(), "Close"));
  EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }, 5))
      << "the bookmark list stayed";

  // Full screen modes 1 and 2: the rotation lock stays reachable beside the floating buttons.
  for (int mode = 1; mode <= 2; ++mode) {
    page()->onFullScreen();
    ASSERT_TRUE(waitUntil([&] { return !page()->btnFullscreenExit()->isHidden(); }, 5));
    visit("fullscreen" + std::to_string(mode), root, true);
  }
  clickMiddleOf(page()->btnFullscreenExit());
  EXPECT_TRUE(waitUntil([&] { return page()->btnFullscreenExit()->isHidden(); }, 5)) << "full screen kept";
}

}  // namespace
