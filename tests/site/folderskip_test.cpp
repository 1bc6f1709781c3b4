// A rerun takes a folder whose inputs and outputs are as the last run left them without
// reading its pictures or expanding its pages, and generates it again after any change in it
// or above it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "generated_site.h"
#include "support/site_files.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

class FolderSkipTest : public test::GeneratedSiteTest {
 protected:
  FolderSkipTest() {
    UseSettings(kOriginalSettings);
    test::WriteJpegPicture(site_ / "top.jpg", 40, 30, "");
    test::WriteJpegPicture(site_ / "a" / "one.jpg", 40, 30, "ImageDescription:\r\nOne\r\n\r\n");
    test::WriteJpegPicture(site_ / "a" / "two.jpg", 30, 40, "");
    test::WriteJpegPicture(site_ / "b" / "three.jpg", 20, 20, "");
  }

  RunStats Rerun() { return RunTrustingStamps(); }

  // A change the user makes: later than anything the last run wrote, as the file times of
  // the folders tell it (they are kept to a few milliseconds).
  static void Later(const std::function<void()>& change) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    change();
  }
};

TEST_F(FolderSkipTest, AFolderIsTakenAsItIsUntilSomethingInItOrAboveItChanges) {
  Rerun();
  Rerun();  // notes the folders with the stamps of what the first run wrote
  const std::map<std::string, std::string> written = test::VisibleFiles(site_.path());
  const RunStats same = Rerun();
  EXPECT_EQ(same.folders_unchanged, 2);
  EXPECT_EQ(same.pictures, 4);
  EXPECT_EQ(same.pages_written, 0);
  EXPECT_EQ(same.inline_reused, 4);
  EXPECT_EQ(test::DescribeDifferences(test::VisibleFiles(site_.path()), written), "");

  // Each change, and the folders that are still taken as they are after it.
  struct Change {
    const char* what;
    std::function<void()> make;
    int unchanged;
  };
  const Change changes[] = {
      {"a file of the user's in a's inline folder",
       [&] { test::WriteFile(site_ / "a" / "inline" / "mine.txt", "mine"); }, 1},
      {"a detail page removed", [&] { fs::remove(site_ / "b" / "three.html"); }, 1},
      {"a layout file of b's own",
       [&] { test::WriteFile(site_ / "b" / "dglobals.txt", "PageTitle:\r\nB's own\r\n\r\n"); }, 1},
      {"a caption", [&] { test::WriteFile(site_ / "a" / "two.txt", "ImageDescription:\r\nTwo\r\n\r\n"); },
       1},
      {"a picture at the top, which the pages below do not show",
       [&] { test::WriteJpegPicture(site_ / "top2.jpg", 30, 30, ""); }, 0},
      {"the layout home's settings",
       [&] { test::WriteFile(home_ / "pixamond.ini", std::string(kOriginalSettings) + "[Display]\nMaxDisplayWidth=90\n"); },
       0},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    Later(change.make);
    EXPECT_EQ(Rerun().folders_unchanged, change.unchanged);
    EXPECT_EQ(Rerun().folders_unchanged, 2) << "noted again";
  }
  EXPECT_EQ(test::ReadFile(site_ / "a" / "inline" / "mine.txt"), "mine");
  EXPECT_TRUE(fs::exists(site_ / "b" / "three.html"));
  EXPECT_NE(test::ReadFile(site_ / "b" / "index.html").find("B's own"), std::string::npos);
  EXPECT_NE(test::ReadFile(site_ / "a" / "two.html").find("Two"), std::string::npos);
  EXPECT_NE(test::ReadFile(site_ / "index.html").find("top2"), std::string::npos);
}

// A site that is one folder: its top holds the record, which changes it on every run, so
// what comes and goes there is told by the names of its pages.
TEST_F(FolderSkipTest, ASiteOfOneFolderIsTakenAsItIsToo) {
  fs::remove_all(site_ / "a");
  fs::remove_all(site_ / "b");
  Rerun();
  Rerun();
  EXPECT_EQ(Rerun().folders_unchanged, 1);
  Later([&] { test::WriteFile(site_ / "notes.html", "<p>mine</p>"); });
  EXPECT_EQ(Rerun().folders_unchanged, 0) << "a page of the user's";
  EXPECT_EQ(Rerun().folders_unchanged, 1);
  Later([&] { fs::remove(site_ / "top.html"); });
  EXPECT_EQ(Rerun().folders_unchanged, 0) << "a detail page removed";
  EXPECT_TRUE(fs::exists(site_ / "top.html"));
  EXPECT_EQ(test::ReadFile(site_ / "notes.html"), "<p>mine</p>");
  // The page made again is among the names once more: one more run notes that.
  EXPECT_EQ(Rerun().folders_unchanged, 0);
  EXPECT_EQ(Rerun().folders_unchanged, 1);
}

// The run right after the first takes the site as it is, though the first wrote all of its
// pages and images moments before: it read them back at its end. Runs here trust stamps as
// real ones do, only sooner.
TEST_F(FolderSkipTest, TheRunRightAfterTheFirstTakesFoldersAsTheyAre) {
  const auto run = [&] { return RunTrustingStampsOlderThan(std::chrono::milliseconds(200)); };
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // The pictures are older.
  run();
  EXPECT_EQ(run().folders_unchanged, 2);
}

TEST_F(FolderSkipTest, TheRunRightAfterTheFirstTakesASiteOfOneFolderAsItIs) {
  fs::remove_all(site_ / "a");
  fs::remove_all(site_ / "b");
  const auto run = [&] { return RunTrustingStampsOlderThan(std::chrono::milliseconds(200)); };
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // The key of the site's top names its pages, which the first run writes.
  EXPECT_EQ(run().pages_written, 2);
  EXPECT_EQ(run().folders_unchanged, 1);
}

// What a run reports, it reports on every run; a page edited by hand keeps its head on
// every run, taken from the page as it stands. Such folders are generated every time.
TEST_F(FolderSkipTest, AFolderWithAProblemOrAPageEditedByHandIsGeneratedOnEveryRun) {
  test::WriteFile(site_ / "a" / "bad.jpg", "not a jpeg at all");
  Rerun();
  std::string page = test::ReadFile(site_ / "b" / "index.html");
  page.replace(page.find("<TITLE>"), 7, "<TITLE>Mine: ");
  Later([&] { test::WriteFile(site_ / "b" / "index.html", page); });
  const std::size_t shown = ui_.messages().size();
  for (int run = 0; run < 3; ++run) EXPECT_EQ(Rerun().folders_unchanged, 0) << run;
  EXPECT_EQ(ui_.messages().size(), shown + 3) << "the corrupt picture, on every run";
  EXPECT_EQ(diagnostics_.Notices().size(), 1u) << "the page's head is kept from now on";
  EXPECT_NE(test::ReadFile(site_ / "b" / "index.html").find("<TITLE>Mine: "), std::string::npos);
}

}  // namespace
}  // namespace pix
