#pragma once
// A screen whose view is one table, acting as that table's data source and
// delegate (subclasses answer the rows). The table fills the application
// frame and follows its superview's size.
//
// Appearing: a table that has never loaded loads; the selected row is
// deselected (clearsSelectionOnViewWillAppear). After appearing the scroll
// indicators flash. Editing is passed on to the table.

#include "kit/ui/TableView.h"
#include "kit/ui/TableViewDataSource.h"
#include "kit/ui/TableViewDelegate.h"
#include "kit/ui/ViewController.h"

namespace kit {

class TableViewController : public ViewController, public TableViewDataSource, public TableViewDelegate {
 public:
  explicit TableViewController(TableView::Style style = TableView::Style::Plain);
  ~TableViewController() override;

  TableView::Style tableViewStyle() const noexcept { return style_; }
  // Loads the view when needed.
  TableView* tableView();
  // Makes `table` the view (and this its data source and delegate).
  void setTableView(TableView* table);
  bool clearsSelectionOnViewWillAppear() const noexcept { return clearsSelection_; }
  void setClearsSelectionOnViewWillAppear(bool c) { clearsSelection_ = c; }

  void loadView() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void setEditing(bool editing, bool animated) override;

  // ---- Data source defaults: no rows.
  long tableViewNumberOfRowsInSection(TableView& tableView, long section) override;
  Ref<TableViewCell> tableViewCellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

  std::string className() const override { return "TableViewController"; }

 private:
  TableView::Style style_;
  Ref<TableView> table_;
  bool clearsSelection_ = true;
};

}  // namespace kit
