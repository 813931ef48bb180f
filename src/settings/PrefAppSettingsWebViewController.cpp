#include "settings/PrefAppSettingsWebViewController.h"

#include <filesystem>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/net/URLRequest.h"
#include "kit/ui/Application.h"
#include "settings/PrefSettingsRegistration.h"

namespace tolva {
namespace {

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(sep, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string lowercase(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// Whether a file URL names something inside the program's own bundle.
bool isBundleFile(const kit::URL& url) {
  std::error_code ec;
  auto bundle = std::filesystem::weakly_canonical(kit::Bundle::mainBundle()->bundlePath(), ec);
  if (ec) return false;
  auto file = std::filesystem::weakly_canonical(url.path(), ec);
  if (ec) return false;
  auto rel = file.lexically_relative(bundle);
  return !rel.empty() && *rel.begin() != "..";
}

}  // namespace

PrefAppSettingsWebViewController::PrefAppSettingsWebViewController(const std::string& file, const std::string&)
    : kit::ViewController(kNibName) {
  registerPrefSettingsKit();
  if (!kit::URL::schemeOfString(file).empty()) {
    url_ = kit::URL::URLWithString(file);
    if (!url_) url_ = kit::URL::lenientURLWithString(file);
  } else {
    size_t dot = file.rfind('.');
    std::string name = dot == std::string::npos ? file : file.substr(0, dot);
    std::string type = dot == std::string::npos ? std::string() : file.substr(dot + 1);
    std::string path = kit::Bundle::mainBundle()->pathForResource(name, type);
    if (!path.empty()) url_ = kit::URL::fileURLWithPath(path);
  }
}

PrefAppSettingsWebViewController::~PrefAppSettingsWebViewController() {
  if (webView_ && webView_->delegate() == this) webView_->setDelegate(nullptr);
}

void PrefAppSettingsWebViewController::setWebView(kit::WebView* webView) {
  if (webView_ && webView_->delegate() == this) webView_->setDelegate(nullptr);
  webView_ = webView;
  if (webView) webView->setDelegate(this);
}

void PrefAppSettingsWebViewController::viewWillAppear(bool animated) {
  kit::ViewController::viewWillAppear(animated);
  view();
  if (!webView_) return;
  webView_->setScalesPageToFit(true);
  // A page that could not be found shows nothing rather than loading nothing at all.
  if (url_) webView_->loadRequest(kit::URLRequest::requestWithURL(url_).get());
}

void PrefAppSettingsWebViewController::viewDidUnload() {
  kit::ViewController::viewDidUnload();
  url_ = nullptr;
}

std::optional<PrefAppSettingsWebViewController::MailtoFields> PrefAppSettingsWebViewController::parseMailto(
    const std::string& resourceSpecifier) {
  std::vector<std::string> parts = split(resourceSpecifier, '?');
  if (parts.size() >= 3) return std::nullopt;
  MailtoFields fields;
  // The address is taken as written, escapes and all.
  if (!parts[0].empty()) fields.to.push_back(parts[0]);
  if (parts.size() == 2) {
    for (const std::string& piece : split(parts[1], '&')) {
      std::vector<std::string> pair = split(piece, '=');
      if (pair.size() != 2) continue;
      std::string name = lowercase(pair[0]);
      std::string value = kit::URLEscaping::replacePercentEscapes(pair[1]).value_or(pair[1]);
      if (name == "subject") {
        fields.subject = value;
      } else if (name == "body") {
        fields.body = value;
      } else if (name == "to") {
        for (auto& r : split(value, ',')) fields.to.push_back(r);
      } else if (name == "cc") {
        fields.cc = split(value, ',');
      } else if (name == "bcc") {
        fields.bcc = split(value, ',');
      }
    }
  }
  return fields;
}

bool PrefAppSettingsWebViewController::webViewShouldStartLoadWithRequest(kit::WebView&, kit::URLRequest& request,
                                                                        kit::WebViewNavigationType) {
  kit::URL* url = request.url();
  if (!url) return false;
  std::string scheme = url->lowercaseScheme();
  if (scheme == "mailto") {
    std::optional<MailtoFields> fields = parseMailto(url->resourceSpecifier());
    if (!fields) return false;
    kit::Ref<kit::MailComposeViewController> composer(new kit::MailComposeViewController());
    composer->setMailComposeDelegate(this);
    composer->setSubject(fields->subject);
    composer->setMessageBody(fields->body, false);
    composer->setCcRecipients(fields->cc);
    composer->setBccRecipients(fields->bcc);
    composer->setToRecipients(fields->to);
    presentViewController(composer.get(), true);
    return false;
  }
  if (scheme == "http" || scheme == "https") return true;
  if (scheme == "file") return isBundleFile(*url);
  kit::Application* app = kit::Application::sharedApplication();
  if (app->canOpenURL(url)) app->openURLInSystem(url);
  return false;
}

void PrefAppSettingsWebViewController::webViewDidFinishLoad(kit::WebView& webView) {
  setTitle(webView.stringByEvaluatingJavaScriptFromString("document.title"));
}

void PrefAppSettingsWebViewController::mailComposeControllerDidFinish(kit::MailComposeViewController& controller,
                                                                      kit::MailComposeResult, kit::Error*) {
  controller.dismissViewControllerAnimated(true);
}

}  // namespace tolva
