// Alerts, action sheets and popovers: what a user answers and what the
// delegates hear.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTest.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/ViewController.h"

using kit::ActionSheet;
using kit::AlertView;
using kit::PopoverController;
using kit::Rect;
using kit::Ref;

namespace {

class OverlayTest : public uitest::UiTest {};

struct AlertLog : kit::AlertViewDelegate {
  std::vector<std::string> calls;
  void alertViewClickedButtonAtIndex(AlertView& a, long i) override { add("clicked", a, i); }
  void willPresentAlertView(AlertView& a) override { add("willPresent", a, -9); }
  void didPresentAlertView(AlertView& a) override { add("didPresent", a, -9); }
  void alertViewWillDismissWithButtonIndex(AlertView& a, long i) override { add("willDismiss", a, i); }
  void alertViewDidDismissWithButtonIndex(AlertView& a, long i) override { add("didDismiss", a, i); }
  void add(const std::string& what, AlertView& a, long i) {
    calls.push_back(what + " tag" + std::to_string(a.tag()) + (i == -9 ? "" : " " + std::to_string(i)));
  }
};

TEST_F(OverlayTest, AnsweringAnAlertTellsTheDelegateInOrder) {
  AlertLog d;
  {
    Ref<AlertView> alert(new AlertView("", "Do you want to clear the cache?", &d, "Cancel", {"Clear"}));
    alert->setTag(6);
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
    EXPECT_EQ(alert->buttonTitleAtIndex(1), "Clear");
    EXPECT_EQ(alert->buttonTitleAtIndex(7), "");
    alert->show();
    alert->show();  // already showing
  }
  // The showing alert is kept alive by its window.
  AlertView* shown = AlertView::topVisibleAlert();
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(kit::Window::alertWindow()->isHidden() == false);
  EXPECT_FALSE(shown->tapButton(2));  // no such button
  EXPECT_TRUE(shown->tapButton(1));
  EXPECT_EQ(AlertView::topVisibleAlert(), nullptr);
  EXPECT_TRUE(kit::Window::alertWindow()->isHidden());
  EXPECT_EQ(d.calls, (std::vector<std::string>{"willPresent tag6", "didPresent tag6", "clicked tag6 1",
                                               "willDismiss tag6 1", "didDismiss tag6 1"}));
}

TEST_F(OverlayTest, AlertsWithoutCancelAndDismissalFromCode) {
  AlertLog d;
  Ref<AlertView> a(new AlertView("Review helps us.", "Message", &d, "", {"Sure!", "Ask me later."}));
  EXPECT_EQ(a->cancelButtonIndex(), -1);
  EXPECT_EQ(a->addButtonWithTitle("No, Thanks."), 2);
  a->setCancelButtonIndex(2);
  Ref<AlertView> b(new AlertView("", "second", nullptr, "OK"));
  a->show();
  b->show();
  EXPECT_EQ(AlertView::visibleAlerts().size(), 2u);
  EXPECT_EQ(AlertView::topVisibleAlert(), b.get());
  EXPECT_TRUE(b->tapButtonWithTitle("OK"));
  d.calls.clear();
  a->dismissWithClickedButtonIndex(-1, false);  // from code: no "clicked"
  EXPECT_EQ(d.calls, (std::vector<std::string>{"willDismiss tag0 -1", "didDismiss tag0 -1"}));
  EXPECT_FALSE(a->isVisible());
  EXPECT_FALSE(a->tapButton(0));
}

// A sheet carrying the data its buttons act on, told about every dismissal.
class SheetWithData : public ActionSheet {
 public:
  using ActionSheet::ActionSheet;
  std::string data;
  std::vector<long> dismissed;
  void dismissWithClickedButtonIndex(long index, bool animated) override {
    dismissed.push_back(index);
    ActionSheet::dismissWithClickedButtonIndex(index, animated);
  }
};

struct SheetLog : kit::ActionSheetDelegate {
  std::vector<std::string> calls;
  void actionSheetClickedButtonAtIndex(ActionSheet& s, long i) override {
    auto* withData = dynamic_cast<SheetWithData*>(&s);
    calls.push_back("clicked " + std::to_string(i) + (withData ? " " + withData->data : ""));
  }
  void actionSheetDidDismissWithButtonIndex(ActionSheet&, long i) override {
    calls.push_back("didDismiss " + std::to_string(i));
  }
};

TEST_F(OverlayTest, ActionSheetsNumberButtonsAndLetSubclassesSeeEveryDismissal) {
  auto w = makeKeyWindow();
  SheetLog d;
  Ref<SheetWithData> sheet(new SheetWithData("Save password?", &d, "Cancel", "Never", {"Save", "Not now"}));
  sheet->data = "example.org";
  EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
  EXPECT_EQ(sheet->firstOtherButtonIndex(), 1);
  EXPECT_EQ(sheet->cancelButtonIndex(), 3);
  sheet->setTitle("Title set later");
  Ref<kit::View> page = kit::View::view({100, 100, 400, 300});
  w->addSubview(page.get());
  sheet->showFromRect({0, 0, 10, 10}, page.get(), true);
  EXPECT_EQ(sheet->anchor(), ActionSheet::Anchor::Rect);
  EXPECT_EQ(sheet->anchorRect(), Rect(100, 100, 10, 10));
  EXPECT_TRUE(sheet->tapButton(1));
  EXPECT_EQ(sheet->dismissed, (std::vector<long>{1}));
  EXPECT_EQ(d.calls, (std::vector<std::string>{"clicked 1 example.org", "didDismiss 1"}));

  // A tap outside counts as Cancel.
  d.calls.clear();
  sheet->showInView(page.get());
  EXPECT_TRUE(sheet->tapOutside());
  EXPECT_EQ(d.calls, (std::vector<std::string>{"clicked 3 example.org", "didDismiss 3"}));
}

TEST_F(OverlayTest, ActionSheetFromABarItemPointsAtTheItem) {
  auto w = makeKeyWindow();
  Ref<kit::Toolbar> bar(new kit::Toolbar(Rect{0, 724, 1024, 44}));
  w->addSubview(bar.get());
  auto action = kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::Action);
  bar->setItems({action});
  Ref<ActionSheet> sheet(new ActionSheet("Actions", nullptr, "Cancel", "", {"Print"}));
  sheet->showFromBarButtonItem(action.get(), true);
  EXPECT_EQ(sheet->anchorItem(), action.get());
  EXPECT_EQ(sheet->anchorRect(), action->frameInWindow());
  EXPECT_EQ(sheet->anchorRect().y(), 724 + 7);
  EXPECT_EQ(ActionSheet::topVisibleSheet(), sheet.get());
}

struct PopoverLog : kit::PopoverControllerDelegate {
  bool allow = true;
  int asked = 0, dismissed = 0;
  bool popoverControllerShouldDismissPopover(PopoverController&) override {
    ++asked;
    return allow;
  }
  void popoverControllerDidDismissPopover(PopoverController&) override { ++dismissed; }
};

TEST_F(OverlayTest, PopoversPlaceThemselvesBesideTheirAnchorAndAnswerOutsideTaps) {
  auto w = makeKeyWindow();
  Ref<kit::View> button = kit::View::view({500, 100, 40, 40});
  w->addSubview(button.get());
  Ref<kit::ViewController> list(new kit::ViewController());
  list->setContentSizeForViewInPopover({320, 300});
  PopoverLog d;
  kit::WeakRef<PopoverController> weak;
  {
    Ref<PopoverController> pop = PopoverController::withContentViewController(list.get());
    weak = pop.get();
    pop->setDelegate(&d);
    pop->setPassthroughViews({button});
    pop->presentPopoverFromRect({20, 0, 1, 1}, button.get(), kit::PopoverArrowAny, true);
  }
  Ref<PopoverController> pop = weak.lock();  // kept alive while showing
  ASSERT_TRUE(pop);
  EXPECT_TRUE(pop->isPopoverVisible());
  EXPECT_EQ(pop->popoverArrowDirection(), kit::PopoverArrowUp);
  Rect f = pop->popoverView()->frame();
  EXPECT_EQ(f.size, kit::Size(320, 300));
  EXPECT_GT(f.y(), 100);
  EXPECT_EQ(list->view()->window(), w.get());
  loop().advance(1);
  EXPECT_EQ(list->appearanceState(), kit::ViewController::AppearanceState::Appeared);

  EXPECT_FALSE(pop->tapOutside(button.get()));  // pass-through view
  EXPECT_EQ(d.asked, 0);
  d.allow = false;
  EXPECT_FALSE(pop->tapOutside());
  EXPECT_TRUE(pop->isPopoverVisible());
  d.allow = true;
  EXPECT_TRUE(pop->tapOutside());
  EXPECT_EQ(d.dismissed, 1);
  EXPECT_FALSE(pop->isPopoverVisible());
  EXPECT_EQ(pop->popoverView()->superview(), nullptr);

  // Dismissal from code does not tell the delegate.
  pop->presentPopoverFromRect({0, 700, 10, 10}, w.get(), kit::PopoverArrowDown, false);
  EXPECT_EQ(pop->popoverView()->frame().maxY(), 700 - 13);
  pop->dismissPopoverAnimated(false);
  EXPECT_EQ(d.dismissed, 1);
  pop = nullptr;
  EXPECT_TRUE(weak.expired());
}

TEST_F(OverlayTest, PopoversWithoutArrowsCentreOnTheAnchorAndStayInTheWindow) {
  auto w = makeKeyWindow();
  Ref<kit::ViewController> content(new kit::ViewController());
  Ref<PopoverController> pop = PopoverController::withContentViewController(content.get());
  pop->setPopoverContentSize({320, 300});
  pop->presentPopoverFromRect({512, 384, 1, 1}, w.get(), 0, true);
  EXPECT_EQ(pop->popoverArrowDirection(), kit::PopoverArrowUnknown);
  EXPECT_EQ(pop->popoverView()->frame().center(), kit::Point(512.5, 384.5));
  // Too big for the window, and from a bar item in no bar (the key window's corner).
  pop->setPopoverContentSize({5000, 5000});
  auto loose = kit::BarButtonItem::withTitle("x");
  pop->presentPopoverFromBarButtonItem(loose.get(), kit::PopoverArrowAny, false);
  EXPECT_TRUE(w->bounds().contains(pop->popoverView()->frame()));
  pop->dismissPopoverAnimated(false);
}

}  // namespace
