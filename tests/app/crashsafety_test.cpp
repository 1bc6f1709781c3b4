// Crash safety: a process killed (SIGKILL) at any moment while it saves a picture's comment,
// writes the settings file or generates a site leaves every picture and settings file either
// as it was or as it was to become, whole, and every page and inline image either absent or
// complete. The temporary files such a process leaves beside its targets (named
// ".NAME.tmp-XXXXXX") are ignored by the next run: they are neither pictures nor pages, and
// a following save makes a temporary file of its own.
//
// The kill moments are spread over the length of one complete operation, measured first, so
// that they fall at many points of it on any machine; the checks hold for every moment.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>

#include "app/commandline.h"
#include "files/profile.h"
#include "picture/comread.h"
#include "picture/comwrite.h"
#include "picture/gifrsize.h"
#include "support/command_run.h"
#include "support/picture_builder.h"
#include "support/repeats.h"
#include "support/site_files.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Runs `work` in a child process and kills the child after `delay`, unless it ends first.
void RunAndKill(const std::function<void()>& work, std::chrono::microseconds delay) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    work();
    ::_exit(0);
  }
  const Clock::time_point deadline = Clock::now() + delay;
  int status = 0;
  while (Clock::now() < deadline) {
    if (::waitpid(child, &status, WNOHANG) == child) return;
    ::usleep(20);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
}

// How long `work` takes once, at least a millisecond.
std::chrono::microseconds TimeOf(const std::function<void()>& work) {
  const Clock::time_point start = Clock::now();
  work();
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  return std::max(took, std::chrono::microseconds(1000));
}

// Kills of each operation, at moments spread over four times its length (fewer, spread as
// far, when test::Repeats asks for a share).
constexpr int kKills = 40;

// The bytes of a JPEG file from its frame header on: the picture itself, which a comment
// save passes on unchanged (earlier comments stay in front of it).
std::string FromFrameHeader(const std::string& jpeg) {
  const std::size_t frame = jpeg.find("\xFF\xC0");
  return frame == std::string::npos ? std::string() : jpeg.substr(frame);
}

TEST(CrashSafetyTest, AKilledCommentSaveLeavesTheOldOrTheNewPictureWhole) {
  test::TempDir dir;
  const fs::path picture = dir / "picture.jpg";
  test::WriteJpegPicture(picture, 120, 80, "Title:\r\nOld\r\n\r\n");
  const std::string frame = FromFrameHeader(test::ReadFile(picture));
  ASSERT_FALSE(frame.empty());

  // The child saves the two comments in turn, for ever.
  const auto save_for_ever = [&] {
    for (bool next = true;; next = !next) {
      WriteJpegCommentInPlace(picture, next ? "Title:\r\nNew\r\n\r\n" : "Title:\r\nOld\r\n\r\n");
    }
  };
  const auto one_save = TimeOf([&] { WriteJpegCommentInPlace(picture, "Title:\r\nOld\r\n\r\n"); });
  const int kills = test::Repeats(kKills);
  for (int i = 0; i < kills; ++i) {
    RunAndKill(save_for_ever, one_save * (i * kKills / kills) / 10);
    // Whole: the header reads without a complaint, the comment is one of the two, and the
    // picture behind it is the one it always was.
    const JpegHeader info = test::HeaderOf(picture);
    ASSERT_EQ(info.error_count, 0) << "after a kill at " << i;
    ASSERT_TRUE(info.comments == "Title:\r\nOld\r\n\r\n" ||
                info.comments == "Title:\r\nNew\r\n\r\n")
        << info.comments;
    ASSERT_EQ(info.width * 1000 + info.height, 120 * 1000 + 80);
    ASSERT_EQ(FromFrameHeader(test::ReadFile(picture)), frame) << "after a kill at " << i;
  }

  // Whatever the kills left behind, the next save works and leaves nothing of its own.
  const std::vector<std::string> leftovers = test::TemporaryFilesBelow(dir.path());
  ASSERT_TRUE(WriteJpegCommentInPlace(picture, "Title:\r\nLast\r\n\r\n").ok());
  const JpegHeader info = test::HeaderOf(picture);
  EXPECT_EQ(info.comments, "Title:\r\nLast\r\n\r\n");
  EXPECT_EQ(test::TemporaryFilesBelow(dir.path()), leftovers);
}

TEST(CrashSafetyTest, AKilledSettingsWriteLeavesTheOldOrTheNewFileWhole) {
  test::TempDir dir;
  const fs::path ini = dir / "pixamond.ini";
  const std::string start =
      "[HTMLDefaults]\r\nPersonFullName=Ann\r\n\r\n[Display]\r\nMaxDisplayWidth=320\r\n"
      "MaxDisplayHeight=240\r\n\r\n[Files]\r\nPictureEditor=gimp %s\r\n";
  test::WriteFile(ini, start);
  const std::string wide = [&] {
    EXPECT_TRUE(WriteProfileText("Display", "MaxDisplayWidth", "640", ini).ok());
    return test::ReadFile(ini);
  }();
  test::WriteFile(ini, start);

  const auto write_for_ever = [&] {
    for (bool next = true;; next = !next) {
      WriteProfileText("Display", "MaxDisplayWidth", next ? "640" : "320", ini);
    }
  };
  const auto one_write = TimeOf([&] { WriteProfileText("Display", "MaxDisplayWidth", "320", ini); });
  const int kills = test::Repeats(kKills);
  for (int i = 0; i < kills; ++i) {
    RunAndKill(write_for_ever, one_write * (i * kKills / kills) / 10);
    const std::string now = test::ReadFile(ini);
    ASSERT_TRUE(now == start || now == wide) << "after a kill at " << i << ":\n" << now;
  }
  EXPECT_EQ(GetProfileText("Files", "PictureEditor", "", 256, ini), "gimp %s");
  ASSERT_TRUE(WriteProfileText("Display", "MaxDisplayHeight", "480", ini).ok());
  EXPECT_EQ(GetProfileInt("Display", "MaxDisplayHeight", 0, ini), 480);
}

TEST(CrashSafetyTest, AKilledGenerationRunLeavesPicturesWholeAndTheNextRunIgnoresLeftovers) {
  test::TempDir home;
  test::TempDir site;
  test::WriteJpegPicture(site / "a.jpg", 300, 200, "Title:\r\nFirst\r\n\r\n");
  test::WriteJpegPicture(site / "b.jpg", 200, 300, "");
  test::WriteJpegPicture(site / "sub" / "c.jpg", 250, 250, "");
  test::WriteGifPicture(site / "sub" / "d.gif", 90, 60, /*interlaced=*/true);
  std::map<fs::path, std::string> pictures;
  for (const char* name : {"a.jpg", "b.jpg", "sub/c.jpg", "sub/d.gif"}) {
    pictures[site / name] = test::ReadFile(site / name);
  }
  const auto generate = [&] {
    return test::RunCommand({"generate", site.path().string(), "--home", home.path().string(),
                             "--name", "Ann", "--quiet"})
        .status;
  };

  // A complete run in a child of its own gives the length of a run and the finished pages;
  // the pictures are then put back as they were, so that every kill meets a fresh site.
  const auto one_run = TimeOf([&] { RunAndKill([&] { generate(); }, std::chrono::seconds(60)); });
  std::map<fs::path, std::string> finished_pages;
  for (const auto& entry : fs::recursive_directory_iterator(site.path())) {
    if (entry.path().extension() == ".html") {
      finished_pages[entry.path()] = test::ReadFile(entry.path());
    }
  }
  ASSERT_EQ(finished_pages.size(), 6u);

  // The moments stay spread over the whole run however many there are.
  const int kills = test::Repeats(kKills / 2);
  for (int i = 0; i < kills; ++i) {
    for (const auto& [path, bytes] : pictures) test::WriteFile(path, bytes);
    for (const auto& [path, bytes] : finished_pages) fs::remove(path);
    fs::remove_all(site / "inline");
    fs::remove_all(site / "sub" / "inline");
    RunAndKill([&] { generate(); }, one_run * i / kills);
    for (const auto& [path, bytes] : pictures) {
      const std::string now = test::ReadFile(path);
      if (path.extension() == ".gif" && now != bytes) {
        // The interlaced GIF is rewritten by the run: the new one must be whole.
        Result<bool> interlaced = IsGifInterlaced(path);
        ASSERT_TRUE(interlaced.ok() && !*interlaced) << path << " after a kill at " << i;
        EXPECT_EQ(test::ImageSizeOf(path), "90x60");
      } else {
        ASSERT_EQ(now, bytes) << path << " changed after a kill at " << i;
      }
    }
    for (const auto& [path, bytes] : finished_pages) {
      if (fs::exists(path)) {
        const std::string page = test::ReadFile(path);
        ASSERT_GE(page.size(), 64u) << path;
        EXPECT_EQ(page.substr(page.size() - 64), bytes.substr(bytes.size() - 64))
            << path << " is cut short after a kill at " << i;
      }
    }
  }

  // The next run finishes as if nothing had happened, and takes away what the killed runs
  // left: while it holds the site no other run can be writing there.
  EXPECT_EQ(generate(), kExitOk);
  for (const auto& [path, bytes] : finished_pages) EXPECT_EQ(test::ReadFile(path), bytes) << path;
  EXPECT_EQ(test::TemporaryFilesBelow(site.path()), std::vector<std::string>());
}

}  // namespace
}  // namespace pix
