// The bookmark screens as a user meets them in the running program: the list
// opened from the page's bookmark button, folders, editing, the history, the
// folder forms, the bookmark form and the folder picker.

#include "data/DataTest.h"
#include "data/VeskBookmarkAddTableViewController.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskBookmarkFolderSelectTableViewController.h"
#include "data/VeskBookmarkTableViewController.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/PropertyList.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/TableViewCell.h"
#include "shell/ShellTest.h"

namespace datatest {
namespace {

using tolva::VeskBookmarkAddTableViewController;
using tolva::VeskBookmarkDatabase;
using tolva::VeskBookmarkFolderSelectTableViewController;
using tolva::VeskBookmarkTableViewController;

class BookmarkScreensTest : public shelltest::ShellTest {
 protected:
  static VeskBookmarkDatabase* db() { return VeskBookmarkDatabase::getSharedInstance(); }
  static std::string titlesAt(std::initializer_list<const char*> p) { return titles(db()->getFolder(path(p)).get()); }

  // History, folders News and Work (Work holding Deep), bookmarks a and b.
  void startWithTree() {
    startEmptyTree();
    db()->addFolder("News", nullptr);
    db()->addFolder("Work", nullptr);
    db()->addFolder("Deep", path({"Work"}));
    db()->addItem("a", "http://a.test/", nullptr);
    db()->addItem("b", "http://b.test/", nullptr);
    db()->addItemAtHistory("Seen", "http://seen.test/");
  }

  // Launches, opens the bookmark screens from the first page and answers the navigation controller.
  kit::NavigationController* openList() {
    EXPECT_TRUE(launch());
    startWithTree();
    page(0)->onBookmark();
    loop().drain();
    return tabs()->getBookmarkNavicon();
  }
  static kit::ViewController* top(kit::NavigationController* nav) { return nav->topViewController(); }
  static VeskBookmarkTableViewController* list(kit::NavigationController* nav) {
    return dynamic_cast<VeskBookmarkTableViewController*>(top(nav));
  }
  static VeskBookmarkAddTableViewController* form(kit::NavigationController* nav) {
    return dynamic_cast<VeskBookmarkAddTableViewController*>(top(nav));
  }
  static VeskBookmarkFolderSelectTableViewController* picker(kit::NavigationController* nav) {
    return dynamic_cast<VeskBookmarkFolderSelectTableViewController*>(top(nav));
  }
  static std::string rowText(kit::TableViewController* screen, long row, long section = 0) {
    kit::TableView* t = screen->tableView();
    kit::Ref<kit::TableViewCell> cell = t->dataSource()->tableViewCellForRowAtIndexPath(*t, {section, row});
    return cell->textLabel()->text();
  }
  static void tapRow(kit::TableViewController* screen, long row, long section = 0) {
    screen->tableView()->tapRow({section, row});
    loop().drain();
  }
  static void tapLeft(kit::ViewController* screen) {
    screen->navigationItem()->leftBarButtonItem()->tap();
    loop().drain();
  }
  static void tapRight(kit::ViewController* screen) {
    screen->navigationItem()->rightBarButtonItem()->tap();
    loop().drain();
  }
  static kit::BarButtonItem* toolbarButton(kit::ViewController* screen, const std::string& title) {
    for (auto& b : screen->toolbarItems())
      if (b->title() == title) return b.get();
    return nullptr;
  }
};

TEST_F(BookmarkScreensTest, TheListOpensFromThePageAndAChosenBookmarkLoadsThere) {
  kit::NavigationController* nav = openList();
  ASSERT_TRUE(tabs()->getBookmarkPopover()->isPopoverVisible());
  VeskBookmarkTableViewController* root = list(nav);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->targetVeskView(), page(0));
  EXPECT_EQ(root->title(), "Bookmarks");
  ASSERT_EQ(root->tableView()->numberOfRowsInSection(0), 5);
  EXPECT_EQ(rowText(root, 0), "History");
  EXPECT_EQ(rowText(root, 1), "News");
  EXPECT_EQ(rowText(root, 4), "b");
  kit::TableView* t = root->tableView();
  kit::Ref<kit::TableViewCell> historyCell = t->dataSource()->tableViewCellForRowAtIndexPath(*t, {0, 0});
  EXPECT_EQ(historyCell->reuseIdentifier(), "BookmarkTableViewCellHistoryFolder");
  EXPECT_TRUE(historyCell->imageView()->image());
  kit::Ref<kit::TableViewCell> item = t->dataSource()->tableViewCellForRowAtIndexPath(*t, {0, 3});
  EXPECT_EQ(item->reuseIdentifier(), "BookmarkTableViewCellItem");
  EXPECT_EQ(item->accessoryType(), kit::TableViewCell::AccessoryType::None);
  EXPECT_TRUE(item->imageView()->image());
  kit::Ref<kit::TableViewCell> folderCell = t->dataSource()->tableViewCellForRowAtIndexPath(*t, {0, 1});
  EXPECT_EQ(folderCell->reuseIdentifier(), "BookmarkTableViewCellFolder");
  EXPECT_EQ(folderCell->accessoryType(), kit::TableViewCell::AccessoryType::DisclosureIndicator);
  EXPECT_TRUE(folderCell->imageView()->image());

  tapRow(root, 4);
  EXPECT_EQ(lastLoad(page(0)), "http://b.test/");
  EXPECT_FALSE(tabs()->getBookmarkPopover()->isPopoverVisible());
  // A second tap of the button while the list shows closes it.
  page(0)->onBookmark();
  EXPECT_TRUE(tabs()->getBookmarkPopover()->isPopoverVisible());
  page(0)->onBookmark();
  EXPECT_FALSE(tabs()->getBookmarkPopover()->isPopoverVisible());
}

TEST_F(BookmarkScreensTest, OnThePhoneTheListIsModalAndClosesWhenABookmarkIsChosen) {
  usePhone();
  kit::NavigationController* nav = openList();
  EXPECT_EQ(nav->presentingViewController(), controller());
  ASSERT_TRUE(toolbarButton(list(nav), "Close"));
  tapRow(list(nav), 3);
  EXPECT_EQ(lastLoad(page(0)), "http://a.test/");
  loop().advance(1);
  EXPECT_FALSE(nav->presentingViewController());

  page(0)->onBookmark();
  loop().advance(1);
  toolbarButton(list(nav), "Close")->tap();
  loop().advance(1);
  EXPECT_FALSE(nav->presentingViewController());

  // Saving an edited bookmark comes back to the list, still on screen.
  page(0)->onBookmark();
  loop().advance(1);
  VeskBookmarkTableViewController* root = list(nav);
  tapRight(root);  // Edit
  tapRow(root, 3);
  VeskBookmarkAddTableViewController* edit = form(nav);
  ASSERT_TRUE(edit);
  edit->titleField()->tap();
  edit->titleField()->typeText("!");
  tapLeft(edit);
  loop().advance(1);
  EXPECT_EQ(titlesAt({}), "History,News,Work,a!,b");
  EXPECT_EQ(top(nav), root);
  EXPECT_EQ(nav->presentingViewController(), controller());
  tapRight(root);  // Done
  tapRow(root, 4);
  EXPECT_EQ(lastLoad(page(0)), "http://b.test/");
}

TEST_F(BookmarkScreensTest, FoldersAreEnteredAndLeftWithTheStoresCurrentPath) {
  kit::NavigationController* nav = openList();
  tapRow(list(nav), 2);  // Work
  VeskBookmarkTableViewController* work = list(nav);
  ASSERT_NE(work, nav->viewControllers()[0].get());
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(db()->currentPath(), path({"Work"})), 0);
  EXPECT_EQ(work->title(), "Work");
  EXPECT_EQ(work->targetVeskView(), page(0));
  EXPECT_EQ(work->navigationItem()->leftBarButtonItem()->title(), "Bookmarks");
  EXPECT_EQ(work->navigationItem()->rightBarButtonItem()->title(), "Edit");
  EXPECT_TRUE(toolbarButton(work, "Add"));
  EXPECT_EQ(rowText(work, 0), "Deep");
  // Edits elsewhere show at once while the list is on screen.
  db()->addItem("new", "http://new.test/", path({"Work"}));
  EXPECT_EQ(work->tableView()->numberOfRowsInSection(0), 2);
  tapLeft(work);
  EXPECT_TRUE(db()->root());
  EXPECT_EQ(list(nav), nav->viewControllers()[0].get());
  EXPECT_EQ(list(nav)->targetVeskView(), page(0));
}

TEST_F(BookmarkScreensTest, DraggingKeepsFoldersBeforeBookmarksAndHistoryFirst) {
  kit::NavigationController* nav = openList();
  VeskBookmarkTableViewController* root = list(nav);
  tapRight(root);  // Edit
  EXPECT_EQ(root->navigationItem()->rightBarButtonItem()->title(), "Done");
  EXPECT_TRUE(toolbarButton(root, "New Folder"));
  kit::TableView* t = root->tableView();
  ASSERT_TRUE(t->isEditing());
  auto target = [&](long from, long to) {
    return root->tableViewTargetIndexPathForMoveFromRowAtIndexPath(*t, {0, from}, {0, to}).row;
  };
  EXPECT_EQ(target(1, 4), 2);  // a folder dropped among bookmarks: after the last folder
  EXPECT_EQ(target(2, 0), 1);  // a folder never goes above History
  EXPECT_EQ(target(2, 1), 1);
  EXPECT_EQ(target(4, 0), 3);  // a bookmark dropped among folders: before the first bookmark
  EXPECT_EQ(target(4, 3), 3);
  EXPECT_FALSE(root->tableViewCanMoveRowAtIndexPath(*t, {0, 0}));
  EXPECT_EQ(root->tableViewEditingStyleForRowAtIndexPath(*t, {0, 0}), kit::TableViewCell::EditingStyle::None);

  EXPECT_EQ(t->moveRowByUser({0, 4}, {0, 1}), kit::IndexPath(0, 3));
  EXPECT_EQ(titlesAt({}), "History,News,Work,b,a");
  EXPECT_TRUE(t->tapEditingControl({0, 1}));
  loop().drain();
  EXPECT_EQ(titlesAt({}), "History,Work,b,a");
  EXPECT_FALSE(t->tapEditingControl({0, 0}));
  EXPECT_EQ(titlesAt({}), "History,Work,b,a");

  tapRight(root);  // Done
  EXPECT_FALSE(t->isEditing());
  EXPECT_EQ(root->navigationItem()->rightBarButtonItem()->title(), "Edit");
  EXPECT_FALSE(toolbarButton(root, "New Folder"));
}

TEST_F(BookmarkScreensTest, TheHistoryListIsClearedOnlyAsAWhole) {
  kit::NavigationController* nav = openList();
  tapRow(list(nav), 0);
  VeskBookmarkTableViewController* history = list(nav);
  ASSERT_TRUE(history->isHistory());
  EXPECT_EQ(history->navigationItem()->rightBarButtonItem()->title(), "Clear History");
  EXPECT_FALSE(toolbarButton(history, "Add"));
  kit::TableView* t = history->tableView();
  ASSERT_EQ(t->numberOfRowsInSection(0), 1);
  EXPECT_EQ(history->tableViewEditingStyleForRowAtIndexPath(*t, {0, 0}), kit::TableViewCell::EditingStyle::None);
  EXPECT_FALSE(t->swipeToDelete({0, 0}));

  tapRight(history);
  kit::ActionSheet* sheet = kit::ActionSheet::topVisibleSheet();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->buttonTitleAtIndex(0), "Clear All");
  sheet->tapButtonWithTitle("Cancel");
  EXPECT_EQ(t->numberOfRowsInSection(0), 1);
  tapRight(history);
  kit::ActionSheet::topVisibleSheet()->tapButtonWithTitle("Clear All");
  EXPECT_EQ(t->numberOfRowsInSection(0), 0);
  EXPECT_EQ(titles(defaults().arrayForKey("bookmark")->get<kit::Dictionary>(0)->get<kit::Array>("subitems")), "");
}

TEST_F(BookmarkScreensTest, AddFolderFormAddsAndReportsADuplicateAfterClosing) {
  kit::NavigationController* nav = openList();
  VeskBookmarkTableViewController* root = list(nav);
  tapRight(root);
  toolbarButton(root, "New Folder")->tap();
  loop().drain();
  VeskBookmarkTableViewController* add = list(nav);
  ASSERT_EQ(add->mode(), VeskBookmarkTableViewController::kModeAddFolder);
  EXPECT_EQ(add->title(), "Add Folder");
  EXPECT_EQ(add->tableView()->numberOfSections(), 2);
  EXPECT_EQ(rowText(add, 0, 1), "Bookmarks");
  kit::TableView* formTable = add->tableView();
  kit::Ref<kit::TableViewCell> titleCell = formTable->dataSource()->tableViewCellForRowAtIndexPath(*formTable, {0, 0});
  EXPECT_EQ(add->textField()->superview(), titleCell->contentView());
  EXPECT_EQ(add->textField()->placeholder(), "Title");
  tapLeft(add);  // empty title: nothing
  EXPECT_EQ(titlesAt({}), "History,News,Work,a,b");

  toolbarButton(root, "New Folder")->tap();
  loop().drain();
  list(nav)->textField()->typeText("Travel");
  tapLeft(list(nav));
  EXPECT_EQ(list(nav), root);
  EXPECT_EQ(titlesAt({}), "History,News,Work,Travel,a,b");
  EXPECT_EQ(defaults().arrayForKey("bookmark")->count(), 6u);

  toolbarButton(root, "New Folder")->tap();
  loop().drain();
  list(nav)->textField()->typeText("News");
  tapLeft(list(nav));
  EXPECT_EQ(list(nav), root);
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Failed to add folder. Same folder name already exists.");
  EXPECT_EQ(titlesAt({}), "History,News,Work,Travel,a,b");
}

TEST_F(BookmarkScreensTest, EditFolderFormRenamesAndMovesThroughThePicker) {
  kit::NavigationController* nav = openList();
  VeskBookmarkTableViewController* root = list(nav);
  tapRight(root);
  tapRow(root, 0);  // History: not editable
  EXPECT_EQ(list(nav), root);
  tapRow(root, 2);  // Work
  VeskBookmarkTableViewController* edit = list(nav);
  ASSERT_EQ(edit->mode(), VeskBookmarkTableViewController::kModeEditFolder);
  EXPECT_EQ(edit->textField()->text(), "Work");
  edit->textField()->setText("NEWS");
  tapLeft(edit);
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Failed to rename folder. Same folder name already exists.");
  topAlert()->tapButton(0);
  EXPECT_EQ(titlesAt({}), "History,News,Work,a,b");

  tapRow(root, 2);
  edit = list(nav);
  tapRow(edit, 0, 1);
  VeskBookmarkFolderSelectTableViewController* chooser = picker(nav);
  ASSERT_TRUE(chooser);
  // Root, News; never History, never Work or what lies below it.
  ASSERT_EQ(chooser->tableView()->numberOfRowsInSection(0), 2);
  EXPECT_EQ(rowText(chooser, 0), "Bookmarks");
  EXPECT_EQ(rowText(chooser, 1), "News");
  tapRow(chooser, 1);
  EXPECT_EQ(list(nav), edit);
  EXPECT_EQ(rowText(edit, 0, 1), "News");
  tapLeft(edit);
  EXPECT_EQ(titlesAt({}), "History,News,a,b");
  EXPECT_EQ(titlesAt({"News", "Work"}), "Deep");

  // A move onto a folder of the same name is refused with its alert.
  db()->addFolder("News", path({"News"}));
  tapRow(root, 1);  // News
  edit = list(nav);
  edit->folderSelected(path({"News"}));
  tapLeft(edit);
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Failed to move folder. Check if there is any duplicate name.");
  EXPECT_EQ(titlesAt({"News"}), "Work,News");
}

TEST_F(BookmarkScreensTest, TheBookmarkFormAddsToTheChosenFolderAndNeverToTheHistory) {
  kit::NavigationController* nav = openList();
  page(0)->setLocation("http://page.test/");
  toolbarButton(list(nav), "Add")->tap();
  loop().drain();
  VeskBookmarkAddTableViewController* add = form(nav);
  ASSERT_TRUE(add);
  EXPECT_EQ(add->title(), "Add Bookmark");
  EXPECT_EQ(add->urlField()->text(), "http://page.test/");
  for (kit::TextField* f : {add->titleField(), add->urlField()}) {
    EXPECT_EQ(f->autocorrectionType(), kit::TextAutocorrectionType::No);
    EXPECT_EQ(f->autocapitalizationType(), kit::TextAutocapitalizationType::None);
    EXPECT_EQ(f->textColor(), kit::Color::blackColor());
    EXPECT_EQ(f->returnKeyType(), kit::ReturnKeyType::Done);
  }
  EXPECT_EQ(add->urlField()->keyboardType(), kit::KeyboardType::URL);
  kit::BarButtonItem* save = add->navigationItem()->rightBarButtonItem();
  ASSERT_TRUE(save);
  EXPECT_EQ(save->title(), "Save");
  add->titleField()->setText("");
  add->titleField()->typeText("Page");
  EXPECT_TRUE(save->isEnabled());
  while (!add->titleField()->text().empty()) add->titleField()->deleteBackward();
  EXPECT_FALSE(save->isEnabled());
  save->tap();  // nothing saved, the form stays
  EXPECT_EQ(form(nav), add);
  add->titleField()->typeText("Page");
  tapRow(add, 0, 1);
  ASSERT_TRUE(picker(nav));
  EXPECT_EQ(picker(nav)->tableView()->numberOfRowsInSection(0), 4);  // root, News, Work, Deep
  EXPECT_EQ(picker(nav)->tableView()->cellForRowAtIndexPath({0, 0})->accessoryType(),
            kit::TableViewCell::AccessoryType::Checkmark);
  EXPECT_EQ(picker(nav)->tableViewIndentationLevelForRowAtIndexPath(*picker(nav)->tableView(), {0, 3}), 2);
  tapRow(picker(nav), 3);
  add->navigationItem()->rightBarButtonItem()->tap();
  loop().drain();
  EXPECT_EQ(list(nav), nav->viewControllers()[0].get());
  EXPECT_EQ(titlesAt({"Work", "Deep"}), "Page");

  // From inside History the form starts at the root.
  kit::Ref<VeskBookmarkAddTableViewController> fromHistory(new VeskBookmarkAddTableViewController("H", "http://h.test/"));
  fromHistory->setSelectedPath(path({"History"}));
  EXPECT_FALSE(fromHistory->selectedPath());
}

TEST_F(BookmarkScreensTest, EditingABookmarkInPlaceOrIntoAnotherFolder) {
  kit::NavigationController* nav = openList();
  VeskBookmarkTableViewController* root = list(nav);
  tapRight(root);
  tapRow(root, 3);  // a
  VeskBookmarkAddTableViewController* edit = form(nav);
  ASSERT_TRUE(edit);
  EXPECT_TRUE(edit->bEdit());
  EXPECT_EQ(edit->title(), "Edit Bookmark");
  EXPECT_EQ(edit->navigationItem()->leftBarButtonItem()->title(), "Bookmarks");
  edit->titleField()->setText("a2");
  edit->urlField()->setText("http://a2.test/");
  tapLeft(edit);  // going back saves
  EXPECT_EQ(titlesAt({}), "History,News,Work,a2,b");
  EXPECT_EQ(db()->getItemAt(3)->get<kit::String>("url")->str(), "http://a2.test/");
  // and closes the form back to the list, which stays open.
  loop().advance(1);
  EXPECT_EQ(top(nav), root);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_TRUE(tabs()->getBookmarkPopover()->isPopoverVisible());

  tapRow(root, 3);
  edit = form(nav);
  edit->folderSelected(path({"News"}));
  EXPECT_TRUE(edit->bSelectPathModified());
  tapLeft(edit);
  EXPECT_EQ(titlesAt({}), "History,News,Work,b");
  EXPECT_EQ(titlesAt({"News"}), "a2");

  // Into a folder the move itself makes here: the new folder pushes the
  // bookmarks down, and the right one goes.
  tapRow(root, 3);  // b
  edit = form(nav);
  edit->folderSelected(path({"Fresh"}));
  tapLeft(edit);
  EXPECT_EQ(titlesAt({}), "History,News,Work,Fresh");
  EXPECT_EQ(titlesAt({"Fresh"}), "b");
  db()->addItem("b", "http://b.test/", nullptr);

  // An emptied field saves nothing and keeps the form open.
  tapRow(root, 4);
  edit = form(nav);
  ASSERT_TRUE(edit);
  edit->urlField()->setText("");
  tapLeft(edit);
  EXPECT_EQ(form(nav), edit);
  EXPECT_EQ(titlesAt({}), "History,News,Work,Fresh,b");
}

}  // namespace
}  // namespace datatest

namespace datatest {
namespace {

class BookmarkLifecycleTest : public shelltest::ShellTest {};

TEST_F(BookmarkLifecycleTest, QuittingWritesTheTreeToTheFile) {
  ASSERT_TRUE(launch());
  startEmptyTree();
  VeskBookmarkDatabase::getSharedInstance()->addItem("Kept", "http://kept.test/", nullptr);
  app()->terminate();
  kit::Ref<kit::Object> file = kit::PropertyList::readFromFile(kit::Paths::preferencesFile());
  auto* stored = kit::cast<kit::Dictionary>(file);
  ASSERT_TRUE(stored);
  EXPECT_EQ(titles(stored->get<kit::Array>("bookmark")), "History,Kept");
}

}  // namespace
}  // namespace datatest
