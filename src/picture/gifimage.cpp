#include "picture/gifimage.h"

#include <string>

#include "base/diagnostics.h"
#include "picture/gifio.h"
#include "picture/gifrsize.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

constexpr const char* kProgressLabel = "GifRSize";

}  // namespace

std::vector<int> PickedPlaces(int in_count, int out_count, double scale) {
  std::vector<int> picked(static_cast<std::size_t>(out_count > 0 ? out_count : 0));
  double x = 0.0;
  int last = -1;
  for (int k = 0; k < in_count; ++k) {
    const int ix = static_cast<int>(x);
    while (last < ix && last < out_count - 1) picked[++last] = k;
    x += scale;
  }
  while (last < out_count - 1) picked[++last] = in_count - 1;
  return picked;
}

Status CheckGifScreenSize(const fs::path& new_file, int width, int height,
                          const fs::path& target) {
  int got_width = 0;
  int got_height = 0;
  Status read = GetGifSize(&got_width, &got_height, new_file);
  if (!read.ok() || got_width != width || got_height != height) {
    return Status::Corrupt("The new version of " + target.string() +
                           " does not read back as a GIF file of the right size");
  }
  return Status::OK();
}

void PrintGifImageProgress(int number, int left, int top, int width, int height) {
  ReportDetail(std::string(kProgressLabel) + ": Image " + std::to_string(number) + " at (" +
               std::to_string(left) + ", " + std::to_string(top) + ") [" + std::to_string(width) +
               "x" + std::to_string(height) + "]");
}

Status GifIoFailure(int code, const fs::path& path) {
  PrintGifError(code);
  ReportDetail("Fatal GIF I/O Problem.  Please report to author.");
  const char* text = GifErrorText(code);
  return Status::Corrupt("Fatal GIF I/O Problem.  Please report to author. (" + path.string() +
                         ": " + (text != nullptr ? text : "GIF-LIB error") + ")");
}

Status GifOutOfMemory(const fs::path& path) {
  ReportDetail(std::string(kProgressLabel) + ": Failed to allocate memory required, aborted.");
  return Status::TooLarge("Failed to allocate memory required, aborted. (" + path.string() + ")");
}

Status GifImageTooLarge(const fs::path& path, int width, int height) {
  const std::string message = path.string() + ": an image of " + std::to_string(width) + "x" +
                              std::to_string(height) + " pixels is larger than the " +
                              std::to_string(kMaxGifImagePixels) + " pixels a picture may have";
  ReportDetail(std::string(kProgressLabel) + ": " + message);
  return Status::TooLarge(message);
}

Result<GifImageRows> ReadGifImageRows(GifFileType* in, const fs::path& path) {
  const GifImageDesc& image = in->Image;
  if (image.Width < 1 || image.Height < 1) {
    return Status::Corrupt(path.string() + " holds an image without pixels");
  }
  const long long pixels = static_cast<long long>(image.Width) * image.Height;
  if (pixels > kMaxGifImagePixels) return GifImageTooLarge(path, image.Width, image.Height);
  const std::size_t width = static_cast<std::size_t>(image.Width);
  // Zero pages from calloc: a damaged file whose data end early costs address space for
  // the lines it never fills, not memory.
  GifImageRows rows(static_cast<GifPixelType*>(std::calloc(static_cast<std::size_t>(pixels), 1)));
  if (!rows) return GifOutOfMemory(path);
  const auto read_line = [&](int y) {
    return DGifGetLine(in, rows.get() + static_cast<std::size_t>(y) * width, image.Width) !=
           GIF_ERROR;
  };
  if (image.Interlace) {
    // The four interlace passes: every 8th line from 0, every 8th from 4, every 4th from 2,
    // every 2nd from 1.
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = kStart[pass]; y < image.Height; y += kStep[pass]) {
        if (!read_line(y)) return GifIoFailure(in->Error, path);
      }
    }
  } else {
    for (int y = 0; y < image.Height; ++y) {
      if (!read_line(y)) return GifIoFailure(in->Error, path);
    }
  }
  return rows;
}

}  // namespace pix
