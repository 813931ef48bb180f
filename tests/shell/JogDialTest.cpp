// The jog dial's model: which item each button of the ring shows, how the
// ring refills as it turns, how a drag turns it, and the brightness dial.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kit/foundation/Clock.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/RunLoop.h"
#include "kit/ui/Layer.h"
#include "kit/ui/Window.h"
#include "shell/VeskJogDialView.h"
#include "shell/VeskScreenBrightnessJogDialDelegate.h"
#include "data/VeskBookmarkDatabase.h"

using namespace tolva;

namespace {

class FakeDialDelegate : public VeskJogDialViewDelegate {
 public:
  size_t items = 3;
  size_t buttons = 0;
  std::vector<long> positions;
  std::vector<long> asked;

  kit::Ref<kit::Image> VeskJogDialViewCancelImage(VeskJogDialView&) override { return named("cancel"); }
  void VeskJogDialViewCancelled(VeskJogDialView&) override {}
  size_t VeskJogDialViewNumberOfItems(VeskJogDialView&) override { return items; }
  size_t VeskJogDialNumberOfButtonsOnJogdial(VeskJogDialView&) override { return buttons; }
  kit::Ref<kit::Image> VeskJogDialViewImageAtIndex(VeskJogDialView&, long index) override {
    asked.push_back(index);
    return named("item" + std::to_string(index));
  }
  void VeskJogDialViewPositionChanged(VeskJogDialView&, long index) override { positions.push_back(index); }

  static kit::Ref<kit::Image> named(const std::string& name) {
    kit::Ref<kit::Image> image = kit::Image::imageWithSize({16, 16});
    image->setName(name);
    return image;
  }
};

class JogDialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::Clock::setVirtual(700000000.0);
    VeskJogDialView::cancelWarmup();
  }
  void TearDown() override {
    kit::RunLoop::main().advance(1);
    kit::Clock::setReal();
  }

  kit::Ref<VeskJogDialView> makeDial(bool left = false) {
    kit::Ref<VeskJogDialView> dial = kit::make<VeskJogDialView>(kit::Rect(0, 0, 145, 300));
    dial->setDelegate(&delegate);
    dial->setLeftSided(left);
    dial->setCurSel(0);
    delegate.positions.clear();
    delegate.asked.clear();
    return dial;
  }

  // What each button shows ("" for an empty one).
  static std::vector<std::string> ring(VeskJogDialView& dial) {
    std::vector<std::string> out;
    for (auto& b : dial.btnArray()) out.push_back(b->image() ? b->image()->name() : "");
    return out;
  }

  FakeDialDelegate delegate;
};

TEST_F(JogDialTest, ADelegateWithoutAButtonCountGetsARingOfNine) {
  kit::Ref<VeskJogDialView> dial = makeDial();
  EXPECT_EQ(dial->btnCount(), 9);
  EXPECT_EQ(dial->btnArray().size(), 9u);
  delegate.buttons = 12;
  EXPECT_EQ(dial->btnCount(), 12);
  dial->setBtnCount(1);
  EXPECT_EQ(dial->btnCount(), 1);
  dial->setBtnCount(0);
  delegate.buttons = 1;
  EXPECT_EQ(dial->btnCount(), 1);
  dial->setDelegate(nullptr);
  dial->setBtnCount(0);
  EXPECT_EQ(dial->btnCount(), 9);
  EXPECT_EQ(dial->itemCount(), 1);  // only the cancel button
}

TEST_F(JogDialTest, ThreeItemsFillTheFirstButtonsAfterTheCancelButton) {
  kit::Ref<VeskJogDialView> dial = makeDial();
  EXPECT_EQ(dial->itemCount(), 4);
  EXPECT_EQ(ring(*dial), (std::vector<std::string>{"cancel", "item0", "item1", "item2", "", "", "", "", ""}));
  dial->setCurSel(3);  // a jump: the ring is built afresh and filled the same way
  EXPECT_EQ(ring(*dial), (std::vector<std::string>{"cancel", "item0", "item1", "item2", "", "", "", "", ""}));
  EXPECT_EQ(delegate.positions, (std::vector<long>{2}));

  dial->setHasCancelBtn(false);
  dial->setBtnArray({});
  dial->setCurSel(0);
  EXPECT_EQ(ring(*dial), (std::vector<std::string>{"item0", "item1", "item2", "", "", "", "", "", ""}));
  EXPECT_EQ(delegate.positions.back(), 0);
}

TEST_F(JogDialTest, MoreItemsThanButtonsShowAWindowThatWrapsAndRefillsAsItTurns) {
  delegate.items = 20;  // 21 positions with the cancel button
  kit::Ref<VeskJogDialView> dial = makeDial();
  // Ahead of position 0: items 0..4; behind it, wrapped from the end.
  EXPECT_EQ(ring(*dial), (std::vector<std::string>{"cancel", "item0", "item1", "item2", "item3", "item16", "item17",
                                                   "item18", "item19"}));
  std::vector<kit::Ref<kit::ImageView>> before = dial->btnArray();
  dial->setCurSel(1);
  EXPECT_EQ(dial->btnArray(), before);  // one step keeps the buttons
  EXPECT_EQ(delegate.asked, (std::vector<long>{4}));  // only the button that came round
  EXPECT_EQ(ring(*dial)[5], "item4");
  delegate.asked.clear();
  dial->setCurSel(0);
  EXPECT_EQ(delegate.asked, (std::vector<long>{16}));
  EXPECT_EQ(ring(*dial)[5], "item16");

  // Walking all the way round keeps every button on the item the fill map gives.
  for (int p = 1; p <= 20; ++p) dial->setCurSel(p);
  EXPECT_EQ(dial->curSel(), 20);
  EXPECT_EQ(dial->btnArray(), before);
  std::vector<std::string> at20 = ring(*dial);
  for (int k = -4; k <= 4; ++k) {
    int item = ((20 + k) % 21 + 21) % 21;
    EXPECT_EQ(at20[((20 + k) % 9 + 9) % 9], item == 0 ? "cancel" : "item" + std::to_string(item - 1)) << k;
  }
  dial->setCurSel(21);  // past the end: ignored, no wrap
  EXPECT_EQ(dial->curSel(), 20);
}

TEST_F(JogDialTest, AJumpOfTwoRebuildsTheRingAndPositionsOutsideAreIgnored) {
  delegate.items = 20;
  kit::Ref<VeskJogDialView> dial = makeDial();
  std::vector<kit::Ref<kit::ImageView>> before = dial->btnArray();
  dial->setCurSel(-1);
  dial->setCurSel(21);
  EXPECT_EQ(dial->curSel(), 0);
  EXPECT_TRUE(delegate.positions.empty());
  dial->setCurSel(2);
  EXPECT_NE(dial->btnArray().front(), before.front());
  for (auto& old : before) EXPECT_EQ(old->superview(), nullptr);
  EXPECT_EQ(delegate.positions, (std::vector<long>{1}));
}

TEST_F(JogDialTest, TheDiscTurnsToTheSelectionWithAShortAnimation) {
  kit::Ref<VeskJogDialView> dial = makeDial();
  dial->setCurSel(2);
  const double angle = -2 * VeskJogDialView::kPi * 2 / 9;
  EXPECT_NEAR(dial->turn(), angle, 1e-9);
  kit::AffineTransform want = kit::AffineTransform::rotation(angle);
  EXPECT_NEAR(dial->jogBg()->transform().a, want.a, 1e-9);
  EXPECT_NEAR(dial->jogBg()->transform().b, want.b, 1e-9);
  kit::Animation* rotate = dial->jogBg()->layer()->animationForKey("rotate");
  ASSERT_TRUE(rotate);
  EXPECT_EQ(rotate->keyPath(), "transform");
  EXPECT_DOUBLE_EQ(rotate->duration(), 0.05);
  EXPECT_EQ(rotate->timingFunction(), kit::TimingFunction::EaseInEaseOut);
  EXPECT_NEAR(std::get<double>(rotate->toValue()), angle, 1e-9);
}

TEST_F(JogDialTest, TheDiscIsASquareCentredOnTheLongerSideWithTheRingAroundIt) {
  kit::Ref<VeskJogDialView> dial = makeDial();
  EXPECT_EQ(dial->jogBg()->frame(), kit::Rect(0, 77.5, 145, 145));
  // Button 0 sits at the select angle (pi: the left of the disc).
  const double h = 72, radius = h - VeskJogDialView::kRingInset;
  kit::Point c0 = dial->btnArray()[0]->center();
  EXPECT_NEAR(c0.x, h - radius, 1e-3);
  EXPECT_NEAR(c0.y, h, 1e-3);
  EXPECT_EQ(dial->btnArray()[0]->bounds().size, kit::Size(22.627, 22.627));

  kit::Ref<VeskJogDialView> wide = kit::make<VeskJogDialView>(kit::Rect(0, 0, 300, 100));
  EXPECT_EQ(wide->jogBg()->frame(), kit::Rect(100, 0, 100, 100));

  // A left-sided dial turns each button half a turn more.
  kit::Ref<VeskJogDialView> left = makeDial(true);
  EXPECT_DOUBLE_EQ(left->selectRadius(), VeskJogDialView::kPi);
  kit::AffineTransform r = left->btnArray()[0]->transform();
  EXPECT_NEAR(r.a, 1, 1e-6);  // pi + pi
  EXPECT_NEAR(dial->btnArray()[0]->transform().a, -1, 1e-6);
}

TEST_F(JogDialTest, ADialMadeBeforeItsFrameBuildsItsDiscForItsSize) {
  kit::Ref<VeskJogDialView> dial = kit::make<VeskJogDialView>();
  dial->setDelegate(&delegate);
  dial->setCurSel(0);
  dial->setFrame(kit::Rect(0, 0, 145, 300));
  dial->layoutIfNeeded();
  EXPECT_EQ(dial->jogBg()->frame().size, kit::Size(145, 145));
  EXPECT_EQ(ring(*dial)[1], "item0");
}

TEST_F(JogDialTest, ChangingSidesRebuildsTheRingAndSelectsTheStart) {
  kit::Ref<VeskJogDialView> dial = makeDial();
  dial->setCurSel(1);
  kit::Ref<kit::ImageView> disc(dial->jogBg());
  dial->setLeftSided(true);
  EXPECT_TRUE(dial->leftSided());
  EXPECT_EQ(dial->curSel(), 0);
  EXPECT_NE(dial->jogBg(), disc.get());
  EXPECT_EQ(disc->superview(), nullptr);
  EXPECT_EQ(delegate.positions, (std::vector<long>{0, -1}));
  delegate.positions.clear();
  dial->setLeftSided(true);  // no change: nothing happens
  EXPECT_TRUE(delegate.positions.empty());
}

// A drag over a dial: the finger goes down at `from` and moves by each step.
struct Drag {
  bool left;
  kit::Point from;
  kit::Point step;
  int moves;
  int expected;  // the selection after the drag, starting at 4
};

TEST_F(JogDialTest, ADragTurnsOneStepPerSeventeenPointsInTheDirectionOfItsSide) {
  delegate.items = 8;
  const Drag drags[] = {
      // Right-sided, vertical: down on the left half turns forward, on the right half back.
      {false, {20, 100}, {0, 17}, 3, 7},
      {false, {120, 100}, {0, 17}, 3, 1},
      {false, {20, 200}, {0, -17}, 2, 2},
      // Right-sided, horizontal: rightwards in the top half turns back, in the bottom half forward.
      {false, {20, 60}, {17, 0}, 1, 3},
      {false, {20, 250}, {17, 0}, 1, 5},
      // Left-sided mirrors it.
      {true, {20, 100}, {0, 17}, 1, 5},
      {true, {120, 100}, {0, 17}, 1, 3},
      {true, {20, 60}, {17, 0}, 1, 3},
      {true, {20, 250}, {-17, 0}, 1, 3},
      // 16 points do nothing, however often.
      {false, {20, 100}, {0, 16}, 1, 4},
  };
  for (const Drag& d : drags) {
    kit::Ref<kit::Window> window = kit::Window::window(kit::Rect(0, 0, 400, 400));
    kit::Ref<VeskJogDialView> dial = makeDial(d.left);
    window->addSubview(dial.get());
    window->setHidden(false);
    dial->setCurSel(4);
    window->touchBegin(d.from);
    kit::Point at = d.from;
    for (int i = 0; i < d.moves; ++i) {
      at = at + d.step;
      window->touchMove(at);
    }
    window->touchEnd(at);
    EXPECT_EQ(dial->curSel(), d.expected) << (d.left ? "left " : "right ") << d.from.x << "," << d.from.y;
    window->setHidden(true);
  }
}

TEST_F(JogDialTest, SmallMovesAddUpFromTheLastStepAndTheEndsDoNotWrap) {
  kit::Ref<kit::Window> window = kit::Window::window(kit::Rect(0, 0, 400, 400));
  kit::Ref<VeskJogDialView> dial = makeDial();
  window->addSubview(dial.get());
  window->setHidden(false);
  window->touchBegin({20, 100});
  window->touchMove({20, 110});
  window->touchMove({20, 116});
  EXPECT_EQ(dial->curSel(), 0);
  window->touchMove({20, 117});  // 17 from where the finger went down
  EXPECT_EQ(dial->curSel(), 1);
  window->touchMove({20, 133});  // 16 from the last step
  EXPECT_EQ(dial->curSel(), 1);
  window->touchEnd({20, 133});
  EXPECT_EQ(delegate.positions, (std::vector<long>{0}));

  dial->setCurSel(0);
  window->touchBegin({20, 200});
  window->touchMove({20, 150});  // towards lower positions at 0
  EXPECT_EQ(dial->curSel(), 0);
  window->touchEnd({20, 150});
  window->setHidden(true);
}

TEST_F(JogDialTest, FewerBookmarksKeepTheSelectionInsideAndRefillTheRing) {
  kit::NotificationCenter& center = kit::NotificationCenter::defaultCenter();
  delegate.items = 10;
  kit::Ref<VeskJogDialView> dial = makeDial();
  dial->setCurSel(1);
  dial->setCurSel(2);
  dial->setCurSel(3);
  delegate.items = 2;
  delegate.positions.clear();
  center.postNotification(kVeskBookmarkDatabaseUpdateNotification, VeskBookmarkDatabase::getSharedInstance());
  EXPECT_EQ(dial->curSel(), 2);
  EXPECT_EQ(delegate.positions, (std::vector<long>{1}));
  EXPECT_EQ(ring(*dial), (std::vector<std::string>{"cancel", "item0", "item1", "", "", "", "", "", ""}));

  // Set up again from its interface file, the dial still hears each change once.
  dial->awakeFromNib();
  delegate.positions.clear();
  center.postNotification(kVeskBookmarkDatabaseUpdateNotification, VeskBookmarkDatabase::getSharedInstance());
  EXPECT_EQ(delegate.positions.size(), 1u);
  dial->setCurSel(2);

  // Same count, new icons: every button is asked again.
  delegate.asked.clear();
  dial->bookmarkUpdated();
  EXPECT_EQ(delegate.asked, (std::vector<long>{0, 1}));
  // A post from another object is not the store's.
  delegate.items = 0;
  center.postNotification(kVeskBookmarkDatabaseUpdateNotification, nullptr);
  EXPECT_EQ(dial->curSel(), 2);
  dial->bookmarkUpdated();
  EXPECT_EQ(dial->curSel(), 0);
}

TEST_F(JogDialTest, TheBrightnessDialDimsByTenthsAndClearsAtItsFirstItem) {
  kit::Ref<kit::View> overlay = kit::View::view(kit::Rect(0, 0, 100, 100));
  overlay->setHidden(true);
  kit::Ref<VeskScreenBrightnessJogDialDelegate> brightness = kit::make<VeskScreenBrightnessJogDialDelegate>();
  brightness->setOverlay(overlay.get());
  kit::Ref<VeskJogDialView> dial = kit::make<VeskJogDialView>(kit::Rect(0, 0, 145, 140));
  dial->setDelegate(brightness.get());
  EXPECT_EQ(dial->btnCount(), 32);
  EXPECT_EQ(dial->itemCount(), 9);
  dial->setCurSel(0);
  for (auto& b : dial->btnArray()) EXPECT_FALSE(b->image());
  EXPECT_FALSE(overlay->isHidden());  // the cancel position: shown, but clear
  EXPECT_DOUBLE_EQ(overlay->alpha(), 0);
  dial->setCurSel(1);
  EXPECT_TRUE(overlay->isHidden());
  for (int p = 2; p <= 4; ++p) dial->setCurSel(p);
  EXPECT_FALSE(overlay->isHidden());
  EXPECT_DOUBLE_EQ(overlay->alpha(), 0.3);
  for (int p = 5; p <= 9; ++p) dial->setCurSel(p);
  EXPECT_EQ(dial->curSel(), 8);
  EXPECT_DOUBLE_EQ(overlay->alpha(), 0.7);
}

}  // namespace
