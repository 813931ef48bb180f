#pragma once
// "New Download": a URL and an optional file name; "Start" hands them to the download manager.

#include "downloads/VeskDownloadTextFieldScreen.h"

namespace tolva {

class VeskDownloadAddTableViewController : public VeskDownloadTextFieldScreen {
 public:
  explicit VeskDownloadAddTableViewController(kit::TableView::Style style = kit::TableView::Style::Grouped);

  void onSave() override;
  // The text with "http://" in front unless it starts with "http://" or "https://" (any case).
  static std::string withScheme(const std::string& text);

  std::string className() const override { return "VeskDownloadAddTableViewController"; }
};

}  // namespace tolva
