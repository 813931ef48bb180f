#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTest.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/PanGestureRecognizer.h"
#include "kit/ui/PinchGestureRecognizer.h"
#include "kit/ui/SwipeGestureRecognizer.h"
#include "kit/ui/TapGestureRecognizer.h"

using kit::GestureRecognizer;
using kit::Point;
using kit::Ref;
using State = kit::GestureRecognizer::State;

namespace {

class GestureTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    window = makeKeyWindow();
    page = kit::View::view({0, 100, 400, 400});
    window->addSubview(page.get());
  }
  template <class T>
  Ref<T> add() {
    Ref<T> g(new T("handle", [this](GestureRecognizer& r) {
      states.push_back(r.state());
      locations.push_back(r.locationInView(window.get()));
    }));
    page->addGestureRecognizer(g.get());
    return g;
  }
  Ref<kit::Window> window;
  Ref<kit::View> page;
  std::vector<State> states;
  std::vector<Point> locations;
};

TEST_F(GestureTest, TapsNeedTheirTapAndFingerCounts) {
  auto tap = add<kit::TapGestureRecognizer>();
  tap->setNumberOfTouchesRequired(3);
  EXPECT_FALSE(tap->tap({1, 1}, 2, 1));
  EXPECT_FALSE(tap->tap({1, 1}, 3, 2));
  EXPECT_TRUE(tap->tap({10, 20}, 3, 1));
  EXPECT_EQ(states, (std::vector<State>{State::Ended}));
  EXPECT_EQ(locations, (std::vector<Point>{{10, 120}}));  // in window coordinates
  EXPECT_EQ(tap->state(), State::Possible);
  EXPECT_EQ(tap->numberOfTouches(), 3u);
  tap->setEnabled(false);
  EXPECT_FALSE(tap->fire({1, 1}));
  EXPECT_EQ(states.size(), 1u);
}

TEST_F(GestureTest, SwipesNeedAPermittedDirection) {
  auto swipe = add<kit::SwipeGestureRecognizer>();
  swipe->setDirection(kit::SwipeGestureRecognizer::Left | kit::SwipeGestureRecognizer::Up);
  swipe->setNumberOfTouchesRequired(2);
  EXPECT_FALSE(swipe->swipe(kit::SwipeGestureRecognizer::Right, 2));
  EXPECT_FALSE(swipe->swipe(kit::SwipeGestureRecognizer::Up, 3));
  EXPECT_TRUE(swipe->swipe(kit::SwipeGestureRecognizer::Up, 2));
  EXPECT_TRUE(swipe->fire({}));  // the lowest permitted direction
  EXPECT_EQ(states.size(), 2u);
  // Handlers can be driven in any state.
  swipe->fireInState(State::Failed, {5, 5});
  EXPECT_EQ(states.back(), State::Failed);
  EXPECT_EQ(swipe->state(), State::Possible);
}

TEST_F(GestureTest, LongPressGoesThroughItsStates) {
  auto press = add<kit::LongPressGestureRecognizer>();
  EXPECT_TRUE(press->press({50, 50}));
  EXPECT_FALSE(press->press({50, 50}));  // already pressing
  press->move({60, 55});
  press->lift();
  EXPECT_EQ(states, (std::vector<State>{State::Began, State::Changed, State::Ended}));
  EXPECT_EQ(locations.back(), Point(60, 155));
  EXPECT_EQ(press->state(), State::Possible);
  // Disabling a press in progress cancels it.
  press->press({1, 1});
  press->setEnabled(false);
  EXPECT_EQ(states.back(), State::Cancelled);
  EXPECT_EQ(press->state(), State::Possible);
}

struct Judge : kit::GestureRecognizerDelegate {
  bool begin = true, receive = true, together = false;
  int asked = 0;
  bool gestureRecognizerShouldBegin(GestureRecognizer&) override { return begin; }
  bool gestureRecognizerShouldReceiveTouch(GestureRecognizer&, kit::Touch& t) override {
    lastTouchView = t.view();
    return receive;
  }
  bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) override {
    ++asked;
    return together;
  }
  kit::View* lastTouchView = nullptr;
};

TEST_F(GestureTest, TheDelegateDecidesWhetherAGestureStarts) {
  auto tap = add<kit::TapGestureRecognizer>();
  Judge judge;
  tap->setDelegate(&judge);
  judge.receive = false;
  EXPECT_FALSE(tap->fire({1, 1}));
  EXPECT_EQ(judge.lastTouchView, page.get());
  judge.receive = true;
  judge.begin = false;
  EXPECT_FALSE(tap->fire({1, 1}));
  EXPECT_EQ(tap->state(), State::Possible);  // failed and reset
  judge.begin = true;
  EXPECT_TRUE(tap->fire({1, 1}));
  EXPECT_EQ(states.size(), 1u);
}

TEST_F(GestureTest, ATapDoesNotRunDuringAPinchUnlessAllowed) {
  auto pinch = add<kit::PinchGestureRecognizer>();
  auto tap = add<kit::TapGestureRecognizer>();
  Judge judge;
  tap->setDelegate(&judge);
  ASSERT_TRUE(pinch->begin({10, 10}));
  pinch->change(1.5);
  EXPECT_FALSE(tap->fire({10, 10}));
  EXPECT_EQ(judge.asked, 1);
  judge.together = true;
  EXPECT_TRUE(tap->fire({10, 10}));
  pinch->end();
  EXPECT_EQ(pinch->scale(), 1.5);
  judge.together = false;
  EXPECT_TRUE(tap->fire({10, 10}));  // the pinch is over
  EXPECT_EQ(states, (std::vector<State>{State::Began, State::Changed, State::Ended, State::Ended, State::Ended}));
}

TEST_F(GestureTest, ActionsAreKeptByNameAndARecogniserBelongsToOneView) {
  Ref<kit::PanGestureRecognizer> pan(new kit::PanGestureRecognizer());
  int a = 0, b = 0;
  pan->addTarget("a", [&](GestureRecognizer&) { ++a; });
  pan->addTarget("b", [&](GestureRecognizer&) { ++b; });
  pan->addTarget("a", [&](GestureRecognizer&) { a += 10; });  // replaces
  EXPECT_FALSE(pan->fire({}));  // on no view
  page->addGestureRecognizer(pan.get());
  EXPECT_TRUE(pan->pan({0, 0}, {30, 40}));
  EXPECT_EQ(a, 30);  // began, changed, ended
  pan->removeTarget("b");
  EXPECT_EQ(pan->actionNames(), (std::vector<std::string>{"a"}));

  Ref<kit::View> other = kit::View::view({});
  other->addGestureRecognizer(pan.get());
  EXPECT_TRUE(page->gestureRecognizers().empty());
  EXPECT_EQ(pan->view(), other.get());
  other = nullptr;  // the view goes; the recogniser forgets it
  EXPECT_EQ(pan->view(), nullptr);
}

TEST_F(GestureTest, InvalidStateMovesAreIgnored) {
  auto press = add<kit::LongPressGestureRecognizer>();
  EXPECT_FALSE(press->moveTo(State::Changed, {}));
  EXPECT_FALSE(press->moveTo(State::Cancelled, {}));
  EXPECT_TRUE(press->moveTo(State::Began, {}));
  EXPECT_FALSE(press->moveTo(State::Began, {}));
  EXPECT_TRUE(press->moveTo(State::Ended, {}));
  EXPECT_EQ(states, (std::vector<State>{State::Began, State::Ended}));
}

}  // namespace
