#include "shell/VeskMultiTabView.h"

#include <algorithm>

#include "kit/foundation/Format.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "shell/RecentlyClosedTab.h"
#include "shell/VeskMiscObject.h"
#include "shell/VeskWebView.h"
#include "shell/VeskWebViewController.h"

namespace tolva {
namespace {

VeskWebViewController* mainScreen(const kit::View* v) {
  for (; v; v = v->superview())
    if (auto* c = dynamic_cast<VeskWebViewController*>(v->nextResponder())) return c;
  return nullptr;
}

}  // namespace

VeskMultiTabView::VeskMultiTabView(kit::Rect frame) : kit::ScrollView(frame) {}

VeskMultiTabView::~VeskMultiTabView() {
  // The pages may outlive the strip (a closed one waits for its release).
  for (auto& page : tabs_)
    if (page->delegate() == this) page->setDelegate(nullptr);
  if (delegate() == this) setDelegate(nullptr);
}

void VeskMultiTabView::setTrackPad(VeskTrackPadView* t) { trackPad_ = t; }
void VeskMultiTabView::setTrackPad2(VeskTrackPadView* t) { trackPad2_ = t; }
void VeskMultiTabView::setInfoBox(VeskInfoBoxView* b) { infoBox_ = b; }

VeskWebView* VeskMultiTabView::getViewAt(int index) const {
  return index >= 0 && index < tabCount() ? tabs_[static_cast<size_t>(index)].get() : nullptr;
}

int VeskMultiTabView::indexOf(const VeskWebView* page) const {
  auto it = std::find_if(tabs_.begin(), tabs_.end(), [&](const kit::Ref<VeskWebView>& p) { return p.get() == page; });
  return it == tabs_.end() ? -1 : static_cast<int>(it - tabs_.begin());
}

kit::Rect VeskMultiTabView::paneFrame(bool right) const {
  kit::Rect area = contentsHolder_ ? contentsHolder_->bounds() : kit::Rect();
  if (!isDual()) return area;
  double half = area.width() * 0.5 - 1;
  return right ? kit::Rect(half + 2, 0, half, area.height()) : kit::Rect(0, 0, half, area.height());
}

void VeskMultiTabView::show(VeskWebView* page, bool right) {
  page->setFrame(paneFrame(right));
  page->willBeViewed();
  if (contentsHolder_) {
    contentsHolder_->addSubview(page);
    contentsHolder_->sendSubviewToBack(page);
  }
}

void VeskMultiTabView::saveFrom(int index) {
  kit::UserDefaults::standardUserDefaults().setInteger(tabCount(), "tabs");
  for (int i = std::max(index, 0); i < tabCount(); ++i) tabs_[static_cast<size_t>(i)]->saveAsIdentifier(i);
}

int VeskMultiTabView::addTab(VeskWebView* page, int index, bool, bool selected) {
  if (!page) return -1;
  if (index < 0 || index > tabCount()) index = tabCount();
  tabs_.insert(tabs_.begin() + index, kit::Ref<VeskWebView>(page));
  page->setFullScreenMode(nFullScreen_);
  if (curSel_ >= 0 && curSel_ >= index) ++curSel_;
  if (isDual() && curSel2_ >= index) {
    int old = curSel2_;
    ++curSel2_;
    setCurSel2(old);
  }
  saveFrom(index);
  if (selected) {
    if (isDual()) setCurSel2(index + 1);
    setCurSel(index);
  }
  return index;
}

void VeskMultiTabView::setCurSel(int n) {
  if (n != curSel_ && getViewAt(n)) {
    if (VeskWebView* old = curView()) {
      old->removeFromSuperview();
      old->willBeHidden();
    }
    curSel_ = n;
    VeskWebView* page = curView();
    show(page, false);
    if (isDual()) {
      if (trackPad_) trackPad_->setVeskView(getViewAt(n + 1));
      if (trackPad2_) trackPad2_->setVeskView(page);
    } else if (trackPad_) {
      trackPad_->setVeskView(page);
    }
    page->didView();
  }
  kit::UserDefaults::standardUserDefaults().setInteger(curSel_, "curSel");
}

void VeskMultiTabView::setCurSel2(int m) {
  if (m == curSel2_) return;
  VeskWebView* left = curView();
  if (m < 0) {
    if (!isDual()) {
      curSel2_ = m;
      return;
    }
    VeskWebView* right = curView2();
    curSel2_ = m;
    right->willBeHidden();
    right->removeFromSuperview();
    if (left) left->setFrame(paneFrame(false));
    if (trackPad2_) trackPad2_->setVeskView(nullptr);
    if (trackPad_) trackPad_->setVeskView(left);
    return;
  }
  if (!left) return;
  if (VeskWebView* oldRight = isDual() ? curView2() : nullptr) {
    oldRight->removeFromSuperview();
    oldRight->willBeHidden();
  }
  if (m >= tabCount()) {
    kit::Ref<VeskWebView> fresh = VeskWebView::allocInstance(paneFrame(true), this);
    if (!fresh) return;
    m = addTab(fresh.get(), -1, false);
  }
  curSel2_ = m;
  left->setFrame(paneFrame(false));
  VeskWebView* right = curView2();
  show(right, true);
  if (trackPad2_) trackPad2_->setVeskView(left);
  if (trackPad_) trackPad_->setVeskView(right);
  right->didView();
}

void VeskMultiTabView::deleteTab(int a, bool) {
  if (a < 0) a = curSel_;
  if (!getViewAt(a)) return;
  if (isDual() && tabCount() < 3) return;
  if (!isDual() && tabCount() < 2) needToCreateNewTab(nullptr, "", false, false);

  kit::Ref<VeskWebView> page = tabs_[static_cast<size_t>(a)];
  if (a == curSel2_) setCurSel2(-1);
  if (a == curSel_) setCurSel(a == tabCount() - 1 ? a - 1 : a + 1);

  if (!page->privateMode()) {
    kit::MutableArray* closed = VeskMiscObject::sharedInstance()->recentlyClosedTabs();
    closed->insertObject(RecentlyClosedTab::make(page->getTitle(), page->location()), 0);
    while (closed->count() > 10) closed->removeObjectAtIndex(closed->count() - 1);
  }
  page->willBeDestoryed();
  page->removeFromSuperview();
  // A closed page lives 10 s more before it goes.
  kit::RunLoop::main().performAfterDelay(this, "releaseClosedTab", page, 10.0, [page]() mutable { page = nullptr; });
  tabs_.erase(tabs_.begin() + a);
  if (curSel_ > a) --curSel_;
  if (curSel2_ > a) --curSel2_;
  saveFrom(a);
}

bool VeskMultiTabView::privateTabExists() const {
  return std::any_of(tabs_.begin(), tabs_.end(), [](const kit::Ref<VeskWebView>& p) { return p->privateMode(); });
}

void VeskMultiTabView::needToCreateNewTab(VeskWebView* sender, const std::string& url, bool selected,
                                          bool privateMode) {
  kit::Rect frame = contentsHolder_ ? contentsHolder_->bounds() : kit::Rect();
  kit::Ref<VeskWebView> page =
      url.empty() ? VeskWebView::allocInstance(frame, this) : VeskWebView::allocInstance(frame, this, url);
  if (!page) return;
  page->setPrivateMode(privateMode);
  int at = indexOf(sender);
  int index = at < 0 ? -1 : at + (isDual() && !selected ? 2 : 1);
  addTab(page.get(), index, true, selected);
}

void VeskMultiTabView::moveTab(int delta) {
  int n = curSel_ + delta;
  if (n >= 0 && n < tabCount()) setCurSel(n);
}

void VeskMultiTabView::showInfoBox(const std::string& text, kit::Image* image) {
  if (infoBox_) infoBox_->twinkle(text, image);
}

int VeskMultiTabView::getIdentifierForPersistentData(const VeskWebView& page) const { return indexOf(&page); }

void VeskMultiTabView::makeAllTabsFullscreen(int mode) {
  nFullScreen_ = mode;
  if (!kit::Device::currentDevice().isPad())
    if (VeskWebViewController* main = mainScreen(this)) main->setFullEstate(mode);
  for (auto& page : tabs_) page->setFullScreenMode(mode);
  auto& defaults = kit::UserDefaults::standardUserDefaults();
  defaults.setInteger(mode, "fullscreen_mode");
  defaults.synchronize();
}

void VeskMultiTabView::closeMe(VeskWebView& page) {
  int index = indexOf(&page);
  if (index >= 0) deleteTab(index, true);
}

void VeskMultiTabView::miscNotification() {
  for (auto& page : tabs_) page->settingsUpdated();
}

void VeskMultiTabView::awakeFromNib() {
  curSel_ = -1;
  curSel2_ = -1;
  showScreenShots_ = true;
  setDelegate(this);
  observers_.push_back(kit::NotificationCenter::defaultCenter().addObserver(
      VeskMiscObject::kNotification, nullptr, [this](const kit::Notification&) { miscNotification(); }));

  if (kit::Ref<VeskWebView> page =
          VeskWebView::allocInstance(contentsHolder_ ? contentsHolder_->bounds() : kit::Rect(), this))
    addTab(page.get(), -1, false);
  setCurSel(0);

  auto& defaults = kit::UserDefaults::standardUserDefaults();
  if (defaults.exists("opt_expand_tab") && !defaults.boolForKey("opt_expand_tab"))
    if (VeskWebViewController* main = mainScreen(this)) main->onToggleTab(nullptr);
  VeskMiscObject::sharedInstance()->setBPrivateTabExists(privateTabExists());
  for (auto& page : tabs_) page->settingsUpdated();
  setScrollsToTop(false);
}

}  // namespace tolva
