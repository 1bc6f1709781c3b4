// The site's record: what every run wrote into the site, and what it learned of each
// picture on the way.
//
// A run owns a file below the site only when the record says the run wrote it and the file
// still holds what was written (its digest matches). Everything else is the user's: it is
// never written over and never deleted. An output is made again exactly when its recipe
// (the identity of each input and every value that shaped it) differs from the recorded
// one, so a rerun after any change gives what a clean run gives.
//
// The record is an SQLite database in the hidden file kRecordFileName at the top of the
// site. SQLite gives what a hand-written notes file could not: transactions, so that a run
// killed at any moment leaves a record as of its last commit; a schema version that can be
// migrated; a lock that keeps a second run from writing the same site; and lookups that
// need no whole-file load, so memory stays flat however large the site.
//
// Between two commits, each file a run is about to put in place is first appended to a small
// pending list (kPendingFileName), so that a file renamed into place just before a kill is
// still known for the run's own by the next run.
//
// One SiteRecord is used by one run. Its methods may be called from several threads; they
// take turns on one lock.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/status.h"
#include "files/statmany.h"
#include "picture/decjpeg.h"
#include "picture/metadata.h"
#include "site/digest.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pix {

class Diagnostics;

/// The name of the record at the top of a site.
inline constexpr std::string_view kRecordFileName = ".pixamond-record";
/// The files a run put in place since its last commit (see above).
inline constexpr std::string_view kPendingFileName = ".pixamond-record-pending";

/// The line a run stops with when another run holds the site.
inline constexpr std::string_view kAnotherRunText = "another run is writing this site";

/// The digest of the regular file at `path`, read without following a link; none when it
/// cannot be read. Its status, read before its bytes, goes to `status` when given.
std::optional<Digest> DigestOfFile(const std::filesystem::path& path,
                                   struct stat* status = nullptr);

/// The two digests of a picture: of the whole file, and of what its images are made from,
/// its bytes less the comment (COM) segments of a JPEG file's header, where its caption
/// lives. A new caption changes the first and leaves the second, so that it remakes pages
/// and no image. The bytes are digested once: the file's digest is the image's when there
/// are no such segments, else a digest of it and of the segments with their places.
struct PictureDigests {
  Digest file;
  Digest image;
};

/// The digests of the regular file at `path` (following a link, as the decoder does), read
/// once; none when it cannot be read. A file that is not a JPEG file has one digest for both.
std::optional<PictureDigests> DigestOfPicture(const std::filesystem::path& path);

class ImageBytes;

/// Makes a picture's two digests, as DigestOfPicture does, from its bytes handed over in
/// order a piece at a time: those a decoder reads (a FileBytesObserver), so that a picture
/// decoded anyway is not read a second time for its digests.
class PictureDigester : public FileBytesObserver {
 public:
  PictureDigester();
  ~PictureDigester() override;
  PictureDigester(const PictureDigester&) = delete;
  PictureDigester& operator=(const PictureDigester&) = delete;

  void Bytes(const std::uint8_t* data, std::size_t size) override;
  void End(bool whole) override;
  /// The digests, once the whole file was given and ended; none otherwise.
  std::optional<PictureDigests> Finish();

 private:
  Digester image_;
  Digester comments_;
  std::unique_ptr<ImageBytes> image_bytes_;
  bool ended_ = false;
  bool whole_ = false;
};

/// What tells, without reading it, that a file is still the one that was recorded. The
/// change time catches what keeps size and write time (a tool that sets the write time back
/// after editing); the inode, a file put in the place of another.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t write_time_ns = 0;
  std::int64_t change_time_ns = 0;
  std::uint64_t inode = 0;  ///< 0: a stamp that is never trusted (see SettledStamp).
  bool operator==(const FileStamp& other) const {
    return size == other.size && write_time_ns == other.write_time_ns &&
           change_time_ns == other.change_time_ns && inode == other.inode;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

/// The stamp of a file from its status.
FileStamp StampOf(const struct stat& info);

/// Whether `stamp` was made in an earlier step of the file system's clock than `now` (see
/// SiteRecord::FileSystemNow): any change to come gives the file a later change time.
bool ChangedBefore(const FileStamp& stamp, const struct stat& now);

/// The stamp of the regular file at `path` (with `followLink`, of the file a link leads to;
/// without, a link has none); none for anything but a regular file.
std::optional<FileStamp> StampOfFile(const std::filesystem::path& path, bool follow_link);

/// How long a file must stand unchanged before its stamp is trusted: two seconds.
inline constexpr std::int64_t kSettleTimeNs = 2'000'000'000;

/// `stamp` as it may be trusted later: a file changed within the last `settle_time_ns`
/// could be changed again without its times showing it (file systems keep times only so
/// finely), so its stamp is kept as one that never matches and the next run reads the file.
FileStamp SettledStamp(const FileStamp& stamp, std::int64_t settle_time_ns = kSettleTimeNs);

/// What a run learned of one readable picture, valid while the picture's bytes are the
/// same (Content) and the readers are those of ReaderVersion.
struct RecordedPicture {
  FileStamp stamp;  ///< As the scan found it.
  Digest content;   ///< Of the picture's bytes.
  Digest image;     ///< Of what its images are made from (PictureDigests::image).
  int reader_version = 0;
  int width = 0;  ///< Shown upright.
  int height = 0;
  std::string comments;
  PictureMetadata metadata;
  std::string damage;  ///< What the decoder said of damaged data; empty for a sound picture.
};

/// The kinds of files a run writes.
enum class OutputKind : int {
  kPage = 1,
  kInlineImage = 2,
  kDetailImage = 3,
  kFolder = 4,
  kAlbumArchive = 5,  ///< An album's detail images in one zip file.
  kSiteFile = 6,  ///< A file of the whole site for other programs: its feed, its sitemap.
};
inline constexpr int kLastOutputKind = 6;

/// One file (or folder) a run wrote.
struct RecordedOutput {
  OutputKind kind = OutputKind::kPage;
  std::string source;  ///< Site path of the picture it was made from; empty for others.
  Digest recipe;      ///< Of everything that shaped it; empty for pages and folders.
  Digest content;     ///< Of its bytes as written.
  FileStamp stamp;    ///< Its stamp when last seen holding Content.
  int width = 0;       ///< An image's size in pixels.
  int height = 0;
  /// A page the user edited by hand: each run takes its head, title and heading from it.
  bool keeps_hand_edits = false;
};

/// What the record keeps of a folder whose pages and images a later run may take as they
/// are, without making them again: the digest of everything they were made from, and the
/// run's own notes of them (site/foldersummary.h), which the record keeps as they come.
struct RecordedFolder {
  Digest key;
  std::string summary;
};

/// Whose the file at an output's place is.
enum class Ownership {
  kAbsent,      ///< Nothing is there: the run may write it.
  kOurs,        ///< The run wrote it and it holds what was written.
  kHandEdited,  ///< A page the run wrote that was edited since (it keeps its version lines).
  kUsers,       ///< Anything else: never written over, never deleted.
};

/// How a file at an output's place was found.
struct ClaimResult {
  Ownership claim = Ownership::kAbsent;
  /// With kOurs: the file's stamp equals the recorded one, so it was not read.
  bool stamp_matched = false;
  /// Why the file is the user's, in a few words: "a link", "a folder", "changed since
  /// Pixamond wrote it", "not written by Pixamond".
  std::string why;
};

class SiteRecord {
 public:
  /// Opens (or creates) the record of the site at `siteDirectory` for a run, and locks it
  /// for that run. Fails with kRefused and kAnotherRunText when another run holds it, and
  /// when something that is not this program's record stands at its name (which is left as
  /// it is). A record of an older or newer schema is migrated or started anew, never a
  /// reason to fail; the lines that say so go to `diagnostics`.
  static Result<std::unique_ptr<SiteRecord>> Open(const std::filesystem::path& site_directory,
                                                   Diagnostics& diagnostics);

  /// Opens an existing record only to read it, as the layout window does; none when there
  /// is none or it cannot be read now.
  static std::unique_ptr<SiteRecord> OpenToRead(const std::filesystem::path& site_directory);

  /// An empty record of `site_directory` in memory, for a look at the site that writes
  /// nothing (a preview of a page where the site has no record yet, or one that a run
  /// holds now). What is recorded in it goes with it.
  static std::unique_ptr<SiteRecord> OpenInMemory(const std::filesystem::path& site_directory);

  ~SiteRecord();
  SiteRecord(const SiteRecord&) = delete;
  SiteRecord& operator=(const SiteRecord&) = delete;

  /// True when the site had no record before this run (or one that had to be started
  /// anew): files of a site made before the record may then be adopted.
  bool IsNew() const { return new_record_; }
  /// True when the last run that wrote the site committed its record at its end: it was
  /// not killed, so it left no temporary file behind.
  bool LastRunFinished() const { return last_run_finished_; }
  /// The number of pictures the record knows.
  int PictureCount() const;
  /// Trusts the stamps of files changed less than `settle_time_ns` ago as well, so that a
  /// test need not wait for files to settle. It must make no two changes of a file that its
  /// times cannot tell apart.
  void SetSettleTimeForTesting(std::int64_t settle_time_ns) { settle_time_ns_ = settle_time_ns; }
  const std::filesystem::path& SiteDirectory() const { return site_; }

  /// `path` (inside the site) relative to the site directory, as the record keeps paths.
  std::string SitePath(std::string_view path) const;

  /// What the record holds of the picture or output at `path` (relative to the site).
  std::optional<RecordedPicture> FindPicture(std::string_view path) const;
  std::optional<RecordedOutput> FindOutput(std::string_view path) const;

  /// Records a picture as read now, and marks it as one of this run's.
  void RecordPicture(std::string_view path, const RecordedPicture& picture);
  /// Marks a recorded picture as still part of the site.
  void ConfirmPicture(std::string_view path);

  /// Called with the finished new version of the output at `path` just before it replaces
  /// the old one: notes its digest where a run killed right after the rename would find it.
  Status NotePending(std::string_view path, OutputKind kind, const Digest& content);
  /// Records an output as written (or found current) by this run.
  void RecordOutput(std::string_view path, const RecordedOutput& output);
  /// Marks a recorded output as still made by this run, as recorded.
  void ConfirmOutput(std::string_view path);
  /// Removes an output from the record (after the run deleted it, or gave it up).
  void ForgetOutput(std::string_view path);

  /// Whose the file at `fullPath` (an output's place, recorded as `recorded`) is. A file
  /// that is not recorded is the run's only when `mayAdopt` says it is what this program
  /// wrote before it kept a record (asked only when IsNew).
  template <typename AdoptTest>
  ClaimResult Claim(const std::string& full_path, const std::optional<RecordedOutput>& recorded,
                     AdoptTest&& may_adopt) const {
    ClaimResult result = ClaimRecorded(full_path, recorded);
    if (result.claim == Ownership::kUsers && !recorded && new_record_ && result.why.empty() &&
        may_adopt(std::filesystem::path(full_path))) {
      result.claim = Ownership::kOurs;
    }
    if (result.claim == Ownership::kUsers && result.why.empty()) {
      result.why = "not written by Pixamond";
    }
    return result;
  }
  /// Reads, ahead of a folder's work, what its claims and lookups will ask: the statuses
  /// of the files at `output_paths` (most of them in `folder`), which claims then take
  /// instead of looking at each file, and the record's rows of those outputs and of the
  /// pictures at `picture_paths` (all full paths), which FindOutput and FindPicture then
  /// answer from memory. `group` tags what was read, so that ForgetAhead drops it when the
  /// folder is done. What is recorded after the read replaces what was read.
  void ReadAhead(const std::string& folder, const std::vector<std::string>& output_paths,
                 const std::vector<std::string>& picture_paths, const void* group);
  void ForgetAhead(const void* group);

  template <typename AdoptTest>
  ClaimResult Claim(const std::filesystem::path& full_path,
                     const std::optional<RecordedOutput>& recorded, AdoptTest&& may_adopt) const {
    return Claim(full_path.native(), recorded, std::forward<AdoptTest>(may_adopt));
  }

  /// The outputs of the record that this run neither recorded nor confirmed: what it no
  /// longer makes. Only meaningful at the end of a complete run.
  struct Unconfirmed {
    std::string path;
    RecordedOutput output;
    bool source_gone = false;  ///< Made from a picture that is no longer part of the site.
  };
  std::vector<Unconfirmed> UnconfirmedOutputs() const;
  /// Every output of the record, by its path relative to the site, in the record's order.
  std::vector<std::pair<std::string, RecordedOutput>> AllOutputs() const;

  /// A user's picture a run rewrote in place (an interlaced GIF put in line order), with
  /// its bytes from before, so that cleaning the site can give it back as it was.
  struct Rewrite {
    std::string path;      ///< Relative to the site.
    std::string original;  ///< The picture's bytes before the first rewrite.
    Digest rewritten;      ///< Of the bytes the run left; empty while the rewrite is going on.
  };
  /// Notes the bytes of the picture at `path` before a rewrite (with `rewritten` empty),
  /// then, once it is done, what the rewrite left. A picture rewritten again (the user put
  /// another interlaced GIF in its place) is given back as it was before the last rewrite.
  void RecordRewrite(std::string_view path, std::string_view original, const Digest& rewritten);
  /// Every rewrite the record holds.
  std::vector<Rewrite> AllRewrites() const;
  /// Forgets the rewrite of `path` (after the picture was given back).
  void ForgetRewrite(std::string_view path);
  /// Forgets the pictures this run did not see. Only at the end of a complete run.
  void ForgetUnconfirmedPictures();

  /// What the record holds of the folder at `path` (relative to the site).
  std::optional<RecordedFolder> FindFolder(std::string_view path) const;
  /// Records what a run noted of a folder it finished, and marks it as one of this run's.
  void RecordFolder(std::string_view path, const RecordedFolder& folder);
  /// Marks a recorded folder as still part of the site, as recorded.
  void ConfirmFolder(std::string_view path);
  /// Forgets a folder whose notes no longer hold.
  void ForgetFolder(std::string_view path);
  /// Forgets the folders this run neither recorded nor confirmed. Only at the end of a
  /// complete run.
  void ForgetUnconfirmedFolders();

  /// A mark in the list of outputs this run recorded or confirmed, for OutputsSince.
  std::size_t OutputMark() const;
  /// The outputs below the folder `folder` (relative to the site; "" for the top) that this
  /// run recorded or confirmed since `mark`, with their rows, in the order of their paths.
  std::vector<std::pair<std::string, RecordedOutput>> OutputsSince(std::string_view folder,
                                                                   std::size_t mark) const;
  /// How long a file must stand unchanged before its stamp is trusted (see SettledStamp).
  std::int64_t SettleTimeNs() const { return settle_time_ns_; }

  /// Trusts the stamps of the outputs this run wrote that are still as it wrote them, so
  /// that the next run need not read them: each is read once more now (while the system
  /// still holds it in memory) and its stamp kept when its bytes are those recorded. Only a
  /// file changed in an earlier step of the file system's clock than now is settled: any
  /// change to come shows a later change time. Returns how many were settled. Called at the
  /// end of a run, reading with `threads` threads; the outputs an earlier run left
  /// unsettled are tried too. `read_so_far`, when given, is told how many were read after
  /// every few hundred; when it returns false the rest is left for the next run.
  int SettleOutputs(int threads = 1, const std::function<bool(int)>& read_so_far = {});
  /// The file system's clock now, as the change time of a file of the record's own that is
  /// given the time of now, with the file system the record is on (st_dev); none where that
  /// fails. A file whose change time is earlier shows a later one after any change to come.
  std::optional<struct stat> FileSystemNow() const;

  /// Commits what was recorded. A record that could not be written says why.
  Status Commit();

 private:
  SiteRecord() = default;
  Status Prepare(Diagnostics& diagnostics, bool existed);
  Status Execute(const char* sql);
  sqlite3_stmt* Statement(int which) const;
  Status MergePending(Diagnostics& diagnostics);
  void CommitIfDue();
  // Runs a statement that writes one row and counts the change; its first failure is kept
  // for Commit to report. Mutex must be held.
  void StepWrite(sqlite3_stmt* statement);
  Status CommitLocked();
  ClaimResult ClaimRecorded(const std::string& full_path,
                             const std::optional<RecordedOutput>& recorded) const;
  std::optional<RecordedOutput> FindOutputLocked(std::string_view path) const;
  void RecordOutputLocked(std::string_view path, const RecordedOutput& output);

  std::filesystem::path site_;
  sqlite3* db_ = nullptr;
  mutable std::vector<sqlite3_stmt*> statements_;
  mutable std::mutex mutex_;
  bool new_record_ = false;
  bool last_run_finished_ = false;
  std::int64_t settle_time_ns_ = kSettleTimeNs;
  // Whether this run recorded an output with a stamp too new to trust, which SettleOutputs
  // then looks for. Under mutex_.
  bool recorded_unsettled_ = false;
  // What was read ahead of a folder's work (ReadAhead), under a lock of its own: workers
  // claim and look up while the walk reads the next folder. A status is taken by the one
  // claim that asks for it; a row stays until its group is forgotten or the record's row
  // changes (erased under mutex_ as well, so that a row read under mutex_ is never older
  // than the record).
  struct StatusAhead {
    PathStatus status;
    const void* group = nullptr;
  };
  template <typename Row>
  struct RowAhead {
    std::optional<Row> row;  // None: the record has no such row.
    const void* group = nullptr;
  };
  mutable std::mutex ahead_mutex_;
  mutable std::unordered_map<std::string, StatusAhead> ahead_;
  std::unordered_map<std::string, RowAhead<RecordedOutput>> outputs_ahead_;
  std::unordered_map<std::string, RowAhead<RecordedPicture>> pictures_ahead_;
  void ReadStatusAhead(const std::string& folder, const std::vector<std::string>& full_paths,
                       const void* group);
  // The status read ahead for `full_path`, taken out of the map; none when there is none.
  std::optional<PathStatus> TakeStatusAhead(const std::string& full_path) const;
  // Reads the rows of `site_paths` with the statements `range` and `find` in one turn on
  // mutex_, each row's columns by `read_columns`, into `ahead`.
  template <typename Row, typename ReadColumns>
  void ReadRowsAhead(std::vector<std::string> site_paths, int range, int find,
                     ReadColumns read_columns,
                     std::unordered_map<std::string, RowAhead<Row>>& ahead, const void* group);
  // The row read ahead for `path`: none when nothing was read for it, an empty row when
  // the record had none.
  std::optional<std::optional<RecordedOutput>> OutputAhead(std::string_view path) const;
  std::optional<std::optional<RecordedPicture>> PictureAhead(std::string_view path) const;
  // Drops what was read ahead of the row at `path`, which is about to change. Under mutex_.
  void DropOutputAhead(std::string_view path);
  void DropPictureAhead(std::string_view path);
  // The paths the statement `all` lists whose hashes are not among `seen` (one of the
  // seen_ lists, read under seen_mutex_). Under mutex_.
  std::vector<std::string> PathsNotSeen(int all, const std::vector<std::uint64_t>& seen) const;
  // Deletes the row of each of `paths` with the statement `remove`. Under mutex_.
  void DeleteRows(int remove, const std::vector<std::string>& paths);
  bool read_only_ = false;
  int pending_fd_ = -1;
  int changes_since_commit_ = 0;
  Status write_error_;  // The first write that failed, reported by Commit.
  // What this run recorded or confirmed, by the hash of the path; under a lock of their
  // own, so that confirming never waits for a lookup.
  mutable std::mutex seen_mutex_;
  std::vector<std::uint64_t> seen_outputs_;
  std::vector<std::uint64_t> seen_pictures_;
  std::vector<std::uint64_t> seen_folders_;
};

}  // namespace pix
