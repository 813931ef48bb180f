// The share sheet (favourite services of the item's type, "More...",
// "Cancel", the button-to-service mapping) and the share menu (sections,
// order, exclusions in edit mode, logging out).

#include "share/ShareTest.h"
#include "kit/foundation/Array.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Pasteboard.h"
#include "kit/ui/Switch.h"
#include "kit/ui/TableView.h"
#include "share/ShareRegistration.h"
#include "share/core/ShareSharer.h"
#include "share/ui/ShareCustomActionSheet.h"
#include "share/ui/ShareCustomShareMenu.h"
#include "share/ui/ShareShareItemDelegate.h"

using namespace tolva;
using sharetest::ShareTestSharer;

namespace {

struct Gate : kit::Object, ShareShareItemDelegate {
  bool answer = true;
  std::vector<std::string> asked;
  bool aboutToShareItem(ShareItem*, ShareSharer* sharer) override {
    asked.push_back(sharer->className());
    return answer;
  }
};

struct Options : DefaultShareConfigurator {
  bool more = true;
  long alphabetical = 0;
  bool showActionSheetMoreButton() const override { return more; }
  long shareMenuAlphabeticalOrder() const override { return alphabetical; }
};

class SheetTest : public sharetest::ShareTest {
 protected:
  void SetUp() override {
    ShareTest::SetUp();
    registerShareClasses(kit::ClassRegistry::shared());
    script().requiresAuthentication = false;
    ShareSharer::sharerWithClassName(ShareTestSharer::kName)->setShouldAutoShare(true);
    useSharers({"ShareMail", "ShareTextMessage", "ShareCopy", "ShareSafari", "SharePhotoAlbum"},
               {"ShareNotBuiltHere", ShareTestSharer::kName});
  }
  kit::Ref<DefaultShareConfigurator> configurator() override { return options_; }
  static std::vector<std::string> titles(kit::ActionSheet& sheet) {
    std::vector<std::string> out;
    for (long i = 0; i < sheet.numberOfButtons(); ++i) out.push_back(sheet.buttonTitleAtIndex(i));
    return out;
  }
  static kit::Ref<ShareItem> page() { return ShareItem::URL(kit::URL::URLWithString("http://a.test/p"), "Page"); }
  static ShareShareMenu* shownMenu() {
    auto* nav = dynamic_cast<kit::NavigationController*>(Share::currentHelper()->currentView());
    return nav ? dynamic_cast<ShareShareMenu*>(nav->topViewController()) : nullptr;
  }
  kit::Ref<ShareShareMenu> showMenu(ShareItem* item) {
    auto menu = kit::make<ShareCustomShareMenu>();
    menu->setItem(item);
    Share::currentHelper()->showViewController(menu.get());
    loop().advance(1);
    return menu;
  }
  static std::vector<std::string> names(const std::vector<ShareShareMenu::Row>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r.name);
    return out;
  }
  Options& options() { return *options_; }

 private:
  kit::Ref<Options> options_ = kit::make<Options>();
};

}  // namespace

TEST_F(SheetTest, TheSheetListsTheSharableFavouritesThenMoreAndCancel) {
  Share::setFavorites({"ShareNotBuiltHere", "ShareCopy", "ShareTextMessage", "ShareMail", ShareTestSharer::kName},
                      ShareShareTypeURL);
  kit::Ref<ShareActionSheet> sheet = ShareActionSheet::actionSheetForItem(page().get());
  EXPECT_NE(dynamic_cast<ShareCustomActionSheet*>(sheet.get()), nullptr);
  EXPECT_EQ(sheet->title(), "Share");
  // No button for a service that is not built, nor for text messages.
  EXPECT_EQ(titles(*sheet), (std::vector<std::string>{"Copy", "Email Link", "Test Service", "More...", "Cancel"}));
  EXPECT_EQ(sheet->sharers(), (std::vector<std::string>{"ShareCopy", "ShareMail", ShareTestSharer::kName}));
  EXPECT_EQ(sheet->cancelButtonIndex(), 4);
  EXPECT_EQ(sheet->item()->URL()->absoluteString(), "http://a.test/p");

  sheet->showInView(root()->view());
  ASSERT_TRUE(sheet->tapButton(2));
  loop().advance(1);
  ASSERT_EQ(script().sent.size(), 1u);
  EXPECT_EQ(script().sent[0]->title(), "Page");
  EXPECT_FALSE(sheet->isVisible());

  // The share moved the service to the front of the favourites.
  EXPECT_EQ(ShareActionSheet::actionSheetForType(ShareShareTypeURL)->sharers().front(), ShareTestSharer::kName);

  kit::Ref<ShareActionSheet> copy = ShareActionSheet::actionSheetForItem(page().get());
  copy->showInView(root()->view());
  copy->tapButtonWithTitle("Copy");
  EXPECT_EQ(kit::Pasteboard::generalPasteboard()->url()->absoluteString(), "http://a.test/p");
}

TEST_F(SheetTest, MoreOpensTheMenuWithTheItemAndCancelDoesNothing) {
  Share::setFavorites({"ShareCopy"}, ShareShareTypeURL);
  auto gate = kit::make<Gate>();
  kit::Ref<ShareActionSheet> sheet = ShareActionSheet::actionSheetForItem(page().get());
  sheet->setShareDelegate(gate.get());
  sheet->showInView(root()->view());
  sheet->tapButtonWithTitle("More...");
  loop().advance(1);
  ShareShareMenu* menu = shownMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_NE(dynamic_cast<ShareCustomShareMenu*>(menu), nullptr);
  EXPECT_EQ(menu->item(), sheet->item());
  EXPECT_EQ(menu->shareDelegate(), gate.get());
  EXPECT_EQ(menu->tableView()->style(), kit::TableView::Style::Grouped);
  menu->cancel();
  loop().advance(1);

  kit::Ref<ShareActionSheet> again = ShareActionSheet::actionSheetForItem(page().get());
  again->showInView(root()->view());
  again->tapButtonWithTitle("Cancel");
  loop().advance(1);
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);
  EXPECT_TRUE(gate->asked.empty());
}

TEST_F(SheetTest, WithoutMoreTheButtonAfterTheServicesIsCancel) {
  options().more = false;
  Share::setFavorites({"ShareCopy"}, ShareShareTypeURL);
  kit::Pasteboard::generalPasteboard()->setString("before");
  kit::Ref<ShareActionSheet> sheet = ShareActionSheet::actionSheetForItem(page().get());
  EXPECT_EQ(titles(*sheet), (std::vector<std::string>{"Copy", "Cancel"}));
  EXPECT_EQ(sheet->cancelButtonIndex(), 1);
  sheet->showInView(root()->view());
  sheet->tapButton(1);
  loop().advance(1);
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);
  EXPECT_EQ(kit::Pasteboard::generalPasteboard()->string(), "before");
}

TEST_F(SheetTest, ADelegateThatSaysNoStopsTheShareButTheMenuStillCloses) {
  Share::setFavorites({ShareTestSharer::kName}, ShareShareTypeURL);
  auto gate = kit::make<Gate>();
  gate->answer = false;
  kit::Ref<ShareActionSheet> sheet = ShareActionSheet::actionSheetForItem(page().get());
  sheet->setShareDelegate(gate.get());
  sheet->showInView(root()->view());
  sheet->tapButton(0);
  loop().advance(1);
  EXPECT_EQ(gate->asked, (std::vector<std::string>{ShareTestSharer::kName}));
  EXPECT_TRUE(script().sent.empty());

  auto menu = showMenu(page().get());
  menu->setShareDelegate(gate.get());
  menu->tableView()->tapRow({1, 0});
  loop().advance(1);
  EXPECT_TRUE(script().sent.empty());
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);

  gate->answer = true;
  auto allowed = showMenu(page().get());
  allowed->setShareDelegate(gate.get());
  allowed->tableView()->tapRow({1, 0});
  loop().advance(1);
  EXPECT_EQ(script().sent.size(), 1u);
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);
}

TEST_F(SheetTest, TheMenuHasTheSectionsThatCanTakeTheItem) {
  auto menu = showMenu(page().get());
  EXPECT_EQ(menu->title(), "Share");
  EXPECT_EQ(names(menu->tableData()[0]), (std::vector<std::string>{"Email Link", "Copy", "Open in Safari"}));
  EXPECT_EQ(menu->tableData()[0][1].className, "ShareCopy");
  EXPECT_EQ(names(menu->tableData()[1]), (std::vector<std::string>{"Test Service"}));
  kit::TableView* table = menu->tableView();
  EXPECT_EQ(table->numberOfRowsInSection(0), 3);
  EXPECT_EQ(menu->tableViewTitleForHeaderInSection(*table, 0), "Actions");
  EXPECT_EQ(menu->tableViewTitleForHeaderInSection(*table, 1), "Services");
  kit::TableViewCell* cell = table->cellForRowAtIndexPath({0, 2});
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->textLabel()->text(), "Open in Safari");
  EXPECT_EQ(cell->accessoryType(), kit::TableViewCell::AccessoryType::DisclosureIndicator);

  // Pictures, sorted by name: an empty section has no header.
  options().alphabetical = 1;
  useSharers({"ShareSafari", "SharePhotoAlbum", "ShareMail", "ShareCopy"}, {"ShareNotBuiltHere"});
  menu->setItem(ShareItem::image(kit::Image::imageWithPixels({1, 1}, std::vector<uint8_t>(4, 1)), "I").get());
  EXPECT_EQ(names(menu->tableData()[0]), (std::vector<std::string>{"Copy", "Email Link", "Save to Photo Album"}));
  EXPECT_TRUE(menu->tableData()[1].empty());
  EXPECT_EQ(table->numberOfRowsInSection(1), 0);
  EXPECT_EQ(menu->tableViewTitleForHeaderInSection(*table, 1), "");
}

TEST_F(SheetTest, ExcludedServicesAreHiddenAndShownSwitchedOffWhileEditing) {
  auto excluded = kit::MutableArray::array();
  excluded->addObject(kit::str("ShareCopy"));
  defaults().setObject(excluded.get(), Share::kExcludedKey);
  Share::setAuthValue("me", "username", ShareTestSharer::kName);

  auto menu = showMenu(page().get());
  EXPECT_EQ(names(menu->tableData()[0]), (std::vector<std::string>{"Email Link", "Open in Safari"}));

  menu->navigationItem()->rightBarButtonItem()->tap();  // Edit
  kit::TableView* table = menu->tableView();
  EXPECT_TRUE(table->isEditing());
  EXPECT_EQ(table->numberOfRowsInSection(0), 3);
  auto toggleAt = [&](kit::IndexPath p) {
    return dynamic_cast<kit::Switch*>(table->cellForRowAtIndexPath(p)->editingAccessoryView());
  };
  ASSERT_TRUE(toggleAt({0, 1}));
  EXPECT_FALSE(toggleAt({0, 1})->isOn());
  EXPECT_FALSE(toggleAt({0, 1})->isUserInteractionEnabled());
  EXPECT_TRUE(toggleAt({0, 0})->isOn());
  EXPECT_EQ(menu->tableViewEditingStyleForRowAtIndexPath(*table, {0, 0}), kit::TableViewCell::EditingStyle::None);

  // Switching the service off logs out at once; switching Copy on lets it back.
  table->tapRow({1, 0});
  EXPECT_FALSE(toggleAt({1, 0})->isOn());
  EXPECT_FALSE(Share::getAuthValueForKey("username", ShareTestSharer::kName));
  table->tapRow({0, 1});
  EXPECT_TRUE(toggleAt({0, 1})->isOn());
  EXPECT_EQ(menu->exclusions(), (std::vector<std::string>{ShareTestSharer::kName}));
  EXPECT_EQ(defaults().arrayForKey(Share::kExcludedKey)->count(), 1u) << "nothing stored before Done";

  menu->navigationItem()->rightBarButtonItem()->tap();  // Done
  EXPECT_FALSE(table->isEditing());
  kit::Ref<kit::Array> stored = defaults().arrayForKey(Share::kExcludedKey);
  ASSERT_EQ(stored->count(), 1u);
  EXPECT_EQ(kit::cast<kit::String>(stored->objectAtIndex(0))->str(), ShareTestSharer::kName);
  EXPECT_EQ(table->numberOfRowsInSection(0), 3);
  EXPECT_EQ(table->numberOfRowsInSection(1), 0);
  EXPECT_EQ(menu->tableViewTitleForHeaderInSection(*table, 1), "");
  EXPECT_EQ(menu->navigationItem()->rightBarButtonItem()->systemItem(), kit::BarButtonItem::SystemItem::Edit);
}

TEST_F(SheetTest, CancellingWhileEditingKeepsTheExclusionsButNotTheLogin) {
  Share::setAuthValue("me", "username", ShareTestSharer::kName);
  auto menu = showMenu(page().get());
  menu->edit();
  menu->tableView()->tapRow({1, 0});
  menu->navigationItem()->leftBarButtonItem()->tap();
  loop().advance(1);
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);
  EXPECT_FALSE(defaults().exists(Share::kExcludedKey));
  EXPECT_FALSE(Share::getAuthValueForKey("username", ShareTestSharer::kName));
}

TEST_F(SheetTest, LoggingOutOfAllAsksFirstThenSaysSo) {
  Share::setAuthValue("me", "username", ShareTestSharer::kName);
  auto menu = showMenu(page().get());
  ASSERT_EQ(menu->toolbarItems().size(), 1u);
  EXPECT_EQ(menu->toolbarItems()[0]->title(), "Logout all accounts");
  menu->toolbarItems()[0]->tap();
  kit::ActionSheet* ask = kit::ActionSheet::topVisibleSheet();
  ASSERT_TRUE(ask);
  EXPECT_EQ(titles(*ask), (std::vector<std::string>{"Logout all accounts", "Cancel"}));
  ask->tapButtonWithTitle("Cancel");
  EXPECT_TRUE(Share::getAuthValueForKey("username", ShareTestSharer::kName));
  EXPECT_FALSE(topAlert());

  menu->toolbarItems()[0]->tap();
  kit::ActionSheet::topVisibleSheet()->tapButtonWithTitle("Logout all accounts");
  EXPECT_FALSE(Share::getAuthValueForKey("username", ShareTestSharer::kName));
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "All account(s) have been logged out.");
}
