#include "kit/ui/TableView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "kit/foundation/Exception.h"
#include "kit/ui/Control.h"
#include "kit/ui/Label.h"
#include "kit/ui/Responder.h"
#include "kit/ui/TableViewDataSource.h"
#include "kit/ui/TableViewDelegate.h"
#include "kit/ui/TextMeasurement.h"

namespace kit {
namespace {

// Room the standard header and footer labels of a grouped table lose to its margins.
constexpr double kGroupedTitleInset = 38;

std::string countsMessage(const char* what, long index, long now, long before, long inserted, long deleted) {
  return std::string("Invalid update: invalid number of ") + what +
         (index >= 0 ? " in section " + std::to_string(index) : std::string()) + ". The number after the update (" +
         std::to_string(now) + ") must be equal to the number before the update (" + std::to_string(before) +
         "), plus or minus the number inserted or deleted (" + std::to_string(inserted) + " inserted, " +
         std::to_string(deleted) + " deleted).";
}

}  // namespace

TableView::TableView(Rect frame, Style style)
    : ScrollView(frame),
      style_(style),
      sectionHeaderHeight_(style == Style::Grouped ? kGroupedSectionSpacing : kPlainHeaderHeight),
      sectionFooterHeight_(style == Style::Grouped ? kGroupedSectionSpacing : kPlainHeaderHeight) {
  setAlwaysBounceVertical(true);
  // Opaque by default, as on the platform: nothing behind a list shows through its rows.
  setBackgroundColor(style == Style::Grouped ? Color::groupTableViewBackground() : Color::whiteColor());
}

TableView::~TableView() {
  // Cells a data source kept must not point back at a table that is gone.
  for (auto& [path, cell] : visible_) cell->setTableView(nullptr);
  for (auto& [id, cells] : pool_) {
    for (auto& cell : cells) cell->setTableView(nullptr);
  }
  if (kept_) kept_->second->setTableView(nullptr);
}

void TableView::setDataSource(TableViewDataSource* d) {
  dataSource_ = d;
  needsReload_ = true;
  setNeedsLayout();
}

void TableView::setDelegate(TableViewDelegate* d) {
  delegate_ = d;
  ScrollView::setDelegate(d);
  needsReload_ = true;
  setNeedsLayout();
}

// ---- Look

void TableView::setRowHeight(double h) {
  rowHeight_ = std::max(0.0, h);
  if (!needsReload_) computeGeometry(false);
}

void TableView::setSectionHeaderHeight(double h) {
  sectionHeaderHeight_ = std::max(0.0, h);
  if (!needsReload_) computeGeometry(false);
}

void TableView::setSectionFooterHeight(double h) {
  sectionFooterHeight_ = std::max(0.0, h);
  if (!needsReload_) computeGeometry(false);
}

void TableView::setSeparatorStyle(SeparatorStyle s) {
  separatorStyle_ = s;
  notify(ViewChange::Appearance);
}

void TableView::setSeparatorColor(std::optional<Color> c) {
  separatorColor_ = c;
  notify(ViewChange::Appearance);
}

void TableView::setTableHeaderView(View* v) {
  if (tableHeaderView_.get() == v) return;
  if (tableHeaderView_) tableHeaderView_->removeFromSuperview();
  tableHeaderView_ = v;
  if (v) addSubview(v);
  if (!needsReload_) computeGeometry(false);
}

void TableView::setTableFooterView(View* v) {
  if (tableFooterView_.get() == v) return;
  if (tableFooterView_) tableFooterView_->removeFromSuperview();
  tableFooterView_ = v;
  if (v) addSubview(v);
  if (!needsReload_) computeGeometry(false);
}

void TableView::setBackgroundView(View* v) {
  if (backgroundView_.get() == v) return;
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = v;
  if (v) {
    insertSubview(v, 0);
    v->setFrame(bounds());
  }
}

void TableView::setEditing(bool editing, bool animated) {
  if (editing == editing_) return;
  editing_ = editing;
  if (needsReload_) return;
  Ref<TableView> keep(this);
  auto cells = visible_;
  for (auto& [path, cell] : cells) {
    cell->setShowingDeleteConfirmation(false);
    cell->setEditingStyle(editing ? editingStyleFor(path) : TableViewCell::EditingStyle::None);
    if (editing && delegate_) {
      cell->setShouldIndentWhileEditing(delegate_->tableViewShouldIndentWhileEditingRowAtIndexPath(*this, path));
    }
    cell->setEditing(editing, animated);
  }
}

// ---- Loading

void TableView::reloadData() {
  needsReload_ = true;
  loadData();
}

void TableView::ensureLoaded() {
  if (loading_) return;
  if (needsReload_) {
    loadData();
  } else if (bounds().width() != lastWidth_) {
    computeGeometry(false);
  }
}

void TableView::loadData() {
  if (loading_) return;
  Ref<TableView> keep(this);
  loading_ = true;
  needsReload_ = false;
  ++reloadCount_;
  for (auto& [path, cell] : visible_) recycle(cell);
  visible_.clear();
  dropKeptCell();
  selected_.reset();
  for (auto& s : sections_) {
    if (s.headerView) s.headerView->removeFromSuperview();
    if (s.footerView) s.footerView->removeFromSuperview();
  }
  sections_.clear();
  if (dataSource_) {
    long n = std::max(0L, dataSource_->numberOfSectionsInTableView(*this));
    sections_.resize(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) sections_[i].rows = std::max(0L, dataSource_->tableViewNumberOfRowsInSection(*this, i));
  }
  computeGeometry(true);
  loading_ = false;
  tile();
}

Ref<Label> TableView::makeSectionLabel(const std::string& text, bool header) const {
  Ref<Label> label(new Label());
  label->setText(text);
  label->setNumberOfLines(0);
  if (style_ == Style::Grouped) {
    label->setFont(header ? Font::boldSystemFont(Font::labelFontSize()) : Font::systemFont(15));
    label->setTextAlignment(header ? TextAlignment::Left : TextAlignment::Center);
  } else {
    label->setFont(Font::boldSystemFont(18));
    label->setBackgroundColor(Color::rgba(0.6, 0.65, 0.7, 0.9));
  }
  return label;
}

double TableView::automaticHeaderHeight(const Section& s) const {
  if (style_ == Style::Plain) return s.headerView ? sectionHeaderHeight_ : 0;
  if (s.headerFromDelegate) {
    double h = s.headerView->frame().height();
    return h > 0 ? h : sectionHeaderHeight_;
  }
  if (!s.headerTitle.empty()) {
    double w = std::max(0.0, bounds().width() - kGroupedTitleInset);
    return TextMeasurement::sizeOfText(s.headerTitle, Font::boldSystemFont(Font::labelFontSize()), w).height + 15;
  }
  return sectionHeaderHeight_;
}

double TableView::automaticFooterHeight(const Section& s) const {
  if (style_ == Style::Plain) return s.footerView ? sectionFooterHeight_ : 0;
  if (s.footerFromDelegate) {
    double h = s.footerView->frame().height();
    return h > 0 ? h : sectionFooterHeight_;
  }
  if (!s.footerTitle.empty()) {
    double w = std::max(0.0, bounds().width() - kGroupedTitleInset);
    return TextMeasurement::sizeOfText(s.footerTitle, Font::systemFont(15), w).height + 10;
  }
  return sectionFooterHeight_;
}

void TableView::computeGeometry(bool refreshSectionViews) {
  Ref<TableView> keep(this);
  double width = bounds().width();
  lastWidth_ = width;
  for (long i = 0; i < static_cast<long>(sections_.size()); ++i) {
    Section& s = sections_[i];
    if (refreshSectionViews) {
      if (s.headerView) s.headerView->removeFromSuperview();
      if (s.footerView) s.footerView->removeFromSuperview();
      s.headerView = nullptr;
      s.footerView = nullptr;
      s.headerTitle = dataSource_ ? dataSource_->tableViewTitleForHeaderInSection(*this, i) : std::string();
      s.footerTitle = dataSource_ ? dataSource_->tableViewTitleForFooterInSection(*this, i) : std::string();
      if (delegate_) s.headerView = delegate_->tableViewViewForHeaderInSection(*this, i);
      s.headerFromDelegate = static_cast<bool>(s.headerView);
      if (!s.headerView && !s.headerTitle.empty()) s.headerView = makeSectionLabel(s.headerTitle, true);
      if (delegate_) s.footerView = delegate_->tableViewViewForFooterInSection(*this, i);
      s.footerFromDelegate = static_cast<bool>(s.footerView);
      if (!s.footerView && !s.footerTitle.empty()) s.footerView = makeSectionLabel(s.footerTitle, false);
    }
    double h = delegate_ ? delegate_->tableViewHeightForHeaderInSection(*this, i) : kTableViewAutomaticDimension;
    s.headerHeight = h < 0 ? automaticHeaderHeight(s) : h;
    h = delegate_ ? delegate_->tableViewHeightForFooterInSection(*this, i) : kTableViewAutomaticDimension;
    s.footerHeight = h < 0 ? automaticFooterHeight(s) : h;
    s.rowHeights.assign(static_cast<size_t>(s.rows), rowHeight_);
    if (delegate_) {
      for (long r = 0; r < s.rows; ++r) {
        double rh = delegate_->tableViewHeightForRowAtIndexPath(*this, {i, r});
        if (rh >= 0) s.rowHeights[r] = rh;
      }
    }
  }
  double y = tableHeaderView_ ? tableHeaderView_->frame().height() : 0;
  for (auto& s : sections_) {
    s.top = y;
    y += s.headerHeight + s.footerHeight;
    for (double rh : s.rowHeights) y += rh;
  }
  if (tableFooterView_) y += tableFooterView_->frame().height();
  setContentSize({width, y});
  placeSupplementaryViews();
}

void TableView::placeSupplementaryViews() {
  double width = bounds().width();
  double margin = style_ == Style::Grouped ? groupedMargin(width) : 0;
  if (tableHeaderView_) tableHeaderView_->setFrame({0, 0, width, tableHeaderView_->frame().height()});
  for (long i = 0; i < static_cast<long>(sections_.size()); ++i) {
    Section& s = sections_[i];
    if (s.headerView) {
      Rect r = rectForHeaderInSection(i);
      if (!s.headerFromDelegate) r = {r.x() + margin, r.y(), std::max(0.0, r.width() - 2 * margin), r.height()};
      s.headerView->setFrame(r);
      if (s.headerView->superview() != this) addSubview(s.headerView.get());
    }
    if (s.footerView) {
      Rect r = rectForFooterInSection(i);
      if (!s.footerFromDelegate) r = {r.x() + margin, r.y(), std::max(0.0, r.width() - 2 * margin), r.height()};
      s.footerView->setFrame(r);
      if (s.footerView->superview() != this) addSubview(s.footerView.get());
    }
  }
  if (tableFooterView_) {
    double h = tableFooterView_->frame().height();
    tableFooterView_->setFrame({0, contentSize().height - h, width, h});
  }
  if (backgroundView_) backgroundView_->setFrame(bounds());
}

long TableView::numberOfSections() {
  ensureLoaded();
  return static_cast<long>(sections_.size());
}

long TableView::numberOfRowsInSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return 0;
  return sections_[section].rows;
}

bool TableView::isValid(const IndexPath& p) {
  ensureLoaded();
  return p.section >= 0 && p.section < static_cast<long>(sections_.size()) && p.row >= 0 &&
         p.row < sections_[p.section].rows;
}

// ---- Geometry

Rect TableView::rectForSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return {};
  const Section& s = sections_[section];
  double h = s.headerHeight + s.footerHeight;
  for (double rh : s.rowHeights) h += rh;
  return {0, s.top, bounds().width(), h};
}

Rect TableView::rectForHeaderInSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return {};
  const Section& s = sections_[section];
  return {0, s.top, bounds().width(), s.headerHeight};
}

Rect TableView::rectForFooterInSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return {};
  const Section& s = sections_[section];
  double y = s.top + s.headerHeight;
  for (double rh : s.rowHeights) y += rh;
  return {0, y, bounds().width(), s.footerHeight};
}

Rect TableView::rectForRowAtIndexPath(const IndexPath& p) {
  if (!isValid(p)) return {};
  const Section& s = sections_[p.section];
  double y = s.top + s.headerHeight;
  for (long r = 0; r < p.row; ++r) y += s.rowHeights[r];
  double width = bounds().width();
  double margin = style_ == Style::Grouped ? groupedMargin(width) : 0;
  return {margin, y, std::max(0.0, width - 2 * margin), s.rowHeights[p.row]};
}

View* TableView::headerViewForSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return nullptr;
  return sections_[section].headerView.get();
}

View* TableView::footerViewForSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return nullptr;
  return sections_[section].footerView.get();
}

std::string TableView::titleForHeaderInSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return {};
  return sections_[section].headerTitle;
}

std::string TableView::titleForFooterInSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return {};
  return sections_[section].footerTitle;
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point p) {
  ensureLoaded();
  for (long i = 0; i < static_cast<long>(sections_.size()); ++i) {
    for (long r = 0; r < sections_[i].rows; ++r) {
      Rect rect = rectForRowAtIndexPath({i, r});
      if (p.y >= rect.minY() && p.y < rect.maxY()) return IndexPath{i, r};
    }
  }
  return std::nullopt;
}

std::vector<IndexPath> TableView::indexPathsForRowsInRect(Rect area) {
  ensureLoaded();
  std::vector<IndexPath> out;
  for (long i = 0; i < static_cast<long>(sections_.size()); ++i) {
    const Section& s = sections_[i];
    double y = s.top + s.headerHeight;
    for (long r = 0; r < s.rows; ++r) {
      double h = s.rowHeights[r];
      if (h > 0 && y < area.maxY() && y + h > area.minY()) out.push_back({i, r});
      y += h;
    }
  }
  return out;
}

// ---- Cells

std::vector<IndexPath> TableView::computeVisiblePaths() {
  if (visibleOverride_) {
    std::set<IndexPath> unique;
    for (const auto& p : *visibleOverride_) {
      if (isValid(p)) unique.insert(p);
    }
    return {unique.begin(), unique.end()};
  }
  Rect b = bounds();
  if (b.height() <= 0) return {};
  return indexPathsForRowsInRect(b);
}

void TableView::configureCell(TableViewCell& cell, const IndexPath& path) {
  cell.setTableView(this);
  if (delegate_) cell.setIndentationLevel(delegate_->tableViewIndentationLevelForRowAtIndexPath(*this, path));
  if (editing_) {
    cell.setEditingStyle(editingStyleFor(path));
    if (delegate_) cell.setShouldIndentWhileEditing(delegate_->tableViewShouldIndentWhileEditingRowAtIndexPath(*this, path));
  } else {
    cell.setEditingStyle(TableViewCell::EditingStyle::None);
  }
  cell.setEditing(editing_);
  cell.setSelected(selected_ && *selected_ == path);
}

bool TableView::holdsFirstResponder(const TableViewCell& cell) {
  auto* responder = dynamic_cast<View*>(Responder::firstResponder());
  return responder && responder->isDescendantOfView(&cell);
}

void TableView::dropKeptCell() {
  if (!kept_) return;
  Ref<TableViewCell> cell = kept_->second;
  kept_.reset();
  recycle(cell);
}

void TableView::recycle(const Ref<TableViewCell>& cell) {
  if (cell->superview() == this) cell->removeFromSuperview();
  cell->setShowingDeleteConfirmation(false);
  if (!cell->reuseIdentifier().empty()) pool_[cell->reuseIdentifier()].push_back(cell);
}

void TableView::tile() {
  if (tiling_ || loading_ || needsReload_) return;
  Ref<TableView> keep(this);
  tiling_ = true;
  std::vector<IndexPath> paths = computeVisiblePaths();
  std::set<IndexPath> wanted(paths.begin(), paths.end());
  if (kept_ && !holdsFirstResponder(*kept_->second)) dropKeptCell();
  for (auto it = visible_.begin(); it != visible_.end();) {
    if (!wanted.count(it->first)) {
      if (!kept_ && holdsFirstResponder(*it->second)) {
        kept_.emplace(it->first, it->second);
      } else {
        recycle(it->second);
      }
      it = visible_.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& p : paths) {
    if (visible_.count(p)) continue;
    if (kept_ && kept_->first == p) {
      visible_[p] = kept_->second;
      kept_.reset();
      continue;
    }
    Ref<TableViewCell> cell;
    if (dataSource_) cell = dataSource_->tableViewCellForRowAtIndexPath(*this, p);
    if (!cell) {
      std::fprintf(stderr, "kit: the table's data source gave no cell for row %s\n", toString(p).c_str());
      cell = TableViewCell::cell(TableViewCell::Style::Default);
    }
    if (needsReload_) break;  // the data source reloaded meanwhile; the next query starts over
    visible_[p] = cell;
    configureCell(*cell, p);
    cell->setFrame(rectForRowAtIndexPath(p));
    addSubview(cell.get());
    if (delegate_) delegate_->tableViewWillDisplayCell(*this, *cell, p);
  }
  for (auto& [p, cell] : visible_) cell->setFrame(rectForRowAtIndexPath(p));
  if (kept_) kept_->second->setFrame(rectForRowAtIndexPath(kept_->first));
  tiling_ = false;
}

Ref<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
  auto it = pool_.find(identifier);
  if (it == pool_.end() || it->second.empty()) return nullptr;
  Ref<TableViewCell> cell = it->second.back();
  it->second.pop_back();
  cell->prepareForReuse();
  return cell;
}

TableViewCell* TableView::cellForRowAtIndexPath(const IndexPath& path) {
  ensureLoaded();
  tile();
  auto it = visible_.find(path);
  return it == visible_.end() ? nullptr : it->second.get();
}

std::vector<Ref<TableViewCell>> TableView::visibleCells() {
  ensureLoaded();
  tile();
  std::vector<Ref<TableViewCell>> out;
  for (auto& [p, c] : visible_) out.push_back(c);
  return out;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() {
  ensureLoaded();
  tile();
  std::vector<IndexPath> out;
  for (auto& [p, c] : visible_) out.push_back(p);
  return out;
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell* cell) {
  ensureLoaded();
  tile();
  for (auto& [p, c] : visible_) {
    if (c.get() == cell) return p;
  }
  if (kept_ && kept_->second.get() == cell) return kept_->first;
  return std::nullopt;
}

void TableView::setVisibleIndexPathsForTesting(std::optional<std::vector<IndexPath>> paths) {
  visibleOverride_ = std::move(paths);
  ensureLoaded();
  tile();
}

void TableView::setBounds(Rect b) {
  ScrollView::setBounds(b);
  if (needsReload_ || loading_) return;
  if (bounds().width() != lastWidth_) computeGeometry(false);
  if (backgroundView_) backgroundView_->setFrame(bounds());
  tile();
}

void TableView::layoutSubviews() {
  ensureLoaded();
  placeSupplementaryViews();
  tile();
}

// ---- Updates

void TableView::beginUpdates() { ++updateDepth_; }

void TableView::endUpdates() {
  if (updateDepth_ == 0) return;
  if (--updateDepth_ > 0) return;
  std::vector<Update> updates;
  updates.swap(pending_);
  applyUpdates(std::move(updates));
}

void TableView::addUpdate(Op op, IndexPath path) {
  if (updateDepth_ > 0) {
    pending_.push_back({op, path});
  } else {
    applyUpdates({{op, path}});
  }
}

void TableView::insertSections(const std::vector<long>& sections, RowAnimation) {
  beginUpdates();
  for (long s : sections) addUpdate(Op::InsertSection, {s, 0});
  endUpdates();
}

void TableView::deleteSections(const std::vector<long>& sections, RowAnimation) {
  beginUpdates();
  for (long s : sections) addUpdate(Op::DeleteSection, {s, 0});
  endUpdates();
}

void TableView::reloadSections(const std::vector<long>& sections, RowAnimation) {
  beginUpdates();
  for (long s : sections) addUpdate(Op::ReloadSection, {s, 0});
  endUpdates();
}

void TableView::insertRowsAtIndexPaths(const std::vector<IndexPath>& paths, RowAnimation) {
  beginUpdates();
  for (const auto& p : paths) addUpdate(Op::InsertRow, p);
  endUpdates();
}

void TableView::deleteRowsAtIndexPaths(const std::vector<IndexPath>& paths, RowAnimation) {
  beginUpdates();
  for (const auto& p : paths) addUpdate(Op::DeleteRow, p);
  endUpdates();
}

void TableView::reloadRowsAtIndexPaths(const std::vector<IndexPath>& paths, RowAnimation) {
  beginUpdates();
  for (const auto& p : paths) addUpdate(Op::ReloadRow, p);
  endUpdates();
}

void TableView::applyUpdates(std::vector<Update> updates) {
  if (updates.empty()) return;
  Ref<TableView> keep(this);
  ++updateCount_;
  // Never loaded (or told to reload): there is nothing on screen to keep.
  if (needsReload_ || !dataSource_) {
    needsReload_ = true;
    loadData();
    return;
  }
  auto fail = [this](const std::string& why) {
    // The model moved on without the table; start from the model next time.
    needsReload_ = true;
    throw InternalInconsistencyException(why);
  };

  long oldN = static_cast<long>(sections_.size());
  std::set<long> delSec, insSec, relSec;
  std::map<long, std::set<long>> delRow, insRow, relRow;
  for (const auto& u : updates) {
    long s = u.path.section;
    switch (u.op) {
      case Op::DeleteSection:
      case Op::ReloadSection:
        if (s < 0 || s >= oldN) fail("attempt to delete or reload section " + std::to_string(s) + ", but there are only " + std::to_string(oldN) + " sections before the update");
        (u.op == Op::DeleteSection ? delSec : relSec).insert(s);
        break;
      case Op::InsertSection:
        if (s < 0) fail("attempt to insert section " + std::to_string(s));
        insSec.insert(s);
        break;
      case Op::DeleteRow:
      case Op::ReloadRow:
        if (s < 0 || s >= oldN || u.path.row < 0 || u.path.row >= sections_[s].rows) {
          fail("attempt to delete or reload row " + toString(u.path) + " which does not exist before the update");
        }
        (u.op == Op::DeleteRow ? delRow : relRow)[s].insert(u.path.row);
        break;
      case Op::InsertRow:
        if (s < 0 || u.path.row < 0) fail("attempt to insert row " + toString(u.path));
        insRow[s].insert(u.path.row);
        break;
    }
  }

  long newN = std::max(0L, dataSource_->numberOfSectionsInTableView(*this));
  std::vector<long> sectionList;  // old section of each new one, -1 for an inserted section
  for (long s = 0; s < oldN; ++s) {
    if (!delSec.count(s)) sectionList.push_back(s);
  }
  for (long idx : insSec) {
    if (idx > static_cast<long>(sectionList.size())) fail("attempt to insert section " + std::to_string(idx) + " past the end");
    sectionList.insert(sectionList.begin() + idx, -1);
  }
  if (static_cast<long>(sectionList.size()) != newN) {
    fail(countsMessage("sections", -1, newN, oldN, static_cast<long>(insSec.size()), static_cast<long>(delSec.size())));
  }

  std::vector<Section> next(static_cast<size_t>(newN));
  std::vector<long> newSectionOfOld(static_cast<size_t>(oldN), -1);
  std::vector<std::vector<long>> newRowOfOld(static_cast<size_t>(oldN));
  for (long j = 0; j < newN; ++j) {
    long s = sectionList[j];
    long rows = std::max(0L, dataSource_->tableViewNumberOfRowsInSection(*this, j));
    next[j].rows = rows;
    if (s < 0) continue;
    newSectionOfOld[s] = j;
    if (relSec.count(s)) continue;  // every row of a reloaded section is new
    long oldRows = sections_[s].rows;
    std::vector<long> rowList;
    const auto& dels = delRow[s];
    for (long r = 0; r < oldRows; ++r) {
      if (!dels.count(r)) rowList.push_back(r);
    }
    const auto& ins = insRow[j];
    for (long idx : ins) {
      if (idx > static_cast<long>(rowList.size())) fail("attempt to insert row " + toString(IndexPath{j, idx}) + " past the end of the section");
      rowList.insert(rowList.begin() + idx, -1);
    }
    if (static_cast<long>(rowList.size()) != rows) {
      fail(countsMessage("rows", j, rows, oldRows, static_cast<long>(ins.size()), static_cast<long>(dels.size())));
    }
    newRowOfOld[s].assign(static_cast<size_t>(oldRows), -1);
    const auto& rels = relRow[s];
    for (long k = 0; k < rows; ++k) {
      long r = rowList[k];
      if (r >= 0 && !rels.count(r)) newRowOfOld[s][r] = k;
    }
  }

  // Keep section views and titles for the geometry pass to refresh.
  for (auto& s : sections_) {
    if (s.headerView) s.headerView->removeFromSuperview();
    if (s.footerView) s.footerView->removeFromSuperview();
  }
  sections_ = std::move(next);
  computeGeometry(true);
  remapRows([&](const IndexPath& p) -> std::optional<IndexPath> {
    if (p.section < 0 || p.section >= oldN) return std::nullopt;
    long j = newSectionOfOld[p.section];
    if (j < 0) return std::nullopt;
    const auto& rows = newRowOfOld[p.section];
    if (p.row < 0 || p.row >= static_cast<long>(rows.size()) || rows[p.row] < 0) return std::nullopt;
    return IndexPath{j, rows[p.row]};
  });
  tile();
}

void TableView::remapRows(const PathMap& map) {
  std::map<IndexPath, Ref<TableViewCell>> next;
  for (auto& [p, cell] : visible_) {
    std::optional<IndexPath> np = map(p);
    if (np && !next.count(*np)) {
      next[*np] = cell;
    } else {
      recycle(cell);
    }
  }
  visible_.swap(next);
  if (kept_) {
    std::optional<IndexPath> np = map(kept_->first);
    if (np && !visible_.count(*np)) {
      kept_->first = *np;
    } else {
      dropKeptCell();
    }
  }
  if (selected_) selected_ = map(*selected_);
}

// ---- Selection

std::optional<IndexPath> TableView::indexPathForSelectedRow() {
  ensureLoaded();
  return selected_;
}

void TableView::selectRowAtIndexPath(std::optional<IndexPath> path, bool animated, ScrollPosition position) {
  ensureLoaded();
  if (path && !isValid(*path)) return;
  if (selected_) {
    if (auto it = visible_.find(*selected_); it != visible_.end()) it->second->setSelected(false, animated);
  }
  selected_ = path;
  if (!path) return;
  if (auto it = visible_.find(*path); it != visible_.end()) it->second->setSelected(true, animated);
  if (position != ScrollPosition::None) scrollToRowAtIndexPath(*path, position, animated);
}

void TableView::deselectRowAtIndexPath(const IndexPath& path, bool animated) {
  ensureLoaded();
  if (!selected_ || *selected_ != path) return;
  selected_.reset();
  if (auto it = visible_.find(path); it != visible_.end()) it->second->setSelected(false, animated);
}

// ---- Scrolling

void TableView::scrollToRowAtIndexPath(const IndexPath& path, ScrollPosition position, bool animated) {
  if (!isValid(path)) {
    throw RangeException("-[TableView scrollToRowAtIndexPath]: row " + toString(path) + " beyond bounds (" +
                         std::to_string(numberOfRowsInSection(path.section)) + ") for section (" +
                         std::to_string(path.section) + ")");
  }
  Rect row = rectForRowAtIndexPath(path);
  Rect b = bounds();
  double y = b.y();
  switch (position) {
    case ScrollPosition::Top:
      y = row.minY();
      break;
    case ScrollPosition::Middle:
      y = row.midY() - b.height() / 2;
      break;
    case ScrollPosition::Bottom:
      y = row.maxY() - b.height();
      break;
    case ScrollPosition::None:
      if (row.minY() < b.minY()) {
        y = row.minY();
      } else if (row.maxY() > b.maxY()) {
        y = row.maxY() - b.height();
      }
      break;
  }
  y = std::clamp(y, minimumContentOffset().y, maximumContentOffset().y);
  setContentOffset({b.x(), y}, animated);
}

void TableView::scrollToNearestSelectedRow(ScrollPosition position, bool animated) {
  ensureLoaded();
  if (selected_) scrollToRowAtIndexPath(*selected_, position, animated);
}

// ---- A user's actions

TableViewCell::EditingStyle TableView::editingStyleFor(const IndexPath& path) {
  if (!canEdit(path)) return TableViewCell::EditingStyle::None;
  return delegate_ ? delegate_->tableViewEditingStyleForRowAtIndexPath(*this, path) : TableViewCell::EditingStyle::Delete;
}

bool TableView::canEdit(const IndexPath& path) {
  return dataSource_ && dataSource_->tableViewCanEditRowAtIndexPath(*this, path);
}

bool TableView::tapRow(const IndexPath& path) {
  Ref<TableView> keep(this);
  if (!isValid(path)) return false;
  // A finger scrolls the row into sight, then must find it at its middle.
  scrollRectToVisible(rectForRowAtIndexPath(path), false);
  layoutIfNeeded();
  const Rect row = rectForRowAtIndexPath(path);
  const Point centre = row.center();
  std::string why = whyUnreachableAt(centre, "at the row's middle", [this](View* hit) {
    for (View* v = hit; v; v = v->superview())
      if (v == this) return true;
    return false;
  });
  if (!why.empty())
    throw IllegalStateException("tap on row " + std::to_string(path.section) + "." + std::to_string(path.row) + " of " +
                                describe() + ": it " + why);
  return selectRowByUser(path);
}

bool TableView::selectRowByUser(const IndexPath& path) {
  Ref<TableView> keep(this);
  if (!isValid(path)) return false;
  if (editing_ ? !allowsSelectionDuringEditing_ : !allowsSelection_) return false;
  std::optional<IndexPath> target = path;
  if (delegate_) target = delegate_->tableViewWillSelectRowAtIndexPath(*this, path);
  if (!target || !isValid(*target)) return false;
  if (selected_ && *selected_ != *target) {
    IndexPath old = *selected_;
    std::optional<IndexPath> agreed = delegate_ ? delegate_->tableViewWillDeselectRowAtIndexPath(*this, old) : old;
    deselectRowAtIndexPath(old, false);
    if (agreed && delegate_) delegate_->tableViewDidDeselectRowAtIndexPath(*this, *agreed);
  }
  if (!isValid(*target)) return false;
  selected_ = *target;
  if (auto it = visible_.find(*target); it != visible_.end()) it->second->setSelected(true);
  if (delegate_) delegate_->tableViewDidSelectRowAtIndexPath(*this, *target);
  return true;
}

bool TableView::tapAccessoryButton(const IndexPath& path) {
  Ref<TableView> keep(this);
  TableViewCell* cell = cellForRowAtIndexPath(path);
  if (!cell) return false;
  if (View* custom = cell->currentAccessoryView()) {
    auto* control = dynamic_cast<Control*>(custom);
    if (!control) return false;
    control->tap();
    return true;
  }
  if (cell->currentAccessoryType() != TableViewCell::AccessoryType::DetailDisclosureButton) return false;
  if (delegate_) delegate_->tableViewAccessoryButtonTappedForRowWithIndexPath(*this, path);
  return true;
}

bool TableView::swipeToDelete(const IndexPath& path) {
  Ref<TableView> keep(this);
  if (editing_ || !isValid(path) || !dataSource_ || !dataSource_->implementsCommitEditingStyle()) return false;
  if (editingStyleFor(path) != TableViewCell::EditingStyle::Delete) return false;
  if (delegate_) delegate_->tableViewWillBeginEditingRowAtIndexPath(*this, path);
  Ref<TableViewCell> cell(cellForRowAtIndexPath(path));
  if (cell) cell->setShowingDeleteConfirmation(true);
  dataSource_->tableViewCommitEditingStyle(*this, TableViewCell::EditingStyle::Delete, path);
  if (cell) cell->setShowingDeleteConfirmation(false);
  if (delegate_) delegate_->tableViewDidEndEditingRowAtIndexPath(*this, path);
  return true;
}

bool TableView::tapEditingControl(const IndexPath& path) {
  Ref<TableView> keep(this);
  if (!editing_ || !isValid(path) || !dataSource_ || !dataSource_->implementsCommitEditingStyle()) return false;
  TableViewCell::EditingStyle style = editingStyleFor(path);
  if (style == TableViewCell::EditingStyle::None) return false;
  dataSource_->tableViewCommitEditingStyle(*this, style, path);
  return true;
}

std::optional<IndexPath> TableView::moveRowByUser(const IndexPath& from, const IndexPath& to) {
  Ref<TableView> keep(this);
  if (!editing_ || !isValid(from) || !dataSource_ || !dataSource_->implementsMoveRow()) return std::nullopt;
  if (!dataSource_->tableViewCanMoveRowAtIndexPath(*this, from)) return std::nullopt;
  // Where a row may land: anywhere in a section, counting the row itself out of its own.
  auto droppable = [this, &from](const IndexPath& p) {
    if (p.section < 0 || p.section >= static_cast<long>(sections_.size()) || p.row < 0) return false;
    long limit = sections_[p.section].rows - (p.section == from.section ? 1 : 0);
    return p.row <= limit;
  };
  if (!droppable(to)) return std::nullopt;
  IndexPath target = delegate_ ? delegate_->tableViewTargetIndexPathForMoveFromRowAtIndexPath(*this, from, to) : to;
  if (!droppable(target)) target = from;
  if (target == from) return from;

  dataSource_->tableViewMoveRowAtIndexPath(*this, from, target);
  sections_[from.section].rows -= 1;
  sections_[target.section].rows += 1;
  computeGeometry(false);
  remapRows([&](const IndexPath& p) -> std::optional<IndexPath> {
    if (p == from) return target;
    IndexPath q = p;
    if (q.section == from.section && q.row > from.row) --q.row;
    if (q.section == target.section && q.row >= target.row) ++q.row;
    return q;
  });
  tile();
  return target;
}

std::optional<IndexPath> TableView::rowUnder(const Touches& touches) {
  Touch* touch = touches.empty() ? nullptr : touches.front().get();
  if (!touch) return std::nullopt;
  return indexPathForRowAtPoint(touch->locationInView(this));
}

TableView::Part TableView::partAt(const IndexPath& path, Point p) {
  TableViewCell* cell = cellForRowAtIndexPath(path);
  if (!cell) return Part::Row;
  const Point inCell = convertPointToView(p, cell);
  if (editing_ && cell->editingStyle() != TableViewCell::EditingStyle::None &&
      inCell.x < TableViewCell::kEditingControlWidth)
    return Part::EditingControl;
  if (!cell->currentAccessoryView() &&
      cell->currentAccessoryType() == TableViewCell::AccessoryType::DetailDisclosureButton &&
      cell->accessoryFrame().insetBy(-TableViewCell::kPadding / 2, 0).contains(inCell))
    return Part::Accessory;
  return Part::Row;
}

void TableView::touchesBegan(const Touches& touches, Event* event) {
  pressedRow_ = rowUnder(touches);
  if (!pressedRow_) {
    ScrollView::touchesBegan(touches, event);
    return;
  }
  pressedAt_ = touches.front()->locationInView(this);
  pressedPart_ = partAt(*pressedRow_, pressedAt_);
}

void TableView::touchesMoved(const Touches& touches, Event* event) {
  if (!pressedRow_ || touches.empty()) {
    ScrollView::touchesMoved(touches, event);
    return;
  }
  // A sideways drag along a row is the swipe that deletes it.
  const Point now = touches.front()->locationInView(this);
  const double dx = now.x - pressedAt_.x, dy = now.y - pressedAt_.y;
  if (std::abs(dx) >= kSwipeDistance && std::abs(dx) > 2 * std::abs(dy)) {
    const IndexPath row = *pressedRow_;
    pressedRow_.reset();
    swipeToDelete(row);
  }
}

void TableView::touchesEnded(const Touches& touches, Event* event) {
  std::optional<IndexPath> pressed = pressedRow_;
  pressedRow_.reset();
  if (!pressed) {
    ScrollView::touchesEnded(touches, event);
    return;
  }
  if (rowUnder(touches) != pressed) return;
  const Part part = partAt(*pressed, touches.front()->locationInView(this));
  if (part != pressedPart_) return;
  switch (part) {
    case Part::EditingControl:
      tapEditingControl(*pressed);
      break;
    case Part::Accessory:
      tapAccessoryButton(*pressed);
      break;
    case Part::Row:
      selectRowByUser(*pressed);
      break;
  }
}

void TableView::touchesCancelled(const Touches& touches, Event* event) {
  const bool ours = pressedRow_.has_value();
  pressedRow_.reset();
  if (!ours) ScrollView::touchesCancelled(touches, event);
}

}  // namespace kit
