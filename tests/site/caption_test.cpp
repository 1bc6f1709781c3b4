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
    sources.comment_text = Comment;
    sources.text_file_text = TextFile;
    sources.metadata = &Metadata;
    return ChoosePictureCaption(sources);
  }

  std::string Comment;
  std::string TextFile;
  PictureMetadata Metadata;
};

TEST_F(CaptionTest, EachSourceGivesWayToTheOneBeforeIt) {
  TextFile = "ImageDescription:\r\nFrom the text file\r\n\r\n";
  Comment = "ImageDescription:\r\nFrom the comment\r\n\r\n";
  Metadata.xmp_description = "From XMP";
  Metadata.iptc_caption = "From IPTC";
  Metadata.exif.description = "From EXIF";
  EXPECT_EQ(Caption().html, "From the text file");
  TextFile = "PageTitle:\r\nNot a description\r\n\r\n";
  EXPECT_EQ(Caption().html, "From the comment");
  Comment = "ImageDescription:\r\n  \r\n\r\n";
  EXPECT_EQ(Caption().html, "From XMP") << "a blank description sets none";
  Metadata.xmp_description.clear();
  EXPECT_EQ(Caption().html, "From IPTC");
  Metadata.iptc_caption.clear();
  EXPECT_EQ(Caption().html, "From EXIF");
  Metadata.exif.description.clear();
  EXPECT_EQ(Caption().html, "") << "a comment of records is no caption";
  Comment = "  Sunset over the bay\r\n";
  EXPECT_EQ(Caption().html, "Sunset over the bay");
  Comment.clear();
  EXPECT_EQ(Caption().html, "");
  EXPECT_EQ(Caption().attribute_text, "");
}

TEST_F(CaptionTest, ProgramStampsAreNoCaption) {
  Comment = "Created with GIMP\r\n";
  EXPECT_EQ(Caption().html, "");
  Comment = "CREATOR: gd-jpeg v1.0 (using IJG JPEG v62), default quality\r\n";
  EXPECT_EQ(Caption().html, "");
}

TEST_F(CaptionTest, TextFromThePictureIsEscapedAndTheLayoutsHtmlKept) {
  Metadata.xmp_description = "<b>Tom & Jerry</b> say \"hi\" for ${Price}";
  const PictureCaption embedded = Caption();
  EXPECT_EQ(embedded.html,
            "&lt;b&gt;Tom &amp; Jerry&lt;/b&gt; say &quot;hi&quot; for &#36;{Price}");
  EXPECT_EQ(embedded.attribute_text, embedded.html) << "nothing is escaped twice";

  Comment = "ImageDescription:\r\n<i>Sunset</i> at  the\r\nbay &amp; pier, 5 < 6\r\n\r\n";
  const PictureCaption recorded = Caption();
  EXPECT_EQ(recorded.html, "<i>Sunset</i> at  the\r\nbay &amp; pier, 5 < 6");
  EXPECT_EQ(recorded.attribute_text, "Sunset at the bay &amp; pier, 5 &lt; 6");
}

}  // namespace
}  // namespace pix
