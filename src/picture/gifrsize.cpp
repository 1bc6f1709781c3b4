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

constexpr int kMaxGifDimension = 65535;

// Passes over the compressed data of the current image without decoding it.
bool SkipImageData(GifFileType* in) {
  int codeSize = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(in, &codeSize, &block) == GIF_ERROR) return false;
  while (block != nullptr) {
    if (DGifGetCodeNext(in, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Copies an extension with its code and its first data sub-block only; the other
// sub-blocks are read and dropped. An extension without data stays without data.
bool CopyFirstExtensionBlock(GifFileType* in, GifFileType* out) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(in, &code, &block) == GIF_ERROR) return false;
  if (EGifPutExtensionLeader(out, code) == GIF_ERROR) return false;
  if (block != nullptr && EGifPutExtensionBlock(out, block[0], block + 1) == GIF_ERROR) {
    return false;
  }
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

// Resamples `in` (N pixels) into `out` (M pixels): output pixel j takes input pixel k for
// the smallest k whose accumulated position has an integer part of at least j. The position
// is a running sum of `scale`, not k * scale, so inexact factors pick pixels by their sums.
void ResampleLine(const GifPixelType* in, int N, GifPixelType* out, int M, double scale) {
  double x = 0.0;
  int last = -1;
  for (int k = 0; k < N; ++k) {
    const int ix = static_cast<int>(x);
    while (last < ix && last < M - 1) out[++last] = in[k];
    x += scale;
  }
  while (last < M - 1) out[++last] = in[N - 1];
}

// The rectangle an image takes in the resized file, cut at the new screen's edge.
struct TOutputRect {
  int Left, Top, Width, Height;
};

TOutputRect ScaleRect(const GifImageDesc& image, double XScale, double YScale, int screenWidth,
                      int screenHeight) {
  TOutputRect r;
  r.Left = static_cast<int>(image.Left * XScale + 0.5);
  r.Width = static_cast<int>(image.Width * XScale + 0.5);
  r.Top = static_cast<int>(image.Top * YScale + 0.5);
  r.Height = static_cast<int>(image.Height * YScale + 0.5);
  // An image never shrinks to nothing: a file whose screen is far larger than its images in
  // one direction would otherwise lose all of them and show nothing.
  if (image.Width >= 1) r.Width = std::max(r.Width, 1);
  if (image.Height >= 1) r.Height = std::max(r.Height, 1);
  r.Left = std::max(r.Left, 0);
  r.Top = std::max(r.Top, 0);
  if (r.Left + r.Width > screenWidth) r.Width = screenWidth - r.Left;
  if (r.Top + r.Height > screenHeight) r.Height = screenHeight - r.Top;
  return r;
}

struct TFreeRows {
  void operator()(GifPixelType* rows) const { std::free(rows); }
};
using TPixelBuffer = std::unique_ptr<GifPixelType, TFreeRows>;

class TGifResizer {
 public:
  // The resized picture is `width` x `height` once turned by `orientation`; before, it has
  // the stored size, with the sides swapped by the orientations that swap them.
  TGifResizer(GifFileType* in, int width, int height, TOrientation orientation,
              const fs::path& inName)
      : In(in),
        Width(width),
        Height(height),
        Orientation(orientation),
        StoredWidth(SwapsSides(orientation) ? height : width),
        StoredHeight(SwapsSides(orientation) ? width : height),
        XScale(static_cast<double>(StoredWidth) / in->SWidth),
        YScale(static_cast<double>(StoredHeight) / in->SHeight),
        InName(inName) {}

  Status WriteTo(std::FILE* file) {
    Result<TGifWriter> writer = TGifWriter::Open(file);
    if (!writer.ok()) return writer.status();
    Out = writer->Gif();
    if (EGifPutScreenDesc(Out, Width, Height, In->SColorResolution, In->SBackGroundColor,
                          In->SColorMap) == GIF_ERROR) {
      return GifIoFailure(Out->Error, InName);
    }
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    do {
      if (DGifGetRecordType(In, &type) == GIF_ERROR) return GifIoFailure(In->Error, InName);
      if (type == IMAGE_DESC_RECORD_TYPE) {
        Status image = ResizeImage();
        if (!image.ok()) return image;
      } else if (type == EXTENSION_RECORD_TYPE) {
        if (!CopyFirstExtensionBlock(In, Out)) return GifIoFailure(LastError(), InName);
      }
    } while (type != TERMINATE_RECORD_TYPE);
    if (ImageNumber == 0) {
      // Nothing could show such a file; it is no inline image.
      return Status::Corrupt(InName.string() + " has no image inside its logical screen");
    }
    return writer->Close();
  }

 private:
  int LastError() const { return In->Error != 0 ? In->Error : Out->Error; }

  Status ResizeImage() {
    if (DGifGetImageDesc(In) == GIF_ERROR) return GifIoFailure(In->Error, InName);
    const GifImageDesc& image = In->Image;
    if (static_cast<long long>(image.Width) * image.Height > kMaxGifImagePixels) {
      return GifImageTooLarge(InName, image.Width, image.Height);
    }
    const TOutputRect r = ScaleRect(image, XScale, YScale, StoredWidth, StoredHeight);
    if (image.Width < 1 || image.Height < 1 || r.Width < 1 || r.Height < 1) {
      // Nothing of this image is left inside the new screen.
      if (!SkipImageData(In)) return GifIoFailure(In->Error, InName);
      return Status::OK();
    }
    if (Orientation != TOrientation::kNormal) {
      // The resized lines are gathered and the image is written once it is turned.
      if (static_cast<long long>(r.Width) * r.Height > kMaxGifImagePixels) {
        return GifImageTooLarge(InName, r.Width, r.Height);
      }
      Resized.reset(static_cast<GifPixelType*>(
          std::calloc(static_cast<std::size_t>(r.Width) * static_cast<std::size_t>(r.Height), 1)));
      if (!Resized) return GifOutOfMemory(InName);
    } else {
      if (PutGifImageDesc(Out, r.Left, r.Top, r.Width, r.Height, false, image.ColorMap) ==
          GIF_ERROR) {
        return GifIoFailure(Out->Error, InName);
      }
      PrintGifImageProgress(++ImageNumber, r.Left, r.Top, r.Width, r.Height);
    }
    // Each image is read at its own width, which a damaged file may make wider than its
    // screen; the output line is as wide as the image's rectangle in the new screen.
    const int inWidth = image.Width;
    const int inHeight = image.Height;
    // The lines of an interlaced image come in four passes: it is read whole, so that its
    // lines can be taken from top to bottom like those of any other image.
    TGifImageRows whole;
    if (image.Interlace) {
      Result<TGifImageRows> rows = ReadGifImageRows(In, InName);
      if (!rows.ok()) return rows.status();
      whole = std::move(rows).value();
    }
    std::vector<GifPixelType> inLine(whole ? 0 : static_cast<std::size_t>(inWidth));
    std::vector<GifPixelType> outLine(static_cast<std::size_t>(r.Width));
    double y = 0.0;
    int lastY = -1;
    for (int line = 0; line < inHeight; ++line) {
      const GifPixelType* source = inLine.data();
      if (whole) {
        source = whole.get() + static_cast<std::size_t>(line) * static_cast<std::size_t>(inWidth);
      } else if (DGifGetLine(In, inLine.data(), inWidth) == GIF_ERROR) {
        return GifIoFailure(In->Error, InName);
      }
      const int iy = static_cast<int>(y);
      if (lastY < iy) {
        ResampleLine(source, inWidth, outLine.data(), r.Width, XScale);
        while (lastY < iy && lastY < r.Height - 1) {
          Status written = PutLine(outLine, ++lastY);
          if (!written.ok()) return written;
        }
      }
      y += YScale;
    }
    while (lastY + 1 < r.Height) {
      Status written = PutLine(outLine, ++lastY);
      if (!written.ok()) return written;
    }
    if (Orientation != TOrientation::kNormal) return PutTurnedImage(r, image.ColorMap);
    return Status::OK();
  }

  // Writes line `number` of the resized image, or keeps it for the turn.
  Status PutLine(std::vector<GifPixelType>& line, int number) {
    if (Resized) {
      std::copy(line.begin(), line.end(),
                Resized.get() + static_cast<std::size_t>(number) * line.size());
      return Status::OK();
    }
    if (EGifPutLine(Out, line.data(), static_cast<int>(line.size())) == GIF_ERROR) {
      return GifIoFailure(Out->Error, InName);
    }
    return Status::OK();
  }

  Status PutTurnedImage(const TOutputRect& r, const ColorMapObject* colorMap) {
    const TImageRect place =
        UprightRect(Orientation, {r.Left, r.Top, r.Width, r.Height}, StoredWidth, StoredHeight);
    const std::size_t pixels =
        static_cast<std::size_t>(r.Width) * static_cast<std::size_t>(r.Height);
    const TPixelBuffer turned(static_cast<GifPixelType*>(std::calloc(pixels, 1)));
    if (!turned) return GifOutOfMemory(InName);
    TurnPixels(Orientation, Resized.get(), r.Width, r.Height, turned.get());
    Resized.reset();
    if (PutGifImageDesc(Out, place.Left, place.Top, place.Width, place.Height, false, colorMap) ==
        GIF_ERROR) {
      return GifIoFailure(Out->Error, InName);
    }
    PrintGifImageProgress(++ImageNumber, place.Left, place.Top, place.Width, place.Height);
    for (int y = 0; y < place.Height; ++y) {
      GifPixelType* line = turned.get() + static_cast<std::size_t>(y) * place.Width;
      if (EGifPutLine(Out, line, place.Width) == GIF_ERROR) return GifIoFailure(Out->Error, InName);
    }
    return Status::OK();
  }

  GifFileType* In;             // Owned by the caller.
  GifFileType* Out = nullptr;  // Owned by the writer inside WriteTo.
  const int Width;
  const int Height;
  const TOrientation Orientation;
  const int StoredWidth;
  const int StoredHeight;
  const double XScale;
  const double YScale;
  const fs::path& InName;
  int ImageNumber = 0;
  TPixelBuffer Resized;  // The image being resized, while it waits to be turned.
};

// Accepts a new GIF file only when it reads back with the expected screen size.
Status CheckScreenSize(const fs::path& newFile, int width, int height, const fs::path& target) {
  int gotWidth = 0;
  int gotHeight = 0;
  Status read = GetGifSize(&gotWidth, &gotHeight, newFile);
  if (!read.ok() || gotWidth != width || gotHeight != height) {
    return Status::Corrupt("The new version of " + target.string() +
                           " does not read back as a GIF file of the right size");
  }
  return Status::OK();
}

}  // namespace

Status ResizeGifToSize(int Width, int Height, const fs::path& szInFile, const fs::path& szOutFile,
                       TOrientation Orientation, const BeforeReplace& beforeReplace) {
  if (Width < 1 || Height < 1 || Width > kMaxGifDimension || Height > kMaxGifDimension) {
    return Status::InvalidArgument("Cannot resize " + szInFile.string() + " to " +
                                   std::to_string(Width) + "x" + std::to_string(Height));
  }
  Result<TGifReadHandle> in = OpenGifForReading(szInFile);
  if (!in.ok()) {
    ReportDetail(in.status().message());
    return in.status();
  }
  GifFileType* gif = in->get();
  if (gif->SWidth < 1 || gif->SHeight < 1) {
    return Status::Corrupt(szInFile.string() + " has an empty logical screen");
  }
  TGifResizer resizer(gif, Width, Height, Orientation, szInFile);
  return ReplaceFileSafely(
      szOutFile, [&](std::FILE* out) { return resizer.WriteTo(out); },
      // The check is the last step before the rename, so the caller's hook runs after it,
      // on the file that is about to replace the old one.
      [&](const fs::path& newFile) {
        Status checked = CheckScreenSize(newFile, Width, Height, szOutFile);
        if (!checked.ok() || !beforeReplace) return checked;
        return beforeReplace(newFile);
      },
      // Resized copies are inline images, made again whenever they are lost.
      TempFileBeside::Durability::kUnsynced);
}

Status GetGifSize(int* Width, int* Height, const fs::path& szFile) {
  *Width = 0;
  *Height = 0;
  Result<TGifReadHandle> in = OpenGifForReading(szFile);
  if (!in.ok()) return in.status();
  *Width = (*in)->SWidth;
  *Height = (*in)->SHeight;
  return Status::OK();
}

Result<bool> IsGifInterlaced(const fs::path& szFile) {
  Result<TGifReadHandle> in = OpenGifForReading(szFile);
  if (!in.ok()) return in.status();
  GifFileType* gif = in->get();
  const auto failure = [&] {
    const char* text = GifErrorText(gif->Error);
    return Status::Corrupt("Cannot read " + szFile.string() + ": " +
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
