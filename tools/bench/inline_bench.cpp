// How long one inline image of a 12-megapixel JPEG takes: with DCT scaling (the decoder
// reduces while decoding), without it (every pixel decoded and quantized), and, for
// comparison in the same run, djpeg decoding the same picture at 1/8.
//
//   build/tools/inline_bench [--benchmark_repetitions=3]
//
// items_per_second is pictures per second.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "picture/decjpeg.h"
#include "picture/inlinegif.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The picture is made once: 4000 x 3000, smooth gradients with a checker pattern.
const fs::path& Picture() {
  static pix::test::TempDir dir;  // Removed with the picture when the program ends.
  static const fs::path path = [] {
    const fs::path file = dir / "photo.jpg";
    pix::test::WriteFile(file, pix::test::MakeJpeg(pix::test::GradientArt(4000, 3000)));
    return file;
  }();
  return path;
}

// Progress lines of the resizer would flood the terminal; they go to /dev/null while the
// benchmarks run.
class QuietStderr {
 public:
  QuietStderr() : saved_(dup(2)) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(null);
  }
  ~QuietStderr() {
    dup2(saved_, 2);
    close(saved_);
  }

 private:
  int saved_;
};

// The display box is 200 x 200; a 4:3 picture fits it at 200 x 150.
void MakeInline(benchmark::State& state, pix::DecodeReduction reduction,
                pix::InlinePalette palette = pix::InlinePalette::kDither) {
  const fs::path picture = Picture();
  const fs::path inline_image = picture.parent_path() / "inline.gif";
  QuietStderr quiet;
  pix::InlineGifOptions options;
  options.reduction = reduction;
  options.palette = palette;
  for (auto _ : state) {
    const pix::Status status = pix::MakeJpegInlineImage(picture, inline_image, 200, 150, options);
    if (!status.ok()) state.SkipWithError(status.message().c_str());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_InlineWithDctScaling(benchmark::State& state) {
  MakeInline(state, pix::DecodeReduction::kDctScaling);
}
void BM_InlineMedianCut(benchmark::State& state) {
  MakeInline(state, pix::DecodeReduction::kDctScaling, pix::InlinePalette::kMedianCut);
}
void BM_DecodeOnly(benchmark::State& state) {
  const fs::path picture = Picture();
  QuietStderr quiet;
  for (auto _ : state) {
    if (!pix::DecodeJpegToRgb(picture, 200, 150).ok()) state.SkipWithError("cannot decode");
  }
  state.SetItemsProcessed(state.iterations());
}
void BM_InlineFullSizeDecode(benchmark::State& state) {
  MakeInline(state, pix::DecodeReduction::kFullSize);
}

void BM_DjpegScaleOneEighth(benchmark::State& state) {
  const std::string command = "djpeg -scale 1/8 -outfile /dev/null '" + Picture().string() + "'";
  if (std::system("command -v djpeg >/dev/null 2>&1") != 0) {
    state.SkipWithError("djpeg is not installed");
    return;
  }
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("djpeg failed");
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_InlineWithDctScaling)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InlineMedianCut)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InlineFullSizeDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DjpegScaleOneEighth)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
