#include "picture/graphic.h"

#include <gtest/gtest.h>

#include <random>

namespace pix {
namespace {

TEST(PictureSizeCapTest, RealPicturesAreShownAndClaimedGiantsAreNot) {
  EXPECT_TRUE(MayShowPictureOfSize(20000, 10000)) << "200 megapixels";
  EXPECT_FALSE(MayShowPictureOfSize(65535, 65535));
  EXPECT_FALSE(MayShowPictureOfSize(0, 100));
  EXPECT_FALSE(MayShowPictureOfSize(100, -1));
}

TEST(FitPictureToClientTest, ExamplesOfTheDisplayAndDegenerateSizes) {
  const PictureFit small = FitPictureToClient(100, 50, 400, 300);
  EXPECT_EQ(small.picture, (PixelRect{0, 0, 100, 50}));
  ASSERT_EQ(small.white_area_count, 2);
  EXPECT_EQ(small.white_areas[0], (PixelRect{100, 0, 300, 300}));
  EXPECT_EQ(small.white_areas[1], (PixelRect{0, 50, 100, 250}));
  EXPECT_EQ(FitPictureToClient(400, 100, 200, 200).picture, (PixelRect{0, 0, 200, 50}));
  EXPECT_EQ(FitPictureToClient(100, 400, 200, 200).picture, (PixelRect{0, 0, 50, 200}));
  // Exactly fitting: no white at all.
  EXPECT_EQ(FitPictureToClient(200, 100, 200, 100).white_area_count, 0);
  // Too wide by one pixel: the height shrinks by truncation.
  EXPECT_EQ(FitPictureToClient(201, 100, 200, 300).picture, (PixelRect{0, 0, 200, 99}));
  EXPECT_EQ(FitPictureToClient(100, 50, 0, 0).picture, (PixelRect{0, 0, 0, 0}));
  EXPECT_EQ(FitPictureToClient(100, 50, -5, 30).picture, (PixelRect{0, 0, 0, 0}));
  EXPECT_EQ(FitPictureToClient(100, 50, 0, 0).white_area_count, 0);
  const PictureFit empty = FitPictureToClient(0, 0, 10, 10);
  EXPECT_EQ(empty.picture, (PixelRect{0, 0, 0, 0}));
  ASSERT_EQ(empty.white_area_count, 1);
  EXPECT_EQ(empty.white_areas[0], (PixelRect{0, 0, 10, 10}));
}

TEST(FitPictureToClientTest, PictureAndWhiteAreasTileTheClientArea) {
  std::mt19937 random(42);
  for (int i = 0; i < 2000; ++i) {
    const int width = 1 + static_cast<int>(random() % 3000);
    const int height = 1 + static_cast<int>(random() % 3000);
    const int cw = static_cast<int>(random() % 1500);
    const int ch = static_cast<int>(random() % 1500);
    const PictureFit fit = FitPictureToClient(width, height, cw, ch);
    const PixelRect& p = fit.picture;
    ASSERT_LE(p.width, std::min(width, cw));
    ASSERT_LE(p.height, std::min(height, ch));
    // Shrunk pictures touch the client edge that limits them and keep their proportion
    // within the one pixel that truncation loses.
    if (width > cw || height > ch) {
      ASSERT_TRUE(p.width == cw || p.height == ch);
      ASSERT_NEAR(static_cast<double>(p.width) * height, static_cast<double>(p.height) * width,
                  std::max(width, height) + 1.0);
    }
    std::int64_t area = static_cast<std::int64_t>(p.width) * p.height;
    for (int a = 0; a < fit.white_area_count; ++a) {
      const PixelRect& w = fit.white_areas[static_cast<std::size_t>(a)];
      ASSERT_GT(w.width, 0);
      ASSERT_GT(w.height, 0);
      ASSERT_LE(w.left + w.width, cw);
      ASSERT_LE(w.top + w.height, ch);
      // The white areas never cover the picture.
      ASSERT_TRUE(w.left >= p.width || w.top >= p.height);
      area += static_cast<std::int64_t>(w.width) * w.height;
    }
    ASSERT_EQ(area, static_cast<std::int64_t>(cw) * ch);
  }
}

}  // namespace
}  // namespace pix
