#include "share/oauth/ShareOAuthView.h"

#include <algorithm>
#include <cctype>

#include "kit/ui/BarButtonItem.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Screen.h"
#include "settings/PrefAutorotation.h"
#include "share/core/Share.h"
#include "share/core/ShareFunctions.h"
#include "share/oauth/OAURLEncodingAdditions.h"

namespace tolva {
namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

ShareOAuthView::ShareOAuthView(kit::Ref<kit::URL> url, ShareOAuthSharer* delegate)
    : url_(std::move(url)), delegate_(delegate) {
  kit::WeakRef<ShareOAuthView> weak(this);
  navigationItem()->setLeftBarButtonItem(
      kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::Cancel, "cancel", [weak](kit::BarButtonItem&) {
        if (auto self = weak.lock()) self->cancel();
      }),
      false);
}

ShareOAuthView::~ShareOAuthView() {
  if (webView_) webView_->setDelegate(nullptr);
}

void ShareOAuthView::loadView() {
  webView_ = kit::WebView::create(kit::Screen::mainScreen().applicationFrame());
  webView_->setDelegate(this);
  webView_->setScalesPageToFit(true);
  webView_->setDataDetectorTypes(kit::WebView::DataDetectorNone);
  webView_->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
  setView(webView_.get());
  if (url_) webView_->loadRequest(kit::URLRequest::requestWithURL(url_).get());
}

void ShareOAuthView::viewDidDisappear(bool animated) {
  kit::ViewController::viewDidDisappear(animated);
  Share::currentHelper()->screenDisappeared(*this);
}

bool ShareOAuthView::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) {
  return PrefAutorotation::shouldAutorotate(this, orientation);
}

std::optional<ShareOAuthSharer::QueryParams> ShareOAuthView::queryParams(const kit::URL& url) {
  if (!url.hasQuery()) return std::nullopt;
  ShareOAuthSharer::QueryParams params;
  std::string_view query = url.query();
  while (true) {
    const size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    const size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.find('=', eq + 1) == std::string_view::npos)
      params[OAURLEncodingAdditions::URLDecodedString(pair.substr(0, eq))] =
          OAURLEncodingAdditions::URLDecodedString(pair.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return params;
}

bool ShareOAuthView::webViewShouldStartLoadWithRequest(kit::WebView&, kit::URLRequest& request,
                                                       kit::WebViewNavigationType) {
  const kit::URL* callback = delegate_ ? delegate_->authorizeCallbackURL() : nullptr;
  const kit::URL* target = request.url();
  // An empty callback would match every page, the authorization page first.
  if (!callback || callback->absoluteString().empty() || !target) return true;
  if (lower(target->absoluteString()).find(lower(callback->absoluteString())) == std::string::npos) return true;
  finish(true, queryParams(*target), nullptr);
  return false;
}

void ShareOAuthView::webViewDidStartLoad(kit::WebView&) { startSpinner(); }

void ShareOAuthView::webViewDidFinishLoad(kit::WebView& webView) {
  kit::Ref<ShareOAuthView> keep(this);
  stopSpinner();
  if (!delegate_ || !delegate_->authorizeURL()) return;
  const kit::URLRequest* shown = webView.request();
  if (!shown || !shown->url() || shown->url()->lowercaseHost() != delegate_->authorizeURL()->lowercaseHost()) return;
  // The service shows a PIN instead of redirecting when the application is
  // not registered for a callback.
  if (!webView.stringByEvaluatingJavaScriptFromString(kPinScript).empty())
    finish(false, std::nullopt,
           Share::error(ShareLocalizedFormat(
                            "Your ShareTwitter config is incorrect.  You must set your application type to Browser and "
                            "define a callback url.  See ShareConfig for more details"))
               .get());
}

void ShareOAuthView::webViewDidFailLoadWithError(kit::WebView&, kit::Error* error) {
  if (error && (error->code() == kit::WebView::kURLErrorCancelled ||
                error->code() == kit::WebView::kWebKitErrorFrameLoadInterrupted ||
                error->code() == kit::WebView::kURLErrorFileDoesNotExist))
    return;
  kit::Ref<ShareOAuthView> keep(this);
  stopSpinner();
  finish(false, std::nullopt, error);
}

void ShareOAuthView::startSpinner() {
  if (!spinner_) {
    spinner_ = kit::make<kit::ActivityIndicatorView>(kit::ActivityIndicatorView::Style::White);
    spinner_->setHidesWhenStopped(true);
    navigationItem()->setRightBarButtonItem(kit::BarButtonItem::withCustomView(spinner_.get()), false);
  }
  spinner_->setHidden(false);
  spinner_->startAnimating();
}

void ShareOAuthView::stopSpinner() {
  if (spinner_) spinner_->stopAnimating();
}

void ShareOAuthView::cancel() {
  kit::Ref<ShareOAuthView> keep(this);
  kit::Ref<ShareOAuthSharer> delegate = std::move(delegate_);
  if (delegate) delegate->tokenAuthorizeCancelledView(this);
  Share::currentHelper()->hideCurrentViewControllerAnimated(true);
}

void ShareOAuthView::finish(bool success, const std::optional<ShareOAuthSharer::QueryParams>& params,
                            const kit::Error* error) {
  kit::Ref<ShareOAuthSharer> delegate = std::move(delegate_);
  if (delegate) delegate->tokenAuthorizeViewDidFinish(this, success, params, error);
}

}  // namespace tolva
