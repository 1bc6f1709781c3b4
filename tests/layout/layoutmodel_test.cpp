// The layout window's commands without the window: selection, save, delete, undo, rename,
// the site directory and the rebuilds, on real layout homes and site trees.
#include "layout/layoutmodel.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/progress.h"
#include "layout/layout_fixture.h"
#include "layout/pictureitem.h"
#include "support/picture_builder.h"
#include "support/recording_trash.h"

#include <sys/stat.h>

namespace pix::test {
namespace {

namespace fs = std::filesystem;

// A file's inode: a rewritten picture gets a new one.
ino_t InodeOf(const fs::path& path) { return StatOf(path).st_ino; }

class LayoutModelTest : public LayoutTest {
 protected:
  LayoutModelTest() {
    WriteFile(site_ / "trip" / "a.jpg", MakeJpeg(SampleArt(), {}));
    WriteFile(site_ / "trip" / "index.txt", "PageTitle:\r\nTrip\r\n\r\n");
    WriteFile(site_ / "b.jpg", MakeJpeg(SampleArt(), {}));
    WriteSetting("Files", "SearchDirectory", Site());
  }

  static std::vector<std::string> Labels(const LayoutModel& model) {
    std::vector<std::string> labels;
    for (const ConfigItem* item : model.ListedItems()) labels.push_back(item->Label());
    return labels;
  }
};

TEST_F(LayoutModelTest, ListShowsTheTreeInOrderWithRowNumbers) {
  LayoutModel model(ui_, home_);
  const std::vector<std::string> labels = Labels(model);
  ASSERT_GE(labels.size(), 4u);
  EXPECT_EQ(labels[0], "My Web Site");
  EXPECT_EQ(labels[1], "Default Page");
  EXPECT_EQ(labels[2], "Page Start");
  EXPECT_EQ(std::vector<std::string>(labels.end() - 4, labels.end()),
            (std::vector<std::string>{Site(), "b.jpg", "trip", "a.jpg"}));
  for (std::size_t row = 0; row < model.ListedItems().size(); ++row) {
    EXPECT_EQ(model.ListedItems()[row]->list_box_id, static_cast<int>(row));
  }
  EXPECT_EQ(model.SelectedItem(), nullptr);
}

TEST_F(LayoutModelTest, SelectionTakesEditsOnceAndShowsThePreview) {
  LayoutModel model(ui_, home_);
  RecordingPreview preview;
  model.SetPreviewTarget(&preview);
  model.Select(RowOf(model, "trip"));
  model.Inspector().EditValue(0, "Holiday");
  model.Select(RowOf(model, "trip"));  // The same row again: nothing happens.
  EXPECT_EQ(model.Inspector().Field(0).Value(), "Holiday");
  model.Select(RowOf(model, "a.jpg"));
  // Every selection empties the preview first; only a picture shows something in it.
  EXPECT_EQ(preview.shown,
            (std::vector<std::string>{"<clear>", "<clear>", Site() + "/trip/inline/a.gif"}));
  ConfigItem* trip = model.ListedItems()[static_cast<std::size_t>(RowOf(model, "trip"))];
  EXPECT_EQ(trip->GetVarValue("PageTitle"), "Holiday");
  EXPECT_TRUE(trip->ModifiedFlag());
  EXPECT_FALSE(model.SelectedItem()->ModifiedFlag());

  model.SaveLayout();
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nHoliday\r\n\r\n");
  // A page after a picture: the picture does not stay in the preview.
  model.Select(RowOf(model, "Default Page"));
  EXPECT_EQ(preview.shown.back(), "<clear>");
}

TEST_F(LayoutModelTest, OnlyPicturesCanBeOpened) {
  LayoutModel model(ui_, home_);
  EXPECT_FALSE(model.CanOpenSelected());
  model.Select(RowOf(model, "trip"));
  EXPECT_FALSE(model.CanOpenSelected());
  model.Select(RowOf(model, "b.jpg"));
  EXPECT_TRUE(model.CanOpenSelected());
}

TEST_F(LayoutModelTest, DeleteOnlyWhatMayBeDeleted) {
  LayoutModel model(ui_, home_);
  model.Delete();  // Nothing selected: nothing happens.
  EXPECT_TRUE(ui_.messages().empty());
  for (const char* label : {"Default Page", "General Settings", "User"}) {
    model.Select(RowOf(model, label));
    model.Delete();
    EXPECT_EQ(ui_.messages().back().text, "It is not possible to delete this item.");
    EXPECT_EQ(ui_.messages().back().title, "Error");
  }
  model.Select(RowOf(model, "trip"));
  model.Delete();
  EXPECT_TRUE(model.SelectedItem()->Child(0)->IsCrossedOut());
  model.Undo();
  EXPECT_FALSE(model.RootItem()->HasCrossedOut());
}

TEST_F(LayoutModelTest, SaveWithCancelledConfirmationDeletesNothingButSavesEdits) {
  LayoutModel model(ui_, home_);
  model.Select(RowOf(model, "a.jpg"));
  model.Inspector().EditValue(2, "Beach");  // ImageDescription
  model.Select(RowOf(model, "trip"));
  model.Delete();
  ui_.AnswerMessage(MessageAnswer::kCancel);
  model.Save();
  EXPECT_EQ(ui_.messages().back().title, "Confirm");
  EXPECT_FALSE(model.RootItem()->HasCrossedOut());
  EXPECT_TRUE(fs::exists(site_ / "trip" / "a.jpg"));
  ConfigItem parent("p");
  TreeBuildContext context;
  auto* reread =
      parent.AddChild<PictureItem>("a.jpg", (site_ / "trip" / "a.jpg").string(), context);
  EXPECT_EQ(reread->GetVarValue("ImageDescription"), "Beach");

  // Confirmed: the directory's files go, and so do their rows and the selection; nothing
  // is left to ask about.
  model.Delete();
  ui_.AnswerMessage(MessageAnswer::kOk);
  model.Save();
  EXPECT_FALSE(fs::exists(site_ / "trip" / "a.jpg"));
  const std::vector<std::string> labels = Labels(model);
  EXPECT_EQ(std::count(labels.begin(), labels.end(), "a.jpg"), 0);
  EXPECT_EQ(model.SelectedItem(), nullptr);
  EXPECT_FALSE(model.RootItem()->HasCrossedOut());
  model.RefreshLayout();
  EXPECT_EQ(Labels(model).back(), "b.jpg");
}

TEST_F(LayoutModelTest, SaveLayoutAnsweredNoKeepsFilesAndSavesEdits) {
  LayoutModel model(ui_, home_);
  model.Select(RowOf(model, "b.jpg"));
  model.Delete();
  model.Select(RowOf(model, "Directory Index Pages"));
  model.Inspector().EditName(0, "PageTitle");
  model.Inspector().EditValue(0, "All albums");
  ui_.AnswerMessage(MessageAnswer::kNo);
  model.SaveLayout();
  // Without a trash the question says that the deletion is for good.
  EXPECT_EQ(ui_.messages().back().text, "Permanently delete crossed-out items: 1 file of " +
                                            FormatFileSize(fs::file_size(site_ / "b.jpg")) +
                                            ". There is no Trash to take them back from.");
  EXPECT_TRUE(fs::exists(site_ / "b.jpg"));
  EXPECT_EQ(ReadFile(home_ / "dglobals.txt"), "PageTitle:\r\nAll albums\r\n\r\n");
}

TEST_F(LayoutModelTest, RenameAsksAndRelabels) {
  LayoutModel model(ui_, home_);
  model.Select(RowOf(model, "Default Page"));
  EXPECT_FALSE(model.Rename());  // Cannot be renamed: not even asked.
  EXPECT_TRUE(ui_.prompts().empty());

  model.Select(RowOf(model, "b.jpg"));
  ui_.AnswerPrompt("Sunset");
  ASSERT_TRUE(model.Rename());
  EXPECT_EQ(ui_.prompts().back().title, "File Rename");
  EXPECT_EQ(ui_.prompts().back().prompt, "Please enter new name of file:");
  EXPECT_EQ(ui_.prompts().back().initial, "b.jpg");
  EXPECT_EQ(model.SelectedItem()->Label(), "Sunset.jpg");
  EXPECT_TRUE(fs::exists(site_ / "Sunset.jpg"));

  ui_.AnswerPrompt(std::nullopt);
  EXPECT_FALSE(model.Rename());
  EXPECT_EQ(model.SelectedItem()->Label(), "Sunset.jpg");

  // The site directory itself: the remembered site follows.
  model.Select(RowOf(model, Site()));
  ui_.AnswerPrompt("album");
  ASSERT_TRUE(model.Rename());
  const std::string moved = (temp_.path() / "album").string();
  EXPECT_EQ(model.SelectedItem()->Label(), moved);
  EXPECT_EQ(model.SiteDir(), moved);
  model.RefreshLayout();
  EXPECT_EQ(model.RootItem()->root_dir_item->Label(), moved);
}

TEST_F(LayoutModelTest, SelectDirectoryChecksAndRebuilds) {
  LayoutModel model(ui_, home_);
  RecordingPreview preview;
  model.SetPreviewTarget(&preview);
  model.Select(RowOf(model, "trip"));
  EXPECT_FALSE(model.SelectDirectory(Home() + "/globals.txt"));
  EXPECT_EQ(ui_.messages().back().text, "Select a directory that does not contain program.");
  EXPECT_EQ(model.SiteDir(), Site());
  EXPECT_NE(model.SelectedItem(), nullptr);

  ASSERT_TRUE(model.SelectDirectory(Site() + "/trip/a.jpg"));
  EXPECT_EQ(model.SiteDir(), Site() + "/trip");
  EXPECT_EQ(Setting("Files", "SearchDirectory"), Site() + "/trip");
  EXPECT_EQ(model.SelectedItem(), nullptr);
  EXPECT_EQ(model.RootItem()->root_dir_item->Label(), Site() + "/trip");
  EXPECT_EQ(preview.shown.back(), "<clear>");
  ASSERT_TRUE(model.SelectDirectory(Site()));  // A directory chooser's answer.
  EXPECT_EQ(model.SiteDir(), Site());
  EXPECT_EQ(model.TakeStatusText(), "Site directory: " + Site());
}

TEST_F(LayoutModelTest, SelectDirectorySavesEditsOnlyWhenTheNewDirectoryIsTaken) {
  fs::create_directories(temp_ / "other");
  LayoutModel model(ui_, home_);
  model.Select(RowOf(model, "trip"));
  model.Inspector().EditValue(0, "Holiday");
  EXPECT_FALSE(model.SelectDirectory((temp_ / "missing").string()));
  // Refused: nothing was written, and the edit is still in the inspector.
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nTrip\r\n\r\n");
  EXPECT_EQ(model.Inspector().Field(0).Value(), "Holiday");
  // Taken: the user is asked about the edits first; Cancel keeps the old site.
  ui_.AnswerMessage(MessageAnswer::kCancel);
  EXPECT_FALSE(model.SelectDirectory((temp_ / "other").string()));
  EXPECT_EQ(ui_.messages().back().buttons, MessageButtons::kSaveDiscardCancel);
  EXPECT_NE(ui_.messages().back().text.find("not saved"), std::string::npos);
  EXPECT_EQ(model.SiteDir(), Site());
  EXPECT_EQ(model.Inspector().Field(0).Value(), "Holiday");
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nTrip\r\n\r\n");
  ui_.AnswerMessage(MessageAnswer::kSave);
  ASSERT_TRUE(model.SelectDirectory((temp_ / "other").string()));
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nHoliday\r\n\r\n");
}

TEST_F(LayoutModelTest, AutoOrganizeCancelledChangesNothing) {
  LayoutModel model(ui_, home_);
  Progress progress;
  ui_.AnswerMessage(MessageAnswer::kCancel);
  EXPECT_EQ(model.AutoOrganize(progress), AutoOrganizeChoice::kAborted);
  EXPECT_EQ(ui_.messages()[0].title, "Auto Layout");
  EXPECT_EQ(ui_.messages()[1].text, "Auto-Organize aborted.");
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "<missing>");

  ui_.AnswerMessage(MessageAnswer::kNo);
  EXPECT_EQ(model.AutoOrganize(progress), AutoOrganizeChoice::kOrganizeOnly);
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "miscpics");
  EXPECT_EQ(model.RootItem()->match_pages_item->ChildCount(), 2);
  EXPECT_FALSE(fs::exists(site_ / "index.html"));
}

TEST_F(LayoutModelTest, GenerateSiteSavesRunsAndRebuilds) {
  WriteSetting("HTMLDefaults", "PersonFullName", "Ada");
  LayoutModel model(ui_, home_);
  model.Select(RowOf(model, "trip"));
  model.Inspector().EditValue(0, "Holiday");
  Progress progress;
  model.GenerateSite(progress);
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nHoliday\r\n\r\n");
  EXPECT_TRUE(fs::exists(site_ / "trip" / "inline" / "a.gif"));
  EXPECT_EQ(model.SelectedItem(), nullptr);
}

// Stops a run once `stopAfter` pictures are done, as the status window's Cancel does.
class StoppingProgress : public Progress {
 public:
  explicit StoppingProgress(int stop_after) : stop_after_(stop_after) {}
  bool CancelRequested() const override { return Position() >= stop_after_; }

 private:
  int stop_after_;
};

TEST_F(LayoutModelTest, StatusLineSaysWhatWasSavedAndHowARunEnded) {
  WriteSetting("HTMLDefaults", "PersonFullName", "Ada");
  LayoutModel model(ui_, home_);
  EXPECT_EQ(model.StatusText(), "");
  model.Select(RowOf(model, "trip"));
  model.Inspector().EditValue(0, "Holiday");
  model.Save();
  EXPECT_TRUE(model.StatusText().rfind("Saved \"trip\" at ", 0) == 0) << model.StatusText();
  EXPECT_NE(model.TakeStatusText(), "");
  EXPECT_EQ(model.StatusText(), "");  // Handed over once.
  model.SaveLayout();
  EXPECT_TRUE(model.TakeStatusText().rfind("Layout saved at ", 0) == 0);

  Progress whole;
  model.GenerateSite(whole);
  const std::string finished = model.TakeStatusText();
  EXPECT_TRUE(finished.rfind("Site generated at ", 0) == 0) << finished;
  EXPECT_NE(finished.find(": 2 pictures."), std::string::npos) << finished;

  StoppingProgress stopped(1);
  model.GenerateSite(stopped);
  const std::string cancelled = model.TakeStatusText();
  EXPECT_TRUE(cancelled.rfind("Generate Site cancelled at ", 0) == 0) << cancelled;
  EXPECT_NE(cancelled.find("after 1 of 2 pictures: the other 1 has no entry or detail page yet"),
            std::string::npos)
      << cancelled;

  EXPECT_EQ(LayoutModel::RunStatusText(true, 3, 10, 0, "14:05:32"),
            "Generate Site cancelled at 14:05:32 after 3 of 10 pictures: the other 7 have no "
            "entry or detail page yet, so the site is incomplete until the next Generate Site.");
  EXPECT_EQ(LayoutModel::RunStatusText(false, 1, 1, 2, "14:05:32"),
            "Site generated at 14:05:32: 1 picture, 2 problems reported.");
}

// ---- Saving once, closing, and the Trash ----------------------------------------------

TEST_F(LayoutModelTest, SavedEditsAreNotSavedAgainAndOnlyChangedCaptionsAreRewritten) {
  LayoutModel model(ui_, home_);
  model.Select(RowOf(model, "a.jpg"));
  model.Inspector().EditValue(2, "Beach");  // ImageDescription
  EXPECT_TRUE(model.HasUnsavedEdits());
  ASSERT_TRUE(model.SaveLayout());
  ConfigItem* a = model.SelectedItem();
  EXPECT_FALSE(a->ModifiedFlag());
  EXPECT_FALSE(model.HasUnsavedEdits());
  const ino_t a_after_first_save = InodeOf(site_ / "trip" / "a.jpg");

  // Another picture edited: only that one is written, however often the layout is saved.
  const ino_t before = InodeOf(site_ / "b.jpg");
  model.Select(RowOf(model, "b.jpg"));
  model.Inspector().EditValue(0, "Sunset");
  ASSERT_TRUE(model.SaveLayout());
  ASSERT_TRUE(model.SaveLayout());
  EXPECT_EQ(InodeOf(site_ / "trip" / "a.jpg"), a_after_first_save);
  EXPECT_NE(InodeOf(site_ / "b.jpg"), before);

  // An edit that gives back the caption the picture holds writes nothing.
  const ino_t saved = InodeOf(site_ / "b.jpg");
  model.Inspector().EditValue(0, "Sunset");
  ASSERT_TRUE(model.SaveLayout());
  EXPECT_EQ(InodeOf(site_ / "b.jpg"), saved);
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(LayoutModelTest, ClosingAsksOnlyAboutUnsavedEditsAndFollowsTheAnswer) {
  LayoutModel model(ui_, home_);
  EXPECT_TRUE(model.QueryClose());  // Nothing edited: nothing asked.
  EXPECT_TRUE(ui_.messages().empty());

  // An edit still in the inspector counts too.
  model.Select(RowOf(model, "trip"));
  model.Inspector().EditValue(0, "Holiday");
  ui_.AnswerMessage(MessageAnswer::kCancel);
  EXPECT_FALSE(model.QueryClose());
  EXPECT_EQ(ui_.messages().back().text,
            "The layout has changes that are not saved. Save them before closing?");
  EXPECT_EQ(ui_.messages().back().title, "Question");
  EXPECT_EQ(ui_.messages().back().buttons, MessageButtons::kSaveDiscardCancel);
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nTrip\r\n\r\n");

  ui_.AnswerMessage(MessageAnswer::kDiscard);
  EXPECT_TRUE(model.QueryClose());
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nTrip\r\n\r\n");

  ui_.AnswerMessage(MessageAnswer::kSave);
  EXPECT_TRUE(model.QueryClose());
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nHoliday\r\n\r\n");
  EXPECT_TRUE(model.QueryClose());  // Saved: closing asks nothing more.

  // A save that fails keeps the window open, so that the edit is not lost.
  model.Select(RowOf(model, "b.jpg"));
  model.Inspector().EditValue(0, "Sunset");
  ASSERT_EQ(::chmod((site_ / "b.jpg").c_str(), 0444), 0);
  ui_.AnswerMessage(MessageAnswer::kSave);
  const std::size_t before = ui_.messages().size();
  EXPECT_FALSE(model.QueryClose());
  ASSERT_EQ(ui_.messages().size(), before + 2);
  EXPECT_EQ(ui_.messages().back().title, "Error");
  EXPECT_NE(ui_.messages().back().text.find("is read-only; it is left as it is"),
            std::string::npos);
  EXPECT_TRUE(model.HasUnsavedEdits());
}

TEST_F(LayoutModelTest, CrossedOutFilesGoToTheTrashAndTheQuestionSaysHowMuch) {
  WriteFile(site_ / "trip" / "a.cr2", std::string(3000, 'r'));  // A RAW file beside.
  LayoutModel model(ui_, home_);
  fs::create_directories(temp_ / "trash");
  RecordingTrash trash(temp_ / "trash");
  model.SetTrash(&trash);
  model.Select(RowOf(model, "trip"));
  model.Delete();
  const DeletionSummary summary = model.SummarizeDeletions(*model.RootItem());
  EXPECT_EQ(summary.file_count, 3);
  EXPECT_TRUE(summary.to_trash);
  const std::uintmax_t bytes = fs::file_size(site_ / "trip" / "a.jpg") +
                               fs::file_size(site_ / "trip" / "a.cr2") +
                               fs::file_size(site_ / "trip" / "index.txt");
  EXPECT_EQ(summary.bytes, bytes);
  ui_.AnswerMessage(MessageAnswer::kYes);
  ASSERT_TRUE(model.SaveLayout());
  EXPECT_EQ(ui_.messages().back().text, "Delete crossed-out items: 3 files of " +
                                            FormatFileSize(bytes) +
                                            " will be moved to the Trash.");
  EXPECT_EQ(trash.moved.size(), 3u);
  EXPECT_TRUE(fs::exists(temp_ / "trash" / "a.jpg"));
  EXPECT_TRUE(fs::exists(temp_ / "trash" / "a.cr2"));
  EXPECT_FALSE(fs::exists(site_ / "trip"));
  EXPECT_FALSE(model.HasUnsavedEdits());

  // A file the trash will not take stays where it is, and the save says so.
  model.RefreshLayout();
  trash.refused = (site_ / "b.jpg").string();
  model.Select(RowOf(model, "b.jpg"));
  model.Delete();
  ui_.AnswerMessage(MessageAnswer::kOk);
  model.Save();
  EXPECT_EQ(ui_.messages()[ui_.messages().size() - 2].title, "Confirm");
  EXPECT_EQ(ui_.messages()[ui_.messages().size() - 2].text,
            "Crossed out item(s) will be deleted: 1 file of " +
                FormatFileSize(fs::file_size(site_ / "b.jpg")) + " will be moved to the Trash.");
  EXPECT_EQ(ui_.messages().back().title, "Error");
  EXPECT_TRUE(fs::exists(site_ / "b.jpg"));
  EXPECT_TRUE(model.HasUnsavedEdits());

  // Where there is no trash, the question says that the deletion is for good.
  trash.available = false;
  ui_.AnswerMessage(MessageAnswer::kOk);
  model.Save();
  EXPECT_EQ(ui_.messages().back().text,
            "Crossed out item(s) (including physical disk files) will be permanently deleted "
            "off the disk forever: 1 file of " +
                FormatFileSize(fs::file_size(temp_ / "trash" / "a.jpg")) +
                ". There is no Trash to take them back from.");
  EXPECT_FALSE(fs::exists(site_ / "b.jpg"));
  EXPECT_EQ(trash.moved.size(), 3u);
}

TEST(FileSizeTextTest, BytesKilobytesAndMegabytes) {
  EXPECT_EQ(FormatFileSize(1), "1 byte");
  EXPECT_EQ(FormatFileSize(1023), "1023 bytes");
  EXPECT_EQ(FormatFileSize(1024 * 1023 + 1023), "1023 K");
  EXPECT_EQ(FormatFileSize(2516582), "2.4 MB");
  EXPECT_EQ(FormatFileSize(3ull << 30), "3.0 GB");
  EXPECT_EQ(DescribeDeletion({}), "no files");
  EXPECT_EQ(DescribeDeletion({1, 2048, true}), "1 file of 2 K");
}

}  // namespace
}  // namespace pix::test
