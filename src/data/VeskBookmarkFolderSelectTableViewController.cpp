#include "data/VeskBookmarkFolderSelectTableViewController.h"

#include "common/LocalizedText.h"
#include "common/MyUIViewController.h"
#include "data/BookmarkScreenParts.h"
#include "data/VeskBookmarkDatabase.h"
#include "kit/foundation/Number.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"

namespace tolva {

VeskBookmarkFolderSelectTableViewController::VeskBookmarkFolderSelectTableViewController(kit::TableView::Style style)
    : kit::TableViewController(style) {}

void VeskBookmarkFolderSelectTableViewController::setFolderDelegate(VeskBookmarkFolderSelectDelegate* d) {
  folderDelegate_ = d;
  delegateKeeper_ = dynamic_cast<kit::Object*>(d);
}

kit::MutableArray* VeskBookmarkFolderSelectTableViewController::data() {
  if (!data_) {
    data_ = VeskBookmarkDatabase::getSharedInstance()->extractFoldersAt(nullptr, 0);
    if (folderDelegate_) folderDelegate_->filterPath(*data_);
  }
  return data_.get();
}

kit::Image* VeskBookmarkFolderSelectTableViewController::img() {
  if (!img_) img_ = BookmarkScreenParts::picture("bookmark_folder");
  return img_.get();
}

kit::Dictionary* VeskBookmarkFolderSelectTableViewController::entry(long row) {
  return row >= 1 ? data()->get<kit::Dictionary>(static_cast<size_t>(row - 1)) : nullptr;
}

void VeskBookmarkFolderSelectTableViewController::onBack() {
  kit::Ref<VeskBookmarkFolderSelectTableViewController> keep(this);
  if (kit::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

void VeskBookmarkFolderSelectTableViewController::pushOver(kit::ViewController& screen,
                                                           VeskBookmarkFolderSelectDelegate* delegate) {
  kit::NavigationController* nav = screen.navigationController();
  if (!nav) return;
  using Self = VeskBookmarkFolderSelectTableViewController;
  kit::Ref<Self> picker(new Self(kit::TableView::Style::Plain));
  picker->setFolderDelegate(delegate);
  picker->setContentSizeForViewInPopover(screen.contentSizeForViewInPopover());
  picker->navigationItem()->setLeftBarButtonItem(
      BookmarkScreenParts::button(picker.get(), screen.title(), kit::BarButtonItem::Style::Bordered, "onBack",
                                  &Self::onBack));
  nav->pushViewController(picker.get(), true);
}

void VeskBookmarkFolderSelectTableViewController::viewWillAppear(bool animated) {
  kit::TableViewController::viewWillAppear(animated);
  BookmarkScreenParts::tintBarsOnPhone(*this);
}

bool VeskBookmarkFolderSelectTableViewController::shouldAutorotateToInterfaceOrientation(
    kit::InterfaceOrientation o) {
  return MyUIViewController::myShouldAutorotateToInterfaceOrientation(this, o);
}

long VeskBookmarkFolderSelectTableViewController::numberOfSectionsInTableView(kit::TableView&) { return 1; }

long VeskBookmarkFolderSelectTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  return static_cast<long>(data()->count()) + 1;
}

kit::Ref<kit::TableViewCell> VeskBookmarkFolderSelectTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default, kCellIdentifier);
  cell->imageView()->setImage(img());
  kit::Dictionary* e = entry(indexPath.row);
  cell->textLabel()->setText(indexPath.row == 0 ? LocalizedText::localized("Bookmarks")
                                                : BookmarkItem::text(e, FolderListEntry::kTitle));
  kit::Array* path = e ? e->get<kit::Array>(FolderListEntry::kPath) : nullptr;
  const bool chosen = folderDelegate_ && (indexPath.row == 0 || e) &&
                      VeskBookmarkDatabase::comparePath(path, folderDelegate_->currentFolder()) == 0;
  cell->setAccessoryType(chosen ? kit::TableViewCell::AccessoryType::Checkmark
                                : kit::TableViewCell::AccessoryType::None);
  return cell;
}

long VeskBookmarkFolderSelectTableViewController::tableViewIndentationLevelForRowAtIndexPath(
    kit::TableView&, const kit::IndexPath& indexPath) {
  if (indexPath.row == 0) return 0;
  kit::Dictionary* e = entry(indexPath.row);
  auto* depth = e ? e->get<kit::Number>(FolderListEntry::kDepth) : nullptr;
  return depth ? depth->integerValue() + 1 : 0;
}

void VeskBookmarkFolderSelectTableViewController::tableViewDidSelectRowAtIndexPath(kit::TableView&,
                                                                                  const kit::IndexPath& indexPath) {
  kit::Ref<VeskBookmarkFolderSelectTableViewController> keep(this);
  if (folderDelegate_) {
    kit::Dictionary* e = entry(indexPath.row);
    kit::Array* path = e ? e->get<kit::Array>(FolderListEntry::kPath) : nullptr;
    if (indexPath.row == 0 || path) {
      kit::Ref<kit::Array> chosen = path ? kit::Ref<kit::Array>(kit::cast<kit::Array>(path->copy())) : nullptr;
      folderDelegate_->folderSelected(chosen.get());
    }
  }
  onBack();
}

}  // namespace tolva
