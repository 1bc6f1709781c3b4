// The preview window's states (picture, the two hints, blank), the fit of a picture into it,
// and its colours, which come from the palette.
#include "picture/ui/imagewindow.h"

#include <gtest/gtest.h>

#include <QImage>

#include "picture/graphic.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"
#include "support/ui/dark_palette.h"

namespace pix::test {
namespace {

using ui::ImageWindow;

QImage Grab(ImageWindow& window) { return window.grab().toImage(); }

// True when every pixel of `area` has the colour `color` (white unless told).
bool AllOf(const QImage& image, const QRect& area, const QColor& color = QColor(Qt::white)) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixelColor(x, y) != color) return false;
    }
  }
  return true;
}

bool AllWhite(const QImage& image, const QRect& area) { return AllOf(image, area); }

// True when some pixel of `area` has the colour `color`.
bool AnyOf(const QImage& image, const QRect& area, const QColor& color) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixelColor(x, y) == color) return true;
    }
  }
  return false;
}

TEST(ImageWindowTest, PictureIsFittedTopLeftNeverEnlargedAndTheRestIsWhite) {
  TempDir temp;
  const auto wide = temp / "inline" / "wide.gif";
  WriteGifPicture(wide, 100, 50, false);
  ImageWindow window(nullptr);
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
  EXPECT_EQ(window.Picture().size(), QSize(100, 50));
  EXPECT_EQ(image.pixelColor(99, 49), window.Picture().pixelColor(99, 49));

  window.resize(50, 50);
  EXPECT_EQ(window.PictureRect(), QRect(0, 0, 50, 25));
  image = Grab(window);
  EXPECT_TRUE(AllWhite(image, QRect(0, 25, 50, 25)));
}

TEST(ImageWindowTest, AFileClaimingAGiantPictureIsNotRead) {
  TempDir temp;
  WriteFile(temp / "huge.gif", HugeGif());
  ImageWindow window(nullptr);
  window.resize(200, 120);
  window.SetPicture(temp / "huge.gif");
  EXPECT_FALSE(window.PictureShown());
  EXPECT_FALSE(window.FileMissing());
  EXPECT_TRUE(window.Picture().isNull());
}

TEST(ImageWindowTest, MissingInlineImageShowsTheHintAndAGeneratedOneThePicture) {
  TempDir temp;
  const auto path = temp / "inline" / "photo.gif";
  ImageWindow window(nullptr);
  window.resize(200, 120);
  window.show();
  window.SetPicture(path);
  EXPECT_TRUE(window.FileMissing());
  EXPECT_FALSE(window.PictureShown());
  EXPECT_EQ(window.Hint(), QString::fromUtf8(ui::kGeneratePreviewHint));
  // The hint is written inside the white framed area.
  EXPECT_FALSE(AllWhite(Grab(window), QRect(2, 2, 196, 30)));

  WriteGifPicture(path, 30, 20, false);
  window.SetPicture(path);
  EXPECT_TRUE(window.PictureShown());
  EXPECT_FALSE(window.FileMissing());

  window.ClearPicture();
  EXPECT_FALSE(window.PictureShown());
  EXPECT_FALSE(window.FileMissing());
  EXPECT_TRUE(window.Picture().isNull());
  // Nothing selected: the hint says what the area is for.
  EXPECT_EQ(window.Hint(), QString::fromUtf8(ui::kSelectPictureHint));
  EXPECT_FALSE(AllWhite(Grab(window), QRect(2, 2, 196, 30)));
  EXPECT_TRUE(AllWhite(Grab(window), QRect(1, 60, 198, 58)));
}

TEST(ImageWindowTest, ColoursComeFromThePalette) {
  TempDir temp;
  const auto wide = temp / "inline" / "wide.gif";
  WriteGifPicture(wide, 100, 50, false);
  const QPalette dark = DarkPalette();
  ImageWindow window(nullptr);
  window.setPalette(dark);
  window.resize(200, 120);
  window.show();
  // The hint is written in the text colour on the base colour, inside a frame of the
  // text colour.
  window.ClearPicture();
  QImage image = Grab(window);
  EXPECT_EQ(image.pixelColor(0, 0), dark.color(QPalette::Text));
  EXPECT_TRUE(AllOf(image, QRect(1, 60, 198, 58), dark.color(QPalette::Base)));
  EXPECT_TRUE(AnyOf(image, QRect(2, 2, 196, 30), dark.color(QPalette::Text)));
  window.SetPicture(temp / "inline" / "missing.gif");
  EXPECT_TRUE(AnyOf(Grab(window), QRect(2, 2, 196, 30), dark.color(QPalette::Text)));
  // Beside a picture, the base colour.
  window.SetPicture(wide);
  ASSERT_TRUE(window.PictureShown());
  image = Grab(window);
  EXPECT_TRUE(AllOf(image, QRect(100, 0, 100, 120), dark.color(QPalette::Base)));
  EXPECT_TRUE(AllOf(image, QRect(0, 50, 100, 70), dark.color(QPalette::Base)));
}

TEST(ImageWindowTest, DamagedFileLeavesABlankFramedAreaWithoutHint) {
  TempDir temp;
  const auto damaged = temp / "inline" / "broken.gif";
  WriteFile(damaged, std::string("GIF89a\x10\x00\x10\x00\x00\x00\x00", 13) + "\x2c\x00");
  ImageWindow window(nullptr);
  window.resize(120, 80);
  window.show();
  window.SetPicture(damaged);
  EXPECT_FALSE(window.PictureShown());
  EXPECT_FALSE(window.FileMissing());
  EXPECT_TRUE(window.Picture().isNull());
  const QImage image = Grab(window);
  EXPECT_TRUE(AllWhite(image, QRect(1, 1, 118, 78)));
  EXPECT_NE(image.pixelColor(0, 0), QColor(Qt::white));  // The frame.
}

}  // namespace
}  // namespace pix::test
