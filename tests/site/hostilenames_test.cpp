// Hostile names and trees through a whole generation run: names with blanks, quotes, "<",
// "&", "#", bytes above 127 and leading dashes; a tree deeper than anyone would make; a
// symbolic link that leads back up the tree; a directory the run may not write into; and a
// disk that fills up (a file size limit on the process: every write past it fails).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "app/commandline.h"
#include "picture/comwrite.h"
#include "support/command_run.h"
#include "support/picture_builder.h"
#include "support/site_files.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

test::CommandRun Generate(const fs::path& site, const fs::path& home) {
  return test::RunCommand(
      {"generate", site.string(), "--home", home.string(), "--name", "Ann", "--quiet"});
}

// Runs `work` in a child process and returns its exit status (-1 when it did not exit).
int InChild(const std::function<int()>& work) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(work());
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class HostileTreeTest : public testing::Test {
 protected:
  // The design's defaults (GIF inline images), not the settings a new home is given.
  HostileTreeTest() { test::WriteFile(home_ / "pixamond.ini", ""); }

  test::TempDir home_;
  test::TempDir site_;
};

TEST_F(HostileTreeTest, NamesWithMarkupQuotesBytesAndDashesGiveWorkingPages) {
  const std::vector<std::string> names = {"it's \"quoted\".jpg",
                                          "a <b> & c.jpg",
                                          "50% #1?.jpg",
                                          "caf\xE9 \xC3\xA9t\xC3\xA9.jpg",
                                          "-rf.jpg",
                                          "--help.jpg",
                                          "  blanks  .jpg"};
  for (const std::string& name : names) test::WriteJpegPicture(site_ / name, 30, 20, "");
  test::WriteJpegPicture(site_ / "-dir" / "inner.jpg", 30, 20, "");
  const test::CommandRun run = Generate(site_.path(), home_.path());
  ASSERT_EQ(run.status, kExitOk) << run.messages;
  const std::string index = test::ReadFile(site_ / "index.html");
  for (const std::string& name : names) {
    const fs::path page = (site_ / name).replace_extension(".html");
    EXPECT_TRUE(fs::exists(page)) << name;
    EXPECT_TRUE(fs::exists((site_ / "inline" / name).replace_extension(".gif"))) << name;
  }
  EXPECT_EQ(index.find("<b>"), std::string::npos) << "a name was written as markup";
  EXPECT_NE(index.find("href=\"50%25%20%231%3F.html\""), std::string::npos) << index;
  EXPECT_NE(index.find("it&#39;s &quot;quoted&quot;"), std::string::npos) << index;
  EXPECT_TRUE(fs::exists(site_ / "-dir" / "inner.html"));

  // A picture whose name starts with a dash is a picture, not an option, to the comment
  // command once its path is given.
  const test::CommandRun comment = test::RunCommand({"comment", (site_ / "-rf.jpg").string()});
  EXPECT_EQ(comment.status, kExitOk) << comment.messages;
}

TEST_F(HostileTreeTest, ADeepTreeAndALinkCycleEnd) {
  fs::path deep = site_.path();
  for (int level = 0; level < 60; ++level) deep /= "level";
  test::WriteJpegPicture(deep / "bottom.jpg", 30, 20, "");
  test::WriteJpegPicture(site_ / "top.jpg", 30, 20, "");
  fs::create_directory_symlink(site_.path(), site_ / "loop");
  fs::create_directory_symlink("..", site_ / "level" / "up");

  const test::CommandRun run = Generate(site_.path(), home_.path());
  EXPECT_NE(run.status, kExitUsage) << run.messages;
  EXPECT_TRUE(fs::exists(deep / "bottom.html"));
  EXPECT_TRUE(fs::exists(site_ / "top.html"));
  // Links to directories are listed but never followed, so the cycles are not walked: no
  // page lists them, and the run ends without going round.
  EXPECT_EQ(run.status, kExitOk) << run.messages;
  EXPECT_EQ(test::ReadFile(site_ / "index.html").find("loop/"), std::string::npos);
  EXPECT_EQ(test::ReadFile(site_ / "level" / "index.html").find("up/"), std::string::npos);
}

TEST_F(HostileTreeTest, ADirectoryTheRunMayNotWriteIsReportedAndTheRestIsMade) {
  test::WriteJpegPicture(site_ / "open" / "a.jpg", 30, 20, "");
  test::WriteJpegPicture(site_ / "locked" / "b.jpg", 30, 20, "");
  const std::string locked = test::ReadFile(site_ / "locked" / "b.jpg");
  // Root may write anywhere, so the run goes to an unprivileged user when root runs it.
  const bool root = ::geteuid() == 0;
  constexpr uid_t kNobody = 65534;
  if (root) {
    for (const fs::path& dir : {home_.path(), site_.path()}) {
      ASSERT_EQ(::chown(dir.c_str(), kNobody, kNobody), 0);
      for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0);
      }
    }
  }
  ::chmod((site_ / "locked").c_str(), 0555);
  const int status = InChild([&] {
    if (root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) return 99;
    return Generate(site_.path(), home_.path()).status;
  });
  ::chmod((site_ / "locked").c_str(), 0755);
  EXPECT_EQ(status, kExitReported);
  EXPECT_TRUE(fs::exists(site_ / "open" / "a.html"));
  EXPECT_TRUE(fs::exists(site_ / "open" / "inline" / "a.gif"));
  EXPECT_TRUE(fs::exists(site_ / "index.html"));
  EXPECT_FALSE(fs::exists(site_ / "locked" / "b.html"));
  EXPECT_EQ(test::ReadFile(site_ / "locked" / "b.jpg"), locked);
}

TEST_F(HostileTreeTest, AFullDiskFailsTheWritesAndLosesNothing) {
  test::WriteJpegPicture(site_ / "a.jpg", 640, 480, "Title:\r\nOld\r\n\r\n");
  const std::string picture = test::ReadFile(site_ / "a.jpg");
  ASSERT_GT(picture.size(), 4096u);
  ASSERT_EQ(Generate(site_.path(), home_.path()).status, kExitOk);
  const std::string index = test::ReadFile(site_ / "index.html");
  fs::remove(site_ / "inline" / "a.gif");
  fs::remove(site_ / "a.html");

  // Past 4 KB every write fails, as on a full disk (the signal that would end the process
  // is ignored, so the write itself reports the failure).
  const auto with_full_disk = [](const std::function<int()>& work) {
    return InChild([&] {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      return work();
    });
  };
  EXPECT_EQ(with_full_disk([&] {
              return WriteJpegCommentInPlace(site_ / "a.jpg", "Title:\r\nNew\r\n\r\n").ok() ? 0 : 1;
            }),
            1);
  EXPECT_EQ(test::ReadFile(site_ / "a.jpg"), picture);
  EXPECT_EQ(with_full_disk([&] { return Generate(site_.path(), home_.path()).status; }), kExitReported);
  EXPECT_EQ(test::ReadFile(site_ / "a.jpg"), picture);
  EXPECT_EQ(test::ReadFile(site_ / "index.html"), index) << "a page was half written";
  EXPECT_EQ(test::TemporaryFilesBelow(site_.path()), std::vector<std::string>());
}

}  // namespace
}  // namespace pix
