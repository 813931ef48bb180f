#pragma once
// A panel over the application's window that shows one of the social
// network's dialog pages in its own web view, watches the page's navigation
// for the "fbconnect" redirect that ends the dialog, and reports success,
// cancellation or failure to its delegate, exactly once. It bounces in,
// fades out, and turns with the window.

#include <map>
#include <optional>
#include <string>

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/ActivityIndicatorView.h"
#include "kit/ui/Button.h"
#include "kit/ui/InterfaceOrientation.h"
#include "kit/ui/WebView.h"
#include "share/social/SNDialogDelegate.h"

namespace tolva {

class SNDialog : public kit::View, protected kit::WebViewDelegate {
 public:
  static constexpr const char* kErrorDomain = "socialErrDomain";
  using Params = std::map<std::string, std::string>;

  SNDialog();
  SNDialog(std::string serverURL, Params params, SNDialogDelegate* delegate);
  ~SNDialog() override;

  SNDialogDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(SNDialogDelegate* d) { delegate_ = d; }
  const Params& params() const noexcept { return params_; }
  void setParams(Params p) { params_ = std::move(p); }
  kit::WebView* webView() const noexcept { return webView_.get(); }
  kit::View* modalBackgroundView() const noexcept { return modalBackground_.get(); }
  kit::URL* loadingURL() const noexcept { return loadingURL_.get(); }
  kit::ActivityIndicatorView* spinner() const noexcept { return spinner_.get(); }
  kit::Button* closeButton() const noexcept { return closeButton_.get(); }
  // The rectangle the border lines go around (panel coordinates).
  kit::Rect borderRect() const;

  void show();
  void load();
  void loadURL(const std::string& url, const std::string& method);
  void dismissWithSuccess(bool success, bool animated);
  // Virtual: a login dialog also tells its login delegate.
  virtual void dismissWithError(kit::Error* error, bool animated);
  // The close button: a cancellation without URL.
  void cancel();

  // "base?name=value&..." with every value escaped; the base alone without params.
  static std::string generateURL(const std::string& base, const Params& params);
  // The text after `needle` up to the next "&", unescaped; nullopt without the needle.
  static std::optional<std::string> getStringFromUrl(const std::string& url, const std::string& needle);
  // The panel's frame in the application frame for `orientation`.
  static kit::Rect panelFrame(kit::InterfaceOrientation orientation);
  static kit::AffineTransform transformForOrientation(kit::InterfaceOrientation orientation);

  std::string className() const override { return "SNDialog"; }

 protected:
  virtual void dialogWillAppear() {}
  virtual void dialogWillDisappear() {}
  virtual void dialogDidSucceed(kit::URL* url);
  virtual void dialogDidCancel(kit::URL* url);
  bool finished() const noexcept { return finished_; }

  bool webViewShouldStartLoadWithRequest(kit::WebView& webView, kit::URLRequest& request,
                                         kit::WebViewNavigationType navigationType) override;
  void webViewDidFinishLoad(kit::WebView& webView) override;
  void webViewDidFailLoadWithError(kit::WebView& webView, kit::Error* error) override;

  std::string serverURL_;

 private:
  bool shouldRotateToOrientation(kit::InterfaceOrientation orientation) const;
  void sizeToFitOrientation(bool transform);
  void updateWebOrientation();
  void addObservers();
  void removeObservers();
  void postDismissCleanup();
  void dismiss(bool animated);
  void deviceOrientationDidChange();
  void keyboardWillShow();
  void keyboardWillHide();

  SNDialogDelegate* delegate_ = nullptr;
  Params params_;
  kit::Ref<kit::URL> loadingURL_;
  kit::Ref<kit::WebView> webView_;
  kit::Ref<kit::ActivityIndicatorView> spinner_;
  kit::Ref<kit::Button> closeButton_;
  kit::Ref<kit::View> border_;
  kit::InterfaceOrientation orientation_ = kit::InterfaceOrientation::Portrait;
  bool showingKeyboard_ = false;
  kit::Ref<kit::View> modalBackground_;
  std::vector<kit::NotificationCenter::Token> observers_;
  bool finished_ = false;  // one outcome per dialog
  bool dismissed_ = false;
};

}  // namespace tolva
