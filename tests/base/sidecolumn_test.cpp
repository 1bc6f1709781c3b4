// The column beside the inspector: buttons that keep their share of the height within
// their limits, and a square preview in what is left.
#include "base/sidecolumn.h"

#include <gtest/gtest.h>

namespace pix::test {
namespace {

// Five buttons, 16 of 209 units high in the template; text needs 90 × 28 pixels.
SideColumnShape FiveButtons() {
  SideColumnShape shape;
  shape.button_count = 5;
  shape.button = SizeLimits{90, 28, 160, 42};
  return shape;
}

TEST(SideColumnTest, ButtonsKeepTheirShareWithinTheirLimits) {
  // 627 pixels high: a share of 48 pixels, more than the largest button of 42.
  SideColumn tall = LayoutSideColumn(200, 627, FiveButtons());
  ASSERT_EQ(tall.buttons.size(), 5u);
  EXPECT_EQ(tall.buttons[0], (DialogPixelRect{20, tall.buttons[0].top, 160, 42}));
  // 418 pixels high: the share of 32 pixels is used as it is.
  SideColumn middle = LayoutSideColumn(120, 418, FiveButtons());
  EXPECT_EQ(middle.buttons[0].height, 32);
  EXPECT_EQ(middle.buttons[0].width, 120);
  // 209 pixels: a share of 16 is less than the text needs; the button keeps 28.
  SideColumn small = LayoutSideColumn(60, 209, FiveButtons());
  EXPECT_EQ(small.buttons[0].height, 28);
  EXPECT_EQ(small.buttons[0].width, 90);
  // Buttons follow each other with a gap of 3/16 of their height and never overlap.
  for (const SideColumn& column : {tall, middle, small}) {
    for (std::size_t i = 1; i < column.buttons.size(); ++i) {
      const DialogPixelRect& above = column.buttons[i - 1];
      EXPECT_EQ(column.buttons[i].top, above.top + above.height + std::max(2, above.height * 3 / 16));
    }
  }
}

TEST(SideColumnTest, PreviewIsTheSquareThatFitsAboveTheButtons) {
  // Wide and tall: the preview is as wide as the column.
  SideColumn tall = LayoutSideColumn(200, 900, FiveButtons());
  EXPECT_EQ(tall.preview.width, 200);
  EXPECT_EQ(tall.preview.height, 200);
  EXPECT_EQ(tall.buttons[0].top, tall.preview.top + 200 + 2 * tall.preview.top);
  // Short: the preview shrinks to what the buttons leave, and is centred.
  SideColumn short_column = LayoutSideColumn(200, 300, FiveButtons());
  const DialogPixelRect& last = short_column.buttons.back();
  EXPECT_LE(last.top + last.height, 300);
  EXPECT_LT(short_column.preview.width, 200);
  EXPECT_EQ(short_column.preview.left, (200 - short_column.preview.width) / 2);
}

TEST(SideColumnTest, MinimumColumnShowsEveryButtonWhole) {
  const SideColumnShape shape = FiveButtons();
  const DialogPixelRect minimum = MinimumSideColumn(shape);
  EXPECT_EQ(minimum.width, 90);
  const SideColumn column = LayoutSideColumn(minimum.width, minimum.height, shape);
  EXPECT_EQ(column.preview.width, shape.min_preview_side);
  const DialogPixelRect& last = column.buttons.back();
  EXPECT_LE(last.top + last.height, minimum.height);
  for (const DialogPixelRect& button : column.buttons) {
    EXPECT_EQ(button.width, 90);
    EXPECT_EQ(button.height, 28);
  }
}

}  // namespace
}  // namespace pix::test
