// Replacing files without ever leaving one half-written.
//
// A new version of a file is written to a temporary file in the same folder (so that the
// final rename is atomic), checked, and only then renamed over the old file. Until the
// rename the old file is untouched; if anything fails, or the replacement is abandoned,
// the temporary file is removed and the old file stays as it was.
#pragma once

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"

namespace pix {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
/// A stdio file that closes itself.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct RegisteredTemporary;

/// Called with the finished new file (closed, and on the disk when synced) just before it
/// is renamed over its target, so that a caller can note what the target is about to hold
/// before it does. A failure abandons the replacement: the new file is removed, the target
/// stays as it was, and the failure is what the commit returns.
using BeforeReplace = std::function<Status(const std::filesystem::path& finished)>;

class TempFileBeside {
 public:
  /// Whether Close waits until the contents are on the disk. Files that cannot be made
  /// again (pictures, settings, layouts) are synced; generated pages need not be.
  enum class Durability { kSynced, kUnsynced };

  /// Opens a new, uniquely named temporary file beside `target` for binary writing. A
  /// target that exists and is neither a regular file nor a link (a directory, a device such
  /// as /dev/null, a pipe) is refused: renaming over it would put a file in its place.
  /// From the moment the file exists until it is renamed or removed, an interrupt (see
  /// InstallInterruptCleanup) removes it, whichever thread made it.
  static Result<TempFileBeside> Create(const std::filesystem::path& target,
                                        Durability durability = Durability::kSynced);

  TempFileBeside(TempFileBeside&& other) noexcept;
  TempFileBeside& operator=(TempFileBeside&&) = delete;
  TempFileBeside(const TempFileBeside&) = delete;
  ~TempFileBeside();  // Removes the temporary file unless it was committed.

  /// The open stream to write the new contents to; null after Close.
  std::FILE* File() const { return file_; }
  const std::filesystem::path& TempPath() const { return temp_path_; }
  const std::filesystem::path& TargetPath() const { return target_; }

  /// Flushes the contents to disk and closes the stream, so that the new file can be
  /// checked before it replaces the old one. Reports any write error.
  Status Close();

  /// Closes (if still open) and renames the temporary file over the target. The new file
  /// keeps the permissions of the file it replaces. `beforeReplace`, when set, is called
  /// with TempPath() between the two; when it fails, the temporary file is removed and the
  /// target left as it was.
  Status Commit(const BeforeReplace& before_replace = {});

 private:
  TempFileBeside(std::filesystem::path target, std::unique_ptr<RegisteredTemporary> registered,
                  std::FILE* file, Durability durability);

  std::filesystem::path target_;
  std::filesystem::path temp_path_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
  bool write_failed_ = false;
  Durability durability_ = Durability::kSynced;
  // The temporary file's entry in the list the interrupt handler removes files from; held
  // until the file is renamed into place or removed, then taken off the list and freed.
  std::unique_ptr<RegisteredTemporary> registered_;
  // Removes the temporary file and takes it off the list.
  void RemoveFile();
};

/// What kind of file a mode from stat names, for messages: "a directory", "a named pipe",
/// "a device", "a socket", "a special file", or "a regular file".
const char* FileKindText(unsigned mode);

/// True for the name of a temporary file this program makes: "." NAME ".tmp-" and six
/// letters or digits.
bool IsLeftoverTemporaryName(std::string_view name);

/// Removes the temporary file at `path` (see IsLeftoverTemporaryName) when it is a plain
/// file that nobody has written to for a minute: what an interrupted run left behind, not
/// what a run going on now is writing. True when it was removed.
bool RemoveLeftoverTemporary(const std::filesystem::path& path);

/// Makes SIGINT and SIGTERM remove every temporary file being written before the program
/// ends with status 128 + the signal's number (130, 143), so that an interrupted run
/// leaves nothing behind. The old files stay as they were. Threads that are just making or
/// finishing a temporary file are waited for, and none starts another once the signal came.
void InstallInterruptCleanup();

/// Replaces (or creates) `target` with `contents` through a temporary file beside it. When
/// `target` is a symbolic link, the file it leads to is replaced and the link kept. A
/// target that already holds exactly `contents` is left untouched, its time too.
Status WriteFileAtomically(const std::filesystem::path& target, std::string_view contents);

}  // namespace pix
