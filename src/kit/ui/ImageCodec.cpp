#include "kit/ui/ImageCodec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace kit {
namespace {

// Decoded pictures larger than this are refused: a small file may claim a huge size.
constexpr double kMaxDecodedPixels = double(1 << 26);

struct PixbufRef {
  GdkPixbuf* p = nullptr;
  explicit PixbufRef(GdkPixbuf* pb) : p(pb) {}
  ~PixbufRef() {
    if (p) g_object_unref(p);
  }
  PixbufRef(const PixbufRef&) = delete;
  PixbufRef& operator=(const PixbufRef&) = delete;
};

void refuseHugeImages(GdkPixbufLoader* loader, int width, int height, gpointer refused) {
  if (width <= 0 || height <= 0 || double(width) * double(height) > kMaxDecodedPixels) {
    *static_cast<bool*>(refused) = true;
    gdk_pixbuf_loader_set_size(loader, 1, 1);
  }
}

Ref<Data> save(const Image& image, const char* type, const char* key, const char* value) {
  PixbufRef pb(ImageCodec::toPixbuf(image));
  if (!pb.p) return {};
  PixbufRef flat(nullptr);
  GdkPixbuf* source = pb.p;
  if (std::string_view(type) == "jpeg") {
    // JPEG has no alpha: flatten over white, as a photo viewer would show it.
    const int w = gdk_pixbuf_get_width(pb.p), h = gdk_pixbuf_get_height(pb.p);
    flat.p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
    if (!flat.p) return {};
    gdk_pixbuf_fill(flat.p, 0xffffffffu);
    gdk_pixbuf_composite(pb.p, flat.p, 0, 0, w, h, 0, 0, 1, 1, GDK_INTERP_NEAREST, 255);
    source = flat.p;
  }
  gchar* buffer = nullptr;
  gsize size = 0;
  GError* error = nullptr;
  gboolean ok = key ? gdk_pixbuf_save_to_buffer(source, &buffer, &size, type, &error, key, value, nullptr)
                    : gdk_pixbuf_save_to_buffer(source, &buffer, &size, type, &error, nullptr);
  if (!ok) {
    std::fprintf(stderr, "kit: cannot encode %s image: %s\n", type, error ? error->message : "unknown error");
    if (error) g_error_free(error);
    return {};
  }
  Ref<Data> out = Data::dataWithBytes(buffer, size);
  g_free(buffer);
  return out;
}

}  // namespace

Ref<Image> ImageCodec::decode(const uint8_t* bytes, size_t length, double scale) {
  if (!bytes || length == 0) return {};
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  bool refused = false;
  g_signal_connect(loader, "size-prepared", G_CALLBACK(refuseHugeImages), &refused);
  GError* error = nullptr;
  bool ok = true;
  // The loader takes gsize chunks; feed large inputs in pieces that fit any int-sized API below it.
  constexpr size_t kChunk = size_t(1) << 24;
  for (size_t at = 0; ok && at < length && !refused; at += kChunk)
    ok = gdk_pixbuf_loader_write(loader, bytes + at, std::min(kChunk, length - at), &error);
  if (error) {
    g_error_free(error);
    error = nullptr;
  }
  // close() must run even after a failed write, else the loader complains when it is freed.
  bool closed = gdk_pixbuf_loader_close(loader, &error);
  if (error) g_error_free(error);
  Ref<Image> image;
  if (ok && closed && !refused) {
    GdkPixbuf* pb = gdk_pixbuf_loader_get_pixbuf(loader);  // owned by the loader
    if (pb) image = fromPixbuf(pb, scale);
  }
  g_object_unref(loader);
  return image;
}

Ref<Data> ImageCodec::encodePNG(const Image& image) { return save(image, "png", nullptr, nullptr); }

Ref<Data> ImageCodec::encodeJPEG(const Image& image, double quality) {
  if (!std::isfinite(quality)) quality = 1;
  quality = std::clamp(quality, 0.0, 1.0);
  // gdk-pixbuf takes 0..100 and refuses 0.
  int q = std::max(1, static_cast<int>(std::lround(quality * 100)));
  std::string value = std::to_string(q);
  return save(image, "jpeg", "quality", value.c_str());
}

Ref<Image> ImageCodec::resample(const Image& image, size_t pixelWidth, size_t pixelHeight, Size size, double scale) {
  if (pixelWidth == 0 || pixelHeight == 0 || pixelWidth > size_t(std::numeric_limits<int>::max()) ||
      pixelHeight > size_t(std::numeric_limits<int>::max()))
    return {};
  PixbufRef pb(toPixbuf(image));
  if (!pb.p) return {};
  PixbufRef scaled(gdk_pixbuf_scale_simple(pb.p, int(pixelWidth), int(pixelHeight), GDK_INTERP_BILINEAR));
  if (!scaled.p) return {};
  Ref<Image> raw = fromPixbuf(scaled.p, scale);
  if (!raw) return {};
  return Image::imageWithPixels(size, raw->pixels(), scale);
}

Ref<Image> ImageCodec::fromPixbuf(GdkPixbuf* pixbuf, double scale) {
  if (!pixbuf || gdk_pixbuf_get_bits_per_sample(pixbuf) != 8) return {};
  const int w = gdk_pixbuf_get_width(pixbuf);
  const int h = gdk_pixbuf_get_height(pixbuf);
  const int n = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (w <= 0 || h <= 0 || n < (alpha ? 4 : 3)) return {};
  const guchar* data = gdk_pixbuf_read_pixels(pixbuf);
  std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const guchar* s = data + size_t(y) * size_t(stride) + size_t(x) * size_t(n);
      uint8_t* p = &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4];
      p[0] = s[0];
      p[1] = s[1];
      p[2] = s[2];
      p[3] = alpha ? s[3] : 255;
    }
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  return Image::imageWithPixels({w / scale, h / scale}, std::move(rgba), scale);
}

GdkPixbuf* ImageCodec::toPixbuf(const Image& image) {
  if (!image.hasPixels()) return nullptr;
  const int w = static_cast<int>(image.pixelWidth());
  const int h = static_cast<int>(image.pixelHeight());
  GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, w, h);
  if (!pb) return nullptr;
  const int stride = gdk_pixbuf_get_rowstride(pb);
  guchar* data = gdk_pixbuf_get_pixels(pb);
  for (int y = 0; y < h; ++y)
    std::copy_n(&image.pixels()[size_t(y) * size_t(w) * 4], size_t(w) * 4, data + size_t(y) * size_t(stride));
  return pb;
}

}  // namespace kit
