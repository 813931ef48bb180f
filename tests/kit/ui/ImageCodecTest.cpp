#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/FileManager.h"
#include "kit/ui/Image.h"
#include "support/TempHome.h"

namespace {

using kit::Data;
using kit::Image;
using kit::Ref;

Ref<Image> checker(size_t w, size_t h) {
  std::vector<uint8_t> px(w * h * 4);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = &px[(y * w + x) * 4];
      bool on = (x + y) % 2 == 0;
      p[0] = on ? 255 : 0;
      p[1] = 0;
      p[2] = on ? 0 : 255;
      p[3] = x == 0 ? 128 : 255;
    }
  return Image::imageWithPixels({double(w), double(h)}, std::move(px));
}

Ref<Data> bytes(std::string_view s) { return Data::dataWithBytes(s.data(), s.size()); }

// A PNG whose header claims `w` x `h` pixels, with a valid CRC, and no real pixel data.
Ref<Data> pngClaiming(uint32_t w, uint32_t h) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  auto be32 = [](std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; --i) s.push_back(char((v >> (8 * i)) & 0xff));
  };
  std::string chunk = "IHDR";
  be32(chunk, w);
  be32(chunk, h);
  chunk += std::string("\x08\x06\x00\x00\x00", 5);
  be32(png, 13);
  png += chunk;
  be32(png, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), uInt(chunk.size()))));
  return bytes(png);
}

TEST(ImageCodecTest, PNGRoundTripKeepsEveryPixelAndAlpha) {
  Ref<Image> source = checker(5, 3);
  Ref<Data> png = source->pngData();
  ASSERT_TRUE(png);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(png->bytes()), 4), "\x89PNG");
  Ref<Image> back = Image::imageWithData(png.get());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pixelWidth(), 5u);
  EXPECT_EQ(back->pixelHeight(), 3u);
  EXPECT_EQ(back->pixels(), source->pixels());
}

TEST(ImageCodecTest, JPEGEncodesOpaqueOverWhiteAndClampsQuality) {
  Ref<Image> source = checker(16, 16);
  Ref<Data> high = source->jpegData(7.0);  // clamped to 1
  Ref<Data> low = source->jpegData(-3.0);  // clamped to 0
  ASSERT_TRUE(high && low);
  EXPECT_EQ(high->bytes()[0], 0xff);
  EXPECT_EQ(high->bytes()[1], 0xd8);
  EXPECT_LT(low->length(), high->length());
  Ref<Image> back = Image::imageWithData(high.get());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pixelWidth(), 16u);
  EXPECT_EQ(back->pixelAt(3, 3) & 0xff, 0xffu);  // no alpha left
}

TEST(ImageCodecTest, GIFAndSVGDecode) {
  // The classic 1x1 GIF, one transparent pixel.
  const char gif[] =
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00"
      "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b";
  Ref<Image> g = Image::imageWithData(bytes(std::string_view(gif, sizeof gif - 1)).get());
  ASSERT_TRUE(g);
  EXPECT_EQ(g->pixelWidth(), 1u);

  Ref<Image> s = Image::imageWithData(
      bytes("<svg xmlns='http://www.w3.org/2000/svg' width='20' height='10'>"
            "<rect width='20' height='10' fill='#00ff00'/></svg>")
          .get());
  ASSERT_TRUE(s) << "the SVG loader (librsvg2-common) is missing";
  EXPECT_EQ(s->pixelWidth(), 20u);
  EXPECT_EQ(s->pixelHeight(), 10u);
  EXPECT_EQ(s->pixelAt(10, 5), 0x00ff00ffu);
}

TEST(ImageCodecTest, WhatIsNoImageGivesNoImageAndNoCrash) {
  EXPECT_FALSE(Image::imageWithData(nullptr));
  EXPECT_FALSE(Image::imageWithData(bytes("").get()));
  EXPECT_FALSE(Image::imageWithData(bytes("<html><body>Not found</body></html>").get()));
  Ref<Data> png = checker(4, 4)->pngData();
  EXPECT_FALSE(Image::imageWithData(Data::dataWithBytes(png->bytes(), png->length() / 2).get()));
  // A tiny file that claims a picture of ten billion pixels is refused, not allocated.
  EXPECT_FALSE(Image::imageWithData(pngClaiming(100000, 100000).get()));
  EXPECT_FALSE(Image::imageWithContentsOfFile("/nonexistent/icon.png"));
  EXPECT_FALSE(Image::imageNamed("no-such-picture"));
  EXPECT_FALSE(Image::imageWithSize({4, 4})->pngData());
}

TEST(ImageCodecTest, NamedPicturesPreferTheDoubleScaleFile) {
  tolvatest::TempHome home;
  auto write = [&](const std::string& name, const Ref<Image>& image) {
    Ref<Data> png = image->pngData();
    ASSERT_TRUE(kit::FileManager::writeFile(home.path() + "/" + name,
                                            {reinterpret_cast<const char*>(png->bytes()), png->length()}));
  };
  write("dial.png", checker(3, 3));
  write("dial@2x.png", checker(6, 6));
  write("pad.png", checker(4, 2));
  kit::Bundle::setMainBundlePath(home.path());
  Ref<Image> dial = Image::imageNamed("dial");
  Ref<Image> pad = Image::imageNamed("pad.png");
  Ref<Image> missing = Image::imageNamed("ball");
  kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  ASSERT_TRUE(dial && pad);
  EXPECT_EQ(dial->scale(), 2);
  EXPECT_EQ(dial->size().width, 3);
  EXPECT_EQ(dial->pixelWidth(), 6u);
  EXPECT_EQ(dial->name(), "dial");
  EXPECT_EQ(pad->scale(), 1);
  EXPECT_EQ(pad->size().width, 4);
  EXPECT_FALSE(missing);
}

TEST(ImageCodecTest, ScalingIsSmoothAndKeepsTheScale) {
  std::vector<uint8_t> px = {0, 0, 0, 255, 255, 255, 255, 255};  // black, white
  Ref<Image> two = Image::imageWithPixels({2, 1}, px);
  Ref<Image> wide = two->scaledToSize({8, 1});
  ASSERT_TRUE(wide->hasPixels());
  EXPECT_EQ(wide->pixelWidth(), 8u);
  // Between the two ends a grey appears, which nearest-neighbour would never give.
  bool grey = false;
  for (size_t x = 0; x < 8; ++x) {
    uint32_t r = wide->pixelAt(x, 0) >> 24;
    grey = grey || (r > 20 && r < 235);
  }
  EXPECT_TRUE(grey);
  Ref<Image> retina = Image::imageWithPixels({2, 2}, std::vector<uint8_t>(4 * 4 * 4, 200), 2);
  Ref<Image> small = retina->scaledToSize({1, 1});
  EXPECT_EQ(small->scale(), 2);
  EXPECT_EQ(small->pixelWidth(), 2u);
}

}  // namespace
