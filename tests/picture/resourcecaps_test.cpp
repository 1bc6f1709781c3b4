// The limits that a hostile picture cannot pass: a file that claims more pixels than any real
// picture has is refused with a clear failure before anything is decoded, and the output
// it would have replaced stays as it was.
#include <gtest/gtest.h>

#include "picture/decjpeg.h"
#include "picture/inlinegif.h"
#include "picture/gifrsize.h"
#include "picture/graphic.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// Every real photograph of up to 200 megapixels stays below each cap.
static_assert(kMaxJpegPicturePixels > 200'000'000);
static_assert(kMaxGifImagePixels > 200'000'000);
static_assert(kMaxRasterPicturePixels > 200'000'000);

TEST(ResourceCapsTest, AJpegClaimingTooManyPixelsIsRefusedBeforeDecoding) {
  test::TempDir dir;
  std::string jpeg = test::MakeJpeg(test::GradientArt(16, 16));
  const std::size_t frame = jpeg.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  jpeg[frame + 5] = jpeg[frame + 7] = '\xFF';  // 65500 lines of 65500 pixels.
  jpeg[frame + 6] = jpeg[frame + 8] = '\xDC';
  test::WriteFile(dir / "huge.jpg", jpeg);
  test::WriteFile(dir / "inline.gif", "the old inline image");

  const Status made = MakeJpegInlineImage(dir / "huge.jpg", dir / "inline.gif", 64, 48);
  EXPECT_EQ(made.code(), Status::Code::kTooLarge);
  EXPECT_NE(made.message().find("65500x65500 pixels"), std::string::npos) << made.message();
  EXPECT_EQ(test::ReadFile(dir / "inline.gif"), "the old inline image");
  EXPECT_EQ(test::CountEntries(dir.path()), 2u);
}

TEST(ResourceCapsTest, AGifClaimingTooManyPixelsIsRefusedByEveryReader) {
  test::TempDir dir;
  test::WriteFile(dir / "huge.gif", test::HugeGif(false));
  test::WriteFile(dir / "laced.gif", test::HugeGif(true));

  const Status resized = ResizeGifToSize(64, 48, dir / "huge.gif", dir / "out.gif");
  EXPECT_EQ(resized.code(), Status::Code::kTooLarge);
  EXPECT_NE(resized.message().find("65535x65535 pixels"), std::string::npos);
  const Status flat = DeinterlaceGif(dir / "laced.gif", dir / "flat.gif");
  EXPECT_EQ(flat.code(), Status::Code::kTooLarge);
  EXPECT_FALSE(fs::exists(dir / "out.gif"));
  EXPECT_FALSE(fs::exists(dir / "flat.gif"));
}

TEST(ResourceCapsTest, ResizedImagesKeepAPixelAndAFileWithoutImagesIsRefused) {
  test::TempDir dir;
  // A screen 4000 lines high holding an image of three lines: shrunk to 5 lines, the image
  // would round to no line at all.
  test::GifPicture tall = test::SimpleGif(4, 3, std::vector<std::uint8_t>(12, 1));
  tall.screen_height = 4000;
  test::WriteFile(dir / "tall.gif", test::MakeGif(tall));
  ASSERT_TRUE(ResizeGifToSize(8, 5, dir / "tall.gif", dir / "tall-out.gif").ok());
  const test::GifPicture out = test::ReadGif(dir / "tall-out.gif");
  ASSERT_EQ(out.frames.size(), 1u);
  EXPECT_EQ(out.frames[0].width * 100 + out.frames[0].height, 8 * 100 + 1);

  // A screen with no image at all gives no inline image.
  test::WriteFile(dir / "empty.gif",
                  test::Bytes({'G',  'I', 'F', '8', '9', 'a', 4,   0,   2,   0,
                               0x80, 0,   0,   0,   0,   0,   255, 255, 255, 0x3B}));
  const Status empty = ResizeGifToSize(8, 4, dir / "empty.gif", dir / "empty-out.gif");
  EXPECT_EQ(empty.code(), Status::Code::kCorrupt);
  EXPECT_NE(empty.message().find("has no image inside its logical screen"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "empty-out.gif"));
}

}  // namespace
}  // namespace pix
