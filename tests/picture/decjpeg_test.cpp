#include "picture/decjpeg.h"
#include "picture/inlinegif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/detail_capture.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

using test::JpegKind;

class DecJpegTest : public testing::Test {
 protected:
  std::filesystem::path WriteJpeg(const test::PixelArt& art, JpegKind kind) {
    test::JpegOptions options;
    options.kind = kind;
    test::WriteFile(dir_ / "photo.jpg", test::MakeJpeg(art, options));
    return dir_ / "photo.jpg";
  }

  Status MakeInline(int width, int height, InlineGifOptions options = {}) {
    test::DetailCapture capture;
    Status status = MakeJpegInlineImage(dir_ / "photo.jpg", dir_ / "inline" / "photo.gif", width,
                                        height, options);
    diagnostics_ = capture.Text();
    return status;
  }

  test::GifPicture Inline() { return test::ReadGif(dir_ / "inline" / "photo.gif"); }

  // Everything in the inline folder: the inline image and nothing else, or nothing.
  std::size_t FilesInInlineDir() const { return test::CountEntries(dir_ / "inline"); }

  void SetUp() override { std::filesystem::create_directories(dir_ / "inline"); }

  test::TempDir dir_;
  std::string diagnostics_;
};

// The colour the GIF shows at (x, y) of its first frame.
test::Rgb ColourAt(const test::GifPicture& gif, int x, int y) {
  return gif.global_colors.at(gif.frames.at(0).At(x, y));
}

bool Near(const test::Rgb& a, const test::Rgb& b, int tolerance) {
  return std::abs(a.R - b.R) <= tolerance && std::abs(a.G - b.G) <= tolerance &&
         std::abs(a.B - b.B) <= tolerance;
}

TEST(DecJpegScaleTest, SmallestEighthThatStillCoversTheDisplaySize) {
  EXPECT_EQ(ChooseDctScaleEighths(4000, 3000, 200, 150), 1);  // 500 x 375 is enough
  EXPECT_EQ(ChooseDctScaleEighths(1000, 500, 200, 100), 2);   // 125 x 63 is not
  EXPECT_EQ(ChooseDctScaleEighths(1599, 1199, 200, 150), 1);  // sides are rounded up
  EXPECT_EQ(ChooseDctScaleEighths(1590, 1190, 200, 150), 2);
  EXPECT_EQ(ChooseDctScaleEighths(800, 600, 700, 10), 7);
  EXPECT_EQ(ChooseDctScaleEighths(50, 40, 100, 80), 8);  // smaller than the box: full size
}

// Both ways of choosing the colours of an inline image.
InlineGifOptions WithPalette(InlinePalette palette) {
  InlineGifOptions options;
  options.palette = palette;
  return options;
}
constexpr InlinePalette kPalettes[] = {InlinePalette::kDither, InlinePalette::kMedianCut};

TEST_F(DecJpegTest, EveryKindOfColourPictureKeepsItsColours) {
  const test::PixelArt art = test::SampleArt();
  for (const InlinePalette palette : kPalettes) {
  for (JpegKind kind :
       {JpegKind::kBaseline, JpegKind::kProgressive, JpegKind::kCmyk, JpegKind::kYcck}) {
    WriteJpeg(art, kind);
    ASSERT_TRUE(MakeInline(9, 7, WithPalette(palette)).ok()) << static_cast<int>(kind) << diagnostics_;
    const test::GifPicture gif = Inline();
    EXPECT_EQ(gif.signature, "GIF87a");
    ASSERT_EQ(gif.frames.size(), 1u);
    EXPECT_FALSE(gif.frames[0].interlace);
    EXPECT_TRUE(gif.frames[0].local_colors.empty());
    EXPECT_LE(gif.global_colors.size(), 256u);
    // The middle of each coloured block, away from the chroma blur at the edges.
    for (auto [x, y] : {std::pair{1, 1}, {7, 1}, {1, 5}, {7, 5}}) {
      EXPECT_TRUE(Near(ColourAt(gif, x, y), art.At(x, y), 40))
          << "kind " << static_cast<int>(kind) << " at " << x << "," << y;
    }
    EXPECT_EQ(FilesInInlineDir(), 1u);
  }
  }
}

TEST_F(DecJpegTest, AProgressivePictureDecodesToThePixelsOfItsBaselineTwin) {
  // The same pixels stored baseline and progressive carry the same coefficients; the
  // progressive one is decoded through arrays of the whole picture's coefficients, which
  // must hand every block back where it belongs, at every scale and in pictures whose sides
  // are no multiple of a block, with colour halved each way. A small picture's arrays come
  // from the library's pool; a large one's from huge pages that another picture's arrays
  // held just before, which must come back cleared.
  for (const auto& [width, height] : {std::pair{203, 131}, std::pair{1403, 1001}}) {
    test::PixelArt art = test::GradientArt(width, height);
    test::JpegOptions options;
    test::WriteFile(dir_ / "baseline.jpg", test::MakeJpeg(art, options));
    options.kind = JpegKind::kProgressive;
    test::WriteFile(dir_ / "progressive.jpg", test::MakeJpeg(art, options));
    for (test::Rgb& pixel : art.pixels) pixel = {pixel.B, 255, pixel.R};
    test::WriteFile(dir_ / "other.jpg", test::MakeJpeg(art, options));
    // Whole, at 6/8 and at 3/8 (at 1/8 a progressive picture is read only in part).
    for (const auto& [fit_width, fit_height] :
         {std::pair{0, 0}, {width * 7 / 10, height * 7 / 10}, {width * 3 / 10, height * 3 / 10}}) {
      Result<RgbPicture> baseline = DecodeJpegToRgb(dir_ / "baseline.jpg", fit_width, fit_height);
      ASSERT_TRUE(DecodeJpegToRgb(dir_ / "other.jpg", fit_width, fit_height).ok());
      Result<RgbPicture> progressive =
          DecodeJpegToRgb(dir_ / "progressive.jpg", fit_width, fit_height);
      ASSERT_TRUE(baseline.ok() && progressive.ok());
      EXPECT_EQ(progressive->width, baseline->width);
      EXPECT_EQ(progressive->height, baseline->height);
      EXPECT_TRUE(progressive->pixels == baseline->pixels) << width << " fit " << fit_width;
    }
  }
  // The large picture's huge pages wait for the next one until the run gives them back.
  EXPECT_GE(SpareDecodingMemory(), std::uint64_t{2} << 20);
  ReleaseSpareDecodingMemory();
  EXPECT_EQ(SpareDecodingMemory(), 0u);
  Result<RgbPicture> again = DecodeJpegToRgb(dir_ / "progressive.jpg", 0, 0);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again->pixels.size(), std::size_t{1403} * 1001 * 3);
}

TEST(JpegRowEncoderTest, AnImageGivenTooFewRowsIsRefused) {
  JpegRowEncoder encoder;
  ASSERT_TRUE(encoder.Start(640, 480, 82, {}, "short.jpg").ok());
  const std::vector<std::uint8_t> row(640 * 3, 128);
  for (int y = 0; y < 479; ++y) encoder.Row(row.data());
  EXPECT_FALSE(encoder.Finish().ok());
}

TEST_F(DecJpegTest, GreyPictureGetsAGreyRamp) {
  WriteJpeg(test::SampleArt(), JpegKind::kGrey);
  ASSERT_TRUE(MakeInline(9, 7).ok());
  const test::GifPicture gif = Inline();
  ASSERT_EQ(gif.global_colors.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    const auto level = static_cast<std::uint8_t>(i);
    ASSERT_EQ(gif.global_colors[i], (test::Rgb{level, level, level}));
  }
  // White stays white, red becomes its luminance.
  EXPECT_GE(gif.frames[0].At(4, 3), 245);
  EXPECT_NEAR(gif.frames[0].At(1, 1), (220 * 299 + 20 * 587 + 30 * 114) / 1000, 12);
}

TEST_F(DecJpegTest, SmallPictureIsDecodedWholeAndEnlargedByReplication) {
  WriteJpeg(test::SampleArt(), JpegKind::kBaseline);
  for (const InlinePalette palette : kPalettes) {
  ASSERT_TRUE(MakeInline(18, 14, WithPalette(palette)).ok());
  const test::GifPicture gif = Inline();
  ASSERT_EQ(gif.screen_width, 18);
  const test::GifFrame& frame = gif.frames.at(0);
  // Doubling: output pixels 2x-1 and 2x (and lines likewise) share one input pixel.
  for (int y = 1; y + 1 < 14; y += 2) {
    for (int x = 1; x + 1 < 18; x += 2) {
      EXPECT_EQ(frame.At(x, y), frame.At(x + 1, y + 1)) << x << "," << y;
    }
  }
  }
}

TEST_F(DecJpegTest, DecoderScalesToFitASize) {
  WriteJpeg(test::GradientArt(403, 301), JpegKind::kBaseline);
  const auto decoded_size = [&](int fit_width, int fit_height) {
    Result<IndexedPicture> decoded = DecodeJpegToPalette(dir_ / "photo.jpg", fit_width, fit_height);
    EXPECT_TRUE(decoded.ok()) << decoded.status().message();
    return decoded.ok() ? std::pair{decoded->width, decoded->height} : std::pair{0, 0};
  };
  EXPECT_EQ(decoded_size(0, 0), (std::pair{403, 301}));
  EXPECT_EQ(decoded_size(100, 60), (std::pair{101, 76}));  // 2/8, rounded up

  // Both reductions end in an inline image of the display size.
  ASSERT_TRUE(MakeInline(100, 75).ok());
  InlineGifOptions full;
  full.reduction = DecodeReduction::kFullSize;
  ASSERT_TRUE(MakeInline(100, 75, full).ok());
  EXPECT_EQ(Inline().screen_width, 100);
}

TEST_F(DecJpegTest, UnusableInputsFailAndKeepTheOldInlineImage) {
  test::WriteFile(dir_ / "inline" / "photo.gif", "old inline image");
  test::WriteFile(dir_ / "photo.jpg", "GIF89a not a JPEG");
  EXPECT_EQ(MakeInline(9, 7).code(), Status::Code::kCorrupt);
  EXPECT_EQ(diagnostics_, "Not a JPEG file: starts with 0x47 0x49\n");

  WriteJpeg(test::SampleArt(), JpegKind::kTwoChannel);
  EXPECT_FALSE(MakeInline(9, 7).ok());
  EXPECT_EQ(diagnostics_, "GIF output must be grayscale or RGB\n");

  std::filesystem::remove(dir_ / "photo.jpg");
  EXPECT_EQ(MakeInline(9, 7).code(), Status::Code::kNotFound);
  EXPECT_EQ(MakeInline(0, 7).code(), Status::Code::kInvalidArgument);

  EXPECT_EQ(test::ReadFile(dir_ / "inline" / "photo.gif"), "old inline image");
  EXPECT_EQ(FilesInInlineDir(), 1u);
}

TEST_F(DecJpegTest, PictureCutAnywhereFailsOrComesOutWithAWarning) {
  const std::string whole = test::MakeJpeg(test::GradientArt(33, 17));
  const std::size_t scan = whole.find("\xFF\xDA");
  // Every third byte through the tables, every byte around the scan header, then a few
  // cuts inside the scan data.
  const auto next = [&](std::size_t cut) {
    return cut + (cut + 8 < scan ? 3 : cut < scan + 16 ? 1 : 61);
  };
  for (std::size_t cut = 0; cut < whole.size(); cut = next(cut)) {
    test::WriteFile(dir_ / "photo.jpg", whole.substr(0, cut));
    std::filesystem::remove(dir_ / "inline" / "photo.gif");
    const Status made = MakeInline(20, 10);
    if (cut < scan) {
      EXPECT_FALSE(made.ok()) << "cut at " << cut;
    } else if (cut >= scan + 14) {
      // Cut inside the scan data: the library fills in the rest and warns once.
      EXPECT_TRUE(made.ok()) << "cut at " << cut << ": " << made.message();
      EXPECT_EQ(diagnostics_.rfind("Premature end of JPEG file\nGifRSize: Image 1", 0), 0u)
          << "cut at " << cut << ": " << diagnostics_;
    }
    // Inside the scan header either may happen, but never a half-made inline image.
    EXPECT_EQ(FilesInInlineDir(), made.ok() ? 1u : 0u) << "cut at " << cut;
  }
}

TEST_F(DecJpegTest, DamageTheDecoderFillsInIsHandedBackWithTheImage) {
  const std::filesystem::path inline_file = dir_ / "inline" / "photo.gif";
  for (const JpegKind kind : {JpegKind::kBaseline, JpegKind::kCmyk}) {
    test::JpegOptions options;
    options.kind = kind;
    const std::string whole = test::MakeJpeg(test::GradientArt(33, 17), options);
    test::WriteFile(dir_ / "photo.jpg", whole);
    std::string damage = "left from before";
    test::DetailCapture capture;
    InlineGifOptions inline_options;
    inline_options.damage = &damage;
    ASSERT_TRUE(MakeJpegInlineImage(dir_ / "photo.jpg", inline_file, 20, 10, inline_options).ok());
    EXPECT_EQ(damage, "");
    test::WriteFile(dir_ / "photo.jpg", test::CutInsideScan(whole));
    const Status made =
        MakeJpegInlineImage(dir_ / "photo.jpg", inline_file, 20, 10, inline_options);
    ASSERT_TRUE(made.ok()) << made.message();
    EXPECT_EQ(damage, "Premature end of JPEG file");
    EXPECT_EQ(Inline().screen_width, 20);
    EXPECT_NE(capture.Text().find("Premature end of JPEG file\n"), std::string::npos);
  }
}

TEST_F(DecJpegTest, TheHookSeesTheInlineImageBeforeItReplacesTheOldOne) {
  WriteJpeg(test::SampleArt(), JpegKind::kBaseline);
  const std::filesystem::path inline_file = dir_ / "inline" / "photo.gif";
  test::WriteFile(inline_file, "old inline image");
  test::DetailCapture capture;
  std::string seen;
  const auto note = [&](const std::filesystem::path& finished) {
    EXPECT_EQ(test::ReadFile(inline_file), "old inline image");
    seen = test::ReadFile(finished);
    return Status::OK();
  };
  InlineGifOptions options;
  options.before_replace = note;
  ASSERT_TRUE(MakeJpegInlineImage(dir_ / "photo.jpg", inline_file, 9, 7, options).ok());
  EXPECT_EQ(seen.rfind("GIF87a", 0), 0u);
  EXPECT_EQ(test::ReadFile(inline_file), seen);
  // A hook that fails stops the replacement: the inline image made before stays.
  const auto refuse = [](const std::filesystem::path&) { return Status::IoError("no notes"); };
  options.before_replace = refuse;
  EXPECT_EQ(MakeJpegInlineImage(dir_ / "photo.jpg", inline_file, 18, 14, options).message(),
            "no notes");
  EXPECT_EQ(test::ReadFile(inline_file), seen);
  EXPECT_EQ(FilesInInlineDir(), 1u);
}

// A picture with detail in every block and every channel, so that each scan of a
// progressive file carries much.
test::PixelArt BusyArt(int width, int height) {
  test::PixelArt art;
  art.width = width;
  art.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      art.pixels.push_back({static_cast<std::uint8_t>((x * 37 + y * 11) % 256),
                            static_cast<std::uint8_t>(((x / 3) * (y / 5) * 13) % 256),
                            static_cast<std::uint8_t>((x ^ y) * 5 % 256)});
    }
  }
  return art;
}

TEST_F(DecJpegTest, ProgressivePicturesAtTheSmallestScaleAreDecodedFromTheirFirstScans) {
  const test::PixelArt art = BusyArt(256, 192);
  test::JpegOptions options;
  const std::string baseline = test::MakeJpeg(art, options);
  options.kind = JpegKind::kProgressive;
  const std::string progressive = test::MakeJpeg(art, options);
  // The same coefficients, sent in one scan and in ten: decoded whole, the same pixels.
  test::WriteFile(dir_ / "baseline.jpg", baseline);
  test::WriteFile(dir_ / "progressive.jpg", progressive);
  Result<RgbPicture> reference = DecodeJpegToRgb(dir_ / "baseline.jpg", 32, 24);
  Result<RgbPicture> early = DecodeJpegToRgb(dir_ / "progressive.jpg", 32, 24);
  ASSERT_TRUE(reference.ok() && early.ok());
  ASSERT_EQ(early->width, 32);
  ASSERT_EQ(early->height, 24);
  // The coefficients of the first scans may lack their last bit, which moves a pixel of
  // this busy picture by a level or two on average, by one colour quantization step at most.
  int worst = 0;
  long long total = 0;
  for (std::size_t i = 0; i < reference->pixels.size(); ++i) {
    const int difference = std::abs(reference->pixels[i] - early->pixels[i]);
    worst = std::max(worst, difference);
    total += difference;
  }
  EXPECT_LE(worst, 16);
  EXPECT_LE(static_cast<double>(total) / reference->pixels.size(), 2.0);
  // Cut inside the scan of the luma's fine detail: at the smallest scale the cut is never
  // reached, so the picture comes out whole and without a warning; at a larger scale the
  // decoder runs into it.
  std::size_t scan = 0;
  for (int k = 0; k < 5; ++k) scan = progressive.find("\xFF\xDA", scan + 1);
  ASSERT_NE(scan, std::string::npos);
  test::WriteFile(dir_ / "cut.jpg", progressive.substr(0, scan + 200));
  {
    test::DetailCapture capture;
    Result<RgbPicture> cut = DecodeJpegToRgb(dir_ / "cut.jpg", 32, 24);
    ASSERT_TRUE(cut.ok());
    EXPECT_EQ(cut->pixels, early->pixels);
    EXPECT_EQ(capture.Text(), "");
  }
  test::DetailCapture capture;
  ASSERT_TRUE(DecodeJpegToRgb(dir_ / "cut.jpg", 64, 48).ok());
  EXPECT_NE(capture.Text().find("Premature end of JPEG file"), std::string::npos);
  // The inline image of a progressive picture is made the same way, colour map and all.
  test::WriteFile(dir_ / "photo.jpg", progressive);
  ASSERT_TRUE(MakeInline(32, 24).ok()) << diagnostics_;
  EXPECT_EQ(Inline().screen_width, 32);
  EXPECT_TRUE(Near(ColourAt(Inline(), 5, 5),
                   {early->pixels[(5 * 32 + 5) * 3], early->pixels[(5 * 32 + 5) * 3 + 1],
                    early->pixels[(5 * 32 + 5) * 3 + 2]},
                   24));
}

TEST_F(DecJpegTest, InlineImageOfATurnedPictureIsUpright) {
  // The upright scene: red top-left, green top-right, blue bottom-left, yellow bottom-right,
  // wider than high. Each tag value stores it as a camera held that way would, written here
  // from the tag's meaning: which side of the scene the stored first row and first column
  // show.
  const std::vector<std::vector<std::string>> stored = {
      {"rrrggg", "rrrggg", "bbbyyy", "bbbyyy"},          // 1: top, left
      {"gggrrr", "gggrrr", "yyybbb", "yyybbb"},          // 2: top, right
      {"yyybbb", "yyybbb", "gggrrr", "gggrrr"},          // 3: bottom, right
      {"bbbyyy", "bbbyyy", "rrrggg", "rrrggg"},          // 4: bottom, left
      {"rrbb", "rrbb", "rrbb", "ggyy", "ggyy", "ggyy"},  // 5: left, top
      {"ggyy", "ggyy", "ggyy", "rrbb", "rrbb", "rrbb"},  // 6: right, top
      {"yygg", "yygg", "yygg", "bbrr", "bbrr", "bbrr"},  // 7: right, bottom
      {"bbrr", "bbrr", "bbrr", "yygg", "yygg", "yygg"},  // 8: left, bottom
  };
  const test::PixelArt upright = test::ParseArt({"rg", "by"});
  for (int tag = 1; tag <= 8; ++tag) {
    // Blocks of 8 x 8 pixels keep their colour in the middle through JPEG's chroma blur.
    WriteJpeg(test::EnlargeArt(test::ParseArt(stored[tag - 1]), 8), JpegKind::kBaseline);
    test::DetailCapture capture;
    InlineGifOptions options;
    options.orientation = OrientationFromTag(tag);
    options.palette = kPalettes[tag % 2];
    ASSERT_TRUE(MakeJpegInlineImage(dir_ / "photo.jpg", dir_ / "inline" / "photo.gif", 24, 16,
                                    options)
                    .ok())
        << capture.Text();
    const test::GifPicture gif = Inline();
    ASSERT_EQ(gif.screen_width, 24) << "tag " << tag;
    ASSERT_EQ(gif.screen_height, 16) << "tag " << tag;
    EXPECT_EQ(gif.signature, "GIF87a");
    for (int qy = 0; qy < 2; ++qy) {
      for (int qx = 0; qx < 2; ++qx) {
        EXPECT_TRUE(Near(ColourAt(gif, 6 + qx * 12, 4 + qy * 8), upright.At(qx, qy), 40))
            << "tag " << tag << ", quarter " << qx << "," << qy;
      }
    }
    EXPECT_EQ(FilesInInlineDir(), 1u) << "no temporary file is left, tag " << tag;
  }
}


// A sink that claims most of the memory decoders share, so that a second such decoding
// must wait for the first, and that holds its decoding at the first row until let go.
class HeldRows : public RgbRowSink {
 public:
  explicit HeldRows(std::uint64_t megabytes = 90) : bytes_(megabytes << 20) {}
  std::uint64_t MemoryFor(int, int) override { return bytes_; }
  void Begin(int, int, const std::vector<std::uint8_t>&) override {
    std::unique_lock<std::mutex> lock(mutex_);
    begun_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return let_go_; });
  }
  void Row(const std::uint8_t*) override {}
  void WaitUntilBegun() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return begun_; });
  }
  void LetGo() {
    std::lock_guard<std::mutex> lock(mutex_);
    let_go_ = true;
    changed_.notify_all();
  }

 private:
  std::uint64_t bytes_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool begun_ = false;
  bool let_go_ = false;
};

TEST_F(DecJpegTest, ADecoderWaitingForMemoryDoesItsThreadsWaitWorkWithoutNestingIt) {
  const std::filesystem::path picture = WriteJpeg(test::SampleArt(), JpegKind::kBaseline);
  HeldRows first;
  std::thread holder([&] { EXPECT_TRUE(DecodeJpegRows(picture, 0, 0, first).ok()); });
  first.WaitUntilBegun();

  // A small share goes on beside it, past the budget (a baseline picture's buffers).
  {
    const DecodeWaitWork never([&](std::uint64_t) {
      ADD_FAILURE() << "a small share waited";
      first.LetGo();
      return false;
    });
    HeldRows small(12);
    small.LetGo();
    EXPECT_TRUE(DecodeJpegRows(picture, 0, 0, small).ok());
  }

  // This decoding must wait for the first: its thread's work runs meanwhile, once. A
  // decoding inside that work waits for its memory too, without running the work again.
  int calls = 0;
  const DecodeWaitWork meanwhile([&](std::uint64_t room) {
    ++calls;
    EXPECT_EQ(room, std::uint64_t{6} << 20) << "the budget less the first's share";
    first.LetGo();
    HeldRows nested;
    nested.LetGo();
    EXPECT_TRUE(DecodeJpegRows(picture, 0, 0, nested).ok());
    return true;
  });
  HeldRows second;
  second.LetGo();
  EXPECT_TRUE(DecodeJpegRows(picture, 0, 0, second).ok());
  holder.join();
  EXPECT_EQ(calls, 1);

  // With nothing to wait for, the work is not done at all.
  HeldRows alone;
  alone.LetGo();
  EXPECT_TRUE(DecodeJpegRows(picture, 0, 0, alone).ok());
  EXPECT_EQ(calls, 1);
}

TEST_F(DecJpegTest, OnlyAProgressivePictureHoldsWholePictureBuffers) {
  // Luma alone is two bytes a pixel of coefficients; colour adds to it.
  test::JpegOptions progressive;
  progressive.kind = JpegKind::kProgressive;
  test::WriteFile(dir_ / "progressive.jpg", test::MakeJpeg(test::GradientArt(64, 48), progressive));
  EXPECT_GE(WholePictureMemoryOf(dir_ / "progressive.jpg"), std::uint64_t{64} * 48 * 2);
  EXPECT_EQ(WholePictureMemoryOf(WriteJpeg(test::GradientArt(64, 48), JpegKind::kBaseline)), 0u);
  EXPECT_EQ(WholePictureMemoryOf(dir_ / "missing.jpg"), 0u);
  test::WriteFile(dir_ / "garbage.jpg", "not a picture");
  EXPECT_EQ(WholePictureMemoryOf(dir_ / "garbage.jpg"), 0u);
}

}  // namespace
}  // namespace pix
