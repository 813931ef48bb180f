#include "data/VeskAdblockTableViewController.h"

#include "common/LocalizedText.h"
#include "common/MyUIViewController.h"
#include "data/BadgedCell.h"
#include "data/VeskAdblockManager.h"
#include "data/VeskAdblockNewFilterViewController.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/net/URLCache.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"

namespace tolva {
namespace {

// Rows read the list as the last filters() call (the row count) left it,
// rather than gathering hit counts once per row.
kit::MutableDictionary* entryAt(long row) {
  kit::MutableArray* list = VeskAdblockManager::sharedInstance()->currentFilters();
  return list && row >= 0 ? list->get<kit::MutableDictionary>(static_cast<size_t>(row)) : nullptr;
}

void emptySharedCache() { kit::URLCache::sharedURLCache()->removeAllCachedResponses(); }

}  // namespace

VeskAdblockTableViewController::VeskAdblockTableViewController(kit::TableView::Style style)
    : kit::TableViewController(style) {}

void VeskAdblockTableViewController::onNewFilter() { pushEditor(-1); }

void VeskAdblockTableViewController::pushEditor(long index) {
  auto editor = kit::make<VeskAdblockNewFilterViewController>(VeskAdblockNewFilterViewController::kNibName);
  editor->setEditingIndex(index);
  if (kit::NavigationController* nav = navigationController()) nav->pushViewController(editor.get(), true);
}

void VeskAdblockTableViewController::onRevert() {
  kit::Ref<kit::AlertView> alert(
      new kit::AlertView("", LocalizedText::localized("Your filter modification(s) will be lost. Do you want to continue ?"),
                         this, LocalizedText::localized("Cancel"), {LocalizedText::localized("OK")}));
  alert->show();
}

void VeskAdblockTableViewController::viewDidLoad() {
  kit::TableViewController::viewDidLoad();
  tableView()->setScrollsToTop(true);
  navigationItem()->setRightBarButtonItem(kit::Ref<kit::BarButtonItem>(editButtonItem()));
  setTitle(LocalizedText::localized("Ad Block Filters"));
  VeskAdblockManager::sharedInstance()->sortWithHitCount();
  kit::Ref<kit::Object> keep(this);
  setToolbarItems({
      kit::BarButtonItem::withTitle(LocalizedText::localized("Revert to Default Filters"),
                                    kit::BarButtonItem::Style::Bordered, "onRevert:",
                                    [this](kit::BarButtonItem&) { onRevert(); }),
      kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::FlexibleSpace),
      kit::BarButtonItem::withTitle(LocalizedText::localized("New Filter"), kit::BarButtonItem::Style::Bordered,
                                    "onNewFilter:", [this](kit::BarButtonItem&) { onNewFilter(); }),
  });
}

void VeskAdblockTableViewController::viewWillAppear(bool animated) {
  kit::TableViewController::viewWillAppear(animated);
  if (kit::NavigationController* nav = navigationController()) nav->setToolbarHidden(false, animated);
  tableView()->reloadData();
  tableView()->setAllowsSelectionDuringEditing(true);
}

void VeskAdblockTableViewController::viewWillDisappear(bool animated) {
  kit::TableViewController::viewWillDisappear(animated);
  VeskAdblockManager::sharedInstance()->saveState();
}

bool VeskAdblockTableViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) {
  return MyUIViewController::myShouldAutorotateToInterfaceOrientation(this, orientation);
}

long VeskAdblockTableViewController::numberOfSectionsInTableView(kit::TableView&) { return 1; }

long VeskAdblockTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  kit::MutableArray* list = VeskAdblockManager::sharedInstance()->filters();
  return list ? static_cast<long>(list->count()) : 0;
}

kit::Ref<kit::TableViewCell> VeskAdblockTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  kit::Ref<BadgedCell> cell(kit::cast<BadgedCell>(tableView.dequeueReusableCellWithIdentifier(kCellIdentifier).get()));
  if (!cell) cell = kit::make<BadgedCell>(kit::TableViewCell::Style::Default, kCellIdentifier);
  kit::MutableDictionary* entry = entryAt(indexPath.row);
  if (!entry) return cell;
  auto* pattern = entry->get<kit::String>("filter");
  cell->textLabel()->setText(pattern ? pattern->str() : std::string());
  cell->badge()->setRadius(9.0);
  if (VeskAdblockManager::integerOf(*entry, "disabled") != 0) {
    cell->setAccessoryType(kit::TableViewCell::AccessoryType::None);
    cell->setBadgeString(LocalizedText::localized("Disabled"));
    cell->setBadgeColor(kit::Color::grayColor());
  } else {
    cell->setAccessoryType(kit::TableViewCell::AccessoryType::Checkmark);
    std::string badge = LocalizedText::localized("%d Hit");
    if (size_t at = badge.find("%d"); at != std::string::npos)
      badge.replace(at, 2, std::to_string(VeskAdblockManager::integerOf(*entry, "hitcount")));
    cell->setBadgeString(badge);
    cell->setBadgeColor(BadgeView::defaultColor());
  }
  return cell;
}

void VeskAdblockTableViewController::tableViewCommitEditingStyle(kit::TableView& tableView,
                                                                 kit::TableViewCell::EditingStyle style,
                                                                 const kit::IndexPath& indexPath) {
  if (style != kit::TableViewCell::EditingStyle::Delete || !entryAt(indexPath.row)) return;
  VeskAdblockManager* manager = VeskAdblockManager::sharedInstance();
  manager->filters()->removeObjectAtIndex(static_cast<size_t>(indexPath.row));
  manager->publishFilters();
  tableView.deleteRowsAtIndexPaths({indexPath}, kit::TableView::RowAnimation::Fade);
  emptySharedCache();
}

void VeskAdblockTableViewController::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView,
                                                                      const kit::IndexPath& indexPath) {
  if (tableView.isEditing()) {
    pushEditor(indexPath.row);
    return;
  }
  VeskAdblockManager::sharedInstance()->filters();  // the row shows the count as it is now
  kit::MutableDictionary* entry = entryAt(indexPath.row);
  if (!entry) return;
  entry->setObject(kit::Number::numberWithInt(VeskAdblockManager::integerOf(*entry, "disabled") == 0 ? 1 : 0), "disabled");
  VeskAdblockManager::sharedInstance()->publishFilters();
  tableView.deselectRowAtIndexPath(indexPath, true);
  tableView.reloadRowsAtIndexPaths({indexPath}, kit::TableView::RowAnimation::Fade);
  emptySharedCache();
}

void VeskAdblockTableViewController::alertViewClickedButtonAtIndex(kit::AlertView& alert, long index) {
  if (index != alert.firstOtherButtonIndex()) return;
  VeskAdblockManager::sharedInstance()->revertToDefault();
  emptySharedCache();
  tableView()->reloadData();
}

}  // namespace tolva
