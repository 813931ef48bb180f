#include "shell/ShellRegistration.h"

#include "common/MyUIViewController.h"
#include "data/AdblockRegistration.h"
#include "data/DataRegistration.h"
#include "data/PINViewController.h"
#include "data/VeskPagePasswordManageTableViewController.h"
#include "data/VeskPasscodeViewController.h"
#include "kit/ui/Application.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/Window.h"
#include "settings/PrefAutorotation.h"
#include "share/ShareRegistration.h"
#include "shell/VeskTabItemViewBuilder.h"
#include "shell/VeskViewComponentsBuilder.h"
#include "shell/VeskWebAppDelegate.h"
#include "shell/VeskWebViewControllerBuilder.h"

namespace tolva {
namespace {

// The main window and the application delegate; an Application owner gets
// the delegate as its own.
void buildMainWindow(kit::InterfaceFile::Context& ctx) {
  kit::Ref<kit::Window> window = ctx.makeTopLevel<kit::Window>();
  kit::Ref<VeskWebAppDelegate> delegate = ctx.makeTopLevel<VeskWebAppDelegate>();
  delegate->setWindow(window.get());
  if (auto* app = ctx.ownerAs<kit::Application>()) app->setDelegate(delegate.get());
}

}  // namespace

void registerShellInterfaceFiles() {
  kit::InterfaceFile::registerBuilder("MainWindow", buildMainWindow);
  PINViewController::registerInterfaceFile();
  kit::InterfaceFile::registerBuilder("VeskWebViewController", [](kit::InterfaceFile::Context& ctx) {
    VeskWebViewControllerBuilder::build(ctx, true);
  });
  kit::InterfaceFile::registerBuilder("VeskWebViewController~iphone", [](kit::InterfaceFile::Context& ctx) {
    VeskWebViewControllerBuilder::build(ctx, false);
  });
  kit::InterfaceFile::registerBuilder(
      "VeskViewComponents", [](kit::InterfaceFile::Context& ctx) { VeskViewComponentsBuilder::build(ctx, true); });
  kit::InterfaceFile::registerBuilder("VeskViewComponents~iphone", [](kit::InterfaceFile::Context& ctx) {
    VeskViewComponentsBuilder::build(ctx, false);
  });
  kit::InterfaceFile::registerBuilder(
      "VeskTabItemView", [](kit::InterfaceFile::Context& ctx) { VeskTabItemViewBuilder::build(ctx, true); });
  kit::InterfaceFile::registerBuilder("VeskTabItemView~iphone", [](kit::InterfaceFile::Context& ctx) {
    VeskTabItemViewBuilder::build(ctx, false);
  });
}

void registerShellClasses(kit::ClassRegistry& registry) {
  using Button = void (*)(kit::Object*, kit::Object*);
  const std::pair<const char*, Button> buttons[] = {
      {"onDeletePasswords", &VeskWebAppDelegate::onDeletePasswords},
      {"onDeleteCaches", &VeskWebAppDelegate::onDeleteCaches},
      {"onDeleteHistories", &VeskWebAppDelegate::onDeleteHistories},
      {"onDeleteCookies", &VeskWebAppDelegate::onDeleteCookies},
      {"onLogoutAllShareAccounts", &VeskWebAppDelegate::onLogoutAllShareAccounts},
      {"onBookmarkLet", &VeskWebAppDelegate::onBookmarkLet},
      {"onRateThisApp", &VeskWebAppDelegate::onRateThisApp},
  };
  for (const auto& [name, fn] : buttons) {
    kit::ClassRegistry::ClassFunction call = [fn = fn](const kit::ClassCall& c) -> kit::Ref<kit::Object> {
      fn(c.arg(0), c.arg(1));
      return nullptr;
    };
    registry.registerClassFunction("VeskWebAppDelegate", name, call);
    registry.registerClassFunction("VeskWebAppDelegate", std::string(name) + ":key:", call);
  }
  registerDataClasses(registry);
  // Settings screens opened by class name.
  registry.registerClass("VeskPasscodeViewController",
                         [] { return kit::Ref<kit::Object>(kit::make<VeskPasscodeViewController>()); });
  registry.registerClass("VeskPagePasswordManageTableViewController",
                         [] { return kit::Ref<kit::Object>(kit::make<VeskPagePasswordManageTableViewController>()); });
  registerShareClasses(registry);
  registerAdblockClasses(registry);
  // The settings screens and the sharing kit's screens obey the browser's
  // rotation lock like every other screen.
  PrefAutorotation::setRule(&MyUIViewController::myShouldAutorotateToInterfaceOrientation);
}

}  // namespace tolva
