// TRasterPicture: choosing the loader, preparing the colours for display, reading pixels
// back, and fitting a picture into a window.

#include "picture/graphic.h"

#include <algorithm>

#include "base/check.h"

namespace pix {

namespace {

// The text after the file name's last '.', or empty text when the name has none. Only
// the name counts: a '.' in a directory name ("my.pics/inline/photo") is no extension.
std::string ExtensionOf(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool IsGifExtension(const std::string& extension) {
  if (extension.size() != 3) return false;
  const char* gif = "gif";
  for (int i = 0; i < 3; ++i) {
    const char c = extension[static_cast<std::size_t>(i)];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != gif[i]) return false;
  }
  return true;
}

}  // namespace

const char* RasterStatusText(int status) {
  switch (status) {
    case kRasterLoaded:
      return "loaded";
    case kRasterCannotOpen:
      return "the file cannot be opened or read";
    case kRasterNoMemory:
      return "not enough memory for the bitmap";
    case kRasterCutShort:
      return "colour table, image descriptor or image data cut short";
    case kRasterEmptyImage:
      return "the image has no pixels";
    case kRasterCannotLock:
      return "the bitmap cannot be locked";
    case kRasterBadCode:
      return "an LZW code above the next free string table entry";
    case kRasterNoPreviousCode:
      return "an LZW code equal to the next free entry with no previous code";
    case kRasterBadCodeSize:
      return "an LZW minimum code size outside 2 to 8";
    case kRasterNotGif:
      return "not a GIF file";
    case kRasterNoImage:
      return "the file holds no image";
    case kRasterTooLarge:
      return "the image has too many pixels";
    case kRasterUnknownFormat:
      return "not a GIF file name";
    default:
      return "unknown picture status";
  }
}

TRasterPicture::TRasterPicture(const std::filesystem::path& path) : szFileName(path) {
  if (IsGifExtension(ExtensionOf(szFileName))) {
    LoadGif();
  } else {
    status = kRasterUnknownFormat;
  }
  if (status == kRasterLoaded) PrepareColors();
  if (status != kRasterLoaded) Bitmap.reset();
}

Status TRasterPicture::GetLoadStatus() const {
  if (status == kRasterLoaded) return Status::OK();
  std::string message = szFileName.string() + ": " + RasterStatusText(status);
  switch (status) {
    case kRasterCannotOpen:
      return Status::IoError(std::move(message));
    case kRasterNoMemory:
    case kRasterTooLarge:
      return Status::TooLarge(std::move(message));
    case kRasterUnknownFormat:
      return Status::InvalidArgument(std::move(message));
    default:
      return Status::Corrupt(std::move(message));
  }
}

void TRasterPicture::SetPictureSize(int width, int height, int bitCount) {
  PictureHeader = TBitmapInfoHeader{};
  PictureHeader.biWidth = width;
  PictureHeader.biHeight = height;
  PictureHeader.biBitCount = static_cast<std::uint16_t>(bitCount);
  // Rows of whole 32-bit words.
  Stride = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32 * 4;
}

// A picture whose image gives a colour table larger than two entries is shown in the eight
// dither colours; the others keep their palette. Then the display colour table is filled
// with as many entries as the bit count can address.
void TRasterPicture::PrepareColors() {
  if (ColorBits != 1) {
    status = ConvertToEightColors();
    if (status != kRasterLoaded) return;
  }
  DisplayInfo.bmiHeader = PictureHeader;
  DisplayInfo.bmiColors.fill(TRgbQuad{});
  const int entries = 1 << BitCount();
  for (int i = 0; i < entries; ++i) {
    const TPaletteColor& color = Palette[static_cast<std::size_t>(i)];
    DisplayInfo.bmiColors[static_cast<std::size_t>(i)] =
        TRgbQuad{color.Blue, color.Green, color.Red, 0};
  }
}

int TRasterPicture::PixelIndex(int x, int y) const {
  PIX_CHECK(Bitmap != nullptr);
  PIX_CHECK(x >= 0 && x < Width() && y >= 0 && y < Height());
  const std::uint8_t* row = Bitmap.get() + Stride * static_cast<std::size_t>(Height() - 1 - y);
  if (BitCount() == 8) return row[x];
  return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F;
}

TPaletteColor TRasterPicture::PixelColor(int x, int y) const {
  return Palette[static_cast<std::size_t>(PixelIndex(x, y))];
}

void TRasterPicture::CopyIndexLine(int y, std::uint8_t* out) const {
  PIX_CHECK(Bitmap != nullptr);
  PIX_CHECK(y >= 0 && y < Height());
  const std::uint8_t* row = Bitmap.get() + Stride * static_cast<std::size_t>(Height() - 1 - y);
  const int width = Width();
  if (BitCount() == 8) {
    std::copy(row, row + width, out);
    return;
  }
  for (int x = 0; x < width; ++x) {
    out[x] = static_cast<std::uint8_t>((row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F);
  }
}

TPictureFit FitPictureToClient(int width, int height, int clientWidth, int clientHeight) {
  const int cw = std::max(0, clientWidth);
  const int ch = std::max(0, clientHeight);
  TPictureFit fit;
  int drawnWidth = 0;
  int drawnHeight = 0;
  if (width > 0 && height > 0) {
    if (cw >= width && ch >= height) {
      drawnWidth = width;
      drawnHeight = height;
    } else {
      const float xr = static_cast<float>(cw) / static_cast<float>(width);
      const float yr = static_cast<float>(ch) / static_cast<float>(height);
      if (xr < yr) {
        drawnWidth = cw;
        drawnHeight = std::min(ch, static_cast<int>(static_cast<float>(height) * xr));
      } else {
        drawnWidth = std::min(cw, static_cast<int>(static_cast<float>(width) * yr));
        drawnHeight = ch;
      }
    }
  }
  fit.Picture = TPixelRect{0, 0, drawnWidth, drawnHeight};
  if (cw > drawnWidth && ch > 0) {
    fit.WhiteAreas[static_cast<std::size_t>(fit.WhiteAreaCount++)] =
        TPixelRect{drawnWidth, 0, cw - drawnWidth, ch};
  }
  if (ch > drawnHeight && drawnWidth > 0) {
    fit.WhiteAreas[static_cast<std::size_t>(fit.WhiteAreaCount++)] =
        TPixelRect{0, drawnHeight, drawnWidth, ch - drawnHeight};
  }
  return fit;
}

}  // namespace pix
