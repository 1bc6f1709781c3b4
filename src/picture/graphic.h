// Picture display arithmetic: how large a picture may be to be shown, and where a picture
// goes in a window. The pictures themselves are read by the toolkit's image readers (GIF,
// JPEG, WebP) in the preview window; nothing here draws.
#pragma once

#include <array>
#include <cstdint>

namespace pix {

/// The most pixels a picture may have to be shown (width × height): 2^28, about 268
/// million, so that every real picture of up to 200 megapixels is shown while a tiny file
/// that claims 65535 × 65535 pixels is refused before anything is allocated.
inline constexpr std::int64_t kMaxRasterPicturePixels = std::int64_t{1} << 28;

/// True when a picture of `width` × `height` may be read for display.
bool MayShowPictureOfSize(int width, int height);

/// A rectangle in window pixels.
struct PixelRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PixelRect& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
};

/// Where a picture goes in a window's client area: the drawn rectangle at the top left
/// corner, and the parts of the client area outside it (to be filled white; the right
/// strip first, then the strip below the picture; empty ones are left out).
struct PictureFit {
  PixelRect picture;
  int white_area_count = 0;
  std::array<PixelRect, 2> white_areas{};
};

/// Fits a width × height picture into a clientWidth × clientHeight client area. A picture
/// that fits is drawn at its own size; a larger one is shrunk, keeping its proportions, so
/// that it fills the client area in the direction that limits it: with xr = clientWidth /
/// width and yr = clientHeight / height in single precision, cw × trunc(height × xr) when
/// xr < yr, else trunc(width × yr) × ch. A picture is never enlarged. Negative client
/// sizes count as 0, and an empty picture is drawn at 0 × 0.
PictureFit FitPictureToClient(int width, int height, int client_width, int client_height);

}  // namespace pix
