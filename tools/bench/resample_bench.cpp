// The linear-light reduction of web images on its own, at the sizes a first run of
// photographs asks for: a picture decoded at the scale a 1600-pixel detail image needs,
// reduced to that detail image, and the detail image reduced to an inline image at twice a
// 240x180 display box.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "picture/webimage.h"

namespace {

// A picture with detail everywhere, so that no value repeats in a way a cache could use.
pix::RgbPicture NoisyPicture(int width, int height) {
  pix::RgbPicture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels.resize(static_cast<std::size_t>(width) * height * 3);
  std::uint32_t state = 12345;
  for (std::uint8_t& value : picture.pixels) {
    state = state * 1664525u + 1013904223u;
    value = static_cast<std::uint8_t>(state >> 24);
  }
  return picture;
}

void Reduce(benchmark::State& state, int from_width, int from_height, int to_width, int to_height) {
  const pix::RgbPicture picture = NoisyPicture(from_width, from_height);
  for (auto _ : state) {
    benchmark::DoNotOptimize(pix::ResampleInLinearLight(picture, to_width, to_height));
  }
}

void BM_DecodedToDetailImage(benchmark::State& state) { Reduce(state, 2115, 1190, 1600, 900); }
void BM_DetailToInlineImage(benchmark::State& state) { Reduce(state, 1600, 900, 480, 270); }

}  // namespace

BENCHMARK(BM_DecodedToDetailImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetailToInlineImage)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
