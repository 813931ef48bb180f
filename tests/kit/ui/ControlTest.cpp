#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "UiTest.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/ui/ActivityIndicatorView.h"
#include "kit/ui/Button.h"
#include "kit/ui/Event.h"
#include "kit/ui/GeometryValue.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Keyboard.h"
#include "kit/ui/Label.h"
#include "kit/ui/ProgressView.h"
#include "kit/ui/Slider.h"
#include "kit/ui/Switch.h"
#include "kit/ui/TextField.h"
#include "kit/ui/TextMeasurement.h"
#include "kit/ui/TextView.h"
#include "kit/ui/Toolbar.h"

using kit::Button;
using kit::Control;
using kit::Rect;
using kit::Ref;
using kit::TextField;

namespace {

class ControlTest : public uitest::UiTest {};

TEST_F(ControlTest, ButtonTitlesAndImagesFallBackToTheNormalState) {
  Ref<Button> b = Button::buttonWithType(Button::Type::Custom);
  b->setTitle("Reload");
  b->setTitle("Stop", Control::Selected);
  auto img = kit::Image::imageWithSize({10, 10});
  b->setImage(img, Control::Highlighted);
  EXPECT_EQ(b->currentTitle(), "Reload");
  EXPECT_EQ(b->currentImage(), nullptr);
  b->setSelected(true);
  EXPECT_EQ(b->currentTitle(), "Stop");
  b->setHighlighted(true);  // selected+highlighted falls back to selected
  EXPECT_EQ(b->currentTitle(), "Stop");
  b->setSelected(false);
  EXPECT_EQ(b->currentImage(), img.get());
  b->setEnabled(false);
  EXPECT_FALSE(b->isHighlighted());
  EXPECT_EQ(b->state(), unsigned(Control::Disabled));
  EXPECT_EQ(b->titleLabel()->text(), "Reload");
}

TEST_F(ControlTest, TargetActionsByNameAndEvent) {
  Ref<Button> b(new Button(Rect{0, 0, 40, 40}));
  b->setTitle("B");
  std::vector<std::string> calls;
  b->addTarget("down", Control::TouchDown, [&](Control&) { calls.push_back("down"); });
  b->addTarget("up", Control::TouchUpInside, [&](Control&) { calls.push_back("up"); });
  b->addTarget("up", Control::TouchUpOutside, [&](Control&) { calls.push_back("up2"); });  // replaces, adds event
  b->addTarget("cancel", Control::TouchCancel, [&](Control&) { calls.push_back("cancel"); });
  b->tap();
  EXPECT_EQ(calls, (std::vector<std::string>{"down", "up2"}));
  calls.clear();
  b->touchDown();
  EXPECT_TRUE(b->isHighlighted());
  b->touchUpOutside();
  EXPECT_FALSE(b->isHighlighted());
  b->touchDown();
  b->touchCancel();
  EXPECT_EQ(calls, (std::vector<std::string>{"down", "up2", "down", "cancel"}));

  b->removeTarget("up", Control::TouchUpInside);
  EXPECT_EQ(b->actionsForControlEvent(Control::TouchUpOutside), (std::vector<std::string>{"up"}));
  EXPECT_TRUE(b->actionsForControlEvent(Control::TouchUpInside).empty());
  b->removeTarget("");  // every action
  EXPECT_EQ(b->allControlEvents(), 0u);

  // A disabled control ignores touches; a tap on it is a test's mistake.
  int hits = 0;
  b->addTarget("x", Control::AllTouchEvents, [&](Control&) { ++hits; });
  b->setEnabled(false);
  b->touchDown();
  b->touchUpInside();
  EXPECT_EQ(hits, 0);
  EXPECT_THROW(b->tap(), kit::IllegalStateException);
}

TEST_F(ControlTest, ATapGoesWhereAFingerGoesAndFailsWhereNoneCould) {
  auto w = makeKeyWindow();
  Ref<kit::View> bar(new kit::View(Rect{0, 0, 200, 50}));
  Ref<Button> b(new Button(Rect{150, 10, 40, 30}));
  int ups = 0;
  b->addTarget("up", Control::TouchUpInside, [&](Control&) { ++ups; });
  bar->addSubview(b.get());
  w->addSubview(bar.get());
  Ref<kit::Label> label(new kit::Label(b->bounds()));  // a plain subview passes the touch on
  b->addSubview(label.get());
  b->tap();
  EXPECT_EQ(ups, 1);
  auto message = [&] {
    try {
      b->tap();
    } catch (const kit::IllegalStateException& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  // Covered by a later sibling of an ancestor.
  Ref<kit::View> cover(new kit::View(Rect{100, 0, 100, 200}));
  cover->setTag(7);
  w->addSubview(cover.get());
  EXPECT_NE(message().find("covered at its centre by View (tag 7)"), std::string::npos) << message();
  // A tap at a point goes to what is there.
  EXPECT_EQ(w->tap({170, 25}), cover.get());
  cover->removeFromSuperview();
  bar->setHidden(true);
  EXPECT_NE(message().find("hidden"), std::string::npos) << message();
  bar->setHidden(false);
  b->setFrame(Rect{190, 10, 40, 30});  // centre beyond the bar's right edge
  EXPECT_NE(message().find("outside View"), std::string::npos) << message();
  // Outside any window, the topmost superview does the hit-testing.
  b->setFrame(Rect{150, 10, 40, 30});
  bar->removeFromSuperview();
  b->tap();
  EXPECT_EQ(ups, 2);
  // A button that draws nothing cannot be found, though nothing covers it.
  Ref<Button> bare(new Button(Rect{0, 0, 40, 30}));
  w->addSubview(bare.get());
  EXPECT_THROW(bare->tap(), kit::IllegalStateException);
  bare->setTitle("Go");
  bare->tap();
}

TEST_F(ControlTest, AnActionMayRemoveItselfWhileRunning) {
  Ref<Button> b(new Button(Rect{0, 0, 40, 40}));
  b->setTitle("B");
  int once = 0, other = 0;
  b->addTarget("once", Control::TouchUpInside, [&](Control& c) {
    ++once;
    c.removeTarget("once");
  });
  b->addTarget("other", Control::TouchUpInside, [&](Control&) { ++other; });
  b->tap();
  b->tap();
  EXPECT_EQ(once, 1);
  EXPECT_EQ(other, 2);
}

// A button that passes its touches on, as the pull tabs of the main screen do.
class PropagatingButton : public Button {
 public:
  using Button::Button;
  void touchesBegan(const kit::Touches& t, kit::Event* e) override {
    Button::touchesBegan(t, e);
    if (target) target->touchesBegan(t, e);
  }
  void touchesEnded(const kit::Touches& t, kit::Event* e) override {
    Button::touchesEnded(t, e);
    if (target) target->touchesEnded(t, e);
  }
  kit::View* target = nullptr;
};

class TouchCounter : public kit::View {
 public:
  using View::View;
  void touchesBegan(const kit::Touches&, kit::Event*) override { ++began; }
  void touchesEnded(const kit::Touches&, kit::Event*) override { ++ended; }
  int began = 0, ended = 0;
};

TEST_F(ControlTest, WindowTouchesReachTheHitViewAndOverridesSeeActedOutTaps) {
  auto w = makeKeyWindow();
  Ref<TouchCounter> dial(new TouchCounter(Rect{0, 0, 200, 200}));
  Ref<PropagatingButton> tab(new PropagatingButton(Rect{10, 10, 30, 30}));
  tab->setTitle("T");
  tab->target = dial.get();
  w->addSubview(dial.get());
  w->addSubview(tab.get());
  int ups = 0;
  tab->addTarget("up", Control::TouchUpInside, [&](Control&) { ++ups; });
  EXPECT_EQ(w->tap({20, 20}), tab.get());
  tab->tap();
  EXPECT_EQ(ups, 2);
  EXPECT_EQ(dial->began, 2);
  EXPECT_EQ(dial->ended, 2);
  // A touch on the plain view goes to it; touches on nothing are dropped.
  EXPECT_EQ(w->tap({150, 150}), dial.get());
  EXPECT_EQ(dial->began, 3);
}

struct FieldLog : kit::TextFieldDelegate {
  std::vector<std::string> calls;
  bool allowBegin = true, allowEnd = true, allowClear = true, answerReturn = true;
  std::string refuse;  // replacement text to refuse
  bool textFieldShouldBeginEditing(TextField&) override {
    calls.push_back("shouldBegin");
    return allowBegin;
  }
  void textFieldDidBeginEditing(TextField&) override { calls.push_back("didBegin"); }
  bool textFieldShouldEndEditing(TextField&) override {
    calls.push_back("shouldEnd");
    return allowEnd;
  }
  void textFieldDidEndEditing(TextField&) override { calls.push_back("didEnd"); }
  bool textFieldShouldChangeCharacters(TextField&, kit::Range r, const std::string& s) override {
    calls.push_back("change " + std::to_string(r.location) + "," + std::to_string(r.length) + " '" + s + "'");
    return s != refuse;
  }
  bool textFieldShouldClear(TextField&) override {
    calls.push_back("shouldClear");
    return allowClear;
  }
  bool textFieldShouldReturn(TextField&) override {
    calls.push_back("shouldReturn");
    return answerReturn;
  }
};

TEST_F(ControlTest, TypingIntoATextFieldAsksTheDelegateAndSendsEditingChanged) {
  auto w = makeKeyWindow();
  Ref<TextField> f(new TextField(Rect{0, 0, 200, 30}));
  w->addSubview(f.get());
  FieldLog d;
  d.refuse = "x";
  f->setDelegate(&d);
  std::vector<std::string> events;
  f->addTarget("changed", Control::EditingChanged, [&](Control& c) {
    events.push_back(static_cast<TextField&>(c).text());
  });
  f->addTarget("began", Control::EditingDidBegin, [&](Control&) { events.push_back("began"); });

  EXPECT_TRUE(f->typeText("éx!"));  // "x" refused
  EXPECT_EQ(f->text(), "é!");
  EXPECT_TRUE(f->isEditing());
  EXPECT_TRUE(f->isFirstResponder());
  EXPECT_EQ(d.calls, (std::vector<std::string>{"shouldBegin", "didBegin", "change 0,0 'é'", "change 1,0 'x'",
                                               "change 1,0 '!'"}));
  EXPECT_EQ(events, (std::vector<std::string>{"began", "é", "é!"}));

  d.calls.clear();
  EXPECT_TRUE(f->deleteBackward());
  EXPECT_EQ(f->text(), "é");
  f->setText("😀");  // programmatic: no delegate call, no action
  EXPECT_TRUE(f->deleteBackward());  // one code point, two UTF-16 units
  EXPECT_EQ(f->text(), "");
  EXPECT_FALSE(f->deleteBackward());
  EXPECT_EQ(d.calls, (std::vector<std::string>{"change 1,1 ''", "change 0,2 ''"}));
  EXPECT_EQ(events.size(), 5u);

  // A replacement range past the end is clamped.
  f->setText("abc");
  EXPECT_TRUE(f->replaceText({2, 50}, "Z"));
  EXPECT_EQ(f->text(), "abZ");
}

TEST_F(ControlTest, ClearReturnAndEndOfEditing) {
  auto w = makeKeyWindow();
  Ref<TextField> f(new TextField(Rect{0, 0, 200, 30}));
  w->addSubview(f.get());
  FieldLog d;
  f->setDelegate(&d);
  f->setClearButtonMode(TextField::ViewMode::WhileEditing);
  f->insertText("query");
  EXPECT_TRUE(f->isClearButtonVisible());
  d.allowClear = false;
  EXPECT_FALSE(f->tapClearButton());
  EXPECT_EQ(f->text(), "query");
  d.allowClear = true;
  EXPECT_TRUE(f->tapClearButton());
  EXPECT_EQ(f->text(), "");

  // Return without an end-on-exit action keeps editing.
  EXPECT_TRUE(f->pressReturn());
  EXPECT_TRUE(f->isEditing());
  int exits = 0;
  f->addTarget("exit", Control::EditingDidEndOnExit, [&](Control&) { ++exits; });
  d.answerReturn = false;
  EXPECT_FALSE(f->pressReturn());
  EXPECT_EQ(exits, 0);
  d.answerReturn = true;
  EXPECT_TRUE(f->pressReturn());
  EXPECT_EQ(exits, 1);
  EXPECT_FALSE(f->isEditing());

  // A field that refuses to end editing keeps the first responder.
  f->becomeFirstResponder();
  d.allowEnd = false;
  Ref<TextField> g(new TextField(Rect{0, 40, 200, 30}));
  w->addSubview(g.get());
  EXPECT_FALSE(g->becomeFirstResponder());
  EXPECT_TRUE(f->isFirstResponder());
  d.allowEnd = true;
  EXPECT_TRUE(g->becomeFirstResponder());
  EXPECT_FALSE(f->isEditing());

  // Removing the editing field from its window ends editing.
  g->removeFromSuperview();
  EXPECT_FALSE(g->isEditing());
  EXPECT_EQ(kit::Responder::firstResponder(), nullptr);
}

TEST_F(ControlTest, TheKeyboardFollowsTextInputsWithFramesAndDuration) {
  auto w = makeKeyWindow();
  std::vector<std::string> seen;
  kit::Rect endFrame;
  double duration = 0;
  auto& center = kit::NotificationCenter::defaultCenter();
  auto t1 = center.addObserver(kit::Application::kKeyboardWillShowNotification, nullptr,
                               [&](const kit::Notification& n) {
                                 seen.push_back("willShow");
                                 auto* v = n.userInfo()->get<kit::GeometryValue>(
                                     kit::Application::kKeyboardFrameEndUserInfoKey);
                                 endFrame = v ? v->rectValue() : kit::Rect{};
                                 auto* d = n.userInfo()->get<kit::Number>(
                                     kit::Application::kKeyboardAnimationDurationUserInfoKey);
                                 duration = d ? d->doubleValue() : 0;
                               });
  auto t2 = center.addObserver(kit::Application::kKeyboardDidShowNotification, nullptr,
                               [&](const kit::Notification&) { seen.push_back("didShow"); });
  auto t3 = center.addObserver(kit::Application::kKeyboardWillHideNotification, nullptr,
                               [&](const kit::Notification&) { seen.push_back("willHide"); });
  auto t4 = center.addObserver(kit::Application::kKeyboardDidHideNotification, nullptr,
                               [&](const kit::Notification&) { seen.push_back("didHide"); });
  Ref<TextField> a(new TextField(Rect{0, 0, 100, 30}));
  Ref<TextField> b(new TextField(Rect{0, 40, 100, 30}));
  w->addSubview(a.get());
  w->addSubview(b.get());
  a->becomeFirstResponder();
  b->becomeFirstResponder();  // moving between fields keeps the keyboard up
  EXPECT_TRUE(kit::Keyboard::isVisible());
  b->resignFirstResponder();
  EXPECT_FALSE(kit::Keyboard::isVisible());
  EXPECT_EQ(seen, (std::vector<std::string>{"willShow", "didShow", "willHide", "didHide"}));
  EXPECT_EQ(endFrame, kit::Keyboard::frame());
  EXPECT_EQ(endFrame.maxY(), 768);
  EXPECT_EQ(duration, kit::Keyboard::kAnimationDuration);

  // Tapping a field focuses it; a disabled field cannot be focused.
  w->tap({10, 10});
  EXPECT_TRUE(a->isFirstResponder());
  a->resignFirstResponder();
  a->setEnabled(false);
  EXPECT_FALSE(a->becomeFirstResponder());
}

TEST_F(ControlTest, SwitchesAndSlidersReportUserChangesOnly) {
  Ref<kit::Switch> s(new kit::Switch());
  int changes = 0;
  s->addTarget("changed", Control::ValueChanged, [&](Control&) { ++changes; });
  s->setOn(true);
  EXPECT_EQ(changes, 0);
  s->tap();
  EXPECT_FALSE(s->isOn());
  EXPECT_EQ(changes, 1);
  s->touchDown();
  s->touchCancel();
  EXPECT_FALSE(s->isOn());

  Ref<kit::Slider> slider(new kit::Slider(Rect{0, 0, 100, 20}));
  slider->setMinimumValue(0.3);
  slider->setMaximumValue(1.2);
  int moved = 0;
  slider->addTarget("moved", Control::ValueChanged, [&](Control&) { ++moved; });
  slider->setValue(5);
  EXPECT_EQ(slider->value(), 1.2);
  slider->slideTo(-1);
  EXPECT_EQ(slider->value(), 0.3);
  slider->slideTo(0.3);  // no change, no event
  EXPECT_EQ(moved, 1);
}

TEST_F(ControlTest, LabelsMeasureAndShrinkDeterministically) {
  Ref<kit::Label> l(new kit::Label(Rect{0, 0, 50, 20}));
  l->setFont(kit::Font::systemFont(10));
  l->setText("abcdefghij");  // 10 characters × 5 points
  EXPECT_EQ(l->sizeThatFits({}), kit::Size(50, kit::Font::systemFont(10).lineHeight()));
  l->setText("abcdefghijklmnopqrst");
  EXPECT_EQ(l->effectiveFontSize(), 10);
  l->setAdjustsFontSizeToFitWidth(true);
  l->setMinimumFontSize(4);
  EXPECT_EQ(l->effectiveFontSize(), 5);
  l->setMinimumFontSize(8);
  EXPECT_EQ(l->effectiveFontSize(), 8);
  l->setNumberOfLines(0);
  EXPECT_EQ(l->sizeThatFits({50, 0}).height, 2 * kit::Font::systemFont(10).lineHeight());

  // A backend's measure replaces the headless one.
  kit::TextMeasurement::setMeasurer([](std::string_view, const kit::Font&, double) { return kit::Size{1, 2}; });
  EXPECT_EQ(kit::TextMeasurement::sizeOfText("anything", kit::Font::systemFont(12)), kit::Size(1, 2));
  kit::TextMeasurement::setMeasurer(nullptr);
  EXPECT_EQ(kit::TextMeasurement::sizeOfText("ab", kit::Font::systemFont(12)).width, 12);
}

TEST_F(ControlTest, ToolbarsLayOutItemsAndShareFlexibleSpace) {
  Ref<kit::Toolbar> bar(new kit::Toolbar(Rect{0, 0, 320, 44}));
  auto back = kit::BarButtonItem::withTitle("B");
  auto flex = kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::FlexibleSpace);
  auto fixed = kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::FixedSpace);
  fixed->setWidth(20);
  Ref<kit::View> custom = kit::View::view({0, 0, 60, 30});
  auto customItem = kit::BarButtonItem::withCustomView(custom.get());
  bar->setItems({back, flex, fixed, customItem});
  EXPECT_EQ(back->frameInBar().x(), kit::Toolbar::kEdgePadding);
  EXPECT_EQ(customItem->frameInBar().maxX(), 320 - kit::Toolbar::kEdgePadding);
  EXPECT_EQ(custom->superview(), bar.get());
  EXPECT_EQ(custom->frame(), customItem->frameInBar());
  bar->setFrame({0, 0, 1024, 44});  // the flexible space takes the new room
  EXPECT_EQ(customItem->frameInBar().maxX(), 1024 - kit::Toolbar::kEdgePadding);
  bar->setItems({back});
  EXPECT_EQ(custom->superview(), nullptr);
  EXPECT_EQ(customItem->bar(), nullptr);

  int taps = 0;
  back->setTarget("go", [&](kit::BarButtonItem&) { ++taps; });
  back->setEnabled(false);
  EXPECT_FALSE(back->tap());
  back->setEnabled(true);
  EXPECT_TRUE(back->tap());
  back->removeTarget("other");
  EXPECT_TRUE(back->hasAction());
  back->removeTarget("go");
  EXPECT_FALSE(back->tap());
  EXPECT_EQ(taps, 1);
}

}  // namespace

namespace {

struct NoteLog : kit::TextViewDelegate {
  std::vector<std::string> calls;
  bool textViewShouldChangeText(kit::TextView&, kit::Range r, const std::string& s) override {
    calls.push_back("change " + std::to_string(r.location) + " " + s);
    return true;
  }
  void textViewDidChange(kit::TextView& tv) override { calls.push_back("did " + tv.text()); }
  void textViewDidEndEditing(kit::TextView&) override { calls.push_back("end"); }
};

TEST_F(ControlTest, TextViewsTypeLinesAndHandOverTheKeyboard) {
  auto w = makeKeyWindow();
  Ref<kit::TextView> tv(new kit::TextView(Rect{0, 0, 300, 200}));
  w->addSubview(tv.get());
  NoteLog d;
  tv->setTextViewDelegate(&d);
  EXPECT_TRUE(tv->typeText("a\n"));
  EXPECT_EQ(tv->text(), "a\n");
  EXPECT_TRUE(kit::Keyboard::isVisible());
  Ref<TextField> f(new TextField(Rect{0, 300, 100, 30}));
  w->addSubview(f.get());
  f->becomeFirstResponder();
  EXPECT_FALSE(tv->isEditing());
  EXPECT_TRUE(kit::Keyboard::isVisible());
  EXPECT_EQ(d.calls, (std::vector<std::string>{"change 0 a", "did a", "change 1 \n", "did a\n", "end"}));
  tv->setEditable(false);
  EXPECT_FALSE(tv->becomeFirstResponder());
}

TEST_F(ControlTest, IndicatorsProgressAndImages) {
  Ref<kit::ActivityIndicatorView> spinner(new kit::ActivityIndicatorView());
  EXPECT_TRUE(spinner->isHidden());
  spinner->startAnimating();
  EXPECT_FALSE(spinner->isHidden());
  spinner->stopAnimating();
  EXPECT_TRUE(spinner->isHidden());
  spinner->setHidesWhenStopped(false);
  EXPECT_FALSE(spinner->isHidden());

  Ref<kit::ProgressView> bar(new kit::ProgressView());
  bar->setProgress(1.5);
  EXPECT_EQ(bar->progress(), 1);
  bar->setProgress(NAN);
  EXPECT_EQ(bar->progress(), 0);

  auto icon = kit::Image::imageWithSize({16, 16});
  auto lit = kit::Image::imageWithSize({16, 16});
  Ref<kit::ImageView> iv(new kit::ImageView(icon));
  EXPECT_EQ(iv->frame(), Rect(0, 0, 16, 16));
  iv->setHighlightedImage(lit);
  iv->setHighlighted(true);
  EXPECT_EQ(iv->currentImage(), lit.get());
  EXPECT_FALSE(iv->isUserInteractionEnabled());
}

}  // namespace
