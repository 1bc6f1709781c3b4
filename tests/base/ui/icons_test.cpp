// The program's icons are drawn from their SVG files for the pixel ratio of the screen, so
// that they stay sharp at 2x.
#include "base/ui/icons.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>

namespace pix::test {
namespace {

QImage Pixels(const QPixmap& pixmap) {
  return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

TEST(IconsTest, PixmapsAreDrawnAtTheScreensPixelRatio) {
  const QPixmap single = ui::ResourcePixmap(606, 16, 1.0);
  const QPixmap twice = ui::ResourcePixmap(606, 16, 2.0);
  EXPECT_EQ(single.size(), QSize(16, 16));
  EXPECT_EQ(twice.size(), QSize(32, 32));
  EXPECT_EQ(twice.deviceIndependentSize(), QSizeF(16, 16));
  // Drawn from the SVG at 32 pixels, not the 16-pixel picture stretched.
  EXPECT_EQ(Pixels(twice), Pixels(ui::ResourcePixmap(606, 32)));
  EXPECT_NE(Pixels(twice), Pixels(single.scaled(32, 32)));
}

TEST(IconsTest, IconsAreDrawnAtEverySizeAndScaleAskedFor) {
  const QIcon save = ui::ResourceIcon(24333);
  ASSERT_FALSE(save.isNull());
  for (qreal scale : {1.0, 1.5, 2.0}) {
    const QPixmap shown = save.pixmap(QSize(20, 20), scale);
    const int side = static_cast<int>(20 * scale);
    EXPECT_EQ(shown.size(), QSize(side, side)) << scale;
    EXPECT_EQ(Pixels(shown), Pixels(ui::ResourcePixmap(24333, side))) << scale;
  }
  // A disabled tool bar button gets its own, greyed picture.
  const QPixmap disabled = save.pixmap(QSize(20, 20), 1.0, QIcon::Disabled);
  EXPECT_EQ(disabled.size(), QSize(20, 20));
  EXPECT_NE(Pixels(disabled), Pixels(save.pixmap(QSize(20, 20), 1.0)));
}

}  // namespace
}  // namespace pix::test
