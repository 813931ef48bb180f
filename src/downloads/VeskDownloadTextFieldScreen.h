#pragma once
// The common part of the "New Download" and "Rename" screens: a grouped table of rows that each
// hold one text field, a footer, a done-style button that saves, and return in a field saving
// too. Rows are not selectable.

#include <string>
#include <vector>

#include "kit/ui/TableViewController.h"
#include "kit/ui/TextField.h"

namespace tolva {

class VeskDownloadTextFieldScreen : public kit::TableViewController, public kit::TextFieldDelegate {
 public:
  VeskDownloadTextFieldScreen(kit::TableView::Style style, const char* title, const char* saveTitle,
                              const char* footer);

  virtual void onSave() = 0;
  // The text of the field in a row ("" when the row has none).
  std::string textOfRow(long row) const;
  kit::TextField* fieldOfRow(long row) const;

  long numberOfSectionsInTableView(kit::TableView&) override { return 1; }
  long tableViewNumberOfRowsInSection(kit::TableView&, long) override { return static_cast<long>(fields_.size()); }
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                             const kit::IndexPath& indexPath) override;
  std::string tableViewTitleForFooterInSection(kit::TableView&, long) override;
  std::optional<kit::IndexPath> tableViewWillSelectRowAtIndexPath(kit::TableView&, const kit::IndexPath&) override {
    return std::nullopt;
  }
  bool textFieldShouldReturn(kit::TextField& field) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;

 protected:
  // Adds a row with a field; the first one added becomes first responder when shown.
  kit::TextField* addField(const char* placeholder, kit::KeyboardType keyboard, std::string text = {});
  // An alert without a title and with the button "Cancel".
  static void alert(const std::string& message);
  void close();

 private:
  std::string footer_;
  std::vector<kit::Ref<kit::TextField>> fields_;
  std::vector<kit::Ref<kit::TableViewCell>> cells_;
};

}  // namespace tolva
