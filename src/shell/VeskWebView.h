#pragma once
// The page of one tab: the address and search fields, the toolbars and the
// embedded web view, which is made on first use. It builds the requests,
// answers the web view's questions before each load (new-tab markers,
// links for other programs, blocked URLs), follows each load to its end
// (history, tab state, saved form values, screenshot) and reports failures.
//
// Made from the interface file "VeskViewComponents" ("...~iphone" on
// phones) by allocInstance(). Main thread only.

#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Notification.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/URL.h"
#include "kit/net/URLRequest.h"
#include "kit/ui/ActivityIndicatorView.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Button.h"
#include "kit/ui/GestureRecognizer.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/TextField.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/WebView.h"
#include "shell/AuthProbeConnection.h"
#include "shell/VeskProgressIndicatorView.h"
#include "shell/VeskTabable.h"
#include "shell/VeskWebViewDelegate.h"

namespace tolva {

class VeskWebView : public kit::View,
                    public VeskTabable,
                    public kit::WebViewDelegate,
                    public kit::AlertViewDelegate,
                    public kit::ScrollViewDelegate,
                    public kit::TextFieldDelegate,
                    public kit::GestureRecognizerDelegate,
                    public VeskProgressIndicatorDatasource,
                    public AuthProbeConnectionDelegate {
 public:
  // Markers the context script puts in links that open a new window.
  static constexpr const char* kNewTabMarker = "newtabquorb58301946627/";
  static constexpr const char* kNewBgTabMarker = "newbgtabquorb58301946627";
  // Alert tags.
  static constexpr long kTagExternalLink = 0;
  static constexpr long kTagDownload = 2;
  // Opened when neither a location nor the "homepage" setting names a page.
  static constexpr const char* kDefaultHomePage = "https://www.google.com/";

  explicit VeskWebView(kit::Rect frame = {});
  ~VeskWebView() override;

  // ---- Creation. Each answers a new page view, or null when the interface
  // file yields none. With createImmediately the web view is made (and
  // starts loading) at once, else when the tab is first shown.
  static kit::Ref<VeskWebView> allocInstance(kit::Rect frame, VeskWebViewDelegate* delegate,
                                             const std::string& location, bool createImmediately);
  static kit::Ref<VeskWebView> allocInstance(kit::Rect frame, VeskWebViewDelegate* delegate,
                                             const std::string& location);
  // No location: the page opens the home page.
  static kit::Ref<VeskWebView> allocInstance(kit::Rect frame, VeskWebViewDelegate* delegate);
  // byRestoreingWithIdx: the tab saved under "tab%d"; null when there is none.
  static kit::Ref<VeskWebView> allocInstance(kit::Rect frame, VeskWebViewDelegate* delegate, int index);

  // The page scripts, read once from the bundle.
  static const std::string& getPasswordJSCode();
  static const std::string& getContextJSCode();

  // ---- Loading
  // The one way a page loads: "http://about:blank" blanks the page; with a
  // user name and password the request carries a Basic login.
  void loadRequest(const std::string& url, const std::optional<std::string>& userId = std::nullopt,
                   const std::optional<std::string>& password = std::nullopt);
  // A request with cache policy 1 and a 60 s time-out; null for text that is no URL.
  static kit::Ref<kit::URLRequest> _allocNSURLRequest(const std::string& url);
  // Base64 with "=" padding.
  static std::string encode(const std::string& data);
  // Opens a chosen URL (bookmark, suggestion, search result) in this page.
  void bookmarkUrlSelected(const std::string& url);
  void reload();
  void onPrev();
  void onNext();
  void onStopReload();
  static bool startsWithHttp(const std::string& s);

  // ---- The web view
  // Made on first use (and then loading the location or the home page).
  kit::WebView* webView();
  // The web view when it exists; never makes one.
  kit::WebView* existingWebView() const noexcept { return webView_.get(); }
  static kit::ScrollView* retrieveScrollView(kit::WebView* webView);
  bool isScrollViewAccessibleFromUIWebView();
  void pushURLBarIntoUIWebViewScrollView();
  void popURLBarFromWebViewScrollView();

  // ---- State
  const std::string& location() const noexcept { return location_; }
  void setLocation(const std::string& location);
  VeskWebViewDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(VeskWebViewDelegate* d) { delegate_ = d; }
  bool privateMode() const noexcept { return privateMode_; }
  void setPrivateMode(bool on);
  int fullScreenMode() const noexcept { return fullScreenMode_; }
  void setFullScreenMode(int mode);
  unsigned textFontSize() const noexcept { return textFontSize_; }
  void setTextFontSize(unsigned percent) { textFontSize_ = percent; }
  bool bURLBarScroll() const noexcept { return bURLBarScroll_; }
  kit::Date* hitStamp() const noexcept { return hitStamp_.get(); }
  int memoryIgnoreCnt() const noexcept { return memoryIgnoreCnt_; }
  int urlLoadCounter() const noexcept { return urlLoadCounter_; }
  kit::URL* external_url() const noexcept { return external_url_.get(); }
  const std::string& downloadable_url() const noexcept { return downloadable_url_; }
  const std::string& authen_url() const noexcept { return authen_url_; }
  bool bSkipAuthCheck() const noexcept { return bSkipAuthCheck_; }
  VeskProgressIndicatorView* customScrollIndicator() const noexcept { return customScrollIndicator_.get(); }

  // The controller of the nearest superview that has one.
  kit::ViewController* viewController() const;
  void updateTitleLabel(const std::string& text);
  void updateButtonUI();
  void reloadFavicon();
  void lockRotationChanged(const kit::Notification& n);
  void squeezeMemory(const kit::Notification& n);
  void scrollToTop();
  void scrollToBottom();

  // ---- Screenshots
  void postScreenShotUpdated();
  void _postScreenShotUpdated();

  // ---- Tab state under "tab%d"
  void saveAsIdentifier(int index);
  bool restoreFromIdentifier(int index);

  // ---- Page scripts and passwords
  void injectJSandPopupHandler();
  void injectJscode();
  void processSavePassword(const kit::Dictionary* record);

  // ---- New-tab markers: the text after the marker, or none without one.
  static std::optional<std::string> extrackNewTab(const std::string& url);
  static std::optional<std::string> extrackNewBgTab(const std::string& url);

  // ---- HTTP-login probe
  void checkHttpAuthentication();
  AuthProbeConnection* probeConnection() const noexcept { return probe_.get(); }

  // ---- VeskTabable
  kit::Ref<kit::Image> getScreenShot(kit::Size size) override;
  std::string getTitle() override;
  void willBeDestoryed() override;
  void willBeViewed() override;
  void didView() override;
  void willBeHidden() override;
  void settingsUpdated() override;

  // ---- kit::WebViewDelegate
  bool webViewShouldStartLoadWithRequest(kit::WebView& webView, kit::URLRequest& request,
                                         kit::WebViewNavigationType navigationType) override;
  void webViewDidStartLoad(kit::WebView& webView) override;
  void webViewDidFinishLoad(kit::WebView& webView) override;
  void webViewDidFailLoadWithError(kit::WebView& webView, kit::Error* error) override;

  // ---- kit::AlertViewDelegate
  void alertViewClickedButtonAtIndex(kit::AlertView& alert, long index) override;

  // ---- AuthProbeConnectionDelegate
  void connectionDidReceiveAuthenticationChallenge(AuthProbeConnection& connection,
                                                   const std::string& challenge) override;
  void connectionDidReceiveResponse(AuthProbeConnection& connection) override;
  void connectionDidFailWithError(AuthProbeConnection& connection, kit::Error* error) override;

  // ---- VeskProgressIndicatorDatasource
  kit::Size contentSize() override;
  kit::Size visibleSize() override;
  kit::Point offset() override;

  // ---- Gestures on the web view
  void handleTap(kit::GestureRecognizer& recognizer);
  void handleSwipe(kit::GestureRecognizer& recognizer);
  void handleTapAndHold(kit::GestureRecognizer& recognizer);

  // ---- Controls of the interface file
  void onAction();
  void onEasyCommand();
  void onReader();
  void onBookmark();
  void onToggleLockRotation();
  void onExitSearchInput();
  void onFullScreen();
  void onPrivateMode();
  void onFontIncrease();
  void onFontReset();
  void onFontDerease();
  void onFontClose();
  void _updateFontUI();
  void _keyboardBegin(const kit::Notification& n);

  // ---- Outlets
  kit::View* placeholderView() const { return placeholderView_.get(); }
  kit::View* placeholderViewWithEmbeddedUrlBar() const { return placeholderViewWithEmbeddedUrlBar_.get(); }
  kit::BarButtonItem* btnNext() const { return btnNext_.get(); }
  kit::BarButtonItem* btnPrev() const { return btnPrev_.get(); }
  kit::BarButtonItem* btnAction() const { return btnAction_.get(); }
  kit::BarButtonItem* btnEzCommand() const { return btnEzCommand_.get(); }
  kit::ImageView* faviconView() const { return faviconView_.get(); }
  kit::Button* btnStopRefresh() const { return btnStopRefresh_.get(); }
  kit::View* urlBaseView() const { return urlBaseView_.get(); }
  kit::View* header_left() const { return header_left_.get(); }
  kit::View* header_right() const { return header_right_.get(); }
  kit::ActivityIndicatorView* activity() const { return activity_.get(); }
  kit::View* progressBoundary() const { return progressBoundary_.get(); }
  kit::Label* title() const { return title_.get(); }
  kit::TextField* urlField() const { return urlField_.get(); }
  kit::TextField* searchField() const { return searchField_.get(); }
  kit::BarButtonItem* readerBtn() const { return readerBtn_.get(); }
  kit::BarButtonItem* bookmarkBtn() const { return bookmarkBtn_.get(); }
  kit::View* textFieldZoomPlaceHolder() const { return textFieldZoomPlaceHolder_.get(); }
  kit::Button* textFieldZoomCloseBtn() const { return textFieldZoomCloseBtn_.get(); }
  kit::Button* btnRotationLock() const { return btnRotationLock_.get(); }
  kit::View* toolBarView1() const { return toolBarView1_.get(); }
  kit::View* toolBarView2() const { return toolBarView2_.get(); }
  kit::Button* btnPrivate() const { return btnPrivate_.get(); }
  kit::Button* btnFullscreenExit() const { return btnFullscreenExit_.get(); }
  kit::Button* btnFullscreenPrev() const { return btnFullscreenPrev_.get(); }
  kit::Button* btnFullscreenNext() const { return btnFullscreenNext_.get(); }
  kit::View* vwFontPopup() const { return vwFontPopup_.get(); }
  kit::Button* btnFontIncrease() const { return btnFontIncrease_.get(); }
  kit::Button* btnFontReset() const { return btnFontReset_.get(); }
  kit::Button* btnFontDecrease() const { return btnFontDecrease_.get(); }
  kit::View* header_left_placeHolder() const { return header_left_placeHolder_.get(); }
  kit::View* header_right_placeHolder() const { return header_right_placeHolder_.get(); }
  kit::ScrollView* resultTableView() const { return resultTableView_.get(); }
  kit::Label* pullDownToRefreshLabel() const { return pullDownToRefreshLabel_.get(); }

  void awakeFromNib() override;
  std::string className() const override { return "VeskWebView"; }

 private:
  friend class VeskViewComponentsBuilder;

  // Shows an alert whose delegate is this page; the page lets go of it when it goes.
  void showOwnAlert(kit::Ref<kit::AlertView> alert);
  // Runs `fn` after `delay` on the main run loop; an earlier pending call of
  // the same name is cancelled first.
  void performLater(const char* action, double delay, std::function<void()> fn);
  void cancelLater(const char* action);
  // Lets go of the web view: no delegate, gesture or indicator of it points here any more.
  void detachWebView();
  void cancelProbe();
  void dismissBookmarkPopover();

  // Outlets.
  kit::Ref<kit::View> placeholderView_;
  kit::Ref<kit::View> placeholderViewWithEmbeddedUrlBar_;
  kit::Ref<kit::BarButtonItem> btnNext_, btnPrev_, btnAction_, btnEzCommand_;
  kit::Ref<kit::ImageView> faviconView_;
  kit::Ref<kit::Button> btnStopRefresh_;
  kit::Ref<kit::View> urlBaseView_;
  kit::Ref<kit::View> header_left_, header_right_;
  kit::Ref<kit::ActivityIndicatorView> activity_;
  kit::Ref<kit::View> progressBoundary_;
  kit::Ref<kit::Label> title_;
  kit::Ref<kit::TextField> urlField_, searchField_;
  kit::Ref<kit::BarButtonItem> readerBtn_, bookmarkBtn_;
  kit::Ref<kit::View> textFieldZoomPlaceHolder_;
  kit::Ref<kit::Button> textFieldZoomCloseBtn_;
  kit::Ref<kit::Button> btnRotationLock_;
  kit::Ref<kit::View> toolBarView1_, toolBarView2_;
  kit::Ref<kit::Button> btnPrivate_;
  kit::Ref<kit::Button> btnFullscreenExit_, btnFullscreenPrev_, btnFullscreenNext_;
  kit::Ref<kit::View> vwFontPopup_;
  kit::Ref<kit::Button> btnFontIncrease_, btnFontReset_, btnFontDecrease_;
  kit::Ref<kit::View> header_left_placeHolder_, header_right_placeHolder_;
  kit::Ref<kit::ScrollView> resultTableView_;
  kit::Ref<kit::Label> pullDownToRefreshLabel_;

  // State.
  kit::Ref<kit::WebView> webView_;
  kit::Ref<kit::Date> hitStamp_;
  VeskWebViewDelegate* delegate_ = nullptr;  // the tab strip; not owned
  bool privateMode_ = false;
  int fullScreenMode_ = 0;
  bool showFontPopup_ = false;
  int memoryIgnoreCnt_ = 0;
  unsigned textFontSize_ = 100;
  kit::Ref<kit::URL> external_url_;
  std::string downloadable_url_;
  std::string authen_url_;
  bool bSkipAuthCheck_ = false;
  bool bShowingPasswordSheet_ = false;
  int urlLoadCounter_ = 0;
  std::string location_;
  bool bURLBarScroll_ = false;
  kit::Ref<VeskProgressIndicatorView> customScrollIndicator_;
  kit::Ref<AuthProbeConnection> probe_;
  std::vector<kit::WeakRef<kit::AlertView>> ownAlerts_;
  std::vector<kit::NotificationCenter::Token> observers_;
  kit::NotificationCenter::Token keyboardObserver_;
};

}  // namespace tolva
