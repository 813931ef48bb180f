#pragma once
// Follows the desktop's focus for the application's life cycle: while one of
// the program's own windows (kit windows and the dialogs of its alerts) has
// the focus the application is active; once another program's window (or
// none) has it, the application resigns active, and becomes active again
// when one of its windows gets the focus back. Focus moving between the
// program's own windows is settled after a short delay, so it never counts
// as leaving. Once every one of its windows is minimised the application
// enters the background, and it enters the foreground when one is shown
// again (a window the program hides meanwhile stays minimised until then:
// see WidgetTree::hideWindow).

#include <glib-object.h>

namespace kit::gtk {

class ActivityMonitor {
 public:
  // Watches every GTK window's focus (once; later calls do nothing).
  static void install();
  // Compares the focus with the application's state now and tells it of a change.
  static void update();

 private:
  static gboolean onActiveChanged(GSignalInvocationHint* hint, guint count, const GValue* params, gpointer data);
  static gboolean onSettled(gpointer data);
  static gboolean onStateChanged(GSignalInvocationHint* hint, guint count, const GValue* params, gpointer data);
};

}  // namespace kit::gtk
