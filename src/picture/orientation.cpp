#include "picture/orientation.h"

#include <cstddef>

namespace pix {
namespace {

struct PixelPlace {
  int X = 0;
  int Y = 0;
};

// Where the upright picture's pixel (x, y) is found in the stored picture of `storedWidth`
// x `storedHeight` pixels.
PixelPlace StoredPlaceOf(Orientation orientation, int x, int y, int stored_width,
                          int stored_height) {
  const int right = stored_width - 1;
  const int bottom = stored_height - 1;
  switch (orientation) {
    case Orientation::kNormal:
      return {x, y};
    case Orientation::kMirrorHorizontal:
      return {right - x, y};
    case Orientation::kRotate180:
      return {right - x, bottom - y};
    case Orientation::kMirrorVertical:
      return {x, bottom - y};
    case Orientation::kTranspose:
      return {y, x};
    case Orientation::kRotate90:
      return {y, bottom - x};
    case Orientation::kTransverse:
      return {right - y, bottom - x};
    case Orientation::kRotate270:
      return {right - y, x};
  }
  return {x, y};
}

// A quarter turn one way is undone by a quarter turn the other way; every other
// orientation undoes itself.
Orientation Inverse(Orientation orientation) {
  if (orientation == Orientation::kRotate90) return Orientation::kRotate270;
  if (orientation == Orientation::kRotate270) return Orientation::kRotate90;
  return orientation;
}

}  // namespace

Orientation OrientationFromTag(long value) {
  if (value < 1 || value > 8) return Orientation::kNormal;
  return static_cast<Orientation>(value);
}

bool SwapsSides(Orientation orientation) {
  return static_cast<int>(orientation) >= static_cast<int>(Orientation::kTranspose);
}

ImageRect UprightRect(Orientation orientation, const ImageRect& stored, int stored_width,
                       int stored_height) {
  const bool swap = SwapsSides(orientation);
  const int upright_width = swap ? stored_height : stored_width;
  const int upright_height = swap ? stored_width : stored_height;
  // A stored pixel goes where the inverse turn, read from the upright side, finds it: the
  // rectangle lies between where its two opposite corners go.
  const Orientation forward = Inverse(orientation);
  const PixelPlace first =
      StoredPlaceOf(forward, stored.left, stored.top, upright_width, upright_height);
  const PixelPlace last =
      StoredPlaceOf(forward, stored.left + stored.width - 1, stored.top + stored.height - 1,
                    upright_width, upright_height);
  ImageRect upright;
  upright.left = first.X < last.X ? first.X : last.X;
  upright.top = first.Y < last.Y ? first.Y : last.Y;
  upright.width = swap ? stored.height : stored.width;
  upright.height = swap ? stored.width : stored.height;
  return upright;
}

void TurnPixels(Orientation orientation, const std::uint8_t* stored, int width, int height,
                std::uint8_t* upright) {
  const bool swap = SwapsSides(orientation);
  const int upright_width = swap ? height : width;
  const int upright_height = swap ? width : height;
  std::size_t next = 0;
  for (int y = 0; y < upright_height; ++y) {
    for (int x = 0; x < upright_width; ++x) {
      const PixelPlace from = StoredPlaceOf(orientation, x, y, width, height);
      upright[next++] = stored[static_cast<std::size_t>(from.Y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(from.X)];
    }
  }
}

void TurnPixelBlocks(Orientation orientation, const std::uint8_t* stored, int width, int height,
                     int bytes_per_pixel, std::uint8_t* upright) {
  const bool swap = SwapsSides(orientation);
  const int upright_width = swap ? height : width;
  const int upright_height = swap ? width : height;
  const std::size_t size = static_cast<std::size_t>(bytes_per_pixel);
  std::uint8_t* next = upright;
  for (int y = 0; y < upright_height; ++y) {
    for (int x = 0; x < upright_width; ++x) {
      const PixelPlace from = StoredPlaceOf(orientation, x, y, width, height);
      const std::uint8_t* pixel =
          stored + (static_cast<std::size_t>(from.Y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(from.X)) * size;
      for (std::size_t b = 0; b < size; ++b) *next++ = pixel[b];
    }
  }
}

}  // namespace pix
