#pragma once
// What a table tells (and asks) its delegate: sizes, header and footer
// views, selection, accessory taps and editing. Being a scroll view's
// delegate as well, it also hears of scrolling.
//
// Heights may answer kTableViewAutomaticDimension: the table then uses its
// own (the row height, or the standard header/footer height for the
// section's title or view).

#include <optional>
#include <string>

#include "kit/foundation/Object.h"
#include "kit/ui/IndexPath.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/TableViewCell.h"

namespace kit {

class TableView;

inline constexpr double kTableViewAutomaticDimension = -1;

class TableViewDelegate : public ScrollViewDelegate {
 public:
  // ---- Sizes and section views
  virtual double tableViewHeightForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
    return kTableViewAutomaticDimension;
  }
  virtual double tableViewHeightForHeaderInSection(TableView& tableView, long section) {
    (void)tableView;
    (void)section;
    return kTableViewAutomaticDimension;
  }
  virtual double tableViewHeightForFooterInSection(TableView& tableView, long section) {
    (void)tableView;
    (void)section;
    return kTableViewAutomaticDimension;
  }
  // Null: the table shows the section's title, if any.
  virtual Ref<View> tableViewViewForHeaderInSection(TableView& tableView, long section) {
    (void)tableView;
    (void)section;
    return nullptr;
  }
  virtual Ref<View> tableViewViewForFooterInSection(TableView& tableView, long section) {
    (void)tableView;
    (void)section;
    return nullptr;
  }
  virtual void tableViewWillDisplayCell(TableView& tableView, TableViewCell& cell, const IndexPath& indexPath) {
    (void)tableView;
    (void)cell;
    (void)indexPath;
  }

  // ---- Selection. The will-calls may redirect to another row or refuse (nullopt).
  virtual std::optional<IndexPath> tableViewWillSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    return indexPath;
  }
  virtual void tableViewDidSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
  }
  virtual std::optional<IndexPath> tableViewWillDeselectRowAtIndexPath(TableView& tableView,
                                                                     const IndexPath& indexPath) {
    (void)tableView;
    return indexPath;
  }
  virtual void tableViewDidDeselectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
  }
  virtual void tableViewAccessoryButtonTappedForRowWithIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
  }

  // ---- Editing
  virtual TableViewCell::EditingStyle tableViewEditingStyleForRowAtIndexPath(TableView& tableView,
                                                                             const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
    return TableViewCell::EditingStyle::Delete;
  }
  virtual std::string tableViewTitleForDeleteConfirmationButton(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
    return "Delete";
  }
  virtual bool tableViewShouldIndentWhileEditingRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
    return true;
  }
  virtual long tableViewIndentationLevelForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
    return 0;
  }
  // Around a swipe-to-delete.
  virtual void tableViewWillBeginEditingRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
  }
  virtual void tableViewDidEndEditingRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    (void)tableView;
    (void)indexPath;
  }
  // Where a row being dragged from `from` would land when dropped at `proposed`.
  virtual IndexPath tableViewTargetIndexPathForMoveFromRowAtIndexPath(TableView& tableView, const IndexPath& from,
                                                                      const IndexPath& proposed) {
    (void)tableView;
    (void)from;
    return proposed;
  }
};

}  // namespace kit
