#include "kit/gtk/ActivityMonitor.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <vector>

#include "kit/gtk/MainContextHost.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/Application.h"

namespace kit::gtk {
namespace {

constexpr guint kSettleMs = 150;
bool gInstalled = false;
guint gSettle = 0;

// Whether one of the program's own windows has the focus.
bool ownWindowIsActive() {
  WidgetTree* tree = WidgetTree::installed();
  if (!tree) return false;
  const std::vector<GtkWidget*> dialogs = tree->dialogs();
  GList* all = gtk_window_list_toplevels();
  bool active = false;
  for (GList* l = all; l && !active; l = l->next) {
    auto* w = static_cast<GtkWidget*>(l->data);
    const bool own = tree->windowForToplevel(w) || std::find(dialogs.begin(), dialogs.end(), w) != dialogs.end();
    active = own && gtk_widget_get_visible(w) && gtk_window_is_active(GTK_WINDOW(w));
  }
  g_list_free(all);
  return active;
}

}  // namespace

void ActivityMonitor::install() {
  if (gInstalled) return;
  gInstalled = true;
  g_type_class_ref(GTK_TYPE_WINDOW);
  // A toplevel hears these when it gains or loses the desktop's focus.
  for (const char* signal : {"focus-in-event", "focus-out-event"})
    g_signal_add_emission_hook(g_signal_lookup(signal, GTK_TYPE_WIDGET), 0, onActiveChanged, nullptr, nullptr);
  // ... and this when it is minimised or shown again.
  g_signal_add_emission_hook(g_signal_lookup("window-state-event", GTK_TYPE_WIDGET), 0, onStateChanged, nullptr,
                             nullptr);
}

gboolean ActivityMonitor::onStateChanged(GSignalInvocationHint*, guint count, const GValue* params, gpointer) {
  if (count < 1 || !GTK_IS_WINDOW(g_value_get_object(&params[0]))) return TRUE;
  // Not inside the window's own signal: the program may take windows down.
  g_idle_add([](gpointer) -> gboolean {
    MainContextHost::deliver([] { update(); });
    return G_SOURCE_REMOVE;
  }, nullptr);
  return TRUE;
}

gboolean ActivityMonitor::onActiveChanged(GSignalInvocationHint*, guint count, const GValue* params, gpointer) {
  if (count < 1 || !GTK_IS_WINDOW(g_value_get_object(&params[0]))) return TRUE;
  if (gSettle) g_source_remove(gSettle);
  gSettle = g_timeout_add(kSettleMs, onSettled, nullptr);
  return TRUE;  // stay installed
}

gboolean ActivityMonitor::onSettled(gpointer) {
  gSettle = 0;
  MainContextHost::deliver([] { update(); });
  return G_SOURCE_REMOVE;
}

void ActivityMonitor::update() {
  Application* app = Application::sharedApplication();
  WidgetTree* tree = WidgetTree::installed();
  if (tree && tree->allWindowsMinimised()) {
    app->enterBackground();
    return;
  }
  if (app->applicationState() == Application::State::Background) {
    app->enterForeground();
    if (tree) tree->releaseHeldWindows();
  }
  const bool active = ownWindowIsActive();
  if (active && app->applicationState() == Application::State::Inactive)
    app->becomeActive();
  else if (!active && app->applicationState() == Application::State::Active)
    app->resignActive();
}

}  // namespace kit::gtk
