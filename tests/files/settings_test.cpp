#include "files/settings.h"

#include <gtest/gtest.h>

#include "base/diagnostics.h"
#include "files/names.h"
#include "files/profile.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

class SettingsTest : public testing::Test {
 protected:
  test::TempDir home_;
  SettingsFile settings_{home_.path()};
};

TEST_F(SettingsTest, AbsentFileGivesTheDocumentedDefaults) {
  EXPECT_FALSE(settings_.GetBool("AutoOrganizeLayout", "DoAutoOrganize", false));
  EXPECT_EQ(settings_.GetString("FileExtensions", "AnchorFileExtList", "jpg", 20), "jpg");
  CollectedDiagnostics diagnostics;
  const RunSettings run = ReadRunSettings(home_.path(), diagnostics);
  EXPECT_FALSE(run.do_auto_organize);
  EXPECT_FALSE(run.delete_html_first);
  EXPECT_EQ(run.min_match_per_page, 3);
  EXPECT_EQ(run.pictures_per_group, 1);
  EXPECT_EQ(run.anchor_file_ext_list, "jpg");
  EXPECT_EQ(run.names.in_line_file_ext, "gif");
  EXPECT_EQ(run.names.page_dos_file_ext, "html");
  EXPECT_EQ(run.names.in_line_sub_dir_name, "inline");
  EXPECT_EQ(run.max_display.width, 100);
  EXPECT_EQ(run.max_display.height, 100);
  EXPECT_EQ(run.in_line_quality, 82);
  EXPECT_EQ(run.in_line_pixel_density, 1);
  EXPECT_EQ(run.detail_image_max_size, 0);
  EXPECT_EQ(run.page_language, "en");
  EXPECT_EQ(diagnostics.ProblemCount(), 0);
}

TEST_F(SettingsTest, PhotographersSettingsAreReadAndOddValuesReplacedWithOneLineEach) {
  test::WriteFile(home_ / "pixamond.ini",
                  "[FileExtensions]\nInLineFileExt=webp\n[Display]\nInLineQuality=90\n"
                  "InLinePixelDensity=2\nDetailImageMaxSize=1600\nInLinePalette=mediancut\n"
                  "[HTMLDefaults]\nPageLanguage=de-CH\n");
  CollectedDiagnostics diagnostics;
  RunSettings run = ReadRunSettings(home_.path(), diagnostics);
  EXPECT_EQ(run.names.in_line_file_ext, "webp");
  EXPECT_EQ(run.in_line_quality, 90);
  EXPECT_EQ(run.in_line_pixel_density, 2);
  EXPECT_EQ(run.detail_image_max_size, 1600);
  EXPECT_EQ(run.page_language, "de-CH");
  EXPECT_EQ(run.in_line_palette, InlinePalette::kMedianCut);
  EXPECT_EQ(diagnostics.ProblemCount(), 0);

  test::WriteFile(home_ / "pixamond.ini",
                  "[FileExtensions]\nInLineFileExt=jpg\n[Display]\nInLineQuality=0\n"
                  "InLinePixelDensity=3\nDetailImageMaxSize=99999\nInLinePalette=Octree\n"
                  "[HTMLDefaults]\nPageLanguage=en\" onload=\"x\n");
  run = ReadRunSettings(home_.path(), diagnostics);
  EXPECT_EQ(run.names.in_line_file_ext, "jpg");
  EXPECT_EQ(run.in_line_quality, 82);
  EXPECT_EQ(run.in_line_pixel_density, 1);
  EXPECT_EQ(run.detail_image_max_size, kMaxDetailImageSide);
  EXPECT_EQ(run.page_language, "en") << "a language that could break out of its attribute";
  const std::vector<std::string>& problems = diagnostics.Problems();
  EXPECT_EQ(run.in_line_palette, InlinePalette::kDither);
  ASSERT_EQ(problems.size(), 5u);
  EXPECT_EQ(problems[0], "InLineQuality=0 is not between 1 and 100; 82 is used instead");
  EXPECT_EQ(problems[1], "InLinePixelDensity=3 is not between 1 and 2; 1 is used instead");
  EXPECT_EQ(problems[2],
            "DetailImageMaxSize=99999 is not between 0 and 8192; 8192 is used instead");
  EXPECT_EQ(problems[3],
            "InLinePalette \"Octree\" is not Dither or MedianCut; \"Dither\" is used instead");
  EXPECT_EQ(problems[4],
            "PageLanguage \"en\" onload=\"x\" is not a language tag such as \"en\" or "
            "\"de-CH\"; \"en\" is used instead");
}

TEST_F(SettingsTest, DisplaySizeRuleUnboundsTheMissingSide) {
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
    test::WriteFile(settings_.path(), c.ini);
    CollectedDiagnostics diagnostics;
    const DisplaySize size = ReadRunSettings(home_.path(), diagnostics).max_display;
    EXPECT_EQ(size.width, c.width) << c.ini;
    EXPECT_EQ(size.height, c.height) << c.ini;
  }
}

TEST_F(SettingsTest, YesNoValuesAcceptSixWordsAndOtherwiseTheDefault) {
  test::WriteFile(settings_.path(), "[A]\nK1=y\nK2=maybe\nK3=NO\nK4=1\nK5=0\n");
  EXPECT_TRUE(settings_.GetBool("A", "K1", false));
  EXPECT_TRUE(settings_.GetBool("A", "K2", true));
  EXPECT_FALSE(settings_.GetBool("A", "K2", false));
  EXPECT_FALSE(settings_.GetBool("A", "K3", true));
  EXPECT_TRUE(settings_.GetBool("A", "K4", false));
  EXPECT_FALSE(settings_.GetBool("A", "K5", true));
  ASSERT_TRUE(settings_.WriteBool("A", "K6", true).ok());
  EXPECT_EQ(settings_.GetString("A", "K6"), "Yes");
}

TEST_F(SettingsTest, RunSettingsComeFromTheLayoutHomeTheyAreGiven) {
  // The process-wide layout home is another folder: the run must not read it.
  test::WriteFile(settings_.path(), "[Files]\nInLineSubDirName=Elsewhere\n");
  test::TempDir run_home;
  test::WriteFile(run_home / "pixamond.ini",
                  "[Files]\nInLineSubDirName=\n[FileExtensions]\nInLineFileExt=png\n"
                  "[AutoOrganizeLayout]\nPicturesPerGroup=-4\nDoAutoOrganize=Y\n");
  CollectedDiagnostics diagnostics;
  const RunSettings run = ReadRunSettings(run_home.path(), diagnostics);
  EXPECT_EQ(run.names.in_line_sub_dir_name, "inline");
  EXPECT_EQ(GetProfileText("Files", "InLineSubDirName", "", 256, run_home / "pixamond.ini"),
            "inline")
      << "an empty name is written back";
  EXPECT_EQ(run.names.in_line_file_ext, "gif");
  EXPECT_EQ(run.pictures_per_group, 1);
  EXPECT_TRUE(run.do_auto_organize);
  ASSERT_EQ(diagnostics.Problems().size(), 1u);
  EXPECT_NE(diagnostics.Problems()[0].find("InLineFileExt \"png\""), std::string::npos);
}

TEST_F(SettingsTest, NamesThatWouldLeadOutsideTheSiteOrOverPicturesAreRefused) {
  struct Case {
    const char* ini;
    const char* key;
  } cases[] = {
      {"[FileExtensions]\nPageDOSFileExt=jpg\n", "PageDOSFileExt"},
      {"[FileExtensions]\nPageDOSFileExt=JPG\n", "PageDOSFileExt"},
      {"[FileExtensions]\nPageDOSFileExt=gif\n", "PageDOSFileExt"},
      {"[FileExtensions]\nPageDOSFileExt=txt\n", "PageDOSFileExt"},
      {"[FileExtensions]\nPageDOSFileExt=jpeg\n", "PageDOSFileExt"},
      {"[FileExtensions]\nPageDOSFileExt=../x\n", "PageDOSFileExt"},
      {"[FileExtensions]\nPageHTMLFileExt=a/b\n", "PageHTMLFileExt"},
      {"[Files]\nInLineSubDirName=.\n", "InLineSubDirName"},
      {"[Files]\nInLineSubDirName=..\n", "InLineSubDirName"},
      {"[Files]\nInLineSubDirName=../../x\n", "InLineSubDirName"},
      {"[Display]\nMaxDisplayWidth=65535\n", "MaxDisplayWidth"},
  };
  for (const Case& c : cases) {
    test::WriteFile(settings_.path(), c.ini);
    CollectedDiagnostics diagnostics;
    const RunSettings run = ReadRunSettings(home_.path(), diagnostics);
    ASSERT_EQ(diagnostics.Problems().size(), 1u) << c.ini;
    EXPECT_EQ(diagnostics.Problems()[0].rfind(c.key, 0), 0u) << diagnostics.Problems()[0];
    EXPECT_EQ(run.names.page_dos_file_ext, "html") << c.ini;
    EXPECT_EQ(run.names.page_html_file_ext, "html") << c.ini;
    EXPECT_EQ(run.names.in_line_sub_dir_name, "inline") << c.ini;
    EXPECT_LE(run.max_display.width, kMaxDisplaySide) << c.ini;
  }
  test::WriteFile(settings_.path(), "[FileExtensions]\nPageDOSFileExt=htm\n[Files]\n"
                                 "InLineSubDirName=Thumbs\n[Display]\nMaxDisplayWidth=4096\n");
  CollectedDiagnostics diagnostics;
  const RunSettings run = ReadRunSettings(home_.path(), diagnostics);
  EXPECT_EQ(diagnostics.ProblemCount(), 0) << diagnostics.ProblemText();
  EXPECT_EQ(run.names.page_dos_file_ext, "htm");
  EXPECT_EQ(run.names.in_line_sub_dir_name, "Thumbs");
  EXPECT_EQ(run.max_display.width, 4096);
}

TEST_F(SettingsTest, FullNamePromptRepeatsUntilANameIsGiven) {
  test::ScriptedUserInterface ui;
  ui.AnswerPrompt(std::nullopt);
  ui.AnswerPrompt(std::string());
  ui.AnswerPrompt(std::string("Ann Example"));
  CollectedDiagnostics diagnostics;
  RunSettings run = ReadRunSettings(home_.path(), diagnostics);
  RequireFullName(run, ui, diagnostics);
  EXPECT_EQ(run.person_full_name, "Ann Example");

  ASSERT_EQ(ui.prompts().size(), 3u);
  EXPECT_EQ(ui.prompts()[0].title, "Input");
  EXPECT_EQ(ui.prompts()[0].prompt, "Please enter your full name:");
  EXPECT_EQ(ui.prompts()[0].max_length, 256);
  ASSERT_EQ(ui.messages().size(), 1u) << "only the cancel shows the note";
  EXPECT_EQ(ui.messages()[0].text, "Your Full Name is a required value.");
  EXPECT_EQ(ui.messages()[0].buttons, MessageButtons::kOk);

  EXPECT_EQ(settings_.GetString("HTMLDefaults", "PersonFullName"), "Ann Example");
}

TEST_F(SettingsTest, StoredFullNameAsksNothingAndWritesNothing) {
  test::WriteFile(settings_.path(), "[HTMLDefaults]\nPersonFullName=Bo\nEMailAddress=bo@x.org\n");
  const auto before = std::filesystem::last_write_time(settings_.path());
  test::ScriptedUserInterface ui;
  CollectedDiagnostics diagnostics;
  RunSettings run = ReadRunSettings(home_.path(), diagnostics);
  RequireFullName(run, ui, diagnostics);
  EXPECT_EQ(run.person_full_name, "Bo");
  EXPECT_EQ(run.e_mail_address, "bo@x.org");
  EXPECT_TRUE(ui.prompts().empty());
  EXPECT_EQ(test::ReadFile(settings_.path()),
            "[HTMLDefaults]\nPersonFullName=Bo\nEMailAddress=bo@x.org\n");
  EXPECT_EQ(std::filesystem::last_write_time(settings_.path()), before);
}

}  // namespace
}  // namespace pix
