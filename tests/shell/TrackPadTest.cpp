// The trackpad on the main screen: how far the finger is off gives the
// speed, the timer scrolls the page and hands moves past its ends to the
// page's own scrolling elements, a double tap runs the configured action
// and a double tap with a drag moves the pad and remembers where.

#include <cmath>
#include <limits>

#include "kit/foundation/Format.h"
#include "kit/foundation/Number.h"
#include "kit/ui/Layer.h"
#include "kit/ui/ScrollView.h"
#include "ShellTest.h"

using namespace tolva;

namespace {

class TrackPadTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    defaults().setInteger(5, "ana_remind_counter");  // no review prompt
    ASSERT_TRUE(launch());
    pad = controller()->trackPad();
    ASSERT_EQ(pad->veskView(), tabs()->curView());
    scroll = VeskWebView::retrieveScrollView(tabs()->curView()->webView());
    ASSERT_TRUE(scroll);
    scroll->setContentSize({scroll->bounds().width(), 5000});
    scroll->setContentOffset({0, 1000});
    web()->clearEvaluatedScripts();
  }

  kit::HeadlessWebView* web() const { return shelltest::ShellTest::web(tabs()->curView()); }
  kit::Window* window() const { return controller()->view()->window(); }
  // A point of the pad (its own coordinates) in the window.
  kit::Point at(kit::Point inPad) const { return pad->convertPointToView(inPad, nullptr); }
  kit::Point middle() const { return {pad->bounds().width() / 2, pad->bounds().height() / 2}; }
  kit::Point off(double dx, double dy) const { return at(middle() + kit::Point{dx, dy}); }

  void press(int taps = 1) { ASSERT_EQ(window()->touchBegin(off(0, 0), taps), pad); }
  void tick(int n = 1) {
    for (int i = 0; i < n; ++i) loop().advance(VeskTrackPadView::kTimerInterval);
  }
  size_t handedOver(double x, double y) const {
    return web()->evaluatedCount(kit::format("scrollScrollElementIdAtPoint(%f,%f);", x, y));
  }

  VeskTrackPadView* pad = nullptr;
  kit::ScrollView* scroll = nullptr;
};

TEST_F(TrackPadTest, TheSpeedGrowsWithTheSquareOfTheDistance) {
  struct Case {
    double dy;
    double perTick;
  } cases[] = {{7, 0}, {10, 2}, {50, 50}, {-10, -2}, {-50, -50}, {30, 18}};
  for (const Case& c : cases) {
    scroll->setContentOffset({0, 1000});
    press();
    window()->touchMove(off(0, c.dy));
    tick();
    EXPECT_EQ(scroll->contentOffset().y, 1000 + c.perTick) << c.dy;
    tick();
    EXPECT_EQ(scroll->contentOffset().y, 1000 + 2 * c.perTick) << c.dy;
    window()->touchEnd(off(0, c.dy));
  }
}

TEST_F(TrackPadTest, SidewaysGoesAtATenthUntilSixVerticalMovesLockIt) {
  scroll->setContentSize({3000, 5000});
  scroll->setContentOffset({500, 1000});
  press();
  window()->touchMove(off(50, 10));  // 50 and 2 points a tick
  tick();
  EXPECT_EQ(scroll->contentOffset(), (kit::Point{505, 1002}));
  for (int i = 0; i < 5; ++i) window()->touchMove(off(0, 20 + i));
  EXPECT_EQ(pad->gDirectionLocked(), 0);
  window()->touchMove(off(0, 30));  // the sixth in a row
  EXPECT_EQ(pad->gDirectionLocked(), 1);
  window()->touchMove(off(50, 30));  // sideways again: still locked
  const kit::Point before = scroll->contentOffset();
  tick();
  EXPECT_EQ(scroll->contentOffset(), (kit::Point{before.x, before.y + 18}));
  window()->touchEnd(off(50, 30));
  EXPECT_EQ(pad->gDirectionLocked(), 0);
  EXPECT_EQ(pad->gScrollX(), 0);
  EXPECT_EQ(pad->gScrollY(), 0);

  // A sideways move between vertical ones starts the count again.
  press();
  for (int i = 0; i < 5; ++i) window()->touchMove(off(0, 20 + i));
  window()->touchMove(off(20, 0));
  window()->touchMove(off(0, 20));
  EXPECT_EQ(pad->gDirectionLocked(), 0);
  window()->touchEnd(off(0, 20));
}

TEST_F(TrackPadTest, EveryTickHandsTheVerticalSpeedToThePageAndTwiceAtTheBottom) {
  press();
  window()->touchMove(off(0, 20));  // 8 points a tick
  tick(3);
  EXPECT_EQ(handedOver(0, 8), 3u);
  scroll->setContentOffset({0, 5000 - scroll->bounds().height() - 4});
  web()->clearEvaluatedScripts();
  tick();
  EXPECT_EQ(scroll->contentOffset().y, 5000 - scroll->bounds().height());  // held at the end
  EXPECT_EQ(handedOver(0, 8), 2u);
  window()->touchEnd(off(0, 20));

  // Upwards at the top: held at the top, handed over once.
  scroll->setContentOffset({0, 3});
  web()->clearEvaluatedScripts();
  press();
  window()->touchMove(off(0, -20));
  tick();
  EXPECT_EQ(scroll->contentOffset().y, 0);
  EXPECT_EQ(handedOver(0, -8), 1u);
  // Left at the left edge: the sideways speed goes to the page too.
  window()->touchMove(off(-40, 0));  // -32: three points a tick sideways
  tick();
  EXPECT_EQ(scroll->contentOffset().x, 0);
  EXPECT_EQ(handedOver(-32, 0), 1u);
  window()->touchEnd(off(-40, 0));
}

TEST_F(TrackPadTest, AShortPageIsNeverScrolledOffItsStart) {
  scroll->setContentSize({10, 10});
  scroll->setContentOffset({0, 0});
  press();
  window()->touchMove(off(40, 40));
  tick(2);
  EXPECT_EQ(scroll->contentOffset(), (kit::Point{0, 0}));
  window()->touchEnd(off(40, 40));
}

TEST_F(TrackPadTest, TheBallFollowsTheFingerButStaysOnThePad) {
  press();
  EXPECT_DOUBLE_EQ(pad->trackBg()->alpha(), VeskTrackPadView::kTouchedAlpha);
  window()->touchMove(off(10, -5));
  EXPECT_EQ(pad->trackBall()->center(), (middle() + kit::Point{10, -5}));
  const double r = pad->trackBg()->bounds().height() / 2;
  window()->touchMove(off(3 * r, 4 * r));  // far off: on the rim towards the finger
  EXPECT_NEAR(pad->trackBall()->center().x, middle().x + 0.6 * r, 1e-9);
  EXPECT_NEAR(pad->trackBall()->center().y, middle().y + 0.8 * r, 1e-9);
  // The speed still comes from the finger itself.
  EXPECT_EQ(pad->gScrollY(), static_cast<int>(4 * r) * static_cast<int>(4 * r) / 50);
  window()->touchEnd(off(3 * r, 4 * r));
  EXPECT_EQ(pad->trackBall()->center(), middle());
  kit::Animation* comeback = pad->trackBall()->layer()->animationForKey("comeback");
  ASSERT_TRUE(comeback);
  EXPECT_EQ(comeback->keyPath(), "position");
  EXPECT_DOUBLE_EQ(comeback->duration(), 0.2);
  EXPECT_EQ(comeback->timingFunction(), kit::TimingFunction::EaseInEaseOut);
  EXPECT_DOUBLE_EQ(pad->trackBg()->alpha(), VeskTrackPadView::kIdleAlpha);
}

TEST_F(TrackPadTest, TheTimerRunsOnlyWhileAFingerIsDownOnAShownPadWithAPage) {
  press();
  EXPECT_FALSE(pad->timer());
  window()->touchMove(off(0, 20));
  ASSERT_TRUE(pad->timer());
  kit::Ref<kit::Timer> timer(pad->timer());
  window()->touchEnd(off(0, 20));
  EXPECT_FALSE(pad->timer());
  EXPECT_FALSE(timer->isValid());

  press();
  window()->touchMove(off(0, 20));
  timer = pad->timer();
  pad->setHidden(true);
  EXPECT_FALSE(timer->isValid());
  const double y = scroll->contentOffset().y;
  tick(2);
  EXPECT_EQ(scroll->contentOffset().y, y);
  window()->touchEnd(off(0, 20));
  pad->setHidden(false);

  press();
  window()->touchMove(off(0, 20));
  timer = pad->timer();
  pad->setVeskView(nullptr);
  EXPECT_FALSE(timer->isValid());
  window()->touchEnd(off(0, 20));
}

TEST_F(TrackPadTest, APadWhosePageClosesStopsScrolling) {
  kit::Ref<VeskTrackPadView> lone = kit::make<VeskTrackPadView>(kit::Rect(0, 0, 100, 100));
  kit::Ref<kit::Window> w = kit::Window::window(kit::Rect(0, 0, 300, 300));
  w->addSubview(lone.get());
  w->setHidden(false);
  {
    kit::Ref<VeskWebView> page = VeskWebView::allocInstance(kit::Rect(0, 0, 300, 300), nullptr);
    lone->setVeskView(page.get());
    w->touchBegin({50, 50});
    w->touchMove({50, 80});
    ASSERT_TRUE(lone->timer());
  }
  // The page view is gone: the next tick finds none and stops.
  kit::Ref<kit::Timer> timer(lone->timer());
  tick();
  EXPECT_FALSE(timer->isValid());
  EXPECT_FALSE(lone->veskView());
  w->touchEnd({50, 80});
  w->setHidden(true);
}

// A touch cut short (the pad loses its page, is hidden or leaves the window)
// ends as a lifted one does: ball home, nothing left on show, a move kept.
TEST_F(TrackPadTest, ATouchCutShortByThePageTheHidingOrTheWindowStillEnds) {
  VeskWebView* page = tabs()->curView();
  auto scrolling = [&] {
    press();
    window()->touchMove(off(30, 30));
    ASSERT_NE(pad->trackBall()->center(), middle());
    ASSERT_FALSE(page->customScrollIndicator()->isHidden());
  };
  auto expectEnded = [&](const char* how) {
    EXPECT_EQ(pad->trackBall()->center(), middle()) << how;
    EXPECT_TRUE(page->customScrollIndicator()->isHidden()) << how;
    EXPECT_TRUE(pad->trackBgMove()->isHidden()) << how;
    EXPECT_FALSE(pad->timer()) << how;
    EXPECT_DOUBLE_EQ(pad->trackBg()->alpha(), VeskTrackPadView::kIdleAlpha) << how;
  };
  scrolling();
  pad->setVeskView(nullptr);
  expectEnded("page taken away");
  window()->touchEnd();
  pad->setVeskView(page);

  scrolling();
  pad->setHidden(true);
  expectEnded("hidden");
  window()->touchEnd();
  pad->setHidden(false);

  press(2);
  window()->touchMove(off(-40, -40));
  ASSERT_FALSE(pad->trackBgMove()->isHidden());
  kit::Ref<VeskTrackPadView> keep(pad);
  kit::View* parent = pad->superview();
  pad->removeFromSuperview();
  expectEnded("out of the window");
  EXPECT_TRUE(defaults().exists("opt_trackpad_positionRatio1x"));
  window()->touchEnd();
  parent->addSubview(pad);
}

TEST_F(TrackPadTest, ADoubleTapThatStaysPutRunsTheConfiguredAction) {
  defaults().setInteger(22, "opt_double_tab_scroll2");  // new tab
  rereadSettings();
  const int tabsBefore = tabs()->tabCount();
  press(2);
  window()->touchEnd(off(4, -4));
  EXPECT_EQ(tabs()->tabCount(), tabsBefore);  // queued, not run at once
  loop().drain();
  EXPECT_EQ(tabs()->tabCount(), tabsBefore + 1);

  // Drifting five points, or a single tap, runs nothing.
  press(2);
  window()->touchEnd(off(5, 0));
  press(1);
  window()->touchEnd(off(0, 0));
  loop().drain();
  EXPECT_EQ(tabs()->tabCount(), tabsBefore + 1);
}

TEST_F(TrackPadTest, ADoubleTapAndDragMovesThePadInsideThePageAndRemembersIt) {
  kit::View* page = tabs()->curView()->webView();
  const kit::Rect area = page->convertRectToView(page->bounds(), pad->superview());
  const kit::Point start = pad->frame().origin;
  press(2);
  window()->touchMove(off(-100, -50));
  EXPECT_FALSE(pad->trackBgMove()->isHidden());
  EXPECT_EQ(pad->frame().origin, (start + kit::Point{-100, -50}));
  EXPECT_FALSE(pad->timer());  // moving the pad never scrolls
  window()->touchMove(off(-5000, -5000));  // far beyond the page's corner
  EXPECT_EQ(pad->frame().origin, area.origin);
  EXPECT_EQ(pad->autoresizingMask(), unsigned(kit::View::FlexibleRightMargin | kit::View::FlexibleBottomMargin));
  window()->touchEnd(off(-5000, -5000));
  EXPECT_TRUE(pad->trackBgMove()->isHidden());
  EXPECT_EQ(pad->positionRatio(), (kit::Point{0, 0}));
  EXPECT_TRUE(defaults().exists("opt_trackpad_positionRatio1x"));
  EXPECT_EQ(defaults().floatForKey("opt_trackpad_positionRatio1y"), 0.0f);

  // To the far corner: the ratio leaves room for the pad.
  press(2);
  window()->touchMove(off(5000, 5000));
  window()->touchEnd(off(5000, 5000));
  const kit::Size s = pad->frame().size;
  EXPECT_EQ(pad->frame().origin, (kit::Point{area.maxX() - s.width, area.maxY() - s.height}));
  EXPECT_FLOAT_EQ(defaults().floatForKey("opt_trackpad_positionRatio1x"),
                  static_cast<float>((area.width() - s.width) / area.width()));
  EXPECT_EQ(pad->autoresizingMask(), unsigned(kit::View::FlexibleLeftMargin | kit::View::FlexibleTopMargin));
  EXPECT_FALSE(defaults().exists("opt_trackpad_positionRatio2x"));

  // Centred just inside the top third and the left third.
  pad->moveTrackpad({area.x() + area.width() * 0.3 - s.width / 2, area.y() + area.height() * 0.3 - s.height / 2});
  EXPECT_EQ(pad->autoresizingMask(), unsigned(kit::View::FlexibleRightMargin | kit::View::FlexibleBottomMargin));
  // The middle third keeps both margins flexible.
  pad->moveTrackpad({area.midX() - s.width / 2, area.midY() - s.height / 2});
  EXPECT_EQ(pad->autoresizingMask(), unsigned(kit::View::FlexibleLeftMargin | kit::View::FlexibleRightMargin |
                                              kit::View::FlexibleTopMargin | kit::View::FlexibleBottomMargin));
}

TEST_F(TrackPadTest, WithoutAPageThePadStillMovesAndSavesUnderItsOwnTag) {
  VeskTrackPadView* left = controller()->trackPad2();
  left->setHidden(false);
  left->setVeskView(nullptr);
  pad = left;
  const kit::Point start = pad->frame().origin;
  press(2);
  window()->touchMove(off(30, -20));
  window()->touchEnd(off(30, -20));
  EXPECT_EQ(pad->frame().origin, (start + kit::Point{30, -20}));
  const kit::Size area = pad->superview()->bounds().size;
  EXPECT_FLOAT_EQ(defaults().floatForKey("opt_trackpad_positionRatio2x"), static_cast<float>((start.x + 30) / area.width));
  EXPECT_FALSE(defaults().exists("opt_trackpad_positionRatio1x"));

  // Touching it scrolls nothing and runs no action, but does not fail.
  press(1);
  window()->touchMove(off(0, 30));
  tick(2);
  window()->touchEnd(off(0, 30));
  EXPECT_EQ(scroll->contentOffset().y, 1000);
}

TEST_F(TrackPadTest, StoredRatiosThatMakeNoSenseAreIgnored) {
  const kit::Point start = pad->frame().origin;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (kit::Point bad : {kit::Point{nan, 0.5}, kit::Point{0.5, INFINITY}, kit::Point{-0.1, 0.5}, kit::Point{0.5, 1.5}}) {
    pad->setPositionRatio(bad);
    EXPECT_EQ(pad->frame().origin, start);
  }
  EXPECT_FALSE(pad->bPostionRatioValid());
  pad->recoverWhenItsOutsideUsingRatio();  // no ratio: stays
  EXPECT_EQ(pad->frame().origin, start);

  pad->setPositionRatio({0.5, 0.25});
  EXPECT_TRUE(pad->bPostionRatioValid());
  kit::View* page = tabs()->curView()->webView();
  const kit::Size size = page->bounds().size;
  EXPECT_EQ(pad->frame().origin, page->convertPointToView({size.width * 0.5, size.height * 0.25}, pad->superview()));
  // Pushed out of the page: brought back to the ratio; inside: left alone.
  pad->setFrame(pad->frame().offsetBy(5000, 0));
  pad->recoverWhenItsOutsideUsingRatio();
  EXPECT_EQ(pad->frame().origin, page->convertPointToView({size.width * 0.5, size.height * 0.25}, pad->superview()));
  pad->setFrame(pad->frame().offsetBy(-10, 0));
  const kit::Point moved = pad->frame().origin;
  pad->recoverWhenItsOutsideUsingRatio();
  EXPECT_EQ(pad->frame().origin, moved);
}

TEST_F(TrackPadTest, APadInAScrollViewHoldsItStillOnlyWhileTouched) {
  kit::Ref<kit::Window> w = kit::Window::window(kit::Rect(0, 0, 300, 300));
  kit::Ref<kit::ScrollView> holder = kit::make<kit::ScrollView>(kit::Rect(0, 0, 300, 300));
  kit::Ref<VeskTrackPadView> lone = kit::make<VeskTrackPadView>(kit::Rect(100, 100, 100, 100));
  holder->addSubview(lone.get());
  w->addSubview(holder.get());
  w->setHidden(false);
  w->touchBegin({150, 150});
  EXPECT_FALSE(holder->isScrollEnabled());
  w->touchMove({150, 170});
  w->touchEnd({150, 170});
  EXPECT_TRUE(holder->isScrollEnabled());
  w->touchBegin({150, 150});
  w->touchCancel();
  EXPECT_TRUE(holder->isScrollEnabled());
  w->setHidden(true);
}

TEST_F(TrackPadTest, AnEmptyReferenceViewLeavesTheRatioAlone) {
  kit::Ref<kit::View> holder = kit::View::view(kit::Rect(0, 0, 0, 0));
  kit::Ref<VeskTrackPadView> lone = kit::make<VeskTrackPadView>(kit::Rect(0, 0, 50, 50));
  holder->addSubview(lone.get());
  lone->moveTrackpad({10, 10});
  EXPECT_FALSE(lone->bPostionRatioValid());
  EXPECT_TRUE(std::isfinite(lone->frame().origin.x));
  lone->setPositionRatio({0.5, 0.5});
  EXPECT_EQ(lone->frame().origin, (kit::Point{0, 0}));
  EXPECT_DOUBLE_EQ(VeskTrackPadView::distanceBetween({0, 0}, {3, 4}), 5);
}

}  // namespace
