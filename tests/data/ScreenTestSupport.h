#pragma once
// The fixture of the password screens' tests: the saved-password fixture
// plus virtual time, a fresh application, the shell's interface files and
// classes registered, and the program's own settings screen to open them from.

#include <string>

#include "PasswordTestSupport.h"
#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/RunLoop.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/Responder.h"
#include "kit/ui/TableView.h"
#include "kit/ui/TableViewCell.h"
#include "kit/ui/ViewAnimation.h"
#include "kit/ui/Window.h"
#include "settings/PrefAppSettingsViewController.h"
#include "shell/ShellRegistration.h"

namespace datatest {

class ScreenTest : public PasswordTest {
 protected:
  void SetUp() override {
    PasswordTest::SetUp();
    kit::Clock::setVirtual(700000000.0);
    kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
    kit::Application::sharedApplication()->reset();
    kit::ViewAnimation::clearHistory();
    tolva::registerShellInterfaceFiles();
    tolva::registerShellClasses(kit::ClassRegistry::shared());
    window = kit::make<kit::Window>();
    window->makeKeyAndVisible();
    loop().drain();
  }
  void TearDown() override {
    for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(-1, false);
    for (auto& s : kit::ActionSheet::visibleSheets()) s->dismissWithClickedButtonIndex(-1, false);
    for (auto& p : kit::PopoverController::visiblePopovers()) p->dismissPopoverAnimated(false);
    if (auto* fr = dynamic_cast<kit::View*>(kit::Responder::firstResponder())) fr->endEditing(true);
    window->setRootViewController(nullptr);
    window->setHidden(true);
    window = nullptr;
    nav = nullptr;
    loop().advance(10);
    kit::Application::sharedApplication()->reset();
    kit::Clock::setReal();
    PasswordTest::TearDown();
  }

  static kit::RunLoop& loop() { return kit::RunLoop::main(); }

  // Shows `root` in a navigation controller as the window's screen.
  void show(kit::ViewController* root) {
    nav = kit::NavigationController::withRootViewController(root);
    window->setRootViewController(nav.get());
    loop().advance(1);
  }

  // The program's settings screen, and a tap on its row titled `title`:
  // answers the screen that was pushed (null when none was).
  kit::ViewController* openFromSettings(const std::string& title) {
    nav = tolva::PrefAppSettingsViewController::settingsNavigationController(nullptr);
    window->setRootViewController(nav.get());
    loop().advance(1);
    auto* root = kit::cast<tolva::PrefAppSettingsViewController>(nav->viewControllers().front());
    kit::TableView* table = root ? root->tableView() : nullptr;
    if (!table) return nullptr;
    for (long s = 0; s < table->numberOfSections(); ++s)
      for (long r = 0; r < table->numberOfRowsInSection(s); ++r) {
        kit::Ref<kit::TableViewCell> cell = table->dataSource()->tableViewCellForRowAtIndexPath(*table, {s, r});
        if (!cell || !cell->textLabel() || cell->textLabel()->text() != title) continue;
        size_t depth = nav->viewControllers().size();
        table->tapRow({s, r});
        loop().advance(1);
        return nav->viewControllers().size() > depth ? nav->topViewController() : nullptr;
      }
    return nullptr;
  }

  kit::Ref<kit::Window> window;
  kit::Ref<kit::NavigationController> nav;
};

}  // namespace datatest
