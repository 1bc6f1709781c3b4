#include "files/picturenames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "files/filelist.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace pix {
namespace {

std::unique_ptr<FileItem> Scan(const test::TempDir& site) {
  Result<std::unique_ptr<FileItem>> root = FileItem::CreateRoot(site.path().string(), true);
  EXPECT_TRUE(root.ok());
  return std::move(root).value();
}

// The names of the site pictures a walk through the site's own directories meets.
std::vector<std::string> SitePictures(const FileItem& root, const SiteNames& names) {
  std::vector<std::string> pictures;
  for (const FileItem* item = root.FirstChild(); item; item = NextSiteItem(*item, names)) {
    if (IsSitePicture(*item)) {
      pictures.push_back(item->FullFileName().substr(root.FullFileName().size() + 1));
    }
  }
  return pictures;
}

TEST(PictureNamesTest, SubPageDirectoriesLeaveOutInlineFilesAndLinks) {
  test::TempDir site;
  test::WriteFile(site / "trips/a.jpg", "");
  test::WriteFile(site / "Inline/a.gif", "");
  test::WriteFile(site / "thumbs/a.gif", "");
  test::WriteFile(site / "inline.jpg", "");
  fs::create_directory_symlink(site / "trips", site / "linked");
  const std::unique_ptr<FileItem> root = Scan(site);

  auto sub_pages = [&](const SiteNames& names) {
    std::vector<std::string> found;
    for (const FileItem* item = root->FirstChild(); item; item = item->NextItem()) {
      if (IsSubPageDir(*item, names)) found.emplace_back(item->FileName());
    }
    return found;
  };
  EXPECT_EQ(sub_pages(SiteNames{}), (std::vector<std::string>{"thumbs", "trips"}));
  SiteNames thumbs;
  thumbs.in_line_sub_dir_name = "THUMBS";  // Compared without regard to case.
  EXPECT_EQ(sub_pages(thumbs), (std::vector<std::string>{"Inline", "trips"}));
}

TEST(PictureNamesTest, TheSurveyCountsWhatTheListingsShowAndFindsEveryLeftover) {
  test::TempDir site;
  for (const char* name : {"a.jpg", "a.gif", "b.GIF", "v.mp4", "notes.txt", "index.html",
                           "trip/c.jpeg", "trip/deep/d.jpg", "inline/x.gif",
                           "INLINE/album/y.jpg", "inline/detail/z.jpg", ".hidden/h.jpg",
                           "inline/.x.gif.tmp-Ab12Cd", "trip/.c.html.tmp-Zz99Yy"}) {
    test::WriteFile(site / name, "");
  }
  fs::create_directory_symlink(site / "trip", site / "linked");
  fs::create_symlink(site / "a.jpg", site / "e.jpg");
  fs::create_symlink(site / "gone.jpg", site / "broken.jpg");
  const SiteSurvey survey = SurveySite(site.path().string(), SiteNames{});
  // a.jpg, b.GIF, v.mp4, e.jpg (a link to a file), trip/c.jpeg and trip/deep/d.jpg; a.gif
  // is a JPEG's twin, and nothing inside a folder named like the inline folder counts.
  EXPECT_EQ(survey.pictures, 6);
  std::vector<std::string> leftovers;
  for (const std::string& path : survey.leftover_temporaries) {
    leftovers.push_back(fs::relative(path, site.path()).string());
  }
  std::sort(leftovers.begin(), leftovers.end());
  EXPECT_EQ(leftovers, (std::vector<std::string>{"inline/.x.gif.tmp-Ab12Cd",
                                                  "trip/.c.html.tmp-Zz99Yy"}));

  // The survey's count is CountPicturesByName's summed over the listings of the folders.
  const std::unique_ptr<FileItem> root = Scan(site);
  int listed = 0;
  for (const FileItem* item = root.get(); item != nullptr;
       item = item == root.get() ? root->FirstChild() : NextSiteItem(*item, SiteNames{})) {
    if (IsDirectory(*item) && (item == root.get() || IsSubPageDir(*item, SiteNames{})) &&
        !IsInsideInlineFolder(*item, SiteNames{})) {
      listed += CountPicturesByName(*item);
    }
  }
  EXPECT_EQ(listed, survey.pictures);
}

TEST(PictureNamesTest, AJpegStandsForItsGifTwinInAnyCaseAndSpelling) {
  test::TempDir site;
  for (const char* name :
       {"IMG_1.JPG", "IMG_1.GIF", "b.jpeg", "B.gif", "c.gif", "d.Jpg", "e.jpg.gif", "e.jpg",
        "inline/IMG_1.gif", "inline/deep/x.jpg", "sub/f.GIF", "sub/F.JPEG", "notes.txt"}) {
    test::WriteFile(site / name, "");
  }
  const std::unique_ptr<FileItem> root = Scan(site);
  // "e.jpg.gif" is a GIF of its own: its name without the extension is "e.jpg".
  EXPECT_EQ(SitePictures(*root, SiteNames{}),
            (std::vector<std::string>{"b.jpeg", "c.gif", "d.Jpg", "e.jpg", "e.jpg.gif",
                                      "IMG_1.JPG", "sub/F.JPEG"}));
  // The twins stay in the file list (nothing is deleted); they only are no site pictures.
  int twins = 0;
  for (const FileItem* item = root->FirstChild(); item; item = NextInTree(*item)) {
    if (HasJpegTwin(*item)) ++twins;
  }
  EXPECT_EQ(twins, 3);
}

TEST(PictureNamesTest, TheExtensionFollowsTheLastDotInEverySpelling) {
  test::TempDir site;
  for (const char* name : {"2020.05.01 beach.jpg", "Mr. Smith.JPEG", "IMG_1.edited.jpe",
                           "PXL_20240101_120000000.MP.jpg", "old.jpg.txt", "photo.jpg.bak"}) {
    test::WriteFile(site / name, "");
  }
  const std::unique_ptr<FileItem> root = Scan(site);
  EXPECT_EQ(SitePictures(*root, SiteNames{}),
            (std::vector<std::string>{"2020.05.01 beach.jpg", "IMG_1.edited.jpe",
                                      "Mr. Smith.JPEG", "PXL_20240101_120000000.MP.jpg"}));
  const PictureFiles files = PictureFilesOf(*root->FirstChild(), SiteNames{});
  EXPECT_EQ(files.base_name, "2020.05.01 beach");
  EXPECT_EQ(files.detail_link, "2020.05.01 beach.html");
  EXPECT_EQ(files.inline_link, "inline/2020.05.01 beach.gif");
  EXPECT_EQ(files.text_path, (site / "2020.05.01 beach.txt").string());
}

TEST(PictureNamesTest, CollisionsLeaveTheLaterPictureOutAndSayWhy) {
  test::TempDir site;
  for (const char* name : {"a.jpg", "a.jpeg", "a.JPE", "index.jpg", "folder.jpg", "B.jpg",
                           "b.jpg", "trip/index.gif", "trip/x.gif", "trip/X.JPG"}) {
    test::WriteFile(site / name, "");
  }
  const std::unique_ptr<FileItem> root = Scan(site);
  const std::vector<std::string> left_out =
      SettlePictureNames(*root, SiteNames{}, std::vector<std::string>{"folder"},
                         [](const FileItem&) { return true; });
  // Names differing in case make different files here, so "B.jpg" and "b.jpg" both stay;
  // a GIF twin is left out whichever sorts first.
  EXPECT_EQ(SitePictures(*root, SiteNames{}),
            (std::vector<std::string>{"a.JPE", "B.jpg", "b.jpg", "trip/X.JPG"}));
  const std::string root_ = site.path().string();
  EXPECT_EQ(left_out, (std::vector<std::string>{
                         root_ + "/a.jpeg is left out of the site: a.JPE already makes its page "
                                 "a.html and inline image inline/a.gif",
                         root_ + "/a.jpg is left out of the site: a.JPE already makes its page "
                                 "a.html and inline image inline/a.gif",
                         root_ + "/folder.jpg is left out of the site: its page would replace "
                                 "the match page folder.html",
                         root_ + "/index.jpg is left out of the site: its page would replace "
                                 "the index page index.html",
                         root_ + "/trip/index.gif is left out of the site: its page would "
                                 "replace the index page index.html",
                         root_ + "/trip/x.gif is left out of the site: X.JPG of the same name "
                                 "stands for it"}));
}

TEST(PictureNamesTest, APictureOwnsItsPageInlineImageAndTextFile) {
  test::TempDir site;
  test::WriteFile(site / "trip/Moon & stars #2.jpeg", "");
  const std::unique_ptr<FileItem> root = Scan(site);
  const FileItem& picture = *root->FirstChild()->FirstChild();
  SiteNames names;
  names.in_line_sub_dir_name = "small";
  names.page_dos_file_ext = "htm";
  const PictureFiles files = PictureFilesOf(picture, names);
  const std::string trip = (site / "trip").string();
  EXPECT_EQ(files.anchor_path, trip + "/Moon & stars #2.jpeg");
  EXPECT_EQ(files.anchor_name, "Moon & stars #2.jpeg");
  EXPECT_EQ(files.base_name, "Moon & stars #2");
  EXPECT_EQ(files.inline_path, trip + "/small/Moon & stars #2.gif");
  EXPECT_EQ(files.inline_link, "small/Moon & stars #2.gif");
  EXPECT_EQ(files.text_path, trip + "/Moon & stars #2.txt");
  EXPECT_EQ(files.detail_path, trip + "/Moon & stars #2.htm");
  EXPECT_EQ(files.detail_link, "Moon & stars #2.html");
}

}  // namespace
}  // namespace pix
