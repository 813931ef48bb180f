#include "data/VeskBookmarkFileTableViewController.h"

#include <algorithm>

#include "common/LocalizedText.h"
#include "common/MyUIViewController.h"
#include "data/VeskBookmarkImporterFirefox.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/String.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "settings/PrefAppSettingsWebViewController.h"

namespace tolva {

namespace {

std::string localized(const char* text) { return LocalizedText::localized(text); }

bool isBookmarkFile(const std::string& name) {
  std::string l = name;
  std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return l.ends_with(".htm") || l.ends_with(".html");
}

std::string withCount(std::string text, long n) {
  size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(n));
  return text;
}

}  // namespace

VeskBookmarkFileTableViewController::VeskBookmarkFileTableViewController(kit::TableView::Style style)
    : kit::TableViewController(style) {}

kit::MutableArray* VeskBookmarkFileTableViewController::fileArray() {
  if (!fileArray_) {
    fileArray_ = kit::MutableArray::array();
    if (auto names = kit::FileManager::contentsOfDirectory(kit::Paths::documentsDirectory()))
      for (const std::string& name : *names)
        if (isBookmarkFile(name)) fileArray_->addObject(kit::str(name));
  }
  return fileArray_.get();
}

void VeskBookmarkFileTableViewController::viewDidLoad() {
  kit::TableViewController::viewDidLoad();
  setTitle(localized("Select file to import"));
  kit::WeakRef<VeskBookmarkFileTableViewController> weak(this);
  navigationItem()->setRightBarButtonItem(kit::BarButtonItem::withTitle(
      localized("Help"), kit::BarButtonItem::Style::Plain, "showHelp", [weak](kit::BarButtonItem&) {
        if (kit::Ref<VeskBookmarkFileTableViewController> screen = weak.lock()) screen->showHelp();
      }));
  kit::Ref<kit::AlertView> help(new kit::AlertView(
      localized("Help"), localized("You might want to copy Firefox or Safari bookmarks to Documents from iTunes."),
      nullptr, localized("Close")));
  help->show();
}

void VeskBookmarkFileTableViewController::showHelp() {
  kit::Ref<PrefAppSettingsWebViewController> page(new PrefAppSettingsWebViewController(localized(kHelpURL), ""));
  if (kit::NavigationController* nav = navigationController()) nav->pushViewController(page.get(), true);
}

bool VeskBookmarkFileTableViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return MyUIViewController::myShouldAutorotateToInterfaceOrientation(this, o);
}

long VeskBookmarkFileTableViewController::numberOfSectionsInTableView(kit::TableView&) { return 1; }

long VeskBookmarkFileTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  return static_cast<long>(fileArray()->count());
}

kit::Ref<kit::TableViewCell> VeskBookmarkFileTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default, kCellIdentifier);
  auto* name = indexPath.row >= 0 ? fileArray()->get<kit::String>(static_cast<size_t>(indexPath.row)) : nullptr;
  cell->textLabel()->setText(name ? name->str() : std::string());
  return cell;
}

void VeskBookmarkFileTableViewController::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView,
                                                                          const kit::IndexPath& indexPath) {
  tableView.deselectRowAtIndexPath(indexPath, true);
  if (importer_) return;  // one import at a time
  lastSelectedIdx_ = indexPath.row;
  kit::Ref<kit::AlertView> ask(new kit::AlertView(
      localized("Import"), "Would you like to import selected bookmark file? It will be imported to 'Imported' folder",
      this, localized("Close"), {localized("Import")}));
  ask->setTag(kTagImport);
  ask->show();
}

void VeskBookmarkFileTableViewController::alertViewClickedButtonAtIndex(kit::AlertView& alert, long index) {
  if (alert.tag() != kTagImport || index == alert.cancelButtonIndex() || index < 0 || importer_) return;
  auto* name = lastSelectedIdx_ >= 0 ? fileArray()->get<kit::String>(static_cast<size_t>(lastSelectedIdx_)) : nullptr;
  if (!name) return;
  importer_ = kit::make<VeskBookmarkImporterFirefox>();
  showProgress(0);
  kit::WeakRef<VeskBookmarkFileTableViewController> weak(this);
  importer_->importInSlices(
      kit::Paths::documentsDirectory() + "/" + name->str(),
      [weak](double fraction) {
        if (kit::Ref<VeskBookmarkFileTableViewController> screen = weak.lock()) screen->showProgress(fraction);
      },
      [weak, importer = importer_] {
        if (kit::Ref<VeskBookmarkFileTableViewController> screen = weak.lock()) screen->importEnded();
        std::string message;
        if (importer->importedBookmarks() > 0 || importer->importedFolders() > 0) {
          message = withCount(withCount(localized("Import complete. (%d bookmark(s) and %d folder(s) were imported.)"),
                                        importer->importedBookmarks()),
                              importer->importedFolders());
        } else {
          message = localized("Failed to import bookmark. Tolva only supports Firefox/Safari bookmarks.");
          // A file that could not be read says why.
          if (kit::Error* why = importer->readError()) message += "\n" + why->localizedDescription();
        }
        kit::Ref<kit::AlertView> result(
            new kit::AlertView(localized("Import Result"), message, nullptr, localized("Close")));
        result->show();
      });
}

void VeskBookmarkFileTableViewController::showProgress(double fraction) {
  if (!progressHeader_) {
    const double width = tableView()->bounds().size.width;
    progressHeader_ = kit::make<kit::View>(kit::Rect{0, 0, width, 44});
    progressHeader_->setAutoresizingMask(kit::View::FlexibleWidth);
    progressLabel_ = kit::make<kit::Label>(kit::Rect{10, 4, width - 20, 20});
    progressLabel_->setAutoresizingMask(kit::View::FlexibleWidth);
    progress_ = kit::make<kit::ProgressView>(kit::Rect{10, 30, width - 20, 8});
    progress_->setAutoresizingMask(kit::View::FlexibleWidth);
    progressHeader_->addSubview(progressLabel_.get());
    progressHeader_->addSubview(progress_.get());
    tableView()->setTableHeaderView(progressHeader_.get());
  }
  progress_->setProgress(fraction);
  progressLabel_->setText(localized("Importing") + " " + std::to_string(static_cast<int>(fraction * 100)) + "%");
}

void VeskBookmarkFileTableViewController::importEnded() {
  importer_ = nullptr;
  if (tableView()->tableHeaderView() == progressHeader_.get()) tableView()->setTableHeaderView(nullptr);
  progressHeader_ = nullptr;
  progressLabel_ = nullptr;
  progress_ = nullptr;
}

}  // namespace tolva
