#include "files/autoorganize.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/diagnostics.h"
#include "files/settings.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

std::string Pattern(std::string name) {
  MakeNamePattern(name);
  return name;
}

TEST(NamePatternTest, DigitsAndAFinalLetterAreReplaced) {
  EXPECT_EQ(Pattern("img0012"), "img####");
  EXPECT_EQ(Pattern("dsc-12a"), "dsc-##@");
  EXPECT_EQ(Pattern("ab1c"), "ab#c");      // Four characters: too short for the letter rule.
  EXPECT_EQ(Pattern("abc1d"), "abc#@");    // Five are enough.
  EXPECT_EQ(Pattern("trip-B"), "trip-@");  // After "-" as after a digit, in either case.
  EXPECT_EQ(Pattern("photo"), "photo");    // A letter after a letter stays.
  EXPECT_EQ(Pattern("img12_"), "img##_");  // Only a letter becomes "@".
  EXPECT_EQ(Pattern("12345"), "#####");
  EXPECT_EQ(Pattern(""), "");
}

class AutoOrganizeTest : public testing::Test {
 protected:
  std::string Setting(const char* section, const char* key) {
    return settings_.GetString(section, key, "<none>");
  }
  // Every key of MatchPageSearchStrings, as the settings file holds it.
  std::string MatchSection() {
    const std::string ini = test::ReadFile(settings_.path());
    const std::size_t start = ini.find("[MatchPageSearchStrings]");
    if (start == std::string::npos) return "<none>";
    const std::size_t end = ini.find("\n[", start);
    std::string section = ini.substr(start, end == std::string::npos ? end : end + 1 - start);
    while (section.size() > 1 && section[section.size() - 2] == '\n') section.pop_back();
    return section;
  }

  Status Organize(const std::string& directory) {
    return BuildAutoOrganizeLayout(directory, home_.path(), diagnostics_);
  }

  test::TempDir home_;

  SettingsFile settings_{home_.path()};
  test::TempDir site_;
  CollectedDiagnostics diagnostics_;
};

TEST_F(AutoOrganizeTest, SharedPatternsBecomeMatchPagesBeforeMiscPics) {
  for (const char* name : {"img0001.jpg", "img0002.jpg", "sub/img0003.JPG", "cat.gif"}) {
    test::WriteFile(site_ / name, "");
  }
  ASSERT_TRUE(Organize(site_.path().string()).ok());
  EXPECT_EQ(Setting("MatchPageSearchStrings", "img0000"), "[img####.*]");
  EXPECT_EQ(Setting("MatchPageSearchStrings", "miscpics"), "[*.*]");
  EXPECT_EQ(Setting("MatchPageSearchStrings", "cat"), "<none>");
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "img0000,miscpics");
  EXPECT_EQ(Setting("AutoOrganizeLayout", "DoAutoOrganize"), "Yes");
}

TEST(WritableMatchPagesTest, TheCatchAllPageCountsOnlyAfterAnotherPage) {
  EXPECT_EQ(WritableMatchPages("img0000,miscpics"),
            (std::vector<std::string>{"img0000", "miscpics"}));
  EXPECT_EQ(WritableMatchPages("miscpics"), std::vector<std::string>{});
  EXPECT_EQ(WritableMatchPages("MiscPics,img0000"), std::vector<std::string>{});
  EXPECT_EQ(WritableMatchPages(",,a,,b"), std::vector<std::string>{});
  EXPECT_EQ(WritableMatchPages("a,,b"), (std::vector<std::string>{"a", "b"}));
}

TEST_F(AutoOrganizeTest, OldMatchPagesAreReplacedAndOtherSettingsKept) {
  test::WriteFile(settings_.path(),
                  "[HTMLDefaults]\nPersonFullName=Ann\n"
                  "[MatchPageSearchStrings]\nold0000=[old####.*]\n"
                  "[AutoOrganizeLayout]\nDoAutoOrganize=No\nAutoOrganizeBaseFileNames=old0000\n");
  ASSERT_TRUE(Organize(site_.path().string()).ok());
  EXPECT_EQ(MatchSection(), "[MatchPageSearchStrings]\nmiscpics=[*.*]\n");
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "miscpics");
  EXPECT_EQ(Setting("AutoOrganizeLayout", "DoAutoOrganize"), "Yes");
  EXPECT_EQ(Setting("HTMLDefaults", "PersonFullName"), "Ann");
}

TEST_F(AutoOrganizeTest, RunsShorterThanTheMinimumGetNoPage) {
  test::WriteFile(site_ / "img0001.jpg", "");
  test::WriteFile(site_ / "img0002.jpg", "");
  ASSERT_TRUE(Organize(site_.path().string()).ok());
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "miscpics");

  // The minimum comes from the settings.
  ASSERT_TRUE(settings_.WriteString("AutoOrganizeLayout", "MinMatchPerPage", "2").ok());
  ASSERT_TRUE(Organize(site_.path().string()).ok());
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "img0000,miscpics");
}

TEST_F(AutoOrganizeTest, OnlyThePicturesOfTheSiteTakePart) {
  for (const char* name : {"a/dsc-01a.jpg", "b/dsc-02b.jpeg", "dsc-03c.GIF",
                           // Not pictures, or pictures by a later extension only:
                           "dsc-04d.txt", "dsc-05e.jpg.txt", "dsc-06f.old.jpg",
                           // Inline copies, whatever the case of the directory's name, and
                           // anything below an inline directory:
                           "inline/img0001.gif", "a/INLINE/img0002.gif", "b/Inline/img0003.gif",
                           "a/inline/sub/x0001.gif", "a/inline/sub/x0002.gif",
                           // GIF twins of JPEG pictures, in any case:
                           "x0003.jpg", "x0003.GIF", "c/X0004.JPEG", "c/x0004.gif"}) {
    test::WriteFile(site_ / name, "");
  }
  ASSERT_TRUE(Organize(site_.path().string()).ok());
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "dsc-001,miscpics");
  EXPECT_EQ(Setting("MatchPageSearchStrings", "dsc-001"), "[dsc-##@.*]");
}

TEST_F(AutoOrganizeTest, PatternsDifferingInCaseFormOneSortedRun) {
  for (const char* name : {"Zoo01.jpg", "zoo02.jpg", "ZOO03.jpg", "_pic1.jpg", "_pic2.jpg",
                           "_pic3.jpg", "abc1.jpg", "ABC2.jpg", "aBc3.jpg"}) {
    test::WriteFile(site_ / name, "");
  }
  ASSERT_TRUE(Organize(site_.path().string()).ok());
  // One page per run, in the order of the file list (the underscore after the letters).
  // A run whose spellings differ in case takes the one that sorts last by its bytes,
  // whatever order the directory was listed in.
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"),
            "abc0,zoo00,_pic0,miscpics");
  EXPECT_EQ(Setting("MatchPageSearchStrings", "abc0"), "[abc#.*]");
  EXPECT_EQ(Setting("MatchPageSearchStrings", "zoo00"), "[zoo##.*]");
}

TEST_F(AutoOrganizeTest, NamesThatCannotNameAPageAreLeftOut) {
  for (const char* base : {"a,b", "x=y", " lead", ";semi", "ok"}) {
    for (const char* number : {"1", "2", "3"}) {
      test::WriteFile(site_ / (std::string(base) + number + ".jpg"), "");
    }
  }
  // A pattern without wildcards that would take the catch-all page's name.
  for (const char* name : {"a/miscpics.jpg", "b/MiscPics.jpg", "c/miscpics.gif"}) {
    test::WriteFile(site_ / name, "");
  }
  ASSERT_TRUE(Organize(site_.path().string()).ok());
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "ok0,miscpics");
  EXPECT_EQ(MatchSection(), "[MatchPageSearchStrings]\nok0=[ok#.*]\nmiscpics=[*.*]\n");
  const std::string problems = diagnostics_.ProblemText();
  EXPECT_NE(problems.find("\"a,b#\""), std::string::npos) << problems;
}

TEST_F(AutoOrganizeTest, SeriesNamedLikeAPicturesPageOrAnIndexPageGetNoPage) {
  for (const char* name : {"a/folder.jpg", "b/folder.jpg", "c/folder.jpg", "a/index.jpg",
                           "b/index.jpg", "c/index.jpg", "walk1.jpg", "walk2.jpg", "walk3.jpg"}) {
    test::WriteFile(site_ / name, "");
  }
  ASSERT_TRUE(Organize(site_.path().string()).ok());
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "walk0,miscpics");
  const std::string problems = diagnostics_.ProblemText();
  EXPECT_NE(problems.find("\"folder.html\" is already the name of a page"), std::string::npos)
      << problems;
  EXPECT_NE(problems.find("\"index.html\" is already the name of a page"), std::string::npos);
}

TEST_F(AutoOrganizeTest, EveryPictureCountsHoweverManyThereAre) {
  // A page that only a count of every one of these pictures reaches.
  const int count = 16390;
  ASSERT_TRUE(settings_.WriteString("AutoOrganizeLayout", "MinMatchPerPage", std::to_string(count)).ok());
  for (int folder = 0; folder < 7; ++folder) {
    std::filesystem::create_directory(site_ / ("dir" + std::to_string(folder)));
  }
  for (int i = 0; i < count; ++i) {
    const std::filesystem::path path =
        site_ / ("dir" + std::to_string(i % 7)) / ("p" + std::to_string(100000 + i) + ".jpg");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  ASSERT_TRUE(Organize(site_.path().string()).ok());
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "p000000,miscpics");
}

TEST_F(AutoOrganizeTest, MissingSiteChangesNoSetting) {
  const std::string before = "[MatchPageSearchStrings]\nkeep0=[keep#.*]\n";
  test::WriteFile(settings_.path(), before);
  EXPECT_FALSE(Organize((site_ / "gone").string()).ok());
  EXPECT_EQ(test::ReadFile(settings_.path()), before);
}

}  // namespace
}  // namespace pix
