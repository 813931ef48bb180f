#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTest.h"
#include "kit/foundation/String.h"
#include "kit/ui/Animation.h"
#include "kit/ui/GradientLayer.h"
#include "kit/ui/Layer.h"
#include "kit/ui/Transition.h"
#include "kit/ui/ViewAnimation.h"
#include "kit/ui/ViewObserver.h"
#include "kit/ui/ViewRenderer.h"

using kit::Animation;
using kit::Ref;
using kit::View;
using kit::ViewAnimation;

namespace {

class AnimationTest : public uitest::UiTest {};

TEST_F(AnimationTest, NamedAnimationsChangeAtOnceAndStopAfterTheirDuration) {
  Ref<View> v = View::view({0, 0, 100, 100});
  std::vector<std::string> stops;
  ViewAnimation::beginAnimations("fullscreen", kit::String::string("ctx"));
  ViewAnimation::setAnimationDuration(0.2);
  ViewAnimation::setAnimationBeginsFromCurrentState(false);
  ViewAnimation::setAnimationCurve(kit::AnimationCurve::EaseOut);
  ViewAnimation::setAnimationDidStopCallback([&](const std::string& name, bool finished, kit::Object* context) {
    auto* s = dynamic_cast<kit::String*>(context);
    stops.push_back(name + (finished ? " finished " : " ") + (s ? s->str() : ""));
  });
  ASSERT_NE(ViewAnimation::current(), nullptr);
  EXPECT_EQ(ViewAnimation::current()->name, "fullscreen");
  v->setFrame({0, 0, 300, 300});
  v->setHidden(true);
  ViewAnimation::commitAnimations();
  EXPECT_EQ(ViewAnimation::current(), nullptr);
  EXPECT_EQ(v->frame().width(), 300);  // the end state at once
  EXPECT_TRUE(v->isHidden());
  loop().advance(0.19);
  EXPECT_TRUE(stops.empty());
  loop().advance(0.01);
  EXPECT_EQ(stops, (std::vector<std::string>{"fullscreen finished ctx"}));

  auto history = ViewAnimation::history();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].duration, 0.2);
  EXPECT_EQ(history[0].curve, kit::AnimationCurve::EaseOut);
  EXPECT_FALSE(history[0].beginsFromCurrentState);
  ViewAnimation::commitAnimations();  // unbalanced: nothing happens
  EXPECT_EQ(ViewAnimation::history().size(), 1u);
}

struct AnimationSpy : kit::ViewObserver {
  std::vector<double> durations;
  void viewChanged(View&, kit::ViewChange c) override {
    if (c == kit::ViewChange::Alpha) durations.push_back(ViewAnimation::current() ? ViewAnimation::current()->duration : -1);
  }
};

TEST_F(AnimationTest, BlockAnimationsCompleteOnTheClockAndTellTheBackendTheirTiming) {
  Ref<View> v = View::view({0, 0, 10, 10});
  AnimationSpy spy;
  View::setObserver(&spy);
  std::vector<std::string> done;
  ViewAnimation::animate(0.3, 0.1, ViewAnimation::BeginFromCurrentState | ViewAnimation::CurveLinear,
                         [&] { v->setAlpha(0); }, [&](bool finished) { done.push_back(finished ? "a" : "a?"); });
  ViewAnimation::animate(0.1, [&] { v->setAlpha(1); }, [&](bool) { done.push_back("b"); });
  v->setAlpha(0.5);
  View::setObserver(nullptr);
  EXPECT_EQ(spy.durations, (std::vector<double>{0.3, 0.1, -1}));
  EXPECT_EQ(ViewAnimation::history()[0].curve, kit::AnimationCurve::Linear);
  EXPECT_TRUE(ViewAnimation::history()[0].beginsFromCurrentState);
  loop().advance(0.1);
  EXPECT_EQ(done, (std::vector<std::string>{"b"}));
  loop().advance(0.3);
  EXPECT_EQ(done, (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(ViewAnimation::pendingCount(), 0u);

  // Without animations, completions still come, on the next pass.
  ViewAnimation::setAnimationsEnabled(false);
  ViewAnimation::animate(5, [] {}, [&](bool) { done.push_back("c"); });
  ViewAnimation::setAnimationsEnabled(true);
  loop().drain();
  EXPECT_EQ(done.back(), "c");
}

TEST_F(AnimationTest, TransitionFromViewSwapsViewsInPlace) {
  Ref<View> parent = View::view({});
  Ref<View> a = View::view({}), from = View::view({}), b = View::view({}), to = View::view({});
  for (auto* v : {a.get(), from.get(), b.get()}) parent->addSubview(v);
  bool completed = false;
  ViewAnimation::transitionFromView(from.get(), to.get(), 0.5, ViewAnimation::TransitionCrossDissolve,
                                    [&](bool) { completed = true; });
  ASSERT_EQ(parent->subviews().size(), 3u);
  EXPECT_EQ(parent->subviews()[1].get(), to.get());
  EXPECT_EQ(from->superview(), nullptr);
  loop().advance(0.5);
  EXPECT_TRUE(completed);
}

TEST_F(AnimationTest, LayerAnimationsAreKeyedAndStopAfterTheirDuration) {
  Ref<View> dock = View::view({0, 0, 100, 100});
  std::vector<std::string> stops;
  auto slide = Animation::animationWithKeyPath("position");
  slide->setDuration(0.3);
  slide->setTimingFunction(kit::TimingFunction::EaseInEaseOut);
  slide->setFromValue(dock->layer()->position());
  slide->setToValue(kit::Point{-95, 50});
  slide->setStopCallback([&](Animation& a, bool finished) { stops.push_back(a.keyPath() + (finished ? "+" : "-")); });
  dock->layer()->addAnimation(slide, "swipe");
  dock->layer()->setPosition({-95, 50});
  EXPECT_EQ(dock->frame().x(), -145);
  EXPECT_EQ(dock->layer()->animationForKey("swipe"), slide.get());

  // The same key replaces the running animation, which stops unfinished.
  auto back = Animation::animationWithKeyPath("position");
  back->setDuration(0.3);
  back->setStopCallback([&](Animation&, bool finished) { stops.push_back(finished ? "back+" : "back-"); });
  loop().advance(0.2);
  dock->layer()->addAnimation(back, "swipe");
  EXPECT_EQ(stops, (std::vector<std::string>{"position-"}));
  loop().advance(0.2);  // the first one's time passes: nothing more
  EXPECT_EQ(stops.size(), 1u);
  loop().advance(0.1);
  EXPECT_EQ(stops, (std::vector<std::string>{"position-", "back+"}));
  EXPECT_TRUE(dock->layer()->animationKeys().empty());

  // Opacity and hidden animations of a fade-out.
  auto opa = Animation::animationWithKeyPath("opacity");
  opa->setFromValue(1.0);
  opa->setToValue(0.0);
  auto hid = Animation::animationWithKeyPath("hidden");
  hid->setFromValue(false);
  hid->setToValue(true);
  dock->layer()->addAnimation(opa, "opa");
  dock->layer()->addAnimation(hid, "hid");
  dock->layer()->addAnimation(kit::Transition::transition(kit::Transition::Type::Push,
                                                          kit::Transition::Subtype::FromRight),
                              "");
  EXPECT_EQ(dock->layer()->animationKeys(), (std::vector<std::string>{"hid", "opa"}));
  dock->layer()->removeAllAnimations();
  EXPECT_TRUE(dock->layer()->animationKeys().empty());
  loop().advance(1);
}

TEST_F(AnimationTest, GradientSublayersSitUnderTheViewAndRenderingIsBlankHeadless) {
  Ref<View> bar = View::view({0, 0, 300, 44});
  auto gradient = kit::GradientLayer::layer();
  gradient->setFrame({0, 0, 2048, 44});
  gradient->setColors({kit::Color::darkGrayColor(), kit::Color::blackColor()});
  bar->layer()->addSublayer(kit::Layer::layer().get());
  bar->layer()->insertSublayer(gradient.get(), 0);
  EXPECT_EQ(bar->layer()->sublayers().front().get(), gradient.get());
  EXPECT_EQ(gradient->hostView(), bar.get());
  EXPECT_EQ(gradient->frame().width(), 2048);

  auto shot = kit::ViewRenderer::renderView(*bar);
  EXPECT_EQ(shot->size(), kit::Size(300, 44));
  EXPECT_FALSE(shot->hasPixels());
  auto small = shot->scaledToSize({150, 22});
  EXPECT_EQ(small->size(), kit::Size(150, 22));
}

TEST_F(AnimationTest, ImagesScaleTheirPixels) {
  // 2×1: red, blue.
  auto img = kit::Image::imageWithPixels({2, 1}, {255, 0, 0, 255, 0, 0, 255, 255});
  ASSERT_TRUE(img->hasPixels());
  auto big = img->scaledToSize({4, 2});
  EXPECT_EQ(big->pixelAt(0, 0), 0xFF0000FFu);
  EXPECT_EQ(big->pixelAt(3, 1), 0x0000FFFFu);
  // Smooth scaling: the second column leans to red, the third to blue.
  EXPECT_GT(big->pixelAt(1, 1) >> 24, (big->pixelAt(1, 1) >> 8) & 0xff);
  EXPECT_LT(big->pixelAt(2, 1) >> 24, (big->pixelAt(2, 1) >> 8) & 0xff);
  EXPECT_EQ(big->pixelAt(9, 9), 0u);
  // Pixels that do not match the size are not taken.
  EXPECT_FALSE(kit::Image::imageWithPixels({3, 3}, {1, 2, 3})->hasPixels());
  EXPECT_EQ(img->scaledToSize({-1, 5})->size(), kit::Size(0, 5));
}

}  // namespace
