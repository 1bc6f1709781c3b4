// The column beside the inspector: buttons that keep their share of the height within
// their limits, and a square preview in what is left.
#include "base/sidecolumn.h"

#include <gtest/gtest.h>

namespace pix::test {
namespace {

// Five buttons, 16 of 209 units high in the template; text needs 90 × 28 pixels.
TSideColumnShape FiveButtons() {
  TSideColumnShape shape;
  shape.ButtonCount = 5;
  shape.Button = TSizeLimits{90, 28, 160, 42};
  return shape;
}

TEST(SideColumnTest, ButtonsKeepTheirShareWithinTheirLimits) {
  // 627 pixels high: a share of 48 pixels, more than the largest button of 42.
  TSideColumn tall = LayoutSideColumn(200, 627, FiveButtons());
  ASSERT_EQ(tall.Buttons.size(), 5u);
  EXPECT_EQ(tall.Buttons[0], (TWindowRect{20, tall.Buttons[0].Top, 160, 42}));
  // 418 pixels high: the share of 32 pixels is used as it is.
  TSideColumn middle = LayoutSideColumn(120, 418, FiveButtons());
  EXPECT_EQ(middle.Buttons[0].Height, 32);
  EXPECT_EQ(middle.Buttons[0].Width, 120);
  // 209 pixels: a share of 16 is less than the text needs; the button keeps 28.
  TSideColumn small = LayoutSideColumn(60, 209, FiveButtons());
  EXPECT_EQ(small.Buttons[0].Height, 28);
  EXPECT_EQ(small.Buttons[0].Width, 90);
  // Buttons follow each other with a gap of 3/16 of their height and never overlap.
  for (const TSideColumn& column : {tall, middle, small}) {
    for (std::size_t i = 1; i < column.Buttons.size(); ++i) {
      const TWindowRect& above = column.Buttons[i - 1];
      EXPECT_EQ(column.Buttons[i].Top, above.Top + above.Height + std::max(2, above.Height * 3 / 16));
    }
  }
}

TEST(SideColumnTest, PreviewIsTheSquareThatFitsAboveTheButtons) {
  // Wide and tall: the preview is as wide as the column.
  TSideColumn tall = LayoutSideColumn(200, 900, FiveButtons());
  EXPECT_EQ(tall.Preview.Width, 200);
  EXPECT_EQ(tall.Preview.Height, 200);
  EXPECT_EQ(tall.Buttons[0].Top, tall.Preview.Top + 200 + 2 * tall.Preview.Top);
  // Short: the preview shrinks to what the buttons leave, and is centred.
  TSideColumn short_column = LayoutSideColumn(200, 300, FiveButtons());
  const TWindowRect& last = short_column.Buttons.back();
  EXPECT_LE(last.Top + last.Height, 300);
  EXPECT_LT(short_column.Preview.Width, 200);
  EXPECT_EQ(short_column.Preview.Left, (200 - short_column.Preview.Width) / 2);
}

TEST(SideColumnTest, MinimumColumnShowsEveryButtonWhole) {
  const TSideColumnShape shape = FiveButtons();
  const TWindowRect minimum = MinimumSideColumn(shape);
  EXPECT_EQ(minimum.Width, 90);
  const TSideColumn column = LayoutSideColumn(minimum.Width, minimum.Height, shape);
  EXPECT_EQ(column.Preview.Width, shape.MinPreviewSide);
  const TWindowRect& last = column.Buttons.back();
  EXPECT_LE(last.Top + last.Height, minimum.Height);
  for (const TWindowRect& button : column.Buttons) {
    EXPECT_EQ(button.Width, 90);
    EXPECT_EQ(button.Height, 28);
  }
}

}  // namespace
}  // namespace pix::test
