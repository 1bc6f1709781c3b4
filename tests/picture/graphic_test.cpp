#include "picture/graphic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

using test::Bytes;
using test::Rgb;
using test::TGifFrame;
using test::TGifPicture;

// LZW codes packed least significant bit first; each code is given with its width.
std::string PackCodes(const std::vector<std::pair<int, int>>& codes) {
  std::string bytes;
  std::uint32_t buffer = 0;
  int count = 0;
  for (const auto& [code, width] : codes) {
    buffer |= static_cast<std::uint32_t>(code) << count;
    count += width;
    while (count >= 8) {
      bytes += static_cast<char>(buffer & 0xFF);
      buffer >>= 8;
      count -= 8;
    }
  }
  if (count > 0) bytes += static_cast<char>(buffer & 0xFF);
  return bytes;
}

// Data cut into sub-blocks of at most 255 bytes, closed by the empty block.
std::string SubBlocks(const std::string& data) {
  std::string out;
  for (std::size_t pos = 0; pos < data.size(); pos += 255) {
    const std::string block = data.substr(pos, 255);
    out += static_cast<char>(block.size());
    out += block;
  }
  out += '\0';
  return out;
}

// "GIF89a" and a logical screen of width x height with a global table of four greys.
std::string ScreenWithFourGreys(int width, int height) {
  return "GIF89a" +
         Bytes({width & 0xFF, width >> 8, height & 0xFF, height >> 8,
                0x81,  // global table, 2^(1+1) = 4 entries
                0,     // background colour
                0}) +  // aspect ratio
         Bytes({0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255});
}

// An image separator and descriptor at (0, 0) with no local table.
std::string Descriptor(int width, int height, int packed = 0) {
  return Bytes({0x2C, 0, 0, 0, 0, width & 0xFF, width >> 8, height & 0xFF, height >> 8, packed});
}

// Clear, the literals, end, for minimum code size 2 (clear 4, end 5, first free entry 6).
// Every literal after the first makes a new entry: literals i - 1 and i as entry 5 + i.
// The codes widen from 3 bits when the next free entry reaches 8, 16, ... and stay at 12
// bits once the table is full. `tableCodes` follow the literals at the final width.
std::string LiteralStream(const std::vector<int>& literals,
                          const std::vector<int>& tableCodes = {}) {
  std::vector<std::pair<int, int>> codes = {{4, 3}};
  int width = 3;
  int nextFree = 6;
  for (std::size_t i = 0; i < literals.size(); ++i) {
    codes.emplace_back(literals[i], width);
    if (i > 0 && nextFree < 4096) {
      ++nextFree;
      if (nextFree >= (1 << width) && width < 12) ++width;
    }
  }
  for (int code : tableCodes) codes.emplace_back(code, width);
  codes.emplace_back(5, width);
  return PackCodes(codes);
}

class RasterPictureTest : public testing::Test {
 protected:
  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    test::WriteFile(dir_ / name, bytes);
    return dir_ / name;
  }
  std::filesystem::path Write(const std::string& name, const TGifPicture& picture) {
    return Write(name, test::MakeGif(picture));
  }

  int StatusOf(const std::string& bytes) {
    return TRasterPicture(Write("crafted.gif", bytes)).GetStatus();
  }

  // A 2 x 2 image with the four greys' file and the given LZW data (code size 2).
  int StatusOfData(const std::string& data, int codeSize = 2) {
    return StatusOf(ScreenWithFourGreys(2, 2) + Descriptor(2, 2) + Bytes({codeSize}) + data);
  }

  static void ExpectPixels(const TRasterPicture& picture, const TGifFrame& frame) {
    ASSERT_EQ(picture.GetStatus(), kRasterLoaded) << RasterStatusText(picture.GetStatus());
    ASSERT_EQ(picture.Width(), frame.Width);
    ASSERT_EQ(picture.Height(), frame.Height);
    for (int y = 0; y < frame.Height; ++y) {
      for (int x = 0; x < frame.Width; ++x) {
        ASSERT_EQ(picture.PixelIndex(x, y), frame.At(x, y)) << "at " << x << ", " << y;
      }
    }
  }

  test::TempDir dir_;
};

TGifPicture RandomGif(int width, int height, int colors, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
  for (auto& p : pixels) p = static_cast<std::uint8_t>(random() % colors);
  return test::SimpleGif(width, height, pixels, colors);
}

TEST_F(RasterPictureTest, EightBitBitmapIsStoredBottomUpWithRowsOfWholeWords) {
  // Five columns and three lines of distinct values: a row needs 5 bytes, stored in 8.
  const std::vector<std::uint8_t> pixels = {1,  2,  3,  4,  5,   //
                                            6,  7,  8,  9,  10,  //
                                            11, 12, 13, 14, 15};
  const TRasterPicture picture(Write("p.gif", test::SimpleGif(5, 3, pixels, 16)));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
  EXPECT_TRUE(picture.GetLoadStatus().ok());
  EXPECT_EQ(picture.BitCount(), 8);
  EXPECT_EQ(picture.ColorTableBits(), 1);  // the descriptor gives no local table
  EXPECT_EQ(picture.RowStride(), 8);
  ASSERT_EQ(picture.BitsSize(), 24u);
  const std::uint8_t* bits = picture.Bits();
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(bits[x], pixels[10 + x]);  // the bottom line comes first
    EXPECT_EQ(bits[16 + x], pixels[x]);  // the top line last
  }
  std::vector<std::uint8_t> line(5);
  picture.CopyIndexLine(1, line.data());
  EXPECT_EQ(line, std::vector<std::uint8_t>(pixels.begin() + 5, pixels.begin() + 10));

  const TBitmapInfoHeader& header = picture.GetPictureHeader();
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biCompression, 0u);
  EXPECT_EQ(picture.GetDisplayInfo().bmiHeader.biWidth, 5);
  // The sixteen greys of the file, in blue-green-red order; the rest of the table is black.
  const auto level = static_cast<std::uint8_t>(7 * 255 / 15);
  EXPECT_EQ(picture.PixelColor(1, 1), (TPaletteColor{level, level, level}));
  EXPECT_EQ(picture.GetDisplayInfo().bmiColors[15], (TRgbQuad{255, 255, 255, 0}));
  EXPECT_EQ(picture.GetPalette()[16], TPaletteColor{});
  EXPECT_EQ(picture.GetDisplayInfo().bmiColors[200], TRgbQuad{});
}

TEST_F(RasterPictureTest, DecodesWhatGiflibEncodesIncludingTableResets) {
  // Random pixels fill the 4096-entry string table many times over, so the encoder's
  // clear codes and every code width from 9 to 12 bits occur.
  for (const auto& [width, height, colors] :
       std::vector<std::tuple<int, int, int>>{{1, 1, 2}, {3, 7, 4}, {301, 203, 256}, {64, 9, 2}}) {
    const TGifPicture gif = RandomGif(width, height, colors, 7u * width + height);
    ExpectPixels(TRasterPicture(Write("random.gif", gif)), gif.Frames[0]);
  }
}

TEST_F(RasterPictureTest, FullStringTableWithoutClearKeepsTwelveBitCodes) {
  // 4998 literals without a clear code: the table fills with entry 4095 (literals 4089 and
  // 4090), the codes stay 12 bits wide, and that last entry gives the last two pixels.
  std::vector<int> literals;
  for (int i = 0; i < 4998; ++i) literals.push_back(i * 7 % 4);
  const TRasterPicture picture(
      Write("full.gif", ScreenWithFourGreys(100, 50) + Descriptor(100, 50) + Bytes({2}) +
                            SubBlocks(LiteralStream(literals, {4095})) + ";"));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded) << RasterStatusText(picture.GetStatus());
  std::vector<int> expected = literals;
  expected.push_back(literals[4089]);
  expected.push_back(literals[4090]);
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(picture.PixelIndex(i % 100, i / 100), expected[static_cast<std::size_t>(i)]) << i;
  }
}

TEST_F(RasterPictureTest, PicksTheLoaderByTheNamesExtension) {
  const std::string gif = test::MakeGif(test::SimpleGif(2, 2, {0, 1, 2, 3}, 4));
  EXPECT_EQ(TRasterPicture(Write("upper.GIF", gif)).GetStatus(), kRasterLoaded);
  EXPECT_EQ(TRasterPicture(Write("my.pics/inline/photo.gif", gif)).GetStatus(), kRasterLoaded);
  EXPECT_EQ(TRasterPicture(Write("photo.png", gif)).GetStatus(), kRasterUnknownFormat);
  EXPECT_EQ(TRasterPicture(Write("photo.gifs", gif)).GetStatus(), kRasterUnknownFormat);
  // The dot of a directory is no extension of the file below it.
  EXPECT_EQ(TRasterPicture(Write("x.gif/photo", gif)).GetStatus(), kRasterUnknownFormat);

  const TRasterPicture png(dir_ / "photo.png");
  EXPECT_EQ(png.Bits(), nullptr);
  EXPECT_EQ(png.GetLoadStatus().code(), Status::Code::kInvalidArgument);
  EXPECT_NE(png.GetLoadStatus().message().find("photo.png"), std::string::npos);
}

TEST_F(RasterPictureTest, FileThatCannotBeReadIsMinusOne) {
  EXPECT_EQ(TRasterPicture(dir_ / "missing.gif").GetStatus(), kRasterCannotOpen);
  std::filesystem::create_directory(dir_ / "folder.gif");
  const TRasterPicture folder(dir_ / "folder.gif");
  EXPECT_EQ(folder.GetStatus(), kRasterCannotOpen);
  EXPECT_EQ(folder.GetLoadStatus().code(), Status::Code::kIoError);
}

TEST_F(RasterPictureTest, HeaderAndBlocksBeforeTheImage) {
  const std::string screen = ScreenWithFourGreys(2, 2);
  EXPECT_EQ(StatusOf(""), kRasterNotGif);
  EXPECT_EQ(StatusOf(screen.substr(0, 12)), kRasterNotGif);
  EXPECT_EQ(StatusOf("gif" + screen.substr(3)), kRasterNotGif);  // the signature has case
  EXPECT_EQ(StatusOf("JFIF" + screen.substr(4)), kRasterNotGif);
  // The global table (12 bytes) cut short.
  EXPECT_EQ(StatusOf(screen.substr(0, 20)), kRasterCutShort);
  // No image: the end of the file, a zero byte, or only the trailer.
  EXPECT_EQ(StatusOf(screen), kRasterNoImage);
  EXPECT_EQ(StatusOf(screen + Bytes({0})), kRasterNoImage);
  EXPECT_EQ(StatusOf(screen + ";"), kRasterNoImage);
  // An extension that runs to the end of the file.
  EXPECT_EQ(StatusOf(screen + Bytes({0x21, 0xFE, 10, 'a', 'b'})), kRasterNoImage);
  // The descriptor and a local table (8 entries, 24 bytes) cut short.
  EXPECT_EQ(StatusOf(screen + Descriptor(2, 2).substr(0, 7)), kRasterCutShort);
  EXPECT_EQ(StatusOf(screen + Descriptor(2, 2, 0x82) + std::string(23, '\0')), kRasterCutShort);
  // The code size byte missing.
  EXPECT_EQ(StatusOf(screen + Descriptor(2, 2)), kRasterCutShort);
}

TEST_F(RasterPictureTest, VersionAndStrayBytesBeforeTheImageDoNotMatter) {
  const std::string data = SubBlocks(LiteralStream({0, 1, 2, 3})) + ";";
  std::string odd = ScreenWithFourGreys(2, 2);
  odd.replace(3, 3, "12z");
  const TRasterPicture picture(
      Write("odd.gif", odd + "stray" + Descriptor(2, 2) + Bytes({2}) + data));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
  EXPECT_EQ(picture.PixelIndex(1, 1), 3);
}

TEST_F(RasterPictureTest, LzwCodeSizesOutsideTwoToEight) {
  const std::string data = SubBlocks(LiteralStream({0, 1, 2, 3}));
  EXPECT_EQ(StatusOfData(data, 0), kRasterBadCodeSize);
  EXPECT_EQ(StatusOfData(data, 1), kRasterBadCodeSize);
  EXPECT_EQ(StatusOfData(data, 9), kRasterBadCodeSize);
  EXPECT_EQ(StatusOfData(data, 2), kRasterLoaded);
}

TEST_F(RasterPictureTest, BadCodesInTheData) {
  // Code 7 after a literal: the next free entry is 6.
  EXPECT_EQ(StatusOfData(SubBlocks(PackCodes({{4, 3}, {1, 3}, {7, 3}}))), kRasterBadCode);
  // Code 6 straight after the clear code names an entry that has no previous string.
  EXPECT_EQ(StatusOfData(SubBlocks(PackCodes({{4, 3}, {6, 3}, {5, 3}}))), kRasterNoPreviousCode);
  // The same code after a literal is that literal twice: 1, then 1 1, fill three pixels.
  const TRasterPicture picture(
      Write("kwk.gif", ScreenWithFourGreys(2, 2) + Descriptor(2, 2) + Bytes({2}) +
                           SubBlocks(PackCodes({{4, 3}, {1, 3}, {6, 3}, {2, 3}, {5, 4}}))));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
  EXPECT_EQ(picture.PixelIndex(0, 0), 1);
  EXPECT_EQ(picture.PixelIndex(1, 0), 1);
  EXPECT_EQ(picture.PixelIndex(0, 1), 1);
  EXPECT_EQ(picture.PixelIndex(1, 1), 2);
  // After a clear code the previous string is forgotten.
  EXPECT_EQ(StatusOfData(SubBlocks(PackCodes({{4, 3}, {1, 3}, {4, 3}, {6, 3}}))),
            kRasterNoPreviousCode);
}

TEST_F(RasterPictureTest, DataThatEndBeforeTheEndCode) {
  const std::string codes = LiteralStream({0, 1, 2, 3});
  const std::string withoutEnd = PackCodes({{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}});
  // An empty sub-block before the end code, although every pixel is there.
  EXPECT_EQ(StatusOfData(SubBlocks(withoutEnd)), kRasterCutShort);
  // The end of the file in the middle of the codes, and just after a block count.
  EXPECT_EQ(StatusOfData(Bytes({10}) + codes.substr(0, 1)), kRasterCutShort);
  EXPECT_EQ(StatusOfData(Bytes({static_cast<int>(withoutEnd.size())}) + withoutEnd + Bytes({9})),
            kRasterCutShort);
  // A block whose count promises more than the file holds still counts when the end
  // code lies in the bytes that are there.
  const TRasterPicture picture(
      Write("cut.gif", ScreenWithFourGreys(2, 2) + Descriptor(2, 2) + Bytes({2, 200}) + codes));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
  EXPECT_EQ(picture.PixelIndex(1, 0), 1);
  // Every failure leaves no bitmap behind.
  const TRasterPicture failed(Write("failed.gif", ScreenWithFourGreys(2, 2) + Descriptor(2, 2) +
                                                      Bytes({2}) + SubBlocks(withoutEnd)));
  EXPECT_EQ(failed.Bits(), nullptr);
  EXPECT_EQ(failed.GetLoadStatus().code(), Status::Code::kCorrupt);
}

TEST_F(RasterPictureTest, DataPastTheLastLineAreDropped) {
  // Eleven pixels for a 2 x 2 image, plain and interlaced: the first four are the picture.
  const std::string data = SubBlocks(LiteralStream({1, 2, 3, 0, 3, 3, 3, 3, 3, 3, 3})) + ";";
  for (int packed : {0x00, 0x40}) {
    const TRasterPicture picture(Write(
        "long.gif", ScreenWithFourGreys(2, 2) + Descriptor(2, 2, packed) + Bytes({2}) + data));
    ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
    EXPECT_EQ(picture.PixelIndex(0, 0), 1);
    EXPECT_EQ(picture.PixelIndex(1, 0), 2);
    EXPECT_EQ(picture.PixelIndex(0, 1), 3);
    EXPECT_EQ(picture.PixelIndex(1, 1), 0);
  }
  // Codes 6 and 7 stand for 1 1 and 1 1 1: six pixels for a line of three.
  const TRasterPicture picture(
      Write("string.gif", ScreenWithFourGreys(3, 1) + Descriptor(3, 1) + Bytes({2}) +
                              SubBlocks(PackCodes({{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}}))));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
  EXPECT_EQ(picture.PixelIndex(2, 0), 1);
}

TEST_F(RasterPictureTest, ShortDataLeaveTheRemainingLinesInColourZero) {
  const TRasterPicture picture(
      Write("short.gif", ScreenWithFourGreys(3, 3) + Descriptor(3, 3) + Bytes({2}) +
                             SubBlocks(LiteralStream({3, 3, 3, 3})) + ";"));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
  EXPECT_EQ(picture.PixelIndex(0, 1), 3);
  EXPECT_EQ(picture.PixelIndex(1, 1), 0);
  EXPECT_EQ(picture.PixelIndex(2, 2), 0);
}

TEST_F(RasterPictureTest, InterlacedLinesComeOutInPictureOrder) {
  // Heights that leave out late passes (1 to 4) and that end inside each pass.
  for (int height : {1, 2, 3, 4, 5, 8, 9, 13, 17, 30}) {
    TGifPicture gif = test::SimpleGif(3, height, {}, 64);
    gif.Frames[0].Interlace = true;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < 3; ++x)
        gif.Frames[0].Pixels.push_back(static_cast<std::uint8_t>(2 * y + x % 2));
    }
    SCOPED_TRACE(height);
    ExpectPixels(TRasterPicture(Write("interlaced.gif", gif)), gif.Frames[0]);
  }
}

TEST_F(RasterPictureTest, OnlyTheFirstImageIsLoadedAtItsOwnSize) {
  TGifPicture gif;
  gif.ScreenWidth = 40;
  gif.ScreenHeight = 30;
  for (int i = 0; i < 4; ++i) gif.GlobalColors.push_back(Rgb{0, 0, static_cast<std::uint8_t>(i)});
  TGifFrame first;
  first.Left = 10;
  first.Top = 5;
  first.Width = 3;
  first.Height = 2;
  first.Pixels = {0, 1, 2, 3, 2, 1};
  TGifFrame second;
  second.Width = 40;
  second.Height = 30;
  second.Pixels.assign(1200, 3);
  gif.Frames = {first, second};
  ExpectPixels(TRasterPicture(Write("two.gif", gif)), first);
}

TEST_F(RasterPictureTest, ExtensionsAreSkippedUnread) {
  TGifPicture gif = test::SimpleGif(3, 2, {0, 1, 2, 3, 0, 1}, 4);
  gif.Frames[0].ExtensionsBefore = {
      // Graphic control: transparent colour 1; the pixels keep their palette colour.
      {0xF9, {Bytes({0x01, 0, 0, 1})}},
      {0xFE, {"a comment with , and ! inside", std::string(255, ',')}},
      {0xFF, {"NETSCAPE2.0", Bytes({1, 0, 0})}},
      // Plain text: a 12-byte fixed part and the text.
      {0x01, {std::string(12, '\0'), "text"}},
      // A graphic control extension with a fixed part one byte too long.
      {0xF9, {Bytes({0x01, 0, 0, 1, 0x2C})}},
      {0x42, {"unknown"}},
  };
  const TRasterPicture picture(Write("ext.gif", gif));
  ExpectPixels(picture, gif.Frames[0]);
  EXPECT_EQ(picture.PixelColor(1, 0), (TPaletteColor{85, 85, 85}));
}

TEST_F(RasterPictureTest, DamagedFilesEndInAStatus) {
  // Changed bytes and cut ends anywhere in plain and interlaced files: every load ends,
  // with a known status, and a loaded picture is whole (the sanitizer build checks that no
  // read or write strays outside the buffers).
  TGifPicture plain = RandomGif(37, 23, 256, 1);
  TGifPicture interlaced = RandomGif(19, 13, 16, 2);
  interlaced.Frames[0].Interlace = true;
  interlaced.Frames[0].LocalColors.assign(32, Rgb{200, 100, 50});
  std::mt19937 random(99);
  for (const TGifPicture& gif : {plain, interlaced}) {
    const std::string original = test::MakeGif(gif);
    for (int round = 0; round < 400; ++round) {
      std::string damaged = original;
      const int changes = 1 + static_cast<int>(random() % 4);
      for (int c = 0; c < changes; ++c) {
        damaged[random() % damaged.size()] = static_cast<char>(random() & 0xFF);
      }
      if (round % 3 == 0) damaged.resize(random() % damaged.size());
      const TRasterPicture picture(Write("damaged.gif", damaged));
      const int status = picture.GetStatus();
      ASSERT_STRNE(RasterStatusText(status), RasterStatusText(-5)) << status;
      if (status == kRasterLoaded) {
        ASSERT_NE(picture.Bits(), nullptr);
        std::vector<std::uint8_t> line(static_cast<std::size_t>(picture.Width()));
        for (int y = 0; y < picture.Height(); ++y) picture.CopyIndexLine(y, line.data());
      } else {
        ASSERT_EQ(picture.Bits(), nullptr);
      }
    }
  }
}

TEST_F(RasterPictureTest, ImageSizesThatCannotBeHeld) {
  // A 34-byte file that claims 65535 x 65535 pixels is refused before any allocation.
  const std::string data = SubBlocks(LiteralStream({0})) + ";";
  const std::string huge =
      ScreenWithFourGreys(65535, 65535) + Descriptor(65535, 65535) + Bytes({2}) + data;
  const TRasterPicture tooLarge(Write("huge.gif", huge));
  EXPECT_EQ(tooLarge.GetStatus(), kRasterTooLarge);
  EXPECT_EQ(tooLarge.GetLoadStatus().code(), Status::Code::kTooLarge);
  EXPECT_EQ(StatusOf(ScreenWithFourGreys(0, 5) + Descriptor(0, 5) + Bytes({2}) + data),
            kRasterEmptyImage);
  EXPECT_EQ(StatusOf(ScreenWithFourGreys(5, 5) + Descriptor(5, 0) + Bytes({2}) + data),
            kRasterEmptyImage);
}

TEST_F(RasterPictureTest, TwoHundredMegapixelsStillLoad) {
  // 20000 x 10000 pixels, of which the data fill only the first: the bitmap is there, in
  // colour 0 where no data reached.
  const TRasterPicture picture(Write("big.gif", ScreenWithFourGreys(20000, 10000) +
                                                    Descriptor(20000, 10000) + Bytes({2}) +
                                                    SubBlocks(LiteralStream({3})) + ";"));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
  EXPECT_EQ(picture.BitsSize(), 200000000u);
  EXPECT_EQ(picture.PixelIndex(0, 0), 3);
  EXPECT_EQ(picture.PixelIndex(19999, 9999), 0);
}

// A picture of one colour shown through a local table of 16 entries, which makes it go
// through the 8-colour conversion.
TGifPicture Flat(int width, int height, Rgb color) {
  TGifPicture gif = test::SimpleGif(
      width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height, 5), 4);
  gif.Frames[0].LocalColors.assign(16, Rgb{});
  gif.Frames[0].LocalColors[5] = color;
  return gif;
}

TEST_F(RasterPictureTest, LargeLocalTableIsShownInEightDitherColours) {
  const TRasterPicture picture(Write("grey.gif", Flat(11, 9, Rgb{128, 128, 128})));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
  EXPECT_EQ(picture.BitCount(), 4);
  EXPECT_EQ(picture.ColorTableBits(), 4);
  EXPECT_EQ(picture.RowStride(), 8);  // 11 pixels of 4 bits, in whole words
  EXPECT_EQ(picture.GetDisplayInfo().bmiHeader.biBitCount, 4);
  const TPaletteColor corners[8] = {{0, 0, 0},   {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                    {0, 0, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(picture.GetPalette()[static_cast<std::size_t>(i)], corners[i]) << i;
    const TRgbQuad& quad = picture.GetDisplayInfo().bmiColors[static_cast<std::size_t>(i)];
    EXPECT_EQ(quad, (TRgbQuad{corners[i].Blue, corners[i].Green, corners[i].Red, 0})) << i;
  }
  // Grey 128 becomes a checkerboard of white and black, white at the top left corner.
  std::vector<std::uint8_t> line(11);
  for (int y = 0; y < 9; ++y) {
    picture.CopyIndexLine(y, line.data());
    for (int x = 0; x < 11; ++x) {
      ASSERT_EQ(picture.PixelIndex(x, y), (x + y) % 2 == 0 ? 7 : 0) << x << ", " << y;
      ASSERT_EQ(line[static_cast<std::size_t>(x)], (x + y) % 2 == 0 ? 7 : 0);
    }
  }
  // Two pixels a byte, the left one in the high half; the bottom line comes first.
  EXPECT_EQ(picture.Bits()[0], 0x70);  // line 8 starts white, black
  EXPECT_EQ(picture.Bits()[8], 0x07);  // line 7 starts black, white
}

TEST_F(RasterPictureTest, DitherLevelsFollowTheMatrix) {
  // The matrix holds 0 to 63 once each, so in every 8 x 8 block a channel of value v is on
  // at ceil(v / 4) places (all 64 from 253 up), and a place on at one level is on at every
  // higher level.
  std::vector<bool> previous(64, false);
  for (int level = 0; level < 256; ++level) {
    const TRasterPicture picture(
        Write("level.gif", Flat(16, 16, Rgb{static_cast<std::uint8_t>(level), 0, 0})));
    ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
    std::vector<bool> on(64, false);
    int count = 0;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const int index = picture.PixelIndex(x, y);
        ASSERT_TRUE(index == 0 || index == 1) << "only red may be on";
        const bool lit = index == 1;
        if (x < 8 && y < 8) {
          on[static_cast<std::size_t>(8 * y + x)] = lit;
          count += lit ? 1 : 0;
        } else {
          ASSERT_EQ(lit, on[static_cast<std::size_t>(8 * (y % 8) + x % 8)]) << "period 8";
        }
      }
    }
    EXPECT_EQ(count, std::min(64, (level + 3) / 4)) << level;
    for (std::size_t i = 0; i < 64; ++i) EXPECT_TRUE(!previous[i] || on[i]) << level;
    previous = on;
  }
}

TEST_F(RasterPictureTest, ChannelsDitherIndependently) {
  const TRasterPicture magenta(Write("m.gif", Flat(4, 4, Rgb{255, 0, 255})));
  const TRasterPicture cyan(Write("c.gif", Flat(4, 4, Rgb{0, 255, 255})));
  ASSERT_EQ(magenta.GetStatus(), kRasterLoaded);
  ASSERT_EQ(cyan.GetStatus(), kRasterLoaded);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(magenta.PixelColor(x, y), (TPaletteColor{255, 0, 255}));
      EXPECT_EQ(cyan.PixelColor(x, y), (TPaletteColor{0, 255, 255}));
    }
  }
}

TEST_F(RasterPictureTest, SmallLocalTableKeepsTheFilesColours) {
  // A local table of two entries has 0 in its size field: no conversion.
  TGifPicture gif = test::SimpleGif(3, 1, {0, 1, 1}, 4);
  gif.Frames[0].LocalColors = {Rgb{10, 20, 30}, Rgb{128, 128, 128}};
  const TRasterPicture picture(Write("two.gif", gif));
  ASSERT_EQ(picture.GetStatus(), kRasterLoaded);
  EXPECT_EQ(picture.BitCount(), 8);
  EXPECT_EQ(picture.PixelColor(0, 0), (TPaletteColor{10, 20, 30}));
  EXPECT_EQ(picture.PixelColor(2, 0), (TPaletteColor{128, 128, 128}));
  // The local table replaced the global one: its third entry is black, not grey.
  EXPECT_EQ(picture.GetPalette()[2], TPaletteColor{});
}

TEST(FitPictureToClientTest, ExamplesOfTheDisplay) {
  const TPictureFit small = FitPictureToClient(100, 50, 400, 300);
  EXPECT_EQ(small.Picture, (TPixelRect{0, 0, 100, 50}));
  ASSERT_EQ(small.WhiteAreaCount, 2);
  EXPECT_EQ(small.WhiteAreas[0], (TPixelRect{100, 0, 300, 300}));
  EXPECT_EQ(small.WhiteAreas[1], (TPixelRect{0, 50, 100, 250}));
  EXPECT_EQ(FitPictureToClient(400, 100, 200, 200).Picture, (TPixelRect{0, 0, 200, 50}));
  EXPECT_EQ(FitPictureToClient(100, 400, 200, 200).Picture, (TPixelRect{0, 0, 50, 200}));
  // Exactly fitting: no white at all.
  EXPECT_EQ(FitPictureToClient(200, 100, 200, 100).WhiteAreaCount, 0);
  // Too wide by one pixel: the height shrinks by truncation.
  EXPECT_EQ(FitPictureToClient(201, 100, 200, 300).Picture, (TPixelRect{0, 0, 200, 99}));
}

TEST(FitPictureToClientTest, DegenerateSizes) {
  EXPECT_EQ(FitPictureToClient(100, 50, 0, 0).Picture, (TPixelRect{0, 0, 0, 0}));
  EXPECT_EQ(FitPictureToClient(100, 50, -5, 30).Picture, (TPixelRect{0, 0, 0, 0}));
  EXPECT_EQ(FitPictureToClient(100, 50, 0, 0).WhiteAreaCount, 0);
  const TPictureFit empty = FitPictureToClient(0, 0, 10, 10);
  EXPECT_EQ(empty.Picture, (TPixelRect{0, 0, 0, 0}));
  ASSERT_EQ(empty.WhiteAreaCount, 1);
  EXPECT_EQ(empty.WhiteAreas[0], (TPixelRect{0, 0, 10, 10}));
}

TEST(FitPictureToClientTest, PictureAndWhiteAreasTileTheClientArea) {
  std::mt19937 random(42);
  for (int i = 0; i < 2000; ++i) {
    const int width = 1 + static_cast<int>(random() % 3000);
    const int height = 1 + static_cast<int>(random() % 3000);
    const int cw = static_cast<int>(random() % 1500);
    const int ch = static_cast<int>(random() % 1500);
    const TPictureFit fit = FitPictureToClient(width, height, cw, ch);
    const TPixelRect& p = fit.Picture;
    ASSERT_LE(p.Width, std::min(width, cw));
    ASSERT_LE(p.Height, std::min(height, ch));
    // Shrunk pictures touch the client edge that limits them and keep their proportion
    // within the one pixel that truncation loses.
    if (width > cw || height > ch) {
      ASSERT_TRUE(p.Width == cw || p.Height == ch);
      ASSERT_NEAR(static_cast<double>(p.Width) * height, static_cast<double>(p.Height) * width,
                  std::max(width, height) + 1.0);
    }
    std::int64_t area = static_cast<std::int64_t>(p.Width) * p.Height;
    for (int a = 0; a < fit.WhiteAreaCount; ++a) {
      const TPixelRect& w = fit.WhiteAreas[static_cast<std::size_t>(a)];
      ASSERT_GT(w.Width, 0);
      ASSERT_GT(w.Height, 0);
      ASSERT_LE(w.Left + w.Width, cw);
      ASSERT_LE(w.Top + w.Height, ch);
      // The white areas never cover the picture.
      ASSERT_TRUE(w.Left >= p.Width || w.Top >= p.Height);
      area += static_cast<std::int64_t>(w.Width) * w.Height;
    }
    ASSERT_EQ(area, static_cast<std::int64_t>(cw) * ch);
  }
}

}  // namespace
}  // namespace pix
