#pragma once
// The list of recently closed tabs, newest first, as the app-state object
// keeps them. Picking one hands its URL to the select delegate (the main
// screen, which opens it in a new tab) and closes the list: the popover
// holding it on the tablet, the modal screen on the phone. The entry stays.

#include <optional>
#include <string>

#include "kit/ui/PopoverController.h"
#include "kit/ui/TableViewController.h"

namespace kit {
class Array;
class BarButtonItem;
}  // namespace kit

namespace tolva {

class VeskRecentlyClosedTableViewControllerDelegate {
 public:
  virtual ~VeskRecentlyClosedTableViewControllerDelegate() = default;
  // Open this URL.
  virtual void onSelect(const std::string& url) = 0;
};

class VeskRecentlyClosedTableViewController : public kit::TableViewController {
 public:
  static constexpr const char* kCellIdentifier = "Cell";

  explicit VeskRecentlyClosedTableViewController(kit::TableView::Style style = kit::TableView::Style::Plain);

  // Not owned: the main screen outlives every list it shows.
  VeskRecentlyClosedTableViewControllerDelegate* selectDelegate() const noexcept { return selectDelegate_; }
  void setSelectDelegate(VeskRecentlyClosedTableViewControllerDelegate* d) { selectDelegate_ = d; }
  // The popover holding the list on the tablet; null on the phone.
  kit::PopoverController* pop() const { return pop_.lock().get(); }
  void setPop(kit::PopoverController* p) { pop_ = p; }

  // Dismisses the modally shown list.
  void onClose(kit::BarButtonItem* sender = nullptr);

  void viewDidLoad() override;
  void viewDidUnload() override;
  // Upright portrait only, whatever the rotation lock says.
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;

  // ---- Table
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForHeaderInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  std::string className() const override { return "VeskRecentlyClosedTableViewController"; }

 private:
  static kit::Array* entries();

  VeskRecentlyClosedTableViewControllerDelegate* selectDelegate_ = nullptr;
  kit::WeakRef<kit::PopoverController> pop_;  // the popover owns this screen
};

}  // namespace tolva
