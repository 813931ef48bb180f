#pragma once
// "Ad Block Filters": the filter list with each pattern's hit count (or
// "Disabled") in a badge. A tap switches a pattern on or off; in editing
// mode a tap opens the pattern editor; a swipe deletes; the toolbar adds a
// pattern or reverts to the default list. Every change empties the shared
// URL cache, so pages load again under the new list. Opened from the
// settings by class name.

#include "kit/ui/AlertView.h"
#include "kit/ui/TableViewController.h"

namespace tolva {

class VeskAdblockTableViewController : public kit::TableViewController, public kit::AlertViewDelegate {
 public:
  static constexpr const char* kCellIdentifier = "AdblockCell";

  explicit VeskAdblockTableViewController(kit::TableView::Style style = kit::TableView::Style::Plain);

  void onNewFilter();
  void onRevert();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;

  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  void tableViewCommitEditingStyle(kit::TableView& tableView, kit::TableViewCell::EditingStyle style,
                                   const kit::IndexPath& indexPath) override;
  bool implementsCommitEditingStyle() const override { return true; }
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  void alertViewClickedButtonAtIndex(kit::AlertView& alert, long index) override;

  std::string className() const override { return "VeskAdblockTableViewController"; }

 private:
  void pushEditor(long index);
};

}  // namespace tolva
