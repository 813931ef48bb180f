#pragma once
// The fixture of the shell's UI tests: a fresh data home, virtual time, a
// fresh application (tablet unless a test says otherwise), no alert or
// popover left over, the shell's interface files registered and every
// shared store back to empty. launch() runs the program's start-up the way
// main() does.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/net/URLCache.h"
#include "kit/security/Keychain.h"
#include "kit/security/MemoryKeychainStore.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/HeadlessURLOpener.h"
#include "kit/ui/HeadlessWebView.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/Responder.h"
#include "kit/ui/ViewAnimation.h"
#include "kit/ui/Window.h"
#include "data/VeskAdblockManager.h"
#include "shell/ShellRegistration.h"
#include "common/VeskMiscObject.h"
#include "shell/VeskMultiTabView.h"
#include "shell/VeskWebAppDelegate.h"
#include "shell/VeskWebView.h"
#include "shell/VeskTextSearchTableViewController.h"
#include "shell/VeskWebViewController.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskFaviconDatabase.h"
#include "share/core/ShareConfiguration.h"
#include "downloads/VeskDownloadManager.h"
#include "data/VeskPagePasswordDatabase.h"
#include "support/TempHome.h"

namespace shelltest {

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    kit::Clock::setVirtual(700000000.0);
    kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
    kit::Application::sharedApplication()->reset();
    kit::ViewAnimation::clearHistory();
    clearOverlays();
    tolva::registerShellInterfaceFiles();
    tolva::registerShellClasses(kit::ClassRegistry::shared());
    tolva::ShareConfiguration::resetForTesting();
    // A cache without capacity, as a platform may have before start-up.
    kit::URLCache::setSharedURLCache(kit::make<kit::URLCache>(0, 0, "test_cache"));
    tolva::VeskBookmarkDatabase::getSharedInstance()->resetForTesting();
    // Site icons are fetched only from the loopback server.
    tolva::VeskFaviconDatabase::resetForTesting();
    tolva::VeskFaviconDatabase::setFetchAddressForTesting(loopbackFaviconAddress);
    tolva::VeskDownloadManager::sharedInstance()->resetForTesting();
    // Downloads the page view offers are recorded, never fetched from the made-up hosts.
    tolva::VeskDownloadManager::sharedInstance()->setRequestStarterForTesting([](tolva::HttpRequest&) {});
    kit::Keychain::installSharedStore(std::make_shared<kit::MemoryKeychainStore>());
    tolva::VeskPagePasswordDatabase::sharedInstance()->resetForTesting();
    kit::HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies();
    // Search suggestions never leave the machine: port 9 on loopback refuses.
    tolva::VeskTextSearchTableViewController::setSuggestionServiceBase("http://127.0.0.1:9");
    rereadSettings();
    tolva::VeskAdblockManager::sharedInstance()->resetForTesting();
    misc()->setBPrivateTabExists(false);
    misc()->recentlyClosedTabs()->removeAllObjects();
    loop().drain();
  }

  void TearDown() override {
    // A shell test passes only by making its checks: skipping them (a
    // missing tool, a precondition not met) counts as a failure.
    if (IsSkipped()) ADD_FAILURE() << "skipped: a shell test may not pass without making its checks";
    tolva::VeskFaviconDatabase::waitForFetchesForTesting();
    clearOverlays();
    if (auto* fr = dynamic_cast<kit::View*>(kit::Responder::firstResponder())) fr->endEditing(true);
    for (auto& w : kit::Window::allWindows())
      if (w.get() != kit::Window::alertWindow()) w->setHidden(true);
    mainObjects_.clear();
    loop().advance(30);
    kit::Application::sharedApplication()->reset();
    kit::URLCache::setSharedURLCache(nullptr);
    kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
    kit::Clock::setReal();
  }

  static void clearOverlays() {
    for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(-1, false);
    for (auto& s : kit::ActionSheet::visibleSheets()) s->dismissWithClickedButtonIndex(-1, false);
    for (auto& p : kit::PopoverController::visiblePopovers()) p->dismissPopoverAnimated(false);
  }

  static std::string loopbackFaviconAddress(const std::string& site) {
    return site.starts_with("127.0.0.1:") ? "http://" + site + "/favicon.ico" : std::string();
  }
  static kit::RunLoop& loop() { return kit::RunLoop::main(); }
  static kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }
  static kit::Application* app() { return kit::Application::sharedApplication(); }
  static tolva::VeskMiscObject* misc() { return tolva::VeskMiscObject::sharedInstance(); }
  static void rereadSettings() { misc()->_settingsChanged(); }
  static void usePhone() { kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Phone); }

  // Builds the main window and the delegate from the main interface file and launches.
  bool launch(kit::Ref<kit::Dictionary> options = nullptr) {
    mainObjects_ = kit::InterfaceFile::load("MainWindow", app());
    bool ok = app()->launch(std::move(options));
    loop().drain();
    return ok;
  }

  tolva::VeskWebAppDelegate* delegate() const {
    return dynamic_cast<tolva::VeskWebAppDelegate*>(kit::Application::sharedApplication()->delegate());
  }
  tolva::VeskWebViewController* controller() const { return delegate()->viewController(); }
  tolva::VeskMultiTabView* tabs() const { return controller()->multiTab(); }
  tolva::VeskWebView* page(int i) const { return tabs()->getViewAt(i); }
  static kit::HeadlessWebView* web(tolva::VeskWebView* p) {
    return dynamic_cast<kit::HeadlessWebView*>(p->existingWebView());
  }
  // The URL the page's web view was last asked to load ("" when none).
  static std::string lastLoad(tolva::VeskWebView* p) {
    kit::HeadlessWebView* w = web(p);
    kit::URLRequest* r = w ? w->lastLoadedRequest() : nullptr;
    return r && r->url() ? r->url()->absoluteString() : std::string();
  }

  static kit::AlertView* topAlert() { return kit::AlertView::topVisibleAlert(); }
  // The entries of the store's History folder, newest first.
  static kit::Ref<kit::Array> historyEntries() {
    kit::Ref<kit::Array> path(new kit::Array({kit::str("History")}));
    kit::Ref<kit::Array> entries = tolva::VeskBookmarkDatabase::getSharedInstance()->getFolder(path.get());
    return entries ? entries : kit::Array::array();
  }

 private:
  tolvatest::TempHome home_;
  std::vector<kit::Ref<kit::Object>> mainObjects_;
};

}  // namespace shelltest
