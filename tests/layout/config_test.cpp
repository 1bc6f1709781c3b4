// The shape of the layout tree built from a layout home and a site directory.
#include "layout/config.h"

#include <gtest/gtest.h>

#include "files/picturenames.h"
#include "layout/layout_fixture.h"
#include "layout/pictureitem.h"
#include "support/picture_builder.h"

namespace pix::test {
namespace {

using ConfigTreeTest = LayoutTest;

TEST_F(ConfigTreeTest, ShapeLevelsClassesAndIcons) {
  WriteFile(site_ / "a.jpg", "");
  WriteFile(site_ / "sub" / "b.gif", "");
  auto root = Build();

  EXPECT_EQ(root->Label(), "My Web Site");
  EXPECT_EQ(root->Level(), 0);
  EXPECT_EQ(root->GetBitmapId(), 611);
  EXPECT_EQ(ChildLabels(*root), (std::vector<std::string>{"Default Page", "General Settings",
                                                          "Match Pages", "Directory Index Pages"}));
  EXPECT_EQ(ChildLabels(*root->default_page_item),
            (std::vector<std::string>{"Page Start", "Picture File List", "Sub-Page List",
                                      "Page End", "Detail Pages", "Default Image Fields"}));
  EXPECT_EQ(ChildLabels(*root->general_settings_item),
            (std::vector<std::string>{"User", "Images", "Names"}));
  EXPECT_EQ(ChildLabels(*root->match_pages_item), (std::vector<std::string>{"Default Match Page"}));

  ASSERT_NE(root->root_dir_item, nullptr);
  EXPECT_EQ(root->root_dir_item->Label(), Site());
  EXPECT_EQ(root->root_dir_item->VarFileName(), Site() + "/index.txt");
  EXPECT_EQ(root->root_dir_item->Level(), 2);
  EXPECT_EQ(ChildLabels(*root->root_dir_item), (std::vector<std::string>{"a.jpg", "sub"}));
  ConfigItem* sub = root->root_dir_item->Child(1);
  EXPECT_EQ(sub->Level(), 3);
  EXPECT_EQ(sub->Child(0)->Level(), 4);
  EXPECT_EQ(static_cast<DirectoryItem*>(sub)->VarFileName(), Site() + "/sub/index.txt");

  // One icon per kind; kinds that look alike share one.
  EXPECT_EQ(root->default_page_item->GetBitmapId(), 607);
  EXPECT_EQ(root->default_page_item->Child(0)->GetBitmapId(), 607);
  EXPECT_EQ(root->general_settings_item->GetBitmapId(), 609);
  EXPECT_EQ(root->match_pages_item->Child(0)->GetBitmapId(), 607);
  EXPECT_EQ(root->root_dir_item->GetBitmapId(), 606);
  EXPECT_EQ(root->root_dir_item->Child(0)->GetBitmapId(), 610);

  // Only directories, match pages and pictures may be crossed out or renamed.
  for (ConfigItem* item :
       {static_cast<ConfigItem*>(root.get()), static_cast<ConfigItem*>(root->default_page_item),
        root->default_page_item->Child(0), static_cast<ConfigItem*>(root->general_settings_item),
        static_cast<ConfigItem*>(root->dir_index_pages_item)}) {
    EXPECT_FALSE(item->CanDelete()) << item->Label();
    EXPECT_FALSE(item->CanRename()) << item->Label();
  }
  EXPECT_TRUE(sub->CanDelete() && sub->CanRename());
  EXPECT_TRUE(sub->Child(0)->CanDelete() && sub->Child(0)->CanRename());
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(ConfigTreeTest, PiecesTakeTheirVariablesOutOfDefaultPageAndAreEmptyWithoutIt) {
  auto empty = Build();
  EXPECT_EQ(empty->default_page_item->ItemCount(), 0);
  for (int i = 0; i < empty->default_page_item->ChildCount(); ++i) {
    const ConfigItem& piece = *empty->default_page_item->Child(i);
    EXPECT_GT(piece.ItemCount(), 0);
    for (int v = 0; v < piece.ItemCount(); ++v) EXPECT_EQ(piece.Item(v).value(), "");
  }
  WriteFile(home_ / "globals.txt",
            "pageheadtemplate:\r\n<head>\r\n\r\n"
            "PageBodyBeginTemplate:\r\n<body>\r\n\r\n"
            "ImageTag:\r\n<img>\r\n\r\n"
            "DetailPageLabel:\r\nline one\r\nline two\r\n\r\n");
  auto root = Build();
  ConfigItem* group = root->default_page_item;
  EXPECT_EQ(VarNames(*group), std::vector<std::string>{"PageBodyBeginTemplate"});
  ConfigItem* page_start = ChildNamed(*group, "Page Start");
  EXPECT_EQ(VarNames(*page_start),
            (std::vector<std::string>{"PageHeadTemplate", "PageIntro", "PageTitle", "PageLabel",
                                      "BodyTag", "PageBodyTemplate"}));
  EXPECT_EQ(page_start->GetVarValue("PageHeadTemplate"), "<head>");
  EXPECT_EQ(ChildNamed(*group, "Page End")->GetVarValue("ImageTag"), "<img>");
  EXPECT_EQ(ChildNamed(*group, "Detail Pages")->GetVarValue("DetailPageLabel"),
            "line one\r\nline two");
  EXPECT_EQ(
      VarNames(*ChildNamed(*group, "Default Image Fields")),
      (std::vector<std::string>{"ImageSubjectName", "ImagePhotographerName", "ImageDescription"}));
}

TEST_F(ConfigTreeTest, SettingsItemsHoldTheirEntries) {
  WriteSetting("HTMLDefaults", "PersonFullName", "Ada Lovelace");
  WriteSetting("Display", "MaxDisplayWidth", "320");
  auto root = Build();
  const ConfigItem& user = *ChildNamed(*root->general_settings_item, "User");
  EXPECT_EQ(VarNames(user), (std::vector<std::string>{"PersonFullName", "EMailAddress"}));
  EXPECT_EQ(user.GetVarValue("PersonFullName"), "Ada Lovelace");
  EXPECT_EQ(ChildNamed(*root->general_settings_item, "Images")->GetVarValue("MaxDisplayWidth"),
            "320");
  EXPECT_EQ(VarNames(*root->general_settings_item),
            (std::vector<std::string>{"DeleteHTMLFirst", "PicturesPerGroup"}));
  EXPECT_EQ(VarNames(*ChildNamed(*root->general_settings_item, "Names")),
            (std::vector<std::string>{"AnchorFileExtList", "InLineFileExt", "PageDOSFileExt",
                                      "PageHTMLFileExt"}));
  EXPECT_EQ(VarNames(*root->match_pages_item),
            (std::vector<std::string>{"MinMatchPerPage", "DoAutoOrganize"}));
}

TEST_F(ConfigTreeTest, MatchPagesFollowTheBaseNameList) {
  struct Case {
    const char* list;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {"", {"Default Match Page"}},
      {"dogs,,cats", {"Default Match Page", "dogs Match Page", "cats Match Page"}},
      {",dogs", {"Default Match Page"}},
      {"dogs, cats", {"Default Match Page", "dogs Match Page", " cats Match Page"}},
  };
  for (const Case& c : cases) {
    WriteSetting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames", c.list);
    auto root = Build();
    EXPECT_EQ(ChildLabels(*root->match_pages_item), c.labels) << c.list;
  }

  WriteSetting("AutoOrganizeLayout", "AutoOrganizeBaseFileNames", "dogs,cats");
  WriteSetting("MatchPageSearchStrings", "dogs", "[dog*.*]");
  WriteFile(home_ / "cats.txt", "PageTitle:\r\nCats\r\n\r\nSearchPattern:\r\n[cat*.*]\r\n\r\n");
  auto root = Build();
  const auto* dogs = dynamic_cast<MatchItem*>(root->match_pages_item->Child(1));
  const auto* cats = dynamic_cast<MatchItem*>(root->match_pages_item->Child(2));
  ASSERT_TRUE(dogs != nullptr && cats != nullptr);
  EXPECT_EQ(dogs->VarFileName(), Home() + "/dogs.txt");
  EXPECT_EQ(cats->VarFileName(), Home() + "/cats.txt");
  EXPECT_EQ(VarNames(*dogs),
            (std::vector<std::string>{"SearchPattern", "PageTitle", "PageLabel", "PageIntro"}));
  EXPECT_EQ(dogs->GetVarValue("SearchPattern"), "[dog*.*]");
  // A pattern in the variable file wins over the settings.
  EXPECT_EQ(cats->GetVarValue("SearchPattern"), "[cat*.*]");
  EXPECT_EQ(cats->GetVarValue("PageTitle"), "Cats");
}

TEST_F(ConfigTreeTest, UnusableSiteDirectoriesGiveNoDirSelected) {
  const std::string cases[] = {
      "", "/", "/ab", Home(), temp_.path().string(), Site() + "/does-not-exist"};
  for (const std::string& site : cases) {
    RootConfigItem root(Home(), site, &ui_);
    EXPECT_EQ(root.root_dir_item, nullptr) << site;
    EXPECT_EQ(root.SiteFileList(), nullptr) << site;
    EXPECT_EQ(ChildLabels(*root.dir_index_pages_item), std::vector<std::string>{"No Dir Selected"})
        << site;
  }
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(ConfigTreeTest, TheSitesPicturesBecomePictureItems) {
  WriteFile(site_ / "a.jpg", "");
  WriteFile(site_ / "b.GIF", "");
  WriteFile(site_ / "c.jpeg", "");
  WriteFile(site_ / "index.htm", "");
  WriteFile(site_ / "photo.old.jpg", "");
  WriteFile(site_ / "inline" / "a.gif", "");
  WriteFile(site_ / "trip" / "inline" / "x.gif", "");
  WriteFile(site_ / "trip" / "x.jpg", "");
  // A folder named like the inline folder in another case, holding the user's picture.
  WriteFile(site_ / "trip" / "Inline" / "y.jpg", "");
  auto root = Build();
  EXPECT_EQ(ChildLabels(*root->root_dir_item),
            (std::vector<std::string>{"a.jpg", "b.GIF", "c.jpeg", "photo.old.jpg", "trip"}));
  EXPECT_NE(dynamic_cast<PictureItem*>(root->root_dir_item->Child(1)), nullptr);
  EXPECT_EQ(ChildLabels(*root->root_dir_item->Child(4)),
            (std::vector<std::string>{"Inline", "x.jpg"}));
}

TEST_F(ConfigTreeTest, CrossingOutWorksOnWholeSubtrees) {
  WriteFile(site_ / "trip" / "day1" / "a.jpg", "");
  WriteFile(site_ / "trip" / "b.jpg", "");
  WriteFile(site_ / "c.jpg", "");
  auto root = Build();
  ConfigItem* trip = ChildNamed(*root->root_dir_item, "trip");
  ConfigItem* day1 = ChildNamed(*trip, "day1");
  ConfigItem* outside = ChildNamed(*root->root_dir_item, "c.jpg");
  EXPECT_FALSE(root->IsModified());
  EXPECT_FALSE(root->HasCrossedOut());

  trip->CrossOutTree();
  for (ConfigItem* item : {trip, day1, day1->Child(0), ChildNamed(*trip, "b.jpg")}) {
    EXPECT_TRUE(item->IsCrossedOut()) << item->Label();
    EXPECT_TRUE(item->ModifiedFlag()) << item->Label();
  }
  EXPECT_FALSE(outside->IsCrossedOut());
  EXPECT_FALSE(root->root_dir_item->ModifiedFlag());
  EXPECT_TRUE(root->root_dir_item->IsModified());  // A change below makes every ancestor save.
  EXPECT_TRUE(root->HasCrossedOut());

  trip->UncrossTree();
  EXPECT_FALSE(root->HasCrossedOut());
  EXPECT_TRUE(day1->Child(0)->ModifiedFlag());  // Uncrossing leaves them modified.
}

TEST_F(ConfigTreeTest, ItemsThatCannotBeOpenedSaySo) {
  ConfigItem item("plain");
  item.Open(ui_);
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text, "Unable to open this item.");
  EXPECT_EQ(ui_.messages()[0].title, "Warning");
}

TEST_F(ConfigTreeTest, MissingPictureIsReportedAndCancelQuietsTheRest) {
  // Pictures that vanished between the scan and the items' construction.
  ConfigItem parent("dir");
  TreeBuildContext context;
  context.ui = &ui_;
  ui_.AnswerMessage(MessageAnswer::kOk);
  ui_.AnswerMessage(MessageAnswer::kCancel);
  for (const char* name : {"gone1.jpg", "gone2.jpg", "gone3.jpg"}) {
    parent.AddChild<PictureItem>(name, Site() + "/" + name, context);
  }
  ASSERT_EQ(ui_.messages().size(), 2u);
  EXPECT_EQ(ui_.messages()[0].text, Site() + "/gone1.jpg");
  EXPECT_EQ(ui_.messages()[0].title, "Missing File");
  EXPECT_EQ(ui_.messages()[0].buttons, MessageButtons::kOkCancel);
  EXPECT_EQ(parent.ChildCount(), 3);
  EXPECT_EQ(parent.Child(2)->ItemCount(), 5);
}

}  // namespace
}  // namespace pix::test
