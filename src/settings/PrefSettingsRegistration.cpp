#include "settings/PrefSettingsRegistration.h"

#include <mutex>

#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/String.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/Screen.h"
#include "kit/ui/TableView.h"
#include "kit/ui/WebView.h"
#include "settings/PrefAppSettingsViewController.h"
#include "settings/PrefAppSettingsWebViewController.h"
#include "settings/PrefPSSliderSpecifierViewCell.h"
#include "settings/PrefPSTextFieldSpecifierViewCell.h"
#include "settings/PrefPSToggleSwitchSpecifierViewCell.h"
#include "settings/PrefSpecifierValuesViewController.h"

namespace tolva {
namespace {

// A screen's root view holding one grouped table that follows its size.
template <class Owner>
void buildTableScreen(kit::InterfaceFile::Context& ctx) {
  kit::Ref<kit::View> root = ctx.makeTopLevel<kit::View>(kit::Screen::mainScreen().applicationFrame());
  root->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
  kit::Ref<kit::TableView> table = ctx.make<kit::TableView>(root->bounds(), kit::TableView::Style::Grouped);
  table->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
  root->addSubview(table.get());
  if (auto* owner = ctx.ownerAs<Owner>()) {
    owner->setView(root.get());
    owner->setTableView(table.get());
  }
}

std::string textArg(const kit::ClassCall& call, size_t i) {
  auto* s = dynamic_cast<kit::String*>(call.arg(i));
  return s ? s->str() : std::string();
}

}  // namespace

void registerPrefSettingsKit() {
  static std::once_flag once;
  std::call_once(once, [] {
    kit::InterfaceFile::registerBuilder(PrefAppSettingsViewController::kNibName,
                                        buildTableScreen<PrefAppSettingsViewController>);
    kit::InterfaceFile::registerBuilder(PrefSpecifierValuesViewController::kNibName,
                                        buildTableScreen<PrefSpecifierValuesViewController>);
    kit::InterfaceFile::registerBuilder("PrefPSToggleSwitchSpecifierViewCell", [](kit::InterfaceFile::Context& ctx) {
      ctx.makeTopLevel<PrefPSToggleSwitchSpecifierViewCell>();
    });
    kit::InterfaceFile::registerBuilder("PrefPSTextFieldSpecifierViewCell", [](kit::InterfaceFile::Context& ctx) {
      ctx.makeTopLevel<PrefPSTextFieldSpecifierViewCell>();
    });
    kit::InterfaceFile::registerBuilder("PrefPSSliderSpecifierViewCell", [](kit::InterfaceFile::Context& ctx) {
      ctx.makeTopLevel<PrefPSSliderSpecifierViewCell>();
    });
    kit::InterfaceFile::registerBuilder(PrefAppSettingsWebViewController::kNibName, [](kit::InterfaceFile::Context& ctx) {
      kit::Ref<kit::WebView> web = kit::WebView::create(kit::Screen::mainScreen().applicationFrame());
      web->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
      ctx.track(web.get());
      ctx.addTopLevel(web.get());
      if (auto* owner = ctx.ownerAs<PrefAppSettingsWebViewController>()) {
        owner->setView(web.get());
        owner->setWebView(web.get());
      }
    });

    auto& registry = kit::ClassRegistry::shared();
    registry.registerClass("PrefAppSettingsViewController", [] {
      kit::Ref<PrefAppSettingsViewController> page(new PrefAppSettingsViewController());
      page->setShowDoneButton(false);
      return kit::Ref<kit::Object>(page);
    });
    registry.registerClass("PrefAppSettingsWebViewController", {});
    registry.registerClassFunction("PrefAppSettingsWebViewController", "initWithFile",
                                   [](const kit::ClassCall& call) -> kit::Ref<kit::Object> {
                                     return kit::make<PrefAppSettingsWebViewController>(textArg(call, 0), textArg(call, 1));
                                   });
  });
}

}  // namespace tolva
