// The page view's numbered actions: what the finger gestures on the page,
// the trackpads' double tap, a double tap on a tab and the toolbar buttons
// do, and the two menus the toolbar opens. Which action a gesture runs is a
// setting of the app-state object.

#include <string>
#include <vector>

#include "data/VeskBookmarkTableViewController.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URL.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/PinchGestureRecognizer.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/SwipeGestureRecognizer.h"
#include "kit/ui/TapGestureRecognizer.h"
#include "common/LocalizedText.h"
#include "shell/PreferredLanguages.h"
#include "shell/VeskInfoBoxView.h"
#include "common/VeskMiscObject.h"
#include "shell/VeskWebAppDelegate.h"
#include "shell/UIWebViewExpand.h"
#include "shell/VeskWebView.h"
#include "shell/VeskWebViewController.h"

namespace tolva {
namespace {

// The main screen: the controller the page is shown in, else the program's
// (a page whose tab is not on screen still acts, e.g. from a double tap on its tab).
VeskWebViewController* mainScreenOf(const VeskWebView& page) {
  if (auto* shown = dynamic_cast<VeskWebViewController*>(page.viewController())) return shown;
  if (auto* app = dynamic_cast<VeskWebAppDelegate*>(kit::Application::sharedApplication()->delegate()))
    return app->viewController();
  return nullptr;
}

void showCaption(VeskWebViewDelegate* strip, const char* text, kit::Image* icon) {
  if (strip) strip->showInfoBox(LocalizedText::localized(text), icon);
}

// Dotted version numbers compared part by part as numbers ("10.2" > "5.0").
int compareVersions(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    auto part = [](const std::string& s, size_t& k) {
      unsigned long long n = 0;
      while (k < s.size() && s[k] >= '0' && s[k] <= '9') n = n * 10 + static_cast<unsigned>(s[k++] - '0');
      while (k < s.size() && s[k] != '.') ++k;
      if (k < s.size()) ++k;
      return n;
    };
    unsigned long long x = part(a, i), y = part(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}


void dismissIfVisible(kit::ActionSheet* sheet) {
  if (sheet && sheet->isVisible()) sheet->dismissWithClickedButtonIndex(-1, false);
}

void dismissBookmarkPopoverNow(VeskWebViewDelegate* strip) {
  if (!strip) return;
  if (kit::PopoverController* pop = strip->getBookmarkPopover())
    if (pop->isPopoverVisible()) pop->dismissPopoverAnimated(false);
}

}  // namespace

// ---- The dispatcher

void VeskWebView::handleAction(int code, kit::GestureRecognizer* sender) {
  if (code < 1 || code > kLastAction) return;
  kit::KeepAlive keepPage(this);
  kit::Ref<kit::GestureRecognizer> held(sender);
  if (sender) {
    sender->setEnabled(false);
    sender->setDelegate(nullptr);
  }

  // Held here: closing the tab lets the page forget its strip.
  VeskWebViewDelegate* strip = delegate_;
  kit::RunLoop& loop = kit::RunLoop::main();
  switch (code) {
    case 1:
      onFullScreen();
      break;
    case 2:
      if (strip) strip->moveTab(-1);
      showCaption(strip, "Previous Tab", VeskInfoBoxView::sharedTabLeft());
      break;
    case 3:
      if (strip) strip->moveTab(1);
      showCaption(strip, "Next Tab", VeskInfoBoxView::sharedTabRight());
      break;
    case 4:
      if (strip) strip->closeMe(*this);
      showCaption(strip, "Close Tab", VeskInfoBoxView::sharedGestureIcon());
      break;
    case 5:
      onPrev();
      showCaption(strip, "Previous Page", VeskInfoBoxView::sharedGestureIcon());
      break;
    case 6:
      onNext();
      showCaption(strip, "Next Page", VeskInfoBoxView::sharedGestureIcon());
      break;
    case 7:
      loop.performAfterDelay(this, "scrollToTop", nullptr, kScrollDelay, [this] { scrollToTop(); });
      break;
    case 8:
      loop.performAfterDelay(this, "scrollToBottom", nullptr, kScrollDelay, [this] { scrollToBottom(); });
      break;
    case 9:
      onToggleScrollToEnd();
      break;
    case 10: {
      bool stopping = btnStopRefresh_ && btnStopRefresh_->isSelected();
      onStopReload();
      showCaption(strip, stopping ? "Stop loading" : "Reload", VeskInfoBoxView::sharedGestureIcon());
      break;
    }
    case 11:
      onReader();
      showCaption(strip, "Reader", VeskInfoBoxView::sharedGestureIcon());
      break;
    case 12:
    case 13:
      focusForTyping(code == 13);
      break;
    case 14:
      setShowFontPopup(true);
      break;
    case 15:
      showDownloadManager();
      break;
    case 16:
      if (VeskWebViewController* main = mainScreenOf(*this)) main->onSettings();
      break;
    case 17:
      onBookmark();
      break;
    case 18:
      onShowShare();
      break;
    case 19:
      onTranslate();
      showCaption(strip, "Translate", VeskInfoBoxView::sharedGestureIcon());
      break;
    case 20: {
      auto& defaults = kit::UserDefaults::standardUserDefaults();
      std::string home = defaults.exists("homepage") ? defaults.stringForKey("homepage") : std::string();
      // An empty setting would open nothing; the built-in page stands in, as for a new tab.
      bookmarkUrlSelected(home.empty() ? kDefaultHomePage : home);
      showCaption(strip, "Goto homepage", VeskInfoBoxView::sharedGestureIcon());
      break;
    }
    case 21:
      onPrivateMode();
      break;
    case 22:
      if (strip) strip->needToCreateNewTab(this, std::string(), true, false);
      showCaption(strip, "New tab", VeskInfoBoxView::sharedGestureIcon());
      break;
    case 23:
      if (VeskWebViewController* main = mainScreenOf(*this)) main->onDualMode(nullptr);
      break;
    case 24:
      if (VeskWebViewController* main = mainScreenOf(*this)) main->onToggleTrackPad();
      break;
    case 25:
      onAction();
      break;
    case 26:
      onEasyCommand();
      break;
    case 27:
      onToggleLockRotation();
      break;
    case 28: {
      kit::Application* app = kit::Application::sharedApplication();
      kit::Ref<kit::URL> url = kit::URL::URLWithString(location_);
      // The system refuses what it cannot open, and says so.
      if (url) app->openURLInSystem(url.get());
      showCaption(strip, "Open with Safari", VeskInfoBoxView::sharedGestureIcon());
      break;
    }
    default:
      break;
  }

  if (sender) {
    sender->setEnabled(true);
    // A recogniser the page has let go of meanwhile (its web view dropped)
    // must not point back at it.
    if (webView_ && sender->view() == webView_.get()) sender->setDelegate(this);
  }
}

void VeskWebView::handleActionFromOutside(const kit::Number* code) {
  if (code) handleAction(code->intValue(), nullptr);
}

// Typing in a field needs the bars: leave full screen first (the end of
// the edit returns to it), unless the address bar travels with the page.
void VeskWebView::focusForTyping(bool search) {
  if (!urlBarRidesWithPage() && fullScreenMode_ != 0) {
    pushFullScreen(true);
    if (delegate_) delegate_->makeAllTabsFullscreen(0);
  }
  if (search)
    onSearch();
  else if (urlField_)
    urlField_->becomeFirstResponder();
}

// ---- Gestures

void VeskWebView::handleTap(kit::GestureRecognizer& recognizer) {
  if (recognizer.state() != kit::GestureRecognizer::Recognized) return;
  auto* tap = kit::cast<kit::TapGestureRecognizer>(&recognizer);
  if (!tap) return;
  VeskMiscObject* misc = VeskMiscObject::sharedInstance();
  int code = 0;
  switch (tap->numberOfTouchesRequired()) {
    case 3:
      code = misc->opt_threef_tap();
      break;
    case 4:
      code = misc->opt_fourf_tap();
      break;
    case 2:
      code = misc->opt_twof_tap();
      break;
    default:
      return;
  }
  handleAction(code, &recognizer);
}

void VeskWebView::handleSwipe(kit::GestureRecognizer& recognizer) {
  kit::Ref<kit::Date> now = kit::Date::date();
  if (timeStamp_) {
    // A clock set back makes the last swipe look to come from the future;
    // that must not hold swipes off until the clock catches up.
    double since = now->timeIntervalSinceDate(*timeStamp_);
    if (since >= 0 && since < kSwipeInterval) return;
  }
  timeStamp_ = now;
  if (recognizer.state() != kit::GestureRecognizer::Recognized) return;
  auto* swipe = kit::cast<kit::SwipeGestureRecognizer>(&recognizer);
  if (!swipe) return;

  VeskMiscObject* m = VeskMiscObject::sharedInstance();
  // Settings by fingers (2, 3, 4), then direction (right, left, up, down).
  const int codes[3][4] = {
      {m->opt_twof_swipe_right(), m->opt_twof_swipe_left(), m->opt_twof_swipe_up(), m->opt_twof_swipe_down()},
      {m->opt_threef_swipe_right(), m->opt_threef_swipe_left(), m->opt_threef_swipe_up(),
       m->opt_threef_swipe_down()},
      {m->opt_fourf_swipe_right(), m->opt_fourf_swipe_left(), m->opt_fourf_swipe_up(), m->opt_fourf_swipe_down()},
  };
  size_t fingers = swipe->numberOfTouchesRequired();
  if (fingers < 2 || fingers > 4) return;
  int direction = -1;
  switch (swipe->direction()) {
    case kit::SwipeGestureRecognizer::Right:
      direction = 0;
      break;
    case kit::SwipeGestureRecognizer::Left:
      direction = 1;
      break;
    case kit::SwipeGestureRecognizer::Up:
      direction = 2;
      break;
    case kit::SwipeGestureRecognizer::Down:
      direction = 3;
      break;
    default:
      return;
  }
  handleAction(codes[fingers - 2][direction], &recognizer);
}

void VeskWebView::handleTapAndHold(kit::GestureRecognizer& recognizer) {
  if (VeskMiscObject::sharedInstance()->bKeyboardVisible()) return;
  // The page is asked for its metrics only when the menu is to open.
  if (recognizer.state() != kit::GestureRecognizer::State::Began || !webView_) return;
  kit::Point document = documentPoint(recognizer.locationInView(webView_.get()));
  openContextualMenuAt(document, recognizer.locationInView(this));
}

kit::Point VeskWebView::documentPoint(kit::Point touch) {
  kit::WebView* wv = webView_.get();
  if (!wv) return touch;
  double viewWidth = wv->frame().width();
  double pageWidth = UIWebViewExpand::windowSize(*wv).width;
  // A page that reports no width (or a view without one) would put every
  // press at the page's corner; such a page is taken as unscaled.
  double ratio = viewWidth > 0 && pageWidth > 0 ? pageWidth / viewWidth : 1;
  kit::Point document{touch.x * ratio, touch.y * ratio};
  if (compareVersions(kit::Device::currentDevice().systemVersion(), "5.0") < 0) {
    kit::Point scrolled = UIWebViewExpand::scrollOffset(*wv);
    document.x += scrolled.x;
    document.y += scrolled.y;
  }
  return document;
}

bool VeskWebView::gestureRecognizerShouldRecognizeSimultaneously(kit::GestureRecognizer& recognizer,
                                                                 kit::GestureRecognizer& other) {
  auto isTap = [](kit::GestureRecognizer& g) { return kit::cast<kit::TapGestureRecognizer>(&g) != nullptr; };
  auto isPinch = [](kit::GestureRecognizer& g) { return kit::cast<kit::PinchGestureRecognizer>(&g) != nullptr; };
  return !((isTap(recognizer) && isPinch(other)) || (isPinch(recognizer) && isTap(other)));
}

// ---- Scrolling to an end

void VeskWebView::scrollToTop() {
  kit::ScrollView* sv = retrieveScrollView(webView_.get());
  if (!sv) return;
  showCaption(delegate_, "Scroll to top", VeskInfoBoxView::sharedScrollTopIcon());
  sv->setContentOffset({sv->contentOffset().x, -sv->contentInset().top}, true);
}

void VeskWebView::scrollToBottom() {
  kit::ScrollView* sv = retrieveScrollView(webView_.get());
  if (!sv) return;
  showCaption(delegate_, "Scroll to bottom", VeskInfoBoxView::sharedScrollBottomIcon());
  sv->scrollRectToVisible(kit::Rect(sv->contentOffset().x, sv->contentSize().height - 1, 1, 1), true);
}

void VeskWebView::onToggleScrollToEnd() {
  kit::ScrollView* sv = retrieveScrollView(webView_.get());
  double above = sv ? sv->contentOffset().y : 0;
  double below = sv ? sv->contentSize().height - (above + sv->frame().height()) : 0;
  if (above > below)
    scrollToTop();
  else
    scrollToBottom();
}

// ---- Toggles

void VeskWebView::onPrivateMode() {
  setPrivateMode(!privateMode_);
  if (privateMode_)
    showCaption(delegate_, "Private Browsing", VeskInfoBoxView::sharedPrivateIconSelected());
  else
    showCaption(delegate_, "Normal Browsing", VeskInfoBoxView::sharedPrivateIcon());
  postScreenShotUpdated();
}

void VeskWebView::onToggleLockRotation() {
  VeskWebViewController* main = mainScreenOf(*this);
  if (!main) return;
  main->setLockRotation(!main->lockRotation());
  if (main->lockRotation())
    showCaption(delegate_, "Rotation Lock", VeskInfoBoxView::sharedRotationLockIcon());
  else
    showCaption(delegate_, "Rotation Unlock", VeskInfoBoxView::sharedRotationUnlockIcon());
}

// ---- The toolbar menus. What their entries do is the sheet handler's business.

kit::ActionSheet* VeskWebView::easyCommandSheet() {
  if (!easyCommandSheet_) {
    VeskWebViewController* main = mainScreenOf(*this);
    bool locked = main && main->lockRotation();
    std::vector<std::string> entries;
    for (const char* entry : {locked ? "Unlock Rotation" : "Lock Rotation", "Adjust Font Size", "Readability™",
                              "Download Manager", "Settings"})
      entries.push_back(LocalizedText::localized(entry));
    easyCommandSheet_ = kit::make<kit::ActionSheet>(LocalizedText::localized("Ez-Commands"), this,
                                                    LocalizedText::localized("Cancel"), std::string(), entries);
    easyCommandSheet_->setTag(kTagCommandMenu);
  }
  return easyCommandSheet_.get();
}

kit::ActionSheet* VeskWebView::actionsMenuSheet() {
  if (!actionsMenuSheet_) {
    std::vector<std::string> entries;
    for (const char* entry : {"Add to Bookmark", "Open with Safari", "Share this page ...", "Set as Homepage"})
      entries.push_back(LocalizedText::localized(entry));
    std::vector<std::string> languages = PreferredLanguages::list();
    if (languages.size() >= 2)
      entries.push_back(
          LocalizedText::localizedFormat("Translate to %@", {PreferredLanguages::displayNameInItself(languages[0])}));
    entries.push_back(LocalizedText::localized("Print"));
    actionsMenuSheet_ = kit::make<kit::ActionSheet>(LocalizedText::localized("Actions"), this,
                                                    LocalizedText::localized("Cancel"), std::string(), entries);
    actionsMenuSheet_->setTag(kTagActionsMenu);
  }
  return actionsMenuSheet_.get();
}

void VeskWebView::showToolbarMenu(kit::ActionSheet* sheet, kit::BarButtonItem* button) {
  if (kit::Device::currentDevice().isPad() && button)
    sheet->showFromBarButtonItem(button, true);
  else
    sheet->showFromRect(kit::Rect(0, 0, 10, 10), this, true);
}

void VeskWebView::onEasyCommand() {
  if (easyCommandSheet_ && easyCommandSheet_->isVisible()) {
    easyCommandSheet_->dismissWithClickedButtonIndex(-1, false);
    return;
  }
  // A fresh menu carries the current rotation-lock wording.
  if (easyCommandSheet_) {
    if (easyCommandSheet_->delegate() == this) easyCommandSheet_->setDelegate(nullptr);
    easyCommandSheet_ = nullptr;
  }
  dismissIfVisible(actionsMenuSheet_.get());
  dismissBookmarkPopoverNow(delegate_);
  showToolbarMenu(easyCommandSheet(), btnEzCommand_.get());
}

void VeskWebView::onBookmark() {
  const bool pad = kit::Device::currentDevice().isPad();
  if (!delegate_) return;
  if (pad) {
    kit::PopoverController* pop = delegate_->getBookmarkPopover();
    if (pop && pop->isPopoverVisible()) {
      pop->dismissPopoverAnimated(false);
      return;
    }
  }
  dismissIfVisible(actionsMenuSheet_.get());
  dismissIfVisible(easyCommandSheet_.get());
  kit::NavigationController* nav = delegate_->getBookmarkNavicon();
  if (!nav) return;
  if (auto* list = dynamic_cast<VeskBookmarkTableViewController*>(nav->topViewController()))
    list->setTargetVeskView(this);
  if (pad) {
    if (kit::PopoverController* pop = delegate_->getBookmarkPopover())
      pop->presentPopoverFromBarButtonItem(bookmarkBtn_.get(), kit::PopoverArrowDown, true);
  } else if (kit::ViewController* vc = viewController()) {
    vc->presentViewController(nav, true);
  }
}

void VeskWebView::onAction() {
  if (actionsMenuSheet_ && actionsMenuSheet_->isVisible()) {
    actionsMenuSheet_->dismissWithClickedButtonIndex(-1, false);
    return;
  }
  dismissIfVisible(easyCommandSheet_.get());
  dismissBookmarkPopoverNow(delegate_);
  kit::ActionSheet* sheet = actionsMenuSheet();
  sheet->setTitle(location_);
  showToolbarMenu(sheet, btnAction_.get());
}

}  // namespace tolva
