#include "base/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
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

// The temporary files being written, for the interrupt handler: slots holding a pointer to
// each file's path, taken and given back without locks, so that the handler may read them.
constexpr std::size_t kTemporarySlots = 1024;
std::atomic<const char*> gTemporaries[kTemporarySlots];

std::atomic<const char*>* Register(const char* path) {
  for (auto& slot : gTemporaries) {
    const char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, path)) return &slot;
  }
  return nullptr;  // All taken: the next run removes this one if it is left behind.
}

extern "C" void RemoveTemporariesAndExit(int signal) {
  for (auto& slot : gTemporaries) {
    if (const char* path = slot.load()) ::unlink(path);
  }
  ::_exit(128 + signal);
}

// Temporary names stay within the 255 bytes a name may have: a long target name is cut.
constexpr std::size_t kMaxNamePartInTemporary = 200;

// True when the plain file at `path` holds exactly `contents`.
bool FileHolds(const fs::path& path, std::string_view contents) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool same = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::uint64_t>(info.st_size) == contents.size();
  std::vector<char> buffer(same ? std::min<std::size_t>(contents.size(), 1 << 16) : 0);
  for (std::size_t done = 0; same && done < contents.size();) {
    const ssize_t got = ::read(fd, buffer.data(), std::min(buffer.size(), contents.size() - done));
    same = got > 0 && contents.compare(done, static_cast<std::size_t>(got),
                                       std::string_view(buffer.data(),
                                                        static_cast<std::size_t>(got))) == 0;
    done += got > 0 ? static_cast<std::size_t>(got) : 0;
  }
  ::close(fd);
  return same;
}

}  // namespace

bool IsLeftoverTemporaryName(std::string_view name) {
  constexpr std::string_view kMark = ".tmp-";
  if (name.size() < 1 + kMark.size() + 6 || name.front() != '.') return false;
  const std::string_view tail = name.substr(name.size() - 6);
  for (char c : tail) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return name.substr(name.size() - 6 - kMark.size(), kMark.size()) == kMark;
}

bool RemoveLeftoverTemporary(const fs::path& path) {
  struct stat info;
  if (!IsLeftoverTemporaryName(path.filename().string()) || ::lstat(path.c_str(), &info) != 0 ||
      !S_ISREG(info.st_mode) || std::time(nullptr) - info.st_mtime < 60) {
    return false;
  }
  return ::unlink(path.c_str()) == 0;
}

void InstallInterruptCleanup() {
  struct sigaction action {};
  action.sa_handler = RemoveTemporariesAndExit;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

const char* FileKindText(unsigned mode) {
  return S_ISREG(mode)                    ? "a regular file"
         : S_ISDIR(mode)                  ? "a directory"
         : S_ISFIFO(mode)                 ? "a named pipe"
         : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
         : S_ISSOCK(mode)                 ? "a socket"
                                          : "a special file";
}

Result<TTempFileBeside> TTempFileBeside::Create(const fs::path& target, Durability durability) {
  struct stat existing;
  if (::lstat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
      !S_ISLNK(existing.st_mode)) {
    return Status::Refused(target.string() + " is " + FileKindText(existing.st_mode) +
                           ", not a regular file; it is not replaced");
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const std::string targetName = target.filename().string();
  std::string pattern =
      (folder / ("." + targetName.substr(0, kMaxNamePartInTemporary) + ".tmp-XXXXXX")).string();
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
      Durability_(durability) {
  RegisteredPath_ = std::make_unique<std::string>(TempPath_.string());
  Slot_ = Register(RegisteredPath_->c_str());
}

TTempFileBeside::TTempFileBeside(TTempFileBeside&& other) noexcept
    : Target_(std::move(other.Target_)),
      TempPath_(std::move(other.TempPath_)),
      File_(other.File_),
      Committed_(other.Committed_),
      WriteFailed_(other.WriteFailed_),
      Durability_(other.Durability_),
      RegisteredPath_(std::move(other.RegisteredPath_)),
      Slot_(other.Slot_) {
  other.Slot_ = nullptr;
  other.File_ = nullptr;
  other.Committed_ = true;  // The moved-from object owns nothing to clean up.
}

TTempFileBeside::~TTempFileBeside() {
  if (File_ != nullptr) std::fclose(File_);
  if (!Committed_) ::unlink(TempPath_.c_str());
  Unregister();
}

void TTempFileBeside::Unregister() {
  if (Slot_ != nullptr) Slot_->store(nullptr);
  Slot_ = nullptr;
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

Status TTempFileBeside::Commit(const TBeforeReplace& beforeReplace) {
  Status closed = Close();
  if (!closed.ok()) return closed;
  if (beforeReplace) {
    Status ready = beforeReplace(TempPath_);
    if (!ready.ok()) {
      // The replacement is abandoned now, not when this object goes: the folder holds no
      // new file once the caller hears of the failure.
      ::unlink(TempPath_.c_str());
      Committed_ = true;  // Nothing is left to remove.
      Unregister();
      return ready;
    }
  }
  if (::rename(TempPath_.c_str(), Target_.c_str()) != 0) {
    return Status::IoError("Cannot replace " + Target_.string() + ": " + ErrnoText());
  }
  Committed_ = true;
  Unregister();
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
  // A file that already holds these bytes is left as it is: no write, no sync, and its
  // time stays, so that saving what did not change changes nothing.
  if (FileHolds(target, contents)) return Status::OK();
  Result<TTempFileBeside> temp = TTempFileBeside::Create(target);
  if (!temp.ok()) return temp.status();
  if (!contents.empty() &&
      std::fwrite(contents.data(), 1, contents.size(), temp->File()) != contents.size()) {
    return Status::IoError("Cannot write " + target.string() + ": " + ErrnoText());
  }
  return temp->Commit();
}

}  // namespace pix
