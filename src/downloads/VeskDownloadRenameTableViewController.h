#pragma once
// "Rename": a new name for a completed download's file, in the same folder.

#include <string>

#include "downloads/VeskDownloadTextFieldScreen.h"

namespace tolva {

class VeskDownloadRenameTableViewController : public VeskDownloadTextFieldScreen {
 public:
  explicit VeskDownloadRenameTableViewController(kit::TableView::Style style = kit::TableView::Style::Grouped);

  const std::string& filename() const noexcept { return filename_; }
  // Also the text shown for editing.
  void setFilename(std::string filename);
  long currentRow() const noexcept { return currentRow_; }
  void setCurrentRow(long row) noexcept { currentRow_ = row; }

  void onSave() override;
  bool textFieldShouldBeginEditing(kit::TextField& field) override { return field.tag() != 1; }

  std::string className() const override { return "VeskDownloadRenameTableViewController"; }

 private:
  std::string filename_;
  long currentRow_ = -1;
};

}  // namespace tolva
