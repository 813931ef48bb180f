#pragma once
// Stand-in for the bookmark list screen: it keeps the page that opens a
// chosen bookmark and answers the bar buttons the tab strip gives it. The
// real screen (folders, history, editing) replaces it.

#include "kit/ui/TableViewController.h"

namespace tolva {

class VeskWebView;

class VeskBookmarkTableViewController : public kit::TableViewController {
 public:
  explicit VeskBookmarkTableViewController(kit::TableView::Style style = kit::TableView::Style::Plain)
      : kit::TableViewController(style) {}

  VeskWebView* targetVeskView() const;
  void setTargetVeskView(VeskWebView* page);

  void onEdit() { setEditing(!isEditing(), true); }
  void onAddNew() {}
  // Closes the screens shown modally (phones).
  void onClose();

  std::string className() const override { return "VeskBookmarkTableViewController"; }

 private:
  kit::WeakRef<kit::Object> page_;  // not owned
};

}  // namespace tolva
