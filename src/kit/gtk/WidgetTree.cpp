#include "kit/gtk/WidgetTree.h"

#include <algorithm>
#include <cmath>

#include "kit/gtk/DialogPresenter.h"
#include "kit/gtk/MainContextHost.h"
#include "kit/gtk/ViewWidget.h"
#include "kit/ui/Application.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/Screen.h"
#include "kit/ui/TextField.h"
#include "kit/ui/TextView.h"

namespace kit::gtk {
namespace {

WidgetTree* gTree = nullptr;

bool isAlertWindow(const Window* w) {
  return w->windowLevel() == Window::kLevelAlert && w == Window::alertWindow();
}

int px(double v) { return static_cast<int>(std::lround(v)); }

bool isMinimised(GtkWidget* toplevel) {
  GdkWindow* gw = gtk_widget_get_window(toplevel);
  return gw && (gdk_window_get_state(gw) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

}  // namespace

WidgetTree::WidgetTree() : dialogs_(new DialogPresenter(*this)) {}
WidgetTree::~WidgetTree() = default;

WidgetTree& WidgetTree::install() {
  if (!gTree) {
    gTree = new WidgetTree();  // lives as long as the process
    View::setObserver(gTree);
    for (auto& w : Window::allWindows()) {
      if (isAlertWindow(w.get()))
        gTree->dialogs_->sync(*w);
      else if (!w->isHidden())
        gTree->showWindow(*w);
    }
  }
  return *gTree;
}

WidgetTree* WidgetTree::installed() { return gTree; }

ViewWidget* WidgetTree::bindingFor(const View* view) const {
  auto it = bound_.find(view);
  return it == bound_.end() ? nullptr : it->second;
}

GtkWidget* WidgetTree::widgetFor(const View* view) const {
  if (!view) return nullptr;
  if (GtkWidget* d = dialogs_->dialogFor(view)) return d;
  ViewWidget* b = bindingFor(view);
  return b ? b->box() : nullptr;
}

WidgetTree::Toplevel* WidgetTree::toplevelOf(const Window* window) {
  for (auto& t : toplevels_)
    if (t->window.get() == window) return t.get();
  return nullptr;
}

GtkWindow* WidgetTree::toplevelFor(const Window* window) const {
  for (auto& t : toplevels_)
    if (t->window.get() == window) return GTK_WINDOW(t->gtkWindow);
  return nullptr;
}

Window* WidgetTree::windowForToplevel(GtkWidget* toplevel) const {
  for (auto& t : toplevels_)
    if (t->gtkWindow == toplevel) return t->window.get();
  return nullptr;
}

GtkWindow* WidgetTree::dialogParent() const {
  if (Window* key = Application::sharedApplication()->keyWindow())
    if (GtkWindow* w = toplevelFor(key)) return w;
  for (auto& t : toplevels_)
    if (gtk_widget_get_visible(t->gtkWindow)) return GTK_WINDOW(t->gtkWindow);
  return nullptr;
}

std::vector<GtkWidget*> WidgetTree::dialogs() const { return dialogs_->dialogs(); }

bool WidgetTree::allWindowsMinimised() const {
  bool any = false;
  for (auto& t : toplevels_) {
    if (!gtk_widget_get_visible(t->gtkWindow)) continue;
    if (!isMinimised(t->gtkWindow)) return false;
    any = true;
  }
  return any;
}

void WidgetTree::releaseHeldWindows() {
  std::vector<Ref<Window>> held;
  for (auto& t : toplevels_)
    if (t->held && t->window->isHidden()) held.push_back(t->window);
  for (auto& w : held) {
    toplevelOf(w.get())->held = false;
    hideWindow(*w);
  }
}

// ---------------------------------------------------------------- observer

void WidgetTree::viewChanged(View& view, ViewChange change) {
  if (auto* w = dynamic_cast<Window*>(&view)) {
    if (isAlertWindow(w)) {
      if (change == ViewChange::Subviews || change == ViewChange::Hidden) dialogs_->sync(*w);
      return;
    }
    switch (change) {
      case ViewChange::Hidden:
        if (w->isHidden())
          hideWindow(*w);
        else
          showWindow(*w);
        return;
      case ViewChange::KeyWindow:
        if (Toplevel* t = toplevelOf(w); t && w->isKeyWindow()) gtk_window_present(GTK_WINDOW(t->gtkWindow));
        return;
      case ViewChange::Frame:
        windowFrameChanged(*w);
        break;
      default:
        break;
    }
  }
  ViewWidget* b = bindingFor(&view);
  if (!b) return;
  if (change == ViewChange::Subviews) {
    reconcile(*b);
    return;
  }
  if (change == ViewChange::Superview) return;  // the parent's Subviews report covers it
  b->changed(change);
}

// ---------------------------------------------------------------- windows

void WidgetTree::showWindow(Window& window) {
  Toplevel* t = toplevelOf(&window);
  if (!t) {
    auto made = std::make_unique<Toplevel>();
    t = made.get();
    toplevels_.push_back(std::move(made));
    t->window = &window;
    t->gtkWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    // The wheel reaches kit's scroll views only through a window that asks for it.
    gtk_widget_add_events(t->gtkWindow, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
    const char* name = g_get_application_name();
    gtk_window_set_title(GTK_WINDOW(t->gtkWindow), name ? name : "");
    const Rect f = window.frame();
    gtk_window_set_default_size(GTK_WINDOW(t->gtkWindow), std::max(px(f.width()), 1), std::max(px(f.height()), 1));
    t->root = std::make_unique<ViewWidget>(*this, window, nullptr);
    bound_[&window] = t->root.get();
    gtk_container_add(GTK_CONTAINER(t->gtkWindow), t->root->box());
    gtk_widget_show(t->root->box());
    g_signal_connect(t->root->box(), "size-allocate", G_CALLBACK(onAllocate), this);
    g_signal_connect(t->gtkWindow, "delete-event", G_CALLBACK(onDelete), this);
    g_signal_connect(t->gtkWindow, "set-focus", G_CALLBACK(onSetFocus), this);
    reconcile(*t->root);
  }
  if (t->held) {
    t->held = false;
    gtk_widget_show(t->root->box());
  }
  gtk_widget_show(t->gtkWindow);
  // GTK hands a window it shows to its first focusable widget; a field it
  // picks that way would open for editing (the phone's address field did)
  // though nobody asked for it.
  if (GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(t->gtkWindow)); focus && GTK_IS_EDITABLE(focus)) {
    ViewWidget* b = ViewWidget::containing(focus);
    if (!b || !b->view().isFirstResponder()) {
      gtk_window_set_focus(GTK_WINDOW(t->gtkWindow), nullptr);
      // Focusing selected the whole text; it shows from its start again.
      gtk_editable_select_region(GTK_EDITABLE(focus), 0, 0);
    }
  }
  if (window.isKeyWindow()) gtk_window_present(GTK_WINDOW(t->gtkWindow));
}

// A hidden window gives up its widgets (and with them its hold on its views);
// showing it again builds them anew.
// A window hidden while minimised (the passcode lock hides the browser's when
// it enters the background) stays minimised with its content hidden: the
// desktop offers no way back to a window taken off the screen. Once it is
// shown again the program, told it is in the foreground, decides.
void WidgetTree::hideWindow(Window& window) {
  auto it = std::find_if(toplevels_.begin(), toplevels_.end(), [&](auto& t) { return t->window.get() == &window; });
  if (it == toplevels_.end()) return;
  if ((*it)->held) return;
  if (isMinimised((*it)->gtkWindow)) {
    (*it)->held = true;
    gtk_widget_hide((*it)->root->box());
    return;
  }
  std::unique_ptr<Toplevel> t = std::move(*it);
  toplevels_.erase(it);
  gtk_widget_hide(t->gtkWindow);
  t->root.reset();
  gtk_widget_destroy(t->gtkWindow);
  releaseLater(std::move(t->window));
}

void WidgetTree::windowFrameChanged(Window& window) {
  Toplevel* t = toplevelOf(&window);
  if (!t || applyingAllocation_) return;
  const Rect f = window.frame();
  int w = 0, h = 0;
  gtk_window_get_size(GTK_WINDOW(t->gtkWindow), &w, &h);
  if (w != px(f.width()) || h != px(f.height()))
    gtk_window_resize(GTK_WINDOW(t->gtkWindow), std::max(px(f.width()), 1), std::max(px(f.height()), 1));
}

void WidgetTree::onAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer self) {
  auto* tree = static_cast<WidgetTree*>(self);
  ViewWidget* b = ViewWidget::containing(widget);
  if (!b) return;
  auto* window = static_cast<Window*>(&b->view());
  const Size size{double(allocation->width), double(allocation->height)};
  if (window->frame().size == size) return;
  // Not from inside GTK's allocation: the kit views it resizes re-place their widgets.
  tree->pendingSizes_.push_back({Ref<Window>(window), size});
  if (tree->sizeIdle_) return;
  tree->sizeIdle_ = g_idle_add_full(G_PRIORITY_HIGH_IDLE, [](gpointer self) -> gboolean {
    auto* tree = static_cast<WidgetTree*>(self);
    tree->sizeIdle_ = 0;
    auto pending = std::move(tree->pendingSizes_);
    tree->pendingSizes_.clear();
    MainContextHost::deliver([tree, pending] {
      for (const auto& [window, size] : pending) {
        if (window->frame().size == size || !tree->toplevelOf(window.get())) continue;
        tree->applyingAllocation_ = true;
        // The first window is the screen the program lays itself out on.
        if (tree->toplevels_.front()->window == window) Screen::mainScreen().setSizeOverride(size);
        window->setFrame({window->frame().origin, size});
        View::layoutPendingViews();
        tree->applyingAllocation_ = false;
      }
    });
    return G_SOURCE_REMOVE;
  }, tree, nullptr);
}

gboolean WidgetTree::onDelete(GtkWidget* widget, GdkEvent*, gpointer self) {
  auto* tree = static_cast<WidgetTree*>(self);
  Ref<Window> window(tree->windowForToplevel(widget));
  const size_t open = std::count_if(tree->toplevels_.begin(), tree->toplevels_.end(),
                                    [](auto& t) { return gtk_widget_get_visible(t->gtkWindow); });
  MainContextHost::deliver([window, open] {
    if (open <= 1) {
      // Backend::run() returns; its caller terminates the application.
      if (gtk_main_level() > 0) gtk_main_quit();
    } else if (window) {
      window->setHidden(true);
    }
  });
  return TRUE;
}

void WidgetTree::onSetFocus(GtkWindow*, GtkWidget* widget, gpointer self) {
  if (!widget && static_cast<WidgetTree*>(self)->rebinding_ > 0) return;
  ViewWidget* b = widget ? ViewWidget::containing(widget) : nullptr;
  Ref<View> focused;
  if (b && b->content() == widget &&
      (b->kind() == ViewWidget::Kind::TextField || b->kind() == ViewWidget::Kind::TextView))
    focused = &b->view();
  // After GTK's own handling of the click or key: starting to edit may move
  // the field to another superview, and the widget GTK is still working with
  // must not be torn down under it. Only the latest change is followed: each
  // one kit makes is reported back, so acting on older ones would set the
  // two chasing each other (to the field, away, to it again) for good.
  static uint64_t latest = 0;
  MainContextHost::post([focused, change = ++latest] {
    if (change != latest) return;
    Responder* current = Responder::firstResponder();
    if (focused) {
      if (!focused->isFirstResponder() && !focused->becomeFirstResponder()) {
        // Refused: kit's State report moves GTK's focus back off the field.
        focused->resignFirstResponder();
      }
      return;
    }
    if (current && (dynamic_cast<TextField*>(current) || dynamic_cast<TextView*>(current)))
      current->resignFirstResponder();
  });
}

// ---------------------------------------------------------------- bindings

std::unique_ptr<ViewWidget> WidgetTree::bind(View& view, ViewWidget* parent) {
  auto b = std::make_unique<ViewWidget>(*this, view, parent);
  bound_[&view] = b.get();
  reconcile(*b);
  return b;
}

void WidgetTree::forget(const View* view, const ViewWidget* binding) {
  auto it = bound_.find(view);
  if (it != bound_.end() && it->second == binding) bound_.erase(it);
}

void WidgetTree::reconcile(ViewWidget& parent) {
  ++rebinding_;
  struct Done {
    int& depth;
    ~Done() { --depth; }
  } done{rebinding_};
  const std::vector<View*> wanted = parent.wantedChildren();
  auto& children = parent.children();
  // Drop what left.
  for (auto it = children.begin(); it != children.end();) {
    if (std::find(wanted.begin(), wanted.end(), &(*it)->view()) == wanted.end())
      it = children.erase(it);
    else
      ++it;
  }
  // Bind what came, in kit's order.
  std::vector<std::unique_ptr<ViewWidget>> ordered;
  for (View* v : wanted) {
    auto it = std::find_if(children.begin(), children.end(), [&](auto& c) { return &c->view() == v; });
    if (it != children.end()) {
      ordered.push_back(std::move(*it));
      children.erase(it);
    } else if (ViewWidget* elsewhere = bindingFor(v)) {
      // Still bound under its old parent, whose report has not come yet.
      ViewWidget* old = elsewhere->parent();
      if (old) {
        auto& sib = old->children();
        sib.erase(std::remove_if(sib.begin(), sib.end(), [&](auto& c) { return c.get() == elsewhere; }), sib.end());
      }
      ordered.push_back(bind(*v, &parent));
    } else {
      ordered.push_back(bind(*v, &parent));
    }
  }
  children = std::move(ordered);
  // Stack the boxes as kit orders the views: keep the longest right prefix,
  // move the rest to the top in order.
  std::vector<GtkWidget*> inBox;
  GList* list = gtk_container_get_children(GTK_CONTAINER(parent.box()));
  for (GList* l = list; l; l = l->next) {
    GtkWidget* w = GTK_WIDGET(l->data);
    if (std::any_of(children.begin(), children.end(), [&](auto& c) { return c->box() == w; })) inBox.push_back(w);
  }
  g_list_free(list);
  std::vector<ViewWidget*> stacked;
  for (auto& c : children)
    if (!c->popover()) stacked.push_back(c.get());
  size_t same = 0;
  while (same < stacked.size() && same < inBox.size() && stacked[same]->box() == inBox[same]) ++same;
  for (size_t i = same; i < stacked.size(); ++i) {
    GtkWidget* box = stacked[i]->box();
    if (gtk_widget_get_parent(box) == parent.box()) gtk_container_remove(GTK_CONTAINER(parent.box()), box);
  }
  for (auto& c : children) parent.placeChild(*c);
}

void WidgetTree::releaseLater(Ref<Object> object) {
  if (!object) return;
  graveyard_.push_back(std::move(object));
  if (graveyardIdle_) return;
  graveyardIdle_ = g_idle_add(
      [](gpointer self) -> gboolean {
        auto* tree = static_cast<WidgetTree*>(self);
        tree->graveyardIdle_ = 0;
        std::vector<Ref<Object>> dead;
        dead.swap(tree->graveyard_);
        dead.clear();
        return G_SOURCE_REMOVE;
      },
      this);
}

}  // namespace kit::gtk
