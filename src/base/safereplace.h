// Changing a picture in place without ever risking it.
//
// Every change that rewrites a picture file (a new comment, a de-interlaced copy, a new
// inline image) writes the new version beside the old one under a temporary name, checks
// that the new file is complete, and only then renames it over the old one. On any failure
// the old file stays exactly as it was and the temporary file is removed.
//
// A file of the user's (a picture, not a page or an inline image the program made) is only
// ever replaced when its mode, owner and kind allow it: see CheckUserFileRewrite. Its new
// version gets the old one's mode, and owner and group, before it is renamed into place.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "base/safefile.h"
#include "base/status.h"

namespace pix {

/// Writes the new contents to `out`, an open binary stream the helper owns.
using WriteNewFile = std::function<Status(std::FILE* out)>;

/// Checks the finished new file (already closed, at `newFile`) before it replaces the old.
using CheckNewFile = std::function<Status(const std::filesystem::path& new_file)>;

/// Replaces (or creates) `target`: `write` fills a temporary file beside it, the file must
/// then be flushed without error and not be empty, `check` (when given) must accept it, and
/// only then is it renamed over `target`. `target` may also be the file `write` reads from.
/// Files that can be made again (inline images) need not wait for the disk: `durability`.
Status ReplaceFileSafely(
    const std::filesystem::path& target, const WriteNewFile& write,
    const CheckNewFile& check = nullptr,
    TempFileBeside::Durability durability = TempFileBeside::Durability::kSynced);

/// What a rewrite does when the user's path is a symbolic link.
enum class SymlinkRule {
  kRefuse,        ///< Nothing is written: neither the link nor the file it leads to changes.
  kWriteThrough,  ///< The file the link leads to is replaced; the link itself stays.
};

/// A user's file that CheckUserFileRewrite found may be replaced, with what it was like then.
struct UserFileTarget {
  std::filesystem::path path;  ///< The file to replace: the path given, or a link's target.
  std::string name;            ///< How messages name it: the path, and a link's target.
  bool exists = false;        ///< False: nothing is there yet, and the new file is created.
  // The file as it was judged; valid when exists.
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
  dev_t device = 0;
  ino_t inode = 0;
  nlink_t link_count = 0;
  off_t size = 0;
  long long modified_nanoseconds = 0;  ///< The last change of its contents.
};

/// Decides whether the user's file at `path` may be replaced by a rewritten version. It is
/// refused (Status::Refused, one line that names the file and the reason, ending "it is left
/// as it is") when it is not a regular file, when its mode has no owner write bit (the
/// rename would need only a writable folder, but a read-only file says "do not change me"),
/// when another user than the one the program runs as owns it, when it has more than one
/// hard link (the new file would take one name away from the others), and when it is a
/// symbolic link under SymlinkRule::kRefuse. A path that names nothing is no refusal: the
/// target then does not exist yet.
Result<UserFileTarget> CheckUserFileRewrite(const std::filesystem::path& path, SymlinkRule links);

/// ReplaceFileSafely for a user's file judged by CheckUserFileRewrite. The new file gets the
/// old one's mode and, when the program runs as root, its owner and group (otherwise its
/// group where the user may give it; a group that cannot be kept refuses the change). Just
/// before the rename the file is looked at again, and a file that was written to, changed
/// its mode or links, or was replaced in the meantime is left as it now is.
Status ReplaceUserFileSafely(const UserFileTarget& target, const WriteNewFile& write,
                             const CheckNewFile& check = nullptr);

}  // namespace pix
