#pragma once
// The list under the search field: search suggestions fetched from the
// search engine's completion service once the text has rested for 0.05 s,
// and the rows that find and highlight the typed text in the current page.
// At most one fetch runs at a time; an answer for a text that has changed
// since is dropped, and the list is only ever swapped on the main thread.

#include <string>
#include <vector>

#include "kit/ui/AlertView.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/TableViewController.h"
#include "kit/ui/TextField.h"

namespace tolva {

class VeskWebView;

class VeskTextSearchTableViewController : public kit::TableViewController, public kit::AlertViewDelegate {
 public:
  static constexpr const char* kCellIdentifier = "CellForSearchField";
  static constexpr size_t kMaximumSuggestions = 9;
  static constexpr double kDelay = 0.05;

  // Where suggestions come from: scheme and host of the completion service
  // (one table; tests point it at 127.0.0.1).
  static void setSuggestionServiceBase(std::string base);
  static std::string suggestionServiceBase();
  // The completion URL for `text` (only the query value is escaped).
  static std::string suggestionURL(const std::string& text);
  // The "data" of every "suggestion" element, in order; empty for anything
  // that is not well-formed XML. No network access, no entity expansion.
  static std::vector<std::string> parseSuggestions(std::string_view xml);

  VeskTextSearchTableViewController();
  ~VeskTextSearchTableViewController() override;

  const std::string& searchText() const noexcept { return searchText_; }
  void setSearchText(const std::string& text);
  const std::vector<std::string>& suggest() const noexcept { return suggest_; }
  void setSuggest(std::vector<std::string> s) { suggest_ = std::move(s); }
  VeskWebView* veskView() const noexcept { return veskView_; }
  void setVeskView(VeskWebView* v) { veskView_ = v; }
  kit::PopoverController* pop() const { return pop_.lock().get(); }
  void setPop(kit::PopoverController* p) { pop_ = p; }
  kit::TextField* textField() const noexcept { return textField_; }
  void setTextField(kit::TextField* f) { textField_ = f; }
  // Whether a fetch is under way (tests).
  bool fetching() const noexcept { return fetching_; }

  void delayedUpdate();

  void viewWillAppear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;

  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForHeaderInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForFooterInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  std::string className() const override { return "VeskTextSearchTableViewController"; }

 private:
  void bgSearchSuggestion();
  void suggestionsArrived(const std::string& forText, std::vector<std::string> list, bool ok);
  void closeList(kit::TableView& tableView);
  int highlightedCount() const;

  std::string searchText_;
  std::vector<std::string> suggest_;
  VeskWebView* veskView_ = nullptr;
  kit::WeakRef<kit::PopoverController> pop_;
  kit::TextField* textField_ = nullptr;
  bool fetching_ = false;
};

}  // namespace tolva
