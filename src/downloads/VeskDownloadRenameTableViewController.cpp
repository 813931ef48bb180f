#include "downloads/VeskDownloadRenameTableViewController.h"

#include "downloads/VeskDownloadManager.h"
#include "kit/foundation/Bundle.h"

namespace tolva {

VeskDownloadRenameTableViewController::VeskDownloadRenameTableViewController(kit::TableView::Style style)
    : VeskDownloadTextFieldScreen(style, "Rename", "Apply", "Please input new filename.") {
  addField("Filename", kit::KeyboardType::Default);
}

void VeskDownloadRenameTableViewController::setFilename(std::string filename) {
  filename_ = std::move(filename);
  if (kit::TextField* f = fieldOfRow(0)) f->setText(filename_);
}

void VeskDownloadRenameTableViewController::onSave() {
  const std::string name = textOfRow(0);
  // An empty name is refused like a failed move without an error of its own (code 0).
  const int code = name.empty() ? 0 : VeskDownloadManager::sharedInstance()->renameItem(currentRow_, name);
  if (!name.empty() && code == 0) {
    close();
    return;
  }
  // The format comes from the localisation table: only its "%d" is filled in.
  std::string text = kit::Bundle::mainBundle()->localizedStringForKey("Failed to rename. Error code: %d");
  if (const size_t at = text.find("%d"); at != std::string::npos) text.replace(at, 2, std::to_string(code));
  alert(text);
}

}  // namespace tolva
