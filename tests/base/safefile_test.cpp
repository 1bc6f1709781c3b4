#include "base/safefile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/repeats.h"
#include "support/site_files.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

using test::CountEntries;

// Waits for `child` to end: its exit status, or -1 when it did not exit by itself.
int ExitStatusOf(pid_t child) {
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A replaced file keeps its mode, a new one is readable like any file the user makes, no
// temporary file stays, and a missing folder is reported with the path.
TEST(SafeFileTest, ReplacesContentsKeepsPermissionsAndNamesAMissingFolder) {
  test::TempDir dir;
  const auto target = dir / "page.html";
  test::WriteFile(target, "old");
  ::chmod(target.c_str(), 0640);
  const mode_t old = ::umask(022);
  ASSERT_TRUE(WriteFileAtomically(target, "new contents").ok());
  ASSERT_TRUE(WriteFileAtomically(dir / "new.txt", "").ok());
  ::umask(old);
  EXPECT_EQ(test::ReadFile(target), "new contents");
  struct stat info;
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  ASSERT_EQ(::stat((dir / "new.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  EXPECT_EQ(info.st_size, 0);
  EXPECT_EQ(CountEntries(dir.path()), 2u) << "no temporary file is left";
  const Status status = WriteFileAtomically(dir / "no" / "such" / "file", "x");
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("no/such/file"), std::string::npos);
}

TEST(SafeFileTest, AbandonedReplacementLeavesTheOldFileAlone) {
  test::TempDir dir;
  const auto target = dir / "picture.jpg";
  test::WriteFile(target, "original");
  {
    Result<TempFileBeside> temp = TempFileBeside::Create(target);
    ASSERT_TRUE(temp.ok());
    std::fputs("half of a new fi", temp->File());
    EXPECT_EQ(temp->TempPath().parent_path(), dir.path());
    ASSERT_TRUE(temp->Close().ok());
    EXPECT_EQ(CountEntries(dir.path()), 2u);
  }
  EXPECT_EQ(test::ReadFile(target), "original");
  EXPECT_EQ(CountEntries(dir.path()), 1u);
}

// A caller notes what the target is about to hold (its digest, say) between the finished
// file and the rename; should it fail, nothing is replaced.
TEST(SafeFileTest, CommitShowsTheFinishedFileBeforeItReplacesTheTarget) {
  test::TempDir dir;
  const auto target = dir / "inline.gif";
  test::WriteFile(target, "old");
  Result<TempFileBeside> temp = TempFileBeside::Create(target);
  ASSERT_TRUE(temp.ok());
  std::fputs("new contents", temp->File());
  std::string seen;
  ASSERT_TRUE(temp->Commit([&](const std::filesystem::path& finished) {
                    EXPECT_EQ(test::ReadFile(target), "old") << "not replaced yet";
                    seen = test::ReadFile(finished);
                    return Status::OK();
                  })
                  .ok());
  EXPECT_EQ(seen, "new contents");
  EXPECT_EQ(test::ReadFile(target), seen);
  EXPECT_EQ(CountEntries(dir.path()), 1u);
}

TEST(SafeFileTest, AFailingHookLeavesTheTargetAndRemovesTheNewFileAtOnce) {
  test::TempDir dir;
  const auto target = dir / "inline.gif";
  const std::string old("GIF87a\0\x01", 8);
  test::WriteFile(target, old);
  Result<TempFileBeside> temp = TempFileBeside::Create(target);
  ASSERT_TRUE(temp.ok());
  std::fputs("new contents", temp->File());
  const Status committed = temp->Commit(
      [](const std::filesystem::path&) { return Status::IoError("The notes cannot be written"); });
  EXPECT_EQ(committed.code(), Status::Code::kIoError);
  EXPECT_EQ(committed.message(), "The notes cannot be written");
  EXPECT_EQ(test::ReadFile(target), old);
  EXPECT_EQ(CountEntries(dir.path()), 1u) << "the new file is gone while its object still lives";
}

TEST(WriteFileAtomicallyTest, ALinkedFileIsWrittenWhereItLivesAndTheLinkStays) {
  test::TempDir dir;
  test::WriteFile(dir / "real" / "pixamond.ini", "[A]\nK=1\n");
  std::filesystem::create_symlink(dir / "real" / "pixamond.ini", dir / "pixamond.ini");
  ASSERT_TRUE(WriteFileAtomically(dir / "pixamond.ini", "[A]\nK=2\n").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "pixamond.ini"));
  EXPECT_EQ(test::ReadFile(dir / "real" / "pixamond.ini"), "[A]\nK=2\n");
}

// Renaming over a pipe, a device or a directory would put a file in its place: a settings
// file linked to /dev/null once replaced the device itself.
TEST(WriteFileAtomicallyTest, OnlyRegularFilesAreReplaced) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "pipe", dir / "pixamond.ini");
  std::filesystem::create_directory(dir / "folder");
  for (const char* name : {"pipe", "pixamond.ini"}) {
    const Status status = WriteFileAtomically(dir / name, "[A]\n");
    EXPECT_EQ(status.message(),
              (dir / "pipe").string() + " is a named pipe, not a regular file; it is not replaced");
  }
  EXPECT_FALSE(WriteFileAtomically(dir / "folder", "x").ok());
  struct stat info;
  ASSERT_EQ(::lstat((dir / "pipe").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
  EXPECT_EQ(CountEntries(dir.path()), 3u) << "no temporary file is left";
}

// Every thread of a run may hold temporary files at the moment it is told to end, and pages
// wait in theirs while the images are made: however many there are, all go, and the files
// they were to replace stay as they were.
TEST(InterruptTest, TheFilesOfManyThreadsAreAllRemovedAndTheRunEndsWith143) {
  constexpr int kThreads = 16;
  constexpr int kFilesEach = 100;
  test::TempDir dir;
  test::WriteFile(dir / "page0-0.html", "old");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstallInterruptCleanup();
    std::atomic<int> ready{0};
    std::atomic<bool> failed{false};
    for (int t = 0; t < kThreads; ++t) {
      std::thread([&, t] {
        // The files stay open in name only: closed, so that the test needs few descriptors.
        std::vector<TempFileBeside> held;
        for (int i = 0; i < kFilesEach; ++i) {
          Result<TempFileBeside> temp = TempFileBeside::Create(
              dir / ("page" + std::to_string(t) + "-" + std::to_string(i) + ".html"));
          if (!temp.ok() || std::fputs("half a page", temp->File()) < 0 ||
              !temp->Close().ok()) {
            failed = true;
            break;
          }
          held.push_back(std::move(temp).value());
        }
        ready.fetch_add(1);
        for (;;) ::pause();  // Holds its files until the interrupt ends the process.
      }).detach();
    }
    while (ready.load() < kThreads) std::this_thread::yield();
    if (failed.load()) ::_exit(1);
    if (test::TemporaryFilesBelow(dir.path()).size() != std::size_t{kThreads} * kFilesEach)
      ::_exit(2);
    ::raise(SIGTERM);
    ::_exit(3);  // Not reached.
  }
  EXPECT_EQ(ExitStatusOf(child), 143);
  EXPECT_EQ(CountEntries(dir.path()), 1u);
  EXPECT_EQ(test::ReadFile(dir / "page0-0.html"), "old");
}

// Two threads create, write and replace files without a pause while the interrupt comes at
// moments spread over their work: whatever step each thread was at, nothing is left behind.
TEST(InterruptTest, NoMomentOfCreatingOrReplacingLeavesAFileBehind) {
  constexpr unsigned kSeed = 20240612;
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  std::mt19937 random(kSeed);
  for (int round = 0; round < test::Repeats(40); ++round) {
    test::TempDir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      InstallInterruptCleanup();
      // A step that fails once the interrupt has begun is of no concern: the process ends.
      auto work = [&dir](int thread) {
        for (int i = 0;; ++i) {
          const auto target =
              dir / ("page" + std::to_string(thread) + "-" + std::to_string(i % 8) + ".html");
          Result<TempFileBeside> temp =
              TempFileBeside::Create(target, TempFileBeside::Durability::kUnsynced);
          if (!temp.ok()) continue;
          std::fputs("a page", temp->File());
          temp->Commit();
        }
      };
      std::thread(work, 1).detach();
      work(0);
    }
    // The first files are in place before the interrupt, so that it finds the threads at work.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((!std::filesystem::exists(dir / "page0-0.html") ||
            !std::filesystem::exists(dir / "page1-0.html")) &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::yield();
    }
    const auto moment =
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 2000)(random));
    std::this_thread::sleep_for(moment);
    ::kill(child, SIGINT);
    SCOPED_TRACE("round " + std::to_string(round) + ", interrupted after " +
                 std::to_string(moment.count()) + " us");
    EXPECT_EQ(ExitStatusOf(child), 130);
    EXPECT_EQ(test::TemporaryFilesBelow(dir.path()), std::vector<std::string>());
  }
}

TEST(InterruptTest, LeftoversAreKnownByTheirPatternAndRemovedOnlyWhenOld) {
  EXPECT_TRUE(IsLeftoverTemporaryName(".index.html.tmp-a1B2c3"));
  EXPECT_FALSE(IsLeftoverTemporaryName(".notes.tmp-abc"));
  EXPECT_FALSE(IsLeftoverTemporaryName("index.html.tmp-a1B2c3"));
  EXPECT_FALSE(IsLeftoverTemporaryName(".index.html.tmp-a1B2c!"));
  test::TempDir dir;
  test::WriteFile(dir / ".a.html.tmp-OLD123", "x");
  test::WriteFile(dir / ".b.html.tmp-NEW123", "x");
  std::filesystem::last_write_time(
      dir / ".a.html.tmp-OLD123",
      std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5));
  EXPECT_TRUE(RemoveLeftoverTemporary(dir / ".a.html.tmp-OLD123"));
  EXPECT_FALSE(RemoveLeftoverTemporary(dir / ".b.html.tmp-NEW123")) << "may be in use";
  EXPECT_TRUE(std::filesystem::exists(dir / ".b.html.tmp-NEW123"));
}

TEST(TempFileBesideTest, TemporaryNamesOfLongTargetsFitTheFileSystem) {
  test::TempDir dir;
  const std::string long_name = std::string(250, 'n') + ".html";
  Result<TempFileBeside> temp = TempFileBeside::Create(dir / long_name);
  ASSERT_TRUE(temp.ok()) << temp.status().message();
  EXPECT_LE(temp->TempPath().filename().string().size(), 255u);
  std::fputs("page", temp->File());
  ASSERT_TRUE(temp->Commit().ok());
  EXPECT_EQ(test::ReadFile(dir / long_name), "page");
}

}  // namespace
}  // namespace pix
