#include "share/ui/ShareFormController.h"

#include <algorithm>

#include "kit/foundation/String.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/TextMeasurement.h"
#include "settings/PrefAutorotation.h"
#include "share/core/Share.h"
#include "share/core/ShareColor.h"
#include "share/core/ShareConfiguration.h"
#include "share/ui/ShareCustomFormFieldCell.h"
#include "share/ui/ShareFormOptionController.h"

namespace tolva {
namespace {

std::optional<kit::Color> configuredColor(std::string_view key) {
  kit::Ref<kit::Object> value = ShareConfiguration::sharedInstance()->configurationValue(key, nullptr);
  auto* c = kit::cast<ShareColor>(value);
  return c ? std::optional<kit::Color>(c->color()) : std::nullopt;
}

bool isTextType(int type) {
  return type == ShareFormFieldTypeText || type == ShareFormFieldTypeTextNoCorrect ||
         type == ShareFormFieldTypePassword;
}

}  // namespace

ShareFormController::ShareFormController(kit::TableView::Style style, std::string title, std::string rightButtonTitle)
    : kit::TableViewController(style) {
  setTitle(std::move(title));
  navigationItem()->setLeftBarButtonItem(kit::BarButtonItem::withSystemItem(
      kit::BarButtonItem::SystemItem::Cancel, "cancel", [this](kit::BarButtonItem&) { cancel(); }));
  navigationItem()->setRightBarButtonItem(kit::BarButtonItem::withTitle(
      std::move(rightButtonTitle), kit::BarButtonItem::Style::Done, "validateForm",
      [this](kit::BarButtonItem&) { validateForm(); }));
}

void ShareFormController::viewDidLoad() {
  kit::TableViewController::viewDidLoad();
  tableView()->setSeparatorStyle(kit::TableView::SeparatorStyle::SingleLine);
  if (auto color = configuredColor("formBackgroundColor")) tableView()->setBackgroundColor(*color);
}

void ShareFormController::addSection(std::vector<kit::Ref<ShareFormFieldSettings>> rows, std::string header,
                                     std::string footer) {
  const bool first = sections_.empty();
  if (first && !ShareConfiguration::boolValue("usePlaceholders")) {
    double widest = 0;
    for (const auto& row : rows)
      if (isTextType(row->type()))
        widest = std::max(widest, kit::TextMeasurement::sizeOfText(row->label(), kit::Font::boldSystemFont(17)).width);
    labelWidth_ = widest;
  }
  sections_.push_back({std::move(rows), std::move(header), std::move(footer)});
}

void ShareFormController::viewDidAppear(bool animated) {
  kit::TableViewController::viewDidAppear(animated);
  if (autoSelect_ && !sections_.empty() && !sections_[0].rows.empty())
    tableView()->selectRowAtIndexPath(kit::IndexPath{0, 0}, false, kit::TableView::ScrollPosition::None);
}

void ShareFormController::viewDidDisappear(bool animated) {
  kit::TableViewController::viewDidDisappear(animated);
  kit::NavigationController* nav = navigationController();
  if (nav && !nav->topViewController()) Share::currentHelper()->viewWasDismissed();
}

long ShareFormController::numberOfSectionsInTableView(kit::TableView&) { return static_cast<long>(sections_.size()); }

long ShareFormController::tableViewNumberOfRowsInSection(kit::TableView&, long section) {
  if (section < 0 || section >= static_cast<long>(sections_.size())) return 0;
  return static_cast<long>(sections_[static_cast<size_t>(section)].rows.size());
}

ShareFormFieldSettings* ShareFormController::rowSettingsForIndexPath(const kit::IndexPath& p) const {
  if (p.section < 0 || p.section >= static_cast<long>(sections_.size())) return nullptr;
  const auto& rows = sections_[static_cast<size_t>(p.section)].rows;
  if (p.row < 0 || p.row >= static_cast<long>(rows.size())) return nullptr;
  return rows[static_cast<size_t>(p.row)].get();
}

std::optional<kit::IndexPath> ShareFormController::indexPathOfSettings(const ShareFormFieldSettings* settings) const {
  for (size_t s = 0; s < sections_.size(); ++s)
    for (size_t r = 0; r < sections_[s].rows.size(); ++r)
      if (sections_[s].rows[r].get() == settings) return kit::IndexPath{long(s), long(r)};
  return std::nullopt;
}

kit::Ref<kit::TableViewCell> ShareFormController::tableViewCellForRowAtIndexPath(kit::TableView& table,
                                                                                 const kit::IndexPath& path) {
  ShareFormFieldSettings* settings = rowSettingsForIndexPath(path);
  if (!settings) return kit::make<kit::TableViewCell>();
  const std::string identifier = settings->type() == ShareFormFieldTypeOptionPicker ? "OptionCell" : "Cell";
  kit::Ref<ShareFormFieldCell> cell(dynamic_cast<ShareFormFieldCell*>(table.dequeueReusableCellWithIdentifier(identifier).get()));
  if (!cell) {
    cell = kit::make<ShareCustomFormFieldCell>(identifier);
    cell->setForm(this);
    if (auto color = configuredColor("formFontColor")) cell->textLabel()->setTextColor(*color);
  } else if (cell->settings() && !cell->settings()->key().empty()) {
    // The reused cell showed another row: keep what was typed there.
    values_[cell->settings()->key()] = cell->getValue();
  }
  cell->setSettings(settings);

  if (ShareConfiguration::boolValue("usePlaceholders") && settings->type() != ShareFormFieldTypeOptionPicker) {
    if (isTextType(settings->type())) cell->getTextField()->setPlaceholder(settings->label());
    cell->textLabel()->setText(settings->type() == ShareFormFieldTypeSwitch ? settings->label() : "");
  } else {
    cell->setLabelWidth(labelWidth_);
    cell->textLabel()->setText(settings->label());
  }

  auto stored = values_.find(settings->key());
  if (stored != values_.end()) {
    cell->setValue(stored->second);
  } else {
    std::string value = settings->start();
    auto* info = settings->optionPickerInfo();
    auto* cur = info ? kit::cast<kit::String>(info->objectForKey("curIndexes")) : nullptr;
    if (settings->type() == ShareFormFieldTypeOptionPicker && cur && cur->str() != "-1")
      value = settings->optionPickerValueForIndexes(cur->str());
    cell->setValue(value);
  }
  return cell;
}

std::string ShareFormController::tableViewTitleForHeaderInSection(kit::TableView&, long section) {
  return section >= 0 && section < static_cast<long>(sections_.size()) ? sections_[size_t(section)].header : "";
}

std::string ShareFormController::tableViewTitleForFooterInSection(kit::TableView&, long section) {
  return section >= 0 && section < static_cast<long>(sections_.size()) ? sections_[size_t(section)].footer : "";
}

bool ShareFormController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

void ShareFormController::tableViewDidSelectRowAtIndexPath(kit::TableView&, const kit::IndexPath& path) {
  ShareFormFieldSettings* settings = rowSettingsForIndexPath(path);
  if (!settings || settings->type() != ShareFormFieldTypeOptionPicker) return;
  auto picker = kit::make<tolva::ShareFormOptionController>(settings, this);
  if (kit::NavigationController* nav = navigationController()) nav->pushViewController(picker.get(), true);
}

bool ShareFormController::textFieldShouldReturn(kit::TextField&) {
  validateForm();
  return true;
}

void ShareFormController::textFieldDidBeginEditing(kit::TextField& field) { activeField_ = &field; }

void ShareFormController::ShareFormOptionController(tolva::ShareFormOptionController* picker,
                                                    const std::optional<std::string>& pickedOption) {
  ShareFormFieldSettings* settings = picker ? picker->settings() : nullptr;
  if (pickedOption && settings) {
    if (*pickedOption == "-1")
      values_.erase(settings->key());
    else
      values_[settings->key()] = *pickedOption;
    if (auto path = indexPathOfSettings(settings))
      if (auto* cell = dynamic_cast<ShareFormFieldCell*>(tableView()->cellForRowAtIndexPath(*path)))
        cell->setValue(*pickedOption == "-1" ? settings->start() : *pickedOption);
    tableView()->reloadData();
  }
  if (kit::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

void ShareFormController::close() { Share::currentHelper()->hideCurrentViewControllerAnimated(true); }

void ShareFormController::cancel() {
  kit::Ref<ShareFormController> keep(this);
  close();
  if (cancelSelector_) cancelSelector_(this);
}

void ShareFormController::validateForm() {
  kit::Ref<ShareFormController> keep(this);
  if (activeField_) activeField_->resignFirstResponder();
  if (validateSelector_) validateSelector_(this);
}

void ShareFormController::saveForm() {
  kit::Ref<ShareFormController> keep(this);
  if (saveSelector_) saveSelector_(this);
  close();
}

ShareFormController::Values ShareFormController::formValuesForSection(long section) {
  Values out;
  if (section < 0 || section >= static_cast<long>(sections_.size())) return out;
  const auto& rows = sections_[static_cast<size_t>(section)].rows;
  for (size_t r = 0; r < rows.size(); ++r) {
    ShareFormFieldSettings* settings = rows[r].get();
    auto* cell = dynamic_cast<ShareFormFieldCell*>(tableView()->cellForRowAtIndexPath({section, long(r)}));
    if (cell && cell->settings() && cell->settings()->key() == settings->key()) {
      const std::string value = cell->getValue();
      // An option list still at its placeholder has no value.
      if (!(settings->type() == ShareFormFieldTypeOptionPicker && value == settings->start()))
        out[settings->key()] = value;
      continue;
    }
    auto stored = values_.find(settings->key());
    if (stored != values_.end()) out[settings->key()] = stored->second;
  }
  return out;
}

std::string ShareFormController::valueOf(const Values& values, std::string_view key) {
  auto it = values.find(std::string(key));
  return it == values.end() ? std::string() : it->second;
}

}  // namespace tolva
