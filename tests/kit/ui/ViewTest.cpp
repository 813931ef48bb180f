#include <gtest/gtest.h>

#include <vector>

#include "UiTest.h"
#include "kit/foundation/Exception.h"
#include "kit/ui/Layer.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/View.h"
#include "kit/ui/ViewObserver.h"

using kit::AffineTransform;
using kit::Point;
using kit::Rect;
using kit::Ref;
using kit::Size;
using kit::View;
using kit::ViewChange;

namespace {

class ViewTest : public uitest::UiTest {};

Ref<View> makeView(Rect frame, long tag = 0) {
  Ref<View> v = View::view(frame);
  v->setTag(tag);
  return v;
}

std::vector<long> tags(const View& v) {
  std::vector<long> out;
  for (auto& s : v.subviews()) out.push_back(s->tag());
  return out;
}

TEST_F(ViewTest, FrameBoundsAndCenterStayConsistent) {
  Ref<View> v = makeView({10, 20, 100, 50});
  EXPECT_EQ(v->bounds(), Rect(0, 0, 100, 50));
  EXPECT_EQ(v->center(), Point(60, 45));
  v->setCenter({100, 100});
  EXPECT_EQ(v->frame(), Rect(50, 75, 100, 50));
  v->setBounds({5, 5, 20, 10});
  EXPECT_EQ(v->frame(), Rect(90, 95, 20, 10));  // the centre stays
  v->setFrame({0, 0, -10, 10});                 // negative sizes are turned round
  EXPECT_EQ(v->frame(), Rect(-10, 0, 10, 10));
}

TEST_F(ViewTest, TransformChangesFrameButNotBounds) {
  Ref<View> v = makeView({0, 0, 100, 50});
  v->setTransform(AffineTransform::scale(2, 2));
  EXPECT_EQ(v->bounds().size, Size(100, 50));
  EXPECT_EQ(v->frame(), Rect(-50, -25, 200, 100));
  Ref<View> parent = makeView({0, 0, 400, 400});
  parent->addSubview(v.get());
  EXPECT_EQ(v->convertPointToView({100, 50}, parent.get()), Point(150, 75));
  EXPECT_EQ(v->convertPointFromView({150, 75}, parent.get()), Point(100, 50));
}

// Masks 63 (all six flexible), 18 (width and height) and 17 (left margin and
// height), as the page view, its web view and its scroll indicator use them.
TEST_F(ViewTest, AutoresizingMasksFollowTheSuperviewSize) {
  Ref<View> parent = makeView({0, 0, 1000, 700});
  Ref<View> all = makeView({100, 100, 800, 500});
  all->setAutoresizingMask(63);
  Ref<View> grow = makeView({0, 44, 1000, 600});
  grow->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
  Ref<View> indicator = makeView({993, 5, 5, 690});
  indicator->setAutoresizingMask(View::FlexibleLeftMargin | View::FlexibleHeight);
  Ref<View> fixed = makeView({10, 10, 10, 10});
  for (auto* v : {all.get(), grow.get(), indicator.get(), fixed.get()}) parent->addSubview(v);

  parent->setFrame({0, 0, 500, 350});
  // 63: the change is shared in proportion to margins and size (100:800:100).
  EXPECT_EQ(all->frame(), Rect(50, 50, 400, 250));
  EXPECT_EQ(grow->frame(), Rect(0, 44, 500, 250));
  EXPECT_EQ(indicator->frame(), Rect(493, 5, 5, 340));
  EXPECT_EQ(fixed->frame(), Rect(10, 10, 10, 10));

  // Growing back restores every frame.
  parent->setFrame({0, 0, 1000, 700});
  EXPECT_EQ(all->frame(), Rect(100, 100, 800, 500));
  EXPECT_EQ(indicator->frame(), Rect(993, 5, 5, 690));
}

TEST_F(ViewTest, AutoresizingSplitsEvenlyWhenFlexiblePartsAreZeroAndNeverGoesNegative) {
  Ref<View> parent = makeView({0, 0, 100, 100});
  Ref<View> child = makeView({0, 0, 100, 10});
  child->setAutoresizingMask(View::FlexibleLeftMargin | View::FlexibleRightMargin);
  parent->addSubview(child.get());
  parent->setFrame({0, 0, 140, 100});
  EXPECT_EQ(child->frame(), Rect(20, 0, 100, 10));

  Ref<View> shrink = makeView({0, 0, 30, 30});
  shrink->setAutoresizingMask(View::FlexibleWidth);
  parent->addSubview(shrink.get());
  parent->setFrame({0, 0, 0, 100});
  EXPECT_GE(shrink->frame().width(), 0);

  parent->setAutoresizesSubviews(false);
  Rect before = child->frame();
  parent->setFrame({0, 0, 500, 100});
  EXPECT_EQ(child->frame(), before);
}

class CountingView : public View {
 public:
  using View::View;
  void layoutSubviews() override { ++layouts; }
  int layouts = 0;
};

TEST_F(ViewTest, SizeChangesLayOutOnceOnTheNextPass) {
  Ref<CountingView> v(new CountingView(Rect{0, 0, 10, 10}));
  loop().drain();
  v->layouts = 0;
  v->setFrame({0, 0, 20, 20});
  v->setFrame({0, 0, 30, 30});
  v->setCenter({50, 50});  // a move alone needs no layout
  EXPECT_EQ(v->layouts, 0);
  loop().drain();
  EXPECT_EQ(v->layouts, 1);
  v->setNeedsLayout();
  v->layoutIfNeeded();
  EXPECT_EQ(v->layouts, 2);
  v->layoutIfNeeded();
  EXPECT_EQ(v->layouts, 2);
}

TEST_F(ViewTest, SubviewOrderOperations) {
  Ref<View> p = makeView({0, 0, 100, 100});
  Ref<View> a = makeView({}, 1), b = makeView({}, 2), c = makeView({}, 3), d = makeView({}, 4);
  p->addSubview(a.get());
  p->addSubview(b.get());
  p->insertSubview(c.get(), 0);
  EXPECT_EQ(tags(*p), (std::vector<long>{3, 1, 2}));
  p->insertSubviewAbove(d.get(), c.get());
  EXPECT_EQ(tags(*p), (std::vector<long>{3, 4, 1, 2}));
  p->bringSubviewToFront(c.get());
  EXPECT_EQ(tags(*p), (std::vector<long>{4, 1, 2, 3}));
  p->sendSubviewToBack(b.get());
  EXPECT_EQ(tags(*p), (std::vector<long>{2, 4, 1, 3}));
  p->insertSubviewBelow(b.get(), c.get());  // moving a subview that is already there
  EXPECT_EQ(tags(*p), (std::vector<long>{4, 1, 2, 3}));
  p->addSubview(a.get());  // re-adding brings it to the front
  EXPECT_EQ(tags(*p), (std::vector<long>{4, 2, 3, 1}));
  p->insertSubview(b.get(), 99);
  EXPECT_EQ(tags(*p), (std::vector<long>{4, 3, 1, 2}));

  Ref<View> other = makeView({});
  other->addSubview(a.get());  // moving to another parent removes it here
  EXPECT_EQ(tags(*p), (std::vector<long>{4, 3, 2}));
  EXPECT_EQ(a->superview(), other.get());
  a->removeFromSuperview();
  EXPECT_EQ(a->superview(), nullptr);
  EXPECT_TRUE(other->subviews().empty());
}

TEST_F(ViewTest, AddingAViewToItselfOrADescendantThrows) {
  Ref<View> p = makeView({});
  Ref<View> c = makeView({});
  p->addSubview(c.get());
  EXPECT_THROW(p->addSubview(p.get()), kit::InvalidArgumentException);
  EXPECT_THROW(c->addSubview(p.get()), kit::InvalidArgumentException);
  EXPECT_EQ(c->superview(), p.get());
}

TEST_F(ViewTest, ViewWithTagSearchesDepthFirstIncludingItself) {
  Ref<View> root = makeView({}, 7);
  Ref<View> a = makeView({}, 1), a1 = makeView({}, 5), b = makeView({}, 5);
  root->addSubview(a.get());
  a->addSubview(a1.get());
  root->addSubview(b.get());
  EXPECT_EQ(root->viewWithTag(7), root.get());
  EXPECT_EQ(root->viewWithTag(5), a1.get());
  EXPECT_EQ(root->viewWithTag(42), nullptr);
}

TEST_F(ViewTest, PointsAndRectsConvertBetweenViewsAndWindows) {
  Ref<kit::Window> w(new kit::Window(Rect{100, 0, 400, 400}));
  Ref<View> a = makeView({10, 10, 200, 200});
  Ref<View> b = makeView({20, 30, 50, 50});
  Ref<View> c = makeView({150, 150, 40, 40});
  w->addSubview(a.get());
  a->addSubview(b.get());
  w->addSubview(c.get());
  EXPECT_EQ(b->convertPointToView({0, 0}, nullptr), Point(30, 40));
  EXPECT_EQ(b->convertPointToView({0, 0}, c.get()), Point(-120, -110));
  EXPECT_EQ(c->convertRectFromView({0, 0, 10, 10}, b.get()), Rect(-120, -110, 10, 10));
  EXPECT_EQ(b->convertPointFromView({30, 40}, nullptr), Point(0, 0));

  // A scroll view's offset moves its content.
  Ref<kit::ScrollView> sv(new kit::ScrollView(Rect{0, 0, 100, 100}));
  Ref<View> content = makeView({0, 500, 10, 10});
  sv->addSubview(content.get());
  w->addSubview(sv.get());
  sv->setContentSize({100, 1000});
  sv->setContentOffset({0, 450});
  EXPECT_EQ(content->convertPointToView({0, 0}, nullptr), Point(0, 50));

  // Different windows meet in screen coordinates.
  Ref<kit::Window> w2(new kit::Window(Rect{0, 0, 100, 100}));
  EXPECT_EQ(w2->convertPointFromView({0, 0}, b.get()), Point(130, 40));
}

TEST_F(ViewTest, HitTestingSkipsHiddenTransparentAndNonInteractiveViews) {
  Ref<View> root = makeView({0, 0, 100, 100});
  Ref<View> under = makeView({0, 0, 50, 50}, 1);
  Ref<View> over = makeView({0, 0, 50, 50}, 2);
  root->addSubview(under.get());
  root->addSubview(over.get());
  EXPECT_EQ(root->hitTest({10, 10}, nullptr), over.get());
  over->setHidden(true);
  EXPECT_EQ(root->hitTest({10, 10}, nullptr), under.get());
  over->setHidden(false);
  over->setAlpha(0.0);
  EXPECT_EQ(root->hitTest({10, 10}, nullptr), under.get());
  over->setAlpha(1);
  over->setUserInteractionEnabled(false);
  EXPECT_EQ(root->hitTest({10, 10}, nullptr), under.get());
  EXPECT_EQ(root->hitTest({75, 75}, nullptr), root.get());
  EXPECT_EQ(root->hitTest({150, 10}, nullptr), nullptr);
}

TEST_F(ViewTest, AlphaIsClampedAndSharedWithTheLayer) {
  Ref<View> v = makeView({0, 0, 10, 10});
  v->setAlpha(3);
  EXPECT_EQ(v->alpha(), 1);
  v->layer()->setOpacity(0.25);
  EXPECT_EQ(v->alpha(), 0.25);
  v->layer()->setHidden(true);
  EXPECT_TRUE(v->isHidden());
  v->layer()->setPosition({40, 40});
  EXPECT_EQ(v->frame(), Rect(35, 35, 10, 10));
}

struct Recorder : kit::ViewObserver {
  std::vector<std::pair<const View*, ViewChange>> changes;
  void viewChanged(View& v, ViewChange c) override { changes.emplace_back(&v, c); }
  size_t count(const View* v, ViewChange c) const {
    size_t n = 0;
    for (auto& [view, change] : changes) n += (view == v && change == c) ? 1 : 0;
    return n;
  }
};

TEST_F(ViewTest, TheObserverHearsEachVisibleChangeOnce) {
  Recorder rec;
  View::setObserver(&rec);
  Ref<View> p = makeView({0, 0, 10, 10});
  Ref<View> c = makeView({0, 0, 5, 5});
  p->addSubview(c.get());
  c->setHidden(true);
  c->setHidden(true);  // no change, no report
  c->setAlpha(0.5);
  c->setBackgroundColor(kit::Color::redColor());
  c->setFrame({1, 1, 5, 5});
  c->removeFromSuperview();
  View::setObserver(nullptr);
  EXPECT_EQ(rec.count(p.get(), ViewChange::Subviews), 2u);
  EXPECT_EQ(rec.count(c.get(), ViewChange::Superview), 2u);
  EXPECT_EQ(rec.count(c.get(), ViewChange::Hidden), 1u);
  EXPECT_EQ(rec.count(c.get(), ViewChange::Alpha), 1u);
  EXPECT_EQ(rec.count(c.get(), ViewChange::BackgroundColor), 1u);
  EXPECT_EQ(rec.count(c.get(), ViewChange::Frame), 1u);
}

TEST_F(ViewTest, ASubviewOutlivesItsDestroyedSuperviewSafely) {
  Ref<View> child = makeView({});
  {
    Ref<View> parent = makeView({});
    parent->addSubview(child.get());
  }
  EXPECT_EQ(child->superview(), nullptr);
  EXPECT_EQ(child->window(), nullptr);
}

}  // namespace
