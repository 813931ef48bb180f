#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "UiTest.h"
#include "kit/ui/ScrollView.h"

using kit::Point;
using kit::Ref;
using kit::ScrollView;

namespace {

class ScrollViewTest : public uitest::UiTest {};

struct ScrollLog : kit::ScrollViewDelegate {
  std::vector<std::string> calls;
  kit::View* zoomView = nullptr;
  bool allowTop = true;
  Point redirect{-1, -1};
  void scrollViewDidScroll(ScrollView& sv) override {
    calls.push_back("scroll " + std::to_string(int(sv.contentOffset().y)));
  }
  void scrollViewWillBeginDragging(ScrollView&) override { calls.push_back("beginDrag"); }
  void scrollViewWillEndDragging(ScrollView&, Point, Point* target) override {
    calls.push_back("willEndDrag " + std::to_string(int(target->y)));
    if (redirect.y >= 0) *target = redirect;
  }
  void scrollViewDidEndDragging(ScrollView&, bool decelerate) override {
    calls.push_back(std::string("endDrag ") + (decelerate ? "1" : "0"));
  }
  void scrollViewWillBeginDecelerating(ScrollView&) override { calls.push_back("beginDecel"); }
  void scrollViewDidEndDecelerating(ScrollView&) override { calls.push_back("endDecel"); }
  void scrollViewDidEndScrollingAnimation(ScrollView&) override { calls.push_back("endAnimation"); }
  kit::View* viewForZoomingInScrollView(ScrollView&) override { return zoomView; }
  void scrollViewWillBeginZooming(ScrollView&, kit::View*) override { calls.push_back("beginZoom"); }
  void scrollViewDidZoom(ScrollView& sv) override { calls.push_back("zoom " + std::to_string(sv.zoomScale())); }
  void scrollViewDidEndZooming(ScrollView&, kit::View*, double s) override {
    calls.push_back("endZoom " + std::to_string(s));
  }
  bool scrollViewShouldScrollToTop(ScrollView&) override { return allowTop; }
  void scrollViewDidScrollToTop(ScrollView&) override { calls.push_back("top"); }
};

Ref<ScrollView> makePage(ScrollLog* log) {
  Ref<ScrollView> sv(new ScrollView(kit::Rect{0, 0, 320, 400}));
  sv->setContentSize({320, 2000});
  sv->setContentInset({44, 0, 0, 0});
  sv->setDelegate(log);
  return sv;
}

TEST_F(ScrollViewTest, DraggingPastTheTopSpringsBack) {
  ScrollLog log;
  auto sv = makePage(&log);
  EXPECT_EQ(sv->minimumContentOffset(), Point(0, -44));
  EXPECT_EQ(sv->maximumContentOffset(), Point(0, 1600));
  EXPECT_TRUE(sv->drag({0, 100}));  // finger down: the content follows
  EXPECT_EQ(sv->contentOffset(), Point(0, -44));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"beginDrag", "scroll -100", "willEndDrag -44", "endDrag 0",
                                                 "scroll -44"}));
  sv->setBounces(false);
  log.calls.clear();
  sv->drag({0, 100});
  EXPECT_EQ(log.calls, (std::vector<std::string>{"beginDrag", "willEndDrag -44", "endDrag 0"}));
  sv->setScrollEnabled(false);
  EXPECT_FALSE(sv->drag({0, -10}));
}

TEST_F(ScrollViewTest, AFlingDeceleratesToTheTargetTheDelegateLeaves) {
  ScrollLog log;
  auto sv = makePage(&log);
  log.redirect = {0, 700};
  sv->drag({0, -200}, true, {0, 3});
  EXPECT_EQ(sv->contentOffset(), Point(0, 700));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"beginDrag", "scroll 200", "willEndDrag 200", "endDrag 1",
                                                 "beginDecel", "scroll 700", "endDecel"}));
  EXPECT_FALSE(sv->isDragging());
  EXPECT_FALSE(sv->isDecelerating());
}

TEST_F(ScrollViewTest, AnimatedScrollingEndsOnTheClock) {
  ScrollLog log;
  auto sv = makePage(&log);
  sv->setContentOffset({0, 300}, true);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"scroll 300"}));
  loop().advance(ScrollView::kAnimationDuration);
  EXPECT_EQ(log.calls.back(), "endAnimation");
  // The bottom row visible: just enough scrolling.
  sv->scrollRectToVisible({0, 1999, 1, 1}, false);
  EXPECT_EQ(sv->contentOffset(), Point(0, 1600));
  sv->setContentOffset({0, NAN});
  EXPECT_EQ(sv->contentOffset(), Point(0, 1600));
}

TEST_F(ScrollViewTest, ZoomingAndTheStatusBarTap) {
  ScrollLog log;
  auto sv = makePage(&log);
  EXPECT_FALSE(sv->pinchZoom(2));  // nothing to zoom
  Ref<kit::View> content = kit::View::view({0, 0, 320, 2000});
  log.zoomView = content.get();
  sv->setMaximumZoomScale(3);
  EXPECT_TRUE(sv->pinchZoom(5));
  EXPECT_EQ(sv->zoomScale(), 3);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"beginZoom", "zoom 3.000000", "endZoom 3.000000"}));

  log.calls.clear();
  sv->setContentOffset({0, 500});
  log.allowTop = false;
  EXPECT_FALSE(sv->tapStatusBar());
  log.allowTop = true;
  EXPECT_TRUE(sv->tapStatusBar());
  EXPECT_EQ(sv->contentOffset(), Point(0, -44));
  loop().advance(ScrollView::kAnimationDuration);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"scroll 500", "scroll -44", "top"}));
  sv->setScrollsToTop(false);
  EXPECT_FALSE(sv->tapStatusBar());
}

}  // namespace
