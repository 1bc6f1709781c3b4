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

// Which name series become match pages, in which order and under which pattern: each tree
// with the base names it gives, the match section the settings then hold, and a problem the
// organizing reports.
TEST_F(AutoOrganizeTest, NameSeriesOfTheSitesPicturesBecomeMatchPagesBeforeMiscPics) {
  const struct {
    const char* why;
    std::vector<std::string> files;
    std::string base_names;
    std::string match_section;          // "" when not checked
    std::vector<std::string> problems;  // among what the organizing reports
  } cases[] = {
      {"shared patterns, in any case of the extension",
       {"img0001.jpg", "img0002.jpg", "sub/img0003.JPG", "cat.gif"},
       "img0000,miscpics",
       "[MatchPageSearchStrings]\nimg0000=[img####.*]\nmiscpics=[*.*]\n",
       {}},
      {"only the site's pictures: not other files, pictures by a later extension only, "
       "anything in or below an inline folder in any case, or GIF twins of JPEG pictures",
       {"a/dsc-01a.jpg", "b/dsc-02b.jpeg", "dsc-03c.GIF", "dsc-04d.txt", "dsc-05e.jpg.txt",
        "dsc-06f.old.jpg", "inline/img0001.gif", "a/INLINE/img0002.gif", "b/Inline/img0003.gif",
        "a/inline/sub/x0001.gif", "a/inline/sub/x0002.gif", "x0003.jpg", "x0003.GIF",
        "c/X0004.JPEG", "c/x0004.gif"},
       "dsc-001,miscpics",
       "[MatchPageSearchStrings]\ndsc-001=[dsc-##@.*]\nmiscpics=[*.*]\n",
       {}},
      // One page per run, in the order of the file list (the underscore after the letters);
      // a run whose spellings differ in case takes the one that sorts last by its bytes,
      // whatever order the directory was listed in.
      {"patterns differing in case",
       {"Zoo01.jpg", "zoo02.jpg", "ZOO03.jpg", "_pic1.jpg", "_pic2.jpg", "_pic3.jpg", "abc1.jpg",
        "ABC2.jpg", "aBc3.jpg"},
       "abc0,zoo00,_pic0,miscpics",
       "[MatchPageSearchStrings]\nabc0=[abc#.*]\nzoo00=[zoo##.*]\n_pic0=[_pic#.*]\n"
       "miscpics=[*.*]\n",
       {}},
      // Names that would break the settings, and a pattern without wildcards that would
      // take the catch-all page's name.
      {"names that cannot name a page",
       {"a,b1.jpg", "a,b2.jpg", "a,b3.jpg", "x=y1.jpg", "x=y2.jpg", "x=y3.jpg", " lead1.jpg",
        " lead2.jpg", " lead3.jpg", ";semi1.jpg", ";semi2.jpg", ";semi3.jpg", "ok1.jpg", "ok2.jpg",
        "ok3.jpg", "a/miscpics.jpg", "b/MiscPics.jpg", "c/miscpics.gif"},
       "ok0,miscpics",
       "[MatchPageSearchStrings]\nok0=[ok#.*]\nmiscpics=[*.*]\n",
       {"\"a,b#\""}},
      {"series named like a picture's page or an index page",
       {"a/folder.jpg", "b/folder.jpg", "c/folder.jpg", "a/index.jpg", "b/index.jpg", "c/index.jpg",
        "walk1.jpg", "walk2.jpg", "walk3.jpg"},
       "walk0,miscpics",
       "",
       {"\"folder.html\" is already the name of a page",
        "\"index.html\" is already the name of a page"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::TempDir site;
    for (const std::string& name : c.files) test::WriteFile(site / name, "");
    CollectedDiagnostics diagnostics;
    ASSERT_TRUE(BuildAutoOrganizeLayout(site.path().string(), home_.path(), diagnostics).ok());
    EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), c.base_names);
    EXPECT_EQ(Setting("AutoOrganizeLayout", "DoAutoOrganize"), "Yes");
    if (!c.match_section.empty()) {
      EXPECT_EQ(MatchSection(), c.match_section);
    }
    for (const std::string& problem : c.problems) {
      EXPECT_NE(diagnostics.ProblemText().find(problem), std::string::npos)
          << diagnostics.ProblemText();
    }
  }
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
