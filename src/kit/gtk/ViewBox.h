#pragma once
// The widget every kit view is drawn in: a GtkFixed whose children are
// placed and sized exactly by their kit frames (the size request set on each
// child), whatever the theme would like, and which asks for no room itself so
// a window's size comes from the kit window alone. It paints what a kit view
// paints behind its subviews (background colour, gradient layers, border,
// corner radius, background image) and clips its children when the view clips.

#include <functional>

#include <cairo.h>
#include <gtk/gtk.h>

namespace kit::gtk {

class ViewBox {
 public:
  using Painter = std::function<void(cairo_t* cr, int width, int height)>;

  static GtkWidget* create();
  static bool isViewBox(GtkWidget* widget);
  // Places (or moves) `child` at x, y with exactly width × height.
  static void place(GtkWidget* box, GtkWidget* child, int x, int y, int width, int height);
  static void setClips(GtkWidget* box, bool clips);
  // Called before the children are drawn; replaces any earlier painter.
  static void setPainter(GtkWidget* box, Painter painter);
};

}  // namespace kit::gtk
