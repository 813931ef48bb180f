#pragma once
// The share menu: every action and service that can take the item, in two
// sections ("Actions", "Services") as the sharers resource lists them.
// Choosing a row shares the item with it and closes the menu. In edit mode
// every row shows a switch; switching a service off excludes it from the
// sheet and the menu and logs the user out of it at once; Done stores the
// exclusions under "ShareExcluded". A toolbar button logs out of all
// services.

#include <string>
#include <vector>

#include "kit/ui/ActionSheet.h"
#include "kit/ui/TableViewController.h"
#include "share/core/ShareItem.h"

namespace tolva {

class ShareShareMenu : public kit::TableViewController, public kit::ActionSheetDelegate {
 public:
  struct Row {
    std::string className;
    std::string name;
    bool operator==(const Row&) const = default;
  };
  using TableData = std::vector<std::vector<Row>>;

  explicit ShareShareMenu(kit::TableView::Style style = kit::TableView::Style::Grouped);
  ~ShareShareMenu() override;

  void onLogout();
  void viewDidLoad() override;
  void viewDidDisappear(bool animated) override;
  void setItem(ShareItem* item);
  void rebuildTableDataAnimated(bool animated);
  // The rows of the section key ("actions" or "services") that can take the item.
  std::vector<Row> section(const std::string& key) const;
  void actionSheetDidDismissWithButtonIndex(kit::ActionSheet& sheet, long index) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                             const kit::IndexPath& indexPath) override;
  kit::TableViewCell::EditingStyle tableViewEditingStyleForRowAtIndexPath(kit::TableView& tableView,
                                                                          const kit::IndexPath& indexPath) override;
  bool tableViewShouldIndentWhileEditingRowAtIndexPath(kit::TableView& tableView,
                                                       const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;
  const Row* rowDataAtIndexPath(const kit::IndexPath& indexPath) const;
  std::string tableViewTitleForHeaderInSection(kit::TableView& tableView, long section) override;
  void cancel();
  void edit();
  void save();

  ShareItem* item() const noexcept { return item_.get(); }
  const TableData& tableData() const noexcept { return tableData_; }
  void setTableData(TableData d) { tableData_ = std::move(d); }
  const std::vector<std::string>& exclusions() const noexcept { return exclusions_; }
  void setExclusions(std::vector<std::string> e) { exclusions_ = std::move(e); }
  // Kept; asked when it is a ShareShareItemDelegate.
  kit::Object* shareDelegate() const noexcept { return shareDelegate_.get(); }
  void setShareDelegate(kit::Object* d) { shareDelegate_ = d; }

  std::string className() const override { return "ShareShareMenu"; }

 private:
  bool isExcluded(const std::string& className) const;
  void setRightButtonEdit(bool animated);

  kit::Ref<ShareItem> item_;
  TableData tableData_;
  std::vector<std::string> exclusions_;
  kit::Ref<kit::Object> shareDelegate_;
  kit::Ref<kit::ActionSheet> logoutSheet_;
};

}  // namespace tolva
