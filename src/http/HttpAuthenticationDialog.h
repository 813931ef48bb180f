#pragma once
// The modal login table shown when a server or a proxy asks for a login that nothing stored
// answers. One dialog is on screen at a time; requests that need a login meanwhile wait in a
// class-wide queue, and the login typed is handed to every waiting request that needs the same
// one (the same server origin and realm, or for a proxy login the same proxy). Main thread only.

#include <vector>

#include "http/HttpAutorotatingViewController.h"
#include "http/HttpRequest.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/TableView.h"
#include "kit/ui/TableViewDataSource.h"
#include "kit/ui/TableViewDelegate.h"
#include "kit/ui/TextField.h"

namespace tolva {

enum AuthenticationDialogType : int { UsernameAndPasswordAuthenticationType = 0, ProxyAuthenticationType = 1 };

class HttpAuthenticationDialog : public HttpAutorotatingViewController,
                                 public kit::TableViewDataSource,
                                 public kit::TableViewDelegate {
 public:
  HttpAuthenticationDialog();
  ~HttpAuthenticationDialog() override;

  static void presentAuthenticationDialogForRequest(kit::Ref<HttpRequest> request);
  // Whether a person sees the program's windows and can answer the dialog (off until the
  // program shows real windows): without one, a login question nothing else answers fails at
  // once instead of waiting for ever. Any thread.
  static bool canBeAnswered();
  static void setCanBeAnswered(bool answerable);
  static void dismiss();
  // The dialog on screen, if any, and the requests waiting for theirs (tests look).
  static HttpAuthenticationDialog* currentDialog();
  static std::vector<kit::Ref<HttpRequest>> waitingRequests();

  void keyboardWillShow(const kit::Dictionary* userInfo);
  void orientationChanged();
  HttpAutorotatingViewController* presentingController();
  kit::TextField* textFieldInRow(long row, long section);
  kit::TextField* usernameField();
  kit::TextField* passwordField();
  kit::TextField* domainField();
  void viewDidDisappear(bool animated) override;
  void dismissDialog();
  void showTitle();
  void show();
  void cancelAuthenticationFromDialog();
  std::vector<kit::Ref<HttpRequest>> requestsRequiringTheseCredentials();
  static void presentNextDialog();
  void loginWithCredentialsFromDialog();

  // ---- Table
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForHeaderInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForFooterInSection(kit::TableView& tableView, long section) override;
  double tableViewHeightForHeaderInSection(kit::TableView& tableView, long section) override;
  double tableViewHeightForFooterInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;

  HttpRequest* request() const noexcept { return request_.get(); }
  void setRequest(kit::Ref<HttpRequest> request) { request_ = std::move(request); }
  int type() const noexcept { return type_; }
  void setType(int type) noexcept { type_ = type; }
  kit::TableView* tableView() const noexcept { return tableView_.get(); }
  kit::NavigationBar* navigationBar() const noexcept { return navigationBar_.get(); }
  bool didEnableRotationNotifications() const noexcept { return didEnableRotationNotifications_; }

  std::string className() const override { return "HttpAuthenticationDialog"; }

 private:
  // The scheme of the login asked for: the proxy's for a proxy login.
  std::string loginScheme() const;
  void layoutTable();

  kit::Ref<HttpRequest> request_;
  int type_ = UsernameAndPasswordAuthenticationType;
  kit::Ref<kit::TableView> tableView_;
  kit::Ref<HttpAutorotatingViewController> presentingController_;
  bool didEnableRotationNotifications_ = false;
  kit::Ref<kit::NavigationBar> navigationBar_;
  kit::NotificationCenter::Token keyboardObserver_;
  kit::NotificationCenter::Token orientationObserver_;
};

}  // namespace tolva
