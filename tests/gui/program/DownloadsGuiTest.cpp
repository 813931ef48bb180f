// Downloads in the real program: a link to a loopback .zip that the page cannot show is offered
// for download, fetched by the browser's own manager with its progress in the download list, and
// handed to the applications of its type ("Open With ..."), found through a desktop file
// installed in a temporary XDG data folder.

#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "TabsFixture.h"
#include "downloads/VeskDownloadManager.h"
#include "downloads/VeskDownloadTableViewCell.h"
#include "downloads/VeskDownloadTableViewController.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/gtk/NetworkActivityCursor.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/Application.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/ProgressView.h"
#include "kit/ui/TableView.h"
#include "support/PseudoRandomBody.h"

namespace tolvatest {

namespace {

std::filesystem::path testDesktop() {
  return std::filesystem::temp_directory_path() / ("tolva-xdg-" + std::to_string(::getpid()));
}

// GLib reads the XDG folders once per process, before the first test starts GTK: a process run
// for this suite gets its desktop of one application that takes zip files at its start.
const bool desktopInstalled = [] {
  std::ifstream cmdline("/proc/self/cmdline");
  const std::string args((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
  if (args.find("DownloadsGuiTest") == std::string::npos) return false;
  const std::filesystem::path xdg = testDesktop();
  std::filesystem::create_directories(xdg / "applications");
  std::ofstream(xdg / "applications" / "tolva-test-unzip.desktop")
      << "[Desktop Entry]\nType=Application\nName=Tolva Test Unzip\nExec=/bin/true %f\n"
         "MimeType=application/zip;\n";
  // The index that installing a desktop file brings up to date (update-desktop-database).
  std::ofstream(xdg / "applications" / "mimeinfo.cache") << "[MIME Cache]\napplication/zip=tolva-test-unzip.desktop;\n";
  // The user's own data folder comes first; the system's stay (schemas, the MIME database).
  ::setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  return true;
}();

}  // namespace

class DownloadsGuiTest : public TabsFixture {
 protected:
  void TearDown() override {
    tolva::VeskDownloadManager::sharedInstance()->resetForTesting();
    TabsFixture::TearDown();
    std::error_code ignored;
    if (desktopInstalled) std::filesystem::remove_all(testDesktop(), ignored);
  }

  tolva::VeskDownloadTableViewController* list() const {
    kit::ViewController* shown = page() ? page()->viewController()->presentedViewController() : nullptr;
    auto* nav = dynamic_cast<kit::NavigationController*>(shown);
    return nav && !nav->viewControllers().empty()
               ? dynamic_cast<tolva::VeskDownloadTableViewController*>(nav->viewControllers().front().get())
               : nullptr;
  }

  std::string eval(const std::string& script) const {
    kit::WebView* web = page() ? page()->existingWebView() : nullptr;
    return web ? web->stringByEvaluatingJavaScriptFromString(script) : std::string();
  }
};

TEST_F(DownloadsGuiTest, ALinkToAZipIsDownloadedWithProgressAndOpensWithItsApplications) {
  constexpr uint64_t kSize = 3 * 1024 * 1024;
  auto body = std::make_shared<PseudoRandomBody>(kSize, 21);
  server_.route("GET", "/page", TestResponse::html(html(
      "Download Page", "<p><a id='zip' href='/files/pack.zip' style='font-size:28px'>The package</a></p>")));
  // The file pauses a moment half-way, so the list is seen while it runs.
  server_.route("GET", "/files/pack.zip",
                TestResponse::generated(body, "application/zip").stallAfterBody(kSize / 2, std::chrono::seconds(3)));
  tolva::VeskDownloadManager* manager = tolva::VeskDownloadManager::sharedInstance();
  manager->resetForTesting();
  ASSERT_TRUE(startProgram(server_.url("/page")));
  ASSERT_TRUE(waitForTitle("Download Page"));
  ASSERT_TRUE(waitUntil([&] { return eval("document.__veskLinkTargets === true") == "true"; }, 5));

  // WebKit cannot show a zip file: the page view offers it for download.
  clickElement("zip");
  ASSERT_TRUE(waitUntil([&] { return kit::AlertView::topVisibleAlert() != nullptr; }, 15));
  kit::AlertView* offer = kit::AlertView::topVisibleAlert();
  EXPECT_EQ(offer->tag(), tolva::VeskWebView::kTagDownload);
  EXPECT_EQ(offer->message(), "The file 'pack.zip' can not be displayed. Would you like to download it?");
  saveScreenshot("DownloadsGuiTest.Offer");
  ASSERT_EQ(kit::gtk::WidgetTree::installed()->dialogs().size(), 1u);
  gtk_dialog_response(GTK_DIALOG(kit::gtk::WidgetTree::installed()->dialogs().front()), 1);
  ASSERT_TRUE(waitUntil([&] { return manager->count() == 1; }, 5));
  EXPECT_EQ(manager->urlOfItem(0), server_.url("/files/pack.zip"));

  // The list shows the download while it runs.
  page()->showDownloadManager();
  ASSERT_TRUE(waitUntil([&] { return tolva::VeskDownloadTableViewController::isShowing() && list(); }, 5));
  page()->showDownloadManager();  // already showing: nothing more
  kit::TableView* table = list()->tableView();
  ASSERT_TRUE(waitUntil(
      [&] {
        auto* cell = dynamic_cast<tolva::VeskDownloadTableViewCell*>(table->cellForRowAtIndexPath({0, 0}));
        return cell && cell->progress()->progress() >= 0.5 && manager->state(0) == tolva::DownloadStatusDownloading;
      },
      20));
  auto* cell = dynamic_cast<tolva::VeskDownloadTableViewCell*>(table->cellForRowAtIndexPath({0, 0}));
  EXPECT_LT(cell->progress()->progress(), 1.0);
  EXPECT_EQ(cell->filename()->text(), "pack.zip");
  settle();
  saveScreenshot("DownloadsGuiTest.Progress");

  ASSERT_TRUE(waitUntil([&] { return manager->completedItem(0); }, 30));
  settle();
  EXPECT_DOUBLE_EQ(cell->progress()->progress(), 1.0);
  EXPECT_NE(cell->info()->text().find("Download completed."), std::string::npos);
  const std::string file = kit::Paths::documentsDirectory() + "/pack.zip";
  EXPECT_EQ(manager->pathOfItem(0), file);
  EXPECT_EQ(kit::FileManager::fileSize(file).value_or(0), kSize);
  saveScreenshot("DownloadsGuiTest.Completed");

  // A completed row offers "Open With ..." for the zip application of this desktop.
  table->tapRow({0, 0});
  ASSERT_TRUE(waitUntil([&] { return kit::ActionSheet::topVisibleSheet() != nullptr; }, 5));
  kit::ActionSheet* sheet = kit::ActionSheet::topVisibleSheet();
  EXPECT_EQ(sheet->title(), "pack.zip");
  ASSERT_EQ(sheet->numberOfButtons(), 5);
  EXPECT_EQ(sheet->buttonTitleAtIndex(3), "Open With ...");
  sheet->tapButtonWithTitle("Open With ...");
  ASSERT_TRUE(waitUntil([&] { return kit::ActionSheet::topVisibleSheet() != nullptr; }, 5));
  sheet = kit::ActionSheet::topVisibleSheet();
  bool listed = false;
  for (long i = 0; i < sheet->numberOfButtons(); ++i) listed = listed || sheet->buttonTitleAtIndex(i) == "Tolva Test Unzip";
  EXPECT_TRUE(listed);
  settle();
  saveScreenshot("DownloadsGuiTest.OpenWith");
  sheet->tapButtonWithTitle("Cancel");
}

TEST_F(DownloadsGuiTest, TheWindowShowsTheBusyCursorWhileADownloadRuns) {
  server_.route("GET", "/page", TestResponse::html(html("Busy Page", "<p>waiting</p>")));
  server_.route("GET", "/files/slow.bin",
                TestResponse::ok(std::string(64 * 1024, 's'), "application/octet-stream")
                    .stallAfterBody(1024, std::chrono::milliseconds(1500)));
  tolva::VeskDownloadManager* manager = tolva::VeskDownloadManager::sharedInstance();
  manager->resetForTesting();
  ASSERT_TRUE(startProgram(server_.url("/page")));
  ASSERT_TRUE(waitForTitle("Busy Page"));
  GtkWindow* top = kit::gtk::WidgetTree::installed()->toplevelFor(kit::Application::sharedApplication()->keyWindow());
  ASSERT_TRUE(top);
  GdkWindow* shown = gtk_widget_get_window(GTK_WIDGET(top));
  ASSERT_TRUE(shown);
  EXPECT_EQ(gdk_window_get_cursor(shown), nullptr);

  manager->start(server_.url("/files/slow.bin"));
  ASSERT_TRUE(waitUntil([&] { return gdk_window_get_cursor(shown) == kit::gtk::NetworkActivityCursor::busyCursor(); }, 10));
  EXPECT_TRUE(manager->state(0) == tolva::DownloadStatusDownloading || manager->state(0) == tolva::DownloadStatusQueued);
  saveScreenshot("DownloadsGuiTest.BusyCursor");

  // It stays a moment after the last request, then the ordinary cursor is back.
  ASSERT_TRUE(waitUntil([&] { return manager->completedItem(0); }, 20));
  const auto ended = std::chrono::steady_clock::now();
  EXPECT_EQ(gdk_window_get_cursor(shown), kit::gtk::NetworkActivityCursor::busyCursor());
  ASSERT_TRUE(waitUntil([&] { return gdk_window_get_cursor(shown) == nullptr; }, 5));
  EXPECT_GE(std::chrono::steady_clock::now() - ended, std::chrono::milliseconds(350));
  EXPECT_FALSE(kit::Application::sharedApplication()->isNetworkActivityIndicatorVisible());
}

}  // namespace tolvatest
