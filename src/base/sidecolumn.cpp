#include "base/sidecolumn.h"

#include <algorithm>

#include "base/progress.h"

namespace pix {

namespace {

int Clamp(int value, int low, int high) { return std::max(low, std::min(value, high)); }

int GapFor(int button_height) { return std::max(2, button_height * 3 / 16); }

}  // namespace

SideColumn LayoutSideColumn(int width, int height, const SideColumnShape& shape) {
  SideColumn column;
  const SizeLimits& limits = shape.button;
  const int den = std::max(1, shape.button_share_denominator);
  const int button_height = Clamp(MulDiv(height, shape.button_share_numerator, den),
                                 limits.min_height, std::max(limits.min_height, limits.max_height));
  const int button_width =
      Clamp(width, limits.min_width, std::max(limits.min_width, limits.max_width));
  const int gap = GapFor(button_height);
  const int count = std::max(0, shape.button_count);
  const int stack = count * button_height + std::max(0, count - 1) * gap;

  const int side = std::max(0, std::min(width, height - stack - 4 * gap));
  column.preview = DialogPixelRect{(width - side) / 2, gap, side, side};
  int top = gap + side + 2 * gap;
  for (int i = 0; i < count; ++i) {
    column.buttons.push_back(DialogPixelRect{(width - button_width) / 2, top, button_width, button_height});
    top += button_height + gap;
  }
  return column;
}

DialogPixelRect MinimumSideColumn(const SideColumnShape& shape) {
  const int button_height = shape.button.min_height;
  const int gap = GapFor(button_height);
  const int count = std::max(0, shape.button_count);
  const int stack = count * button_height + std::max(0, count - 1) * gap;
  const int width = std::max(shape.button.min_width, shape.min_preview_side);
  return DialogPixelRect{0, 0, width, stack + 4 * gap + shape.min_preview_side};
}

}  // namespace pix
