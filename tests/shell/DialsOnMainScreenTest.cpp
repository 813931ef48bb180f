// The dials as the main screen uses them: pulled out by their tabs, turned
// by the same finger, the brightness dial dimming the window and the
// bookmark dials picking a bookmark of the root folder.

#include <cstdlib>

#include <string>
#include <vector>

#include "data/VeskBookmarkDatabase.h"
#include "kit/foundation/String.h"
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

// The bookmarks of the root folder, in order, as the dial counts them.
std::vector<kit::Ref<kit::Dictionary>> rootBookmarks() {
  std::vector<kit::Ref<kit::Dictionary>> out;
  VeskBookmarkDatabase* db = VeskBookmarkDatabase::getSharedInstance();
  for (size_t i = 0; i < db->nonFolderItemCount(nullptr); ++i) out.push_back(db->getItemAt(i, true, nullptr));
  return out;
}

std::string field(const kit::Dictionary* item, const char* key) {
  auto* s = item ? item->get<kit::String>(key) : nullptr;
  return s ? s->str() : std::string();
}

TEST_F(DialsOnMainScreenTest, TurningABookmarkDialPicksARootBookmarkAndLettingGoOpensIt) {
  VeskWebViewController* c = controller();
  std::vector<kit::Ref<kit::Dictionary>> marks = rootBookmarks();
  ASSERT_GE(marks.size(), 2u);  // the bundled bookmarks
  EXPECT_EQ(c->faviDial()->itemCount(), static_cast<int>(marks.size()) + 1);

  // The ring: the cancel icon, then each bookmark's favicon.
  std::vector<kit::Ref<kit::ImageView>> ring = c->faviDial()->btnArray();
  ASSERT_TRUE(ring[0]->image());
  EXPECT_EQ(ring[0]->image()->name(), c->faviconDb()->getCancelFavicon()->name());
  for (size_t i = 0; i < marks.size(); ++i) {
    ASSERT_TRUE(ring[i + 1]->image()) << i;
    EXPECT_EQ(ring[i + 1]->image()->name(), c->faviconDb()->getFavicon(field(marks[i].get(), "url"))->name());
  }

  kit::Point p = middleOf(c->faviDockTip1());
  ASSERT_EQ(window()->touchBegin(p), c->faviDockTip1());
  for (int i = 0; i < 2; ++i) {
    p.y -= VeskJogDialView::kStepDistance;
    window()->touchMove(p);
  }
  EXPECT_EQ(VeskWebViewController::dialIndex(false), 1);
  EXPECT_EQ(c->faviLabel()->text(), field(marks[1].get(), "title"));
  EXPECT_EQ(c->faviLabel()->textAlignment(), kit::TextAlignment::Right);
  window()->touchEnd(p);
  EXPECT_EQ(lastLoad(tabs()->curView()), field(marks[1].get(), "url"));

  // Back on the cancel button nothing opens; the index is what the dial said last.
  const std::string before = lastLoad(tabs()->curView());
  pull(c->faviDockTip1(), 0);
  EXPECT_EQ(VeskWebViewController::dialIndex(false), -1);
  EXPECT_EQ(lastLoad(tabs()->curView()), before);
}

TEST_F(DialsOnMainScreenTest, InDualModeTheRightDialOpensInTheRightPaneAndTheLeftDialInTheLeft) {
  VeskWebViewController* c = controller();
  tabs()->needToCreateNewTab(tabs()->curView(), "http://second.test/", false, false);
  loop().drain();
  c->onDualMode(nullptr);
  ASSERT_TRUE(tabs()->isDual());
  std::vector<kit::Ref<kit::Dictionary>> marks = rootBookmarks();
  EXPECT_TRUE(c->faviDial2()->leftSided());
  EXPECT_FALSE(c->faviDock2()->isHidden());

  pull(c->faviDockTip1(), 1);
  EXPECT_EQ(lastLoad(tabs()->curView2()), field(marks[0].get(), "url"));
  // The left dial slides the other way, so up on its outer half turns back: pull down.
  pull(c->faviDockTip2(), -1);
  EXPECT_EQ(VeskWebViewController::dialIndex(true), 0);
  EXPECT_EQ(VeskWebViewController::dialIndex(false), 0);
  EXPECT_EQ(lastLoad(tabs()->curView()), field(marks[0].get(), "url"));
}

TEST_F(DialsOnMainScreenTest, AfterBookmarksAreDeletedTheDialStaysOnOneThatExists) {
  VeskWebViewController* c = controller();
  VeskBookmarkDatabase* db = VeskBookmarkDatabase::getSharedInstance();
  db->gotoRoot();
  db->addItem("Extra one", "http://extra.test/one");
  db->addItem("Extra two", "http://extra.test/two");
  const int items = c->faviDial()->itemCount();
  ASSERT_EQ(items, static_cast<int>(rootBookmarks().size()) + 1);
  for (int p = 1; p < items; ++p) c->faviDial()->setCurSel(p);
  ASSERT_EQ(c->faviDial()->curSel(), items - 1);

  // Every bookmark of the root goes: only the cancel position is left.
  while (db->nonFolderItemCount(nullptr) > 0) {
    const size_t folders = db->folderItemCount(nullptr);
    db->deleteItemAt(folders);
  }
  EXPECT_EQ(c->faviDial()->itemCount(), 1);
  EXPECT_EQ(c->faviDial()->curSel(), 0);
  EXPECT_EQ(VeskWebViewController::dialIndex(false), -1);
  EXPECT_EQ(c->faviLabel()->text(), "Cancel");
  pull(c->faviDockTip1(), 3);
  EXPECT_EQ(c->faviDial()->curSel(), 0);
}

}  // namespace
