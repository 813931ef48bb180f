#include "downloads/VeskDownloadTableViewController.h"

#include <algorithm>

#include "downloads/VeskDownloadAddTableViewController.h"
#include "downloads/VeskDownloadManager.h"
#include "downloads/VeskDownloadRenameTableViewController.h"
#include "downloads/VeskDownloadTableViewCell.h"
#include "kit/foundation/Bundle.h"
#include "kit/net/URLRequest.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Color.h"
#include "kit/ui/Device.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/WebView.h"
#include "settings/PrefAutorotation.h"

namespace tolva {

namespace {

bool showing = false;

std::string localized(const char* key) { return kit::Bundle::mainBundle()->localizedStringForKey(key); }

std::string lastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What the web view shows itself; anything else goes to the default application.
bool webViewShows(const std::string& contentType) {
  if (contentType.rfind("text/", 0) == 0 || contentType.rfind("image/", 0) == 0) return true;
  static const char* const shown[] = {"application/xhtml+xml", "application/xml", "application/json"};
  return std::find(std::begin(shown), std::end(shown), contentType) != std::end(shown);
}

}  // namespace

VeskDownloadTableViewController::VeskDownloadTableViewController(kit::TableView::Style style)
    : kit::TableViewController(style) {}

bool VeskDownloadTableViewController::isShowing() { return showing; }

kit::Ref<kit::NavigationController> VeskDownloadTableViewController::makeNavigationController() {
  kit::Ref<VeskDownloadTableViewController> list(new VeskDownloadTableViewController(kit::TableView::Style::Plain));
  list->setContentSizeForViewInPopover({500, 400});
  kit::Ref<kit::NavigationController> nav = kit::NavigationController::withRootViewController(list.get());
  nav->setToolbarHidden(false);
  nav->setModalPresentationStyle(kit::ViewController::ModalPresentationStyle::FormSheet);
  VeskDownloadTableViewController* raw = list.get();
  list->setToolbarItems({kit::BarButtonItem::withTitle(localized("Close"), kit::BarButtonItem::Style::Bordered,
                                                       "onClose:", [raw](kit::BarButtonItem&) { raw->onClose(); })});
  return nav;
}

void VeskDownloadTableViewController::viewDidLoad() {
  kit::TableViewController::viewDidLoad();
  tableView()->setScrollsToTop(true);
}

void VeskDownloadTableViewController::onClose() {
  if (kit::NavigationController* nav = navigationController()) nav->dismissModalViewControllerAnimated(true);
  else dismissModalViewControllerAnimated(true);
}

void VeskDownloadTableViewController::onEdit() {
  const bool editing = !isEditing();
  setEditing(editing, true);
  kit::BarButtonItem* right = navigationItem()->rightBarButtonItem();
  kit::BarButtonItem* left = navigationItem()->leftBarButtonItem();
  if (right) {
    right->setTitle(localized(editing ? "Done" : "Edit"));
    right->setStyle(editing ? kit::BarButtonItem::Style::Done : kit::BarButtonItem::Style::Bordered);
  }
  if (left) left->setTitle(localized(editing ? "Clear Failed" : "Add"));
}

void VeskDownloadTableViewController::onAddorClearAll() {
  if (isEditing()) {
    VeskDownloadManager::sharedInstance()->removeAllFailed();
    tableView()->reloadData();
    return;
  }
  kit::Ref<VeskDownloadAddTableViewController> add(
      new VeskDownloadAddTableViewController(kit::TableView::Style::Grouped));
  add->setContentSizeForViewInPopover(contentSizeForViewInPopover());
  if (kit::NavigationController* nav = navigationController()) nav->pushViewController(add.get(), true);
}

void VeskDownloadTableViewController::viewWillAppear(bool animated) {
  kit::TableViewController::viewWillAppear(animated);
  if (kit::NavigationController* nav = navigationController()) {
    nav->setToolbarHidden(false);
    nav->toolbar()->setTintColor(kit::Color::lightGrayColor());
    nav->navigationBar()->setTintColor(kit::Color::lightGrayColor());
  }
  setTitle(localized("Download(s)"));
  navigationItem()->setLeftBarButtonItem(kit::BarButtonItem::withTitle(
      localized("Add"), kit::BarButtonItem::Style::Bordered, "onAddorClearAll:",
      [this](kit::BarButtonItem&) { onAddorClearAll(); }));
  navigationItem()->setRightBarButtonItem(kit::BarButtonItem::withTitle(
      localized("Edit"), kit::BarButtonItem::Style::Bordered, "onEdit:", [this](kit::BarButtonItem&) { onEdit(); }));
  tableView()->reloadData();
  showing = true;
}

void VeskDownloadTableViewController::viewWillDisappear(bool animated) {
  kit::TableViewController::viewWillDisappear(animated);
  showing = false;
}

bool VeskDownloadTableViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

long VeskDownloadTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  return VeskDownloadManager::sharedInstance()->count();
}

kit::Ref<kit::TableViewCell> VeskDownloadTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  VeskDownloadManager* manager = VeskDownloadManager::sharedInstance();
  kit::Ref<kit::TableViewCell> reused = tableView.dequeueReusableCellWithIdentifier(
      VeskDownloadTableViewCell::kReuseIdentifier);
  kit::Ref<VeskDownloadTableViewCell> cell(dynamic_cast<VeskDownloadTableViewCell*>(reused.get()));
  // A reused cell stops showing whatever entry it showed, whichever row that is now.
  if (cell) manager->disconnectTableViewCell(cell.get());
  else cell = VeskDownloadTableViewCell::loadFromInterfaceFile();
  manager->connectToTableViewCell(indexPath.row, cell.get());
  cell->setRow(indexPath.row);
  return cell;
}

void VeskDownloadTableViewController::tableViewCommitEditingStyle(kit::TableView& tableView,
                                                                  kit::TableViewCell::EditingStyle style,
                                                                  const kit::IndexPath& indexPath) {
  if (style != kit::TableViewCell::EditingStyle::Delete) return;
  VeskDownloadManager::sharedInstance()->remove(indexPath.row);
  tableView.reloadData();
}

void VeskDownloadTableViewController::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView,
                                                                       const kit::IndexPath& indexPath) {
  VeskDownloadManager* manager = VeskDownloadManager::sharedInstance();
  if (!manager->completedItem(indexPath.row)) return;
  const std::string path = manager->pathOfItem(indexPath.row);
  applications_ = kit::DocumentOpener::shared().applicationsForFile(path);
  currentRow_ = indexPath.row;
  sheet_ = kit::Ref<kit::ActionSheet>(new kit::ActionSheet(lastComponent(path), this, {}, {}, {}));
  sheet_->addButtonWithTitle(localized("View"));
  sheet_->addButtonWithTitle(localized("Delete"));
  sheet_->addButtonWithTitle(localized("Rename"));
  if (!applications_.empty()) sheet_->addButtonWithTitle(localized("Open With ..."));
  sheet_->setCancelButtonIndex(sheet_->addButtonWithTitle(localized("Cancel")));
  sheet_->setDestructiveButtonIndex(1);
  sheet_->setTag(kTagActions);
  if (kit::Device::currentDevice().isPad()) {
    sheet_->showInView(&tableView);
  } else if (kit::NavigationController* nav = navigationController()) {
    sheet_->showFromToolbar(nav->toolbar());
  } else {
    sheet_->showInView(&tableView);
  }
}

void VeskDownloadTableViewController::actionSheetClickedButtonAtIndex(kit::ActionSheet& sheet, long index) {
  kit::Ref<VeskDownloadTableViewController> keep(this);
  VeskDownloadManager* manager = VeskDownloadManager::sharedInstance();
  if (index == sheet.cancelButtonIndex() || index < 0) return;
  const std::string path = manager->pathOfItem(currentRow_);
  if (sheet.tag() == kTagApplications) {
    if (static_cast<size_t>(index) < applications_.size()) {
      kit::DocumentOpener::shared().openFileWithApplication(path, applications_[static_cast<size_t>(index)].identifier);
    }
    return;
  }
  const long choice = index;
  if (choice == 0) {
    viewFile(path);
  } else if (choice == 1) {
    manager->remove(currentRow_);
    tableView()->reloadData();
  } else if (choice == 2) {
    kit::Ref<VeskDownloadRenameTableViewController> rename(
        new VeskDownloadRenameTableViewController(kit::TableView::Style::Grouped));
    rename->setFilename(lastComponent(path));
    rename->setCurrentRow(currentRow_);
    rename->setContentSizeForViewInPopover(contentSizeForViewInPopover());
    if (kit::NavigationController* nav = navigationController()) nav->pushViewController(rename.get(), true);
  } else if (choice == 3 && !applications_.empty()) {
    showApplications();
  }
}

void VeskDownloadTableViewController::showApplications() {
  sheet_ = kit::Ref<kit::ActionSheet>(new kit::ActionSheet(localized("Open With ..."), this, {}, {}, {}));
  for (const auto& app : applications_) sheet_->addButtonWithTitle(app.name);
  sheet_->setCancelButtonIndex(sheet_->addButtonWithTitle(localized("Cancel")));
  sheet_->setTag(kTagApplications);
  if (kit::TableViewCell* cell = tableView()->cellForRowAtIndexPath(kit::IndexPath::indexPathForRow(currentRow_, 0))) {
    kit::Rect r = cell->frame();
    r.origin.y += r.size.height / 2;
    sheet_->showFromRect(r, tableView(), true);
  } else {
    sheet_->showInView(tableView());
  }
}

void VeskDownloadTableViewController::viewFile(const std::string& path) {
  kit::DocumentOpener& opener = kit::DocumentOpener::shared();
  if (!webViewShows(opener.contentTypeOfFile(path))) {
    opener.openFileWithDefaultApplication(path);
    return;
  }
  kit::Ref<kit::ViewController> viewer(new kit::ViewController());
  viewer->setTitle(localized("File View"));
  viewer->setContentSizeForViewInPopover(contentSizeForViewInPopover());
  kit::Ref<kit::WebView> web = kit::WebView::create(view()->frame());
  web->setMultipleTouchEnabled(true);
  web->setScalesPageToFit(true);
  web->loadRequest(kit::URLRequest::requestWithURL(kit::URL::fileURLWithPath(path)).get());
  viewer->setView(web.get());
  if (kit::NavigationController* nav = navigationController()) {
    nav->setToolbarHidden(true);
    nav->pushViewController(viewer.get(), true);
  }
}

}  // namespace tolva
