#include "picture/palette.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

namespace pix {
namespace {

// The pixel colours of `picture` as its palette gives them back.
std::vector<std::uint8_t> Shown(const IndexedPicture& picture) {
  std::vector<std::uint8_t> rgb;
  for (const std::uint8_t index : picture.indices) {
    EXPECT_LT(index, picture.palette.size());
    for (int c = 0; c < 3; ++c) rgb.push_back(picture.palette.at(index)[c]);
  }
  return rgb;
}

double PsnrOf(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  double squared = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) squared += (a[i] - b[i]) * (a[i] - b[i]);
  const double mse = squared / static_cast<double>(a.size());
  return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

TEST(PaletteTest, AFewColoursAreKeptExactly) {
  // 200 colours, each used by several pixels.
  std::vector<std::uint8_t> rgb;
  for (int i = 0; i < 40 * 30; ++i) {
    const int colour = (i * 7) % 200;
    rgb.insert(rgb.end(), {static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(255 - colour),
                           static_cast<std::uint8_t>(colour / 2)});
  }
  const IndexedPicture picture = ReduceToPalette(rgb.data(), 40, 30);
  EXPECT_EQ(picture.palette.size(), 200u);
  EXPECT_EQ(Shown(picture), rgb);
  // A one-colour picture still makes a palette.
  const std::uint8_t grey[3] = {128, 128, 128};
  EXPECT_EQ(ReduceToPalette(grey, 1, 1).palette.size(), 1u);
  EXPECT_TRUE(ReduceToPalette(grey, 0, 1).indices.empty());
}

TEST(PaletteTest, ManyColoursComeDownToTheLimitWithLittleError) {
  // A smooth picture of 96 x 64 pixels in over 6 000 colours: two gradients and a wave.
  const int width = 96;
  const int height = 64;
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rgb.push_back(static_cast<std::uint8_t>(x * 255 / (width - 1)));
      rgb.push_back(static_cast<std::uint8_t>(y * 255 / (height - 1)));
      rgb.push_back(static_cast<std::uint8_t>(128 + 100 * std::sin((x + y) / 9.0)));
    }
  }
  const IndexedPicture picture = ReduceToPalette(rgb.data(), width, height);
  ASSERT_EQ(picture.palette.size(), 256u);
  std::set<std::uint8_t> used(picture.indices.begin(), picture.indices.end());
  EXPECT_EQ(used.size(), 256u) << "every entry stands for some pixels";
  // It must do clearly better than a fixed palette of as many colours, 6 x 7 x 6 levels.
  std::vector<std::uint8_t> fixed;
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    const int steps = i % 3 == 1 ? 6 : 5;
    fixed.push_back(static_cast<std::uint8_t>(std::lround(std::round(rgb[i] * steps / 255.0) * 255.0 / steps)));
  }
  const double fixed_psnr = PsnrOf(fixed, rgb);
  EXPECT_GT(PsnrOf(Shown(picture), rgb), fixed_psnr + 2.0) << "fixed palette: " << fixed_psnr;
  // The same pixels give the same file, whatever the thread has done before.
  const IndexedPicture again = ReduceToPalette(rgb.data(), width, height);
  EXPECT_EQ(again.indices, picture.indices);
  EXPECT_EQ(again.palette, picture.palette);

  // Fewer colours allowed: the two halves of a two-toned noisy picture.
  std::vector<std::uint8_t> two_tone;
  for (int i = 0; i < 1000; ++i) {
    const std::uint8_t base = i < 500 ? 20 : 220;
    const auto noise = static_cast<std::uint8_t>(i % 5);
    two_tone.insert(two_tone.end(), {static_cast<std::uint8_t>(base + noise), base, base});
  }
  const IndexedPicture two = ReduceToPalette(two_tone.data(), 1000, 1, 2);
  ASSERT_EQ(two.palette.size(), 2u);
  EXPECT_NE(two.indices.front(), two.indices.back());
  EXPECT_NEAR(two.palette[two.indices.front()][0], 22, 1);
  EXPECT_NEAR(two.palette[two.indices.back()][0], 222, 1);
}

}  // namespace
}  // namespace pix
