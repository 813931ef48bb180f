#pragma once
// Reading and writing image files with gdk-pixbuf, which needs no display, so
// the headless backend and the window decode alike. kit keeps straight RGBA.

#include <string>

#include "kit/foundation/Data.h"
#include "kit/ui/Image.h"

typedef struct _GdkPixbuf GdkPixbuf;

namespace kit {

class ImageCodec {
 public:
  // PNG, ICO, GIF (first frame), JPEG, BMP, SVG ...; null when the bytes are no image.
  static Ref<Image> decode(const uint8_t* bytes, size_t length, double scale = 1);
  // Null for an image without pixels or when encoding fails.
  static Ref<Data> encodePNG(const Image& image);
  // `quality` is clamped to 0..1.
  static Ref<Data> encodeJPEG(const Image& image, double quality);
  // A smooth resize of the pixels (bilinear); null when either side is empty.
  static Ref<Image> resample(const Image& image, size_t pixelWidth, size_t pixelHeight, Size size, double scale);

  // Conversions for the window backend. toPixbuf answers a new reference (null without pixels).
  static Ref<Image> fromPixbuf(GdkPixbuf* pixbuf, double scale = 1);
  static GdkPixbuf* toPixbuf(const Image& image);
};

}  // namespace kit
