#include "picture/gifrsize.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/detail_capture.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

using test::GifExtension;
using test::GifFrame;
using test::GifPicture;

std::vector<std::uint8_t> Counting(int count) {
  std::vector<std::uint8_t> values;
  for (int i = 0; i < count; ++i) values.push_back(static_cast<std::uint8_t>(i));
  return values;
}

// A frame at (left, top) of width x height whose pixels all hold `value`.
GifFrame Filled(int left, int top, int width, int height, std::uint8_t value) {
  GifFrame frame;
  frame.left = left;
  frame.top = top;
  frame.width = width;
  frame.height = height;
  frame.pixels.assign(static_cast<std::size_t>(width) * height, value);
  return frame;
}

class GifRSizeTest : public testing::Test {
 protected:
  std::filesystem::path Write(const std::string& name, const GifPicture& picture) {
    test::WriteFile(dir_ / name, test::MakeGif(picture));
    return dir_ / name;
  }

  // Resizes in.gif to out.gif, keeping what was written on standard error.
  Status Resize(const GifPicture& picture, int width, int height) {
    Write("in.gif", picture);
    test::DetailCapture capture;
    Status status = ResizeGifToSize(width, height, dir_ / "in.gif", dir_ / "out.gif");
    diagnostics_ = capture.Text();
    return status;
  }

  GifPicture Output() { return test::ReadGif(dir_ / "out.gif"); }

  test::TempDir dir_;
  std::string diagnostics_;
};

TEST_F(GifRSizeTest, HalvingKeepsEveryOtherPixelAndEnlargingRepeatsPixels) {
  ASSERT_TRUE(Resize(test::SimpleGif(4, 4, Counting(16)), 2, 2).ok());
  const GifPicture out = Output();
  ASSERT_EQ(out.frames.size(), 1u);
  // Input pixel (x, y) holds 4 * y + x: (0,0), (2,0), (0,2), (2,2) are kept.
  EXPECT_EQ(out.frames[0].pixels, (std::vector<std::uint8_t>{0, 2, 8, 10}));
  EXPECT_EQ(out.screen_width, 2);
  EXPECT_EQ(out.global_colors, test::SimpleGif(1, 1, {0}).global_colors);
  // Enlarging repeats pixels and pads with the last one.
  ASSERT_TRUE(Resize(test::SimpleGif(3, 1, {1, 2, 3}), 6, 2).ok());
  const GifFrame frame = Output().frames.at(0);
  EXPECT_EQ(frame.pixels, (std::vector<std::uint8_t>{1, 2, 2, 3, 3, 3,     // first line
                                                     1, 2, 2, 3, 3, 3}));  // repeated
  ASSERT_TRUE(Resize(test::SimpleGif(3, 3, Counting(9)), 1, 1).ok());
  EXPECT_EQ(Output().frames.at(0).pixels, std::vector<std::uint8_t>{0});
}

TEST_F(GifRSizeTest, FramesAreScaledWithTheirPlaceAndCutAtTheScreenEdge) {
  GifPicture picture = test::SimpleGif(100, 100, std::vector<std::uint8_t>(100 * 100, 1));
  const GifFrame inside = Filled(10, 10, 20, 20, 2);
  const GifFrame over_edge = Filled(90, 80, 20, 20, 3);  // reaches 10 pixels past the edge
  const GifFrame outside = Filled(200, 10, 4, 4, 4);    // entirely right of the screen
  picture.frames = {inside, outside, over_edge};
  ASSERT_TRUE(Resize(picture, 50, 50).ok());
  const GifPicture out = Output();
  ASSERT_EQ(out.frames.size(), 2u);
  EXPECT_EQ((std::vector<int>{out.frames[0].left, out.frames[0].top, out.frames[0].width,
                              out.frames[0].height}),
            (std::vector<int>{5, 5, 10, 10}));
  EXPECT_EQ((std::vector<int>{out.frames[1].left, out.frames[1].top, out.frames[1].width,
                              out.frames[1].height}),
            (std::vector<int>{45, 40, 5, 10}));
  EXPECT_EQ(out.frames[1].pixels, std::vector<std::uint8_t>(50, 3));
}

TEST_F(GifRSizeTest, FrameWiderThanItsScreenIsReadWholeAndCut) {
  GifPicture picture = test::SimpleGif(4, 2, std::vector<std::uint8_t>(8, 0));
  picture.frames[0].width = 10;  // a damaged file: the image is wider than the screen
  picture.frames[0].pixels = Counting(20);
  ASSERT_TRUE(Resize(picture, 8, 4).ok());
  const GifFrame frame = Output().frames.at(0);
  ASSERT_EQ(frame.width, 8);
  ASSERT_EQ(frame.height, 4);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.pixels.begin(), frame.pixels.begin() + 8),
            (std::vector<std::uint8_t>{0, 1, 1, 2, 2, 3, 3, 4}));
}

TEST_F(GifRSizeTest, AnimationKeepsFramesAndColourMapsAndFirstSubBlocksOnly) {
  const GifExtension loop{0xFF, {"NETSCAPE2.0", test::Bytes({0x01, 0x00, 0x00})}};
  const GifExtension control{0xF9, {test::Bytes({0x04, 0x0A, 0x00, 0x00})}};
  const GifExtension comment{0xFE, {"made", "by hand"}};
  GifPicture picture;
  picture.screen_width = 6;
  picture.screen_height = 4;
  picture.global_colors = {{0, 0, 0}, {255, 255, 255}};
  for (int i = 0; i < 3; ++i) {
    GifFrame frame = Filled(0, 0, 6, 4, static_cast<std::uint8_t>(i % 2));
    frame.local_colors = {{static_cast<std::uint8_t>(80 * i), 10, 20}, {30, 40, 50}};
    frame.extensions_before = {control};
    if (i == 0) frame.extensions_before.insert(frame.extensions_before.begin(), loop);
    picture.frames.push_back(frame);
  }
  picture.trailing_extensions = {comment};
  ASSERT_TRUE(Resize(picture, 3, 2).ok());
  const GifPicture out = Output();
  ASSERT_EQ(out.frames.size(), 3u);
  EXPECT_EQ(out.frames[0].extensions_before,
            (std::vector<GifExtension>{{0xFF, {"NETSCAPE2.0"}}, control}));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(out.frames[i].local_colors, picture.frames[i].local_colors);
    EXPECT_EQ(out.frames[i].pixels, std::vector<std::uint8_t>(6, i % 2));
  }
  EXPECT_EQ(out.frames[2].extensions_before, std::vector<GifExtension>{control});
  EXPECT_EQ(out.trailing_extensions, (std::vector<GifExtension>{{0xFE, {"made"}}}));
}

TEST_F(GifRSizeTest, ExtensionWithoutDataIsLeftOutSoThatGiflibReadsTheCopyWhole) {
  // giflib writes the image; the empty extension is spliced in by hand after the header.
  std::string bytes = test::MakeGif(test::SimpleGif(2, 2, {0, 1, 1, 0}, 2));
  ASSERT_EQ(bytes.substr(0, 13), test::Bytes({'G', 'I', 'F', '8', '9', 'a',  // signature
                                              0x02, 0x00, 0x02, 0x00,        // screen 2 x 2
                                              0xF0,  // global map of 2 entries, 8-bit colour
                                              0x00, 0x00}));  // background, aspect
  bytes.insert(13 + 6, test::Bytes({0x21, 0xFE,               // comment extension
                                    0x00}));                  // no data sub-block at all
  test::WriteFile(dir_ / "in.gif", bytes);
  test::DetailCapture capture;
  ASSERT_TRUE(ResizeGifToSize(4, 4, dir_ / "in.gif", dir_ / "out.gif").ok());
  capture.Text();
  const GifPicture out = Output();
  ASSERT_EQ(out.frames.size(), 1u);
  EXPECT_TRUE(out.frames[0].extensions_before.empty());
  int error = 0;
  GifFileType* whole = DGifOpenFileName((dir_ / "out.gif").c_str(), &error);
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(DGifSlurp(whole), GIF_OK);
  DGifCloseFile(whole, &error);
  EXPECT_EQ(out.frames[0].pixels,
            (std::vector<std::uint8_t>{0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(GifRSizeTest, SizeIsTheLogicalScreensAndInterlacingTheFirstImages) {
  GifPicture picture = test::SimpleGif(20, 10, std::vector<std::uint8_t>(200, 0));
  picture.frames[0] = Filled(2, 2, 5, 5, 1);
  int width = -1;
  int height = -1;
  EXPECT_TRUE(GetGifSize(&width, &height, Write("a.gif", picture)).ok());
  EXPECT_EQ(width, 20);
  EXPECT_EQ(height, 10);
  test::WriteFile(dir_ / "bad.gif", "GIF89a\x14");
  EXPECT_FALSE(GetGifSize(&width, &height, dir_ / "bad.gif").ok());
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);

  // Interlacing is judged by the first image.
  picture = test::SimpleGif(3, 10, std::vector<std::uint8_t>(30, 1));
  picture.frames.push_back(picture.frames[0]);
  picture.frames[1].interlace = true;
  picture.frames[0].extensions_before = {{0xFE, {"a", "b"}}};
  Result<bool> second_only = IsGifInterlaced(Write("second.gif", picture));
  ASSERT_TRUE(second_only.ok());
  EXPECT_FALSE(*second_only);
  std::swap(picture.frames[0], picture.frames[1]);
  EXPECT_TRUE(*IsGifInterlaced(Write("first.gif", picture)));
  picture.frames.clear();
  EXPECT_FALSE(*IsGifInterlaced(Write("none.gif", picture)));
  test::WriteFile(dir_ / "bad.gif", "not a gif");
  EXPECT_FALSE(IsGifInterlaced(dir_ / "bad.gif").ok());
}

TEST_F(GifRSizeTest, InterlacedInputIsResizedLikeTheSamePictureInLineOrder) {
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 7; ++x) pixels.push_back(static_cast<std::uint8_t>((x + 3 * y) % 16));
  }
  GifPicture picture = test::SimpleGif(7, 11, pixels);
  ASSERT_TRUE(Resize(picture, 5, 8).ok());
  const GifPicture flat = Output();
  picture.frames[0].interlace = true;
  test::WriteFile(dir_ / "out.gif", "older inline image");
  ASSERT_TRUE(Resize(picture, 5, 8).ok()) << diagnostics_;
  const GifPicture laced = Output();
  ASSERT_EQ(laced.frames.size(), 1u);
  EXPECT_FALSE(laced.frames[0].interlace);
  EXPECT_EQ(laced.frames[0].pixels, flat.frames[0].pixels);
  EXPECT_EQ(test::ReadGif(dir_ / "in.gif").frames[0].interlace, true) << "the input is not changed";
}

TEST_F(GifRSizeTest, DamagedFilesFailAndLeaveNothingHalfMade) {
  std::vector<std::uint8_t> pixels;
  for (int i = 0; i < 108; ++i) pixels.push_back(static_cast<std::uint8_t>(i * 7 % 4));
  GifPicture picture = test::SimpleGif(12, 9, pixels, 4);
  picture.frames[0].local_colors = picture.global_colors;
  picture.frames[0].extensions_before = {{0xF9, {test::Bytes({0, 0, 0, 0})}}};
  const std::string whole = test::MakeGif(picture);
  test::WriteFile(dir_ / "out.gif", "good");
  test::WriteFile(dir_ / "copy.gif", "good");
  for (std::size_t cut = 0; cut + 1 < whole.size(); ++cut) {
    test::WriteFile(dir_ / "in.gif", whole.substr(0, cut));
    test::DetailCapture capture;
    const Status resized = ResizeGifToSize(5, 5, dir_ / "in.gif", dir_ / "out.gif");
    const Status copied = DeinterlaceGif(dir_ / "in.gif", dir_ / "copy.gif");
    const std::string diagnostics = capture.Text();
    EXPECT_FALSE(resized.ok()) << "cut at " << cut;
    EXPECT_FALSE(copied.ok()) << "cut at " << cut;
    EXPECT_FALSE(diagnostics.empty());
    ASSERT_EQ(test::ReadFile(dir_ / "out.gif"), "good") << "cut at " << cut;
    ASSERT_EQ(test::ReadFile(dir_ / "copy.gif"), "good") << "cut at " << cut;
    ASSERT_EQ(test::CountEntries(dir_.path()), 3u) << "cut at " << cut;
  }
  EXPECT_EQ(ResizeGifToSize(0, 5, dir_ / "in.gif", dir_ / "out.gif").code(),
            Status::Code::kInvalidArgument);
}

}  // namespace
}  // namespace pix
