// How long reading a picture's metadata takes once its header has been walked: the EXIF
// data (exiv2, with the exposure tags and the GPS position), the XMP packet (expat) and
// the IPTC record (exiv2), as a run does for every new or changed JPEG picture.
//
// The segments come from the JPEG pictures of $PIXAMOND_METADATA_BENCH_DIR (every .jpg
// below it, read once before timing), by default the example site that scripts/example
// makes in build/example; pictures without metadata are left out.
//
//   metadata_bench
//   PIXAMOND_METADATA_BENCH_DIR=~/Pictures metadata_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <vector>

#include "picture/comread.h"
#include "picture/metadata.h"

namespace {

namespace fs = std::filesystem;

std::vector<pix::JpegMetadataSegments> LoadSegments() {
  const char* dir = std::getenv("PIXAMOND_METADATA_BENCH_DIR");
  const fs::path root = dir != nullptr ? dir : "build/example";
  std::vector<pix::JpegMetadataSegments> all;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    const fs::path& path = it->path();
    if (path.extension() != ".jpg" || path.string().find("/inline/") != std::string::npos) {
      continue;
    }
    pix::JpegMetadataSegments segments;
    if (!pix::ReadJpegHeader(path.string(), {nullptr, &segments}).ok()) continue;
    if (segments.exif.empty() && segments.xmp.empty() && segments.photoshop.empty()) continue;
    all.push_back(std::move(segments));
  }
  return all;
}

void BM_ParseJpegMetadata(benchmark::State& state) {
  static const std::vector<pix::JpegMetadataSegments> pictures = LoadSegments();
  if (pictures.empty()) {
    state.SkipWithError("no JPEG picture with metadata found");
    return;
  }
  std::size_t next = 0;
  for (auto _ : state) {
    pix::PictureMetadata metadata = pix::ParseJpegMetadata(pictures[next]);
    benchmark::DoNotOptimize(metadata);
    next = (next + 1) % pictures.size();
  }
  state.counters["pictures"] = static_cast<double>(pictures.size());
}
BENCHMARK(BM_ParseJpegMetadata)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
