#pragma once
// The list screen behind an option-list field: a single choice reports at
// once, a multiple choice when Done is tapped; a list that is not static is
// asked of its provider first (with the activity indicator up meanwhile).

#include <optional>
#include <string>

#include "kit/foundation/Error.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/TableViewController.h"
#include "share/ui/ShareFormFieldSettings.h"
#include "share/ui/ShareFormOptionControllerClient.h"
#include "share/ui/ShareFormOptionControllerOptionProvider.h"

namespace tolva {

class ShareFormOptionController : public kit::TableViewController, public kit::AlertViewDelegate {
 public:
  ShareFormOptionController(ShareFormFieldSettings* settings, ShareFormOptionControllerClient* client);
  ~ShareFormOptionController() override;

  void viewDidLoad() override;
  void optionsEnumerated(const std::vector<std::string>& items);
  void alertViewClickedButtonAtIndex(kit::AlertView& alertView, long buttonIndex) override;
  void optionsEnumerationFailedWithError(const kit::Error* error);
  void cancel();
  void done();
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  long numberOfSectionsInTableView(kit::TableView& tableView) override { (void)tableView; return 1; }
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                             const kit::IndexPath& indexPath) override;
  // Checks the description, asks the provider when needed, reloads. A
  // description that breaks the rules is logged and shown as "No Options".
  void updateFromOptions();
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  ShareFormFieldSettings* settings() const noexcept { return settings_.get(); }
  void setSettings(ShareFormFieldSettings* s) { settings_ = s; }
  ShareFormOptionControllerClient* client() const noexcept { return client_; }
  void setClient(ShareFormOptionControllerClient* c) { client_ = c; }
  ShareFormOptionControllerOptionProvider* provider() const noexcept { return provider_.get(); }
  bool didLoad() const noexcept { return didLoad_; }

  std::string className() const override { return "ShareFormOptionController"; }

 private:
  std::string curIndexes() const;
  std::vector<std::string> items() const;
  bool allowsMultiple() const;
  void showNoOptions();

  kit::Ref<ShareFormFieldSettings> settings_;
  ShareFormOptionControllerClient* client_ = nullptr;
  kit::Ref<ShareFormOptionControllerOptionProvider> provider_;
  bool didLoad_ = false;
  kit::Ref<kit::AlertView> alert_;
};

}  // namespace tolva
