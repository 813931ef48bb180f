#include "share/ui/ShareShareMenu.h"

#include <algorithm>

#include "kit/foundation/Array.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Label.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Switch.h"
#include "settings/PrefAutorotation.h"
#include "share/core/Share.h"
#include "share/core/ShareColor.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareFunctions.h"
#include "share/core/ShareSharer.h"
#include "share/ui/ShareActionSheet.h"
#include "share/ui/ShareCustomShareMenuCell.h"

namespace tolva {
namespace {

constexpr const char* kCellIdentifier = "Cell";

std::string folded(const std::string& s) { return kit::String(s).lowercaseString(); }

}  // namespace

ShareShareMenu::ShareShareMenu(kit::TableView::Style style) : kit::TableViewController(style) {
  setTitle(ShareLocalizedFormat("Share"));
  navigationItem()->setLeftBarButtonItem(kit::BarButtonItem::withSystemItem(
      kit::BarButtonItem::SystemItem::Cancel, "cancel", [this](kit::BarButtonItem&) { cancel(); }));
  setRightButtonEdit(false);
  setToolbarItems({kit::BarButtonItem::withTitle(ShareLocalizedFormat("Logout all accounts"),
                                                 kit::BarButtonItem::Style::Bordered, "onLogout",
                                                 [this](kit::BarButtonItem&) { onLogout(); })});
}

ShareShareMenu::~ShareShareMenu() {
  if (logoutSheet_ && logoutSheet_->delegate() == this) logoutSheet_->setDelegate(nullptr);
}

void ShareShareMenu::setRightButtonEdit(bool animated) {
  navigationItem()->setRightBarButtonItem(
      kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::Edit, "edit",
                                         [this](kit::BarButtonItem&) { edit(); }),
      animated);
}

void ShareShareMenu::viewDidLoad() {
  kit::TableViewController::viewDidLoad();
  tableView()->setSeparatorStyle(kit::TableView::SeparatorStyle::SingleLine);
  kit::Ref<kit::Object> color = ShareConfiguration::sharedInstance()->configurationValue("formBackgroundColor", nullptr);
  if (auto* c = kit::cast<ShareColor>(color)) tableView()->setBackgroundColor(c->color());
}

void ShareShareMenu::viewDidDisappear(bool animated) {
  kit::TableViewController::viewDidDisappear(animated);
  Share::currentHelper()->screenDisappeared(*this);
}

void ShareShareMenu::setItem(ShareItem* item) {
  item_ = item;
  rebuildTableDataAnimated(false);
  if (isViewLoaded()) tableView()->reloadData();
}

std::vector<ShareShareMenu::Row> ShareShareMenu::section(const std::string& key) const {
  std::vector<Row> rows;
  kit::Dictionary* sharers = Share::sharersDictionary();
  auto* names = sharers ? kit::cast<kit::Array>(sharers->objectForKey(key)) : nullptr;
  const int type = item_ ? item_->shareType() : ShareShareTypeUndefined;
  for (size_t i = 0; names && i < names->count(); ++i) {
    auto* name = kit::cast<kit::String>(names->objectAtIndex(i));
    if (!name) continue;
    kit::Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName(name->str());
    if (sharer && sharer->canShare() && sharer->canShareType(type)) rows.push_back({name->str(), sharer->sharerTitle()});
  }
  if (!rows.empty() && ShareConfiguration::boolValue("shareMenuAlphabeticalOrder"))
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return folded(a.name) < folded(b.name); });
  return rows;
}

bool ShareShareMenu::isExcluded(const std::string& className) const {
  return std::find(exclusions_.begin(), exclusions_.end(), className) != exclusions_.end();
}

void ShareShareMenu::rebuildTableDataAnimated(bool animated) {
  kit::TableView* table = isViewLoaded() ? tableView() : nullptr;
  if (table) table->setAllowsSelectionDuringEditing(true);
  tableData_ = {section("actions"), section("services")};

  exclusions_.clear();
  if (kit::Ref<kit::Array> stored = kit::UserDefaults::standardUserDefaults().arrayForKey(Share::kExcludedKey))
    for (size_t i = 0; i < stored->count(); ++i)
      if (auto* name = kit::cast<kit::String>(stored->objectAtIndex(i))) exclusions_.push_back(name->str());

  const bool editing = table && table->isEditing();
  if (editing && !animated) return;

  std::vector<kit::IndexPath> paths;
  for (size_t s = 0; s < tableData_.size(); ++s) {
    for (size_t r = 0; r < tableData_[s].size(); ++r)
      if (isExcluded(tableData_[s][r].className)) paths.push_back({static_cast<long>(s), static_cast<long>(r)});
    if (!editing)
      std::erase_if(tableData_[s], [this](const Row& row) { return isExcluded(row.className); });
  }
  if (animated && table) {
    table->beginUpdates();
    if (editing)
      table->insertRowsAtIndexPaths(paths, kit::TableView::RowAnimation::Fade);
    else
      table->deleteRowsAtIndexPaths(paths, kit::TableView::RowAnimation::Fade);
    table->endUpdates();
  }
}

long ShareShareMenu::numberOfSectionsInTableView(kit::TableView&) { return static_cast<long>(tableData_.size()); }

long ShareShareMenu::tableViewNumberOfRowsInSection(kit::TableView&, long section) {
  if (section < 0 || section >= static_cast<long>(tableData_.size())) return 0;
  return static_cast<long>(tableData_[static_cast<size_t>(section)].size());
}

const ShareShareMenu::Row* ShareShareMenu::rowDataAtIndexPath(const kit::IndexPath& indexPath) const {
  if (indexPath.section < 0 || indexPath.section >= static_cast<long>(tableData_.size())) return nullptr;
  const auto& rows = tableData_[static_cast<size_t>(indexPath.section)];
  if (indexPath.row < 0 || indexPath.row >= static_cast<long>(rows.size())) return nullptr;
  return &rows[static_cast<size_t>(indexPath.row)];
}

kit::Ref<kit::TableViewCell> ShareShareMenu::tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                                           const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) {
    cell = kit::make<ShareCustomShareMenuCell>(kit::TableViewCell::Style::Default, kCellIdentifier);
    cell->setAccessoryType(kit::TableViewCell::AccessoryType::DisclosureIndicator);
  }
  const Row* row = rowDataAtIndexPath(indexPath);
  cell->textLabel()->setText(row ? row->name : std::string());
  if (!cell->editingAccessoryView()) {
    auto toggle = kit::make<kit::Switch>();
    toggle->setUserInteractionEnabled(false);
    cell->setEditingAccessoryView(toggle.get());
  }
  if (auto* toggle = dynamic_cast<kit::Switch*>(cell->editingAccessoryView()))
    toggle->setOn(row && !isExcluded(row->className));
  return cell;
}

kit::TableViewCell::EditingStyle ShareShareMenu::tableViewEditingStyleForRowAtIndexPath(kit::TableView&,
                                                                                        const kit::IndexPath&) {
  return kit::TableViewCell::EditingStyle::None;
}

bool ShareShareMenu::tableViewShouldIndentWhileEditingRowAtIndexPath(kit::TableView&, const kit::IndexPath&) {
  return false;
}

void ShareShareMenu::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) {
  const Row* found = rowDataAtIndexPath(indexPath);
  if (!found) return;
  const Row row = *found;
  if (tableView.isEditing()) {
    kit::TableViewCell* cell = tableView.cellForRowAtIndexPath(indexPath);
    auto* toggle = cell ? dynamic_cast<kit::Switch*>(cell->editingAccessoryView()) : nullptr;
    const bool on = toggle ? !toggle->isOn() : isExcluded(row.className);
    if (toggle) toggle->setOn(on, true);
    if (on) {
      std::erase(exclusions_, row.className);
    } else {
      if (!isExcluded(row.className)) exclusions_.push_back(row.className);
      Share::logoutOfService(row.className);
    }
    tableView.deselectRowAtIndexPath(indexPath, false);
    return;
  }
  kit::Ref<ShareShareMenu> keep(this);
  ShareActionSheet::shareWithDelegate(row.className, item_.get(), shareDelegate_.get());
  Share::currentHelper()->hideCurrentViewControllerAnimated(true);
}

std::string ShareShareMenu::tableViewTitleForHeaderInSection(kit::TableView&, long section) {
  if (section < 0 || section >= static_cast<long>(tableData_.size()) || tableData_[static_cast<size_t>(section)].empty())
    return {};
  return ShareLocalizedFormat(section == 0 ? "Actions" : "Services");
}

bool ShareShareMenu::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

void ShareShareMenu::cancel() { Share::currentHelper()->hideCurrentViewControllerAnimated(true); }

void ShareShareMenu::edit() {
  setEditing(true, true);
  rebuildTableDataAnimated(true);
  navigationItem()->setRightBarButtonItem(
      kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::Done, "save",
                                         [this](kit::BarButtonItem&) { save(); }),
      true);
}

void ShareShareMenu::save() {
  auto stored = kit::MutableArray::array();
  for (const std::string& name : exclusions_) stored->addObject(kit::str(name));
  kit::UserDefaults::standardUserDefaults().setObject(stored.get(), Share::kExcludedKey);
  setEditing(false, true);
  rebuildTableDataAnimated(true);
  setRightButtonEdit(true);
}

void ShareShareMenu::onLogout() {
  const std::string cancelTitle = kit::Bundle::mainBundle()->localizedStringForKey("Cancel", "");
  logoutSheet_ = kit::make<kit::ActionSheet>(std::string(), this, cancelTitle,
                                             ShareLocalizedFormat("Logout all accounts"));
  if (kit::NavigationController* nav = navigationController())
    logoutSheet_->showFromToolbar(nav->toolbar());
  else
    logoutSheet_->showInView(view());
}

void ShareShareMenu::actionSheetDidDismissWithButtonIndex(kit::ActionSheet& sheet, long index) {
  if (index != sheet.destructiveButtonIndex()) return;
  Share::logoutOfAll();
  auto alert = kit::make<kit::AlertView>();
  alert->setMessage(ShareLocalizedFormat("All account(s) have been logged out."));
  alert->setCancelButtonIndex(alert->addButtonWithTitle(ShareLocalizedFormat("Close")));
  alert->show();
}

}  // namespace tolva
