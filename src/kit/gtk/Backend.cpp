#include "kit/gtk/Backend.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>

#include <cstdio>

#include "kit/gtk/ActivityMonitor.h"
#include "kit/gtk/NetworkActivityCursor.h"
#include "kit/gtk/ImageConversion.h"
#include "kit/gtk/InputRouter.h"
#include "kit/gtk/MainContextHost.h"
#include "kit/gtk/PangoText.h"
#include "kit/gtk/GioDocumentOpener.h"
#include "kit/gtk/SystemURLOpener.h"
#include "kit/gtk/ClipboardStore.h"
#include "kit/gtk/SystemMailHandler.h"
#include "kit/ui/Keyboard.h"
#include "kit/ui/MailComposeViewController.h"
#include "kit/ui/Pasteboard.h"
#include "kit/ui/PhotoAlbum.h"
#include "kit/gtk/ViewWidget.h"
#include "kit/gtk/WebKitView.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/Application.h"
#include "kit/ui/ViewRenderer.h"
#include "kit/ui/Window.h"

namespace kit::gtk {
namespace {

bool gInstalled = false;
int gExitStatus = 0;

// Frames are exact: no theme minimum may make a widget larger than its view.
// A bar item's border and padding take 4 px a side in all, the least margin a
// titled item is given around its measured text on a narrow bar.
constexpr const char* kStyle = R"CSS(
.kit-view, .kit-view * { min-width: 0; min-height: 0; }
.kit-view button { padding: 0 2px; }
.kit-view button.kit-custom { background: none; border: none; box-shadow: none; padding: 0; outline-width: 0; }
.kit-view button.kit-bar-item { padding: 0 3px; border-width: 1px; min-height: 0; min-width: 0; }
.kit-view button.kit-bar-item.kit-dark { background-image: none; background-color: rgba(255,255,255,0.16); border-color: rgba(0,0,0,0.7); }
.kit-view button.kit-bar-item.kit-dark:hover { background-color: rgba(255,255,255,0.28); }
.kit-view button.kit-bar-item.kit-dark:disabled { background-color: rgba(255,255,255,0.06); }
.kit-view entry { padding: 0 4px; }
.kit-view entry.kit-borderless { background: none; border: none; box-shadow: none; }
.kit-view switch slider { min-width: 0; min-height: 0; }
.kit-view scale { padding: 0; }
.kit-view progressbar trough, .kit-view progressbar progress { min-height: 2px; }
.kit-view textview text { background: none; }
)CSS";

Ref<Image> renderWidget(View& view) {
  if (auto* web = dynamic_cast<WebKitView*>(&view)) return web->snapshot();
  WidgetTree* tree = WidgetTree::installed();
  GtkWidget* box = tree ? tree->widgetFor(&view) : nullptr;
  const int w = box ? gtk_widget_get_allocated_width(box) : 0;
  const int h = box ? gtk_widget_get_allocated_height(box) : 0;
  if (!box || !gtk_widget_get_realized(box) || w <= 1 || h <= 1) return Image::imageWithSize(view.bounds().size);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  gtk_widget_draw(box, cr);
  cairo_destroy(cr);
  Ref<Image> image = ImageConversion::fromSurface(s);
  cairo_surface_destroy(s);
  return image;
}

}  // namespace

bool Backend::install(int* argc, char*** argv, const std::string& applicationName) {
  if (gInstalled) return true;
  if (!applicationName.empty()) g_set_application_name(applicationName.c_str());
  if (!gtk_init_check(argc, argv)) return false;
  gInstalled = true;

  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);

  MainContextHost::install();
  PangoText::install();
  WebKitView::installFactory();
  ViewRenderer::setRenderer(renderWidget);
  static SystemURLOpener opener;
  Application::sharedApplication()->setURLOpener(&opener);
  static GioDocumentOpener documents;
  DocumentOpener::setShared(&documents);
  Application::sharedApplication()->setVibrator([] {
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_beep(display);
  });
  static ClipboardStore clipboard;
  Pasteboard::setStore(&clipboard);
  Keyboard::setTakesNoRoom(true);  // typing is on the desktop's own keyboard
  static SystemMailHandler mail;
  MailComposeViewController::setMailHandler(&mail);
  const gchar* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
  PhotoAlbum::setFolder(pictures ? pictures : std::string(g_get_home_dir()) + "/Pictures");
  InputRouter::install();
  WidgetTree::install();
  ActivityMonitor::install();
  NetworkActivityCursor::install();
  // Asked to stop (a logout, Ctrl-C): leave run() so the caller terminates
  // the application and its state is saved.
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    g_unix_signal_add(sig, [](gpointer) -> gboolean {
      Backend::quit();
      return G_SOURCE_CONTINUE;
    }, nullptr);
  return true;
}

bool Backend::isInstalled() { return gInstalled; }

int Backend::run() {
  if (!gInstalled) return 1;
  gtk_main();
  return gExitStatus;
}

void Backend::quit() {
  if (gtk_main_level() > 0) gtk_main_quit();
}

void Backend::flush() {
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
  gdk_display_sync(gdk_display_get_default());
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

GdkPixbuf* Backend::screenshot(Window* window) {
  WidgetTree* tree = WidgetTree::installed();
  GtkWindow* top = tree ? tree->toplevelFor(window) : nullptr;
  if (!top || !gtk_widget_get_mapped(GTK_WIDGET(top))) return nullptr;
  GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(top));
  int x = 0, y = 0;
  gdk_window_get_origin(gw, &x, &y);
  const int w = gdk_window_get_width(gw), h = gdk_window_get_height(gw);
  // Read back from the screen, so that dialogs over the window are in it too.
  return gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, w, h);
}

bool Backend::writeScreenshot(Window* window, const std::string& path) {
  GdkPixbuf* pb = screenshot(window);
  if (!pb) {
    std::fprintf(stderr, "kit: no window on screen to take a picture of\n");
    return false;
  }
  const bool ok = ImageConversion::writePNG(pb, path);
  g_object_unref(pb);
  return ok;
}

}  // namespace kit::gtk
