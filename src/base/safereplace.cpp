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
using TBeforeCommit = std::function<Status()>;
// Called with the fresh temporary file before anything is written to it.
using TPrepareTemp = std::function<Status(TTempFileBeside& temp)>;

Status Replace(const fs::path& target, const TWriteNewFile& write, const TCheckNewFile& check,
               TTempFileBeside::Durability durability, const TPrepareTemp& prepare,
               const TBeforeCommit& beforeCommit) {
  // The temporary file removes itself on every early return below.
  Result<TTempFileBeside> temp = TTempFileBeside::Create(target, durability);
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
  if (beforeCommit) {
    Status ready = beforeCommit();
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
Status TakeAttributesOf(const TUserFileTarget& target, TTempFileBeside& temp) {
  const int fd = ::fileno(temp.File());
  if (::geteuid() == 0) {
    if (::fchown(fd, target.Owner, target.Group) != 0) {
      return Status::IoError("Cannot give the new version of " + target.Name +
                             " the old one's owner: " + std::strerror(errno));
    }
  } else {
    struct stat info;
    if (::fstat(fd, &info) != 0) {
      return Status::IoError("Cannot look at the new version of " + target.Name + ": " +
                             std::strerror(errno));
    }
    // A user may give a file any group they belong to, and only those.
    if (info.st_gid != target.Group && ::fchown(fd, static_cast<uid_t>(-1), target.Group) != 0) {
      return Status::Refused(
          LeftAsItIs(target.Name, "belongs to the group " + std::to_string(target.Group) +
                                      ", which its rewritten version could not be given"));
    }
  }
  if (::fchmod(fd, target.Mode & 07777) != 0) {
    return Status::IoError("Cannot give the new version of " + target.Name +
                           " the old one's permissions: " + std::strerror(errno));
  }
  return Status::OK();
}

// The target must still be the file that was judged: the same file with the same contents
// (as far as its size and modification time tell), mode, owner and links.
Status StillAsJudged(const TUserFileTarget& target) {
  struct stat info;
  const bool exists = ::lstat(target.Path.c_str(), &info) == 0;
  if (!target.bExists) {
    if (!exists) return Status::OK();
    return Status::Refused(LeftAsItIs(target.Name, "appeared while its new version was written"));
  }
  if (!exists || info.st_dev != target.Device || info.st_ino != target.Inode ||
      info.st_mode != target.Mode || info.st_uid != target.Owner || info.st_gid != target.Group ||
      info.st_nlink != target.LinkCount || info.st_size != target.Size ||
      TimeNs(info.st_mtim) != target.ModifiedNanoseconds) {
    return Status::Refused(LeftAsItIs(target.Name, "changed while it was being rewritten"));
  }
  return Status::OK();
}

}  // namespace

Status ReplaceFileSafely(const fs::path& target, const TWriteNewFile& write,
                         const TCheckNewFile& check, TTempFileBeside::Durability durability) {
  return Replace(target, write, check, durability, nullptr, nullptr);
}

Result<TUserFileTarget> CheckUserFileRewrite(const fs::path& path, TSymlinkRule links) {
  TUserFileTarget target;
  target.Path = path;
  target.Name = path.string();
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return target;
    return Status::IoError("Cannot look at " + path.string() + ": " + std::strerror(errno));
  }
  if (S_ISLNK(info.st_mode)) {
    if (links == TSymlinkRule::kRefuse) {
      return Status::Refused(
          target.Name + " is a symbolic link; it and the file it leads to are left as they are");
    }
    Result<fs::path> resolved = LinkTarget(path);
    if (!resolved.ok()) return resolved.status();
    target.Path = std::move(resolved).value();
    target.Name = path.string() + " (a link to " + target.Path.string() + ")";
    if (::lstat(target.Path.c_str(), &info) != 0) {
      return Status::IoError("Cannot look at " + target.Name + ": " + std::strerror(errno));
    }
  }
  if (!S_ISREG(info.st_mode)) {
    return Status::Refused(
        LeftAsItIs(target.Name, "is " + KindOf(info.st_mode) + ", not a regular file"));
  }
  if ((info.st_mode & S_IWUSR) == 0) {
    return Status::Refused(LeftAsItIs(target.Name, "is read-only"));
  }
  if (info.st_uid != ::geteuid()) {
    return Status::Refused(LeftAsItIs(
        target.Name, "belongs to another user (uid " + std::to_string(info.st_uid) + ")"));
  }
  if (info.st_nlink > 1) {
    return Status::Refused(
        LeftAsItIs(target.Name, "has " + std::to_string(info.st_nlink) +
                                    " hard links, which a rewritten copy would no longer share"));
  }
  target.bExists = true;
  target.Mode = info.st_mode;
  target.Owner = info.st_uid;
  target.Group = info.st_gid;
  target.Device = info.st_dev;
  target.Inode = info.st_ino;
  target.LinkCount = info.st_nlink;
  target.Size = info.st_size;
  target.ModifiedNanoseconds = TimeNs(info.st_mtim);
  return target;
}

Status ReplaceUserFileSafely(const TUserFileTarget& target, const TWriteNewFile& write,
                             const TCheckNewFile& check) {
  TPrepareTemp prepare;
  if (target.bExists) {
    prepare = [&](TTempFileBeside& temp) { return TakeAttributesOf(target, temp); };
  }
  return Replace(target.Path, write, check, TTempFileBeside::Durability::kSynced, prepare,
                 [&] { return StillAsJudged(target); });
}

}  // namespace pix
