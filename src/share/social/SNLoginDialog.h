#pragma once
// The login page in a dialog panel: the final redirect carries the access
// token and its lifetime, which go to the login delegate (the client).
// However the dialog ends, the login delegate hears of it exactly once.

#include "share/social/SNDialog.h"

namespace tolva {

class SNLoginDialog : public SNDialog {
 public:
  SNLoginDialog(std::string loginURL, Params params, SNLoginDialogDelegate* loginDelegate);

  SNLoginDialogDelegate* loginDelegate() const noexcept { return loginDelegate_; }
  void setLoginDelegate(SNLoginDialogDelegate* d) { loginDelegate_ = d; }
  // An error redirect or a failed load: the login failed (not cancelled).
  void dismissWithError(kit::Error* error, bool animated) override;

  std::string className() const override { return "SNLoginDialog"; }

 protected:
  void dialogDidSucceed(kit::URL* url) override;
  void dialogDidCancel(kit::URL* url) override;
  void webViewDidFailLoadWithError(kit::WebView& webView, kit::Error* error) override;

 private:
  SNLoginDialogDelegate* loginDelegate_;
};

}  // namespace tolva
