#include "share/social/SNDialog.h"

#include <cmath>
#include <numbers>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/Image.h"
#include "kit/ui/Layer.h"
#include "kit/ui/Screen.h"
#include "kit/ui/ViewAnimation.h"
#include "kit/ui/Window.h"
#include "share/oauth/OAURLEncodingAdditions.h"
#include "share/social/SNRequest.h"

namespace tolva {
namespace {

const kit::Color kFillColor = kit::Color::rgba(0.3, 0.3, 0.3, 0.8);
const kit::Color kBorderColor = kit::Color::rgba(0.3, 0.3, 0.3, 1.0);
constexpr double kTransitionDuration = 0.3;
constexpr double kPadding = 10;

}  // namespace

SNDialog::SNDialog() : kit::View({0, 0, 480, 480}) {
  setBackgroundColor(kit::Color::clearColor());
  setAutoresizesSubviews(true);
  setAutoresizingMask(FlexibleWidth | FlexibleHeight);
  layer()->setBackgroundColor(kFillColor);

  border_ = kit::View::view();
  border_->setUserInteractionEnabled(false);
  border_->setBackgroundColor(kit::Color::clearColor());
  border_->layer()->setBorderColor(kBorderColor);
  border_->layer()->setBorderWidth(1);
  border_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
  addSubview(border_.get());

  webView_ = kit::WebView::create({kPadding, kPadding, 480, 480});
  webView_->setDelegate(this);
  webView_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
  addSubview(webView_.get());

  closeButton_ = kit::Button::buttonWithType(kit::Button::Type::Custom);
  if (kit::Ref<kit::Image> close = kit::Image::imageNamed("SNDialog.bundle/images/close.png"))
    closeButton_->setImage(close);
  closeButton_->setTitleColor(kit::Color::rgba(0.655, 0.722, 0.847, 1), kit::Control::Normal);
  closeButton_->setTitleColor(kit::Color::whiteColor(), kit::Control::Highlighted);
  closeButton_->titleLabel()->setFont(kit::Font::boldSystemFont(12));
  closeButton_->setShowsTouchWhenHighlighted(true);
  closeButton_->setAutoresizingMask(FlexibleLeftMargin | FlexibleBottomMargin);
  closeButton_->addTarget("cancel", kit::Control::TouchUpInside, [this](kit::Control&) { cancel(); });
  addSubview(closeButton_.get());

  spinner_ = kit::Ref<kit::ActivityIndicatorView>(
      new kit::ActivityIndicatorView(kit::ActivityIndicatorView::Style::WhiteLarge));
  spinner_->setAutoresizingMask(FlexibleTopMargin | FlexibleBottomMargin | FlexibleLeftMargin | FlexibleRightMargin);
  addSubview(spinner_.get());

  modalBackground_ = kit::View::view();
}

SNDialog::SNDialog(std::string serverURL, Params params, SNDialogDelegate* delegate) : SNDialog() {
  serverURL_ = std::move(serverURL);
  params_ = std::move(params);
  delegate_ = delegate;
}

SNDialog::~SNDialog() {
  if (webView_) webView_->setDelegate(nullptr);
}

std::string SNDialog::generateURL(const std::string& base, const Params& params) {
  if (params.empty()) return base;
  std::string query;
  for (const auto& [name, value] : params)
    query += (query.empty() ? "" : "&") + name + "=" + OAURLEncodingAdditions::URLEncodedString(value);
  return base + "?" + query;
}

std::optional<std::string> SNDialog::getStringFromUrl(const std::string& url, const std::string& needle) {
  size_t at = url.find(needle);
  if (at == std::string::npos) return std::nullopt;
  size_t start = at + needle.size();
  size_t end = url.find('&', start);
  return OAURLEncodingAdditions::URLDecodedString(
      url.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

kit::Rect SNDialog::panelFrame(kit::InterfaceOrientation orientation) {
  kit::Rect app = kit::Screen::mainScreen().applicationFrame();
  const double scale = kit::Device::currentDevice().userInterfaceIdiom() == kit::UserInterfaceIdiom::Pad ? 0.6 : 1.0;
  double width = std::floor(scale * app.size.width);
  double height = std::floor(scale * app.size.height);
  if (kit::isLandscape(orientation)) std::swap(width, height);
  kit::Point centre{std::ceil(app.origin.x + app.size.width / 2), std::ceil(app.origin.y + app.size.height / 2)};
  return {centre.x - width / 2, centre.y - height / 2, width, height};
}

kit::AffineTransform SNDialog::transformForOrientation(kit::InterfaceOrientation orientation) {
  switch (orientation) {
    case kit::InterfaceOrientation::PortraitUpsideDown:
      return kit::AffineTransform::rotation(-std::numbers::pi);
    case kit::InterfaceOrientation::LandscapeRight:
      return kit::AffineTransform::rotation(std::numbers::pi / 2);
    case kit::InterfaceOrientation::LandscapeLeft:
      return kit::AffineTransform::rotation(3 * std::numbers::pi / 2);
    case kit::InterfaceOrientation::Portrait:
      break;
  }
  return kit::AffineTransform::identity();
}

kit::Rect SNDialog::borderRect() const {
  kit::Rect b = bounds();
  return {std::ceil(kPadding), std::ceil(kPadding) + 1, b.size.width - 2 * kPadding,
          webView_->frame().size.height + 1};
}

bool SNDialog::shouldRotateToOrientation(kit::InterfaceOrientation orientation) const {
  int o = static_cast<int>(orientation);
  return orientation != orientation_ && o >= 1 && o <= 4;
}

void SNDialog::sizeToFitOrientation(bool transform) {
  setTransform(kit::AffineTransform::identity());
  orientation_ = kit::Application::sharedApplication()->statusBarOrientation();
  kit::Rect frame = panelFrame(orientation_);
  setBounds({0, 0, frame.size.width, frame.size.height});
  setCenter({frame.origin.x + frame.size.width / 2, frame.origin.y + frame.size.height / 2});
  if (transform) setTransform(transformForOrientation(orientation_));
}

void SNDialog::updateWebOrientation() {
  if (kit::isLandscape(kit::Application::sharedApplication()->statusBarOrientation()))
    webView_->stringByEvaluatingJavaScriptFromString("document.body.setAttribute('orientation', 90);");
  else
    webView_->stringByEvaluatingJavaScriptFromString("document.body.removeAttribute('orientation');");
}

void SNDialog::load() { loadURL(serverURL_, "GET"); }

void SNDialog::loadURL(const std::string& url, const std::string& method) {
  loadingURL_ = kit::URL::URLWithString(generateURL(url, params_));
  if (!loadingURL_) {
    kit::Ref<kit::Error> error = kit::Error::errorWithDescription(kErrorDomain, SNRequest::kClientErrorCode, "Bad dialog address");
    dismissWithError(error.get(), false);
    return;
  }
  kit::Ref<kit::URLRequest> request = kit::URLRequest::requestWithURL(loadingURL_);
  request->setHTTPMethod(method);
  webView_->loadRequest(request.get());
}

void SNDialog::show() {
  load();
  if (finished_) return;
  sizeToFitOrientation(false);
  kit::Rect b = bounds();
  closeButton_->setFrame({2, 2, 29, 29});
  webView_->setFrame({kPadding + 1, kPadding + 1, b.size.width - 2 * (kPadding + 1), b.size.height - 2 * kPadding - 1});
  border_->setFrame(borderRect());
  kit::Rect w = webView_->frame();
  spinner_->sizeToFit();
  spinner_->setCenter({w.origin.x + w.size.width / 2, w.origin.y + w.size.height / 2});
  spinner_->startAnimating();

  kit::Application* app = kit::Application::sharedApplication();
  kit::Ref<kit::Window> window(app->keyWindow());
  if (!window) {
    auto windows = app->windows();
    if (!windows.empty()) window = windows.front();
  }
  if (window) {
    modalBackground_->setFrame(window->bounds());
    window->addSubview(modalBackground_.get());
    window->addSubview(this);
  }
  dialogWillAppear();

  kit::AffineTransform rotation = transformForOrientation(orientation_);
  setTransform(rotation.concat(kit::AffineTransform::scale(0.001, 0.001)));
  kit::Ref<SNDialog> keep(this);
  kit::ViewAnimation::animate(kTransitionDuration / 1.5, [&] {
    setTransform(rotation.concat(kit::AffineTransform::scale(1.1, 1.1)));
  }, [keep, rotation](bool) {
    kit::ViewAnimation::animate(kTransitionDuration / 2, [&] {
      keep->setTransform(rotation.concat(kit::AffineTransform::scale(0.9, 0.9)));
    }, [keep, rotation](bool) {
      kit::ViewAnimation::animate(kTransitionDuration / 2, [&] { keep->setTransform(rotation); });
    });
  });
  addObservers();
}

void SNDialog::addObservers() {
  kit::NotificationCenter& center = kit::NotificationCenter::defaultCenter();
  observers_.push_back(center.addObserver(kit::Application::kDidChangeStatusBarOrientationNotification, nullptr,
                                          [this](const kit::Notification&) { deviceOrientationDidChange(); }));
  observers_.push_back(center.addObserver(kit::Application::kKeyboardWillShowNotification, nullptr,
                                          [this](const kit::Notification&) { keyboardWillShow(); }));
  observers_.push_back(center.addObserver(kit::Application::kKeyboardWillHideNotification, nullptr,
                                          [this](const kit::Notification&) { keyboardWillHide(); }));
}

void SNDialog::removeObservers() { observers_.clear(); }

void SNDialog::deviceOrientationDidChange() {
  kit::InterfaceOrientation o = kit::Application::sharedApplication()->statusBarOrientation();
  if (showingKeyboard_ || !shouldRotateToOrientation(o)) return;
  updateWebOrientation();
  kit::ViewAnimation::animate(0.3, [&] { sizeToFitOrientation(true); });
}

void SNDialog::keyboardWillShow() {
  if (kit::Device::currentDevice().userInterfaceIdiom() == kit::UserInterfaceIdiom::Phone &&
      kit::isLandscape(kit::Application::sharedApplication()->statusBarOrientation())) {
    kit::Rect f = webView_->frame();
    webView_->setFrame({f.origin.x - 10, f.origin.y - 10, f.size.width + 20, f.size.height + 20});
  }
  showingKeyboard_ = true;
}

void SNDialog::keyboardWillHide() {
  if (kit::Device::currentDevice().userInterfaceIdiom() == kit::UserInterfaceIdiom::Phone &&
      kit::isLandscape(kit::Application::sharedApplication()->statusBarOrientation())) {
    kit::Rect f = webView_->frame();
    webView_->setFrame({f.origin.x + 10, f.origin.y + 10, f.size.width - 20, f.size.height - 20});
  }
  showingKeyboard_ = false;
}

void SNDialog::dialogDidSucceed(kit::URL* url) {
  if (finished_) return;
  if (delegate_) delegate_->dialogCompleteWithUrl(url);
  dismissWithSuccess(true, true);
}

void SNDialog::dialogDidCancel(kit::URL* url) {
  if (finished_) return;
  if (delegate_) delegate_->dialogDidNotCompleteWithUrl(url);
  dismissWithSuccess(false, true);
}

void SNDialog::cancel() { dialogDidCancel(nullptr); }

void SNDialog::dismissWithSuccess(bool success, bool animated) {
  if (finished_) return;
  finished_ = true;
  if (delegate_) {
    if (success)
      delegate_->dialogDidComplete(*this);
    else
      delegate_->dialogDidNotComplete(*this);
  }
  dismiss(animated);
}

void SNDialog::dismissWithError(kit::Error* error, bool animated) {
  if (finished_) return;
  finished_ = true;
  if (delegate_) delegate_->dialogDidFailWithError(*this, error);
  dismiss(animated);
}

void SNDialog::dismiss(bool animated) {
  if (dismissed_) return;
  dismissed_ = true;
  dialogWillDisappear();
  loadingURL_ = nullptr;
  webView_->stopLoading();
  if (!animated || !superview()) {
    postDismissCleanup();
    return;
  }
  kit::Ref<SNDialog> keep(this);
  kit::ViewAnimation::animate(kTransitionDuration, [&] { setAlpha(0); },
                              [keep](bool) { keep->postDismissCleanup(); });
}

void SNDialog::postDismissCleanup() {
  removeObservers();
  kit::Ref<SNDialog> keep(this);
  removeFromSuperview();
  modalBackground_->removeFromSuperview();
}

bool SNDialog::webViewShouldStartLoadWithRequest(kit::WebView&, kit::URLRequest& request,
                                                kit::WebViewNavigationType navigationType) {
  kit::URL* url = request.url();
  if (!url) return false;
  if (url->schemeIs("fbconnect")) {
    kit::Ref<kit::URL> keepURL(url);
    const std::string rest = url->resourceSpecifier();
    if (rest.size() >= 8 && rest.compare(0, 8, "//cancel") == 0) {
      const std::string text = url->absoluteString();
      std::optional<std::string> code = getStringFromUrl(text, "error_code=");
      std::optional<std::string> message = getStringFromUrl(text, "error_msg=");
      if (code) {
        kit::Ref<kit::MutableDictionary> info = kit::MutableDictionary::dictionary();
        if (message) info->setObject(kit::String::string(*message), "error_msg");
        long number = std::strtol(code->c_str(), nullptr, 10);
        kit::Ref<kit::Error> error = kit::Error::errorWithDomain(kErrorDomain, number, info);
        dismissWithError(error.get(), true);
      } else {
        dialogDidCancel(url);
      }
    } else if (std::optional<std::string> code = getStringFromUrl(url->absoluteString(), "error_code=")) {
      // A redirect that carries an error is no success, whatever its path says.
      kit::Ref<kit::MutableDictionary> info = kit::MutableDictionary::dictionary();
      if (auto message = getStringFromUrl(url->absoluteString(), "error_msg="))
        info->setObject(kit::String::string(*message), "error_msg");
      kit::Ref<kit::Error> error = kit::Error::errorWithDomain(kErrorDomain, std::strtol(code->c_str(), nullptr, 10), info);
      dismissWithError(error.get(), true);
    } else {
      dialogDidSucceed(url);
    }
    return false;
  }
  if ((loadingURL_ && url->isEqual(loadingURL_.get())) || navigationType != kit::WebViewNavigationType::LinkClicked)
    return true;
  // Once the dialog has ended its delegate may be gone: a late click goes nowhere.
  if (finished_) return false;
  // A clicked link leaves the dialog for the desktop's browser; other schemes are not handed out.
  if (url->schemeIs("http") || url->schemeIs("https")) {
    if (!delegate_ || delegate_->dialogShouldOpenURLInExternalBrowser(*this, *url))
      kit::Application::sharedApplication()->openURLInSystem(url);
  }
  return false;
}

void SNDialog::webViewDidFinishLoad(kit::WebView&) {
  spinner_->stopAnimating();
  spinner_->setHidden(true);
  updateWebOrientation();
}

void SNDialog::webViewDidFailLoadWithError(kit::WebView&, kit::Error* error) {
  if (error && error->domain() == kit::WebView::kWebKitErrorDomain &&
      error->code() == kit::WebView::kWebKitErrorFrameLoadInterrupted)
    return;
  dismissWithError(error, true);
}

}  // namespace tolva
