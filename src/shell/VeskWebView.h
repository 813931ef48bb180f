#pragma once
// The page of one tab: the address and search fields, the toolbars and the
// embedded web view, which is made on first use. It builds the requests,
// answers the web view's questions before each load (new-tab markers,
// links for other programs, blocked URLs), follows each load to its end
// (history, tab state, saved form values, screenshot) and reports failures.
//
// Made from the interface file "VeskViewComponents" ("...~iphone" on
// phones) by allocInstance(). Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/VeskPageTarget.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Notification.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/URL.h"
#include "kit/net/URLConnection.h"
#include "kit/net/URLConnectionDelegate.h"
#include "kit/net/URLRequest.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/ActivityIndicatorView.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Button.h"
#include "kit/ui/GestureRecognizer.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/TableView.h"
#include "kit/ui/TextField.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/WebView.h"
#include "shell/VeskProgressIndicatorView.h"
#include "shell/VeskTabable.h"
#include "shell/VeskWebViewDelegate.h"

namespace tolva {

class ShareItem;

class VeskWebView : public kit::View,
                    public VeskTabable,
                    public VeskPageTarget,
                    public kit::WebViewDelegate,
                    public kit::ActionSheetDelegate,
                    public kit::AlertViewDelegate,
                    public kit::ScrollViewDelegate,
                    public kit::TextFieldDelegate,
                    public kit::GestureRecognizerDelegate,
                    public VeskProgressIndicatorDatasource,
                    public kit::URLConnectionDelegate {
 public:
  // Markers the context script puts in links that open a new window.
  static constexpr const char* kNewTabMarker = "newtabquorb58301946627/";
  static constexpr const char* kNewBgTabMarker = "newbgtabquorb58301946627";
  // Alert tags.
  static constexpr long kTagExternalLink = 0;
  static constexpr long kTagDownload = 2;
  // Opened when neither a location nor the "homepage" setting names a page.
  static constexpr const char* kDefaultHomePage = "https://www.google.com/";
  // A longer address (a page's own data: URL, say) is neither recorded in the
  // history nor kept in the tab state: both live in the settings file.
  static constexpr size_t kMaxStoredLocationBytes = 65536;

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
                   const std::optional<std::string>& password = std::nullopt) override;
  // A request with cache policy 1 and a 60 s time-out; null for text that is no URL.
  static kit::Ref<kit::URLRequest> _allocNSURLRequest(const std::string& url);
  // Base64 with "=" padding.
  static std::string encode(const std::string& data);
  // Opens a chosen URL (bookmark, suggestion, search result) in this page.
  void bookmarkUrlSelected(const std::string& url) override;
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
  // The address bar scrolls with the page: the setting is on, the layout has
  // a place for it and the web view offers its scroll view.
  bool urlBarRidesWithPage();
  void pushURLBarIntoUIWebViewScrollView();
  void popURLBarFromWebViewScrollView();

  // ---- State
  const std::string& location() const noexcept override { return location_; }
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

  // ---- Screenshots
  void postScreenShotUpdated();
  void _postScreenShotUpdated();

  // ---- Tab state under "tab%d"
  void saveAsIdentifier(int index);
  bool restoreFromIdentifier(int index);

  // ---- Page scripts and passwords
  // Action-sheet tags of the questions to save a login and to change a saved one.
  static constexpr long kTagSavePassword = 2;
  static constexpr long kTagChangePassword = 3;
  // The context script when the page lacks it, and the pop-up handler.
  void injectJSandPopupHandler();
  // The same, and the link targets.
  void injectJscode();
  // Offers to save a login for the page's site: the HTTP login `record`
  // ({"login", "password", "url"}), or with none the submitted form as the
  // password script reads it. One question at a time per page.
  void processSavePassword(const kit::Dictionary* record);
  // Whether `fields` agrees with every key of `stored` that it has.
  static bool matchTwoDictionaries(const kit::Dictionary* stored, const kit::Dictionary* fields);
  // The user's answer to a save or change question.
  void passwordSheetClickedButtonAtIndex(kit::ActionSheet& sheet, long index);
  bool bShowingPasswordSheet() const noexcept { return bShowingPasswordSheet_; }

  // ---- New-tab markers: the text after the marker, or none without one.
  static std::optional<std::string> extrackNewTab(const std::string& url);
  static std::optional<std::string> extrackNewBgTab(const std::string& url);

  // ---- HTTP-login probe
  void checkHttpAuthentication();
  kit::URLConnection* probeConnection() const noexcept { return probe_.get(); }

  // ---- VeskTabable
  kit::Ref<kit::Image> getScreenShot(kit::Size size) override;
  std::string getTitle() override;
  void willBeDestoryed() override;
  void willBeViewed() override;
  // willBeViewed once the program has settled, if the page is still on show
  // then: the first page of a start may give way at once (a URL handed over
  // at launch opens a tab of its own), and a page never seen makes no web
  // view and no web process.
  void willBeViewedOnceSettled();
  void didView() override;
  void willBeHidden() override;
  void settingsUpdated() override;

  // ---- kit::View
  void layoutSubviews() override;

  // ---- kit::WebViewDelegate
  bool webViewShouldStartLoadWithRequest(kit::WebView& webView, kit::URLRequest& request,
                                         kit::WebViewNavigationType navigationType) override;
  void webViewDidStartLoad(kit::WebView& webView) override;
  void webViewDidFinishLoad(kit::WebView& webView) override;
  void webViewDidFailLoadWithError(kit::WebView& webView, kit::Error* error) override;

  // ---- kit::AlertViewDelegate
  void alertViewClickedButtonAtIndex(kit::AlertView& alert, long index) override;

  // ---- kit::URLConnectionDelegate (the login probe)
  void didReceiveAuthenticationChallenge(kit::URLConnection& connection,
                                         kit::URLAuthenticationChallenge& challenge) override;
  void didReceiveResponse(kit::URLConnection& connection, kit::URLResponse& response) override;
  void didFailWithError(kit::URLConnection& connection, kit::Error& error) override;

  // ---- VeskProgressIndicatorDatasource
  kit::Size contentSize() override;
  kit::Size visibleSize() override;
  kit::Point offset() override;

  // ---- Gesture and toolbar actions
  // The numbered actions a gesture, a trackpad, a tab or a button triggers.
  static constexpr int kLastAction = 28;
  // Swipes closer together than this count as one.
  static constexpr double kSwipeInterval = 0.5;
  // Scrolling to an end waits this long after its gesture.
  static constexpr double kScrollDelay = 0.1;
  // Action-sheet tags of the two toolbar menus.
  static constexpr long kTagActionsMenu = 0;
  static constexpr long kTagCommandMenu = 1;

  // Runs action `code` (1 to kLastAction; any other does nothing). A
  // recogniser given as sender is held off while the action runs.
  void handleAction(int code, kit::GestureRecognizer* sender = nullptr);
  // handleAction() with the number's integer value (none: nothing).
  void handleActionFromOutside(const kit::Number* code);
  void handleTap(kit::GestureRecognizer& recognizer);
  void handleSwipe(kit::GestureRecognizer& recognizer);
  void handleTapAndHold(kit::GestureRecognizer& recognizer);
  // A point in the web view in the page's own coordinates: scaled by the
  // page's window width over the view's width (on systems before 5.0 the
  // page's scroll offset is added too). Asks the page; unscaled without one.
  kit::Point documentPoint(kit::Point inWebView);
  // A tap never runs together with a pinch; any other pair may.
  bool gestureRecognizerShouldRecognizeSimultaneously(kit::GestureRecognizer& recognizer,
                                                      kit::GestureRecognizer& other) override;
  // When the last swipe was seen; null before the first.
  kit::Date* timeStamp() const noexcept { return timeStamp_.get(); }
  void scrollToTop();
  void scrollToBottom();
  // To the top when the page is nearer its bottom, else to the bottom.
  void onToggleScrollToEnd();
  void onPrivateMode();
  void onToggleLockRotation();
  // The two toolbar menus, each made on first use.
  kit::ActionSheet* easyCommandSheet();
  kit::ActionSheet* actionsMenuSheet();
  void onEasyCommand();
  void onAction();

  // ---- Page tools and field editing the actions reach
  void onSearch();
  bool showFontPopup() const noexcept { return showFontPopup_; }
  void setShowFontPopup(bool show);
  void pushFullScreen(bool wasOn);
  // Takes the last value pushed; false when there is none.
  bool popFullScreen(bool* wasOn);
  void showDownloadManager();
  void onShowShare();
  void showShareSheet(ShareItem* item);
  void onTranslate();
  // The long-press menu for the element at `documentPoint`, shown at `popupPoint` in this view.
  void openContextualMenuAt(kit::Point documentPoint, kit::Point popupPoint);
  // Where the long-press menu was last asked for: the page's element and the popup's place.
  kit::Point contextMenuDocumentPoint() const noexcept { return contextMenuDocumentPoint_; }
  kit::Point contextMenuPopupPoint() const noexcept { return contextMenuPopupPoint_; }

  // ---- Page tools (VeskWebViewTools.cpp)
  // Action-sheet tags of the long-press menus.
  static constexpr long kTagLinkMenu = 4;
  static constexpr long kTagLinkedImageMenu = 5;
  static constexpr long kTagImageMenu = 6;
  static constexpr unsigned kMinFontSize = 40;
  static constexpr unsigned kMaxFontSize = 240;
  static constexpr unsigned kFontStep = 10;
  // The statement list that turns the page into its reader form.
  static std::string readerScript();
  // Page translation of `pageURL` into `language`; text translation of
  // `text`; the dictionary's page for `text`. What goes in is escaped as one
  // query value (a path segment for the dictionary).
  static std::string pageTranslationURL(const std::string& pageURL, const std::string& language);
  static std::string textTranslationURL(const std::string& text, const std::string& language);
  static std::string dictionaryURL(const std::string& text);
  // The selected-text entries: offered with the selection-search option on
  // and text selected; each opens its page in a new selected tab.
  bool canPerformSelectionAction();
  void onSearchOnNewTab();
  void onDictionaryOnNewTab();
  void onTranslateOnNewTab();
  // Prints the page through the system's print dialog.
  void onPrint();
  // Fetch in the background, then into the picture folder or onto the pasteboard.
  void saveImageOnBackground(const std::string& source);
  void copyImageOnBackground(const std::string& source);
  void imageDidFinishSaving(kit::Image* image, kit::Error* error);
  const std::string& lastPressAndHeldLinkImageSrc() const noexcept { return lastPressAndHeldLinkImageSrc_; }
  bool lastPressAndHeldLinkWasSupposedToBeInNewPage() const noexcept {
    return lastPressAndHeldLinkWasSupposedToBeInNewPage_;
  }
  // The long-press menu on screen, or the last one shown.
  kit::ActionSheet* contextMenuSheet() const noexcept { return contextSheet_.get(); }
  // ---- kit::ActionSheetDelegate: every menu of the page, by tag.
  void actionSheetClickedButtonAtIndex(kit::ActionSheet& sheet, long index) override;

  // ---- Controls of the interface file
  void onReader();
  void onBookmark();
  void onExitSearchInput();
  void onFullScreen();
  void onFontIncrease();
  void onFontReset();
  void onFontDerease();
  void onFontClose();
  void _updateFontUI();
  void _keyboardBegin(const kit::Notification& n);

  // ---- Address and search fields, full screen and scrolling
  // The two fields: the address field's tag and the search field's.
  static constexpr int kTagURLField = 0;
  static constexpr int kTagSearchField = 1;
  // Searches with no engine chosen (or an own format missing) go here; "%@" takes the words.
  static constexpr const char* kDefaultSearchFormat = "https://www.google.com/search?q=%@";
  // A pull beyond this (plus the top inset) reloads on release.
  static constexpr double kPullDownDistance = 80;
  // Opens the suggestions for `field` and hands them its text.
  void onChangeTextField(kit::TextField& field);
  // Puts the grown field group back and closes the suggestions and the keyboard.
  void _dismissSearchMode();
  // The search URL for `query` in the chosen engine's format (the words
  // escaped as one query value).
  static std::string urlForSearchInCurrentSearchEngine(const std::string& query);
  void searchInCurrentSearchEngine(const std::string& query);
  // The address a confirmed address field opens ("http://" added when it
  // has no web scheme); none for text that names no site.
  static std::optional<std::string> addressFromTypedText(const std::string& text);
  int oldActiveTag() const noexcept { return oldActiveTag_; }
  kit::PopoverController* searchPopOver() const noexcept { return searchPopOver_.get(); }
  bool fDisablePullDownToRefresh() const noexcept { return fDisablePullDownToRefresh_; }
  // Whether the address bar rides in the web view's scroll view now.
  bool isURLBarInScrollView() const;

  // ---- kit::TextFieldDelegate
  bool textFieldShouldReturn(kit::TextField& field) override;
  void textFieldDidBeginEditing(kit::TextField& field) override;
  void textFieldDidEndEditing(kit::TextField& field) override;

  // ---- kit::ScrollViewDelegate (the web view's scroll view)
  void scrollViewDidScroll(kit::ScrollView& sv) override;
  void scrollViewWillBeginDragging(kit::ScrollView& sv) override;
  void scrollViewWillEndDragging(kit::ScrollView& sv, kit::Point velocity, kit::Point* targetContentOffset) override;
  void scrollViewDidEndScrollingAnimation(kit::ScrollView& sv) override;
  void scrollViewDidZoom(kit::ScrollView& sv) override;
  void scrollViewDidEndZooming(kit::ScrollView& sv, kit::View* view, double scale) override;
  bool scrollViewShouldScrollToTop(kit::ScrollView& sv) override;

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
  kit::TableView* resultTableView() const { return resultTableView_.get(); }
  // The suggestion lists while a field is being edited (null otherwise).
  kit::ViewController* urlSearchTableController() const noexcept { return urlSearchTableController_.get(); }
  kit::ViewController* textSearchTableController() const noexcept { return textSearchTableController_.get(); }
  kit::Label* pullDownToRefreshLabel() const { return pullDownToRefreshLabel_.get(); }

  void awakeFromNib() override;
  std::string className() const override { return "VeskWebView"; }

 private:
  // The page a fresh tab opens: the "homepage" setting, or the built-in one.
  static std::string homeLocation();
  kit::Point contextMenuDocumentPoint_{}, contextMenuPopupPoint_{};
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
  // Leaves full screen for typing, then focuses the search or the address field.
  void focusForTyping(bool search);
  // A toolbar menu from its button on tablets, else from the page's corner.
  void showToolbarMenu(kit::ActionSheet* sheet, kit::BarButtonItem* button);

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
  kit::Ref<kit::TableView> resultTableView_;
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
  // The long press's link and image as the page gave them.
  std::string lastPressAndHeldLink_;
  std::string lastPressAndHeldLinkImageSrc_;
  bool lastPressAndHeldLinkWasSupposedToBeInNewPage_ = false;
  kit::Ref<kit::ActionSheet> contextSheet_;
  void installSelectionMenuItems(kit::WebView& webView);
  // A new tab at `url` with this page's private mode.
  void openLinkInNewTab(const std::string& url, bool selected);
  void showImageFailure(const char* text);
  void actionsMenuChosen(const std::string& entry);
  void commandMenuChosen(const std::string& entry);
  void contextMenuChosen(long tag, const std::string& entry);
  // Hears the answer to this page's password question; it lets go of the question when the page goes.
  class PasswordSheetAnswers;
  std::shared_ptr<PasswordSheetAnswers> passwordSheetAnswers_;
  int urlLoadCounter_ = 0;
  std::string location_;
  bool bURLBarScroll_ = false;
  kit::Ref<VeskProgressIndicatorView> customScrollIndicator_;
  kit::Ref<kit::URLConnection> probe_;
  kit::Ref<kit::ActionSheet> actionsMenuSheet_, easyCommandSheet_;
  kit::Ref<kit::Date> timeStamp_;
  std::vector<bool> fullscreenStatusStack_;
  std::vector<kit::WeakRef<kit::AlertView>> ownAlerts_;
  std::vector<kit::NotificationCenter::Token> observers_;
  kit::NotificationCenter::Token keyboardObserver_;
  // Field editing and the scrolling address bar.
  int oldActiveTag_ = kTagURLField;
  int zoomedTag_ = -1;  // the field group grown for editing (phones); -1 none
  kit::Ref<kit::PopoverController> searchPopOver_;
  kit::Ref<kit::ViewController> textSearchTableController_, urlSearchTableController_;
  bool fDisablePullDownToRefresh_ = false;
  // The suggestion list for the search field or the address field; none yet.
  kit::Ref<kit::ViewController> makeSuggestionList(bool search);
  void setSuggestionSearchText(kit::ViewController* list, const std::string& text);
  // Whether the suggestion list has any row to show.
  static bool hasSuggestions(kit::ViewController* list);
  // The page's fields answer every change of their text.
  void connectFieldActions();
  void showInvalidAddress(const std::string& text);
};

}  // namespace tolva
