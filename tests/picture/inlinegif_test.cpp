#include "picture/inlinegif.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

class InlineGifTest : public testing::Test {
 protected:
  // A picture and, newer than it, an inline GIF of width x height.
  void Make(int width, int height, std::chrono::seconds gifAge = std::chrono::seconds(-60)) {
    test::WriteFile(picture_, "picture bytes");
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    test::WriteFile(
        gif_, test::MakeGif(test::SimpleGif(width, height, std::vector<std::uint8_t>(pixels, 0))));
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(picture_, now - std::chrono::seconds(30));
    fs::last_write_time(gif_, now + gifAge);
  }

  test::TempDir dir_;
  fs::path picture_ = dir_ / "photo.jpg";
  fs::path gif_ = dir_ / "inline" / "photo.gif";
};

TEST_F(InlineGifTest, SizeWithinTwoPixelsOfTheWantedOneIsCurrent) {
  Make(98, 50, std::chrono::seconds(0));
  EXPECT_FALSE(IsInlineGifStale(picture_, gif_, 100, 50));
  EXPECT_FALSE(IsInlineGifStale(picture_, gif_, 98, 52));
  Make(97, 50, std::chrono::seconds(0));
  EXPECT_TRUE(IsInlineGifStale(picture_, gif_, 100, 50));
  EXPECT_TRUE(IsInlineGifStale(picture_, gif_, 97, 53));
}

TEST_F(InlineGifTest, OlderMissingOrUnreadableGifIsStale) {
  Make(100, 50, std::chrono::seconds(-60));
  EXPECT_TRUE(IsInlineGifStale(picture_, gif_, 100, 50)) << "older than its picture";
  fs::remove(gif_);
  EXPECT_TRUE(IsInlineGifStale(picture_, gif_, 100, 50));
  // The ending is accepted in any case; the file is missing.
  EXPECT_TRUE(IsInlineGifStale(picture_, dir_ / "inline" / "PHOTO.GIF", 100, 50));
  test::WriteFile(gif_, "GIF8");  // newer than the picture, but not a GIF file
  EXPECT_TRUE(IsInlineGifStale(picture_, gif_, 100, 50));
  // A screen of 100 x 50 announcing a 256-colour table, cut inside that table.
  test::WriteFile(gif_, std::string("GIF87a\x64\x00\x32\x00\xF7\x00\x00", 13) +
                            std::string(700, '\0'));
  EXPECT_TRUE(IsInlineGifStale(picture_, gif_, 100, 50));
  test::WriteFile(gif_, std::string("GIF87a\x64\x00\x32\x00\xF7\x00\x00", 13) +
                            std::string(768, '\0'));
  EXPECT_FALSE(IsInlineGifStale(picture_, gif_, 100, 50)) << "a whole table";
}

}  // namespace
}  // namespace pix
