#pragma once
// The folder picker: every folder of the tree, indented by depth, under a
// first row for the root, with a checkmark on the delegate's current choice.
// Picking a row tells the delegate and goes back.

#include <string>

#include "data/VeskBookmarkFolderSelectDelegate.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/ui/Image.h"
#include "kit/ui/TableViewController.h"

namespace tolva {

class VeskBookmarkFolderSelectTableViewController : public kit::TableViewController {
 public:
  static constexpr const char* kCellIdentifier = "FolderCell";

  explicit VeskBookmarkFolderSelectTableViewController(kit::TableView::Style style = kit::TableView::Style::Plain);

  // The delegate is kept alive while the picker shows (it is the screen below).
  VeskBookmarkFolderSelectDelegate* folderDelegate() const noexcept { return folderDelegate_; }
  void setFolderDelegate(VeskBookmarkFolderSelectDelegate* d);
  // The FolderListEntry records shown, made on first use.
  kit::MutableArray* data();
  void setData(kit::Ref<kit::MutableArray> d) { data_ = std::move(d); }
  kit::Image* img();
  void setImg(kit::Ref<kit::Image> i) { img_ = std::move(i); }

  void onBack();
  // Pushes a picker over `screen` for `delegate`, with a back button titled like the screen.
  static void pushOver(kit::ViewController& screen, VeskBookmarkFolderSelectDelegate* delegate);

  void viewWillAppear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  long tableViewIndentationLevelForRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  std::string className() const override { return "VeskBookmarkFolderSelectTableViewController"; }

 private:
  kit::Dictionary* entry(long row);

  VeskBookmarkFolderSelectDelegate* folderDelegate_ = nullptr;
  kit::Ref<kit::Object> delegateKeeper_;
  kit::Ref<kit::Image> img_;
  kit::Ref<kit::MutableArray> data_;
};

}  // namespace tolva
