// Which text becomes a picture's caption, and how it reaches a page: the order of the
// sources, the texts that are no caption, and the escaping of what comes from the picture.
#include "site/caption.h"

#include <gtest/gtest.h>

#include "picture/metadata.h"

namespace pix {
namespace {

struct CaptionTest : testing::Test {
  TPictureCaption Caption() {
    TCaptionSources sources;
    sources.CommentText = Comment;
    sources.TextFileText = TextFile;
    sources.Metadata = &Metadata;
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
  EXPECT_EQ(Caption().Html, "From the text file");
  TextFile = "PageTitle:\r\nNot a description\r\n\r\n";
  EXPECT_EQ(Caption().Html, "From the comment");
  Comment = "ImageDescription:\r\n  \r\n\r\n";
  EXPECT_EQ(Caption().Html, "From XMP") << "a blank description sets none";
  Metadata.xmp_description.clear();
  EXPECT_EQ(Caption().Html, "From IPTC");
  Metadata.iptc_caption.clear();
  EXPECT_EQ(Caption().Html, "From EXIF");
  Metadata.exif.description.clear();
  EXPECT_EQ(Caption().Html, "") << "a comment of records is no caption";
  Comment = "  Sunset over the bay\r\n";
  EXPECT_EQ(Caption().Html, "Sunset over the bay");
  Comment.clear();
  EXPECT_EQ(Caption().Html, "");
  EXPECT_EQ(Caption().AttributeText, "");
}

TEST_F(CaptionTest, ProgramStampsAreNoCaption) {
  Comment = "Created with GIMP\r\n";
  EXPECT_EQ(Caption().Html, "");
  Comment = "CREATOR: gd-jpeg v1.0 (using IJG JPEG v62), default quality\r\n";
  EXPECT_EQ(Caption().Html, "");
}

TEST_F(CaptionTest, TextFromThePictureIsEscapedAndTheLayoutsHtmlKept) {
  Metadata.xmp_description = "<b>Tom & Jerry</b> say \"hi\" for ${Price}";
  const TPictureCaption embedded = Caption();
  EXPECT_EQ(embedded.Html,
            "&lt;b&gt;Tom &amp; Jerry&lt;/b&gt; say &quot;hi&quot; for &#36;{Price}");
  EXPECT_EQ(embedded.AttributeText, embedded.Html) << "nothing is escaped twice";

  Comment = "ImageDescription:\r\n<i>Sunset</i> at  the\r\nbay &amp; pier, 5 < 6\r\n\r\n";
  const TPictureCaption recorded = Caption();
  EXPECT_EQ(recorded.Html, "<i>Sunset</i> at  the\r\nbay &amp; pier, 5 < 6");
  EXPECT_EQ(recorded.AttributeText, "Sunset at the bay &amp; pier, 5 &lt; 6");
}

}  // namespace
}  // namespace pix
