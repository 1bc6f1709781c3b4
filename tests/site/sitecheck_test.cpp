// The check of a site: clean on a freshly generated one, and one line for each planted
// fault, found by reading the pages as a browser does and the files against the record.
#include "site/sitecheck.h"

#include <gtest/gtest.h>

#include <thread>

#include "generated_site.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

class SiteCheckTest : public test::GeneratedSiteTest {
 protected:
  std::vector<std::string> Check() {
    Result<std::vector<std::string>> findings = CheckSite(site_.path());
    EXPECT_TRUE(findings.ok()) << findings.status().message();
    return findings.ok() ? *findings : std::vector<std::string>{};
  }
  static std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }
};

TEST_F(SiteCheckTest, AFreshSiteIsCleanWithEitherDefaults) {
  UseSettings(kPrivateSettings);
  WritePictures();
  // Written a moment before the run, so that the check reads it instead of trusting its
  // stamp: a picture with a caption is digested as the run digests it.
  test::WriteJpegPicture(site_ / "captioned.jpg", 40, 30, "ImageDescription:\r\nA leaf\r\n\r\n");
  ASSERT_TRUE(Generate());
  EXPECT_EQ(Joined(Check()), "");
  UseSettings(kOriginalSettings);
  ASSERT_TRUE(Generate());
  EXPECT_EQ(Joined(Check()), "");
}

TEST_F(SiteCheckTest, EachPlantedFaultIsOneLine) {
  UseSettings(kPrivateSettings);
  WritePictures();
  ASSERT_TRUE(Generate());

  // A hand-edited page with a broken link, an image without alt, no lang and a stray end tag.
  test::WriteFile(site_ / "index.html",
                  "<!--Produced With Pixamond Version 2.0-->\n<!DOCTYPE html>\n<html>\n"
                  "<title>x</title>\n<a href=\"gone.html\">x</a>\n<img src=\"trip/index.html\">\n"
                  "</p>\n");
  // A picture changed after its images were made: they are stale.
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  test::WriteJpegPicture(site_ / "dune.jpg", 50, 60, "");
  // An image of the run removed, and one replaced by the user.
  const std::vector<std::string> before = Check();
  const std::string text = Joined(before);
  EXPECT_NE(text.find("index.html: changed by hand since Pixamond wrote it\n"), std::string::npos) << text;
  EXPECT_NE(text.find("index.html:5: link gone.html leads to nothing\n"), std::string::npos) << text;
  EXPECT_NE(text.find("index.html:6: <img> has no alt text\n"), std::string::npos) << text;
  EXPECT_NE(text.find("index.html: the page does not say its language (<html lang>)\n"),
            std::string::npos) << text;
  EXPECT_NE(text.find("index.html:7: an end tag </p> without its start\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("inline/dune.jpg: stale: dune.jpg changed since it was made\n"),
            std::string::npos) << text;
  EXPECT_NE(text.find("inline/detail/dune.jpg: stale: dune.jpg changed since it was made\n"),
            std::string::npos) << text;
  EXPECT_EQ(text.find("beach"), std::string::npos) << text;

  fs::remove(site_ / "inline" / "beach.jpg");
  test::WriteFile(site_ / "trip" / "inline" / "boat.jpg", "my own");
  const std::string after = Joined(Check());
  EXPECT_NE(after.find("inline/beach.jpg: missing\n"), std::string::npos) << after;
  EXPECT_NE(after.find("trip/inline/boat.jpg: changed since Pixamond wrote it\n"),
            std::string::npos) << after;
}

TEST_F(SiteCheckTest, APublishedOriginalWithAPositionIsNamed) {
  UseSettings(kOriginalSettings);
  WritePictures();
  WriteGpsPicture(site_ / "where.jpg");
  ASSERT_TRUE(Generate());
  EXPECT_EQ(Joined(Check()), "where.jpg: carries a GPS position\n");
}

TEST_F(SiteCheckTest, ASiteWithoutRecordCannotBeChecked) {
  WritePictures();
  EXPECT_EQ(CheckSite(site_.path()).status().code(), Status::Code::kNotFound);
}

}  // namespace
}  // namespace pix
