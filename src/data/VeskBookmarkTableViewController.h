#pragma once
// The bookmark screens: one folder's list (mode 0), or the "Edit Folder"
// (mode 1) and "Add Folder" (mode 2) forms. Each folder level is a new
// screen pushed onto the tab strip's bookmark navigation controller; the
// store's current path always names the folder of the list on top. The page
// that opens a chosen bookmark is handed from screen to screen.

#include <string>

#include "data/VeskBookmarkFolderSelectDelegate.h"
#include "data/VeskPageTarget.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/TableViewController.h"
#include "kit/ui/TextField.h"

namespace tolva {

class VeskBookmarkTableViewController : public kit::TableViewController,
                                        public kit::ActionSheetDelegate,
                                        public VeskBookmarkFolderSelectDelegate {
 public:
  enum Mode : int { kModeList = 0, kModeEditFolder = 1, kModeAddFolder = 2 };
  static constexpr const char* kHistoryCell = "BookmarkTableViewCellHistoryFolder";
  static constexpr const char* kItemCell = "BookmarkTableViewCellItem";
  static constexpr const char* kFolderCell = "BookmarkTableViewCellFolder";

  explicit VeskBookmarkTableViewController(kit::TableView::Style style = kit::TableView::Style::Plain);
  ~VeskBookmarkTableViewController() override;

  // ---- Properties
  VeskPageTarget* targetVeskView() const;
  void setTargetVeskView(VeskPageTarget* page);
  int mode() const noexcept { return mode_; }
  void setMode(int m) { mode_ = m; }
  long folderEditingIndex() const noexcept { return folderEditingIndex_; }
  void setFolderEditingIndex(long i) { folderEditingIndex_ = i; }
  bool isHistory() const noexcept { return isHistory_; }
  void setIsHistory(bool h) { isHistory_ = h; }
  const kit::Array* newPath() const noexcept { return newPath_.get(); }
  void setNewPath(const kit::Array* path);
  // The folder-title field of the forms, made on first use.
  kit::TextField* textField();
  void setTextField(kit::TextField* field) { textField_ = field; }

  // ---- Actions
  void onBack_FromEditFolder();
  void pushAddBookmark();
  void pushEditBookmark(long index);
  void pushCreateFolder();
  void pushEditFolder(long index);
  void onCreateFolder() { pushCreateFolder(); }
  void onAddNew() { pushAddBookmark(); }
  void onEdit();
  // Closes the screens shown modally (phones).
  void onClose();
  // Asks before clearing the history.
  void onClear(kit::BarButtonItem* sender);
  void onClearHistory() { onClear(nullptr); }
  void onBack();
  void dataUpdated();

  // ---- Screen
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;

  // ---- Table
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  bool tableViewCanEditRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;
  bool tableViewCanMoveRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;
  void tableViewCommitEditingStyle(kit::TableView& tableView, kit::TableViewCell::EditingStyle style,
                                   const kit::IndexPath& indexPath) override;
  void tableViewMoveRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& from,
                                   const kit::IndexPath& to) override;
  bool implementsCommitEditingStyle() const override { return true; }
  bool implementsMoveRow() const override { return true; }
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;
  kit::TableViewCell::EditingStyle tableViewEditingStyleForRowAtIndexPath(kit::TableView& tableView,
                                                                          const kit::IndexPath& indexPath) override;
  kit::IndexPath tableViewTargetIndexPathForMoveFromRowAtIndexPath(kit::TableView& tableView,
                                                                   const kit::IndexPath& from,
                                                                   const kit::IndexPath& proposed) override;

  static kit::Ref<kit::Image> getIconFolder();
  static kit::Ref<kit::Image> getIconFolderHistory();
  static kit::Ref<kit::Image> getIconBookmark();

  // ---- kit::ActionSheetDelegate (clear the history)
  void actionSheetClickedButtonAtIndex(kit::ActionSheet& sheet, long index) override;

  // ---- VeskBookmarkFolderSelectDelegate
  void folderSelected(const kit::Array* path) override;
  kit::Ref<kit::Array> currentFolder() override;
  void filterPath(kit::MutableArray& list) override;

  std::string className() const override { return "VeskBookmarkTableViewController"; }

 private:
  // Root row 0: the History folder.
  bool isHistoryRow(long row) const;
  // The current path plus the edited folder's title.
  kit::Ref<kit::Array> editedFolderPath() const;
  kit::Ref<VeskBookmarkTableViewController> makeFolderForm(int mode, long index);
  void handBackTarget();
  void setListBars(bool editing);

  kit::WeakRef<kit::Object> targetVeskView_;  // not owned
  int mode_ = kModeList;
  long folderEditingIndex_ = 0;
  kit::Ref<kit::Array> newPath_;
  bool isHistory_ = false;
  kit::Ref<kit::TextField> textField_;
  kit::NotificationCenter::Token observer_;
};

}  // namespace tolva
