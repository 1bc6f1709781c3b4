// The layout window's commands without the window: selection, save, delete, undo, rename,
// the site directory and the rebuilds, on real layout homes and site trees.
#include "layout/layoutmodel.h"

#include <gtest/gtest.h>

#include "base/progress.h"
#include "layout/layout_fixture.h"
#include "layout/pictureitem.h"
#include "support/picture_builder.h"

namespace pix::test {
namespace {

namespace fs = std::filesystem;

class LayoutModelTest : public LayoutTest {
 protected:
  LayoutModelTest() {
    WriteFile(site_ / "trip" / "a.jpg", MakeJpeg(SampleArt(), {}));
    WriteFile(site_ / "trip" / "index.txt", "PageTitle:\r\nTrip\r\n\r\n");
    WriteFile(site_ / "b.jpg", MakeJpeg(SampleArt(), {}));
    WriteSetting("Files", "SearchDirectory", Site());
  }

  // The row of the item labelled `label`.
  static int RowOf(const TLayoutModel& model, const std::string& label) {
    for (const TConfigItem* item : model.ListedItems()) {
      if (item->Label() == label) return item->ListBoxID;
    }
    ADD_FAILURE() << "no row " << label;
    return -1;
  }
  static std::vector<std::string> Labels(const TLayoutModel& model) {
    std::vector<std::string> labels;
    for (const TConfigItem* item : model.ListedItems()) labels.push_back(item->Label());
    return labels;
  }
};

TEST_F(LayoutModelTest, ListShowsTheTreeInOrderWithRowNumbers) {
  TLayoutModel model(ui_);
  const std::vector<std::string> labels = Labels(model);
  ASSERT_GE(labels.size(), 4u);
  EXPECT_EQ(labels[0], "My Web Site");
  EXPECT_EQ(labels[1], "Default Page");
  EXPECT_EQ(labels[2], "Page Start");
  EXPECT_EQ(std::vector<std::string>(labels.end() - 4, labels.end()),
            (std::vector<std::string>{Site(), "b.jpg", "trip", "a.jpg"}));
  for (std::size_t row = 0; row < model.ListedItems().size(); ++row) {
    EXPECT_EQ(model.ListedItems()[row]->ListBoxID, static_cast<int>(row));
  }
  EXPECT_EQ(model.SelectedItem(), nullptr);
  EXPECT_EQ(TLayoutModel::RowIndent(3, 6), 36);
}

TEST_F(LayoutModelTest, SelectionTakesEditsOnceAndShowsThePreview) {
  TLayoutModel model(ui_);
  RecordingPreview preview;
  model.SetPreviewTarget(&preview);
  model.Select(RowOf(model, "trip"));
  model.Inspector().EditValue(0, "Holiday");
  model.Select(RowOf(model, "trip"));  // The same row again: nothing happens.
  EXPECT_EQ(model.Inspector().Field(0).Value(), "Holiday");
  model.Select(RowOf(model, "a.jpg"));
  EXPECT_EQ(preview.Shown, std::vector<std::string>{Site() + "/trip/inline/a.gif"});
  TConfigItem* trip = model.ListedItems()[static_cast<std::size_t>(RowOf(model, "trip"))];
  EXPECT_EQ(trip->GetVarValue("PageTitle"), "Holiday");
  EXPECT_TRUE(trip->ModifiedFlag());
  EXPECT_FALSE(model.SelectedItem()->ModifiedFlag());

  model.SaveLayout();
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nHoliday\r\n\r\n");
}

TEST_F(LayoutModelTest, DeleteOnlyWhatMayBeDeleted) {
  TLayoutModel model(ui_);
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
  TLayoutModel model(ui_);
  model.Select(RowOf(model, "a.jpg"));
  model.Inspector().EditValue(2, "Beach");  // ImageDescription
  model.Select(RowOf(model, "trip"));
  model.Delete();
  ui_.AnswerMessage(MessageAnswer::Cancel);
  model.Save();
  EXPECT_EQ(ui_.messages().back().title, "Confirm");
  EXPECT_FALSE(model.RootItem()->HasCrossedOut());
  EXPECT_TRUE(fs::exists(site_ / "trip" / "a.jpg"));
  TConfigItem parent("p");
  TTreeBuildContext context;
  auto* reread =
      parent.AddChild<TPictureItem>("a.jpg", (site_ / "trip" / "a.jpg").string(), context);
  EXPECT_EQ(reread->GetVarValue("ImageDescription"), "Beach");

  // Confirmed: the directory's files go, and their rows stay until the list is refilled.
  model.Delete();
  ui_.AnswerMessage(MessageAnswer::Ok);
  model.Save();
  EXPECT_FALSE(fs::exists(site_ / "trip" / "a.jpg"));
  EXPECT_NE(RowOf(model, "a.jpg"), -1);
  model.RefreshLayout();
  EXPECT_EQ(Labels(model).back(), "b.jpg");
}

TEST_F(LayoutModelTest, SaveLayoutAnsweredNoKeepsFilesAndSavesEdits) {
  TLayoutModel model(ui_);
  model.Select(RowOf(model, "b.jpg"));
  model.Delete();
  model.Select(RowOf(model, "Directory Index Pages"));
  model.Inspector().EditName(0, "PageTitle");
  model.Inspector().EditValue(0, "All albums");
  ui_.AnswerMessage(MessageAnswer::No);
  model.SaveLayout();
  // Without a trash the question says that the deletion is for good.
  EXPECT_EQ(ui_.messages().back().text, "Permanently delete crossed-out items: 1 file of " +
                                            FormatFileSize(fs::file_size(site_ / "b.jpg")) +
                                            ". There is no Trash to take them back from.");
  EXPECT_TRUE(fs::exists(site_ / "b.jpg"));
  EXPECT_EQ(ReadFile(home_ / "dglobals.txt"), "PageTitle:\r\nAll albums\r\n\r\n");
}

TEST_F(LayoutModelTest, RenameAsksAndRelabels) {
  TLayoutModel model(ui_);
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
  EXPECT_EQ(model.RootItem()->RootDirItem->Label(), moved);
}

TEST_F(LayoutModelTest, SelectDirectoryChecksAndRebuilds) {
  TLayoutModel model(ui_);
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
  EXPECT_EQ(model.RootItem()->RootDirItem->Label(), Site() + "/trip");
  EXPECT_EQ(preview.Shown.back(), "<clear>");
  ASSERT_TRUE(model.SelectDirectory(Site()));  // A directory chooser's answer.
  EXPECT_EQ(model.SiteDir(), Site());
}

TEST_F(LayoutModelTest, AutoOrganizeCancelledChangesNothing) {
  TLayoutModel model(ui_);
  TProgress progress;
  ui_.AnswerMessage(MessageAnswer::Cancel);
  EXPECT_EQ(model.AutoOrganize(progress), AutoOrganizeChoice::kAborted);
  EXPECT_EQ(ui_.messages()[0].title, "Auto Layout");
  EXPECT_EQ(ui_.messages()[1].text, "Auto-Organize aborted.");
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "<missing>");

  ui_.AnswerMessage(MessageAnswer::No);
  EXPECT_EQ(model.AutoOrganize(progress), AutoOrganizeChoice::kOrganizeOnly);
  EXPECT_EQ(Setting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames"), "miscpics");
  EXPECT_EQ(model.RootItem()->MatchPagesItem->ChildCount(), 2);
  EXPECT_FALSE(fs::exists(site_ / "index.html"));
}

TEST_F(LayoutModelTest, GenerateSiteSavesRunsAndRebuilds) {
  WriteSetting("HTMLDefaults", "PersonFullName", "Ada");
  TLayoutModel model(ui_);
  model.Select(RowOf(model, "trip"));
  model.Inspector().EditValue(0, "Holiday");
  TProgress progress;
  model.GenerateSite(progress);
  EXPECT_EQ(ReadFile(site_ / "trip" / "index.txt"), "PageTitle:\r\nHoliday\r\n\r\n");
  EXPECT_TRUE(fs::exists(site_ / "trip" / "inline" / "a.gif"));
  EXPECT_EQ(model.SelectedItem(), nullptr);
}

}  // namespace
}  // namespace pix::test
