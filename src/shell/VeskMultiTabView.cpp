#include "shell/VeskMultiTabView.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URL.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Application.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Device.h"
#include "kit/ui/Layer.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Touch.h"
#include "kit/ui/Transition.h"
#include "common/LocalizedText.h"
#include "shell/RecentlyClosedTab.h"
#include "shell/TabState.h"
#include "common/VeskMiscObject.h"
#include "shell/VeskWebView.h"
#include "shell/VeskWebViewController.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskBookmarkTableViewController.h"
#include "data/VeskFaviconDatabase.h"

namespace tolva {
namespace {

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

// One past the highest "tab%d" entry below `savedCount`. Every index from
// there on has no entry and would be skipped anyway; stopping there keeps a
// damaged count from walking through millions of missing entries at start.
int savedEntryLimit(long savedCount) {
  if (savedCount <= 0) return 0;
  long limit = 0;
  defaults().dictionaryRepresentation()->enumerate([&](kit::Object* key, kit::Object*, bool&) {
    auto* k = kit::cast<kit::String>(key);
    if (!k) return;
    std::string_view s = k->str();
    if (s.size() < 4 || s.size() > 12 || !s.starts_with("tab")) return;
    long index = 0;
    for (char c : s.substr(3)) {
      if (c < '0' || c > '9') return;
      index = index * 10 + (c - '0');
    }
    if (index < savedCount) limit = std::max(limit, index + 1);
  });
  return static_cast<int>(std::min<long>(limit, std::numeric_limits<int>::max()));
}

kit::Size twice(kit::Size s) { return {s.width * 2, s.height * 2}; }

}  // namespace

VeskMultiTabView::VeskMultiTabView(kit::Rect frame) : kit::ScrollView(frame) {}

VeskMultiTabView::~VeskMultiTabView() {
  // Pages and items may outlive the strip (a closed page waits for its release).
  for (auto& page : tabs_)
    if (page->delegate() == this) page->setDelegate(nullptr);
  for (auto& item : tabItems_)
    if (item->delegate() == this) item->setDelegate(nullptr);
  if (bookmarkPopOver_ && bookmarkPopOver_->delegate() == this) bookmarkPopOver_->setDelegate(nullptr);
  if (delegate() == this) setDelegate(nullptr);
}

// ---- Look-ups

VeskWebView* VeskMultiTabView::getViewAt(int index) const {
  return index >= 0 && index < tabCount() ? tabs_[static_cast<size_t>(index)].get() : nullptr;
}

VeskTabItemView* VeskMultiTabView::getItemAt(int index) const {
  return index >= 0 && index < static_cast<int>(tabItems_.size()) ? tabItems_[static_cast<size_t>(index)].get()
                                                                   : nullptr;
}

int VeskMultiTabView::indexOf(const VeskWebView* page) const {
  if (!page) return -1;
  auto it = std::find_if(tabs_.begin(), tabs_.end(), [&](const kit::Ref<VeskWebView>& p) { return p.get() == page; });
  return it == tabs_.end() ? -1 : static_cast<int>(it - tabs_.begin());
}

int VeskMultiTabView::indexOfItem(const VeskTabItemView* item) const {
  auto it = std::find_if(tabItems_.begin(), tabItems_.end(),
                         [&](const kit::Ref<VeskTabItemView>& i) { return i.get() == item; });
  return it == tabItems_.end() ? -1 : static_cast<int>(it - tabItems_.begin());
}

kit::ViewController* VeskMultiTabView::viewController() const {
  for (kit::View* v = superview(); v; v = v->superview())
    if (auto* vc = dynamic_cast<kit::ViewController*>(v->nextResponder())) return vc;
  return nullptr;
}

bool VeskMultiTabView::privateTabExists() const {
  return std::any_of(tabs_.begin(), tabs_.end(), [](const kit::Ref<VeskWebView>& p) { return p->privateMode(); });
}

// ---- Layout of the items

kit::Size VeskMultiTabView::roomSize() const {
  kit::Size size;
  if (VeskTabItemView* first = getItemAt(0))
    size = showScreenShots_ ? first->frame().size : first->tabBounds().size;
  else
    size = VeskTabItemView::xibFrameSize();
  if (showScreenShots_) size.height = bounds().height();
  return size;
}

kit::Rect VeskMultiTabView::getRoomRect(int index) const {
  kit::Size room = roomSize();
  return kit::Rect(room.width * index, 0, room.width, room.height);
}

kit::Rect VeskMultiTabView::getItemRect(int index) const {
  kit::Size room = roomSize();
  return kit::Rect(room.width * index + 3, 4, room.width - 6, room.height - 22);
}

int VeskMultiTabView::calcIndexFromPoint(kit::Point p) const {
  kit::Rect b = bounds();
  if (p.y < b.minY() || p.y > b.maxY()) return -1;
  double width = roomSize().width;
  // Left of the first tab or right of the last one is no tab at all.
  if (!(width > 0) || p.x < 0) return -1;
  double index = std::floor(p.x / width);
  return index < tabCount() ? static_cast<int>(index) : -1;
}

void VeskMultiTabView::refit() { refitAnimated(false, 0, false); }

void VeskMultiTabView::refitAnimated(bool animated, int animationAfterIdx, bool afterDeletion) {
  kit::Size room = roomSize();
  setContentSize({tabCount() * room.width + 10, room.height});
  for (int i = 0; i < static_cast<int>(tabItems_.size()); ++i) {
    VeskTabItemView* item = tabItems_[static_cast<size_t>(i)].get();
    item->setFrame(kit::Rect(room.width * i, 0, room.width, room.height));
    if (animated && i >= animationAfterIdx) {
      kit::Ref<kit::Transition> push = kit::Transition::transition(
          kit::Transition::Type::Push,
          afterDeletion ? kit::Transition::Subtype::FromRight : kit::Transition::Subtype::FromLeft);
      push->setDuration(0.2);
      item->layer()->addAnimation(push, "transition");
    }
  }
}

void VeskMultiTabView::setShowScreenShots(bool show) {
  if (show == showScreenShots_) return;
  showScreenShots_ = show;
  refit();
}

// ---- Adding

kit::Ref<VeskTabItemView> VeskMultiTabView::makeItem(kit::Rect frame, const std::string& title) {
  if (kit::Ref<VeskTabItemView> item = VeskTabItemView::allocInstance(frame, title)) return item;
  return kit::make<VeskTabItemView>(frame);
}

int VeskMultiTabView::addTab(VeskWebView* page, int index, bool animated, bool selected) {
  if (!page) return -1;
  kit::Ref<VeskWebView> keep(page);
  // Past the end is the end, like a negative index.
  if (index < 0 || index > tabCount()) index = tabCount();
  const size_t at = static_cast<size_t>(index);

  tabs_.insert(tabs_.begin() + static_cast<long>(at), keep);
  std::string title = page->getTitle();
  kit::Ref<VeskTabItemView> item = makeItem(getRoomRect(index), title);
  item->setDelegate(this);
  tabItems_.insert(tabItems_.begin() + static_cast<long>(at), item);

  if (kit::ImageView* shot = item->screenShotView())
    shot->setImage(page->getScreenShot(twice(shot->bounds().size)));
  if (kit::Label* label = item->title()) label->setText(title);
  item->setPrivateMode(page->privateMode());
  page->setFullScreenMode(nFullScreen_);
  addSubview(item.get());

  // The same pages stay shown: the stored indexes follow them.
  if (curSel_ >= 0 && curSel_ >= index) ++curSel_;
  if (isDual() && curSel2_ >= index) {
    int old = curSel2_;
    ++curSel2_;
    // A tab put exactly where the right pane's was takes the right pane;
    // one put further left just moves both panes' indexes along.
    if (index == old) setCurSel2(old);
  }
  writeCurSel();

  refitAnimated(animated, index + 1, false);
  if (animated) {
    kit::Ref<kit::Transition> moveIn =
        kit::Transition::transition(kit::Transition::Type::MoveIn, kit::Transition::Subtype::FromTop);
    moveIn->setDuration(0.3);
    item->layer()->addAnimation(moveIn, "transition");
  }
  saveFrom(index);

  if (selected) {
    if (isDual()) setCurSel2(index + 1);
    setCurSel(index);
  }
  return index;
}

void VeskMultiTabView::saveFrom(int index) {
  defaults().setInteger(tabCount(), TabState::kTabs);
  for (int i = std::max(index, 0); i < tabCount(); ++i) tabs_[static_cast<size_t>(i)]->saveAsIdentifier(i);
}

void VeskMultiTabView::writeCurSel() { defaults().setInteger(curSel_, TabState::kCurSel); }

// ---- Selecting

kit::Rect VeskMultiTabView::paneFrame(bool right) const {
  kit::Rect area = contentsHolder_ ? contentsHolder_->bounds() : kit::Rect();
  double half = area.width() * 0.5 - 1;
  return right ? kit::Rect(half + 2, 0, half, area.height()) : kit::Rect(0, 0, half, area.height());
}

void VeskMultiTabView::pushTransition(kit::View* view, bool fromLeft, double duration) {
  if (!view) return;
  kit::Ref<kit::Transition> push = kit::Transition::transition(
      kit::Transition::Type::Push, fromLeft ? kit::Transition::Subtype::FromLeft : kit::Transition::Subtype::FromRight);
  push->setDuration(duration);
  view->layer()->addAnimation(push, "transition");
}

void VeskMultiTabView::placeInContents(VeskWebView* page, kit::Rect frame) {
  page->setFrame(frame);
  if (!contentsHolder_) return;
  contentsHolder_->addSubview(page);
  contentsHolder_->sendSubviewToBack(page);
}

void VeskMultiTabView::takeOutOfContents(VeskWebView* page) {
  if (!page) return;
  keepLastPicture(*page);
  page->removeFromSuperview();
  page->willBeHidden();
}

// A page leaving the screen can no longer be pictured: its item keeps the
// page as it was last seen, when it had finished loading.
void VeskMultiTabView::keepLastPicture(VeskWebView& page) {
  kit::WebView* web = page.existingWebView();
  if (!web || web->isLoading() || !page.window()) return;
  if (VeskTabItemView* item = getItemAt(indexOf(&page)))
    if (kit::ImageView* shot = item->screenShotView()) shot->setImage(page.getScreenShot(twice(shot->bounds().size)));
}

void VeskMultiTabView::setCurSel(int n) {
  if (n != curSel_ && getViewAt(n)) {
    const int previous = curSel_;
    if (VeskWebView* old = curView()) {
      // Mid-way through a pair change the old page may already show on the right.
      if (!(isDual() && old == curView2())) {
        takeOutOfContents(old);
        if (VeskTabItemView* item = getItemAt(previous)) item->setSelected(false);
      }
    }
    curSel_ = n;
    VeskWebView* page = curView();
    kit::Rect frame = isDual() ? paneFrame(false) : (contentsHolder_ ? contentsHolder_->bounds() : kit::Rect());
    page->setFrame(frame);
    if (VeskTabItemView* item = getItemAt(n)) item->setSelected(true);
    if (restoring_)
      page->willBeViewedOnceSettled();
    else
      page->willBeViewed();
    if (isDual()) {
      if (trackPad_) trackPad_->setVeskView(getViewAt(n + 1));
      if (trackPad2_) trackPad2_->setVeskView(page);
    } else if (trackPad_) {
      trackPad_->setVeskView(page);
    }
    placeInContents(page, frame);
    pushTransition(contentsHolder_.get(), n < previous, 0.2);
    kit::Rect room = getRoomRect(n);
    scrollRectToVisible(kit::Rect(room.x() + 10, room.y(), room.width(), room.height()), true);
    page->didView();
  }
  writeCurSel();
}

void VeskMultiTabView::setCurSel2(int m) {
  // Anything negative means single pane: the stored value is a real index or -1.
  if (m < 0) m = -1;
  if (m == curSel2_) return;

  if (m < 0) {
    if (!isDual()) {
      curSel2_ = -1;
      return;
    }
    VeskWebView* right = curView2();
    VeskWebView* left = curView();
    if (right && right != left)
      if (VeskTabItemView* item = getItemAt(curSel2_)) item->setSelected(false);
    curSel2_ = -1;
    if (right && right != left) takeOutOfContents(right);
    if (left && contentsHolder_) left->setFrame(contentsHolder_->bounds());
    if (trackPad2_) trackPad2_->setVeskView(nullptr);
    if (trackPad_) trackPad_->setVeskView(left);
    return;
  }

  VeskWebView* left = curView();
  if (!left) return;  // nothing selected to pair with
  // A right pane at or past the end gets a fresh tab there; the index is the one it lands at.
  if (m >= tabCount()) {
    kit::Ref<VeskWebView> fresh = VeskWebView::allocInstance(paneFrame(true), this);
    if (!fresh) return;
    m = addTab(fresh.get(), -1, false);
  }
  if (isDual()) {
    VeskWebView* oldRight = curView2();
    if (oldRight && oldRight != left) {
      takeOutOfContents(oldRight);
      if (VeskTabItemView* item = getItemAt(curSel2_)) item->setSelected(false);
    }
  }
  left->setFrame(paneFrame(false));
  VeskWebView* right = getViewAt(m);
  kit::Rect frame = paneFrame(true);
  right->setFrame(frame);
  right->willBeViewed();
  if (VeskTabItemView* item = getItemAt(m)) item->setSelected(true);
  placeInContents(right, frame);
  curSel2_ = m;
  if (trackPad2_) trackPad2_->setVeskView(left);
  if (trackPad_) trackPad_->setVeskView(right);
  right->didView();
  kit::Rect room = getRoomRect(curSel2_);
  scrollRectToVisible(room, true);
}

void VeskMultiTabView::selectAsTapped(int index) {
  if (!getViewAt(index)) return;
  if (!isDual()) {
    setCurSel(index);
  } else if (index < curSel_) {
    setCurSel(index);
    setCurSel2(index + 1);
  } else {
    setCurSel2(index + 1);
    setCurSel(index);
  }
}

void VeskMultiTabView::moveTab(int delta) {
  int n = curSel_ + delta;
  if (n >= 0 && n < tabCount()) selectAsTapped(n);
}

void VeskMultiTabView::pointTrackPads() {
  if (isDual()) {
    if (trackPad_) trackPad_->setVeskView(curView2());
    if (trackPad2_) trackPad2_->setVeskView(curView());
  } else {
    if (trackPad_) trackPad_->setVeskView(curView());
    if (trackPad2_) trackPad2_->setVeskView(nullptr);
  }
}

void VeskMultiTabView::touchesEnded(const kit::Touches& touches, kit::Event*) {
  if (touches.empty()) return;
  int index = calcIndexFromPoint(touches.front()->locationInView(this));
  if (index >= 0) selectAsTapped(index);
}

// ---- Closing

void VeskMultiTabView::deleteTab(int a, bool animated) {
  if (a < 0) a = curSel_;
  if (!getViewAt(a)) return;
  if (isDual() && tabCount() < 3) return;
  // Closing the last tab leaves an empty one.
  if (!isDual() && tabCount() < 2) needToCreateNewTab(nullptr, std::string(), false, false);

  const int last = tabCount() - 1;
  const int c = curSel_;
  if (a == curSel_) {
    if (a == last) {
      setCurSel(a - 1);
    } else {
      if (a != 0) {
        setCurSel(a - 1);
      } else {
        if (isDual()) setCurSel2(curSel2_ + 1);
        setCurSel(a + 1);
        --curSel_;
      }
      if (curSel2_ >= 0) --curSel2_;
    }
  } else if (isDual() && a == curSel2_) {
    if (a == last) {
      setCurSel(curSel_ - 1);
      setCurSel2(curSel2_ - 1);
    } else {
      setCurSel2(a + 1);
      --curSel2_;
    }
  } else if (a < c) {
    --curSel_;
    if (curSel2_ >= 0) --curSel2_;
  }

  kit::Ref<VeskWebView> page = tabs_[static_cast<size_t>(a)];
  if (!page->privateMode()) addToRecentlyClosed(*page);
  page->willBeDestoryed();
  // Nothing keeps showing or calling back into the closed page.
  page->removeFromSuperview();
  page->setDelegate(nullptr);
  kit::RunLoop::main().performAfterDelay(this, "releaseClosedPage", page, kClosedPageDelay, [page]() mutable {
    page = nullptr;
  });
  tabs_.erase(tabs_.begin() + a);
  kit::Ref<VeskTabItemView> item = tabItems_[static_cast<size_t>(a)];
  item->setDelegate(nullptr);
  item->removeFromSuperview();
  tabItems_.erase(tabItems_.begin() + a);
  pointTrackPads();

  refitAnimated(animated, a, true);
  saveFrom(a);
  writeCurSel();
}

void VeskMultiTabView::addToRecentlyClosed(VeskWebView& page) {
  kit::MutableArray* closed = VeskMiscObject::sharedInstance()->recentlyClosedTabs();
  closed->insertObject(RecentlyClosedTab::make(page.getTitle(), page.location()), 0);
  while (closed->count() > kRecentlyClosedLimit) closed->removeObjectAtIndex(closed->count() - 1);
}

// ---- Page callbacks

void VeskMultiTabView::needToCreateNewTab(VeskWebView* sender, const std::string& url, bool selected,
                                          bool privateMode) {
  kit::Rect frame = contentsHolder_ ? contentsHolder_->bounds() : kit::Rect();
  kit::Ref<VeskWebView> page =
      url.empty() ? VeskWebView::allocInstance(frame, this) : VeskWebView::allocInstance(frame, this, url);
  if (!page) return;
  page->setPrivateMode(privateMode);
  const int at = indexOf(sender);
  if (selected) {
    int index = addTab(page.get(), at < 0 ? -1 : at + 1, true);
    if (isDual() && at >= 0 && at == curSel_) {
      // Adding it put the new tab into the right pane already.
    } else if (isDual() && at >= 0 && at == curSel2_) {
      setCurSel2(index);
      setCurSel(index - 1);
    } else {
      selectAsTapped(index);
    }
  } else {
    // Behind the right pane in dual mode.
    addTab(page.get(), at < 0 ? -1 : at + (isDual() ? 2 : 1), true);
  }
}

void VeskMultiTabView::closeMe(VeskWebView& page) {
  int index = indexOf(&page);
  if (index >= 0) deleteTab(index, true);
}

void VeskMultiTabView::screenShotUpdated(VeskWebView& page) {
  VeskTabItemView* item = getItemAt(indexOf(&page));
  if (!item) return;
  if (kit::ImageView* mask = item->maskOnLeftBottom())
    mask->setImage(page.privateMode() ? kit::Ref<kit::Image>(VeskInfoBoxView::sharedPrivateIconSelected()) : nullptr);
  // Off screen there is nothing to picture: the last picture stays.
  if (kit::ImageView* shot = item->screenShotView(); shot && page.window())
    shot->setImage(page.getScreenShot(twice(shot->bounds().size)));
  if (kit::Label* label = item->title()) label->setText(page.getTitle());
  item->setPrivateMode(page.privateMode());
  faviconUpdated(page);
}

void VeskMultiTabView::faviconUpdated(VeskWebView& page) {
  VeskTabItemView* item = getItemAt(indexOf(&page));
  if (item && item->faviCon())
    item->faviCon()->setImage(VeskFaviconDatabase::getSharedInstance()->getFavicon(page.location()));
}

void VeskMultiTabView::titleUpdated(VeskWebView& page) {
  VeskTabItemView* item = getItemAt(indexOf(&page));
  if (!item || !item->title()) return;
  std::string title = page.getTitle();
  item->title()->setText(title.empty() ? LocalizedText::localized("Loading ...") : title);
}

void VeskMultiTabView::showInfoBox(const std::string& text, kit::Image* image) {
  if (infoBox_) infoBox_->twinkle(text, image);
}

int VeskMultiTabView::getIdentifierForPersistentData(const VeskWebView& page) const { return indexOf(&page); }

void VeskMultiTabView::makeAllTabsFullscreen(int mode) {
  nFullScreen_ = mode;
  if (!kit::Device::currentDevice().isPad())
    if (auto* main = dynamic_cast<VeskWebViewController*>(viewController())) main->setFullEstate(mode);
  for (auto& page : tabs_) page->setFullScreenMode(mode);
  defaults().setInteger(mode, TabState::kFullscreenMode);
  defaults().synchronize();
}

// ---- Tab-item callbacks

void VeskMultiTabView::onCloseClicked(VeskTabItemView& item) {
  int index = indexOfItem(&item);
  if (index >= 0) deleteTab(index, true);
}

void VeskMultiTabView::onDoubleTapped(VeskTabItemView& item) {
  if (VeskWebView* page = getViewAt(indexOfItem(&item)))
    page->handleAction(VeskMiscObject::sharedInstance()->opt_double_tap_on_tab(), nullptr);
}

// ---- Bookmark screens

kit::NavigationController* VeskMultiTabView::getBookmarkNavicon() {
  if (bookmarkNavicon_) return bookmarkNavicon_.get();
  VeskBookmarkDatabase::getSharedInstance()->gotoRoot();
  const bool pad = kit::Device::currentDevice().isPad();
  kit::Ref<VeskBookmarkTableViewController> list(new VeskBookmarkTableViewController(kit::TableView::Style::Plain));
  // The buttons reach the screen weakly: it goes when the popover is dropped.
  kit::WeakRef<VeskBookmarkTableViewController> weak(list.get());
  auto button = [&weak](const char* title, const char* action, void (VeskBookmarkTableViewController::*fn)()) {
    return kit::BarButtonItem::withTitle(LocalizedText::localized(title), kit::BarButtonItem::Style::Bordered, action,
                                         [weak, fn](kit::BarButtonItem&) {
                                           if (kit::Ref<VeskBookmarkTableViewController> l = weak.lock()) ((*l).*fn)();
                                         });
  };
  list->navigationItem()->setRightBarButtonItem(button("Edit", "onEdit", &VeskBookmarkTableViewController::onEdit));
  kit::Ref<kit::BarButtonItem> add = button("Add", "onAddNew:", &VeskBookmarkTableViewController::onAddNew);
  if (pad)
    list->setToolbarItems({add});
  else
    list->setToolbarItems({button("Close", "onClose:", &VeskBookmarkTableViewController::onClose),
                           kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::FlexibleSpace), add});
  bookmarkNavicon_ = kit::NavigationController::withRootViewController(list.get());
  bookmarkNavicon_->setToolbarHidden(false);
  if (pad) list->setContentSizeForViewInPopover({320, 400});
  return bookmarkNavicon_.get();
}

kit::PopoverController* VeskMultiTabView::getBookmarkPopover() {
  if (!kit::Device::currentDevice().isPad()) return nullptr;
  if (!bookmarkPopOver_) {
    bookmarkPopOver_ = kit::PopoverController::withContentViewController(getBookmarkNavicon());
    bookmarkPopOver_->setDelegate(this);
  }
  return bookmarkPopOver_.get();
}

void VeskMultiTabView::popoverControllerDidDismissPopover(kit::PopoverController& popover) {
  if (&popover != bookmarkPopOver_.get()) return;
  kit::ViewController* top = bookmarkNavicon_ ? bookmarkNavicon_->topViewController() : nullptr;
  // A screen that has a page to open bookmarks in is kept for next time.
  if (dynamic_cast<VeskBookmarkTableViewController*>(top)) return;
  bookmarkPopOver_->setDelegate(nullptr);
  bookmarkPopOver_ = nullptr;
  bookmarkNavicon_ = nullptr;
}

// ---- Settings and start

void VeskMultiTabView::miscNotification() {
  for (auto& page : tabs_) page->settingsUpdated();
}

void VeskMultiTabView::restoreTabs() {
  kit::Rect frame = contentsHolder_ ? contentsHolder_->bounds() : kit::Rect();
  auto append = [&](kit::Ref<VeskWebView> page) {
    if (page) addTab(page.get(), -1, false);
  };
  long selection = 0;
  if (VeskMiscObject::sharedInstance()->bRestoreSessions()) {
    selection = defaults().integerForKey(TabState::kCurSel);
    const long savedCount = defaults().integerForKey(TabState::kTabs);
    nFullScreen_ = static_cast<int>(defaults().integerForKey(TabState::kFullscreenMode));
    const int limit = savedEntryLimit(savedCount);
    for (int i = 0; i < limit; ++i) {
      // The web view is made only when the tab is first shown.
      if (kit::Ref<VeskWebView> page = VeskWebView::allocInstance(frame, this, i)) {
        addTab(page.get(), -1, false);
        page->reloadFavicon();
      } else if (i < selection) {
        --selection;
      }
    }
    if (tabs_.empty()) {
      if (savedCount == 0)
        append(VeskWebView::allocInstance(frame, this, welcomePageURL(kit::Device::currentDevice().isPad()), false));
      append(VeskWebView::allocInstance(frame, this, std::string(), false));
    }
    if (selection < 0 || selection >= tabCount()) selection = 0;
  } else {
    append(VeskWebView::allocInstance(frame, this, std::string(), false));
  }
  // No page makes its web view here: the one on show makes it once the
  // start has settled, the others when they are first shown.
  restoring_ = true;
  setCurSel(static_cast<int>(selection));
  restoring_ = false;
}

void VeskMultiTabView::awakeFromNib() {
  kit::ScrollView::awakeFromNib();
  curSel_ = -1;
  curSel2_ = -1;
  showScreenShots_ = true;
  setDelegate(this);
  auto& center = kit::NotificationCenter::defaultCenter();
  observers_.push_back(center.addObserver(kit::Application::kDidReceiveMemoryWarningNotification, nullptr,
                                          [this](const kit::Notification&) { squeezeMemory(); }));
  observers_.push_back(center.addObserver(VeskMiscObject::kNotification, nullptr,
                                          [this](const kit::Notification&) { miscNotification(); }));

  restoreTabs();

  if (defaults().exists("opt_expand_tab") && !defaults().boolForKey("opt_expand_tab"))
    if (auto* main = dynamic_cast<VeskWebViewController*>(viewController())) main->onToggleTab(nullptr);
  VeskMiscObject::sharedInstance()->setBPrivateTabExists(privateTabExists());
  // A saved full-screen mode counts only when the tabs were restored.
  if (nFullScreen_ != 0) makeAllTabsFullscreen(nFullScreen_);
  for (auto& page : tabs_) page->settingsUpdated();
  setScrollsToTop(false);
}

std::string VeskMultiTabView::welcomePageURL(bool pad) {
  std::string path = kit::Bundle::mainBundle()->pathForResource(pad ? "welcome" : "welcome~iphone", "html");
  return path.empty() ? std::string() : kit::URL::fileURLWithPath(path, false)->absoluteString();
}

}  // namespace tolva
