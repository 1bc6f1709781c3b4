#include "base/safereplace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace pix {
namespace {

class SafeReplaceTest : public testing::Test {
 protected:
  std::size_t FilesInDir() const { return test::CountEntries(dir_.path()); }

  static Status WriteText(std::FILE* out, const std::string& text) {
    std::fputs(text.c_str(), out);
    return Status::OK();
  }

  test::TempDir dir_;
  std::filesystem::path target_ = dir_ / "picture.gif";
};

TEST_F(SafeReplaceTest, CheckedNewFileReplacesTheOld) {
  test::WriteFile(target_, "old");
  std::string seen;
  const Status status = ReplaceFileSafely(
      target_, [](std::FILE* out) { return WriteText(out, "new"); },
      [&](const std::filesystem::path& new_file) {
        seen = test::ReadFile(new_file);             // complete before it is checked
        EXPECT_EQ(test::ReadFile(target_), "old");  // and the old one still in place
        return Status::OK();
      });
  EXPECT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(seen, "new");
  EXPECT_EQ(test::ReadFile(target_), "new");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(SafeReplaceTest, AnyFailureKeepsTheOldFileAndLeavesNoTemporaryFile) {
  test::WriteFile(target_, "old");
  const auto fail = [](std::FILE*) { return Status::Corrupt("damaged input"); };
  EXPECT_EQ(ReplaceFileSafely(target_, fail).message(), "damaged input");

  const auto empty = [](std::FILE*) { return Status::OK(); };
  EXPECT_EQ(ReplaceFileSafely(target_, empty).code(), Status::Code::kIoError);

  const auto reject = [](const std::filesystem::path&) { return Status::Corrupt("bad copy"); };
  EXPECT_EQ(ReplaceFileSafely(
                target_, [](std::FILE* out) { return WriteText(out, "new"); }, reject)
                .message(),
            "bad copy");

  EXPECT_EQ(test::ReadFile(target_), "old");
  EXPECT_EQ(FilesInDir(), 1u);
  EXPECT_FALSE(ReplaceFileSafely(dir_ / "no" / "such" / "dir.gif", empty).ok());
}

TEST_F(SafeReplaceTest, UserFileThatChangesWhileItIsRewrittenIsLeftAsItNowIs) {
  // Someone makes the file read-only, or writes into it, while its new version is written.
  const std::vector<std::pair<std::function<void()>, std::string>> interferences = {
      {[&] { ::chmod(target_.c_str(), 0444); }, "old"},
      {[&] { test::WriteFile(target_, "edited meanwhile"); }, "edited meanwhile"}};
  for (const auto& [interfere, expected] : interferences) {
    ::chmod(target_.c_str(), 0644);
    test::WriteFile(target_, "old");
    Result<UserFileTarget> judged = CheckUserFileRewrite(target_, SymlinkRule::kRefuse);
    ASSERT_TRUE(judged.ok()) << judged.status().message();
    const Status status = ReplaceUserFileSafely(*judged, [&](std::FILE* out) {
      interfere();
      return WriteText(out, "new");
    });
    EXPECT_EQ(status.code(), Status::Code::kRefused);
    EXPECT_EQ(status.message(),
              target_.string() + " changed while it was being rewritten; it is left as it is");
    EXPECT_EQ(test::ReadFile(target_), expected);
    EXPECT_EQ(FilesInDir(), 1u);
  }
}

TEST_F(SafeReplaceTest, UserFileThatDoesNotExistYetIsCreated) {
  Result<UserFileTarget> judged = CheckUserFileRewrite(target_, SymlinkRule::kRefuse);
  ASSERT_TRUE(judged.ok());
  EXPECT_FALSE(judged->exists);
  ASSERT_TRUE(
      ReplaceUserFileSafely(*judged, [](std::FILE* out) { return WriteText(out, "new"); }).ok());
  EXPECT_EQ(test::ReadFile(target_), "new");
  // A directory in its place is no file to replace.
  std::filesystem::create_directory(dir_ / "folder.gif");
  EXPECT_EQ(
      CheckUserFileRewrite(dir_ / "folder.gif", SymlinkRule::kWriteThrough).status().message(),
      (dir_ / "folder.gif").string() + " is a directory, not a regular file; it is left as it is");
}

}  // namespace
}  // namespace pix
