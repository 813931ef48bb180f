#pragma once
// Shows one page, a bundle resource ("help.html") or any URL, in a web view,
// titled by the page's own title. Links: "mailto" opens a mail composer;
// http, https and the bundle's own file pages load here; any other link is
// handed to the system when it can open it. Schemes are compared without
// regard to case.

#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/URL.h"
#include "kit/ui/MailComposeViewController.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/WebView.h"

namespace tolva {

class PrefAppSettingsWebViewController : public kit::ViewController,
                                         public kit::WebViewDelegate,
                                         public kit::MailComposeViewControllerDelegate {
 public:
  static constexpr const char* kNibName = "PrefAppSettingsWebViewController";

  // What a mail link asks for.
  struct MailtoFields {
    std::vector<std::string> to;
    std::vector<std::string> cc;
    std::vector<std::string> bcc;
    std::string subject;
    std::string body;
  };

  // `file` is a URL when it has a scheme, else the name of a bundle resource
  // with its extension. The key is not used.
  PrefAppSettingsWebViewController(const std::string& file, const std::string& key);
  ~PrefAppSettingsWebViewController() override;

  kit::URL* url() const noexcept { return url_.get(); }
  void setUrl(kit::Ref<kit::URL> url) { url_ = std::move(url); }
  kit::WebView* webView() const noexcept { return webView_.get(); }
  // The interface file's outlet; this becomes the web view's delegate.
  void setWebView(kit::WebView* webView);

  // Reads everything after "mailto:": the address, then "?" and name=value
  // pairs joined by "&". nullopt for a link with more than one "?".
  static std::optional<MailtoFields> parseMailto(const std::string& resourceSpecifier);

  void viewWillAppear(bool animated) override;
  void viewDidUnload() override;
  bool webViewShouldStartLoadWithRequest(kit::WebView& webView, kit::URLRequest& request,
                                         kit::WebViewNavigationType navigationType) override;
  void webViewDidFinishLoad(kit::WebView& webView) override;
  void mailComposeControllerDidFinish(kit::MailComposeViewController& controller, kit::MailComposeResult result,
                                      kit::Error* error) override;

  std::string className() const override { return "PrefAppSettingsWebViewController"; }

 private:
  kit::Ref<kit::WebView> webView_;
  kit::Ref<kit::URL> url_;
};

}  // namespace tolva
