// Sample layouts: which files are listed, what is read of them, and the copy over the
// layout home's globals.txt.
#include "layout/samples.h"

#include <gtest/gtest.h>

#include "files/layouthome.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;

std::string Sample(const std::string& title, const std::string& description) {
  return "VariableFileTitle:\r\n" + title + "\r\n\r\nVariableFileDescription:\r\n" + description +
         "\r\n\r\nPageTitle:\r\n" + title + " page\r\n\r\n";
}

class SamplesTest : public testing::Test {
 protected:
  SamplesTest() : shipped_(temp_ / "shipped"), home_(temp_ / "home") {
    fs::create_directories(shipped_);
    fs::create_directories(home_);
  }
  static std::vector<std::string> Titles(const std::vector<SampleItem>& samples) {
    std::vector<std::string> titles;
    for (const SampleItem& sample : samples) titles.push_back(sample.title);
    return titles;
  }

  TempDir temp_;
  fs::path shipped_;
  fs::path home_;
  ScriptedUserInterface ui_;
};

TEST_F(SamplesTest, OnlySampNumberedTextFilesAreListedAndTheHomesOverrideShippedOnes) {
  WriteFile(shipped_ / "samp0002.txt", Sample("Second", "two"));
  WriteFile(shipped_ / "samp0001.txt", Sample("First", "one"));
  for (const char* name : {"samp01.txt", "sample.txt", "samp0001.bak", "sampabcd.txt"}) {
    WriteFile(shipped_ / name, Sample("Wrong", "no"));
  }
  fs::create_directories(shipped_ / "samp0009.txt");  // A directory is no sample.
  const std::vector<SampleItem> samples = ListSampleLayouts({shipped_});
  EXPECT_EQ(Titles(samples), (std::vector<std::string>{"First", "Second"}));
  EXPECT_EQ(samples[0].list_index, 0);
  EXPECT_EQ(samples[1].list_index, 1);
  EXPECT_EQ(samples[1].description, "two");
  EXPECT_EQ(samples[1].file_name, shipped_ / "samp0002.txt");
  EXPECT_EQ(samples[1].vars->GetVarValue("PageTitle"), "Second page");
  // The layout home's samples join the shipped ones and override those of their name.
  WriteFile(shipped_ / "samp0001.txt", Sample("Shipped one", ""));
  WriteFile(shipped_ / "samp0003.txt", Sample("Shipped three", ""));
  WriteFile(home_ / "samp0001.txt", Sample("My one", ""));
  WriteFile(home_ / "samp0002.txt", Sample("My two", ""));
  EXPECT_EQ(Titles(ListSampleLayouts({shipped_, home_})),
            (std::vector<std::string>{"My one", "My two", "Shipped three"}));
  // A folder that does not exist adds nothing.
  EXPECT_EQ(ListSampleLayouts({temp_ / "none"}).size(), 0u);
}

TEST_F(SamplesTest, TheProgramsSamplesComeFromTheShippedDataAndTheHome) {
  WriteFile(home_ / "samp9999.txt", Sample("Mine", "kept at home"));
  const std::vector<SampleItem> samples = ListSampleLayouts(SampleDirectories(home_));
  ASSERT_GE(samples.size(), 2u);
  EXPECT_EQ(samples.back().title, "Mine");
  for (const SampleItem& sample : samples) EXPECT_FALSE(sample.title.empty());
}

TEST_F(SamplesTest, OnlyTheFirst16384BytesAreRead) {
  std::string text = "VariableFileTitle:\r\nBig\r\n\r\nPageIntro:\r\n";
  text += std::string(kSampleReadLimit, 'x') + "\r\n\r\nLateVariable:\r\nlate\r\n\r\n";
  WriteFile(shipped_ / "samp0001.txt", text);
  const SampleItem sample = ReadSampleItem(shipped_ / "samp0001.txt");
  EXPECT_EQ(sample.title, "Big");
  EXPECT_EQ(sample.description, "");
  EXPECT_EQ(sample.vars->FindVar("LateVariable"), nullptr);
  EXPECT_EQ(sample.vars->GetVarValue("PageIntro").size(),
            kSampleReadLimit - (text.find("PageIntro:\r\n") + 12));
}

TEST_F(SamplesTest, OkWithoutHighlightClosesAndCancelledConfirmationStaysOpen) {
  WriteFile(shipped_ / "samp0001.txt", Sample("First", "one"));
  WriteFile(home_ / "globals.txt", "PageTitle:\r\nMine\r\n\r\n");
  SampleLayouts dialog({shipped_}, home_ / "globals.txt");
  EXPECT_EQ(dialog.PressOk(ui_), SampleLayouts::OkOutcome::kClosedUnchanged);
  EXPECT_TRUE(ui_.messages().empty());

  EXPECT_EQ(dialog.Highlight(0), "one");
  ui_.AnswerMessage(MessageAnswer::kCancel);
  EXPECT_EQ(dialog.PressOk(ui_), SampleLayouts::OkOutcome::kStayOpen);
  EXPECT_EQ(ui_.messages()[0].text,
            "Replace current layout with selection\n\nThe current globals.txt is kept as "
            "globals.txt.~1~ beside it.");
  EXPECT_EQ(ui_.messages()[0].title, "Confirm");
  EXPECT_EQ(ReadFile(home_ / "globals.txt"), "PageTitle:\r\nMine\r\n\r\n");
  EXPECT_FALSE(fs::exists(home_ / "globals.txt.~1~"));

  EXPECT_EQ(dialog.Highlight(-1), "");
  EXPECT_EQ(dialog.SelectedSample(), nullptr);
}

TEST_F(SamplesTest, ConfirmedCopyReplacesGlobalsWithCrLfLineEnds) {
  // A sample saved with Unix line ends, longer than what the list reads.
  std::string text = "VariableFileTitle:\nUnix\n\nPageIntro:\n" + std::string(20000, 'y') +
                     "\n\nPageEndTemplate:\nend\r\nline\n\n";
  WriteFile(shipped_ / "samp0001.txt", text);
  WriteFile(home_ / "globals.txt", "old");
  SampleLayouts dialog({shipped_}, home_ / "globals.txt");
  dialog.Highlight(0);
  ui_.AnswerMessage(MessageAnswer::kOk);
  EXPECT_EQ(dialog.PressOk(ui_), SampleLayouts::OkOutcome::kCopied);
  const std::string copied = ReadFile(home_ / "globals.txt");
  EXPECT_EQ(copied, WithCrLfLineEnds(text));
  EXPECT_EQ(copied.find("\r\r"), std::string::npos);
  EXPECT_NE(copied.find("PageEndTemplate:\r\nend\r\nline\r\n\r\n"), std::string::npos);
}

TEST_F(SamplesTest, FailedCopyIsReportedAndLeavesGlobalsAlone) {
  WriteFile(shipped_ / "samp0001.txt", Sample("First", "one"));
  WriteFile(home_ / "globals.txt", "PageTitle:\r\nMine\r\n\r\n");
  SampleLayouts dialog({shipped_}, home_ / "globals.txt");
  dialog.Highlight(0);
  fs::remove(shipped_ / "samp0001.txt");  // Gone since the list was read.
  ui_.AnswerMessage(MessageAnswer::kOk);
  EXPECT_EQ(dialog.PressOk(ui_), SampleLayouts::OkOutcome::kStayOpen);
  EXPECT_EQ(ui_.messages().back().title, "Error");
  EXPECT_EQ(ReadFile(home_ / "globals.txt"), "PageTitle:\r\nMine\r\n\r\n");
  EXPECT_FALSE(fs::exists(home_ / "globals.txt.~1~"));
}

TEST_F(SamplesTest, EveryCopyKeepsTheLayoutItReplacesAsTheNextNumberedBackup) {
  WriteFile(shipped_ / "samp0001.txt", Sample("First", "one"));
  WriteFile(shipped_ / "samp0002.txt", Sample("Second", "two"));
  WriteFile(home_ / "globals.txt", "PageTitle:\r\nMine\r\n\r\n");
  WriteFile(home_ / "globals.txt.~1~", "an older backup");
  SampleLayouts dialog({shipped_}, home_ / "globals.txt");
  dialog.Highlight(0);
  ui_.AnswerMessage(MessageAnswer::kOk);
  ASSERT_EQ(dialog.PressOk(ui_), SampleLayouts::OkOutcome::kCopied);
  EXPECT_NE(ui_.messages().back().text.find("kept as globals.txt.~2~"), std::string::npos);
  dialog.Highlight(1);
  ui_.AnswerMessage(MessageAnswer::kOk);
  ASSERT_EQ(dialog.PressOk(ui_), SampleLayouts::OkOutcome::kCopied);
  EXPECT_EQ(ReadFile(home_ / "globals.txt.~1~"), "an older backup");
  EXPECT_EQ(ReadFile(home_ / "globals.txt.~2~"), "PageTitle:\r\nMine\r\n\r\n");
  EXPECT_EQ(ReadFile(home_ / "globals.txt.~3~"), Sample("First", "one"));
  EXPECT_EQ(ReadFile(home_ / "globals.txt"), Sample("Second", "two"));

  // Without a layout there is nothing to keep, and the question says nothing of a backup.
  fs::remove(home_ / "globals.txt");
  ui_.AnswerMessage(MessageAnswer::kOk);
  ASSERT_EQ(dialog.PressOk(ui_), SampleLayouts::OkOutcome::kCopied);
  EXPECT_EQ(ui_.messages().back().text, "Replace current layout with selection");
  EXPECT_FALSE(fs::exists(home_ / "globals.txt.~4~"));
}

}  // namespace
}  // namespace pix::test
