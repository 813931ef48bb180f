// The page view's typing and framing: the address and search fields (what a
// confirmed field opens, the grown field group on phones, the suggestions),
// the full-screen layout of one page, the address bar that rides in the web
// view's scroll view, and pull-down-to-reload.

#include <algorithm>
#include <cmath>
#include <string>

#include "common/LocalizedText.h"
#include "common/VeskMiscObject.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URL.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/GeometryValue.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/TableView.h"
#include "kit/ui/ViewAnimation.h"
#include "shell/VeskInfoBoxView.h"
#include "shell/VeskTextSearchTableViewController.h"
#include "shell/VeskURLSearchTableViewController.h"
#include "shell/VeskWebView.h"

namespace tolva {
namespace {

bool isPad() { return kit::Device::currentDevice().isPad(); }

// The tablet bar's search group at full width, the rotation lock beside it
// and the gap between the groups.
constexpr double kPadSearchWidth = 240;
constexpr double kPadLockWidth = 36;
constexpr double kFieldGap = 6;

std::string trimmed(const std::string& s) {
  const char* space = " \t\r\n\f\v";
  size_t from = s.find_first_not_of(space);
  if (from == std::string::npos) return std::string();
  return s.substr(from, s.find_last_not_of(space) - from + 1);
}

// Escapes what is never legal in a URL, but keeps the escapes already in
// the text: a pasted "a%20b" must not become "a%2520b".
std::string escapeTypedURL(const std::string& text) {
  std::string out;
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    out += kit::URLEscaping::addPercentEscapes(std::string_view(text).substr(run, i - run));
    bool escape = i + 2 < text.size() && kit::URLEscaping::isHexDigit(text[i + 1]) &&
                  kit::URLEscaping::isHexDigit(text[i + 2]);
    out += escape ? "%" : "%25";
    run = i + 1;
  }
  out += kit::URLEscaping::addPercentEscapes(std::string_view(text).substr(run));
  return out;
}

void replaceAll(std::string& s, const std::string& what, const std::string& with) {
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + with.size()))
    s.replace(at, what.size(), with);
}

void beginFieldAnimation() {
  kit::ViewAnimation::beginAnimations("zoomin_webview");
  kit::ViewAnimation::setAnimationDuration(0.2);
}

}  // namespace

// ---- Fields

void VeskWebView::connectFieldActions() {
  kit::WeakRef<VeskWebView> weak(this);
  for (kit::TextField* field : {urlField_.get(), searchField_.get()}) {
    if (!field) continue;
    field->setTag(field == searchField_.get() ? kTagSearchField : kTagURLField);
    field->addTarget("onChangeTextField:", kit::Control::EditingChanged, [weak](kit::Control& sender) {
      auto* f = kit::cast<kit::TextField>(&sender);
      if (kit::Ref<VeskWebView> page = weak.lock(); page && f) page->onChangeTextField(*f);
    });
  }
}

// The list for a field: search suggestions for the search field, bookmark
// and history matches (titles too) for the address field. On the phone it
// drives the table laid over the page; on the tablet the popover holds it.
kit::Ref<kit::ViewController> VeskWebView::makeSuggestionList(bool search) {
  kit::Ref<kit::TableViewController> list;
  if (search) {
    kit::Ref<VeskTextSearchTableViewController> text(new VeskTextSearchTableViewController());
    text->setVeskView(this);
    text->setTextField(searchField_.get());
    list = text;
  } else {
    kit::Ref<VeskURLSearchTableViewController> url(new VeskURLSearchTableViewController());
    url->setVeskView(this);
    url->setIncludeTitle(true);
    url->setTextField(urlField_.get());
    list = url;
  }
  if (!isPad() && resultTableView_) list->setTableView(resultTableView_.get());
  return list;
}

void VeskWebView::setSuggestionSearchText(kit::ViewController* list, const std::string& text) {
  kit::PopoverController* popover = isPad() ? searchPopOver_.get() : nullptr;
  if (auto* url = kit::cast<VeskURLSearchTableViewController>(list)) {
    if (popover && !url->pop()) url->setPop(popover);
    url->setSearchText(text);
  } else if (auto* search = kit::cast<VeskTextSearchTableViewController>(list)) {
    if (popover && !search->pop()) search->setPop(popover);
    search->setSearchText(text);
  }
}

bool VeskWebView::hasSuggestions(kit::ViewController* list) {
  if (auto* url = kit::cast<VeskURLSearchTableViewController>(list))
    return url->searchResult() && !url->searchResult()->empty();
  // The search list always offers to find the typed text in the page.
  if (auto* search = kit::cast<VeskTextSearchTableViewController>(list))
    return !search->searchText().empty() || !search->suggest().empty();
  return false;
}

void VeskWebView::onChangeTextField(kit::TextField& field) {
  bool search = &field == searchField_.get();
  if (isPad()) {
    kit::ViewController* list = search ? textSearchTableController_.get() : urlSearchTableController_.get();
    if (!searchPopOver_ || !searchPopOver_->isPopoverVisible()) {
      kit::Ref<kit::ViewController> made = makeSuggestionList(search);
      if (!made) return;
      double width = field.frame().width();
      made->setContentSizeForViewInPopover({search ? 1.5 * width : width, 480});
      searchPopOver_ = kit::PopoverController::withContentViewController(made.get());
      searchPopOver_->setPassthroughViews({kit::Ref<kit::View>(&field)});
      if (search)
        textSearchTableController_ = made;
      else
        urlSearchTableController_ = made;
      list = made.get();
    }
    setSuggestionSearchText(list, field.text());
    // With nothing to suggest (an address that nothing stored matches) no
    // empty list covers the page; it comes up once there is something.
    const bool shown = searchPopOver_->isPopoverVisible();
    if (hasSuggestions(list) && !shown)
      searchPopOver_->presentPopoverFromRect(field.frame(), field.superview(), kit::PopoverArrowAny, true);
    else if (!hasSuggestions(list) && shown)
      searchPopOver_->dismissPopoverAnimated(true);
    return;
  }

  kit::View* grown = search ? header_right_.get() : header_left_.get();
  kit::View* other = search ? header_left_.get() : header_right_.get();
  int tag = search ? kTagSearchField : kTagURLField;
  if (zoomedTag_ != tag) {
    zoomedTag_ = tag;
    beginFieldAnimation();
    if (grown && textFieldZoomPlaceHolder_) grown->setFrame(textFieldZoomPlaceHolder_->frame());
    if (other) other->setHidden(true);
    kit::ViewAnimation::commitAnimations();
    kit::Ref<kit::ViewController> made = makeSuggestionList(search);
    if (search)
      textSearchTableController_ = made;
    else
      urlSearchTableController_ = made;
    if (resultTableView_) {
      bringSubviewToFront(resultTableView_.get());
      resultTableView_->setHidden(false);
    }
  }
  setSuggestionSearchText(search ? textSearchTableController_.get() : urlSearchTableController_.get(), field.text());
  oldActiveTag_ = tag;
  if (textFieldZoomCloseBtn_) textFieldZoomCloseBtn_->setHidden(false);
}

void VeskWebView::_dismissSearchMode() {
  bool search = oldActiveTag_ == kTagSearchField;
  kit::View* edited = search ? header_right_.get() : header_left_.get();
  kit::View* rest = search ? header_right_placeHolder_.get() : header_left_placeHolder_.get();
  zoomedTag_ = -1;
  beginFieldAnimation();
  // The page may be gone when the animation ends.
  kit::WeakRef<VeskWebView> weak(this);
  kit::ViewAnimation::setAnimationDidStopCallback([weak, search](const std::string&, bool, kit::Object*) {
    kit::Ref<VeskWebView> page = weak.lock();
    // Gone, or typing began again meanwhile (that edit owns the list now).
    if (!page || page->zoomedTag_ != -1) return;
    if (kit::View* other = search ? page->header_left_.get() : page->header_right_.get()) other->setHidden(false);
    if (kit::TextField* field = search ? page->searchField_.get() : page->urlField_.get())
      if (field->isFirstResponder()) field->resignFirstResponder();
    page->textSearchTableController_ = nullptr;
    page->urlSearchTableController_ = nullptr;
    if (page->resultTableView_) {
      page->resultTableView_->setHidden(true);
    }
    if (page->textFieldZoomCloseBtn_) page->textFieldZoomCloseBtn_->setHidden(true);
  });
  if (edited && rest) edited->setFrame(rest->frame());
  kit::ViewAnimation::commitAnimations();
}

void VeskWebView::onExitSearchInput() {
  _dismissSearchMode();
  if (oldActiveTag_ == kTagURLField && urlField_) urlField_->setText(location_);
}

std::optional<std::string> VeskWebView::addressFromTypedText(const std::string& typed) {
  std::string text = trimmed(typed);
  if (text.empty()) return std::nullopt;
  if (!startsWithHttp(text)) text = "http://" + text;
  std::string escaped = escapeTypedURL(text);
  kit::Ref<kit::URL> url = kit::URL::URLWithString(escaped);
  if (!url) url = kit::URL::lenientURLWithString(escaped);
  // "http://" alone, or a host that cannot be read, names no site to open.
  if (!url || url->host().empty()) return std::nullopt;
  return url->absoluteString();
}

void VeskWebView::showInvalidAddress(const std::string& text) {
  kit::Ref<kit::AlertView> alert(new kit::AlertView(LocalizedText::localized("Invalid address"),
                                                    LocalizedText::localizedFormat("\"%@\" is no web address.", {text}),
                                                    nullptr, LocalizedText::localized("OK")));
  alert->show();
}

bool VeskWebView::textFieldShouldReturn(kit::TextField& field) {
  kit::KeepAlive keepPage(this);
  if (&field == urlField_.get()) {
    if (!trimmed(field.text()).empty()) {
      std::optional<std::string> address = addressFromTypedText(field.text());
      if (!address) {
        // The text stays in the field to be put right.
        showInvalidAddress(field.text());
        return true;
      }
      bookmarkUrlSelected(*address);
    }
  } else if (&field == searchField_.get()) {
    searchInCurrentSearchEngine(field.text());
  }
  if (isPad()) {
    field.resignFirstResponder();
    if (searchPopOver_ && searchPopOver_->isPopoverVisible()) {
      searchPopOver_->dismissPopoverAnimated(true);
      searchPopOver_ = nullptr;
    }
  } else {
    _dismissSearchMode();
  }
  return true;
}

void VeskWebView::textFieldDidBeginEditing(kit::TextField& field) {
  if (urlBarRidesWithPage()) popURLBarFromWebViewScrollView();
  if (isPad()) {
    if (&field == searchField_.get() && !field.text().empty()) onChangeTextField(field);
  } else if (&field == urlField_.get() || &field == searchField_.get()) {
    onChangeTextField(field);
  }
}

void VeskWebView::textFieldDidEndEditing(kit::TextField&) {
  if (!isPad()) _dismissSearchMode();
  if (urlBarRidesWithPage()) {
    pushURLBarIntoUIWebViewScrollView();
  } else {
    bool wasOn = false;
    // Full screen left for typing comes back as full screen with tabs.
    if (popFullScreen(&wasOn) && delegate_) delegate_->makeAllTabsFullscreen(wasOn ? 1 : 0);
  }
}

void VeskWebView::_keyboardBegin(const kit::Notification& n) {
  if (!resultTableView_ || !placeholderView_) return;
  kit::Dictionary* info = n.userInfo();
  auto* end = info ? info->get<kit::GeometryValue>(kit::Application::kKeyboardFrameEndUserInfoKey) : nullptr;
  if (!end) return;
  kit::Rect keyboard = convertRectFromView(end->rectValue(), nullptr);
  kit::Rect list = placeholderView_->frame();
  // Cut to end at the keyboard's top; a keyboard that takes no room leaves the list as tall as its place.
  list.size.height = std::clamp(keyboard.y() - list.y(), 0.0, list.height());
  resultTableView_->setFrame(list);
}

// ---- Searching

std::string VeskWebView::urlForSearchInCurrentSearchEngine(const std::string& query) {
  // Re-read the stored settings: another screen may have changed the engine.
  kit::UserDefaults::resetStandardUserDefaults();
  auto& defaults = kit::UserDefaults::standardUserDefaults();
  // The words go in as one query value: "&", "#" or "+" in them stay words.
  std::string words = kit::URLEscaping::escapeQueryValue(query);
  std::string url = kDefaultSearchFormat;
  bool own = false;
  if (defaults.exists("opt_search_engine")) {
    std::string engine = defaults.stringForKey("opt_search_engine");
    if (engine == "user-defined") {
      if (defaults.exists("opt_user_search_url")) {
        url = defaults.stringForKey("opt_user_search_url");
        own = true;
      }
    } else if (!engine.empty()) {
      url = engine;
    }
  }
  if (own) {
    replaceAll(url, "%@", words);
  } else if (size_t at = url.find("%@"); at != std::string::npos) {
    url.replace(at, 2, words);
  }
  return url;
}

void VeskWebView::searchInCurrentSearchEngine(const std::string& query) {
  std::string text = urlForSearchInCurrentSearchEngine(query);
  kit::Ref<kit::URL> url = kit::URL::URLWithString(text);
  if (!url) url = kit::URL::lenientURLWithString(escapeTypedURL(text));
  if (!url) {
    showInvalidAddress(text);
    return;
  }
  bookmarkUrlSelected(url->absoluteString());
}

// ---- The address bar in the scroll view

bool VeskWebView::isURLBarInScrollView() const {
  kit::ScrollView* sv = retrieveScrollView(webView_.get());
  return sv && urlBaseView_ && urlBaseView_->superview() == sv;
}

void VeskWebView::pushURLBarIntoUIWebViewScrollView() {
  kit::ScrollView* sv = retrieveScrollView(webView_.get());
  if (!sv || !urlBaseView_) return;
  kit::Rect bar = urlBaseView_->frame();
  sv->setContentInset({bar.height(), 0, 0, 0});
  urlBaseView_->setFrame(kit::Rect(sv->contentOffset().x, -bar.height(), bar.width(), bar.height()));
  sv->addSubview(urlBaseView_.get());
  sv->setDelegate(this);
}

void VeskWebView::popURLBarFromWebViewScrollView() {
  kit::ScrollView* sv = retrieveScrollView(webView_.get());
  if (!sv) return;
  if (sv->delegate() == this) sv->setDelegate(nullptr);
  if (!urlBaseView_ || urlBaseView_->superview() != sv) return;
  kit::Rect bar = urlBaseView_->frame();
  urlBaseView_->setFrame(kit::Rect(0, 0, bar.width(), bar.height()));
  // Into the page itself, in front: the field being typed in must not lie
  // under the web view or a hidden bar.
  addSubview(urlBaseView_.get());
}

// ---- Full screen

void VeskWebView::setFullScreenMode(int mode) {
  fullScreenMode_ = mode;
  kit::ViewAnimation::beginAnimations("zoomin_webview");
  kit::ViewAnimation::setAnimationDuration(0.2);
  kit::ViewAnimation::setAnimationBeginsFromCurrentState(false);
  bool full = mode == 1 || mode == 2;
  const bool rides = urlBarRidesWithPage();
  if (urlBaseView_) urlBaseView_->setHidden(full && !rides);
  if (webView_) {
    if (full) {
      kit::View* area = placeholderView_ ? placeholderView_->superview() : nullptr;
      kit::Size size = area ? area->frame().size : bounds().size;
      webView_->setFrame(kit::Rect(0, 0, size.width, size.height));
    } else if (rides) {
      webView_->setFrame(placeholderViewWithEmbeddedUrlBar_->frame());
    } else if (placeholderView_) {
      webView_->setFrame(placeholderView_->frame());
    }
  }
  for (kit::Button* b : {btnFullscreenExit_.get(), btnFullscreenNext_.get(), btnFullscreenPrev_.get()}) {
    if (!b) continue;
    b->setHidden(!full);
    if (full) bringSubviewToFront(b);
  }
  for (kit::View* bar : {toolBarView1_.get(), toolBarView2_.get()})
    if (bar) bar->setHidden(full);
  kit::ViewAnimation::commitAnimations();
}

void VeskWebView::onFullScreen() {
  int next = (fullScreenMode_ + 1) % 3;
  if (isPad() && fullScreenMode_ == 0) next = 2;
  const char* message = next == 2 ? "Full screen mode" : next == 1 ? "Full screen mode with tabs" : "Full screen Off";
  if (!delegate_) {
    // A page on no tab strip still changes its own layout.
    setFullScreenMode(next);
    return;
  }
  kit::KeepAlive keepPage(this);
  VeskWebViewDelegate* strip = delegate_;
  strip->showInfoBox(LocalizedText::localized(message), VeskInfoBoxView::sharedFullscreenIcon());
  strip->makeAllTabsFullscreen(next);
}

// ---- Scrolling and pull-down-to-reload

void VeskWebView::scrollViewWillBeginDragging(kit::ScrollView& sv) {
  if (!pullDownToRefreshLabel_) return;
  bool on = VeskMiscObject::sharedInstance()->bPullDownRefresh();
  pullDownToRefreshLabel_->setHidden(!on);
  if (on) {
    kit::Rect f = pullDownToRefreshLabel_->frame();
    f.origin.y = 87 - sv.contentInset().top;
    pullDownToRefreshLabel_->setFrame(f);
  }
  if (webView_) webView_->setBackgroundColor(kit::Color::clearColor());
}

void VeskWebView::scrollViewDidScroll(kit::ScrollView& sv) {
  // The bar rides up and down with the page but not sideways.
  if (isURLBarInScrollView()) {
    kit::Rect bar = urlBaseView_->frame();
    bar.origin.x = sv.contentOffset().x;
    urlBaseView_->setFrame(bar);
  }
  double y = sv.contentOffset().y;
  if (pullDownToRefreshLabel_) {
    bool release = y < -kPullDownDistance - sv.contentInset().top;
    pullDownToRefreshLabel_->setText(
        LocalizedText::localized(release ? "⇡ Release to refresh ..." : "⇣ Pull down to refresh ..."));
  }
  kit::EdgeInsets indicator = sv.scrollIndicatorInsets();
  indicator.top = y < 0 ? -y : 0;
  sv.setScrollIndicatorInsets(indicator);
}

void VeskWebView::scrollViewWillEndDragging(kit::ScrollView& sv, kit::Point, kit::Point*) {
  if (!pullDownToRefreshLabel_ || !VeskMiscObject::sharedInstance()->bPullDownRefresh()) return;
  if (fDisablePullDownToRefresh_) return;
  if (sv.contentOffset().y < -kPullDownDistance - sv.contentInset().top) reload();
}

void VeskWebView::scrollViewDidEndScrollingAnimation(kit::ScrollView&) {
  if (webView_) webView_->setBackgroundColor(kit::Color::scrollViewTexturedBackground());
}

void VeskWebView::scrollViewDidZoom(kit::ScrollView& sv) {
  if (isURLBarInScrollView()) {
    kit::Rect bar = urlBaseView_->frame();
    bar.origin.x = sv.contentOffset().x;
    urlBaseView_->setFrame(bar);
  }
  // A pinch that pulls the page down is no request to reload.
  fDisablePullDownToRefresh_ = true;
  if (pullDownToRefreshLabel_) pullDownToRefreshLabel_->setHidden(true);
}

void VeskWebView::scrollViewDidEndZooming(kit::ScrollView&, kit::View*, double) {
  fDisablePullDownToRefresh_ = false;
  // Shown again only where pulling down reloads.
  if (pullDownToRefreshLabel_) pullDownToRefreshLabel_->setHidden(!VeskMiscObject::sharedInstance()->bPullDownRefresh());
}

bool VeskWebView::scrollViewShouldScrollToTop(kit::ScrollView&) {
  if (VeskMiscObject::sharedInstance()->bPullDownRefresh() && delegate_)
    delegate_->showInfoBox(LocalizedText::localized("Scroll to top"), VeskInfoBoxView::sharedScrollTopIcon());
  return true;
}

// ---- Layout

// The tablet bar keeps its navigation items and its lock; the two field
// groups share the rest. A page as wide as the window leaves the search group
// its full width; a narrow one (a half of dual mode) gives it a third, so the
// address field stays the larger. The groups' contents are placed here too,
// as shrinking them to nothing and back would lose their widths.
void VeskWebView::layoutSubviews() {
  kit::View::layoutSubviews();
  if (!isPad() || !urlBaseView_ || !header_left_placeHolder_ || !header_right_placeHolder_) return;
  kit::Rect rest = header_left_placeHolder_->frame();
  const double room = urlBaseView_->bounds().width() - rest.x() - kPadLockWidth - 2 * kFieldGap;
  const double searchW = std::max(0.0, std::min(kPadSearchWidth, std::floor(room / 3)));
  const double leftW = std::max(0.0, room - searchW);
  const kit::Rect left(rest.x(), rest.y(), leftW, rest.height());
  const kit::Rect right(left.maxX() + kFieldGap, rest.y(), searchW, rest.height());
  header_left_placeHolder_->setFrame(left);
  header_right_placeHolder_->setFrame(right);
  if (header_left_) header_left_->setFrame(left);
  if (header_right_) header_right_->setFrame(right);
  if (urlField_) urlField_->setFrame(kit::Rect(24, 0, std::max(0.0, leftW - 56), 30));
  if (activity_) activity_->setFrame(kit::Rect(leftW - 54, 5, 20, 20));
  if (btnStopRefresh_) btnStopRefresh_->setFrame(kit::Rect(leftW - 30, 0, 30, 30));
  if (searchField_) searchField_->setFrame(kit::Rect(0, 0, searchW, 30));
}

}  // namespace tolva
