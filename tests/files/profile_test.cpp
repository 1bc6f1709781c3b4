#include "files/profile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace pix {
namespace {

class ProfileTest : public testing::Test {
 protected:
  test::TempDir dir;
  std::filesystem::path ini = dir / "pixamond.ini";
};

TEST_F(ProfileTest, MissingFileReadsAsDefaults) {
  EXPECT_EQ(GetProfileText("Files", "SearchDirectory", "none", 256, ini), "none");
  EXPECT_EQ(GetProfileInt("AutoOrganizeLayout", "MinMatchPerPage", 3, ini), 3);
  EXPECT_FALSE(std::filesystem::exists(ini));
}

TEST_F(ProfileTest, NamesCompareWithoutCaseAndBlanksAroundValuesGo) {
  test::WriteFile(ini, "[display]\r\nmaxdisplaywidth = 640 \r\n[Files]\r\nName=\"quoted\"\r\n");
  EXPECT_EQ(GetProfileInt("Display", "MaxDisplayWidth", 0, ini), 640);
  EXPECT_EQ(GetProfileText("DISPLAY", "MAXDISPLAYWIDTH", "", 256, ini), "640");
  EXPECT_EQ(GetProfileText("Files", "name", "", 256, ini), "quoted");
}

TEST_F(ProfileTest, WritingTheValueAlreadyThereLeavesTheFileAndItsTimeAlone) {
  test::WriteFile(ini, "; mine\r\n[HTMLDefaults]\r\nPersonFullName=Ann Example\r\n");
  const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, ini.c_str(), past, 0), 0);
  struct stat before {};
  ASSERT_EQ(::stat(ini.c_str(), &before), 0);
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "PersonFullName", "Ann Example", ini).ok());
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "NoSuchKey", std::nullopt, ini).ok());
  struct stat after {};
  ASSERT_EQ(::stat(ini.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, 1000000000);
  // A changed value is written as before.
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "PersonFullName", "Bo Example", ini).ok());
  EXPECT_EQ(test::ReadFile(ini), "; mine\r\n[HTMLDefaults]\r\nPersonFullName=Bo Example\r\n");
}

TEST_F(ProfileTest, TextIsCutToCapacityMinusOne) {
  test::WriteFile(ini, "[S]\nK=abcdefghij\n");
  EXPECT_EQ(GetProfileText("S", "K", "", 5, ini), "abcd");
  EXPECT_EQ(GetProfileText("S", "Missing", "defaults", 5, ini), "defa");
}

TEST_F(ProfileTest, IntegersAreTheLeadingDigits) {
  test::WriteFile(ini, "[S]\nA=42px\nB=wide\nC=\nD=-5\nE=99999999999999\n");
  EXPECT_EQ(GetProfileInt("S", "A", 7, ini), 42);
  EXPECT_EQ(GetProfileInt("S", "B", 7, ini), 0);
  EXPECT_EQ(GetProfileInt("S", "C", 7, ini), 0);
  EXPECT_EQ(GetProfileInt("S", "D", 7, ini), 0);
  EXPECT_EQ(GetProfileInt("S", "E", 7, ini), 2147483647);
  EXPECT_EQ(GetProfileInt("S", "Missing", 7, ini), 7);
}

TEST_F(ProfileTest, WritesCreateReplaceAndDelete) {
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "PersonFullName", "Ann Example", ini).ok());
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "EMailAddress", "ann@example.org", ini).ok());
  ASSERT_TRUE(WriteProfileText("Files", "SearchDirectory", "/pics", ini).ok());
  ASSERT_TRUE(WriteProfileText("htmldefaults", "personfullname", "Ann B. Example", ini).ok());
  EXPECT_EQ(test::ReadFile(ini),
            "[HTMLDefaults]\nPersonFullName=Ann B. Example\nEMailAddress=ann@example.org\n"
            "\n[Files]\nSearchDirectory=/pics\n");

  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "EMailAddress", std::nullopt, ini).ok());
  EXPECT_EQ(GetProfileText("HTMLDefaults", "EMailAddress", "gone", 256, ini), "gone");
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", std::nullopt, std::nullopt, ini).ok());
  EXPECT_EQ(test::ReadFile(ini), "[Files]\nSearchDirectory=/pics\n");
  EXPECT_TRUE(WriteProfileText("NoSuchSection", std::nullopt, std::nullopt, ini).ok());
}

TEST_F(ProfileTest, WritesKeepCommentsUnknownLinesAndCrLfLineEnds) {
  const std::string before =
      "; Pixamond settings\r\n"
      "[MatchPageSearchStrings]\r\n"
      "photo0000=[photo####.*]\r\n"
      "this line is not a key\r\n"
      "\r\n"
      "[Display]\r\n"
      "MaxDisplayWidth=200\r\n";
  test::WriteFile(ini, before);
  ASSERT_TRUE(WriteProfileText("MatchPageSearchStrings", "miscpics", "[*.*]", ini).ok());
  ASSERT_TRUE(WriteProfileText("Display", "MaxDisplayWidth", "300", ini).ok());
  EXPECT_EQ(test::ReadFile(ini),
            "; Pixamond settings\r\n"
            "[MatchPageSearchStrings]\r\n"
            "photo0000=[photo####.*]\r\n"
            "this line is not a key\r\n"
            "miscpics=[*.*]\r\n"
            "\r\n"
            "[Display]\r\n"
            "MaxDisplayWidth=300\r\n");
}

TEST_F(ProfileTest, ValuesThatWouldBreakTheFileAreRefusedAndTheFileKept) {
  test::WriteFile(ini, "[S]\nK=v\n");
  EXPECT_FALSE(WriteProfileText("S", "K", "two\nlines", ini).ok());
  EXPECT_FALSE(WriteProfileText("S", "a=b", "v", ini).ok());
  EXPECT_FALSE(WriteProfileText("S]", "K", "v", ini).ok());
  EXPECT_EQ(test::ReadFile(ini), "[S]\nK=v\n");
}

TEST_F(ProfileTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write into a read-only folder";
  test::WriteFile(ini, "[S]\nK=old\n");
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
  EXPECT_FALSE(WriteProfileText("S", "K", "new", ini).ok());
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(test::ReadFile(ini), "[S]\nK=old\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace pix
