// The order of the pictures (Pages/SortOrder), long index pages split into numbered pages
// (Pages/PicturesPerPage), titles made from file names and the end of a page, checked in
// the pages a run writes.
#include <gtest/gtest.h>
#include <utime.h>

#include <string>
#include <vector>

#include "generated_site.h"
#include "site/caption.h"
#include "site/pictureorder.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// Entries print their picture's name, detail pages their neighbours and "up" link, and
// index pages their page links, so that order and splitting can be read off the pages.
const char kLayout[] =
    "PageHeadTemplate:\r\n<TITLE>t</TITLE>"
    "${PreviousIndexPageURL?<LINK rel=prev href=${PreviousIndexPageURL}>}"
    "${NextIndexPageURL?<LINK rel=next href=${NextIndexPageURL}>}\r\n\r\n"
    "PageBodyBeginTemplate:\r\n<BODY>[${PageNumber}/${PageCount}]\r\n\r\n"
    "FileEntryTemplate:\r\n(${AnchorFileName})[${ImageLoading}]\r\n\r\n"
    "DirEntryTemplate:\r\n{${AnchorFileName} ${TotalFileLinkCount}}\r\n\r\n"
    "PageEndTemplate:\r\n<END ${TotalFileLinkCount}>\r\n\r\n"
    "DetailPageTemplate:\r\n<BODY>${PrevDetailPageURL}|${NextDetailPageURL}|${UpPageURL}|"
    "${PictureIndex}/${PictureCount}|${BaseFileTitleHTML}</BODY>\r\n\r\n"
    "ParentPageLabel:\r\nx\r\n\r\n";

class AlbumPagesTest : public test::GeneratedSiteTest {
 protected:
  AlbumPagesTest() { test::WriteFile(home_ / "globals.txt", kLayout); }

  void Settings(const std::string& pages) { WriteSettings("[Pages]\n" + pages); }

  void Run() { RunSite(); }

  // The names of the entries of a page, in order.
  std::string Entries(const std::string& page) {
    const std::string text = test::ReadFile(site_ / page);
    std::string names;
    for (std::size_t at = text.find('('); at != std::string::npos; at = text.find('(', at + 1)) {
      if (!names.empty()) names += ' ';
      names += text.substr(at + 1, text.find(')', at) - at - 1);
    }
    return names;
  }

  void Pictures(const std::vector<std::string>& names) {
    for (const std::string& name : names) test::WriteJpegPicture(site_ / name, 8, 8, "");
  }
};

TEST(PictureOrderTest, NaturalOrderComparesNumbersAsNumbers) {
  EXPECT_LT(CompareNatural("img2", "img10"), 0);
  EXPECT_GT(CompareNatural("img10", "img9"), 0);
  EXPECT_LT(CompareNatural("a1b2", "a1b10"), 0);
  EXPECT_LT(CompareNatural("img", "img1"), 0);
  // Equal numbers written differently stay apart, in byte order.
  EXPECT_NE(CompareNatural("img007", "img7"), 0);
  EXPECT_EQ(CompareNatural("img7", "img7"), 0);
  EXPECT_LT(CompareNatural("99999999999999999999998", "99999999999999999999999"), 0);
}

TEST(PictureTitleTest, TitleFromFileNameTurnsUnderscoresIntoSpaces) {
  EXPECT_EQ(TitleFromFileName("Bridge_by_Sander_Klootwijk"), "Bridge by Sander Klootwijk");
  EXPECT_EQ(TitleFromFileName("_a__b_"), "a b");
  EXPECT_EQ(TitleFromFileName("2024-06-01"), "2024-06-01");
  EXPECT_EQ(TitleFromFileName("___"), "___");
}

// Name order unless SortOrder says otherwise; an order it does not know is reported and
// name order used. The order reaches the entries and the detail pages' neighbours.
TEST_F(AlbumPagesTest, SortOrderReachesEntriesAndNeighbours) {
  Pictures({"img10.jpg", "img2.jpg", "img1.jpg"});
  const struct {
    std::string setting, entries, neighbours_of_img2;
  } cases[] = {
      {"", "img1.jpg img10.jpg img2.jpg", "img10.html||index.html|3/3"},
      {"SortOrder=natural\n", "img1.jpg img2.jpg img10.jpg", "img1.html|img10.html|index.html|2/3"},
      {"SortOrder=-natural\n", "img10.jpg img2.jpg img1.jpg", "img10.html|img1.html|index.html|2/3"},
      {"SortOrder=size\n", "img1.jpg img10.jpg img2.jpg", "img10.html||index.html|3/3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    Settings(c.setting);
    Run();
    EXPECT_EQ(Entries("index.html"), c.entries);
    EXPECT_NE(test::ReadFile(site_ / "img2.html").find(c.neighbours_of_img2), std::string::npos);
  }
  ASSERT_EQ(diagnostics_.Problems().size(), 1u);
  EXPECT_NE(diagnostics_.Problems().front().find("SortOrder \"size\""), std::string::npos);
}

TEST_F(AlbumPagesTest, DateOrderUsesTheDateTakenThenTheFileTime) {
  Settings("SortOrder=date\n");
  WritePictureTaken(site_ / "a.jpg", "2024:06:03 10:00:00");
  WritePictureTaken(site_ / "b.jpg", "2024:06:01 10:00:00");
  WritePictureTaken(site_ / "c.jpg", "");  // No date: its file time, 2024-06-02, places it.
  const struct utimbuf taken {1717322400, 1717322400};
  ASSERT_EQ(utime((site_ / "c.jpg").c_str(), &taken), 0);
  WritePictureTaken(site_ / "d.jpg", "2024:06:01 10:00:00");  // The same date as b: name order.
  Run();
  EXPECT_EQ(Entries("index.html"), "b.jpg d.jpg c.jpg a.jpg");
  Settings("SortOrder=-date\n");
  Run();
  EXPECT_EQ(Entries("index.html"), "a.jpg c.jpg d.jpg b.jpg");
}

TEST_F(AlbumPagesTest, MatchPagesFollowTheOrder) {
  Settings(
      "SortOrder=natural\n[AutoOrganizeLayout]\nDoAutoOrganize=Yes\n"
      "AutoOrganizeBaseFileNames=s,miscpics\n[MatchPageSearchStrings]\ns=[s*.*]\nmiscpics=[*.*]\n");
  Pictures({"s10.jpg", "s9.jpg", "x2.jpg", "x10.jpg"});
  Run();
  EXPECT_EQ(Entries("s.html"), "s9.jpg s10.jpg");
  EXPECT_EQ(Entries("miscpics.html"), "x2.jpg x10.jpg");
}

TEST_F(AlbumPagesTest, MatchPagesSplitLikeIndexPages) {
  Settings(
      "PicturesPerPage=2\n[AutoOrganizeLayout]\nDoAutoOrganize=Yes\n"
      "AutoOrganizeBaseFileNames=s\n[MatchPageSearchStrings]\ns=[s*.*]\n");
  Pictures({"s1.jpg", "s2.jpg", "s3.jpg", "x.jpg"});
  Run();
  EXPECT_EQ(Entries("s.html"), "s1.jpg s2.jpg");
  EXPECT_EQ(Entries("s-2.html"), "s3.jpg");
  EXPECT_NE(test::ReadFile(site_ / "s-2.html").find("<LINK rel=prev href=s.html>"),
            std::string::npos);
  EXPECT_NE(test::ReadFile(site_ / "s3.html").find("s2.html||s-2.html|3/3"), std::string::npos);
  EXPECT_NE(test::ReadFile(site_ / "index.html").find("{s.html 3}"), std::string::npos);
  EXPECT_EQ(Entries("index.html"), "x.jpg");
}

TEST_F(AlbumPagesTest, PageSplittingAtZeroOneNAndNPlusOnePictures) {
  Settings("PicturesPerPage=2\n");
  fs::create_directory(site_ / "zero");
  fs::create_directory(site_ / "one");
  test::WriteJpegPicture(site_ / "one" / "a.jpg", 8, 8, "");
  fs::create_directory(site_ / "two");
  for (const char* name : {"a.jpg", "b.jpg"}) test::WriteJpegPicture(site_ / "two" / name, 8, 8, "");
  fs::create_directory(site_ / "three");
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
    test::WriteJpegPicture(site_ / "three" / name, 8, 8, "");
  }
  Run();
  EXPECT_FALSE(fs::exists(site_ / "zero" / "index.html"));
  EXPECT_EQ(Entries("one/index.html"), "a.jpg");
  EXPECT_FALSE(fs::exists(site_ / "one" / "index-2.html"));
  EXPECT_EQ(Entries("two/index.html"), "a.jpg b.jpg");
  EXPECT_EQ(test::ReadFile(site_ / "two" / "index.html").find("rel=next"), std::string::npos);
  EXPECT_FALSE(fs::exists(site_ / "two" / "index-2.html"));

  const std::string first = test::ReadFile(site_ / "three" / "index.html");
  const std::string second = test::ReadFile(site_ / "three" / "index-2.html");
  EXPECT_EQ(Entries("three/index.html"), "a.jpg b.jpg");
  EXPECT_EQ(Entries("three/index-2.html"), "c.jpg");
  EXPECT_NE(first.find("<LINK rel=next href=index-2.html>"), std::string::npos);
  EXPECT_EQ(first.find("rel=prev"), std::string::npos);
  EXPECT_NE(first.find("<BODY>[1/2]"), std::string::npos);
  EXPECT_NE(second.find("<LINK rel=prev href=index.html>"), std::string::npos);
  EXPECT_NE(second.find("<BODY>[2/2]"), std::string::npos);
  EXPECT_FALSE(fs::exists(site_ / "three" / "index-3.html"));
  // The first page counts the whole album, and so does the album's entry above it.
  EXPECT_NE(first.find("<END 3>"), std::string::npos);
  EXPECT_NE(test::ReadFile(site_ / "index.html").find("{three/index.html 3}"), std::string::npos);
  // Detail pages go up to the page that lists them, and from page to page.
  EXPECT_NE(test::ReadFile(site_ / "three" / "b.html").find("a.html|c.html|index.html|2/3"),
            std::string::npos);
  EXPECT_NE(test::ReadFile(site_ / "three" / "c.html").find("b.html||index-2.html|3/3"),
            std::string::npos);
}

TEST_F(AlbumPagesTest, TheFirstPicturesOfEveryPageLoadAtOnce) {
  Settings("PicturesPerPage=5\n");
  Pictures({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg"});
  Run();
  const std::string first = test::ReadFile(site_ / "index.html");
  EXPECT_NE(first.find("(a.jpg)[eager](b.jpg)[eager](c.jpg)[eager](d.jpg)[eager]"
                       "(e.jpg)[lazy]"),
            std::string::npos)
      << first;
  EXPECT_NE(test::ReadFile(site_ / "index-2.html").find("(f.jpg)[eager]"), std::string::npos);
}

// An unreadable picture takes no place on a page; a run with fewer pictures removes the
// page that is no longer needed.
TEST_F(AlbumPagesTest, PagesCountOnlyReadablePicturesAndTheLastPageGoesWithThem) {
  Settings("PicturesPerPage=1\n");
  Pictures({"a.jpg", "c.jpg"});
  test::WriteFile(site_ / "b.jpg", "not a picture");
  Run();
  EXPECT_EQ(Entries("index.html"), "a.jpg");
  EXPECT_EQ(Entries("index-2.html"), "c.jpg");
  EXPECT_FALSE(fs::exists(site_ / "index-3.html"));
  fs::remove(site_ / "c.jpg");
  Run();
  EXPECT_FALSE(fs::exists(site_ / "index-2.html"));
  EXPECT_EQ(test::ReadFile(site_ / "index.html").find("rel=next"), std::string::npos);
}

// Without a page limit an album keeps one page, and a picture named like a numbered index
// page is a picture like any other.
TEST_F(AlbumPagesTest, APictureNamedLikeANumberedIndexPageIsLeftOutOnlyWhenPagesSplit) {
  Settings("PicturesPerPage=5\n");
  Pictures({"index-2.jpg", "a.jpg", "b.jpg"});
  Run();
  EXPECT_EQ(Entries("index.html"), "a.jpg b.jpg");
  Settings("PicturesPerPage=0\n");
  Run();
  EXPECT_EQ(Entries("index.html"), "a.jpg b.jpg index-2.jpg");
  EXPECT_NE(test::ReadFile(site_ / "index.html").find("<BODY>[/]"), std::string::npos);
  EXPECT_TRUE(fs::exists(site_ / "index-2.html")) << "the picture's own page";
  EXPECT_EQ(test::ReadFile(site_ / "index-2.html").find("(a.jpg)"), std::string::npos);
}

// Detail pages have a title made from the file name; index pages end with the body's end
// tag when the layout has one.
TEST_F(AlbumPagesTest, TitlesComeFromFileNamesAndTheBodyEndTagEndsIndexPages) {
  Settings("");
  Pictures({"Bridge_by_Sander_Klootwijk.jpg"});
  Run();
  EXPECT_NE(test::ReadFile(site_ / "Bridge_by_Sander_Klootwijk.html")
                .find("|Bridge by Sander Klootwijk</BODY>"),
            std::string::npos);
  const std::string old_end = "\r\n<P>\r\n</HTML>\r\n";
  const std::string page = test::ReadFile(site_ / "index.html");
  EXPECT_EQ(page.substr(page.size() - old_end.size()), old_end);
  test::WriteFile(home_ / "globals.txt", std::string(kLayout) + "BodyEndTag:\r\n</BODY>\r\n\r\n");
  Run();
  const std::string new_end = "<END 1>\r\n</BODY>\r\n</HTML>\r\n";
  const std::string ended = test::ReadFile(site_ / "index.html");
  EXPECT_EQ(ended.substr(ended.size() - new_end.size()), new_end);
}

}  // namespace
}  // namespace pix
