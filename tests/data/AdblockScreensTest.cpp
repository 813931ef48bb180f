// The filter list screen and the pattern editor, opened from the settings,
// and the badged cell.

#include <cmath>

#include "data/BadgedCell.h"
#include "data/VeskAdblockManager.h"
#include "data/VeskAdblockNewFilterViewController.h"
#include "data/VeskAdblockTableViewController.h"
#include "kit/foundation/Number.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Layer.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/TextField.h"
#include "settings/PrefAppSettingsViewController.h"
#include "settings/PrefSettingsReader.h"
#include "settings/PrefSpecifier.h"
#include "shell/ShellTest.h"

using namespace tolva;

namespace {

class AdblockScreensTest : public shelltest::ShellTest, public PrefSettingsDelegate {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    auto list = kit::MutableArray::array();
    list->addObject(entry("*/low/*", 0, 1));
    list->addObject(entry("*/off/*", 1, 0));
    list->addObject(entry("*/high/*", 0, 5));
    manager()->setFilters(list);
    manager()->rebuildPredicates();
  }
  void TearDown() override {
    if (window_) window_->setRootViewController(nullptr);
    loop().advance(1);
    window_ = nullptr;
    nav_ = nullptr;
    ShellTest::TearDown();
  }
  void settingsViewControllerDidEnd(PrefAppSettingsViewController&) override {}

  // A page in the shared cache, which every change to the list must drop.
  static void fillCache() {
    kit::URLCache::setSharedURLCache(kit::make<kit::URLCache>(1 << 20, 0, "screens_cache"));
    kit::URLCache::sharedURLCache()->storeCachedResponse(
        kit::CachedURLResponse::cachedResponse(
            kit::URLResponse::responseWithURL(kit::URL::URLWithString("http://c.test/"), "text/plain", 1, std::nullopt),
            kit::Data::dataWithBytes("x", 1), kit::CachedURLResponse::StoragePolicy::AllowedInMemoryOnly),
        *kit::URLRequest::requestWithURL(kit::URL::URLWithString("http://c.test/")));
    ASSERT_GT(kit::URLCache::sharedURLCache()->currentMemoryUsage(), 0u);
  }

  static VeskAdblockManager* manager() { return VeskAdblockManager::sharedInstance(); }
  static kit::Ref<kit::MutableDictionary> entry(const std::string& pattern, int disabled, int hits) {
    auto e = kit::MutableDictionary::dictionary();
    e->setObject(kit::str(pattern), "filter");
    e->setObject(kit::Number::numberWithInt(disabled), "disabled");
    if (hits) e->setObject(kit::Number::numberWithInt(hits), "hitcount");
    return e;
  }
  static std::string patternAt(size_t i) {
    return manager()->filters()->get<kit::Dictionary>(i)->get<kit::String>("filter")->str();
  }
  static long storedCount() {
    kit::Ref<kit::Array> stored = defaults().arrayForKey("filter");
    return stored ? static_cast<long>(stored->count()) : -1;
  }

  // Opens the settings and taps the row that names the filter list screen.
  VeskAdblockTableViewController* openFromSettings() {
    nav_ = PrefAppSettingsViewController::settingsNavigationController(this);
    window_ = kit::make<kit::Window>();
    window_->makeKeyAndVisible();
    window_->setRootViewController(nav_.get());
    loop().advance(1);
    auto* root = dynamic_cast<PrefAppSettingsViewController*>(nav_->topViewController());
    EXPECT_TRUE(root);
    if (!root) return nullptr;
    kit::TableView* table = root->tableView();
    for (long s = 0; s < table->numberOfSections(); ++s) {
      for (long r = 0; r < table->numberOfRowsInSection(s); ++r) {
        PrefSpecifier* spec = root->settingsReader()->specifierForIndexPath({s, r});
        if (spec->viewControllerClass() != "VeskAdblockTableViewController") continue;
        table->setVisibleIndexPathsForTesting(std::vector<kit::IndexPath>{{s, r}});
        table->tapRow({s, r});
        loop().advance(1);
        return dynamic_cast<VeskAdblockTableViewController*>(nav_->topViewController());
      }
    }
    return nullptr;
  }
  BadgedCell* cellAt(VeskAdblockTableViewController* screen, long row) {
    kit::TableView* table = screen->tableView();
    std::vector<kit::IndexPath> rows;
    for (long r = 0; r < table->numberOfRowsInSection(0); ++r) rows.push_back({0, r});
    table->setVisibleIndexPathsForTesting(rows);
    auto* cell = dynamic_cast<BadgedCell*>(table->cellForRowAtIndexPath({0, row}));
    if (cell) cell->layoutSubviews();
    return cell;
  }
  kit::BarButtonItem* toolbarItem(VeskAdblockTableViewController* screen, const std::string& title) {
    for (auto& item : screen->toolbarItems())
      if (item->title() == title) return item.get();
    return nullptr;
  }
  VeskAdblockNewFilterViewController* editor() {
    return dynamic_cast<VeskAdblockNewFilterViewController*>(nav_->topViewController());
  }
  void leave() {  // back to the settings: the list is saved
    nav_->popViewControllerAnimated(false);
    loop().advance(1);
  }

  kit::Ref<kit::NavigationController> nav_;
  kit::Ref<kit::Window> window_;
};

TEST_F(AdblockScreensTest, TheSettingsOpenTheListSortedWithBadges) {
  VeskAdblockTableViewController* screen = openFromSettings();
  ASSERT_TRUE(screen);
  EXPECT_EQ(screen->title(), "Ad Block Filters");
  EXPECT_FALSE(nav_->isToolbarHidden());
  EXPECT_TRUE(screen->tableView()->allowsSelectionDuringEditing());
  EXPECT_EQ(screen->navigationItem()->rightBarButtonItem(), screen->editButtonItem());
  EXPECT_TRUE(toolbarItem(screen, "Revert to Default Filters"));
  EXPECT_TRUE(toolbarItem(screen, "New Filter"));
  // Sorted by hit count, and that order stored.
  EXPECT_EQ(patternAt(0), "*/high/*");
  EXPECT_EQ(patternAt(1), "*/low/*");
  EXPECT_EQ(patternAt(2), "*/off/*");
  EXPECT_EQ(storedCount(), 3);
  ASSERT_EQ(screen->tableView()->numberOfRowsInSection(0), 3);

  BadgedCell* high = cellAt(screen, 0);
  ASSERT_TRUE(high);
  EXPECT_EQ(high->reuseIdentifier(), "AdblockCell");
  EXPECT_EQ(high->textLabel()->text(), "*/high/*");
  EXPECT_EQ(high->badgeString(), "5 Hit");
  EXPECT_EQ(high->accessoryType(), kit::TableViewCell::AccessoryType::Checkmark);
  EXPECT_EQ(high->badge()->drawnColor(), BadgeView::defaultColor());
  EXPECT_EQ(high->badge()->radius(), 9.0);
  BadgedCell* off = cellAt(screen, 2);
  EXPECT_EQ(off->badgeString(), "Disabled");
  EXPECT_EQ(off->accessoryType(), kit::TableViewCell::AccessoryType::None);
  EXPECT_EQ(off->badge()->drawnColor(), kit::Color::grayColor());
}

TEST_F(AdblockScreensTest, ATapSwitchesAPatternAndTheChangeIsSavedOnLeaving) {
  VeskAdblockTableViewController* screen = openFromSettings();
  ASSERT_TRUE(screen);
  fillCache();
  misc()->setOpt_adblock(true);
  EXPECT_TRUE(manager()->checkWithFilter("http://t/high/1"));

  screen->tableView()->tapRow({0, 0});  // "*/high/*" off
  EXPECT_EQ(cellAt(screen, 0)->badgeString(), "Disabled");
  EXPECT_EQ(cellAt(screen, 0)->accessoryType(), kit::TableViewCell::AccessoryType::None);
  EXPECT_FALSE(manager()->checkWithFilter("http://t/high/1"));  // at once, for loads too
  EXPECT_EQ(kit::URLCache::sharedURLCache()->currentMemoryUsage(), 0u);
  screen->tableView()->tapRow({0, 2});  // "*/off/*" on
  EXPECT_EQ(cellAt(screen, 2)->badgeString(), "0 Hit");
  EXPECT_TRUE(manager()->checkWithFilter("http://t/off/1"));
  screen->tableView()->tapRow({0, 0});  // and back on: the count was kept
  EXPECT_EQ(cellAt(screen, 0)->badgeString(), "6 Hit");

  leave();
  kit::Ref<kit::Array> stored = defaults().arrayForKey("filter");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->get<kit::Dictionary>(0)->get<kit::Number>("disabled")->integerValue(), 0);
  EXPECT_EQ(stored->get<kit::Dictionary>(2)->get<kit::Number>("disabled")->integerValue(), 0);
  EXPECT_EQ(stored->get<kit::Dictionary>(2)->get<kit::Number>("hitcount")->integerValue(), 1);
}

TEST_F(AdblockScreensTest, EditingAPatternKeepsItsCountAndMatchesOnceSaved) {
  VeskAdblockTableViewController* screen = openFromSettings();
  ASSERT_TRUE(screen);
  screen->setEditing(true, false);
  EXPECT_TRUE(cellAt(screen, 1)->badge()->isHidden());
  screen->tableView()->tapRow({0, 1});
  loop().advance(1);
  VeskAdblockNewFilterViewController* e = editor();
  ASSERT_TRUE(e);
  EXPECT_EQ(e->editingIndex(), 1);
  EXPECT_EQ(e->textField()->text(), "*/low/*");
  EXPECT_TRUE(e->textField()->isFirstResponder());
  EXPECT_EQ(e->helpLabel()->text(),
            "This filter pattern will be used to determine URLs to block. Use '*' as a wildcard.");
  EXPECT_FALSE(e->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::LandscapeLeft));
  e->textField()->setText("*/lower/*");
  ASSERT_TRUE(e->navigationItem()->rightBarButtonItem());
  e->navigationItem()->rightBarButtonItem()->tap();
  loop().advance(1);
  EXPECT_EQ(nav_->topViewController(), screen);
  EXPECT_EQ(patternAt(1), "*/lower/*");
  EXPECT_FALSE(manager()->checkWithFilter("http://t/lower/1"));  // not before the list is saved
  leave();
  EXPECT_TRUE(manager()->checkWithFilter("http://t/lower/1"));
  kit::Ref<kit::Array> stored = defaults().arrayForKey("filter");
  EXPECT_EQ(stored->get<kit::Dictionary>(1)->get<kit::String>("filter")->str(), "*/lower/*");
  EXPECT_EQ(stored->get<kit::Dictionary>(1)->get<kit::Number>("hitcount")->integerValue(), 1);
}

TEST_F(AdblockScreensTest, ANewPatternNeedsTextAndIsAppendedEnabled) {
  VeskAdblockTableViewController* screen = openFromSettings();
  ASSERT_TRUE(screen);
  toolbarItem(screen, "New Filter")->tap();
  loop().advance(1);
  VeskAdblockNewFilterViewController* e = editor();
  ASSERT_TRUE(e);
  EXPECT_EQ(e->editingIndex(), -1);
  EXPECT_EQ(e->textField()->text(), "");
  e->onSave();
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Please input text to filter out.");
  EXPECT_EQ(editor(), e);  // still open
  clearOverlays();
  e->textField()->setText("*://new.test/*");
  fillCache();
  e->onSave();
  EXPECT_EQ(kit::URLCache::sharedURLCache()->currentMemoryUsage(), 0u);
  loop().advance(1);
  EXPECT_EQ(nav_->topViewController(), screen);
  ASSERT_EQ(manager()->filters()->count(), 4u);
  EXPECT_EQ(patternAt(3), "*://new.test/*");
  EXPECT_EQ(screen->tableView()->numberOfRowsInSection(0), 4);
  leave();
  EXPECT_EQ(storedCount(), 4);
  EXPECT_TRUE(manager()->checkWithFilter("http://new.test/a"));
}

TEST_F(AdblockScreensTest, ASwipeDeletesAndRevertAsksFirst) {
  VeskAdblockTableViewController* screen = openFromSettings();
  ASSERT_TRUE(screen);
  fillCache();
  ASSERT_TRUE(screen->tableView()->swipeToDelete({0, 0}));
  loop().advance(1);
  EXPECT_EQ(kit::URLCache::sharedURLCache()->currentMemoryUsage(), 0u);
  EXPECT_EQ(manager()->filters()->count(), 2u);
  EXPECT_EQ(screen->tableView()->numberOfRowsInSection(0), 2);
  EXPECT_FALSE(manager()->checkWithFilter("http://t/high/1"));  // gone at once

  toolbarItem(screen, "Revert to Default Filters")->tap();
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Your filter modification(s) will be lost. Do you want to continue ?");
  topAlert()->tapButton(topAlert()->cancelButtonIndex());
  EXPECT_EQ(manager()->filters()->count(), 2u);
  fillCache();
  toolbarItem(screen, "Revert to Default Filters")->tap();
  topAlert()->tapButton(topAlert()->firstOtherButtonIndex());
  EXPECT_EQ(kit::URLCache::sharedURLCache()->currentMemoryUsage(), 0u);
  EXPECT_EQ(manager()->filters()->count(), VeskAdblockManager::defaultFilters()->count());
  EXPECT_EQ(screen->tableView()->numberOfRowsInSection(0), static_cast<long>(manager()->filters()->count()));
  leave();
  EXPECT_EQ(storedCount(), static_cast<long>(VeskAdblockManager::defaultFilters()->count()));
}

TEST(BadgedCellTest, TheBadgeSitsAtTheRightAndLabelsStopShortOfIt) {
  kit::Ref<BadgedCell> cell = kit::make<BadgedCell>(kit::TableViewCell::Style::Subtitle, "c");
  cell->setFrame(kit::Rect{0, 0, 320, 44});
  cell->textLabel()->setText(std::string(200, 'w'));
  cell->setBadgeString("12 Hit");
  cell->layoutSubviews();
  const kit::Rect content = cell->contentView()->frame();
  const double t = BadgeView::textWidth("12 Hit");
  const kit::Rect badge = cell->badge()->frame();
  EXPECT_EQ(badge, kit::Rect(content.size.width - (t + 25), std::round((content.size.height - 18) / 2), t + 13, 18));
  EXPECT_FALSE(cell->badge()->isHidden());
  EXPECT_LT(cell->textLabel()->frame().origin.x + cell->textLabel()->frame().size.width, badge.origin.x);
  EXPECT_EQ(cell->badge()->width(), static_cast<unsigned>(t + 12));
  EXPECT_EQ(cell->badge()->layer()->cornerRadius(), 4);

  // Highlighted: the highlighted colour (white unless set), with a shadow when asked.
  cell->setShowShadow(true);
  cell->setHighlighted(true);
  cell->layoutSubviews();
  EXPECT_TRUE(cell->badge()->drawnHighlighted());
  EXPECT_EQ(cell->badge()->drawnColor(), kit::Color::whiteColor());
  kit::Layer* shade = cell->badge()->layer();
  EXPECT_EQ(shade->shadowOpacity(), 0.8);
  EXPECT_EQ(shade->shadowOffset(), kit::Size(0, 1));
  EXPECT_EQ(shade->shadowRadius(), 1);
  for (kit::Label* label : {cell->textLabel(), cell->detailTextLabel()}) {
    EXPECT_EQ(label->layer()->shadowOpacity(), 0.8);
    EXPECT_EQ(label->layer()->shadowOffset(), kit::Size(0, 1));
    EXPECT_EQ(label->layer()->shadowRadius(), 1);
  }
  cell->setSelectionStyle(kit::TableViewCell::SelectionStyle::None);
  cell->badge()->drawRect();
  EXPECT_FALSE(cell->badge()->drawnHighlighted());
  EXPECT_EQ(shade->shadowOpacity(), 0);

  cell->setEditing(true);
  cell->layoutSubviews();
  EXPECT_TRUE(cell->badge()->isHidden());
  cell->setEditing(false);
  cell->setBadgeString("");
  cell->layoutSubviews();
  EXPECT_TRUE(cell->badge()->isHidden());
}

}  // namespace
