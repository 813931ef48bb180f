// The dials as the main screen uses them: pulled out by their tabs, turned
// by the same finger, the brightness dial dimming the window and the
// bookmark dials picking a bookmark of the root folder.

#include <cstdlib>

#include "kit/ui/ImageView.h"
#include "ShellTest.h"

using namespace tolva;

namespace {

class DialsOnMainScreenTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    defaults().setInteger(5, "ana_remind_counter");  // no review prompt
    ASSERT_TRUE(launch());
  }

  kit::Window* window() const { return controller()->view()->window(); }
  static kit::Point middleOf(kit::View* v) {
    return v->convertPointToView({v->bounds().width() / 2, v->bounds().height() / 2}, nullptr);
  }
  // Presses the tab and drags by `steps` x 17 points: the dock slides out
  // under the finger, which then lies on the dial's outer half, where
  // dragging up turns forward and down turns back.
  void pull(kit::View* tip, int steps) {
    kit::Point p = middleOf(tip);
    ASSERT_EQ(window()->touchBegin(p), tip);
    for (int i = 0; i < std::abs(steps); ++i) {
      p.y += steps > 0 ? -VeskJogDialView::kStepDistance : VeskJogDialView::kStepDistance;
      window()->touchMove(p);
    }
    window()->touchEnd(p);
  }
};

TEST_F(DialsOnMainScreenTest, DialsPadsAndTabsShowOurOwnPictures) {
  VeskWebViewController* c = controller();
  for (VeskJogDialView* dial : {c->faviDial(), c->faviDial2(), c->brightnessDial()}) {
    kit::Image* disc = dial->jogBg()->image();
    ASSERT_TRUE(disc);
    EXPECT_TRUE(disc->hasPixels());
    EXPECT_EQ(disc->name(), "jogdial_bg");
    // The disc fills the smaller side of its dial.
    EXPECT_EQ(dial->jogBg()->frame().width(), std::min(dial->bounds().width(), dial->bounds().height()));
  }
  for (VeskTrackPadView* pad : {c->trackPad(), c->trackPad2()}) {
    for (kit::ImageView* part : {pad->trackBg(), pad->trackBall(), pad->trackBgMove()}) {
      ASSERT_TRUE(part && part->image());
      EXPECT_TRUE(part->image()->hasPixels());
      EXPECT_EQ(part->superview(), pad);
    }
    EXPECT_TRUE(pad->trackBgMove()->isHidden());
    EXPECT_EQ(pad->trackBall()->center(), (kit::Point{pad->bounds().width() / 2, pad->bounds().height() / 2}));
  }
  for (kit::Button* tip : {static_cast<kit::Button*>(c->faviDockTip1()), static_cast<kit::Button*>(c->faviDockTip2()),
                           static_cast<kit::Button*>(c->brightnessDockTip())}) {
    kit::Image* image = tip->currentImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), tip->bounds().size);  // drawn at twice the size in points
  }
}

TEST_F(DialsOnMainScreenTest, TheBrightnessDialDimsTheWindowWithoutTakingItsInput) {
  VeskWebViewController* c = controller();
  kit::View* overlay = c->overlay();
  EXPECT_EQ(c->brightnessDial()->btnCount(), 32);
  pull(c->brightnessDockTip(), 4);  // from the cancel position to the fourth item
  EXPECT_EQ(c->brightnessDial()->curSel(), 4);
  EXPECT_FALSE(overlay->isHidden());
  EXPECT_DOUBLE_EQ(overlay->alpha(), 0.3);
  EXPECT_EQ(c->view()->subviews().back().get(), overlay);  // over everything, the trackpads too
  EXPECT_FALSE(c->brightnessDial()->isUserInteractionEnabled());  // docked again
  EXPECT_TRUE(c->faviLabelContainer()->isHidden());                // not a bookmark dock

  // The dimmed window still answers: a tap lands on what lies under the overlay.
  kit::Point onNewTab = middleOf(c->newPageBtn1());
  EXPECT_EQ(window()->tap(onNewTab), c->newPageBtn1());
  loop().advance(1);

  // Pulling again starts where it was left; three steps back to the first item clears it.
  pull(c->brightnessDockTip(), -3);
  EXPECT_EQ(c->brightnessDial()->curSel(), 1);
  EXPECT_TRUE(overlay->isHidden());
}

TEST_F(DialsOnMainScreenTest, WithoutBookmarksTheDialOffersOnlyCancel) {
  VeskWebViewController* c = controller();
  EXPECT_EQ(c->faviDial()->itemCount(), 1);
  pull(c->faviDockTip1(), 3);
  EXPECT_EQ(c->faviDial()->curSel(), 0);
  EXPECT_EQ(VeskWebViewController::dialIndex(false), -1);
  EXPECT_EQ(c->faviLabel()->text(), "Cancel");
}

}  // namespace
