#include "kit/ui/TableViewController.h"

#include "kit/ui/Screen.h"

namespace kit {

TableViewController::TableViewController(TableView::Style style) : style_(style) {}

TableViewController::~TableViewController() {
  // The table may outlive its controller (someone else holds it); it must not call back.
  if (table_) {
    if (table_->dataSource() == this) table_->setDataSource(nullptr);
    if (table_->delegate() == this) table_->setDelegate(nullptr);
  }
}

TableView* TableViewController::tableView() {
  view();
  return table_.get();
}

void TableViewController::setTableView(TableView* table) {
  if (table_ && table_.get() != table) {
    if (table_->dataSource() == this) table_->setDataSource(nullptr);
    if (table_->delegate() == this) table_->setDelegate(nullptr);
  }
  table_ = table;
  if (table) {
    table->setDataSource(this);
    table->setDelegate(this);
  }
  setView(table);
}

void TableViewController::loadView() {
  Ref<TableView> table(new TableView(Screen::mainScreen().applicationFrame(), style_));
  table->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
  setTableView(table.get());
}

void TableViewController::viewWillAppear(bool animated) {
  TableView* table = tableView();
  if (!table) return;
  if (table->reloadCount() == 0) table->reloadData();
  if (clearsSelection_) {
    if (auto selected = table->indexPathForSelectedRow()) table->deselectRowAtIndexPath(*selected, animated);
  }
}

void TableViewController::viewDidAppear(bool) {
  if (TableView* table = tableView()) table->flashScrollIndicators();
}

void TableViewController::setEditing(bool editing, bool animated) {
  ViewController::setEditing(editing, animated);
  if (TableView* table = tableView()) table->setEditing(editing, animated);
}

long TableViewController::tableViewNumberOfRowsInSection(TableView&, long) { return 0; }

Ref<TableViewCell> TableViewController::tableViewCellForRowAtIndexPath(TableView&, const IndexPath&) {
  return TableViewCell::cell(TableViewCell::Style::Default);
}

}  // namespace kit
