// Which way up a picture is stored, and turning pixels upright.
//
// Cameras store every photograph as the sensor saw it and note in the EXIF orientation tag
// how the stored pixels must be turned to show the scene upright: the tag's values 1 to 8
// name the four rotations and the four mirror images. A picture stored on its side
// (values 5 to 8) is shown with its width and height swapped.
//
// The stored picture itself is never changed; only the small inline GIF made from it is
// turned, by the GIF resizer once it has reduced the picture to its display size, so the
// turn costs a few thousand pixels whatever the size of the photograph.
#pragma once

#include <cstdint>

namespace pix {

/// How the stored pixels are turned to show the picture upright. The values are those of
/// the EXIF orientation tag.
enum class Orientation {
  kNormal = 1,            ///< Stored upright.
  kMirrorHorizontal = 2,  ///< Left and right swapped.
  kRotate180 = 3,         ///< Upside down.
  kMirrorVertical = 4,    ///< Top and bottom swapped.
  kTranspose = 5,         ///< Mirrored along the diagonal from the top-left corner.
  kRotate90 = 6,          ///< Shown upright after a quarter turn clockwise.
  kTransverse = 7,        ///< Mirrored along the diagonal from the top-right corner.
  kRotate270 = 8,         ///< Shown upright after a quarter turn counter-clockwise.
};

/// The orientation a tag value names; kNormal for any value outside 1 to 8, which no
/// camera writes and no viewer honours.
Orientation OrientationFromTag(long value);

/// True for the orientations that show the picture with width and height swapped (5 to 8).
bool SwapsSides(Orientation orientation);

/// A rectangle of an image, in pixels.
struct ImageRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

/// Where `stored`, a rectangle of a stored picture of `storedWidth` x `storedHeight`
/// pixels, lies in the picture turned upright.
ImageRect UprightRect(Orientation orientation, const ImageRect& stored, int stored_width,
                       int stored_height);

/// Writes to `upright` the `width` x `height` pixels of one byte each at `stored` (row by
/// row) turned upright: rows of height pixels, width of them, for the orientations that swap
/// sides. Both buffers hold width x height bytes and must not overlap.
void TurnPixels(Orientation orientation, const std::uint8_t* stored, int width, int height,
                std::uint8_t* upright);

/// TurnPixels for pixels of `bytesPerPixel` bytes each (3 for RGB).
void TurnPixelBlocks(Orientation orientation, const std::uint8_t* stored, int width, int height,
                     int bytes_per_pixel, std::uint8_t* upright);

}  // namespace pix
