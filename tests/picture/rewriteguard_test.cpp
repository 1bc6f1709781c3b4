// The two rewrites of a user's picture, the de-interlacing of a GIF and the caption of a
// JPEG, happen only when the file's mode, owner, links and kind allow them, and a rewrite
// that happens keeps the file's mode, owner and group.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "picture/comread.h"
#include "picture/comwrite.h"
#include "picture/gifrsize.h"
#include "support/detail_capture.h"
#include "support/picture_builder.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// Everything of a file that a refused rewrite must leave as it was: its bytes, its inode
// (a rename would give a new one), mode, owner, group, links and modification time.
struct FileState {
  std::string bytes;
  ino_t inode = 0;
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
  nlink_t links = 0;
  long long modified_nanoseconds = 0;
  bool operator==(const FileState& o) const {
    return bytes == o.bytes && inode == o.inode && mode == o.mode && owner == o.owner &&
           group == o.group && links == o.links && modified_nanoseconds == o.modified_nanoseconds;
  }
};

FileState StateOf(const fs::path& path) {
  FileState state;
  struct stat info;
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  state.bytes = S_ISREG(info.st_mode) ? test::ReadFile(path) : "";
  state.inode = info.st_ino;
  state.mode = info.st_mode;
  state.owner = info.st_uid;
  state.group = info.st_gid;
  state.links = info.st_nlink;
  state.modified_nanoseconds = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
  return state;
}

// One of the rewrites: how to make a picture it would change, and the rewrite itself.
struct RewriteCase {
  std::string name;
  std::string file_name;
  std::function<void(const fs::path&)> make_picture;
  std::function<Status(const fs::path&)> rewrite;
  // Whether the picture at `path` shows the rewrite.
  std::function<bool(const fs::path&)> done;
};

// Test names and failures show a rewrite by its name.
void PrintTo(const RewriteCase& rewrite, std::ostream* out) { *out << rewrite.name; }

bool IsNoLongerInterlaced(const fs::path& path) {
  const Result<bool> interlaced = IsGifInterlaced(path);
  return interlaced.ok() && !*interlaced;
}

bool HasNewCaption(const fs::path& path) {
  const JpegHeader info = test::HeaderOf(path);
  return info.comments == "Caption:\r\nNew\r\n\r\n";
}

const RewriteCase kDeinterlace{
    "Deinterlace", "laced.gif",
    [](const fs::path& path) { test::WriteGifPicture(path, 9, 12, /*interlaced=*/true); },
    [](const fs::path& path) { return DeinterlaceGifInPlace(path); }, IsNoLongerInterlaced};

const RewriteCase kCaption{
    "Caption", "photo.jpg",
    [](const fs::path& path) { test::WriteJpegPicture(path, 9, 7, "Caption:\r\nOld\r\n\r\n"); },
    [](const fs::path& path) { return WriteJpegCommentInPlace(path, "Caption:\r\nNew\r\n\r\n"); },
    HasNewCaption};

// A user and a group the tests are not: "nobody" and "nogroup" where they exist.
uid_t OtherUser() {
  const passwd* user = ::getpwnam("nobody");
  return user != nullptr ? user->pw_uid : 65534;
}
gid_t OtherGroup() {
  const group* other = ::getgrnam("nogroup");
  return other != nullptr ? other->gr_gid : 65534;
}

class PictureRewriteGuardTest : public testing::TestWithParam<RewriteCase> {
 protected:
  PictureRewriteGuardTest() : picture_(dir_ / GetParam().file_name) {
    GetParam().make_picture(picture_);
  }

  Status Rewrite(const fs::path& path) {
    test::DetailCapture capture;
    return GetParam().rewrite(path);
  }

  std::size_t FilesInDir() const { return test::CountEntries(dir_.path()); }

  // The rewrite of `path` is refused with `message`, and `path` stays as it was.
  void ExpectRefused(const fs::path& path, const std::string& message) {
    const FileState before = StateOf(path);
    const std::size_t files = FilesInDir();
    const Status status = Rewrite(path);
    EXPECT_EQ(status.code(), Status::Code::kRefused);
    EXPECT_EQ(status.message(), message);
    EXPECT_TRUE(StateOf(path) == before) << path << " changed";
    EXPECT_EQ(FilesInDir(), files) << "no temporary file is left";
  }

  test::TempDir dir_;
  fs::path picture_;
};

TEST_P(PictureRewriteGuardTest, ReadOnlyPictureIsLeftAsItIs) {
  // The folder stays writable, so a rename could still replace the file.
  ASSERT_EQ(::chmod(picture_.c_str(), 0444), 0);
  ExpectRefused(picture_, picture_.string() + " is read-only; it is left as it is");
}

TEST_P(PictureRewriteGuardTest, HardLinkedPictureIsLeftAsItIs) {
  const fs::path other = dir_ / ("other-" + GetParam().file_name);
  fs::create_hard_link(picture_, other);
  ExpectRefused(picture_, picture_.string() +
                              " has 2 hard links, which a rewritten copy would no longer share; "
                              "it is left as it is");
  EXPECT_EQ(fs::hard_link_count(other), 2u);
}

TEST_P(PictureRewriteGuardTest, PictureOfAnotherUserIsLeftAsItIs) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  ASSERT_EQ(::chown(picture_.c_str(), OtherUser(), static_cast<gid_t>(-1)), 0);
  ExpectRefused(picture_, picture_.string() + " belongs to another user (uid " +
                              std::to_string(OtherUser()) + "); it is left as it is");
}

TEST_P(PictureRewriteGuardTest, NamedPipeIsRefusedWithoutWaitingForAWriter) {
  const fs::path pipe = dir_ / ("pipe-" + GetParam().file_name);
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  ExpectRefused(pipe, pipe.string() + " is a named pipe, not a regular file; it is left as it is");
}

TEST_P(PictureRewriteGuardTest, RewriteKeepsModeOwnerAndGroup) {
  ASSERT_EQ(::chmod(picture_.c_str(), 0620), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(picture_.c_str(), 0, OtherGroup()), 0);
  }
  const FileState before = StateOf(picture_);
  ASSERT_TRUE(Rewrite(picture_).ok());
  ASSERT_TRUE(GetParam().done(picture_));
  const FileState after = StateOf(picture_);
  EXPECT_NE(after.inode, before.inode) << "replaced by a new file";
  EXPECT_EQ(after.mode, before.mode);
  EXPECT_EQ(after.owner, before.owner);
  EXPECT_EQ(after.group, before.group);
  EXPECT_EQ(FilesInDir(), 1u);
}

INSTANTIATE_TEST_SUITE_P(BothRewrites, PictureRewriteGuardTest,
                         testing::Values(kDeinterlace, kCaption),
                         [](const testing::TestParamInfo<RewriteCase>& rewrite) {
                           return rewrite.param.name;
                         });

// A symbolic link in the site is not followed by the de-interlacing the run does on its own;
// a caption the user sets on a link is written into the picture the link leads to.
TEST(PictureRewriteLinkTest, DeinterlacingRefusesALinkAndTheCaptionIsWrittenThroughIt) {
  test::TempDir dir;
  kDeinterlace.make_picture(dir / "real.gif");
  fs::create_symlink(dir / "real.gif", dir / "link.gif");
  const FileState link = StateOf(dir / "link.gif");
  const FileState real = StateOf(dir / "real.gif");
  test::DetailCapture capture;
  const Status refused = DeinterlaceGifInPlace(dir / "link.gif");
  EXPECT_EQ(refused.code(), Status::Code::kRefused);
  EXPECT_EQ(refused.message(), (dir / "link.gif").string() +
                                   " is a symbolic link; it and the file it leads to are left "
                                   "as they are");
  EXPECT_TRUE(StateOf(dir / "link.gif") == link);
  EXPECT_TRUE(StateOf(dir / "real.gif") == real);

  kCaption.make_picture(dir / "real.jpg");
  ASSERT_EQ(::chmod((dir / "real.jpg").c_str(), 0640), 0);
  fs::create_symlink("real.jpg", dir / "link.jpg");
  ASSERT_TRUE(kCaption.rewrite(dir / "link.jpg").ok());
  EXPECT_TRUE(fs::is_symlink(dir / "link.jpg"));
  EXPECT_EQ(fs::read_symlink(dir / "link.jpg"), "real.jpg");
  EXPECT_TRUE(HasNewCaption(dir / "real.jpg"));
  EXPECT_EQ(fs::status(dir / "real.jpg").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // Through a link, the file it leads to is judged, and the message names both.
  ASSERT_EQ(::chmod((dir / "real.jpg").c_str(), 0444), 0);
  const FileState before = StateOf(dir / "real.jpg");
  const Status read_only = kCaption.rewrite(dir / "link.jpg");
  EXPECT_EQ(read_only.message(), (dir / "link.jpg").string() + " (a link to " +
                                    fs::canonical(dir / "real.jpg").string() +
                                    ") is read-only; it is left as it is");
  EXPECT_TRUE(StateOf(dir / "real.jpg") == before);
  EXPECT_EQ(test::CountEntries(dir.path()), 4u);
}

}  // namespace
}  // namespace pix
