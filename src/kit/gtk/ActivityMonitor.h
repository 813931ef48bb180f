#pragma once
// Follows the desktop's focus for the application's life cycle: while one of
// the program's own windows (kit windows and the dialogs of its alerts) has
// the focus the application is active; once another program's window (or
// none) has it, the application resigns active, and becomes active again
// when one of its windows gets the focus back. Focus moving between the
// program's own windows is settled after a short delay, so it never counts
// as leaving. Minimising is not taken as entering the background: the
// browser hides its main window there, and a desktop user could not bring a
// hidden window back.

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
};

}  // namespace kit::gtk
