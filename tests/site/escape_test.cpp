#include "site/escape.h"

#include <gtest/gtest.h>

namespace pix {
namespace {

TEST(EscapeTest, LinksKeepTheirSlashesAndTextEscapesMarkupAndTemplateReferences) {
  EXPECT_EQ(UrlEncodePath("sub/inline/IMG_0001.gif"), "sub/inline/IMG_0001.gif");
  EXPECT_EQ(UrlEncodePath("my #1 photo?.jpg"), "my%20%231%20photo%3F.jpg");
  EXPECT_EQ(UrlEncodePath("100%.jpg"), "100%25.jpg");
  EXPECT_EQ(UrlEncodePath("a&b<\"c'>.jpg"), "a%26b%3C%22c%27%3E.jpg");
  EXPECT_EQ(UrlEncodePath("caf\xc3\xa9.jpg"), "caf%C3%A9.jpg") << "UTF-8 bytes one by one";
  EXPECT_EQ(UrlEncodePath("${PageTitle}"), "%24%7BPageTitle%7D");
  // Text escapes markup and template references.
  EXPECT_EQ(HtmlEscape("Tom & Jerry <3 \"quotes\" 'too'"),
            "Tom &amp; Jerry &lt;3 &quot;quotes&quot; &#39;too&#39;");
  EXPECT_EQ(HtmlEscape("${PageTitle}"), "&#36;{PageTitle}");
  EXPECT_EQ(HtmlEscape("caf\xc3\xa9"), "caf\xc3\xa9");
}

TEST(EscapeTest, AttributeTextDropsTagsAndKeepsReferences) {
  EXPECT_EQ(HtmlToAttributeText("<p class=\"x\">Tom &amp; Jerry</p><br>\r\n<!-- note -->at  home"),
            "Tom &amp; Jerry at home");
  EXPECT_EQ(HtmlToAttributeText("caf&eacute; &#233; &#xE9; &nbsp &; & 3 < 4 > 2"),
            "caf&eacute; &#233; &#xE9; &amp;nbsp &amp;; &amp; 3 &lt; 4 &gt; 2");
  EXPECT_EQ(HtmlToAttributeText("\"quoted\" 'single' ${Name} <unclosed"),
            "&quot;quoted&quot; &#39;single&#39; &#36;{Name} &lt;unclosed");
  EXPECT_EQ(HtmlToAttributeText("  <b> </b>  "), "");
}

}  // namespace
}  // namespace pix
