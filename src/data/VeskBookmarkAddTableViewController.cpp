#include "data/VeskBookmarkAddTableViewController.h"

#include "common/LocalizedText.h"
#include "common/MyUIViewController.h"
#include "data/BookmarkScreenParts.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskBookmarkFolderSelectTableViewController.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Control.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"

namespace tolva {

namespace {

using BookmarkScreenParts::button;
using Style = kit::BarButtonItem::Style;

VeskBookmarkDatabase* store() { return VeskBookmarkDatabase::getSharedInstance(); }
std::string localized(const char* text) { return LocalizedText::localized(text); }

}  // namespace

VeskBookmarkAddTableViewController::VeskBookmarkAddTableViewController(const std::string& title,
                                                                       const std::string& url)
    : kit::TableViewController(kit::TableView::Style::Grouped), bookmark_title_(title), bookmark_url_(url) {
  setContentSizeForViewInPopover({320, 200});
  titleField_ = makeField(title, localized("Title"), kit::KeyboardType::Default);
  urlField_ = makeField(url, "", kit::KeyboardType::URL);
}

kit::Ref<kit::TextField> VeskBookmarkAddTableViewController::makeField(const std::string& text,
                                                                       const std::string& placeholder,
                                                                       kit::KeyboardType keyboard) {
  kit::Ref<kit::TextField> field = kit::make<kit::TextField>(kit::Rect(20, 10, 275, 30));
  field->setText(text);
  field->setPlaceholder(placeholder);
  field->setAdjustsFontSizeToFitWidth(true);
  field->setTextColor(kit::Color::blackColor());
  field->setBackgroundColor(kit::Color::clearColor());
  field->setAutocorrectionType(kit::TextAutocorrectionType::No);
  field->setAutocapitalizationType(kit::TextAutocapitalizationType::None);
  field->setTextAlignment(kit::TextAlignment::Left);
  field->setClearButtonMode(kit::TextField::ViewMode::WhileEditing);
  field->setReturnKeyType(kit::ReturnKeyType::Done);
  field->setKeyboardType(keyboard);
  kit::WeakRef<VeskBookmarkAddTableViewController> weak(this);
  field->addTarget("onTextChange:", kit::Control::EditingChanged, [weak](kit::Control& sender) {
    if (kit::Ref<VeskBookmarkAddTableViewController> form = weak.lock())
      form->onTextChange(dynamic_cast<kit::TextField*>(&sender));
  });
  return field;
}

void VeskBookmarkAddTableViewController::setBookmark_title(const std::string& t) {
  bookmark_title_ = t;
  titleField_->setText(t);
}

void VeskBookmarkAddTableViewController::setBookmark_url(const std::string& u) {
  bookmark_url_ = u;
  urlField_->setText(u);
}

void VeskBookmarkAddTableViewController::setSelectedPath(const kit::Array* path) {
  const bool history = path && path->count() == 1 && path->get<kit::String>(0) &&
                       path->get<kit::String>(0)->str() == BookmarkItem::kHistoryFolder;
  selectedPath_ = path && !history ? kit::Ref<kit::Array>(kit::cast<kit::Array>(path->copy())) : nullptr;
  if (isViewLoaded()) tableView()->reloadData();
}

// ---- Actions

void VeskBookmarkAddTableViewController::onCancel() {
  // Closing lets go of this form; it must outlive this call.
  kit::Ref<VeskBookmarkAddTableViewController> keep(this);
  if (kit::Ref<kit::PopoverController> popover = pop_.lock()) {
    popover->dismissPopoverAnimated(true);
  } else if (bAddAndPushed_) {
    if (kit::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
  } else {
    kit::ViewController* shown = navigationController();
    if (!shown) shown = this;
    if (kit::ViewController* presenter = shown->presentingViewController())
      presenter->dismissViewControllerAnimated(true);
  }
}

bool VeskBookmarkAddTableViewController::saveEdit() {
  VeskBookmarkDatabase* db = store();
  const size_t index = static_cast<size_t>(editingIndex_);
  if (!bSelectPathModified_) {
    db->renameItem(index, bookmark_title_);
    db->updateUrlAt(index, bookmark_url_);
    return true;
  }
  // Added to the new folder first; the old one goes only once that worked.
  kit::Ref<kit::Array> target = selectedPath_;
  const size_t before = db->nonFolderItemCount(target.get());
  const size_t itemsHere = db->currentItemCount();
  const size_t foldersHere = itemsHere - db->currentNonFolderItemCount();
  db->addItem(bookmark_title_, bookmark_url_, target.get());
  if (db->nonFolderItemCount(target.get()) != before + 1) return false;
  // Folders the add made here stand before the bookmarks and push them down.
  const size_t shift = index >= foldersHere ? db->currentItemCount() - itemsHere : 0;
  db->deleteItemAt(index + shift);
  return true;
}

void VeskBookmarkAddTableViewController::onSave() {
  kit::Ref<VeskBookmarkAddTableViewController> keep(this);
  bookmark_title_ = titleField_->text();
  bookmark_url_ = urlField_->text();
  if (bookmark_url_.empty() || bookmark_title_.empty()) return;
  if (!bEdit_)
    store()->addItem(bookmark_title_, bookmark_url_, selectedPath_.get());
  else
    saveEdit();
  store()->saveStatus();
  onCancel();
}

void VeskBookmarkAddTableViewController::onTextChange(kit::TextField*) {
  bookmark_title_ = titleField_->text();
  bookmark_url_ = urlField_->text();
  if (kit::BarButtonItem* save = navigationItem()->rightBarButtonItem())
    save->setEnabled(!bookmark_title_.empty() && !bookmark_url_.empty());
}

void VeskBookmarkAddTableViewController::pushFolderSelection() {
  VeskBookmarkFolderSelectTableViewController::pushOver(*this, this);
}

void VeskBookmarkAddTableViewController::viewWillAppear(bool animated) {
  kit::TableViewController::viewWillAppear(animated);
  BookmarkScreenParts::tintBarsOnPhone(*this);
  using Self = VeskBookmarkAddTableViewController;
  if (bEdit_) {
    setTitle(localized("Edit Bookmark"));
  } else {
    setTitle(localized("Add Bookmark"));
    navigationItem()->setLeftBarButtonItem(button(this, localized("Cancel"), Style::Bordered, "onCancel",
                                                  &Self::onCancel));
    navigationItem()->setRightBarButtonItem(button(this, localized("Save"), Style::Done, "onSave", &Self::onSave));
    onTextChange(nullptr);
  }
  tableView()->reloadData();
}

bool VeskBookmarkAddTableViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return MyUIViewController::myShouldAutorotateToInterfaceOrientation(this, o);
}

// ---- Table

long VeskBookmarkAddTableViewController::numberOfSectionsInTableView(kit::TableView&) { return 2; }

long VeskBookmarkAddTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long section) {
  return section == 0 ? 2 : 1;
}

std::string VeskBookmarkAddTableViewController::tableViewTitleForFooterInSection(kit::TableView&, long section) {
  return section == 0
             ? localized("Please make sure either title and URL are correct. (Bookmarklet starts with javascript:)")
             : localized("You can specify folder to add the bookmark.");
}

kit::Ref<kit::TableViewCell> VeskBookmarkAddTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView&, const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default);
  if (indexPath.section == 0) {
    cell->contentView()->addSubview(indexPath.row == 0 ? titleField_.get() : urlField_.get());
  } else {
    const size_t n = selectedPath_ ? selectedPath_->count() : 0;
    auto* last = n ? selectedPath_->get<kit::String>(n - 1) : nullptr;
    cell->textLabel()->setText(last ? last->str() : localized("Bookmarks"));
    cell->setAccessoryType(kit::TableViewCell::AccessoryType::DisclosureIndicator);
  }
  return cell;
}

void VeskBookmarkAddTableViewController::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView,
                                                                         const kit::IndexPath& indexPath) {
  if (indexPath.section == 1) pushFolderSelection();
  tableView.deselectRowAtIndexPath(indexPath, true);
}

// ---- Folder picker

void VeskBookmarkAddTableViewController::folderSelected(const kit::Array* path) {
  bSelectPathModified_ = VeskBookmarkDatabase::comparePath(path, store()->currentPath()) != 0;
  setSelectedPath(path);
}

kit::Ref<kit::Array> VeskBookmarkAddTableViewController::currentFolder() { return selectedPath_; }

void VeskBookmarkAddTableViewController::filterPath(kit::MutableArray&) {}

}  // namespace tolva
