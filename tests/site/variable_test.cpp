#include "site/variable.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/temp_dir.h"

namespace pix {
namespace {

std::vector<std::pair<std::string, std::string>> Vars(const VariableList& array) {
  std::vector<std::pair<std::string, std::string>> vars;
  for (int i = 0; i < array.ItemCount(); ++i) {
    vars.emplace_back(array.Item(i).name(), array.Item(i).value());
  }
  return vars;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Records read and write back byte for byte: a value of several lines, long names and
// values kept whole; an empty value is not written.
TEST(VarFileTest, RecordsReadAndWriteBackByteForByte) {
  const std::string name(300, 'N');
  const std::string value(100000, 'v');
  const std::string text =
      "PageTitle:\r\nMy Pictures\r\n\r\nBody:\r\nline one\r\nline two\r\n\r\n" + name + ":\r\n" +
      value + "\r\n\r\n";
  VariableList array;
  array.ParseVarText(text);
  EXPECT_EQ(Vars(array),
            (Pairs{{"PageTitle", "My Pictures"}, {"Body", "line one\r\nline two"}, {name, value}}));
  array.SetVar("Empty", "");
  EXPECT_EQ(array.FormatVarText(), text);
  std::ostringstream out;
  array.WriteVars(out);
  EXPECT_EQ(out.str(), text);
}

// Which lines start records and where values end: each text with the records it gives.
TEST(VarFileTest, TextBecomesRecords) {
  const struct {
    const char* why;
    std::string text;
    Pairs records;
  } cases[] = {
      {"nothing", "", {}},
      {"text without a name line", "just text\r\nno records\r\n", {}},
      {"only names of letters and leading colons start records",
       "intro text\r\nA:\r\none letter\r\n\r\nPage2Title:\r\ndigit\r\n\r\n"
       "Page_Title:\r\nunderscore\r\n\r\nGood:\r\nyes\r\n\r\n::Odd:\r\nv\r\n\r\n",
       {{"Good", "yes"}, {"::Odd", "v"}}},
      {"a value on the name line loses its leading blanks only",
       "PageTitle:   My Pictures  \r\n\r\n", {{"PageTitle", "My Pictures  "}}},
      {"the last value keeps its line break", "PageTitle:\r\nNo blank line after\r\n",
       {{"PageTitle", "No blank line after\r\n"}}},
      {"a blank line ends a value, a later name line starts a record",
       "Text:\nfirst\n\nskipped line\nNote: inside\nmore\n",
       {{"Text", "first"}, {"Note", "inside\nmore\n"}}},
      {"a value ends before the LF of the line that starts a new record",
       "Text:\r\nfirst\r\nNote: a note\r\n\r\n", {{"Text", "first\r"}, {"Note", "a note"}}},
      {"an empty record takes the next record as its value",
       "Empty:\r\n\r\nPageTitle:\r\nX\r\n\r\n", {{"Empty", "PageTitle:\r\nX"}}},
      {"a later record replaces the value, keeping the first spelling and place",
       "PageTitle:\r\nOne\r\n\r\nPageLabel:\r\nL\r\n\r\npagetitle:\r\nTwo\r\n\r\n",
       {{"PageTitle", "Two"}, {"PageLabel", "L"}}},
  };
  for (const auto& c : cases) {
    VariableList array;
    array.ParseVarText(c.text);
    EXPECT_EQ(Vars(array), c.records) << c.why;
  }
}

TEST(VarArrayTest, DeleteKeepsOrderOfTheRestAndAbsentVariablesReadAsEmpty) {
  VariableList array;
  array.SetVar("One", "1");
  array.SetVar("Two", "2");
  array.SetVar("Three", "3");
  array.DeleteVar("TWO");
  array.DeleteVar("Absent");
  EXPECT_EQ(Vars(array), (Pairs{{"One", "1"}, {"Three", "3"}}));
  EXPECT_EQ(array.GetVarValue("Two"), "");
  EXPECT_EQ(array.FindVar("Two"), nullptr);
  array.DeleteAllVars();
  EXPECT_EQ(array.ItemCount(), 0);
  // Numbers are formatted in decimal, also past 32 bits.
  array.SetIntVar("Width", -12);
  array.SetLongVar("Bytes", 5000000000LL);
  EXPECT_EQ(Vars(array), (Pairs{{"Width", "-12"}, {"Bytes", "5000000000"}}));
}

TEST(VarArrayTest, CopiesBelongToTheCopyingArray) {
  VariableList site;
  site.SetVar("PageTitle", "Site");
  VariableList page;
  page.SetVar("PageTitle", "Old");
  page.SetVar("Own", "x");
  page.CopyVarsFrom(site);
  EXPECT_EQ(Vars(page), (Pairs{{"PageTitle", "Site"}, {"Own", "x"}}));
  EXPECT_EQ(page.FindVar("PageTitle")->owner_array, &page);

  VariableList other;
  Variable* item = page.SetVar("Linked", "y", &other);
  EXPECT_EQ(item->owner_array, &other);
  EXPECT_EQ(page.AddVarAt("Fixed", "z", page.ItemCount())->owner_array, &page);
}

// A revert restores the values stored while marking was off and empties variables that
// marking made; text parsed while marking is on is marked like any store.
TEST(MarkedChangesTest, RevertRestoresTheUnmarkedValuesAndEmptiesNewOnes) {
  VariableList array;
  array.SetVar("PageTitle", "Base");
  array.SetVar("ImageDescription", "default");
  array.mark_changes = true;
  array.SetVar("PageTitle", "Picture one");
  array.SetVar("X", "only for picture one");
  array.ParseVarText("ImageDescription:\r\nA comment\r\n\r\n");
  EXPECT_EQ(array.GetVarValue("ImageDescription"), "A comment");
  array.RevertMarkedVars();
  EXPECT_EQ(array.GetVarValue("PageTitle"), "Base");
  EXPECT_EQ(array.GetVarValue("ImageDescription"), "default");
  EXPECT_EQ(array.GetVarValue("X"), "");
  ASSERT_NE(array.FindVar("X"), nullptr) << "a reverted new variable stays, empty";
  EXPECT_TRUE(array.FindVar("X")->marked);

  array.SetVar("PageTitle", "Picture two");
  array.SetVar("PageTitle", "Picture two, again");
  array.RevertMarkedVars();
  EXPECT_EQ(array.GetVarValue("PageTitle"), "Base") << "the first saved value is kept";

  // An unmarked store (a page's opening stores base values) becomes the new base.
  array.SetVar("PageLabel", "Picture");
  array.mark_changes = false;
  array.SetVar("PageLabel", "Opened page");
  array.mark_changes = true;
  array.RevertMarkedVars();
  EXPECT_EQ(array.GetVarValue("PageLabel"), "Opened page") << "not undone by a revert";
  array.SetVar("PageLabel", "Next picture");
  array.RevertMarkedVars();
  EXPECT_EQ(array.GetVarValue("PageLabel"), "Opened page");
}

TEST(MarkedChangesTest, DeletedItemsAreNotRevertedAndOthersStillAre) {
  VariableList array;
  array.SetVar("Kept", "base");
  array.mark_changes = true;
  array.SetVar("Gone", "for picture one");
  array.SetVar("Kept", "picture one");
  array.DeleteVar("Gone");
  array.RevertMarkedVars();
  EXPECT_EQ(array.FindVar("Gone"), nullptr);
  EXPECT_EQ(array.GetVarValue("Kept"), "base");
  array.DeleteAllVars();
  array.RevertMarkedVars();
  EXPECT_EQ(array.ItemCount(), 0);
  array.SetVar("Kept", "after");
  array.RevertMarkedVars();
  EXPECT_EQ(array.GetVarValue("Kept"), "") << "made while marking: emptied by the revert";
}

// The content digest stands for everything an expansion against the array can see, so it
// must move with every value, every name and every array a value expands against, and
// come back when a marked change is undone.
TEST(ContentDigestTest, FollowsWhatAnExpansionCanSee) {
  VariableList parent;
  parent.SetVar("PageLabel", "Trip");
  VariableList page;
  page.SetVar("DetailPageTemplate", "<P ${Caption} ${ParentPageLabel}>");
  page.SetVar("ParentPageLabel", "${PageLabel}");
  const Digest base = page.ContentDigest();

  page.mark_changes = true;
  page.SetVar("Caption", "Boat");
  const Digest boat = page.ContentDigest();
  EXPECT_NE(boat, base);
  page.RevertMarkedVars();
  page.SetVar("Caption", "Dune");
  EXPECT_NE(page.ContentDigest(), boat);
  page.RevertMarkedVars();
  page.SetVar("Caption", "Boat");
  EXPECT_EQ(page.ContentDigest(), boat) << "the same values give the same digest";

  // The same text under another name, or split otherwise between name and value, differs.
  VariableList one, two;
  one.SetVar("Abc", "def");
  two.SetVar("Abcd", "ef");
  EXPECT_NE(one.ContentDigest(), two.ContentDigest());

  // A value that expands against another array: that array's content counts too.
  page.FindVar("ParentPageLabel")->owner_array = &parent;
  const Digest linked = page.ContentDigest();
  EXPECT_NE(linked, boat);
  parent.SetVar("PageLabel", "Holiday");
  EXPECT_NE(page.ContentDigest(), linked);
  // Arrays whose values expand against each other are each taken once.
  parent.SetVar("Back", "${ParentPageLabel}", &page);
  const Digest cycle = page.ContentDigest();
  EXPECT_EQ(page.ContentDigest(), cycle);
}

TEST(LoadVarFileTextTest, FindsFilesByNameDirectoryOrPath) {
  test::TempDir home;
  test::TempDir site;
  test::WriteFile(home / "globals.txt", "Where:\r\nhome\r\n\r\n");
  test::WriteFile(site / "globals.txt", "Where:\r\nsite\r\n\r\n");
  test::WriteFile(site / "odd.name", "Where:\r\npath\r\n\r\n");

  EXPECT_EQ(LoadVarFileText("globals", home.path().string()), "Where:\r\nhome\r\n\r\n");
  EXPECT_EQ(LoadVarFileText("globals", site.path().string()), "Where:\r\nsite\r\n\r\n");
  EXPECT_EQ(LoadVarFileText("globals", site.path().string() + "/"), "Where:\r\nsite\r\n\r\n");
  EXPECT_EQ(LoadVarFileText((site / "odd.name").string()), "Where:\r\npath\r\n\r\n");
  EXPECT_EQ(LoadVarFileText("missing", site.path().string()), "");
}

}  // namespace
}  // namespace pix
