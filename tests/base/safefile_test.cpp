#include "base/safefile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace pix {
namespace {

std::size_t EntryCount(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(SafeFileTest, ReplacesContentsAndKeepsPermissions) {
  test::TempDir dir;
  const auto target = dir / "page.html";
  test::WriteFile(target, "old");
  ::chmod(target.c_str(), 0640);
  ASSERT_TRUE(WriteFileAtomically(target, "new contents").ok());
  EXPECT_EQ(test::ReadFile(target), "new contents");
  struct stat info;
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(EntryCount(dir.path()), 1u) << "no temporary file is left";
}

TEST(SafeFileTest, NewFilesAreReadableLikeOrdinaryFiles) {
  test::TempDir dir;
  const mode_t old = ::umask(022);
  ASSERT_TRUE(WriteFileAtomically(dir / "new.txt", "").ok());
  ::umask(old);
  struct stat info;
  ASSERT_EQ(::stat((dir / "new.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  EXPECT_EQ(info.st_size, 0);
}

TEST(SafeFileTest, AbandonedReplacementLeavesTheOldFileAlone) {
  test::TempDir dir;
  const auto target = dir / "picture.jpg";
  test::WriteFile(target, "original");
  {
    Result<TTempFileBeside> temp = TTempFileBeside::Create(target);
    ASSERT_TRUE(temp.ok());
    std::fputs("half of a new fi", temp->File());
    EXPECT_EQ(temp->TempPath().parent_path(), dir.path());
    ASSERT_TRUE(temp->Close().ok());
    EXPECT_EQ(EntryCount(dir.path()), 2u);
  }
  EXPECT_EQ(test::ReadFile(target), "original");
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(SafeFileTest, MissingFolderIsReportedWithItsPath) {
  test::TempDir dir;
  const Status status = WriteFileAtomically(dir / "no" / "such" / "file", "x");
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("no/such/file"), std::string::npos);
}

TEST(WriteFileAtomicallyTest, ALinkedFileIsWrittenWhereItLivesAndTheLinkStays) {
  test::TempDir dir;
  test::WriteFile(dir / "real" / "pixamond.ini", "[A]\nK=1\n");
  std::filesystem::create_symlink(dir / "real" / "pixamond.ini", dir / "pixamond.ini");
  ASSERT_TRUE(WriteFileAtomically(dir / "pixamond.ini", "[A]\nK=2\n").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "pixamond.ini"));
  EXPECT_EQ(test::ReadFile(dir / "real" / "pixamond.ini"), "[A]\nK=2\n");
}

}  // namespace
}  // namespace pix
