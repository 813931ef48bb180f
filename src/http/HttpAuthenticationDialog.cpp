#include "http/HttpAuthenticationDialog.h"

#include <atomic>
#include <cmath>
#include <utility>

#include "kit/foundation/RunLoop.h"
#include "kit/net/HTTPAuthentication.h"
#include "kit/ui/Application.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Device.h"
#include "kit/ui/GeometryValue.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Screen.h"
#include "kit/ui/TableViewCell.h"
#include "kit/ui/ViewAnimation.h"
#include "kit/ui/Window.h"

namespace tolva {

using kit::Ref;

namespace {

// Main thread only.
Ref<HttpAuthenticationDialog>& current() {
  static Ref<HttpAuthenticationDialog> dialog;
  return dialog;
}
std::vector<Ref<HttpRequest>>& queue() {
  static std::vector<Ref<HttpRequest>> waiting;
  return waiting;
}

bool isPhone() { return kit::Device::currentDevice().userInterfaceIdiom() == kit::UserInterfaceIdiom::Phone; }

void leaveQueue(HttpRequest* request) {
  auto& q = queue();
  for (auto it = q.begin(); it != q.end(); ++it) {
    if (it->get() == request) {
      q.erase(it);
      return;
    }
  }
}

bool samePort(const kit::URL* a, const kit::URL* b) { return a->port() == b->port(); }

}  // namespace

HttpAuthenticationDialog::HttpAuthenticationDialog() {
  kit::WeakRef<HttpAuthenticationDialog> weak(this);
  keyboardObserver_ = kit::NotificationCenter::defaultCenter().addObserver(
      kit::Application::kKeyboardWillShowNotification, nullptr, [weak](const kit::Notification& note) {
        if (Ref<HttpAuthenticationDialog> d = weak.lock()) d->keyboardWillShow(note.userInfo());
      });
  if (isPhone()) {
    didEnableRotationNotifications_ = true;
    orientationObserver_ = kit::NotificationCenter::defaultCenter().addObserver(
        kit::Application::kDidChangeStatusBarOrientationNotification, nullptr, [weak](const kit::Notification&) {
          if (Ref<HttpAuthenticationDialog> d = weak.lock()) d->orientationChanged();
        });
  }
}

HttpAuthenticationDialog::~HttpAuthenticationDialog() {
  if (presentingController_ && presentingController_->isViewLoaded()) presentingController_->view()->removeFromSuperview();
}

HttpAuthenticationDialog* HttpAuthenticationDialog::currentDialog() { return current().get(); }

namespace {
std::atomic<bool> gCanBeAnswered{false};
}  // namespace

bool HttpAuthenticationDialog::canBeAnswered() { return gCanBeAnswered.load(); }

void HttpAuthenticationDialog::setCanBeAnswered(bool answerable) { gCanBeAnswered.store(answerable); }

std::vector<Ref<HttpRequest>> HttpAuthenticationDialog::waitingRequests() { return queue(); }

void HttpAuthenticationDialog::presentAuthenticationDialogForRequest(Ref<HttpRequest> request) {
  if (!request) return;
  if (current()) {
    queue().push_back(std::move(request));
    return;
  }
  Ref<HttpAuthenticationDialog> dialog = kit::make<HttpAuthenticationDialog>();
  current() = dialog;
  dialog->setType(request->authenticationNeeded() == 2 ? ProxyAuthenticationType : UsernameAndPasswordAuthenticationType);
  dialog->setRequest(std::move(request));
  dialog->show();
}

void HttpAuthenticationDialog::keyboardWillShow(const kit::Dictionary* userInfo) {
  if (!isPhone() || !tableView_ || !userInfo) return;
  auto* frame = dynamic_cast<kit::GeometryValue*>(userInfo->objectForKey(kit::Application::kKeyboardFrameEndUserInfoKey));
  if (!frame) return;
  const double h = frame->rectValue().size.height;
  tableView_->setContentInset({0, 0, h, 0});
  tableView_->setScrollIndicatorInsets({0, 0, h, 0});
}

void HttpAuthenticationDialog::orientationChanged() {
  showTitle();
  // The dialog turns with the status bar: laid out upright at the turned size, then rotated.
  const kit::InterfaceOrientation o = kit::Application::sharedApplication()->statusBarOrientation();
  double degrees = 0;
  if (o == kit::InterfaceOrientation::PortraitUpsideDown) degrees = 180;
  else if (o == kit::InterfaceOrientation::LandscapeLeft) degrees = 90;
  else if (o == kit::InterfaceOrientation::LandscapeRight) degrees = -90;
  const double angle = degrees * M_PI / 180;
  const kit::Rect frame = kit::Screen::mainScreen().applicationFrame();
  double width = frame.size.width, height = frame.size.height;
  if (kit::isLandscape(o)) std::swap(width, height);
  kit::View* root = view();
  const kit::AffineTransform previous = root->transform();
  root->setTransform(kit::AffineTransform::identity());
  root->setFrame({0, 0, width, height});
  root->setTransform(previous);
  Ref<kit::View> keep(root);
  kit::ViewAnimation::animate(0.3, [keep, angle, frame] {
    keep->setTransform(kit::AffineTransform::rotation(angle));
    // Turned, it covers the application frame: its origin goes to the frame's (moved by the
    // centre, since a frame is not defined under a rotation).
    keep->setCenter({frame.origin.x + frame.size.width / 2, frame.origin.y + frame.size.height / 2});
  });
}

HttpAutorotatingViewController* HttpAuthenticationDialog::presentingController() {
  if (!presentingController_) {
    presentingController_ = kit::make<HttpAutorotatingViewController>();
    kit::Application* app = kit::Application::sharedApplication();
    std::vector<Ref<kit::Window>> windows = app ? app->windows() : std::vector<Ref<kit::Window>>();
    kit::View* v = presentingController_->view();
    v->setFrame({0, 0, 0, 0});
    v->setUserInteractionEnabled(false);
    if (!windows.empty()) windows.front()->addSubview(v);
  }
  return presentingController_.get();
}

kit::TextField* HttpAuthenticationDialog::textFieldInRow(long row, long section) {
  if (!tableView_) return nullptr;
  kit::TableViewCell* cell = tableView_->cellForRowAtIndexPath(kit::IndexPath::indexPathForRow(row, section));
  if (!cell || cell->contentView()->subviews().empty()) return nullptr;
  return dynamic_cast<kit::TextField*>(cell->contentView()->subviews().front().get());
}

kit::TextField* HttpAuthenticationDialog::usernameField() { return textFieldInRow(0, 0); }
kit::TextField* HttpAuthenticationDialog::passwordField() { return textFieldInRow(1, 0); }
kit::TextField* HttpAuthenticationDialog::domainField() { return textFieldInRow(0, 1); }

void HttpAuthenticationDialog::dismiss() {
  if (Ref<HttpAuthenticationDialog> d = current()) d->dismissDialog();
}

void HttpAuthenticationDialog::viewDidDisappear(bool animated) {
  HttpAutorotatingViewController::viewDidDisappear(animated);
  Ref<HttpAuthenticationDialog> self(this);
  if (current().get() == this) current() = nullptr;
  kit::RunLoop::performOnMainThread([] { presentNextDialog(); }, false);
}

void HttpAuthenticationDialog::dismissDialog() {
  Ref<HttpAuthenticationDialog> self(this);
  // Without a window on screen nothing tells the dialog it disappeared; it must not stay current.
  const bool willHear = isViewLoaded() && view()->isOnScreen();
  if (kit::ViewController* parent = presentingViewController()) parent->dismissViewControllerAnimated(true);
  if (!willHear && current().get() == this) viewDidDisappear(false);
}

void HttpAuthenticationDialog::showTitle() {
  if (!navigationBar_) return;
  kit::NavigationItem* item = navigationBar_->topItem();
  kit::Application* app = kit::Application::sharedApplication();
  const bool portrait = !app || kit::isPortrait(app->statusBarOrientation());
  if (item) {
    if (portrait) {
      item->setPrompt(type_ == ProxyAuthenticationType ? "Login to this secure proxy server."
                                                        : "Login to this secure server.");
    } else {
      item->setPrompt({});
    }
  }
  navigationBar_->sizeToFit();
  layoutTable();
}

void HttpAuthenticationDialog::layoutTable() {
  if (!tableView_ || !navigationBar_) return;
  kit::Rect frame = view()->bounds();
  const double barHeight = navigationBar_->frame().size.height;
  frame.origin.y += barHeight;
  frame.size.height -= barHeight;
  tableView_->setFrame(frame);
}

void HttpAuthenticationDialog::show() {
  kit::View* root = view();
  // Laid out at the size it is shown at, so that the table has its rows from the start.
  if (root->bounds().size.width <= 0 || root->bounds().size.height <= 0) {
    const kit::Rect screen = kit::Screen::mainScreen().applicationFrame();
    root->setFrame(isPhone() ? kit::Rect{0, 0, screen.size.width, screen.size.height}
                             : kit::Rect{0, 0, kFormSheetWidth, kFormSheetHeight});
  }
  while (!root->subviews().empty()) root->subviews().back()->removeFromSuperview();

  navigationBar_ = kit::make<kit::NavigationBar>(kit::Rect{0, 0, root->bounds().size.width, kit::NavigationBar::kHeight});
  navigationBar_->setAutoresizingMask(kit::View::FlexibleWidth);
  root->addSubview(navigationBar_);
  auto item = kit::make<kit::NavigationItem>();
  Ref<kit::URL> target = request_->url();
  item->setTitle(type_ == ProxyAuthenticationType ? request_->proxyHost() : (target ? target->host() : std::string()));
  kit::WeakRef<HttpAuthenticationDialog> weak(this);
  item->setLeftBarButtonItem(kit::BarButtonItem::withSystemItem(
      kit::BarButtonItem::SystemItem::Cancel, "cancelAuthenticationFromDialog:", [weak](kit::BarButtonItem&) {
        if (Ref<HttpAuthenticationDialog> d = weak.lock()) d->cancelAuthenticationFromDialog();
      }));
  item->setRightBarButtonItem(kit::BarButtonItem::withTitle(
      "Login", kit::BarButtonItem::Style::Done, "loginWithCredentialsFromDialog:", [weak](kit::BarButtonItem&) {
        if (Ref<HttpAuthenticationDialog> d = weak.lock()) d->loginWithCredentialsFromDialog();
      }));
  navigationBar_->setItems({item});
  showTitle();
  navigationBar_->sizeToFit();

  kit::Rect frame = root->bounds();
  frame.origin.y += navigationBar_->frame().size.height;
  frame.size.height -= navigationBar_->frame().size.height;
  tableView_ = kit::make<kit::TableView>(frame, kit::TableView::Style::Grouped);
  tableView_->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
  tableView_->setDelegate(this);
  tableView_->setDataSource(this);
  root->addSubview(tableView_);
  tableView_->reloadData();
  if (kit::TextField* user = usernameField()) user->becomeFirstResponder();

  if (!isPhone()) setModalPresentationStyle(ModalPresentationStyle::FormSheet);
  presentingController()->presentViewController(this, true);
}

void HttpAuthenticationDialog::cancelAuthenticationFromDialog() {
  for (const Ref<HttpRequest>& r : requestsRequiringTheseCredentials()) {
    r->cancelAuthentication();
    leaveQueue(r.get());
  }
  dismissDialog();
}

std::vector<Ref<HttpRequest>> HttpAuthenticationDialog::requestsRequiringTheseCredentials() {
  std::vector<Ref<HttpRequest>> matching;
  Ref<kit::URL> mine = request_->url();
  for (const Ref<HttpRequest>& w : queue()) {
    if (w->authenticationNeeded() != request_->authenticationNeeded()) continue;
    if (type_ == ProxyAuthenticationType) {
      // A proxy login belongs to the proxy, whatever the requests fetch through it.
      if (w->proxyHost() != request_->proxyHost() || w->proxyPort() != request_->proxyPort()) continue;
      if (w->proxyAuthenticationRealm() != request_->proxyAuthenticationRealm()) continue;
    } else {
      Ref<kit::URL> theirs = w->url();
      if (!mine || !theirs || theirs->host() != mine->host() || !samePort(theirs, mine) ||
          theirs->scheme() != mine->scheme()) {
        continue;
      }
      if (w->authenticationRealm() != request_->authenticationRealm()) continue;
    }
    matching.push_back(w);
  }
  matching.push_back(request_);
  return matching;
}

void HttpAuthenticationDialog::presentNextDialog() {
  auto& q = queue();
  while (!q.empty() && !current()) {
    Ref<HttpRequest> next = q.front();
    q.erase(q.begin());
    // A request that ended while it waited needs no login any more.
    if (next->error() || next->isCancelled() || next->isFinished()) continue;
    presentAuthenticationDialogForRequest(next);
  }
}

void HttpAuthenticationDialog::loginWithCredentialsFromDialog() {
  kit::TextField* user = usernameField();
  kit::TextField* pass = passwordField();
  kit::TextField* dom = domainField();
  const std::string u = user ? user->text() : std::string();
  const std::string p = pass ? pass->text() : std::string();
  const std::string d = dom ? dom->text() : std::string();
  const bool ntlm = loginScheme() == kit::HTTPAuthentication::kSchemeNTLM;
  for (const Ref<HttpRequest>& r : requestsRequiringTheseCredentials()) {
    leaveQueue(r.get());
    if (r->error() || r->isCancelled() || r->isFinished()) continue;
    if (type_ == ProxyAuthenticationType) {
      r->setProxyUsername(u);
      r->setProxyPassword(p);
      if (ntlm) r->setProxyDomain(d);
    } else {
      r->setUsername(u);
      r->setPassword(p);
      if (ntlm) r->setDomain(d);
    }
    r->retryUsingSuppliedCredentials();
  }
  dismissDialog();
}

std::string HttpAuthenticationDialog::loginScheme() const {
  if (!request_) return {};
  return type_ == ProxyAuthenticationType ? request_->proxyAuthenticationScheme() : request_->authenticationScheme();
}

long HttpAuthenticationDialog::numberOfSectionsInTableView(kit::TableView&) {
  return loginScheme() == kit::HTTPAuthentication::kSchemeNTLM ? 2 : 1;
}

long HttpAuthenticationDialog::tableViewNumberOfRowsInSection(kit::TableView&, long section) {
  return section == 0 ? 2 : 1;
}

std::string HttpAuthenticationDialog::tableViewTitleForHeaderInSection(kit::TableView&, long section) {
  if (section != 0 || !request_) return {};
  return type_ == ProxyAuthenticationType ? request_->proxyAuthenticationRealm() : request_->authenticationRealm();
}

double HttpAuthenticationDialog::tableViewHeightForHeaderInSection(kit::TableView&, long section) {
  if (section != 0) return 0;
  return isPhone() ? 30 : 54;
}

std::string HttpAuthenticationDialog::tableViewTitleForFooterInSection(kit::TableView& tableView, long section) {
  if (section != numberOfSectionsInTableView(tableView) - 1 || !request_) return {};
  // The password travels over the connection the login is for: to the proxy itself (always
  // plain HTTP here) for a proxy login, to the server for a server login.
  std::string connectionScheme = "http";
  if (type_ != ProxyAuthenticationType) {
    if (Ref<kit::URL> u = request_->url()) connectionScheme = u->lowercaseScheme();
  }
  if (loginScheme() == kit::HTTPAuthentication::kSchemeBasic && connectionScheme != "https") {
    return "Password will be sent in the clear.";
  }
  return "Password will be sent securely.";
}

double HttpAuthenticationDialog::tableViewHeightForFooterInSection(kit::TableView& tableView, long section) {
  return section == numberOfSectionsInTableView(tableView) - 1 ? 30 : 0;
}

Ref<kit::TableViewCell> HttpAuthenticationDialog::tableViewCellForRowAtIndexPath(kit::TableView&,
                                                                                 const kit::IndexPath& indexPath) {
  auto cell = kit::make<kit::TableViewCell>();
  cell->setSelectionStyle(kit::TableViewCell::SelectionStyle::None);
  auto field = kit::make<kit::TextField>(cell->bounds().insetBy(10, 10));
  field->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
  field->setAutocapitalizationType(kit::TextAutocapitalizationType::None);
  field->setAutocorrectionType(kit::TextAutocorrectionType::No);
  if (indexPath.section == 0 && indexPath.row == 0) {
    field->setPlaceholder("User");
  } else if (indexPath.section == 0 && indexPath.row == 1) {
    field->setPlaceholder("Password");
    field->setSecureTextEntry(true);
  } else {
    field->setPlaceholder("Domain");
  }
  // The field comes first among the content view's subviews, where the dialog looks for it.
  cell->contentView()->insertSubview(field, 0);
  return cell;
}

}  // namespace tolva
