// What saving the layout tree writes and deletes, and the renames of directories and match
// pages, on real layout homes and site trees.
#include <gtest/gtest.h>

#include <algorithm>

#include "files/filelist.h"
#include "layout/config.h"
#include "files/picturenames.h"
#include "layout/layout_fixture.h"
#include "layout/pictureitem.h"
#include "picture/comread.h"
#include "support/picture_builder.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;

using ConfigStoreTest = LayoutTest;

// Every file below `dir` with its bytes, to see that nothing changed.
std::vector<std::pair<std::string, std::string>> Snapshot(const fs::path& dir) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    files.emplace_back(entry.path().string(), entry.is_regular_file() ? ReadFile(entry) : "<dir>");
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST_F(ConfigStoreTest, SavingAnUnmodifiedTreeChangesNothing) {
  WriteFile(home_ / "globals.txt", "PageTitle:\r\nT\r\n\r\n");
  WriteSetting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames", "dogs");
  WriteFile(site_ / "a.jpg", MakeJpeg(SampleArt(), {}));
  auto root = Build();
  const auto before = Snapshot(temp_.path());
  EXPECT_TRUE(root->SaveTree(&ui_).empty());
  EXPECT_EQ(Snapshot(temp_.path()), before);
}

TEST_F(ConfigStoreTest, EditingAPieceRewritesGlobalsInPieceOrder) {
  WriteFile(home_ / "globals.txt",
            "ImageTag:\r\n<img>\r\n\r\n"
            "PageBodyBeginTemplate:\r\n<body>\r\n\r\n"
            "PageHeadTemplate:\r\n<head>\r\n\r\n"
            "DirEntryTemplate:\r\n<li>\r\n\r\n");
  auto root = Build();
  ConfigItem* page_start = ChildNamed(*root->default_page_item, "Page Start");
  page_start->SetVar("PageTitle", "Home");
  page_start->SetModified();
  EXPECT_TRUE(root->SaveTree(&ui_).empty());
  EXPECT_EQ(ReadFile(home_ / "globals.txt"),
            "PageBodyBeginTemplate:\r\n<body>\r\n\r\n"
            "PageHeadTemplate:\r\n<head>\r\n\r\n"
            "PageTitle:\r\nHome\r\n\r\n"
            "DirEntryTemplate:\r\n<li>\r\n\r\n"
            "ImageTag:\r\n<img>\r\n\r\n");
  // The root saved too: the list of match pages is written (empty here).
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "");
}

TEST_F(ConfigStoreTest, EmptiedValueLeavesTheFile) {
  WriteFile(home_ / "dglobals.txt", "PageTitle:\r\nOld\r\n\r\nPageIntro:\r\nKeep\r\n\r\n");
  auto root = Build();
  root->dir_index_pages_item->SetVar("PageTitle", "");
  root->dir_index_pages_item->SetModified();
  root->SaveTree(&ui_);
  EXPECT_EQ(ReadFile(home_ / "dglobals.txt"), "PageIntro:\r\nKeep\r\n\r\n");
}

TEST_F(ConfigStoreTest, SettingsItemWritesEmptyValuesAndOnlyItsOwnKeys) {
  WriteSetting("HTMLDefaults", "PersonFullName", "Ada");
  WriteSetting("HTMLDefaults", "EMailAddress", "ada@example.org");
  auto root = Build();
  ConfigItem* user = ChildNamed(*root->general_settings_item, "User");
  // The variables out of order, one renamed and one added: only the entries' keys count.
  user->DeleteAllVars();
  user->SetVar("EMailAddress", "");
  user->SetVar("Intruder", "x");
  user->SetVar("personfullname", "Grace");
  user->SetModified();
  EXPECT_TRUE(root->SaveTree(&ui_).empty());
  EXPECT_EQ(Setting("HTMLDefaults", "PersonFullName"), "Grace");
  EXPECT_EQ(Setting("HTMLDefaults", "EMailAddress"), "");  // Written empty, not removed.
  EXPECT_EQ(Setting("HTMLDefaults", "Intruder"), "<missing>");
  EXPECT_EQ(ReadFile(SettingsFile(home_).path()).find("Intruder"), std::string::npos);
}

TEST_F(ConfigStoreTest, CrossedOutMatchPageLosesFileKeyAndListPlace) {
  WriteSetting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames", "dogs,cats,birds");
  WriteSetting("MatchPageSearchStrings", "cats", "[cat*.*]");
  WriteFile(home_ / "cats.txt", "PageTitle:\r\nCats\r\n\r\n");
  WriteFile(home_ / "dogs.txt", "PageTitle:\r\nDogs\r\n\r\n");
  auto root = Build();
  ChildNamed(*root->match_pages_item, "cats Match Page")->CrossOutTree();
  EXPECT_TRUE(root->SaveTree(&ui_).empty());
  EXPECT_FALSE(fs::exists(home_ / "cats.txt"));
  EXPECT_EQ(Setting("MatchPageSearchStrings", "cats"), "<missing>");
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "dogs,birds");
  EXPECT_EQ(ReadFile(home_ / "dogs.txt"), "PageTitle:\r\nDogs\r\n\r\n");
  EXPECT_FALSE(ChildNamed(*root->match_pages_item, "cats Match Page")->IsShown());
}

TEST_F(ConfigStoreTest, MatchPageWritesPatternToSettingsAndOtherRecordsToItsFile) {
  WriteSetting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames", "dogs,cats");
  auto root = Build();
  ConfigItem* dogs = ChildNamed(*root->match_pages_item, "dogs Match Page");
  dogs->SetVar("SearchPattern", "[dog*.*]");
  dogs->SetModified();
  root->SaveTree(&ui_);
  EXPECT_EQ(Setting("MatchPageSearchStrings", "dogs"), "[dog*.*]");
  EXPECT_FALSE(fs::exists(home_ / "dogs.txt"));  // No other record: no file is made.

  dogs->SetVar("PageTitle", "Dogs");
  dogs->SetModified();
  root->SaveTree(&ui_);
  EXPECT_EQ(ReadFile(home_ / "dogs.txt"), "PageTitle:\r\nDogs\r\n\r\n");

  // Emptied values and patterns do not come back from the old stores.
  dogs->SetVar("PageTitle", "");
  dogs->SetVar("SearchPattern", "");
  dogs->SetModified();
  root->SaveTree(&ui_);
  auto rebuilt = Build();
  const ConfigItem* again = ChildNamed(*rebuilt->match_pages_item, "dogs Match Page");
  EXPECT_EQ(again->GetVarValue("PageTitle"), "");
  EXPECT_EQ(again->GetVarValue("SearchPattern"), "");
}

TEST_F(ConfigStoreTest, PatternRecordInTheFileDoesNotOverrideAnEditedPattern) {
  WriteSetting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames", "dogs");
  WriteFile(home_ / "dogs.txt", "SearchPattern:\r\n[old*.*]\r\n\r\nPageTitle:\r\nDogs\r\n\r\n");
  auto root = Build();
  ConfigItem* dogs = root->match_pages_item->Child(1);
  dogs->SetVar("SearchPattern", "[new*.*]");
  dogs->SetModified();
  root->SaveTree(&ui_);
  auto rebuilt = Build();
  EXPECT_EQ(rebuilt->match_pages_item->Child(1)->GetVarValue("SearchPattern"), "[new*.*]");
  EXPECT_EQ(rebuilt->match_pages_item->Child(1)->GetVarValue("PageTitle"), "Dogs");
}

TEST_F(ConfigStoreTest, CrossedOutDirectoryDeletesItsFilesButKeepsTheInlineDirectory) {
  WriteFile(site_ / "trip" / "a.jpg", MakeJpeg(SampleArt(), {}));
  WriteFile(site_ / "trip" / "index.htm", "<html>");
  WriteFile(site_ / "trip" / "index.txt", "PageTitle:\r\nTrip\r\n\r\n");
  WriteFile(site_ / "trip" / "inline" / "a.gif", "GIF");
  WriteFile(site_ / "trip" / "deeper" / "b.gif", "GIF");
  WriteFile(site_ / "keep.jpg", MakeJpeg(SampleArt(), {}));
  auto root = Build();
  ConfigItem* trip = ChildNamed(*root->root_dir_item, "trip");
  trip->CrossOutTree();
  EXPECT_TRUE(root->SaveTree(&ui_).empty());
  EXPECT_FALSE(fs::exists(site_ / "trip" / "a.jpg"));
  EXPECT_FALSE(fs::exists(site_ / "trip" / "index.htm"));
  EXPECT_FALSE(fs::exists(site_ / "trip" / "index.txt"));
  EXPECT_FALSE(fs::exists(site_ / "trip" / "deeper"));  // Emptied, so removed.
  EXPECT_TRUE(fs::exists(site_ / "trip" / "inline" / "a.gif"));
  EXPECT_TRUE(fs::exists(site_ / "keep.jpg"));
  EXPECT_FALSE(trip->IsShown());
  // The site directory's own index.txt was written: its subtree changed.
  EXPECT_TRUE(fs::exists(site_ / "index.txt"));
}

TEST_F(ConfigStoreTest, UnwritableStoreIsReportedAndTheOthersAreSaved) {
  WriteFile(site_ / "gone" / "index.txt", "PageTitle:\r\nGone\r\n\r\n");
  auto root = Build();
  ConfigItem* gone = ChildNamed(*root->root_dir_item, "gone");
  gone->SetVar("PageTitle", "Edited");
  gone->SetModified();
  root->dir_index_pages_item->SetVar("PageTitle", "Index");
  root->dir_index_pages_item->SetModified();
  // The directory disappears after the tree was built.
  fs::remove_all(site_ / "gone");

  const std::vector<Status> failures = root->SaveTree(&ui_);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].message().find(Site() + "/gone/index.txt"), std::string::npos);
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].title, "Error");
  EXPECT_NE(ui_.messages()[0].text.find("gone/index.txt"), std::string::npos);
  EXPECT_FALSE(fs::exists(site_ / "gone"));  // Not made again under the old name.
  EXPECT_EQ(ReadFile(home_ / "dglobals.txt"), "PageTitle:\r\nIndex\r\n\r\n");
  EXPECT_TRUE(fs::exists(site_ / "index.txt"));
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "");
}

TEST_F(ConfigStoreTest, DirectoryRenameIsRefusedWithADot) {
  WriteFile(site_ / "trip" / "a.jpg", "");
  auto root = Build();
  ConfigItem* trip = ChildNamed(*root->root_dir_item, "trip");
  EXPECT_FALSE(trip->Rename(ui_, "trip.2020"));
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text, "Do not include a '.' in the new name");
  EXPECT_EQ(ui_.messages()[0].title, "");
  EXPECT_TRUE(fs::exists(site_ / "trip" / "a.jpg"));

  WriteFile(site_ / "taken" / "x.txt", "");
  EXPECT_FALSE(trip->Rename(ui_, "taken"));
  EXPECT_EQ(ui_.messages().back().text.rfind(
                "It was not possible to change the name of the directory\n\n", 0),
            0u);
  EXPECT_TRUE(fs::exists(site_ / "trip" / "a.jpg"));
}

TEST_F(ConfigStoreTest, RenamedDirectoryPathsFollowAtOnce) {
  WriteFile(site_ / "trip" / "index.txt", "PageTitle:\r\nTrip\r\n\r\n");
  WriteFile(site_ / "trip" / "day1" / "a.jpg", MakeJpeg(SampleArt(), {}));
  WriteFile(site_ / "trip" / "b.jpg", MakeJpeg(SampleArt(), {}));
  auto root = Build();
  auto* trip = dynamic_cast<DirectoryItem*>(ChildNamed(*root->root_dir_item, "trip"));
  ASSERT_NE(trip, nullptr);
  auto* day1 = dynamic_cast<DirectoryItem*>(ChildNamed(*trip, "day1"));
  auto* a = dynamic_cast<PictureItem*>(day1->Child(0));
  ASSERT_TRUE(trip->Rename(ui_, "Holiday"));
  EXPECT_EQ(trip->VarFileName(), Site() + "/Holiday/index.txt");
  EXPECT_EQ(day1->VarFileName(), Site() + "/Holiday/day1/index.txt");
  EXPECT_EQ(a->FullFileName(), Site() + "/Holiday/day1/a.jpg");

  // A later save writes under the new name only, and deleting goes there too.
  day1->SetVar("PageTitle", "Day one");
  day1->SetModified();
  a->SetVar("ImageDescription", "Beach");
  a->SetModified();
  ChildNamed(*trip, "b.jpg")->CrossOutTree();
  EXPECT_TRUE(root->SaveTree(&ui_).empty());
  EXPECT_FALSE(fs::exists(site_ / "trip"));
  EXPECT_EQ(ReadFile(site_ / "Holiday" / "day1" / "index.txt"), "PageTitle:\r\nDay one\r\n\r\n");
  EXPECT_EQ(ReadFile(site_ / "Holiday" / "index.txt"), "PageTitle:\r\nTrip\r\n\r\n");
  EXPECT_FALSE(fs::exists(site_ / "Holiday" / "b.jpg"));
  const JpegHeader info = test::HeaderOf((site_ / "Holiday" / "day1" / "a.jpg"));
  EXPECT_NE(info.comments.find("ImageDescription:\r\nBeach\r\n"), std::string::npos);
}

TEST_F(ConfigStoreTest, RenamingTheSiteDirectoryMovesTheRememberedSite) {
  WriteFile(site_ / "a.jpg", "");
  WriteSetting("Files", "SearchDirectory", Site());
  auto root = Build();
  ASSERT_TRUE(root->root_dir_item->Rename(ui_, "site2"));
  const std::string moved = (temp_.path() / "site2").string();
  EXPECT_EQ(Setting("Files", "SearchDirectory"), moved);
  EXPECT_EQ(root->root_dir_item->VarFileName(), moved + "/index.txt");
  EXPECT_EQ(dynamic_cast<PictureItem*>(root->root_dir_item->Child(0))->FullFileName(),
            moved + "/a.jpg");
}

TEST_F(ConfigStoreTest, RenamedMatchPageMovesItsStoresAtTheNextSave) {
  WriteSetting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames", "dogs,cats");
  WriteSetting("MatchPageSearchStrings", "dogs", "[dog*.*]");
  WriteFile(home_ / "dogs.txt", "PageTitle:\r\nDogs\r\n\r\n");
  auto root = Build();
  auto* dogs = dynamic_cast<MatchItem*>(root->match_pages_item->Child(1));
  EXPECT_FALSE(dogs->Rename(ui_, "pup.s"));
  EXPECT_EQ(ui_.messages().back().text, "Do not include a '.' in the new name");
  EXPECT_FALSE(dogs->Rename(ui_, "cats"));  // Another match page has that name.
  EXPECT_FALSE(dogs->Rename(ui_, "a,b"));
  EXPECT_EQ(dogs->BaseName(), "dogs");

  ASSERT_TRUE(dogs->Rename(ui_, "puppies"));
  EXPECT_EQ(dogs->VarFileName(), Home() + "/puppies.txt");
  EXPECT_EQ(dogs->BaseName(), "puppies");
  EXPECT_TRUE(fs::exists(home_ / "dogs.txt"));  // Nothing moves before the save.

  EXPECT_TRUE(root->SaveTree(&ui_).empty());
  EXPECT_EQ(ReadFile(home_ / "puppies.txt"), "PageTitle:\r\nDogs\r\n\r\n");
  EXPECT_FALSE(fs::exists(home_ / "dogs.txt"));
  EXPECT_EQ(Setting("MatchPageSearchStrings", "puppies"), "[dog*.*]");
  EXPECT_EQ(Setting("MatchPageSearchStrings", "dogs"), "<missing>");
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "puppies,cats");
}

}  // namespace
}  // namespace pix::test
