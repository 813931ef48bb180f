#pragma once
// The check-mark list a value-list row opens: one row per value, titled by
// the value's title, the stored value marked. Picking another row stores its
// value, synchronises the store and posts "kAppSettingChanged"; picking the
// marked row changes nothing. While on screen it follows changes of the
// standard user defaults.
//
// Descriptions that do not line up are shown safely: a value without a title
// shows the value itself, and a stored value that is not among the values
// marks no row.

#include <optional>

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/TableView.h"
#include "kit/ui/TableViewDataSource.h"
#include "kit/ui/TableViewDelegate.h"
#include "kit/ui/ViewController.h"
#include "settings/PrefAcceptsSettingsStore.h"
#include "settings/PrefSettingsReader.h"
#include "settings/PrefSettingsStore.h"
#include "settings/PrefSpecifier.h"

namespace tolva {

class PrefSpecifierValuesViewController : public kit::ViewController,
                                          public kit::TableViewDataSource,
                                          public kit::TableViewDelegate,
                                          public PrefAcceptsSettingsStore {
 public:
  static constexpr const char* kNibName = "PrefSpecifierValuesView";
  static constexpr const char* kCellIdentifier = "kCellValue";
  // The text colour of the marked row.
  static kit::Color checkedTextColor() { return kit::Color::rgba(0.318, 0.4, 0.569, 1); }

  explicit PrefSpecifierValuesViewController(std::string nibName = kNibName);
  ~PrefSpecifierValuesViewController() override;

  // Recomputes the marked row from the stored value (or the default).
  void updateCheckedItem();
  PrefSettingsStore* settingsStore();
  void setSettingsStore(kit::Ref<PrefSettingsStore> store) override;
  PrefSpecifier* currentSpecifier() const noexcept { return currentSpecifier_.get(); }
  void setCurrentSpecifier(kit::Ref<PrefSpecifier> specifier) { currentSpecifier_ = std::move(specifier); }
  const std::optional<kit::IndexPath>& checkedItem() const noexcept { return checkedItem_; }
  void setCheckedItem(std::optional<kit::IndexPath> item) { checkedItem_ = item; }
  PrefSettingsReader* settingsReader() const noexcept { return settingsReader_.get(); }
  void setSettingsReader(kit::Ref<PrefSettingsReader> reader) { settingsReader_ = std::move(reader); }
  kit::TableView* tableView() const noexcept { return tableView_.get(); }
  // The interface file's outlet; this becomes the table's data source and delegate.
  void setTableView(kit::TableView* table);

  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  void userDefaultsDidChange();

  static void selectCell(kit::TableViewCell& cell);
  static void deselectCell(kit::TableViewCell& cell);

  // ---- Table
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForFooterInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  std::string className() const override { return "PrefSpecifierValuesViewController"; }

 private:
  kit::Ref<kit::TableView> tableView_;
  kit::Ref<PrefSpecifier> currentSpecifier_;
  std::optional<kit::IndexPath> checkedItem_;
  kit::Ref<PrefSettingsReader> settingsReader_;
  kit::Ref<PrefSettingsStore> settingsStore_;
  kit::NotificationCenter::Token defaultsObserver_;
};

}  // namespace tolva
