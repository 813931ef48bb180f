#pragma once
// What a table asks of whoever owns its rows: how many sections and rows,
// the cell for each row, section titles, and what may be edited or moved.
//
// Deleting (a swipe, or the control shown while editing) and reordering are
// offered only when the data source says it handles them, through
// implementsCommitEditingStyle() and implementsMoveRow().

#include <string>

#include "kit/foundation/Object.h"
#include "kit/ui/IndexPath.h"
#include "kit/ui/TableViewCell.h"

namespace kit {

class TableView;

class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;

  virtual long numberOfSectionsInTableView(TableView& tableView) {
    (void)tableView;
    return 1;
  }
  virtual long tableViewNumberOfRowsInSection(TableView& tableView, long section) = 0;
  // A null cell is replaced by an empty one (and reported on stderr).
  virtual Ref<TableViewCell> tableViewCellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) = 0;

  // Empty: no title.
  virtual std::string tableViewTitleForHeaderInSection(TableView& tableView, long section) {
    (void)tableView;
    (void)section;
    return {};
  }
  virtual std::string tableViewTitleForFooterInSection(TableView& tableView, long section) {
    (void)tableView;
    (void)section;
    return {};
  }

  virtual bool tableViewCanEditRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
    return true;
  }
  // Asked only when implementsMoveRow().
  virtual bool tableViewCanMoveRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
    return true;
  }
  virtual void tableViewCommitEditingStyle(TableView& tableView, TableViewCell::EditingStyle style,
                                           const IndexPath& indexPath) {
    (void)tableView;
    (void)style;
    (void)indexPath;
  }
  // The table has already moved the row on screen; the data source moves it in its model.
  virtual void tableViewMoveRowAtIndexPath(TableView& tableView, const IndexPath& from, const IndexPath& to) {
    (void)tableView;
    (void)from;
    (void)to;
  }

  virtual bool implementsCommitEditingStyle() const { return false; }
  virtual bool implementsMoveRow() const { return false; }
};

}  // namespace kit
