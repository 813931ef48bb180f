#include "shell/VeskRecentlyClosedTableViewController.h"

#include "common/LocalizedText.h"
#include "common/VeskMiscObject.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Label.h"
#include "kit/ui/Touch.h"
#include "shell/RecentlyClosedTab.h"

namespace tolva {

namespace {

std::string field(kit::Dictionary* entry, const char* key) {
  kit::String* s = entry ? entry->get<kit::String>(key) : nullptr;
  return s ? s->str() : std::string();
}

}  // namespace

VeskRecentlyClosedTableViewController::VeskRecentlyClosedTableViewController(kit::TableView::Style style)
    : kit::TableViewController(style) {}

kit::Array* VeskRecentlyClosedTableViewController::entries() {
  return VeskMiscObject::sharedInstance()->recentlyClosedTabs();
}

void VeskRecentlyClosedTableViewController::viewDidLoad() {
  kit::TableViewController::viewDidLoad();
  setToolbarItems({kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::FlexibleSpace),
                   kit::BarButtonItem::withTitle(LocalizedText::localized("Close"), kit::BarButtonItem::Style::Bordered,
                                                 "onClose:", [this](kit::BarButtonItem& b) { onClose(&b); })});
}

void VeskRecentlyClosedTableViewController::viewDidUnload() {
  kit::TableViewController::viewDidUnload();
  selectDelegate_ = nullptr;
}

void VeskRecentlyClosedTableViewController::onClose(kit::BarButtonItem*) { dismissModalViewControllerAnimated(true); }

bool VeskRecentlyClosedTableViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return o == kit::InterfaceOrientation::Portrait;
}

// ---- Table

long VeskRecentlyClosedTableViewController::numberOfSectionsInTableView(kit::TableView&) { return 1; }

long VeskRecentlyClosedTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  return static_cast<long>(entries()->count());
}

std::string VeskRecentlyClosedTableViewController::tableViewTitleForHeaderInSection(kit::TableView&, long) {
  return LocalizedText::localized("Recently closed tab(s)");
}

kit::Ref<kit::TableViewCell> VeskRecentlyClosedTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Subtitle, kCellIdentifier);
  // A row past the end (the list shrank under the table) shows empty.
  kit::Dictionary* entry = indexPath.row >= 0 ? entries()->get<kit::Dictionary>(size_t(indexPath.row)) : nullptr;
  cell->textLabel()->setText(field(entry, RecentlyClosedTab::kTitle));
  cell->detailTextLabel()->setText(field(entry, RecentlyClosedTab::kURL));
  return cell;
}

void VeskRecentlyClosedTableViewController::tableViewDidSelectRowAtIndexPath(kit::TableView&,
                                                                            const kit::IndexPath& indexPath) {
  kit::Array* list = entries();
  if (indexPath.row < 0 || size_t(indexPath.row) >= list->count()) return;
  // Closing the popover lets go of this screen; stay alive until done.
  kit::Ref<VeskRecentlyClosedTableViewController> keep(this);
  const std::string url = field(list->get<kit::Dictionary>(size_t(indexPath.row)), RecentlyClosedTab::kURL);
  if (selectDelegate_ && !url.empty()) selectDelegate_->onSelect(url);
  if (kit::Ref<kit::PopoverController> popover = pop_.lock()) {
    popover->dismissPopoverAnimated(true);
    if (kit::PopoverControllerDelegate* d = popover->delegate()) d->popoverControllerDidDismissPopover(*popover);
  } else {
    onClose();
  }
}

}  // namespace tolva
