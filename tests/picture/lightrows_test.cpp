// The resampler's loops: every form gives the very values of the portable one, whatever the
// sizes (groups of eight pixels and what is left over), and light is coded back to the
// sRGB value it came from, with no light, full light and what is not a number at the ends.
#include "picture/lightrows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace pix {
namespace {

// The forms other than the portable one that this processor runs.
std::vector<const LightRowLoops*> OtherForms() {
  std::vector<const LightRowLoops*> forms;
  if (Avx2LightRowLoops() != nullptr) forms.push_back(Avx2LightRowLoops());
  return forms;
}

// Whether two rows of floats hold the same bits.
bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(LightRowsTest, EveryFormNarrowsARowToTheSameValues) {
  if (OtherForms().empty()) GTEST_SKIP() << "this processor runs only the portable form";
  std::mt19937 random(7);
  struct Sizes {
    int in_width;
    int width;
  };
  // Reductions as a detail image and an inline image ask for, widths with and without a
  // remainder past the groups of eight, fewer pixels than a group, and enlargements.
  const Sizes cases[] = {{2115, 1600}, {1600, 480}, {1601, 483}, {64, 7}, {9, 9},
                         {3, 1},       {5, 17},     {1, 12},     {640, 640}};
  for (const Sizes& sizes : cases) {
    SCOPED_TRACE(std::to_string(sizes.in_width) + " to " + std::to_string(sizes.width));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(sizes.in_width) * 3);
    for (std::size_t i = 0; i < row.size(); ++i) {
      // Hard edges between black and white, where the filter's lobes overshoot, and noise.
      row[i] = (i / 30) % 3 == 0 ? static_cast<std::uint8_t>(i % 2 == 0 ? 0 : 255)
                                 : static_cast<std::uint8_t>(random() & 0xFF);
    }
    const RowWeights weights(sizes.in_width, sizes.width);
    const auto narrowed = [&](const LightRowLoops& loops) {
      std::vector<float> light(static_cast<std::size_t>(sizes.in_width) * 4, 0.0f);
      std::vector<float> out(static_cast<std::size_t>(sizes.width) * 3, -1.0f);
      loops.narrow(row.data(), sizes.in_width, light.data(), weights, out.data());
      return out;
    };
    const std::vector<float> portable = narrowed(PortableLightRowLoops());
    for (const float value : portable) ASSERT_GE(value, -0.5f);  // Every value was written.
    for (const LightRowLoops* form : OtherForms()) EXPECT_TRUE(SameBits(narrowed(*form), portable));
  }
}

TEST(LightRowsTest, EveryFormWeighsRowsAndCodesLightToTheSameValues) {
  if (OtherForms().empty()) GTEST_SKIP() << "this processor runs only the portable form";
  std::mt19937 random(11);
  std::uniform_real_distribution<float> spread(-0.1f, 1.1f);
  for (const std::size_t values : {std::size_t{1}, std::size_t{7}, std::size_t{1443},
                                   std::size_t{4800}}) {
    for (const std::size_t count : {std::size_t{1}, std::size_t{9}, std::size_t{21}}) {
      SCOPED_TRACE(std::to_string(values) + " values, " + std::to_string(count) + " rows");
      const std::size_t ring_rows = count + 2;
      std::vector<float> ring(values * ring_rows);
      for (float& v : ring) v = spread(random);
      std::vector<float> weights(count);
      for (float& w : weights) w = spread(random) - 0.3f;
      const std::size_t first = ring_rows - 1;  // The rows wrap around the ring.
      std::vector<float> portable(values), other(values);
      PortableLightRowLoops().weigh(ring.data(), ring_rows, values, first, weights.data(),
                                    count, portable.data());
      std::vector<std::uint8_t> portable_bytes(values), other_bytes(values);
      PortableLightRowLoops().encode(portable.data(), values, portable_bytes.data());
      for (const LightRowLoops* form : OtherForms()) {
        form->weigh(ring.data(), ring_rows, values, first, weights.data(), count, other.data());
        EXPECT_TRUE(SameBits(other, portable));
        form->encode(portable.data(), values, other_bytes.data());
        EXPECT_EQ(other_bytes, portable_bytes);
      }
    }
  }
}

TEST(LightRowsTest, LightIsCodedToTheNearestValueWithTheEndsHeld) {
  const std::array<float, 256>& linear = LinearOf();
  for (int v = 0; v < 256; ++v) EXPECT_EQ(EncodeLight(linear[static_cast<std::size_t>(v)]), v);
  // Halfway between two values' light, on either side of the threshold.
  for (int v = 1; v < 256; ++v) {
    const double coded = (v - 0.5) / 255.0;
    const auto threshold = static_cast<float>(
        coded <= 0.04045 ? coded / 12.92 : std::pow((coded + 0.055) / 1.055, 2.4));
    EXPECT_EQ(EncodeLight(threshold), v);
    EXPECT_EQ(EncodeLight(std::nextafter(threshold, 0.0f)), v - 1);
  }
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float infinity = std::numeric_limits<float>::infinity();
  EXPECT_EQ(EncodeLight(nan), 0);
  EXPECT_EQ(EncodeLight(-infinity), 0);
  EXPECT_EQ(EncodeLight(-0.0f), 0);
  EXPECT_EQ(EncodeLight(-0.2f), 0);  // A filter's lobes overshoot below black...
  EXPECT_EQ(EncodeLight(1.0f), 255);
  EXPECT_EQ(EncodeLight(1.3f), 255);  // ...and above white.
  EXPECT_EQ(EncodeLight(infinity), 255);
  EXPECT_EQ(EncodeLight(std::nextafter(1.0f, 0.0f)), 255);

  // Each form codes a row of these as EncodeLight does, eight at a time and one by one.
  std::vector<float> row = {nan, -infinity, -0.0f, -0.2f, 1.0f, 1.3f, infinity, 0.5f, 0.0f};
  for (int v = 0; v < 256; ++v) row.push_back(linear[static_cast<std::size_t>(v)]);
  std::vector<std::uint8_t> expected;
  for (const float light : row) expected.push_back(EncodeLight(light));
  std::vector<const LightRowLoops*> forms = OtherForms();
  forms.push_back(&PortableLightRowLoops());
  for (const LightRowLoops* form : forms) {
    std::vector<std::uint8_t> coded(row.size());
    form->encode(row.data(), row.size(), coded.data());
    EXPECT_EQ(coded, expected);
  }
}

}  // namespace
}  // namespace pix
