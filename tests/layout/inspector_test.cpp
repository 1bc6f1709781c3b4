// The inspector's rows: what they show, what editing them does to an item, and that nothing
// an item holds is lost by an edit.
#include "layout/inspector.h"

#include <gtest/gtest.h>

#include "layout/config.h"
#include "layout/layout_fixture.h"

namespace pix::test {
namespace {

TEST(InspectorDisplayTest, ValueConversionForDisplay) {
  EXPECT_EQ(FormatValueForDisplay("a\nb"), "a\r\nb");
  EXPECT_EQ(FormatValueForDisplay("a\r\nb"), "a\r\nb");
  EXPECT_EQ(FormatValueForDisplay("tab\there"), "tabhere");
  EXPECT_EQ(FormatValueForDisplay("caf\xc3\xa9 \x7f\x01!"), "caf\xc3\xa9 !");
  EXPECT_EQ(FormatValueForDisplay("caf\xe9"), "caf\xe9") << "bytes that are not UTF-8 stay too";
  EXPECT_EQ(FormatValueForDisplay(std::string(20000, 'x')).size(), kMaxShownValueLength);
  // The cut never splits a UTF-8 character: "€" across the limit goes whole.
  const std::string filler(kMaxShownValueLength - 1, 'x');
  EXPECT_EQ(FormatValueForDisplay(filler + "\xe2\x82\xac"), filler);
  EXPECT_EQ(FormatValueForDisplay(filler + "\xc3\xa9"), filler);
  EXPECT_EQ(FormatValueForDisplay(filler + "y\xc3\xa9"), filler + "y");
  EXPECT_EQ(NormalizeLineEnds("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");
}

class InspectorTest : public LayoutTest {
 protected:
  // An item with the variables `names`, each valued by its name in lower case.
  ConfigItem& MakeItem(const std::vector<std::string>& names) {
    auto* item = root_.AddChild<ConfigItem>("item");
    for (const std::string& name : names) item->SetVar(name, "value of " + name);
    return *item;
  }

  ConfigItem root_{"root"};
  InspectorModel inspector_;
};

TEST_F(InspectorTest, ThreeVariablesFillThreeRowsAndAFourthCanBeTyped) {
  ConfigItem& item = MakeItem({"PageTitle", "PageLabel", "PageIntro"});
  item.ShowInInspector(inspector_, nullptr);
  ASSERT_EQ(inspector_.RowCount(), InspectorModel::kFieldCount);
  EXPECT_EQ(inspector_.Field(1).Name(), "PageLabel");
  EXPECT_EQ(inspector_.Field(1).Value(), "value of PageLabel");
  for (int row = 3; row < 10; ++row) EXPECT_EQ(inspector_.Field(row).Name(), "");

  inspector_.EditName(3, "BodyTag");
  inspector_.EditValue(3, "<body>");
  item.TakeFromInspector(inspector_);
  EXPECT_TRUE(item.ModifiedFlag());
  EXPECT_EQ(VarNames(item),
            (std::vector<std::string>{"PageTitle", "PageLabel", "PageIntro", "BodyTag"}));
  EXPECT_EQ(item.GetVarValue("BodyTag"), "<body>");
}

// An emptied name removes its variable, an emptied value keeps it, a new name replaces the
// variable with its value, and a name given twice (in any case) is one variable where it
// first stood, with the last value.
TEST_F(InspectorTest, NameEditsRemoveRenameAndMergeVariables) {
  ConfigItem& item = MakeItem({"PageTitle", "PageLabel", "PageIntro", "BodyTag"});
  item.SetVar("BodyTag", "a\tb");
  item.ShowInInspector(inspector_, nullptr);
  inspector_.EditName(1, "");
  inspector_.EditValue(2, "");
  inspector_.EditName(3, "DetailPageTitle");
  inspector_.EditName(4, "pagetitle");
  inspector_.EditValue(4, "last");
  item.TakeFromInspector(inspector_);
  EXPECT_EQ(VarNames(item),
            (std::vector<std::string>{"PageTitle", "PageIntro", "DetailPageTitle"}));
  EXPECT_EQ(item.GetVarValue("PageIntro"), "");
  EXPECT_EQ(item.GetVarValue("DetailPageTitle"), "a\tb");
  EXPECT_EQ(item.GetVarValue("PageTitle"), "last");
}

TEST_F(InspectorTest, LineEndsAndUnshownCharacters) {
  ConfigItem& item = MakeItem({"PageIntro", "PageTitle"});
  item.SetVar("PageIntro", "a\nb");
  item.SetVar("PageTitle", "caf\xc3\xa9\tnoir");
  item.ShowInInspector(inspector_, nullptr);
  EXPECT_EQ(inspector_.Field(0).Value(), "a\r\nb");
  EXPECT_EQ(inspector_.Field(1).Value(), "caf\xc3\xa9noir");

  // An edit of another row: the untouched values stay as the item held them.
  inspector_.EditValue(0, "a\nb\nc");  // The window's text box gives bare line feeds.
  item.TakeFromInspector(inspector_);
  EXPECT_EQ(item.GetVarValue("PageIntro"), "a\r\nb\r\nc");
  EXPECT_EQ(item.GetVarValue("PageTitle"), "caf\xc3\xa9\tnoir");

  // A value the user edits is taken as the box shows it.
  item.ShowInInspector(inspector_, nullptr);
  inspector_.EditValue(1, inspector_.Field(1).Value() + "!");
  item.TakeFromInspector(inspector_);
  EXPECT_EQ(item.GetVarValue("PageTitle"), "caf\xc3\xa9noir!");
}

TEST_F(InspectorTest, SelectingWithoutTypingLeavesItemsUnmodified) {
  ConfigItem& first = MakeItem({"PageTitle", "PageLabel"});
  ConfigItem& second = MakeItem({"PageIntro"});
  first.ShowInInspector(inspector_, nullptr);
  inspector_.EditValue(0, "value of PageTitle");      // The same text: no change.
  inspector_.EditValue(1, "value of PageLabel\r\n");  // Not the same.
  first.TakeFromInspector(inspector_);
  EXPECT_TRUE(first.ModifiedFlag());
  // Rows that were edited for the first item do not count for the next one.
  second.ShowInInspector(inspector_, nullptr);
  EXPECT_FALSE(inspector_.FieldsModified());
  second.TakeFromInspector(inspector_);
  EXPECT_FALSE(second.ModifiedFlag());
  inspector_.Reset();
  EXPECT_FALSE(inspector_.FieldsModified());
}

TEST_F(InspectorTest, MoreThanTenVariablesAreAllShownAndKept) {
  std::vector<std::string> names;
  for (char c = 'A'; c < 'A' + 14; ++c) names.push_back(std::string("Var") + c + c);
  ConfigItem& item = MakeItem(names);
  item.ShowInInspector(inspector_, nullptr);
  ASSERT_EQ(inspector_.RowCount(), 15);  // Every variable and a spare row.
  EXPECT_EQ(inspector_.Field(13).Name(), names[13]);
  EXPECT_EQ(inspector_.Field(14).Name(), "");

  inspector_.EditValue(0, "changed");
  inspector_.EditName(14, "VarExtra");
  EXPECT_EQ(inspector_.RowCount(), 16);  // Typing into the spare row adds another.
  inspector_.EditValue(14, "extra");
  item.TakeFromInspector(inspector_);
  ASSERT_EQ(item.ItemCount(), 15);
  EXPECT_EQ(item.GetVarValue(names[0]), "changed");
  EXPECT_EQ(item.GetVarValue(names[13]), "value of " + names[13]);
  EXPECT_EQ(item.GetVarValue("VarExtra"), "extra");
}

TEST_F(InspectorTest, SettingsItemsHaveReadOnlyNames) {
  WriteSetting("HTMLDefaults", "PersonFullName", "Ada");
  auto root = Build();
  ConfigItem* user = ChildNamed(*root->general_settings_item, "User");
  user->ShowInInspector(inspector_, nullptr);
  EXPECT_TRUE(inspector_.NamesReadOnly());
  EXPECT_EQ(inspector_.RowCount(), InspectorModel::kFieldCount);
  inspector_.EditName(0, "Renamed");
  inspector_.EditName(2, "Added");
  EXPECT_FALSE(inspector_.FieldsModified());
  inspector_.EditValue(0, "Grace");
  user->TakeFromInspector(inspector_);
  EXPECT_EQ(VarNames(*user), (std::vector<std::string>{"PersonFullName", "EMailAddress"}));
  root->SaveTree(&ui_);
  EXPECT_EQ(Setting("HTMLDefaults", "PersonFullName"), "Grace");

  // Another kind of item makes the names editable again.
  root->default_page_item->Child(0)->ShowInInspector(inspector_, nullptr);
  EXPECT_FALSE(inspector_.NamesReadOnly());
}

}  // namespace
}  // namespace pix::test
