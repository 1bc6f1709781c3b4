// The column beside the layout window's inspector: a square preview at the top and a stack
// of equal buttons below it.
//
// The buttons keep their share of the window's height, as the dialog template gives it, but
// never less than their text needs nor more than a comfortable size; the preview takes the
// height that is left, as a square no wider than the column.
#pragma once

#include <climits>
#include <vector>

#include "base/sizer.h"

namespace pix {

/// The smallest and largest size of a control, in pixels.
struct SizeLimits {
  int min_width = 0;
  int min_height = 0;
  int max_width = INT_MAX;
  int max_height = INT_MAX;
};

/// Where the preview and each button go in a column of a given size.
struct SideColumn {
  DialogPixelRect preview;
  std::vector<DialogPixelRect> buttons;
};

/// The share of the column's height one button takes, and how many buttons there are.
struct SideColumnShape {
  int button_count = 0;
  int button_share_numerator = 16;  ///< A button's height in the template ...
  int button_share_denominator = 209;  ///< ... and the template's height.
  SizeLimits button;  ///< The limits of every button.
  int min_preview_side = 32;
};

/// Lays the column out in `width` × `height` pixels. A button's height is its share of
/// `height` within the limits; the gap between two buttons is 3/16 of that height (at least
/// 2 pixels), as between the template's buttons. A button is as wide as the column within
/// the limits, centred. The preview is a square below a gap at the top, as large as the
/// width and the height left above the buttons allow (two gaps between it and the
/// buttons, one below them), centred.
SideColumn LayoutSideColumn(int width, int height, const SideColumnShape& shape);

/// The smallest column in which every button gets its minimum size and the preview its
/// minimum side, both whole.
DialogPixelRect MinimumSideColumn(const SideColumnShape& shape);

}  // namespace pix
