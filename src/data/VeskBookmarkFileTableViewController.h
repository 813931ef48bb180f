#pragma once
// Lists the bookmark files (".htm" or ".html", any case) in the documents
// folder and imports the one the user picks into the folder "Imported",
// reporting what came in. Reached from the settings by its class name.
//
// The import runs in slices on the main run loop: the window keeps drawing,
// and a bar above the list shows how far it got until the result comes.

#include <string>

#include "data/VeskBookmarkImporterFirefox.h"
#include "kit/foundation/Array.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Label.h"
#include "kit/ui/ProgressView.h"
#include "kit/ui/TableViewController.h"

namespace tolva {

class VeskBookmarkFileTableViewController : public kit::TableViewController, public kit::AlertViewDelegate {
 public:
  static constexpr long kTagImport = 255;
  static constexpr const char* kCellIdentifier = "Cell";
  // The help page's address (its localised text is the address shown).
  static constexpr const char* kHelpURL = "https://tolva-browser.org/help/import";

  explicit VeskBookmarkFileTableViewController(kit::TableView::Style style = kit::TableView::Style::Plain);

  // The file names, read from the documents folder on first use.
  kit::MutableArray* fileArray();
  void setFileArray(kit::Ref<kit::MutableArray> files) { fileArray_ = std::move(files); }
  long lastSelectedIdx() const noexcept { return lastSelectedIdx_; }
  // The import running now, if any; its progress shows above the list.
  VeskBookmarkImporterFirefox* runningImport() const noexcept { return importer_.get(); }
  kit::ProgressView* importProgress() const noexcept { return progress_.get(); }

  void viewDidLoad() override;
  void showHelp();
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;

  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  void alertViewClickedButtonAtIndex(kit::AlertView& alert, long index) override;

  std::string className() const override { return "VeskBookmarkFileTableViewController"; }

 private:
  void showProgress(double fraction);
  void importEnded();

  kit::Ref<kit::MutableArray> fileArray_;
  kit::Ref<VeskBookmarkImporterFirefox> importer_;
  kit::Ref<kit::View> progressHeader_;
  kit::Ref<kit::Label> progressLabel_;
  kit::Ref<kit::ProgressView> progress_;
  long lastSelectedIdx_ = -1;
};

}  // namespace tolva
