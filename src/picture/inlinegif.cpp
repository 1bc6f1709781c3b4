#include "picture/inlinegif.h"

#include <gif_lib.h>

#include <algorithm>
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

// Takes the pixels Resample would pick from the decoded picture as its rows come, so that a
// picture reduced to its inline image is never held whole; one smaller than the inline image
// (to be enlarged) is kept whole.
class PickPixels : public RgbRowSink {
 public:
  PickPixels(int width, int height) : width_(width), height_(height) {}

  std::uint64_t MemoryFor(int width, int height) override {
    const bool enlarged =
        static_cast<long long>(width_) * height_ > static_cast<long long>(width) * height;
    return enlarged ? static_cast<std::uint64_t>(width) * height * 3
                    : static_cast<std::uint64_t>(width_) * height_ * 3;
  }

  void Begin(int width, int height, const std::vector<std::uint8_t>&) override {
    decoded_width_ = width;
    decoded_height_ = height;
    enlarged_ = static_cast<long long>(width_) * height_ > static_cast<long long>(width) * height;
    if (enlarged_) {
      pixels_.resize(static_cast<std::size_t>(width) * height * 3);
      return;
    }
    columns_ = PickedPlaces(width, width_, static_cast<double>(width_) / width);
    rows_ = PickedPlaces(height, height_, static_cast<double>(height_) / height);
    pixels_.resize(static_cast<std::size_t>(width_) * height_ * 3);
  }

  void Row(const std::uint8_t* pixels) override {
    const int y = row_++;
    if (enlarged_) {
      const std::size_t bytes = static_cast<std::size_t>(decoded_width_) * 3;
      std::copy(pixels, pixels + bytes, pixels_.data() + static_cast<std::size_t>(y) * bytes);
      return;
    }
    // The picked rows come in order; one input row may stand for several output rows.
    for (; next_ < height_ && rows_[static_cast<std::size_t>(next_)] == y; ++next_) {
      std::uint8_t* target = pixels_.data() + static_cast<std::size_t>(next_) * width_ * 3;
      for (int x = 0; x < width_; ++x) {
        const std::uint8_t* pixel = pixels + static_cast<std::size_t>(columns_[x]) * 3;
        for (int b = 0; b < 3; ++b) *target++ = pixel[b];
      }
    }
  }

  bool Enlarged() const { return enlarged_; }
  int DecodedWidth() const { return decoded_width_; }
  int DecodedHeight() const { return decoded_height_; }
  // The picked pixels at the inline image's size, or the whole decoded picture.
  const std::vector<std::uint8_t>& Pixels() const { return pixels_; }

 private:
  int width_;
  int height_;
  int decoded_width_ = 0;
  int decoded_height_ = 0;
  bool enlarged_ = false;
  std::vector<int> columns_;
  std::vector<int> rows_;
  std::vector<std::uint8_t> pixels_;
  int row_ = 0;   // The next decoded row.
  int next_ = 0;  // The next output row.
};

// The picture at the stored size of the inline image, in at most 256 colours.
Result<IndexedPicture> ReducedPicture(const fs::path& jpeg_file, int width, int height,
                                      const InlineGifOptions& options) {
  const bool scaled = options.reduction == DecodeReduction::kDctScaling;
  const int fit_width = scaled ? width : 0;
  const int fit_height = scaled ? height : 0;
  if (options.palette == InlinePalette::kDither) {
    Result<IndexedPicture> decoded =
        DecodeJpegToPalette(jpeg_file, fit_width, fit_height, options.damage, options.file_bytes);
    if (!decoded.ok()) return decoded.status();
    IndexedPicture reduced;
    reduced.width = width;
    reduced.height = height;
    reduced.indices =
        Resample(decoded->indices.data(), decoded->width, decoded->height, 1, width, height);
    reduced.palette = std::move(decoded->palette);
    return reduced;
  }
  PickPixels picked(width, height);
  const Status decoded = DecodeJpegRows(jpeg_file, fit_width, fit_height, picked, options.damage,
                                         options.file_bytes);
  if (!decoded.ok()) return decoded;
  if (!picked.Enlarged()) return ReduceToPalette(picked.Pixels().data(), width, height);
  // Enlarged: the colours are chosen among the picture's own pixels, fewer than are shown.
  const int decoded_width = picked.DecodedWidth();
  const int decoded_height = picked.DecodedHeight();
  IndexedPicture reduced = ReduceToPalette(picked.Pixels().data(), decoded_width, decoded_height);
  reduced.indices =
      Resample(reduced.indices.data(), decoded_width, decoded_height, 1, width, height);
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
