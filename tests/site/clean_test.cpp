// Cleaning a site: what the runs wrote goes, what the user changed stays, and the user's
// tree comes out byte for byte as it was before the first run.
#include "site/clean.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "generated_site.h"
#include "site/siterecord.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// Every file and folder below `root` with the digest of its bytes ("" for a folder).
std::map<std::string, std::string> Checksums(const fs::path& root) {
  std::map<std::string, std::string> sums;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string path = entry.path().lexically_relative(root).string();
    if (entry.is_directory()) {
      sums[path] = "";
      continue;
    }
    const Digest digest = DigestOf(test::ReadFile(entry.path()));
    sums[path] = std::to_string(digest.low) + "-" + std::to_string(digest.high);
  }
  return sums;
}

class CleanTest : public test::GeneratedSiteTest {
 protected:
  Result<CleanStats> Clean(bool dry_run = false) {
    listing_.str("");
    return CleanSite(site_.path(), dry_run, listing_, diagnostics_);
  }
  std::ostringstream listing_;
};

TEST_F(CleanTest, TheUsersTreeComesBackAsItWasBeforeTheFirstRun) {
  UseSettings(kPrivateSettings);
  WritePictures();
  // An interlaced GIF, which the run rewrites with its lines in order.
  test::WriteGifPicture(site_ / "trip" / "wave.gif", 24, 16, /*interlaced=*/true);
  const std::string wave = test::ReadFile(site_ / "trip" / "wave.gif");
  const auto before = Checksums(site_.path());
  ASSERT_TRUE(Generate());
  ASSERT_NE(Checksums(site_.path()), before);
  ASSERT_NE(test::ReadFile(site_ / "trip" / "wave.gif"), wave);

  const auto generated = Checksums(site_.path());
  const Result<CleanStats> dry = Clean(/*dry_run=*/true);
  ASSERT_TRUE(dry.ok()) << dry.status().message();
  EXPECT_NE(listing_.str().find("remove index.html\n"), std::string::npos) << listing_.str();
  EXPECT_NE(listing_.str().find("remove trip/inline/\n"), std::string::npos) << listing_.str();
  EXPECT_NE(listing_.str().find("restore trip/wave.gif\n"), std::string::npos) << listing_.str();
  EXPECT_EQ(Checksums(site_.path()), generated);

  const Result<CleanStats> cleaned = Clean();
  ASSERT_TRUE(cleaned.ok()) << cleaned.status().message();
  EXPECT_EQ(cleaned->removed, dry->removed);
  EXPECT_EQ(cleaned->folders_removed, dry->folders_removed);
  EXPECT_EQ(cleaned->kept, 0);
  EXPECT_EQ(cleaned->restored, 1);
  EXPECT_EQ(Checksums(site_.path()), before);
  // Nothing left to do, and a second clean says so by removing nothing.
  const Result<CleanStats> again = Clean();
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again->removed, 0);
}

TEST_F(CleanTest, FilesChangedSinceTheRunStayAndAreNamed) {
  UseSettings(kPrivateSettings);
  WritePictures();
  test::WriteGifPicture(site_ / "wave.gif", 24, 16, /*interlaced=*/true);
  const auto before = Checksums(site_.path());
  ASSERT_TRUE(Generate());
  test::WriteGifPicture(site_ / "wave.gif", 20, 20, /*interlaced=*/false);  // Redrawn since.
  const std::string redrawn = test::ReadFile(site_ / "wave.gif");
  const std::string edited = test::ReadFile(site_ / "index.html") + "<p>my words</p>\n";
  test::WriteFile(site_ / "index.html", edited);
  test::WriteFile(site_ / "trip" / "inline" / "boat.jpg", "my own picture");
  test::WriteFile(site_ / "trip" / "inline" / "mine.txt", "mine");

  const Result<CleanStats> cleaned = Clean();
  ASSERT_TRUE(cleaned.ok()) << cleaned.status().message();
  EXPECT_EQ(cleaned->kept, 3);
  EXPECT_EQ(cleaned->restored, 0);
  EXPECT_EQ(test::ReadFile(site_ / "wave.gif"), redrawn);
  EXPECT_EQ(test::ReadFile(site_ / "index.html"), edited);
  EXPECT_EQ(test::ReadFile(site_ / "trip" / "inline" / "boat.jpg"), "my own picture");
  const std::vector<std::string> notices = diagnostics_.Notices();
  ASSERT_EQ(notices.size(), 4u);
  EXPECT_EQ(notices[0], "kept index.html: changed by hand since Pixamond wrote it");
  EXPECT_EQ(notices[1], "kept trip/inline/boat.jpg: changed since Pixamond wrote it");
  EXPECT_EQ(notices[2], "kept trip/inline/: it holds files Pixamond did not write");
  EXPECT_EQ(notices[3], "kept wave.gif: changed since Pixamond rewrote it");
  // Everything else is as it was; the record is gone.
  auto after = Checksums(site_.path());
  after.erase("index.html");
  after.erase("trip/inline");
  after.erase("trip/inline/boat.jpg");
  after.erase("trip/inline/mine.txt");
  after.erase("wave.gif");
  auto expected = before;
  expected.erase("wave.gif");
  EXPECT_EQ(after, expected);
}

TEST_F(CleanTest, ASiteWithoutRecordIsLeftAlone) {
  WritePictures();
  const auto before = Checksums(site_.path());
  const Result<CleanStats> cleaned = Clean();
  ASSERT_TRUE(cleaned.ok());
  EXPECT_EQ(cleaned->removed, 0);
  EXPECT_EQ(Checksums(site_.path()), before);
}

}  // namespace
}  // namespace pix
