// A tour of the real program in both layouts over a page whose whole body is
// one loud colour that the program never draws. Each screen on the way is
// pictured (under $TOLVA_ARTIFACTS), must not let that colour through inside
// its frame, and every control it shows must take a mouse press at its
// centre, sent through the X server, and fire nothing when the press slips
// off and is let go of outside; then it is closed the way a person closes it. On the way
// the mouse does what a finger does: it deletes a bookmark by its editing
// control and by a sideways drag, and leaves full screen by its button.

#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "TabsFixture.h"
#include "common/VeskMiscObject.h"
#include "data/PINViewController.h"
#include "data/VeskAdblockTableViewController.h"
#include "data/VeskAuthenticationTableViewController.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskPasscodeStore.h"
#include "data/VeskPasscodeViewController.h"
#include "data/VeskBookmarkTableViewController.h"
#include "downloads/VeskDownloadManager.h"
#include "downloads/VeskDownloadTableViewController.h"
#include "kit/gtk/Backend.h"
#include "kit/gtk/ViewWidget.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Button.h"
#include "kit/ui/Image.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/TableView.h"
#include "kit/ui/TextField.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/Touch.h"
#include "settings/PrefAppSettingsViewController.h"
#include "settings/PrefSettingsReader.h"
#include "settings/PrefSpecifier.h"
#include "share/core/Share.h"
#include "share/core/ShareItem.h"
#include "share/core/ShareSharer.h"
#include "share/ui/ShareFormController.h"
#include "share/ui/ShareFormFieldSettings.h"
#include "share/ui/ShareShareMenu.h"
#include "shell/VeskTouchPropagatingUIButton.h"

// After kit's headers: X11's macros clash with kit's names.
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace {

using tolvatest::TabsFixture;
using tolvatest::TestResponse;

// Nothing in the program is drawn in this colour.
constexpr int kLoud[3] = {255, 0, 255};

// A 1x1 PNG, drawn larger as the page's picture.
const std::string kPicture("\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02\x00\x00\x00\x90\x77\x53\xde\x00\x00\x00\x0c\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\xc0\x00\x00\x03\x01\x01\x00\xc9\xfe\x92\xef\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
                           69);

kit::Point middleOf(kit::Rect r) { return {r.x() + r.width() / 2, r.y() + r.height() / 2}; }

class TourGuiTest : public TabsFixture {
 protected:
  void SetUp() override {
    TabsFixture::SetUp();
    const std::string loud = "<html><head><title>Loud</title></head>"
                             "<body style='margin:0;background:#ff00ff;height:3000px'></body></html>";
    server_.route("GET", "/loud", TestResponse::html(loud));
  }

  // The screen's frame on screen, in the main window's coordinates (a view
  // in a popover is found from the popover's widget).
  kit::Rect onScreen(kit::View* view) {
    kit::PopoverView* panel = nullptr;
    for (kit::View* v = view; v && !panel; v = v->superview()) panel = dynamic_cast<kit::PopoverView*>(v);
    const kit::Rect inRoot = view->convertRectToView(view->bounds(), panel);
    if (!panel) return inRoot;
    kit::gtk::WidgetTree* tree = kit::gtk::WidgetTree::installed();
    GtkWidget* box = tree->widgetFor(panel);
    if (!box || !gtk_widget_get_realized(box)) return {};
    int px = 0, py = 0, wx = 0, wy = 0;
    gdk_window_get_origin(gtk_widget_get_window(box), &px, &py);
    GtkAllocation a;
    gtk_widget_get_allocation(box, &a);
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(tree->toplevelFor(mainWindow()))), &wx, &wy);
    return {px + a.x - wx + inRoot.x(), py + a.y - wy + inRoot.y(), inRoot.width(), inRoot.height()};
  }

  // How many pixels of the page's colour show inside `frame` (window coordinates).
  long loudPixels(kit::Rect frame) {
    settle();
    const std::string path = std::string(std::getenv("TOLVA_HOME")) + "/tour-probe.png";
    if (!kit::gtk::Backend::writeScreenshot(mainWindow(), path)) return -1;
    kit::Ref<kit::Image> shot = kit::Image::imageWithContentsOfFile(path);
    std::remove(path.c_str());
    if (!shot || !shot->hasPixels()) return -1;
    long n = 0;
    const long x0 = std::max(0L, long(frame.x())), y0 = std::max(0L, long(frame.y()));
    const long x1 = std::min(long(shot->pixelWidth()), long(frame.maxX()));
    const long y1 = std::min(long(shot->pixelHeight()), long(frame.maxY()));
    for (long y = y0; y < y1; ++y)
      for (long x = x0; x < x1; ++x) {
        const uint32_t px = shot->pixelAt(size_t(x), size_t(y));
        const int r = (px >> 24) & 0xFF, g = (px >> 16) & 0xFF, b = (px >> 8) & 0xFF;
        if (std::abs(r - kLoud[0]) < 24 && std::abs(g - kLoud[1]) < 24 && std::abs(b - kLoud[2]) < 24) ++n;
      }
    return n;
  }

  // The page's pixels that stay inside `frame` once what is on its way in
  // (a popover's fade, a late layout) has come to rest: a frame caught
  // mid-way is no fault, one that stays is. What stays is pictured.
  long seeThrough(kit::Rect frame, const std::string& name) {
    long n = loudPixels(frame);
    for (int tries = 0; n != 0 && tries < 6; ++tries) {
      waitUntil(nullptr, 0.5);
      n = loudPixels(frame);
    }
    if (n != 0) saveScreenshot("TourGuiTest." + std::string(phone_ ? "phone." : "tablet.") + name + ".see-through");
    return n;
  }

  // Whether the view's middle lies in the visible part of every scroll view
  // around it (a control scrolled out of sight is not on show).
  static bool inSight(kit::View* v) {
    for (kit::View* s = v->superview(); s; s = s->superview())
      if (dynamic_cast<kit::ScrollView*>(s) &&
          !s->bounds().contains(v->convertPointToView(middleOf(v->bounds()), s)))
        return false;
    return true;
  }

  // The controls and bar items a person sees in `root`: shown, enabled, in sight.
  static void shownControls(kit::View* root, std::vector<kit::Ref<kit::Control>>& controls,
                            std::vector<kit::Ref<kit::BarButtonItem>>& items) {
    if (root->isHidden() || root->alpha() < 0.01) return;
    if (auto* c = dynamic_cast<kit::Control*>(root); c && c->isEnabled() && !c->bounds().isEmpty() && inSight(c))
      controls.emplace_back(c);
    std::vector<kit::Ref<kit::BarButtonItem>> own;
    if (auto* tb = dynamic_cast<kit::Toolbar*>(root)) own = tb->items();
    if (auto* nb = dynamic_cast<kit::NavigationBar*>(root); nb && nb->topItem()) {
      for (auto& i : nb->topItem()->leftBarButtonItems()) own.push_back(i);
      for (auto& i : nb->topItem()->rightBarButtonItems()) own.push_back(i);
    }
    for (auto& i : own)
      if (!i->isSpace() && !i->customView() && i->bar() == root && i->isEnabled()) items.push_back(i);
    for (auto& s : root->subviews()) shownControls(s.get(), controls, items);
  }

  // ---- Pressing controls through the X server
  //
  // pressEachControl(name, screen) (visit() calls it) presses the mouse at
  // the middle of every control and bar item `screen` shows, checks that the
  // press reached that very control, then slides the pointer off the
  // program's window and lets go there: a touch that ends outside, which
  // fires nothing, so one screen's controls are all probed without opening
  // anything. pressEachButton(name, dialog) does the same for the buttons of
  // a GTK dialog (an alert or a sheet's menu). Each failure names the control
  // and what took the press instead.

  // The view's bounds in root (screen) coordinates: from its window's widget,
  // or from the popover's for a view in a popover (GTK places it).
  static kit::Rect onRoot(kit::View* view) {
    kit::PopoverView* panel = nullptr;
    for (kit::View* v = view; v && !panel; v = v->superview()) panel = dynamic_cast<kit::PopoverView*>(v);
    const kit::Rect in = view->convertRectToView(view->bounds(), panel);
    kit::gtk::WidgetTree* tree = kit::gtk::WidgetTree::installed();
    GtkWidget* box = panel ? tree->widgetFor(panel)
                     : view->window() ? GTK_WIDGET(tree->toplevelFor(view->window()))
                                      : nullptr;
    if (!box || !gtk_widget_get_realized(box)) return {};
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(box), &x, &y);
    if (panel) {
      GtkAllocation a;
      gtk_widget_get_allocation(box, &a);
      x += a.x;
      y += a.y;
    }
    return {x + in.x(), y + in.y(), in.width(), in.height()};
  }

  static Display* xDisplay() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }
  static void xMove(kit::Point root) {
    XTestFakeMotionEvent(xDisplay(), -1, int(std::lround(root.x)), int(std::lround(root.y)), CurrentTime);
    XFlush(xDisplay());
  }
  static void xButton(bool down) {
    XTestFakeButtonEvent(xDisplay(), 1, down ? True : False, CurrentTime);
    XFlush(xDisplay());
  }

  // A corner of the screen outside the main window: where a press is let go
  // of, off every control.
  kit::Point farAway() {
    GtkWidget* top = GTK_WIDGET(kit::gtk::WidgetTree::installed()->toplevelFor(mainWindow()));
    int ox = 0, oy = 0;
    gdk_window_get_origin(gtk_widget_get_window(top), &ox, &oy);
    const int w = gtk_widget_get_allocated_width(top), h = gtk_widget_get_allocated_height(top);
    const int sw = XDisplayWidth(xDisplay(), DefaultScreen(xDisplay()));
    const int sh = XDisplayHeight(xDisplay(), DefaultScreen(xDisplay()));
    for (kit::Point p : {kit::Point{double(sw - 1), double(sh - 1)}, kit::Point{double(sw - 1), 0},
                         kit::Point{0, double(sh - 1)}, kit::Point{0, 0}})
      if (p.x < ox || p.x >= ox + w || p.y < oy || p.y >= oy + h) return p;
    return {0, 0};
  }

  // The GTK widget under the pointer, by its type (what took a press that
  // reached no kit view).
  static std::string widgetUnderPointer() {
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    GdkWindow* w = gdk_device_get_window_at_position(pointer, nullptr, nullptr);
    gpointer owner = nullptr;
    if (w) gdk_window_get_user_data(w, &owner);
    return owner ? std::string("GTK ") + G_OBJECT_TYPE_NAME(owner) : "no window of the program";
  }

  // The GTK button held down (pressed, not yet let go) in `w`, if any.
  static GtkWidget* heldButton(GtkWidget* w) {
    if (!w) return nullptr;
    if (GTK_IS_BUTTON(w) && (gtk_widget_get_state_flags(w) & GTK_STATE_FLAG_ACTIVE) &&
        !(GTK_IS_TOGGLE_BUTTON(w) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w))))
      return w;
    GtkWidget* found = nullptr;
    if (GTK_IS_CONTAINER(w)) {
      GList* children = gtk_container_get_children(GTK_CONTAINER(w));
      for (GList* c = children; c && !found; c = c->next) found = heldButton(GTK_WIDGET(c->data));
      g_list_free(children);
    }
    return found;
  }

  static std::string where(kit::Rect r) {
    return "(" + std::to_string(long(r.x())) + ", " + std::to_string(long(r.y())) + ", " + std::to_string(long(r.width())) +
           ", " + std::to_string(long(r.height())) + ")";
  }

  static kit::Rect rootRectOf(GtkWidget* w) {
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(w), &x, &y);
    GtkAllocation a;
    gtk_widget_get_allocation(w, &a);
    return {double(x + a.x), double(y + a.y), double(a.width), double(a.height)};
  }

  // What a press that fired would have changed: a screen presented or gone,
  // a popover, alert, sheet or dialog shown or closed.
  struct Shown {
    kit::ViewController* presented;
    size_t popovers, alerts, sheets, dialogs;
    bool screenShown;
    bool operator==(const Shown& o) const {
      return presented == o.presented && popovers == o.popovers && alerts == o.alerts && sheets == o.sheets &&
             dialogs == o.dialogs && screenShown == o.screenShown;
    }
  };
  Shown shown(kit::View* screen) const {
    kit::ViewController* top = controller();
    while (top && top->presentedViewController()) top = top->presentedViewController();
    return {top,
            kit::PopoverController::visiblePopovers().size(),
            kit::AlertView::visibleAlerts().size(),
            kit::ActionSheet::visibleSheets().size(),
            kit::gtk::WidgetTree::installed()->dialogs().size(),
            screen && screen->window() != nullptr};
  }

  static void noteClicked(GtkButton*, gpointer fired) { *static_cast<bool*>(fired) = true; }

  // One press at `at` (root coordinates), held until `reached` or a short
  // while, then let go of far away; answers whether the press reached what
  // `reached` looks for, and whether anything fired.
  bool pressAndSlipOff(kit::Point at, const std::function<bool()>& reached, const std::function<bool()>& released,
                       const std::function<void()>& whileHeld = {}) {
    xMove(at);
    // A GTK button takes a press only once it has seen the pointer come in.
    waitUntil(nullptr, 0.02);
    xButton(true);
    // Waits return as soon as they can; the bound only matters on a loaded machine.
    const bool ok = waitUntil(reached, 3);
    if (whileHeld) whileHeld();
    xMove(farAway());
    xButton(false);
    waitUntil(released, 3);
    return ok;
  }

  // Presses one kit control; answers what went wrong (empty: nothing).
  std::string pressControl(kit::Control* c, kit::View* screen) {
    kit::Ref<kit::Control> keep(c);
    const kit::Rect r = onRoot(c);
    kit::Ref<kit::Window> win(c->window());
    if (r.isEmpty() || !win) return "is not on screen";
    // A drag that slips off may scroll what the control is in: put it back.
    std::vector<std::pair<kit::Ref<kit::ScrollView>, kit::Point>> offsets;
    for (kit::View* v = c->superview(); v; v = v->superview())
      if (auto* sv = dynamic_cast<kit::ScrollView*>(v)) offsets.emplace_back(sv, sv->contentOffset());
    bool down = false, fired = false;
    const bool wasEditing = c->isFirstResponder();
    c->addTarget("tour-probe-down", kit::Control::TouchDown, [&down](kit::Control&) { down = true; });
    c->addTarget("tour-probe-fired", kit::Control::TouchUpInside | kit::Control::ValueChanged,
                 [&fired](kit::Control&) { fired = true; });
    const Shown before = shown(screen);
    kit::Ref<kit::View> took;
    std::string gtkTook;
    const bool reached = pressAndSlipOff(
        middleOf(r),
        [&] {
          if (kit::Touch* t = win->activeTouch()) took = t->view();
          return took && (took.get() == c || took->isDescendantOfView(c));
        },
        [&] { return !win->activeTouch(); },
        [&] {
          if (!took) gtkTook = widgetUnderPointer();
          // A dock's pull tab hands its touches on to the dial under it,
          // which a drag turns (and turning it acts): let that finger go
          // before it slips off.
          auto* tab = dynamic_cast<tolva::VeskTouchPropagatingUIButton*>(c);
          if (tab && tab->propagatingView() && win->activeTouch()) win->touchCancel();
        });
    c->removeTarget("tour-probe-down");
    c->removeTarget("tour-probe-fired");
    for (auto& [sv, o] : offsets) sv->setContentOffset(o);
    // A field takes the keys on the press, as desktop fields do: editing
    // ends the way a person ends it (on a phone the address bar's close
    // button), so that the controls editing covers are probed as at rest.
    if (dynamic_cast<kit::TextField*>(c) && c->isFirstResponder() && !wasEditing) {
      kit::Button* close = page()->textFieldZoomCloseBtn();
      bool closeShown = close && close->window();
      for (kit::View* v = close; v && closeShown; v = v->superview()) closeShown = !v->isHidden();
      if (closeShown)
        clickMiddleOf(close);
      else
        c->resignFirstResponder();
      waitUntil([&] { return !c->isFirstResponder(); }, 3);
      settle();
    }
    std::string wrong;
    if (!reached)
      wrong = "was not reached: " + (took ? took->describe() : gtkTook) + " took the press" +
              (c->whyUntappable().empty() ? "" : " (" + c->whyUntappable() + ")");
    else if (!down)
      wrong = "took the press but did not track it";
    if (fired || !(shown(screen) == before)) wrong += std::string(wrong.empty() ? "" : "; ") + "fired on a press let go of outside";
    return wrong;
  }

  // Presses one bar item (a GTK button in its bar's widget).
  std::string pressItem(kit::BarButtonItem* item, kit::View* screen) {
    kit::Ref<kit::BarButtonItem> keep(item);
    kit::View* bar = item->bar();
    GtkWidget* barWidget = bar ? kit::gtk::WidgetTree::installed()->widgetFor(bar) : nullptr;
    const kit::Rect b = bar ? onRoot(bar) : kit::Rect{};
    if (!barWidget || b.isEmpty()) return "is not on screen";
    const kit::Point mid = middleOf(item->frameInBar());
    const kit::Point at{b.x() + mid.x - bar->bounds().x(), b.y() + mid.y - bar->bounds().y()};
    return pressGtkButton(barWidget, at, screen);
  }

  // Presses whatever GTK button of `in` lies at `at` (root coordinates).
  std::string pressGtkButton(GtkWidget* in, kit::Point at, kit::View* screen) {
    g_object_ref(in);
    const Shown before = shown(screen);
    GtkWidget* held = nullptr;
    bool fired = false;
    gulong handler = 0;
    std::string gtkTook;
    const bool reached = pressAndSlipOff(
        at, [&] { return (held = heldButton(in)) != nullptr; }, [&] { return heldButton(in) == nullptr; },
        [&] {
          if (held) {
            g_object_ref(held);
            handler = g_signal_connect(held, "clicked", G_CALLBACK(noteClicked), &fired);
          } else {
            gtkTook = widgetUnderPointer();
            GtkWidget* top = GTK_WIDGET(kit::gtk::WidgetTree::installed()->toplevelFor(mainWindow()));
            if (GtkWidget* other = heldButton(top)) {
              kit::gtk::ViewWidget* vw = kit::gtk::ViewWidget::containing(other);
              gtkTook = "a GTK button at " + where(rootRectOf(other)) + " in " +
                        (vw ? vw->view().describe() : std::string("no view"));
            }
          }
        });
    std::string wrong;
    if (!reached)
      wrong = "was not reached: " + gtkTook + " took the press";
    else if (!rootRectOf(held).contains(at))
      wrong = "was not reached: a button at " + where(rootRectOf(held)) + " took the press";
    if (held) {
      g_signal_handler_disconnect(held, handler);
      g_object_unref(held);
    }
    g_object_unref(in);
    if (fired || !(shown(screen) == before)) wrong += std::string(wrong.empty() ? "" : "; ") + "fired on a press let go of outside";
    return wrong;
  }

  // Presses every control and bar item `screen` shows; a failure per control
  // the press did not reach or that fired.
  void pressEachControl(const std::string& name, kit::View* screen) {
    std::vector<kit::Ref<kit::Control>> controls;
    std::vector<kit::Ref<kit::BarButtonItem>> items;
    shownControls(screen, controls, items);
    for (auto& c : controls)
      if (std::string wrong = pressControl(c.get(), screen); !wrong.empty())
        ADD_FAILURE() << name << ": " << c->describe() << " at " << where(c->convertRectToView(c->bounds(), nullptr)) << " in "
                      << (c->superview() ? c->superview()->describe() : "nothing") << " " << wrong;
    for (auto& i : items)
      if (std::string wrong = pressItem(i.get(), screen); !wrong.empty())
        ADD_FAILURE() << name << ": item \"" << i->title() << "\" at " << where(i->frameInWindow()) << " in "
                      << (i->bar() ? i->bar()->describe() : "no bar") << " " << wrong;
    settle();
  }

  // Presses every button a GTK dialog shows (an alert's, a sheet's menu).
  void pressEachButton(const std::string& name, GtkWidget* dialog) {
    ASSERT_NE(dialog, nullptr) << name;
    settle();
    std::vector<GtkWidget*> buttons;
    std::function<void(GtkWidget*)> find = [&](GtkWidget* w) {
      if (!gtk_widget_is_visible(w) || !gtk_widget_is_sensitive(w)) return;
      if (GTK_IS_BUTTON(w)) buttons.push_back(w);
      if (GTK_IS_CONTAINER(w)) gtk_container_forall(GTK_CONTAINER(w), [](GtkWidget* c, gpointer f) {
          (*static_cast<std::function<void(GtkWidget*)>*>(f))(c);
        }, &find);
    };
    find(dialog);
    EXPECT_FALSE(buttons.empty()) << name << ": a dialog with no button";
    for (GtkWidget* b : buttons) {
      const char* label = gtk_button_get_label(GTK_BUTTON(b));
      if (std::string wrong = pressGtkButton(dialog, middleOf(rootRectOf(b)), nullptr); !wrong.empty())
        ADD_FAILURE() << name << ": button \"" << (label ? label : "") << "\" " << wrong;
    }
    settle();
  }

  // Pictures the screen, then checks that the page does not show through
  // its frame and that a press on every control it shows reaches it.
  void visit(const std::string& name, kit::View* screen, bool pageMayShow = false) {
    ASSERT_NE(screen, nullptr) << name;
    settle();
    saveScreenshot("TourGuiTest." + std::string(phone_ ? "phone." : "tablet.") + name);
    if (!pageMayShow) {
      const kit::Rect frame = onScreen(screen);
      EXPECT_FALSE(frame.isEmpty()) << name;
      EXPECT_EQ(seeThrough(frame, name), 0) << name << ": the page shows through the screen";
    }
    pressEachControl(name, screen);
  }

  void clickItem(kit::BarButtonItem* item) {
    ASSERT_NE(item, nullptr);
    ASSERT_NE(item->bar(), nullptr);
    settle();
    if (onScreen(item->bar()) != item->bar()->convertRectToView(item->bar()->bounds(), nullptr))
      clickInPopover(item->bar(), middleOf(item->frameInBar()));
    else
      click(item->bar(), middleOf(item->frameInBar()));
    settle();
  }

  bool loudPage(bool phone) {
    phone_ = phone;
    if (!startProgram(server_.url("/loud"), phone)) return false;
    return waitForTitle("Loud");
  }

  // Three bookmarks to show and delete.
  static void threeBookmarks(const std::string& base) {
    tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
    db->gotoRoot();
    for (int i = 0; i < 3; ++i) db->addItem("Kept " + std::to_string(i), base + "/kept" + std::to_string(i));
  }

  // The bookmark list, its edit mode, a row deleted by its editing control
  // and one by a sideways drag; closed by Escape.
  void bookmarkTour() {
    threeBookmarks(server_.url(""));
    clickItem(page()->bookmarkBtn());
    kit::NavigationController* nav = strip()->getBookmarkNavicon();
    ASSERT_TRUE(waitUntil([&] { return nav && nav->view()->window(); }, 5)) << "no bookmark list";
    auto* list = dynamic_cast<tolva::VeskBookmarkTableViewController*>(nav->topViewController());
    ASSERT_NE(list, nullptr);
    visit("bookmarks", nav->view());
    kit::TableView* table = list->tableView();
    const long rows = table->numberOfRowsInSection(0);
    ASSERT_GE(rows, 3);

    // A sideways drag along the last row deletes it.
    const kit::IndexPath last{0, rows - 1};
    table->scrollToRowAtIndexPath(last, kit::TableView::ScrollPosition::Bottom, false);
    settle();
    const kit::Rect row = onScreen(table->cellForRowAtIndexPath(last));
    pointerTo(table, {row.x() + 40, row.y() + row.height() / 2});
    pressButton(true);
    for (int dx = 20; dx <= 120; dx += 20) pointerTo(table, {row.x() + 40 + dx, row.y() + row.height() / 2});
    pressButton(false);
    EXPECT_TRUE(waitUntil([&] { return table->numberOfRowsInSection(0) == rows - 1; }, 5))
        << "a sideways drag did not delete the row";
    EXPECT_EQ(list->targetVeskView(), page());

    // Edit mode draws each row's delete control; a click on it deletes the row.
    kit::BarButtonItem* edit = list->navigationItem()->rightBarButtonItem();
    ASSERT_NE(edit, nullptr);
    clickItem(edit);
    ASSERT_TRUE(waitUntil([&] { return table->isEditing(); }, 5)) << "no edit mode";
    visit("bookmarks-editing", nav->view());
    const kit::IndexPath next{0, rows - 2};
    table->scrollToRowAtIndexPath(next, kit::TableView::ScrollPosition::Bottom, false);
    settle();
    kit::TableViewCell* cell = table->cellForRowAtIndexPath(next);
    ASSERT_NE(cell, nullptr);
    ASSERT_EQ(cell->editingStyle(), kit::TableViewCell::EditingStyle::Delete);
    const kit::Rect control = onScreen(cell);
    clickInPopoverOrWindow(table, {control.x() + kit::TableViewCell::kEditingControlWidth / 2,
                                   control.y() + control.height() / 2});
    EXPECT_TRUE(waitUntil([&] { return table->numberOfRowsInSection(0) == rows - 2; }, 5))
        << "a click on the delete control did not delete the row";
    clickItem(list->navigationItem()->rightBarButtonItem());
    EXPECT_TRUE(waitUntil([&] { return !table->isEditing(); }, 5));
  }

  // A click on a row's middle, wherever the table is shown.
  void clickRow(kit::TableView* table, long row, long section = 0) {
    const kit::IndexPath at{section, row};
    table->scrollToRowAtIndexPath(at, kit::TableView::ScrollPosition::Middle, false);
    settle();
    kit::TableViewCell* cell = table->cellForRowAtIndexPath(at);
    ASSERT_NE(cell, nullptr) << "no row " << row;
    clickInPopoverOrWindow(table, middleOf(onScreen(cell)));
  }

  // The row whose title reads `title` (-1: none).
  static long rowTitled(kit::TableView* table, const std::string& title, long section = 0) {
    for (long r = 0; r < table->numberOfRowsInSection(section); ++r) {
      kit::TableViewCell* cell = table->cellForRowAtIndexPath({section, r});
      if (cell && cell->textLabel() && cell->textLabel()->text() == title) return r;
    }
    return -1;
  }

  // Waits until the navigation controller shows a screen other than `from`.
  static kit::ViewController* pushedFrom(kit::NavigationController* nav, kit::ViewController* from) {
    kit::ViewController* top = nullptr;
    waitUntil([&] { return (top = nav->topViewController()) != from && top && top->view()->window(); }, 5);
    settle();
    return top != from ? top : nullptr;
  }

  // Goes back one screen by the navigation bar's back button (or the left
  // item that stands for it).
  void clickBack(kit::NavigationController* nav) {
    kit::ViewController* from = nav->topViewController();
    kit::BarButtonItem* back = nav->navigationBar()->backButton();
    if (!back) back = from->navigationItem()->leftBarButtonItem();
    ASSERT_NE(back, nullptr) << "no back button";
    clickItem(back);
    EXPECT_TRUE(waitUntil([&] { return nav->topViewController() != from; }, 5)) << "the back button did not go back";
    settle();
  }

  // A click on a GTK widget's middle (a dialog's button).
  void clickWidget(GtkWidget* w) {
    ASSERT_NE(w, nullptr);
    xMove(middleOf(rootRectOf(w)));
    xButton(true);
    settle();
    xButton(false);
    settle();
  }

  // The bookmark list's folders and forms, the list open at its root: the
  // history (a flat list of pages), a folder, the new-folder form and the
  // edit-bookmark form, each closed by its own button.
  void bookmarkFolderTour() {
    tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
    db->gotoRoot();
    ASSERT_TRUE(db->addFolder("Folder"));
    db->stepIn("Folder");
    db->addItem("Inside", server_.url("/inside"));
    db->gotoRoot();
    kit::NavigationController* nav = strip()->getBookmarkNavicon();
    kit::ViewController* root = nav->topViewController();
    auto* list = dynamic_cast<tolva::VeskBookmarkTableViewController*>(root);
    ASSERT_NE(list, nullptr);
    kit::TableView* table = list->tableView();
    table->reloadData();
    settle();

    // Opens the row, pictures what it pushes, and goes back.
    auto openRow = [&](const std::string& title, const std::string& name) {
      const long row = rowTitled(table, title);
      ASSERT_GE(row, 0) << "no row " << title;
      clickRow(table, row);
      ASSERT_NE(pushedFrom(nav, root), nullptr) << title << " did not open";
      visit(name, nav->view());
      clickBack(nav);
    };
    openRow("History", "history");
    openRow("Folder", "folder");

    // In edit mode: the new-folder form, and a bookmark's form by its row.
    clickItem(list->navigationItem()->rightBarButtonItem());
    ASSERT_TRUE(waitUntil([&] { return table->isEditing(); }, 5)) << "no edit mode";
    clickItem(toolbarItem(root, "New Folder"));
    kit::ViewController* form = pushedFrom(nav, root);
    ASSERT_NE(form, nullptr) << "no new-folder form";
    visit("new-folder", nav->view());
    clickBack(nav);
    openRow("Kept 0", "edit-bookmark");
    clickItem(list->navigationItem()->rightBarButtonItem());
    EXPECT_TRUE(waitUntil([&] { return !table->isEditing(); }, 5));
  }

  // The download list with a finished download, and that row's menu (a
  // sheet), closed by its Cancel button; then the list by its Close button.
  void downloadTour() {
    server_.route("GET", "/small.zip", TestResponse::ok(std::string(2048, 'z'), "application/zip"));
    tolva::VeskDownloadManager* downloads = tolva::VeskDownloadManager::sharedInstance();
    const long entry = downloads->start(server_.url("/small.zip"));
    EXPECT_TRUE(waitUntil([&] { return downloads->completedItem(entry); }, 10)) << "the download did not finish";
    page()->showDownloadManager();
    kit::ViewController* shown = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (shown = controller()->presentedViewController()) != nullptr; }, 5));
    auto* nav = dynamic_cast<kit::NavigationController*>(shown);
    ASSERT_NE(nav, nullptr);
    auto* list = dynamic_cast<kit::TableViewController*>(nav->topViewController());
    ASSERT_NE(list, nullptr);
    settle();
    visit("downloads", shown->view());
    clickRow(list->tableView(), entry);
    kit::Ref<kit::ActionSheet> menu;
    EXPECT_TRUE(waitUntil([&] {
      auto sheets = kit::ActionSheet::visibleSheets();
      if (!sheets.empty()) menu = sheets.front();
      return menu && dialogFor(menu.get());
    }, 5)) << "no menu for the finished download";
    if (menu) {
      pressEachButton("download-menu", dialogFor(menu.get()));
      clickWidget(dialogButton(menu.get(), "Cancel"));
      EXPECT_TRUE(waitUntil([&] { return kit::ActionSheet::visibleSheets().empty(); }, 5)) << "the menu stayed";
    }
    clickItem(toolbarItem(nav->topViewController(), "Close"));
    EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }, 5));
  }

  // A click on a spot of the page beside the popover showing `content`, which closes it.
  void clickOutsidePopover(kit::View* content) {
    ASSERT_NE(content, nullptr);
    const kit::Rect shown = onScreen(content);
    for (kit::Point p : {kit::Point{150, 300}, kit::Point{850, 300}, kit::Point{500, 560}})
      if (!shown.insetBy(-20, -20).contains(p)) return click(controller()->view(), p);
    ADD_FAILURE() << "no spot of the page beside the popover";
  }

  // The new-tab button on show (its long press lists recently closed tabs).
  kit::Button* newPageButton() const {
    for (kit::Button* b : {controller()->newPageBtn1(), controller()->newPageBtn2()}) {
      bool shown = b && b->window();
      for (kit::View* v = b; v && shown; v = v->superview()) shown = !v->isHidden();
      if (shown) return b;
    }
    return nullptr;
  }

  // Clicks into a field, empties it and types `text` there.
  void typeInto(kit::TextField* field, const std::string& text) {
    ASSERT_NE(field, nullptr);
    clickMiddleOf(field);
    ASSERT_TRUE(waitUntil([&] { return field->isFirstResponder(); }, 5)) << "the field took no keys";
    while (!field->text().empty()) {
      const size_t before = field->text().size();
      pressKey(field, GDK_KEY_BackSpace);
      pressKey(field, GDK_KEY_Delete);
      if (field->text().size() == before) break;
    }
    typeKeys(field, text);
  }

  // The suggestion popover on a tablet, when it is up.
  kit::View* suggestionPopover() const {
    kit::PopoverController* pop = page()->searchPopOver();
    return pop && pop->isPopoverVisible() && pop->contentViewController() ? pop->contentViewController()->view()
                                                                            : nullptr;
  }

  // A recently closed tab, and the list of them by a long press on the
  // new-tab button.
  kit::View* recentlyClosed() {
    const int tabs = strip()->tabCount();
    clickMiddleOf(newPageButton());
    EXPECT_TRUE(waitUntil([&] { return strip()->tabCount() == tabs + 1; }, 5)) << "no new tab";
    for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(-1, false);
    strip()->onCloseClicked(*strip()->getItemAt(strip()->curSel()));
    EXPECT_TRUE(waitUntil([&] { return strip()->tabCount() == tabs; }, 5)) << "the tab stayed";
    settle();
    kit::Button* button = newPageButton();
    kit::View* list = nullptr;
    longPressMiddleOf(button, [&] {
      if (phone_) {
        kit::ViewController* p = controller()->presentedViewController();
        list = p && p->view()->window() ? p->view() : nullptr;
      } else {
        auto pops = kit::PopoverController::visiblePopovers();
        list = pops.empty() ? nullptr : pops.front()->contentViewController()->view();
      }
      return list != nullptr;
    });
    settle();
    return list;
  }

  static kit::BarButtonItem* toolbarItem(kit::ViewController* screen, const std::string& title) {
    for (auto& b : screen->toolbarItems())
      if (b->title() == title) return b.get();
    return nullptr;
  }

  // A click at a point given in window coordinates, wherever the view is shown.
  void clickInPopoverOrWindow(kit::View* anyView, kit::Point inWindow) {
    pointerTo(anyView, inWindow);
    pressButton(true);
    pressButton(false);
    settle();
  }

  // ---- Screens B: settings, sharing, logins, the PIN, page menus.

  // The frame of a GTK dialog on screen, in the main window's coordinates.
  kit::Rect dialogFrame(GtkWidget* dialog) {
    GdkWindow* gw = gtk_widget_get_window(dialog);
    if (!gw || !gtk_widget_get_mapped(dialog)) return {};
    int dx = 0, dy = 0, wx = 0, wy = 0;
    gdk_window_get_origin(gw, &dx, &dy);
    kit::gtk::WidgetTree* tree = kit::gtk::WidgetTree::installed();
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(tree->toplevelFor(mainWindow()))), &wx, &wy);
    return {double(dx - wx), double(dy - wy), double(gdk_window_get_width(gw)), double(gdk_window_get_height(gw))};
  }

  // Pictures a dialog (an alert or a sheet): it lies inside the window's
  // width, lets no page through, and shows every button it has.
  void visitDialog(const std::string& name, GtkWidget* dialog) {
    ASSERT_NE(dialog, nullptr) << name;
    settle();
    saveScreenshot("TourGuiTest." + std::string(phone_ ? "phone." : "tablet.") + name);
    const kit::Rect frame = dialogFrame(dialog);
    ASSERT_FALSE(frame.isEmpty()) << name << ": the dialog is not on screen";
    EXPECT_GE(frame.x(), 0) << name << ": past the window's left edge";
    EXPECT_LE(frame.maxX(), mainWindow()->bounds().width()) << name << ": past the window's right edge";
    EXPECT_EQ(seeThrough(frame, name), 0) << name << ": the page shows through the dialog";
    std::function<void(GtkWidget*)> buttonsOnShow = [&](GtkWidget* w) {
      if (GTK_IS_BUTTON(w)) {
        EXPECT_TRUE(gtk_widget_is_drawable(w) && gtk_widget_get_allocated_height(w) > 1)
            << name << ": a button is not on show";
        return;
      }
      if (GTK_IS_CONTAINER(w)) gtk_container_forall(GTK_CONTAINER(w), [](GtkWidget* c, gpointer f) {
        (*static_cast<std::function<void(GtkWidget*)>*>(f))(c);
      }, &buttonsOnShow);
    };
    buttonsOnShow(gtk_dialog_get_content_area(GTK_DIALOG(dialog)));
  }

  // The one dialog showing `sheet`, or the newest dialog with a button labelled `label`.
  static GtkWidget* dialogWithButton(const std::string& label) {
    GtkWidget* button = buttonInDialogs(label);
    return button ? gtk_widget_get_toplevel(button) : nullptr;
  }

  // Presses the dialog's button labelled `label` through the pointer and
  // checks the dialog goes.
  void pressDialogButton(const std::string& label) {
    GtkWidget* button = buttonInDialogs(label);
    ASSERT_NE(button, nullptr) << "no button " << label;
    clickWidget(button);
    EXPECT_TRUE(waitUntil([&] { return buttonInDialogs(label) == nullptr; }, 5)) << label << " left its dialog up";
  }

  // A real click on a table's row, scrolled into sight first.
  void clickRow(kit::TableView* table, const kit::IndexPath& path) {
    table->scrollToRowAtIndexPath(path, kit::TableView::ScrollPosition::Middle, false);
    settle();
    kit::TableViewCell* cell = table->cellForRowAtIndexPath(path);
    ASSERT_NE(cell, nullptr);
    const kit::Rect row = onScreen(cell);
    clickInPopoverOrWindow(table, middleOf(row));
  }

  // Closes the screen on top: on a tablet by Escape, on a phone by its own
  // button, so that both ways are taken.
  void closeBy(kit::BarButtonItem* button) {
    if (phone_) {
      clickItem(button);
    } else {
      ASSERT_NE(button, nullptr) << "no button that Escape stands for";
      // The keys go where the pointer is, over the window.
      const kit::Rect bar = onScreen(button->bar());
      pointerTo(mainWindow(), {bar.x() + bar.width() / 2, bar.maxY() + 20});
      pressKey(mainWindow(), GDK_KEY_Escape);
    }
  }

  // Waits until `nav` shows a screen other than `from`.
  static kit::ViewController* pushedOver(kit::NavigationController* nav, kit::ViewController* from) {
    waitUntil([&] { return nav->topViewController() != from && nav->topViewController()->view()->window(); }, 5);
    settle();
    return nav->topViewController() != from ? nav->topViewController() : nullptr;
  }

  // Back to `to` by the navigation bar's back button.
  void back(kit::NavigationController* nav, kit::ViewController* to, const std::string& name) {
    kit::BarButtonItem* button = nav->navigationBar()->backButton();
    ASSERT_NE(button, nullptr) << name << ": no back button";
    clickItem(button);
    EXPECT_TRUE(waitUntil([&] { return nav->topViewController() == to; }, 5)) << name << ": the back button stayed";
    settle();
  }

  // A settings page: its picture, then each value list and child page its
  // rows open, each pictured and left by its back button.
  void settingsPage(kit::NavigationController* nav, tolva::PrefAppSettingsViewController* screen,
                    const std::string& name, const std::function<bool(const std::string&)>& enter = {}) {
    if (!enter) visit(name, nav->view());
    kit::TableView* table = screen->tableView();
    std::set<std::string> seen;
    for (long s = 0; s < table->numberOfSections(); ++s)
      for (long r = 0; r < table->numberOfRowsInSection(s); ++r) {
        tolva::PrefSpecifier* spec = screen->settingsReader()->specifierForIndexPath({s, r});
        if (!spec || (spec->type() != "PSMultiValueSpecifier" && spec->type() != "PSChildPaneSpecifier")) continue;
        // Rows of the same title in other groups open the same list again.
        if (!seen.insert(spec->title()).second || (enter && !enter(spec->title()))) continue;
        const std::string child = name + "." + spec->title();
        clickRow(table, {s, r});
        kit::ViewController* shown = pushedOver(nav, screen);
        ASSERT_NE(shown, nullptr) << child << " did not open";
        if (auto* page = dynamic_cast<tolva::PrefAppSettingsViewController*>(shown))
          settingsPage(nav, page, child);
        else
          customPane(nav, shown, child);
        back(nav, screen, child);
        if (HasFatalFailure()) return;
      }
  }

  // A screen reached by class name from the settings, and what it opens.
  void customPane(kit::NavigationController* nav, kit::ViewController* shown, const std::string& name) {
    // A screen with nothing to list says so in an alert first.
    if (waitUntil([] { return kit::AlertView::topVisibleAlert() != nullptr; }, 0.5)) {
      kit::AlertView* alert = kit::AlertView::topVisibleAlert();
      const std::string button = alert->buttonTitleAtIndex(alert->cancelButtonIndex());
      visitDialog(name + ".alert", dialogWithButton(button));
      pressDialogButton(button);
    }
    visit(name, nav->view());
    if (auto* filters = dynamic_cast<tolva::VeskAdblockTableViewController*>(shown)) {
      clickItem(toolbarItem(filters, "New Filter"));
      kit::ViewController* editor = pushedOver(nav, filters);
      ASSERT_NE(editor, nullptr) << "no new-filter screen";
      visit(name + ".new", nav->view());
      back(nav, filters, name + ".new");
    } else if (auto* lock = dynamic_cast<tolva::VeskPasscodeViewController*>(shown)) {
      // Its button asks for a PIN on a screen of its own.
      clickMiddleOf(lock->btnEnable());
      ASSERT_NE(dynamic_cast<tolva::PINViewController*>(pushedOver(nav, lock)), nullptr) << "no PIN screen";
      visit(name + ".pin", nav->view());
      back(nav, lock, name + ".pin");
    }
  }

  // Settings from the command menu, toured (the root page and the rows
  // `enter` lets in, or all of them) and closed by Done.
  void settingsTour(const std::function<bool(const std::string&)>& enter = {}, bool visitRoot = true) {
    page()->onEasyCommand();
    ASSERT_TRUE(waitUntil([] { return buttonInDialogs("Settings") != nullptr; }, 5));
    pressDialogButton("Settings");
    kit::NavigationController* nav = nullptr;
    ASSERT_TRUE(waitUntil([&] {
      return (nav = dynamic_cast<kit::NavigationController*>(controller()->presentedViewController())) &&
             nav->view()->window();
    }, 5)) << "no settings";
    auto* root = dynamic_cast<tolva::PrefAppSettingsViewController*>(nav->topViewController());
    ASSERT_NE(root, nullptr);
    if (enter && visitRoot) visit("settings", nav->view());
    settingsPage(nav, root, "settings", enter);
    if (HasFatalFailure()) return;
    closeBy(root->navigationItem()->rightBarButtonItem());
    EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }, 5)) << "settings stayed";
  }

  // The menu the share sheet's "More..." opens.
  static tolva::ShareShareMenu* shareMenu() {
    auto* nav = dynamic_cast<kit::NavigationController*>(tolva::Share::currentHelper()->currentView());
    return nav ? dynamic_cast<tolva::ShareShareMenu*>(nav->topViewController()) : nullptr;
  }

  // "Share this page ..." and its "More..." menu, opened as a person does.
  tolva::ShareShareMenu* openShareMenu(const std::string& shot) {
    page()->onShowShare();
    if (!waitUntil([] { return buttonInDialogs("More...") != nullptr; }, 5)) return nullptr;
    if (!shot.empty()) visitDialog(shot, dialogWithButton("More..."));
    pressDialogButton("More...");
    if (!waitUntil([] { return shareMenu() && shareMenu()->tableView()->window(); }, 5)) return nullptr;
    settle();
    return shareMenu();
  }

  // The share sheet, its menu, the mail screens with no mail program (an
  // alert), and every form a service shows once it holds a login.
  void shareTour() {
    tolva::ShareShareMenu* menu = openShareMenu("share-sheet");
    ASSERT_NE(menu, nullptr) << "no share menu";
    visit("share-menu", tolva::Share::currentHelper()->currentView()->view());
    std::vector<tolva::ShareShareMenu::Row> rows;
    for (const auto& section : menu->tableData()) rows.insert(rows.end(), section.begin(), section.end());
    closeBy(menu->navigationItem()->leftBarButtonItem());
    ASSERT_TRUE(waitUntil([] { return tolva::Share::currentHelper()->currentView() == nullptr; }, 5))
        << "the share menu stayed";

    kit::Ref<tolva::ShareItem> item =
        tolva::ShareItem::URL(kit::URL::URLWithString(page()->location()), page()->getTitle());
    for (const auto& row : rows) {
      kit::Ref<tolva::ShareSharer> sharer = tolva::ShareSharer::sharerWithClassName(row.className);
      if (!sharer) continue;
      const bool mail = row.className == "ShareMail" || row.className == "ShareMailPage";
      if (!mail) {
        if (!sharer->requiresAuthentication()) continue;
        // A login of its own lets the service show its form; a service that
        // logs in on a remote page is left alone (nothing here leaves the machine).
        for (const auto& field : sharer->authorizationFormFields())
          tolva::Share::setAuthValue("tour", field->key(), sharer->sharerId());
        if (!tolva::ShareSharer::isServiceAuthorized(row.className)) continue;
        // One that sends at once, with no form, is left alone too.
        if (!sharer->shareFormFieldsForType(item->shareType())) continue;
      }
      const std::string name = "share." + row.className;
      menu = openShareMenu({});
      ASSERT_NE(menu, nullptr) << name;
      kit::IndexPath at{-1, -1};
      for (long s = 0; s < long(menu->tableData().size()); ++s)
        for (long r = 0; r < long(menu->tableData()[size_t(s)].size()); ++r)
          if (menu->tableData()[size_t(s)][size_t(r)].className == row.className) at = {s, r};
      ASSERT_GE(at.section, 0) << name;
      clickRow(menu->tableView(), at);
      if (mail) {
        // No mail program on this desktop: an alert says so and closes.
        ASSERT_TRUE(waitUntil([] { return buttonInDialogs("OK") != nullptr; }, 10)) << name << ": no alert";
        visitDialog(name, dialogWithButton("OK"));
        pressDialogButton("OK");
      } else {
        kit::ViewController* form = nullptr;
        ASSERT_TRUE(waitUntil([&] {
          auto* nav = dynamic_cast<kit::NavigationController*>(tolva::Share::currentHelper()->currentView());
          form = nav ? dynamic_cast<tolva::ShareFormController*>(nav->topViewController()) : nullptr;
          return form && form->view()->window();
        }, 5)) << name << ": no form";
        visit(name, tolva::Share::currentHelper()->currentView()->view());
        closeBy(form->navigationItem()->leftBarButtonItem());
      }
      EXPECT_TRUE(waitUntil([] { return tolva::Share::currentHelper()->currentView() == nullptr; }, 5))
          << name << " stayed";
      EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }, 5)) << name;
    }
  }

  // The text-size popup from the command menu, closed by its last button.
  void fontTour() {
    page()->onEasyCommand();
    ASSERT_TRUE(waitUntil([] { return buttonInDialogs("Adjust Font Size") != nullptr; }, 5));
    pressDialogButton("Adjust Font Size");
    kit::View* popup = page()->vwFontPopup();
    ASSERT_TRUE(waitUntil([&] { return !popup->isHidden(); }, 5)) << "no text-size popup";
    // Its rounded corners let the page through; inside them nothing does.
    visit("font", popup, true);
    EXPECT_EQ(seeThrough(onScreen(popup).insetBy(8, 8), "font"), 0) << "the page shows through the text-size popup";
    click(popup, {popup->bounds().width() - 30, popup->bounds().height() / 2});
    EXPECT_TRUE(waitUntil([&] { return popup->isHidden(); }, 5)) << "the text-size popup stayed";
  }

  // The link and image menus, by the right button, each closed by Cancel.
  void pageMenusTour() {
    page()->loadRequest(server_.url("/menus"));
    ASSERT_TRUE(waitForTitle("Menus"));
    kit::WebView* web = page()->existingWebView();
    for (const char* id : {"link", "picture"}) {
      kit::Point at;
      ASSERT_TRUE(elementCenter(web, id, &at)) << id;
      settle();
      rightClick(web, at);
      ASSERT_TRUE(waitUntil([] { return !kit::ActionSheet::visibleSheets().empty(); }, 10)) << "no menu on " << id;
      kit::Ref<kit::ActionSheet> menu = kit::ActionSheet::visibleSheets().front();
      visitDialog(std::string("menu-") + id, dialogFor(menu.get()));
      // A phone's menu has a Cancel button; a tablet's goes by Escape, as a
      // popover does.
      if (buttonInDialogs("Cancel"))
        pressDialogButton("Cancel");
      else
        pressKey(mainWindow(), GDK_KEY_Escape);
      EXPECT_TRUE(waitUntil([] { return kit::ActionSheet::visibleSheets().empty(); }, 5)) << id << " menu stayed";
    }
  }

  // The browser's login screen for a page behind an HTTP login, closed by Cancel.
  void loginTour() {
    page()->loadRequest(server_.url("/locked"));
    tolva::VeskAuthenticationTableViewController* login = nullptr;
    kit::NavigationController* nav = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
          std::vector<kit::ViewController*> shown;
          for (auto& p : kit::PopoverController::visiblePopovers()) shown.push_back(p->contentViewController());
          shown.push_back(controller()->presentedViewController());
          for (kit::ViewController* vc : shown)
            if ((nav = dynamic_cast<kit::NavigationController*>(vc)) &&
                (login = dynamic_cast<tolva::VeskAuthenticationTableViewController*>(nav->topViewController())))
              return login->view()->window() != nullptr;
          return false;
        },
        20))
        << "no login screen";
    // The popover is pictured once it is wholly opaque; it must not stay part see-through.
    EXPECT_TRUE(waitUntil([&] {
      for (kit::View* v = nav->view(); v; v = v->superview()) {
        if (v->alpha() < 1.0) return false;
        if (dynamic_cast<kit::PopoverView*>(v)) {
          GtkWidget* box = kit::gtk::WidgetTree::installed()->widgetFor(v);
          GtkWidget* popover = box ? gtk_widget_get_ancestor(box, GTK_TYPE_POPOVER) : nullptr;
          if (!popover || gtk_widget_get_opacity(popover) < 1.0) return false;
        }
      }
      return true;
    }, 5)) << "the login screen stays part see-through";
    visit("login", nav->view());
    closeBy(login->navigationItem()->leftBarButtonItem());
    EXPECT_TRUE(waitUntil([&] { return kit::PopoverController::visiblePopovers().empty() &&
                                       controller()->presentedViewController() == nullptr; }, 5))
        << "the login screen stayed";
  }

  // Pages for the screens above: a link and a picture, and one behind a login.
  void serveScreensB() {
    server_.route("GET", "/menus",
                  TestResponse::html("<html><head><title>Menus</title></head><body style='margin:0;background:#ff00ff'>"
                                     "<p><a id='link' href='/loud' style='font-size:32px'>A link</a></p>"
                                     "<p><img id='picture' src='/picture.png' width='160' height='120'></p>"
                                     "</body></html>"));
    server_.route("GET", "/picture.png", TestResponse::ok(kPicture, "image/png"));
    server_.route("GET", "/locked", [](const tolvatest::RecordedRequest&) {
      return TestResponse::withStatus(401, "login needed").header("WWW-Authenticate", "Basic realm=\"Tour\"");
    });
    kit::UserDefaults::standardUserDefaults().setBool(true, "opt_http_auth");
  }

  void pinFirst(bool phone);

 public:
  // Each control on a screen is pressed in turn, which takes its time on a
  // loaded machine (ctest stops a test at 180 s).
  TourGuiTest() { watchdogSeconds_ = 170; }

 protected:
  bool phone_ = false;
};

TEST_F(TourGuiTest, TabletScreens) {
  ASSERT_TRUE(loudPage(false));
  kit::View* root = controller()->view();
  // At rest: the page shows, and every control over it can be found (the
  // trackpads shown at first start leave the private-mode button free).
  ASSERT_FALSE(controller()->trackPad()->isHidden());
  visit("rest", root, true);

  // The bookmark popover, its folders and forms.
  bookmarkTour();
  bookmarkFolderTour();
  pressKey(mainWindow(), GDK_KEY_Escape);
  EXPECT_TRUE(waitUntil([&] { return !strip()->getBookmarkPopover()->isPopoverVisible(); }, 5));

  // The download list is opaque between its bars; its Close button closes it.
  downloadTour();

  // The recently closed list, in a popover.
  kit::View* closed = recentlyClosed();
  visit("recently-closed", closed);
  pressKey(mainWindow(), GDK_KEY_Escape);
  EXPECT_TRUE(waitUntil([&] { return kit::PopoverController::visiblePopovers().empty(); }, 5)) << "the list stayed";

  // Typing an address nothing matches opens no suggestions; one the history
  // knows lists it.
  typeInto(page()->urlField(), "zzz");
  settle();
  EXPECT_EQ(suggestionPopover(), nullptr) << "an empty suggestion list opened";
  typeInto(page()->urlField(), "127");
  ASSERT_TRUE(waitUntil([&] { return suggestionPopover() != nullptr; }, 5)) << "no address suggestions";
  visit("address-suggestions", suggestionPopover());
  clickOutsidePopover(suggestionPopover());
  EXPECT_TRUE(waitUntil([&] { return suggestionPopover() == nullptr; }, 5)) << "the suggestions stayed";
  typeInto(page()->searchField(), "loud");
  ASSERT_TRUE(waitUntil([&] { return suggestionPopover() != nullptr; }, 5)) << "no search suggestions";
  visit("search-suggestions", suggestionPopover());
  pressKey(mainWindow(), GDK_KEY_Escape);
  EXPECT_TRUE(waitUntil([&] { return suggestionPopover() == nullptr; }, 5)) << "the suggestions stayed";

  // Full screen, both modes (the button's mode 2, and mode 1, which typing
  // in full screen returns to): its floating buttons show, and the exit
  // button steps on to the next mode and so out.
  for (int mode : {2, 1}) {
    strip()->makeAllTabsFullscreen(mode);
    ASSERT_TRUE(waitUntil([&] { return !page()->btnFullscreenExit()->isHidden(); }, 5));
    visit("fullscreen" + std::to_string(mode), root, true);
    for (int step = mode; step <= 2; ++step) clickMiddleOf(page()->btnFullscreenExit());
    EXPECT_TRUE(waitUntil([&] { return page()->btnFullscreenExit()->isHidden(); }, 5)) << "full screen kept";
  }

  // The address bar that scrolls away, on a new tab: at rest, with the page
  // scrolled, and while its field is edited (in front, on show).
  kit::UserDefaults::standardUserDefaults().setBool(true, "opt_urlbar_scroll");
  tolva::VeskMiscObject::sharedInstance()->_settingsChanged();
  const int tabs = strip()->tabCount();
  clickMiddleOf(newPageButton());
  ASSERT_TRUE(waitUntil([&] { return strip()->tabCount() == tabs + 1; }, 5)) << "no new tab";
  for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(-1, false);
  page()->bookmarkUrlSelected(server_.url("/loud"));
  ASSERT_TRUE(waitForTitle("Loud"));
  ASSERT_TRUE(page()->urlBarRidesWithPage());
  visit("scrolling-bar", root, true);
  page()->existingWebView()->stringByEvaluatingJavaScriptFromString("window.scrollTo(0, 400)");
  settle();
  visit("scrolling-bar-scrolled", root, true);
  typeInto(page()->urlField(), "zzz");  // nothing to suggest: no list over the bar
  kit::View* bar = page()->urlBaseView();
  EXPECT_TRUE(bar->window() && !bar->isHidden()) << "the bar being typed in is not on show";
  EXPECT_EQ(mainWindow()->hitTest(page()->urlField()->convertPointToView(middleOf(page()->urlField()->bounds()), nullptr), nullptr),
            page()->urlField())
      << "the field being typed in is covered";
  visit("scrolling-bar-editing", root, true);
  pressKey(mainWindow(), GDK_KEY_Escape);
}

TEST_F(TourGuiTest, PhoneScreens) {
  ASSERT_TRUE(loudPage(true));
  kit::View* root = controller()->view();
  // At rest: nothing is open for editing, the bookmark button is inside the
  // window and no pull tab covers it.
  EXPECT_FALSE(page()->urlField()->isFirstResponder()) << "the address field opened by itself";
  visit("rest", root, true);
  const kit::Rect bookmark = page()->bookmarkBtn()->frameInWindow();
  EXPECT_LE(bookmark.maxX(), mainWindow()->bounds().width()) << "the bookmark button is cut off";

  bookmarkTour();
  bookmarkFolderTour();
  clickItem(toolbarItem(strip()->getBookmarkNavicon()->topViewController(), "Close"));
  EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }, 5))
      << "the bookmark list stayed";

  downloadTour();

  // The recently closed list, presented whole.
  kit::View* closed = recentlyClosed();
  visit("recently-closed", closed);
  auto* closedNav = dynamic_cast<kit::NavigationController*>(controller()->presentedViewController());
  ASSERT_NE(closedNav, nullptr);
  // The keys go where the pointer is, over the window.
  pointerTo(mainWindow(), middleOf(onScreen(closed)));
  pressKey(mainWindow(), GDK_KEY_Escape);
  EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }, 5)) << "the list stayed";

  // The suggestion lists laid over the page, each closed by the field's close button.
  typeInto(page()->urlField(), "127");
  ASSERT_TRUE(waitUntil([&] { return !page()->resultTableView()->isHidden(); }, 5)) << "no address suggestions";
  visit("address-suggestions", page()->resultTableView());
  clickMiddleOf(page()->textFieldZoomCloseBtn());
  EXPECT_TRUE(waitUntil([&] { return page()->resultTableView()->isHidden(); }, 5)) << "the suggestions stayed";
  typeInto(page()->searchField(), "loud");
  ASSERT_TRUE(waitUntil([&] { return !page()->resultTableView()->isHidden(); }, 5)) << "no search suggestions";
  visit("search-suggestions", page()->resultTableView());
  clickMiddleOf(page()->textFieldZoomCloseBtn());
  EXPECT_TRUE(waitUntil([&] { return page()->resultTableView()->isHidden(); }, 5)) << "the suggestions stayed";

  // Full screen modes 1 and 2: the rotation lock stays reachable beside the floating buttons.
  for (int mode = 1; mode <= 2; ++mode) {
    page()->onFullScreen();
    ASSERT_TRUE(waitUntil([&] { return !page()->btnFullscreenExit()->isHidden(); }, 5));
    visit("fullscreen" + std::to_string(mode), root, true);
  }
  clickMiddleOf(page()->btnFullscreenExit());
  EXPECT_TRUE(waitUntil([&] { return page()->btnFullscreenExit()->isHidden(); }, 5)) << "full screen kept";
}

// A passcode stored before the start: the PIN window comes first, and
// the right PIN takes it away.
void TourGuiTest::pinFirst(bool phone) {
  kit::UserDefaults::standardUserDefaults().setString("1357", "passcode_value");
  phone_ = phone;
  // The main window stays hidden behind the PIN window.
  EXPECT_FALSE(startProgram(server_.url("/loud"), phone));
  ASSERT_TRUE(waitUntil([&] { return delegate() && delegate()->bPasscodeVisible(); }, 10)) << "no PIN window";
  auto* pin = dynamic_cast<tolva::PINViewController*>(delegate()->window2()->rootViewController()->presentedViewController());
  ASSERT_NE(pin, nullptr);
  screenshotWindow(delegate()->window2());
  visit("pin-window", pin->view(), true);
  typeKeys(pin->view(), "1357");
  ASSERT_TRUE(waitUntil([&] { return !delegate()->bPasscodeVisible() && !mainWindow()->isHidden(); }, 5))
      << "the PIN window stayed";
  screenshotWindow(mainWindow());
  ASSERT_TRUE(waitForTitle("Loud"));
}

// The gesture settings have many lists: a test of their own.
bool gestures(const std::string& title) { return title == "Gestures"; }

TEST_F(TourGuiTest, TabletSettings) {
  ASSERT_NO_FATAL_FAILURE(pinFirst(false));
  settingsTour([](const std::string& title) { return !gestures(title); });
}

TEST_F(TourGuiTest, PhoneSettings) {
  ASSERT_NO_FATAL_FAILURE(pinFirst(true));
  settingsTour([](const std::string& title) { return !gestures(title); });
}

TEST_F(TourGuiTest, TabletGestureSettings) {
  ASSERT_TRUE(loudPage(false));
  settingsTour(gestures, false);
}

TEST_F(TourGuiTest, PhoneGestureSettings) {
  ASSERT_TRUE(loudPage(true));
  settingsTour(gestures, false);
}

TEST_F(TourGuiTest, TabletShareSheets) {
  serveScreensB();
  ASSERT_TRUE(loudPage(false));
  shareTour();
}

TEST_F(TourGuiTest, TabletPageSheets) {
  serveScreensB();
  ASSERT_TRUE(loudPage(false));
  fontTour();
  pageMenusTour();
  loginTour();
}

TEST_F(TourGuiTest, PhoneShareSheets) {
  serveScreensB();
  ASSERT_TRUE(loudPage(true));
  shareTour();
}

TEST_F(TourGuiTest, PhonePageSheets) {
  serveScreensB();
  ASSERT_TRUE(loudPage(true));
  fontTour();
  pageMenusTour();
  loginTour();
}

}  // namespace
