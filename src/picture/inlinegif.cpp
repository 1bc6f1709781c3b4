#include "picture/inlinegif.h"

#include <gif_lib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/safereplace.h"
#include "picture/decjpeg.h"
#include "picture/gifimage.h"
#include "picture/gifio.h"
#include "picture/palette.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

// `in` (`in_width` x `in_height` pixels of `bytes` bytes each) at `width` x `height`, each
// output pixel a copy of the input pixel PickedPlaces names along each side.
std::vector<std::uint8_t> Resample(const std::uint8_t* in, int in_width, int in_height, int bytes,
                                   int width, int height) {
  const std::vector<int> columns =
      PickedPlaces(in_width, width, static_cast<double>(width) / in_width);
  const std::vector<int> rows =
      PickedPlaces(in_height, height, static_cast<double>(height) / in_height);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * bytes);
  std::uint8_t* target = out.data();
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* line = in + static_cast<std::size_t>(rows[y]) * in_width * bytes;
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* pixel = line + static_cast<std::size_t>(columns[x]) * bytes;
      for (int b = 0; b < bytes; ++b) *target++ = pixel[b];
    }
  }
  return out;
}

// The picture at the stored size of the inline image, in at most 256 colours.
Result<IndexedPicture> ReducedPicture(const fs::path& jpeg_file, int width, int height,
                                      const InlineGifOptions& options) {
  const bool scaled = options.reduction == DecodeReduction::kDctScaling;
  const int fit_width = scaled ? width : 0;
  const int fit_height = scaled ? height : 0;
  if (options.palette == InlinePalette::kDither) {
    Result<IndexedPicture> decoded =
        DecodeJpegToPalette(jpeg_file, fit_width, fit_height, options.damage);
    if (!decoded.ok()) return decoded.status();
    IndexedPicture reduced;
    reduced.width = width;
    reduced.height = height;
    reduced.indices =
        Resample(decoded->indices.data(), decoded->width, decoded->height, 1, width, height);
    reduced.palette = std::move(decoded->palette);
    return reduced;
  }
  Result<RgbPicture> decoded = DecodeJpegToRgb(jpeg_file, fit_width, fit_height, options.damage);
  if (!decoded.ok()) return decoded.status();
  if (static_cast<long long>(width) * height <=
      static_cast<long long>(decoded->width) * decoded->height) {
    const std::vector<std::uint8_t> rgb =
        Resample(decoded->pixels.data(), decoded->width, decoded->height, 3, width, height);
    return ReduceToPalette(rgb.data(), width, height);
  }
  // Enlarged: the colours are chosen among the picture's own pixels, fewer than are shown.
  IndexedPicture reduced = ReduceToPalette(decoded->pixels.data(), decoded->width, decoded->height);
  reduced.indices =
      Resample(reduced.indices.data(), decoded->width, decoded->height, 1, width, height);
  reduced.width = width;
  reduced.height = height;
  return reduced;
}

struct GifMapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// Writes `picture` as a GIF87a stream: its palette, padded with black to a power of two, as
// the global colour map, and one image at (0, 0) without a local map.
Status WriteIndexedGif(const IndexedPicture& picture, std::FILE* file, const fs::path& name) {
  const int colors = static_cast<int>(picture.palette.size());
  const int entries = 1 << GifBitSize(colors < 2 ? 2 : colors);
  std::unique_ptr<ColorMapObject, GifMapDeleter> map(GifMakeMapObject(entries, nullptr));
  if (!map) return GifOutOfMemory(name);
  for (int i = 0; i < entries; ++i) {
    GifColorType& c = map->Colors[i];
    c.Red = c.Green = c.Blue = 0;
    if (i < colors) {
      c.Red = picture.palette[i][0];
      c.Green = picture.palette[i][1];
      c.Blue = picture.palette[i][2];
    }
  }
  Result<GifWriter> writer = GifWriter::Open(file);
  if (!writer.ok()) return writer.status();
  GifFileType* gif = writer->Gif();
  if (EGifPutScreenDesc(gif, picture.width, picture.height, map->BitsPerPixel, 0, map.get()) ==
          GIF_ERROR ||
      PutGifImageDesc(gif, 0, 0, picture.width, picture.height, false, nullptr) == GIF_ERROR) {
    return GifIoFailure(gif->Error, name);
  }
  PrintGifImageProgress(1, 0, 0, picture.width, picture.height);
  for (int y = 0; y < picture.height; ++y) {
    auto* line = const_cast<GifPixelType*>(picture.indices.data()) +
                 static_cast<std::size_t>(y) * picture.width;
    if (EGifPutLine(gif, line, picture.width) == GIF_ERROR) return GifIoFailure(gif->Error, name);
  }
  return writer->Close();
}

}  // namespace

Status MakeJpegInlineImage(const fs::path& jpeg_file, const fs::path& inline_file,
                           int display_width, int display_height,
                           const InlineGifOptions& options) {
  if (options.damage != nullptr) options.damage->clear();
  if (display_width < 1 || display_height < 1 || display_width > kMaxGifDimension ||
      display_height > kMaxGifDimension) {
    return Status::InvalidArgument("No inline image of " + std::to_string(display_width) + "x" +
                                   std::to_string(display_height) + " can be made for " +
                                   jpeg_file.string());
  }
  // The picture is reduced as it is stored, and turned once it is smallest.
  const bool swap = SwapsSides(options.orientation);
  const int stored_width = swap ? display_height : display_width;
  const int stored_height = swap ? display_width : display_height;
  Result<IndexedPicture> reduced = ReducedPicture(jpeg_file, stored_width, stored_height, options);
  if (!reduced.ok()) return reduced.status();
  IndexedPicture& picture = *reduced;
  if (options.orientation != Orientation::kNormal) {
    std::vector<std::uint8_t> upright(picture.indices.size());
    TurnPixels(options.orientation, picture.indices.data(), stored_width, stored_height,
               upright.data());
    picture.indices = std::move(upright);
    picture.width = display_width;
    picture.height = display_height;
  }
  return ReplaceFileSafely(
      inline_file, [&](std::FILE* out) { return WriteIndexedGif(picture, out, jpeg_file); },
      [&](const fs::path& new_file) {
        Status checked = CheckGifScreenSize(new_file, display_width, display_height, inline_file);
        if (!checked.ok() || !options.before_replace) return checked;
        return options.before_replace(new_file);
      },
      // Inline images are made again whenever they are lost.
      TempFileBeside::Durability::kUnsynced);
}

}  // namespace pix
