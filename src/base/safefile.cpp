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
// kept here rather than in the TempFileBeside, which moves: the handler may read it until
// the entry is off the list.
struct RegisteredTemporary {
  std::string path;
  RegisteredTemporary* previous = nullptr;
  RegisteredTemporary* next = nullptr;
};

namespace {

// The temporary files that exist on disk and are not yet renamed into place or removed.
//
// Threads change the list, and the interrupt handler reads it, by turns. A thread changes it
// only inside a ListChange: with SIGINT and SIGTERM blocked, so that the handler never
// runs on a thread that is halfway through a change (it would wait for that thread forever),
// and counted in changing. The handler first sets stopping, after which no change begins
// (a thread that would start one waits for the end instead), and then waits for changing
// to fall to zero. From then on the list is complete and nobody touches it: every file a
// thread has created is on it, because the file is created inside the same change that puts
// it on the list, and every file that is off it has been renamed or removed before.
//
// Nothing inside a change may allocate or take a lock the handler's thread could hold when
// it was interrupted (malloc's, stdio's): the handler would wait for that change forever.
// Entries are therefore allocated and freed outside, and list_mutex, which orders changes
// between threads, is only ever taken inside a change, with the signals blocked.
std::atomic<bool> stopping{false};
std::atomic<int> changing{0};
std::mutex list_mutex;
RegisteredTemporary* first_temporary = nullptr;

class ListChange {
 public:
  ListChange() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &interrupts, &saved_mask_);
    changing.fetch_add(1);
    if (stopping.load()) {
      // The program is ending: the handler removes what is on the list and exits, and
      // this thread must neither create a file it would miss nor keep it waiting.
      changing.fetch_sub(1);
      for (;;) ::pause();
    }
    list_mutex.lock();
  }
  ~ListChange() {
    list_mutex.unlock();
    changing.fetch_sub(1);
    ::pthread_sigmask(SIG_SETMASK, &saved_mask_, nullptr);
  }
  ListChange(const ListChange&) = delete;
  ListChange& operator=(const ListChange&) = delete;

 private:
  sigset_t saved_mask_;
};

// Both only inside a ListChange.
void AddToList(RegisteredTemporary* entry) {
  entry->previous = nullptr;
  entry->next = first_temporary;
  if (first_temporary != nullptr) first_temporary->previous = entry;
  first_temporary = entry;
}

void RemoveFromList(RegisteredTemporary* entry) {
  if (entry->previous != nullptr) entry->previous->next = entry->next;
  if (entry->next != nullptr) entry->next->previous = entry->previous;
  if (first_temporary == entry) first_temporary = entry->next;
  entry->previous = entry->next = nullptr;
}

// Runs `step`, the rename or removal of the file `entry` lists, and takes the entry off the
// list when the step succeeds, all within one change: an interrupt finds the file either
// still listed or already gone, and no thread renames a file the handler has just removed.
// The entry is freed once it is off the list. `step` must neither allocate nor lock; errno
// is its own when it returns false.
template <typename Step>
bool FinishListed(std::unique_ptr<RegisteredTemporary>& entry, const Step& step) {
  bool done = false;
  int error = 0;
  {
    ListChange change;
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
  stopping.store(true);
  while (changing.load() != 0) {
  }
  for (const RegisteredTemporary* entry = first_temporary; entry != nullptr;
       entry = entry->next) {
    ::unlink(entry->path.c_str());
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

Result<TempFileBeside> TempFileBeside::Create(const fs::path& target, Durability durability) {
  struct stat existing;
  if (::lstat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
      !S_ISLNK(existing.st_mode)) {
    return Status::Refused(target.string() + " is " + FileKindText(existing.st_mode) +
                           ", not a regular file; it is not replaced");
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const std::string target_name = target.filename().string();
  auto registered = std::make_unique<RegisteredTemporary>();
  // mkostemp replaces the X's with letters and digits that make the name unique.
  registered->path =
      (folder / ("." + target_name.substr(0, kMaxNamePartInTemporary) + ".tmp-XXXXXX")).string();
  int fd = -1;
  int create_error = 0;
  {
    // The file comes into being and onto the list in one step, as far as an interrupt can
    // tell: there is no moment at which it exists and the handler would not remove it.
    ListChange change;
    fd = ::mkostemp(registered->path.data(), O_CLOEXEC);
    create_error = errno;
    if (fd >= 0) AddToList(registered.get());
  }
  if (fd < 0) {
    return Status::IoError("Cannot create a temporary file beside " + target.string() + ": " +
                           std::strerror(create_error));
  }
  ::fchmod(fd, ModeFor(target));
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const std::string why = ErrnoText();
    ::close(fd);
    // The object removes the file and takes it off the list as it goes.
    TempFileBeside abandoned(target, std::move(registered), nullptr, durability);
    return Status::IoError("Cannot write beside " + target.string() + ": " + why);
  }
  return TempFileBeside(target, std::move(registered), file, durability);
}

TempFileBeside::TempFileBeside(fs::path target, std::unique_ptr<RegisteredTemporary> registered,
                                 std::FILE* file, Durability durability)
    : target_(std::move(target)),
      temp_path_(registered->path),
      file_(file),
      durability_(durability),
      registered_(std::move(registered)) {}

TempFileBeside::TempFileBeside(TempFileBeside&& other) noexcept
    : target_(std::move(other.target_)),
      temp_path_(std::move(other.temp_path_)),
      file_(other.file_),
      committed_(other.committed_),
      write_failed_(other.write_failed_),
      durability_(other.durability_),
      registered_(std::move(other.registered_)) {
  other.file_ = nullptr;
  other.committed_ = true;  // The moved-from object owns nothing to clean up.
}

TempFileBeside::~TempFileBeside() {
  if (file_ != nullptr) std::fclose(file_);
  if (!committed_) RemoveFile();
}

void TempFileBeside::RemoveFile() {
  FinishListed(registered_, [this] {
    ::unlink(temp_path_.c_str());
    return true;
  });
}

Status TempFileBeside::Close() {
  if (file_ == nullptr) {
    return write_failed_ ? Status::IoError("Cannot write " + target_.string()) : Status::OK();
  }
  bool failed = std::fflush(file_) != 0 || std::ferror(file_) != 0;
  std::string why = failed ? ErrnoText() : std::string();
  if (!failed && durability_ == Durability::kSynced && ::fsync(::fileno(file_)) != 0) {
    failed = true;
    why = ErrnoText();
  }
  if (std::fclose(file_) != 0 && !failed) {
    failed = true;
    why = ErrnoText();
  }
  file_ = nullptr;
  write_failed_ = failed;
  if (failed) return Status::IoError("Cannot write " + target_.string() + ": " + why);
  return Status::OK();
}

Status TempFileBeside::Commit(const BeforeReplace& before_replace) {
  Status closed = Close();
  if (!closed.ok()) return closed;
  if (before_replace) {
    Status ready = before_replace(temp_path_);
    if (!ready.ok()) {
      // The replacement is abandoned now, not when this object goes: the folder holds no
      // new file once the caller hears of the failure.
      RemoveFile();
      committed_ = true;  // Nothing is left to remove.
      return ready;
    }
  }
  if (!FinishListed(registered_,
                    [this] { return ::rename(temp_path_.c_str(), target_.c_str()) == 0; })) {
    // The file stays listed, and goes when this object does.
    return Status::IoError("Cannot replace " + target_.string() + ": " + ErrnoText());
  }
  committed_ = true;
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
  Result<TempFileBeside> temp = TempFileBeside::Create(target);
  if (!temp.ok()) return temp.status();
  if (!contents.empty() &&
      std::fwrite(contents.data(), 1, contents.size(), temp->File()) != contents.size()) {
    return Status::IoError("Cannot write " + target.string() + ": " + ErrnoText());
  }
  return temp->Commit();
}

}  // namespace pix
