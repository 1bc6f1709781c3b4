#include "files/utils.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace pix {
namespace {

TEST(ExtractTagTextTest, FindsTheElementWhateverTheCaseOfItsTagsOrGivesNothing) {
  EXPECT_EQ(ExtractTagText("<html><TITLE>Holiday</title></html>", "title"), "Holiday");
  EXPECT_EQ(ExtractTagText("<title>Holiday</TITLE>", "TITLE"), "Holiday");
  // Attributes are skipped; without a closing tag the text runs to the end.
  EXPECT_EQ(ExtractTagText("<H1 class=\"big\">Label</H1>", "H1"), "Label");
  EXPECT_EQ(ExtractTagText("<head><title>Open\r\nrest", "TITLE"), "Open\r\nrest");
  // Nothing without a start tag or its end.
  EXPECT_EQ(ExtractTagText("<p>no title here</p>", "title"), std::nullopt);
  EXPECT_EQ(ExtractTagText("text <title", "title"), std::nullopt);
  EXPECT_EQ(ExtractTagText("", "h1"), std::nullopt);
}

TEST(TextFileTest, ReadsBytesExactlyAndNothingForMissingFilesOrFolders) {
  test::TempDir dir;
  const std::string bytes("A:\r\n\0\xff\x80z", 8);
  test::WriteFile(dir / "v.txt", bytes);
  EXPECT_EQ(ReadTextFile(dir / "v.txt").value(), bytes);
  EXPECT_EQ(ReadTextFile(dir / "none.txt").status().code(), Status::Code::kNotFound);
  EXPECT_EQ(ReadTextFile(dir.path()).status().code(), Status::Code::kNotFound)
      << "a folder is not a text file";
}

TEST(NameHelpersTest, CompareWithoutRegardToCase) {
  EXPECT_TRUE(StartsWithNoCase("<TITLE>x", "<title"));
  EXPECT_FALSE(StartsWithNoCase("<TI", "<title"));
  EXPECT_TRUE(DoesStringEndMatch("IMG_1.JPG", ".jpg"));
  EXPECT_FALSE(DoesStringEndMatch("g", ".gif")) << "shorter than the suffix";
  EXPECT_TRUE(EqualsNoCase("PageTitle", "pagetitle"));
  EXPECT_FALSE(EqualsNoCase("\xe9", "\xc9")) << "only ASCII letters fold";
}

std::vector<std::string> Tokens(std::string_view text) {
  StringTokenList list(text, ',');
  std::vector<std::string> tokens;
  while (auto token = list.GetNextToken()) tokens.emplace_back(*token);
  return tokens;
}

TEST(StringTokenListTest, RunsOfSeparatorsActAsOneButALeadingOneEndsTheList) {
  EXPECT_EQ(Tokens("a,,b"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Tokens("img00001,photo0000,miscpics,"),
            (std::vector<std::string>{"img00001", "photo0000", "miscpics"}));
  EXPECT_EQ(Tokens(" a , b"), (std::vector<std::string>{" a ", " b"})) << "not trimmed";
  EXPECT_TRUE(Tokens(",a").empty());
  EXPECT_TRUE(Tokens("").empty());
}

}  // namespace
}  // namespace pix
