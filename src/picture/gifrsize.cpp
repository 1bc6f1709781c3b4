#include "picture/gifrsize.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/safereplace.h"
#include "picture/gifio.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

constexpr const char* kProgressLabel = "GifRSize";
constexpr int kMaxGifDimension = 65535;

// The de-interlacer numbers its images across the whole run of the program.
std::atomic<int> gDeinterlacedImageCount{0};

void PrintImageProgress(int number, int left, int top, int width, int height) {
  ReportDetail(std::string(kProgressLabel) + ": Image " + std::to_string(number) + " at (" +
               std::to_string(left) + ", " + std::to_string(top) + ") [" + std::to_string(width) +
               "x" + std::to_string(height) + "]");
}

// A read or write error of giflib: its own text, then the system's line for it.
Status GifIoFailure(int code, const fs::path& path) {
  PrintGifError(code);
  ReportDetail("Fatal GIF I/O Problem.  Please report to author.");
  const char* text = GifErrorText(code);
  return Status::Corrupt("Fatal GIF I/O Problem.  Please report to author. (" + path.string() +
                         ": " + (text != nullptr ? text : "GIF-LIB error") + ")");
}

Status OutOfMemory(const fs::path& path) {
  ReportDetail(std::string(kProgressLabel) + ": Failed to allocate memory required, aborted.");
  return Status::TooLarge("Failed to allocate memory required, aborted. (" + path.string() + ")");
}

// An image whose descriptor claims more pixels than any real picture has.
Status ImageTooLarge(const fs::path& path, const GifImageDesc& image) {
  const std::string message = path.string() + ": an image of " + std::to_string(image.Width) + "x" +
                              std::to_string(image.Height) + " pixels is larger than the " +
                              std::to_string(kMaxGifImagePixels) + " pixels a picture may have";
  ReportDetail(std::string(kProgressLabel) + ": " + message);
  return Status::TooLarge(message);
}

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

class TGifResizer {
 public:
  TGifResizer(GifFileType* in, int width, int height, const fs::path& inName)
      : In(in),
        Width(width),
        Height(height),
        XScale(static_cast<double>(width) / in->SWidth),
        YScale(static_cast<double>(height) / in->SHeight),
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
    if (image.Interlace) {
      ReportDetail("Can't read inerlaced images.  Sorry");
      return Status::InvalidArgument("Can't read inerlaced images.  Sorry (" + InName.string() +
                                     ")");
    }
    if (static_cast<long long>(image.Width) * image.Height > kMaxGifImagePixels) {
      return ImageTooLarge(InName, image);
    }
    const TOutputRect r = ScaleRect(image, XScale, YScale, Width, Height);
    if (image.Width < 1 || image.Height < 1 || r.Width < 1 || r.Height < 1) {
      // Nothing of this image is left inside the new screen.
      if (!SkipImageData(In)) return GifIoFailure(In->Error, InName);
      return Status::OK();
    }
    if (PutGifImageDesc(Out, r.Left, r.Top, r.Width, r.Height, false, image.ColorMap) ==
        GIF_ERROR) {
      return GifIoFailure(Out->Error, InName);
    }
    PrintImageProgress(++ImageNumber, r.Left, r.Top, r.Width, r.Height);
    // Each image is read at its own width, which a damaged file may make wider than its
    // screen; the output line is as wide as the image's rectangle in the new screen.
    const int inWidth = image.Width;
    const int inHeight = image.Height;
    std::vector<GifPixelType> inLine(static_cast<std::size_t>(inWidth));
    std::vector<GifPixelType> outLine(static_cast<std::size_t>(r.Width));
    double y = 0.0;
    int lastY = -1;
    for (int line = 0; line < inHeight; ++line) {
      if (DGifGetLine(In, inLine.data(), inWidth) == GIF_ERROR) {
        return GifIoFailure(In->Error, InName);
      }
      const int iy = static_cast<int>(y);
      if (lastY < iy) {
        ResampleLine(inLine.data(), inWidth, outLine.data(), r.Width, XScale);
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
    return Status::OK();
  }

  Status PutLine(std::vector<GifPixelType>& line, int /*number*/) {
    if (EGifPutLine(Out, line.data(), static_cast<int>(line.size())) == GIF_ERROR) {
      return GifIoFailure(Out->Error, InName);
    }
    return Status::OK();
  }

  GifFileType* In;             // Owned by the caller.
  GifFileType* Out = nullptr;  // Owned by the writer inside WriteTo.
  const int Width;
  const int Height;
  const double XScale;
  const double YScale;
  const fs::path& InName;
  int ImageNumber = 0;
};

struct TFreeRows {
  void operator()(GifPixelType* rows) const { std::free(rows); }
};

Status DeinterlaceImage(GifFileType* in, GifFileType* out, const fs::path& inName) {
  if (DGifGetImageDesc(in) == GIF_ERROR) return GifIoFailure(in->Error, inName);
  const GifImageDesc image = in->Image;
  if (image.Width < 1 || image.Height < 1) {
    // An image without pixels cannot be written; it showed nothing anyway.
    if (!SkipImageData(in)) return GifIoFailure(in->Error, inName);
    return Status::OK();
  }
  const long long pixels = static_cast<long long>(image.Width) * image.Height;
  if (pixels > kMaxGifImagePixels) return ImageTooLarge(inName, image);
  if (PutGifImageDesc(out, image.Left, image.Top, image.Width, image.Height, false,
                       image.ColorMap) == GIF_ERROR) {
    return GifIoFailure(out->Error, inName);
  }
  const std::size_t width = static_cast<std::size_t>(image.Width);
  // Zero pages from calloc: a damaged file whose data end early costs address space for
  // the lines it never fills, not memory.
  const std::unique_ptr<GifPixelType, TFreeRows> rows(
      static_cast<GifPixelType*>(std::calloc(static_cast<std::size_t>(pixels), 1)));
  if (!rows) return OutOfMemory(inName);
  const auto row = [&](int y) { return rows.get() + static_cast<std::size_t>(y) * width; };
  if (image.Interlace) {
    // The four interlace passes: every 8th row from 0, every 8th from 4, every 4th from 2,
    // every 2nd from 1.
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = kStart[pass]; y < image.Height; y += kStep[pass]) {
        if (DGifGetLine(in, row(y), image.Width) == GIF_ERROR) {
          return GifIoFailure(in->Error, inName);
        }
      }
    }
  } else {
    for (int y = 0; y < image.Height; ++y) {
      if (DGifGetLine(in, row(y), image.Width) == GIF_ERROR) {
        return GifIoFailure(in->Error, inName);
      }
    }
  }
  PrintImageProgress(++gDeinterlacedImageCount, image.Left, image.Top, image.Width, image.Height);
  for (int y = 0; y < image.Height; ++y) {
    if (EGifPutLine(out, row(y), image.Width) == GIF_ERROR) {
      return GifIoFailure(out->Error, inName);
    }
  }
  return Status::OK();
}

Status DeinterlaceStream(GifFileType* in, std::FILE* file, const fs::path& inName) {
  Result<TGifWriter> writer = TGifWriter::Open(file);
  if (!writer.ok()) return writer.status();
  GifFileType* out = writer->Gif();
  if (EGifPutScreenDesc(out, in->SWidth, in->SHeight, in->SColorResolution, in->SBackGroundColor,
                        in->SColorMap) == GIF_ERROR) {
    return GifIoFailure(out->Error, inName);
  }
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  do {
    if (DGifGetRecordType(in, &type) == GIF_ERROR) return GifIoFailure(in->Error, inName);
    if (type == IMAGE_DESC_RECORD_TYPE) {
      Status image = DeinterlaceImage(in, out, inName);
      if (!image.ok()) return image;
    } else if (type == EXTENSION_RECORD_TYPE) {
      if (!CopyFirstExtensionBlock(in, out)) {
        return GifIoFailure(in->Error != 0 ? in->Error : out->Error, inName);
      }
    }
  } while (type != TERMINATE_RECORD_TYPE);
  return writer->Close();
}

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

Status ResizeGifToSize(int Width, int Height, const fs::path& szInFile, const fs::path& szOutFile) {
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
  TGifResizer resizer(gif, Width, Height, szInFile);
  return ReplaceFileSafely(
      szOutFile, [&](std::FILE* out) { return resizer.WriteTo(out); },
      [&](const fs::path& newFile) { return CheckScreenSize(newFile, Width, Height, szOutFile); },
      // Resized copies are inline images, made again whenever they are lost.
      TTempFileBeside::Durability::kUnsynced);
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

Status DeinterlaceGif(const fs::path& szInFile, const fs::path& szOutFile) {
  Result<TGifReadHandle> in = OpenGifForReading(szInFile);
  if (!in.ok()) {
    ReportDetail(in.status().message());
    return in.status();
  }
  GifFileType* gif = in->get();
  const int width = gif->SWidth;
  const int height = gif->SHeight;
  return ReplaceFileSafely(
      szOutFile, [&](std::FILE* out) { return DeinterlaceStream(gif, out, szInFile); },
      [&](const fs::path& newFile) -> Status {
        Status size = CheckScreenSize(newFile, width, height, szOutFile);
        if (!size.ok()) return size;
        Result<bool> interlaced = IsGifInterlaced(newFile);
        if (!interlaced.ok() || *interlaced) {
          return Status::Corrupt("The de-interlaced copy of " + szInFile.string() +
                                 " does not read back as a non-interlaced GIF file");
        }
        return Status::OK();
      });
}

Status DeinterlaceGifInPlace(const fs::path& path) { return DeinterlaceGif(path, path); }

}  // namespace pix
