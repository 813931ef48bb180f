// The page's scroll indicator: where its thumb goes for a page scrolled,
// much longer than the view, at its end, pulled below its top, or with
// nothing to measure.

#include <gtest/gtest.h>

#include <optional>

#include "kit/ui/Color.h"
#include "shell/VeskProgressIndicatorView.h"

using tolva::VeskProgressIndicatorDatasource;
using tolva::VeskProgressIndicatorView;

namespace {

struct Page : VeskProgressIndicatorDatasource {
  double content = 0, visible = 0, oy = 0;
  kit::Size contentSize() override { return {320, content}; }
  kit::Size visibleSize() override { return {320, visible}; }
  kit::Point offset() override { return {0, oy}; }
};

// The indicator as the page view makes it: 5 wide, 200 tall.
class ScrollIndicatorTest : public ::testing::Test {
 protected:
  void show(double content, double visible, double oy) {
    page_.content = content;
    page_.visible = visible;
    page_.oy = oy;
    view_->updateProgress();
  }
  kit::Rect thumb() const { return view_->thumb()->frame(); }

  Page page_;
  kit::Ref<VeskProgressIndicatorView> view_ = kit::make<VeskProgressIndicatorView>(kit::Rect(313, 5, 5, 200));
};

TEST_F(ScrollIndicatorTest, ThumbMatchesTheVisiblePartButIsNeverShorterThanThirty) {
  EXPECT_EQ(view_->backgroundColor(), kit::Color::clearColor());
  view_->setDataSource(&page_);
  // Twice the visible height, at the top: half the track from the top.
  show(1000, 500, 0);
  EXPECT_FALSE(view_->thumb()->isHidden());
  EXPECT_EQ(thumb(), kit::Rect(0, 0, 5, 100));
  EXPECT_EQ(view_->thumb()->backgroundColor(), kit::Color::blackColor().withAlpha(0.6));
  // Halfway down.
  show(1000, 500, 250);
  EXPECT_EQ(thumb(), kit::Rect(0, 50, 5, 100));
  // A hundred times the visible height: 30 points.
  show(50000, 500, 0);
  EXPECT_EQ(thumb(), kit::Rect(0, 0, 5, 30));
}

TEST_F(ScrollIndicatorTest, AtTheBottomTheThumbEndsExactlyAtTheTrackEnd) {
  view_->setDataSource(&page_);
  show(1000, 500, 500);
  EXPECT_EQ(thumb(), kit::Rect(0, 100, 5, 100));
  // The 30-point minimum is cut back to the track's end.
  show(50000, 500, 49500);
  EXPECT_DOUBLE_EQ(thumb().y(), 198);
  EXPECT_DOUBLE_EQ(thumb().maxY(), 200);
}

TEST_F(ScrollIndicatorTest, PullingBelowTheTopShortensTheTrackFromAbove) {
  view_->setDataSource(&page_);
  show(1000, 500, -40);
  // Track 40..200 (160 long), visible part 460 of 1000.
  EXPECT_DOUBLE_EQ(thumb().y(), 40);
  EXPECT_DOUBLE_EQ(thumb().height(), 460.0 / 1000 * 160);
  // Pulled further than the view is tall: no track left, no thumb.
  show(1000, 500, -250);
  EXPECT_TRUE(view_->thumb()->isHidden());
}

TEST_F(ScrollIndicatorTest, NothingIsDrawnWithoutADataSourceOrContent) {
  show(1000, 500, 0);
  EXPECT_TRUE(view_->thumb()->isHidden());
  view_->setDataSource(&page_);
  // An empty page (before it has loaded) must not divide by zero.
  show(0, 500, 0);
  EXPECT_TRUE(view_->thumb()->isHidden());
  // Offset past the content's end: nothing left to fill.
  show(1000, 500, 1200);
  EXPECT_TRUE(view_->thumb()->isHidden());
  show(1000, 500, 0);
  EXPECT_FALSE(view_->thumb()->isHidden());
  view_->setDataSource(nullptr);
  EXPECT_TRUE(view_->thumb()->isHidden());
}

TEST_F(ScrollIndicatorTest, ThumbFollowsAResizedView) {
  view_->setDataSource(&page_);
  show(1000, 500, 0);
  view_->setFrame(kit::Rect(313, 5, 5, 400));
  view_->layoutIfNeeded();
  EXPECT_EQ(thumb(), kit::Rect(0, 0, 5, 200));
  // The drawing rectangle's own origin counts.
  EXPECT_EQ(VeskProgressIndicatorView::thumbRect(kit::Rect(2, 10, 5, 100), {0, 0}, 50, 100),
            std::optional<kit::Rect>(kit::Rect(2, 10, 5, 50)));
}

}  // namespace
