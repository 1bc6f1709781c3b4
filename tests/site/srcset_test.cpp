// Inline images at 1x beside those at twice the display size (InLinePixelDensity=2), for
// pages to offer both in a srcset, for pictures and album covers: checked in the pages and
// files a run writes.
#include <gtest/gtest.h>

#include <string>

#include "generated_site.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

class SrcSetTest : public test::GeneratedSiteTest {
 protected:
  SrcSetTest() {
    test::WriteFile(home_ / "globals.txt",
                    "PageHeadTemplate:\r\n<TITLE>t</TITLE>\r\n\r\n"
                    "FileEntryTemplate:\r\n(${AnchorFileName}:${ImageSrcSet})\r\n\r\n"
                    "DirEntryTemplate:\r\n[${AnchorFileName}:${ImageSrcSet}]\r\n\r\n"
                    "ParentPageLabel:\r\nx\r\n\r\n");
    test::WriteJpegPicture(site_ / "big.jpg", 120, 90, "");
    test::WriteJpegPicture(site_ / "small.jpg", 30, 20, "");  // no more pixels than 1x
    // An album whose cover lies one folder deeper.
    test::WriteJpegPicture(site_ / "trip" / "day 1" / "boat.jpg", 120, 90, "");
  }

  RunStats Run(int density) {
    WriteSettings(
        "[FileExtensions]\nInLineFileExt=jpg\n[Display]\nMaxDisplayWidth=40\n"
        "MaxDisplayHeight=40\nInLinePixelDensity=" +
        std::to_string(density) + "\n");
    const RunStats stats = RunSite();
    EXPECT_EQ(diagnostics_.ProblemCount() + stats.problems_reported, 0);
    return stats;
  }
};

TEST_F(SrcSetTest, DensityTwoGivesA1xCompanionThatFollowsTheSetting) {
  Run(2);
  const std::string page = test::ReadFile(site_ / "index.html");
  EXPECT_NE(page.find("(big.jpg:inline/1x/big.jpg 1x, inline/big.jpg 2x)"), std::string::npos)
      << page;
  EXPECT_NE(page.find("(small.jpg:)"), std::string::npos) << page;
  // Album covers too, linked from the page that lists the album.
  EXPECT_NE(page.find("[trip/index.html:trip/day%201/inline/1x/boat.jpg 1x, "
                      "trip/day%201/inline/boat.jpg 2x]"),
            std::string::npos)
      << page;
  EXPECT_EQ(test::ImageSizeOf(site_ / "inline" / "1x" / "big.jpg"), "40x30");
  EXPECT_EQ(test::ImageSizeOf(site_ / "inline" / "big.jpg"), "80x60");
  EXPECT_FALSE(fs::exists(site_ / "inline" / "1x" / "small.jpg"));

  // Nothing is made again on a rerun; the companion goes with the setting.
  EXPECT_EQ(Run(2).inline_made, 0);
  Run(1);
  EXPECT_FALSE(fs::exists(site_ / "inline" / "1x"));
  EXPECT_NE(test::ReadFile(site_ / "index.html").find("(big.jpg:)"), std::string::npos);
  EXPECT_NE(test::ReadFile(site_ / "index.html").find("[trip/index.html:]"), std::string::npos);
}

}  // namespace
}  // namespace pix
