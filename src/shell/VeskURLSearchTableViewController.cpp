#include "shell/VeskURLSearchTableViewController.h"

#include "common/MyUIViewController.h"
#include "data/VeskBookmarkDatabase.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/Toolbar.h"
#include "shell/VeskWebView.h"

namespace tolva {
namespace {

std::string field(kit::Dictionary* item, const char* key) {
  kit::String* s = item ? item->get<kit::String>(key) : nullptr;
  return s ? s->str() : std::string();
}

}  // namespace

VeskURLSearchTableViewController::VeskURLSearchTableViewController()
    : kit::TableViewController(kit::TableView::Style::Plain) {}

void VeskURLSearchTableViewController::setSearchText(const std::string* text) {
  if (!text) {
    searchText_.clear();
    hasText_ = false;
    return;
  }
  if (hasText_ && *text == searchText_) return;
  searchText_ = *text;
  hasText_ = true;
  VeskBookmarkDatabase* store = VeskBookmarkDatabase::getSharedInstance();
  searchResult_ = searchText_.empty() ? store->getTop50() : store->find(searchText_, nullptr, includeTitle_);
  if (kit::TableView* table = tableView()) table->reloadData();
}

void VeskURLSearchTableViewController::viewWillAppear(bool animated) {
  kit::TableViewController::viewWillAppear(animated);
  if (kit::NavigationController* nav = navigationController()) {
    nav->toolbar()->setTintColor(kit::Color::lightGrayColor());
    nav->navigationBar()->setTintColor(kit::Color::lightGrayColor());
  }
}

bool VeskURLSearchTableViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return MyUIViewController::myShouldAutorotateToInterfaceOrientation(this, o);
}

long VeskURLSearchTableViewController::numberOfSectionsInTableView(kit::TableView&) { return 1; }

long VeskURLSearchTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  return searchResult_ ? static_cast<long>(searchResult_->count()) : 0;
}

kit::Ref<kit::TableViewCell> VeskURLSearchTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Subtitle, kCellIdentifier);
  kit::Dictionary* item =
      searchResult_ && indexPath.row >= 0 ? searchResult_->get<kit::Dictionary>(size_t(indexPath.row)) : nullptr;
  cell->textLabel()->setText(field(item, "title"));
  cell->detailTextLabel()->setText(field(item, "url"));
  return cell;
}

void VeskURLSearchTableViewController::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView,
                                                                       const kit::IndexPath& indexPath) {
  if (!searchResult_ || indexPath.row < 0 || size_t(indexPath.row) >= searchResult_->count()) return;
  // Closing the popover lets go of this list; stay alive until done.
  kit::Ref<VeskURLSearchTableViewController> keep(this);
  const std::string url = field(searchResult_->get<kit::Dictionary>(size_t(indexPath.row)), "url");
  if (veskView_) veskView_->bookmarkUrlSelected(url);
  if (textField_) {
    textField_->resignFirstResponder();
    textField_->setText(url);
  }
  if (kit::Ref<kit::PopoverController> popover = pop_.lock())
    popover->dismissPopoverAnimated(true);
  else
    tableView.setHidden(true);
}

}  // namespace tolva
