#pragma once
// The list under the address field: bookmarks and history entries whose URL
// (and, when asked, title) holds the typed text, or the most visited fifty
// while the field is empty. Picking one loads it in the page view.

#include <string>

#include "kit/foundation/Array.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/TableViewController.h"
#include "kit/ui/TextField.h"

namespace tolva {

class VeskWebView;

class VeskURLSearchTableViewController : public kit::TableViewController {
 public:
  static constexpr const char* kCellIdentifier = "SearchResultCell";

  VeskURLSearchTableViewController();

  const std::string& searchText() const noexcept { return searchText_; }
  // Null clears the text and does nothing else.
  void setSearchText(const std::string* text);
  void setSearchText(const std::string& text) { setSearchText(&text); }
  kit::Array* searchResult() const noexcept { return searchResult_.get(); }
  bool includeTitle() const noexcept { return includeTitle_; }
  void setIncludeTitle(bool b) { includeTitle_ = b; }
  VeskWebView* veskView() const noexcept { return veskView_; }
  void setVeskView(VeskWebView* v) { veskView_ = v; }
  kit::PopoverController* pop() const { return pop_.lock().get(); }
  void setPop(kit::PopoverController* p) { pop_ = p; }
  kit::TextField* textField() const noexcept { return textField_; }
  void setTextField(kit::TextField* f) { textField_ = f; }

  void viewWillAppear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;

  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  std::string className() const override { return "VeskURLSearchTableViewController"; }

 private:
  std::string searchText_;
  bool hasText_ = false;
  kit::Ref<kit::Array> searchResult_;
  bool includeTitle_ = false;
  VeskWebView* veskView_ = nullptr;       // the page view owns this list
  kit::WeakRef<kit::PopoverController> pop_;  // the popover owns this list
  kit::TextField* textField_ = nullptr;
};

}  // namespace tolva
