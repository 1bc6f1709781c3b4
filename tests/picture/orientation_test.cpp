// Turning GIF pictures upright as the resizer does it: what a viewer shows for each of the
// eight orientations, and where an image that does not fill its screen goes.
#include "picture/orientation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picture/gifrsize.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

// A one-frame GIF whose pixels are letters 'a' to 'z' (colour index = letter - 'a'), row
// by row, so that a turned picture can be compared with rows of text.
test::GifPicture LetterGif(const std::vector<std::string>& rows) {
  const int width = static_cast<int>(rows[0].size());
  const int height = static_cast<int>(rows.size());
  std::vector<std::uint8_t> pixels;
  for (const std::string& row : rows) {
    for (char c : row) pixels.push_back(static_cast<std::uint8_t>(c - 'a'));
  }
  return test::SimpleGif(width, height, pixels, 32);
}

std::vector<std::string> LettersOf(const test::GifFrame& frame) {
  std::vector<std::string> rows;
  for (int y = 0; y < frame.height; ++y) {
    std::string row;
    for (int x = 0; x < frame.width; ++x) row += static_cast<char>('a' + frame.At(x, y));
    rows.push_back(row);
  }
  return rows;
}

TEST(OrientationTest, EachTagValueShowsWhatAViewerShows) {
  test::TempDir dir;
  test::WriteFile(dir / "stored.gif", test::MakeGif(LetterGif({"abc", "def"})));
  // The stored picture "abc/def" as a viewer shows it under each tag value.
  const std::vector<std::vector<std::string>> shown = {
      {"abc", "def"},      // 1: as stored
      {"cba", "fed"},      // 2: left and right swapped
      {"fed", "cba"},      // 3: upside down
      {"def", "abc"},      // 4: top and bottom swapped
      {"ad", "be", "cf"},  // 5: first row becomes the first column
      {"da", "eb", "fc"},  // 6: a quarter turn clockwise
      {"fc", "eb", "da"},  // 7: last row, backwards, becomes the first column
      {"cf", "be", "ad"},  // 8: a quarter turn counter-clockwise
  };
  for (int tag = 1; tag <= 8; ++tag) {
    const Orientation orientation = OrientationFromTag(tag);
    // Resized to its own size, so that only the turn changes it.
    const int width = SwapsSides(orientation) ? 2 : 3;
    const int height = SwapsSides(orientation) ? 3 : 2;
    ASSERT_TRUE(
        ResizeGifToSize(width, height, dir / "stored.gif", dir / "shown.gif", orientation).ok())
        << tag;
    const test::GifPicture gif = test::ReadGif(dir / "shown.gif");
    EXPECT_EQ(gif.signature, "GIF87a");
    ASSERT_EQ(gif.frames.size(), 1u);
    EXPECT_EQ(LettersOf(gif.frames[0]), shown[tag - 1]) << "tag " << tag;
    EXPECT_EQ(gif.screen_width, static_cast<int>(shown[tag - 1][0].size())) << "tag " << tag;
    EXPECT_EQ(gif.screen_height, static_cast<int>(shown[tag - 1].size())) << "tag " << tag;
    EXPECT_EQ(SwapsSides(orientation), tag >= 5);
  }
  for (long value : {0L, 9L, -1L, 65535L}) {
    EXPECT_EQ(OrientationFromTag(value), Orientation::kNormal) << value;
  }
}

TEST(OrientationTest, ImagesKeepTheirPlaceOnTheTurnedScreen) {
  test::TempDir dir;
  test::GifPicture picture = LetterGif({"abcde", "fghij", "klmno"});
  // A second image of 2 x 2 in the bottom-right corner of the 5 x 3 screen, own colours.
  test::GifFrame corner;
  corner.left = 3;
  corner.top = 1;
  corner.width = 2;
  corner.height = 2;
  corner.local_colors = {{255, 0, 0}, {0, 255, 0}};
  corner.pixels = {0, 1, 1, 0};
  picture.frames.push_back(corner);
  test::WriteFile(dir / "stored.gif", test::MakeGif(picture));
  ASSERT_TRUE(
      ResizeGifToSize(3, 5, dir / "stored.gif", dir / "stored.gif", Orientation::kRotate90).ok());
  const test::GifPicture gif = test::ReadGif(dir / "stored.gif");
  EXPECT_EQ(gif.screen_width, 3);
  EXPECT_EQ(gif.screen_height, 5);
  ASSERT_EQ(gif.frames.size(), 2u);
  EXPECT_EQ(LettersOf(gif.frames[0]),
            (std::vector<std::string>{"kfa", "lgb", "mhc", "nid", "oje"}));
  // Turned clockwise, the bottom-right corner becomes the bottom-left one.
  const test::GifFrame& turned = gif.frames[1];
  EXPECT_EQ(turned.left, 0);
  EXPECT_EQ(turned.top, 3);
  EXPECT_EQ(turned.local_colors, corner.local_colors);
  EXPECT_EQ(turned.pixels, (std::vector<std::uint8_t>{1, 0, 0, 1}));
}

TEST(OrientationTest, ReducedAndTurnedToTheShownSize) {
  test::TempDir dir;
  // 4 x 2 stored, shown 1 x 2 after a quarter turn: reduced to 2 x 1 first, then turned.
  test::WriteFile(dir / "stored.gif", test::MakeGif(LetterGif({"aabb", "aabb"})));
  ASSERT_TRUE(
      ResizeGifToSize(1, 2, dir / "stored.gif", dir / "shown.gif", Orientation::kRotate90).ok());
  EXPECT_EQ(LettersOf(test::ReadGif(dir / "shown.gif").frames.at(0)),
            (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace pix
