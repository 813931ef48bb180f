#include "downloads/VeskDownloadTextFieldScreen.h"

#include "kit/foundation/Bundle.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Color.h"
#include "kit/ui/Device.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "settings/PrefAutorotation.h"

namespace tolva {

namespace {

std::string localized(const char* key) { return kit::Bundle::mainBundle()->localizedStringForKey(key); }

}  // namespace

VeskDownloadTextFieldScreen::VeskDownloadTextFieldScreen(kit::TableView::Style style, const char* title,
                                                         const char* saveTitle, const char* footer)
    : kit::TableViewController(style), footer_(localized(footer)) {
  setTitle(localized(title));
  navigationItem()->setRightBarButtonItem(kit::BarButtonItem::withTitle(
      localized(saveTitle), kit::BarButtonItem::Style::Done, "onSave:", [this](kit::BarButtonItem&) { onSave(); }));
}

kit::TextField* VeskDownloadTextFieldScreen::addField(const char* placeholder, kit::KeyboardType keyboard,
                                                      std::string text) {
  const bool pad = kit::Device::currentDevice().isPad();
  kit::Ref<kit::TextField> field(new kit::TextField(pad ? kit::Rect{40, 10, 420, 30} : kit::Rect{20, 10, 275, 30}));
  field->setAdjustsFontSizeToFitWidth(true);
  field->setTextColor(kit::Color::blackColor());
  field->setBackgroundColor(kit::Color::clearColor());
  field->setAutocorrectionType(kit::TextAutocorrectionType::No);
  field->setAutocapitalizationType(kit::TextAutocapitalizationType::None);
  field->setTextAlignment(kit::TextAlignment::Left);
  field->setClearButtonMode(kit::TextField::ViewMode::WhileEditing);
  field->setEnabled(true);
  field->setDelegate(this);
  field->setPlaceholder(localized(placeholder));
  field->setKeyboardType(keyboard);
  field->setReturnKeyType(kit::ReturnKeyType::Done);
  field->setText(std::move(text));
  field->setTag(0);
  fields_.push_back(field);
  return field.get();
}

kit::Ref<kit::TableViewCell> VeskDownloadTextFieldScreen::tableViewCellForRowAtIndexPath(
    kit::TableView&, const kit::IndexPath& indexPath) {
  const size_t row = static_cast<size_t>(indexPath.row);
  if (cells_.size() < fields_.size()) cells_.resize(fields_.size());
  if (row >= fields_.size()) return kit::TableViewCell::cell(kit::TableViewCell::Style::Default);
  if (!cells_[row]) {
    cells_[row] = kit::TableViewCell::cell(kit::TableViewCell::Style::Default);
    cells_[row]->contentView()->addSubview(fields_[row].get());
    if (row == 0) fields_[row]->becomeFirstResponder();
  }
  return cells_[row];
}

std::string VeskDownloadTextFieldScreen::tableViewTitleForFooterInSection(kit::TableView&, long) { return footer_; }

kit::TextField* VeskDownloadTextFieldScreen::fieldOfRow(long row) const {
  return row >= 0 && static_cast<size_t>(row) < fields_.size() ? fields_[static_cast<size_t>(row)].get() : nullptr;
}

std::string VeskDownloadTextFieldScreen::textOfRow(long row) const {
  kit::TextField* f = fieldOfRow(row);
  return f ? f->text() : std::string();
}

bool VeskDownloadTextFieldScreen::textFieldShouldReturn(kit::TextField&) {
  kit::Ref<VeskDownloadTextFieldScreen> keep(this);
  onSave();
  return false;
}

bool VeskDownloadTextFieldScreen::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

void VeskDownloadTextFieldScreen::alert(const std::string& message) {
  kit::Ref<kit::AlertView> a(new kit::AlertView("", message, nullptr, localized("Cancel")));
  a->show();
}

void VeskDownloadTextFieldScreen::close() {
  if (kit::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

}  // namespace tolva
