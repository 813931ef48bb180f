#pragma once
// The download list: one cell per entry of the download manager, with "Add" (the new-download
// screen) and "Edit" (delete rows, "Clear Failed"). A completed row offers "View", "Delete",
// "Rename" and, when some application handles the file's type, "Open With ...".

#include <string>
#include <vector>

#include "kit/ui/ActionSheet.h"
#include "kit/ui/DocumentOpener.h"
#include "kit/ui/TableViewController.h"

namespace tolva {

class VeskDownloadTableViewController : public kit::TableViewController, public kit::ActionSheetDelegate {
 public:
  static constexpr long kTagActions = 0;
  static constexpr long kTagApplications = 1;

  explicit VeskDownloadTableViewController(kit::TableView::Style style = kit::TableView::Style::Plain);

  // Whether the list is showing now (from its appearance to its disappearance).
  static bool isShowing();
  // The list inside a navigation controller with its toolbar and "Close", as a form sheet.
  static kit::Ref<kit::NavigationController> makeNavigationController();

  void onClose();
  void onEdit();
  void onAddorClearAll();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;

  long numberOfSectionsInTableView(kit::TableView&) override { return 1; }
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                             const kit::IndexPath& indexPath) override;
  double tableViewHeightForRowAtIndexPath(kit::TableView&, const kit::IndexPath&) override { return 70; }
  bool tableViewCanEditRowAtIndexPath(kit::TableView&, const kit::IndexPath&) override { return true; }
  void tableViewCommitEditingStyle(kit::TableView& tableView, kit::TableViewCell::EditingStyle style,
                                   const kit::IndexPath& indexPath) override;
  bool implementsCommitEditingStyle() const override { return true; }
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;
  void actionSheetClickedButtonAtIndex(kit::ActionSheet& sheet, long index) override;

  long currentRow() const noexcept { return currentRow_; }

  std::string className() const override { return "VeskDownloadTableViewController"; }

 private:
  void showApplications();
  void viewFile(const std::string& path);

  long currentRow_ = -1;
  // The applications the "Open With ..." sheet lists, in its order.
  std::vector<kit::DocumentOpener::Application> applications_;
  kit::Ref<kit::ActionSheet> sheet_;
};

}  // namespace tolva
