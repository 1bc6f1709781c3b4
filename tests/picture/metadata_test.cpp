// The walk over a JPEG header that finds its metadata, and what damaged metadata do: every
// cut, flipped byte and impossible length gives less or nothing, never a crash, a hang or
// a text that breaks the promises of the readers.
#include "picture/metadata.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "picture/comread.h"
#include "picture/metatext.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

test::JpegOptions EverySource() {
  test::ExifFields exif;
  exif.orientation = 8;
  exif.image_description = "From EXIF";
  exif.make = "SONY";
  exif.model = "ILCE-7M3";
  exif.date_time_original = "2023:12:24 18:30:00";
  test::JpegOptions options;
  options.segments = {
      test::ExifSegment(exif),
      test::XmpSegment("<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">From XMP"
                       "</rdf:li></rdf:Alt></dc:description>"),
      test::PhotoshopIptcSegment({{2, 120, "From IPTC"}}),
  };
  options.comments = {"A plain comment"};
  return options;
}

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead >= 0x80 && lead < 0xC2) return false;
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<std::uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// What every reading must give, whatever the bytes were.
void ExpectWellFormed(const PictureMetadata& metadata, const std::string& context) {
  const int orientation = static_cast<int>(metadata.exif.orientation);
  EXPECT_TRUE(orientation >= 1 && orientation <= 8) << context;
  EXPECT_TRUE(metadata.exif.date_taken.empty() || metadata.exif.date_taken.size() == 19) << context;
  for (const std::string* text :
       {&metadata.exif.description, &metadata.exif.make, &metadata.exif.model,
        &metadata.xmp_description, &metadata.iptc_caption}) {
    EXPECT_LE(text->size(), kMaxMetadataTextLength) << context;
    EXPECT_TRUE(IsUtf8(*text)) << context;
    EXPECT_EQ(text->find('\0'), std::string::npos) << context;
  }
}

// The segments the caption reader's header walk keeps along the way.
JpegMetadataSegments SegmentsOfHeaderWalk(const fs::path& file, JpegHeader* info = nullptr) {
  JpegMetadataSegments segments;
  Result<JpegHeader> read = ReadJpegHeader(file.string(), {nullptr, &segments});
  EXPECT_TRUE(read.ok()) << read.status().message();
  if (info != nullptr && read.ok()) *info = *read;
  return segments;
}

void ExpectSameSegments(const JpegMetadataSegments& a, const JpegMetadataSegments& b,
                        const std::string& context) {
  EXPECT_EQ(a.exif, b.exif) << context;
  EXPECT_EQ(a.xmp, b.xmp) << context;
  EXPECT_EQ(a.photoshop, b.photoshop) << context;
}

TEST(JpegMetadataTest, EverySourceIsFoundWhereverItsSegmentIs) {
  test::TempDir dir;
  for (bool jfif : {true, false}) {
    test::JpegOptions options = EverySource();
    options.jfif = jfif;  // cameras start with their EXIF segment
    test::WriteFile(dir / "photo.jpg", test::MakeJpeg(test::SampleArt(), options));
    const PictureMetadata metadata = ReadJpegMetadata(dir / "photo.jpg");
    EXPECT_EQ(metadata.exif.orientation, Orientation::kRotate270);
    EXPECT_EQ(metadata.exif.description, "From EXIF");
    EXPECT_EQ(metadata.exif.date_taken, "2023-12-24T18:30:00");
    EXPECT_EQ(metadata.xmp_description, "From XMP");
    EXPECT_EQ(metadata.iptc_caption, "From IPTC");
    // The caption reader's walk keeps the same segments while it reads size and comment.
    JpegHeader info;
    ExpectSameSegments(SegmentsOfHeaderWalk(dir / "photo.jpg", &info),
                       ReadJpegMetadataSegments(dir / "photo.jpg"), jfif ? "JFIF" : "camera");
    EXPECT_EQ(info.width, test::SampleArt().width);
    EXPECT_EQ(info.comments, "A plain comment\r\n");
  }
}

TEST(JpegMetadataTest, ExifSplitOverSeveralSegmentsIsJoined) {
  test::TempDir dir;
  // EXIF data longer than a segment holds, as some writers split them: each piece in an
  // APP1 segment of its own that starts with the EXIF signature. The date lies in the last.
  test::ExifFields fields;
  fields.make = "SONY";
  fields.image_description = std::string(100000, 'd');
  fields.date_time_original = "2023:12:24 18:30:00";
  const std::string tiff = test::ExifSegment(fields).payload.substr(6);
  test::JpegOptions options;
  for (std::size_t at = 0; at < tiff.size(); at += 65000) {
    options.segments.push_back({0xE1, std::string("Exif\0\0", 6) + tiff.substr(at, 65000)});
  }
  ASSERT_EQ(options.segments.size(), 2u);
  test::WriteFile(dir / "split.jpg", test::MakeJpeg(test::SampleArt(), options));
  const PictureMetadata metadata = ReadJpegMetadata(dir / "split.jpg");
  EXPECT_EQ(metadata.exif.make, "SONY");
  EXPECT_EQ(metadata.exif.date_taken, "2023-12-24T18:30:00");
  ExpectSameSegments(SegmentsOfHeaderWalk(dir / "split.jpg"),
                     ReadJpegMetadataSegments(dir / "split.jpg"), "split");
  if (test::ToolAvailable("exiftool")) {
    // The reference reading agrees.
    std::string output;
    ASSERT_EQ(test::RunTool("exiftool -s3 -DateTimeOriginal " +
                                test::ShellQuote(dir / "split.jpg"), &output), 0);
    EXPECT_EQ(output, "2023:12:24 18:30:00\n");
  }
}

TEST(JpegMetadataTest, OnlyTheHeaderIsRead) {
  test::TempDir dir;
  // SOI, then straight to a scan; an EXIF segment after it is data of the scan, not metadata.
  test::ExifFields exif;
  exif.orientation = 3;
  const std::string payload = test::ExifSegment(exif).payload;
  test::WriteFile(dir / "late.jpg", Bytes({0xFF, 0xD8,              // SOI
                                           0xFF, 0xDA, 0x00, 0x02,  // SOS, empty header
                                           0xFF, 0xE1,              // APP1
                                           static_cast<int>(payload.size() + 2) >> 8,  // its length
                                           static_cast<int>(payload.size() + 2) & 0xFF}) +
                                        payload);
  EXPECT_EQ(ReadJpegMetadata(dir / "late.jpg").exif.orientation, Orientation::kNormal);
  EXPECT_EQ(ReadJpegMetadata(dir / "missing.jpg").exif.orientation, Orientation::kNormal);
  test::WriteFile(dir / "gif.jpg", test::MakeGif(test::SimpleGif(2, 2, {0, 1, 1, 0})));
  EXPECT_TRUE(ReadJpegMetadataSegments(dir / "gif.jpg").exif.empty());
}

TEST(JpegMetadataTest, PhotoshopResourcesOfSeveralSegmentsAreJoinedUpToTheirCap) {
  test::TempDir dir;
  test::JpegOptions options;
  const test::JpegSegment iptc = test::PhotoshopIptcSegment({{2, 120, "Caption"}});
  // Photoshop splits long resources over segments; the first part here is 60000 bytes of
  // an unrelated resource, so that the caption's resource starts in the fifth segment.
  const std::string filler = "8BIM" +
                             Bytes({0x04, 0x0C, 0x00, 0x00,     // thumbnail, no name
                                    0x00, 0x03, 0xA9, 0x74}) +  // 239988 bytes
                             std::string(239988, 'x');
  const std::string all = filler + iptc.payload.substr(14);
  for (std::size_t at = 0; at < all.size(); at += 60000) {
    options.segments.push_back(
        {0xED, "Photoshop 3.0" + std::string(1, '\0') + all.substr(at, 60000)});
  }
  test::WriteFile(dir / "photo.jpg", test::MakeJpeg(test::SampleArt(), options));
  EXPECT_EQ(ReadJpegMetadata(dir / "photo.jpg").iptc_caption, "Caption");
  // The same behind one more resource of 60000 bytes: the caption lies past the cap, and
  // nothing after the first segment that did not fit is kept.
  const std::string first = "8BIM" +
                            Bytes({0x04, 0x0C, 0x00, 0x00,     // thumbnail, no name
                                   0x00, 0x00, 0xEA, 0x54}) +  // 59988 bytes
                            std::string(59988, 'y');
  options.segments.insert(options.segments.begin(),
                          {0xED, "Photoshop 3.0" + std::string(1, '\0') + first});
  test::WriteFile(dir / "photo.jpg", test::MakeJpeg(test::SampleArt(), options));
  const JpegMetadataSegments segments = ReadJpegMetadataSegments(dir / "photo.jpg");
  EXPECT_LE(segments.photoshop.size(), kMaxPhotoshopResourceBytes);
  EXPECT_EQ(ParseJpegMetadata(segments).iptc_caption, "");
  ExpectSameSegments(SegmentsOfHeaderWalk(dir / "photo.jpg"), segments, "past the cap");
}

TEST(JpegMetadataTest, CutFilesGiveWhatTheyStillHold) {
  test::TempDir dir;
  const std::string whole = test::MakeJpeg(test::SampleArt(), EverySource());
  const std::size_t scan = whole.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  // Every byte around each marker and its length, every eleventh byte in between.
  std::vector<bool> near(scan + 3, false);
  for (std::size_t at = whole.find('\xFF'); at < scan + 3; at = whole.find('\xFF', at + 1)) {
    for (std::size_t i = at; i < at + 5 && i < near.size(); ++i) near[i] = true;
  }
  for (std::size_t cut = 0; cut <= scan + 2; ++cut) {
    if (!near[cut] && cut % 11 != 0) continue;
    // A new file each time: rewriting one file makes the file system flush it every time.
    const fs::path file = dir / ("cut-" + std::to_string(cut) + ".jpg");
    test::WriteFile(file, whole.substr(0, cut));
    const PictureMetadata metadata = ReadJpegMetadata(file);
    ExpectWellFormed(metadata, "cut at " + std::to_string(cut));
    // A source is either read whole or not at all.
    EXPECT_TRUE(metadata.xmp_description.empty() || metadata.xmp_description == "From XMP");
    EXPECT_TRUE(metadata.iptc_caption.empty() || metadata.iptc_caption == "From IPTC");
    const PictureMetadata walked = ParseJpegMetadata(SegmentsOfHeaderWalk(file));
    ExpectWellFormed(walked, "header walk, cut at " + std::to_string(cut));
    EXPECT_TRUE(walked.xmp_description.empty() || walked.xmp_description == "From XMP");
    EXPECT_TRUE(walked.iptc_caption.empty() || walked.iptc_caption == "From IPTC");
  }
}

TEST(JpegMetadataTest, DamagedSegmentsNeverBreakTheReaders) {
  test::TempDir dir;
  const std::string whole = test::MakeJpeg(test::SampleArt(), EverySource());
  const std::size_t scan = whole.find("\xFF\xDA");
  test::ExifFields fields;
  fields.orientation = 6;
  fields.image_description = "From EXIF";
  fields.make = "SONY";
  fields.model = "ILCE";
  fields.date_time_original = "2023:12:24 18:30:00";
  fields.BigEndian = true;
  const std::string exif = test::ExifSegment(fields).payload;
  const test::JpegSegment xmp = test::XmpSegment(
      "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">From &amp; XMP"
      "</rdf:li></rdf:Alt></dc:description>");
  const std::string iptc =
      test::PhotoshopIptcSegment({{1, 90, "\x1B%G"}, {2, 120, "From IPTC"}}).payload.substr(14);
  std::mt19937 random(20240601);  // fixed, so that a failure can be replayed
  const auto damage = [&](std::string bytes, std::size_t from, std::size_t to) {
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips && to > from; ++i) {
      const std::size_t at = from + random() % (to - from);
      // Half the time a byte that matters to lengths and offsets: 0x00, 0xFF or 0x80.
      static constexpr char kLoud[] = {'\x00', '\xFF', '\x80', '\x7F'};
      bytes[at] = random() % 2 ? kLoud[random() % 4] : static_cast<char>(random());
    }
    return bytes;
  };
  for (int round = 0; round < 1500; ++round) {
    const std::string context = "round " + std::to_string(round);
    // The whole header through the walk (now and then: files cost time)...
    if (round % 4 == 0) {
      const fs::path file = dir / ("damaged-" + std::to_string(round) + ".jpg");
      test::WriteFile(file, damage(whole, 2, scan));
      ExpectWellFormed(ReadJpegMetadata(file), context);
    }
    // ...and each reader on its own payload, where every byte is reached.
    JpegMetadataSegments segments;
    segments.exif = damage(exif, 6, exif.size());
    segments.xmp = damage(xmp.payload.substr(29), 0, xmp.payload.size() - 29);
    segments.photoshop = damage(iptc, 0, iptc.size());
    if (round % 3 == 0) segments.exif.resize(random() % segments.exif.size());
    if (round % 5 == 0) segments.photoshop.resize(random() % segments.photoshop.size());
    ExpectWellFormed(ParseJpegMetadata(segments), context);
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace pix
