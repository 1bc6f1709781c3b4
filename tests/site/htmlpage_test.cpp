// Reading a page as a browser does: what it refers to, what a browser must repair, and
// where a reference leads within the site.
#include "site/htmlpage.h"

#include <gtest/gtest.h>

namespace pix {
namespace {

std::string Problems(const HtmlPage& page) {
  std::string text;
  for (const PageProblem& problem : page.problems) {
    text += std::to_string(problem.line) + ": " + problem.text + "\n";
  }
  return text;
}

TEST(HtmlPageTest, ReferencesOfEveryKindWithTheirLines) {
  const HtmlPage page = ReadHtmlPage(
      "<!DOCTYPE html>\n<html lang=\"en\"><head><link rel=stylesheet href=\"site.css\">\n"
      "<script src=\"a.js\"></script></head><body>\n"
      "<a href=\"sub/index.html#top\">x</a> <img src=\"inline/a&amp;b.jpg\" alt=\"\">\n"
      "<img srcset=\"s1.jpg 1x, s2.jpg 2x\" alt=\"two\"><a name=\"x\">no href</a>\n"
      "</body></html>\n");
  EXPECT_EQ(Problems(page), "");
  std::vector<std::string> seen;
  for (const PageReference& reference : page.references) {
    seen.push_back(std::to_string(reference.line) + " " + reference.element + " " +
                   reference.attribute + " " + reference.value);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"2 link href site.css", "3 script src a.js",
                                            "4 a href sub/index.html#top",
                                            "4 img src inline/a&b.jpg", "5 img srcset s1.jpg",
                                            "5 img srcset s2.jpg"}));
}

TEST(HtmlPageTest, WhatABrowserRepairsOrAReaderMissesButNotWhatHtmlAllows) {
  const HtmlPage page = ReadHtmlPage(
      "<html>\n<body><b>bold <i>both</b> italic</i>\n<table><tr><td>x</td></tr>"
      "</table>\n</p>\n<img src=a.jpg>\n<div>open\n");
  // The <i> left open by </b> is closed there, and a copy of it goes on.
  EXPECT_EQ(Problems(page),
            "0: the page has no <!DOCTYPE>\n"
            "0: the page does not say its language (<html lang>)\n"
            "2: <i> is never closed\n"
            "2: <i> is closed out of order\n"
            "4: an end tag </p> without its start\n"
            "5: <img> has no alt text\n"
            "6: <div> is never closed\n"
            "0: 4 HTML syntax errors a browser repairs\n");

  // What leaves no mark on the tree is still counted.
  EXPECT_EQ(Problems(ReadHtmlPage("<!DOCTYPE html><html lang=en><title>t</title><p id=a id=b>x")),
            "0: 1 HTML syntax error a browser repairs\n");
  // End tags that HTML lets a page leave out are no problem.
  EXPECT_EQ(Problems(ReadHtmlPage(
                "<!DOCTYPE html><html lang=de><title>t</title><p>one<p>two<ul><li>a<li>b</ul>"
                "<table><tr><td>1<td>2</table><br>")),
            "");
}

TEST(HtmlPageTest, ReferencesResolveWithinTheSite) {
  EXPECT_EQ(ResolvePageReference("trip/index.html", "inline/a.jpg"), "trip/inline/a.jpg");
  EXPECT_EQ(ResolvePageReference("trip/index.html", "../index.html"), "index.html");
  EXPECT_EQ(ResolvePageReference("trip/index.html", "./b%20c.html?x=1#y"), "trip/b c.html");
  EXPECT_EQ(ResolvePageReference("trip/day/a.html", "/style.css"), "style.css");
  EXPECT_EQ(ResolvePageReference("index.html", "../../etc/passwd"), "../../etc/passwd");
  EXPECT_TRUE(LeavesSite(*ResolvePageReference("index.html", "../x.html")));
  EXPECT_FALSE(LeavesSite(*ResolvePageReference("a/index.html", "../x.html")));
  EXPECT_EQ(ResolvePageReference("index.html", "trip/"), "trip");
  EXPECT_EQ(ResolvePageReference("index.html", "https://example.org/a.jpg"), std::nullopt);
  EXPECT_EQ(ResolvePageReference("index.html", "mailto:ann@example.org"), std::nullopt);
  EXPECT_EQ(ResolvePageReference("index.html", "//cdn.example.org/x.js"), std::nullopt);
  EXPECT_EQ(ResolvePageReference("index.html", "#top"), std::nullopt);
}

TEST(HtmlPageTest, ADeeplyNestedPageIsReadWhole) {
  std::string text = "<!DOCTYPE html><html lang=en><title>t</title>";
  for (int i = 0; i < 20000; ++i) text += "<div>";
  text += "<img src=deep.jpg alt=deep>";
  const HtmlPage page = ReadHtmlPage(text);
  ASSERT_EQ(page.references.size(), 1u);
  EXPECT_EQ(page.references[0].value, "deep.jpg");
}

}  // namespace
}  // namespace pix
