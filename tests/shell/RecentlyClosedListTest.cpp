// The recently closed list as the main screen shows it: a long press on the
// new-page button, rows fed by closing tabs, a pick reopening the page and
// closing the popover (tablet) or the modal screen (phone).

#include <string>
#include <vector>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Label.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/NavigationController.h"
#include "shell/RecentlyClosedTab.h"
#include "shell/VeskRecentlyClosedTableViewController.h"
#include "ShellTest.h"

using namespace tolva;

namespace {

class RecentlyClosedListTest : public shelltest::ShellTest {
 protected:
  static std::string url(int i) { return "http://closed" + std::to_string(i) + ".test/"; }

  // Opens a tab at url(i) titled "Page <i>" and closes it again.
  void openAndClose(int i) {
    controller()->createNewTabWithURL(url(i));
    VeskWebView* p = tabs()->curView();
    web(p)->setScriptAnswer("document.title", "Page " + std::to_string(i));
    tabs()->deleteTab(tabs()->curSel());
  }

  // The list as a long press on the new-page button shows it.
  VeskRecentlyClosedTableViewController* showList() {
    auto* press =
        dynamic_cast<kit::LongPressGestureRecognizer*>(controller()->newPageBtn1()->gestureRecognizers()[0].get());
    if (!press) return nullptr;
    press->fire({5, 5});
    loop().drain();
    if (kit::Device::currentDevice().isPad()) {
      auto pops = kit::PopoverController::visiblePopovers();
      return pops.empty() ? nullptr
                          : dynamic_cast<VeskRecentlyClosedTableViewController*>(pops[0]->contentViewController());
    }
    auto* nav = dynamic_cast<kit::NavigationController*>(controller()->presentedViewController());
    return nav ? dynamic_cast<VeskRecentlyClosedTableViewController*>(nav->topViewController()) : nullptr;
  }

  static std::vector<std::string> rows(VeskRecentlyClosedTableViewController* list, bool detail) {
    kit::TableView* t = list->tableView();
    std::vector<std::string> out;
    for (long r = 0; r < t->numberOfRowsInSection(0); ++r) {
      t->scrollToRowAtIndexPath({0, r}, kit::TableView::ScrollPosition::None, false);
      kit::TableViewCell* c = t->cellForRowAtIndexPath({0, r});
      out.push_back(!c ? "<off screen>" : detail ? c->detailTextLabel()->text() : c->textLabel()->text());
    }
    return out;
  }
};

TEST_F(RecentlyClosedListTest, RowsShowTheClosedTabsNewestFirstTenAtMost) {
  ASSERT_TRUE(launch());
  for (int i = 0; i < 3; ++i) openAndClose(i);
  VeskRecentlyClosedTableViewController* list = showList();
  ASSERT_TRUE(list);
  kit::TableView* t = list->tableView();
  EXPECT_EQ(t->numberOfSections(), 1);
  EXPECT_EQ(t->titleForHeaderInSection(0), "Recently closed tab(s)");
  EXPECT_EQ(rows(list, false), (std::vector<std::string>{"Page 2", "Page 1", "Page 0"}));
  EXPECT_EQ(rows(list, true), (std::vector<std::string>{url(2), url(1), url(0)}));
  kit::TableViewCell* cell = t->cellForRowAtIndexPath({0, 0});
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->style(), kit::TableViewCell::Style::Subtitle);
  EXPECT_EQ(cell->reuseIdentifier(), "Cell");
  kit::PopoverController::visiblePopovers()[0]->tapOutside();

  for (int i = 3; i < 12; ++i) openAndClose(i);
  list = showList();
  ASSERT_TRUE(list);
  EXPECT_EQ(list->tableView()->numberOfRowsInSection(0), 10);
  EXPECT_EQ(rows(list, true).front(), url(11));
  EXPECT_EQ(rows(list, true).back(), url(2));
}

TEST_F(RecentlyClosedListTest, PickingARowOnTheTabletReopensItAndClosesThePopover) {
  ASSERT_TRUE(launch());
  openAndClose(1);
  openAndClose(2);
  const int before = tabs()->tabCount();
  VeskRecentlyClosedTableViewController* list = showList();
  ASSERT_TRUE(list);
  EXPECT_TRUE(controller()->blockLongPressGesture());
  EXPECT_EQ(list->pop(), kit::PopoverController::visiblePopovers()[0].get());
  EXPECT_EQ(list->selectDelegate(), controller());

  EXPECT_TRUE(list->tableView()->tapRow({0, 1}));
  loop().drain();
  EXPECT_EQ(tabs()->tabCount(), before + 1);
  EXPECT_EQ(tabs()->curView()->location(), url(1));
  EXPECT_TRUE(kit::PopoverController::visiblePopovers().empty());
  // The main screen heard of the dismissal: the next long press shows the list again.
  EXPECT_FALSE(controller()->blockLongPressGesture());
  // The entry stays.
  ASSERT_EQ(misc()->recentlyClosedTabs()->count(), 2u);
  EXPECT_EQ(misc()->recentlyClosedTabs()->get<kit::Dictionary>(1)->get<kit::String>("url")->str(), url(1));
  EXPECT_TRUE(showList());
}

TEST_F(RecentlyClosedListTest, OnThePhoneTheListIsModalWithACloseButton) {
  usePhone();
  ASSERT_TRUE(launch());
  openAndClose(1);
  VeskRecentlyClosedTableViewController* list = showList();
  ASSERT_TRUE(list);
  EXPECT_EQ(list->pop(), nullptr);
  const auto& items = list->toolbarItems();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->systemItem(), kit::BarButtonItem::SystemItem::FlexibleSpace);
  EXPECT_EQ(items[1]->title(), "Close");
  EXPECT_EQ(items[1]->style(), kit::BarButtonItem::Style::Bordered);

  // Close: nothing reopened.
  const int before = tabs()->tabCount();
  EXPECT_TRUE(items[1]->tap());
  loop().drain();
  EXPECT_EQ(controller()->presentedViewController(), nullptr);
  EXPECT_EQ(tabs()->tabCount(), before);

  // A pick reopens and closes the screen.
  list = showList();
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->tableView()->tapRow({0, 0}));
  loop().drain();
  EXPECT_EQ(controller()->presentedViewController(), nullptr);
  EXPECT_EQ(tabs()->tabCount(), before + 1);
  EXPECT_EQ(tabs()->curView()->location(), url(1));
}

TEST_F(RecentlyClosedListTest, AnEmptyListOrARowPastTheEndPicksNothing) {
  ASSERT_TRUE(launch());
  const int before = tabs()->tabCount();
  VeskRecentlyClosedTableViewController* list = showList();
  ASSERT_TRUE(list);
  EXPECT_EQ(list->tableView()->numberOfRowsInSection(0), 0);
  EXPECT_FALSE(list->tableView()->tapRow({0, 0}));
  // Called directly for a row that is gone: no tab, the popover stays.
  list->tableViewDidSelectRowAtIndexPath(*list->tableView(), {0, 3});
  EXPECT_EQ(tabs()->tabCount(), before);
  EXPECT_EQ(kit::PopoverController::visiblePopovers().size(), 1u);
  // A cell asked for past the end is empty.
  kit::Ref<kit::TableViewCell> c = list->tableViewCellForRowAtIndexPath(*list->tableView(), {0, 5});
  EXPECT_EQ(c->textLabel()->text(), "");
  EXPECT_EQ(c->detailTextLabel()->text(), "");
}

TEST_F(RecentlyClosedListTest, OnlyTheUprightPortraitAndNoDelegateAfterUnload) {
  kit::Ref<VeskRecentlyClosedTableViewController> list(new VeskRecentlyClosedTableViewController());
  EXPECT_TRUE(list->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::Portrait));
  EXPECT_FALSE(list->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::PortraitUpsideDown));
  EXPECT_FALSE(list->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::LandscapeLeft));
  EXPECT_FALSE(list->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::LandscapeRight));

  struct Recorder : VeskRecentlyClosedTableViewControllerDelegate {
    std::vector<std::string> urls;
    void onSelect(const std::string& u) override { urls.push_back(u); }
  } recorder;
  misc()->recentlyClosedTabs()->addObject(RecentlyClosedTab::make("A", "http://a.test/"));
  list->setSelectDelegate(&recorder);
  list->view();
  list->tableView()->reloadData();
  EXPECT_TRUE(list->tableView()->tapRow({0, 0}));
  EXPECT_EQ(recorder.urls, (std::vector<std::string>{"http://a.test/"}));
  list->viewDidUnload();
  EXPECT_EQ(list->selectDelegate(), nullptr);
  EXPECT_TRUE(list->tableView()->tapRow({0, 0}));
  EXPECT_EQ(recorder.urls.size(), 1u);
}

}  // namespace
