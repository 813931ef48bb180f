#include "data/VeskAdblockNewFilterViewController.h"

#include "common/LocalizedText.h"
#include "data/VeskAdblockManager.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/net/URLCache.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Screen.h"

namespace tolva {

VeskAdblockNewFilterViewController::VeskAdblockNewFilterViewController(std::string nibName)
    : kit::ViewController(std::move(nibName)) {}

void VeskAdblockNewFilterViewController::onSave() {
  const std::string text = textField_ ? textField_->text() : std::string();
  if (text.empty()) {
    kit::Ref<kit::AlertView> alert(new kit::AlertView("", LocalizedText::localized("Please input text to filter out."),
                                                      nullptr, LocalizedText::localized("OK")));
    alert->show();
    return;
  }
  kit::MutableArray* list = VeskAdblockManager::sharedInstance()->filters();
  if (editingIndex_ >= 0) {
    if (auto* entry = list->get<kit::MutableDictionary>(static_cast<size_t>(editingIndex_)))
      entry->setObject(kit::str(text), "filter");
  } else {
    auto entry = kit::MutableDictionary::dictionary();
    entry->setObject(kit::str(text), "filter");
    list->addObject(entry);
  }
  kit::Ref<kit::Object> keep(this);
  if (kit::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
  if (textField_) textField_->resignFirstResponder();
  kit::URLCache::sharedURLCache()->removeAllCachedResponses();
}

void VeskAdblockNewFilterViewController::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  if (helpLabel_)
    helpLabel_->setText(LocalizedText::localized(
        "This filter pattern will be used to determine URLs to block. Use '*' as a wildcard."));
  navigationItem()->setRightBarButtonItem(kit::BarButtonItem::withSystemItem(
      kit::BarButtonItem::SystemItem::Save, "onSave:", [this](kit::BarButtonItem&) { onSave(); }));
}

void VeskAdblockNewFilterViewController::viewWillAppear(bool animated) {
  kit::ViewController::viewWillAppear(animated);
  if (!textField_) return;
  if (editingIndex_ >= 0) {
    kit::MutableArray* list = VeskAdblockManager::sharedInstance()->filters();
    auto* entry = list ? list->get<kit::Dictionary>(static_cast<size_t>(editingIndex_)) : nullptr;
    auto* pattern = entry ? entry->get<kit::String>("filter") : nullptr;
    if (pattern) textField_->setText(pattern->str());
  }
  textField_->becomeFirstResponder();
}

void VeskAdblockNewFilterViewController::viewWillDisappear(bool animated) {
  kit::ViewController::viewWillDisappear(animated);
  if (textField_) textField_->resignFirstResponder();
}

bool VeskAdblockNewFilterViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) {
  return orientation == kit::InterfaceOrientation::Portrait;
}

void VeskAdblockNewFilterViewController::registerInterfaceFile() {
  kit::InterfaceFile::registerBuilder(kNibName, [](kit::InterfaceFile::Context& ctx) {
    const kit::Rect frame = kit::Screen::mainScreen().applicationFrame();
    auto root = ctx.makeTopLevel<kit::View>(kit::Rect{0, 0, frame.size.width, frame.size.height});
    root->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
    root->setBackgroundColor(kit::Color::rgba(0.85, 0.87, 0.9));
    auto help = ctx.make<kit::Label>(kit::Rect{20, 20, frame.size.width - 40, 44});
    help->setNumberOfLines(0);
    help->setBackgroundColor(kit::Color::clearColor());
    help->setAutoresizingMask(kit::View::FlexibleWidth);
    root->addSubview(help.get());
    auto field = ctx.make<kit::TextField>(kit::Rect{20, 72, frame.size.width - 40, 31});
    field->setBorderStyle(kit::TextField::BorderStyle::RoundedRect);
    field->setAutoresizingMask(kit::View::FlexibleWidth);
    root->addSubview(field.get());
    if (auto* owner = ctx.ownerAs<VeskAdblockNewFilterViewController>()) {
      owner->setView(root.get());
      owner->setHelpLabel(help.get());
      owner->setTextField(field.get());
    }
  });
}

}  // namespace tolva
