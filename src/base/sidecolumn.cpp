#include "base/sidecolumn.h"

#include <algorithm>

#include "base/progress.h"

namespace pix {

namespace {

int Clamp(int value, int low, int high) { return std::max(low, std::min(value, high)); }

int GapFor(int buttonHeight) { return std::max(2, buttonHeight * 3 / 16); }

}  // namespace

TSideColumn LayoutSideColumn(int width, int height, const TSideColumnShape& shape) {
  TSideColumn column;
  const TSizeLimits& limits = shape.Button;
  const int den = std::max(1, shape.ButtonShareDenominator);
  const int buttonHeight = Clamp(MulDiv(height, shape.ButtonShareNumerator, den),
                                 limits.MinHeight, std::max(limits.MinHeight, limits.MaxHeight));
  const int buttonWidth =
      Clamp(width, limits.MinWidth, std::max(limits.MinWidth, limits.MaxWidth));
  const int gap = GapFor(buttonHeight);
  const int count = std::max(0, shape.ButtonCount);
  const int stack = count * buttonHeight + std::max(0, count - 1) * gap;

  const int side = std::max(0, std::min(width, height - stack - 4 * gap));
  column.Preview = TWindowRect{(width - side) / 2, gap, side, side};
  int top = gap + side + 2 * gap;
  for (int i = 0; i < count; ++i) {
    column.Buttons.push_back(TWindowRect{(width - buttonWidth) / 2, top, buttonWidth, buttonHeight});
    top += buttonHeight + gap;
  }
  return column;
}

TWindowRect MinimumSideColumn(const TSideColumnShape& shape) {
  const int buttonHeight = shape.Button.MinHeight;
  const int gap = GapFor(buttonHeight);
  const int count = std::max(0, shape.ButtonCount);
  const int stack = count * buttonHeight + std::max(0, count - 1) * gap;
  const int width = std::max(shape.Button.MinWidth, shape.MinPreviewSide);
  return TWindowRect{0, 0, width, stack + 4 * gap + shape.MinPreviewSide};
}

}  // namespace pix
