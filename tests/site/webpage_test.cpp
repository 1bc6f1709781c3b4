// A detail page whose inputs did not change since the last run wrote it is taken as it is,
// neither expanded nor read; any change of what it is made from makes it again.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "site/generated_site.h"
#include "site/website.h"
#include "support/site_files.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

class DetailPageRecipeTest : public test::GeneratedSiteTest {
 protected:
  DetailPageRecipeTest() { UseSettings(kOriginalSettings); }

  void SetLayout(const std::string& records) {
    test::WriteFile(home_ / "globals.txt", "FileEntryTemplate:\r\n<E ${AnchorFileName}>\r\n\r\n" +
                                               std::string("DetailPageTemplate:\r\n") +
                                               "<DP ${ImageDescription}|${Motto}>\r\n\r\n" +
                                               records);
  }

  RunStats Run() { return RunTrustingStamps(); }

  std::string Page(const std::string& name) { return test::ReadFile(site_ / name); }
};

TEST_F(DetailPageRecipeTest, OnlyAPageWhoseInputsChangedIsMadeAgain) {
  SetLayout("Motto:\r\nfirst\r\n\r\n");
  test::WriteJpegPicture(site_ / "a.jpg", 30, 20, "ImageDescription:\r\nBoat\r\n\r\n");
  test::WriteJpegPicture(site_ / "b.jpg", 30, 20, "");
  test::WriteJpegPicture(site_ / "c.jpg", 30, 20, "");
  EXPECT_EQ(Run().pages_not_expanded, 0);
  RunStats same = Run();
  EXPECT_EQ(same.pages_not_expanded, 3);
  EXPECT_EQ(same.pages_written, 0);

  // A layout variable the template uses: every detail page.
  SetLayout("Motto:\r\nsecond\r\n\r\n");
  RunStats restyled = Run();
  EXPECT_EQ(restyled.pages_not_expanded, 0);
  EXPECT_NE(Page("a.html").find("<DP Boat|second>"), std::string::npos) << Page("a.html");
  EXPECT_NE(Page("b.html").find("<DP |second>"), std::string::npos) << Page("b.html");

  // A new caption: that picture's page is made again, and its neighbour's, whose variables
  // hold it (the layout does not show it, so the bytes stay); not the page after that.
  test::WriteJpegPicture(site_ / "a.jpg", 30, 20, "ImageDescription:\r\nA longer caption\r\n\r\n");
  RunStats captioned = Run();
  EXPECT_EQ(captioned.pages_not_expanded, 1);
  EXPECT_EQ(captioned.pages_written, 1);
  EXPECT_NE(Page("a.html").find("<DP A longer caption|second>"), std::string::npos);

  // A page changed by someone else is not taken for the one the run wrote.
  test::WriteFile(site_ / "b.html", "<html>mine</html>");
  Run();
  EXPECT_EQ(Page("b.html"), "<html>mine</html>");
}

TEST_F(DetailPageRecipeTest, APageThatRanAwayIsMadeAndReportedOnEveryRun) {
  SetLayout("Motto:\r\n${Loop}\r\n\r\nLoop:\r\nx${Loop}\r\n\r\n");
  test::WriteJpegPicture(site_ / "a.jpg", 30, 20, "");
  for (int run = 0; run < 3; ++run) {
    const std::size_t before = diagnostics_.Problems().size();
    const RunStats stats = Run();
    EXPECT_EQ(stats.pages_not_expanded, 0) << "run " << run;
    ASSERT_EQ(diagnostics_.Problems().size(), before + 1) << "run " << run;
    EXPECT_NE(diagnostics_.Problems().back().find("${Loop} refers to itself"), std::string::npos);
  }
}

}  // namespace
}  // namespace pix
