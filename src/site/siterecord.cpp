#include "site/siterecord.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <unordered_map>

#include "base/diagnostics.h"
#include "base/filetime.h"
#include "files/utils.h"
#include "picture/comread.h"
#include "picture/metatext.h"

namespace pix {
namespace {

// Marks the database as this program's record ("PXMD").
constexpr int kApplicationId = 0x50584D44;
// The schema this build writes. An older record is migrated step by step; a newer one, which
// this build cannot read, is started anew.
constexpr int kSchemaVersion = 1;
// Recorded changes are committed in batches; the pending list covers the files put in place
// in between.
constexpr int kChangesPerCommit = 2000;
// A change this recent may not yet show in a file's times (see SettledStamp).
constexpr std::int64_t kSettledNs = 2'000'000'000;
// The largest pending list that is read back; a run appends a line a file between commits.
constexpr off_t kMaxPendingSize = 64 * 1024 * 1024;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS pictures ("
    "  path TEXT PRIMARY KEY, size INTEGER, write_ns INTEGER, change_ns INTEGER,"
    "  inode INTEGER, content BLOB, reader INTEGER, width INTEGER, height INTEGER,"
    "  orientation INTEGER, comments TEXT, description TEXT, date_taken TEXT, make TEXT,"
    "  model TEXT, xmp_description TEXT, iptc_caption TEXT, damage TEXT) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS outputs ("
    "  path TEXT PRIMARY KEY, kind INTEGER, source TEXT, recipe BLOB, content BLOB,"
    "  size INTEGER, write_ns INTEGER, change_ns INTEGER, inode INTEGER, width INTEGER,"
    "  height INTEGER, keeps_hand_edits INTEGER) WITHOUT ROWID;";

// The prepared statements, by index into Statements.
enum StatementId {
  kFindPicture,
  kPutPicture,
  kFindOutput,
  kPutOutput,
  kDeleteOutput,
  kAllOutputs,
  kAllPictures,
  kDeletePicture,
  kStatementCount
};

constexpr const char* kStatementText[kStatementCount] = {
    "SELECT size, write_ns, change_ns, inode, content, reader, width, height, orientation,"
    " comments, description, date_taken, make, model, xmp_description, iptc_caption, damage"
    " FROM pictures WHERE path = ?1",
    "INSERT OR REPLACE INTO pictures VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11,"
    " ?12, ?13, ?14, ?15, ?16, ?17, ?18)",
    "SELECT kind, source, recipe, content, size, write_ns, change_ns, inode, width, height,"
    " keeps_hand_edits FROM outputs WHERE path = ?1",
    "INSERT OR REPLACE INTO outputs VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)",
    "DELETE FROM outputs WHERE path = ?1",
    "SELECT path, kind, source, recipe, content, size, write_ns, change_ns, inode, width,"
    " height, keeps_hand_edits FROM outputs",
    "SELECT path FROM pictures",
    "DELETE FROM pictures WHERE path = ?1",
};

std::uint64_t PathHash(std::string_view path) { return XXH3_64bits(path.data(), path.size()); }

// Resets a statement when it goes out of scope, so that it holds no lock or row.
class TStatementUse {
 public:
  explicit TStatementUse(sqlite3_stmt* statement) : Statement(statement) {}
  ~TStatementUse() { sqlite3_reset(Statement); }
  TStatementUse(const TStatementUse&) = delete;
  TStatementUse& operator=(const TStatementUse&) = delete;
  sqlite3_stmt* operator*() const { return Statement; }

 private:
  sqlite3_stmt* Statement;
};

// The text must outlive the statement's step (every caller binds and steps in one scope).
void BindText(sqlite3_stmt* statement, int index, std::string_view text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

void BindDigest(sqlite3_stmt* statement, int index, const TDigest& digest) {
  unsigned char bytes[16];
  std::memcpy(bytes, &digest.Low, 8);
  std::memcpy(bytes + 8, &digest.High, 8);
  sqlite3_bind_blob(statement, index, bytes, sizeof bytes, SQLITE_TRANSIENT);
}

void BindStamp(sqlite3_stmt* statement, int first, const TFileStamp& stamp) {
  sqlite3_bind_int64(statement, first, static_cast<sqlite3_int64>(stamp.Size));
  sqlite3_bind_int64(statement, first + 1, stamp.WriteTimeNs);
  sqlite3_bind_int64(statement, first + 2, stamp.ChangeTimeNs);
  sqlite3_bind_int64(statement, first + 3, static_cast<sqlite3_int64>(stamp.Inode));
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text != nullptr ? std::string(text, static_cast<std::size_t>(
                                                 sqlite3_column_bytes(statement, column)))
                         : std::string();
}

TDigest ColumnDigest(sqlite3_stmt* statement, int column) {
  TDigest digest;
  if (sqlite3_column_bytes(statement, column) == 16) {
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
    std::memcpy(&digest.Low, bytes, 8);
    std::memcpy(&digest.High, bytes + 8, 8);
  }
  return digest;
}

TFileStamp ColumnStamp(sqlite3_stmt* statement, int first) {
  TFileStamp stamp;
  stamp.Size = static_cast<std::uint64_t>(sqlite3_column_int64(statement, first));
  stamp.WriteTimeNs = sqlite3_column_int64(statement, first + 1);
  stamp.ChangeTimeNs = sqlite3_column_int64(statement, first + 2);
  stamp.Inode = static_cast<std::uint64_t>(sqlite3_column_int64(statement, first + 3));
  return stamp;
}

// Reads an output's columns from `first` on (kind first).
TRecordedOutput ColumnOutput(sqlite3_stmt* statement, int first) {
  TRecordedOutput output;
  output.Kind = static_cast<TOutputKind>(sqlite3_column_int(statement, first));
  output.Source = ColumnText(statement, first + 1);
  output.Recipe = ColumnDigest(statement, first + 2);
  output.Content = ColumnDigest(statement, first + 3);
  output.Stamp = ColumnStamp(statement, first + 4);
  output.Width = sqlite3_column_int(statement, first + 8);
  output.Height = sqlite3_column_int(statement, first + 9);
  output.KeepsHandEdits = sqlite3_column_int(statement, first + 10) != 0;
  return output;
}

// "2024-06-01T18:30:12", as the EXIF reader makes it.
bool IsIsoDateTime(std::string_view text) {
  constexpr std::string_view kShape = "0000-00-00T00:00:00";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return false;
  }
  return true;
}

// A record travels with its site (an album unpacked from an archive keeps its files' times),
// so what it says of a picture is believed only when it is what the readers themselves
// would have handed over.
bool IsBelievable(const TRecordedPicture& picture) {
  const PictureMetadata& metadata = picture.Metadata;
  const ExifInfo& exif = metadata.exif;
  if (picture.Width <= 0 || picture.Height <= 0) return false;
  for (const std::string* text : {&exif.description, &exif.make, &exif.model,
                                  &metadata.xmp_description, &metadata.iptc_caption}) {
    if (CleanMetadataText(*text) != *text) return false;
  }
  if (!exif.date_taken.empty() && !IsIsoDateTime(exif.date_taken)) return false;
  return picture.Comments.empty() ||
         (picture.Comments.size() < static_cast<std::size_t>(MAX_COMMENTS_LENGTH) &&
          FilterCommentText(picture.Comments) == picture.Comments);
}

std::string SqliteMessage(sqlite3* db) { return db != nullptr ? sqlite3_errmsg(db) : "no memory"; }

std::string HexOf(const TDigest& digest) {
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(digest.High),
                static_cast<unsigned long long>(digest.Low));
  return text;
}

std::optional<TDigest> DigestFromHex(std::string_view text) {
  if (text.size() != 32) return std::nullopt;
  TDigest digest;
  for (std::size_t i = 0; i < 32; ++i) {
    const char c = text[i];
    int value;
    if (c >= '0' && c <= '9') {
      value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      value = c - 'a' + 10;
    } else {
      return std::nullopt;
    }
    std::uint64_t& half = i < 16 ? digest.High : digest.Low;
    half = (half << 4) | static_cast<std::uint64_t>(value);
  }
  return digest;
}

// A record travels with its site and could be made by anyone: only a relative path that
// stays below the site is ever looked at or removed.
bool StaysInsideSite(std::string_view path) {
  if (path.empty() || path.front() == '/') return false;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

// --- Digests and stamps ---------------------------------------------------------------

struct TDigester::State {
  State() : Hash(XXH3_createState()) {
    if (Hash == nullptr) throw std::bad_alloc();
    XXH3_128bits_reset(Hash);
  }
  ~State() { XXH3_freeState(Hash); }
  XXH3_state_t* Hash;
};

TDigester::TDigester() : Impl(std::make_unique<State>()) {}
TDigester::~TDigester() = default;

void TDigester::Add(std::string_view bytes) {
  XXH3_128bits_update(Impl->Hash, bytes.data(), bytes.size());
}

TDigest TDigester::Finish() const {
  const XXH128_hash_t hash = XXH3_128bits_digest(Impl->Hash);
  return TDigest{hash.low64, hash.high64};
}

TDigest DigestOf(std::string_view bytes) {
  const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
  return TDigest{hash.low64, hash.high64};
}

std::optional<TDigest> DigestOfFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  TDigester digester;
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    digester.Add(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
  }
  ::close(fd);
  return digester.Finish();
}

TFileStamp StampOf(const struct stat& info) {
  return TFileStamp{static_cast<std::uint64_t>(info.st_size), TimeNs(info.st_mtim),
                    TimeNs(info.st_ctim), static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<TFileStamp> StampOfFile(const std::filesystem::path& path, bool followLink) {
  struct stat info;
  if ((followLink ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0 ||
      !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  return StampOf(info);
}

TFileStamp SettledStamp(const TFileStamp& stamp) {
  if (NowNs() - stamp.ChangeTimeNs >= kSettledNs && NowNs() - stamp.WriteTimeNs >= kSettledNs) {
    return stamp;
  }
  TFileStamp unsettled = stamp;
  unsettled.Inode = 0;
  return unsettled;
}

// --- Opening ----------------------------------------------------------------------------

Result<std::unique_ptr<TSiteRecord>> TSiteRecord::Open(const std::filesystem::path& siteDirectory,
                                                       Diagnostics& diagnostics) {
  const std::filesystem::path file = siteDirectory / std::string(RECORD_FILE_NAME);
  struct stat info;
  bool existed = false;
  if (::lstat(file.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) {
      return Status::Refused(file.string() +
                             " is not Pixamond's record of the site; it is left as it is");
    }
    existed = true;
  }
  std::unique_ptr<TSiteRecord> record(new TSiteRecord());
  record->Site = siteDirectory;
  const int opened = sqlite3_open_v2(
      file.c_str(), &record->Db,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
      nullptr);
  if (opened != SQLITE_OK) {
    return Status::IoError("Cannot open the site's record " + file.string() + ": " +
                           SqliteMessage(record->Db));
  }
  if (Status prepared = record->Prepare(diagnostics, existed); !prepared.ok()) return prepared;
  return record;
}

std::unique_ptr<TSiteRecord> TSiteRecord::OpenToRead(const std::filesystem::path& siteDirectory) {
  const std::filesystem::path file = siteDirectory / std::string(RECORD_FILE_NAME);
  struct stat info;
  if (::lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  std::unique_ptr<TSiteRecord> record(new TSiteRecord());
  record->Site = siteDirectory;
  record->ReadOnly = true;
  if (sqlite3_open_v2(file.c_str(), &record->Db,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    return nullptr;
  }
  sqlite3_stmt* check = nullptr;
  bool ours = false;
  if (sqlite3_prepare_v2(record->Db, "PRAGMA application_id", -1, &check, nullptr) == SQLITE_OK &&
      sqlite3_step(check) == SQLITE_ROW) {
    ours = sqlite3_column_int(check, 0) == kApplicationId;
  }
  sqlite3_finalize(check);
  sqlite3_stmt* version = nullptr;
  if (ours && sqlite3_prepare_v2(record->Db, "PRAGMA user_version", -1, &version, nullptr) ==
                  SQLITE_OK &&
      sqlite3_step(version) == SQLITE_ROW) {
    ours = sqlite3_column_int(version, 0) == kSchemaVersion;
  }
  sqlite3_finalize(version);
  if (!ours) return nullptr;
  record->Statements.assign(kStatementCount, nullptr);
  return record;
}

Status TSiteRecord::Execute(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(Db, sql, nullptr, nullptr, &error) == SQLITE_OK) return Status::OK();
  std::string message = error != nullptr ? error : SqliteMessage(Db);
  sqlite3_free(error);
  return Status::IoError(message);
}

Status TSiteRecord::Prepare(Diagnostics& diagnostics, bool existed) {
  const std::string file = (Site / std::string(RECORD_FILE_NAME)).string();
  // One run writes a site at a time: the first write takes a lock that the connection keeps
  // until it closes, and a second run meets it at once.
  sqlite3_busy_timeout(Db, 0);
  if (Status set = Execute("PRAGMA locking_mode = EXCLUSIVE"); !set.ok()) {
    return Status::IoError("Cannot use the site's record " + file + ": " + set.message());
  }
  // WAL: a commit appends to the log without waiting for the disk; a kill leaves the record
  // as of the last commit. With the exclusive lock the log needs no shared memory file.
  // NORMAL: in WAL mode only a checkpoint waits for the disk, and a power cut can lose the
  // last commits but never break the record.
  int begun = sqlite3_exec(Db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL",
                           nullptr, nullptr, nullptr);
  if (begun == SQLITE_OK) begun = sqlite3_exec(Db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
  if (begun == SQLITE_BUSY || begun == SQLITE_LOCKED) {
    return Status::Refused(std::string(kAnotherRunText));
  }
  if (begun == SQLITE_NOTADB) {
    return Status::Refused(file + " is not Pixamond's record of the site; it is left as it is");
  }
  if (begun != SQLITE_OK) {
    return Status::IoError("Cannot use the site's record " + file + ": " + SqliteMessage(Db));
  }
  int applicationId = 0;
  int version = 0;
  bool hasTables = false;
  {
    sqlite3_stmt* statement = nullptr;
    const char* sql =
        "SELECT (SELECT application_id FROM pragma_application_id),"
        " (SELECT user_version FROM pragma_user_version),"
        " (SELECT count(*) FROM sqlite_schema)";
    const int prepared = sqlite3_prepare_v2(Db, sql, -1, &statement, nullptr);
    if (prepared == SQLITE_NOTADB || prepared == SQLITE_CORRUPT) {
      sqlite3_finalize(statement);
      return Status::Refused(file + " is not Pixamond's record of the site; it is left as it is");
    }
    if (prepared == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
      applicationId = sqlite3_column_int(statement, 0);
      version = sqlite3_column_int(statement, 1);
      hasTables = sqlite3_column_int(statement, 2) > 0;
    }
    sqlite3_finalize(statement);
  }
  if (existed && (hasTables || applicationId != 0) && applicationId != kApplicationId) {
    return Status::Refused(file + " is not Pixamond's record of the site; it is left as it is");
  }
  NewRecord = !hasTables;
  if (hasTables && version != kSchemaVersion) {
    // No older schema has been released yet; a newer one is not this build's to read. Either
    // way the record starts anew, and the site's files are adopted as on a first run.
    diagnostics.Detail(file + " was written by another version of Pixamond; it is started anew");
    if (Status dropped = Execute("DROP TABLE IF EXISTS pictures; DROP TABLE IF EXISTS outputs");
        !dropped.ok()) {
      return Status::IoError("Cannot renew the site's record " + file + ": " + dropped.message());
    }
    NewRecord = true;
  }
  // A record as this build writes it is left as it is: an unchanged rerun writes nothing.
  Status made = Status::OK();
  if (NewRecord || applicationId != kApplicationId || version != kSchemaVersion) made = Execute(kSchema);
  if (made.ok() && (applicationId != kApplicationId || version != kSchemaVersion)) {
    const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
    made = Execute(stamp.c_str());
  }
  if (!made.ok()) {
    return Status::IoError("Cannot write the site's record " + file + ": " + made.message());
  }
  Statements.assign(kStatementCount, nullptr);
  if (Status merged = MergePending(diagnostics); !merged.ok()) return merged;
  if (Status committed = CommitLocked(); !committed.ok()) return committed;
  // Notes of earlier versions, which the record replaces.
  const std::filesystem::path oldNotes = Site / ".pixamond-facts";
  if (const int fd = ::open(oldNotes.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      fd >= 0) {
    constexpr std::string_view kOldHeader = "Pixamond facts 1\n";
    char start[kOldHeader.size()];
    const bool ours = ::read(fd, start, sizeof start) == static_cast<ssize_t>(sizeof start) &&
                      std::string_view(start, sizeof start) == kOldHeader;
    ::close(fd);
    if (ours) ::unlink(oldNotes.c_str());
  }
  return Status::OK();
}

// Every file a killed run put in place after its last commit is in the pending list; each
// that still holds what was noted is recorded as the run's, with no recipe, so that it is
// made again.
Status TSiteRecord::MergePending(Diagnostics& diagnostics) {
  const std::filesystem::path pending = Site / std::string(PENDING_FILE_NAME);
  PendingFd = ::open(pending.c_str(), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (PendingFd < 0) {
    return Status::IoError("Cannot write " + pending.string() + ": " + std::strerror(errno));
  }
  struct stat info;
  if (::fstat(PendingFd, &info) != 0 || !S_ISREG(info.st_mode)) {
    return Status::IoError("Cannot use " + pending.string());
  }
  if (info.st_size == 0) return Status::OK();
  std::string text;
  if (info.st_size <= kMaxPendingSize) {
    text.resize(static_cast<std::size_t>(info.st_size));
    const ssize_t got = ::pread(PendingFd, text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  }
  int adopted = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) break;  // A line cut short by the kill.
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    // kind TAB digest TAB path
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) continue;
    const int kind = std::atoi(std::string(line.substr(0, tab1)).c_str());
    const std::optional<TDigest> digest = DigestFromHex(line.substr(tab1 + 1, tab2 - tab1 - 1));
    const std::string path(line.substr(tab2 + 1));
    if (!digest || kind < 1 || kind > 4 || !StaysInsideSite(path)) continue;
    const std::optional<TDigest> onDisk = DigestOfFile(Site / path);
    if (!onDisk || *onDisk != *digest) continue;
    TRecordedOutput output = FindOutputLocked(path).value_or(TRecordedOutput());
    output.Kind = static_cast<TOutputKind>(kind);
    output.Content = *digest;
    output.Recipe = TDigest();
    output.Stamp = TFileStamp();
    RecordOutputLocked(path, output);
    ++adopted;
  }
  if (adopted > 0) {
    diagnostics.Detail(std::to_string(adopted) +
                       " files that an interrupted run put in place are taken back");
  }
  return Status::OK();
}

TSiteRecord::~TSiteRecord() {
  for (sqlite3_stmt* statement : Statements) sqlite3_finalize(statement);
  bool committed = ReadOnly;
  if (Db != nullptr) {
    if (!ReadOnly) committed = sqlite3_exec(Db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(Db);
  }
  if (PendingFd >= 0) {
    // Everything the list named is in the record now; a list that could not be committed
    // stays for the next run.
    ::close(PendingFd);
    if (committed) ::unlink((Site / std::string(PENDING_FILE_NAME)).c_str());
  }
}

sqlite3_stmt* TSiteRecord::Statement(int which) const {
  if (Statements[which] == nullptr) {
    sqlite3_prepare_v3(Db, kStatementText[which], -1, SQLITE_PREPARE_PERSISTENT,
                       &Statements[which], nullptr);
  }
  return Statements[which];
}

std::string TSiteRecord::SitePath(std::string_view path) const {
  const std::string& root = Site.native();
  if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
      (path[root.size()] == '/' || root == "/")) {
    return std::string(path.substr(root == "/" ? 1 : root.size() + 1));
  }
  return std::string(path);
}

// --- Pictures ---------------------------------------------------------------------------

std::optional<TRecordedPicture> TSiteRecord::FindPicture(std::string_view path) const {
  TRecordedPicture picture;
  int orientation = 0;
  {
    std::lock_guard<std::mutex> lock(Mutex);
    sqlite3_stmt* statement = Statement(kFindPicture);
    if (statement == nullptr) return std::nullopt;
    TStatementUse use(statement);
    BindText(statement, 1, path);
    if (sqlite3_step(statement) != SQLITE_ROW) return std::nullopt;
    picture.Stamp = ColumnStamp(statement, 0);
    picture.Content = ColumnDigest(statement, 4);
    picture.ReaderVersion = sqlite3_column_int(statement, 5);
    picture.Width = sqlite3_column_int(statement, 6);
    picture.Height = sqlite3_column_int(statement, 7);
    orientation = sqlite3_column_int(statement, 8);
    ExifInfo& exif = picture.Metadata.exif;
    picture.Comments = ColumnText(statement, 9);
    exif.description = ColumnText(statement, 10);
    exif.date_taken = ColumnText(statement, 11);
    exif.make = ColumnText(statement, 12);
    exif.model = ColumnText(statement, 13);
    picture.Metadata.xmp_description = ColumnText(statement, 14);
    picture.Metadata.iptc_caption = ColumnText(statement, 15);
    picture.Damage = ColumnText(statement, 16);
  }
  // Judged outside the lock: the other threads' lookups need not wait for it.
  if (orientation < 1 || orientation > 8) return std::nullopt;
  picture.Metadata.exif.orientation = static_cast<Orientation>(orientation);
  if (!IsBelievable(picture)) return std::nullopt;
  return picture;
}

void TSiteRecord::RecordPicture(std::string_view path, const TRecordedPicture& picture) {
  ConfirmPicture(path);
  std::lock_guard<std::mutex> lock(Mutex);
  sqlite3_stmt* statement = Statement(kPutPicture);
  if (statement == nullptr) return;
  TStatementUse use(statement);
  BindText(statement, 1, path);
  BindStamp(statement, 2, SettledStamp(picture.Stamp));
  BindDigest(statement, 6, picture.Content);
  sqlite3_bind_int(statement, 7, picture.ReaderVersion);
  sqlite3_bind_int(statement, 8, picture.Width);
  sqlite3_bind_int(statement, 9, picture.Height);
  const ExifInfo& exif = picture.Metadata.exif;
  sqlite3_bind_int(statement, 10, static_cast<int>(exif.orientation));
  BindText(statement, 11, picture.Comments);
  BindText(statement, 12, exif.description);
  BindText(statement, 13, exif.date_taken);
  BindText(statement, 14, exif.make);
  BindText(statement, 15, exif.model);
  BindText(statement, 16, picture.Metadata.xmp_description);
  BindText(statement, 17, picture.Metadata.iptc_caption);
  BindText(statement, 18, picture.Damage);
  if (sqlite3_step(statement) != SQLITE_DONE && WriteError.ok()) {
    WriteError = Status::IoError(SqliteMessage(Db));
  }
  ++ChangesSinceCommit;
  CommitIfDue();
}

void TSiteRecord::ConfirmPicture(std::string_view path) {
  const std::uint64_t hash = PathHash(path);
  std::lock_guard<std::mutex> lock(SeenMutex);
  SeenPictures.push_back(hash);
}

void TSiteRecord::ForgetUnconfirmedPictures() {
  std::lock_guard<std::mutex> lock(Mutex);
  std::lock_guard<std::mutex> seen(SeenMutex);
  std::sort(SeenPictures.begin(), SeenPictures.end());
  std::vector<std::string> gone;
  {
    sqlite3_stmt* statement = Statement(kAllPictures);
    if (statement == nullptr) return;
    TStatementUse use(statement);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string path = ColumnText(statement, 0);
      if (!std::binary_search(SeenPictures.begin(), SeenPictures.end(), PathHash(path))) {
        gone.push_back(std::move(path));
      }
    }
  }
  sqlite3_stmt* remove = Statement(kDeletePicture);
  for (const std::string& path : gone) {
    TStatementUse use(remove);
    BindText(remove, 1, path);
    sqlite3_step(remove);
    ++ChangesSinceCommit;
  }
}

// --- Outputs ----------------------------------------------------------------------------

std::optional<TRecordedOutput> TSiteRecord::FindOutput(std::string_view path) const {
  std::lock_guard<std::mutex> lock(Mutex);
  return FindOutputLocked(path);
}

std::optional<TRecordedOutput> TSiteRecord::FindOutputLocked(std::string_view path) const {
  sqlite3_stmt* statement = Statement(kFindOutput);
  if (statement == nullptr) return std::nullopt;
  TStatementUse use(statement);
  BindText(statement, 1, path);
  if (sqlite3_step(statement) != SQLITE_ROW) return std::nullopt;
  return ColumnOutput(statement, 0);
}

Status TSiteRecord::NotePending(std::string_view path, TOutputKind kind, const TDigest& content) {
  std::string line = std::to_string(static_cast<int>(kind)) + "\t" + HexOf(content) + "\t";
  line.append(path);
  line += '\n';
  std::lock_guard<std::mutex> lock(Mutex);
  if (PendingFd < 0) return Status::OK();
  // One write of a whole line: O_APPEND keeps lines of several threads apart.
  if (::write(PendingFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    return Status::IoError("Cannot write " + (Site / std::string(PENDING_FILE_NAME)).string() +
                           ": " + std::strerror(errno));
  }
  return Status::OK();
}

void TSiteRecord::RecordOutput(std::string_view path, const TRecordedOutput& output) {
  std::lock_guard<std::mutex> lock(Mutex);
  RecordOutputLocked(path, output);
  CommitIfDue();
}

void TSiteRecord::RecordOutputLocked(std::string_view path, const TRecordedOutput& output) {
  ConfirmOutput(path);
  sqlite3_stmt* statement = Statement(kPutOutput);
  if (statement == nullptr) return;
  TStatementUse use(statement);
  BindText(statement, 1, path);
  sqlite3_bind_int(statement, 2, static_cast<int>(output.Kind));
  BindText(statement, 3, output.Source);
  BindDigest(statement, 4, output.Recipe);
  BindDigest(statement, 5, output.Content);
  BindStamp(statement, 6, SettledStamp(output.Stamp));
  sqlite3_bind_int(statement, 10, output.Width);
  sqlite3_bind_int(statement, 11, output.Height);
  sqlite3_bind_int(statement, 12, output.KeepsHandEdits ? 1 : 0);
  if (sqlite3_step(statement) != SQLITE_DONE && WriteError.ok()) {
    WriteError = Status::IoError(SqliteMessage(Db));
  }
  ++ChangesSinceCommit;
}

void TSiteRecord::ConfirmOutput(std::string_view path) {
  const std::uint64_t hash = PathHash(path);
  std::lock_guard<std::mutex> lock(SeenMutex);
  SeenOutputs.push_back(hash);
}

void TSiteRecord::ForgetOutput(std::string_view path) {
  std::lock_guard<std::mutex> lock(Mutex);
  sqlite3_stmt* statement = Statement(kDeleteOutput);
  if (statement == nullptr) return;
  TStatementUse use(statement);
  BindText(statement, 1, path);
  sqlite3_step(statement);
  ++ChangesSinceCommit;
}

std::vector<TSiteRecord::TUnconfirmed> TSiteRecord::UnconfirmedOutputs() const {
  std::lock_guard<std::mutex> lock(Mutex);
  std::vector<std::uint64_t> outputs;
  std::vector<std::uint64_t> pictures;
  {
    std::lock_guard<std::mutex> seen(SeenMutex);
    outputs = SeenOutputs;
    pictures = SeenPictures;
  }
  std::sort(outputs.begin(), outputs.end());
  std::sort(pictures.begin(), pictures.end());
  std::vector<TUnconfirmed> unconfirmed;
  sqlite3_stmt* statement = Statement(kAllOutputs);
  if (statement == nullptr) return unconfirmed;
  TStatementUse use(statement);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string path = ColumnText(statement, 0);
    if (std::binary_search(outputs.begin(), outputs.end(), PathHash(path))) continue;
    if (!StaysInsideSite(path)) continue;
    TUnconfirmed entry{std::move(path), ColumnOutput(statement, 1), false};
    entry.SourceGone =
        !entry.Output.Source.empty() &&
        !std::binary_search(pictures.begin(), pictures.end(), PathHash(entry.Output.Source));
    unconfirmed.push_back(std::move(entry));
  }
  return unconfirmed;
}

// --- Ownership --------------------------------------------------------------------------

TClaimResult TSiteRecord::ClaimRecorded(const std::string& fullPath,
                                        const std::optional<TRecordedOutput>& recorded) const {
  TClaimResult result;
  struct stat info;
  if (::lstat(fullPath.c_str(), &info) != 0) {
    // Nothing there, or a place that cannot even be looked at (a name too long for the file
    // system): the write says why it fails, and nothing of the user's can be lost by it.
    result.Claim = TClaim::kAbsent;
    return result;
  }
  result.Claim = TClaim::kUsers;
  if (S_ISLNK(info.st_mode)) {
    result.Why = "a link";
    return result;
  }
  if (S_ISDIR(info.st_mode)) {
    result.Why = "a folder";
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.Why = "not a plain file";
    return result;
  }
  if (!recorded) return result;  // Adoption may still make it the run's.
  if (recorded->Stamp.Inode != 0 && StampOf(info) == recorded->Stamp) {
    result.Claim = TClaim::kOurs;
    result.StampMatched = true;
    return result;
  }
  const std::optional<TDigest> digest = DigestOfFile(fullPath);
  if (digest && *digest == recorded->Content) {
    result.Claim = TClaim::kOurs;
    return result;
  }
  if (recorded->Kind == TOutputKind::kPage && IsPageOfThisProgram(fullPath)) {
    result.Claim = TClaim::kHandEdited;
    return result;
  }
  result.Why = "changed since Pixamond wrote it";
  return result;
}

// --- Commits ----------------------------------------------------------------------------

void TSiteRecord::CommitIfDue() {
  if (ChangesSinceCommit >= kChangesPerCommit) static_cast<void>(CommitLocked());
}

Status TSiteRecord::CommitLocked() {
  if (ReadOnly || Db == nullptr) return Status::OK();
  Status committed = Execute("COMMIT");
  if (committed.ok()) {
    ChangesSinceCommit = 0;
    // What the list named is in the record now.
    if (PendingFd >= 0 && ::ftruncate(PendingFd, 0) != 0) {
      committed = Status::IoError(std::strerror(errno));
    }
  }
  const Status begun = Execute("BEGIN");
  if (committed.ok() && !begun.ok()) committed = begun;
  if (!committed.ok() && WriteError.ok()) WriteError = committed;
  return committed;
}

Status TSiteRecord::Commit() {
  std::lock_guard<std::mutex> lock(Mutex);
  static_cast<void>(CommitLocked());
  if (!WriteError.ok()) {
    return Status::IoError("The site's record " + (Site / std::string(RECORD_FILE_NAME)).string() +
                           " could not be written: " + WriteError.message());
  }
  return Status::OK();
}

}  // namespace pix
