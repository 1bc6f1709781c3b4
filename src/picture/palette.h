// Reducing an RGB picture to at most 256 colours, for a GIF inline image.
//
// A picture of 256 colours or fewer keeps them exactly. Any other is cut by a variance
// median cut: the pixels are gathered in cells of 8 x 8 x 8 colour values, and the box of
// cells with the largest squared error is split, along the channel where that error is
// largest, at the level that leaves the two halves the smallest error, until there are as
// many boxes as colours allowed. Each box becomes the exact mean of its pixels, and each
// pixel takes the colour of its box. There is no dithering: the picture is reduced to its
// display size first, where dither noise would be a large share of each pixel.
//
// The work grows with the pixels and their cells: a 64 x 48 thumbnail, nearly a cell a
// pixel, costs about 0.15 ms on the 2-core development machine (tools/bench/palette_bench).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace pix {

/// A picture of palette indices, one byte a pixel, top line first.
struct IndexedPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> indices;
  std::vector<std::array<std::uint8_t, 3>> palette;  ///< 1 to 256 colours.
};

/// Reduces `width` x `height` RGB pixels (three bytes each, top line first) to a palette of
/// at most `max_colors` (2 to 256). A picture with no pixels gets an empty result.
IndexedPicture ReduceToPalette(const std::uint8_t* rgb, int width, int height,
                               int max_colors = 256);

}  // namespace pix
