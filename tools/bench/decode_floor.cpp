// The decoding floor of a first run: the time libjpeg alone takes to decode the pictures
// given as a run must decode them for their inline images, and nothing else (no colour
// step, no image written, no page; the decoded rows are not kept). Each picture's header
// is read with the run's reader, its display size fitted into the display box as a run
// fits it, and the picture decoded with the run's decoder at the smallest DCT scale that
// covers that size, a progressive picture only up to the scans that scale needs. The box
// is square by default, so a picture's EXIF orientation does not change the scale and is
// not read. Its threads share the work as a run's do: the largest files first, and while a
// decoder waits for the memory that decoders of large progressive pictures share, the
// smallest picture nobody has started.
//
//   decode_floor [--box WxH] [--jobs N] PICTURE...
//
// Prints the pictures decoded, the wall time and the time a picture; tools/bench/run sets
// every first run beside it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "picture/comread.h"
#include "picture/decjpeg.h"
#include "site/pictureentry.h"

namespace {

struct Options {
  int box_width = 100;
  int box_height = 100;
  int jobs = 1;
  std::vector<std::string> pictures;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--box" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &options.box_width, &options.box_height) != 2) {
        return false;
      }
    } else if (argument == "--jobs" && i + 1 < argc) {
      options.jobs = std::atoi(argv[++i]);
    } else if (!argument.empty() && argument[0] == '-') {
      return false;
    } else {
      options.pictures.push_back(argument);
    }
  }
  return options.jobs >= 1 && options.box_width >= 1 && options.box_height >= 1;
}

// Takes the decoded rows and keeps nothing.
class DropRows : public pix::RgbRowSink {
 public:
  std::uint64_t MemoryFor(int, int) override { return 0; }
  void Begin(int, int, const std::vector<std::uint8_t>&) override {}
  void Row(const std::uint8_t*) override {}
};

// Decodes one picture as a run does for its inline image; false when it cannot be read.
bool DecodeLikeARun(const std::string& picture, const Options& options) {
  pix::Result<pix::JpegHeader> header = pix::ReadJpegHeader(picture);
  if (!header.ok() || header->width < 1 || header->height < 1) return false;
  const pix::DisplayFit fit = pix::ComputeDisplaySize(header->width, header->height,
                                                      options.box_width, options.box_height);
  DropRows rows;
  return pix::DecodeJpegRows(picture, fit.width, fit.height, rows).ok();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options) || options.pictures.empty()) {
    std::fprintf(stderr, "usage: decode_floor [--box WxH] [--jobs N] PICTURE...\n");
    return 2;
  }
  pix::PrepareMemoryForDecoding();
  // The pictures nobody has started, largest file first.
  std::deque<std::string> waiting;
  {
    std::vector<std::pair<std::uintmax_t, std::string>> sized;
    for (const std::string& picture : options.pictures) {
      std::error_code error;
      const std::uintmax_t size = std::filesystem::file_size(picture, error);
      sized.emplace_back(error ? 0 : size, picture);
    }
    std::stable_sort(sized.begin(), sized.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& [size, picture] : sized) waiting.push_back(std::move(picture));
  }
  std::mutex mutex;
  std::atomic<int> failed{0};
  // Takes the largest picture nobody has started; false when none is left.
  const auto take = [&](std::string& picture) {
    std::lock_guard<std::mutex> lock(mutex);
    if (waiting.empty()) return false;
    picture = std::move(waiting.front());
    waiting.pop_front();
    return true;
  };
  // Takes one of the few smallest pictures whose decoder would not wait in turn.
  const auto take_small = [&](std::uint64_t room, std::string& picture) {
    std::vector<std::string> smallest;
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (auto it = waiting.rbegin(); it != waiting.rend() && smallest.size() < 4; ++it) {
        smallest.push_back(*it);
      }
    }
    for (const std::string& candidate : smallest) {
      if (pix::WholePictureMemoryOf(candidate) > room) continue;
      std::lock_guard<std::mutex> lock(mutex);
      const auto found = std::find(waiting.begin(), waiting.end(), candidate);
      if (found == waiting.end()) continue;
      picture = candidate;
      waiting.erase(found);
      return true;
    }
    return false;
  };
  const auto work = [&] {
    const pix::DecodeWaitWork meanwhile([&](std::uint64_t room) {
      std::string picture;
      if (!take_small(room, picture)) return false;
      if (!DecodeLikeARun(picture, options)) ++failed;
      return true;
    });
    for (std::string picture; take(picture);) {
      if (!DecodeLikeARun(picture, options)) ++failed;
    }
  };
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int j = 1; j < options.jobs; ++j) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::size_t count = options.pictures.size();
  std::printf("%zu pictures (%d unreadable) in %.3f s: %.3f ms a picture\n", count, failed.load(),
              seconds, seconds * 1000.0 / static_cast<double>(count));
  return 0;
}
