// A run lists, writes and forgets the site one folder at a time: what it counts ahead for
// the progress and what it cleans up must still cover the whole site.
#include <gtest/gtest.h>

#include <filesystem>

#include "site/generated_site.h"
#include "support/site_files.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

class FolderWalkTest : public test::GeneratedSiteTest {
 protected:
  FolderWalkTest() { UseSettings(kOriginalSettings); }

  // Runs over the fixture's site with `jobs`; the progress as it ended.
  Progress Run(int jobs) {
    Progress progress;
    RunSite(jobs, &progress);
    return progress;
  }
};

TEST_F(FolderWalkTest, TheStepCountEndsAsThePicturesTheRunShowed) {
  test::WriteJpegPicture(site_ / "a.jpg", 20, 20, "");
  // Counted ahead by its name, then left out: its page would replace the index page.
  test::WriteJpegPicture(site_ / "index.jpg", 20, 20, "");
  test::WriteJpegPicture(site_ / "trip" / "b.jpg", 20, 20, "");
  // Not counted ahead (named like the inline folder), then shown: the folder is the user's.
  test::WriteJpegPicture(site_ / "trip" / "INLINE" / "own.jpg", 20, 20, "");
  test::WriteJpegPicture(site_ / "trip" / "INLINE" / "own2.jpg", 20, 20, "");
  for (int jobs : {1, 2}) {
    const Progress progress = Run(jobs);
    EXPECT_EQ(progress.StepCount(), 4) << jobs << " jobs";
    EXPECT_EQ(progress.Position(), 4) << jobs << " jobs";
    EXPECT_TRUE(fs::exists(site_ / "trip" / "INLINE" / "own.html"));
  }
}

TEST_F(FolderWalkTest, WhatAKilledRunLeftInAnInlineFolderGoesOnTheNextRun) {
  WritePictures();
  ASSERT_TRUE(Generate());
  const fs::path leftovers[] = {site_ / "trip" / "inline" / ".boat.gif.tmp-Ab12Cd",
                                site_ / "trip" / ".boat.html.tmp-Zz99Yy"};
  for (const fs::path& leftover : leftovers) test::WriteFile(leftover, "half");
  // A killed run leaves the list of files it was putting in place.
  test::WriteFile(site_ / ".pixamond-record-pending", "");
  ASSERT_TRUE(Generate());
  for (const fs::path& leftover : leftovers) EXPECT_FALSE(fs::exists(leftover)) << leftover;
  // After a run that finished, what another program left beside the pictures goes too.
  test::WriteFile(leftovers[1], "half");
  ASSERT_TRUE(Generate());
  EXPECT_FALSE(fs::exists(leftovers[1]));
}

TEST_F(FolderWalkTest, ManyFoldersGiveTheSamePagesWithAnyNumberOfJobs) {
  // The workers are handed each folder's pictures as the walk lists it and let go of them
  // when it leaves: pictures of a folder left behind must never be worked on.
  for (int folder = 0; folder < 12; ++folder) {
    const fs::path directory = site_ / ("f" + std::to_string(folder)) / (folder % 3 ? "sub" : "");
    for (int picture = 0; picture < 4; ++picture) {
      test::WriteJpegPicture(directory / ("p" + std::to_string(picture) + ".jpg"),
                             16 + folder * 3 + picture, 16, "");
    }
  }
  Run(1);
  const auto one_job = test::VisibleFiles(site_.path());
  for (int jobs : {2, 4}) {
    for (const auto& entry : fs::recursive_directory_iterator(site_.path())) {
      if (entry.path().extension() == ".html") fs::remove(entry.path());
    }
    fs::remove_all(site_ / "inline");
    const Progress progress = Run(jobs);
    EXPECT_EQ(progress.Position(), 48);
    EXPECT_EQ(test::DescribeDifferences(test::VisibleFiles(site_.path()), one_job), "")
        << jobs << " jobs";
  }
}

}  // namespace
}  // namespace pix
