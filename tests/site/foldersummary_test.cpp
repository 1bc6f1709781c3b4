#include "site/foldersummary.h"

#include <gtest/gtest.h>

#include <cstdint>

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
  summary.outputs = {{"p1.html", OutputKind::kPage, {10, 1'700'000'000'000'000'000, 20, 40}},
                     {"p2.html", OutputKind::kPage, {11, INT64_MIN, INT64_MAX, ~0ull}},
                     {"inline", OutputKind::kFolder, {4096, -5, 6, 7}}};
  summary.folder_stamp = {4096, 1, 2, 3};
  summary.feed = {{"trip/p1.html", "trip/inline/p1.gif", "A &amp; B", -1, 64, 48}};
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
  ASSERT_EQ(read->outputs.size(), 3u);
  EXPECT_EQ(read->outputs[1].path, "p2.html");
  EXPECT_EQ(read->outputs[1].stamp, (FileStamp{11, INT64_MIN, INT64_MAX, ~0ull}));
  EXPECT_EQ(read->outputs[2].kind, OutputKind::kFolder);
  EXPECT_EQ(read->outputs[2].stamp, (FileStamp{4096, -5, 6, 7}));
  ASSERT_EQ(read->feed.size(), 1u);
  EXPECT_EQ(read->feed[0].title_html, "A &amp; B");
  EXPECT_EQ(read->feed[0].time_ns, -1);
  // Without a main image, the page above lists the folder without one.
  FolderSummary bare;
  EXPECT_FALSE(ParseFolderSummary(FormatFolderSummary(bare))->main_image_name);

  // A record damaged or written by another version: never a summary that is not whole,
  // never a crash.
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(ParseFolderSummary(bytes.substr(0, size))) << size;
  }
  EXPECT_FALSE(ParseFolderSummary(bytes + "x"));
  // Any byte changed: taken or refused, and read within its bounds either way, as the
  // address sanitizer lane checks. A name never grows past what the bytes hold.
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (const char value : {'\x00', '\x07', '\x7f', '\xff'}) {
      std::string changed = bytes;
      changed[at] = value;
      if (const std::optional<FolderSummary> changed_read = ParseFolderSummary(changed)) {
        for (const FolderSummary::Output& output : changed_read->outputs) {
          EXPECT_LE(output.path.size(), changed.size()) << at;
        }
      }
    }
  }
}

}  // namespace
}  // namespace pix
