#include "files/profile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace pix {
namespace {

class ProfileTest : public testing::Test {
 protected:
  test::TempDir dir_;
  std::filesystem::path ini_ = dir_ / "pixamond.ini";
};

TEST_F(ProfileTest, MissingFileReadsAsDefaultsAndNamesCompareWithoutCase) {
  EXPECT_EQ(GetProfileText("Files", "SearchDirectory", "none", 256, ini_), "none");
  EXPECT_EQ(GetProfileInt("AutoOrganizeLayout", "MinMatchPerPage", 3, ini_), 3);
  EXPECT_FALSE(std::filesystem::exists(ini_));
  test::WriteFile(ini_, "[display]\r\nmaxdisplaywidth = 640 \r\n[Files]\r\nName=\"quoted\"\r\n");
  EXPECT_EQ(GetProfileInt("Display", "MaxDisplayWidth", 0, ini_), 640);
  EXPECT_EQ(GetProfileText("DISPLAY", "MAXDISPLAYWIDTH", "", 256, ini_), "640");
  EXPECT_EQ(GetProfileText("Files", "name", "", 256, ini_), "quoted");
}

TEST_F(ProfileTest, WritingTheValueAlreadyThereLeavesTheFileAndItsTimeAlone) {
  test::WriteFile(ini_, "; mine\r\n[HTMLDefaults]\r\nPersonFullName=Ann Example\r\n");
  const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, ini_.c_str(), past, 0), 0);
  const ino_t before = test::StatOf(ini_).st_ino;
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "PersonFullName", "Ann Example", ini_).ok());
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "NoSuchKey", std::nullopt, ini_).ok());
  EXPECT_EQ(test::StatOf(ini_).st_ino, before);
  EXPECT_EQ(test::StatOf(ini_).st_mtim.tv_sec, 1000000000);
  // A changed value is written as before.
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "PersonFullName", "Bo Example", ini_).ok());
  EXPECT_EQ(test::ReadFile(ini_), "; mine\r\n[HTMLDefaults]\r\nPersonFullName=Bo Example\r\n");
}

TEST_F(ProfileTest, IntegersAreTheLeadingDigits) {
  test::WriteFile(ini_, "[S]\nA=42px\nB=wide\nC=\nD=-5\nE=99999999999999\n");
  EXPECT_EQ(GetProfileInt("S", "A", 7, ini_), 42);
  EXPECT_EQ(GetProfileInt("S", "B", 7, ini_), 0);
  EXPECT_EQ(GetProfileInt("S", "C", 7, ini_), 0);
  EXPECT_EQ(GetProfileInt("S", "D", 7, ini_), 0);
  EXPECT_EQ(GetProfileInt("S", "E", 7, ini_), 2147483647);
  EXPECT_EQ(GetProfileInt("S", "Missing", 7, ini_), 7);
}

TEST_F(ProfileTest, WritesCreateReplaceAndDelete) {
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "PersonFullName", "Ann Example", ini_).ok());
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "EMailAddress", "ann@example.org", ini_).ok());
  ASSERT_TRUE(WriteProfileText("Files", "SearchDirectory", "/pics", ini_).ok());
  ASSERT_TRUE(WriteProfileText("htmldefaults", "personfullname", "Ann B. Example", ini_).ok());
  EXPECT_EQ(test::ReadFile(ini_),
            "[HTMLDefaults]\nPersonFullName=Ann B. Example\nEMailAddress=ann@example.org\n"
            "\n[Files]\nSearchDirectory=/pics\n");

  ASSERT_TRUE(WriteProfileText("HTMLDefaults", "EMailAddress", std::nullopt, ini_).ok());
  EXPECT_EQ(GetProfileText("HTMLDefaults", "EMailAddress", "gone", 256, ini_), "gone");
  ASSERT_TRUE(WriteProfileText("HTMLDefaults", std::nullopt, std::nullopt, ini_).ok());
  EXPECT_EQ(test::ReadFile(ini_), "[Files]\nSearchDirectory=/pics\n");
  EXPECT_TRUE(WriteProfileText("NoSuchSection", std::nullopt, std::nullopt, ini_).ok());
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
  test::WriteFile(ini_, before);
  ASSERT_TRUE(WriteProfileText("MatchPageSearchStrings", "miscpics", "[*.*]", ini_).ok());
  ASSERT_TRUE(WriteProfileText("Display", "MaxDisplayWidth", "300", ini_).ok());
  EXPECT_EQ(test::ReadFile(ini_),
            "; Pixamond settings\r\n"
            "[MatchPageSearchStrings]\r\n"
            "photo0000=[photo####.*]\r\n"
            "this line is not a key\r\n"
            "miscpics=[*.*]\r\n"
            "\r\n"
            "[Display]\r\n"
            "MaxDisplayWidth=300\r\n");
}

TEST_F(ProfileTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write into a read-only folder";
  test::WriteFile(ini_, "[S]\nK=old\n");
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
  EXPECT_FALSE(WriteProfileText("S", "K", "new", ini_).ok());
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(test::ReadFile(ini_), "[S]\nK=old\n");
  EXPECT_EQ(test::CountEntries(dir_.path()), 1u);
}

}  // namespace
}  // namespace pix
