#pragma once
// kit images to and from cairo surfaces and GdkPixbufs. kit keeps straight
// (not premultiplied) RGBA bytes; cairo keeps premultiplied ARGB words.

#include <string>

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "kit/ui/Image.h"

namespace kit::gtk {

class ImageConversion {
 public:
  // A new ARGB32 surface with the image's pixels (null for an image without pixels).
  static cairo_surface_t* toSurface(const Image& image);
  // The surface's pixels as an image of `size` points (`scale` pixels per point).
  static Ref<Image> fromSurface(cairo_surface_t* surface, double scale = 1);
  static Ref<Image> fromPixbuf(GdkPixbuf* pixbuf);
  // A new pixbuf (null for an image without pixels).
  static GdkPixbuf* toPixbuf(const Image& image);
  // Writes a PNG; answers false (saying why on stderr) when it cannot.
  static bool writePNG(GdkPixbuf* pixbuf, const std::string& path);
};

}  // namespace kit::gtk
