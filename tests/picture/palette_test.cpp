#include "picture/palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
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

// The median cut done the plain way, for comparison: each box a list of its pixels, its
// sums taken from them, the box to cut found by looking at every box.
IndexedPicture PlainMedianCut(const std::vector<std::uint8_t>& rgb, int max_colors) {
  struct Box {
    std::vector<std::size_t> pixels;
    std::uint64_t count = 0, sum[3] = {}, squares[3] = {};
    bool can_cut = true;
    double ChannelError(int c) const {
      const double s = static_cast<double>(sum[c]);
      return static_cast<double>(squares[c]) - s * s / static_cast<double>(count);
    }
    double Error() const { return ChannelError(0) + ChannelError(1) + ChannelError(2); }
  };
  const auto box_of = [&](std::vector<std::size_t> pixels) {
    Box box;
    for (const std::size_t i : pixels) {
      ++box.count;
      for (int c = 0; c < 3; ++c) {
        box.sum[c] += rgb[i * 3 + c];
        box.squares[c] += rgb[i * 3 + c] * rgb[i * 3 + c];
      }
    }
    box.pixels = std::move(pixels);
    return box;
  };
  std::vector<std::size_t> all(rgb.size() / 3);
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  std::vector<Box> boxes{box_of(all)};
  while (static_cast<int>(boxes.size()) < max_colors) {
    // The costliest box; of equal ones, the last in the list (a cut box keeps its place for
    // its lower part, the upper part goes last).
    std::size_t worst = boxes.size();
    for (std::size_t b = 0; b < boxes.size(); ++b) {
      if (boxes[b].can_cut && boxes[b].Error() > 0.0 &&
          (worst == boxes.size() || boxes[b].Error() >= boxes[worst].Error())) {
        worst = b;
      }
    }
    if (worst == boxes.size()) break;
    const Box whole = boxes[worst];
    int axis = 0;
    for (int c = 1; c < 3; ++c) {
      if (whole.ChannelError(c) > whole.ChannelError(axis)) axis = c;
    }
    // Between levels of 8 values, where the two parts keep the most of |sum|^2 / count.
    std::uint64_t counts[32] = {}, sums[32][3] = {};
    for (const std::size_t i : whole.pixels) {
      const int level = rgb[i * 3 + axis] >> 3;
      ++counts[level];
      for (int c = 0; c < 3; ++c) sums[level][c] += rgb[i * 3 + c];
    }
    int cut = -1;
    double best = -1.0;
    std::uint64_t count = 0, sum[3] = {};
    for (int level = 0; level < 31; ++level) {
      count += counts[level];
      for (int c = 0; c < 3; ++c) sum[c] += sums[level][c];
      if (count == 0 || count == whole.count) continue;
      double below = 0.0, above = 0.0;
      for (int c = 0; c < 3; ++c) {
        const double b = static_cast<double>(sum[c]);
        const double a = static_cast<double>(whole.sum[c] - sum[c]);
        below += b * b;
        above += a * a;
      }
      const double kept =
          below / static_cast<double>(count) + above / static_cast<double>(whole.count - count);
      if (kept > best) {
        best = kept;
        cut = level;
      }
    }
    if (cut < 0) {
      boxes[worst].can_cut = false;
      continue;
    }
    std::vector<std::size_t> lower, upper;
    for (const std::size_t i : whole.pixels) {
      (rgb[i * 3 + axis] >> 3 <= cut ? lower : upper).push_back(i);
    }
    boxes[worst] = box_of(std::move(lower));
    boxes.push_back(box_of(std::move(upper)));
  }
  IndexedPicture picture;
  picture.indices.resize(all.size());
  for (std::size_t b = 0; b < boxes.size(); ++b) {
    const Box& box = boxes[b];
    picture.palette.push_back({});
    for (int c = 0; c < 3; ++c) {
      picture.palette[b][c] = static_cast<std::uint8_t>((box.sum[c] + box.count / 2) / box.count);
    }
    for (const std::size_t i : box.pixels) picture.indices[i] = static_cast<std::uint8_t>(b);
  }
  return picture;
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

TEST(PaletteTest, MedianCutGivesWhatThePlainWayGives) {
  std::mt19937 random(20250611);  // fixed, so that a failure can be replayed
  const auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  // Small pictures of a few colour clusters with noise, each with its number of colours;
  // then 100 000 bright pixels, whose sums of squares outgrow 32 bits.
  for (int round = 0; round < 8; ++round) {
    const bool large = round == 7;
    const int width = large ? 400 : pick(24, 60);
    const int height = large ? 250 : pick(24, 60);
    const int max_colors = large ? 16 : pick(2, 256);
    std::vector<int> centres(3 * static_cast<std::size_t>(pick(1, 12)));
    for (int& value : centres) value = pick(0, 255);
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < width * height; ++i) {
      const std::size_t centre =
          3 * static_cast<std::size_t>(pick(0, static_cast<int>(centres.size()) / 3 - 1));
      for (int c = 0; c < 3; ++c) {
        rgb.push_back(static_cast<std::uint8_t>(
            large ? pick(176, 255) : std::clamp(centres[centre + c] + pick(-20, 20), 0, 255)));
      }
    }
    std::vector<bool> seen(1 << 24);
    int colours = 0;
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
      const int key = (rgb[i] << 16) | (rgb[i + 1] << 8) | rgb[i + 2];
      colours += seen[key] ? 0 : 1;
      seen[key] = true;
    }
    ASSERT_GT(colours, max_colors) << "a picture for the median cut";
    const IndexedPicture picture = ReduceToPalette(rgb.data(), width, height, max_colors);
    const IndexedPicture plain = PlainMedianCut(rgb, max_colors);
    EXPECT_EQ(picture.palette, plain.palette) << "round " << round;
    EXPECT_EQ(picture.indices, plain.indices) << "round " << round;
  }
}

}  // namespace
}  // namespace pix
