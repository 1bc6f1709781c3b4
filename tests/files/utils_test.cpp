#include "files/utils.h"

#include <gtest/gtest.h>


#include "support/temp_dir.h"

namespace pix {
namespace {

TEST(AppendWithSepTest, JoinsWithoutDoublingTheSeparator) {
  std::string path = "/pics/";
  EXPECT_EQ(AppendWithSep(path, '/', "/a.jpg"), 6u);
  EXPECT_EQ(path, "/pics/a.jpg");

  path = "/pics";
  AppendWithSep(path, '/', "a.jpg");
  EXPECT_EQ(path, "/pics/a.jpg");

  path = "";
  EXPECT_EQ(AppendWithSep(path, '/', "/a.jpg"), 0u);
  EXPECT_EQ(path, "/a.jpg") << "an empty destination takes the text unchanged";

  std::string list = "a";
  AppendWithSep(list, ',', "b");
  EXPECT_EQ(list, "a,b");
}

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

TEST(TextFileTest, FileQueriesTellFilesFromFolders) {
  test::TempDir dir;
  test::WriteFile(dir / "f.jpg", std::string(1536, 'x'));
  EXPECT_TRUE(FileExists(dir / "f.jpg"));
  EXPECT_FALSE(FileExists(dir.path()));
  EXPECT_FALSE(FileExists(dir / "none"));
  EXPECT_TRUE(IsDirectoryPath(dir.path()));
  EXPECT_FALSE(IsDirectoryPath(dir / "f.jpg"));
  EXPECT_EQ(GetFileSizeOf(dir / "f.jpg"), 1536u);
  EXPECT_EQ(GetFileSizeOf(dir / "none"), std::nullopt);
  EXPECT_TRUE(GetFileWriteTime(dir / "f.jpg").has_value());
  EXPECT_FALSE(GetFileWriteTime(dir / "none").has_value());
}

TEST(NameHelpersTest, CompareWithoutRegardToCase) {
  EXPECT_TRUE(StartsWithNoCase("<TITLE>x", "<title"));
  EXPECT_FALSE(StartsWithNoCase("<TI", "<title"));
  EXPECT_TRUE(DoesStringEndMatch("IMG_1.JPG", ".jpg"));
  EXPECT_FALSE(DoesStringEndMatch("g", ".gif")) << "shorter than the suffix";
  EXPECT_TRUE(EqualsNoCase("PageTitle", "pagetitle"));
  EXPECT_FALSE(EqualsNoCase("\xe9", "\xc9")) << "only ASCII letters fold";
}

TEST(NameHelpersTest, EditPathsInPlace) {
  std::string path = "/site/pics///";
  StripTrailingChar(path, '/');
  EXPECT_EQ(path, "/site/pics");
  CutAfterLastSlash(path);
  EXPECT_EQ(path, "/site/");
  std::string plain = "name";
  CutAfterLastSlash(plain);
  EXPECT_EQ(plain, "name");
  std::string text = "a#b#c";
  ReplaceChar(text, '#', '0');
  EXPECT_EQ(text, "a0b0c");
  EXPECT_TRUE(IsFileSystemRoot("/"));
  EXPECT_FALSE(IsFileSystemRoot("//"));
  EXPECT_FALSE(IsFileSystemRoot("/home"));
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
