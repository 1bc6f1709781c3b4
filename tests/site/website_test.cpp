// End-to-end runs of the generator over picture trees made by the tests, with layouts whose
// templates print the variables under test, so that the pages can be checked byte for byte.
#include "site/website.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "files/filelist.h"
#include "generated_site.h"
#include "files/picturenames.h"
#include "files/settings.h"
#include "site/siterecord.h"
#include "picture/comwrite.h"
#include "picture/gifrsize.h"
#include "support/site_files.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// Records the progress calls of a run.
class RecordingProgress : public Progress {
 public:
  std::vector<std::string> steps;

 protected:
  void Refresh() override {
    if (steps.empty() || steps.back() != CurrentStep()) steps.push_back(CurrentStep());
  }
};

const char kEnd[] = "\r\n<P>\r\n</HTML>\r\n";
const char kJpegImagesAtTwiceTheDisplaySize[] =
    "[FileExtensions]\nInLineFileExt=jpg\n[Display]\nMaxDisplayWidth=100\nMaxDisplayHeight=100\n"
    "InLinePixelDensity=2\nDetailImageMaxSize=150\n";

class WebSiteTest : public test::GeneratedSiteTest {
 protected:
  WebSiteTest() {
    test::WriteFile(home_ / "pixamond.ini",
                    "[HTMLDefaults]\nPersonFullName=Ann Example\n"
                    "[Display]\nMaxDisplayWidth=100\nMaxDisplayHeight=100\n");
    SetLayout({});
  }

  // Writes the site-wide layout: the test templates, with `extra` records after them.
  void SetLayout(const std::string& extra) {
    test::WriteFile(home_ / "globals.txt",
                    "PageHeadTemplate:\r\n<TITLE>${PageTitle}</TITLE>\r\n\r\n"
                    "PageTitle:\r\nT-${DirBaseName}\r\n\r\n"
                    "PageLabel:\r\nL-${DirBaseName}\r\n\r\n"
                    "PageBodyBeginTemplate:\r\n<BODY><H1>${PageLabel}</H1>[${ActualReturnLabel}]\r\n\r\n"
                    "FileLeaderTemplate:\r\n<FL>\r\n\r\n"
                    "GroupLeaderTemplate:\r\n<GL>\r\n\r\n"
                    "FileEntryTemplate:\r\n<E ${AnchorFileName}|${DisplayWidth}x${DisplayHeight}|${FileSizeInK}>\r\n\r\n"
                    "GroupTrailerTemplate:\r\n<GT>\r\n\r\n"
                    "FileTrailerTemplate:\r\n<FT>\r\n\r\n"
                    "DirLeaderTemplate:\r\n<DL ${PageTitle}>\r\n\r\n"
                    "DirEntryTemplate:\r\n<D ${AnchorFileName}|${ImageFileName}|${FileLinkCount}|${TotalFileSizeInBytes}>\r\n\r\n"
                    "DirTrailerTemplate:\r\n<DT>\r\n\r\n"
                    "PageEndTemplate:\r\n<END ${FileLinkCount} ${TotalFileSizeInBytes}>\r\n\r\n"
                    "PossibleReturnLabel:\r\nup:${ParentPageLabel}\r\n\r\n"
                    "ParentPageLabel:\r\n${PageLabel}\r\n\r\n" +
                        extra);
  }

  RunStats Run() { return RunSite(0, &progress_); }
  std::string Page(const std::string& relative) { return test::ReadFile(site_ / relative); }

  RecordingProgress progress_;
};

TEST_F(WebSiteTest, OnePictureWritesLeaderGroupEntryTrailersInOrder) {
  test::WriteJpegPicture(site_ / "a.jpg", 200, 100, "");
  const RunStats stats = Run();
  const std::string size = std::to_string(fs::file_size(site_ / "a.jpg") / 1024);
  const std::string name = site_.path().filename().string();
  EXPECT_EQ(Page("index.html"), std::string(kPageHead) + "<HEAD><TITLE>T-" + name +
                                    "</TITLE></HEAD>\r\n<BODY><H1>L-" + name + "</H1>[]" +
                                    "<FL><GL><E a.jpg|100x50|" + size + "><GT><FT><END 1 " +
                                    std::to_string(fs::file_size(site_ / "a.jpg")) + ">" + kEnd);
  EXPECT_EQ(stats.pictures, 1);
  EXPECT_EQ(stats.inline_made, 1);
  EXPECT_EQ(stats.problems_reported, 0);
  EXPECT_EQ(test::ImageSizeOf(site_ / "inline" / "a.gif"), "100x50");
  // The picture's steps, then the end of the run, which takes seconds on a large site.
  EXPECT_EQ(progress_.steps,
            (std::vector<std::string>{"", "Processing Image a.jpg", "Finshed a.jpg",
                                      "Removing files the site no longer has",
                                      "Reading back the files just written",
                                      "Saving the site's record"}));
  EXPECT_EQ(progress_.Position(), 1);
  EXPECT_EQ(progress_.StepCount(), 1);
}

// Groups of fewer than one picture count as one.
TEST_F(WebSiteTest, SevenPicturesInGroupsOfThreeOrOfOne) {
  for (int i = 1; i <= 7; ++i) test::WriteJpegPicture(site_ / ("p" + std::to_string(i) + ".jpg"), 10, 10, "");
  const std::pair<const char*, std::string> cases[] = {
      {"3", "FL GL p1 p2 p3 GT GL p4 p5 p6 GT GL p7 GT FT "},
      {"0", "FL GL p1 GT GL p2 GT GL p3 GT GL p4 GT GL p5 GT GL p6 GT GL p7 GT FT "}};
  for (const auto& [per_group, expected] : cases) {
    WriteSettings(std::string("[AutoOrganizeLayout]\nPicturesPerGroup=") + per_group + "\n");
    Run();
    std::string page = Page("index.html");
    std::string sequence;
    for (std::size_t at = page.find('<', page.find("<FL>")); at != std::string::npos;
         at = page.find('<', at + 1)) {
      const std::string tag = page.substr(at + 1, 2);
      if (tag == "GL" || tag == "GT" || tag == "FT" || tag == "FL") sequence += tag + " ";
      if (tag == "E ") sequence += page.substr(at + 3, 2) + " ";
    }
    EXPECT_EQ(sequence, expected) << per_group;
  }
}

TEST_F(WebSiteTest, SubDirectoryIsWrittenFirstAndListedWithItsTotals) {
  test::WriteJpegPicture(site_ / "a.jpg", 40, 40, "");
  test::WriteJpegPicture(site_ / "b.jpg", 40, 40, "");
  test::WriteJpegPicture(site_ / "sub" / "c.jpg", 80, 40, "");
  Run();
  const std::string sub = Page("sub/index.html");
  const std::string top = Page("index.html");
  const std::string name = site_.path().filename().string();
  // The sub-directory's page returns to its parent's label, as the parent page has it.
  EXPECT_NE(sub.find("<H1>L-sub</H1>[up:L-" + name + "]"), std::string::npos) << sub;
  const std::string c_bytes = std::to_string(fs::file_size(site_ / "sub" / "c.jpg"));
  EXPECT_NE(top.find("<DL T-sub><D sub/index.html|sub/inline/c.gif|1|" + c_bytes + "><DT><FL>"),
            std::string::npos)
      << top;
  EXPECT_EQ(top.find("[up:"), std::string::npos) << "the root page has no parent page";
}

// An empty site, a directory without pictures and a layout without detail pages: no page.
TEST_F(WebSiteTest, WhatHasNothingToShowGetsNoPage) {
  EXPECT_EQ(Run().pages_written, 0);
  EXPECT_EQ(progress_.StepCount(), 0);
  EXPECT_FALSE(fs::exists(site_ / "index.html"));
  fs::create_directories(site_ / "empty" / "inline");
  test::WriteJpegPicture(site_ / "a.jpg", 10, 10, "");
  Run();
  EXPECT_FALSE(fs::exists(site_ / "empty" / "index.html"));
  EXPECT_EQ(Page("index.html").find("<DL"), std::string::npos);
  EXPECT_FALSE(fs::exists(site_ / "a.html"));
}

TEST_F(WebSiteTest, PagesFollowTheLayoutUnlessEditedByHand) {
  test::WriteJpegPicture(site_ / "a.jpg", 300, 200, "");
  EXPECT_EQ(Run().inline_made, 1);
  SetLayout("PageTitle:\r\nChanged\r\n\r\n");
  const RunStats second = Run();
  EXPECT_EQ(second.inline_made, 0);
  EXPECT_EQ(second.inline_reused, 1);
  EXPECT_NE(Page("index.html").find("<TITLE>Changed</TITLE>"), std::string::npos)
      << "a changed title template reaches the existing page";
  EXPECT_TRUE(diagnostics_.Notices().empty());

  // The user edits the title by hand: from now on the page keeps its head, title and
  // heading, and says so once.
  std::string edited = Page("index.html");
  edited.replace(edited.find("<TITLE>Changed</TITLE>"), 22, "<TITLE>Mine</TITLE>");
  test::WriteFile(site_ / "index.html", edited);
  Run();
  EXPECT_NE(Page("index.html").find("<TITLE>Mine</TITLE>"), std::string::npos);
  EXPECT_EQ(diagnostics_.Notices().size(), 1u);
  SetLayout("PageTitle:\r\nChanged again\r\n\r\n");
  Run();
  EXPECT_NE(Page("index.html").find("<TITLE>Mine</TITLE>"), std::string::npos);
  EXPECT_EQ(diagnostics_.Notices().size(), 1u);
  // The page's own index.txt is read after the kept version, so it wins over it.
  test::WriteFile(site_ / "index.txt", "PageLabel:\r\nFrom index.txt\r\n\r\n");
  Run();
  EXPECT_NE(Page("index.html").find("<H1>From index.txt</H1>"), std::string::npos);
  EXPECT_NE(Page("index.html").find("<TITLE>Mine</TITLE>"), std::string::npos);
}

TEST_F(WebSiteTest, PagesOfAnEarlierVersionAreAdoptedAndTakeTheLayout) {
  test::WriteJpegPicture(site_ / "a.jpg", 30, 20, "");
  test::WriteFile(site_ / "index.html",
                  "<!--Produced With Pixamond Version 1.0-->\r\n"
                  "<!--Pixamond is written by the Pixamond developers-->\r\n"
                  "<HTML>\r\n<HEAD><TITLE>Old title</TITLE></HEAD>\r\n"
                  "<BODY><H1>Old label</H1>\r\n<P>\r\n</HTML>\r\n");
  WriteSettings("PageLanguage=fr\n");
  Run();
  EXPECT_EQ(ui_.messages().size(), 0u);
  const std::string page = Page("index.html");
  EXPECT_NE(page.find("-->\r\n<!DOCTYPE html>\r\n<HTML lang=\"fr\">\r\n<HEAD>"), std::string::npos);
  EXPECT_EQ(page.find("Old title"), std::string::npos);
  const std::string name = site_.path().filename().string();
  EXPECT_NE(page.find("<TITLE>T-" + name + "</TITLE>"), std::string::npos) << page;
  EXPECT_EQ(page.find("<!DOCTYPE html>"), page.rfind("<!DOCTYPE html>")) << "one doctype";
}

TEST_F(WebSiteTest, DetailPagesLinkTheirNeighboursAcrossGroupsAndPastUnreadablePictures) {
  WriteSettings("[AutoOrganizeLayout]\nPicturesPerGroup=2\n");
  SetLayout("DetailPageTemplate:\r\n[${PrevDetailPageURL}|${PrevDetailPageCaptionText}|"
            "${NextDetailPageURL}|${NextDetailPageCaptionText}|${PictureIndex}/${PictureCount}|"
            "${UpPageURL}]\r\n\r\n");
  test::WriteJpegPicture(site_ / "a.jpg", 30, 20, "");
  test::WriteJpegPicture(site_ / "b b.jpg", 30, 20, "");
  test::WriteFile(site_ / "bz.jpg", "no picture");
  test::WriteJpegPicture(site_ / "c.jpg", 30, 20, "ImageDescription:\r\nSunset & <I>sea</I>\r\n\r\n");
  Run();
  const std::string head = std::string(kPageHead);
  EXPECT_EQ(Page("a.html"), head + "[||b%20b.html|b b|1/4|index.html]</HTML>\r\n");
  EXPECT_EQ(Page("b b.html"),
            head + "[a.html|a|c.html|Sunset &amp; sea|2/4|index.html]</HTML>\r\n");
  EXPECT_EQ(Page("c.html"), head + "[b%20b.html|b b|||4/4|index.html]</HTML>\r\n");
}

TEST_F(WebSiteTest, NeighboursStayWithinTheirSeriesPage) {
  WriteSettings(
      "[AutoOrganizeLayout]\nDoAutoOrganize=Yes\nAutoOrganizeBaseFileNames=photo0000\n"
      "[MatchPageSearchStrings]\nphoto0000=[photo####.*]\n");
  SetLayout("DetailPageTemplate:\r\n[${PrevDetailPageURL}|${NextDetailPageURL}|"
            "${PictureIndex}/${PictureCount}|${UpPageURL}]\r\n\r\n"
            "PageLabel:\r\n${SeriesNameRangeHTML}\r\n\r\n");
  for (const char* name : {"other.jpg", "photo0001.jpg", "photo0002.jpg"}) {
    test::WriteJpegPicture(site_ / name, 30, 20, "");
  }
  Run();
  const std::string head = std::string(kPageHead);
  EXPECT_EQ(Page("photo0002.html"), head + "[photo0001.html||2/2|photo0000.html]</HTML>\r\n");
  EXPECT_EQ(Page("other.html"), head + "[||1/1|index.html]</HTML>\r\n");
  EXPECT_NE(Page("photo0000.html").find("<H1>photo0001 &ndash; photo0002</H1>"),
            std::string::npos);
}

// JPEG inline images at twice the display size and web-sized detail images; a picture on
// its side gets both upright (its pixels are the image maker's to test), and a rerun makes
// again only an image that is stale.
TEST_F(WebSiteTest, JpegImagesAtTwiceTheDisplaySizeStandUprightAndOnlyStaleOnesAreMadeAgain) {
  WriteSettings(kJpegImagesAtTwiceTheDisplaySize);
  SetLayout("DetailPageTemplate:\r\n[${DetailImageURL}|${DetailImageWidth}x${DetailImageHeight}|"
            "${AnchorWidth}x${AnchorHeight}]\r\n\r\n");
  test::WriteJpegPicture(site_ / "wide one.jpg", 400, 200, "");
  test::WriteJpegPicture(site_ / "small.jpg", 60, 40, "");
  // Stored 400 x 200; EXIF 6 turns it a quarter clockwise, upright 200 x 400.
  test::ExifFields exif;
  exif.orientation = 6;
  test::WriteFile(site_ / "side.jpg",
                  test::MakeJpeg(test::GradientArt(400, 200), test::WithExif(exif)));
  const fs::path inline_image = site_ / "inline" / "side.jpg";
  const fs::path detail_image = site_ / "inline" / "detail" / "side.jpg";
  RunStats stats = Run();
  EXPECT_EQ(stats.inline_made, 3);
  EXPECT_EQ(diagnostics_.ProblemText(), "");
  const std::string index = Page("index.html");
  EXPECT_NE(index.find("<E wide one.jpg|100x50|"), std::string::npos) << "shown at display size";
  EXPECT_EQ(test::ImageSizeOf(site_ / "inline" / "wide one.jpg"), "200x100");
  EXPECT_EQ(test::ImageSizeOf(site_ / "inline" / "small.jpg"), "100x66")
      << "a picture smaller than twice its display size gives what it has";
  EXPECT_EQ(test::ImageSizeOf(site_ / "inline" / "detail" / "wide one.jpg"), "150x75");
  EXPECT_EQ(test::ImageSizeOf(inline_image), "100x200") << "twice the 50x100 display size";
  EXPECT_EQ(test::ImageSizeOf(detail_image), "75x150");
  const std::string head = kPageHead;
  EXPECT_EQ(Page("wide one.html"),
            head + "[inline/detail/wide%20one.jpg|150x75|400x200]</HTML>\r\n");
  EXPECT_EQ(Page("small.html"), head + "[inline/detail/small.jpg|60x40|60x40]</HTML>\r\n");
  EXPECT_EQ(Page("side.html"), head + "[inline/detail/side.jpg|75x150|200x400]</HTML>\r\n");
  const auto detail_time = fs::last_write_time(site_ / "inline" / "detail" / "wide one.jpg");
  stats = Run();
  EXPECT_EQ(stats.inline_made, 0);
  EXPECT_EQ(stats.inline_reused, 3);
  EXPECT_EQ(fs::last_write_time(site_ / "inline" / "detail" / "wide one.jpg"), detail_time)
      << "a current detail image is kept";

  // With the inline image gone, only it is made again.
  const auto side_detail_time = fs::last_write_time(detail_image);
  fs::remove(inline_image);
  EXPECT_EQ(Run().inline_made, 1);
  EXPECT_EQ(test::ImageSizeOf(inline_image), "100x200");
  EXPECT_EQ(fs::last_write_time(detail_image), side_detail_time)
      << "a current detail image is kept";

  // With the detail image gone, only it is made again.
  const auto inline_time = fs::last_write_time(inline_image);
  fs::remove(detail_image);
  stats = Run();
  EXPECT_EQ(stats.inline_made, 0);
  EXPECT_EQ(stats.inline_reused, 3);
  EXPECT_EQ(test::ImageSizeOf(detail_image), "75x150");
  EXPECT_EQ(fs::last_write_time(inline_image), inline_time) << "a current inline image is kept";
  EXPECT_NE(Page("side.html").find("|75x150|"), std::string::npos);
  EXPECT_EQ(diagnostics_.ProblemText(), "");
}

// The comment, else the text file beside the picture, sets the detail page's variables;
// UTF-8 captions and names reach the page byte for byte.
TEST_F(WebSiteTest, CommentAndTextFileSetTheDetailPageByteForByte) {
  SetLayout(
      "DetailPageTemplate:\r\n[${DetailPageLabel}|${DetailPageTitle}|${ImageDescription}|"
      "${AnchorWidth}|${BaseFileNameHTML}|${DetailPageFileURL}]\r\n\r\n"
      "DetailPageLabel:\r\n${BaseFileName}\r\n\r\n");
  test::WriteJpegPicture(site_ / "a.jpg", 64, 48,
                         "DetailPageLabel:\r\nMy label\r\n\r\nImageDescription:\r\nFrom comment\r\n\r\n");
  test::WriteJpegPicture(site_ / "b.jpg", 64, 48, "ImageDescription:\r\nFrom comment\r\n\r\n");
  test::WriteFile(site_ / "b.txt", "ImageDescription:\r\nFrom text file\r\n\r\n");
  test::WriteJpegPicture(site_ / "c.jpg", 64, 48, "");
  const std::string title =
      "Storm \xC3\xBC"
      "ber Z\xC3\xBCrich \xE2\x80\x93 5 \xE2\x82\xAC";
  const std::string description = "D\xC3\xBCnes au cr\xC3\xA9puscule";
  const std::string name =
      "Z\xC3\xBCrich S\xC3\xBC"
      "d";
  test::WriteJpegPicture(
      site_ / (name + ".jpg"), 64, 48,
      "DetailPageTitle:\r\n" + title + "\r\n\r\nImageDescription:\r\n" + description + "\r\n\r\n");
  Run();
  const std::string head = kPageHead;
  EXPECT_EQ(Page("a.html"), head + "[My label||From comment|64|a|a.html]</HTML>\r\n");
  EXPECT_EQ(Page("b.html"), head + "[b||From text file|64|b|b.html]</HTML>\r\n");
  EXPECT_EQ(Page("c.html"), head + "[c|||64|c|c.html]</HTML>\r\n")
      << "the previous picture's values are undone";
  EXPECT_EQ(Page(name + ".html"), head + "[" + name + "|" + title + "|" + description + "|64|" +
                                      name + "|Z%C3%BCrich%20S%C3%BCd.html]</HTML>\r\n");
}

TEST_F(WebSiteTest, MatchPagesTakeTheirSeriesAndCatchAllTakesTheRest) {
  WriteSettings(
      "[AutoOrganizeLayout]\nDoAutoOrganize=Yes\n"
      "AutoOrganizeBaseFileNames=img00001,photo0000,miscpics\n"
      "[MatchPageSearchStrings]\nimg00001=[img####@.*]\nphoto0000=[photo####.*]\n"
      "miscpics=[*.*]\n");
  test::WriteJpegPicture(site_ / "photo0001.jpg", 10, 10, "");
  test::WriteJpegPicture(site_ / "photo0002.jpg", 10, 10, "");
  test::WriteJpegPicture(site_ / "other.jpg", 10, 10, "");
  test::WriteJpegPicture(site_ / "sub" / "img0001a.jpg", 10, 10, "");
  test::WriteJpegPicture(site_ / "sub" / "img0002a.jpg", 10, 10, "");
  Run();
  EXPECT_TRUE(fs::exists(site_ / "photo0000.html"));
  EXPECT_TRUE(fs::exists(site_ / "miscpics.html"));
  EXPECT_FALSE(fs::exists(site_ / "img00001.html"));
  EXPECT_TRUE(fs::exists(site_ / "sub" / "img00001.html"));
  EXPECT_FALSE(fs::exists(site_ / "sub" / "miscpics.html")) << "every picture there was taken";
  const std::string top = Page("index.html");
  EXPECT_NE(top.find("<D photo0000.html|inline/photo0001.gif|2|"), std::string::npos) << top;
  EXPECT_NE(top.find("<D miscpics.html|inline/other.gif|1|"), std::string::npos) << top;
  EXPECT_LT(top.find("<D photo0000.html"), top.find("<D miscpics.html"));
  EXPECT_EQ(top.find("<FL>"), std::string::npos) << "no pictures left for the index page";
  EXPECT_NE(Page("photo0000.html").find("[up:"), std::string::npos);
}

// A GIF twin of a JPEG picture is kept but not listed; interlaced GIFs are rewritten with
// their lines in order, unless they may not be (which rewrites are refused, with which
// words, is the rewrite guard's test): then each refusal is said once and the run goes on.
TEST_F(WebSiteTest, GifTwinIsNotListedAndInterlacedGifsAreRewrittenUnlessTheyMayNotBe) {
  test::WriteJpegPicture(site_ / "photo.jpg", 20, 20, "");
  test::WriteGifPicture(site_ / "photo.gif", 20, 20, /*interlaced=*/false);
  const std::string twin = test::ReadFile(site_ / "photo.gif");
  test::WriteGifPicture(site_ / "locked.gif", 16, 24, /*interlaced=*/true);
  ::chmod((site_ / "locked.gif").c_str(), 0444);
  test::WriteGifPicture(site_ / "shared.gif", 16, 24, /*interlaced=*/true);
  fs::create_hard_link(site_ / "shared.gif", home_ / "shared-elsewhere.gif");
  test::WriteGifPicture(site_ / "mine.gif", 16, 24, /*interlaced=*/true);
  const RunStats stats = Run();
  EXPECT_EQ(test::ReadFile(site_ / "photo.gif"), twin) << "the user's GIF is not deleted";
  EXPECT_EQ(stats.pictures, 4);
  EXPECT_EQ(progress_.StepCount(), 4);
  EXPECT_EQ(Page("index.html").find("<E photo.gif"), std::string::npos);
  EXPECT_NE(Page("index.html").find("<E photo.jpg"), std::string::npos);
  EXPECT_EQ(stats.problems_reported, 2);
  ASSERT_EQ(ui_.messages().size(), 2u);
  EXPECT_EQ(ui_.messages()[0].text.rfind("The interlaced GIF file was not de-interlaced: " +
                                             (site_ / "locked.gif").string() + " is read-only",
                                         0),
            0u);
  EXPECT_NE(ui_.messages()[1].text.find((site_ / "shared.gif").string()), std::string::npos);
  EXPECT_TRUE(*IsGifInterlaced(site_ / "locked.gif"));
  EXPECT_TRUE(*IsGifInterlaced(site_ / "shared.gif"));
  EXPECT_FALSE(*IsGifInterlaced(site_ / "mine.gif"));
  for (const char* name : {"locked.gif", "shared.gif", "mine.gif"}) {
    EXPECT_NE(Page("index.html").find(std::string("<E ") + name + "|66x100|"), std::string::npos)
        << name;
    EXPECT_FALSE(*IsGifInterlaced(site_ / "inline" / name)) << name;
  }
}

TEST_F(WebSiteTest, DeleteHtmlFirstPurgesOnlyThePagesItWroteEverywhere) {
  WriteSettings("[AutoOrganizeLayout]\nDeleteHTMLFirst=Yes\n");
  const std::string ours = "<!--Produced With Pixamond Version 1.0-->\r\n<HTML></HTML>";
  test::WriteFile(site_ / "old.htm", ours);
  test::WriteFile(site_ / "deep" / "stale.HTML", ours);
  test::WriteFile(site_ / "keep.txt", "x");
  test::WriteFile(site_ / "mine.html", "<HTML>my own page</HTML>");
  test::WriteFile(site_ / "elsewhere" / "target.html", ours);
  fs::create_symlink(site_ / "elsewhere" / "target.html", site_ / "linked.html");
  Run();
  EXPECT_FALSE(fs::exists(site_ / "old.htm"));
  EXPECT_FALSE(fs::exists(site_ / "deep" / "stale.HTML"));
  EXPECT_TRUE(fs::exists(site_ / "keep.txt"));
  EXPECT_EQ(test::ReadFile(site_ / "mine.html"), "<HTML>my own page</HTML>");
  EXPECT_TRUE(fs::is_symlink(site_ / "linked.html")) << "a link is never taken for a page";
  const std::string problems = diagnostics_.ProblemText();
  EXPECT_NE(problems.find((site_ / "mine.html").string() + " is kept"), std::string::npos)
      << problems;
  EXPECT_NE(problems.find((site_ / "linked.html").string() + " is kept"), std::string::npos);
}

TEST_F(WebSiteTest, NothingIsWrittenThroughLinksOrOverTheUsersOwnPages) {
  // The user's pictures elsewhere, reached through a link named like the inline folder.
  test::TempDir elsewhere;
  test::WriteGifPicture(elsewhere / "a.gif", 40, 40, false);
  const std::string elsewhere_bytes = test::ReadFile(elsewhere / "a.gif");
  test::WriteJpegPicture(site_ / "a.jpg", 10, 10, "");
  fs::create_directory_symlink(elsewhere.path(), site_ / "inline");
  // A link planted where a detail page goes, and a page of the user's own.
  test::WriteJpegPicture(site_ / "sub" / "b.jpg", 10, 10, "");
  test::WriteJpegPicture(site_ / "sub" / "notes.jpg", 10, 10, "");
  test::WriteFile(elsewhere / "secret.html", "<TITLE>secret</TITLE><H1>secret</H1>");
  fs::create_symlink(elsewhere / "secret.html", site_ / "sub" / "b.html");
  test::WriteFile(site_ / "sub" / "notes.html", "<HTML>my notes</HTML>");
  SetLayout("DetailPageTemplate:\r\n<D ${PageTitle}>\r\n\r\n");

  Run();
  EXPECT_EQ(test::ReadFile(elsewhere / "a.gif"), elsewhere_bytes);
  EXPECT_TRUE(fs::is_symlink(site_ / "sub" / "b.html"));
  EXPECT_EQ(test::ReadFile(elsewhere / "secret.html"), "<TITLE>secret</TITLE><H1>secret</H1>");
  EXPECT_EQ(test::ReadFile(site_ / "sub" / "notes.html"), "<HTML>my notes</HTML>");
  EXPECT_EQ(Page("sub/index.html").find("secret"), std::string::npos);
  const std::string shown = [&] {
    std::string text;
    for (const auto& message : ui_.messages()) text += message.text + "\n";
    return text;
  }();
  EXPECT_NE(shown.find((site_ / "inline").string() +
                       " is a link; nothing is written through a link"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find((site_ / "sub" / "b.html").string() +
                       " is kept as it is (a link); the page is not written"),
            std::string::npos);
  EXPECT_NE(shown.find((site_ / "sub" / "notes.html").string() +
                       " is kept as it is (not written by Pixamond); the page is not written"),
            std::string::npos);
}

// A folder named like the inline folder is the run's only when it is empty or holds only
// what the site's record says a run wrote there.
TEST_F(WebSiteTest, AUsersFolderNamedInlineIsPublishedAndNeverWrittenInto) {
  test::WriteJpegPicture(site_ / "a.jpg", 200, 100, "");
  test::WriteGifPicture(site_ / "inline" / "a.gif", 30, 20, /*interlaced=*/false);
  test::WriteFile(site_ / "inline" / "notes.txt", "the user's notes");
  const std::string users_gif = test::ReadFile(site_ / "inline" / "a.gif");
  test::WriteJpegPicture(site_ / "trip" / "Inline" / "b.jpg", 40, 40, "");
  test::WriteJpegPicture(site_ / "trip" / "c.jpg", 40, 40, "");
  Run();

  EXPECT_EQ(test::ReadFile(site_ / "inline" / "a.gif"), users_gif);
  EXPECT_EQ(diagnostics_.Problems(),
            std::vector<std::string>{(site_ / "inline").string() +
                                     " holds files of yours, so no inline images are written "
                                     "into it: it is published as an album, and the pictures "
                                     "beside it are shown in place of inline images (set "
                                     "another InLineSubDirName to have them made)"});
  // The folder is an album: its picture has its page, and its own inline folder.
  EXPECT_NE(Page("inline/index.html").find("<E a.gif|"), std::string::npos);
  EXPECT_TRUE(fs::exists(site_ / "inline" / "inline" / "a.gif"));
  EXPECT_NE(Page("index.html").find("<D inline/index.html|inline/inline/a.gif|"), std::string::npos);
  // Another case of the name is simply an album, and the inline folder beside it the run's.
  EXPECT_NE(Page("trip/index.html").find("<D Inline/index.html|Inline/inline/b.gif|"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(site_ / "trip" / "inline" / "c.gif"));
}

// A site made before the record: its pages carry the version lines, its inline folders a
// marker and small images, and its notes lie in an older file. Its first run adopts what
// that program wrote and nothing else.
TEST_F(WebSiteTest, ASiteMadeBeforeTheRecordIsAdoptedOnItsFirstRun) {
  test::WriteJpegPicture(site_ / "a.jpg", 200, 100, "");
  test::WriteJpegPicture(site_ / "b.jpg", 100, 100, "");
  Run();
  ASSERT_TRUE(fs::remove(site_ / std::string(kRecordFileName)));
  test::WriteFile(site_ / "inline" / ".pixamond-inline", "marker of an older version\n");
  test::WriteFile(site_ / ".pixamond-facts", "Pixamond facts 1\nold notes\n");
  // The picture changed meanwhile; the user keeps a full-size edit beside the site.
  fs::remove(site_ / "a.jpg");
  test::WriteJpegPicture(site_ / "a.jpg", 100, 200, "");
  test::WriteJpegPicture(site_ / "trip" / "c.jpg", 60, 60, "");
  test::WriteGifPicture(site_ / "trip" / "inline" / "c.gif", 600, 600, /*interlaced=*/false);
  const std::string users_edit = test::ReadFile(site_ / "trip" / "inline" / "c.gif");
  const RunStats again = Run();
  EXPECT_EQ(again.problems_reported, 0) << diagnostics_.ProblemText();
  EXPECT_EQ(test::ImageSizeOf(site_ / "inline" / "a.gif"), "50x100")
      << "the stale inline image is made again in the adopted folder";
  EXPECT_FALSE(fs::exists(site_ / ".pixamond-facts")) << "the older notes are gone";
  EXPECT_TRUE(fs::exists(site_ / std::string(kRecordFileName)));
  // A folder holding a picture larger than any inline image is the user's album.
  EXPECT_EQ(test::ReadFile(site_ / "trip" / "inline" / "c.gif"), users_edit);
  EXPECT_NE(Page("trip/inline/index.html").find("<E c.gif|"), std::string::npos);
}

// Deleting or renaming a picture unpublishes it: what the run made of it goes, unless the
// user changed it since. (That a rerun after any change writes what a clean run writes is
// the property test's; here are the counts and the notice.)
TEST_F(WebSiteTest, AChangedTreeReachesTheSiteAndADeletedPictureIsUnpublished) {
  WriteSettings("[FileExtensions]\nInLineFileExt=jpg\n[Display]\nDetailImageMaxSize=60\n");
  SetLayout("DetailPageTemplate:\r\n<DP ${AnchorFileName} ${ImageCaption}>\r\n\r\n");
  test::WriteJpegPicture(site_ / "a.jpg", 120, 80, "");
  test::WriteJpegPicture(site_ / "b.jpg", 80, 120, "");
  test::WriteJpegPicture(site_ / "c.jpg", 90, 90, "");
  test::WriteJpegPicture(site_ / "d.jpg", 90, 60, "");
  Run();
  // c is deleted, d renamed; the user edited d's detail image by hand.
  fs::remove(site_ / "c.jpg");
  fs::rename(site_ / "d.jpg", site_ / "e.jpg");
  test::WriteFile(site_ / "inline" / "detail" / "d.jpg", "my retouched copy");
  const RunStats stats = Run();
  EXPECT_EQ(stats.pages_removed, 2);   // c.html, d.html
  EXPECT_EQ(stats.images_removed, 3);  // c's two images, d's inline image
  EXPECT_FALSE(fs::exists(site_ / "inline" / "detail" / "c.jpg"));
  EXPECT_EQ(test::ReadFile(site_ / "inline" / "detail" / "d.jpg"), "my retouched copy");
  EXPECT_EQ(diagnostics_.Notices(),
            std::vector<std::string>{(site_ / "inline" / "detail" / "d.jpg").string() +
                                     " is kept: the site no longer uses it, but it was changed "
                                     "since Pixamond wrote it"});

  // A setting that shapes the images remakes them all; one that does not, none.
  WriteSettings(
      "[FileExtensions]\nInLineFileExt=jpg\n[Display]\nDetailImageMaxSize=60\nInLineQuality=30\n");
  EXPECT_EQ(Run().inline_made, 3);
  EXPECT_EQ(Run().inline_made, 0);
  // A new caption changes the pages that show it, and no image: the images are made from
  // the picture without its comment.
  const std::string e_detail = test::ReadFile(site_ / "inline" / "detail" / "e.jpg");
  ASSERT_TRUE(
      WriteJpegCommentInPlace(site_ / "e.jpg", "ImageDescription:\r\nHarbour\r\n\r\n").ok());
  const RunStats captioned = Run();
  EXPECT_EQ(captioned.inline_made, 0);
  EXPECT_EQ(test::ReadFile(site_ / "inline" / "detail" / "e.jpg"), e_detail);
  EXPECT_NE(test::ReadFile(site_ / "e.html").find("Harbour"), std::string::npos);

  // A picture reached through a link is read through it: another picture of the same size
  // behind the link remakes its images, the first time it is seen as on every rerun.
  test::TempDir elsewhere;
  test::WriteFile(elsewhere / "shot.jpg", test::MakeJpeg(test::EnlargeArt(test::SampleArt(), 8)));
  fs::create_symlink(elsewhere / "shot.jpg", site_ / "linked.jpg");
  EXPECT_EQ(Run().inline_made, 1);
  std::string linked_detail = test::ReadFile(site_ / "inline" / "detail" / "linked.jpg");
  for (const int quality : {20, 50}) {
    test::JpegOptions other;
    other.quality = quality;
    test::WriteFile(elsewhere / "shot.jpg",
                    test::MakeJpeg(test::EnlargeArt(test::SampleArt(), 8), other));
    EXPECT_EQ(Run().inline_made, 1) << quality;
    const std::string detail = test::ReadFile(site_ / "inline" / "detail" / "linked.jpg");
    EXPECT_TRUE(detail != linked_detail) << "the detail image of quality " << quality;
    linked_detail = detail;
  }

  // An image the user replaced is theirs from then on: kept, and said once a run.
  test::WriteFile(site_ / "inline" / "a.jpg", "my own thumbnail");
  const std::size_t shown = ui_.messages().size();
  Run();
  EXPECT_EQ(test::ReadFile(site_ / "inline" / "a.jpg"), "my own thumbnail");
  ASSERT_GT(ui_.messages().size(), shown);
  EXPECT_EQ(ui_.messages()[shown].text, "Cannot make the inline image of " +
                                           (site_ / "a.jpg").string() + ": " +
                                           (site_ / "inline" / "a.jpg").string() +
                                           " is kept as it is (changed since Pixamond wrote it)");
}

// A picture that holds nothing usable is skipped; one cut short is published as far as it
// could be read. Both are said on every run, also when the rerun decodes nothing.
TEST_F(WebSiteTest, CorruptPictureIsSkippedDamagedOnePublishedAndBothReportedOnEveryRun) {
  test::WriteFile(site_ / "bad.jpg", "not a jpeg at all");
  test::WriteFile(site_ / "cut.jpg", test::CutInsideScan(test::MakeJpeg(test::SampleArt())));
  test::WriteJpegPicture(site_ / "good.jpg", 10, 10, "");
  const RunStats first = Run();
  EXPECT_EQ(first.pictures, 2);
  EXPECT_EQ(first.inline_made, 2);
  EXPECT_EQ(progress_.Position(), 3) << "progress advances for the skipped picture too";
  ASSERT_EQ(ui_.messages().size(), 2u);
  EXPECT_EQ(ui_.messages()[0].text, "JPEG file " + (site_ / "bad.jpg").string() + " is corrupt");
  EXPECT_EQ(ui_.messages()[0].title, "Error");
  EXPECT_EQ(ui_.messages()[1].text, "JPEG file " + (site_ / "cut.jpg").string() +
                                       " is damaged (Premature end of JPEG file); it is "
                                       "published as far as it could be read");
  const RunStats again = Run();
  EXPECT_EQ(again.inline_made, 0);
  EXPECT_EQ(again.pictures_reported, 2);
  EXPECT_EQ(ui_.messages().size(), 4u);
}

// The pages of every directory above the one being written wait to be finished; they must
// not each hold a file open, or a deep tree runs out of file handles and loses pages.
TEST_F(WebSiteTest, ADeepTreeNeedsFewFileHandles) {
  constexpr int kDepth = 60;
  fs::path directory = site_.path();
  for (int level = 0; level < kDepth; ++level) {
    // "a" comes first, so its entry opens the page before "z", the deep branch, is written.
    test::WriteJpegPicture(directory / "a" / "pic.jpg", 8, 8, "");
    directory /= "z";
    test::WriteJpegPicture(directory / "pic.jpg", 8, 8, "");
  }
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit low = old;
  low.rlim_cur = 40;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  const RunStats stats = Run();
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);
  EXPECT_EQ(stats.problems_reported, 0) << diagnostics_.ProblemText();
  EXPECT_EQ(stats.pictures, 2 * kDepth);
  EXPECT_TRUE(fs::exists(directory / "index.html"));
  EXPECT_NE(Page("index.html").find("<D z/index.html|"), std::string::npos);
}

TEST_F(WebSiteTest, ALayoutThatCannotBeReadAsWrittenStopsTheRunBeforeAnyPage) {
  test::WriteJpegPicture(site_ / "a.jpg", 10, 10, "");
  const std::pair<const char*, std::string> broken[] = {
      {"globals.txt", "PageTitle:\rT\r\rPageLabel:\rL\r\r"},
      {"dglobals.txt", std::string("Dir\0Leader:\r\nx\r\n\r\n", 18)},
  };
  for (const auto& [name, text] : broken) {
    SetLayout({});
    test::WriteFile(home_ / name, text);
    WebSite site(site_.path().string(), home_.path().string(), ui_, progress_, diagnostics_);
    const Status prepared = site.Prepare();
    EXPECT_FALSE(prepared.ok()) << name;
    EXPECT_NE(prepared.message().find((home_ / name).string()), std::string::npos)
        << prepared.message();
    EXPECT_FALSE(fs::exists(site_ / "index.html")) << name;
    fs::remove(home_ / name);
  }
  // A directory's own layout file is reported and left out; the run goes on.
  test::WriteFile(site_ / "globals.txt", "PageTitle:\rT\r\r");
  Run();
  EXPECT_NE(diagnostics_.ProblemText().find("CR alone"), std::string::npos);
  EXPECT_TRUE(fs::exists(site_ / "index.html"));
}

// A picture that vanishes between the scan and its turn is reported once; Cancel stops the
// run with its pages finished, OK goes on without it.
TEST_F(WebSiteTest, PictureMissingAtItsTurnIsReportedAndTheRunStopsOrGoesOnAsAnswered) {
  for (const MessageAnswer answer : {MessageAnswer::kCancel, MessageAnswer::kOk}) {
    const bool cancel = answer == MessageAnswer::kCancel;
    SCOPED_TRACE(cancel ? "cancel" : "go on");
    const fs::path tree = site_ / (cancel ? "cancel" : "go-on");
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) test::WriteJpegPicture(tree / name, 10, 10, "");
    test::ScriptedUserInterface ui;
    RecordingProgress progress;
    {
      WebSite site(tree.string(), home_.path().string(), ui, progress, diagnostics_);
      ASSERT_TRUE(site.Prepare().ok());
      fs::remove(tree / "b.jpg");
      ui.AnswerMessage(answer);
      site.Execute();
      EXPECT_EQ(site.Cancelled(), cancel);
      EXPECT_EQ(site.Stats().pictures, cancel ? 1 : 2);
      EXPECT_EQ(site.Stats().pictures_reported, 1);
    }
    ASSERT_EQ(ui.messages().size(), 1u) << "reported once, not again as a corrupt picture";
    EXPECT_EQ(ui.messages()[0].title, "Missing File");
    EXPECT_EQ(ui.messages()[0].text, (tree / "b.jpg").string());
    EXPECT_EQ(ui.messages()[0].buttons, MessageButtons::kOkCancel);
    const std::string page = test::ReadFile(tree / "index.html");
    EXPECT_NE(page.find("<E a.jpg"), std::string::npos);
    EXPECT_EQ(page.find("<E c.jpg") == std::string::npos, cancel) << "nothing after a cancel";
    EXPECT_EQ(page.substr(page.size() - std::string(kEnd).size()), kEnd) << "the page was finished";
    if (!cancel) {
      EXPECT_EQ(progress.Position(), 3);
    }
  }
}

TEST_F(WebSiteTest, InlineDirectoryThatCannotBeMadeIsReportedAndTheRunGoesOn) {
  test::WriteFile(site_ / "inline", "a file where the inline directory belongs");
  test::WriteJpegPicture(site_ / "a.jpg", 10, 10, "");
  test::WriteJpegPicture(site_ / "sub" / "b.jpg", 10, 10, "");
  const RunStats stats = Run();
  EXPECT_EQ(stats.pictures, 2);
  EXPECT_GE(stats.problems_reported, 2) << "the directory and the inline image of a.jpg";
  EXPECT_TRUE(fs::exists(site_ / "sub" / "inline" / "b.gif"));
  EXPECT_NE(Page("index.html").find("<E a.jpg"), std::string::npos);
}

TEST_F(WebSiteTest, RootPageReturnsToAnIndexPageOneDirectoryUp) {
  test::WriteJpegPicture(site_ / "site" / "a.jpg", 10, 10, "");
  test::WriteFile(site_ / "index.html", "<HTML><H1>Home page</H1></HTML>");
  WebSite site((site_ / "site").string(), home_.path().string(), ui_, progress_, diagnostics_);
  ASSERT_TRUE(site.Prepare().ok());
  site.Execute();
  EXPECT_NE(Page("site/index.html").find("[up:Home page]"), std::string::npos);
}

// Moves the time of every file of the site a minute back, as if it had been written a while
// ago: a run notes only files that have settled.
void AgeFiles(const fs::path& root) {
  const auto then = fs::file_time_type::clock::now() - std::chrono::minutes(1);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) fs::last_write_time(entry.path(), then);
  }
}

TEST_F(WebSiteTest, AFirstRunLeavesWhatItWroteTrustedAndStillSeesAnEditRightAfter) {
  SetLayout("DetailPageTemplate:\r\n<DP ${ImageDescription}>\r\n\r\n");
  test::WriteJpegPicture(site_ / "album" / "a.jpg", 300, 200,
                         "ImageDescription:\r\nFirst\r\n\r\n");
  test::WriteJpegPicture(site_ / "album" / "b.jpg", 40, 30, "");
  test::WriteJpegPicture(site_ / "c.jpg", 40, 30, "");
  // The pictures and the layout were put there a while before the first run, and the runs
  // trust stamps as real ones do, only sooner: the outputs of a run are too new to trust
  // when it records them.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto run = [&] { return RunTrustingStampsOlderThan(std::chrono::milliseconds(200)); };
  EXPECT_EQ(run().pages_written, 5);
  // The run read back what it wrote at its end: the next one, a moment later, takes every
  // file on its stamp instead of reading it.
  {
    const std::unique_ptr<SiteRecord> record = SiteRecord::OpenToRead(site_.path());
    ASSERT_TRUE(record);
    int files = 0;
    for (const auto& [path, output] : record->AllOutputs()) {
      if (output.kind == OutputKind::kFolder) continue;
      ++files;
      EXPECT_NE(output.stamp.inode, 0u) << path << " is read again by the next run";
    }
    EXPECT_EQ(files, 8);  // Five pages, three inline images.
  }
  // ...and the folder as it is: none of its pages is expanded, none of its pictures read.
  const RunStats next = run();
  EXPECT_EQ(next.folders_unchanged, 1);
  EXPECT_EQ(next.pages_not_expanded, 4);  // The album's three, and c's at the top.
  EXPECT_EQ(next.pages_written, 0);
  EXPECT_EQ(next.inline_made, 0);
  // A page edited right after the run, by a tool that keeps its size and write time.
  {
    std::string page = Page("album/a.html");
    page.replace(page.find("First"), 5, "Frost");
    const auto written = fs::last_write_time(site_ / "album" / "a.html");
    std::FILE* file = std::fopen((site_ / "album" / "a.html").c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    std::fwrite(page.data(), 1, page.size(), file);
    std::fclose(file);
    fs::last_write_time(site_ / "album" / "a.html", written);
  }
  const std::size_t shown_before = ui_.messages().size();
  EXPECT_EQ(run().folders_unchanged, 0);
  EXPECT_NE(Page("album/a.html").find("<DP Frost>"), std::string::npos) << "the edit is kept";
  ASSERT_GT(ui_.messages().size(), shown_before) << "the edit is seen";
  EXPECT_NE(ui_.messages().back().text.find("changed since Pixamond wrote it"),
            std::string::npos)
      << ui_.messages().back().text;
}

TEST_F(WebSiteTest, ARerunTakesSettledFilesOnTrustAndStillSeesEveryChange) {
  SetLayout("DetailPageTemplate:\r\n<DP ${ImageDescription}|${AnchorWidth}x${AnchorHeight}>\r\n\r\n");
  test::WriteJpegPicture(site_ / "a.jpg", 300, 200, "ImageDescription:\r\nFirst\r\n\r\n");
  test::WriteJpegPicture(site_ / "b.jpg", 40, 30, "");
  Run();
  AgeFiles(site_.path());
  EXPECT_EQ(Run().pages_unchanged, 3);
  // Nothing changed: nothing is made or written.
  const RunStats same = Run();
  EXPECT_EQ(same.inline_made, 0);
  EXPECT_EQ(same.inline_reused, 2);
  EXPECT_EQ(same.pages_written, 0);
  EXPECT_EQ(same.pages_unchanged, 3);
  // A picture whose caption is changed in place by a tool that keeps its size and sets its
  // write time back: only its change time tells.
  {
    std::string bytes = test::ReadFile(site_ / "a.jpg");
    bytes.replace(bytes.find("First"), 5, "Frost");
    const auto written = fs::last_write_time(site_ / "a.jpg");
    std::FILE* file = std::fopen((site_ / "a.jpg").c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    fs::last_write_time(site_ / "a.jpg", written);
  }
  EXPECT_EQ(Run().pages_written, 1);
  EXPECT_NE(Page("a.html").find("<DP Frost|300x200>"), std::string::npos) << Page("a.html");
  // A picture made anew, an inline image deleted, a page edited and put back in place by an
  // editor, a detail page replaced by one of the user's own.
  test::WriteJpegPicture(site_ / "a.jpg", 200, 300, "ImageDescription:\r\nSecond\r\n\r\n");
  fs::remove(site_ / "inline" / "b.gif");
  std::string index = Page("index.html");
  index.replace(index.find("<FL>"), 4, "<XX>");
  test::WriteFile(site_ / "edited.tmp", index);
  fs::rename(site_ / "edited.tmp", site_ / "index.html");
  test::WriteFile(site_ / "mine.tmp", "<html>my own page about b</html>");
  fs::rename(site_ / "mine.tmp", site_ / "b.html");
  const std::size_t shown_before = ui_.messages().size();
  const RunStats changed = Run();
  EXPECT_EQ(changed.inline_made, 2);
  EXPECT_NE(Page("a.html").find("<DP Second|200x300>"), std::string::npos) << Page("a.html");
  EXPECT_NE(Page("index.html").find("<FL>"), std::string::npos) << "the edit is undone";
  EXPECT_EQ(diagnostics_.Notices(),
            std::vector<std::string>{(site_ / "index.html").string() +
                                     " was edited by hand since Pixamond wrote it: its head, "
                                     "title and heading are kept in the new page"});
  EXPECT_EQ(Page("b.html"), "<html>my own page about b</html>");
  ASSERT_EQ(ui_.messages().size(), shown_before + 1);
  EXPECT_EQ(ui_.messages().back().text,
            (site_ / "b.html").string() +
                " is kept as it is (changed since Pixamond wrote it); the page is not written");
}

TEST_F(WebSiteTest, ManyJobsWriteExactlyWhatOneJobWrites) {
  WriteSettings(
      "[AutoOrganizeLayout]\nDoAutoOrganize=Yes\nPicturesPerGroup=2\n"
      "AutoOrganizeBaseFileNames=photo0000,miscpics\n"
      "[MatchPageSearchStrings]\nphoto0000=[photo####.*]\nmiscpics=[*.*]\n");
  SetLayout("DetailPageTemplate:\r\n[${DetailPageLabel}|${ImageDescription}]\r\n\r\n");
  // Two identical trees under different parents, so that every name in them is the same.
  // One job; four (three workers and the page writer); two (one worker taking the largest
  // pictures first, the page writer the smallest while it waits).
  constexpr int kJobs[] = {1, 4, 2};
  test::TempDir parents[3];
  std::vector<std::string> messages[3];
  std::vector<std::string> steps[3];
  for (int run = 0; run < 3; ++run) {
    const fs::path tree = parents[run] / "site";
    for (int i = 1; i <= 6; ++i) {
      test::WriteJpegPicture(tree / ("photo000" + std::to_string(i) + ".jpg"), 40 + i * 13,
                             30 + i * 7, i % 2 ? "ImageDescription:\r\nNumber " + std::to_string(i) + "\r\n\r\n" : "");
    }
    test::WriteJpegPicture(tree / "odd.jpg", 300, 20, "");
    test::WriteFile(tree / "broken.jpg", "no picture");
    test::WriteGifPicture(tree / "anim.gif", 30, 50, false);
    for (const char* sub : {"a", "b/c", "b"}) {
      test::WriteJpegPicture(tree / sub / "p.jpg", 90, 60, "");
      test::WriteGifPicture(tree / sub / "q.gif", 12, 12, false);
    }
    test::ScriptedUserInterface run_ui;
    RecordingProgress run_progress;
    CollectedDiagnostics run_diagnostics;
    WebSite site(tree.string(), home_.path().string(), run_ui, run_progress, run_diagnostics);
    site.SetJobs(kJobs[run]);
    ASSERT_TRUE(site.Prepare().ok());
    site.Execute();
    for (const auto& shown : run_ui.messages()) {
      std::string text = shown.text;
      const std::string parent = parents[run].path().string();
      for (std::size_t at; (at = text.find(parent)) != std::string::npos;) {
        text.replace(at, parent.size(), "PARENT");
      }
      messages[run].push_back(text);
    }
    steps[run] = run_progress.steps;
    EXPECT_EQ(site.Stats().inline_made, 14);
  }
  const auto one = test::VisibleFiles(parents[0] / "site");
  for (int run = 1; run < 3; ++run) {
    EXPECT_EQ(test::DescribeDifferences(test::VisibleFiles(parents[run] / "site"), one), "")
        << kJobs[run] << " jobs";
    EXPECT_EQ(messages[0], messages[run]) << "the same messages in the same order";
    EXPECT_EQ(steps[0], steps[run]) << "the same progress in the same order";
  }
  EXPECT_EQ(messages[0].size(), 1u);
}

}  // namespace
}  // namespace pix
