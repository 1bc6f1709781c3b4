// Which text becomes a picture's caption, and how it reaches a page: the order of the
// sources, the texts that are no caption, and the escaping of what comes from the picture.
#include "site/caption.h"

#include <gtest/gtest.h>

#include "picture/metadata.h"

namespace pix {
namespace {

struct CaptionTest : testing::Test {
  PictureCaption Caption() {
    CaptionSources sources;
    sources.comment_text = comment;
    sources.text_file_text = text_file;
    sources.metadata = &metadata;
    return ChoosePictureCaption(sources);
  }

  std::string comment;
  std::string text_file;
  PictureMetadata metadata;
};

TEST_F(CaptionTest, EachSourceGivesWayToTheOneBeforeIt) {
  text_file = "ImageDescription:\r\nFrom the text file\r\n\r\n";
  comment = "ImageDescription:\r\nFrom the comment\r\n\r\n";
  metadata.xmp_description = "From XMP";
  metadata.iptc_caption = "From IPTC";
  metadata.exif.description = "From EXIF";
  EXPECT_EQ(Caption().html, "From the text file");
  text_file = "PageTitle:\r\nNot a description\r\n\r\n";
  EXPECT_EQ(Caption().html, "From the comment");
  comment = "ImageDescription:\r\n  \r\n\r\n";
  EXPECT_EQ(Caption().html, "From EXIF") << "a blank description sets none";
  metadata.exif.description.clear();  // or a camera's placeholder, which is not read
  EXPECT_EQ(Caption().html, "From XMP");
  metadata.xmp_description.clear();
  EXPECT_EQ(Caption().html, "From IPTC");
  metadata.iptc_caption.clear();
  EXPECT_EQ(Caption().html, "") << "a comment of records is no caption";
  comment = "  Sunset over the bay\r\n";
  EXPECT_EQ(Caption().html, "Sunset over the bay");
  comment.clear();
  EXPECT_EQ(Caption().html, "");
  EXPECT_EQ(Caption().attribute_text, "");
}

TEST_F(CaptionTest, ProgramStampsAreNoCaption) {
  comment = "Created with GIMP\r\n";
  EXPECT_EQ(Caption().html, "");
  comment = "CREATOR: gd-jpeg v1.0 (using IJG JPEG v62), default quality\r\n";
  EXPECT_EQ(Caption().html, "");
  comment = "Our garden, created with love\r\n";
  EXPECT_EQ(Caption().html, "Our garden, created with love");
}

TEST_F(CaptionTest, TextFromThePictureIsEscapedAndTheLayoutsHtmlKept) {
  metadata.xmp_description = "<b>Tom & Jerry</b> say \"hi\" for ${Price}";
  const PictureCaption embedded = Caption();
  EXPECT_EQ(embedded.html,
            "&lt;b&gt;Tom &amp; Jerry&lt;/b&gt; say &quot;hi&quot; for &#36;{Price}");
  EXPECT_EQ(embedded.attribute_text, embedded.html) << "nothing is escaped twice";

  comment = "ImageDescription:\r\n<i>Sunset</i> at  the\r\nbay &amp; pier, 5 < 6\r\n\r\n";
  const PictureCaption recorded = Caption();
  EXPECT_EQ(recorded.html, "<i>Sunset</i> at  the\r\nbay &amp; pier, 5 < 6");
  EXPECT_EQ(recorded.attribute_text, "Sunset at the bay &amp; pier, 5 &lt; 6");
}

}  // namespace
}  // namespace pix
