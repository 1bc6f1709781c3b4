#include "base/safefile.h"

#include <fcntl.h>
#include <pthread.h>
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
#include <memory>
#include <mutex>
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

// One temporary file on the list the interrupt handler removes files from. The path is
// kept here rather than in the TTempFileBeside, which moves: the handler may read it until
// the entry is off the list.
struct TRegisteredTemporary {
  std::string Path;
  TRegisteredTemporary* Previous = nullptr;
  TRegisteredTemporary* Next = nullptr;
};

namespace {

// The temporary files that exist on disk and are not yet renamed into place or removed.
//
// Threads change the list, and the interrupt handler reads it, by turns. A thread changes it
// only inside a TListChange: with SIGINT and SIGTERM blocked, so that the handler never
// runs on a thread that is halfway through a change (it would wait for that thread forever),
// and counted in gChanging. The handler first sets gStopping, after which no change begins
// (a thread that would start one waits for the end instead), and then waits for gChanging
// to fall to zero. From then on the list is complete and nobody touches it: every file a
// thread has created is on it, because the file is created inside the same change that puts
// it on the list, and every file that is off it has been renamed or removed before.
//
// Nothing inside a change may allocate or take a lock the handler's thread could hold when
// it was interrupted (malloc's, stdio's): the handler would wait for that change forever.
// Entries are therefore allocated and freed outside, and gListMutex, which orders changes
// between threads, is only ever taken inside a change, with the signals blocked.
std::atomic<bool> gStopping{false};
std::atomic<int> gChanging{0};
std::mutex gListMutex;
TRegisteredTemporary* gFirstTemporary = nullptr;

class TListChange {
 public:
  TListChange() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &interrupts, &SavedMask_);
    gChanging.fetch_add(1);
    if (gStopping.load()) {
      // The program is ending: the handler removes what is on the list and exits, and
      // this thread must neither create a file it would miss nor keep it waiting.
      gChanging.fetch_sub(1);
      for (;;) ::pause();
    }
    gListMutex.lock();
  }
  ~TListChange() {
    gListMutex.unlock();
    gChanging.fetch_sub(1);
    ::pthread_sigmask(SIG_SETMASK, &SavedMask_, nullptr);
  }
  TListChange(const TListChange&) = delete;
  TListChange& operator=(const TListChange&) = delete;

 private:
  sigset_t SavedMask_;
};

// Both only inside a TListChange.
void AddToList(TRegisteredTemporary* entry) {
  entry->Previous = nullptr;
  entry->Next = gFirstTemporary;
  if (gFirstTemporary != nullptr) gFirstTemporary->Previous = entry;
  gFirstTemporary = entry;
}

void RemoveFromList(TRegisteredTemporary* entry) {
  if (entry->Previous != nullptr) entry->Previous->Next = entry->Next;
  if (entry->Next != nullptr) entry->Next->Previous = entry->Previous;
  if (gFirstTemporary == entry) gFirstTemporary = entry->Next;
  entry->Previous = entry->Next = nullptr;
}

// Runs `step`, the rename or removal of the file `entry` lists, and takes the entry off the
// list when the step succeeds, all within one change: an interrupt finds the file either
// still listed or already gone, and no thread renames a file the handler has just removed.
// The entry is freed once it is off the list. `step` must neither allocate nor lock; errno
// is its own when it returns false.
template <typename Step>
bool FinishListed(std::unique_ptr<TRegisteredTemporary>& entry, const Step& step) {
  bool done = false;
  int error = 0;
  {
    TListChange change;
    done = step();
    error = errno;
    if (done && entry != nullptr) RemoveFromList(entry.get());
  }
  if (done) entry.reset();
  errno = error;
  return done;
}

// Runs on whichever thread the signal reaches, while the others go on; it uses nothing but
// atomics, unlink and _exit.
extern "C" void RemoveTemporariesAndExit(int signal) {
  gStopping.store(true);
  while (gChanging.load() != 0) {
  }
  for (const TRegisteredTemporary* entry = gFirstTemporary; entry != nullptr;
       entry = entry->Next) {
    ::unlink(entry->Path.c_str());
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
  // A second signal finds the first one's handler under way and leaves it to finish.
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
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
  auto registered = std::make_unique<TRegisteredTemporary>();
  // mkostemp replaces the X's with letters and digits that make the name unique.
  registered->Path =
      (folder / ("." + targetName.substr(0, kMaxNamePartInTemporary) + ".tmp-XXXXXX")).string();
  int fd = -1;
  int createError = 0;
  {
    // The file comes into being and onto the list in one step, as far as an interrupt can
    // tell: there is no moment at which it exists and the handler would not remove it.
    TListChange change;
    fd = ::mkostemp(registered->Path.data(), O_CLOEXEC);
    createError = errno;
    if (fd >= 0) AddToList(registered.get());
  }
  if (fd < 0) {
    return Status::IoError("Cannot create a temporary file beside " + target.string() + ": " +
                           std::strerror(createError));
  }
  ::fchmod(fd, ModeFor(target));
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const std::string why = ErrnoText();
    ::close(fd);
    // The object removes the file and takes it off the list as it goes.
    TTempFileBeside abandoned(target, std::move(registered), nullptr, durability);
    return Status::IoError("Cannot write beside " + target.string() + ": " + why);
  }
  return TTempFileBeside(target, std::move(registered), file, durability);
}

TTempFileBeside::TTempFileBeside(fs::path target, std::unique_ptr<TRegisteredTemporary> registered,
                                 std::FILE* file, Durability durability)
    : Target_(std::move(target)),
      TempPath_(registered->Path),
      File_(file),
      Durability_(durability),
      Registered_(std::move(registered)) {}

TTempFileBeside::TTempFileBeside(TTempFileBeside&& other) noexcept
    : Target_(std::move(other.Target_)),
      TempPath_(std::move(other.TempPath_)),
      File_(other.File_),
      Committed_(other.Committed_),
      WriteFailed_(other.WriteFailed_),
      Durability_(other.Durability_),
      Registered_(std::move(other.Registered_)) {
  other.File_ = nullptr;
  other.Committed_ = true;  // The moved-from object owns nothing to clean up.
}

TTempFileBeside::~TTempFileBeside() {
  if (File_ != nullptr) std::fclose(File_);
  if (!Committed_) RemoveFile();
}

void TTempFileBeside::RemoveFile() {
  FinishListed(Registered_, [this] {
    ::unlink(TempPath_.c_str());
    return true;
  });
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
      RemoveFile();
      Committed_ = true;  // Nothing is left to remove.
      return ready;
    }
  }
  if (!FinishListed(Registered_,
                    [this] { return ::rename(TempPath_.c_str(), Target_.c_str()) == 0; })) {
    // The file stays listed, and goes when this object does.
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
