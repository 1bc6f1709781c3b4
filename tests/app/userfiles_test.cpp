// A user's files are the user's: a tree of pictures, captions, a page of the user's own, a
// folder of the user's named like the inline folder, read-only and linked pictures, run
// through every setting that once let a run write where it should not. Every file that was
// there before keeps its bytes, its mode and what its links point to, whatever the settings
// say; what a run refuses it says in one line each.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <sstream>

#include "app/commandline.h"
#include "support/command_run.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// What a file is: its bytes (or a link's target) and its mode.
struct FileState {
  std::string contents;
  unsigned mode = 0;
  bool operator==(const FileState& o) const { return contents == o.contents && mode == o.mode; }
};

std::map<std::string, FileState> Snapshot(const fs::path& root) {
  std::map<std::string, FileState> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat info;
    if (::lstat(entry.path().c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
    FileState state;
    state.mode = info.st_mode;
    state.contents = S_ISLNK(info.st_mode) ? fs::read_symlink(entry.path()).string()
                                            : test::ReadFile(entry.path());
    files.emplace(fs::relative(entry.path(), root).string(), std::move(state));
  }
  return files;
}

void WriteUserTree(const fs::path& site, const fs::path& elsewhere) {
  test::WriteJpegPicture(site / "beach.jpg", 64, 48, "ImageDescription:\r\nBeach\r\n\r\n");
  test::WriteFile(site / "beach.txt", "DetailPageTitle:\r\nThe beach\r\n\r\n");
  test::WriteFile(site / "notes.html", "<html><body>My own page</body></html>\n");
  test::WriteFile(site / "notes.txt", "a caption file's neighbour");
  // Read-only pictures: a JPEG, and an interlaced GIF a run would like to rewrite.
  test::WriteJpegPicture(site / "kept.jpg", 40, 30, "");
  test::WriteGifPicture(site / "map.gif", 32, 24, /*interlaced=*/true);
  fs::permissions(site / "kept.jpg", fs::perms(0444));
  fs::permissions(site / "map.gif", fs::perms(0444));
  // An interlaced GIF with a second hard link, and a picture linked in from elsewhere.
  test::WriteGifPicture(site / "anim.gif", 20, 20, /*interlaced=*/true);
  fs::create_hard_link(site / "anim.gif", elsewhere / "anim-copy.gif");
  test::WriteJpegPicture(elsewhere / "real.jpg", 50, 50, "");
  fs::create_symlink(elsewhere / "real.jpg", site / "linked.jpg");
  // The user's own folder named like the inline folder, and one in another case.
  test::WriteGifPicture(site / "inline" / "beach.gif", 16, 16, /*interlaced=*/false);
  test::WriteFile(site / "inline" / "readme.txt", "my own thumbnails");
  test::WriteJpegPicture(site / "trip" / "Inline" / "x.jpg", 30, 30, "");
  test::WriteJpegPicture(site / "trip" / "day.jpg", 30, 30, "");
}

TEST(UserFilesTest, EverySettingKeepsEveryFileOfTheUsersAndSaysWhatItRefused) {
  test::TempDir home;
  test::TempDir site;
  test::TempDir elsewhere;
  WriteUserTree(site.path(), elsewhere.path());
  const auto site_before = Snapshot(site.path());
  const auto elsewhere_before = Snapshot(elsewhere.path());

  // Each setting with the word its refusal must name.
  const std::vector<std::pair<std::string, std::string>> settings = {
      {"", ""},
      {"[FileExtensions]\nPageDOSFileExt=jpg\n", "PageDOSFileExt"},
      {"[FileExtensions]\nPageDOSFileExt=GIF\n", "PageDOSFileExt"},
      {"[FileExtensions]\nPageDOSFileExt=txt\n", "PageDOSFileExt"},
      {"[Files]\nInLineSubDirName=.\n", "InLineSubDirName"},
      {"[Files]\nInLineSubDirName=..\n", "InLineSubDirName"},
      {"[Files]\nInLineSubDirName=../../x\n", "InLineSubDirName"},
      {"[FileExtensions]\nInLineFileExt=png\n", "InLineFileExt"},
      {"[AutoOrganizeLayout]\nDeleteHTMLFirst=Yes\n", "notes.html"},
      {"[Display]\nMaxDisplayWidth=65535\n", "MaxDisplayWidth"},
  };
  for (const auto& [ini, refusal] : settings) {
    SCOPED_TRACE(ini);
    test::WriteFile(home / "pixamond.ini", "[HTMLDefaults]\nPersonFullName=Ann\n" + ini);
    const test::CommandRun run = test::RunCommand(
        {"generate", site.path().string(), "--home", home.path().string(), "--quiet"});
    EXPECT_NE(run.status, kExitUsage) << run.messages;

    const auto site_after = Snapshot(site.path());
    for (const auto& [name, state] : site_before) {
      const auto now = site_after.find(name);
      ASSERT_NE(now, site_after.end()) << name << " is gone";
      EXPECT_TRUE(now->second == state) << name << " was changed";
    }
    EXPECT_TRUE(Snapshot(elsewhere.path()) == elsewhere_before);
    // The folder of the user's holds nothing new.
    EXPECT_EQ(test::CountEntries(site / "trip" / "Inline"), 4u)
        << "x.jpg, its page, the album's index page and its own inline folder";

    // One line for each thing refused, and the setting that was refused among them.
    std::istringstream lines(run.messages);
    for (std::string line; std::getline(lines, line);) EXPECT_FALSE(line.empty());
    if (!refusal.empty()) {
      EXPECT_NE(run.messages.find(refusal), std::string::npos) << run.messages;
    }
    EXPECT_NE(run.messages.find("map.gif"), std::string::npos) << "the read-only GIF is named";
    EXPECT_NE(run.messages.find("holds files of yours"), std::string::npos);
  }
}

}  // namespace
}  // namespace pix
