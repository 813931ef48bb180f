#pragma once
// The screen that shows a service's authorization page and watches every
// load for the callback URL: that load is refused and its query handed to
// the OAuth sharer, which the view then drops (it never calls it twice).

#include <optional>

#include "kit/ui/ActivityIndicatorView.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/WebView.h"
#include "share/oauth/ShareOAuthSharer.h"

namespace tolva {

class ShareOAuthView : public kit::ViewController, public kit::WebViewDelegate {
 public:
  static constexpr const char* kPinScript = "document.getElementById('oauth_pin').innerHTML";

  ShareOAuthView(kit::Ref<kit::URL> url, ShareOAuthSharer* delegate);
  ~ShareOAuthView() override;

  void loadView() override;
  void viewDidDisappear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;

  bool webViewShouldStartLoadWithRequest(kit::WebView& webView, kit::URLRequest& request,
                                         kit::WebViewNavigationType navigationType) override;
  void webViewDidStartLoad(kit::WebView& webView) override;
  void webViewDidFinishLoad(kit::WebView& webView) override;
  void webViewDidFailLoadWithError(kit::WebView& webView, kit::Error* error) override;

  void startSpinner();
  void stopSpinner();
  void cancel();

  // A callback URL's query as name -> value (values percent-decoded); pairs
  // that are not exactly "name=value" are skipped; nullopt without a query.
  static std::optional<ShareOAuthSharer::QueryParams> queryParams(const kit::URL& url);

  kit::WebView* webView() const noexcept { return webView_.get(); }
  ShareOAuthSharer* delegate() const noexcept { return delegate_.get(); }
  kit::ActivityIndicatorView* spinner() const noexcept { return spinner_.get(); }
  kit::URL* url() const noexcept { return url_.get(); }

  std::string className() const override { return "ShareOAuthView"; }

 private:
  // Hands the outcome over once and lets go of the delegate.
  void finish(bool success, const std::optional<ShareOAuthSharer::QueryParams>& params, const kit::Error* error);

  kit::Ref<kit::URL> url_;
  kit::Ref<kit::WebView> webView_;
  kit::Ref<ShareOAuthSharer> delegate_;
  kit::Ref<kit::ActivityIndicatorView> spinner_;
};

}  // namespace tolva
