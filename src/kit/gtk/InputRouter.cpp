#include "kit/gtk/InputRouter.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <optional>
#include <string>

#include "kit/gtk/MainContextHost.h"
#include "kit/gtk/ViewWidget.h"
#include "kit/gtk/WebKitView.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Control.h"
#include "kit/ui/LongPressGestureRecognizer.h"
#include "kit/ui/MailComposeViewController.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/PanGestureRecognizer.h"
#include "kit/ui/PinchGestureRecognizer.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/Slider.h"
#include "kit/ui/SwipeGestureRecognizer.h"
#include "kit/ui/TapGestureRecognizer.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/Window.h"

namespace kit::gtk {
namespace {

struct Press {
  Ref<Window> window;
  Ref<View> hit;
  Point start;
  Point last;
  int taps = 1;
  bool kitTouch = false;
  bool dragging = false;
  Ref<LongPressGestureRecognizer> longPress;
  bool longActive = false;
  Ref<PanGestureRecognizer> pan;
  bool panActive = false;
  // The scroll view a drag moves, as a finger's would.
  Ref<ScrollView> scrolling;
  guint timer = 0;
};

std::optional<Press> gPress;
Ref<PinchGestureRecognizer> gPinch;
double gSwipeDx = 0, gSwipeDy = 0;
guint32 gLastClickTime = 0;
Point gLastClickPoint;
int gLastTaps = 0;

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

Point in(const GestureRecognizer& r, Point windowPoint) {
  return r.view() ? r.view()->convertPointFromView(windowPoint, nullptr) : windowPoint;
}

// The recognisers that see a touch on `hit`: its own, and, unless it is a
// control that handles touches itself, those of its ancestors.
template <class R>
std::vector<Ref<R>> recognizers(View* hit) {
  std::vector<Ref<R>> out;
  auto* control = dynamic_cast<Control*>(hit);
  const bool ownOnly = control && control->isEnabled();
  for (View* v = hit; v; v = v->superview()) {
    for (const auto& g : v->gestureRecognizers())
      if (auto* r = dynamic_cast<R*>(g.get()); r && r->isEnabled()) out.emplace_back(r);
    if (ownOnly) break;
  }
  return out;
}

// Where the event is, as a kit window and a point in its coordinates.
bool locate(GdkEvent* event, Ref<Window>& window, Point& point) {
  GtkWidget* w = gtk_get_event_widget(event);
  GtkWidget* root = nullptr;
  for (GtkWidget* cur = w; cur && !root; cur = gtk_widget_get_parent(cur)) {
    GtkWidget* probe = cur;
    if (GTK_IS_WINDOW(cur) || GTK_IS_POPOVER(cur)) probe = gtk_bin_get_child(GTK_BIN(cur));
    if (probe && ViewWidget::rootViewOf(probe)) root = probe;
  }
  if (!root || !gtk_widget_get_realized(root)) return false;
  View* rootView = ViewWidget::rootViewOf(root);
  double rx = 0, ry = 0;
  if (!gdk_event_get_root_coords(event, &rx, &ry)) return false;
  int ox = 0, oy = 0;
  gdk_window_get_origin(gtk_widget_get_window(root), &ox, &oy);
  GtkAllocation a;
  gtk_widget_get_allocation(root, &a);
  const Point local{rx - ox - a.x, ry - oy - a.y};
  window = rootView->window();
  if (!window) return false;
  point = rootView->convertPointToView(local, nullptr);
  return true;
}

// Whether a GTK grab (a modal dialog or popover) keeps this event from kit.
bool blockedByGrab(GdkEvent* event) {
  GtkWidget* grab = gtk_grab_get_current();
  if (!grab) return false;
  GtkWidget* w = gtk_get_event_widget(event);
  return !w || (w != grab && !gtk_widget_is_ancestor(w, grab));
}

// Whether `sv` has room to move along the drag's main direction.
bool canScroll(const ScrollView& sv, Point drag) {
  if (!sv.isScrollEnabled()) return false;
  const Point min = sv.minimumContentOffset(), max = sv.maximumContentOffset();
  return std::fabs(drag.x) >= std::fabs(drag.y) ? max.x > min.x : max.y > min.y;
}

// The innermost scroll view around `hit` (short of a page, which scrolls
// itself) that a drag along `drag` moves.
ScrollView* scrollViewFor(View* hit, Point drag) {
  for (View* v = hit; v; v = v->superview()) {
    if (dynamic_cast<WebView*>(v)) return nullptr;
    if (auto* sv = dynamic_cast<ScrollView*>(v); sv && canScroll(*sv, drag)) return sv;
  }
  return nullptr;
}

// Moves the content by `by` (what the pointer did), kept in range.
bool scrollBy(ScrollView& sv, Point by) {
  const Point min = sv.minimumContentOffset(), max = sv.maximumContentOffset();
  const Point o = sv.contentOffset();
  const Point next{std::clamp(o.x - by.x, min.x, std::max(min.x, max.x)),
                   std::clamp(o.y - by.y, min.y, std::max(min.y, max.y))};
  if (next == o) return false;
  sv.setContentOffset(next);
  return true;
}

void cancelTimer(Press& p) {
  if (p.timer) g_source_remove(p.timer);
  p.timer = 0;
}

// GTK closes a modal popover on a press outside it; one that leaves views
// touchable (a suggestion list under its field) is not modal, so a press
// outside it and its pass-through views is the tap that dismisses it, and
// goes no further. Answers whether a popover went.
bool tappedOutsidePopover(View* hit) {
  bool dismissed = false;
  for (auto& pop : PopoverController::visiblePopovers()) {
    if (pop->passthroughViews().empty()) continue;
    PopoverView* panel = pop->popoverView();
    if (hit && panel && (hit == panel || hit->isDescendantOfView(panel))) continue;
    if (pop->tapOutside(hit)) dismissed = true;
  }
  return dismissed;
}

void beginPress(Ref<Window> window, Point p, int taps, bool inPopover) {
  if (gPress) {
    cancelTimer(*gPress);
    if (gPress->kitTouch) gPress->window->touchCancel();
    gPress.reset();
  }
  Press s;
  s.window = window;
  s.start = s.last = p;
  s.taps = taps;
  s.hit = window->hitTest(p, nullptr);
  if (!inPopover && tappedOutsidePopover(s.hit.get())) return;
  // A slider follows GTK's own drag (its value is routed as a user's slide).
  if (!dynamic_cast<Slider*>(s.hit.get())) {
    window->touchBegin(p, taps);
    s.kitTouch = true;
  }
  if (s.hit) {
    if (auto lp = recognizers<LongPressGestureRecognizer>(s.hit.get()); !lp.empty()) s.longPress = lp.front();
    if (auto pan = recognizers<PanGestureRecognizer>(s.hit.get()); !pan.empty()) s.pan = pan.front();
  }
  if (s.longPress) {
    const guint ms = static_cast<guint>(std::max(0.0, s.longPress->minimumPressDuration()) * 1000);
    s.timer = g_timeout_add(ms, [](gpointer) -> gboolean {
      if (!gPress) return G_SOURCE_REMOVE;
      gPress->timer = 0;
      MainContextHost::deliver([] {
        if (!gPress || gPress->dragging || gPress->longActive) return;
        Press& s = *gPress;
        if (s.longPress->press(in(*s.longPress, s.last))) {
          s.longActive = true;
          if (s.longPress->cancelsTouchesInView() && s.kitTouch) {
            s.window->touchCancel();
            s.kitTouch = false;
          }
        }
      });
      return G_SOURCE_REMOVE;
    }, nullptr);
  }
  gPress = std::move(s);
}

void movePress(Point p) {
  if (!gPress) return;
  Press& s = *gPress;
  const Point delta = p - s.last;
  s.last = p;
  if (s.kitTouch) s.window->touchMove(p);
  if (s.longActive) {
    s.longPress->move(in(*s.longPress, p));
    return;
  }
  if (!s.dragging && distance(p, s.start) > InputRouter::kDragThreshold) {
    s.dragging = true;
    cancelTimer(s);
    if (s.pan && s.pan->begin(in(*s.pan, s.start), 1)) {
      s.panActive = true;
      s.pan->moveBy(p - s.start);
      if (s.pan->cancelsTouchesInView() && s.kitTouch) {
        s.window->touchCancel();
        s.kitTouch = false;
      }
    } else if (!dynamic_cast<Slider*>(s.hit.get())) {
      // A drag that no recogniser takes moves the scroll view it began in
      // (a drag across a table row stays a touch: the row's swipe).
      if (ScrollView* sv = scrollViewFor(s.hit.get(), p - s.start)) {
        s.scrolling = sv;
        if (s.kitTouch) {
          s.window->touchCancel();
          s.kitTouch = false;
        }
        scrollBy(*sv, p - s.start);
      }
    }
    return;
  }
  if (s.panActive) s.pan->moveBy(delta);
  if (s.scrolling) scrollBy(*s.scrolling, delta);
}

void endPress(Point p) {
  if (!gPress) return;
  Press s = std::move(*gPress);
  gPress.reset();
  cancelTimer(s);
  bool cancelTouch = false;
  if (s.longActive) {
    s.longPress->lift(in(*s.longPress, p));
  } else if (s.panActive) {
    s.pan->end();
  } else if (!s.dragging && s.hit) {
    for (auto& tap : recognizers<TapGestureRecognizer>(s.hit.get())) {
      if (tap->tap(in(*tap, p), 1, static_cast<size_t>(s.taps))) {
        cancelTouch = tap->cancelsTouchesInView();
        break;
      }
    }
  }
  if (s.kitTouch) {
    if (cancelTouch)
      s.window->touchCancel();
    else
      s.window->touchEnd(p);
  }
}

void scroll(Ref<Window> window, Point p, double dx, double dy) {
  View* hit = window->hitTest(p, nullptr);
  for (View* v = hit; v; v = v->superview()) {
    if (dynamic_cast<WebView*>(v)) return;  // the page scrolls itself
    auto* sv = dynamic_cast<ScrollView*>(v);
    if (!sv || !sv->isScrollEnabled()) continue;
    // The plain wheel moves a view that scrolls only sideways (the tab strip) sideways.
    const Point min = sv->minimumContentOffset(), max = sv->maximumContentOffset();
    Point by{dx, dy};
    if (dx == 0 && max.y <= min.y && max.x > min.x) by = {dy, 0};
    if (scrollBy(*sv, Point{-by.x, -by.y})) return;
    // At its end: an outer scroll view may move.
  }
}

// The secondary button is a long press: it runs the long-press recognisers
// of what is under the pointer at once (a page has its own menu for it).
bool secondaryPress(GdkEvent* event) {
  Ref<Window> window;
  Point p;
  if (!locate(event, window, p)) return false;
  View* hit = window->hitTest(p, nullptr);
  for (View* v = hit; v; v = v->superview())
    if (dynamic_cast<WebView*>(v)) return false;
  auto found = hit ? recognizers<LongPressGestureRecognizer>(hit) : std::vector<Ref<LongPressGestureRecognizer>>{};
  if (found.empty()) return false;
  Ref<LongPressGestureRecognizer> press = found.front();
  MainContextHost::deliver([press, p] {
    const Point at = in(*press, p);
    if (press->press(at)) press->lift(at);
  });
  return true;
}

void swipe(Ref<Window> window, Point p, double dx, double dy, size_t fingers) {
  if (std::max(std::fabs(dx), std::fabs(dy)) < InputRouter::kSwipeDistance) return;
  SwipeGestureRecognizer::Direction d;
  if (std::fabs(dx) >= std::fabs(dy))
    d = dx > 0 ? SwipeGestureRecognizer::Right : SwipeGestureRecognizer::Left;
  else
    d = dy > 0 ? SwipeGestureRecognizer::Down : SwipeGestureRecognizer::Up;
  View* hit = window->hitTest(p, nullptr);
  for (View* v = hit; v; v = v->superview())
    for (const auto& g : v->gestureRecognizers()) {
      auto* r = dynamic_cast<SwipeGestureRecognizer*>(g.get());
      if (r && r->isEnabled() && r->swipe(d, fingers, in(*r, p))) return;
    }
}

bool routeToKit(GdkEvent* event) {
  Ref<Window> window;
  Point p;
  switch (event->type) {
    case GDK_BUTTON_PRESS: {
      if (event->button.button == 3) return secondaryPress(event);
      if (event->button.button != 1 || !locate(event, window, p)) return false;
      GtkSettings* settings = gtk_settings_get_default();
      gint doubleClickMs = 400;
      g_object_get(settings, "gtk-double-click-time", &doubleClickMs, nullptr);
      int taps = 1;
      if (event->button.time - gLastClickTime <= guint32(doubleClickMs) && distance(p, gLastClickPoint) < 5)
        taps = gLastTaps + 1;
      gLastClickTime = event->button.time;
      gLastClickPoint = p;
      gLastTaps = taps;
      bool inPopover = false;
      for (GtkWidget* w = gtk_get_event_widget(event); w && !inPopover; w = gtk_widget_get_parent(w))
        inPopover = GTK_IS_POPOVER(w);
      MainContextHost::deliver([window, p, taps, inPopover] { beginPress(window, p, taps, inPopover); });
      return true;
    }
    case GDK_MOTION_NOTIFY:
      if (!(event->motion.state & GDK_BUTTON1_MASK) || !locate(event, window, p)) return false;
      MainContextHost::deliver([p] { movePress(p); });
      return true;
    case GDK_BUTTON_RELEASE:
      if (event->button.button != 1 || !locate(event, window, p)) return false;
      MainContextHost::deliver([p] { endPress(p); });
      return true;
    case GDK_SCROLL: {
      if (!locate(event, window, p)) return false;
      double dx = 0, dy = 0;
      switch (event->scroll.direction) {
        case GDK_SCROLL_UP: dy = -1; break;
        case GDK_SCROLL_DOWN: dy = 1; break;
        case GDK_SCROLL_LEFT: dx = -1; break;
        case GDK_SCROLL_RIGHT: dx = 1; break;
        case GDK_SCROLL_SMOOTH: gdk_event_get_scroll_deltas(event, &dx, &dy); break;
      }
      MainContextHost::deliver([window, p, dx, dy] { scroll(window, p, dx * 40, dy * 40); });
      return true;
    }
    case GDK_TOUCHPAD_SWIPE: {
      const GdkEventTouchpadSwipe& e = event->touchpad_swipe;
      if (e.phase == GDK_TOUCHPAD_GESTURE_PHASE_BEGIN) gSwipeDx = gSwipeDy = 0;
      gSwipeDx += e.dx;
      gSwipeDy += e.dy;
      if (e.phase != GDK_TOUCHPAD_GESTURE_PHASE_END || !locate(event, window, p)) return true;
      const double dx = gSwipeDx, dy = gSwipeDy;
      const size_t fingers = static_cast<size_t>(e.n_fingers);
      MainContextHost::deliver([window, p, dx, dy, fingers] { swipe(window, p, dx, dy, fingers); });
      return true;
    }
    case GDK_TOUCHPAD_PINCH: {
      const GdkEventTouchpadPinch& e = event->touchpad_pinch;
      if (!locate(event, window, p)) return false;
      const auto phase = e.phase;
      const double scale = e.scale;
      MainContextHost::deliver([window, p, phase, scale] {
        if (phase == GDK_TOUCHPAD_GESTURE_PHASE_BEGIN) {
          gPinch = nullptr;
          View* hit = window->hitTest(p, nullptr);
          auto found = recognizers<PinchGestureRecognizer>(hit);
          if (!found.empty() && found.front()->begin(in(*found.front(), p))) gPinch = found.front();
        } else if (gPinch && phase == GDK_TOUCHPAD_GESTURE_PHASE_UPDATE) {
          gPinch->change(scale);
        } else if (gPinch && phase == GDK_TOUCHPAD_GESTURE_PHASE_END) {
          gPinch->end();
          gPinch = nullptr;
        } else if (gPinch) {
          gPinch->cancel();
          gPinch = nullptr;
        }
      });
      return true;
    }
    default:
      return false;
  }
}

// ---------------------------------------------------------------- Escape

// How surely an action closes the screen it is on: 0 for a Cancel item, 1
// for an action named for closing, 2 for a Done item; -1 for any other.
int closingRank(const std::string& actionName, bool systemCancel, bool systemDone) {
  if (systemCancel) return 0;
  std::string name = actionName;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* word : {"cancel", "close", "dismiss"})
    if (name.find(word) != std::string::npos) return 1;
  return systemDone ? 2 : -1;
}

// The control that closes the screen `root` shows: the best-ranked enabled
// bar item or button a finger could reach in it, run as its tap would.
std::function<void()> closingControl(View& root) {
  int best = 3;
  std::function<void()> found;
  auto consider = [&](int rank, std::function<void()> run) {
    if (rank >= 0 && rank < best) {
      best = rank;
      found = std::move(run);
    }
  };
  auto item = [&](const Ref<BarButtonItem>& i) {
    if (!i || !i->isEnabled() || !i->whyUntappable().empty()) return;
    const bool system = i->isSystemItem();
    consider(closingRank(i->actionName(), system && i->systemItem() == BarButtonItem::SystemItem::Cancel,
                         system && i->systemItem() == BarButtonItem::SystemItem::Done),
             [i] { i->perform(); });
  };
  std::function<void(View&)> walk = [&](View& v) {
    if (v.isHidden() || v.alpha() <= 0) return;
    if (auto* bar = dynamic_cast<NavigationBar*>(&v); bar && bar->topItem()) {
      for (const auto& i : bar->topItem()->leftBarButtonItems()) item(i);
      for (const auto& i : bar->topItem()->rightBarButtonItems()) item(i);
    } else if (auto* toolbar = dynamic_cast<Toolbar*>(&v)) {
      for (const auto& i : toolbar->items()) item(i);
    } else if (auto* control = dynamic_cast<Control*>(&v); control && control->isEnabled()) {
      for (const std::string& action : control->actionsForControlEvent(Control::TouchUpInside)) {
        if (!control->whyUntappable().empty()) break;
        Ref<Control> c(control);
        consider(closingRank(action, false, false), [c] { c->sendActionsForControlEvents(Control::TouchUpInside); });
      }
    }
    for (const auto& sub : v.subviews()) walk(*sub);
  };
  walk(root);
  return found;
}

// What the Escape key closes in `window`, the topmost first: an alert or
// action sheet (as its cancel button, or a tap beside a sheet), a popover
// (as a tap outside it), or a presented screen or dialog (by its own close,
// cancel or Done control, else its back button). A screen with none of
// these (the PIN lock) stays. Empty when nothing is presented.
std::function<void()> escapeAction(Window& window) {
  if (Window* alerts = Window::alertWindow(); alerts && !alerts->subviews().empty()) {
    for (auto it = alerts->subviews().rbegin(); it != alerts->subviews().rend(); ++it) {
      if (auto* alert = dynamic_cast<AlertView*>(it->get())) {
        // An alert with one button and no cancel button only acknowledges.
        long index = alert->cancelButtonIndex();
        if (index < 0 && alert->numberOfButtons() == 1) index = 0;
        Ref<AlertView> keep(alert);
        return [keep, index] {
          if (index >= 0) keep->tapButton(index);
        };
      }
      if (auto* sheet = dynamic_cast<ActionSheet*>(it->get())) {
        Ref<ActionSheet> keep(sheet);
        return [keep] { keep->tapOutside(); };
      }
    }
  }
  View* base = window.rootViewController() ? window.rootViewController()->view() : nullptr;
  const auto& subviews = window.subviews();
  for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
    View& v = **it;
    if (&v == base) break;
    if (v.isHidden() || v.alpha() <= 0) continue;
    if (auto* panel = dynamic_cast<PopoverView*>(&v)) {
      Ref<PopoverController> controller(panel->popoverController());
      if (!controller || !controller->isPopoverVisible()) continue;
      return [controller] { controller->tapOutside(nullptr); };
    }
    ViewController* screen = v.viewController();
    if (auto* mail = dynamic_cast<MailComposeViewController*>(screen)) {
      Ref<MailComposeViewController> keep(mail);
      return [keep] { keep->finish(MailComposeResult::Cancelled); };
    }
    if (auto close = closingControl(v)) return close;
    if (auto* nav = dynamic_cast<NavigationController*>(screen); nav && nav->navigationBar()->backButton()) {
      Ref<NavigationController> keep(nav);
      return [keep] { keep->navigationBar()->tapBackButton(); };
    }
    // A presented screen with no way out keeps the key; anything else (a
    // dimming layer under a dialog) lets the search go on beneath it.
    if (screen && screen->presentingViewController()) return [] {};
  }
  return {};
}

// Escape closes what is presented on top; with nothing presented it goes to
// the focused field or page as usual.
bool escapeKey(GdkEvent* event) {
  if (event->type != GDK_KEY_PRESS || event->key.keyval != GDK_KEY_Escape) return false;
  GtkWidget* w = gtk_get_event_widget(event);
  GtkWidget* top = w ? gtk_widget_get_toplevel(w) : nullptr;
  if (!top || !GTK_IS_WINDOW(top)) return false;
  // The program's own windows: a kit window, or a dialog over one.
  GtkWindow* owner = gtk_window_get_transient_for(GTK_WINDOW(top));
  GtkWidget* kitTop = owner ? GTK_WIDGET(owner) : top;
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(kitTop));
  if (!child || !ViewWidget::rootViewOf(child)) return false;
  Window* window = Application::sharedApplication()->keyWindow();
  if (!window) return false;
  auto action = escapeAction(*window);
  if (!action) return false;
  MainContextHost::deliver(std::move(action));
  return true;
}

// A pointer event GTK would give a page although a kit view laid over the
// page (a trackpad, a dial) is what the kit finds under the pointer: the
// page's own window may stack above that view's when it was made later.
bool meantForAViewOverThePage(GdkEvent* event) {
  switch (event->type) {
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_MOTION_NOTIFY:
      break;
    default:
      return false;
  }
  bool onPage = false;
  for (GtkWidget* w = gtk_get_event_widget(event); w && !onPage; w = gtk_widget_get_parent(w))
    onPage = WEBKIT_IS_WEB_VIEW(w);
  if (!onPage) return false;
  Ref<Window> window;
  Point p;
  if (!locate(event, window, p)) return false;
  View* hit = window->hitTest(p, nullptr);
  if (!hit) return false;
  for (View* v = hit; v; v = v->superview())
    if (dynamic_cast<WebView*>(v)) return false;
  return true;
}

// A press GTK would give a control's own widget (a bar item's button, a
// switch) although kit finds another view over it there, as a screen
// presented over the toolbar: the control's input window stacks above the
// covering view's drawing, so GTK alone would press the hidden control too
// (and light it, or show its tooltip, under the pointer).
bool meantForAViewOverAControl(GdkEvent* event) {
  constexpr guint kButtons = GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK;
  switch (event->type) {
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
      break;
    // Hovering lights a control and brings its tooltip; a drag that began
    // on the control goes on reaching it wherever the pointer goes.
    case GDK_MOTION_NOTIFY:
      if (event->motion.state & kButtons) return false;
      break;
    case GDK_ENTER_NOTIFY:
      if (event->crossing.state & kButtons) return false;
      break;
    default:
      return false;
  }
  GtkWidget* w = gtk_get_event_widget(event);
  // A popover's views are found from the popover, not from the window.
  if (!w || gtk_widget_get_ancestor(w, GTK_TYPE_POPOVER)) return false;
  ViewWidget* owner = ViewWidget::containing(w);
  if (!owner) return false;
  Ref<Window> window;
  Point p;
  if (!locate(event, window, p) || window.get() != owner->view().window()) return false;
  View* hit = window->hitTest(p, nullptr);
  if (!hit) return false;
  for (View* v = hit; v; v = v->superview())
    if (v == &owner->view()) return false;
  return true;
}

void dispatch(GdkEvent* event, gpointer) { InputRouter::handle(event); }

}  // namespace

void InputRouter::install() { gdk_event_handler_set(dispatch, nullptr, nullptr); }

void InputRouter::handle(GdkEvent* event) {
  if (escapeKey(event)) return;
  bool swallow = false;
  if (!blockedByGrab(event) && routeToKit(event)) {
    GtkWidget* w = gtk_get_event_widget(event);
    swallow = w && g_object_get_data(G_OBJECT(w), "kit-swallow-pointer") &&
              (event->type == GDK_BUTTON_PRESS || event->type == GDK_BUTTON_RELEASE);
  }
  if (!swallow && !blockedByGrab(event) && (meantForAViewOverThePage(event) || meantForAViewOverAControl(event)))
    swallow = true;
  if (!swallow) gtk_main_do_event(event);
}

}  // namespace kit::gtk
