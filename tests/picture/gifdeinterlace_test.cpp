// The de-interlacing rewrite of a user's GIF picture changes the order of the lines and
// nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "picture/gifrsize.h"
#include "support/detail_capture.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::GifExtension;
using test::GifFrame;
using test::GifPicture;

// A frame whose pixel (x, y) holds (x + 2 * y + seed) modulo `colors`, so that every line
// differs from its neighbours and a line out of place shows.
GifFrame Striped(int left, int top, int width, int height, int seed, int colors) {
  GifFrame frame;
  frame.left = left;
  frame.top = top;
  frame.width = width;
  frame.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      frame.pixels.push_back(static_cast<std::uint8_t>((x + 2 * y + seed) % colors));
    }
  }
  return frame;
}

// A looping animation of three frames, two of them interlaced, with every kind of extension
// in several places.
GifPicture LoopingAnimation() {
  // NETSCAPE2.0: sub-block 1 (loop), count 0 = for ever; a second sub-block that only
  // careful copies keep.
  const GifExtension loop{0xFF, {"NETSCAPE2.0", Bytes({0x01, 0x00, 0x00})}};
  const GifExtension xmp{0xFF, {"XMP DataXMP", "<x:xmpmeta>", std::string(200, 'x'), "</x>"}};
  // Graphic control: dispose to background, delay 10/100 s, transparent index 3.
  const GifExtension control{0xF9, {Bytes({0x09, 0x0A, 0x00, 0x03})}};
  const GifExtension long_comment{0xFE, {std::string(255, 'a'), std::string(245, 'b')}};
  // Plain text: grid at (1, 1) of 8 x 6, cells 4 x 6, colours 1 on 0, then the text.
  const GifExtension plain_text{0x01,
                                {Bytes({1, 0, 1, 0, 8, 0, 6, 0, 4, 6, 1, 0}), "Hello", " again"}};
  GifPicture picture;
  picture.signature = "GIF89a";
  picture.screen_width = 12;
  picture.screen_height = 10;
  picture.color_resolution = 5;
  picture.background_color = 2;
  picture.global_colors = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

  GifFrame first = Striped(0, 0, 12, 10, 0, 4);
  first.interlace = true;
  first.extensions_before = {loop, xmp, long_comment, control};
  GifFrame second = Striped(3, 2, 5, 7, 1, 8);
  second.local_colors = {{1, 2, 3},    {4, 5, 6},    {7, 8, 9},    {10, 11, 12},
                        {13, 14, 15}, {16, 17, 18}, {19, 20, 21}, {22, 23, 24}};
  second.extensions_before = {control};
  GifFrame third = Striped(1, 1, 9, 9, 2, 4);
  third.interlace = true;
  third.extensions_before = {control, plain_text};
  picture.frames = {first, second, third};
  picture.trailing_extensions = {{0xFE, {"end", "of file"}}};
  return picture;
}

class GifDeinterlaceTest : public testing::Test {
 protected:
  Status DeinterlaceInPlace(const fs::path& path) {
    test::DetailCapture capture;
    Status status = DeinterlaceGifInPlace(path);
    details_ = capture.Text();
    return status;
  }

  std::size_t FilesInDir() const { return test::CountEntries(dir_.path()); }

  test::TempDir dir_;
  std::string details_;
};

TEST_F(GifDeinterlaceTest, LoopingAnimationKeepsEveryBlockInPlaceAndOnlyReordersLines) {
  const GifPicture picture = LoopingAnimation();
  std::string bytes = test::MakeGif(picture);
  // What giflib's writer cannot set: the sorted flag of the global colour table (bit 3 of
  // the screen's packed byte, offset 10) and a pixel aspect ratio (offset 12). Bytes after
  // the trailer belong to the file too.
  bytes[10] = static_cast<char>(bytes[10] | 0x08);
  bytes[12] = 0x31;
  const std::string tail = Bytes({0x00, 0x00}) + "appended by another program";
  bytes += tail;
  const fs::path path = dir_ / "anim.gif";
  test::WriteFile(path, bytes);
  const GifPicture before = test::ReadGif(path);

  ASSERT_TRUE(DeinterlaceInPlace(path).ok()) << details_;
  EXPECT_NE(details_.find(" at (0, 0) [12x10]\n"), std::string::npos) << details_;

  const std::string rewritten = test::ReadFile(path);
  // Signature, screen descriptor and the global colour table of 4 entries, byte for byte.
  const std::size_t start = 6 + 7 + 3 * 4;
  EXPECT_EQ(rewritten.substr(0, start), bytes.substr(0, start));
  ASSERT_GE(rewritten.size(), tail.size());
  EXPECT_EQ(rewritten.substr(rewritten.size() - tail.size()), tail);
  EXPECT_EQ(rewritten[rewritten.size() - tail.size() - 1], '\x3B') << "the trailer before them";

  const GifPicture after = test::ReadGif(path);
  EXPECT_EQ(after.signature, "GIF89a");
  EXPECT_EQ(after.screen_width, before.screen_width);
  EXPECT_EQ(after.screen_height, before.screen_height);
  EXPECT_EQ(after.color_resolution, before.color_resolution);
  EXPECT_EQ(after.background_color, before.background_color);
  EXPECT_EQ(after.global_colors, before.global_colors);
  ASSERT_EQ(after.frames.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const GifFrame& was = before.frames[i];
    const GifFrame& now = after.frames[i];
    EXPECT_EQ(std::vector<int>({now.left, now.top, now.width, now.height}),
              std::vector<int>({was.left, was.top, was.width, was.height}));
    EXPECT_EQ(now.local_colors, was.local_colors);
    EXPECT_EQ(now.extensions_before, was.extensions_before);
    EXPECT_EQ(now.extensions_before, picture.frames[i].extensions_before);
    EXPECT_FALSE(now.interlace);
    EXPECT_EQ(now.pixels, picture.frames[i].pixels) << "lines top to bottom";
  }
  EXPECT_EQ(after.trailing_extensions, picture.trailing_extensions);
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(GifDeinterlaceTest, PictureThatCannotBeWrittenAgainAsItWasIsLeftAlone) {
  GifPicture picture = test::SimpleGif(6, 9, std::vector<std::uint8_t>(54, 1));
  picture.frames[0].interlace = true;
  std::string bytes = test::MakeGif(picture);
  // Header, screen, 16-entry colour table, then the image descriptor; its LZW code size
  // follows. A size of 9 gives codes of pixels that 8 bits cannot hold.
  const std::size_t code_size = 6 + 7 + 3 * 16 + 10;
  ASSERT_EQ(bytes[code_size - 10], '\x2C');
  bytes[code_size] = 9;
  const fs::path path = dir_ / "odd.gif";
  test::WriteFile(path, bytes);
  const Status status = DeinterlaceInPlace(path);
  EXPECT_EQ(status.message(),
            path.string() + " holds an image with the LZW code size 9; it is left as it is");
  EXPECT_EQ(test::ReadFile(path), bytes);
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(GifDeinterlaceTest, AnOlderVersionKeepsItsSignature) {
  GifPicture picture = test::SimpleGif(3, 10, std::vector<std::uint8_t>(30, 1));
  picture.signature = "GIF87a";
  picture.frames[0].interlace = true;
  test::WriteFile(dir_ / "old.gif", test::MakeGif(picture));
  ASSERT_TRUE(DeinterlaceInPlace(dir_ / "old.gif").ok()) << details_;
  EXPECT_EQ(test::ReadFile(dir_ / "old.gif").substr(0, 6), "GIF87a");
}

}  // namespace
}  // namespace pix
