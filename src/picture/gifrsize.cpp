#include "picture/gifrsize.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/safereplace.h"
#include "picture/gifimage.h"
#include "picture/gifio.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

// Passes over the compressed data of the current image without decoding it.
bool SkipImageData(GifFileType* in) {
  int code_size = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(in, &code_size, &block) == GIF_ERROR) return false;
  while (block != nullptr) {
    if (DGifGetCodeNext(in, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Copies an extension with its code and its first data sub-block only; the other
// sub-blocks are read and dropped. An extension without data is left out: it says nothing,
// and giflib's own whole-file reader (DGifSlurp) takes the byte after its terminator for a
// sub-block, so a copy that kept it could not be read back.
bool CopyFirstExtensionBlock(GifFileType* in, GifFileType* out) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(in, &code, &block) == GIF_ERROR) return false;
  if (block == nullptr) return true;  // Its terminator is read already.
  if (EGifPutExtensionLeader(out, code) == GIF_ERROR) return false;
  if (EGifPutExtensionBlock(out, block[0], block + 1) == GIF_ERROR) return false;
  if (EGifPutExtensionTrailer(out) == GIF_ERROR) return false;
  while (block != nullptr) {
    if (DGifGetExtensionNext(in, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Reads and drops every data sub-block of an extension.
bool SkipExtension(GifFileType* in) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(in, &code, &block) == GIF_ERROR) return false;
  while (block != nullptr) {
    if (DGifGetExtensionNext(in, &block) == GIF_ERROR) return false;
  }
  return true;
}

// The rectangle an image takes in the resized file, cut at the new screen's edge.
struct OutputRect {
  int left, top, width, height;
};

OutputRect ScaleRect(const GifImageDesc& image, double x_scale, double y_scale, int screen_width,
                      int screen_height) {
  OutputRect r;
  r.left = static_cast<int>(image.Left * x_scale + 0.5);
  r.width = static_cast<int>(image.Width * x_scale + 0.5);
  r.top = static_cast<int>(image.Top * y_scale + 0.5);
  r.height = static_cast<int>(image.Height * y_scale + 0.5);
  // An image never shrinks to nothing: a file whose screen is far larger than its images in
  // one direction would otherwise lose all of them and show nothing.
  if (image.Width >= 1) r.width = std::max(r.width, 1);
  if (image.Height >= 1) r.height = std::max(r.height, 1);
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  if (r.left + r.width > screen_width) r.width = screen_width - r.left;
  if (r.top + r.height > screen_height) r.height = screen_height - r.top;
  return r;
}

struct FreeRows {
  void operator()(GifPixelType* rows) const { std::free(rows); }
};
using PixelBuffer = std::unique_ptr<GifPixelType, FreeRows>;

class GifResizer {
 public:
  // The resized picture is `width` x `height` once turned by `orientation`; before, it has
  // the stored size, with the sides swapped by the orientations that swap them.
  GifResizer(GifFileType* in, int width, int height, Orientation orientation,
              const fs::path& in_name)
      : input_(in),
        width_(width),
        height_(height),
        orientation_(orientation),
        stored_width_(SwapsSides(orientation) ? height : width),
        stored_height_(SwapsSides(orientation) ? width : height),
        x_scale_(static_cast<double>(stored_width_) / in->SWidth),
        y_scale_(static_cast<double>(stored_height_) / in->SHeight),
        in_name_(in_name) {}

  Status WriteTo(std::FILE* file) {
    Result<GifWriter> writer = GifWriter::Open(file);
    if (!writer.ok()) return writer.status();
    out_ = writer->Gif();
    if (EGifPutScreenDesc(out_, width_, height_, input_->SColorResolution, input_->SBackGroundColor,
                          input_->SColorMap) == GIF_ERROR) {
      return GifIoFailure(out_->Error, in_name_);
    }
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    do {
      if (DGifGetRecordType(input_, &type) == GIF_ERROR) return GifIoFailure(input_->Error, in_name_);
      if (type == IMAGE_DESC_RECORD_TYPE) {
        Status image = ResizeImage();
        if (!image.ok()) return image;
      } else if (type == EXTENSION_RECORD_TYPE) {
        if (!CopyFirstExtensionBlock(input_, out_)) return GifIoFailure(LastError(), in_name_);
      }
    } while (type != TERMINATE_RECORD_TYPE);
    if (image_number_ == 0) {
      // Nothing could show such a file; it is no inline image.
      return Status::Corrupt(in_name_.string() + " has no image inside its logical screen");
    }
    return writer->Close();
  }

 private:
  int LastError() const { return input_->Error != 0 ? input_->Error : out_->Error; }

  Status ResizeImage() {
    if (DGifGetImageDesc(input_) == GIF_ERROR) return GifIoFailure(input_->Error, in_name_);
    const GifImageDesc& image = input_->Image;
    if (static_cast<long long>(image.Width) * image.Height > kMaxGifImagePixels) {
      return GifImageTooLarge(in_name_, image.Width, image.Height);
    }
    const OutputRect r = ScaleRect(image, x_scale_, y_scale_, stored_width_, stored_height_);
    if (image.Width < 1 || image.Height < 1 || r.width < 1 || r.height < 1) {
      // Nothing of this image is left inside the new screen.
      if (!SkipImageData(input_)) return GifIoFailure(input_->Error, in_name_);
      return Status::OK();
    }
    if (orientation_ != Orientation::kNormal) {
      // The resized lines are gathered and the image is written once it is turned.
      if (static_cast<long long>(r.width) * r.height > kMaxGifImagePixels) {
        return GifImageTooLarge(in_name_, r.width, r.height);
      }
      resized_.reset(static_cast<GifPixelType*>(
          std::calloc(static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height), 1)));
      if (!resized_) return GifOutOfMemory(in_name_);
    } else {
      if (PutGifImageDesc(out_, r.left, r.top, r.width, r.height, false, image.ColorMap) ==
          GIF_ERROR) {
        return GifIoFailure(out_->Error, in_name_);
      }
      PrintGifImageProgress(++image_number_, r.left, r.top, r.width, r.height);
    }
    // Each image is read at its own width, which a damaged file may make wider than its
    // screen; the output line is as wide as the image's rectangle in the new screen.
    const int in_width = image.Width;
    const int in_height = image.Height;
    // The lines of an interlaced image come in four passes: it is read whole, so that its
    // lines can be taken from top to bottom like those of any other image.
    GifImageRows whole;
    if (image.Interlace) {
      Result<GifImageRows> rows = ReadGifImageRows(input_, in_name_);
      if (!rows.ok()) return rows.status();
      whole = std::move(rows).value();
    }
    std::vector<GifPixelType> in_line(whole ? 0 : static_cast<std::size_t>(in_width));
    std::vector<GifPixelType> out_line(static_cast<std::size_t>(r.width));
    const std::vector<int> columns = PickedPlaces(in_width, r.width, x_scale_);
    double y = 0.0;
    int last_y = -1;
    for (int line = 0; line < in_height; ++line) {
      const GifPixelType* source = in_line.data();
      if (whole) {
        source = whole.get() + static_cast<std::size_t>(line) * static_cast<std::size_t>(in_width);
      } else if (DGifGetLine(input_, in_line.data(), in_width) == GIF_ERROR) {
        return GifIoFailure(input_->Error, in_name_);
      }
      const int iy = static_cast<int>(y);
      if (last_y < iy) {
        for (int x = 0; x < r.width; ++x) out_line[x] = source[columns[x]];
        while (last_y < iy && last_y < r.height - 1) {
          Status written = PutLine(out_line, ++last_y);
          if (!written.ok()) return written;
        }
      }
      y += y_scale_;
    }
    while (last_y + 1 < r.height) {
      Status written = PutLine(out_line, ++last_y);
      if (!written.ok()) return written;
    }
    if (orientation_ != Orientation::kNormal) return PutTurnedImage(r, image.ColorMap);
    return Status::OK();
  }

  // Writes line `number` of the resized image, or keeps it for the turn.
  Status PutLine(std::vector<GifPixelType>& line, int number) {
    if (resized_) {
      std::copy(line.begin(), line.end(),
                resized_.get() + static_cast<std::size_t>(number) * line.size());
      return Status::OK();
    }
    if (EGifPutLine(out_, line.data(), static_cast<int>(line.size())) == GIF_ERROR) {
      return GifIoFailure(out_->Error, in_name_);
    }
    return Status::OK();
  }

  Status PutTurnedImage(const OutputRect& r, const ColorMapObject* color_map) {
    const ImageRect place =
        UprightRect(orientation_, {r.left, r.top, r.width, r.height}, stored_width_, stored_height_);
    const std::size_t pixels =
        static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height);
    const PixelBuffer turned(static_cast<GifPixelType*>(std::calloc(pixels, 1)));
    if (!turned) return GifOutOfMemory(in_name_);
    TurnPixels(orientation_, resized_.get(), r.width, r.height, turned.get());
    resized_.reset();
    if (PutGifImageDesc(out_, place.left, place.top, place.width, place.height, false, color_map) ==
        GIF_ERROR) {
      return GifIoFailure(out_->Error, in_name_);
    }
    PrintGifImageProgress(++image_number_, place.left, place.top, place.width, place.height);
    for (int y = 0; y < place.height; ++y) {
      GifPixelType* line = turned.get() + static_cast<std::size_t>(y) * place.width;
      if (EGifPutLine(out_, line, place.width) == GIF_ERROR) return GifIoFailure(out_->Error, in_name_);
    }
    return Status::OK();
  }

  GifFileType* input_;             // Owned by the caller.
  GifFileType* out_ = nullptr;  // Owned by the writer inside WriteTo.
  const int width_;
  const int height_;
  const Orientation orientation_;
  const int stored_width_;
  const int stored_height_;
  const double x_scale_;
  const double y_scale_;
  const fs::path& in_name_;
  int image_number_ = 0;
  PixelBuffer resized_;  // The image being resized, while it waits to be turned.
};

}  // namespace

Status ResizeGifToSize(int width, int height, const fs::path& in_file, const fs::path& out_file,
                       Orientation orientation, const BeforeReplace& before_replace) {
  if (width < 1 || height < 1 || width > kMaxGifDimension || height > kMaxGifDimension) {
    return Status::InvalidArgument("Cannot resize " + in_file.string() + " to " +
                                   std::to_string(width) + "x" + std::to_string(height));
  }
  Result<GifReadHandle> in = OpenGifForReading(in_file);
  if (!in.ok()) {
    ReportDetail(in.status().message());
    return in.status();
  }
  GifFileType* gif = in->get();
  if (gif->SWidth < 1 || gif->SHeight < 1) {
    return Status::Corrupt(in_file.string() + " has an empty logical screen");
  }
  GifResizer resizer(gif, width, height, orientation, in_file);
  return ReplaceFileSafely(
      out_file, [&](std::FILE* out) { return resizer.WriteTo(out); },
      // The check is the last step before the rename, so the caller's hook runs after it,
      // on the file that is about to replace the old one.
      [&](const fs::path& new_file) {
        Status checked = CheckGifScreenSize(new_file, width, height, out_file);
        if (!checked.ok() || !before_replace) return checked;
        return before_replace(new_file);
      },
      // Resized copies are inline images, made again whenever they are lost.
      TempFileBeside::Durability::kUnsynced);
}

Status GetGifSize(int* width, int* height, const fs::path& file) {
  *width = 0;
  *height = 0;
  Result<GifReadHandle> in = OpenGifForReading(file);
  if (!in.ok()) return in.status();
  *width = (*in)->SWidth;
  *height = (*in)->SHeight;
  return Status::OK();
}

Result<bool> IsGifInterlaced(const fs::path& file) {
  Result<GifReadHandle> in = OpenGifForReading(file);
  if (!in.ok()) return in.status();
  GifFileType* gif = in->get();
  const auto failure = [&] {
    const char* text = GifErrorText(gif->Error);
    return Status::Corrupt("Cannot read " + file.string() + ": " +
                           (text != nullptr ? text : "GIF-LIB error"));
  };
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  do {
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return failure();
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR) return failure();
      return gif->Image.Interlace;
    }
    if (type == EXTENSION_RECORD_TYPE && !SkipExtension(gif)) return failure();
  } while (type != TERMINATE_RECORD_TYPE);
  return false;
}

}  // namespace pix
