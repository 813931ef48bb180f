#include "kit/gtk/ViewBox.h"

#include <algorithm>

namespace kit::gtk {
namespace {

struct BoxData {
  bool clips = false;
  ViewBox::Painter painter;
};

GtkWidgetClass* gParentClass = nullptr;

BoxData* dataOf(GtkWidget* w) { return static_cast<BoxData*>(g_object_get_data(G_OBJECT(w), "kit-box")); }

void preferredZero(GtkWidget*, gint* minimum, gint* natural) {
  *minimum = 0;
  *natural = 0;
}

void sizeAllocate(GtkWidget* widget, GtkAllocation* allocation) {
  gtk_widget_set_allocation(widget, allocation);
  GdkRectangle clip = *allocation;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* l = children; l; l = l->next) {
    GtkWidget* child = GTK_WIDGET(l->data);
    if (!gtk_widget_get_visible(child)) continue;
    int x = 0, y = 0;
    gtk_container_child_get(GTK_CONTAINER(widget), child, "x", &x, "y", &y, nullptr);
    GtkRequisition minimum;
    gtk_widget_get_preferred_size(child, &minimum, nullptr);  // GTK wants to be asked first
    int w = 0, h = 0;
    gtk_widget_get_size_request(child, &w, &h);
    GtkAllocation a{allocation->x + x, allocation->y + y, std::max(w, 0), std::max(h, 0)};
    // A zero-sized widget would still draw its theme's frame: give it one
    // pixel and hide it under the clip instead.
    if (a.width == 0 || a.height == 0) {
      a.width = std::max(a.width, 1);
      a.height = std::max(a.height, 1);
    }
    gtk_widget_size_allocate(child, &a);
    GdkRectangle childClip;
    gtk_widget_get_clip(child, &childClip);
    gdk_rectangle_union(&clip, &childClip, &clip);
  }
  g_list_free(children);
  BoxData* d = dataOf(widget);
  gtk_widget_set_clip(widget, d && d->clips ? allocation : &clip);
}

gboolean draw(GtkWidget* widget, cairo_t* cr) {
  BoxData* d = dataOf(widget);
  const int w = gtk_widget_get_allocated_width(widget);
  const int h = gtk_widget_get_allocated_height(widget);
  cairo_save(cr);
  if (d && d->painter) d->painter(cr, w, h);
  cairo_restore(cr);
  if (d && d->clips) {
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_clip(cr);
  }
  return gParentClass->draw(widget, cr);
}

void classInit(gpointer klass, gpointer) {
  gParentClass = GTK_WIDGET_CLASS(g_type_class_peek_parent(klass));
  GtkWidgetClass* wc = GTK_WIDGET_CLASS(klass);
  wc->get_preferred_width = preferredZero;
  wc->get_preferred_height = preferredZero;
  wc->size_allocate = sizeAllocate;
  wc->draw = draw;
}

GType boxType() {
  static GType type = g_type_register_static_simple(GTK_TYPE_FIXED, "KitViewBox", sizeof(GtkFixedClass), classInit,
                                                    sizeof(GtkFixed), nullptr, GTypeFlags(0));
  return type;
}

}  // namespace

GtkWidget* ViewBox::create() {
  GtkWidget* w = GTK_WIDGET(g_object_new(boxType(), nullptr));
  g_object_set_data_full(G_OBJECT(w), "kit-box", new BoxData(), [](gpointer p) { delete static_cast<BoxData*>(p); });
  gtk_style_context_add_class(gtk_widget_get_style_context(w), "kit-view");
  return w;
}

bool ViewBox::isViewBox(GtkWidget* widget) { return G_TYPE_CHECK_INSTANCE_TYPE(widget, boxType()); }

void ViewBox::place(GtkWidget* box, GtkWidget* child, int x, int y, int width, int height) {
  gtk_widget_set_size_request(child, std::max(width, 0), std::max(height, 0));
  if (gtk_widget_get_parent(child) == box) {
    gtk_fixed_move(GTK_FIXED(box), child, x, y);
  } else {
    gtk_fixed_put(GTK_FIXED(box), child, x, y);
  }
}

void ViewBox::setClips(GtkWidget* box, bool clips) {
  if (BoxData* d = dataOf(box); d && d->clips != clips) {
    d->clips = clips;
    gtk_widget_queue_allocate(box);
  }
}

void ViewBox::setPainter(GtkWidget* box, Painter painter) {
  if (BoxData* d = dataOf(box)) {
    d->painter = std::move(painter);
    gtk_widget_queue_draw(box);
  }
}

}  // namespace kit::gtk
