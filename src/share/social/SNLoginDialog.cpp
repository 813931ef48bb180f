#include "share/social/SNLoginDialog.h"

#include "kit/foundation/Clock.h"
#include "kit/foundation/RunLoop.h"

namespace tolva {

SNLoginDialog::SNLoginDialog(std::string loginURL, Params params, SNLoginDialogDelegate* loginDelegate)
    : SNDialog(std::move(loginURL), std::move(params), nullptr), loginDelegate_(loginDelegate) {}

void SNLoginDialog::dialogDidSucceed(kit::URL* url) {
  if (finished()) return;
  const std::string text = url ? url->absoluteString() : std::string();
  std::optional<std::string> token = getStringFromUrl(text, "access_token=");
  std::optional<std::string> expiresIn = getStringFromUrl(text, "expires_in=");
  double expiry = kit::RunLoop::kDistantFuture;
  if (expiresIn) {
    long seconds = std::strtol(expiresIn->c_str(), nullptr, 10);
    if (seconds != 0) expiry = kit::Clock::now() + double(seconds);
  }
  if (token && !token->empty() && *token != "(null)") {
    if (loginDelegate_) loginDelegate_->fbDialogLogin(*token, expiry);
    dismissWithSuccess(true, true);
  } else {
    dialogDidCancel(url);
  }
}

void SNLoginDialog::dialogDidCancel(kit::URL*) {
  if (finished()) return;
  dismissWithSuccess(false, true);
  if (loginDelegate_) loginDelegate_->fbDialogNotLogin(true);
}

void SNLoginDialog::webViewDidFailLoadWithError(kit::WebView& webView, kit::Error* error) {
  if (error && ((error->domain() == kit::WebView::kURLErrorDomain && error->code() == kit::WebView::kURLErrorCancelled) ||
                (error->domain() == kit::WebView::kWebKitErrorDomain &&
                 error->code() == kit::WebView::kWebKitErrorFrameLoadInterrupted)))
    return;
  SNDialog::webViewDidFailLoadWithError(webView, error);
}

void SNLoginDialog::dismissWithError(kit::Error* error, bool animated) {
  if (finished()) return;
  SNDialog::dismissWithError(error, animated);
  if (loginDelegate_) loginDelegate_->fbDialogNotLogin(false);
}

}  // namespace tolva
