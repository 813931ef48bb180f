// A kit view tree shown in a GTK window and driven through the X server.

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <cmath>
#include <functional>

#include "kit/gtk/ViewWidget.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Button.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/Layer.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/Slider.h"
#include "kit/ui/Switch.h"
#include "kit/ui/ActivityIndicatorView.h"
#include "kit/ui/TapGestureRecognizer.h"
#include "kit/ui/TextField.h"
#include "kit/ui/TextMeasurement.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/ViewRenderer.h"
#include "support/GuiFixture.h"

namespace {

using kit::Rect;
using kit::Ref;
using tolvatest::GuiFixture;

struct FieldDelegate : kit::TextFieldDelegate {
  int returns = 0;
  std::string refuse;  // characters the field may not take
  bool textFieldShouldReturn(kit::TextField&) override {
    ++returns;
    return true;
  }
  bool textFieldShouldChangeCharacters(kit::TextField&, kit::Range, const std::string& s) override {
    return refuse.empty() || s.find_first_of(refuse) == std::string::npos;
  }
};

struct AlertRecorder : kit::AlertViewDelegate {
  std::vector<long> clicked, dismissed;
  void alertViewClickedButtonAtIndex(kit::AlertView&, long i) override { clicked.push_back(i); }
  void alertViewDidDismissWithButtonIndex(kit::AlertView&, long i) override { dismissed.push_back(i); }
};

struct SheetRecorder : kit::ActionSheetDelegate {
  std::vector<long> clicked;
  void actionSheetClickedButtonAtIndex(kit::ActionSheet&, long i) override { clicked.push_back(i); }
};

class ViewTreeTest : public GuiFixture {
 protected:
  void SetUp() override {
    GuiFixture::SetUp();
    window_ = kit::Window::window(Rect(0, 0, 480, 320));
    root_ = kit::View::view(window_->bounds());
    root_->setBackgroundColor(kit::Color::whiteColor());
    root_->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
    window_->addSubview(root_.get());
    button_ = Ref<kit::Button>(new kit::Button(Rect(20, 20, 120, 40), kit::Button::Type::RoundedRect));
    button_->setTitle("Press me");
    button_->addTarget("pressed", kit::Control::TouchUpInside, [this](kit::Control&) { ++presses_; });
    root_->addSubview(button_.get());
    field_ = Ref<kit::TextField>(new kit::TextField(Rect(20, 80, 300, 32)));
    field_->setBorderStyle(kit::TextField::BorderStyle::RoundedRect);
    field_->setPlaceholder("Type here");
    field_->setDelegate(&fieldDelegate_);
    field_->setAutoresizingMask(kit::View::FlexibleWidth);
    root_->addSubview(field_.get());
    label_ = Ref<kit::Label>(new kit::Label(Rect(20, 130, 300, 24)));
    label_->setText("A label");
    root_->addSubview(label_.get());
    window_->makeKeyAndVisible();
    screenshotWindow(window_.get());
    settle();
  }
  void TearDown() override {
    GuiFixture::TearDown();
    field_->resignFirstResponder();
    window_->setHidden(true);
    root_->removeFromSuperview();
    settle();
  }

  GtkWidget* widget(kit::View* v) { return kit::gtk::WidgetTree::installed()->widgetFor(v); }
  GtkAllocation allocation(kit::View* v) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget(v), &a);
    return a;
  }

  Ref<kit::Window> window_;
  Ref<kit::View> root_;
  Ref<kit::Button> button_;
  Ref<kit::TextField> field_;
  Ref<kit::Label> label_;
  FieldDelegate fieldDelegate_;
  int presses_ = 0;
};

TEST_F(ViewTreeTest, EveryViewGetsAWidgetOfItsKindAtItsExactFrame) {
  auto* tree = kit::gtk::WidgetTree::installed();
  ASSERT_NE(tree->toplevelFor(window_.get()), nullptr);
  ASSERT_NE(widget(button_.get()), nullptr);
  EXPECT_TRUE(GTK_IS_BUTTON(tree->bindingFor(button_.get())->content()));
  EXPECT_TRUE(GTK_IS_ENTRY(tree->bindingFor(field_.get())->content()));
  EXPECT_TRUE(GTK_IS_LABEL(tree->bindingFor(label_.get())->content()));
  for (kit::View* v : {static_cast<kit::View*>(button_.get()), static_cast<kit::View*>(field_.get()),
                       static_cast<kit::View*>(label_.get())}) {
    const GtkAllocation a = allocation(v);
    EXPECT_EQ(a.x, int(v->frame().x())) << v->className();
    EXPECT_EQ(a.y, int(v->frame().y())) << v->className();
    EXPECT_EQ(a.width, int(v->frame().width())) << v->className();
    EXPECT_EQ(a.height, int(v->frame().height())) << v->className();
    // The kind's widget fills its box exactly, whatever the theme's minimum.
    GtkAllocation c;
    gtk_widget_get_allocation(tree->bindingFor(v)->content(), &c);
    EXPECT_EQ(c.width, a.width) << v->className();
    EXPECT_EQ(c.height, a.height) << v->className();
  }
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(tree->bindingFor(label_.get())->content())), "A label");
}

TEST_F(ViewTreeTest, ChangesFollowTheKitView) {
  auto* tree = kit::gtk::WidgetTree::installed();
  label_->setText("Changed");
  button_->setFrame(Rect(200, 10, 90, 30));
  label_->setHidden(true);
  field_->setText("set by code");
  settle();
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(tree->bindingFor(label_.get())->content())), "Changed");
  EXPECT_FALSE(gtk_widget_get_visible(widget(label_.get())));
  const GtkAllocation a = allocation(button_.get());
  EXPECT_EQ(a.x, 200);
  EXPECT_EQ(a.width, 90);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(tree->bindingFor(field_.get())->content())), "set by code");
  // Removing a view drops its widgets; adding it back makes new ones.
  label_->removeFromSuperview();
  EXPECT_EQ(tree->bindingFor(label_.get()), nullptr);
  root_->insertSubview(label_.get(), 0);
  ASSERT_NE(tree->bindingFor(label_.get()), nullptr);
  // Stacking follows the subview order: the label is now at the bottom.
  GList* kids = gtk_container_get_children(GTK_CONTAINER(widget(root_.get())));
  EXPECT_EQ(GTK_WIDGET(kids->data), widget(label_.get()));
  g_list_free(kids);
}

TEST_F(ViewTreeTest, AClickOnTheButtonSendsItsAction) {
  click(button_.get(), {60, 20});
  EXPECT_TRUE(waitUntil([&] { return presses_ == 1; }, 5));
  EXPECT_FALSE(button_->isHighlighted());
  // A disabled button ignores the click.
  button_->setEnabled(false);
  click(button_.get(), {60, 20});
  settle();
  EXPECT_EQ(presses_, 1);
  EXPECT_FALSE(gtk_widget_get_sensitive(kit::gtk::WidgetTree::installed()->bindingFor(button_.get())->content()));
}

// A disabled button or bar item draws dimmed, though its title has a colour
// of its own that the theme's disabled look would not change.
TEST_F(ViewTreeTest, DisabledButtonsAndBarItemsDrawDimmed) {
  button_->setTitleColor(kit::Color::blackColor());
  Ref<kit::Toolbar> bar(new kit::Toolbar(Rect(0, 276, 480, 44)));
  Ref<kit::BarButtonItem> item = kit::BarButtonItem::withTitle("Resume", kit::BarButtonItem::Style::Plain, "resume",
                                                               [](kit::BarButtonItem&) {});
  bar->setItems({item});
  root_->addSubview(bar.get());
  // The darkest red value inside `r` of a picture of the root view.
  auto darkestIn = [](kit::View& root, kit::Rect r) {
    settle();
    Ref<kit::Image> picture = kit::ViewRenderer::renderView(root);
    uint32_t darkest = 0xFF;
    for (auto y = size_t(r.y()); y < size_t(r.maxY()); ++y)
      for (auto x = size_t(r.x()); x < size_t(r.maxX()); ++x) darkest = std::min(darkest, picture->pixelAt(x, y) >> 24);
    return darkest;
  };
  const kit::Rect title = button_->frame().insetBy(10, 8);
  const kit::Rect itemTitle = item->frameInWindow().insetBy(2, 8);
  const uint32_t enabled = darkestIn(*root_, title), itemEnabled = darkestIn(*root_, itemTitle);
  ASSERT_LT(enabled, 0x40u);
  ASSERT_LT(itemEnabled, 0x40u);
  button_->setEnabled(false);
  item->setEnabled(false);
  EXPECT_GT(darkestIn(*root_, title), 0x70u) << enabled;
  EXPECT_GT(darkestIn(*root_, itemTitle), 0x70u) << itemEnabled;
  bar->removeFromSuperview();
}

TEST_F(ViewTreeTest, TypingGoesThroughTheFieldAndItsDelegate) {
  click(field_.get(), {30, 16});
  ASSERT_TRUE(waitUntil([&] { return field_->isEditing(); }, 5));
  GtkWidget* entry = kit::gtk::WidgetTree::installed()->bindingFor(field_.get())->content();
  ASSERT_TRUE(waitUntil([&] { return gtk_widget_has_focus(entry) != FALSE; }, 5));
  int changes = 0;
  field_->addTarget("changed", kit::Control::EditingChanged, [&](kit::Control&) { ++changes; });
  fieldDelegate_.refuse = "!";
  typeKeys(field_.get(), "ab!c");
  EXPECT_TRUE(waitUntil([&] { return field_->text() == "abc"; }, 5)) << field_->text();
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "abc");
  EXPECT_EQ(changes, 3);
  pressKey(field_.get(), GDK_KEY_BackSpace);
  EXPECT_TRUE(waitUntil([&] { return field_->text() == "ab"; }, 5)) << field_->text();
  pressKey(field_.get(), GDK_KEY_Return);
  EXPECT_TRUE(waitUntil([&] { return fieldDelegate_.returns == 1; }, 5));
  // Ending editing in kit takes GTK's focus off the entry.
  field_->resignFirstResponder();
  settle();
  EXPECT_FALSE(gtk_widget_has_focus(entry));

  // Two focus changes GTK reports before kit catches up: kit follows the
  // later one and the two come to rest, rather than chasing each other.
  GtkWindow* top = GTK_WINDOW(gtk_widget_get_toplevel(entry));
  int reports = 0;
  const gulong counting = g_signal_connect_swapped(top, "set-focus", G_CALLBACK(+[](int* n) { ++*n; }), &reports);
  gtk_window_set_focus(top, entry);
  gtk_window_set_focus(top, nullptr);
  waitUntil(nullptr, 0.5);
  EXPECT_LT(reports, 6) << "focus went back and forth " << reports << " times";
  EXPECT_FALSE(field_->isFirstResponder());
  EXPECT_FALSE(gtk_widget_has_focus(entry));
  g_signal_handler_disconnect(top, counting);
}

TEST_F(ViewTreeTest, ResizingTheWindowResizesTheKitWindowAndAutoresizes) {
  GtkWindow* top = kit::gtk::WidgetTree::installed()->toplevelFor(window_.get());
  gtk_window_resize(top, 640, 400);
  ASSERT_TRUE(waitUntil([&] { return window_->frame().width() == 640 && window_->frame().height() == 400; }, 5))
      << kit::toString(window_->frame());
  EXPECT_EQ(root_->frame().width(), 640);
  EXPECT_EQ(field_->frame().width(), 300 + 160);
  settle();
  EXPECT_EQ(allocation(field_.get()).width, 460);
  gtk_window_resize(top, 480, 320);
  waitUntil([&] { return window_->frame().width() == 480; }, 5);
}

TEST_F(ViewTreeTest, GestureRecognisersSeeTapsAndLongPresses) {
  Ref<kit::View> pad = kit::View::view(Rect(340, 20, 120, 120));
  pad->setBackgroundColor(kit::Color::rgba(0.2, 0.5, 0.9));
  root_->addSubview(pad.get());
  int taps = 0, doubleTaps = 0, longPresses = 0;
  Ref<kit::TapGestureRecognizer> tap(new kit::TapGestureRecognizer("tap", [&](kit::GestureRecognizer&) { ++taps; }));
  Ref<kit::TapGestureRecognizer> twice(
      new kit::TapGestureRecognizer("twice", [&](kit::GestureRecognizer&) { ++doubleTaps; }));
  twice->setNumberOfTapsRequired(2);
  Ref<kit::LongPressGestureRecognizer> hold(new kit::LongPressGestureRecognizer(
      "hold", [&](kit::GestureRecognizer& r) { longPresses += r.state() == kit::GestureRecognizer::State::Began; }));
  hold->setMinimumPressDuration(0.3);
  pad->addGestureRecognizer(tap.get());
  pad->addGestureRecognizer(twice.get());
  pad->addGestureRecognizer(hold.get());
  settle();
  click(pad.get(), {60, 60});
  EXPECT_TRUE(waitUntil([&] { return taps == 1; }, 5));
  click(pad.get(), {60, 60});
  EXPECT_TRUE(waitUntil([&] { return doubleTaps == 1; }, 5));
  // Press, hold past the minimum duration, release.
  g_usleep(600 * 1000);  // past the double-click time, so this is a fresh press
  pointerTo(pad.get(), {400, 80});
  pressButton(true);
  EXPECT_TRUE(waitUntil([&] { return longPresses == 1; }, 5));
  pressButton(false);
  settle();
  EXPECT_EQ(taps, 1);
  pad->removeFromSuperview();
}

TEST_F(ViewTreeTest, AlertsAreDialogsAnsweredThroughTheKitAlert) {
  AlertRecorder recorder;
  Ref<kit::AlertView> alert(new kit::AlertView(
      "", "The file 'a-report-with-a-rather-long-name.pdf' can not be displayed. Would you like to download it?",
      &recorder, "Cancel", {"Yes", "No"}));
  alert->show();
  auto* tree = kit::gtk::WidgetTree::installed();
  ASSERT_EQ(tree->dialogs().size(), 1u);
  GtkWidget* dialog = tree->dialogs().front();
  settle();
  // As tall as its wrapped text at its width: no empty band above the buttons.
  int w = 0, h = 0, minimum = 0, natural = 0;
  gtk_window_get_size(GTK_WINDOW(dialog), &w, &h);
  gtk_widget_get_preferred_height_for_width(dialog, w, &minimum, &natural);
  EXPECT_LE(h, natural + 2) << w;
  saveScreenshot("ViewTreeTest.AlertShown");
  gtk_dialog_response(GTK_DIALOG(dialog), 1);
  ASSERT_TRUE(waitUntil([&] { return !recorder.dismissed.empty(); }, 5));
  EXPECT_EQ(recorder.clicked, (std::vector<long>{1}));
  EXPECT_EQ(recorder.dismissed, (std::vector<long>{1}));
  EXPECT_TRUE(tree->dialogs().empty());
  // Dismissed from code: the dialog goes too, and nobody is told of a click.
  Ref<kit::AlertView> second(new kit::AlertView("Later", "", &recorder, "OK"));
  second->show();
  ASSERT_EQ(tree->dialogs().size(), 1u);
  second->dismissWithClickedButtonIndex(0, false);
  EXPECT_TRUE(tree->dialogs().empty());
  EXPECT_EQ(recorder.clicked.size(), 1u);
}

TEST_F(ViewTreeTest, ActionSheetButtonsKeepTheirIndexes) {
  SheetRecorder recorder;
  Ref<kit::ActionSheet> sheet(new kit::ActionSheet("Share", &recorder, "Cancel", "Delete", {"Mail", "Copy"}));
  sheet->showInView(root_.get());
  auto* tree = kit::gtk::WidgetTree::installed();
  ASSERT_EQ(tree->dialogs().size(), 1u);
  // Buttons in kit's order: destructive, others, cancel; press "Copy".
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(tree->dialogs().front()));
  GList* kids = gtk_container_get_children(GTK_CONTAINER(area));
  std::vector<GtkWidget*> buttons;
  for (GList* l = kids; l; l = l->next)
    if (GTK_IS_BUTTON(l->data)) buttons.push_back(GTK_WIDGET(l->data));
  g_list_free(kids);
  ASSERT_EQ(buttons.size(), 4u);
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(buttons[0])), "Delete");
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(buttons[3])), "Cancel");
  gtk_button_clicked(GTK_BUTTON(buttons[2]));
  ASSERT_TRUE(waitUntil([&] { return !recorder.clicked.empty(); }, 5));
  EXPECT_EQ(recorder.clicked, (std::vector<long>{2}));
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_TRUE(tree->dialogs().empty());
}

TEST_F(ViewTreeTest, PopoversAreGtkPopoversAndClosingOneAsksTheController) {
  Ref<kit::ViewController> content(new kit::ViewController());
  content->view()->setBackgroundColor(kit::Color::rgba(1, 0.9, 0.6));
  content->setContentSizeForViewInPopover({200, 120});
  Ref<kit::PopoverController> popover = kit::PopoverController::withContentViewController(content.get());
  popover->presentPopoverFromRect(Rect(0, 0, 120, 40), button_.get(), kit::PopoverArrowAny, false);
  settle();
  auto* tree = kit::gtk::WidgetTree::installed();
  kit::gtk::ViewWidget* panel = tree->bindingFor(popover->popoverView());
  ASSERT_NE(panel, nullptr);
  ASSERT_NE(panel->popover(), nullptr);
  EXPECT_TRUE(gtk_widget_get_visible(panel->popover()));
  saveScreenshot("ViewTreeTest.PopoverShown");
  g_signal_emit_by_name(panel->popover(), "closed");  // what a click outside ends in
  EXPECT_TRUE(waitUntil([&] { return !popover->isPopoverVisible(); }, 5));
  EXPECT_EQ(tree->bindingFor(popover->popoverView()), nullptr);
}

TEST_F(ViewTreeTest, ASwitchFlipsOnceAndASliderReportsTheUsersValue) {
  auto* tree = kit::gtk::WidgetTree::installed();
  Ref<kit::Switch> toggle(new kit::Switch(Rect(340, 20, 79, 27)));
  Ref<kit::Slider> slider(new kit::Slider(Rect(20, 200, 300, 30)));
  int flips = 0, slides = 0;
  toggle->addTarget("flip", kit::Control::ValueChanged, [&](kit::Control&) { ++flips; });
  slider->addTarget("slide", kit::Control::ValueChanged, [&](kit::Control&) { ++slides; });
  root_->addSubview(toggle.get());
  root_->addSubview(slider.get());
  settle();
  click(toggle.get(), {40, 13});
  ASSERT_TRUE(waitUntil([&] { return flips == 1; }, 5));
  settle();
  EXPECT_TRUE(toggle->isOn());
  EXPECT_TRUE(gtk_switch_get_active(GTK_SWITCH(tree->bindingFor(toggle.get())->content())));
  // Set from code: GTK follows, and nobody hears of a user's change.
  toggle->setOn(false);
  slider->setValue(0.25);
  settle();
  EXPECT_FALSE(gtk_switch_get_active(GTK_SWITCH(tree->bindingFor(toggle.get())->content())));
  GtkRange* range = GTK_RANGE(tree->bindingFor(slider.get())->content());
  EXPECT_DOUBLE_EQ(gtk_range_get_value(range), 0.25);
  EXPECT_EQ(slides, 0);
  EXPECT_EQ(flips, 1);
  gtk_range_set_value(range, 0.75);  // what the user's drag of the thumb does
  ASSERT_TRUE(waitUntil([&] { return slides > 0; }, 5));
  EXPECT_DOUBLE_EQ(slider->value(), 0.75);
  toggle->removeFromSuperview();
  slider->removeFromSuperview();
}

// The buttons GTK shows for a bar's items, in bar coordinates.
std::vector<GtkWidget*> barButtons(kit::View* bar) {
  std::vector<GtkWidget*> out;
  std::function<void(GtkWidget*)> walk = [&](GtkWidget* w) {
    if (GTK_IS_BUTTON(w) && gtk_style_context_has_class(gtk_widget_get_style_context(w), "kit-bar-item"))
      out.push_back(w);
    if (GTK_IS_CONTAINER(w) && !GTK_IS_BUTTON(w)) {
      GList* kids = gtk_container_get_children(GTK_CONTAINER(w));
      for (GList* l = kids; l; l = l->next) walk(GTK_WIDGET(l->data));
      g_list_free(kids);
    }
  };
  walk(kit::gtk::WidgetTree::installed()->widgetFor(bar));
  return out;
}

// A titled bar item given its text's measured width and four pixels a side
// (what a narrow bar leaves it) shows its whole title.
TEST_F(ViewTreeTest, ABarItemAsWideAsItsMeasuredTitleShowsItWhole) {
  Ref<kit::Toolbar> bar(new kit::Toolbar(Rect(0, 276, 480, 44)));
  bar->setBarStyle(kit::BarStyle::Black);
  std::vector<Ref<kit::BarButtonItem>> items;
  for (const char* title : {"Command", "Reader"}) {
    items.push_back(kit::BarButtonItem::withTitle(title, kit::BarButtonItem::Style::Plain, "act", [](kit::BarButtonItem&) {}));
    items.back()->setWidth(std::ceil(kit::TextMeasurement::sizeOfText(title, kit::Font::boldSystemFont(12)).width) + 8);
  }
  bar->setItems(items);
  root_->addSubview(bar.get());
  settle();
  std::vector<GtkWidget*> labels;
  std::function<void(GtkWidget*)> walk = [&](GtkWidget* w) {
    if (GTK_IS_LABEL(w)) labels.push_back(w);
    if (GTK_IS_CONTAINER(w)) {
      GList* kids = gtk_container_get_children(GTK_CONTAINER(w));
      for (GList* k = kids; k; k = k->next) walk(GTK_WIDGET(k->data));
      g_list_free(kids);
    }
  };
  for (GtkWidget* button : barButtons(bar.get())) walk(button);
  ASSERT_EQ(labels.size(), 2u);
  for (GtkWidget* l : labels)
    EXPECT_FALSE(pango_layout_is_ellipsized(gtk_label_get_layout(GTK_LABEL(l)))) << gtk_label_get_text(GTK_LABEL(l));
  bar->removeFromSuperview();
}

TEST_F(ViewTreeTest, NavigationAndModalControllersAreShownAndTheirBarsWork) {
  Ref<kit::ViewController> first(new kit::ViewController());
  first->setTitle("First");
  first->view()->setBackgroundColor(kit::Color::rgba(0.9, 0.95, 1));
  Ref<kit::NavigationController> nav = kit::NavigationController::withRootViewController(first.get());
  nav->view()->setFrame(root_->bounds());
  root_->addSubview(nav->view());
  Ref<kit::ViewController> second(new kit::ViewController());
  second->setTitle("Second");
  nav->pushViewController(second.get(), false);
  settle();
  auto* tree = kit::gtk::WidgetTree::installed();
  ASSERT_NE(tree->widgetFor(second->view()), nullptr);
  EXPECT_EQ(tree->widgetFor(first->view()), nullptr);  // no longer in the tree
  // The bar shows the back button; clicking it pops, as a user's tap would.
  auto buttons = barButtons(nav->navigationBar());
  ASSERT_EQ(buttons.size(), 1u);
  GtkAllocation a;
  gtk_widget_get_allocation(buttons[0], &a);
  const kit::Rect back = nav->navigationBar()->backButton()->frameInBar();
  EXPECT_EQ(a.width, int(std::lround(back.width())));
  click(nav->navigationBar(), {back.midX(), back.midY()});
  ASSERT_TRUE(waitUntil([&] { return nav->topViewController() == first.get(); }, 5));
  EXPECT_NE(tree->widgetFor(first->view()), nullptr);
  // A modal controller covers the window while presented.
  Ref<kit::BarButtonItem> edit = kit::BarButtonItem::withTitle("Edit");
  first->navigationItem()->setRightBarButtonItem(edit.get());
  pointerTo(root_.get(), {10, 300});
  Ref<kit::ViewController> modal(new kit::ViewController());
  modal->view()->setBackgroundColor(kit::Color::rgba(0.3, 0.3, 0.35));
  first->presentViewController(modal.get(), false);
  settle();
  ASSERT_NE(tree->widgetFor(modal->view()), nullptr);
  EXPECT_TRUE(gtk_widget_is_drawable(tree->widgetFor(modal->view())));
  saveScreenshot("ViewTreeTest.ModalShown");
  // The bar item under it neither lights up under the pointer nor shows its tooltip.
  ASSERT_EQ(barButtons(nav->navigationBar()).size(), 1u);
  pointerTo(nav->navigationBar(), {edit->frameInBar().midX(), edit->frameInBar().midY()});
  settle();
  EXPECT_FALSE(gtk_widget_get_state_flags(barButtons(nav->navigationBar())[0]) & GTK_STATE_FLAG_PRELIGHT)
      << "a bar item under a presented screen lights up";
  first->dismissViewControllerAnimated(false);
  settle();
  EXPECT_EQ(tree->widgetFor(modal->view()), nullptr);
  nav->view()->removeFromSuperview();
}

// On a narrow bar the title starts after the back button instead of under it.
TEST_F(ViewTreeTest, ANavigationTitleKeepsClearOfTheBackButton) {
  Ref<kit::ViewController> first(new kit::ViewController());
  first->setTitle("Bookmarks");
  Ref<kit::NavigationController> nav = kit::NavigationController::withRootViewController(first.get());
  nav->view()->setFrame(Rect(0, 0, 320, 400));
  root_->addSubview(nav->view());
  Ref<kit::ViewController> second(new kit::ViewController());
  second->setTitle("Edit Bookmark");
  nav->pushViewController(second.get(), false);
  settle();
  GtkWidget* title = nullptr;
  std::function<void(GtkWidget*)> walk = [&](GtkWidget* w) {
    if (GTK_IS_LABEL(w) && std::string(gtk_label_get_text(GTK_LABEL(w))) == "Edit Bookmark") title = w;
    if (GTK_IS_CONTAINER(w) && !GTK_IS_BUTTON(w)) {
      GList* kids = gtk_container_get_children(GTK_CONTAINER(w));
      for (GList* k = kids; k; k = k->next) walk(GTK_WIDGET(k->data));
      g_list_free(kids);
    }
  };
  walk(kit::gtk::WidgetTree::installed()->widgetFor(nav->navigationBar()));
  ASSERT_NE(title, nullptr);
  auto buttons = barButtons(nav->navigationBar());
  ASSERT_EQ(buttons.size(), 1u);
  GtkAllocation t, back;
  gtk_widget_get_allocation(title, &t);
  gtk_widget_get_allocation(buttons[0], &back);
  EXPECT_GE(t.x, back.x + back.width) << "the back button covers the title";
  EXPECT_LE(t.x + t.width, 320);
  nav->view()->removeFromSuperview();
}

TEST_F(ViewTreeTest, AHiddenWindowLetsGoOfItsWidgetsAndGetsThemBackWhenShown) {
  auto* tree = kit::gtk::WidgetTree::installed();
  window_->setHidden(true);
  EXPECT_EQ(tree->toplevelFor(window_.get()), nullptr);
  EXPECT_EQ(tree->bindingFor(button_.get()), nullptr);
  window_->makeKeyAndVisible();
  settle();
  ASSERT_NE(tree->bindingFor(button_.get()), nullptr);
  click(button_.get(), {60, 20});
  EXPECT_TRUE(waitUntil([&] { return presses_ == 1; }, 5));
}

TEST_F(ViewTreeTest, TextIsMeasuredInRealFontsAndViewsRenderToPixels) {
  const kit::Size one = kit::TextMeasurement::sizeOfText("iiii", kit::Font::systemFont(17));
  const kit::Size two = kit::TextMeasurement::sizeOfText("WWWW", kit::Font::systemFont(17));
  EXPECT_GT(two.width, one.width);  // proportional, unlike the headless measure
  EXPECT_GT(one.height, 0);
  const kit::Size wrapped = kit::TextMeasurement::sizeOfText("word word word word word", kit::Font::systemFont(17), 60);
  EXPECT_LE(wrapped.width, 60);
  EXPECT_GT(wrapped.height, one.height * 2);
  // A truncating label of any number of lines wraps in the height it is given.
  Ref<kit::Label> note(new kit::Label(Rect(20, 260, 60, wrapped.height)));
  note->setText("word word word word word");
  note->setFont(kit::Font::systemFont(17));
  note->setNumberOfLines(0);
  note->setLineBreakMode(kit::LineBreakMode::TailTruncation);
  root_->addSubview(note.get());
  settle();
  GtkWidget* noteWidget = kit::gtk::WidgetTree::installed()->widgetFor(note.get());
  ASSERT_NE(noteWidget, nullptr);
  GtkWidget* noteLabel = nullptr;
  std::function<void(GtkWidget*)> find = [&](GtkWidget* w) {
    if (GTK_IS_LABEL(w)) noteLabel = w;
    if (GTK_IS_CONTAINER(w)) {
      GList* kids = gtk_container_get_children(GTK_CONTAINER(w));
      for (GList* k = kids; k; k = k->next) find(GTK_WIDGET(k->data));
      g_list_free(kids);
    }
  };
  find(noteWidget);
  ASSERT_NE(noteLabel, nullptr);
  EXPECT_GT(pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(noteLabel))), 1) << "cut to one line";
  note->removeFromSuperview();
  // So does a button's title of any number of lines.
  Ref<kit::Button> option(new kit::Button(Rect(20, 260, 60, wrapped.height), kit::Button::Type::Custom));
  option->setTitle("word word word word word");
  option->titleLabel()->setFont(kit::Font::systemFont(17));
  option->titleLabel()->setNumberOfLines(0);
  root_->addSubview(option.get());
  settle();
  noteLabel = nullptr;
  find(kit::gtk::WidgetTree::installed()->widgetFor(option.get()));
  ASSERT_NE(noteLabel, nullptr);
  EXPECT_GT(pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(noteLabel))), 1) << "a title cut to one line";
  option->removeFromSuperview();
  // A view that casts a shadow darkens what lies just below it.
  Ref<kit::View> badge = kit::View::view(Rect(300, 200, 40, 18));
  badge->setBackgroundColor(kit::Color::rgba(0.53, 0.6, 0.738, 1));
  badge->layer()->setCornerRadius(4);
  badge->layer()->setShadowOffset(kit::Size{0, 4});
  badge->layer()->setShadowRadius(1);
  badge->layer()->setShadowOpacity(0.8);
  root_->addSubview(badge.get());
  // A label's shadow follows its text: white text shows only by its shadow.
  Ref<kit::Label> shaded(new kit::Label(Rect(20, 200, 120, 24)));
  shaded->setText("Shadowed");
  shaded->setTextColor(kit::Color::whiteColor());
  shaded->layer()->setShadowOffset(kit::Size{0, 1});
  shaded->layer()->setShadowRadius(1);
  shaded->layer()->setShadowOpacity(0.8);
  root_->addSubview(shaded.get());
  settle();
  Ref<kit::Image> picture = kit::ViewRenderer::renderView(*root_);
  ASSERT_TRUE(picture->hasPixels());
  EXPECT_EQ(picture->pixelWidth(), 480u);
  EXPECT_EQ(picture->pixelAt(470, 310), 0xFFFFFFFFu);  // the white root
  const uint32_t under = picture->pixelAt(320, 220);
  EXPECT_LT(under >> 24, 0x80u) << std::hex << under;  // red channel well below white
  EXPECT_EQ(picture->pixelAt(320, 232), 0xFFFFFFFFu);
  EXPECT_EQ(picture->pixelAt(350, 210), 0xFFFFFFFFu);
  uint32_t darkest = 0xFF;
  for (size_t y = 200; y < 224; ++y)
    for (size_t x = 20; x < 140; ++x) darkest = std::min(darkest, picture->pixelAt(x, y) >> 24);
  EXPECT_LT(darkest, 0xC0u);
}

// The indicator is drawn by kit itself (the theme's spinner is a vector icon).
TEST_F(ViewTreeTest, AnActivityIndicatorDrawsOnlyWhileItSpins) {
  Ref<kit::ActivityIndicatorView> spinner(new kit::ActivityIndicatorView(kit::ActivityIndicatorView::Style::Gray));
  spinner->setFrame(Rect(400, 20, 24, 24));
  spinner->setHidesWhenStopped(false);
  root_->addSubview(spinner.get());
  settle();
  auto inked = [&] {
    Ref<kit::Image> picture = kit::ViewRenderer::renderView(*spinner);
    size_t n = 0;
    for (size_t y = 0; y < picture->pixelHeight(); ++y)
      for (size_t x = 0; x < picture->pixelWidth(); ++x) n += (picture->pixelAt(x, y) & 0xffu) != 0;
    return n;
  };
  EXPECT_EQ(inked(), 0u);
  spinner->startAnimating();
  settle();
  EXPECT_GT(inked(), 20u);
  spinner->stopAnimating();
  settle();
  EXPECT_EQ(inked(), 0u);
  spinner->removeFromSuperview();
}

}  // namespace

namespace {

TEST_F(ViewTreeTest, ATurnedImageKeepsItsSizeAndTurnsWhatItCarries) {
  Ref<kit::ImageView> disc = kit::make<kit::ImageView>(Rect(100, 180, 100, 100));
  Ref<kit::ImageView> knob = kit::make<kit::ImageView>(Rect(70, 40, 20, 20));  // right of the middle
  disc->addSubview(knob.get());
  root_->addSubview(disc.get());
  settle();
  GtkAllocation a = allocation(knob.get());
  EXPECT_EQ(a.x, 170);
  EXPECT_EQ(a.y, 220);

  // A quarter turn: the disc's widget keeps 100 x 100 (not the box around
  // it) and the knob goes from the right of the middle to below it.
  disc->setTransform(kit::AffineTransform::rotation(M_PI / 2));
  settle();
  a = allocation(disc.get());
  EXPECT_EQ(a.width, 100);
  EXPECT_EQ(a.height, 100);
  a = allocation(knob.get());
  EXPECT_EQ(a.x, 140);
  EXPECT_EQ(a.y, 250);
  EXPECT_EQ(a.width, 20);

  disc->setTransform(kit::AffineTransform::identity());
  settle();
  a = allocation(knob.get());
  EXPECT_EQ(a.x, 170);
  EXPECT_EQ(a.y, 220);
  disc->removeFromSuperview();
}

}  // namespace
