#include "kit/gtk/NetworkActivityCursor.h"

#include <gtk/gtk.h>

#include "kit/gtk/WidgetTree.h"
#include "kit/ui/Application.h"
#include "kit/ui/Window.h"

namespace kit::gtk {

namespace {
bool gInstalled = false;
bool gBusy = false;

void onRealize(GtkWidget* widget, gpointer) {
  // A window that appears while requests run shows the cursor too.
  if (gBusy) gdk_window_set_cursor(gtk_widget_get_window(widget), NetworkActivityCursor::busyCursor());
}
}  // namespace

GdkCursor* NetworkActivityCursor::busyCursor() {
  static GdkCursor* cursor = [] {
    GdkDisplay* display = gdk_display_get_default();
    GdkCursor* c = gdk_cursor_new_from_name(display, "progress");
    // A cursor theme without the name: the core busy cursor.
    return c ? c : gdk_cursor_new_for_display(display, GDK_WATCH);
  }();
  return cursor;
}

void NetworkActivityCursor::install() {
  if (gInstalled) return;
  gInstalled = true;
  Application::sharedApplication()->setNetworkActivityIndicatorObserver([](bool visible) { apply(visible); });
  apply(Application::sharedApplication()->isNetworkActivityIndicatorVisible());
}

void NetworkActivityCursor::apply(bool busy) {
  gBusy = busy;
  WidgetTree* tree = WidgetTree::installed();
  if (!tree) return;
  for (const Ref<Window>& window : Application::sharedApplication()->windows()) {
    GtkWindow* top = tree->toplevelFor(window.get());
    if (!top) continue;
    if (!g_object_get_data(G_OBJECT(top), "tolva-busy-cursor")) {
      g_object_set_data(G_OBJECT(top), "tolva-busy-cursor", GINT_TO_POINTER(1));
      g_signal_connect(top, "realize", G_CALLBACK(onRealize), nullptr);
    }
    if (GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(top))) gdk_window_set_cursor(gw, busy ? busyCursor() : nullptr);
  }
}

}  // namespace kit::gtk
