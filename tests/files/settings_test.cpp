#include "files/settings.h"

#include <gtest/gtest.h>

#include "files/stringtable.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

class SettingsTest : public testing::Test {
 protected:
  test::TempDir home;
  test::ScopedLayoutHome useHome{home.path()};
};

TEST_F(SettingsTest, SettingsFileLivesInTheLayoutHome) {
  EXPECT_EQ(IniFileName(), home / "pixamond.ini");
}

TEST_F(SettingsTest, DisplaySizeRuleUnboundsTheMissingSide) {
  // Without a settings file, or without either side, the box is 100 by 100.
  const TDisplaySize absent = ReadMaxDisplaySize();
  EXPECT_EQ(absent.Width, 100);
  EXPECT_EQ(absent.Height, 100);
  struct Case {
    const char* ini;
    int width, height;
  } cases[] = {
      {"[Display]\nMaxDisplayWidth=640\n", 640, 2147483647},
      {"[Display]\nMaxDisplayWidth=0\nMaxDisplayHeight=480\n", 2147483647, 480},
      {"[Display]\nMaxDisplayWidth=wide\n", 100, 100},
      {"[Display]\nMaxDisplayWidth=320\nMaxDisplayHeight=200\n", 320, 200},
  };
  for (const Case& c : cases) {
    test::WriteFile(IniFileName(), c.ini);
    const TDisplaySize size = ReadMaxDisplaySize();
    EXPECT_EQ(size.Width, c.width) << c.ini;
    EXPECT_EQ(size.Height, c.height) << c.ini;
  }
}

TEST_F(SettingsTest, YesNoValuesAcceptSixWordsAndOtherwiseTheDefault) {
  test::WriteFile(IniFileName(), "[A]\nK1=y\nK2=maybe\nK3=NO\nK4=1\nK5=0\n");
  EXPECT_TRUE(GetIniBool("A", "K1", false));
  EXPECT_TRUE(GetIniBool("A", "K2", true));
  EXPECT_FALSE(GetIniBool("A", "K2", false));
  EXPECT_FALSE(GetIniBool("A", "K3", true));
  EXPECT_TRUE(GetIniBool("A", "K4", false));
  EXPECT_FALSE(GetIniBool("A", "K5", true));
  ASSERT_TRUE(WriteIniBool("A", "K6", true).ok());
  EXPECT_EQ(GetIniString("A", "K6"), "Yes");
}

TEST_F(SettingsTest, EmptyInlineDirectoryNameBecomesInlineAndIsWrittenBack) {
  test::WriteFile(IniFileName(), "[Files]\nInLineSubDirName=\n");
  EXPECT_EQ(GetInLineSubDirName(), "inline");
  EXPECT_EQ(GetIniString("Files", "InLineSubDirName"), "inline");

  test::TempDir other;
  test::ScopedLayoutHome useOther(other.path());
  test::WriteFile(IniFileName(), "[Files]\nInLineSubDirName=Small\n");
  EXPECT_EQ(GetInLineSubDirName(), "Small");
  test::WriteFile(IniFileName(), "[Files]\nInLineSubDirName=Changed\n");
  EXPECT_EQ(GetInLineSubDirName(), "Small") << "read once per settings file";
}

TEST_F(SettingsTest, FullNameIsAskedUntilGivenAndThenRemembered) {
  test::TScriptedUserInterface ui;
  ui.AnswerPrompt(std::nullopt);
  ui.AnswerPrompt(std::string());
  ui.AnswerPrompt(std::string("Ann Example"));
  EXPECT_EQ(RequireFullName(ui), "Ann Example");

  ASSERT_EQ(ui.prompts().size(), 3u);
  EXPECT_EQ(ui.prompts()[0].title, "Input");
  EXPECT_EQ(ui.prompts()[0].prompt, "Please enter your full name:");
  EXPECT_EQ(ui.prompts()[0].maxLength, 256);
  ASSERT_EQ(ui.messages().size(), 1u) << "only the cancel shows the note";
  EXPECT_EQ(ui.messages()[0].text, "Your Full Name is a required value.");
  EXPECT_EQ(ui.messages()[0].buttons, MessageButtons::Ok);

  EXPECT_EQ(GetIniString("HTMLDefaults", "PersonFullName"), "Ann Example");
  EXPECT_EQ(GetIniString("HTMLDefaults", "EMailAddress", "missing"), "");

  // A stored name asks nothing and keeps the stored address.
  ASSERT_TRUE(WriteIniString("HTMLDefaults", "EMailAddress", "ann@x.org").ok());
  EXPECT_EQ(RequireFullName(ui), "Ann Example");
  EXPECT_EQ(ui.prompts().size(), 3u);
  EXPECT_EQ(GetIniString("HTMLDefaults", "EMailAddress"), "ann@x.org");
}

TEST(StringTableTest, HoldsSettingsAndVariableNamesById) {
  EXPECT_EQ(StringTable.Count(), 200);
  EXPECT_EQ(StringTable[1], "HTMLDefaults");
  EXPECT_EQ(StringTable[30], "MatchPageSearchStrings");
  EXPECT_EQ(StringTable[60], "VariableFileTitle");
  EXPECT_EQ(StringTable[85], "ImageDescription");
  EXPECT_EQ(StringTable[86], "SearchDirectory");
  EXPECT_EQ(StringTable.Get(2), std::nullopt);
  EXPECT_EQ(StringTable.Get(500), std::nullopt);

  TStringTable small;
  small.Load(20);
  EXPECT_EQ(small.Get(19), "DeleteHTMLFirst");
  EXPECT_EQ(small.Get(21), std::nullopt);
}

}  // namespace
}  // namespace pix
