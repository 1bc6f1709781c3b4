// Full-colour inline and detail images: how close they come to an exact reduction of the
// picture, that they stand upright, that they carry the colour profile and nothing else of
// the picture's metadata, and when they are made again.
#include "picture/webimage.h"

#include <gtest/gtest.h>
#include <webp/decode.h>

#include <cmath>
#include <filesystem>

#include "picture/decjpeg.h"
#include "picture/inlinegif.h"
#include "support/detail_capture.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

double Linear(int v) {
  const double c = v / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

int Encoded(double l) {
  const double v = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(std::min(1.0, std::max(0.0, v)) * 255));
}

// A detailed photograph-like picture: smooth colour ramps under fine stripes and dots, the
// kind of detail that dropping pixels turns into noise.
test::PixelArt DetailedArt(int width, int height) {
  test::PixelArt art;
  art.width = width;
  art.height = height;
  art.pixels.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      test::Rgb& p = art.pixels[static_cast<std::size_t>(y) * width + x];
      const int stripe = ((x / 2 + y / 3) % 3 == 0) ? 60 : 0;
      p.R = static_cast<std::uint8_t>(std::min(255, 40 + x * 180 / width + stripe));
      p.G = static_cast<std::uint8_t>(std::min(255, 30 + y * 200 / height + ((x * y) % 7 == 0 ? 50 : 0)));
      p.B = static_cast<std::uint8_t>(std::min(255, 90 + ((x + y) % 5) * 25));
    }
  }
  return art;
}

// The exact reduction by a whole factor: every block of pixels averaged in linear light.
RgbPicture BlockAverage(const RgbPicture& in, int factor) {
  RgbPicture out;
  out.width = in.width / factor;
  out.height = in.height / factor;
  out.pixels.resize(static_cast<std::size_t>(out.width) * out.height * 3);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int dy = 0; dy < factor; ++dy) {
          for (int dx = 0; dx < factor; ++dx) {
            sum += Linear(in.pixels[(static_cast<std::size_t>(y * factor + dy) * in.width +
                                     x * factor + dx) * 3 + c]);
          }
        }
        out.pixels[(static_cast<std::size_t>(y) * out.width + x) * 3 + c] =
            static_cast<std::uint8_t>(Encoded(sum / (factor * factor)));
      }
    }
  }
  return out;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  EXPECT_EQ(a.size(), b.size());
  double squared = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    squared += d * d;
  }
  const double mse = squared / static_cast<double>(a.size());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::vector<std::uint8_t> DecodeWebPFile(const fs::path& path, int* width, int* height) {
  const std::string bytes = test::ReadFile(path);
  std::uint8_t* rgb = WebPDecodeRGB(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                    bytes.size(), width, height);
  std::vector<std::uint8_t> pixels;
  if (rgb != nullptr) pixels.assign(rgb, rgb + static_cast<std::size_t>(*width) * *height * 3);
  WebPFree(rgb);
  return pixels;
}

WebImageRequest Request(const fs::path& source, const fs::path& target, int width, int height,
                        WebImageFormat format = WebImageFormat::kJpeg,
                        Orientation orientation = Orientation::kNormal) {
  WebImageRequest request;
  request.source = source;
  request.target = target;
  request.width = width;
  request.height = height;
  request.format = format;
  request.orientation = orientation;
  return request;
}

class WebImageTest : public testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(WebImageTest, ReductionHappensInLinearLight) {
  // Black and white stripes one pixel wide, halved: the light of each pair is half of
  // white's, which sRGB writes as 188, not the 128 of averaging the coded values.
  RgbPicture stripes;
  stripes.width = 40;
  stripes.height = 2;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 40; ++x) {
      const std::uint8_t v = x % 2 ? 255 : 0;
      stripes.pixels.insert(stripes.pixels.end(), {v, v, v});
    }
  }
  stripes.icc_profile = {1, 2, 3};
  const RgbPicture half = ResampleInLinearLight(stripes, 20, 1);
  ASSERT_EQ(half.pixels.size(), 60u);
  // Away from the edges, where the filter reaches past the picture.
  for (std::size_t i = 4 * 3; i < 16 * 3; ++i) EXPECT_NEAR(half.pixels[i], 188, 1) << i;
  EXPECT_EQ(half.icc_profile, stripes.icc_profile);
  // Enlarging keeps a flat colour flat.
  RgbPicture grey;
  grey.width = grey.height = 3;
  grey.pixels.assign(27, 77);
  for (const std::uint8_t v : ResampleInLinearLight(grey, 7, 5).pixels) EXPECT_EQ(v, 77);
}

TEST_F(WebImageTest, AnImageOfThePicturesOwnSizeHoldsItsPixels) {
  // Every value in every neighbourhood, in rows of several lengths: the image is the
  // picture itself, whether the filter runs or is left out.
  for (const auto& [width, height] : {std::pair{256, 3}, std::pair{7, 300}, std::pair{1, 1}}) {
    RgbPicture picture;
    picture.width = width;
    picture.height = height;
    for (int i = 0; i < width * height * 3; ++i) {
      picture.pixels.push_back(static_cast<std::uint8_t>((i * 7 + i / 3 * 101) % 256));
    }
    EXPECT_EQ(ResampleInLinearLight(picture, width, height).pixels, picture.pixels)
        << width << "x" << height;
  }
}

TEST_F(WebImageTest, JpegAndWebPInlineImagesComeCloseToTheExactReduction) {
  const fs::path source = dir_ / "detail.jpg";
  test::JpegOptions fine;
  fine.quality = 95;
  test::WriteFile(source, test::MakeJpeg(DetailedArt(900, 600), fine));
  Result<RgbPicture> full = DecodeJpegToRgb(source, 0, 0);
  ASSERT_TRUE(full.ok()) << full.status().message();
  // A sixth: the decoder's nearest scale (2/8) leaves the GIF path pixels to drop.
  const RgbPicture reference = BlockAverage(*full, 6);

  WebImageRequest request = Request(source, dir_ / "inline" / "detail.jpg", 150, 100);
  fs::create_directories(dir_ / "inline");
  ASSERT_TRUE(MakeWebImage(request).ok());
  const test::DecodedJpeg jpeg = test::DecodeJpegBytes(test::ReadFile(request.target));
  ASSERT_EQ(jpeg.width, 150);
  ASSERT_EQ(jpeg.height, 100);
  ASSERT_EQ(jpeg.components, 3);
  // Measured: 38.7 dB at quality 82 (WebP 38.4 dB); the GIF path's inline image of the same
  // size, a 256-colour picture with pixels dropped, 30.5 dB.
  const double jpeg_psnr = Psnr(jpeg.samples, reference.pixels);
  EXPECT_GT(jpeg_psnr, 36.0);
  const fs::path gif_file = dir_ / "inline" / "detail.gif";
  ASSERT_TRUE(MakeJpegInlineImage(source, gif_file, 150, 100).ok());
  const test::GifPicture gif = test::ReadGif(gif_file);
  ASSERT_EQ(gif.frames.size(), 1u);
  std::vector<std::uint8_t> gif_pixels;
  for (const std::uint8_t index : gif.frames[0].pixels) {
    const test::Rgb& colour = gif.global_colors[index];
    gif_pixels.insert(gif_pixels.end(), {colour.R, colour.G, colour.B});
  }
  EXPECT_GT(jpeg_psnr, Psnr(gif_pixels, reference.pixels) + 3.0);

  request.target = dir_ / "inline" / "detail.webp";
  request.format = WebImageFormat::kWebP;
  ASSERT_TRUE(MakeWebImage(request).ok());
  int width = 0;
  int height = 0;
  const std::vector<std::uint8_t> webp = DecodeWebPFile(request.target, &width, &height);
  ASSERT_EQ(width, 150);
  ASSERT_EQ(height, 100);
  EXPECT_GT(Psnr(webp, reference.pixels), 36.0);
}

TEST_F(WebImageTest, APictureStoredOnItsSideComesOutUprightWithOnlyItsColourProfile) {
  // Red on the left half, blue on the right, stored turned: EXIF 6 says a quarter turn
  // clockwise shows it upright, so the left (red) comes to the top.
  test::PixelArt art;
  art.width = 64;
  art.height = 32;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) {
      art.pixels.push_back(x < 32 ? test::Rgb{220, 20, 20} : test::Rgb{20, 20, 220});
    }
  }
  const std::string profile = "a colour profile's bytes";
  test::JpegOptions options;
  test::ExifFields exif;
  exif.orientation = 6;
  exif.make = "Camera Maker";
  options.segments.push_back(test::ExifSegment(exif));
  options.segments.push_back({0xE2, std::string("ICC_PROFILE\0\1\1", 14) + profile});
  const fs::path source = dir_ / "side.jpg";
  test::WriteFile(source, test::MakeJpeg(art, options));

  for (const WebImageFormat format : {WebImageFormat::kJpeg, WebImageFormat::kWebP}) {
    // Upright: taller than wide.
    const WebImageRequest request =
        Request(source, dir_ / (format == WebImageFormat::kJpeg ? "up.jpg" : "up.webp"), 16, 32,
                format, Orientation::kRotate90);
    ASSERT_TRUE(MakeWebImage(request).ok());
    int width = 0;
    int height = 0;
    ASSERT_TRUE(GetWebImageSize(request.target, &width, &height).ok());
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 32);
    const std::string bytes = test::ReadFile(request.target);
    EXPECT_NE(bytes.find(profile), std::string::npos) << "the colour profile is kept";
    EXPECT_EQ(bytes.find("Exif"), std::string::npos) << "no EXIF data is published";
    EXPECT_EQ(bytes.find("Camera Maker"), std::string::npos);
    if (format == WebImageFormat::kJpeg) {
      const test::DecodedJpeg jpeg = test::DecodeJpegBytes(bytes);
      EXPECT_GT(jpeg.samples[(2 * 16 + 8) * 3], 150) << "red at the top";
      EXPECT_GT(jpeg.samples[(29 * 16 + 8) * 3 + 2], 150) << "blue at the bottom";
    }
  }
}

TEST_F(WebImageTest, ImagesMadeFromOneDecodeEachHaveTheirSizeStandUprightAndStayClose) {
  // The detailed picture stored on its side: EXIF 6 turns it a quarter clockwise, so the
  // upright picture is 600 x 900 and its top row is the stored picture's left column.
  const fs::path source = dir_ / "detail.jpg";
  test::JpegOptions options;
  options.quality = 95;
  test::ExifFields exif;
  exif.orientation = 6;
  options.segments.push_back(test::ExifSegment(exif));
  test::WriteFile(source, test::MakeJpeg(DetailedArt(900, 600), options));
  Result<RgbPicture> full = DecodeJpegToRgb(source, 0, 0);
  ASSERT_TRUE(full.ok()) << full.status().message();
  const RgbPicture reference = TurnUpright(BlockAverage(*full, 6), Orientation::kRotate90);

  // The inline image, upright; the detail image, three times larger; one of no pixels.
  const Orientation turned = Orientation::kRotate90;
  const std::vector<WebImageRequest> requests = {
      Request(source, dir_ / "inline.jpg", 100, 150, WebImageFormat::kJpeg, turned),
      Request(source, dir_ / "detail.webp", 300, 450, WebImageFormat::kWebP, turned),
      Request(source, dir_ / "none.jpg", 0, 10, WebImageFormat::kJpeg, turned)};
  const std::vector<Status> outcomes = MakeWebImages(requests);
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_TRUE(outcomes[0].ok()) << outcomes[0].message();
  EXPECT_TRUE(outcomes[1].ok()) << outcomes[1].message();
  EXPECT_EQ(outcomes[2].code(), Status::Code::kInvalidArgument);
  EXPECT_FALSE(fs::exists(requests[2].target));

  const test::DecodedJpeg inline_image =
      test::DecodeJpegBytes(test::ReadFile(requests[0].target));
  ASSERT_EQ(inline_image.width, 100);
  ASSERT_EQ(inline_image.height, 150);
  // Reduced from the pixels decoded for the larger image, the inline image comes at least as
  // close to the exact reduction as one decoded for itself (measured: 40.4 dB).
  EXPECT_GT(Psnr(inline_image.samples, reference.pixels), 36.0);
  int width = 0;
  int height = 0;
  const std::vector<std::uint8_t> detail = DecodeWebPFile(requests[1].target, &width, &height);
  ASSERT_EQ(width, 300);
  ASSERT_EQ(height, 450);
  // The detail image, brought down to the inline image's size, shows the same upright
  // picture (measured: 39.3 dB); one turned the wrong way would not come near.
  RgbPicture detail_picture;
  detail_picture.width = width;
  detail_picture.height = height;
  detail_picture.pixels = detail;
  EXPECT_GT(Psnr(BlockAverage(detail_picture, 3).pixels, reference.pixels), 33.0);
}

// The bytes EncodeJpegRgb writes for `picture`.
std::string EncodedJpeg(const RgbPicture& picture, const fs::path& file) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  EXPECT_NE(out, nullptr);
  if (out == nullptr) return {};
  const Status encoded = EncodeJpegRgb(picture, 82, out, file);
  std::fclose(out);
  EXPECT_TRUE(encoded.ok()) << encoded.message();
  return test::ReadFile(file);
}

TEST_F(WebImageTest, ImagesMadeAsThePictureIsDecodedAreThoseOfTheWholePicture) {
  // The images of one decode are reduced and encoded row by row as the picture is decoded;
  // they must be byte for byte those made from the whole decoded picture, each smaller one
  // from the pixels of the smallest image at least twice its size, for baseline pictures and
  // for progressive ones (whose coefficients the decoder keeps for the whole picture).
  for (const test::JpegKind kind : {test::JpegKind::kBaseline, test::JpegKind::kProgressive}) {
    const fs::path source = dir_ / "photo.jpg";
    test::JpegOptions options;
    options.kind = kind;
    test::WriteFile(source, test::MakeJpeg(DetailedArt(901, 603), options));
    Result<RgbPicture> full = DecodeJpegToRgb(source, 600, 402);
    ASSERT_TRUE(full.ok()) << full.status().message();
    const RgbPicture detail = ResampleInLinearLight(*full, 600, 402);
    const std::string want_detail = EncodedJpeg(detail, dir_ / "want-detail.jpg");
    const RgbPicture inline_picture = ResampleInLinearLight(detail, 240, 161);
    const std::string want_inline = EncodedJpeg(inline_picture, dir_ / "want-inline.jpg");
    // Half the inline image's size: reduced from its pixels, not from the detail image's.
    const std::string want_small =
        EncodedJpeg(ResampleInLinearLight(inline_picture, 120, 80), dir_ / "want-small.jpg");
    // Less than twice smaller than the detail image: reduced from the decoded picture.
    const std::string want_large =
        EncodedJpeg(ResampleInLinearLight(*full, 320, 214), dir_ / "want-large.jpg");

    std::vector<WebImageRequest> requests = {
        Request(source, dir_ / "inline.jpg", 240, 161),
        Request(source, dir_ / "detail.jpg", 600, 402),
        Request(source, dir_ / "large.jpg", 320, 214),
        Request(source, dir_ / "small.jpg", 120, 80)};
    for (WebImageRequest& request : requests) request.quality = 82;
    std::vector<Status> outcomes = MakeWebImages(requests);
    for (const Status& outcome : outcomes) ASSERT_TRUE(outcome.ok()) << outcome.message();
    EXPECT_EQ(test::ReadFile(dir_ / "detail.jpg"), want_detail) << static_cast<int>(kind);
    EXPECT_EQ(test::ReadFile(dir_ / "inline.jpg"), want_inline) << static_cast<int>(kind);
    EXPECT_EQ(test::ReadFile(dir_ / "large.jpg"), want_large) << static_cast<int>(kind);
    EXPECT_EQ(test::ReadFile(dir_ / "small.jpg"), want_small) << static_cast<int>(kind);

    // An image of the picture's own size is the decoded picture, and the one reduced from
    // it is the decoded picture's reduction.
    Result<RgbPicture> whole = DecodeJpegToRgb(source, 901, 603);
    ASSERT_TRUE(whole.ok()) << whole.status().message();
    const std::vector<WebImageRequest> own = {Request(source, dir_ / "own.jpg", 901, 603),
                                              Request(source, dir_ / "quarter.jpg", 225, 150)};
    for (const Status& outcome : MakeWebImages(own)) ASSERT_TRUE(outcome.ok()) << outcome.message();
    EXPECT_EQ(test::ReadFile(dir_ / "own.jpg"), EncodedJpeg(*whole, dir_ / "want-own.jpg"));
    EXPECT_EQ(test::ReadFile(dir_ / "quarter.jpg"),
              EncodedJpeg(ResampleInLinearLight(*whole, 225, 150), dir_ / "want-quarter.jpg"));

    // The detail image cannot be written (its folder is missing): the images reduced from
    // its rows are made all the same.
    fs::remove(dir_ / "inline.jpg");
    requests[1].target = dir_ / "missing" / "detail.jpg";
    outcomes = MakeWebImages(requests);
    EXPECT_FALSE(outcomes[1].ok());
    EXPECT_TRUE(outcomes[0].ok()) << outcomes[0].message();
    EXPECT_EQ(test::ReadFile(dir_ / "inline.jpg"), want_inline) << static_cast<int>(kind);
  }
}

TEST_F(WebImageTest, ADamagedPictureStillGetsItsImagesAndItsDamageIsHandedBack) {
  const std::string whole = test::MakeJpeg(test::GradientArt(64, 48));
  test::WriteFile(dir_ / "cut.jpg", test::CutInsideScan(whole));
  test::WriteFile(dir_ / "whole.jpg", whole);
  std::vector<WebImageRequest> requests = {
      Request(dir_ / "cut.jpg", dir_ / "inline.jpg", 32, 24),
      Request(dir_ / "cut.jpg", dir_ / "detail.webp", 64, 48, WebImageFormat::kWebP)};
  std::vector<std::string> seen(2);
  std::vector<std::string> target_when_seen(2);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    requests[i].before_replace = [&, i](const fs::path& finished) {
      seen[i] = test::ReadFile(finished);
      target_when_seen[i] = test::ReadFile(requests[i].target);
      return Status::OK();
    };
  }
  test::WriteFile(requests[1].target, "old detail image");
  test::DetailCapture capture;
  std::vector<std::string> damages = {"left from before"};
  std::vector<Status> outcomes = MakeWebImages(requests, &damages);
  ASSERT_TRUE(outcomes[0].ok() && outcomes[1].ok())
      << outcomes[0].message() << outcomes[1].message();
  EXPECT_EQ(damages, std::vector<std::string>(2, "Premature end of JPEG file"));
  EXPECT_EQ(target_when_seen, (std::vector<std::string>{"", "old detail image"}));
  for (std::size_t i = 0; i < requests.size(); ++i) {
    EXPECT_FALSE(seen[i].empty());
    EXPECT_EQ(test::ReadFile(requests[i].target), seen[i]) << i;
  }

  // The whole picture is clean; a failing hook keeps the detail image made above.
  const std::string detail = seen[1];
  for (WebImageRequest& request : requests) request.source = dir_ / "whole.jpg";
  requests[1].before_replace = [](const fs::path&) { return Status::IoError("no notes"); };
  outcomes = MakeWebImages(requests, &damages);
  EXPECT_TRUE(outcomes[0].ok()) << outcomes[0].message();
  EXPECT_EQ(outcomes[1].message(), "no notes");
  EXPECT_EQ(damages, std::vector<std::string>(2, ""));
  EXPECT_EQ(test::ReadFile(requests[1].target), detail);
  EXPECT_EQ(test::CountEntries(dir_.path()), 4u) << "no temporary file";
}

TEST_F(WebImageTest, GifPicturesBecomeFullColourImages) {
  test::WriteGifPicture(dir_ / "drawing.gif", 40, 30, true);
  WebImageRequest request = Request(dir_ / "drawing.gif", dir_ / "drawing.jpg", 20, 15);
  request.source_is_jpeg = false;
  ASSERT_TRUE(MakeWebImage(request).ok());
  int width = 0;
  int height = 0;
  ASSERT_TRUE(GetWebImageSize(request.target, &width, &height).ok());
  EXPECT_EQ(width, 20);
  EXPECT_EQ(height, 15);
}

}  // namespace
}  // namespace pix
