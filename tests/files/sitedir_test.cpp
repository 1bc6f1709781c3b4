#include "files/sitedir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/filelist.h"
#include "files/settings.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

class SiteDirTest : public testing::Test {
 protected:
  // The message a refused directory shows, or "" when it is accepted without a message.
  std::string Outcome(std::string_view directory, std::string_view program) {
    test::ScriptedUserInterface ui;
    const bool accepted = ValidateSiteDirectory(directory, program, &ui);
    EXPECT_EQ(ui.messages().size(), accepted ? 0u : 1u) << directory;
    if (ui.messages().empty()) return "";
    EXPECT_EQ(ui.messages()[0].title, kProgramCaption);
    EXPECT_EQ(ui.messages()[0].buttons, MessageButtons::kOk);
    return ui.messages()[0].text;
  }

  test::TempDir home_;

  SettingsFile settings_{home_.path()};
};

constexpr const char* kProperDirectory = "You must select a proper directory.";
constexpr const char* kContainsProgram = "Select a directory that does not contain program.";

TEST_F(SiteDirTest, RefusedDirectoriesAreNamedInTheirOwnWords) {
  const std::string program = "/home/ann/.config/pixamond";
  EXPECT_EQ(Outcome("", program), "No directory has been selected.");
  EXPECT_EQ(Outcome("/", program), "You can't select the root directory of a drive");
  EXPECT_EQ(Outcome("//", program), kProperDirectory);  // Only "" is left of it.
  EXPECT_EQ(Outcome("/ab", program), kProperDirectory);
  EXPECT_EQ(Outcome("/ab//", program), kProperDirectory);
  EXPECT_EQ(Outcome("pic", program), kProperDirectory);
  EXPECT_EQ(Outcome("pictures", program), kProperDirectory);  // Relative: refused however long.
  EXPECT_EQ(Outcome("/abc", program), "");
  EXPECT_EQ(Outcome("/home/ann/pictures/", program), "");
}

TEST_F(SiteDirTest, ProgramDirectoryAndItsParentsAreRefusedInAnyCase) {
  const std::string program = "/home/ann/pixamond";
  EXPECT_EQ(Outcome("/home/ann/pixamond", program), kContainsProgram);
  EXPECT_EQ(Outcome("/home/ann/pixamond///", program), kContainsProgram);
  EXPECT_EQ(Outcome("/HOME/Ann/PixAmond", program + "/"), kContainsProgram);
  EXPECT_EQ(Outcome("/home/ann/./pixamond/sub/..", program), kContainsProgram);
  // A site around the program directory would write its pages into it.
  EXPECT_EQ(Outcome("/home/ann", program), kContainsProgram);
  EXPECT_EQ(Outcome("/home/ANN/", program), kContainsProgram);
  // Neighbours with a common prefix and directories below it are fine.
  EXPECT_EQ(Outcome("/home/ann/pixamond2", program), "");
  EXPECT_EQ(Outcome("/home/ann/pixamond/site", program), "");
  EXPECT_EQ(Outcome("/home/an", program), "");
  // The scan never enters a directory whose name begins with ".", so a site around the
  // usual layout home ~/.config/pixamond never reaches it.
  EXPECT_EQ(Outcome("/home/ann", "/home/ann/.config/pixamond"), "");
}

TEST_F(SiteDirTest, LinksAreJudgedByWhereTheyLead) {
  test::TempDir links;
  fs::create_directory_symlink("/", links / "rootlink");
  EXPECT_EQ(Outcome((links / "rootlink").string(), home_.path().string()),
            "You can't select the root directory of a drive");
  // A link to a folder above the layout home would take the home into the site.
  test::TempDir outer;
  fs::create_directories(outer / "home");
  fs::create_directory_symlink(outer.path(), links / "outerlink");
  EXPECT_EQ(Outcome((links / "outerlink").string(), (outer / "home").string()),
            kContainsProgram);
  EXPECT_EQ(Outcome((links / "outerlink" / "elsewhere").string(), (outer / "home").string()),
            "");
}

TEST_F(SiteDirTest, RefusalIsSilentWithoutAUserInterface) {
  EXPECT_FALSE(ValidateSiteDirectory("", "/p/home", nullptr));
  EXPECT_FALSE(ValidateSiteDirectory("/p/home", "/p/home", nullptr));
  EXPECT_TRUE(ValidateSiteDirectory("/p/site", "/p/home", nullptr));
}

TEST_F(SiteDirTest, TheLastSiteDirectoryComesFromTheSettings) {
  EXPECT_EQ(LastSiteDirectory(settings_), "");
  ASSERT_TRUE(settings_.WriteString("Files", "SearchDirectory", "/Pictures/Holiday 2001//").ok());
  EXPECT_EQ(LastSiteDirectory(settings_), "/Pictures/Holiday 2001");  // Case kept, slashes gone.
  ASSERT_TRUE(settings_.WriteString("Files", "SearchDirectory", "/").ok());
  EXPECT_EQ(LastSiteDirectory(settings_), "/");
}

}  // namespace
}  // namespace pix
