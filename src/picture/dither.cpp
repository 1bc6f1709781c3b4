// The 8-colour conversion of TRasterPicture: ordered dithering with an 8 × 8 matrix into a
// 4-bit bitmap whose first eight palette entries are the corners of the colour cube.

#include <cstdlib>

#include "picture/graphic.h"

namespace pix {

// A Bayer matrix: each value from 0 to 63 once, neighbours as far apart as possible, so
// that a flat colour becomes an even pattern (grey 128 is a checkerboard).
const std::uint8_t kDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

const TPaletteColor kDitherColors[8] = {
    {0, 0, 0},   {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

// Replaces the 8-bit bitmap by its 4-bit dithered form. On failure the 8-bit bitmap is
// left as it was.
std::int16_t TRasterPicture::ConvertToEightColors() {
  const int width = Width();
  const int height = Height();
  const std::size_t newStride = (static_cast<std::size_t>(width) + 7) / 8 * 4;
  TBitmapBytes converted(
      static_cast<std::uint8_t*>(std::calloc(newStride * static_cast<std::size_t>(height), 1)));
  if (!converted) return kRasterNoMemory;

  for (int y = 0; y < height; ++y) {
    // Picture line y is memory row height - 1 - y in both bitmaps.
    const std::size_t memoryRow = static_cast<std::size_t>(height - 1 - y);
    const std::uint8_t* source = Bitmap.get() + Stride * memoryRow;
    std::uint8_t* target = converted.get() + newStride * memoryRow;
    const std::uint8_t* matrixRow = kDitherMatrix[y % 8];
    for (int x = 0; x < width; ++x) {
      const TPaletteColor& color = Palette[source[x]];
      const int threshold = 4 * matrixRow[x % 8];
      const int index = (color.Red > threshold ? 1 : 0) | (color.Green > threshold ? 2 : 0) |
                        (color.Blue > threshold ? 4 : 0);
      if (x % 2 == 0) {
        target[x / 2] = static_cast<std::uint8_t>(index << 4);
      } else {
        target[x / 2] = static_cast<std::uint8_t>(target[x / 2] | index);
      }
    }
  }

  Bitmap = std::move(converted);
  SetPictureSize(width, height, 4);
  ColorBits = 4;
  for (int i = 0; i < 8; ++i) Palette[i] = kDitherColors[i];
  return kRasterLoaded;
}

}  // namespace pix
