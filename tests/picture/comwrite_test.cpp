#include "picture/comwrite.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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

std::string Com(const std::string& text) {
  const std::size_t length = text.size() + 2;
  return Bytes({0xFF, 0xFE, static_cast<int>(length >> 8), static_cast<int>(length & 0xFF)}) + text;
}

// The bytes the writer puts between an 0xFF and the code it precedes: FE, length, text, FF.
std::string Inserted(const std::string& text) { return Com(text).substr(1) + "\xFF"; }

class ComWriteTest : public testing::Test {
 protected:
  // Writes `input`, adds `text` as a comment into a second file and returns that file's
  // bytes, or "" when the writer failed.
  std::string Rewrite(const std::string& input, const std::string& text) {
    test::WriteFile(dir_ / "in.jpg", input);
    std::filesystem::remove(dir_ / "out.jpg");
    test::TDetailCapture capture;
    last_ = WriteJpegComment(dir_ / "in.jpg", dir_ / "out.jpg", text);
    diagnostics_ = capture.Text();
    return last_.ok() ? test::ReadFile(dir_ / "out.jpg") : "";
  }

  int FilesInDir() const {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      ++count;
    }
    return count;
  }

  test::TempDir dir_;
  Status last_;
  std::string diagnostics_;
};

TEST_F(ComWriteTest, SegmentGoesRightInFrontOfTheFrameHeaderOfAJfifFile) {
  const std::string input = test::MakeJpeg(test::SampleArt());
  const std::size_t frame = input.find("\xFF\xC0\x00\x11");
  ASSERT_NE(frame, std::string::npos);
  const std::string text = "ImageDescription:\r\nA red square\r\n\r\n";
  EXPECT_EQ(Rewrite(input, text),
            input.substr(0, frame + 1) + Inserted(text) + input.substr(frame + 1));
}

TEST_F(ComWriteTest, SegmentFollowsTablesAndEmptyTextGivesTheShortestSegment) {
  const std::string input = Bytes({0xFF, 0xD8}) + kTable + kFrame + kScan;
  EXPECT_EQ(Rewrite(input, ""), Bytes({0xFF, 0xD8}) + kTable +
                                    Bytes({0xFF, 0xFE, 0x00, 0x02, 0xFF}) + kFrame.substr(1) +
                                    kScan);
  // Without a frame header the segment goes in front of EOI.
  EXPECT_EQ(Rewrite(Bytes({0xFF, 0xD8, 0xFF, 0xD9}), "x"),
            Bytes({0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x03, 'x', 0xFF, 0xD9}));
}

TEST_F(ComWriteTest, OldCommentsStayAndAreSkippedByTheirLength) {
  // A foreign comment holding what looks like a frame header, a scan and EOI.
  const std::string foreign = Com(std::string("abc") + kFrame + "\xFF\xDA\xFF\xD9");
  const std::string input = Bytes({0xFF, 0xD8}) + foreign + kFrame + kScan;
  const std::string once = Rewrite(input, "new");
  EXPECT_EQ(once,
            Bytes({0xFF, 0xD8}) + foreign + "\xFF" + Inserted("new") + kFrame.substr(1) + kScan);
  // Saving twice leaves two added segments, the later one in front of the frame header.
  const std::string twice = Rewrite(once, "newer");
  EXPECT_EQ(twice, Bytes({0xFF, 0xD8}) + foreign + Com("new") + "\xFF" + Inserted("newer") +
                       kFrame.substr(1) + kScan);
  TFileImageInfo info;
  info.szFileName = (dir_ / "out.jpg").string();
  ReadJpegImageInfo(&info);
  EXPECT_EQ(info.szComments, "newer\r\n");
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

TEST_F(ComWriteTest, ThumbnailInsideApp1DoesNotTriggerTheInsertion) {
  test::TJpegOptions options;
  options.App1Payload = std::string("Exif\0\0", 6) + test::MakeJpeg(test::ParseArt({"rgb"}));
  const std::string input = test::MakeJpeg(test::SampleArt(), options);
  // The thumbnail has a frame header of its own; the picture's comes after the APP1 body.
  const std::size_t frame =
      input.find("\xFF\xC0\x00\x11", input.find(options.App1Payload) + options.App1Payload.size());
  ASSERT_NE(frame, std::string::npos);
  EXPECT_EQ(Rewrite(input, "x"),
            input.substr(0, frame + 1) + Inserted("x") + input.substr(frame + 1));
}

TEST_F(ComWriteTest, InputsThatCannotTakeACommentFailAndWriteNothing) {
  EXPECT_EQ(Rewrite("GIF89a", "x"), "");
  EXPECT_EQ(diagnostics_, "Error at file offset: 0\n");
  EXPECT_EQ(last_.code(), Status::Code::kCorrupt);

  EXPECT_EQ(Rewrite(Bytes({0xFF, 0xD8}) + kScan, "x"), "");
  EXPECT_EQ(diagnostics_, "SOS without prior SOFn\nError at file offset: 3\n");

  // Ends before any frame header: a plain copy would lose nothing, but the comment would be
  // lost, so it is a failure too.
  EXPECT_EQ(Rewrite(Bytes({0xFF, 0xD8}) + kTable, "x"), "");
  EXPECT_EQ(Rewrite("", "x"), "");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.jpg"));
  EXPECT_EQ(FilesInDir(), 1);  // Only the input: no temporary file is left behind.
}

TEST_F(ComWriteTest, TextLongerThanASegmentCanHoldIsRefused) {
  const std::string input = Bytes({0xFF, 0xD8}) + kFrame + kScan;
  EXPECT_NE(Rewrite(input, std::string(kMaxComSegmentText, 'a')), "");
  EXPECT_EQ(Rewrite(input, std::string(kMaxComSegmentText + 1, 'a')), "");
  EXPECT_EQ(last_.code(), Status::Code::kTooLarge);
  EXPECT_NE(last_.message().find("65533"), std::string::npos) << last_.message();
}

TEST_F(ComWriteTest, InPlaceChangeKeepsThePictureUnlessTheNewOneReadsBack) {
  const std::filesystem::path picture = dir_ / "photo.jpg";
  test::WriteFile(picture, test::MakeJpeg(test::SampleArt()));
  ASSERT_TRUE(WriteJpegCommentInPlace(picture, "Title:\r\nSea\r\n\r\n").ok());
  TFileImageInfo info;
  info.szFileName = picture.string();
  ReadJpegImageInfo(&info);
  EXPECT_EQ(info.szComments, "Title:\r\nSea\r\n\r\n");
  EXPECT_EQ(info.Width, 9);
  EXPECT_EQ(FilesInDir(), 1);

  // A comment behind the frame header would hide the new one: the change is refused and the
  // picture stays byte for byte as it was.
  const std::string hidden = Bytes({0xFF, 0xD8}) + kFrame + Com("old") + kScan;
  test::WriteFile(picture, hidden);
  test::TDetailCapture capture;
  const Status refused = WriteJpegCommentInPlace(picture, "new");
  capture.Text();
  EXPECT_EQ(refused.code(), Status::Code::kCorrupt);
  EXPECT_EQ(test::ReadFile(picture), hidden);
  EXPECT_EQ(FilesInDir(), 1);

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
  TFileImageInfo info;
  info.szFileName = (dir_ / "out.jpg").string();
  ReadJpegImageInfo(&info);
  EXPECT_EQ(info.szComments, text);

  // Control characters are written as given; the reader leaves them out, and the check of
  // the new file expects exactly that.
  EXPECT_NE(Rewrite(input, "caf\xC3\xA9\x01\x1B\x7F!"), "") << last_.message();
  ReadJpegImageInfo(&info);
  EXPECT_EQ(info.szComments, "caf\xC3\xA9!\r\n");
}

TEST_F(ComWriteTest, RdjpgcomPrintsTheWrittenComment) {
  if (!test::ToolAvailable("rdjpgcom")) GTEST_SKIP() << "rdjpgcom is not installed";
  test::TJpegOptions options;
  options.Comments = {"older comment"};
  test::WriteFile(dir_ / "in.jpg", test::MakeJpeg(test::SampleArt(), options));
  ASSERT_TRUE(WriteJpegComment(dir_ / "in.jpg", dir_ / "out.jpg", "Photographer: Ann Lee").ok());
  std::string output;
  ASSERT_EQ(test::RunTool("rdjpgcom " + test::ShellQuote(dir_ / "out.jpg"), &output), 0);
  EXPECT_EQ(output, "older comment\nPhotographer: Ann Lee\n");
}

TEST_F(ComWriteTest, DjpegDecodesTheRewrittenFileToTheSamePixels) {
  if (!test::ToolAvailable("djpeg")) GTEST_SKIP() << "djpeg is not installed";
  for (test::JpegKind kind :
       {test::JpegKind::Baseline, test::JpegKind::Progressive, test::JpegKind::Grey}) {
    test::TJpegOptions options;
    options.Kind = kind;
    test::WriteFile(dir_ / "in.jpg", test::MakeJpeg(test::GradientArt(37, 23), options));
    ASSERT_TRUE(WriteJpegComment(dir_ / "in.jpg", dir_ / "out.jpg", "text\r\n").ok());
    std::string before;
    std::string after;
    ASSERT_EQ(test::RunTool("djpeg -pnm " + test::ShellQuote(dir_ / "in.jpg"), &before), 0);
    ASSERT_EQ(test::RunTool("djpeg -pnm " + test::ShellQuote(dir_ / "out.jpg"), &after), 0);
    EXPECT_FALSE(before.empty());
    EXPECT_EQ(before, after);
  }
}

}  // namespace
}  // namespace pix
