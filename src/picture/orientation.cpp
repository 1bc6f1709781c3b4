#include "picture/orientation.h"

#include <cstddef>

namespace pix {
namespace {

struct TPixelPlace {
  int X = 0;
  int Y = 0;
};

// Where the upright picture's pixel (x, y) is found in the stored picture of `storedWidth`
// x `storedHeight` pixels.
TPixelPlace StoredPlaceOf(TOrientation orientation, int x, int y, int storedWidth,
                          int storedHeight) {
  const int right = storedWidth - 1;
  const int bottom = storedHeight - 1;
  switch (orientation) {
    case TOrientation::kNormal:
      return {x, y};
    case TOrientation::kMirrorHorizontal:
      return {right - x, y};
    case TOrientation::kRotate180:
      return {right - x, bottom - y};
    case TOrientation::kMirrorVertical:
      return {x, bottom - y};
    case TOrientation::kTranspose:
      return {y, x};
    case TOrientation::kRotate90:
      return {y, bottom - x};
    case TOrientation::kTransverse:
      return {right - y, bottom - x};
    case TOrientation::kRotate270:
      return {right - y, x};
  }
  return {x, y};
}

// A quarter turn one way is undone by a quarter turn the other way; every other
// orientation undoes itself.
TOrientation Inverse(TOrientation orientation) {
  if (orientation == TOrientation::kRotate90) return TOrientation::kRotate270;
  if (orientation == TOrientation::kRotate270) return TOrientation::kRotate90;
  return orientation;
}

}  // namespace

TOrientation OrientationFromTag(long value) {
  if (value < 1 || value > 8) return TOrientation::kNormal;
  return static_cast<TOrientation>(value);
}

bool SwapsSides(TOrientation orientation) {
  return static_cast<int>(orientation) >= static_cast<int>(TOrientation::kTranspose);
}

TImageRect UprightRect(TOrientation orientation, const TImageRect& stored, int storedWidth,
                       int storedHeight) {
  const bool swap = SwapsSides(orientation);
  const int uprightWidth = swap ? storedHeight : storedWidth;
  const int uprightHeight = swap ? storedWidth : storedHeight;
  // A stored pixel goes where the inverse turn, read from the upright side, finds it: the
  // rectangle lies between where its two opposite corners go.
  const TOrientation forward = Inverse(orientation);
  const TPixelPlace first =
      StoredPlaceOf(forward, stored.Left, stored.Top, uprightWidth, uprightHeight);
  const TPixelPlace last =
      StoredPlaceOf(forward, stored.Left + stored.Width - 1, stored.Top + stored.Height - 1,
                    uprightWidth, uprightHeight);
  TImageRect upright;
  upright.Left = first.X < last.X ? first.X : last.X;
  upright.Top = first.Y < last.Y ? first.Y : last.Y;
  upright.Width = swap ? stored.Height : stored.Width;
  upright.Height = swap ? stored.Width : stored.Height;
  return upright;
}

void TurnPixels(TOrientation orientation, const std::uint8_t* stored, int width, int height,
                std::uint8_t* upright) {
  const bool swap = SwapsSides(orientation);
  const int uprightWidth = swap ? height : width;
  const int uprightHeight = swap ? width : height;
  std::size_t next = 0;
  for (int y = 0; y < uprightHeight; ++y) {
    for (int x = 0; x < uprightWidth; ++x) {
      const TPixelPlace from = StoredPlaceOf(orientation, x, y, width, height);
      upright[next++] = stored[static_cast<std::size_t>(from.Y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(from.X)];
    }
  }
}

void TurnPixelBlocks(TOrientation orientation, const std::uint8_t* stored, int width, int height,
                     int bytesPerPixel, std::uint8_t* upright) {
  const bool swap = SwapsSides(orientation);
  const int uprightWidth = swap ? height : width;
  const int uprightHeight = swap ? width : height;
  const std::size_t size = static_cast<std::size_t>(bytesPerPixel);
  std::uint8_t* next = upright;
  for (int y = 0; y < uprightHeight; ++y) {
    for (int x = 0; x < uprightWidth; ++x) {
      const TPixelPlace from = StoredPlaceOf(orientation, x, y, width, height);
      const std::uint8_t* pixel =
          stored + (static_cast<std::size_t>(from.Y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(from.X)) * size;
      for (std::size_t b = 0; b < size; ++b) *next++ = pixel[b];
    }
  }
}

}  // namespace pix
