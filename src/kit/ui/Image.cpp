#include "kit/ui/Image.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/FileManager.h"
#include "kit/ui/ImageCodec.h"

namespace kit {
namespace {

double sane(double v) { return std::isfinite(v) && v > 0 ? v : 0; }

size_t pixelCount(double points, double scale) { return static_cast<size_t>(std::lround(points * scale)); }

}  // namespace

Image::Image(Size size, double scale, std::vector<uint8_t> rgba)
    : size_{sane(size.width), sane(size.height)}, scale_(sane(scale) > 0 ? scale : 1) {
  // Refuse absurd sizes rather than try to allocate them.
  constexpr double kMaxPixels = 1 << 28;
  if (size_.width * scale_ * size_.height * scale_ > kMaxPixels) size_ = {};
  pixelWidth_ = pixelCount(size_.width, scale_);
  pixelHeight_ = pixelCount(size_.height, scale_);
  if (rgba.size() == pixelWidth_ * pixelHeight_ * 4 && !rgba.empty()) pixels_ = std::move(rgba);
}

Ref<Image> Image::imageWithSize(Size size, double scale) { return Ref<Image>(new Image(size, scale, {})); }

Ref<Image> Image::imageWithPixels(Size size, std::vector<uint8_t> rgba, double scale) {
  return Ref<Image>(new Image(size, scale, std::move(rgba)));
}

Ref<Image> Image::imageWithData(const Data* data, double scale) {
  if (!data) return {};
  return ImageCodec::decode(data->bytes(), data->length(), scale);
}

Ref<Image> Image::imageWithContentsOfFile(const std::string& path, double scale) {
  Ref<Data> data = FileManager::readFile(path);
  return imageWithData(data.get(), scale);
}

Ref<Image> Image::imageNamed(const std::string& name) {
  if (name.empty()) return {};
  Ref<Bundle> bundle = Bundle::mainBundle();
  if (!bundle) return {};
  // Bundle pictures are decoded once; each caller gets its own object (callers rename theirs).
  static std::mutex mutex;
  static std::map<std::string, Ref<Image>>* decoded = new std::map<std::string, Ref<Image>>();
  const std::string key = bundle->bundlePath() + '\0' + name;
  auto copy = [](const Image& of) {
    Ref<Image> image(new Image(of.size_, of.scale_, of.pixels_));
    image->setName(of.name_);
    return image;
  };
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto at = decoded->find(key);
    if (at != decoded->end()) return copy(*at->second);
  }
  std::filesystem::path given(name);
  const std::string stem = given.has_extension() ? given.stem().string() : name;
  const std::string type = given.has_extension() ? given.extension().string().substr(1) : std::string();
  struct Candidate {
    std::string name, type;
    double scale;
  };
  const Candidate candidates[] = {{stem + "@2x", type.empty() ? "png" : type, 2},
                                  {stem, type.empty() ? "png" : type, 1},
                                  {name, "", 1}};
  for (const Candidate& c : candidates) {
    std::string path = bundle->pathForResource(c.name, c.type);
    if (path.empty()) continue;
    if (Ref<Image> image = imageWithContentsOfFile(path, c.scale)) {
      image->setName(name);
      std::lock_guard<std::mutex> lock(mutex);
      if (decoded->size() >= 512) decoded->clear();
      (*decoded)[key] = image;
      return copy(*image);
    }
  }
  return {};
}

Ref<Data> Image::pngData() const { return ImageCodec::encodePNG(*this); }

Ref<Data> Image::jpegData(double quality) const { return ImageCodec::encodeJPEG(*this, quality); }

uint32_t Image::pixelAt(size_t x, size_t y) const {
  if (!hasPixels() || x >= pixelWidth_ || y >= pixelHeight_) return 0;
  const uint8_t* p = &pixels_[(y * pixelWidth_ + x) * 4];
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

Ref<Image> Image::scaledToSize(Size size) const {
  Ref<Image> out(new Image(size, scale_, {}));
  if (!hasPixels() || out->pixelWidth_ == 0 || out->pixelHeight_ == 0) return out;
  if (Ref<Image> smooth = ImageCodec::resample(*this, out->pixelWidth_, out->pixelHeight_, out->size_, scale_))
    return smooth;
  std::vector<uint8_t> px(out->pixelWidth_ * out->pixelHeight_ * 4);
  for (size_t y = 0; y < out->pixelHeight_; ++y) {
    size_t sy = y * pixelHeight_ / out->pixelHeight_;
    for (size_t x = 0; x < out->pixelWidth_; ++x) {
      size_t sx = x * pixelWidth_ / out->pixelWidth_;
      for (int k = 0; k < 4; ++k) px[(y * out->pixelWidth_ + x) * 4 + k] = pixels_[(sy * pixelWidth_ + sx) * 4 + k];
    }
  }
  out->pixels_ = std::move(px);
  return out;
}

std::string Image::description() const {
  return "Image " + (name_.empty() ? std::string() : "\"" + name_ + "\" ") + toString(size_) +
         (hasPixels() ? "" : " (blank)");
}

}  // namespace kit
