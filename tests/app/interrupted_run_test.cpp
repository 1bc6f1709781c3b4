// The real `pixamond generate`, stopped at a random moment of its work: killed outright
// (SIGKILL), or interrupted from the keyboard (SIGINT), which must take its temporary files
// with it. Whatever moment it was, the next run ends well, leaves no temporary file in the
// site, and the site holds what a clean run writes. Two runs started at once on one site
// both end; one of them may refuse, with one line and exit status 1, and the site is whole.
//
// The moments are spread over the length of one complete run, measured first, so that they
// fall at many points of it on any machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/safefile.h"
#include "files/layouthome.h"
#include "support/build_paths.h"
#include "support/picture_builder.h"
#include "support/repeats.h"
#include "support/site_files.h"
#include "support/temp_dir.h"

extern char** environ;

namespace pix {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr unsigned kSeed = 20240611;
constexpr int kPictures = 40;
const char kAnotherRun[] = "another run is writing this site";

// Starts `pixamond generate SITE --home HOME --name Test --quiet` with no input, its
// standard error going to `errors`; the process id, or -1.
pid_t StartGenerate(const fs::path& site, const fs::path& home, const fs::path& errors) {
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  std::vector<std::string> args = {test::kProgramPath, "generate", site.string(), "--home",
                                   home.string(),    "--name",   "Test",        "--quiet"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, test::kProgramPath, &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(failed, 0) << "cannot start " << test::kProgramPath;
  return failed == 0 ? pid : -1;
}

// Waits for `pid` to end: its exit status, or 128 + the signal that ended it, as a shell
// gives it.
int WaitFor(pid_t pid) {
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Sends `signal` to the run after `delay` (a run that has ended by then is not yet reaped,
// so the signal cannot reach another process) and waits for it to end.
int StopAfter(pid_t pid, int signal, std::chrono::microseconds delay) {
  std::this_thread::sleep_for(delay);
  if (pid > 0) ::kill(pid, signal);
  return WaitFor(pid);
}

// The pictures, the layout home and what a clean run writes for them, made once for all
// cases: forty pictures in three folders, with JPEG inline images and detail images, so
// that a run has work enough to be stopped in the middle of it.
struct SharedSite {
  SharedSite() {
    EXPECT_TRUE(PrepareLayoutHome(home.path(), test::kSourceDataDir).ok());
    test::WriteFile(home / "pixamond.ini",
                    "[HTMLDefaults]\nPersonFullName=Test\n[FileExtensions]\nInLineFileExt=jpg\n"
                    "[Display]\nDetailImageMaxSize=200\n");
    const char* const folders[] = {"", "north", "south/coast"};
    for (int i = 0; i < kPictures; ++i) {
      const fs::path picture = input / folders[i % 3] / ("photo" + std::to_string(i) + ".jpg");
      const bool wide = i % 4 != 0;
      test::WriteJpegPicture(
          picture, wide ? 400 : 300, wide ? 300 : 400,
          i % 5 ? "" : "ImageDescription:\r\nNumber " + std::to_string(i) + "\r\n\r\n");
    }
    const fs::path site = NewSite(clean);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(WaitFor(StartGenerate(site, home.path(), clean / "errors")), 0)
        << test::ReadFile(clean / "errors");
    run_time = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    expected = test::VisibleFiles(site);
    EXPECT_GT(expected.size(), 3u * kPictures);
  }

  // A fresh copy of the pictures in `parent`, in a folder named as the clean run's (pages
  // show the folder's name).
  fs::path NewSite(const test::TempDir& parent) const {
    fs::copy(input.path(), parent / "site", fs::copy_options::recursive);
    return parent / "site";
  }

  test::TempDir input;
  test::TempDir home;
  test::TempDir clean;
  std::chrono::microseconds run_time{};
  std::map<std::string, std::string> expected;
};

class InterruptedRunTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { shared_ = std::make_unique<SharedSite>(); }
  static void TearDownTestSuite() { shared_.reset(); }

  // A moment within one complete run.
  std::chrono::microseconds RandomMoment() {
    return std::chrono::microseconds(
        std::uniform_int_distribution<long long>(0, shared_->run_time.count())(random_));
  }

  // Runs the generator normally on `site`, then checks that it ended well and left the site
  // a clean run writes, without a temporary file.
  void ExpectRerunFinishes(const fs::path& site) {
    const fs::path errors = site.parent_path() / "rerun-errors";
    EXPECT_EQ(WaitFor(StartGenerate(site, shared_->home.path(), errors)), 0)
        << test::ReadFile(errors);
    ExpectFinishedSite(site);
  }

  void ExpectFinishedSite(const fs::path& site) {
    EXPECT_EQ(test::TemporaryFilesBelow(site), std::vector<std::string>());
    EXPECT_EQ(test::DescribeDifferences(test::VisibleFiles(site), shared_->expected), "");
  }

  static std::unique_ptr<SharedSite> shared_;
  std::mt19937 random_{kSeed};
};

std::unique_ptr<SharedSite> InterruptedRunTest::shared_;

TEST_F(InterruptedRunTest, AKilledRunIsFinishedByTheNextRun) {
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  for (int round = 0; round < test::Repeats(8); ++round) {
    test::TempDir parent;
    const fs::path site = shared_->NewSite(parent);
    // One kill, or a second one in the run that follows the first.
    std::string moments;
    for (int kill = 0; kill <= round % 2; ++kill) {
      const std::chrono::microseconds moment = RandomMoment();
      moments += " " + std::to_string(moment.count() / 1000) + " ms";
      StopAfter(StartGenerate(site, shared_->home.path(), parent / "errors"), SIGKILL, moment);
    }
    SCOPED_TRACE("round " + std::to_string(round) + ", killed after" + moments);
    ExpectRerunFinishes(site);
  }
}

TEST_F(InterruptedRunTest, AnInterruptedRunTakesItsTemporaryFilesWithIt) {
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  for (int round = 0; round < test::Repeats(6); ++round) {
    test::TempDir parent;
    const fs::path site = shared_->NewSite(parent);
    const std::chrono::microseconds moment = RandomMoment();
    SCOPED_TRACE("round " + std::to_string(round) + ", interrupted after " +
                 std::to_string(moment.count() / 1000) + " ms");
    const int status =
        StopAfter(StartGenerate(site, shared_->home.path(), parent / "errors"), SIGINT, moment);
    EXPECT_TRUE(status == 0 || status == 128 + SIGINT)
        << status << "; the run said: " << test::ReadFile(parent / "errors");
    EXPECT_EQ(test::TemporaryFilesBelow(site), std::vector<std::string>()) << "before any rerun";
    ExpectRerunFinishes(site);
  }
}

TEST_F(InterruptedRunTest, TwoRunsAtOnceEndAndAtMostOneRefusesTheSite) {
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  for (int round = 0; round < test::Repeats(4); ++round) {
    test::TempDir parent;
    const fs::path site = shared_->NewSite(parent);
    // The second starts with the first, or a little later, when the first is at work.
    const std::chrono::microseconds later =
        round == 0 ? std::chrono::microseconds(0) : RandomMoment() / 2;
    SCOPED_TRACE("round " + std::to_string(round) + ", the second started after " +
                 std::to_string(later.count() / 1000) + " ms");
    const pid_t first = StartGenerate(site, shared_->home.path(), parent / "first-errors");
    std::this_thread::sleep_for(later);
    const pid_t second = StartGenerate(site, shared_->home.path(), parent / "second-errors");
    const int statuses[] = {WaitFor(first), WaitFor(second)};
    const std::string errors[] = {test::ReadFile(parent / "first-errors"),
                                  test::ReadFile(parent / "second-errors")};
    EXPECT_FALSE(statuses[0] != 0 && statuses[1] != 0) << "both failed:\n"
                                                       << errors[0] << "\n"
                                                       << errors[1];
    for (int run = 0; run < 2; ++run) {
      if (statuses[run] == 0) continue;
      EXPECT_EQ(statuses[run], 1) << errors[run];
      EXPECT_NE(errors[run].find(kAnotherRun), std::string::npos) << errors[run];
    }
    ExpectFinishedSite(site);
  }
}

}  // namespace
}  // namespace pix
