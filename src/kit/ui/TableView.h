#pragma once
// A scrolling list of rows in sections, plain or grouped, filled by a data
// source and steered by a delegate (neither owned).
//
// Loading. The table asks for counts, titles, views and heights when it first
// needs them after reloadData() (or after its data source changes) and keeps
// the answers; it asks for cells only for the rows on screen. A headless
// table "shows" the rows whose rectangles meet its bounds (the content offset
// and its height); tests may instead name the visible rows with
// setVisibleIndexPathsForTesting(). Cells leaving the screen go to a pool by
// reuse identifier, from which dequeueReusableCellWithIdentifier() hands them
// out again. reloadData() drops the selection and asks for every visible cell
// again.
//
// A cell holding the first responder (a text field being edited) is not
// given up when its row leaves the screen, so editing goes on; it counts as
// visible again when its row comes back, and goes to the pool once editing
// ends.
//
// Updates. insert/delete/reload of rows and sections, alone or between
// beginUpdates() and endUpdates(), tell the table what changed in the model:
// deletions and reloads name rows and sections as they were before, insertions
// as they are after. The table checks that the counts the data source now
// answers agree (else InternalInconsistencyException, as the platform does),
// keeps the cells and the selection of the rows that stay, and loads the new
// ones. An index path out of range in an update also throws.
//
// Geometry. Sections are laid out top to bottom after the table header view:
// header, rows, footer. Grouped tables inset their cells from both sides.
// Standard heights: rows rowHeight() (44); a header with a title 22 in a plain
// table, in a grouped one the title's height wrapped to the width less 38,
// plus 15; a grouped section without header or footer is still spaced by 10.
//
// A user's actions are acted out by tapRow(), tapAccessoryButton(),
// swipeToDelete(), tapEditingControl() and moveRowByUser(); each makes the
// calls the platform would make, in its order. Main thread only.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kit/ui/IndexPath.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/TableViewCell.h"

namespace kit {

class Label;
class TableViewDataSource;
class TableViewDelegate;

class TableView : public ScrollView {
 public:
  enum class Style { Plain = 0, Grouped = 1 };
  enum class ScrollPosition { None = 0, Top = 1, Middle = 2, Bottom = 3 };
  // Headless: every animation ends at once; the value is kept for the record.
  enum class RowAnimation { Fade = 0, Right = 1, Left = 2, Top = 3, Bottom = 4, None = 5, Middle = 6 };
  enum class SeparatorStyle { None = 0, SingleLine = 1, SingleLineEtched = 2 };

  static constexpr double kDefaultRowHeight = 44;
  static constexpr double kPlainHeaderHeight = 22;
  static constexpr double kGroupedSectionSpacing = 10;
  // How far a grouped table's cells stand in from each side.
  static double groupedMargin(double tableWidth) { return tableWidth > 400 ? 30 : 10; }

  explicit TableView(Rect frame = {}, Style style = Style::Plain);
  ~TableView() override;

  Style style() const noexcept { return style_; }
  TableViewDataSource* dataSource() const noexcept { return dataSource_; }
  // Marks the data for reloading.
  void setDataSource(TableViewDataSource* d);
  TableViewDelegate* delegate() const noexcept { return delegate_; }
  // Also the scroll view's delegate.
  void setDelegate(TableViewDelegate* d);

  // ---- Look
  double rowHeight() const noexcept { return rowHeight_; }
  void setRowHeight(double h);
  double sectionHeaderHeight() const noexcept { return sectionHeaderHeight_; }
  void setSectionHeaderHeight(double h);
  double sectionFooterHeight() const noexcept { return sectionFooterHeight_; }
  void setSectionFooterHeight(double h);
  SeparatorStyle separatorStyle() const noexcept { return separatorStyle_; }
  void setSeparatorStyle(SeparatorStyle s);
  const std::optional<Color>& separatorColor() const noexcept { return separatorColor_; }
  void setSeparatorColor(std::optional<Color> c);
  View* tableHeaderView() const noexcept { return tableHeaderView_.get(); }
  void setTableHeaderView(View* v);
  View* tableFooterView() const noexcept { return tableFooterView_.get(); }
  void setTableFooterView(View* v);
  View* backgroundView() const noexcept { return backgroundView_.get(); }
  void setBackgroundView(View* v);

  // ---- Selection and editing switches
  bool allowsSelection() const noexcept { return allowsSelection_; }
  void setAllowsSelection(bool a) { allowsSelection_ = a; }
  bool allowsSelectionDuringEditing() const noexcept { return allowsSelectionDuringEditing_; }
  void setAllowsSelectionDuringEditing(bool a) { allowsSelectionDuringEditing_ = a; }
  bool isEditing() const noexcept { return editing_; }
  // Shows or hides the editing controls of every row.
  void setEditing(bool editing, bool animated = false);

  // ---- Data
  void reloadData();
  long numberOfSections();
  // 0 for a section out of range.
  long numberOfRowsInSection(long section);
  void beginUpdates();
  void endUpdates();
  void insertSections(const std::vector<long>& sections, RowAnimation animation = RowAnimation::Fade);
  void deleteSections(const std::vector<long>& sections, RowAnimation animation = RowAnimation::Fade);
  void reloadSections(const std::vector<long>& sections, RowAnimation animation = RowAnimation::Fade);
  void insertRowsAtIndexPaths(const std::vector<IndexPath>& paths, RowAnimation animation = RowAnimation::Fade);
  void deleteRowsAtIndexPaths(const std::vector<IndexPath>& paths, RowAnimation animation = RowAnimation::Fade);
  void reloadRowsAtIndexPaths(const std::vector<IndexPath>& paths, RowAnimation animation = RowAnimation::Fade);
  // How many updates (batches) were applied, and how many full reloads ran (tests).
  int updateCount() const noexcept { return updateCount_; }
  int reloadCount() const noexcept { return reloadCount_; }

  // ---- Cells
  // A cell from the pool (after prepareForReuse), or null when none is free.
  Ref<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);
  // The cell showing that row, or null when the row is not on screen.
  TableViewCell* cellForRowAtIndexPath(const IndexPath& path);
  std::vector<Ref<TableViewCell>> visibleCells();
  std::vector<IndexPath> indexPathsForVisibleRows();
  std::optional<IndexPath> indexPathForCell(const TableViewCell* cell);
  // The row at a point in content coordinates.
  std::optional<IndexPath> indexPathForRowAtPoint(Point p);

  // A touch that begins and ends on the same row selects it, as tapRow does;
  // on a row's editing control it is tapEditingControl, on its detail button
  // tapAccessoryButton; a sideways drag of kSwipeDistance along a row is
  // swipeToDelete. Touches a control in a cell keeps (a switch, a text field)
  // never get here.
  static constexpr double kSwipeDistance = 30;
  void touchesBegan(const Touches& touches, Event* event) override;
  void touchesMoved(const Touches& touches, Event* event) override;
  void touchesEnded(const Touches& touches, Event* event) override;
  void touchesCancelled(const Touches& touches, Event* event) override;
  std::vector<IndexPath> indexPathsForRowsInRect(Rect r);
  // Names the rows that count as on screen; nullopt goes back to the geometry.
  // Rows that do not exist are left out.
  void setVisibleIndexPathsForTesting(std::optional<std::vector<IndexPath>> paths);

  // ---- Geometry (content coordinates; empty rectangles for what does not exist)
  Rect rectForSection(long section);
  Rect rectForHeaderInSection(long section);
  Rect rectForFooterInSection(long section);
  Rect rectForRowAtIndexPath(const IndexPath& path);
  // The view shown above / below a section: the delegate's, or a label the
  // table made for the section's title; null when neither.
  View* headerViewForSection(long section);
  View* footerViewForSection(long section);
  // The section's title as the data source gave it (empty: none).
  std::string titleForHeaderInSection(long section);
  std::string titleForFooterInSection(long section);

  // ---- Selection (from code: the delegate is not told)
  std::optional<IndexPath> indexPathForSelectedRow();
  // nullopt deselects. ScrollPosition::None does not scroll.
  void selectRowAtIndexPath(std::optional<IndexPath> path, bool animated, ScrollPosition position);
  void deselectRowAtIndexPath(const IndexPath& path, bool animated);

  // ---- Scrolling. A row out of range throws RangeException, as the platform does.
  void scrollToRowAtIndexPath(const IndexPath& path, ScrollPosition position, bool animated);
  void scrollToNearestSelectedRow(ScrollPosition position, bool animated);

  // ---- A user's actions; each answers whether it did anything
  // A tap on the row: will-select (which may redirect or refuse), deselect of
  // the previous row, select, did-select. Refused while selection is off (or,
  // while editing, off during editing) and for rows that do not exist. A
  // finger scrolls the row into sight and taps its middle: the table must be
  // shown there and not covered (else IllegalStateException naming why).
  bool tapRow(const IndexPath& path);
  // The detail disclosure button of an on-screen row (accessoryButtonTapped),
  // or a custom accessory that is a control (tapped).
  bool tapAccessoryButton(const IndexPath& path);
  // Swipe and the Delete button: outside editing mode, when the data source
  // commits edits, the row may be edited and its style is Delete.
  bool swipeToDelete(const IndexPath& path);
  // The delete or insert control of a row in editing mode.
  bool tapEditingControl(const IndexPath& path);
  // Drag a row by its reorder control and drop it at `to`. The delegate may
  // retarget the drop; the data source is told the final move. Answers where
  // the row landed; nullopt when it could not be moved.
  std::optional<IndexPath> moveRowByUser(const IndexPath& from, const IndexPath& to);

  void setBounds(Rect bounds) override;
  void layoutSubviews() override;
  std::string className() const override { return "TableView"; }

 private:
  enum class Part { Row, EditingControl, Accessory };
  std::optional<IndexPath> rowUnder(const Touches& touches);
  // Which part of a row a point (table coordinates) is on.
  Part partAt(const IndexPath& path, Point p);
  // What a tap on the row does once a finger found it.
  bool selectRowByUser(const IndexPath& path);
  std::optional<IndexPath> pressedRow_;
  Point pressedAt_;
  Part pressedPart_ = Part::Row;
  struct Section {
    long rows = 0;
    std::string headerTitle;
    std::string footerTitle;
    Ref<View> headerView;
    Ref<View> footerView;
    bool headerFromDelegate = false;
    bool footerFromDelegate = false;
    double headerHeight = 0;
    double footerHeight = 0;
    std::vector<double> rowHeights;
    double top = 0;  // y of the header
  };
  enum class Op { InsertSection, DeleteSection, ReloadSection, InsertRow, DeleteRow, ReloadRow };
  struct Update {
    Op op;
    IndexPath path;  // section only for section operations
  };
  using PathMap = std::function<std::optional<IndexPath>(const IndexPath&)>;

  void ensureLoaded();
  void loadData();
  // Section titles, views and every height; then the offsets and the content size.
  void computeGeometry(bool refreshSectionViews);
  double automaticHeaderHeight(const Section& s) const;
  double automaticFooterHeight(const Section& s) const;
  Ref<Label> makeSectionLabel(const std::string& text, bool header) const;
  void placeSupplementaryViews();
  // Brings the set of visible cells in line with the visible rows.
  void tile();
  std::vector<IndexPath> computeVisiblePaths();
  void configureCell(TableViewCell& cell, const IndexPath& path);
  void recycle(const Ref<TableViewCell>& cell);
  static bool holdsFirstResponder(const TableViewCell& cell);
  void dropKeptCell();
  bool isValid(const IndexPath& path);
  void addUpdate(Op op, IndexPath path);
  void applyUpdates(std::vector<Update> updates);
  // Moves cells and selection to new paths; rows mapped to nothing lose theirs.
  void remapRows(const PathMap& map);
  TableViewCell::EditingStyle editingStyleFor(const IndexPath& path);
  bool canEdit(const IndexPath& path);

  Style style_;
  TableViewDataSource* dataSource_ = nullptr;
  TableViewDelegate* delegate_ = nullptr;
  double rowHeight_ = kDefaultRowHeight;
  double sectionHeaderHeight_;
  double sectionFooterHeight_;
  SeparatorStyle separatorStyle_ = SeparatorStyle::SingleLine;
  std::optional<Color> separatorColor_;
  Ref<View> tableHeaderView_;
  Ref<View> tableFooterView_;
  Ref<View> backgroundView_;
  bool allowsSelection_ = true;
  bool allowsSelectionDuringEditing_ = false;
  bool editing_ = false;

  bool needsReload_ = true;
  bool loading_ = false;
  bool tiling_ = false;
  std::vector<Section> sections_;
  double lastWidth_ = -1;
  std::map<IndexPath, Ref<TableViewCell>> visible_;
  // The off-screen cell kept for its first responder, and its row.
  std::optional<std::pair<IndexPath, Ref<TableViewCell>>> kept_;
  std::map<std::string, std::vector<Ref<TableViewCell>>> pool_;
  std::optional<IndexPath> selected_;
  std::optional<std::vector<IndexPath>> visibleOverride_;
  int updateDepth_ = 0;
  std::vector<Update> pending_;
  int updateCount_ = 0;
  int reloadCount_ = 0;
};

}  // namespace kit
