// Full-colour inline and detail images: how close they come to an exact reduction of the
// picture, that they stand upright, that they carry the colour profile and nothing else of
// the picture's metadata, and when they are made again.
#include "picture/webimage.h"

#include <gtest/gtest.h>
#include <webp/decode.h>

#include <cmath>
#include <filesystem>

#include "picture/decjpeg.h"
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
test::TPixelArt DetailedArt(int width, int height) {
  test::TPixelArt art;
  art.Width = width;
  art.Height = height;
  art.Pixels.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      test::Rgb& p = art.Pixels[static_cast<std::size_t>(y) * width + x];
      const int stripe = ((x / 2 + y / 3) % 3 == 0) ? 60 : 0;
      p.R = static_cast<std::uint8_t>(std::min(255, 40 + x * 180 / width + stripe));
      p.G = static_cast<std::uint8_t>(std::min(255, 30 + y * 200 / height + ((x * y) % 7 == 0 ? 50 : 0)));
      p.B = static_cast<std::uint8_t>(std::min(255, 90 + ((x + y) % 5) * 25));
    }
  }
  return art;
}

// The exact reduction by a whole factor: every block of pixels averaged in linear light.
TRgbPicture BlockAverage(const TRgbPicture& in, int factor) {
  TRgbPicture out;
  out.Width = in.Width / factor;
  out.Height = in.Height / factor;
  out.Pixels.resize(static_cast<std::size_t>(out.Width) * out.Height * 3);
  for (int y = 0; y < out.Height; ++y) {
    for (int x = 0; x < out.Width; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int dy = 0; dy < factor; ++dy) {
          for (int dx = 0; dx < factor; ++dx) {
            sum += Linear(in.Pixels[(static_cast<std::size_t>(y * factor + dy) * in.Width +
                                     x * factor + dx) * 3 + c]);
          }
        }
        out.Pixels[(static_cast<std::size_t>(y) * out.Width + x) * 3 + c] =
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

class WebImageTest : public testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(WebImageTest, ReductionHappensInLinearLight) {
  // Black and white stripes one pixel wide, halved: the light of each pair is half of
  // white's, which sRGB writes as 188, not the 128 of averaging the coded values.
  TRgbPicture stripes;
  stripes.Width = 40;
  stripes.Height = 2;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 40; ++x) {
      const std::uint8_t v = x % 2 ? 255 : 0;
      stripes.Pixels.insert(stripes.Pixels.end(), {v, v, v});
    }
  }
  stripes.IccProfile = {1, 2, 3};
  const TRgbPicture half = ResampleInLinearLight(stripes, 20, 1);
  ASSERT_EQ(half.Pixels.size(), 60u);
  // Away from the edges, where the filter reaches past the picture.
  for (std::size_t i = 4 * 3; i < 16 * 3; ++i) EXPECT_NEAR(half.Pixels[i], 188, 1) << i;
  EXPECT_EQ(half.IccProfile, stripes.IccProfile);
  // Enlarging keeps a flat colour flat.
  TRgbPicture grey;
  grey.Width = grey.Height = 3;
  grey.Pixels.assign(27, 77);
  for (const std::uint8_t v : ResampleInLinearLight(grey, 7, 5).Pixels) EXPECT_EQ(v, 77);
}

TEST_F(WebImageTest, JpegAndWebPInlineImagesComeCloseToTheExactReduction) {
  const fs::path source = dir / "detail.jpg";
  test::TJpegOptions fine;
  fine.Quality = 95;
  test::WriteFile(source, test::MakeJpeg(DetailedArt(900, 600), fine));
  Result<TRgbPicture> full = DecodeJpegToRgb(source, 0, 0);
  ASSERT_TRUE(full.ok()) << full.status().message();
  // A sixth: the decoder's nearest scale (2/8) leaves the GIF path pixels to drop.
  const TRgbPicture reference = BlockAverage(*full, 6);

  TWebImageRequest request;
  request.Source = source;
  request.Width = 150;
  request.Height = 100;
  request.Target = dir / "inline" / "detail.jpg";
  fs::create_directories(dir / "inline");
  ASSERT_TRUE(MakeWebImage(request).ok());
  const test::TDecodedJpeg jpeg = test::DecodeJpegBytes(test::ReadFile(request.Target));
  ASSERT_EQ(jpeg.Width, 150);
  ASSERT_EQ(jpeg.Height, 100);
  ASSERT_EQ(jpeg.Components, 3);
  // Measured: 38.7 dB at quality 82 (WebP 38.4 dB); the GIF path's inline image of the same
  // size, a 256-colour picture with pixels dropped, 30.5 dB.
  const double jpegPsnr = Psnr(jpeg.Samples, reference.Pixels);
  EXPECT_GT(jpegPsnr, 36.0);
  const fs::path gifFile = dir / "inline" / "detail.gif";
  ASSERT_TRUE(MakeJpegInlineImage(source, gifFile, 150, 100).ok());
  const test::TGifPicture gif = test::ReadGif(gifFile);
  ASSERT_EQ(gif.Frames.size(), 1u);
  std::vector<std::uint8_t> gifPixels;
  for (const std::uint8_t index : gif.Frames[0].Pixels) {
    const test::Rgb& colour = gif.GlobalColors[index];
    gifPixels.insert(gifPixels.end(), {colour.R, colour.G, colour.B});
  }
  EXPECT_GT(jpegPsnr, Psnr(gifPixels, reference.Pixels) + 3.0);

  request.Target = dir / "inline" / "detail.webp";
  request.Format = TWebImageFormat::kWebP;
  ASSERT_TRUE(MakeWebImage(request).ok());
  int width = 0;
  int height = 0;
  const std::vector<std::uint8_t> webp = DecodeWebPFile(request.Target, &width, &height);
  ASSERT_EQ(width, 150);
  ASSERT_EQ(height, 100);
  EXPECT_GT(Psnr(webp, reference.Pixels), 36.0);
}

TEST_F(WebImageTest, APictureStoredOnItsSideComesOutUprightWithOnlyItsColourProfile) {
  // Red on the left half, blue on the right, stored turned: EXIF 6 says a quarter turn
  // clockwise shows it upright, so the left (red) comes to the top.
  test::TPixelArt art;
  art.Width = 64;
  art.Height = 32;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) {
      art.Pixels.push_back(x < 32 ? test::Rgb{220, 20, 20} : test::Rgb{20, 20, 220});
    }
  }
  const std::string profile = "a colour profile's bytes";
  test::TJpegOptions options;
  test::TExifFields exif;
  exif.Orientation = 6;
  exif.Make = "Camera Maker";
  options.Segments.push_back(test::ExifSegment(exif));
  options.Segments.push_back({0xE2, std::string("ICC_PROFILE\0\1\1", 14) + profile});
  const fs::path source = dir / "side.jpg";
  test::WriteFile(source, test::MakeJpeg(art, options));

  for (const TWebImageFormat format : {TWebImageFormat::kJpeg, TWebImageFormat::kWebP}) {
    TWebImageRequest request;
    request.Source = source;
    request.Target = dir / (format == TWebImageFormat::kJpeg ? "up.jpg" : "up.webp");
    request.Format = format;
    request.Width = 16;  // Upright: taller than wide.
    request.Height = 32;
    request.Orientation = TOrientation::kRotate90;
    ASSERT_TRUE(MakeWebImage(request).ok());
    int width = 0;
    int height = 0;
    ASSERT_TRUE(GetWebImageSize(request.Target, &width, &height).ok());
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 32);
    const std::string bytes = test::ReadFile(request.Target);
    EXPECT_NE(bytes.find(profile), std::string::npos) << "the colour profile is kept";
    EXPECT_EQ(bytes.find("Exif"), std::string::npos) << "no EXIF data is published";
    EXPECT_EQ(bytes.find("Camera Maker"), std::string::npos);
    if (format == TWebImageFormat::kJpeg) {
      const test::TDecodedJpeg jpeg = test::DecodeJpegBytes(bytes);
      EXPECT_GT(jpeg.Samples[(2 * 16 + 8) * 3], 150) << "red at the top";
      EXPECT_GT(jpeg.Samples[(29 * 16 + 8) * 3 + 2], 150) << "blue at the bottom";
    }
  }
}

TEST_F(WebImageTest, ImagesMadeFromOneDecodeEachHaveTheirSizeStandUprightAndStayClose) {
  // The detailed picture stored on its side: EXIF 6 turns it a quarter clockwise, so the
  // upright picture is 600 x 900 and its top row is the stored picture's left column.
  const fs::path source = dir / "detail.jpg";
  test::TJpegOptions options;
  options.Quality = 95;
  test::TExifFields exif;
  exif.Orientation = 6;
  options.Segments.push_back(test::ExifSegment(exif));
  test::WriteFile(source, test::MakeJpeg(DetailedArt(900, 600), options));
  Result<TRgbPicture> full = DecodeJpegToRgb(source, 0, 0);
  ASSERT_TRUE(full.ok()) << full.status().message();
  const TRgbPicture reference = TurnUpright(BlockAverage(*full, 6), TOrientation::kRotate90);

  std::vector<TWebImageRequest> requests(3);
  for (TWebImageRequest& request : requests) {
    request.Source = source;
    request.Orientation = TOrientation::kRotate90;
  }
  requests[0].Target = dir / "inline.jpg";  // The inline image, upright.
  requests[0].Width = 100;
  requests[0].Height = 150;
  requests[1].Target = dir / "detail.webp";  // The detail image, three times larger.
  requests[1].Format = TWebImageFormat::kWebP;
  requests[1].Width = 300;
  requests[1].Height = 450;
  requests[2].Target = dir / "none.jpg";  // No image can have no pixels.
  requests[2].Width = 0;
  requests[2].Height = 10;
  const std::vector<Status> outcomes = MakeWebImages(requests);
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_TRUE(outcomes[0].ok()) << outcomes[0].message();
  EXPECT_TRUE(outcomes[1].ok()) << outcomes[1].message();
  EXPECT_EQ(outcomes[2].code(), Status::Code::kInvalidArgument);
  EXPECT_FALSE(fs::exists(requests[2].Target));

  const test::TDecodedJpeg inlineImage =
      test::DecodeJpegBytes(test::ReadFile(requests[0].Target));
  ASSERT_EQ(inlineImage.Width, 100);
  ASSERT_EQ(inlineImage.Height, 150);
  // Reduced from the pixels decoded for the larger image, the inline image comes at least as
  // close to the exact reduction as one decoded for itself (measured: 40.4 dB).
  EXPECT_GT(Psnr(inlineImage.Samples, reference.Pixels), 36.0);
  int width = 0;
  int height = 0;
  const std::vector<std::uint8_t> detail = DecodeWebPFile(requests[1].Target, &width, &height);
  ASSERT_EQ(width, 300);
  ASSERT_EQ(height, 450);
  // The detail image, brought down to the inline image's size, shows the same upright
  // picture (measured: 39.3 dB); one turned the wrong way would not come near.
  TRgbPicture detailPicture;
  detailPicture.Width = width;
  detailPicture.Height = height;
  detailPicture.Pixels = detail;
  EXPECT_GT(Psnr(BlockAverage(detailPicture, 3).Pixels, reference.Pixels), 33.0);
}

TEST_F(WebImageTest, ADamagedPictureStillGetsItsImagesAndItsDamageIsHandedBack) {
  const std::string whole = test::MakeJpeg(test::GradientArt(64, 48));
  test::WriteFile(dir / "cut.jpg", test::CutInsideScan(whole));
  test::WriteFile(dir / "whole.jpg", whole);
  std::vector<TWebImageRequest> requests(2);
  std::vector<std::string> seen(2);
  std::vector<std::string> targetWhenSeen(2);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    requests[i].Source = dir / "cut.jpg";
    requests[i].before_replace = [&, i](const fs::path& finished) {
      seen[i] = test::ReadFile(finished);
      targetWhenSeen[i] = test::ReadFile(requests[i].Target);
      return Status::OK();
    };
  }
  requests[0].Target = dir / "inline.jpg";
  requests[0].Width = 32;
  requests[0].Height = 24;
  requests[1].Target = dir / "detail.webp";
  requests[1].Format = TWebImageFormat::kWebP;
  requests[1].Width = 64;
  requests[1].Height = 48;
  test::WriteFile(requests[1].Target, "old detail image");
  test::TDetailCapture capture;
  std::vector<std::string> damages = {"left from before"};
  std::vector<Status> outcomes = MakeWebImages(requests, &damages);
  ASSERT_TRUE(outcomes[0].ok() && outcomes[1].ok())
      << outcomes[0].message() << outcomes[1].message();
  EXPECT_EQ(damages, std::vector<std::string>(2, "Premature end of JPEG file"));
  EXPECT_EQ(targetWhenSeen, (std::vector<std::string>{"", "old detail image"}));
  for (std::size_t i = 0; i < requests.size(); ++i) {
    EXPECT_FALSE(seen[i].empty());
    EXPECT_EQ(test::ReadFile(requests[i].Target), seen[i]) << i;
  }

  // The whole picture is clean; a failing hook keeps the detail image made above.
  const std::string detail = seen[1];
  for (TWebImageRequest& request : requests) request.Source = dir / "whole.jpg";
  requests[1].before_replace = [](const fs::path&) { return Status::IoError("no notes"); };
  outcomes = MakeWebImages(requests, &damages);
  EXPECT_TRUE(outcomes[0].ok()) << outcomes[0].message();
  EXPECT_EQ(outcomes[1].message(), "no notes");
  EXPECT_EQ(damages, std::vector<std::string>(2, ""));
  EXPECT_EQ(test::ReadFile(requests[1].Target), detail);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 4) << "no temporary file";
}

TEST_F(WebImageTest, GifPicturesBecomeFullColourImages) {
  test::WriteGifPicture(dir / "drawing.gif", 40, 30, true);
  TWebImageRequest request;
  request.Source = dir / "drawing.gif";
  request.bSourceIsJpeg = false;
  request.Target = dir / "drawing.jpg";
  request.Width = 20;
  request.Height = 15;
  ASSERT_TRUE(MakeWebImage(request).ok());
  int width = 0;
  int height = 0;
  ASSERT_TRUE(GetWebImageSize(request.Target, &width, &height).ok());
  EXPECT_EQ(width, 20);
  EXPECT_EQ(height, 15);
}

}  // namespace
}  // namespace pix
