// The median cut of GIF inline images on its own (`ReduceToPalette`), on the pictures of the
// small-pictures row of tools/bench/run: the eight 64 x 48 patterns it writes, as libjpeg
// gives them back from quality-85 JPEGs, nearly one cell of the cut for every pixel; and on
// the same patterns stretched to 400 x 300 with a little noise, which take 64-bit sums.
//
//   build/tools/palette_bench [--benchmark_repetitions=5]
//
// items_per_second is pictures per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "picture/palette.h"
#include "support/picture_builder.h"

namespace {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// The eight kinds of small picture tools/bench/run writes, through a JPEG and back.
const std::vector<Picture>& SmallPictures() {
  static const std::vector<Picture> pictures = [] {
    std::vector<Picture> made;
    for (int k = 0; k < 8; ++k) {
      pix::test::PixelArt art{64, 48, {}};
      for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
          art.pixels.push_back({static_cast<std::uint8_t>((x * 7 + k * 30) % 256),
                                static_cast<std::uint8_t>((y * 5 + k * 50) % 256),
                                static_cast<std::uint8_t>(((x + y) * k * 3) % 256)});
        }
      }
      pix::test::JpegOptions options;
      options.quality = 85;
      const pix::test::DecodedJpeg decoded =
          pix::test::DecodeJpegBytes(pix::test::MakeJpeg(art, options));
      made.push_back({decoded.width, decoded.height, decoded.samples});
    }
    return made;
  }();
  return pictures;
}

// The small pictures stretched to `width` x `height`, with noise of up to 5 in each value.
std::vector<Picture> Stretched(int width, int height) {
  std::vector<Picture> made;
  std::uint32_t state = 12345;
  for (const Picture& small : SmallPictures()) {
    Picture picture{width, height, {}};
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::size_t from =
            (static_cast<std::size_t>(y * small.height / height) * small.width +
             static_cast<std::size_t>(x * small.width / width)) * 3;
        for (int c = 0; c < 3; ++c) {
          state = state * 1664525u + 1013904223u;
          picture.rgb.push_back(static_cast<std::uint8_t>(
              std::min(255, small.rgb[from + c] + static_cast<int>((state >> 24) % 6))));
        }
      }
    }
    made.push_back(std::move(picture));
  }
  return made;
}

void Reduce(benchmark::State& state, const std::vector<Picture>& pictures) {
  std::size_t next = 0;
  for (auto _ : state) {
    const Picture& picture = pictures[next++ % pictures.size()];
    benchmark::DoNotOptimize(pix::ReduceToPalette(picture.rgb.data(), picture.width,
                                                  picture.height));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_SmallPictures(benchmark::State& state) { Reduce(state, SmallPictures()); }
void BM_LargerPictures(benchmark::State& state) { Reduce(state, Stretched(400, 300)); }

}  // namespace

BENCHMARK(BM_SmallPictures)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LargerPictures)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
