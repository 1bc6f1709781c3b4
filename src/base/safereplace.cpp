#include "base/safereplace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>

#include "base/filetime.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

// Called with the finished, closed new file just before it is renamed into place; a
// failure abandons the replacement.
using BeforeCommit = std::function<Status()>;
// Called with the fresh temporary file before anything is written to it.
using PrepareTemp = std::function<Status(TempFileBeside& temp)>;

Status Replace(const fs::path& target, const WriteNewFile& write, const CheckNewFile& check,
               TempFileBeside::Durability durability, const PrepareTemp& prepare,
               const BeforeCommit& before_commit) {
  // The temporary file removes itself on every early return below.
  Result<TempFileBeside> temp = TempFileBeside::Create(target, durability);
  if (!temp.ok()) return temp.status();
  if (prepare) {
    Status prepared = prepare(*temp);
    if (!prepared.ok()) return prepared;
  }
  Status written = write(temp->File());
  if (!written.ok()) return written;
  Status closed = temp->Close();
  if (!closed.ok()) return closed;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(temp->TempPath(), error);
  if (error || size == 0) {
    return Status::IoError("The new version of " + target.string() +
                           " came out empty; the old file is kept");
  }
  if (check) {
    Status checked = check(temp->TempPath());
    if (!checked.ok()) return checked;
  }
  if (before_commit) {
    Status ready = before_commit();
    if (!ready.ok()) return ready;
  }
  return temp->Commit();
}

std::string LeftAsItIs(const std::string& name, const std::string& why) {
  return name + " " + why + "; it is left as it is";
}

// What a file that is not a regular file is, in a few words.
std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

// The file a symbolic link finally leads to, every link on the way followed.
Result<fs::path> LinkTarget(const fs::path& link) {
  struct FreeName {
    void operator()(char* name) const { std::free(name); }
  };
  const std::unique_ptr<char, FreeName> resolved(::realpath(link.c_str(), nullptr));
  if (!resolved) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return Status::NotFound(link.string() + " is a symbolic link that leads to no file");
    }
    return Status::IoError("Cannot follow the symbolic link " + link.string() + ": " +
                           std::strerror(errno));
  }
  return fs::path(resolved.get());
}

// Gives the temporary file the owner, group and mode of the file it will replace. The owner
// goes first: changing it clears the set-user-ID and set-group-ID bits, which the mode then
// puts back.
Status TakeAttributesOf(const UserFileTarget& target, TempFileBeside& temp) {
  const int fd = ::fileno(temp.File());
  if (::geteuid() == 0) {
    if (::fchown(fd, target.owner, target.group) != 0) {
      return Status::IoError("Cannot give the new version of " + target.name +
                             " the old one's owner: " + std::strerror(errno));
    }
  } else {
    struct stat info;
    if (::fstat(fd, &info) != 0) {
      return Status::IoError("Cannot look at the new version of " + target.name + ": " +
                             std::strerror(errno));
    }
    // A user may give a file any group they belong to, and only those.
    if (info.st_gid != target.group && ::fchown(fd, static_cast<uid_t>(-1), target.group) != 0) {
      return Status::Refused(
          LeftAsItIs(target.name, "belongs to the group " + std::to_string(target.group) +
                                      ", which its rewritten version could not be given"));
    }
  }
  if (::fchmod(fd, target.mode & 07777) != 0) {
    return Status::IoError("Cannot give the new version of " + target.name +
                           " the old one's permissions: " + std::strerror(errno));
  }
  return Status::OK();
}

// The target must still be the file that was judged: the same file with the same contents
// (as far as its size and modification time tell), mode, owner and links.
Status StillAsJudged(const UserFileTarget& target) {
  struct stat info;
  const bool exists = ::lstat(target.path.c_str(), &info) == 0;
  if (!target.exists) {
    if (!exists) return Status::OK();
    return Status::Refused(LeftAsItIs(target.name, "appeared while its new version was written"));
  }
  if (!exists || info.st_dev != target.device || info.st_ino != target.inode ||
      info.st_mode != target.mode || info.st_uid != target.owner || info.st_gid != target.group ||
      info.st_nlink != target.link_count || info.st_size != target.size ||
      TimeNs(info.st_mtim) != target.modified_nanoseconds) {
    return Status::Refused(LeftAsItIs(target.name, "changed while it was being rewritten"));
  }
  return Status::OK();
}

}  // namespace

Status ReplaceFileSafely(const fs::path& target, const WriteNewFile& write,
                         const CheckNewFile& check, TempFileBeside::Durability durability) {
  return Replace(target, write, check, durability, nullptr, nullptr);
}

Result<UserFileTarget> CheckUserFileRewrite(const fs::path& path, SymlinkRule links) {
  UserFileTarget target;
  target.path = path;
  target.name = path.string();
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return target;
    return Status::IoError("Cannot look at " + path.string() + ": " + std::strerror(errno));
  }
  if (S_ISLNK(info.st_mode)) {
    if (links == SymlinkRule::kRefuse) {
      return Status::Refused(
          target.name + " is a symbolic link; it and the file it leads to are left as they are");
    }
    Result<fs::path> resolved = LinkTarget(path);
    if (!resolved.ok()) return resolved.status();
    target.path = std::move(resolved).value();
    target.name = path.string() + " (a link to " + target.path.string() + ")";
    if (::lstat(target.path.c_str(), &info) != 0) {
      return Status::IoError("Cannot look at " + target.name + ": " + std::strerror(errno));
    }
  }
  if (!S_ISREG(info.st_mode)) {
    return Status::Refused(
        LeftAsItIs(target.name, "is " + KindOf(info.st_mode) + ", not a regular file"));
  }
  if ((info.st_mode & S_IWUSR) == 0) {
    return Status::Refused(LeftAsItIs(target.name, "is read-only"));
  }
  if (info.st_uid != ::geteuid()) {
    return Status::Refused(LeftAsItIs(
        target.name, "belongs to another user (uid " + std::to_string(info.st_uid) + ")"));
  }
  if (info.st_nlink > 1) {
    return Status::Refused(
        LeftAsItIs(target.name, "has " + std::to_string(info.st_nlink) +
                                    " hard links, which a rewritten copy would no longer share"));
  }
  target.exists = true;
  target.mode = info.st_mode;
  target.owner = info.st_uid;
  target.group = info.st_gid;
  target.device = info.st_dev;
  target.inode = info.st_ino;
  target.link_count = info.st_nlink;
  target.size = info.st_size;
  target.modified_nanoseconds = TimeNs(info.st_mtim);
  return target;
}

Status ReplaceUserFileSafely(const UserFileTarget& target, const WriteNewFile& write,
                             const CheckNewFile& check) {
  PrepareTemp prepare;
  if (target.exists) {
    prepare = [&](TempFileBeside& temp) { return TakeAttributesOf(target, temp); };
  }
  return Replace(target.path, write, check, TempFileBeside::Durability::kSynced, prepare,
                 [&] { return StillAsJudged(target); });
}

}  // namespace pix
