#include "shell/VeskWebView.h"

#include <cstdio>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/net/URLError.h"
#include "kit/security/Base64.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/GradientLayer.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/SwipeGestureRecognizer.h"
#include "kit/ui/TapGestureRecognizer.h"
#include "common/LocalizedText.h"
#include "common/MyUIViewController.h"
#include "shell/TabState.h"
#include "shell/UIWebViewExpand.h"
#include "common/VeskMiscObject.h"
#include "shell/VeskWebViewController.h"
#include "data/VeskAdblockManager.h"
#include "data/VeskBookmarkDatabase.h"
#include "downloads/VeskDownloadManager.h"
#include "downloads/VeskDownloadTableViewController.h"
#include "data/VeskFaviconDatabase.h"
#include "data/VeskAuthenticationTableViewController.h"
#include "data/VeskPagePasswordDatabase.h"

namespace tolva {
namespace {

constexpr const char* kNewTabMarker2f = "newtabquorb58301946627%2f";
constexpr const char* kNewBgTabMarker2f = "newbgtabquorb58301946627%2f";

std::string lowercase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool hasPrefixIgnoringCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && lowercase(s.substr(0, prefix.size())) == prefix;
}

// A URL from text as the address field would take it: strictly when it
// parses, else leniently (spaces and stray characters escaped); null when
// it is no URL at all.
kit::Ref<kit::URL> parseURL(const std::string& text) {
  if (kit::Ref<kit::URL> u = kit::URL::URLWithString(text)) return u;
  return kit::URL::lenientURLWithString(text);
}

// The text after the first marker found (the "%2f" form first), or none.
std::optional<std::string> textAfterMarker(const std::string& url, const char* slashForm, const char* form2f) {
  std::string lower = lowercase(url);
  for (const char* marker : {form2f, slashForm}) {
    size_t at = lower.find(marker);
    if (at != std::string::npos) return url.substr(at + std::string_view(marker).size());
  }
  return std::nullopt;
}

bool boolOf(kit::Object* o) {
  if (auto* n = kit::cast<kit::Number>(o)) return n->boolValue();
  if (auto* s = kit::cast<kit::String>(o)) return s->boolValue();
  return false;
}

std::optional<long long> integerOf(kit::Object* o) {
  if (auto* n = kit::cast<kit::Number>(o)) return n->longLongValue();
  if (auto* s = kit::cast<kit::String>(o)) return s->longLongValue();
  return std::nullopt;
}

kit::RunLoop& mainLoop() { return kit::RunLoop::main(); }

}  // namespace

// The controls every load touches exist even in a page made without its
// interface file (which replaces them with its own).
VeskWebView::VeskWebView(kit::Rect frame)
    : kit::View(frame),
      btnStopRefresh_(new kit::Button()),
      activity_(new kit::ActivityIndicatorView()),
      progressBoundary_(new kit::View()),
      title_(new kit::Label()) {}

VeskWebView::~VeskWebView() {
  mainLoop().cancelPreviousPerformRequests(this);
  cancelProbe();
  detachWebView();
  for (auto& weak : ownAlerts_)
    if (kit::Ref<kit::AlertView> alert = weak.lock())
      if (alert->delegate() == this) alert->setDelegate(nullptr);
  for (kit::ActionSheet* sheet : {actionsMenuSheet_.get(), easyCommandSheet_.get(), contextSheet_.get()})
    if (sheet && sheet->delegate() == this) sheet->setDelegate(nullptr);
  for (kit::TextField* field : {urlField_.get(), searchField_.get()})
    if (field && field->delegate() == this) field->setDelegate(nullptr);
}

// ---- Creation

kit::Ref<VeskWebView> VeskWebView::allocInstance(kit::Rect frame, VeskWebViewDelegate* delegate,
                                                 const std::string& location, bool createImmediately) {
  const char* file = kit::Device::currentDevice().isPad() ? "VeskViewComponents" : "VeskViewComponents~iphone";
  std::vector<kit::Ref<kit::Object>> objects = kit::InterfaceFile::load(file, nullptr);
  if (objects.empty()) return nullptr;
  kit::Ref<VeskWebView> page(kit::cast<VeskWebView>(objects.front()));
  if (!page) return nullptr;
  page->setDelegate(delegate);
  page->setAutoresizingMask(63);
  page->setFrame(frame);
  // A fresh page that waits for its web view already names the home page it will open.
  page->setLocation(location.empty() && !createImmediately ? homeLocation() : location);
  if (createImmediately) page->webView()->setHidden(false);
  return page;
}

std::string VeskWebView::homeLocation() {
  auto& defaults = kit::UserDefaults::standardUserDefaults();
  std::string home = defaults.exists("homepage") ? defaults.stringForKey("homepage") : std::string();
  // An empty setting would load nothing at all; the built-in page stands in.
  return home.empty() ? kDefaultHomePage : home;
}

kit::Ref<VeskWebView> VeskWebView::allocInstance(kit::Rect frame, VeskWebViewDelegate* delegate,
                                                 const std::string& location) {
  return allocInstance(frame, delegate, location, true);
}

kit::Ref<VeskWebView> VeskWebView::allocInstance(kit::Rect frame, VeskWebViewDelegate* delegate) {
  return allocInstance(frame, delegate, std::string(), true);
}

kit::Ref<VeskWebView> VeskWebView::allocInstance(kit::Rect frame, VeskWebViewDelegate* delegate, int index) {
  kit::Ref<VeskWebView> page = allocInstance(frame, delegate, std::string(), false);
  if (!page || !page->restoreFromIdentifier(index)) return nullptr;
  return page;
}

const std::string& VeskWebView::getPasswordJSCode() {
  static const std::string code = [] {
    kit::Ref<kit::String> s =
        kit::Bundle::mainBundle()->textOfResource("password", "js", kit::Bundle::TextEncoding::ASCII);
    return s ? s->str() : std::string();
  }();
  return code;
}

const std::string& VeskWebView::getContextJSCode() {
  static const std::string code = [] {
    kit::Ref<kit::String> s =
        kit::Bundle::mainBundle()->textOfResource("context", "js", kit::Bundle::TextEncoding::UTF8);
    return s ? s->str() : std::string();
  }();
  return code;
}

// ---- Loading

void VeskWebView::loadRequest(const std::string& url, const std::optional<std::string>& userId,
                              const std::optional<std::string>& password) {
  if (url == "http://about:blank") {
    webView()->stringByEvaluatingJavaScriptFromString("document.location='about:blank'");
    return;
  }
  if (userId && password) {
    kit::Ref<kit::URL> u = parseURL(url);
    if (!u) return;
    kit::Ref<kit::URLRequest> request =
        kit::URLRequest::requestWithURL(u, kit::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, 3);
    request->setValue("Basic " + encode(*userId + ":" + *password), "Authorization");
    // Set before the load: the web view may ask about the load at once, and
    // a load carrying a login must not be probed for a login again.
    urlLoadCounter_ = 0;
    bSkipAuthCheck_ = true;
    authen_url_ = url;
    webView()->loadRequest(request);
    kit::Ref<kit::Dictionary> record(
        new kit::Dictionary({{"login", kit::str(*userId)}, {"password", kit::str(*password)}, {"url", kit::str(url)}}));
    processSavePassword(record.get());
    return;
  }
  if (kit::Ref<kit::URLRequest> request = _allocNSURLRequest(url)) webView()->loadRequest(request);
}

kit::Ref<kit::URLRequest> VeskWebView::_allocNSURLRequest(const std::string& url) {
  kit::Ref<kit::URL> u = parseURL(url);
  if (!u) return nullptr;
  return kit::URLRequest::requestWithURL(u, kit::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, 60);
}

std::string VeskWebView::encode(const std::string& data) { return kit::Base64::encode(std::string_view(data)); }

void VeskWebView::bookmarkUrlSelected(const std::string& url) {
  if (extrackNewTab(url) || extrackNewBgTab(url)) {
    loadRequest(url);
  } else if (hasPrefixIgnoringCase(url, "javascript:")) {
    std::string script = kit::URLEscaping::replacePercentEscapes(url).value_or(url);
    kit::WebView* wv = webView();
    wv->stringByEvaluatingJavaScriptFromString(script);
    updateTitleLabel(UIWebViewExpand::getTitle(*wv));
  } else {
    loadRequest(url.find("://") == std::string::npos ? "http://" + url : url);
  }
  dismissBookmarkPopover();
}

void VeskWebView::dismissBookmarkPopover() {
  if (!delegate_) return;
  if (kit::PopoverController* pop = delegate_->getBookmarkPopover())
    if (pop->isPopoverVisible()) pop->dismissPopoverAnimated(true);
}

void VeskWebView::reload() {
  kit::WebView* wv = webView();
  wv->stopLoading();
  urlLoadCounter_ = 0;
  if (!location_.empty())
    loadRequest(location_);
  else
    wv->reload();
}

void VeskWebView::onPrev() {
  urlLoadCounter_ = 0;
  webView()->goBack();
}

void VeskWebView::onNext() {
  urlLoadCounter_ = 0;
  webView()->goForward();
}

void VeskWebView::onStopReload() {
  if (btnStopRefresh_->isSelected()) {
    webView()->stopLoading();
    urlLoadCounter_ = 0;
    activity_->stopAnimating();
    progressBoundary_->setHidden(true);
    postScreenShotUpdated();
    injectJscode();
  } else {
    reload();
  }
  btnStopRefresh_->setSelected(!btnStopRefresh_->isSelected());
}

bool VeskWebView::startsWithHttp(const std::string& s) {
  return hasPrefixIgnoringCase(s, "http://") || hasPrefixIgnoringCase(s, "https://");
}

// ---- The web view

kit::WebView* VeskWebView::webView() {
  if (webView_) return webView_.get();

  kit::Ref<kit::WebView> wv = kit::WebView::create(placeholderView_ ? placeholderView_->frame() : bounds());
  wv->setBackgroundColor(kit::Color::scrollViewTexturedBackground());
  urlLoadCounter_ = 0;
  webView_ = wv;
  if (urlBarRidesWithPage()) wv->setFrame(placeholderViewWithEmbeddedUrlBar_->frame());

  wv->setMultipleTouchEnabled(true);
  wv->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
  wv->setScalesPageToFit(true);
  wv->setDelegate(this);
  installSelectionMenuItems(*wv);

  if (location_.empty()) setLocation(homeLocation());

  if (kit::ScrollView* sv = retrieveScrollView(wv.get())) {
    sv->setScrollsToTop(true);
    if (urlBarRidesWithPage()) {
      pushURLBarIntoUIWebViewScrollView();
      sv->setContentOffset({0, -sv->contentInset().top}, false);
    }
    sv->setDelegate(this);
  }
  if (resultTableView_) resultTableView_->setScrollsToTop(false);

  loadRequest(location_);
  addSubview(wv.get());
  if (progressBoundary_) bringSubviewToFront(progressBoundary_.get());
  // Buttons that float over the page's area (phones) stay above the page.
  for (kit::View* floating : {static_cast<kit::View*>(btnRotationLock_.get()), static_cast<kit::View*>(btnPrivate_.get())})
    if (floating && floating->superview() == this) bringSubviewToFront(floating);
  if (fullScreenMode_ != 0) setFullScreenMode(fullScreenMode_);

  // Gestures; what each one does is the gesture settings' business.
  bool pad = kit::Device::currentDevice().isPad();
  kit::Ref<kit::LongPressGestureRecognizer> hold(new kit::LongPressGestureRecognizer(
      "handleTapAndHold:", [this](kit::GestureRecognizer& g) { handleTapAndHold(g); }));
  hold->setDelegate(this);
  wv->addGestureRecognizer(hold.get());
  for (size_t fingers = 2; fingers <= (pad ? 4u : 3u); ++fingers) {
    for (unsigned direction : {kit::SwipeGestureRecognizer::Right, kit::SwipeGestureRecognizer::Left,
                               kit::SwipeGestureRecognizer::Up, kit::SwipeGestureRecognizer::Down}) {
      kit::Ref<kit::SwipeGestureRecognizer> swipe(
          new kit::SwipeGestureRecognizer("handleSwipe:", [this](kit::GestureRecognizer& g) { handleSwipe(g); }));
      swipe->setDirection(direction);
      swipe->setNumberOfTouchesRequired(fingers);
      swipe->setDelegate(this);
      wv->addGestureRecognizer(swipe.get());
    }
    kit::Ref<kit::TapGestureRecognizer> tap(
        new kit::TapGestureRecognizer("handleTap:", [this](kit::GestureRecognizer& g) { handleTap(g); }));
    tap->setNumberOfTouchesRequired(fingers);
    tap->setDelegate(this);
    wv->addGestureRecognizer(tap.get());
  }

  if (!customScrollIndicator_) {
    kit::Rect b = wv->bounds();
    customScrollIndicator_ = kit::make<VeskProgressIndicatorView>(kit::Rect(b.width() - 7, 5, 5, b.height() - 10));
    customScrollIndicator_->setAutoresizingMask(kit::View::FlexibleLeftMargin | kit::View::FlexibleHeight);
    customScrollIndicator_->setDataSource(this);
  }
  customScrollIndicator_->setHidden(true);
  wv->addSubview(customScrollIndicator_.get());
  return wv.get();
}

kit::ScrollView* VeskWebView::retrieveScrollView(kit::WebView* webView) {
  if (!webView) return nullptr;
  if (kit::ScrollView* sv = webView->scrollView()) return sv;
  for (const kit::Ref<kit::View>& v : webView->subviews())
    if (auto* sv = kit::cast<kit::ScrollView>(v)) return sv;
  return nullptr;
}

bool VeskWebView::isScrollViewAccessibleFromUIWebView() { return retrieveScrollView(webView_.get()) != nullptr; }

// Only a layout with a place for the page under the bar lets the bar ride
// in the page (phones keep their bar above the page).
bool VeskWebView::urlBarRidesWithPage() {
  return bURLBarScroll_ && placeholderViewWithEmbeddedUrlBar_ && isScrollViewAccessibleFromUIWebView();
}

void VeskWebView::detachWebView() {
  kit::Ref<kit::WebView> wv = webView_;
  if (!wv) return;
  if (wv->delegate() == this) wv->setDelegate(nullptr);
  if (kit::ScrollView* sv = retrieveScrollView(wv.get()))
    if (sv->delegate() == this) sv->setDelegate(nullptr);
  for (const kit::Ref<kit::GestureRecognizer>& g : wv->gestureRecognizers()) {
    if (g->delegate() == this) g->setDelegate(nullptr);
    g->removeTarget();
  }
  if (customScrollIndicator_) customScrollIndicator_->removeFromSuperview();
  wv->removeFromSuperview();
  webView_ = nullptr;
}

// ---- State

void VeskWebView::setLocation(const std::string& location) {
  if (location == location_) return;
  location_ = location;
  if (!location_.empty() && urlField_ && !urlField_->isEditing()) urlField_->setText(location_);
  VeskFaviconDatabase* favicons = VeskFaviconDatabase::getSharedInstance();
  if (!favicons->checkFavicon(location_)) performLater("reloadFavicon", 4.0, [this] { reloadFavicon(); });
  if (faviconView_) faviconView_->setImage(favicons->getFavicon(location_));
  if (delegate_ && delegate_->respondsTo(VeskWebViewDelegate::Optional::FaviconUpdated))
    delegate_->faviconUpdated(*this);
}

void VeskWebView::setPrivateMode(bool on) {
  privateMode_ = on;
  if (btnPrivate_) btnPrivate_->setSelected(on);
  if (delegate_) saveAsIdentifier(delegate_->getIdentifierForPersistentData(*this));
}

kit::ViewController* VeskWebView::viewController() const {
  for (kit::View* v = superview(); v; v = v->superview())
    if (auto* vc = dynamic_cast<kit::ViewController*>(v->nextResponder())) return vc;
  return nullptr;
}

void VeskWebView::updateTitleLabel(const std::string& text) {
  if (title_) title_->setText(text);
  if (delegate_ && delegate_->respondsTo(VeskWebViewDelegate::Optional::TitleUpdated)) delegate_->titleUpdated(*this);
}

void VeskWebView::updateButtonUI() {
  kit::WebView* wv = webView_.get();
  bool back = wv && wv->canGoBack();
  bool forward = wv && wv->canGoForward();
  auto show = [](kit::BarButtonItem* item, kit::Button* button, bool enabled) {
    if (item) {
      item->setEnabled(enabled);
      if (kit::View* v = item->customView()) v->setAlpha(enabled ? 1.0 : 0.5);
    }
    if (button) {
      button->setEnabled(enabled);
      button->setAlpha(enabled ? 1.0 : 0.5);
    }
  };
  show(btnPrev_.get(), btnFullscreenPrev_.get(), back);
  show(btnNext_.get(), btnFullscreenNext_.get(), forward);
}

void VeskWebView::reloadFavicon() {
  if (faviconView_) faviconView_->setImage(VeskFaviconDatabase::getSharedInstance()->getFavicon(location_));
  if (delegate_ && delegate_->respondsTo(VeskWebViewDelegate::Optional::FaviconUpdated))
    delegate_->faviconUpdated(*this);
}

void VeskWebView::lockRotationChanged(const kit::Notification& n) {
  if (btnRotationLock_) btnRotationLock_->setSelected(boolOf(n.object()));
}

void VeskWebView::squeezeMemory(const kit::Notification&) {
  double hiddenFor = hitStamp_ ? -hitStamp_->timeIntervalSinceNow() : 0;
  if (hitStamp_ && hiddenFor > 20 && (hiddenFor > 60 || memoryIgnoreCnt_ >= 2)) {
    memoryIgnoreCnt_ = 0;
    if (webView_) {
      popURLBarFromWebViewScrollView();
      webView_->stopLoading();
      mainLoop().cancelPreviousPerformRequests(this);
      detachWebView();
    }
  } else if (webView_) {
    ++memoryIgnoreCnt_;
  }
}

// ---- Screenshots

void VeskWebView::postScreenShotUpdated() {
  kit::RunLoop::performOnMainThread([this] { _postScreenShotUpdated(); }, true);
}

void VeskWebView::_postScreenShotUpdated() {
  if (delegate_ && delegate_->respondsTo(VeskWebViewDelegate::Optional::ScreenShotUpdated))
    delegate_->screenShotUpdated(*this);
}

// ---- Tab state

void VeskWebView::saveAsIdentifier(int index) {
  if (index < 0) return;
  kit::Ref<kit::MutableDictionary> state = kit::MutableDictionary::dictionary();
  state->setObject(kit::str(location_.size() <= kMaxStoredLocationBytes ? location_ : std::string()),
                   TabState::kLocation);
  state->setObject(kit::boolean(privateMode_), TabState::kPrivate);
  state->setObject(kit::Number::numberWithInteger(static_cast<long>(textFontSize_)), TabState::kTextFontSize);
  state->setObject(kit::str(getTitle()), TabState::kTitle);
  kit::UserDefaults::standardUserDefaults().setDictionary(state.get(), TabState::key(index));
}

bool VeskWebView::restoreFromIdentifier(int index) {
  if (index < 0) return false;
  // Anything but a dictionary under the key counts as no saved tab.
  kit::Ref<kit::Dictionary> state = kit::UserDefaults::standardUserDefaults().dictionaryForKey(TabState::key(index));
  if (!state) return false;
  if (kit::Object* p = state->objectForKey(TabState::kPrivate)) setPrivateMode(boolOf(p));
  auto* location = state->get<kit::String>(TabState::kLocation);
  setLocation(location ? location->str() : std::string());
  if (kit::Object* size = state->objectForKey(TabState::kTextFontSize)) {
    // A size that is no positive percentage would make the page unreadable; it is skipped.
    std::optional<long long> percent = integerOf(size);
    if (percent && *percent > 0 && *percent <= 1000) {
      textFontSize_ = static_cast<unsigned>(*percent);
      _updateFontUI();
    }
  }
  auto* title = state->get<kit::String>(TabState::kTitle);
  if (title_) title_->setText(title ? title->str() : LocalizedText::localized("Loading ..."));
  return true;
}

std::optional<std::string> VeskWebView::extrackNewTab(const std::string& url) {
  return textAfterMarker(url, kNewTabMarker, kNewTabMarker2f);
}

std::optional<std::string> VeskWebView::extrackNewBgTab(const std::string& url) {
  return textAfterMarker(url, kNewBgTabMarker, kNewBgTabMarker2f);
}

// ---- HTTP-login probe

void VeskWebView::checkHttpAuthentication() {
  cancelProbe();
  kit::Ref<kit::URL> u = parseURL(authen_url_);
  if (!u || !(u->schemeIs("http") || u->schemeIs("https"))) return;
  kit::Ref<kit::URLRequest> request = kit::URLRequest::requestWithURL(u);
  probe_ = kit::URLConnection::connectionWithRequest(*request, this);
}

void VeskWebView::cancelProbe() {
  if (!probe_) return;
  // Cancelled on its own loop, the connection tells this page nothing more.
  kit::Ref<kit::URLConnection> probe = std::move(probe_);
  probe->cancel();
}

void VeskWebView::didReceiveResponse(kit::URLConnection& connection, kit::URLResponse&) {
  // No login needed.
  if (&connection == probe_.get())
    cancelProbe();
  else
    connection.cancel();
}

void VeskWebView::didFailWithError(kit::URLConnection& connection, kit::Error&) {
  if (&connection == probe_.get()) probe_ = nullptr;
}

void VeskWebView::didReceiveAuthenticationChallenge(kit::URLConnection& connection,
                                                    kit::URLAuthenticationChallenge& challenge) {
  kit::Ref<kit::URLConnection> keep(&connection);
  bSkipAuthCheck_ = true;
  cancelLater("checkHttpAuthentication");
  std::fprintf(stderr, "outout conn : %s / chal : %s\n", connection.description().c_str(),
               challenge.protectionSpace().description().c_str());
  if (kit::Ref<kit::URLAuthenticationChallengeSender> sender = challenge.sender())
    sender->cancelAuthenticationChallenge(challenge);
  if (&connection == probe_.get())
    cancelProbe();
  else
    connection.cancel();
  if (webView_) webView_->stopLoading();
  urlLoadCounter_ = 0;
  if (activity_) activity_->stopAnimating();
  if (progressBoundary_) progressBoundary_->setHidden(true);

  kit::Ref<VeskAuthenticationTableViewController> login(
      new VeskAuthenticationTableViewController(kit::TableView::Style::Grouped));
  kit::Ref<kit::NavigationController> nav = kit::NavigationController::withRootViewController(login.get());
  login->setContentSizeForViewInPopover({320, 300});
  login->setUrlStr(authen_url_);
  login->setVeskWebView(this);
  authen_url_.clear();
  if (kit::Device::currentDevice().isPad()) {
    kit::Ref<kit::PopoverController> pop = kit::PopoverController::withContentViewController(nav.get());
    kit::Point c = bounds().center();
    pop->presentPopoverFromRect(kit::Rect(c.x, c.y, 1, 1), this, 0, true);
    login->setPop(pop.get());
  } else if (kit::ViewController* vc = viewController()) {
    vc->presentViewController(nav.get(), true);
  }
  bSkipAuthCheck_ = false;
}

// ---- VeskTabable

kit::Ref<kit::Image> VeskWebView::getScreenShot(kit::Size size) {
  if (!webView_) return nullptr;
  kit::Ref<kit::Image> picture = webView_->snapshot();
  return picture ? picture->scaledToSize(size) : nullptr;
}

std::string VeskWebView::getTitle() {
  if (!webView_ || webView_->isLoading()) return title_ ? title_->text() : std::string();
  return UIWebViewExpand::getTitle(*webView_);
}

void VeskWebView::willBeDestoryed() {
  if (webView_) webView_->stopLoading();
  urlLoadCounter_ = 0;
  mainLoop().cancelPreviousPerformRequests(this);
  // A closing tab must not come back with a login screen.
  cancelProbe();
  observers_.clear();
  keyboardObserver_.reset();
}

void VeskWebView::willBeViewed() {
  hitStamp_ = nullptr;
  memoryIgnoreCnt_ = 0;
  webView()->setHidden(false);
  if (!kit::Device::currentDevice().isPad())
    keyboardObserver_ =
        kit::NotificationCenter::defaultCenter().addObserver(kit::Application::kKeyboardDidShowNotification, nullptr,
                                                             [this](const kit::Notification& n) { _keyboardBegin(n); });
  if (customScrollIndicator_) customScrollIndicator_->setHidden(true);
}

void VeskWebView::didView() {
  if (auto* main = dynamic_cast<VeskWebViewController*>(viewController()))
    if (btnRotationLock_) btnRotationLock_->setSelected(main->lockRotation());
}

void VeskWebView::willBeViewedOnceSettled() {
  performLater("willBeViewed", 0, [this] {
    if (superview() && !isHidden()) willBeViewed();
  });
}

void VeskWebView::willBeHidden() {
  cancelLater("willBeViewed");
  hitStamp_ = kit::Date::date();
  keyboardObserver_.reset();
}

void VeskWebView::settingsUpdated() {
  if (searchField_) searchField_->setPlaceholder(VeskMiscObject::sharedInstance()->searchEngineSelection());
}

// ---- The web view's questions and reports

bool VeskWebView::webViewShouldStartLoadWithRequest(kit::WebView& webView, kit::URLRequest& request,
                                                    kit::WebViewNavigationType navigationType) {
  kit::URL* url = request.url();
  std::string text = url ? url->absoluteString() : std::string();

  std::optional<std::string> plain = extrackNewTab(text);
  std::optional<std::string> background = plain ? std::nullopt : extrackNewBgTab(text);
  if (plain || background) {
    std::string target = plain ? *plain : *background;
    if (kit::URL::schemeOfString(target).empty()) {
      kit::URLRequest* current = webView.request();
      if (kit::Ref<kit::URL> resolved = kit::URL::lenientURLWithString(target, current ? current->url() : nullptr))
        target = resolved->absoluteString();
    }
    if (delegate_ && delegate_->respondsTo(VeskWebViewDelegate::Optional::NeedToCreateNewTab)) {
      downloadable_url_.clear();
      delegate_->needToCreateNewTab(this, target, plain.has_value(), privateMode_);
    }
    return false;
  }

  std::string scheme = lowercase(url ? url->scheme() : std::string(kit::URL::schemeOfString(text)));
  if (scheme != "http" && scheme != "https") {
    if (!url || !kit::Application::sharedApplication()->canOpenURL(url)) return true;
    external_url_ = url;
    downloadable_url_.clear();
    std::string message;
    if (hasPrefixIgnoringCase(text, "mailto:"))
      message = LocalizedText::localizedFormat("Mail to %@", {text.substr(7)});
    else if (hasPrefixIgnoringCase(text, "tel:"))
      message = LocalizedText::localizedFormat("Call %@", {text.substr(4)});
    else
      message = LocalizedText::localized("Selected link requires another Application. Would you like to continue ?");
    kit::Ref<kit::AlertView> alert(new kit::AlertView("", message, this, LocalizedText::localized("Cancel"),
                                                      {LocalizedText::localized("Continue")}));
    alert->setTag(kTagExternalLink);
    showOwnAlert(alert);
    return false;
  }

  VeskMiscObject* misc = VeskMiscObject::sharedInstance();
  if (misc->opt_adblock() && VeskAdblockManager::sharedInstance()->checkWithFilter(text)) {
    if (navigationType == kit::WebViewNavigationType::LinkClicked) {
      kit::Ref<kit::AlertView> alert(new kit::AlertView("", LocalizedText::localized("URL blocked by Ad Blocker"),
                                                        nullptr, LocalizedText::localized("OK")));
      alert->show();
    }
    return false;
  }

  if (misc->opt_http_auth()) {
    if (!bSkipAuthCheck_) {
      authen_url_ = text;
      performLater("checkHttpAuthentication", 3.0, [this] { checkHttpAuthentication(); });
    }
    bSkipAuthCheck_ = false;
  }

  if (navigationType == kit::WebViewNavigationType::FormSubmitted)
    processSavePassword(nullptr);
  else
    downloadable_url_ = text;
  return true;
}

void VeskWebView::webViewDidStartLoad(kit::WebView&) {
  activity_->startAnimating();
  progressBoundary_->setHidden(false);
  btnStopRefresh_->setSelected(true);
  ++urlLoadCounter_;
  if (title_->text().empty()) title_->setText(LocalizedText::localized("Loading ..."));
  injectJscode();
}

void VeskWebView::webViewDidFinishLoad(kit::WebView& webView) {
  kit::Ref<kit::WebView> keep(&webView);
  injectJSandPopupHandler();
  if (urlLoadCounter_ > 0) --urlLoadCounter_;

  // A page counts as a whole ("exactly once") only when its last load is done.
  bool accurate = VeskMiscObject::sharedInstance()->bAccurateLoadCompletionDetection();
  auto refreshFromPage = [&] {
    updateTitleLabel(UIWebViewExpand::getTitle(webView));
    // A page that reports no address keeps the one it had.
    std::string where = UIWebViewExpand::getLocation(webView);
    if (!where.empty()) setLocation(where);
  };
  if (accurate && urlLoadCounter_ > 0) {
    refreshFromPage();
    updateButtonUI();
    return;
  }

  updateButtonUI();
  if (textFontSize_ != 100) UIWebViewExpand::applyFontSize(webView, textFontSize_);

  cancelLater("checkHttpAuthentication");
  cancelLater("postScreenShotUpdated");
  if (!accurate) cancelLater("injectJscode");
  bool screenshots = delegate_ && delegate_->isScreenShotActive();
  performLater("postScreenShotUpdated", screenshots ? 2.0 : 8.0, [this] { postScreenShotUpdated(); });
  if (accurate)
    injectJscode();
  else
    performLater("injectJscode", 0.5, [this] { injectJscode(); });

  webView.stringByEvaluatingJavaScriptFromString("document.body.style.webkitTouchCallout='none';");
  btnStopRefresh_->setSelected(false);
  refreshFromPage();

  VeskBookmarkDatabase* bookmarks = VeskBookmarkDatabase::getSharedInstance();
  if (bookmarks->opt_saveHistory() && !privateMode_ && location_.size() <= kMaxStoredLocationBytes)
    bookmarks->addItemAtHistory(title_->text(), location_);

  if (delegate_) saveAsIdentifier(delegate_->getIdentifierForPersistentData(*this));

  kit::Ref<kit::URL> site = parseURL(location_);
  if (site && !site->host().empty()) {
    if (kit::Ref<kit::MutableDictionary> fields =
            VeskPagePasswordDatabase::sharedInstance()->retrieveByURL(site->host())) {
      fields->enumerate([&](kit::Object* key, kit::Object* value, bool&) {
        auto* k = kit::cast<kit::String>(key);
        auto* v = kit::cast<kit::String>(value);
        if (k && v) UIWebViewExpand::setValue(webView, v->str(), k->str());
      });
    }
  }

  activity_->stopAnimating();
  progressBoundary_->setHidden(true);
}

void VeskWebView::webViewDidFailLoadWithError(kit::WebView&, kit::Error* error) {
  if (urlLoadCounter_ > 0) --urlLoadCounter_;
  activity_->stopAnimating();
  progressBoundary_->setHidden(true);
  btnStopRefresh_->setSelected(false);
  updateButtonUI();
  if (!error) return;

  long code = error->code();
  if (code == kit::WebView::kWebKitErrorFrameLoadInterrupted && !downloadable_url_.empty()) {
    kit::Ref<kit::URL> u = parseURL(downloadable_url_);
    std::string file = u ? u->lastPathComponent() : downloadable_url_.substr(downloadable_url_.rfind('/') + 1);
    kit::Ref<kit::AlertView> offer(new kit::AlertView(
        LocalizedText::localized("Download"),
        LocalizedText::localizedFormat("The file '%@' can not be displayed. Would you like to download it?", {file}),
        this, LocalizedText::localized("Cancel"), {LocalizedText::localized("OK")}));
    offer->setTag(kTagDownload);
    showOwnAlert(offer);
    return;
  }
  // Cancelled loads, plug-in hand-overs and undisplayable content are no
  // failures to tell; neither is the unsupported URL of a link that is
  // waiting for the user's go-ahead to open elsewhere.
  if (code == kit::WebView::kWebKitErrorPlugInWillHandleLoad || code == kit::WebView::kURLErrorCancelled ||
      code == kit::WebView::kWebKitErrorFrameLoadInterrupted ||
      (code == kit::WebView::kURLErrorUnsupportedURL && external_url_))
    return;
  std::string reason;
  std::string failed = location_;
  if (kit::Dictionary* info = error->userInfo()) {
    if (auto* r = info->get<kit::String>(kit::Error::kLocalizedFailureReasonKey)) reason = r->str();
    if (auto* u = info->get<kit::String>(kit::URLError::kFailingURLStringKey); u && !u->str().empty()) failed = u->str();
  }
  // Nothing is loading any more: the title names the address that failed
  // rather than waiting for a page.
  if (title_ && !failed.empty()) title_->setText(failed);
  kit::Ref<kit::AlertView> alert(
      new kit::AlertView(error->localizedDescription(), reason, nullptr, LocalizedText::localized("Close")));
  alert->show();
}

void VeskWebView::alertViewClickedButtonAtIndex(kit::AlertView& alert, long index) {
  if (alert.tag() == kTagExternalLink) {
    if (index == 1 && external_url_) kit::Application::sharedApplication()->openURLInSystem(external_url_.get());
    external_url_ = nullptr;
  } else if (alert.tag() == kTagDownload) {
    if (index == 1 && !downloadable_url_.empty()) VeskDownloadManager::sharedInstance()->start(downloadable_url_);
  }
}

void VeskWebView::showOwnAlert(kit::Ref<kit::AlertView> alert) {
  std::erase_if(ownAlerts_, [](const kit::WeakRef<kit::AlertView>& w) { return w.expired(); });
  ownAlerts_.emplace_back(alert);
  alert->show();
}

void VeskWebView::performLater(const char* action, double delay, std::function<void()> fn) {
  mainLoop().cancelPreviousPerformRequests(this, action, nullptr);
  mainLoop().performAfterDelay(this, action, nullptr, delay, std::move(fn));
}

void VeskWebView::cancelLater(const char* action) { mainLoop().cancelPreviousPerformRequests(this, action, nullptr); }

// ---- Progress indicator data

kit::Size VeskWebView::contentSize() {
  kit::ScrollView* sv = retrieveScrollView(webView_.get());
  return sv ? sv->contentSize() : kit::Size{};
}

kit::Size VeskWebView::visibleSize() { return webView_ ? webView_->bounds().size : kit::Size{}; }

kit::Point VeskWebView::offset() {
  kit::ScrollView* sv = retrieveScrollView(webView_.get());
  return sv ? sv->contentOffset() : kit::Point{};
}

// ---- Field editing and the text-size popup; the other page tools are in
// VeskWebViewTools.cpp.

void VeskWebView::onSearch() {
  if (searchField_) searchField_->becomeFirstResponder();
}

void VeskWebView::setShowFontPopup(bool show) {
  showFontPopup_ = show;
  if (!vwFontPopup_) return;
  if (show) bringSubviewToFront(vwFontPopup_.get());
  vwFontPopup_->setHidden(!show);
}

void VeskWebView::pushFullScreen(bool wasOn) { fullscreenStatusStack_.push_back(wasOn); }

bool VeskWebView::popFullScreen(bool* wasOn) {
  if (fullscreenStatusStack_.empty()) return false;
  if (wasOn) *wasOn = fullscreenStatusStack_.back();
  fullscreenStatusStack_.pop_back();
  return true;
}

void VeskWebView::showDownloadManager() {
  if (VeskDownloadTableViewController::isShowing()) return;
  kit::Ref<kit::NavigationController> nav = VeskDownloadTableViewController::makeNavigationController();
  if (kit::ViewController* controller = viewController()) controller->presentViewController(nav.get(), true);
}

// ---- Life cycle

void VeskWebView::awakeFromNib() {
  bURLBarScroll_ = VeskMiscObject::sharedInstance()->bURLBarScroll();
  auto& center = kit::NotificationCenter::defaultCenter();
  observers_.push_back(center.addObserver(kit::Application::kDidReceiveMemoryWarningNotification, nullptr,
                                          [this](const kit::Notification& n) { squeezeMemory(n); }));
  observers_.push_back(center.addObserver(kVeskRotationLockNotification, nullptr,
                                          [this](const kit::Notification& n) { lockRotationChanged(n); }));
  textFontSize_ = 100;
  if (urlBaseView_) {
    kit::Ref<kit::GradientLayer> gradient = kit::GradientLayer::layer();
    kit::Rect bar = urlBaseView_->bounds();
    gradient->setFrame(kit::Rect(bar.origin.x, bar.origin.y, 2048, bar.height()));
    gradient->setColors({kit::Color::darkGrayColor(), kit::Color::blackColor()});
    urlBaseView_->layer()->insertSublayer(gradient.get(), 0);
  }
  connectFieldActions();
  updateButtonUI();
  willBeHidden();
  settingsUpdated();
}

}  // namespace tolva
