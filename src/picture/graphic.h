// Picture loading for display: the inline GIF image of a picture read into a bottom-up
// 8-bit bitmap with its palette, the 8-colour ordered-dither conversion of pictures with a
// large local colour table, and the arithmetic that fits a picture into a window.
//
// The GIF decoder here is the program's own, independent of giflib. It reads only the
// first image of a file, at that image's size, and skips every extension unread (so a
// transparent colour shows in its palette colour). Whatever a file holds, it never reads
// outside its buffers, never writes outside the bitmap (data past the last line are
// dropped) and always ends; a file that declares more pixels than kMaxRasterPicturePixels
// is refused before anything is allocated.
//
// Nothing here draws: the preview window turns the bitmap and its colour table into an
// image of its own toolkit and paints it at the size FitPictureToClient gives.
//
// TRasterPicture is implemented in three files: graphic.cpp, gifdecode.cpp (LoadGif and
// the LZW decoder) and dither.cpp (ConvertToEightColors).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "base/status.h"

namespace pix {

/// The loader's status codes. 0 means loaded; every other value is a reason to discard
/// the picture. The gaps (-5) are codes this loader never gives.
enum RasterStatus : std::int16_t {
  kRasterLoaded = 0,
  /// The file cannot be opened or read.
  kRasterCannotOpen = -1,
  /// No memory for the bitmap or the converted bitmap.
  kRasterNoMemory = -2,
  /// A colour table, the image descriptor or the image data are cut short, or an empty
  /// data sub-block comes before the end code.
  kRasterCutShort = -3,
  /// The image has no pixels: its width or its height is 0.
  kRasterEmptyImage = -4,
  /// The bitmap cannot be locked. The bitmap lives in ordinary memory that never moves,
  /// so this loader never gives it; the code is kept so that every value has a name.
  kRasterCannotLock = -6,
  /// An LZW code above the next free string table entry.
  kRasterBadCode = -7,
  /// An LZW code equal to the next free entry with no previous code.
  kRasterNoPreviousCode = -8,
  /// An LZW minimum code size outside 2 to 8.
  kRasterBadCodeSize = -9,
  /// Fewer than 13 header bytes, or no "GIF" signature.
  kRasterNotGif = -10,
  /// The file ends, or holds a zero byte where a block is expected, before any image.
  kRasterNoImage = -11,
  /// The image has more pixels than kMaxRasterPicturePixels.
  kRasterTooLarge = -12,
  /// The file name's extension is not GIF.
  kRasterUnknownFormat = -13,
};

/// The most pixels a picture may have (width × height of its first image): 2^28, about
/// 268 million, so that every real picture of up to 200 megapixels loads while a tiny file
/// that claims 65535 × 65535 pixels is refused.
inline constexpr std::int64_t kMaxRasterPicturePixels = std::int64_t{1} << 28;

/// A short English text for a status code ("loaded" for 0).
const char* RasterStatusText(int status);

/// The header that describes a bitmap, field for field as the device-independent bitmap
/// format has it. Height is positive: rows are stored bottom-up.
struct TBitmapInfoHeader {
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;  ///< 0: uncompressed (BI_RGB).
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};

/// One colour of a display colour table, in the bitmap format's order.
struct TRgbQuad {
  std::uint8_t rgbBlue = 0;
  std::uint8_t rgbGreen = 0;
  std::uint8_t rgbRed = 0;
  std::uint8_t rgbReserved = 0;
  bool operator==(const TRgbQuad& o) const {
    return rgbBlue == o.rgbBlue && rgbGreen == o.rgbGreen && rgbRed == o.rgbRed &&
           rgbReserved == o.rgbReserved;
  }
};

/// The header and colour table handed to whoever draws the bitmap.
struct TBitmapInfo {
  TBitmapInfoHeader bmiHeader;
  std::array<TRgbQuad, 256> bmiColors{};
};

/// A colour as the GIF file gives it.
struct TPaletteColor {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
  bool operator==(const TPaletteColor& o) const {
    return Red == o.Red && Green == o.Green && Blue == o.Blue;
  }
};

/// The ordered-dither matrix of the 8-colour conversion, indexed [y mod 8][x mod 8]. A
/// channel is on where its value exceeds 4 × the matrix entry.
extern const std::uint8_t kDitherMatrix[8][8];

/// The eight colours of a converted picture, by index: bit 0 red, bit 1 green, bit 2 blue.
extern const TPaletteColor kDitherColors[8];

/// Zero-filled bytes from calloc. Large blocks come from fresh zero pages, so a bitmap
/// that a short file never fills costs address space, not memory.
struct TFreeDeleter {
  void operator()(std::uint8_t* p) const { std::free(p); }
};
using TBitmapBytes = std::unique_ptr<std::uint8_t[], TFreeDeleter>;

/// A picture loaded for display. Construct it from a path and check GetStatus(): when it
/// is not kRasterLoaded the object holds no bitmap and should be discarded.
///
/// After a successful load the bitmap holds BitCount() bits per pixel: 8 (one palette
/// index per byte) when the image's colour-table size field is 0, else 4 (the picture was
/// converted to the eight dither colours, two pixels a byte, the left one in the high four
/// bits). Rows are RowStride() bytes, a multiple of 4, and the first row in memory is the
/// bottom line of the picture.
class TRasterPicture {
 public:
  /// Loads the file. The loader is picked by the file name's extension (the text after
  /// the name's last '.', without regard to case): "gif" selects the GIF loader, anything
  /// else gives kRasterUnknownFormat. A loaded picture's colours are prepared at once.
  explicit TRasterPicture(const std::filesystem::path& path);

  TRasterPicture(const TRasterPicture&) = delete;
  TRasterPicture& operator=(const TRasterPicture&) = delete;

  /// kRasterLoaded, or the negative code that says why the picture is not loaded.
  std::int16_t GetStatus() const { return status; }
  /// The status as a Status naming the file; OK when loaded.
  Status GetLoadStatus() const;

  const std::filesystem::path& FileName() const { return szFileName; }
  int Width() const { return PictureHeader.biWidth; }
  int Height() const { return PictureHeader.biHeight; }
  int BitCount() const { return PictureHeader.biBitCount; }
  int RowStride() const { return static_cast<int>(Stride); }
  /// (packed & 7) + 1 of the image descriptor, or 4 after the 8-colour conversion.
  int ColorTableBits() const { return ColorBits; }

  const TBitmapInfoHeader& GetPictureHeader() const { return PictureHeader; }
  /// The header and the colour table for drawing: 2^BitCount() entries are filled.
  const TBitmapInfo& GetDisplayInfo() const { return DisplayInfo; }
  /// The file's colours (the local table when the image has one, else the global one),
  /// zero where the file gives none; after the conversion the first eight entries are the
  /// dither colours.
  const std::array<TPaletteColor, 256>& GetPalette() const { return Palette; }
  /// The 13 bytes that open the file, and the image descriptor's 9 bytes.
  const std::array<std::uint8_t, 13>& GetGifHeader() const { return GifHeader; }
  const std::array<std::uint8_t, 9>& GetImageDescriptor() const { return ImageDescriptor; }

  /// The bitmap rows, RowStride() × Height() bytes, bottom line first; null unless loaded.
  const std::uint8_t* Bits() const { return Bitmap.get(); }
  std::size_t BitsSize() const { return Stride * static_cast<std::size_t>(Height()); }

  /// The palette index of the pixel at column x of picture line y (0 is the top line).
  /// Both must lie inside the loaded picture.
  int PixelIndex(int x, int y) const;
  /// The display colour of that pixel.
  TPaletteColor PixelColor(int x, int y) const;
  /// Writes the Width() palette indices of picture line y, one a byte, to `out`, whatever
  /// BitCount() is: the form an 8-bit indexed image of a toolkit takes.
  void CopyIndexLine(int y, std::uint8_t* out) const;

 private:
  friend class TGifDecoder;

  void SetPictureSize(int width, int height, int bitCount);
  void LoadGif();
  void PrepareColors();
  std::int16_t ConvertToEightColors();

  TBitmapInfoHeader PictureHeader;
  TBitmapInfo DisplayInfo;
  std::array<std::uint8_t, 13> GifHeader{};
  std::array<std::uint8_t, 9> ImageDescriptor{};
  int ColorBits = 0;
  std::size_t Stride = 0;
  std::filesystem::path szFileName;
  std::array<TPaletteColor, 256> Palette{};
  TBitmapBytes Bitmap;
  std::int16_t status = kRasterLoaded;
};

/// A rectangle in window pixels.
struct TPixelRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TPixelRect& o) const {
    return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height;
  }
};

/// Where a picture goes in a window's client area: the drawn rectangle at the top left
/// corner, and the parts of the client area outside it (to be filled white; the right
/// strip first, then the strip below the picture; empty ones are left out).
struct TPictureFit {
  TPixelRect Picture;
  int WhiteAreaCount = 0;
  std::array<TPixelRect, 2> WhiteAreas{};
};

/// Fits a width × height picture into a clientWidth × clientHeight client area. A picture
/// that fits is drawn at its own size; a larger one is shrunk, keeping its proportions, so
/// that it fills the client area in the direction that limits it: with xr = clientWidth /
/// width and yr = clientHeight / height in single precision, cw × trunc(height × xr) when
/// xr < yr, else trunc(width × yr) × ch. A picture is never enlarged. Negative client
/// sizes count as 0, and an empty picture is drawn at 0 × 0.
TPictureFit FitPictureToClient(int width, int height, int clientWidth, int clientHeight);

}  // namespace pix
