#pragma once
// The login page in a dialog panel: the final redirect carries the access
// token and its lifetime, which go to the login delegate (the client).

#include "share/social/SNDialog.h"

namespace tolva {

class SNLoginDialog : public SNDialog {
 public:
  SNLoginDialog(std::string loginURL, Params params, SNLoginDialogDelegate* loginDelegate);

  std::string className() const override { return "SNLoginDialog"; }

 protected:
  void dialogDidSucceed(kit::URL* url) override;
  void dialogDidCancel(kit::URL* url) override;
  void webViewDidFailLoadWithError(kit::WebView& webView, kit::Error* error) override;

 private:
  SNLoginDialogDelegate* loginDelegate_;
};

}  // namespace tolva
