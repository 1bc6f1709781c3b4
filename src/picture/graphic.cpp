#include "picture/graphic.h"

#include <algorithm>

namespace pix {

bool MayShowPictureOfSize(int width, int height) {
  return width > 0 && height > 0 &&
         static_cast<std::int64_t>(width) * height <= kMaxRasterPicturePixels;
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
