// The main screen's modes as a user switches them: tab-strip size, dual
// pane, trackpads, rotation lock, full screen, and the new-tab button.

#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Layer.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/ViewRenderer.h"
#include "kit/ui/ImageView.h"
#include "shell/VeskTabItemView.h"
#include "kit/ui/Window.h"
#include "kit/foundation/Exception.h"
#include "common/MyUIViewController.h"
#include "shell/RecentlyClosedTab.h"
#include "settings/PrefSettingsNotification.h"
#include "shell/UITransparentToolBar.h"
#include "shell/UIViewAnimated.h"
#include "ShellTest.h"

using namespace tolva;

namespace {

class MainScreenTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    VeskAnalytics_noReview();
  }
  static void VeskAnalytics_noReview() { defaults().setInteger(5, "ana_remind_counter"); }

  // The value the file holds after a save, read afresh.
  static kit::Ref<kit::Object> saved(const char* key) {
    kit::Ref<kit::UserDefaults> file = kit::make<kit::UserDefaults>(defaults().path());
    return file->objectForKey(key);
  }
  static bool savedBool(const char* key) {
    kit::Ref<kit::Object> v = saved(key);
    auto* n = kit::cast<kit::Number>(v);
    return n && n->boolValue();
  }
  kit::Button* buttonTitled(kit::View* in, const std::string& title) {
    if (auto* b = dynamic_cast<kit::Button*>(in))
      if (b->titleForState(kit::Control::Normal) == title) return b;
    for (auto& v : in->subviews())
      if (kit::Button* found = buttonTitled(v.get(), title)) return found;
    return nullptr;
  }
  kit::Button* mainButton(const std::string& title) { return buttonTitled(controller()->view(), title); }
};

TEST_F(MainScreenTest, TabStripSizeTogglesAndIsRemembered) {
  ASSERT_TRUE(launch());
  VeskWebViewController* c = controller();
  EXPECT_FALSE(c->bSmallTab());
  EXPECT_EQ(c->contentsHolder()->frame(), c->normalContentsHolder()->frame());
  EXPECT_TRUE(tabs()->showScreenShots());

  kit::Button* smaller = mainButton("Smaller");
  ASSERT_TRUE(smaller);
  smaller->tap();
  EXPECT_TRUE(c->bSmallTab());
  EXPECT_TRUE(c->bigButtons()->isHidden());
  EXPECT_FALSE(c->smallButtons()->isHidden());
  EXPECT_FALSE(tabs()->showScreenShots());
  EXPECT_EQ(c->contentsHolder()->frame(), c->fullContentsHolder()->frame());
  kit::Rect full = c->fullContentsHolder()->frame();
  EXPECT_EQ(c->multiTabBg()->frame(),
            kit::Rect(0, full.maxY(), full.width(), c->view()->frame().height() - full.maxY()));
  EXPECT_EQ(c->infoBox()->text(), "Hide screenshots");
  EXPECT_EQ(c->infoBox()->image(), VeskInfoBoxView::sharedHideScreenshotIcon());
  // The caption and its icon take room inside the box, light on dark.
  VeskInfoBoxView* box = c->infoBox();
  for (kit::View* part : {static_cast<kit::View*>(box->label()), static_cast<kit::View*>(box->imgView())}) {
    EXPECT_FALSE(part->frame().isEmpty());
    EXPECT_TRUE(box->bounds().contains(part->frame()));
  }
  ASSERT_TRUE(box->backgroundColor());
  EXPECT_NE(box->label()->textColor(), *box->backgroundColor());
  EXPECT_EQ(kit::ViewAnimation::history().back().name, "zoomin_webview");
  EXPECT_TRUE(saved("opt_expand_tab"));
  EXPECT_FALSE(savedBool("opt_expand_tab"));

  mainButton("Larger")->tap();
  EXPECT_FALSE(c->bSmallTab());
  EXPECT_EQ(c->contentsHolder()->frame(), c->normalContentsHolder()->frame());
  EXPECT_TRUE(tabs()->showScreenShots());
  EXPECT_EQ(c->infoBox()->text(), "Show screenshots");
  EXPECT_TRUE(savedBool("opt_expand_tab"));
}

TEST_F(MainScreenTest, ACollapsedStripComesBackCollapsedWithoutRewritingTheKey) {
  defaults().setBool(false, "opt_expand_tab");
  ASSERT_TRUE(launch());
  EXPECT_TRUE(controller()->bSmallTab());
  EXPECT_FALSE(tabs()->showScreenShots());
  EXPECT_EQ(controller()->infoBox()->text(), "");  // no message without a sender
}

TEST_F(MainScreenTest, DualPaneShowsTheNextTabAndTheLeftDialUnlessDialsAreOff) {
  ASSERT_TRUE(launch());
  VeskWebViewController* c = controller();
  kit::Button* dual = c->dualViewBtn();
  dual->tap();
  EXPECT_TRUE(dual->isSelected());
  EXPECT_TRUE(tabs()->isDual());
  EXPECT_EQ(tabs()->curSel2(), 1);
  ASSERT_EQ(tabs()->tabCount(), 2);  // the first start's home-page tab goes to the right
  EXPECT_EQ(page(1)->superview(), c->contentsHolder());
  EXPECT_FALSE(c->trackPad2()->isHidden());  // follows the right pad
  EXPECT_FALSE(c->faviDock2()->isHidden());
  EXPECT_FALSE(c->faviDockTip2()->isHidden());
  EXPECT_EQ(c->infoBox()->text(), "Dual-window mode");
  EXPECT_LT(page(0)->frame().maxX(), page(1)->frame().x());

  dual->tap();
  EXPECT_FALSE(tabs()->isDual());
  EXPECT_TRUE(c->trackPad2()->isHidden());
  EXPECT_TRUE(c->faviDock2()->isHidden());
  EXPECT_EQ(c->infoBox()->text(), "Single-window mode");
  EXPECT_EQ(page(1)->superview(), nullptr);
  EXPECT_EQ(page(0)->frame(), c->contentsHolder()->bounds());

  defaults().setBool(false, "opt_show_jogdials");
  c->onDualMode(nullptr);
  EXPECT_TRUE(tabs()->isDual());
  EXPECT_TRUE(c->faviDock2()->isHidden());
  EXPECT_TRUE(c->faviDockTip2()->isHidden());
}

// The settings screen writes the file; the controller re-reads it when told
// of a change, so a value written by another store still counts.
TEST_F(MainScreenTest, AChangedSettingReReadsTheStoreAndHidesTheDocks) {
  ASSERT_TRUE(launch());
  VeskWebViewController* c = controller();
  ASSERT_FALSE(c->faviDock()->isHidden());
  ASSERT_FALSE(c->brightnessDock()->isHidden());
  defaults().synchronize();
  {
    kit::UserDefaults other(defaults().path());
    other.setBool(false, "opt_show_jogdials");
    other.setBool(false, "opt_show_brightness_jogdial");
    other.synchronize();
  }
  kit::NotificationCenter::defaultCenter().postNotification(kAppSettingChanged, nullptr, nullptr);
  EXPECT_TRUE(c->faviDock()->isHidden());
  EXPECT_TRUE(c->faviDockTip1()->isHidden());
  EXPECT_TRUE(c->brightnessDock()->isHidden());
  EXPECT_TRUE(c->brightnessDockTip()->isHidden());
}

TEST_F(MainScreenTest, TrackpadsToggleAndFollowThePanes) {
  ASSERT_TRUE(launch());
  VeskWebViewController* c = controller();
  EXPECT_FALSE(c->trackPad()->isHidden());
  EXPECT_TRUE(c->trackPad2()->isHidden());
  EXPECT_EQ(c->trackPad2()->tag(), 1);

  c->trackPadBtn()->tap();
  EXPECT_TRUE(c->trackPad()->isHidden());
  EXPECT_TRUE(c->trackPad2()->isHidden());
  EXPECT_FALSE(c->trackPadBtn()->isSelected());
  EXPECT_EQ(c->infoBox()->text(), "Trackpad disabled");
  EXPECT_TRUE(saved("opt_show_trackpad"));
  EXPECT_FALSE(savedBool("opt_show_trackpad"));

  // Entering dual with the pads off keeps the left one off too.
  c->onDualMode(nullptr);
  EXPECT_TRUE(c->trackPad2()->isHidden());

  c->trackPadBtn()->tap();
  EXPECT_FALSE(c->trackPad()->isHidden());
  EXPECT_FALSE(c->trackPad2()->isHidden());
  EXPECT_EQ(c->infoBox()->text(), "Trackpad enabled");
  EXPECT_TRUE(savedBool("opt_show_trackpad"));

  // Single pane: only the right one comes back.
  c->onDualMode(nullptr);
  c->trackPadBtn()->tap();
  c->trackPadBtn()->tap();
  EXPECT_FALSE(c->trackPad()->isHidden());
  EXPECT_TRUE(c->trackPad2()->isHidden());
}

TEST_F(MainScreenTest, StoredTrackpadSettingsApplyAtStart) {
  defaults().setBool(false, "opt_show_trackpad");
  defaults().setFloat(0.25f, "opt_trackpad_positionRatio1x");
  defaults().setFloat(0.5f, "opt_trackpad_positionRatio1y");
  ASSERT_TRUE(launch());
  VeskWebViewController* c = controller();
  EXPECT_TRUE(c->trackPad()->isHidden());
  EXPECT_FALSE(c->trackPadBtn()->isSelected());
  // The ratio is of the page the pad drives.
  kit::View* page = tabs()->curView()->webView();
  kit::Size area = page->bounds().size;
  EXPECT_EQ(c->trackPad()->frame().origin, page->convertPointToView({area.width * 0.25, area.height * 0.5}, c->view()));
}

TEST_F(MainScreenTest, RotationLockWritesItsKeysAndTellsThePages) {
  ASSERT_TRUE(launch());
  app()->setStatusBarOrientation(kit::InterfaceOrientation::LandscapeRight);
  controller()->setLockRotation(true);
  EXPECT_TRUE(savedBool("opt_lock_rotation"));
  kit::Ref<kit::Object> held = saved("opt_lock_rotation_info");
  ASSERT_TRUE(kit::cast<kit::Number>(held));
  EXPECT_EQ(kit::cast<kit::Number>(held)->intValue(), 3);
  EXPECT_TRUE(page(0)->btnRotationLock()->isSelected());
  // Held: only that orientation is allowed.
  EXPECT_TRUE(controller()->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::LandscapeRight));
  EXPECT_FALSE(controller()->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::Portrait));

  app()->setStatusBarOrientation(kit::InterfaceOrientation::Portrait);
  controller()->setLockRotation(false);
  EXPECT_FALSE(savedBool("opt_lock_rotation"));
  EXPECT_EQ(kit::cast<kit::Number>(saved("opt_lock_rotation_info"))->intValue(), 3);  // kept, unused
  EXPECT_FALSE(page(0)->btnRotationLock()->isSelected());
  EXPECT_TRUE(controller()->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::Portrait));
}

// A finger reaches the rotation lock and the private-mode button over the phone's page.
TEST_F(MainScreenTest, OnAPhoneThePageLeavesItsFloatingButtonsReachable) {
  usePhone();
  defaults().setBool(true, "opt_urlbar_scroll");  // no place for it in the phone's page: the bar stays on top
  rereadSettings();
  ASSERT_TRUE(launch());
  ASSERT_TRUE(page(0)->existingWebView());
  EXPECT_FALSE(page(0)->isURLBarInScrollView());
  page(0)->urlField()->tap();
  EXPECT_TRUE(page(0)->urlField()->isFirstResponder());
  page(0)->urlField()->resignFirstResponder();
  loop().advance(0.3);  // the suggestion list goes once the field has shrunk back
  page(0)->btnRotationLock()->tap();
  EXPECT_TRUE(controller()->lockRotation());
  EXPECT_TRUE(page(0)->btnRotationLock()->isSelected());
  page(0)->btnPrivate()->tap();
  EXPECT_TRUE(page(0)->privateMode());
}

// With the address bar scrolling away, all of the bar rides at the page's top.
TEST_F(MainScreenTest, TheScrollingAddressBarKeepsItsFieldsAndButtonsReachable) {
  defaults().setBool(true, "opt_urlbar_scroll");
  rereadSettings();
  ASSERT_TRUE(launch());
  VeskWebView* p = page(0);
  ASSERT_TRUE(p->isURLBarInScrollView());
  p->btnRotationLock()->tap();
  EXPECT_TRUE(controller()->lockRotation());
  const kit::Point back = p->btnPrev()->frameInWindow().center();
  ASSERT_TRUE(p->window());
  kit::View* hit = p->window()->hitTest(back, nullptr);
  ASSERT_TRUE(hit);
  EXPECT_TRUE(hit->isDescendantOfView(p->urlBaseView())) << hit->className();
  p->searchField()->tap();
  EXPECT_TRUE(p->searchField()->isFirstResponder());
  p->searchField()->resignFirstResponder();
  p->urlField()->tap();
  EXPECT_TRUE(p->urlField()->isFirstResponder());
  p->urlField()->resignFirstResponder();
  ASSERT_TRUE(p->isURLBarInScrollView());

  // Scrolled down, the bar has gone up with the page.
  kit::ScrollView* sv = p->existingWebView()->scrollView();
  sv->setContentSize({1024, 3000});
  sv->setContentOffset({0, 200});
  EXPECT_THROW(p->urlField()->tap(), kit::IllegalStateException);
}

// Pictured only while on screen, as the real window does: a tab that was
// shown and loaded keeps its picture once another tab is selected.
TEST_F(MainScreenTest, AShownLoadedTabKeepsItsPictureWhenAnotherIsSelected) {
  kit::ViewRenderer::setRenderer([](kit::View& v) -> kit::Ref<kit::Image> {
    if (!v.window()) return nullptr;
    return kit::Image::imageWithPixels({2, 2}, std::vector<uint8_t>(16, 200));
  });
  struct Restore {
    ~Restore() { kit::ViewRenderer::setRenderer(nullptr); }
  } restore;
  ASSERT_TRUE(launch());  // the welcome page on show, the home page beside it
  web(page(0))->completeLoad();
  tabs()->setCurSel(1);
  loop().advance(10);  // the page's delayed picture comes while it is off screen
  kit::Image* shot = tabs()->tabItems()[0]->screenShotView()->image();
  ASSERT_TRUE(shot);
  EXPECT_TRUE(shot->hasPixels());
}

TEST_F(MainScreenTest, AStoredLockIsAnnouncedAtStart) {
  defaults().setBool(true, "opt_lock_rotation");
  ASSERT_TRUE(launch());
  EXPECT_TRUE(controller()->lockRotation());
  EXPECT_TRUE(page(0)->btnRotationLock()->isSelected());
}

TEST_F(MainScreenTest, FullEstateHidesTheStripOnlyWhenItChanges) {
  ASSERT_TRUE(launch());
  VeskWebViewController* c = controller();
  kit::ViewAnimation::clearHistory();
  c->setFullEstate(0);
  EXPECT_TRUE(kit::ViewAnimation::history().empty());
  c->setFullEstate(VeskWebViewController::kEstateFull);
  EXPECT_TRUE(c->multiTab()->isHidden());
  EXPECT_TRUE(c->multiTabBg()->isHidden());
  EXPECT_EQ(c->contentsHolder()->frame(), c->fullContentsHolder2()->frame());
  ASSERT_FALSE(kit::ViewAnimation::history().empty());
  EXPECT_EQ(kit::ViewAnimation::history().back().name, "fullscreen");
  c->setFullEstate(1);
  EXPECT_FALSE(c->multiTab()->isHidden());
  EXPECT_EQ(c->contentsHolder()->frame(), c->normalContentsHolder()->frame());
}

TEST_F(MainScreenTest, TwoQuickTapsOnNewTabOpenOneTab) {
  ASSERT_TRUE(launch());
  const int start = tabs()->tabCount();
  kit::Button* newTab = controller()->newPageBtn1();
  newTab->tap();
  // The second finger lands on the button while it is still disabled.
  const kit::Point centre = newTab->convertPointToView(newTab->bounds().center(), nullptr);
  EXPECT_EQ(newTab->window()->tap(centre), newTab);
  EXPECT_EQ(tabs()->tabCount(), start + 1);
  EXPECT_EQ(tabs()->curSel(), 1);
  loop().advance(0.3);
  EXPECT_TRUE(newTab->isEnabled());
  newTab->tap();
  EXPECT_EQ(tabs()->tabCount(), start + 2);
  // New tabs go right after the current one.
  EXPECT_EQ(tabs()->curSel(), 2);
}

TEST_F(MainScreenTest, InDualModeATabFromOutsideIsAddedButNotSelected) {
  ASSERT_TRUE(launch());
  controller()->onDualMode(nullptr);
  ASSERT_TRUE(tabs()->isDual());
  controller()->createNewTabWithURL("http://outside.test/");
  ASSERT_EQ(tabs()->tabCount(), 3);
  EXPECT_EQ(tabs()->curSel(), 0);
  EXPECT_EQ(page(1)->location(), "http://outside.test/");
}

TEST_F(MainScreenTest, ClosingTheOnlyTabLeavesAFreshOneAndListsTheClosed) {
  ASSERT_TRUE(launch());
  while (tabs()->tabCount() > 1) controller()->onClosePage();
  misc()->recentlyClosedTabs()->removeAllObjects();
  VeskWebView* first = page(0);
  kit::WeakRef<VeskWebView> gone(first);
  controller()->onClosePage();
  ASSERT_EQ(tabs()->tabCount(), 1);
  EXPECT_NE(page(0), first);
  ASSERT_EQ(misc()->recentlyClosedTabs()->count(), 1u);
  // The closed page lives 10 s more.
  loop().advance(9.9);
  EXPECT_TRUE(gone.lock());
  loop().advance(0.2);
  EXPECT_FALSE(gone.lock());
}

TEST_F(MainScreenTest, ASecondLongPressWaitsForTheRecentlyClosedPopover) {
  ASSERT_TRUE(launch());
  kit::View* button = controller()->newPageBtn1();
  ASSERT_EQ(button->gestureRecognizers().size(), 1u);
  auto* press = dynamic_cast<kit::LongPressGestureRecognizer*>(button->gestureRecognizers()[0].get());
  ASSERT_TRUE(press);
  press->fire({5, 5});
  ASSERT_EQ(kit::PopoverController::visiblePopovers().size(), 1u);
  EXPECT_TRUE(controller()->blockLongPressGesture());
  auto popover = kit::PopoverController::visiblePopovers()[0];
  EXPECT_EQ(popover->popoverContentSize(), (kit::Size{320, 300}));
  press->fire({5, 5});
  EXPECT_EQ(kit::PopoverController::visiblePopovers().size(), 1u);

  popover->tapOutside();
  EXPECT_FALSE(controller()->blockLongPressGesture());
  press->fire({5, 5});
  EXPECT_EQ(kit::PopoverController::visiblePopovers().size(), 1u);

  // Choosing an entry opens it in a new tab.
  auto* list = dynamic_cast<VeskRecentlyClosedTableViewController*>(
      kit::PopoverController::visiblePopovers()[0]->contentViewController());
  ASSERT_TRUE(list);
  misc()->recentlyClosedTabs()->addObject(RecentlyClosedTab::make("Closed", "http://closed.test/"));
  list->tableView()->reloadData();
  EXPECT_TRUE(list->tableView()->tapRow({0, 0}));
  EXPECT_EQ(page(tabs()->curSel())->location(), "http://closed.test/");
}

TEST_F(MainScreenTest, PullingADockSlidesItAndLettingGoOnCancelOpensNothing) {
  ASSERT_TRUE(launch());
  VeskWebViewController* c = controller();
  const std::string shown = lastLoad(tabs()->curView());
  kit::Point before = c->faviDock()->center();
  c->faviDockTip1()->touchDown();
  EXPECT_EQ(c->faviDock()->center().x, before.x - VeskWebViewController::kDockSlide);
  EXPECT_TRUE(c->faviDial()->isUserInteractionEnabled());
  EXPECT_FALSE(c->faviLabelContainer()->isHidden());
  EXPECT_EQ(c->faviLabel()->text(), "Cancel");  // position 0 is the cancel button
  EXPECT_EQ(VeskWebViewController::dialIndex(false), -1);
  EXPECT_TRUE(c->faviDock()->layer()->animationForKey("swipe"));
  c->faviDockTip1()->touchUpInside();
  EXPECT_EQ(c->faviDock()->center(), before);
  EXPECT_FALSE(c->faviDial()->isUserInteractionEnabled());
  EXPECT_TRUE(c->faviLabelContainer()->isHidden());
  EXPECT_EQ(lastLoad(tabs()->curView()), shown);
}

TEST_F(MainScreenTest, HidingAnimatedOnlyWhenTheStateChanges) {
  kit::Ref<kit::View> v = kit::View::view({0, 0, 10, 10});
  UIViewAnimated::setHidden(*v, false, true);
  EXPECT_TRUE(v->layer()->animationKeys().empty());
  UIViewAnimated::setHidden(*v, true, true);
  EXPECT_TRUE(v->isHidden());
  EXPECT_TRUE(v->layer()->animationForKey("opa"));
  ASSERT_TRUE(v->layer()->animationForKey("hid"));
  EXPECT_EQ(v->layer()->animationForKey("hid")->fromValue(), kit::AnimationValue(false));
  EXPECT_EQ(v->layer()->animationForKey("hid")->toValue(), kit::AnimationValue(true));
  UIViewAnimated::setHidden(*v, false, false);
  EXPECT_FALSE(v->isHidden());
}

TEST_F(MainScreenTest, ATransparentToolbarShowsOnlyItsItems) {
  kit::Ref<UITransparentToolBar> bar = kit::make<UITransparentToolBar>(kit::Rect{0, 0, 320, 44});
  bar->awakeFromNib();
  EXPECT_FALSE(bar->isOpaque());
  EXPECT_EQ(bar->backgroundColor(), kit::Color::clearColor());
  EXPECT_TRUE(bar->isTranslucent());
}

TEST_F(MainScreenTest, AMemoryWarningDropsTheFaviconStore) {
  ASSERT_TRUE(launch());
  VeskFaviconDatabase* first = controller()->faviconDb();
  kit::WeakRef<VeskFaviconDatabase> weak(first);
  app()->receiveMemoryWarning();
  EXPECT_FALSE(weak.lock());
  EXPECT_TRUE(controller()->faviconDb());
}

TEST_F(MainScreenTest, SettingsOpenAsAFormSheetAndCloseWithDone) {
  ASSERT_TRUE(launch());
  mainButton("Settings")->tap();
  auto* nav = dynamic_cast<kit::NavigationController*>(controller()->presentedViewController());
  ASSERT_TRUE(nav);
  EXPECT_EQ(nav->modalPresentationStyle(), kit::ViewController::ModalPresentationStyle::FormSheet);
  auto* settings = dynamic_cast<PrefAppSettingsViewController*>(nav->topViewController());
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->nibName(), "PrefAppSettingsView");
  EXPECT_TRUE(settings->showDoneButton());
  settings->dismiss();
  loop().advance(1);
  EXPECT_FALSE(controller()->presentedViewController());
}

TEST_F(MainScreenTest, TheStatusBarHalvesScrollTheirPageToTheTop) {
  ASSERT_TRUE(launch());
  kit::Button* left = controller()->statusBtnLeft();
  kit::Button* right = controller()->statusBtnRight();
  EXPECT_EQ(left->window(), delegate()->window());
  kit::Rect bar = app()->statusBarFrame();
  EXPECT_EQ(left->frame(), kit::Rect(bar.x(), bar.y(), bar.width() / 2, bar.height()));
  EXPECT_EQ(right->frame().x(), bar.width() / 2);
  kit::ScrollView* scroll = page(0)->existingWebView()->scrollView();
  scroll->setContentSize({1024, 5000});
  scroll->setContentOffset({0, 800});
  right->tap();
  EXPECT_EQ(scroll->contentOffset().y, 0);
}

}  // namespace

namespace {

// Distances of a view from the window's four edges.
struct EdgeDistances {
  double left, top, right, bottom, centreX;
};
EdgeDistances edgesOf(const kit::View* v, kit::Size window) {
  kit::Rect r = v->convertRectToView(v->bounds(), nullptr);
  return {r.x(), r.y(), window.width - r.maxX(), window.height - r.maxY(), (r.x() + r.maxX()) / 2 - window.width / 2};
}

// Every control anchored to an edge keeps its distance from that edge when
// the window grows (the interface files' autoresizing).
void expectEdgesKeptWhenTheWindowGrows(VeskWebViewController* c, VeskWebView* p) {
  kit::View* window = c->view()->superview();
  ASSERT_TRUE(window);
  enum Anchor { Left, Right, Bottom, Centre };
  const std::vector<std::pair<const kit::View*, Anchor>> anchored = {
      {c->faviDock(), Right},           {c->faviDock2(), Left},      {c->brightnessDock(), Right},
      {c->trackPad(), Right},           {c->trackPad2(), Left},      {c->infoBox(), Centre},
      {c->faviLabelContainer(), Centre}, {c->multiTabBg(), Bottom}, {p->header_right(), Right},
      {p->btnPrivate(), Right},         {p->btnRotationLock(), Right}, {p->toolBarView2(), Bottom},
      // The phone's full-screen buttons run down the left edge, clear of the right one's.
      {p->btnFullscreenExit(), p->btnFullscreenExit()->frame().x() < 100 ? Left : Right},  {p->title(), Centre},
  };
  auto size = [&] { return window->bounds().size; };
  std::vector<EdgeDistances> before;
  for (const auto& [v, anchor] : anchored) {
    ASSERT_TRUE(v);
    before.push_back(edgesOf(v, size()));
  }
  const double bookmarkRight = size().width - p->bookmarkBtn()->frameInWindow().maxX();
  const kit::Size was = size();
  window->setFrame({0, 0, was.width + 476, was.height + 202});
  EXPECT_EQ(c->view()->frame().width() - was.width, 476) << "the screen follows its window";
  for (size_t i = 0; i < anchored.size(); ++i) {
    const auto& [v, anchor] = anchored[i];
    EdgeDistances now = edgesOf(v, size());
    switch (anchor) {
      case Left: EXPECT_DOUBLE_EQ(now.left, before[i].left) << "view " << i; break;
      case Right: EXPECT_DOUBLE_EQ(now.right, before[i].right) << "view " << i; break;
      case Bottom: EXPECT_DOUBLE_EQ(now.bottom, before[i].bottom) << "view " << i; break;
      case Centre: EXPECT_NEAR(now.centreX, before[i].centreX, 0.5) << "view " << i; break;
    }
  }
  EXPECT_DOUBLE_EQ(size().width - p->bookmarkBtn()->frameInWindow().maxX(), bookmarkRight) << "the bar's last item";
}

TEST_F(MainScreenTest, AGrownWindowKeepsEdgeAnchoredControlsAtTheirEdges) {
  ASSERT_TRUE(launch());
  expectEdgesKeptWhenTheWindowGrows(controller(), page(0));
}

TEST_F(MainScreenTest, AGrownPhoneWindowKeepsEdgeAnchoredControlsAtTheirEdges) {
  usePhone();
  ASSERT_TRUE(launch());
  expectEdgesKeptWhenTheWindowGrows(controller(), page(0));
}

}  // namespace
