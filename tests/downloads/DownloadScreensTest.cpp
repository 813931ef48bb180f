// The download list, its cells and action sheets, and the add and rename screens, driven as a
// user would on the headless backend. No request reaches the network: new requests are held.

#include "downloads/VeskDownloadAddTableViewController.h"
#include "downloads/VeskDownloadManager.h"
#include "downloads/VeskDownloadRenameTableViewController.h"
#include "downloads/VeskDownloadTableViewCell.h"
#include "downloads/VeskDownloadTableViewController.h"
#include "http/HttpRequest.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Button.h"
#include "kit/ui/HeadlessDocumentOpener.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/UiTest.h"
#include "kit/ui/Window.h"
#include "support/TempHome.h"

using namespace tolva;
using kit::Ref;

namespace {

class DownloadScreensTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    manager()->resetForTesting();
    manager()->setRequestStarterForTesting([this](HttpRequest& r) { started.push_back(r.url()->absoluteString()); });
    kit::HeadlessDocumentOpener::instance().reset();
  }
  void TearDown() override {
    window = nullptr;
    manager()->resetForTesting();
    manager()->setRequestStarterForTesting(nullptr);
    kit::HeadlessDocumentOpener::instance().reset();
    UiTest::TearDown();
  }
  static VeskDownloadManager* manager() { return VeskDownloadManager::sharedInstance(); }
  static std::string documents(const std::string& name) { return kit::Paths::documentsDirectory() + "/" + name; }

  // The list a previous run left: one entry per (name, status); completed ones have their file.
  void storeEntries(std::vector<std::pair<std::string, int>> entries) {
    kit::FileManager::createDirectory(kit::Paths::documentsDirectory());
    auto list = kit::MutableArray::array();
    for (const auto& [name, status] : entries) {
      auto e = kit::MutableDictionary::dictionary();
      e->setObject(kit::str("http://files.test/" + name), "url");
      e->setObject(kit::str(documents(name)), "filePath");
      e->setObject(kit::Number::numberWithBool(false), "filePathFixed");
      e->setObject(kit::Number::numberWithInt(status), "status");
      e->setObject(kit::Number::numberWithLongLong(status == 3 ? 4 : -1), "content_size");
      e->setObject(kit::Number::numberWithLongLong(0), "received");
      e->setObject(kit::str(VeskDownloadManager::temporaryFolder() + "/" + name), "temporaryPath");
      list->addObject(e);
      if (status == 3) kit::FileManager::writeFile(documents(name), "data");
      if (status == 2) kit::FileManager::writeFile(VeskDownloadManager::temporaryFolder() + "/" + name, "da");
    }
    kit::UserDefaults::standardUserDefaults().setObject(list.get(), VeskDownloadManager::kDefaultsKey);
    manager()->resetForTesting();
  }
  // Shows the list as the page view does.
  VeskDownloadTableViewController* showList() {
    window = makeKeyWindow();
    nav = VeskDownloadTableViewController::makeNavigationController();
    window->setRootViewController(nav.get());
    loop().advance(1);
    return dynamic_cast<VeskDownloadTableViewController*>(nav->viewControllers().front().get());
  }
  static kit::AlertView* topAlert() {
    auto alerts = kit::AlertView::visibleAlerts();
    return alerts.empty() ? nullptr : alerts.back().get();
  }

  tolvatest::TempHome home;
  std::vector<std::string> started;
  Ref<kit::Window> window;
  Ref<kit::NavigationController> nav;
};

TEST_F(DownloadScreensTest, ListShowsCellsAndEditClearsFailed) {
  storeEntries({{"a.zip", 3}, {"b.zip", 4}, {"c.zip", 2}});
  EXPECT_FALSE(VeskDownloadTableViewController::isShowing());
  VeskDownloadTableViewController* list = showList();
  ASSERT_TRUE(list);
  EXPECT_TRUE(VeskDownloadTableViewController::isShowing());
  EXPECT_EQ(list->title(), "Download(s)");
  EXPECT_FALSE(nav->isToolbarHidden());
  kit::TableView* table = list->tableView();
  ASSERT_EQ(table->numberOfRowsInSection(0), 3);
  auto* cell = dynamic_cast<VeskDownloadTableViewCell*>(table->cellForRowAtIndexPath({0, 2}));
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->row(), 2);
  EXPECT_EQ(cell->filename()->text(), "c.zip");
  EXPECT_EQ(cell->info()->text(), "2/? (Paused)\nhttp://files.test/c.zip");

  // The cell's button: a completed entry stays, a paused one resumes.
  auto* done = dynamic_cast<VeskDownloadTableViewCell*>(table->cellForRowAtIndexPath({0, 0}));
  done->onBtnClicked();
  EXPECT_TRUE(started.empty());
  cell->pauseResume()->tap();
  EXPECT_EQ(started, std::vector<std::string>{"http://files.test/c.zip"});
  cell->onBtnClicked();  // now with a request on its way: a pause
  EXPECT_EQ(manager()->state(2), DownloadStatusPaused);

  kit::BarButtonItem* edit = list->navigationItem()->rightBarButtonItem();
  kit::BarButtonItem* add = list->navigationItem()->leftBarButtonItem();
  ASSERT_TRUE(edit && add);
  EXPECT_EQ(edit->title(), "Edit");
  edit->tap();
  EXPECT_EQ(edit->title(), "Done");
  EXPECT_EQ(add->title(), "Clear Failed");
  add->tap();
  EXPECT_EQ(manager()->count(), 2);
  EXPECT_EQ(table->numberOfRowsInSection(0), 2);
  edit->tap();
  EXPECT_EQ(add->title(), "Add");
  add->tap();
  EXPECT_TRUE(dynamic_cast<VeskDownloadAddTableViewController*>(nav->topViewController()));
  EXPECT_FALSE(VeskDownloadTableViewController::isShowing());
}

TEST_F(DownloadScreensTest, CompletedRowOffersItsActionsAndOpenWith) {
  storeEntries({{"a.zip", 3}, {"b.zip", 2}});
  VeskDownloadTableViewController* list = showList();
  kit::TableView* table = list->tableView();
  table->tapRow({0, 1});  // not completed: nothing
  EXPECT_TRUE(kit::ActionSheet::visibleSheets().empty());

  table->tapRow({0, 0});
  kit::ActionSheet* sheet = kit::ActionSheet::topVisibleSheet();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->title(), "a.zip");
  ASSERT_EQ(sheet->numberOfButtons(), 4);  // no application: no "Open With ..."
  EXPECT_EQ(sheet->cancelButtonIndex(), 3);
  EXPECT_EQ(sheet->destructiveButtonIndex(), 1);
  sheet->tapButtonWithTitle("Cancel");

  kit::HeadlessDocumentOpener::instance().registerApplication("application/zip", {"org.test.Unzip.desktop", "Unzip"});
  table->tapRow({0, 0});
  sheet = kit::ActionSheet::topVisibleSheet();
  ASSERT_EQ(sheet->numberOfButtons(), 5);
  EXPECT_EQ(sheet->buttonTitleAtIndex(3), "Open With ...");
  sheet->tapButtonWithTitle("Open With ...");
  sheet = kit::ActionSheet::topVisibleSheet();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->buttonTitleAtIndex(0), "Unzip");
  sheet->tapButtonWithTitle("Unzip");
  ASSERT_EQ(kit::HeadlessDocumentOpener::instance().opened().size(), 1u);
  EXPECT_EQ(kit::HeadlessDocumentOpener::instance().opened()[0],
            (std::pair<std::string, std::string>{documents("a.zip"), "org.test.Unzip.desktop"}));

  // "View" of a type the web view cannot show goes to the default application.
  table->tapRow({0, 0});
  kit::ActionSheet::topVisibleSheet()->tapButtonWithTitle("View");
  EXPECT_EQ(kit::HeadlessDocumentOpener::instance().opened().back().second, "");

  table->tapRow({0, 0});
  kit::ActionSheet::topVisibleSheet()->tapButtonWithTitle("Rename");
  auto* rename = dynamic_cast<VeskDownloadRenameTableViewController*>(nav->topViewController());
  ASSERT_TRUE(rename);
  EXPECT_EQ(rename->filename(), "a.zip");
  EXPECT_EQ(rename->currentRow(), 0);
  nav->popViewControllerAnimated(false);
  loop().advance(1);

  table->tapRow({0, 0});
  kit::ActionSheet::topVisibleSheet()->tapButtonWithTitle("Delete");
  EXPECT_EQ(manager()->count(), 1);
  EXPECT_FALSE(kit::FileManager::fileExists(documents("a.zip")));
}

TEST_F(DownloadScreensTest, AddScreenPrefixesTheSchemeAndRefusesBadURLs) {
  EXPECT_EQ(VeskDownloadAddTableViewController::withScheme("files.test/a.zip"), "http://files.test/a.zip");
  EXPECT_EQ(VeskDownloadAddTableViewController::withScheme("HTTPS://files.test/a"), "HTTPS://files.test/a");
  EXPECT_EQ(VeskDownloadAddTableViewController::withScheme("http://"), "http://http://");
  EXPECT_EQ(VeskDownloadAddTableViewController::withScheme("Http://x"), "Http://x");

  storeEntries({});
  showList()->onAddorClearAll();
  loop().advance(1);
  auto* add = dynamic_cast<VeskDownloadAddTableViewController*>(nav->topViewController());
  ASSERT_TRUE(add);
  EXPECT_EQ(add->title(), "New Download");
  add->onSave();
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Invalid URL. Please re-enter correct URL.");
  topAlert()->tapButton(0);

  add->fieldOfRow(0)->setText("files.test/get?id=4");
  add->fieldOfRow(1)->setText("mine.zip");
  EXPECT_FALSE(add->textFieldShouldReturn(*add->fieldOfRow(1)));
  ASSERT_EQ(manager()->count(), 1);
  EXPECT_EQ(manager()->urlOfItem(0), "http://files.test/get?id=4");
  EXPECT_EQ(manager()->pathOfItem(0), documents("mine.zip"));
  EXPECT_EQ(started.size(), 1u);
  loop().advance(1);
  EXPECT_TRUE(dynamic_cast<VeskDownloadTableViewController*>(nav->topViewController()));
}

TEST_F(DownloadScreensTest, RenameScreenReportsFailuresWithTheirCode) {
  storeEntries({{"a.txt", 3}, {"b.txt", 3}});
  showList();
  Ref<VeskDownloadRenameTableViewController> rename(new VeskDownloadRenameTableViewController());
  rename->setFilename("a.txt");
  rename->setCurrentRow(0);
  nav->pushViewController(rename.get(), false);
  loop().advance(1);
  EXPECT_EQ(rename->textOfRow(0), "a.txt");
  kit::TextField locked;
  locked.setTag(1);
  EXPECT_FALSE(rename->textFieldShouldBeginEditing(locked));
  EXPECT_TRUE(rename->textFieldShouldBeginEditing(*rename->fieldOfRow(0)));

  rename->fieldOfRow(0)->setText("");
  rename->onSave();
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Failed to rename. Error code: 0");
  topAlert()->tapButton(0);
  rename->fieldOfRow(0)->setText("b.txt");
  rename->onSave();
  EXPECT_EQ(topAlert()->message(), "Failed to rename. Error code: 17");
  topAlert()->tapButton(0);
  EXPECT_EQ(kit::FileManager::readFile(documents("b.txt"))->toString(), "data");

  rename->fieldOfRow(0)->setText("c.txt");
  rename->onSave();
  EXPECT_FALSE(topAlert());
  EXPECT_EQ(manager()->pathOfItem(0), documents("c.txt"));
  EXPECT_TRUE(kit::FileManager::fileExists(documents("c.txt")));
}

}  // namespace
