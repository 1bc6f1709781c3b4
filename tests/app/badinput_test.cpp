// A generation run over a tree of good pictures and every kind of bad one, through the
// command line: a page and an inline image for each good picture, one report naming each
// bad file, exit status 1, and every bad file left exactly as it was.
#include <gtest/gtest.h>

#include <sstream>

#include "app/badinput_tree.h"
#include "app/commandline.h"
#include "support/command_run.h"
#include "support/site_files.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// The number of lines of `text` that name `path` (a report may name it twice).
int CountLinesNaming(const std::string& text, const std::string& path) {
  int count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    count +=
        line.find(path + ":") != std::string::npos || line.find(path + " ") != std::string::npos;
  }
  return count;
}

TEST(BadInputTest, GenerateMakesTheGoodPicturesAndReportsEachBadOneOnce) {
  test::TempDir home;
  test::TempDir site;
  // The design's defaults (GIF inline images), not the settings a new home is given.
  test::WriteFile(home / "pixamond.ini", "");
  const std::vector<test::TreeFile> tree = test::BadInputTree();
  for (const test::TreeFile& file : tree) test::WriteFile(site / file.name, file.bytes);

  const test::CommandRun run = test::RunCommand({"generate", site.path().string(), "--home",
                                                 home.path().string(), "--name", "Ann", "--quiet"});
  const std::string& report = run.messages;
  EXPECT_EQ(run.status, kExitReported) << report;

  for (const test::TreeFile& file : tree) {
    const fs::path path = site / file.name;
    const fs::path inline_image =
        path.parent_path() / "inline" / path.filename().replace_extension(".gif");
    if (file.good) {
      EXPECT_EQ(CountLinesNaming(report, path.string()), 0) << file.name << "\n" << report;
      EXPECT_TRUE(fs::exists(path.parent_path() / path.filename().replace_extension(".html")))
          << file.name;
      EXPECT_TRUE(fs::exists(inline_image)) << file.name;
    } else {
      EXPECT_EQ(CountLinesNaming(report, path.string()), 1) << file.name << "\n" << report;
      EXPECT_EQ(test::ReadFile(path), file.bytes) << file.name << " was changed";
      EXPECT_FALSE(fs::exists(inline_image)) << file.name;
    }
  }
  // No temporary file of the run is left anywhere in the tree.
  EXPECT_EQ(test::TemporaryFilesBelow(site.path()), std::vector<std::string>());
}

}  // namespace
}  // namespace pix
