#pragma once
// The form that adds a bookmark (from the page's menu or the list screen) or
// edits one (from the list screen): a title field, a URL field and the folder
// the bookmark goes into, picked with the folder picker.

#include <string>

#include "data/VeskBookmarkFolderSelectDelegate.h"
#include "kit/foundation/Array.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/TableViewController.h"
#include "kit/ui/TextField.h"

namespace tolva {

class VeskBookmarkAddTableViewController : public kit::TableViewController, public VeskBookmarkFolderSelectDelegate {
 public:
  VeskBookmarkAddTableViewController(const std::string& title, const std::string& url);

  // ---- Properties
  const std::string& bookmark_title() const noexcept { return bookmark_title_; }
  void setBookmark_title(const std::string& t);
  const std::string& bookmark_url() const noexcept { return bookmark_url_; }
  void setBookmark_url(const std::string& u);
  // The popover holding the form (tablet); it owns the form, so it is not owned here.
  kit::PopoverController* pop() const { return pop_.lock().get(); }
  void setPop(kit::PopoverController* p) { pop_ = p; }
  const kit::Array* selectedPath() const noexcept { return selectedPath_.get(); }
  // The History folder is never a target: it turns into the root.
  void setSelectedPath(const kit::Array* path);
  bool bSelectPathModified() const noexcept { return bSelectPathModified_; }
  bool bEdit() const noexcept { return bEdit_; }
  void setBEdit(bool e) { bEdit_ = e; }
  bool bAddAndPushedInNavigationController() const noexcept { return bAddAndPushed_; }
  void setBAddAndPushedInNavigationController(bool b) { bAddAndPushed_ = b; }
  long editingIndex() const noexcept { return editingIndex_; }
  void setEditingIndex(long i) { editingIndex_ = i; }
  kit::TextField* titleField() const noexcept { return titleField_.get(); }
  kit::TextField* urlField() const noexcept { return urlField_.get(); }

  // ---- Actions
  void onCancel();
  void onSave();
  void onTextChange(kit::TextField* field);
  void pushFolderSelection();

  void viewWillAppear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;

  // ---- Table
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForFooterInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  // ---- VeskBookmarkFolderSelectDelegate
  void folderSelected(const kit::Array* path) override;
  kit::Ref<kit::Array> currentFolder() override;
  void filterPath(kit::MutableArray& list) override;

  std::string className() const override { return "VeskBookmarkAddTableViewController"; }

 private:
  kit::Ref<kit::TextField> makeField(const std::string& text, const std::string& placeholder,
                                     kit::KeyboardType keyboard);
  bool saveEdit();

  std::string bookmark_title_;
  std::string bookmark_url_;
  kit::WeakRef<kit::PopoverController> pop_;
  kit::Ref<kit::Array> selectedPath_;
  bool bSelectPathModified_ = false;
  bool bEdit_ = false;
  bool bAddAndPushed_ = false;
  long editingIndex_ = 0;
  // The fields are held here, never read back through cells that may be off screen.
  kit::Ref<kit::TextField> titleField_;
  kit::Ref<kit::TextField> urlField_;
};

}  // namespace tolva
