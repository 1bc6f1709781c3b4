#include "picture/comwrite.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/comread.h"
#include "support/detail_capture.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

using test::Bytes;

// SOF0 of 7 x 5, one component.
const std::string kFrame = Bytes({0xFF, 0xC0, 0x00, 0x0B,        // SOF0, length 11 = 8 + 3 * 1
                                  0x08, 0x00, 0x05, 0x00, 0x07,  // precision, height, width
                                  0x01, 0x01, 0x11, 0x00});      // one component
// SOS, one byte of scan data, EOI.
const std::string kScan =
    Bytes({0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x55, 0xFF, 0xD9});
// DHT with a 4-byte body.
const std::string kTable = Bytes({0xFF, 0xC4, 0x00, 0x06, 0x00, 0x01, 0x02, 0x03});

std::string Com(const std::string& text) { return test::ComSegment(text); }

// The bytes the writer puts between an 0xFF and the code it precedes: FE, length, text, FF.
std::string Inserted(const std::string& text) { return Com(text).substr(1) + "\xFF"; }

class ComWriteTest : public testing::Test {
 protected:
  // Writes `input`, adds `text` as a comment into a second file and returns that file's
  // bytes, or "" when the writer failed.
  std::string Rewrite(const std::string& input, const std::string& text) {
    test::WriteFile(dir_ / "in.jpg", input);
    std::filesystem::remove(dir_ / "out.jpg");
    test::DetailCapture capture;
    last_ = WriteJpegComment(dir_ / "in.jpg", dir_ / "out.jpg", text);
    diagnostics_ = capture.Text();
    return last_.ok() ? test::ReadFile(dir_ / "out.jpg") : "";
  }

  std::size_t FilesInDir() const { return test::CountEntries(dir_.path()); }

  test::TempDir dir_;
  Status last_;
  std::string diagnostics_;
};

TEST_F(ComWriteTest, CaptionReplacesItsOwnSegmentAndEveryOtherByteStays) {
  // Another program's comment, holding what looks like a frame header, a scan and EOI.
  const std::string foreign = Com(std::string("abc") + kFrame + "\xFF\xDA\xFF\xD9");
  const std::string input =
      Bytes({0xFF, 0xD8}) + foreign + kTable + Com("Title:\r\nOld\r\n\r\n") + kFrame + kScan;
  const std::string once = Rewrite(input, "Title:\r\nNew\r\n\r\n");
  EXPECT_EQ(once, Bytes({0xFF, 0xD8}) + foreign + kTable + Com("Title:\r\nNew\r\n\r\n") + kFrame +
                      kScan);
  // Saving again replaces the same segment: one caption, wherever the saves stop.
  const std::string twice = Rewrite(once, "Title:\r\nNewer\r\n\r\n");
  EXPECT_EQ(twice, Bytes({0xFF, 0xD8}) + foreign + kTable + Com("Title:\r\nNewer\r\n\r\n") +
                       kFrame + kScan);
  const JpegHeader info = test::HeaderOf((dir_ / "out.jpg"));
  EXPECT_EQ(info.comments, "Title:\r\nNewer\r\n\r\n");
}

TEST_F(ComWriteTest, OlderCaptionsAreDroppedSoThatNoHistoryIsPublished) {
  // Earlier saves left a caption with a phone number the user has since removed; the
  // current caption is the last one, and another program's comment lies between them.
  const std::string stale = Com("Title:\r\nCall 555 0100\r\n\r\n");
  const std::string foreign = Com("Created with GIMP");
  const std::string input = Bytes({0xFF, 0xD8}) + stale + foreign + Com("Title:\r\nBeach\r\n\r\n") +
                            kTable + kFrame + kScan;
  EXPECT_EQ(Rewrite(input, "Title:\r\nDunes\r\n\r\n"),
            Bytes({0xFF, 0xD8}) + foreign + Com("Title:\r\nDunes\r\n\r\n") + kTable + kFrame +
                kScan);
  // Emptying the caption leaves no caption segment, and another program's comment stays.
  EXPECT_EQ(Rewrite(input, ""), Bytes({0xFF, 0xD8}) + foreign + kTable + kFrame + kScan);
}

TEST_F(ComWriteTest, ACaptionNeverDisplacesAnotherProgramsComment) {
  // With only another program's comment the picture has no caption: it gets a segment of
  // its own, and the reader takes the caption over the comment.
  const std::string foreign = Com("Created with GIMP");
  const std::string input = Bytes({0xFF, 0xD8}) + foreign + kFrame + kScan;
  EXPECT_EQ(Rewrite(input, "Title:\r\nSea\r\n\r\n"),
            Bytes({0xFF, 0xD8}) + foreign + Com("Title:\r\nSea\r\n\r\n") + kFrame + kScan);

  // A comment behind the frame header stays there; the caption goes in front of the frame.
  const std::string behind = Bytes({0xFF, 0xD8}) + kFrame + foreign + kScan;
  EXPECT_EQ(Rewrite(behind, "Title:\r\nSea\r\n\r\n"),
            Bytes({0xFF, 0xD8}) + Com("Title:\r\nSea\r\n\r\n") + kFrame + foreign + kScan);
  const JpegHeader info = test::HeaderOf((dir_ / "out.jpg"));
  EXPECT_EQ(info.comments, "Title:\r\nSea\r\n\r\n");

  // A caption behind the frame header is the current one: it moves in front of the frame.
  const std::string caption_behind =
      Bytes({0xFF, 0xD8}) + kFrame + Com("Title:\r\nOld\r\n\r\n") + kScan;
  EXPECT_EQ(Rewrite(caption_behind, "Title:\r\nNew\r\n\r\n"),
            Bytes({0xFF, 0xD8}) + Com("Title:\r\nNew\r\n\r\n") + kFrame + kScan);

  // Saving no caption into a picture that has none changes nothing, and writes nothing.
  test::WriteFile(dir_ / "same.jpg", input);
  const ino_t before = test::StatOf(dir_ / "same.jpg").st_ino;
  ASSERT_TRUE(WriteJpegCommentInPlace(dir_ / "same.jpg", "").ok());
  EXPECT_EQ(test::ReadFile(dir_ / "same.jpg"), input);
  EXPECT_EQ(test::StatOf(dir_ / "same.jpg").st_ino, before);
}

TEST_F(ComWriteTest, PlainTextReplacesTheCommentTheReaderShows) {
  // Text that is not variable records (as `pixamond comment --set` may give) replaces the
  // picture's comment, which is what `pixamond comment` printed.
  EXPECT_EQ(Rewrite(Bytes({0xFF, 0xD8}) + Com("older") + kTable + kFrame + kScan, "x"),
            Bytes({0xFF, 0xD8}) + Com("x") + kTable + kFrame + kScan);
  EXPECT_EQ(Rewrite(Bytes({0xFF, 0xD8}) + kFrame + Com("old") + kScan, "new"),
            Bytes({0xFF, 0xD8}) + Com("new") + kFrame + kScan);
}

TEST_F(ComWriteTest, LongSegmentsAreCopiedByUnsignedLengths) {
  // An APP2 segment of length 0x8090: both length bytes are 0x80 or more. Its body holds a
  // frame header that must not trigger the insertion.
  std::string body = kFrame + std::string(0x8090 - 2 - kFrame.size(), '\xAA');
  const std::string app = Bytes({0xFF, 0xE2, 0x80, 0x90}) + body;
  const std::string input = Bytes({0xFF, 0xD8}) + app + kFrame + kScan;
  EXPECT_EQ(Rewrite(input, "t"),
            Bytes({0xFF, 0xD8}) + app + "\xFF" + Inserted("t") + kFrame.substr(1) + kScan);

  // A text of 16383 bytes gives the length field 0x4001.
  const std::string out = Rewrite(Bytes({0xFF, 0xD8}) + kFrame + kScan, std::string(16383, 'q'));
  EXPECT_EQ(out.substr(2, 4), Bytes({0xFF, 0xFE, 0x40, 0x01}));
}

TEST_F(ComWriteTest, InputsTheReaderCallsCorruptAreRefusedWithItsMessage) {
  const std::string corrupt = "JPEG file " + (dir_ / "in.jpg").string() + " is corrupt";
  for (const std::string& input :
       {std::string("GIF89a"),
        Bytes({0xFF, 0xD8}) + kScan,   // A scan without a frame header.
        Bytes({0xFF, 0xD8}) + kTable,  // Ends before any frame header.
        Bytes({0xFF, 0xD8, 0xFF, 0xD9}),  // Nothing between start and end of image.
        std::string()}) {
    EXPECT_EQ(Rewrite(input, "x"), "");
    EXPECT_EQ(last_.code(), Status::Code::kCorrupt);
    EXPECT_EQ(last_.message(), corrupt);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.jpg"));
    EXPECT_EQ(FilesInDir(), 1u);  // Only the input: no temporary file is left behind.
  }
}

TEST_F(ComWriteTest, TextLongerThanASegmentCanHoldIsRefused) {
  const std::string input = Bytes({0xFF, 0xD8}) + kFrame + kScan;
  EXPECT_NE(Rewrite(input, std::string(kMaxComSegmentText, 'a')), "");
  EXPECT_EQ(Rewrite(input, std::string(kMaxComSegmentText + 1, 'a')), "");
  EXPECT_EQ(last_.code(), Status::Code::kTooLarge);
  EXPECT_NE(last_.message().find("65533"), std::string::npos) << last_.message();
}

TEST_F(ComWriteTest, InPlaceChangeLeavesNoTemporaryFile) {
  const std::filesystem::path picture = dir_ / "photo.jpg";
  test::WriteFile(picture, test::MakeJpeg(test::SampleArt()));
  ASSERT_TRUE(WriteJpegCommentInPlace(picture, "Title:\r\nSea\r\n\r\n").ok());
  const JpegHeader info = test::HeaderOf(picture);
  EXPECT_EQ(info.comments, "Title:\r\nSea\r\n\r\n");
  EXPECT_EQ(info.width, 9);
  EXPECT_EQ(FilesInDir(), 1u);

  EXPECT_EQ(WriteJpegCommentInPlace(dir_ / "missing.jpg", "x").code(), Status::Code::kNotFound);
}

TEST_F(ComWriteTest, Utf8TextIsWrittenByteForByteAndReadsBackWhole) {
  const std::string input = Bytes({0xFF, 0xD8}) + kFrame + kScan;
  const std::string text =
      "Title:\r\nD\xC3\xBCnes au cr\xC3\xA9puscule\r\n\r\n"
      "Place:\r\nZ\xC3\xBCrich caf\xC3\xA9 \xE2\x80\x93 5 \xE2\x82\xAC\r\n\r\n";
  EXPECT_EQ(Rewrite(input, text),
            Bytes({0xFF, 0xD8, 0xFF}) + Inserted(text) + kFrame.substr(1) + kScan)
      << last_.message();
  EXPECT_EQ(test::HeaderOf(dir_ / "out.jpg").comments, text);

  // Control characters are written as given; the reader leaves them out, and the check of
  // the new file expects exactly that.
  EXPECT_NE(Rewrite(input, "caf\xC3\xA9\x01\x1B\x7F!"), "") << last_.message();
  EXPECT_EQ(test::HeaderOf(dir_ / "out.jpg").comments, "caf\xC3\xA9!\r\n");
}

// ---- Several saves checked with the tools of other programs ------------------------------

// The marker segments of a JPEG file from SOI up to its scan, one string each (the 0xFF and
// code included); the last string is the rest of the file from the scan on.
std::vector<std::string> SplitSegments(const std::string& file) {
  std::vector<std::string> segments{file.substr(0, 2)};
  std::size_t at = 2;
  while (at + 4 <= file.size()) {
    const auto code = static_cast<unsigned char>(file[at + 1]);
    if (code == 0xDA || code == 0xD9) break;
    const std::size_t length = static_cast<unsigned char>(file[at + 2]) * 256u +
                               static_cast<unsigned char>(file[at + 3]);
    segments.push_back(file.substr(at, 2 + length));
    at += 2 + length;
  }
  segments.push_back(file.substr(at));
  return segments;
}

// A progressive picture (scans and tables after the first scan) that another program has
// commented, with EXIF and XMP segments, after three captions were saved into it; the last
// one is kCaption. Every byte but the caption's stays, so every decoder sees the same pixels.
class CaptionSavesTest : public testing::Test {
 protected:
  static constexpr const char* kForeign = "Created with GIMP";
  static constexpr const char* kCaption = "DetailPageTitle:\r\nDunes at dusk\r\n\r\n";

  void SetUp() override {
    test::JpegOptions options;
    options.kind = test::JpegKind::kProgressive;
    // EXIF: a little-endian TIFF header and one empty directory.
    options.app1_payload = std::string("Exif\0\0II*\0\x08\0\0\0\0\0\0\0\0\0", 20);
    options.segments = {
        {0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
                "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li "
                "xml:lang='x-default'>Dunes</rdf:li></rdf:Alt></dc:title></rdf:Description>"
                "</rdf:RDF></x:xmpmeta>"}};
    options.comments = {kForeign};
    original_ = test::MakeJpeg(test::GradientArt(37, 23), options);
    test::WriteFile(picture_, original_);
    test::DetailCapture capture;
    for (const char* caption :
         {"DetailPageTitle:\r\nFirst\r\n\r\nImageDescription:\r\nCall 555 0100\r\n\r\n",
          "DetailPageTitle:\r\nSecond\r\n\r\n", kCaption}) {
      ASSERT_TRUE(WriteJpegCommentInPlace(picture_, caption).ok());
    }
  }

  test::TempDir dir_;
  std::filesystem::path picture_ = dir_ / "dunes.jpg";
  std::string original_;
};

TEST_F(CaptionSavesTest, OneCaptionSegmentIsAddedAndEveryOtherSegmentStaysAsItWas) {
  std::vector<std::string> expected = SplitSegments(original_);
  const auto frame = std::find_if(expected.begin(), expected.end(), [](const std::string& s) {
    return s.size() > 1 && static_cast<unsigned char>(s[1]) == 0xC2;  // progressive frame
  });
  ASSERT_NE(frame, expected.end());
  expected.insert(frame, Com(kCaption));
  EXPECT_EQ(SplitSegments(test::ReadFile(picture_)), expected);
}

TEST_F(CaptionSavesTest, ExiftoolReadsTheForeignCommentFirstAndTheXmpUnchanged) {
  if (!test::ToolAvailable("exiftool")) GTEST_SKIP() << "exiftool (libimage-exiftool-perl) is missing";
  std::string comment;
  ASSERT_EQ(test::RunTool("exiftool -s3 -Comment " + test::ShellQuote(picture_), &comment), 0);
  EXPECT_EQ(comment, std::string(kForeign) + "\n");
  std::string title;
  ASSERT_EQ(test::RunTool("exiftool -s3 -XMP-dc:Title " + test::ShellQuote(picture_), &title), 0);
  EXPECT_EQ(title, "Dunes\n");
  std::string warnings;
  test::RunTool("exiftool -s3 -Warning " + test::ShellQuote(picture_), &warnings);
  EXPECT_EQ(warnings, "");
}

}  // namespace
}  // namespace pix
