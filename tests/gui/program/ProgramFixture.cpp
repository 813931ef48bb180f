#include "ProgramFixture.h"

#include "kit/foundation/ClassRegistry.h"
#include "kit/gtk/WebKitView.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URL.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/security/Keychain.h"
#include "kit/security/MemoryKeychainStore.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/Responder.h"
#include "kit/ui/Screen.h"
#include "shell/ShellRegistration.h"
#include "shell/VeskMultiTabView.h"
#include "kit/ui/Button.h"
#include "kit/ui/Label.h"

#include <cstdio>
#include <cstdlib>

namespace tolvatest {

void ProgramFixture::SetUp() {
  GuiFixture::SetUp();
  home_ = std::make_unique<TempHome>();
  kit::UserDefaults::discardStandardUserDefaultsForTesting();
  kit::Keychain::installSharedStore(std::make_shared<kit::MemoryKeychainStore>());
  kit::Application::sharedApplication()->reset();
  kit::Screen::mainScreen().setSizeOverride({});
  // The test program is not beside the content-filter extension.
  kit::gtk::WebKitView::setWebExtensionsDirectory(TOLVA_WEB_EXTENSIONS_DIR);
}

void ProgramFixture::TearDown() {
  GuiFixture::TearDown();
  for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(-1, false);
  for (auto& s : kit::ActionSheet::visibleSheets()) s->dismissWithClickedButtonIndex(-1, false);
  for (auto& p : kit::PopoverController::visiblePopovers()) p->dismissPopoverAnimated(false);
  if (auto* fr = dynamic_cast<kit::View*>(kit::Responder::firstResponder())) fr->endEditing(true);
  kit::Application::sharedApplication()->terminate();
  for (auto& w : kit::Window::allWindows())
    if (w.get() != kit::Window::alertWindow()) w->setHidden(true);
  settle();
  mainObjects_.clear();
  kit::Application::sharedApplication()->reset();
  kit::UserDefaults::standardUserDefaults().synchronize();
  kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
  kit::Screen::mainScreen().setSizeOverride({});
  server_.stop();
}

bool ProgramFixture::startProgram(const std::string& homepage, bool phone, const std::string& launchURL) {
  kit::Device::currentDevice().setUserInterfaceIdiom(phone ? kit::UserInterfaceIdiom::Phone
                                                           : kit::UserInterfaceIdiom::Pad);
  tolva::registerShellInterfaceFiles();
  tolva::registerShellClasses(kit::ClassRegistry::shared());
  if (!homepage.empty()) {
    kit::UserDefaults::standardUserDefaults().setObject(kit::String::string(homepage), "homepage");
    // A first start with tab restoring on selects the bundled welcome page;
    // these tests start on the home page alone.
    kit::UserDefaults::standardUserDefaults().setBool(false, "opt_save_sessions");
  }
  kit::Application* app = kit::Application::sharedApplication();
  mainObjects_ = kit::InterfaceFile::load("MainWindow", app);
  if (!delegate()) return false;
  kit::Ref<kit::Dictionary> options;
  if (!launchURL.empty())
    options = kit::Ref<kit::Dictionary>(
        new kit::Dictionary({{kit::Application::kLaunchOptionsURLKey, kit::URL::URLWithString(launchURL)}}));
  const bool launched = app->launch(options);
  settle();
  kit::Window* w = mainWindow();
  if (w) screenshotWindow(w);
  return launched && w && !w->isHidden() && controller();
}

tolva::VeskWebAppDelegate* ProgramFixture::delegate() const {
  return dynamic_cast<tolva::VeskWebAppDelegate*>(kit::Application::sharedApplication()->delegate());
}

tolva::VeskWebViewController* ProgramFixture::controller() const {
  return delegate() ? delegate()->viewController() : nullptr;
}

kit::Window* ProgramFixture::mainWindow() const { return delegate() ? delegate()->window() : nullptr; }

tolva::VeskWebView* ProgramFixture::page() const {
  tolva::VeskWebViewController* c = controller();
  if (!c || !c->multiTab()) return nullptr;
  return c->multiTab()->curView();
}

static void dumpTree(kit::View* v, int depth) {
  if (!std::getenv("TOLVA_DUMP_TREE")) return;
  std::string line(depth * 2, ' ');
  line += v->className() + " " + kit::toString(v->frame()) + (v->isHidden() ? " hidden" : "");
  if (auto* b = dynamic_cast<kit::Button*>(v)) line += " '" + b->currentTitle() + "'";
  if (auto* l = dynamic_cast<kit::Label*>(v)) line += " '" + l->text() + "'";
  std::fprintf(stderr, "%s\n", line.c_str());
  for (auto& s : v->subviews()) dumpTree(s.get(), depth + 1);
}

void ProgramFixture::dump() const {
  if (kit::Window* w = mainWindow()) dumpTree(w, 0);
}

bool ProgramFixture::waitForTitle(const std::string& text, double seconds) {
  return waitUntil([&] { return page() && page()->title() && page()->title()->text() == text; }, seconds);
}

}  // namespace tolvatest
