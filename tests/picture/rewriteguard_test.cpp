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
struct TFileState {
  std::string Bytes;
  ino_t Inode = 0;
  mode_t Mode = 0;
  uid_t Owner = 0;
  gid_t Group = 0;
  nlink_t Links = 0;
  long long ModifiedNanoseconds = 0;
  bool operator==(const TFileState& o) const {
    return Bytes == o.Bytes && Inode == o.Inode && Mode == o.Mode && Owner == o.Owner &&
           Group == o.Group && Links == o.Links && ModifiedNanoseconds == o.ModifiedNanoseconds;
  }
};

TFileState StateOf(const fs::path& path) {
  TFileState state;
  struct stat info;
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  state.Bytes = S_ISREG(info.st_mode) ? test::ReadFile(path) : "";
  state.Inode = info.st_ino;
  state.Mode = info.st_mode;
  state.Owner = info.st_uid;
  state.Group = info.st_gid;
  state.Links = info.st_nlink;
  state.ModifiedNanoseconds = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
  return state;
}

// One of the rewrites: how to make a picture it would change, and the rewrite itself.
struct TRewrite {
  std::string Name;
  std::string FileName;
  std::function<void(const fs::path&)> MakePicture;
  std::function<Status(const fs::path&)> Rewrite;
  // Whether the picture at `path` shows the rewrite.
  std::function<bool(const fs::path&)> Done;
};

// Test names and failures show a rewrite by its name.
void PrintTo(const TRewrite& rewrite, std::ostream* out) { *out << rewrite.Name; }

bool IsNoLongerInterlaced(const fs::path& path) {
  const Result<bool> interlaced = IsGifInterlaced(path);
  return interlaced.ok() && !*interlaced;
}

bool HasNewCaption(const fs::path& path) {
  FileImageInfo info;
  info.file_name = path.string();
  ReadJpegImageInfo(&info);
  return info.comments == "Caption:\r\nNew\r\n\r\n";
}

const TRewrite kDeinterlace{
    "Deinterlace", "laced.gif",
    [](const fs::path& path) { test::WriteGifPicture(path, 9, 12, /*interlaced=*/true); },
    [](const fs::path& path) { return DeinterlaceGifInPlace(path); }, IsNoLongerInterlaced};

const TRewrite kCaption{
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

class PictureRewriteGuardTest : public testing::TestWithParam<TRewrite> {
 protected:
  PictureRewriteGuardTest() : picture_(dir_ / GetParam().FileName) {
    GetParam().MakePicture(picture_);
  }

  Status Rewrite(const fs::path& path) {
    test::TDetailCapture capture;
    return GetParam().Rewrite(path);
  }

  std::size_t FilesInDir() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()));
  }

  // The rewrite of `path` is refused with `message`, and `path` stays as it was.
  void ExpectRefused(const fs::path& path, const std::string& message) {
    const TFileState before = StateOf(path);
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
  const fs::path other = dir_ / ("other-" + GetParam().FileName);
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
  const fs::path pipe = dir_ / ("pipe-" + GetParam().FileName);
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  ExpectRefused(pipe, pipe.string() + " is a named pipe, not a regular file; it is left as it is");
}

TEST_P(PictureRewriteGuardTest, RewriteKeepsModeOwnerAndGroup) {
  ASSERT_EQ(::chmod(picture_.c_str(), 0620), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(picture_.c_str(), 0, OtherGroup()), 0);
  }
  const TFileState before = StateOf(picture_);
  ASSERT_TRUE(Rewrite(picture_).ok());
  ASSERT_TRUE(GetParam().Done(picture_));
  const TFileState after = StateOf(picture_);
  EXPECT_NE(after.Inode, before.Inode) << "replaced by a new file";
  EXPECT_EQ(after.Mode, before.Mode);
  EXPECT_EQ(after.Owner, before.Owner);
  EXPECT_EQ(after.Group, before.Group);
  EXPECT_EQ(FilesInDir(), 1u);
}

INSTANTIATE_TEST_SUITE_P(BothRewrites, PictureRewriteGuardTest,
                         testing::Values(kDeinterlace, kCaption),
                         [](const testing::TestParamInfo<TRewrite>& rewrite) {
                           return rewrite.param.Name;
                         });

// A symbolic link in the site is not followed by the de-interlacing the run does on its own;
// a caption the user sets on a link is written into the picture the link leads to.
TEST(PictureRewriteLinkTest, DeinterlacingRefusesALinkAndTheCaptionIsWrittenThroughIt) {
  test::TempDir dir;
  kDeinterlace.MakePicture(dir / "real.gif");
  fs::create_symlink(dir / "real.gif", dir / "link.gif");
  const TFileState link = StateOf(dir / "link.gif");
  const TFileState real = StateOf(dir / "real.gif");
  test::TDetailCapture capture;
  const Status refused = DeinterlaceGifInPlace(dir / "link.gif");
  EXPECT_EQ(refused.code(), Status::Code::kRefused);
  EXPECT_EQ(refused.message(), (dir / "link.gif").string() +
                                   " is a symbolic link; it and the file it leads to are left "
                                   "as they are");
  EXPECT_TRUE(StateOf(dir / "link.gif") == link);
  EXPECT_TRUE(StateOf(dir / "real.gif") == real);

  kCaption.MakePicture(dir / "real.jpg");
  ASSERT_EQ(::chmod((dir / "real.jpg").c_str(), 0640), 0);
  fs::create_symlink("real.jpg", dir / "link.jpg");
  ASSERT_TRUE(kCaption.Rewrite(dir / "link.jpg").ok());
  EXPECT_TRUE(fs::is_symlink(dir / "link.jpg"));
  EXPECT_EQ(fs::read_symlink(dir / "link.jpg"), "real.jpg");
  EXPECT_TRUE(HasNewCaption(dir / "real.jpg"));
  EXPECT_EQ(fs::status(dir / "real.jpg").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // Through a link, the file it leads to is judged, and the message names both.
  ASSERT_EQ(::chmod((dir / "real.jpg").c_str(), 0444), 0);
  const TFileState before = StateOf(dir / "real.jpg");
  const Status readOnly = kCaption.Rewrite(dir / "link.jpg");
  EXPECT_EQ(readOnly.message(), (dir / "link.jpg").string() + " (a link to " +
                                    fs::canonical(dir / "real.jpg").string() +
                                    ") is read-only; it is left as it is");
  EXPECT_TRUE(StateOf(dir / "real.jpg") == before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);
}

}  // namespace
}  // namespace pix
