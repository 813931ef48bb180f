#pragma once
// kit's GTK3 + WebKitGTK backend, installed in one call at start:
//   if (!kit::gtk::Backend::install(&argc, &argv, "Tolva")) ... no display ...
//   ... build the application's windows (Application::launch) ...
//   int status = kit::gtk::Backend::run();   // until the last window closes
//   app->terminate();
// install() initialises GTK and puts every seam in place: the main run loop
// on GLib (MainContextHost), the view tree in GTK windows (WidgetTree) with
// pointer input routed back (InputRouter), WebKit web views from
// WebView::create(), Pango text measurement, view rendering from the widgets
// and URL hand-over through the desktop. The theme's minimum sizes are
// overridden so that widgets take exactly their kit frames.

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <string>

namespace kit {
class View;
class Window;
}  // namespace kit

namespace kit::gtk {

class Backend {
 public:
  // Answers false (and installs nothing) when GTK cannot reach a display.
  static bool install(int* argc, char*** argv, const std::string& applicationName = {});
  static bool isInstalled();
  // Runs GTK's main loop until quit(), the last window is closed or the
  // process is asked to stop (SIGINT, SIGTERM, SIGHUP); answers the exit status.
  static int run();
  static void quit();

  // Lets GTK handle what is pending (events, layout, drawing) without blocking.
  static void flush();
  // The window's area of the screen as shown (dialogs over it included); null
  // when the window is not shown. Unref when done.
  static GdkPixbuf* screenshot(Window* window);
  static bool writeScreenshot(Window* window, const std::string& path);
};

}  // namespace kit::gtk
