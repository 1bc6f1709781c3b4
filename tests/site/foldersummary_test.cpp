#include "site/foldersummary.h"

#include <gtest/gtest.h>

namespace pix {
namespace {

FolderSummary FullSummary() {
  FolderSummary summary;
  summary.entry_count = 3;
  summary.file_link_count = 2;
  summary.listed_file_link_count = 5;
  summary.total_file_size = 123456789012;
  summary.main_image_name = "inline/p1.gif";
  summary.main_image_srcset = "inline/1x/p1.jpg 1x, inline/p1.jpg 2x";
  summary.album_zip_link = "inline/trip.zip";
  summary.album_zip_name = "trip.zip";
  summary.album_zip_size = 4096;
  summary.page_variables = {{"PageCount", "", false}, {"ParentPageLabel", "${PageLabel}", true}};
  summary.outputs = {{"p1.html", OutputKind::kPage, {10, 20, 30, 40}},
                     {"inline", OutputKind::kFolder, {4096, -5, 6, 7}}};
  summary.folder_stamp = {4096, 1, 2, 3};
  summary.pictures = 2;
  summary.pages = 3;
  summary.inline_images = 2;
  return summary;
}

TEST(FolderSummaryTest, ComesBackAsNotedAndOnlyWhole) {
  const std::string bytes = FormatFolderSummary(FullSummary());
  const std::optional<FolderSummary> read = ParseFolderSummary(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(FormatFolderSummary(*read), bytes);
  EXPECT_EQ(read->main_image_name, "inline/p1.gif");
  ASSERT_EQ(read->page_variables.size(), 2u);
  EXPECT_TRUE(read->page_variables[1].expands_above);
  ASSERT_EQ(read->outputs.size(), 2u);
  EXPECT_EQ(read->outputs[1].kind, OutputKind::kFolder);
  EXPECT_EQ(read->outputs[1].stamp, (FileStamp{4096, -5, 6, 7}));
  // Without a main image, the page above lists the folder without one.
  FolderSummary bare;
  EXPECT_FALSE(ParseFolderSummary(FormatFolderSummary(bare))->main_image_name);

  // A record damaged or written by another version: never a summary, never a crash.
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(ParseFolderSummary(bytes.substr(0, size))) << size;
  }
  EXPECT_FALSE(ParseFolderSummary(bytes + "x"));
  std::string other_kind = bytes;
  other_kind[other_kind.find("p1.html") + 7] = 9;  // the first output's kind, out of range
  EXPECT_FALSE(ParseFolderSummary(other_kind));
  // An empty summary ends with the count of variables, that of outputs, the folder's stamp
  // and three counts, eight bytes each: a count of variables larger than the bytes left.
  std::string huge_count = FormatFolderSummary(FolderSummary());
  huge_count.replace(huge_count.size() - 8 * 9, 8, std::string(8, '\xff'));
  EXPECT_FALSE(ParseFolderSummary(huge_count));
}

}  // namespace
}  // namespace pix
