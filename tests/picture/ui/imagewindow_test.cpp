// The preview window's three states (picture, hint, blank) and the fit of a picture into it.
#include "picture/ui/imagewindow.h"

#include <gtest/gtest.h>

#include <QImage>

#include "picture/graphic.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix::test {
namespace {

using ui::TImageWindow;

QImage Grab(TImageWindow& window) { return window.grab().toImage(); }

// True when every pixel of `area` is white.
bool AllWhite(const QImage& image, const QRect& area) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixelColor(x, y) != QColor(Qt::white)) return false;
    }
  }
  return true;
}

TEST(ImageWindowTest, PictureIsFittedTopLeftNeverEnlargedAndTheRestIsWhite) {
  TempDir temp;
  const auto wide = temp / "inline" / "wide.gif";
  WriteGifPicture(wide, 100, 50, false);
  TImageWindow window(nullptr);
  window.resize(400, 300);
  window.show();
  window.SetPicture(wide);
  ASSERT_TRUE(window.PictureShown());
  EXPECT_FALSE(window.FileMissing());
  EXPECT_EQ(window.PictureRect(), QRect(0, 0, 100, 50));
  QImage image = Grab(window);
  EXPECT_TRUE(AllWhite(image, QRect(100, 0, 300, 300)));
  EXPECT_TRUE(AllWhite(image, QRect(0, 50, 100, 250)));
  // The picture's own pixels are drawn unchanged at their own size.
  const TRasterPicture& picture = *window.Picture();
  const TPaletteColor corner = picture.PixelColor(99, 49);
  EXPECT_EQ(image.pixelColor(99, 49), QColor(corner.Red, corner.Green, corner.Blue));

  window.resize(50, 50);
  EXPECT_EQ(window.PictureRect(), QRect(0, 0, 50, 25));
  image = Grab(window);
  EXPECT_TRUE(AllWhite(image, QRect(0, 25, 50, 25)));
}

TEST(ImageWindowTest, MissingInlineImageShowsTheHintAndAGeneratedOneThePicture) {
  TempDir temp;
  const auto path = temp / "inline" / "photo.gif";
  TImageWindow window(nullptr);
  window.resize(200, 120);
  window.show();
  window.SetPicture(path);
  EXPECT_TRUE(window.FileMissing());
  EXPECT_FALSE(window.PictureShown());
  EXPECT_STREQ(ui::kGeneratePreviewHint, "Click on \"Generate Site\" to see preview.");
  // The hint is written inside the white framed area.
  EXPECT_FALSE(AllWhite(Grab(window), QRect(2, 2, 196, 30)));

  WriteGifPicture(path, 30, 20, false);
  window.SetPicture(path);
  EXPECT_TRUE(window.PictureShown());
  EXPECT_FALSE(window.FileMissing());

  window.ClearPicture();
  EXPECT_FALSE(window.PictureShown());
  EXPECT_FALSE(window.FileMissing());
  EXPECT_EQ(window.Picture(), nullptr);
  EXPECT_TRUE(AllWhite(Grab(window), QRect(1, 1, 198, 118)));
}

TEST(ImageWindowTest, DamagedFileLeavesABlankFramedAreaWithoutHint) {
  TempDir temp;
  const auto damaged = temp / "inline" / "broken.gif";
  WriteFile(damaged, std::string("GIF89a\x10\x00\x10\x00\x00\x00\x00", 13) + "\x2c\x00");
  TImageWindow window(nullptr);
  window.resize(120, 80);
  window.show();
  window.SetPicture(damaged);
  EXPECT_FALSE(window.PictureShown());
  EXPECT_FALSE(window.FileMissing());
  EXPECT_EQ(window.Picture(), nullptr);
  const QImage image = Grab(window);
  EXPECT_TRUE(AllWhite(image, QRect(1, 1, 118, 78)));
  EXPECT_NE(image.pixelColor(0, 0), QColor(Qt::white));  // The frame.
}

}  // namespace
}  // namespace pix::test
