#include "base/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace pix {
namespace fs = std::filesystem;
namespace {

std::string ErrnoText() { return std::strerror(errno); }

// The process's umask, read without changing it (umask() itself would have to set it, which
// races with other threads creating files). 022 when it cannot be read.
mode_t ProcessUmask() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 022;
  mode_t mask = 022;
  char line[256];
  while (std::fgets(line, sizeof line, status) != nullptr) {
    unsigned value = 0;
    if (std::sscanf(line, "Umask: %o", &value) == 1) {
      mask = static_cast<mode_t>(value);
      break;
    }
  }
  std::fclose(status);
  return mask;
}

// The permissions for the new file: those of the file it replaces, or the usual ones for a
// new file under the process's umask.
mode_t ModeFor(const fs::path& target) {
  struct stat info;
  if (::stat(target.c_str(), &info) == 0) return info.st_mode & 07777;
  // Read once: a process's umask does not change while it writes a site.
  static const mode_t mask = ProcessUmask();
  return 0666 & ~mask;
}

}  // namespace

Result<TTempFileBeside> TTempFileBeside::Create(const fs::path& target, Durability durability) {
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern = (folder / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    return Status::IoError("Cannot create a temporary file beside " + target.string() + ": " +
                           ErrnoText());
  }
  const fs::path temp(name.data());
  ::fchmod(fd, ModeFor(target));
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const std::string why = ErrnoText();
    ::close(fd);
    ::unlink(temp.c_str());
    return Status::IoError("Cannot write beside " + target.string() + ": " + why);
  }
  return TTempFileBeside(target, temp, file, durability);
}

TTempFileBeside::TTempFileBeside(fs::path target, fs::path temp, std::FILE* file,
                                 Durability durability)
    : Target_(std::move(target)),
      TempPath_(std::move(temp)),
      File_(file),
      Durability_(durability) {}

TTempFileBeside::TTempFileBeside(TTempFileBeside&& other) noexcept
    : Target_(std::move(other.Target_)),
      TempPath_(std::move(other.TempPath_)),
      File_(other.File_),
      Committed_(other.Committed_),
      WriteFailed_(other.WriteFailed_),
      Durability_(other.Durability_) {
  other.File_ = nullptr;
  other.Committed_ = true;  // The moved-from object owns nothing to clean up.
}

TTempFileBeside::~TTempFileBeside() {
  if (File_ != nullptr) std::fclose(File_);
  if (!Committed_) ::unlink(TempPath_.c_str());
}

Status TTempFileBeside::Close() {
  if (File_ == nullptr) {
    return WriteFailed_ ? Status::IoError("Cannot write " + Target_.string()) : Status::OK();
  }
  bool failed = std::fflush(File_) != 0 || std::ferror(File_) != 0;
  std::string why = failed ? ErrnoText() : std::string();
  if (!failed && Durability_ == Durability::kSynced && ::fsync(::fileno(File_)) != 0) {
    failed = true;
    why = ErrnoText();
  }
  if (std::fclose(File_) != 0 && !failed) {
    failed = true;
    why = ErrnoText();
  }
  File_ = nullptr;
  WriteFailed_ = failed;
  if (failed) return Status::IoError("Cannot write " + Target_.string() + ": " + why);
  return Status::OK();
}

Status TTempFileBeside::Commit() {
  Status closed = Close();
  if (!closed.ok()) return closed;
  if (::rename(TempPath_.c_str(), Target_.c_str()) != 0) {
    return Status::IoError("Cannot replace " + Target_.string() + ": " + ErrnoText());
  }
  Committed_ = true;
  return Status::OK();
}

Status WriteFileAtomically(const fs::path& given, std::string_view contents) {
  // A settings or layout file kept elsewhere and linked in is written where it lives; the
  // link stays a link.
  fs::path target = given;
  std::error_code error;
  if (fs::is_symlink(given, error)) {
    const fs::path resolved = fs::weakly_canonical(given, error);
    if (!error) target = resolved;
  }
  Result<TTempFileBeside> temp = TTempFileBeside::Create(target);
  if (!temp.ok()) return temp.status();
  if (!contents.empty() &&
      std::fwrite(contents.data(), 1, contents.size(), temp->File()) != contents.size()) {
    return Status::IoError("Cannot write " + target.string() + ": " + ErrnoText());
  }
  return temp->Commit();
}

}  // namespace pix
