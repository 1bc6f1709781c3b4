// Captions from XMP packets and IPTC records, and the clean-up of every text a picture
// carries.
#include "picture/metatext.h"

#include <gtest/gtest.h>

#include "support/picture_builder.h"

namespace pix {
namespace {

using test::Bytes;
using namespace std::string_view_literals;

std::string XmpPacket(const std::string& properties) {
  // The segment's payload after its 29-byte signature is the packet itself.
  return test::XmpSegment(properties).payload.substr(29);
}

std::string PhotoshopResources(const std::vector<test::IptcDataSet>& data_sets) {
  // The payload after its 14-byte "Photoshop 3.0\0" signature.
  return test::PhotoshopIptcSegment(data_sets).payload.substr(14);
}

TEST(XmpDescriptionTest, DefaultLanguageWinsElseTheFirst) {
  EXPECT_EQ(XmpDescriptionOf(XmpPacket("<dc:description><rdf:Alt>\n"
                                       " <rdf:li xml:lang=\"de\">Hafen</rdf:li>\n"
                                       " <rdf:li xml:lang=\"x-default\">Harbour</rdf:li>\n"
                                       "</rdf:Alt></dc:description>")),
            "Harbour");
  EXPECT_EQ(XmpDescriptionOf(XmpPacket("<dc:description>\n <rdf:Alt>\n"
                                       "  <rdf:li xml:lang='fr'>Port</rdf:li>\n"
                                       "  <rdf:li xml:lang='de'>Hafen</rdf:li>\n"
                                       " </rdf:Alt>\n</dc:description>")),
            "Port");
}

TEST(XmpDescriptionTest, ReferencesAreDecodedAndOtherPropertiesIgnored) {
  EXPECT_EQ(XmpDescriptionOf(XmpPacket(
                "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Title</rdf:li></rdf:Alt>"
                "</dc:title>\n"
                "<dc:descriptionX>not this</dc:descriptionX>\n"
                "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">"
                "Fish &amp; chips &lt;3 &#233;&#x2014;&#0;&bogus;</rdf:li></rdf:Alt>"
                "</dc:description>")),
            "Fish & chips <3 \xC3\xA9\xE2\x80\x94&#0;&bogus;");
}

TEST(XmpDescriptionTest, ShortcutFormsOfOtherProgramsAreRead) {
  EXPECT_EQ(XmpDescriptionOf(XmpPacket("<dc:description>Plain text</dc:description>")),
            "Plain text");
  EXPECT_EQ(XmpDescriptionOf("<rdf:Description rdf:about=\"\" dc:description=\"As attribute\"/>"),
            "As attribute");
}

TEST(XmpDescriptionTest, BrokenPacketsGiveNothing) {
  for (const char* packet : {"", "<dc:description>", "<dc:description/>",
                             "<dc:description><rdf:Alt><rdf:li>never closed",
                             "<dc:description><rdf:Alt></rdf:Alt></dc:description>",
                             "<dc:description xml:lang=\"x-default\" unterminated"}) {
    EXPECT_EQ(XmpDescriptionOf(packet), "") << packet;
  }
}

TEST(IptcCaptionTest, CaptionIsFoundAmongOtherDataSetsAndResources) {
  // Another resource first: a three-letter name (four bytes with its length byte, so no pad)
  // and three bytes of data, padded to four.
  const std::string other = "8BIM" + Bytes({0x03, 0xED}) +     // resolution info
                            Bytes({0x03}) + "abc" +            // name "abc": 4 bytes, even
                            Bytes({0x00, 0x00, 0x00, 0x03}) +  // data size 3
                            "xyz" + Bytes({0x00});             // data, padded
  const std::string resources =
      other + PhotoshopResources({{1, 90, "\x1B%G"},  // coded character set: UTF-8
                                  {2, 5, "Object name"},
                                  {2, 120, "Caf\xC3\xA9 at noon"},
                                  {2, 25, "keyword"}});
  EXPECT_EQ(IptcCaptionOf(resources), "Caf\xC3\xA9 at noon");
  EXPECT_EQ(IptcCaptionOf(PhotoshopResources({{2, 120, "Caf\xE9"}})), "Caf\xC3\xA9")
      << "Latin-1 captions of older programs";
  EXPECT_EQ(IptcCaptionOf(PhotoshopResources({{2, 5, "Object name"}})), "");
}

TEST(IptcCaptionTest, ExtendedLengthIsReadAndLengthsPastTheEndStop) {
  const std::string extended = Bytes({0x1C, 2, 120,  // caption data set
                                      0x80, 0x04,    // extended: four length bytes
                                      0x00, 0x00, 0x00, 0x05}) +
                               "Hello";
  const std::string resource = "8BIM" + Bytes({0x04, 0x04, 0x00, 0x00}) +  // IPTC, no name
                               Bytes({0x00, 0x00, 0x00, static_cast<int>(extended.size())}) +
                               extended;
  EXPECT_EQ(IptcCaptionOf(resource), "Hello");
  std::string too_long = resource;
  too_long[20] = '\x7F';  // the caption's last length byte: 127 bytes, past the resource's end
  EXPECT_EQ(IptcCaptionOf(too_long), "");
}

TEST(MetadataTextTest, CleanUpGivesTrimmedUtf8Lines) {
  EXPECT_EQ(CleanMetadataText("  one\ntwo\rthree\r\nfour\0five  "sv),
            "one\r\ntwo\r\nthree\r\nfour");
  EXPECT_EQ(CleanMetadataText("bell\x07 tab\t del\x7F c1\xC2\x85 nbsp\xA0!"),
            "bell tab\t del c1 nbsp\xC2\xA0!");
  EXPECT_EQ(CleanMetadataText("cut \xE2\x82"), "cut \xC3\xA2") << "a cut sequence is Latin-1";
  const std::string long_text(kMaxMetadataTextLength - 1, 'x');
  EXPECT_EQ(CleanMetadataText(long_text + "\xC3\xA9"), long_text)
      << "a character that does not fit whole is left out";
}

TEST(MetadataTextTest, ProgramStampsAreRecognised) {
  EXPECT_TRUE(IsProgramStampComment("Created with GIMP\r\n"));
  EXPECT_TRUE(IsProgramStampComment("CREATOR: gd-jpeg v1.0 (using IJG JPEG v62), quality = 90\n"));
  EXPECT_FALSE(IsProgramStampComment("Grandma's garden, created with love"));
}

}  // namespace
}  // namespace pix
