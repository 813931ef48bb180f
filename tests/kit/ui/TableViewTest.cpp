#include "kit/ui/TableView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTest.h"
#include "kit/foundation/Exception.h"
#include "kit/ui/Button.h"
#include "kit/ui/Label.h"
#include "kit/ui/TableViewController.h"
#include "kit/ui/TextField.h"
#include "kit/ui/TableViewDataSource.h"
#include "kit/ui/TableViewDelegate.h"

using namespace kit;

namespace {

// A model of sections of row names that records what the table asks.
class Model : public TableViewDataSource, public TableViewDelegate {
 public:
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> headers;
  std::vector<std::string> footers;
  bool commits = false;
  bool moves = false;
  int cellsMade = 0;
  int cellsAsked = 0;
  std::vector<std::string> calls;
  std::optional<IndexPath> redirect;
  bool refuseSelection = false;
  std::optional<IndexPath> retarget;
  TableViewCell::EditingStyle style = TableViewCell::EditingStyle::Delete;
  std::vector<IndexPath> unmovable;

  long numberOfSectionsInTableView(TableView&) override { return static_cast<long>(rows.size()); }
  long tableViewNumberOfRowsInSection(TableView&, long s) override { return static_cast<long>(rows[s].size()); }
  Ref<TableViewCell> tableViewCellForRowAtIndexPath(TableView& t, const IndexPath& p) override {
    ++cellsAsked;
    Ref<TableViewCell> cell = t.dequeueReusableCellWithIdentifier("row");
    if (!cell) {
      ++cellsMade;
      cell = TableViewCell::cell(TableViewCell::Style::Default, "row");
    }
    cell->textLabel()->setText(rows[p.section][p.row]);
    return cell;
  }
  std::string tableViewTitleForHeaderInSection(TableView&, long s) override {
    return s < static_cast<long>(headers.size()) ? headers[s] : "";
  }
  std::string tableViewTitleForFooterInSection(TableView&, long s) override {
    return s < static_cast<long>(footers.size()) ? footers[s] : "";
  }
  bool tableViewCanMoveRowAtIndexPath(TableView&, const IndexPath& p) override {
    return std::find(unmovable.begin(), unmovable.end(), p) == unmovable.end();
  }
  void tableViewCommitEditingStyle(TableView& t, TableViewCell::EditingStyle s, const IndexPath& p) override {
    calls.push_back(std::string(s == TableViewCell::EditingStyle::Delete ? "commitDelete " : "commitInsert ") + toString(p));
    if (s == TableViewCell::EditingStyle::Delete) {
      rows[p.section].erase(rows[p.section].begin() + p.row);
      t.deleteRowsAtIndexPaths({p});
    }
  }
  void tableViewMoveRowAtIndexPath(TableView&, const IndexPath& from, const IndexPath& to) override {
    calls.push_back("move " + toString(from) + " " + toString(to));
    std::string item = rows[from.section][from.row];
    rows[from.section].erase(rows[from.section].begin() + from.row);
    rows[to.section].insert(rows[to.section].begin() + to.row, item);
  }
  bool implementsCommitEditingStyle() const override { return commits; }
  bool implementsMoveRow() const override { return moves; }

  std::optional<IndexPath> tableViewWillSelectRowAtIndexPath(TableView&, const IndexPath& p) override {
    calls.push_back("willSelect " + toString(p));
    if (refuseSelection) return std::nullopt;
    return redirect ? *redirect : p;
  }
  void tableViewDidSelectRowAtIndexPath(TableView&, const IndexPath& p) override {
    calls.push_back("didSelect " + toString(p));
  }
  void tableViewDidDeselectRowAtIndexPath(TableView&, const IndexPath& p) override {
    calls.push_back("didDeselect " + toString(p));
  }
  void tableViewAccessoryButtonTappedForRowWithIndexPath(TableView&, const IndexPath& p) override {
    calls.push_back("accessory " + toString(p));
  }
  TableViewCell::EditingStyle tableViewEditingStyleForRowAtIndexPath(TableView&, const IndexPath&) override {
    return style;
  }
  void tableViewWillBeginEditingRowAtIndexPath(TableView&, const IndexPath& p) override {
    calls.push_back("willBeginEditing " + toString(p));
  }
  void tableViewDidEndEditingRowAtIndexPath(TableView&, const IndexPath& p) override {
    calls.push_back("didEndEditing " + toString(p));
  }
  IndexPath tableViewTargetIndexPathForMoveFromRowAtIndexPath(TableView&, const IndexPath&, const IndexPath& p) override {
    return retarget ? *retarget : p;
  }
};

std::vector<std::string> names(const std::string& prefix, int n) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.push_back(prefix + std::to_string(i));
  return v;
}

class TableViewTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    table = Ref<TableView>(new TableView({0, 0, 320, 200}));
  }
  void TearDown() override {
    table->setDataSource(nullptr);
    table->setDelegate(nullptr);
    UiTest::TearDown();
  }
  void attach() {
    table->setDataSource(&model);
    table->setDelegate(&model);
  }
  std::string textAt(IndexPath p) {
    TableViewCell* c = table->cellForRowAtIndexPath(p);
    return c ? c->textLabel()->text() : "<none>";
  }

  Model model;
  Ref<TableView> table;
};

TEST_F(TableViewTest, ShowsTheRowsThatFitAndReusesCellsWhileScrolling) {
  model.rows = {names("r", 20)};
  attach();
  // 200 points of 44-point rows: rows 0..4 meet the bounds.
  auto visible = table->indexPathsForVisibleRows();
  ASSERT_EQ(visible.size(), 5u);
  EXPECT_EQ(visible.front(), (IndexPath{0, 0}));
  EXPECT_EQ(visible.back(), (IndexPath{0, 4}));
  EXPECT_EQ(model.cellsMade, 5);
  EXPECT_EQ(table->contentSize().height, 20 * 44);
  TableViewCell* first = table->cellForRowAtIndexPath({0, 0});
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->frame(), Rect(0, 0, 320, 44));
  EXPECT_EQ(first->tableView(), table.get());

  table->setContentOffset({0, 440});  // rows 10..14
  visible = table->indexPathsForVisibleRows();
  ASSERT_EQ(visible.size(), 5u);
  EXPECT_EQ(visible.front(), (IndexPath{0, 10}));
  EXPECT_EQ(model.cellsMade, 5) << "cells scrolled off are handed out again";
  EXPECT_EQ(textAt({0, 12}), "r12");
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0}), nullptr);
}

TEST_F(TableViewTest, TestsNameTheVisibleRows) {
  model.rows = {names("a", 3), names("b", 30)};
  attach();
  table->setVisibleIndexPathsForTesting(std::vector<IndexPath>{{1, 25}, {0, 1}, {7, 0}, {1, 99}});
  auto visible = table->indexPathsForVisibleRows();
  ASSERT_EQ(visible.size(), 2u) << "rows that do not exist are left out";
  EXPECT_EQ(visible[0], (IndexPath{0, 1}));
  EXPECT_EQ(visible[1], (IndexPath{1, 25}));
  EXPECT_EQ(textAt({1, 25}), "b25");
  table->setVisibleIndexPathsForTesting(std::nullopt);
  EXPECT_EQ(table->indexPathsForVisibleRows().front(), (IndexPath{0, 0}));
}

TEST_F(TableViewTest, SectionGeometryAndTitles) {
  model.rows = {names("a", 2), {}, names("c", 1)};
  model.headers = {"First", "Empty"};
  model.footers = {"", "", "The end"};
  attach();
  EXPECT_EQ(table->numberOfSections(), 3);
  EXPECT_EQ(table->numberOfRowsInSection(1), 0);
  EXPECT_EQ(table->numberOfRowsInSection(9), 0);
  // Plain: 22-point headers and footers where there is a title.
  EXPECT_EQ(table->rectForHeaderInSection(0), Rect(0, 0, 320, 22));
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 1}), Rect(0, 66, 320, 44));
  EXPECT_EQ(table->rectForSection(1), Rect(0, 110, 320, 22));
  EXPECT_EQ(table->rectForHeaderInSection(2).height(), 0);
  EXPECT_EQ(table->rectForFooterInSection(2), Rect(0, 176, 320, 22));
  auto* header = dynamic_cast<Label*>(table->headerViewForSection(1));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->text(), "Empty");
  EXPECT_EQ(table->headerViewForSection(2), nullptr);
  EXPECT_EQ(table->titleForFooterInSection(2), "The end");
  EXPECT_EQ(table->rectForRowAtIndexPath({1, 0}), Rect());
}

TEST_F(TableViewTest, GroupedTablesInsetCellsAndSizeTitledHeaders) {
  table = Ref<TableView>(new TableView({0, 0, 320, 400}, TableView::Style::Grouped));
  model.rows = {names("a", 1), names("b", 1)};
  model.headers = {"", "Title"};
  attach();
  Rect header1 = table->rectForHeaderInSection(1);
  // One line of bold 17-point text (21 high) plus 15.
  EXPECT_EQ(header1.height(), 36);
  EXPECT_EQ(table->rectForHeaderInSection(0).height(), TableView::kGroupedSectionSpacing);
  Rect row = table->rectForRowAtIndexPath({0, 0});
  EXPECT_EQ(row.x(), 10);
  EXPECT_EQ(row.width(), 300);
}

TEST_F(TableViewTest, TapSelectsThroughTheDelegateAndDeselectsThePreviousRow) {
  model.rows = {names("r", 5)};
  attach();
  EXPECT_TRUE(table->tapRow({0, 1}));
  EXPECT_TRUE(table->cellForRowAtIndexPath({0, 1})->isSelected());
  EXPECT_TRUE(table->tapRow({0, 3}));
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 1})->isSelected());
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 3}));
  std::vector<std::string> expected{"willSelect [0, 1]", "didSelect [0, 1]", "willSelect [0, 3]",
                                    "didDeselect [0, 1]", "didSelect [0, 3]"};
  EXPECT_EQ(model.calls, expected);

  model.calls.clear();
  model.redirect = IndexPath{0, 0};
  EXPECT_TRUE(table->tapRow({0, 4}));
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 0}));
  model.redirect.reset();
  model.refuseSelection = true;
  EXPECT_FALSE(table->tapRow({0, 2}));
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 0}));
  EXPECT_FALSE(table->tapRow({0, 5})) << "no such row";

  // reloadData drops the selection.
  table->reloadData();
  EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);
}

TEST_F(TableViewTest, SelectionSwitchesAndEditingMode) {
  model.rows = {names("r", 3)};
  attach();
  table->setAllowsSelection(false);
  EXPECT_FALSE(table->tapRow({0, 0}));
  table->setAllowsSelection(true);
  table->setEditing(true);
  EXPECT_FALSE(table->tapRow({0, 0})) << "no selection while editing unless allowed";
  table->setAllowsSelectionDuringEditing(true);
  EXPECT_TRUE(table->tapRow({0, 0}));

  // Programmatic selection tells nobody.
  model.calls.clear();
  table->selectRowAtIndexPath(IndexPath{0, 2}, false, TableView::ScrollPosition::None);
  table->deselectRowAtIndexPath({0, 2}, false);
  EXPECT_TRUE(model.calls.empty());
  EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);
}

TEST_F(TableViewTest, DeletingAndInsertingRowsKeepsTheCellsOfTheRowsThatStay) {
  model.rows = {names("r", 4)};
  attach();
  TableViewCell* r2 = table->cellForRowAtIndexPath({0, 2});
  table->selectRowAtIndexPath(IndexPath{0, 3}, false, TableView::ScrollPosition::None);
  model.rows[0].erase(model.rows[0].begin());
  model.rows[0].push_back("new");
  table->beginUpdates();
  table->deleteRowsAtIndexPaths({{0, 0}});
  table->insertRowsAtIndexPaths({{0, 3}});
  table->endUpdates();
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 1}), r2);
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 2})) << "the selection follows its row";
  EXPECT_EQ(textAt({0, 3}), "new");
  EXPECT_EQ(table->updateCount(), 1);

  // A reloaded row gets a fresh call for its cell.
  int asked = model.cellsAsked;
  model.rows[0][0] = "changed";
  table->reloadRowsAtIndexPaths({{0, 0}});
  EXPECT_EQ(model.cellsAsked, asked + 1);
  EXPECT_EQ(textAt({0, 0}), "changed");
}

TEST_F(TableViewTest, SectionUpdatesMoveWholeSections) {
  model.rows = {names("a", 1), names("b", 1), names("c", 1)};
  attach();
  TableViewCell* c = table->cellForRowAtIndexPath({2, 0});
  model.rows.erase(model.rows.begin());
  model.rows.insert(model.rows.begin() + 1, names("x", 2));
  table->beginUpdates();
  table->deleteSections({0});
  table->insertSections({1});
  table->endUpdates();
  EXPECT_EQ(table->numberOfSections(), 3);
  EXPECT_EQ(table->cellForRowAtIndexPath({2, 0}), c);
  EXPECT_EQ(textAt({1, 1}), "x1");
  EXPECT_EQ(textAt({0, 0}), "b0");
}

TEST_F(TableViewTest, UpdatesThatDisagreeWithTheModelThrowAndTheTableRecovers) {
  model.rows = {names("r", 3)};
  attach();
  table->numberOfSections();
  model.rows[0].pop_back();  // the model lost a row but the table is told of an insertion
  EXPECT_THROW(table->insertRowsAtIndexPaths({{0, 0}}), InternalInconsistencyException);
  EXPECT_EQ(table->numberOfRowsInSection(0), 2) << "the next question reads the model afresh";
  EXPECT_THROW(table->deleteRowsAtIndexPaths({{0, 7}}), InternalInconsistencyException);
  table->numberOfSections();
  EXPECT_THROW(table->deleteSections({3}), InternalInconsistencyException);
}

TEST_F(TableViewTest, SwipeToDeleteOnlyWhenTheDataSourceCommitsEdits) {
  model.rows = {names("r", 3)};
  attach();
  EXPECT_FALSE(table->swipeToDelete({0, 1}));
  model.commits = true;
  EXPECT_TRUE(table->swipeToDelete({0, 1}));
  std::vector<std::string> expected{"willBeginEditing [0, 1]", "commitDelete [0, 1]", "didEndEditing [0, 1]"};
  EXPECT_EQ(model.calls, expected);
  EXPECT_EQ(table->numberOfRowsInSection(0), 2);
  EXPECT_EQ(textAt({0, 1}), "r2");

  model.style = TableViewCell::EditingStyle::None;
  EXPECT_FALSE(table->swipeToDelete({0, 0}));
  table->setEditing(true);
  model.style = TableViewCell::EditingStyle::Delete;
  EXPECT_FALSE(table->swipeToDelete({0, 0})) << "no swiping in editing mode";
}

TEST_F(TableViewTest, EditingModeShowsControlsAndCommitsTheirStyle) {
  model.rows = {names("r", 2)};
  model.commits = true;
  attach();
  TableViewCell* cell = table->cellForRowAtIndexPath({0, 0});
  EXPECT_FALSE(table->tapEditingControl({0, 0})) << "not editing";
  table->setEditing(true);
  EXPECT_TRUE(cell->isEditing());
  EXPECT_EQ(cell->editingStyle(), TableViewCell::EditingStyle::Delete);
  table->layoutIfNeeded();
  cell->layoutIfNeeded();
  EXPECT_EQ(cell->contentView()->frame().x(), TableViewCell::kEditingControlWidth);

  model.style = TableViewCell::EditingStyle::Insert;
  EXPECT_TRUE(table->tapEditingControl({0, 1}));
  EXPECT_EQ(model.calls.back(), "commitInsert [0, 1]");
  table->setEditing(false);
  EXPECT_FALSE(cell->isEditing());
  EXPECT_EQ(cell->editingStyle(), TableViewCell::EditingStyle::None);
}

TEST_F(TableViewTest, MovingARowAsksForTheTargetAndTellsTheDataSource) {
  model.rows = {names("a", 3), names("b", 2)};
  attach();
  table->setVisibleIndexPathsForTesting(std::vector<IndexPath>{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}});
  EXPECT_EQ(table->moveRowByUser({0, 0}, {1, 1}), std::nullopt) << "not editing";
  table->setEditing(true);
  EXPECT_EQ(table->moveRowByUser({0, 0}, {1, 1}), std::nullopt) << "the data source does not move rows";
  model.moves = true;
  TableViewCell* a0 = table->cellForRowAtIndexPath({0, 0});
  auto landed = table->moveRowByUser({0, 0}, {1, 1});
  ASSERT_TRUE(landed);
  EXPECT_EQ(*landed, (IndexPath{1, 1}));
  EXPECT_EQ(model.calls.back(), "move [0, 0] [1, 1]");
  EXPECT_EQ(table->numberOfRowsInSection(0), 2);
  EXPECT_EQ(table->numberOfRowsInSection(1), 3);
  EXPECT_EQ(table->cellForRowAtIndexPath({1, 1}), a0);
  EXPECT_EQ(textAt({1, 2}), "b1");

  model.retarget = IndexPath{0, 0};
  landed = table->moveRowByUser({1, 2}, {1, 0});
  ASSERT_TRUE(landed);
  EXPECT_EQ(*landed, (IndexPath{0, 0})) << "the delegate moved the drop";
  EXPECT_EQ(model.rows[0][0], "b1");
  model.retarget.reset();

  model.unmovable = {{0, 0}};
  EXPECT_EQ(table->moveRowByUser({0, 0}, {0, 1}), std::nullopt);
  EXPECT_EQ(table->moveRowByUser({0, 1}, {0, 9}), std::nullopt) << "no such place";
}

TEST_F(TableViewTest, AccessoryTaps) {
  model.rows = {names("r", 3)};
  attach();
  TableViewCell* c0 = table->cellForRowAtIndexPath({0, 0});
  c0->setAccessoryType(TableViewCell::AccessoryType::DetailDisclosureButton);
  table->cellForRowAtIndexPath({0, 1})->setAccessoryType(TableViewCell::AccessoryType::Checkmark);
  Ref<Button> button(new Button());
  button->setTitle("Go");
  button->setFrame({0, 0, 30, 30});
  int pressed = 0;
  button->addTarget("press", Control::TouchUpInside, [&](Control&) { ++pressed; });
  table->cellForRowAtIndexPath({0, 2})->setAccessoryView(button.get());

  EXPECT_TRUE(table->tapAccessoryButton({0, 0}));
  EXPECT_EQ(model.calls.back(), "accessory [0, 0]");
  EXPECT_FALSE(table->tapAccessoryButton({0, 1}));
  EXPECT_TRUE(table->tapAccessoryButton({0, 2}));
  EXPECT_EQ(pressed, 1);
  table->setContentOffset({0, 500});
  EXPECT_FALSE(table->tapAccessoryButton({0, 0})) << "only rows on screen can be tapped";
}

TEST_F(TableViewTest, ScrollingToARow) {
  model.rows = {names("r", 50)};
  attach();
  table->scrollToRowAtIndexPath({0, 20}, TableView::ScrollPosition::Middle, false);
  EXPECT_EQ(table->contentOffset().y, 20 * 44 + 22 - 100);
  table->scrollToRowAtIndexPath({0, 0}, TableView::ScrollPosition::Bottom, false);
  EXPECT_EQ(table->contentOffset().y, 0) << "clamped to the top";
  table->scrollToRowAtIndexPath({0, 49}, TableView::ScrollPosition::Top, false);
  EXPECT_EQ(table->contentOffset().y, 50 * 44 - 200) << "clamped to the bottom";
  EXPECT_THROW(table->scrollToRowAtIndexPath({0, 50}, TableView::ScrollPosition::Top, false), RangeException);
  EXPECT_THROW(table->scrollToRowAtIndexPath({1, 0}, TableView::ScrollPosition::Top, false), RangeException);
}

TEST_F(TableViewTest, ACellBeingEditedIsKeptWhileItsRowIsOffScreen) {
  model.rows = {names("r", 30)};
  attach();
  Ref<Window> window = makeKeyWindow();
  window->addSubview(table.get());
  TableViewCell* cell = table->cellForRowAtIndexPath({0, 1});
  Ref<TextField> field(new TextField({0, 0, 100, 30}));
  cell->contentView()->addSubview(field.get());
  ASSERT_TRUE(field->becomeFirstResponder());

  table->setContentOffset({0, 600});
  EXPECT_TRUE(field->isFirstResponder()) << "scrolling away does not end the editing";
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 1}), nullptr);
  EXPECT_EQ(cell->superview(), table.get());
  EXPECT_EQ(table->indexPathForCell(cell), (IndexPath{0, 1}));
  table->setContentOffset({0, 0});
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 1}), cell) << "the row gets its cell back";

  table->setContentOffset({0, 600});
  field->resignFirstResponder();
  table->setContentOffset({0, 610});
  EXPECT_EQ(cell->superview(), nullptr) << "once editing ended the cell goes to the pool";
  table->removeFromSuperview();
}

TEST_F(TableViewTest, ANullCellIsReplacedNotCrashedOn) {
  struct Broken : TableViewDataSource {
    long tableViewNumberOfRowsInSection(TableView&, long) override { return 1; }
    Ref<TableViewCell> tableViewCellForRowAtIndexPath(TableView&, const IndexPath&) override { return nullptr; }
  } broken;
  table->setDataSource(&broken);
  EXPECT_NE(table->cellForRowAtIndexPath({0, 0}), nullptr);
  table->setDataSource(nullptr);
}

class TableViewCellTest : public uitest::UiTest {};

TEST_F(TableViewCellTest, StandardLayoutOfTheStyles) {
  Ref<TableViewCell> v1 = TableViewCell::cell(TableViewCell::Style::Value1, "v");
  v1->setFrame({0, 0, 300, 44});
  v1->textLabel()->setText("Name");    // 4 × 8.5 = 34 wide in bold 17
  v1->detailTextLabel()->setText("Value");
  v1->setAccessoryType(TableViewCell::AccessoryType::DisclosureIndicator);
  v1->layoutIfNeeded();
  // The accessory takes its width and a padding from the content.
  EXPECT_EQ(v1->contentView()->frame(), Rect(0, 0, 300 - 20 - 10, 44));
  EXPECT_EQ(v1->textLabel()->frame(), Rect(10, 0, 34, 44));
  double dw = v1->detailTextLabel()->sizeThatFits({}).width;
  EXPECT_EQ(v1->detailTextLabel()->frame(), Rect(270 - 10 - dw, 0, dw, 44)) << "right-aligned before the accessory";
  EXPECT_EQ(v1->accessoryFrame(), Rect(270, 12, 20, 20));

  Ref<TableViewCell> plain = TableViewCell::cell(TableViewCell::Style::Default);
  EXPECT_EQ(plain->detailTextLabel(), nullptr);
  plain->setFrame({0, 0, 200, 44});
  plain->setIndentationLevel(2);
  plain->layoutIfNeeded();
  EXPECT_EQ(plain->textLabel()->frame().x(), 30);

  // The editing accessory replaces the normal one while editing.
  Ref<View> normal = View::view({0, 0, 40, 20});
  Ref<View> editing = View::view({0, 0, 50, 20});
  plain->setAccessoryView(normal.get());
  plain->setEditingAccessoryView(editing.get());
  EXPECT_EQ(normal->superview(), plain.get());
  plain->setEditing(true);
  EXPECT_EQ(normal->superview(), nullptr);
  EXPECT_EQ(editing->superview(), plain.get());
  EXPECT_EQ(plain->currentAccessoryView(), editing.get());
}

TEST_F(TableViewCellTest, SelectionStyleNoneKeepsTheNormalLook) {
  Ref<TableViewCell> cell = TableViewCell::cell(TableViewCell::Style::Subtitle);
  cell->setSelected(true);
  EXPECT_TRUE(cell->textLabel()->isHighlighted());
  cell->setSelected(false);
  cell->setSelectionStyle(TableViewCell::SelectionStyle::None);
  cell->setSelected(true);
  EXPECT_TRUE(cell->isSelected());
  EXPECT_FALSE(cell->textLabel()->isHighlighted());
  cell->prepareForReuse();
  EXPECT_FALSE(cell->isSelected());
}

class ListController : public TableViewController {
 public:
  long tableViewNumberOfRowsInSection(TableView&, long) override { return 3; }
};

TEST_F(TableViewTest, TableViewControllerServesItsTableAndLetsGoOfIt) {
  Ref<ListController> c(new ListController());
  TableView* t = c->tableView();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(c->view(), t);
  EXPECT_EQ(t->dataSource(), c.get());
  EXPECT_EQ(t->numberOfRowsInSection(0), 3);
  t->selectRowAtIndexPath(IndexPath{0, 1}, false, TableView::ScrollPosition::None);
  c->viewWillAppear(false);
  EXPECT_EQ(t->indexPathForSelectedRow(), std::nullopt);
  c->setEditing(true, false);
  EXPECT_TRUE(t->isEditing());

  Ref<TableView> kept(t);
  c = nullptr;
  EXPECT_EQ(kept->dataSource(), nullptr);
  EXPECT_EQ(kept->delegate(), nullptr);
}

}  // namespace

TEST_F(TableViewTest, ATouchThatEndsOnTheRowItBeganOnSelectsIt) {
  model.rows = {names("r", 4)};
  attach();
  auto w = makeKeyWindow();
  w->addSubview(table.get());
  table->layoutIfNeeded();
  // Row 2 spans 88..132: a press and release inside it selects it.
  w->touchBegin({100, 100});
  w->touchEnd({120, 110});
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 2}));
  // A press that slides onto another row before release selects nothing.
  w->touchBegin({100, 20});
  w->touchEnd({100, 60});
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 2}));

  // A sideways drag along a row is its swipe: it deletes the row, selects none.
  model.commits = true;
  model.calls.clear();
  w->touchBegin({60, 20});
  w->touchMove({60 + TableView::kSwipeDistance + 1, 24});
  w->touchEnd({60 + TableView::kSwipeDistance + 1, 24});
  ASSERT_FALSE(model.calls.empty());
  EXPECT_EQ(model.calls[1], "commitDelete [0, 0]");
  EXPECT_EQ(table->numberOfRowsInSection(0), 3);

  // In editing mode a touch on a row's control commits its style.
  table->setEditing(true);
  table->layoutIfNeeded();
  w->touchBegin({TableViewCell::kEditingControlWidth / 2, 60});
  w->touchEnd({TableViewCell::kEditingControlWidth / 2, 60});
  EXPECT_EQ(model.calls.back(), "commitDelete [0, 1]");
  EXPECT_EQ(table->numberOfRowsInSection(0), 2);
  table->setEditing(false);

  // tapRow is a finger's tap: a table under another view cannot be tapped.
  Ref<kit::View> cover(new kit::View(Rect{0, 0, 320, 200}));
  w->addSubview(cover.get());
  EXPECT_THROW(table->tapRow({0, 0}), kit::IllegalStateException);
  cover->removeFromSuperview();
  EXPECT_TRUE(table->tapRow({0, 0}));
  table->removeFromSuperview();
}
