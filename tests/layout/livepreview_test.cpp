// What the layout window hands to the page preview: the texts a save would write, edits in
// the inspector not yet taken included, and which pages show an item.
#include "layout/livepreview.h"

#include <gtest/gtest.h>

#include "layout/inspector.h"
#include "layout/layout_fixture.h"
#include "layout/layoutmodel.h"
#include "layout/pictureitem.h"
#include "support/picture_builder.h"

namespace pix::test {
namespace {

class LivePreviewTest : public LayoutTest {
 protected:
  LivePreviewTest() {
    WriteJpegPicture(site_ / "trip" / "a.jpg", 30, 20, "");
    WriteGifPicture(site_ / "trip" / "map.gif", 20, 10, false);
    WriteFile(site_ / "trip" / "index.txt", "PageTitle:\r\nTrip\r\n\r\n");
    WriteSetting("Files", "SearchDirectory", Site());
    WriteSetting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames", "boats");
  }
  static int FieldRow(const InspectorModel& rows, const std::string& name) {
    for (int row = 0; row < rows.RowCount(); ++row) {
      if (rows.Field(row).Name() == name) return row;
    }
    return -1;
  }
  // Types `value` into the row of `name`, naming an empty row first when there is none.
  static void Type(InspectorModel& rows, const std::string& name, const std::string& value) {
    int row = FieldRow(rows, name);
    if (row < 0) {
      row = FieldRow(rows, "");
      rows.EditName(row, name);
    }
    rows.EditValue(row, value);
  }
};

TEST_F(LivePreviewTest, TheUnsavedTextsAreWhatASaveWouldWriteAndOnlyThose) {
  LayoutModel model(ui_, home_);
  PagePreview nothing;
  CollectUnsavedLayout(*model.RootItem(), model.SelectedItem(), model.Inspector(), nothing);
  EXPECT_TRUE(nothing.files.empty());
  EXPECT_TRUE(nothing.comments.empty());

  // A picture's caption taken into its item, a GIF's caption, a crossed-out folder page...
  model.Select(RowOf(model, "a.jpg"));
  Type(model.Inspector(), "DetailPageTitle", "Boat");
  model.Select(RowOf(model, "map.gif"));
  Type(model.Inspector(), "DetailPageTitle", "Route");
  model.Select(RowOf(model, "trip"));
  model.Delete();
  // ...a setting...
  model.Select(RowOf(model, "Images"));
  Type(model.Inspector(), "MaxDisplayWidth", "300");
  // ...and a piece of the default page whose rows are edited, not yet taken.
  model.Select(RowOf(model, "Page Start"));
  ASSERT_GE(FieldRow(model.Inspector(), "PageTitle"), 0);
  Type(model.Inspector(), "PageTitle", "Edited title");

  PagePreview preview;
  CollectUnsavedLayout(*model.RootItem(), model.SelectedItem(), model.Inspector(), preview);
  EXPECT_EQ(preview.comments, (std::map<std::string, std::string>{
                                  {(site_ / "trip" / "a.jpg").string(),
                                   "DetailPageTitle:\r\nBoat\r\n\r\n"}}));
  EXPECT_EQ(preview.files[(site_ / "trip" / "map.txt").string()],
            "DetailPageTitle:\r\nRoute\r\n\r\n");
  EXPECT_EQ(preview.files.at((site_ / "trip" / "index.txt").string()), "");
  const std::string globals = preview.files[(home_ / "globals.txt").string()];
  EXPECT_NE(globals.find("PageTitle:\r\nEdited title\r\n\r\n"), std::string::npos) << globals;
  EXPECT_EQ(preview.files.size(), 3u);
  EXPECT_EQ(preview.settings[std::make_pair(std::string("display"), std::string("maxdisplaywidth"))],
            "300");
  // Nothing was taken into the piece, and nothing was written.
  EXPECT_FALSE(model.SelectedItem()->ModifiedFlag());
  EXPECT_FALSE(std::filesystem::exists(home_ / "globals.txt"));
}

TEST_F(LivePreviewTest, EachItemIsShownOnItsOwnPageElseOnTheFolderLookedAtLast) {
  LayoutModel model(ui_, home_);
  const std::string site = Site();
  const std::string trip = (site_ / "trip").string();
  const auto pages = [&](const std::string& label, const std::string& folder) {
    return PagesShowing(model.ListedItems().at(static_cast<std::size_t>(RowOf(model, label))),
                        site, folder, "htm");
  };
  using Pages = std::vector<std::string>;
  EXPECT_EQ(pages("a.jpg", ""), (Pages{trip + "/a.htm", trip + "/index.htm", site + "/index.htm"}));
  EXPECT_EQ(pages("trip", ""), (Pages{trip + "/index.htm", site + "/index.htm"}));
  EXPECT_EQ(pages("boats Match Page", trip),
            (Pages{trip + "/boats.htm", trip + "/index.htm", site + "/index.htm"}));
  EXPECT_EQ(pages("Page Start", trip), (Pages{trip + "/index.htm", site + "/index.htm"}));
  EXPECT_EQ(pages("Default Page", ""), (Pages{site + "/index.htm"}));
}

}  // namespace
}  // namespace pix::test
