#include "picture/comread.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <regex>
#include <string>

#include "picture/gifrsize.h"
#include "support/detail_capture.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

using test::Bytes;
using test::ComSegment;

struct ReadOutcome {
  JpegHeader info;
  std::string diagnostics;
};

ReadOutcome ReadBytes(const std::string& bytes) {
  test::TempDir dir;
  test::WriteFile(dir / "picture.jpg", bytes);
  ReadOutcome outcome;
  test::DetailCapture capture;
  Result<JpegHeader> read = ReadJpegHeader((dir / "picture.jpg").string());
  EXPECT_TRUE(read.ok()) << read.status().message();
  if (read.ok()) outcome.info = std::move(read).value();
  outcome.diagnostics = capture.Text();
  return outcome;
}

// SOI followed by a baseline frame header of 7 x 5 with three components.
std::string SoiAndFrame(int code = 0xC0) {
  return Bytes({0xFF, 0xD8,              // SOI
                0xFF, code, 0x00, 0x11,  // SOFn, length 17 = 8 + 3 * 3
                0x08,                    // sample precision
                0x00, 0x05, 0x00, 0x07,  // height 5, width 7
                0x03,                    // three components
                0x01, 0x22, 0x00,        // Y: id 1, sampling 2x2, table 0
                0x02, 0x11, 0x01,        // Cb
                0x03, 0x11, 0x01});      // Cr
}

// SOS with a length and one component, then a byte of "scan data" and EOI.
std::string ScanAndEnd() {
  return Bytes({0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00,  // SOS
                0x12,                                                        // data
                0xFF, 0xD9});                                                // EOI
}

TEST(ComReadTest, CommentLineEndsBecomeCrLfUtf8StaysAndControlBytesAreDropped) {
  const struct {
    std::string raw;
    std::string expected;
  } cases[] = {
      {"", "\r\n"},                  // an empty segment still ends in CR LF
      {"a\nb", "a\r\nb\r\n"},        // LF becomes CR LF; CR LF closes the text
      {"a\r\nb\r\n", "a\r\nb\r\n"},  // CR LF stays, nothing is added
      // UTF-8 captions come back byte for byte: 2-, 3- and 4-byte characters.
      {"D\xC3\xBCnes au cr\xC3\xA9puscule", "D\xC3\xBCnes au cr\xC3\xA9puscule\r\n"},
      {"Z\xC3\xBCrich caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x85\n",
       "Z\xC3\xBCrich caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x85\r\n"},
      // Bytes from 0x80 up stay even when they are not UTF-8 (a Latin-1 caption); bare CR,
      // the other control characters and DEL go.
      {"x\x80\xFF\ry\x01\x1F\x7F\tcaf\xE9", "x\x80\xFFy\tcaf\xE9\r\n"},
  };
  for (const auto& c : cases) {
    test::JpegOptions options;
    options.comments = {c.raw};
    const ReadOutcome read = ReadBytes(test::MakeJpeg(test::SampleArt(), options));
    EXPECT_EQ(read.info.comments, c.expected) << "raw comment: " << c.raw;
    EXPECT_EQ(read.info.width, 9);
  }
}

TEST(ComReadTest, TheLastCommentBeforeTheScanWinsUnlessAnEarlierOneIsTheCaption) {
  test::JpegOptions options;
  options.comments = {"first", "second"};
  EXPECT_EQ(ReadBytes(test::MakeJpeg(test::SampleArt(), options)).info.comments, "second\r\n");
  // A comment behind the scan data is never seen.
  const ReadOutcome behind =
      ReadBytes(SoiAndFrame() + ComSegment("kept") + ScanAndEnd() + ComSegment("unseen"));
  EXPECT_EQ(behind.info.comments, "kept\r\n");
  // Another program's comment after the caption, even behind the frame header, does not
  // hide it; without a caption the last comment is shown.
  const std::string caption = ComSegment("Title:\r\nSea\r\n\r\n");
  EXPECT_EQ(ReadBytes(SoiAndFrame() + caption + ComSegment("Created with GIMP") + ScanAndEnd())
                .info.comments,
            "Title:\r\nSea\r\n\r\n");
  EXPECT_EQ(ReadBytes(SoiAndFrame() + ComSegment("Title:\nOld\n\n") + caption + ScanAndEnd())
                .info.comments,
            "Title:\r\nSea\r\n\r\n");
  // One-line notes with a colon are comments, not records.
  EXPECT_EQ(ReadBytes(SoiAndFrame() + caption + ComSegment("Note: taken at dawn") + ScanAndEnd())
                .info.comments,
            "Title:\r\nSea\r\n\r\n");
  EXPECT_FALSE(HoldsVariableRecords("Note: taken at dawn\n\n"));
  EXPECT_FALSE(HoldsVariableRecords("X:\r\nshort name\r\n\r\n"));
  EXPECT_FALSE(HoldsVariableRecords("Title:\r\nno blank line at the end\r\n"));
  EXPECT_TRUE(HoldsVariableRecords("Title:\nSea\n\n"));
}

TEST(ComReadTest, LongCommentIsNeverCutInsideAUtf8CharacterAndItsRestIsNoMarkers) {
  // The reader keeps kMaxCommentsLength - 5 bytes; the filler leaves the last two of them
  // to the tail, so the cut falls right after the tail's second byte.
  const std::string filler(kMaxCommentsLength - 7, 'a');
  const struct {
    std::string tail;
    std::string kept;
  } cases[] = {
      {"\xC3\xA9z", "\xC3\xA9"},  // "é" ends at the cut: it stays whole
      {"x\xC3\xA9", "x"},         // the cut falls inside "é": it goes whole
      {"\xE2\x82\xAC", ""},       // two of the three bytes of "€"
      {"\xF0\x9F\x8C\x85", ""},   // two of the four bytes of U+1F305
      {"x\xFF\xFF", "x\xFF"},     // no UTF-8 lead byte: what fits is kept
  };
  for (const auto& c : cases) {
    test::JpegOptions options;
    options.comments = {filler + c.tail};
    const ReadOutcome read = ReadBytes(test::MakeJpeg(test::SampleArt(), options));
    EXPECT_EQ(read.info.comments, filler + c.kept + "\r\n") << "tail of " << c.tail.size();
  }
  // Past the stored part, the comment holds bytes that look like a frame header of
  // 0x1234 x 0x5678 and an EOI; they belong to the comment and must be passed over.
  const std::string tail = Bytes(
      {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x56, 0x78, 0x12, 0x34, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xD9});
  const ReadOutcome read =
      ReadBytes(Bytes({0xFF, 0xD8}) + ComSegment(std::string(33000, 'z') + tail) +
                SoiAndFrame().substr(2) + ScanAndEnd());
  EXPECT_EQ(read.info.width, 7);
  EXPECT_EQ(read.info.height, 5);
  EXPECT_EQ(read.info.comments.size(), static_cast<std::size_t>(kMaxCommentsLength - 3));
}

// A picture without a comment gives its frame size, no text and no detail line.
TEST(ComReadTest, EveryFrameHeaderKindGivesTheSizeButTablesDoNot) {
  for (int code : {0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC7, 0xC9, 0xCB, 0xCD, 0xCF}) {
    const ReadOutcome read = ReadBytes(SoiAndFrame(code) + ScanAndEnd());
    EXPECT_EQ(read.info.width, 7) << std::hex << code;
    EXPECT_EQ(read.info.height, 5) << std::hex << code;
    EXPECT_EQ(read.info.comments, "") << std::hex << code;
    EXPECT_EQ(read.diagnostics, "") << std::hex << code;
  }
  // DHT (C4), JPG (C8) and DAC (CC) share the range but are skipped by their lengths, even
  // when their first bytes would read as a frame size.
  for (int code : {0xC4, 0xC8, 0xCC}) {
    const std::string table = Bytes({0xFF, code, 0x00, 0x08,        // marker, length 8
                                     0x08, 0x03, 0x00, 0x04, 0x00,  // looks like 1024 x 768
                                     0x01});
    const ReadOutcome read =
        ReadBytes(Bytes({0xFF, 0xD8}) + table + SoiAndFrame().substr(2) + ScanAndEnd());
    EXPECT_EQ(read.info.width, 7) << std::hex << code;
    EXPECT_EQ(read.info.height, 5) << std::hex << code;
  }
}

TEST(ComReadTest, ThumbnailInsideApp1DoesNotChangeTheSize) {
  test::JpegOptions options;
  options.app1_payload = std::string("Exif\0\0", 6) + test::MakeJpeg(test::ParseArt({"rgb", "cmy"}));
  options.comments = {"caption"};
  const ReadOutcome read = ReadBytes(test::MakeJpeg(test::SampleArt(), options));
  EXPECT_EQ(read.info.width, 9);
  EXPECT_EQ(read.info.height, 7);
  EXPECT_EQ(read.info.comments, "caption\r\n");
}

// Running out of file handles says so; it never makes a good picture look corrupt.
TEST(ComReadTest, AFileThatCannotBeOpenedIsToldFromACorruptOne) {
  test::TempDir dir;
  test::WriteJpegPicture(dir / "a.jpg", 20, 10, "");
  test::WriteGifPicture(dir / "b.gif", 20, 10, /*interlaced=*/false);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit low = old;
  low.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> taken;
  for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken.push_back(fd);
  const Result<JpegHeader> refused = ReadJpegHeader((dir / "a.jpg").string());
  int width = 0, height = 0;
  const Status gif = GetGifSize(&width, &height, dir / "b.gif");
  for (int fd : taken) ::close(fd);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);

  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().code(), Status::Code::kIoError);
  EXPECT_EQ(refused.status().message(),
            "Cannot open " + (dir / "a.jpg").string() + ": Too many open files");
  EXPECT_EQ(gif.code(), Status::Code::kIoError);
  EXPECT_EQ(gif.message(), "Cannot open " + (dir / "b.gif").string() + ": Too many open files");
  // With handles to spare, the same files read as they are.
  EXPECT_EQ(test::HeaderOf(dir / "a.jpg").width, 20);
  EXPECT_TRUE(GetGifSize(&width, &height, dir / "b.gif").ok());
}

// Segments that pass the reader's buffer are skipped by seeking, and a comment or frame
// header on either side of such a segment, or across the buffer's end, is still read.
TEST(ComReadTest, SegmentsLargerThanTheReadBufferArePassedOver) {
  // An APP1 segment (like megabytes of XMP) of 65533 payload bytes, the most a segment holds.
  const std::string app = Bytes({0xFF, 0xE1, 0xFF, 0xFF}) + std::string(65533, 'x');
  for (int before : {0, 1, 2, 3, 40}) {
    std::string bytes = Bytes({0xFF, 0xD8}) + ComSegment("first");
    for (int i = 0; i < before; ++i) bytes += app;
    bytes += ComSegment("after the big ones") + SoiAndFrame().substr(2) + ScanAndEnd();
    const ReadOutcome read = ReadBytes(bytes);
    EXPECT_EQ(read.info.width, 7) << before;
    EXPECT_EQ(read.info.height, 5) << before;
    EXPECT_EQ(read.info.comments, "after the big ones\r\n") << before;
    EXPECT_EQ(read.diagnostics, "") << before;
  }
  // A big segment that the file does not hold whole is read up to the end and reported.
  const ReadOutcome cut = ReadBytes(Bytes({0xFF, 0xD8}) + app + app.substr(0, 70000));
  EXPECT_EQ(cut.info.width, 0);
  EXPECT_NE(cut.diagnostics.find("Premature EOF in JPEG file"), std::string::npos);
}

TEST(ComReadTest, BadLengthsEndTheWalk) {
  const ReadOutcome short_segment =
      ReadBytes(Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01}) + SoiAndFrame().substr(2));
  EXPECT_EQ(short_segment.diagnostics, "COMREAD(30): <1>Erroneous JPEG marker length\n");
  EXPECT_EQ(short_segment.info.width, 0);

  const ReadOutcome short_comment =
      ReadBytes(SoiAndFrame() + ComSegment("good") + Bytes({0xFF, 0xFE, 0x00, 0x00}));
  EXPECT_EQ(short_comment.diagnostics, "COMREAD(31): <1>Erroneous JPEG marker length\n");
  EXPECT_EQ(short_comment.info.comments, "");
  EXPECT_EQ(short_comment.info.width, 7);

  // Length 16 does not fit three components (17); the size read stays.
  std::string bogus = SoiAndFrame();
  bogus[5] = 0x10;
  const ReadOutcome frame = ReadBytes(bogus + ScanAndEnd());
  EXPECT_EQ(frame.diagnostics, "COMREAD(40): <1>Bogus SOF marker length\n");
  EXPECT_EQ(frame.info.width, 7);
  EXPECT_EQ(frame.info.height, 5);
}

TEST(ComReadTest, PictureCutAtAnyOffsetGivesAllOrNothing) {
  test::JpegOptions options;
  options.app1_payload = "Exif" + test::MakeJpeg(test::ParseArt({"r"}));
  options.comments = {"Title:\r\nA walk\r\n\r\n"};
  const std::string whole = test::MakeJpeg(test::SampleArt(), options);
  const std::regex line("(COMREAD\\(\\d+\\): <\\d+>[^\n]*\n)*");
  // Every cut before the scan marker is complete leaves the header unfinished.
  const std::size_t scan = whole.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  for (std::size_t cut = 0; cut < scan + 2; ++cut) {
    const ReadOutcome read = ReadBytes(whole.substr(0, cut));
    const bool sized = read.info.width == 9 && read.info.height == 7;
    EXPECT_TRUE(sized || (read.info.width == 0 && read.info.height == 0)) << "cut at " << cut;
    EXPECT_TRUE(read.info.comments.empty() || read.info.comments == "Title:\r\nA walk\r\n\r\n")
        << "cut at " << cut;
    EXPECT_FALSE(read.diagnostics.empty()) << "cut at " << cut;
    EXPECT_TRUE(std::regex_match(read.diagnostics, line)) << read.diagnostics;
  }
}

TEST(ComReadTest, MissingFileIsReportedWithTheSystemText) {
  test::DetailCapture capture;
  const Result<JpegHeader> read = ReadJpegHeader("/nonexistent/picture.jpg");
  EXPECT_EQ(capture.Text(), "COMREAD: No such file or directory\n");
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.status().code(), Status::Code::kNotFound);
  EXPECT_EQ(read.status().message(),
            "Cannot open /nonexistent/picture.jpg: No such file or directory");
}

}  // namespace
}  // namespace pix
