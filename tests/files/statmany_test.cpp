#include "files/statmany.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/site_files.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// Every kind of entry a folder may hold, and names that are not there or cannot be: more
// than one batch of them, so that batches join up.
std::vector<std::string> MakeEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "picture" + std::to_string(i) + ".jpg";
    test::WriteFile(folder / name, std::string(static_cast<std::size_t>(i), 'x'));
    names.push_back(name);
  }
  fs::create_directory(folder / "inline");
  fs::create_symlink(folder / "picture1.jpg", folder / "link.jpg");
  fs::create_symlink(folder / "gone.jpg", folder / "broken.jpg");
  EXPECT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  for (const char* name : {"inline", "link.jpg", "broken.jpg", "pipe", "missing.jpg",
                           "picture1.jpg/below", "inline/missing.gif"}) {
    names.insert(names.begin() + 150, name);
  }
  names.push_back(std::string(300, 'n'));  // Longer than a name may be.
  return names;
}

// The statuses read at once are those fstatat gives one by one, through a ring and without,
// from the current folder and from a folder's descriptor.
TEST(LinkStatusOfManyTest, GivesWhatFstatatGivesForEveryKindOfEntry) {
  test::TempDir folder;
  const std::vector<std::string> names = MakeEntries(folder.path());
  std::vector<std::string> full_paths;
  for (const std::string& name : names) full_paths.push_back((folder / name).string());
  const int dir_fd = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dir_fd, 0);
  for (const bool batches : {true, false}) {
    UseStatusBatchesForTesting(batches);
    for (const auto& [fd, asked] : {std::pair{dir_fd, names}, std::pair{AT_FDCWD, full_paths}}) {
      const std::vector<PathStatus> statuses = LinkStatusOfMany(fd, asked);
      ASSERT_EQ(statuses.size(), asked.size());
      for (std::size_t i = 0; i < asked.size(); ++i) {
        SCOPED_TRACE(asked[i] + (batches ? ", in batches" : ", one by one"));
        struct stat expected {};
        const int error = ::fstatat(fd, asked[i].c_str(), &expected, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
        ASSERT_EQ(statuses[i].error, error);
        if (error != 0) continue;
        const struct stat& got = statuses[i].info;
        EXPECT_EQ(got.st_mode, expected.st_mode);
        EXPECT_EQ(got.st_size, expected.st_size);
        EXPECT_EQ(got.st_ino, expected.st_ino);
        EXPECT_EQ(got.st_dev, expected.st_dev);
        EXPECT_EQ(got.st_nlink, expected.st_nlink);
        EXPECT_EQ(got.st_mtim.tv_sec, expected.st_mtim.tv_sec);
        EXPECT_EQ(got.st_mtim.tv_nsec, expected.st_mtim.tv_nsec);
        EXPECT_EQ(got.st_ctim.tv_nsec, expected.st_ctim.tv_nsec);
      }
    }
  }
  UseStatusBatchesForTesting(true);
  ::close(dir_fd);
  EXPECT_TRUE(LinkStatusOfMany(AT_FDCWD, {}).empty());
}

}  // namespace
}  // namespace pix
