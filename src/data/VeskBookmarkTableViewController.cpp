#include "data/VeskBookmarkTableViewController.h"

#include "common/LocalizedText.h"
#include "common/MyUIViewController.h"
#include "data/BookmarkScreenParts.h"
#include "data/VeskBookmarkAddTableViewController.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskBookmarkFolderSelectTableViewController.h"
#include "data/VeskFaviconDatabase.h"
#include "kit/foundation/RunLoop.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Device.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"

namespace tolva {

namespace {

using BookmarkScreenParts::button;
using Style = kit::BarButtonItem::Style;

VeskBookmarkDatabase* store() { return VeskBookmarkDatabase::getSharedInstance(); }
bool isPad() { return kit::Device::currentDevice().isPad(); }
std::string localized(const char* text) { return LocalizedText::localized(text); }
kit::Ref<kit::BarButtonItem> flexibleSpace() {
  return kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::FlexibleSpace);
}

}  // namespace

VeskBookmarkTableViewController::VeskBookmarkTableViewController(kit::TableView::Style style)
    : kit::TableViewController(style) {}

VeskBookmarkTableViewController::~VeskBookmarkTableViewController() = default;

// ---- Properties

VeskPageTarget* VeskBookmarkTableViewController::targetVeskView() const {
  return dynamic_cast<VeskPageTarget*>(targetVeskView_.lock().get());
}

void VeskBookmarkTableViewController::setTargetVeskView(VeskPageTarget* page) {
  targetVeskView_ = dynamic_cast<kit::Object*>(page);
}

void VeskBookmarkTableViewController::setNewPath(const kit::Array* path) {
  newPath_ = path ? kit::Ref<kit::Array>(kit::cast<kit::Array>(path->copy())) : nullptr;
}

kit::TextField* VeskBookmarkTableViewController::textField() {
  if (textField_) return textField_.get();
  textField_ = kit::make<kit::TextField>(kit::Rect(20, 10, 275, 30));
  textField_->setAdjustsFontSizeToFitWidth(true);
  textField_->setTextColor(kit::Color::blackColor());
  textField_->setPlaceholder(localized("Title"));
  textField_->setKeyboardType(kit::KeyboardType::Default);
  textField_->setReturnKeyType(kit::ReturnKeyType::Default);
  textField_->setAutocorrectionType(kit::TextAutocorrectionType::No);
  textField_->setAutocapitalizationType(kit::TextAutocapitalizationType::None);
  textField_->setTextAlignment(kit::TextAlignment::Left);
  textField_->setClearButtonMode(kit::TextField::ViewMode::WhileEditing);
  if (mode_ == kModeEditFolder) textField_->setText(store()->itemNameAt(static_cast<size_t>(folderEditingIndex_)));
  return textField_.get();
}

bool VeskBookmarkTableViewController::isHistoryRow(long row) const {
  // Asked for every row: answered without copying the history out of the store.
  VeskBookmarkDatabase* db = store();
  return row == 0 && db->root() && db->folderItemCount(nullptr) > 0 &&
         db->itemNameAt(0) == BookmarkItem::kHistoryFolder;
}

kit::Ref<kit::Array> VeskBookmarkTableViewController::editedFolderPath() const {
  kit::Ref<kit::MutableArray> path = kit::MutableArray::array();
  path->addObjectsFromArray(*store()->currentPath());
  path->addObject(kit::str(store()->itemNameAt(static_cast<size_t>(folderEditingIndex_))));
  return path;
}

// ---- Actions

void VeskBookmarkTableViewController::handBackTarget() {
  kit::NavigationController* nav = navigationController();
  if (!nav) return;
  const auto& stack = nav->viewControllers();
  for (size_t i = 1; i < stack.size(); ++i)
    if (stack[i].get() == this)
      if (auto* previous = dynamic_cast<VeskBookmarkTableViewController*>(stack[i - 1].get()))
        previous->setTargetVeskView(targetVeskView());
}

void VeskBookmarkTableViewController::onBack_FromEditFolder() {
  // Popping lets go of this form; it must outlive this call.
  kit::Ref<VeskBookmarkTableViewController> keep(this);
  handBackTarget();
  if (kit::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
  const std::string title = textField()->text();
  if (title.empty()) return;
  VeskBookmarkDatabase* db = store();
  const bool same = VeskBookmarkDatabase::comparePath(newPath_.get(), db->currentPath()) == 0;
  if (mode_ == kModeAddFolder) {
    const bool added = same ? db->addFolder(title) : db->addFolder(title, newPath_.get());
    if (!added) {
      kit::Ref<kit::AlertView> alert(new kit::AlertView(
          "", localized("Failed to add folder. Same folder name already exists."), nullptr, localized("Cancel")));
      alert->show();
    }
  } else if (mode_ == kModeEditFolder) {
    if (same) {
      db->renameItem(static_cast<size_t>(folderEditingIndex_), title);
    } else if (!db->moveFolderFrom(editedFolderPath(), newPath_.get(), title)) {
      kit::Ref<kit::AlertView> alert(new kit::AlertView(
          "", localized("Failed to move folder. Check if there is any duplicate name."), nullptr, localized("Cancel")));
      alert->show();
    }
  }
  db->saveStatus();
}

void VeskBookmarkTableViewController::pushAddBookmark() {
  if (isEditing()) onEdit();
  VeskPageTarget* page = targetVeskView();
  kit::Ref<VeskBookmarkAddTableViewController> form(new VeskBookmarkAddTableViewController(
      page ? page->getTitle() : std::string(), page ? page->location() : std::string()));
  form->setBAddAndPushedInNavigationController(true);
  form->setSelectedPath(store()->currentPath());
  form->navigationItem()->setLeftBarButtonItem(button(form.get(), store()->currentFolderName(), Style::Bordered,
                                                      "onSave", &VeskBookmarkAddTableViewController::onSave));
  if (kit::NavigationController* nav = navigationController()) nav->pushViewController(form.get(), true);
}

void VeskBookmarkTableViewController::pushEditBookmark(long index) {
  kit::Ref<kit::Dictionary> item = store()->getItemAt(static_cast<size_t>(index));
  if (!item || item->count() < 2) return;
  kit::Ref<VeskBookmarkAddTableViewController> form(
      new VeskBookmarkAddTableViewController(BookmarkItem::title(item.get()), BookmarkItem::url(item.get())));
  form->setBEdit(true);
  form->setEditingIndex(index);
  // Saving closes the form back to this list, on the phone and the tablet alike.
  form->setBAddAndPushedInNavigationController(true);
  form->setSelectedPath(store()->currentPath());
  form->navigationItem()->setLeftBarButtonItem(button(form.get(), store()->currentFolderName(), Style::Bordered,
                                                      "onSave", &VeskBookmarkAddTableViewController::onSave));
  if (kit::NavigationController* nav = navigationController()) nav->pushViewController(form.get(), true);
}

kit::Ref<VeskBookmarkTableViewController> VeskBookmarkTableViewController::makeFolderForm(int mode, long index) {
  kit::Ref<VeskBookmarkTableViewController> form(new VeskBookmarkTableViewController(kit::TableView::Style::Grouped));
  form->setMode(mode);
  form->setFolderEditingIndex(index);
  form->setTargetVeskView(targetVeskView());
  form->setNewPath(store()->currentPath());
  form->navigationItem()->setLeftBarButtonItem(button(form.get(), store()->currentFolderName(), Style::Bordered,
                                                      "onBack_FromEditFolder",
                                                      &VeskBookmarkTableViewController::onBack_FromEditFolder));
  return form;
}

void VeskBookmarkTableViewController::pushCreateFolder() {
  if (kit::NavigationController* nav = navigationController())
    nav->pushViewController(makeFolderForm(kModeAddFolder, 0).get(), true);
}

void VeskBookmarkTableViewController::pushEditFolder(long index) {
  if (kit::NavigationController* nav = navigationController())
    nav->pushViewController(makeFolderForm(kModeEditFolder, index).get(), true);
}

void VeskBookmarkTableViewController::setListBars(bool editing) {
  using Self = VeskBookmarkTableViewController;
  auto add = [this] { return button(this, localized("Add"), Style::Bordered, "onAddNew:", &Self::onAddNew); };
  if (editing) {
    navigationItem()->setRightBarButtonItem(button(this, localized("Done"), Style::Done, "onEdit", &Self::onEdit));
    auto folder = button(this, localized("New Folder"), Style::Bordered, "onCreateFolder:", &Self::onCreateFolder);
    if (isPad())
      setToolbarItems({add(), flexibleSpace(), folder});
    else
      setToolbarItems({folder, flexibleSpace(), add()});
  } else {
    navigationItem()->setRightBarButtonItem(button(this, localized("Edit"), Style::Bordered, "onEdit", &Self::onEdit));
    if (isPad())
      setToolbarItems({add()});
    else
      setToolbarItems({button(this, localized("Close"), Style::Bordered, "onClose:", &Self::onClose), flexibleSpace(),
                       add()});
  }
}

void VeskBookmarkTableViewController::onEdit() {
  const bool entering = !tableView()->isEditing();
  setListBars(entering);
  setEditing(entering, true);
}

void VeskBookmarkTableViewController::onClose() {
  kit::ViewController* shown = navigationController();
  if (!shown) shown = this;
  if (kit::ViewController* presenter = shown->presentingViewController()) presenter->dismissViewControllerAnimated(true);
}

void VeskBookmarkTableViewController::onClear(kit::BarButtonItem* sender) {
  kit::Ref<kit::ActionSheet> sheet(new kit::ActionSheet("", this, localized("Cancel"), localized("Clear All")));
  if (!sender) sender = navigationItem()->rightBarButtonItem();
  if (sender)
    sheet->showFromBarButtonItem(sender, true);
  else
    sheet->showInView(view());
}

void VeskBookmarkTableViewController::onBack() {
  kit::Ref<VeskBookmarkTableViewController> keep(this);
  store()->stepOut();
  handBackTarget();
  if (kit::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

void VeskBookmarkTableViewController::dataUpdated() { tableView()->reloadData(); }

// ---- Screen

void VeskBookmarkTableViewController::viewWillAppear(bool animated) {
  kit::TableViewController::viewWillAppear(animated);
  tableView()->setAllowsSelectionDuringEditing(true);
  setContentSizeForViewInPopover({320, 400});
  BookmarkScreenParts::tintBarsOnPhone(*this);
  if (mode_ == kModeAddFolder) {
    setTitle(localized("Add Folder"));
  } else if (mode_ == kModeEditFolder) {
    setTitle(localized("Edit Folder"));
  } else {
    setTitle(store()->currentFolderName());
    kit::WeakRef<VeskBookmarkTableViewController> weak(this);
    observer_ = kit::NotificationCenter::defaultCenter().addObserver(
        isHistory_ ? kVeskBookmarkDatabaseUpdateHistoryNotification : kVeskBookmarkDatabaseUpdateNotification, store(),
        [weak](const kit::Notification&) {
          if (kit::Ref<VeskBookmarkTableViewController> screen = weak.lock()) screen->dataUpdated();
        });
  }
  tableView()->reloadData();
}

void VeskBookmarkTableViewController::viewDidAppear(bool animated) {
  kit::TableViewController::viewDidAppear(animated);
  tableView()->setAllowsSelectionDuringEditing(true);
  if (mode_ != kModeList) textField()->becomeFirstResponder();
}

void VeskBookmarkTableViewController::viewWillDisappear(bool animated) {
  kit::TableViewController::viewWillDisappear(animated);
  observer_.reset();
}

bool VeskBookmarkTableViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return MyUIViewController::myShouldAutorotateToInterfaceOrientation(this, o);
}

// ---- Table

long VeskBookmarkTableViewController::numberOfSectionsInTableView(kit::TableView&) {
  return mode_ == kModeList ? 1 : 2;
}

long VeskBookmarkTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  return mode_ == kModeList ? static_cast<long>(store()->currentItemCount()) : 1;
}

bool VeskBookmarkTableViewController::tableViewCanEditRowAtIndexPath(kit::TableView&, const kit::IndexPath&) {
  return true;
}

bool VeskBookmarkTableViewController::tableViewCanMoveRowAtIndexPath(kit::TableView&,
                                                                     const kit::IndexPath& indexPath) {
  return mode_ == kModeList && !isHistory_ && !isHistoryRow(indexPath.row);
}

void VeskBookmarkTableViewController::tableViewCommitEditingStyle(kit::TableView&,
                                                                  kit::TableViewCell::EditingStyle style,
                                                                  const kit::IndexPath& indexPath) {
  if (style == kit::TableViewCell::EditingStyle::Delete && indexPath.row >= 0)
    store()->deleteItemAt(static_cast<size_t>(indexPath.row));
}

void VeskBookmarkTableViewController::tableViewMoveRowAtIndexPath(kit::TableView&, const kit::IndexPath& from,
                                                                  const kit::IndexPath& to) {
  if (from.row >= 0 && to.row >= 0) store()->moveItemTo(static_cast<size_t>(from.row), static_cast<size_t>(to.row));
}

kit::Ref<kit::TableViewCell> VeskBookmarkTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  if (mode_ != kModeList) {
    kit::Ref<kit::TableViewCell> cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default);
    if (indexPath.section == 0) {
      cell->contentView()->addSubview(textField());
    } else {
      const size_t n = newPath_ ? newPath_->count() : 0;
      cell->textLabel()->setText(n ? newPath_->get<kit::String>(n - 1)->str() : localized("Bookmarks"));
      cell->setAccessoryType(kit::TableViewCell::AccessoryType::DisclosureIndicator);
    }
    return cell;
  }
  const char* identifier = kFolderCell;
  const bool history = isHistoryRow(indexPath.row);
  kit::Ref<kit::Dictionary> item =
      !history && indexPath.row >= 0 ? store()->rowItemAt(static_cast<size_t>(indexPath.row)) : nullptr;
  const bool bookmark = !history && item && !BookmarkItem::url(item.get()).empty();
  if (history) identifier = kHistoryCell;
  if (bookmark) identifier = kItemCell;
  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(identifier);
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default, identifier);
  if (history) {
    cell->imageView()->setImage(getIconFolderHistory());
    cell->textLabel()->setText(localized("History"));
  } else {
    kit::Ref<kit::Image> icon = bookmark ? getIconBookmark() : getIconFolder();
    // A bookmark whose site icon is stored shows it (asking starts no fetch then).
    VeskFaviconDatabase* favicons = VeskFaviconDatabase::getSharedInstance();
    if (bookmark && favicons->checkFavicon(BookmarkItem::url(item.get())))
      icon = favicons->getFavicon(BookmarkItem::url(item.get()));
    cell->imageView()->setImage(icon);
    cell->textLabel()->setText(BookmarkItem::title(item.get()));
  }
  cell->setAccessoryType(bookmark ? kit::TableViewCell::AccessoryType::None
                                  : kit::TableViewCell::AccessoryType::DisclosureIndicator);
  return cell;
}

void VeskBookmarkTableViewController::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView,
                                                                      const kit::IndexPath& indexPath) {
  tableView.deselectRowAtIndexPath(indexPath, true);
  if (mode_ != kModeList) {
    if (indexPath.section == 1) VeskBookmarkFolderSelectTableViewController::pushOver(*this, this);
    return;
  }
  if (indexPath.row < 0) return;
  const bool history = isHistoryRow(indexPath.row);
  kit::Ref<kit::Dictionary> item =
      history ? nullptr : store()->rowItemAt(static_cast<size_t>(indexPath.row));
  if (!item && !history) return;
  const std::string url = item ? BookmarkItem::url(item.get()) : std::string();
  if (!url.empty()) {
    if (tableView.isEditing()) {
      pushEditBookmark(indexPath.row);
      return;
    }
    kit::Ref<VeskBookmarkTableViewController> keep(this);
    if (VeskPageTarget* page = targetVeskView()) page->bookmarkUrlSelected(url);
    // The tablet's popover is closed by the page itself.
    if (!isPad()) onClose();
    return;
  }
  if (tableView.isEditing()) {
    if (!history) pushEditFolder(indexPath.row);
    return;
  }
  using Self = VeskBookmarkTableViewController;
  const std::string leaving = store()->currentFolderName();
  store()->stepIn(history ? std::string(BookmarkItem::kHistoryFolder) : BookmarkItem::title(item.get()));
  kit::Ref<Self> list(new Self(kit::TableView::Style::Plain));
  list->setTargetVeskView(targetVeskView());
  list->setIsHistory(history);
  Self* l = list.get();
  if (history)
    l->navigationItem()->setRightBarButtonItem(
        button(l, localized("Clear History"), Style::Bordered, "onClear:", &Self::onClearHistory));
  else
    l->navigationItem()->setRightBarButtonItem(button(l, localized("Edit"), Style::Bordered, "onEdit", &Self::onEdit));
  l->navigationItem()->setLeftBarButtonItem(button(l, leaving, Style::Bordered, "onBack", &Self::onBack));
  std::vector<kit::Ref<kit::BarButtonItem>> bar;
  if (!isPad()) bar = {button(l, localized("Close"), Style::Bordered, "onClose:", &Self::onClose), flexibleSpace()};
  if (!history) bar.push_back(button(l, localized("Add"), Style::Bordered, "onAddNew:", &Self::onAddNew));
  l->setToolbarItems(bar);
  if (kit::NavigationController* nav = navigationController()) nav->pushViewController(l, true);
}

kit::TableViewCell::EditingStyle VeskBookmarkTableViewController::tableViewEditingStyleForRowAtIndexPath(
    kit::TableView&, const kit::IndexPath& indexPath) {
  if (mode_ != kModeList || isHistory_ || isHistoryRow(indexPath.row)) return kit::TableViewCell::EditingStyle::None;
  return kit::TableViewCell::EditingStyle::Delete;
}

kit::IndexPath VeskBookmarkTableViewController::tableViewTargetIndexPathForMoveFromRowAtIndexPath(
    kit::TableView&, const kit::IndexPath& from, const kit::IndexPath& proposed) {
  const long folders = static_cast<long>(store()->currentItemCount() - store()->currentNonFolderItemCount());
  kit::IndexPath target = proposed;
  if (from.row < folders) {
    if (proposed.row >= folders) target.row = folders - 1;
    if (store()->root() && target.row == 0) target.row = 1;
  } else if (proposed.row < folders) {
    target.row = folders;
  }
  return target;
}

kit::Ref<kit::Image> VeskBookmarkTableViewController::getIconFolder() {
  return BookmarkScreenParts::picture("bookmark_folder");
}

kit::Ref<kit::Image> VeskBookmarkTableViewController::getIconFolderHistory() {
  return BookmarkScreenParts::picture("bookmark_history");
}

kit::Ref<kit::Image> VeskBookmarkTableViewController::getIconBookmark() {
  return BookmarkScreenParts::picture("bookmark_bookmark");
}

// ---- Clearing the history

void VeskBookmarkTableViewController::actionSheetClickedButtonAtIndex(kit::ActionSheet&, long index) {
  if (index != 0) return;
  store()->clearHistory();
  store()->saveStatus();
  tableView()->reloadData();
}

// ---- Folder picker

void VeskBookmarkTableViewController::folderSelected(const kit::Array* path) {
  setNewPath(path);
  tableView()->reloadData();
}

kit::Ref<kit::Array> VeskBookmarkTableViewController::currentFolder() { return newPath_; }

void VeskBookmarkTableViewController::filterPath(kit::MutableArray& list) {
  if (mode_ != kModeEditFolder) return;
  kit::Ref<kit::Array> edited = editedFolderPath();
  for (size_t i = list.count(); i-- > 0;) {
    auto* entry = list.get<kit::Dictionary>(i);
    auto* path = entry ? entry->get<kit::Array>(FolderListEntry::kPath) : nullptr;
    if (path && VeskBookmarkDatabase::Path(path, edited.get())) list.removeObjectAtIndex(i);
  }
}

}  // namespace tolva
