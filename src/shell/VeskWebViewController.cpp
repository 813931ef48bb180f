#include "shell/VeskWebViewController.h"

#include "kit/foundation/Number.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Animation.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/Layer.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/ViewAnimation.h"
#include "kit/ui/Window.h"
#include "settings/PrefSettingsNotification.h"
#include "common/LocalizedText.h"
#include "common/MyUIViewController.h"
#include "shell/UIViewAnimated.h"
#include "common/VeskMiscObject.h"
#include "shell/VeskWebView.h"
#include "data/VeskBookmarkDatabase.h"
#include "share/ui/ShareActivityIndicator.h"

namespace tolva {
namespace {

// The item index last pointed at on each bookmark dial, for the whole process.
long lastDialIndex = -1;
long lastDialIndex2 = -1;

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

}  // namespace

VeskWebViewController::VeskWebViewController(std::string nibName) : kit::ViewController(std::move(nibName)) {}

VeskWebViewController::~VeskWebViewController() {
  observers_.clear();
  for (kit::Button* b : {statusBtnLeft_.get(), statusBtnRight_.get()})
    if (b) b->removeFromSuperview();
  for (VeskJogDialView* dial : {faviDial_.get(), faviDial2_.get()})
    if (dial && dial->delegate() == this) dial->setDelegate(nullptr);
  if (brightnessDial_ && brightnessDial_->delegate() == brightnessDelegate_.get()) brightnessDial_->setDelegate(nullptr);
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
}

VeskFaviconDatabase* VeskWebViewController::faviconDb() {
  if (!faviconDb_) faviconDb_ = kit::make<VeskFaviconDatabase>();
  return faviconDb_.get();
}

void VeskWebViewController::setLockRotation(bool lock) {
  lockRotation_ = lock;
  kit::NotificationCenter::defaultCenter().postNotification(kVeskRotationLockNotification,
                                                            lock ? kit::Number::yes() : kit::Number::no());
  defaults().setBool(lock, "opt_lock_rotation");
  if (lock)
    defaults().setInteger(static_cast<int>(kit::Application::sharedApplication()->statusBarOrientation()),
                          "opt_lock_rotation_info");
  defaults().synchronize();
}

void VeskWebViewController::_refitTrackpads() {
  if (trackPad_) trackPad_->recoverWhenItsOutsideUsingRatio();
  if (trackPad2_) trackPad2_->recoverWhenItsOutsideUsingRatio();
}

void VeskWebViewController::_savePrivateTabState() {
  if (multiTab_) VeskMiscObject::sharedInstance()->setBPrivateTabExists(multiTab_->privateTabExists());
}

void VeskWebViewController::viewDidLoad() {
  auto& center = kit::NotificationCenter::defaultCenter();
  auto reread = [this](const kit::Notification&) { _settingsChanged(); };
  observers_.push_back(center.addObserver(kAppSettingChanged, nullptr, reread));
  observers_.push_back(center.addObserver(kit::Application::kDidBecomeActiveNotification, nullptr, reread));
  observers_.push_back(center.addObserver(kit::Application::kDidEnterBackgroundNotification, nullptr,
                                          [this](const kit::Notification&) { _savePrivateTabState(); }));

  faviDial2_->setLeftSided(true);
  trackPad2_->setTag(1);

  if (defaults().exists("opt_show_trackpad") && !defaults().boolForKey("opt_show_trackpad")) {
    trackPad_->setHidden(true);
    trackPad2_->setHidden(true);
    trackPadBtn_->setSelected(false);
  }
  if (defaults().exists("opt_trackpad_positionRatio1x"))
    trackPad_->setPositionRatio({defaults().floatForKey("opt_trackpad_positionRatio1x"),
                                 defaults().floatForKey("opt_trackpad_positionRatio1y")});
  if (defaults().exists("opt_trackpad_positionRatio2x"))
    trackPad2_->setPositionRatio({defaults().floatForKey("opt_trackpad_positionRatio2x"),
                                  defaults().floatForKey("opt_trackpad_positionRatio2y")});
  _refitTrackpads();

  if (defaults().exists("opt_lock_rotation")) {
    lockRotation_ = defaults().boolForKey("opt_lock_rotation");
    center.postNotification(kVeskRotationLockNotification, lockRotation_ ? kit::Number::yes() : kit::Number::no());
  }

  ShareActivityIndicator::currentIndicator()->setFrame(infoBox_->frame());

  for (kit::Button* button : {newPageBtn1_.get(), newPageBtn2_.get()}) {
    kit::Ref<kit::LongPressGestureRecognizer> press(new kit::LongPressGestureRecognizer(
        "onLongPressNewPage:", [this](kit::GestureRecognizer& g) { onLongPressNewPage(g); }));
    button->addGestureRecognizer(press.get());
  }
}

void VeskWebViewController::viewDidAppear(bool) { placeStatusButtons(); }

void VeskWebViewController::didRotateFromInterfaceOrientation(kit::InterfaceOrientation) {
  _refitTrackpads();
  placeStatusButtons();
}

// Two touch areas over the halves of the status bar: a touch scrolls the
// page of that side to its top.
void VeskWebViewController::placeStatusButtons() {
  kit::Window* window = isViewLoaded() ? view()->window() : nullptr;
  if (!window || !statusBtnLeft_ || !statusBtnRight_) return;
  kit::Rect bar = kit::Application::sharedApplication()->statusBarFrame();
  kit::Rect left, right;
  if (kit::isLandscape(kit::Application::sharedApplication()->statusBarOrientation())) {
    // The status bar's frame is in unrotated screen coordinates: a strip along a side.
    double half = bar.height() / 2;
    left = kit::Rect(bar.x(), bar.y(), bar.width(), half);
    right = kit::Rect(bar.x(), bar.y() + half, bar.width(), half);
  } else {
    double half = bar.width() / 2;
    left = kit::Rect(bar.x(), bar.y(), half, bar.height());
    right = kit::Rect(bar.x() + half, bar.y(), half, bar.height());
  }
  statusBtnLeft_->setFrame(window->convertRectFromView(left, nullptr));
  statusBtnRight_->setFrame(window->convertRectFromView(right, nullptr));
  window->addSubview(statusBtnLeft_.get());
  window->addSubview(statusBtnRight_.get());
}

void VeskWebViewController::onStatusBar(bool rightHalf) {
  if (!multiTab_) return;
  VeskWebView* page = rightHalf && multiTab_->isDual() ? multiTab_->curView2() : multiTab_->curView();
  if (page) page->scrollToTop();
}

bool VeskWebViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return MyUIViewController::myShouldAutorotateToInterfaceOrientation(this, o);
}

void VeskWebViewController::didReceiveMemoryWarning() {
  faviconDb_ = nullptr;
  VeskBookmarkDatabase::getSharedInstance()->setBookmark(nullptr);
}

void VeskWebViewController::_enableLater(kit::Control* control) {
  if (control) control->setEnabled(true);
}

void VeskWebViewController::createNewTabWithURL(const std::string& url) {
  if (!multiTab_) return;
  kit::Ref<VeskWebView> page = VeskWebView::allocInstance(contentsHolder_->bounds(), multiTab_.get(), url);
  if (page) multiTab_->addTab(page.get(), multiTab_->curSel() + 1, true, !multiTab_->isDual());
}

void VeskWebViewController::onNewPage(kit::Control* button) {
  if (button) {
    button->setEnabled(false);
    kit::Ref<kit::Control> held(button);
    kit::RunLoop::main().performAfterDelay(this, "_enableLater:", held, 0.3,
                                           [this, held] { _enableLater(held.get()); });
  }
  if (!multiTab_) return;
  kit::Ref<VeskWebView> page = VeskWebView::allocInstance(contentsHolder_->bounds(), multiTab_.get());
  if (page) multiTab_->addTab(page.get(), multiTab_->curSel() + 1, true, !multiTab_->isDual());
}

void VeskWebViewController::onClosePage() {
  if (multiTab_) multiTab_->deleteTab(-1);
}

void VeskWebViewController::_settingsChanged() {
  kit::UserDefaults::resetStandardUserDefaults();
  if (defaults().exists("opt_show_jogdials")) {
    bool show = defaults().boolForKey("opt_show_jogdials");
    faviDock_->setHidden(!show);
    faviDockTip1_->setHidden(!show);
    bool showLeft = show && multiTab_ && multiTab_->isDual();
    faviDock2_->setHidden(!showLeft);
    faviDockTip2_->setHidden(!showLeft);
  }
  if (defaults().exists("opt_show_brightness_jogdial")) {
    bool show = defaults().boolForKey("opt_show_brightness_jogdial");
    brightnessDock_->setHidden(!show);
    brightnessDockTip_->setHidden(!show);
  }
}

void VeskWebViewController::onLongPressNewPage(kit::GestureRecognizer& recognizer) {
  // One list per press: the later moves of the same press change nothing.
  if (recognizer.state() != kit::GestureRecognizer::State::Began) return;
  if (blockLongPressGesture_) return;
  kit::Ref<VeskRecentlyClosedTableViewController> list(new VeskRecentlyClosedTableViewController());
  list->setContentSizeForViewInPopover({320, 300});
  list->setSelectDelegate(this);
  if (kit::Device::currentDevice().isPad()) {
    kit::View* button = recognizer.view();
    if (!button) return;
    blockLongPressGesture_ = true;
    kit::Ref<kit::PopoverController> pop = kit::PopoverController::withContentViewController(list.get());
    pop->setDelegate(this);
    list->setPop(pop.get());
    pop->presentPopoverFromRect(kit::Rect(button->bounds().width() / 2, 0, 0, 0), button, kit::PopoverArrowAny, true);
  } else {
    kit::Ref<kit::NavigationController> nav = kit::NavigationController::withRootViewController(list.get());
    nav->setNavigationBarHidden(true);
    nav->setToolbarHidden(false);
    nav->toolbar()->setTintColor(kit::Color::lightGrayColor());
    presentViewController(nav.get(), true);
  }
}

void VeskWebViewController::showInfo(const char* text, kit::Image* icon) {
  if (infoBox_) infoBox_->twinkle(LocalizedText::localized(text), icon);
}

void VeskWebViewController::onToggleTrackPad() {
  bool hidden = !trackPad_->isHidden();
  trackPad_->setHidden(hidden);
  if (hidden) {
    trackPad2_->setHidden(true);
    showInfo("Trackpad disabled", VeskInfoBoxView::sharedTrackpadOffIcon());
  } else {
    if (multiTab_ && multiTab_->curSel2() >= 0) trackPad2_->setHidden(false);
    showInfo("Trackpad enabled", VeskInfoBoxView::sharedTrackpadIcon());
  }
  trackPadBtn_->setSelected(!hidden);
  defaults().setBool(!hidden, "opt_show_trackpad");
  defaults().synchronize();
}

void VeskWebViewController::onDualMode(kit::Button* sender) {
  kit::Button* button = sender ? sender : dualViewBtn_.get();
  if (!button || !multiTab_) return;
  button->setSelected(!button->isSelected());
  if (button->isSelected()) {
    multiTab_->setCurSel2(multiTab_->curSel() + 1);
    trackPad2_->setHidden(trackPad_->isHidden());
    showInfo("Dual-window mode", VeskInfoBoxView::sharedDualScreenIcon());
    bool dialsOff = defaults().exists("opt_show_jogdials") && !defaults().boolForKey("opt_show_jogdials");
    if (!dialsOff) {
      faviDock2_->setHidden(false);
      faviDockTip2_->setHidden(false);
    }
  } else {
    multiTab_->setCurSel2(-1);
    trackPad2_->setHidden(true);
    showInfo("Single-window mode", VeskInfoBoxView::sharedSingleScreenIcon());
    faviDock2_->setHidden(true);
    faviDockTip2_->setHidden(true);
  }
  _refitTrackpads();
}

void VeskWebViewController::onSettings() {
  kit::Ref<PrefAppSettingsViewController> settings(new PrefAppSettingsViewController("PrefAppSettingsView"));
  settings->setDelegate(this);
  settings->setShowDoneButton(true);
  kit::Ref<kit::NavigationController> nav = kit::NavigationController::withRootViewController(settings.get());
  nav->setModalPresentationStyle(kit::ViewController::ModalPresentationStyle::FormSheet);
  presentViewController(nav.get(), true);
}

void VeskWebViewController::settingsViewControllerDidEnd(PrefAppSettingsViewController&) {
  dismissViewControllerAnimated(true);
}

void VeskWebViewController::setFullEstate(int estate) {
  if (estate == fullEstate_) return;
  fullEstate_ = estate;
  if (estate == kEstateFull) {
    kit::ViewAnimation::beginAnimations("fullscreen");
    kit::ViewAnimation::setAnimationDuration(0.2);
    kit::ViewAnimation::setAnimationBeginsFromCurrentState(false);
    multiTab_->setHidden(true);
    multiTabBg_->setHidden(true);
    contentsHolder_->setFrame(fullContentsHolder2_->frame());
    kit::ViewAnimation::commitAnimations();
  } else {
    multiTab_->setHidden(false);
    multiTabBg_->setHidden(false);
    contentsHolder_->setFrame(bSmallTab_ ? fullContentsHolder_->frame() : normalContentsHolder_->frame());
    _refitTrackpads();
  }
}

void VeskWebViewController::onToggleTab(kit::Button* sender) {
  kit::ViewAnimation::beginAnimations("zoomin_webview");
  kit::ViewAnimation::setAnimationDuration(0.2);
  bool small = !sender || sender->isSelected();
  kit::View* holder = small ? fullContentsHolder_.get() : normalContentsHolder_.get();
  double bottom = holder->frame().maxY();
  bigButtons_->setHidden(small);
  smallButtons_->setHidden(!small);
  multiTabBg_->setFrame(kit::Rect(0, bottom, holder->frame().width(), view()->frame().height() - bottom));
  multiTab_->setShowScreenShots(!small);
  contentsHolder_->setFrame(holder->frame());
  if (sender) {
    if (small)
      showInfo("Hide screenshots", VeskInfoBoxView::sharedHideScreenshotIcon());
    else
      showInfo("Show screenshots", VeskInfoBoxView::sharedShowScreenshotIcon());
  }
  bSmallTab_ = small;
  kit::ViewAnimation::commitAnimations();
  if (sender) {
    defaults().setBool(smallButtons_->isHidden(), "opt_expand_tab");
    defaults().synchronize();
  }
}

// ---- Docks

kit::View* VeskWebViewController::dockFor(const kit::View* tip) const {
  switch (tip ? tip->tag() : -1) {
    case 0:
      return faviDock_.get();
    case 1:
      return faviDock2_.get();
    default:
      return brightnessDock_.get();
  }
}

void VeskWebViewController::slideDock(kit::View* dock, double dx) {
  if (!dock) return;
  kit::Layer* layer = dock->layer();
  kit::Point from = layer->position();
  kit::Point to{from.x + dx, from.y};
  kit::Ref<kit::Animation> swipe = kit::Animation::animationWithKeyPath("position");
  swipe->setFromValue(from);
  swipe->setToValue(to);
  swipe->setTimingFunction(kit::TimingFunction::EaseInEaseOut);
  swipe->setDuration(0.3);
  layer->addAnimation(swipe, "swipe");
  layer->setPosition(to);
}

void VeskWebViewController::onTouchBookmarkTip(VeskTouchPropagatingUIButton* tip) {
  kit::View* dock = dockFor(tip);
  slideDock(dock, dock == faviDock2_.get() ? kDockSlide : -kDockSlide);
  if (tip && tip->propagatingView()) tip->propagatingView()->setUserInteractionEnabled(true);
  if (dock == faviDock_.get() || dock == faviDock2_.get()) {
    bool left = dock == faviDock2_.get();
    (left ? faviDial2_ : faviDial_)->setCurSel(0);
    UIViewAnimated::setHidden(*faviLabelContainer_, false, true);
    faviLabel_->setTextAlignment(left ? kit::TextAlignment::Left : kit::TextAlignment::Right);
  }
}

void VeskWebViewController::onTouchCancelBookmarkTip(VeskTouchPropagatingUIButton* tip) {
  kit::View* dock = dockFor(tip);
  slideDock(dock, dock == faviDock2_.get() ? -kDockSlide : kDockSlide);
  if (tip && tip->propagatingView()) tip->propagatingView()->setUserInteractionEnabled(false);
  if (dock == faviDock_.get() || dock == faviDock2_.get()) UIViewAnimated::setHidden(*faviLabelContainer_, true, true);
}

void VeskWebViewController::onTouchEndBookmarkTip(VeskTouchPropagatingUIButton* tip) {
  onTouchCancelBookmarkTip(tip);
  kit::View* dock = dockFor(tip);
  bool left = dock == faviDock2_.get();
  if ((dock != faviDock_.get() && !left) || !multiTab_) return;
  long index = left ? lastDialIndex2 : lastDialIndex;
  if (index < 0) return;
  kit::Ref<kit::Dictionary> item =
      VeskBookmarkDatabase::getSharedInstance()->getItemAt(static_cast<size_t>(index), true, nullptr);
  auto* url = item ? item->get<kit::String>("url") : nullptr;
  if (!url || url->empty()) return;
  VeskWebView* page = !left && multiTab_->isDual() ? multiTab_->curView2() : multiTab_->curView();
  if (page) page->bookmarkUrlSelected(url->str());
}

// ---- Bookmark dials

kit::Ref<kit::Image> VeskWebViewController::VeskJogDialViewCancelImage(VeskJogDialView&) {
  return faviconDb()->getCancelFavicon();
}

void VeskWebViewController::VeskJogDialViewCancelled(VeskJogDialView&) {}

size_t VeskWebViewController::VeskJogDialViewNumberOfItems(VeskJogDialView&) {
  return VeskBookmarkDatabase::getSharedInstance()->nonFolderItemCount(nullptr);
}

kit::Ref<kit::Image> VeskWebViewController::VeskJogDialViewImageAtIndex(VeskJogDialView&, long index) {
  VeskBookmarkDatabase* bookmarks = VeskBookmarkDatabase::getSharedInstance();
  kit::Ref<kit::Dictionary> item =
      index >= 0 ? bookmarks->getItemAt(static_cast<size_t>(index), true, nullptr) : nullptr;
  auto* url = item ? item->get<kit::String>("url") : nullptr;
  if (!item || (url && !url->empty())) return faviconDb()->getFavicon(url ? url->str() : std::string());
  return index == 0 && bookmarks->root() ? faviconDb()->getHistoryFavicon() : faviconDb()->getFolderFavicon();
}

size_t VeskWebViewController::VeskJogDialNumberOfButtonsOnJogdial(VeskJogDialView&) { return 0; }

void VeskWebViewController::VeskJogDialViewPositionChanged(VeskJogDialView& dial, long index) {
  if (faviLabel_) {
    if (index < 0) {
      faviLabel_->setText(LocalizedText::localized("Cancel"));
      faviLabel_->setTextColor(kit::Color::darkGrayColor());
    } else {
      kit::Ref<kit::Dictionary> item =
          VeskBookmarkDatabase::getSharedInstance()->getItemAt(static_cast<size_t>(index), true, nullptr);
      auto* title = item ? item->get<kit::String>("title") : nullptr;
      faviLabel_->setText(title ? title->str() : std::string());
      faviLabel_->setTextColor(kit::Color::blackColor());
    }
  }
  (&dial == faviDial2_.get() ? lastDialIndex2 : lastDialIndex) = index;
}

long VeskWebViewController::dialIndex(bool leftDial) { return leftDial ? lastDialIndex2 : lastDialIndex; }

// ---- Other delegates

bool VeskWebViewController::scrollViewShouldScrollToTop(kit::ScrollView&) { return false; }

void VeskWebViewController::popoverControllerDidDismissPopover(kit::PopoverController&) {
  blockLongPressGesture_ = false;
}

void VeskWebViewController::onSelect(const std::string& url) { createNewTabWithURL(url); }

}  // namespace tolva
