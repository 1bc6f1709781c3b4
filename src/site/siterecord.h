// The site's record: what every run wrote into the site, and what it learned of each
// picture on the way.
//
// A run owns a file below the site only when the record says the run wrote it and the file
// still holds what was written (its digest matches). Everything else is the user's: it is
// never written over and never deleted. An output is made again exactly when its recipe
// (the identity of each input and every value that shaped it) differs from the recorded
// one, so a rerun after any change gives what a clean run gives.
//
// The record is an SQLite database in the hidden file RECORD_FILE_NAME at the top of the
// site. SQLite gives what a hand-written notes file could not: transactions, so that a run
// killed at any moment leaves a record as of its last commit; a schema version that can be
// migrated; a lock that keeps a second run from writing the same site; and lookups that
// need no whole-file load, so memory stays flat however large the site.
//
// Between two commits, each file a run is about to put in place is first appended to a small
// pending list (PENDING_FILE_NAME), so that a file renamed into place just before a kill is
// still known for the run's own by the next run.
//
// One TSiteRecord is used by one run. Its methods may be called from several threads; they
// take turns on one lock.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status.h"
#include "picture/metadata.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pix {

class Diagnostics;

/// The name of the record at the top of a site.
inline constexpr std::string_view RECORD_FILE_NAME = ".pixamond-record";
/// The files a run put in place since its last commit (see above).
inline constexpr std::string_view PENDING_FILE_NAME = ".pixamond-record-pending";

/// The line a run stops with when another run holds the site.
inline constexpr std::string_view kAnotherRunText = "another run is writing this site";

/// A 128-bit XXH3 digest of a file's bytes.
struct TDigest {
  std::uint64_t Low = 0;
  std::uint64_t High = 0;
  bool Empty() const { return Low == 0 && High == 0; }
  bool operator==(const TDigest& other) const { return Low == other.Low && High == other.High; }
  bool operator!=(const TDigest& other) const { return !(*this == other); }
};

/// The digest of bytes handed over a piece at a time.
class TDigester {
 public:
  TDigester();
  ~TDigester();
  TDigester(const TDigester&) = delete;
  TDigester& operator=(const TDigester&) = delete;
  void Add(std::string_view bytes);
  /// The digest of everything added so far.
  TDigest Finish() const;

 private:
  struct State;
  std::unique_ptr<State> Impl;
};

/// The digest of `bytes`.
TDigest DigestOf(std::string_view bytes);

/// The digest of the regular file at `path`, read without following a link; none when it
/// cannot be read.
std::optional<TDigest> DigestOfFile(const std::filesystem::path& path);

/// What tells, without reading it, that a file is still the one that was recorded. The
/// change time catches what keeps size and write time (a tool that sets the write time back
/// after editing); the inode, a file put in the place of another.
struct TFileStamp {
  std::uint64_t Size = 0;
  std::int64_t WriteTimeNs = 0;
  std::int64_t ChangeTimeNs = 0;
  std::uint64_t Inode = 0;  ///< 0: a stamp that is never trusted (see SettledStamp).
  bool operator==(const TFileStamp& other) const {
    return Size == other.Size && WriteTimeNs == other.WriteTimeNs &&
           ChangeTimeNs == other.ChangeTimeNs && Inode == other.Inode;
  }
  bool operator!=(const TFileStamp& other) const { return !(*this == other); }
};

/// The stamp of a file from its status.
TFileStamp StampOf(const struct stat& info);

/// The stamp of the regular file at `path` (with `followLink`, of the file a link leads to;
/// without, a link has none); none for anything but a regular file.
std::optional<TFileStamp> StampOfFile(const std::filesystem::path& path, bool followLink);

/// `stamp` as it may be trusted later: a file changed within the last two seconds could be
/// changed again without its times showing it (file systems keep times only so finely), so
/// its stamp is kept as one that never matches and the next run reads the file.
TFileStamp SettledStamp(const TFileStamp& stamp);

/// What a run learned of one readable picture, valid while the picture's bytes are the
/// same (Content) and the readers are those of ReaderVersion.
struct TRecordedPicture {
  TFileStamp Stamp;  ///< As the scan found it.
  TDigest Content;   ///< Of the picture's bytes.
  int ReaderVersion = 0;
  int Width = 0;  ///< Shown upright.
  int Height = 0;
  std::string Comments;
  PictureMetadata Metadata;
  std::string Damage;  ///< What the decoder said of damaged data; empty for a sound picture.
};

/// The kinds of files a run writes.
enum class TOutputKind : int { kPage = 1, kInlineImage = 2, kDetailImage = 3, kFolder = 4 };

/// One file (or folder) a run wrote.
struct TRecordedOutput {
  TOutputKind Kind = TOutputKind::kPage;
  std::string Source;  ///< Site path of the picture it was made from; empty for others.
  TDigest Recipe;      ///< Of everything that shaped it; empty for pages and folders.
  TDigest Content;     ///< Of its bytes as written.
  TFileStamp Stamp;    ///< Its stamp when last seen holding Content.
  int Width = 0;       ///< An image's size in pixels.
  int Height = 0;
  /// A page the user edited by hand: each run takes its head, title and heading from it.
  bool KeepsHandEdits = false;
};

/// Whose the file at an output's place is.
enum class TClaim {
  kAbsent,      ///< Nothing is there: the run may write it.
  kOurs,        ///< The run wrote it and it holds what was written.
  kHandEdited,  ///< A page the run wrote that was edited since (it keeps its version lines).
  kUsers,       ///< Anything else: never written over, never deleted.
};

/// How a file at an output's place was found.
struct TClaimResult {
  TClaim Claim = TClaim::kAbsent;
  /// With kOurs: the file's stamp equals the recorded one, so it was not read.
  bool StampMatched = false;
  /// Why the file is the user's, in a few words: "a link", "a folder", "changed since
  /// Pixamond wrote it", "not written by Pixamond".
  std::string Why;
};

class TSiteRecord {
 public:
  /// Opens (or creates) the record of the site at `siteDirectory` for a run, and locks it
  /// for that run. Fails with kRefused and kAnotherRunText when another run holds it, and
  /// when something that is not this program's record stands at its name (which is left as
  /// it is). A record of an older or newer schema is migrated or started anew, never a
  /// reason to fail; the lines that say so go to `diagnostics`.
  static Result<std::unique_ptr<TSiteRecord>> Open(const std::filesystem::path& siteDirectory,
                                                   Diagnostics& diagnostics);

  /// Opens an existing record only to read it, as the layout window does; none when there
  /// is none or it cannot be read now.
  static std::unique_ptr<TSiteRecord> OpenToRead(const std::filesystem::path& siteDirectory);

  ~TSiteRecord();
  TSiteRecord(const TSiteRecord&) = delete;
  TSiteRecord& operator=(const TSiteRecord&) = delete;

  /// True when the site had no record before this run (or one that had to be started
  /// anew): files of a site made before the record may then be adopted.
  bool IsNew() const { return NewRecord; }
  const std::filesystem::path& SiteDirectory() const { return Site; }

  /// `path` (inside the site) relative to the site directory, as the record keeps paths.
  std::string SitePath(std::string_view path) const;

  /// What the record holds of the picture or output at `path` (relative to the site).
  std::optional<TRecordedPicture> FindPicture(std::string_view path) const;
  std::optional<TRecordedOutput> FindOutput(std::string_view path) const;

  /// Records a picture as read now, and marks it as one of this run's.
  void RecordPicture(std::string_view path, const TRecordedPicture& picture);
  /// Marks a recorded picture as still part of the site.
  void ConfirmPicture(std::string_view path);

  /// Called with the finished new version of the output at `path` just before it replaces
  /// the old one: notes its digest where a run killed right after the rename would find it.
  Status NotePending(std::string_view path, TOutputKind kind, const TDigest& content);
  /// Records an output as written (or found current) by this run.
  void RecordOutput(std::string_view path, const TRecordedOutput& output);
  /// Marks a recorded output as still made by this run, as recorded.
  void ConfirmOutput(std::string_view path);
  /// Removes an output from the record (after the run deleted it, or gave it up).
  void ForgetOutput(std::string_view path);

  /// Whose the file at `fullPath` (an output's place, recorded as `recorded`) is. A file
  /// that is not recorded is the run's only when `mayAdopt` says it is what this program
  /// wrote before it kept a record (asked only when IsNew).
  template <typename AdoptTest>
  TClaimResult Claim(const std::string& fullPath, const std::optional<TRecordedOutput>& recorded,
                     AdoptTest&& mayAdopt) const {
    TClaimResult result = ClaimRecorded(fullPath, recorded);
    if (result.Claim == TClaim::kUsers && !recorded && NewRecord && result.Why.empty() &&
        mayAdopt(std::filesystem::path(fullPath))) {
      result.Claim = TClaim::kOurs;
    }
    if (result.Claim == TClaim::kUsers && result.Why.empty()) {
      result.Why = "not written by Pixamond";
    }
    return result;
  }
  template <typename AdoptTest>
  TClaimResult Claim(const std::filesystem::path& fullPath,
                     const std::optional<TRecordedOutput>& recorded, AdoptTest&& mayAdopt) const {
    return Claim(fullPath.native(), recorded, std::forward<AdoptTest>(mayAdopt));
  }

  /// The outputs of the record that this run neither recorded nor confirmed: what it no
  /// longer makes. Only meaningful at the end of a complete run.
  struct TUnconfirmed {
    std::string Path;
    TRecordedOutput Output;
    bool SourceGone = false;  ///< Made from a picture that is no longer part of the site.
  };
  std::vector<TUnconfirmed> UnconfirmedOutputs() const;
  /// Forgets the pictures this run did not see. Only at the end of a complete run.
  void ForgetUnconfirmedPictures();

  /// Commits what was recorded. A record that could not be written says why.
  Status Commit();

 private:
  TSiteRecord() = default;
  Status Prepare(Diagnostics& diagnostics, bool existed);
  Status Execute(const char* sql);
  sqlite3_stmt* Statement(int which) const;
  Status MergePending(Diagnostics& diagnostics);
  void CommitIfDue();
  Status CommitLocked();
  TClaimResult ClaimRecorded(const std::string& fullPath,
                             const std::optional<TRecordedOutput>& recorded) const;
  std::optional<TRecordedOutput> FindOutputLocked(std::string_view path) const;
  void RecordOutputLocked(std::string_view path, const TRecordedOutput& output);

  std::filesystem::path Site;
  sqlite3* Db = nullptr;
  mutable std::vector<sqlite3_stmt*> Statements;
  mutable std::mutex Mutex;
  bool NewRecord = false;
  bool ReadOnly = false;
  int PendingFd = -1;
  int ChangesSinceCommit = 0;
  Status WriteError;  // The first write that failed, reported by Commit.
  // What this run recorded or confirmed, by the hash of the path; under a lock of their
  // own, so that confirming never waits for a lookup.
  mutable std::mutex SeenMutex;
  std::vector<std::uint64_t> SeenOutputs;
  std::vector<std::uint64_t> SeenPictures;
};

}  // namespace pix
