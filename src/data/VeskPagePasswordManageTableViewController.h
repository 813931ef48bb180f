#pragma once
// The list of what the saved-password store holds: first every site with a
// saved login (user name as detail), then every site the user chose never
// to be asked about. The list is always in editing mode; deleting a saved
// login removes it with its password, deleting a "never ask" site makes the
// browser ask again there.

#include <optional>
#include <string>

#include "kit/ui/TableViewController.h"

namespace tolva {

class VeskPagePasswordManageTableViewController : public kit::TableViewController {
 public:
  static constexpr const char* kCellIdentifier = "passwordCell";

  explicit VeskPagePasswordManageTableViewController(kit::TableView::Style style = kit::TableView::Style::Plain);

  void viewWillAppear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;

  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  void tableViewCommitEditingStyle(kit::TableView& tableView, kit::TableViewCell::EditingStyle style,
                                   const kit::IndexPath& indexPath) override;
  bool implementsCommitEditingStyle() const override { return true; }

  std::string className() const override { return "VeskPagePasswordManageTableViewController"; }

 private:
  // The site of a row and whether it is a saved login (else a "never ask" site).
  struct Row {
    std::string site;
    bool saved = false;
  };
  static std::optional<Row> rowAt(long row);
};

}  // namespace tolva
