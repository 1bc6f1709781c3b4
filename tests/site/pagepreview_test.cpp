// A page made in memory for the layout window's preview: the very bytes a generation run
// writes for the same layout, the layout's edits in memory taken instead of the disk's, and
// nothing written to the site.
#include "site/pagepreview.h"

#include <gtest/gtest.h>

#include "generated_site.h"
#include "support/site_files.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

class PagePreviewTest : public test::GeneratedSiteTest {
 protected:
  // The page `relative` of the site as a preview makes it; empty when it makes none.
  std::string Preview(const std::string& relative, PagePreview preview = {}) {
    preview.page_path = (site_ / relative).string();
    CollectedDiagnostics diagnostics;
    last_status_ = PreviewPage(site_.path().string(), home_.path().string(), preview, diagnostics);
    return preview.html.value_or(std::string());
  }
  Status last_status_;
};

TEST_F(PagePreviewTest, EveryKindOfPageEqualsWhatARunWroteAndThePreviewWritesNothing) {
  UseSettings(kPrivateSettings);
  WritePictures();
  // A match page too: the pictures of the trip whose name has "boat".
  test::WriteFile(home_ / "pixamond.ini",
                  std::string(kPrivateSettings) +
                      "[AutoOrganizeLayout]\nDoAutoOrganize=1\nAutoOrganizeBaseFileNames=boats\n"
                      "[MatchPageSearchStrings]\nboats=boat\n");
  ASSERT_TRUE(Generate());
  const std::map<std::string, std::string> site_before = test::VisibleFiles(site_.path());
  const std::string record_before = test::ReadFile(site_ / ".pixamond-record");
  for (const char* page :
       {"index.html", "beach.html", "dune.html", "trip/index.html", "trip/boat.html",
        "trip/map.html", "trip/boats.html"}) {
    SCOPED_TRACE(page);
    ASSERT_TRUE(fs::exists(site_ / page));
    EXPECT_EQ(Preview(page), test::ReadFile(site_ / page));
    EXPECT_TRUE(last_status_.ok()) << last_status_.message();
  }
  EXPECT_EQ(test::DescribeDifferences(test::VisibleFiles(site_.path()), site_before), "");
  EXPECT_EQ(test::ReadFile(site_ / ".pixamond-record"), record_before);

  // Listings split over numbered pages, and an album zip the pages link.
  test::WriteFile(home_ / "pixamond.ini",
                  std::string(kPrivateSettings) + "[Pages]\nPicturesPerPage=1\nAlbumZip=1\n");
  ASSERT_TRUE(Generate());
  ASSERT_NE(test::ReadFile(site_ / "trip" / "index.html").find(".zip"), std::string::npos);
  for (const char* page : {"index.html", "index-2.html", "dune.html", "trip/index.html",
                           "trip/index-2.html"}) {
    SCOPED_TRACE(page);
    ASSERT_TRUE(fs::exists(site_ / page));
    EXPECT_EQ(Preview(page), test::ReadFile(site_ / page));
  }

  // A page the run does not make is said to be missing, not made up.
  EXPECT_EQ(Preview("nothing.html"), "");
  EXPECT_EQ(last_status_.code(), Status::Code::kNotFound);
}

TEST_F(PagePreviewTest, EditsInMemoryShowOnANeverGeneratedSiteThatStaysUntouched) {
  UseSettings(kPrivateSettings);
  WritePictures();
  test::WriteFile(site_ / "trip" / "index.txt", "PageTitle:\r\nOn disk only\r\n\r\n");
  const std::map<std::string, std::string> site_before = test::VisibleFiles(site_.path());

  PagePreview edits;
  // The layout home's globals.txt as the window holds it: a stylesheet added at the end.
  const fs::path globals = home_ / "globals.txt";
  edits.files[globals.string()] =
      test::ReadFile(globals) + "StyleSheet:\r\nbody { color: #123456 }\r\n\r\n";
  // A caption typed for a JPEG picture, and one for a GIF picture, whose text file holds it.
  edits.comments[(site_ / "beach.jpg").string()] = "DetailPageTitle:\r\nSand and sea\r\n\r\n";
  edits.files[(site_ / "trip" / "map.txt").string()] = "DetailPageTitle:\r\nOur route\r\n\r\n";
  // The folder's own page file, emptied by a cross-out: its page takes the layout home's.
  edits.files[(site_ / "trip" / "index.txt").string()] = "";
  // A setting changed in the window and not saved; the settings file keeps its own.
  edits.settings[{"htmldefaults", "pagelanguage"}] = "fr";
  const std::string settings_before = test::ReadFile(home_ / "pixamond.ini");

  const std::string index = Preview("index.html", edits);
  ASSERT_TRUE(last_status_.ok()) << last_status_.message();
  EXPECT_NE(index.find("body { color: #123456 }"), std::string::npos) << index;
  EXPECT_NE(index.find("<HTML lang=\"fr\">"), std::string::npos);
  EXPECT_NE(Preview("beach.html", edits).find("<TITLE>Sand and sea</TITLE>"), std::string::npos);
  EXPECT_NE(Preview("trip/map.html", edits).find("Our route"), std::string::npos);
  const std::string trip = Preview("trip/index.html", edits);
  ASSERT_TRUE(last_status_.ok()) << last_status_.message();
  EXPECT_EQ(trip.find("On disk only"), std::string::npos);
  EXPECT_NE(Preview("trip/index.html").find("On disk only"), std::string::npos);

  // No page, image, folder or record appeared.
  std::map<std::string, std::string> site_after = test::VisibleFiles(site_.path());
  EXPECT_EQ(test::DescribeDifferences(site_after, site_before), "");
  EXPECT_FALSE(fs::exists(site_ / ".pixamond-record"));
  EXPECT_FALSE(fs::exists(site_ / "inline"));
  EXPECT_EQ(test::ReadFile(home_ / "pixamond.ini"), settings_before);
}

}  // namespace
}  // namespace pix
