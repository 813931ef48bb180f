#include "data/VeskPagePasswordManageTableViewController.h"

#include "common/LocalizedText.h"
#include "data/VeskPagePasswordDatabase.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/String.h"
#include "kit/ui/Label.h"
#include "settings/PrefAutorotation.h"

namespace tolva {
namespace {

VeskPagePasswordDatabase* store() { return VeskPagePasswordDatabase::sharedInstance(); }

size_t neverAskCount() {
  kit::Ref<kit::Array> never = store()->retrieveNeverAskURLs();
  return never ? never->count() : 0;
}

}  // namespace

VeskPagePasswordManageTableViewController::VeskPagePasswordManageTableViewController(kit::TableView::Style style)
    : kit::TableViewController(style) {}

void VeskPagePasswordManageTableViewController::viewWillAppear(bool animated) {
  kit::TableViewController::viewWillAppear(animated);
  tableView()->setEditing(true);
  tableView()->setScrollsToTop(true);
  setTitle(LocalizedText::localized("Manage saved password(s)"));
}

bool VeskPagePasswordManageTableViewController::shouldAutorotateToInterfaceOrientation(
    kit::InterfaceOrientation orientation) {
  return PrefAutorotation::shouldAutorotate(this, orientation);
}

std::optional<VeskPagePasswordManageTableViewController::Row> VeskPagePasswordManageTableViewController::rowAt(
    long row) {
  if (row < 0) return std::nullopt;
  const size_t saved = store()->count();
  if (static_cast<size_t>(row) < saved) {
    std::optional<std::string> site = store()->retrieveURLByIndex(static_cast<size_t>(row));
    if (!site) return std::nullopt;
    return Row{*site, true};
  }
  kit::Ref<kit::Array> never = store()->retrieveNeverAskURLs();
  const size_t index = static_cast<size_t>(row) - saved;
  auto* site = never && index < never->count() ? never->get<kit::String>(index) : nullptr;
  if (!site) return std::nullopt;
  return Row{site->str(), false};
}

long VeskPagePasswordManageTableViewController::numberOfSectionsInTableView(kit::TableView&) { return 1; }

long VeskPagePasswordManageTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  return static_cast<long>(store()->count() + neverAskCount());
}

kit::Ref<kit::TableViewCell> VeskPagePasswordManageTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Subtitle, kCellIdentifier);
  std::optional<Row> row = rowAt(indexPath.row);
  std::string text, detail;
  if (row && row->saved) {
    text = row->site;
    std::optional<std::string> user = store()->retrieveIDCandidateFromSavedPassword(row->site);
    detail = LocalizedText::localizedFormat("Username : %@", {user.value_or(std::string())});
  } else if (row) {
    text = row->site;
    detail = LocalizedText::localized("Never ask");
  }
  cell->textLabel()->setText(text);
  cell->detailTextLabel()->setText(detail);
  return cell;
}

void VeskPagePasswordManageTableViewController::tableViewCommitEditingStyle(kit::TableView& tableView,
                                                                            kit::TableViewCell::EditingStyle style,
                                                                            const kit::IndexPath& indexPath) {
  if (style != kit::TableViewCell::EditingStyle::Delete) return;
  if (std::optional<Row> row = rowAt(indexPath.row)) {
    if (row->saved)
      store()->deleteByURL(row->site);
    else
      store()->setSaveOption(row->site, kPagePasswordAsk);
  }
  tableView.reloadData();
}

}  // namespace tolva
