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

TEST(FitPictureToClientTest, ExamplesOfTheDisplay) {
  const TPictureFit small = FitPictureToClient(100, 50, 400, 300);
  EXPECT_EQ(small.Picture, (TPixelRect{0, 0, 100, 50}));
  ASSERT_EQ(small.WhiteAreaCount, 2);
  EXPECT_EQ(small.WhiteAreas[0], (TPixelRect{100, 0, 300, 300}));
  EXPECT_EQ(small.WhiteAreas[1], (TPixelRect{0, 50, 100, 250}));
  EXPECT_EQ(FitPictureToClient(400, 100, 200, 200).Picture, (TPixelRect{0, 0, 200, 50}));
  EXPECT_EQ(FitPictureToClient(100, 400, 200, 200).Picture, (TPixelRect{0, 0, 50, 200}));
  // Exactly fitting: no white at all.
  EXPECT_EQ(FitPictureToClient(200, 100, 200, 100).WhiteAreaCount, 0);
  // Too wide by one pixel: the height shrinks by truncation.
  EXPECT_EQ(FitPictureToClient(201, 100, 200, 300).Picture, (TPixelRect{0, 0, 200, 99}));
}

TEST(FitPictureToClientTest, DegenerateSizes) {
  EXPECT_EQ(FitPictureToClient(100, 50, 0, 0).Picture, (TPixelRect{0, 0, 0, 0}));
  EXPECT_EQ(FitPictureToClient(100, 50, -5, 30).Picture, (TPixelRect{0, 0, 0, 0}));
  EXPECT_EQ(FitPictureToClient(100, 50, 0, 0).WhiteAreaCount, 0);
  const TPictureFit empty = FitPictureToClient(0, 0, 10, 10);
  EXPECT_EQ(empty.Picture, (TPixelRect{0, 0, 0, 0}));
  ASSERT_EQ(empty.WhiteAreaCount, 1);
  EXPECT_EQ(empty.WhiteAreas[0], (TPixelRect{0, 0, 10, 10}));
}

TEST(FitPictureToClientTest, PictureAndWhiteAreasTileTheClientArea) {
  std::mt19937 random(42);
  for (int i = 0; i < 2000; ++i) {
    const int width = 1 + static_cast<int>(random() % 3000);
    const int height = 1 + static_cast<int>(random() % 3000);
    const int cw = static_cast<int>(random() % 1500);
    const int ch = static_cast<int>(random() % 1500);
    const TPictureFit fit = FitPictureToClient(width, height, cw, ch);
    const TPixelRect& p = fit.Picture;
    ASSERT_LE(p.Width, std::min(width, cw));
    ASSERT_LE(p.Height, std::min(height, ch));
    // Shrunk pictures touch the client edge that limits them and keep their proportion
    // within the one pixel that truncation loses.
    if (width > cw || height > ch) {
      ASSERT_TRUE(p.Width == cw || p.Height == ch);
      ASSERT_NEAR(static_cast<double>(p.Width) * height, static_cast<double>(p.Height) * width,
                  std::max(width, height) + 1.0);
    }
    std::int64_t area = static_cast<std::int64_t>(p.Width) * p.Height;
    for (int a = 0; a < fit.WhiteAreaCount; ++a) {
      const TPixelRect& w = fit.WhiteAreas[static_cast<std::size_t>(a)];
      ASSERT_GT(w.Width, 0);
      ASSERT_GT(w.Height, 0);
      ASSERT_LE(w.Left + w.Width, cw);
      ASSERT_LE(w.Top + w.Height, ch);
      // The white areas never cover the picture.
      ASSERT_TRUE(w.Left >= p.Width || w.Top >= p.Height);
      area += static_cast<std::int64_t>(w.Width) * w.Height;
    }
    ASSERT_EQ(area, static_cast<std::int64_t>(cw) * ch);
  }
}

}  // namespace
}  // namespace pix
