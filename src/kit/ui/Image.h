#pragma once
// An immutable picture: a size in points, a scale (pixels per point) and,
// optionally, its RGBA pixels (8 bits per channel, rows top to bottom). A
// headless image may carry no pixels at all; it then stands for a blank
// picture of its size.

#include <cstdint>
#include <string>
#include <vector>

#include "kit/foundation/Data.h"
#include "kit/foundation/Object.h"
#include "kit/ui/Geometry.h"

namespace kit {

class Image : public Object {
 public:
  // A blank image (no pixels).
  static Ref<Image> imageWithSize(Size size, double scale = 1);
  // An image with pixels; `rgba` must hold width×height×4 bytes of the pixel
  // size (size × scale, rounded), else the image is made without pixels.
  static Ref<Image> imageWithPixels(Size size, std::vector<uint8_t> rgba, double scale = 1);

  // Decodes PNG, ICO, GIF (first frame), JPEG, BMP or SVG; null when the bytes are
  // not an image (or claim an absurd size). `scale` is pixels per point.
  static Ref<Image> imageWithData(const Data* data, double scale = 1);
  static Ref<Image> imageWithContentsOfFile(const std::string& path, double scale = 1);
  // A picture of the main bundle: `name` as given, else "name@2x.png" (scale 2),
  // else "name.png"; null when there is none. Named after the resource.
  static Ref<Image> imageNamed(const std::string& name);

  // Encoded pictures; null for an image without pixels. JPEG quality is clamped to 0..1.
  Ref<Data> pngData() const;
  Ref<Data> jpegData(double quality) const;

  Size size() const noexcept { return size_; }
  double scale() const noexcept { return scale_; }
  bool hasPixels() const noexcept { return !pixels_.empty(); }
  const std::vector<uint8_t>& pixels() const noexcept { return pixels_; }
  size_t pixelWidth() const noexcept { return pixelWidth_; }
  size_t pixelHeight() const noexcept { return pixelHeight_; }
  // The RGBA of one pixel; transparent black outside or without pixels.
  uint32_t pixelAt(size_t x, size_t y) const;

  // A new image of `size` (same scale). Pixels are resampled smoothly (bilinear);
  // an image without pixels gives a blank one. A size with a negative or
  // non-finite side gives an empty image.
  Ref<Image> scaledToSize(Size size) const;

  // Name of the resource it came from, if any (for descriptions and tests).
  const std::string& name() const noexcept { return name_; }
  void setName(std::string n) { name_ = std::move(n); }

  std::string className() const override { return "Image"; }
  std::string description() const override;

 private:
  Image(Size size, double scale, std::vector<uint8_t> rgba);
  Size size_;
  double scale_;
  size_t pixelWidth_ = 0;
  size_t pixelHeight_ = 0;
  std::vector<uint8_t> pixels_;
  std::string name_;
};

}  // namespace kit
