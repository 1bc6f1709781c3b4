// What the GIF resizer and the GIF de-interlacer share: their failure statuses, their
// progress lines, and reading one image's pixels whole, interlaced or not.
#pragma once

#include <gif_lib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/status.h"

namespace pix {

/// The largest width or height a GIF file can state.
inline constexpr int kMaxGifDimension = 65535;

/// How pictures are resized without new colours: for each of `out_count` places along a
/// side, the place of `in_count` whose pixel it copies. Output place j takes input place k
/// for the smallest k whose accumulated position (a running sum of `scale`, not k * scale,
/// so inexact factors pick pixels by their sums) has an integer part of at least j; places
/// past the last input take the last.
std::vector<int> PickedPlaces(int in_count, int out_count, double scale);

/// Accepts the new GIF file `new_file` only when it reads back with a logical screen of
/// `width` x `height`; `target` names the file it is to replace in the failure.
Status CheckGifScreenSize(const std::filesystem::path& new_file, int width, int height,
                          const std::filesystem::path& target);

/// Sends "GifRSize: Image N at (LEFT, TOP) [WIDTHxHEIGHT]" to the detail sink.
void PrintGifImageProgress(int number, int left, int top, int width, int height);

/// A read or write error of giflib with code `code` on `path`: giflib's line and the
/// program's go to the detail sink, and the status carries both.
Status GifIoFailure(int code, const std::filesystem::path& path);

/// The memory for an image of `path` could not be had.
Status GifOutOfMemory(const std::filesystem::path& path);

/// An image of `path` claims more pixels than kMaxGifImagePixels.
Status GifImageTooLarge(const std::filesystem::path& path, int width, int height);

struct FreeGifRows {
  void operator()(GifPixelType* rows) const { std::free(rows); }
};

/// An image's pixels in one block, Width bytes a line, top line first.
using GifImageRows = std::unique_ptr<GifPixelType, FreeGifRows>;

/// Reads the pixels of the image whose descriptor `in` has just read (in->Image), putting
/// the lines of an interlaced image in their places. Refuses an image without pixels or of
/// more than kMaxGifImagePixels; `path` names the file in messages.
Result<GifImageRows> ReadGifImageRows(GifFileType* in, const std::filesystem::path& path);

}  // namespace pix
