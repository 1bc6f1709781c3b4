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
                "Fish &amp; chips &lt;3 &#233;&#x2014;</rdf:li></rdf:Alt>"
                "</dc:description>")),
            "Fish & chips <3 \xC3\xA9\xE2\x80\x94");
}

// The faults of reading XMP by searching its text, each in a packet that an XML parser
// reads as it should.
TEST(XmpDescriptionTest, ReadAsXmlWithAnyPrefixCdataCommentsAndUtf16) {
  // CDATA is text, not markup to show.
  EXPECT_EQ(XmpDescriptionOf(XmpPacket("<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">"
                                       "<![CDATA[Tom & Jerry <live>]]></rdf:li></rdf:Alt>"
                                       "</dc:description>")),
            "Tom & Jerry <live>");
  // A description inside a comment is no description; the real one comes after it.
  EXPECT_EQ(XmpDescriptionOf(XmpPacket("<!-- <dc:description>old</dc:description> -->"
                                       "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">"
                                       "New</rdf:li></rdf:Alt></dc:description>")),
            "New");
  // Another prefix bound to Dublin Core is the same property; dc: bound elsewhere is not.
  const std::string other_prefix =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
      "<rdf:Description rdf:about=\"\" xmlns:purl=\"http://purl.org/dc/elements/1.1/\" "
      "xmlns:dc=\"http://example.org/not-dublin-core/\">"
      "<dc:description>Wrong</dc:description>"
      "<purl:description><rdf:Alt><rdf:li xml:lang=\"x-default\">Right</rdf:li></rdf:Alt>"
      "</purl:description></rdf:Description></rdf:RDF></x:xmpmeta>";
  EXPECT_EQ(XmpDescriptionOf(other_prefix), "Right");
  // The same packet in UTF-16, little-endian with a byte order mark, and padded with NULs.
  std::string utf16 = "\xFF\xFE";
  const std::string with_accent = XmpPacket(
      "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">Caf\xC3\xA9</rdf:li>"
      "</rdf:Alt></dc:description>");
  for (std::size_t i = 0; i < with_accent.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(with_accent[i]);
    if (c == 0xEF && with_accent.compare(i, 3, "\xEF\xBB\xBF") == 0) {
      utf16 += "\xFF\xFE";  // the packet's own byte order mark, U+FEFF
      i += 2;
    } else if (c == 0xC3) {
      utf16 += static_cast<char>(0xC0 | (with_accent[++i] & 0x3F));  // U+00C0 to U+00FF
      utf16 += '\0';
    } else {
      utf16 += static_cast<char>(c);
      utf16 += '\0';
    }
  }
  EXPECT_EQ(XmpDescriptionOf(utf16 + std::string(4, '\0')), "Caf\xC3\xA9");
}

TEST(XmpDescriptionTest, ShortcutFormsOfOtherProgramsAreRead) {
  EXPECT_EQ(XmpDescriptionOf(XmpPacket("<dc:description>Plain text</dc:description>")),
            "Plain text");
  EXPECT_EQ(XmpDescriptionOf("<rdf:Description xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
                             "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" rdf:about=\"\" "
                             "dc:description=\"As attribute\"/>"),
            "As attribute");
}

TEST(XmpDescriptionTest, BrokenPacketsGiveNothing) {
  for (const char* packet : {"", "<dc:description>", "<dc:description/>",
                             "<dc:description><rdf:Alt><rdf:li>never closed",
                             "<dc:description><rdf:Alt></rdf:Alt></dc:description>",
                             "<dc:description xml:lang=\"x-default\" unterminated",
                             // Not XML: a reference to a character XML forbids, an entity
                             // nobody declared.
                             "<x xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:description>"
                             "a&#0;b</dc:description></x>",
                             "<x xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:description>"
                             "&bogus;</dc:description></x>"}) {
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
  // A whole field in one character set: "\xC9\xBB" would be a UTF-8 pair, but the field as a
  // whole is not UTF-8, so it is Windows-1252 throughout.
  EXPECT_EQ(IptcCaptionOf(PhotoshopResources({{2, 120, "\xABL'\xC9T\xC9\xBB \xC0 PARIS"}})),
            "\xC2\xABL'\xC3\x89T\xC3\x89\xC2\xBB \xC3\x80 PARIS");
  // Declared UTF-8: taken as UTF-8, a broken byte shows as U+FFFD rather than as a guess.
  EXPECT_EQ(IptcCaptionOf(PhotoshopResources({{1, 90, "\x1B%G"}, {2, 120, "Caf\xC3\xA9 \xE9"}})),
            "Caf\xC3\xA9 \xEF\xBF\xBD");
  EXPECT_EQ(IptcCaptionOf(PhotoshopResources({{2, 5, "Object name"}})), "");
}

TEST(MetadataTextTest, CleanUpGivesTrimmedUtf8Lines) {
  EXPECT_EQ(CleanMetadataText("  one\ntwo\rthree\r\nfour\0five  "sv),
            "one\r\ntwo\r\nthree\r\nfour");
  EXPECT_EQ(CleanMetadataText("bell\x07 tab\t del\x7F c1\xC2\x85 nbsp\xC2\xA0!"),
            "bell tab\t del c1 nbsp\xC2\xA0!");
  EXPECT_EQ(CleanMetadataText("cut \xE2\x82"), "cut \xC3\xA2\xE2\x80\x9A")
      << "a text with a cut sequence is Windows-1252 throughout";
  // Windows-1252 punctuation is kept, its undefined bytes and its C0 controls dropped.
  EXPECT_EQ(CleanMetadataText("Caf\xE9 cr\xE8me \x96 \x93Z\xFCrich\x94 5\x80\x81\x01"),
            "Caf\xC3\xA9 cr\xC3\xA8me \xE2\x80\x93 \xE2\x80\x9CZ\xC3\xBCrich\xE2\x80\x9D "
            "5\xE2\x82\xAC");
  const std::string long_text(kMaxMetadataTextLength - 1, 'x');
  EXPECT_EQ(CleanMetadataText(long_text + "\xC3\xA9"), long_text)
      << "a character that does not fit whole is left out";
}

}  // namespace
}  // namespace pix
