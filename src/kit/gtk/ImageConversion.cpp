#include "kit/gtk/ImageConversion.h"

#include "kit/ui/ImageCodec.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace kit::gtk {

cairo_surface_t* ImageConversion::toSurface(const Image& image) {
  if (!image.hasPixels()) return nullptr;
  const int w = static_cast<int>(image.pixelWidth());
  const int h = static_cast<int>(image.pixelHeight());
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  const auto& px = image.pixels();
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &px[(size_t(y) * w + x) * 4];
      const uint32_t a = p[3];
      const uint32_t r = p[0] * a / 255, g = p[1] * a / 255, b = p[2] * a / 255;
      row[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(s);
  cairo_surface_set_device_scale(s, image.scale(), image.scale());
  return s;
}

Ref<Image> ImageConversion::fromSurface(cairo_surface_t* surface, double scale) {
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface);
  const int h = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const bool alpha = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
  std::vector<uint8_t> rgba(size_t(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
    for (int x = 0; x < w; ++x) {
      const uint32_t v = row[x];
      uint32_t a = alpha ? v >> 24 : 255;
      uint32_t r = (v >> 16) & 0xff, g = (v >> 8) & 0xff, b = v & 0xff;
      if (a != 0 && a != 255) {
        r = r * 255 / a;
        g = g * 255 / a;
        b = b * 255 / a;
      }
      uint8_t* p = &rgba[(size_t(y) * w + x) * 4];
      p[0] = uint8_t(r);
      p[1] = uint8_t(g);
      p[2] = uint8_t(b);
      p[3] = uint8_t(a);
    }
  }
  return Image::imageWithPixels({w / scale, h / scale}, std::move(rgba), scale);
}

Ref<Image> ImageConversion::fromPixbuf(GdkPixbuf* pixbuf) { return ImageCodec::fromPixbuf(pixbuf); }

GdkPixbuf* ImageConversion::toPixbuf(const Image& image) { return ImageCodec::toPixbuf(image); }

bool ImageConversion::writePNG(GdkPixbuf* pixbuf, const std::string& path) {
  GError* error = nullptr;
  if (gdk_pixbuf_save(pixbuf, path.c_str(), "png", &error, nullptr)) return true;
  std::fprintf(stderr, "kit: cannot write %s: %s\n", path.c_str(), error ? error->message : "unknown error");
  if (error) g_error_free(error);
  return false;
}

}  // namespace kit::gtk
