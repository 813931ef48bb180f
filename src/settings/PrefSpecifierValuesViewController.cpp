#include "settings/PrefSpecifierValuesViewController.h"

#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/Thread.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Label.h"
#include "settings/PrefAutorotation.h"
#include "settings/PrefSettingsNotification.h"
#include "settings/PrefSettingsRegistration.h"
#include "settings/PrefSettingsStoreUserDefaults.h"

namespace tolva {

PrefSpecifierValuesViewController::PrefSpecifierValuesViewController(std::string nibName)
    : kit::ViewController(std::move(nibName)) {
  registerPrefSettingsKit();
}

PrefSpecifierValuesViewController::~PrefSpecifierValuesViewController() {
  if (tableView_) {
    if (tableView_->dataSource() == this) tableView_->setDataSource(nullptr);
    if (tableView_->delegate() == this) tableView_->setDelegate(nullptr);
  }
}

void PrefSpecifierValuesViewController::setTableView(kit::TableView* table) {
  tableView_ = table;
  if (table) {
    table->setDataSource(this);
    table->setDelegate(this);
  }
}

PrefSettingsStore* PrefSpecifierValuesViewController::settingsStore() {
  if (!settingsStore_) settingsStore_ = kit::make<PrefSettingsStoreUserDefaults>();
  return settingsStore_.get();
}

void PrefSpecifierValuesViewController::setSettingsStore(kit::Ref<PrefSettingsStore> store) {
  settingsStore_ = std::move(store);
}

void PrefSpecifierValuesViewController::updateCheckedItem() {
  checkedItem_.reset();
  if (!currentSpecifier_) return;
  kit::Array* values = currentSpecifier_->multipleValues();
  if (!values) return;
  kit::Ref<kit::Object> stored = settingsStore()->objectForKey(currentSpecifier_->key());
  const kit::Object* value = stored ? stored.get() : currentSpecifier_->defaultValue();
  if (!value) return;
  size_t index = values->indexOfObject(value);
  if (index != kit::Array::kNotFound) checkedItem_ = kit::IndexPath{0, static_cast<long>(index)};
}

void PrefSpecifierValuesViewController::viewWillAppear(bool animated) {
  kit::ViewController::viewWillAppear(animated);
  view();
  if (currentSpecifier_) setTitle(currentSpecifier_->title());
  updateCheckedItem();
  if (!tableView_) return;
  tableView_->reloadData();
  if (checkedItem_) tableView_->scrollToRowAtIndexPath(*checkedItem_, kit::TableView::ScrollPosition::Middle, false);
}

void PrefSpecifierValuesViewController::viewDidAppear(bool animated) {
  kit::ViewController::viewDidAppear(animated);
  if (tableView_) tableView_->flashScrollIndicators();
  kit::WeakRef<PrefSpecifierValuesViewController> weak(this);
  defaultsObserver_ = kit::NotificationCenter::defaultCenter().addObserver(
      kit::UserDefaults::kDidChangeNotification, &kit::UserDefaults::standardUserDefaults(),
      [weak](const kit::Notification&) {
        // Settings change on loading threads too; the table is the main thread's.
        auto update = [weak] {
          if (auto self = weak.lock()) self->userDefaultsDidChange();
        };
        if (kit::Thread::isMainThread())
          update();
        else
          kit::RunLoop::performOnMainThread(update);
      });
}

void PrefSpecifierValuesViewController::viewDidDisappear(bool animated) {
  kit::ViewController::viewDidDisappear(animated);
  defaultsObserver_.reset();
}

bool PrefSpecifierValuesViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

void PrefSpecifierValuesViewController::userDefaultsDidChange() {
  if (!currentSpecifier_) return;
  std::optional<kit::IndexPath> before = checkedItem_;
  updateCheckedItem();
  if (checkedItem_ != before && tableView_) tableView_->reloadData();
}

void PrefSpecifierValuesViewController::selectCell(kit::TableViewCell& cell) {
  cell.setAccessoryType(kit::TableViewCell::AccessoryType::Checkmark);
  cell.textLabel()->setTextColor(checkedTextColor());
}

void PrefSpecifierValuesViewController::deselectCell(kit::TableViewCell& cell) {
  cell.setAccessoryType(kit::TableViewCell::AccessoryType::None);
  cell.textLabel()->setTextColor(kit::Color::blackColor());
}

// ---- Table

long PrefSpecifierValuesViewController::numberOfSectionsInTableView(kit::TableView&) { return 1; }

long PrefSpecifierValuesViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  return currentSpecifier_ ? static_cast<long>(currentSpecifier_->multipleValuesCount()) : 0;
}

std::string PrefSpecifierValuesViewController::tableViewTitleForFooterInSection(kit::TableView&, long) {
  return currentSpecifier_ ? currentSpecifier_->footerText() : std::string();
}

kit::Ref<kit::TableViewCell> PrefSpecifierValuesViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default, kCellIdentifier);
  std::string text;
  if (currentSpecifier_) {
    size_t row = static_cast<size_t>(indexPath.row);
    kit::Array* titles = currentSpecifier_->multipleTitles();
    kit::Array* values = currentSpecifier_->multipleValues();
    auto* title = titles && row < titles->count() ? dynamic_cast<kit::String*>(titles->objectAtIndex(row)) : nullptr;
    if (title) {
      text = settingsReader_ ? settingsReader_->titleForStringId(title->str()) : title->str();
    } else if (values && row < values->count()) {
      // A value without a title (Titles too short) shows the value itself.
      text = values->objectAtIndex(row)->description();
    }
  }
  cell->textLabel()->setText(text);
  if (checkedItem_ && *checkedItem_ == indexPath) {
    selectCell(*cell);
  } else {
    deselectCell(*cell);
  }
  return cell;
}

void PrefSpecifierValuesViewController::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView,
                                                                         const kit::IndexPath& indexPath) {
  kit::Ref<PrefSpecifierValuesViewController> keep(this);
  tableView.deselectRowAtIndexPath(indexPath, true);
  if (checkedItem_ && *checkedItem_ == indexPath) return;
  if (!currentSpecifier_) return;
  kit::Array* values = currentSpecifier_->multipleValues();
  if (!values || indexPath.row < 0 || static_cast<size_t>(indexPath.row) >= values->count()) return;

  if (checkedItem_) {
    if (kit::TableViewCell* old = tableView.cellForRowAtIndexPath(*checkedItem_)) deselectCell(*old);
  }
  if (kit::TableViewCell* picked = tableView.cellForRowAtIndexPath(indexPath)) selectCell(*picked);
  checkedItem_ = indexPath;

  kit::Ref<kit::Object> value(values->objectAtIndex(static_cast<size_t>(indexPath.row)));
  std::string key = currentSpecifier_->key();
  settingsStore()->setObject(value, key);
  settingsStore()->synchronize();
  kit::Ref<kit::MutableDictionary> info = kit::MutableDictionary::dictionary();
  info->setObject(value, key);
  kit::NotificationCenter::defaultCenter().postNotification(kAppSettingChanged, kit::str(key).get(), info);
}

}  // namespace tolva
