#pragma once
// The login form of a page that asked for an HTTP login: a user name and a
// password field, prefilled from the site's saved login. "Login" makes the
// page load the URL again with the credentials. On the tablet the form sits
// in a popover (`pop`), on the phone it is presented modally; the page view
// creates it and sets `urlStr`, `veskWebView` and `pop`. A form that has
// disappeared keeps nothing of the login.

#include <string>

#include "data/VeskPageTarget.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/TableViewController.h"
#include "kit/ui/TextField.h"

namespace tolva {

class VeskAuthenticationTableViewController : public kit::TableViewController, public kit::TextFieldDelegate {
 public:
  explicit VeskAuthenticationTableViewController(kit::TableView::Style style = kit::TableView::Style::Grouped);
  ~VeskAuthenticationTableViewController() override;

  void onCancel(kit::Object* sender);
  void onSave(kit::Object* sender);

  void viewWillAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;

  // ---- Table: one section of two rows, the URL as its footer, nothing to select.
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForFooterInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  std::optional<kit::IndexPath> tableViewWillSelectRowAtIndexPath(kit::TableView& tableView,
                                                                  const kit::IndexPath& indexPath) override;

  // ---- kit::TextFieldDelegate: the return key logs in.
  bool textFieldShouldReturn(kit::TextField& field) override;

  kit::PopoverController* pop() const { return pop_.lock().get(); }
  void setPop(kit::PopoverController* pop) { pop_ = pop; }
  VeskPageTarget* veskWebView() const noexcept { return dynamic_cast<VeskPageTarget*>(veskWebView_.get()); }
  void setVeskWebView(VeskPageTarget* page);
  const std::string& urlStr() const noexcept { return urlStr_; }
  void setUrlStr(std::string url) { urlStr_ = std::move(url); }
  const std::string& savedId() const noexcept { return savedId_; }
  const std::string& savedPassword() const noexcept { return savedPassword_; }

  // The two fields, made once and kept here (a table may hand its cells out again).
  kit::TextField* userField() const noexcept { return userField_.get(); }
  kit::TextField* passwordField() const noexcept { return passwordField_.get(); }

  std::string className() const override { return "VeskAuthenticationTableViewController"; }

 private:
  void close();
  kit::TextField* fieldForRow(long row);

  // Not owned: the popover owns this screen.
  kit::WeakRef<kit::PopoverController> pop_;
  kit::Ref<kit::Object> veskWebView_;
  std::string urlStr_;
  std::string savedPassword_;
  std::string savedId_;
  kit::Ref<kit::TextField> userField_;
  kit::Ref<kit::TextField> passwordField_;
};

}  // namespace tolva
