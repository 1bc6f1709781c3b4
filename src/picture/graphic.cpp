#include "picture/graphic.h"

#include <algorithm>

namespace pix {

bool MayShowPictureOfSize(int width, int height) {
  return width > 0 && height > 0 &&
         static_cast<std::int64_t>(width) * height <= kMaxRasterPicturePixels;
}

PictureFit FitPictureToClient(int width, int height, int client_width, int client_height) {
  const int cw = std::max(0, client_width);
  const int ch = std::max(0, client_height);
  PictureFit fit;
  int drawn_width = 0;
  int drawn_height = 0;
  if (width > 0 && height > 0) {
    if (cw >= width && ch >= height) {
      drawn_width = width;
      drawn_height = height;
    } else {
      const float xr = static_cast<float>(cw) / static_cast<float>(width);
      const float yr = static_cast<float>(ch) / static_cast<float>(height);
      if (xr < yr) {
        drawn_width = cw;
        drawn_height = std::min(ch, static_cast<int>(static_cast<float>(height) * xr));
      } else {
        drawn_width = std::min(cw, static_cast<int>(static_cast<float>(width) * yr));
        drawn_height = ch;
      }
    }
  }
  fit.picture = PixelRect{0, 0, drawn_width, drawn_height};
  if (cw > drawn_width && ch > 0) {
    fit.white_areas[static_cast<std::size_t>(fit.white_area_count++)] =
        PixelRect{drawn_width, 0, cw - drawn_width, ch};
  }
  if (ch > drawn_height && drawn_width > 0) {
    fit.white_areas[static_cast<std::size_t>(fit.white_area_count++)] =
        PixelRect{0, drawn_height, drawn_width, ch - drawn_height};
  }
  return fit;
}

}  // namespace pix
