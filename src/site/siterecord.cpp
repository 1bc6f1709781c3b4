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
#include <random>
#include <thread>
#include <unordered_map>

#include "base/diagnostics.h"
#include "base/filetime.h"
#include "files/utils.h"
#include "picture/comread.h"
#include "picture/exifinfo.h"
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
// The largest pending list that is read back; a run appends a line a file between commits.
constexpr off_t kMaxPendingSize = 64 * 1024 * 1024;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS pictures ("
    "  path TEXT PRIMARY KEY, size INTEGER, write_ns INTEGER, change_ns INTEGER,"
    "  inode INTEGER, content BLOB, reader INTEGER, width INTEGER, height INTEGER,"
    "  orientation INTEGER, comments TEXT, description TEXT, date_taken TEXT, make TEXT,"
    "  model TEXT, xmp_description TEXT, iptc_caption TEXT, damage TEXT,"
    "  camera_settings TEXT, image BLOB) WITHOUT ROWID;"
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
  kOutputRange,
  kPictureRange,
  kFindFolder,
  kPutFolder,
  kDeleteFolder,
  kAllFolders,
  kOutputsBelow,
  kAllOutputPaths,
  kStatementCount
};

// The columns that ColumnPicture and ColumnOutput read, in their order; every statement
// that hands a row to one of them selects these.
#define PIXAMOND_PICTURE_COLUMNS                                                            \
  "size, write_ns, change_ns, inode, content, reader, width, height, orientation, comments," \
  " description, date_taken, make, model, xmp_description, iptc_caption, damage,"           \
  " camera_settings, image"
#define PIXAMOND_OUTPUT_COLUMNS \
  "kind, source, recipe, content, size, write_ns, change_ns, inode, width, height, keeps_hand_edits"

constexpr const char* kStatementText[kStatementCount] = {
    "SELECT " PIXAMOND_PICTURE_COLUMNS " FROM pictures WHERE path = ?1",
    // Columns by name: those added to an older record come in the order they were added.
    "INSERT OR REPLACE INTO pictures (path, size, write_ns, change_ns, inode, content, reader,"
    " width, height, orientation, comments, description, date_taken, make, model,"
    " xmp_description, iptc_caption, damage, camera_settings, image)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18,"
    " ?19, ?20)",
    "SELECT " PIXAMOND_OUTPUT_COLUMNS " FROM outputs WHERE path = ?1",
    "INSERT OR REPLACE INTO outputs VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)",
    "DELETE FROM outputs WHERE path = ?1",
    "SELECT path, " PIXAMOND_OUTPUT_COLUMNS " FROM outputs",
    "SELECT path FROM pictures",
    "DELETE FROM pictures WHERE path = ?1",
    "SELECT path, " PIXAMOND_OUTPUT_COLUMNS
    " FROM outputs WHERE path >= ?1 AND path <= ?2 ORDER BY path",
    "SELECT path, " PIXAMOND_PICTURE_COLUMNS
    " FROM pictures WHERE path >= ?1 AND path <= ?2 ORDER BY path",
    "SELECT key, summary FROM folders WHERE path = ?1",
    "INSERT OR REPLACE INTO folders VALUES (?1, ?2, ?3)",
    "DELETE FROM folders WHERE path = ?1",
    "SELECT path FROM folders",
    // Every path that starts with ?1: "a/b/" up to, not including, "a/b0" ('0' follows '/').
    "SELECT path, " PIXAMOND_OUTPUT_COLUMNS
    " FROM outputs WHERE path >= ?1 AND path < ?2 ORDER BY path",
    "SELECT path FROM outputs",
};
#undef PIXAMOND_PICTURE_COLUMNS
#undef PIXAMOND_OUTPUT_COLUMNS

std::uint64_t PathHash(std::string_view path) { return XXH3_64bits(path.data(), path.size()); }

// The paths a run saw, by their hashes, for asking of every row of a table whether the run
// saw it: sorted, with where each value of the top 16 bits starts, so that a question looks
// at a few neighbouring hashes rather than searching the whole list.
class SeenPaths {
 public:
  explicit SeenPaths(std::vector<std::uint64_t> hashes) : hashes_(std::move(hashes)) {
    std::sort(hashes_.begin(), hashes_.end());
    starts_.resize(kBuckets + 1);
    std::size_t at = 0;
    for (std::size_t bucket = 0; bucket <= kBuckets; ++bucket) {
      while (at < hashes_.size() && (hashes_[at] >> kShift) < bucket) ++at;
      starts_[bucket] = static_cast<std::uint32_t>(at);
    }
  }
  bool Contains(std::uint64_t hash) const {
    const std::size_t bucket = static_cast<std::size_t>(hash >> kShift);
    return std::binary_search(hashes_.begin() + starts_[bucket],
                              hashes_.begin() + starts_[bucket + 1], hash);
  }
  bool Contains(std::string_view path) const { return Contains(PathHash(path)); }

 private:
  static constexpr int kShift = 48;
  static constexpr std::size_t kBuckets = std::size_t{1} << (64 - kShift);
  std::vector<std::uint64_t> hashes_;
  std::vector<std::uint32_t> starts_;
};

// Resets a statement when it goes out of scope, so that it holds no lock or row.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementUse() { sqlite3_reset(statement_); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  sqlite3_stmt* operator*() const { return statement_; }

 private:
  sqlite3_stmt* statement_;
};

// The text must outlive the statement's step (every caller binds and steps in one scope).
void BindText(sqlite3_stmt* statement, int index, std::string_view text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

void BindDigest(sqlite3_stmt* statement, int index, const Digest& digest) {
  unsigned char bytes[16];
  std::memcpy(bytes, &digest.low, 8);
  std::memcpy(bytes + 8, &digest.high, 8);
  sqlite3_bind_blob(statement, index, bytes, sizeof bytes, SQLITE_TRANSIENT);
}

void BindStamp(sqlite3_stmt* statement, int first, const FileStamp& stamp) {
  sqlite3_bind_int64(statement, first, static_cast<sqlite3_int64>(stamp.size));
  sqlite3_bind_int64(statement, first + 1, stamp.write_time_ns);
  sqlite3_bind_int64(statement, first + 2, stamp.change_time_ns);
  sqlite3_bind_int64(statement, first + 3, static_cast<sqlite3_int64>(stamp.inode));
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text != nullptr ? std::string(text, static_cast<std::size_t>(
                                                 sqlite3_column_bytes(statement, column)))
                         : std::string();
}

// The text of a column as SQLite holds it, valid until the statement steps on.
std::string_view ColumnView(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text != nullptr
             ? std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
             : std::string_view();
}

Digest ColumnDigest(sqlite3_stmt* statement, int column) {
  Digest digest;
  if (sqlite3_column_bytes(statement, column) == 16) {
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
    std::memcpy(&digest.low, bytes, 8);
    std::memcpy(&digest.high, bytes + 8, 8);
  }
  return digest;
}

FileStamp ColumnStamp(sqlite3_stmt* statement, int first) {
  FileStamp stamp;
  stamp.size = static_cast<std::uint64_t>(sqlite3_column_int64(statement, first));
  stamp.write_time_ns = sqlite3_column_int64(statement, first + 1);
  stamp.change_time_ns = sqlite3_column_int64(statement, first + 2);
  stamp.inode = static_cast<std::uint64_t>(sqlite3_column_int64(statement, first + 3));
  return stamp;
}

// Reads an output's columns from `first` on (kind first).
RecordedOutput ColumnOutput(sqlite3_stmt* statement, int first) {
  RecordedOutput output;
  output.kind = static_cast<OutputKind>(sqlite3_column_int(statement, first));
  output.source = ColumnText(statement, first + 1);
  output.recipe = ColumnDigest(statement, first + 2);
  output.content = ColumnDigest(statement, first + 3);
  output.stamp = ColumnStamp(statement, first + 4);
  output.width = sqlite3_column_int(statement, first + 8);
  output.height = sqlite3_column_int(statement, first + 9);
  output.keeps_hand_edits = sqlite3_column_int(statement, first + 10) != 0;
  return output;
}

// "2024-06-01T18:30:12", as the EXIF reader makes it.
// A record travels with its site (an album unpacked from an archive keeps its files' times),
// so what it says of a picture is believed only when it is what the readers themselves
// would have handed over.
bool IsBelievable(const RecordedPicture& picture) {
  const PictureMetadata& metadata = picture.metadata;
  const ExifInfo& exif = metadata.exif;
  if (picture.width <= 0 || picture.height <= 0) return false;
  for (const std::string* text : {&exif.description, &exif.make, &exif.model,
                                  &metadata.xmp_description, &metadata.iptc_caption}) {
    if (CleanMetadataText(*text) != *text) return false;
  }
  // A date the reader would not hand over (a day the month does not have) is no date.
  if (!exif.date_taken.empty() && IsoDateTimeFromExif(exif.date_taken) != exif.date_taken) {
    return false;
  }
  return picture.comments.empty() ||
         (picture.comments.size() < static_cast<std::size_t>(kMaxCommentsLength) &&
          FilterCommentText(picture.comments) == picture.comments);
}

// The columns of a picture's row from `first` on, in the order of kFindPicture's; none for
// a row this build cannot use. Orientation is kept unchecked for Believed.
std::optional<RecordedPicture> ColumnPicture(sqlite3_stmt* statement, int first) {
  RecordedPicture picture;
  picture.stamp = ColumnStamp(statement, first);
  picture.content = ColumnDigest(statement, first + 4);
  picture.reader_version = sqlite3_column_int(statement, first + 5);
  picture.width = sqlite3_column_int(statement, first + 6);
  picture.height = sqlite3_column_int(statement, first + 7);
  ExifInfo& exif = picture.metadata.exif;
  exif.orientation = static_cast<Orientation>(sqlite3_column_int(statement, first + 8));
  picture.comments = ColumnText(statement, first + 9);
  exif.description = ColumnText(statement, first + 10);
  exif.date_taken = ColumnText(statement, first + 11);
  exif.make = ColumnText(statement, first + 12);
  exif.model = ColumnText(statement, first + 13);
  picture.metadata.xmp_description = ColumnText(statement, first + 14);
  picture.metadata.iptc_caption = ColumnText(statement, first + 15);
  picture.damage = ColumnText(statement, first + 16);
  if (!ParseCameraSettings(ColumnText(statement, first + 17), picture.metadata.exif)) {
    return std::nullopt;
  }
  // A picture recorded before image digests were kept is read again.
  picture.image = ColumnDigest(statement, first + 18);
  if (picture.image.Empty()) return std::nullopt;
  return picture;
}

// Hands the rows of `paths` (sorted, distinct) to `take(index, statement, first_column)`;
// a path the record has no row of is not handed over. The rows come from one pass of
// `range` (the rows whose paths lie between ?1 and ?2, in order, path first): a folder's
// outputs and pictures lie side by side in the record. Where the pass meets many rows of
// others (a subfolder whose name sorts among the folder's files, or the top folder, whose
// range holds the whole site), it stops, and the rest are looked up one by one with `find`.
template <typename Take>
void ReadRows(sqlite3_stmt* range, sqlite3_stmt* find, const std::vector<std::string>& paths,
              Take&& take) {
  if (paths.empty() || range == nullptr || find == nullptr) return;
  std::size_t next = 0;  // Every path before it is settled.
  {
    StatementUse use(range);
    BindText(range, 1, paths.front());
    BindText(range, 2, paths.back());
    std::size_t others_allowed = paths.size() * 4 + 64;
    int step = SQLITE_ROW;
    while (next < paths.size() && (step = sqlite3_step(range)) == SQLITE_ROW) {
      const std::string_view path(reinterpret_cast<const char*>(sqlite3_column_text(range, 0)),
                                  static_cast<std::size_t>(sqlite3_column_bytes(range, 0)));
      while (next < paths.size() && paths[next] < path) ++next;  // The record has none.
      if (next < paths.size() && paths[next] == path) {
        take(next++, range, 1);
      } else if (--others_allowed == 0) {
        break;
      }
    }
    if (step == SQLITE_DONE) return;
  }
  for (; next < paths.size(); ++next) {
    StatementUse use(find);
    BindText(find, 1, paths[next]);
    if (sqlite3_step(find) == SQLITE_ROW) take(next, find, 0);
  }
}

// The row read ahead for `path` in `ahead` (a map of SiteRecord's RowAhead); none when
// nothing was read for it.
template <typename Map>
auto RowReadAhead(const Map& ahead, std::string_view path)
    -> std::optional<decltype(ahead.begin()->second.row)> {
  if (ahead.empty()) return std::nullopt;
  const auto found = ahead.find(std::string(path));
  if (found == ahead.end()) return std::nullopt;
  return found->second.row;
}

// `picture` when what it says could have come from the readers themselves.
std::optional<RecordedPicture> Believed(std::optional<RecordedPicture> picture) {
  if (!picture) return std::nullopt;
  const int orientation = static_cast<int>(picture->metadata.exif.orientation);
  if (orientation < 1 || orientation > 8) return std::nullopt;
  if (!IsBelievable(*picture)) return std::nullopt;
  return picture;
}

std::string SqliteMessage(sqlite3* db) { return db != nullptr ? sqlite3_errmsg(db) : "no memory"; }

std::string HexOf(const Digest& digest) {
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(digest.high),
                static_cast<unsigned long long>(digest.low));
  return text;
}

std::optional<Digest> DigestFromHex(std::string_view text) {
  if (text.size() != 32) return std::nullopt;
  Digest digest;
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
    std::uint64_t& half = i < 16 ? digest.high : digest.low;
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

namespace {

// Reads the regular file at `path`, following a link only when asked, a piece at a time
// into `take`; false when it cannot be read. Its status, read before its bytes, goes to
// `status` when given.
template <typename Take>
bool ReadRegularFile(const std::filesystem::path& path, bool follow_link, Take take,
                     struct stat* status = nullptr) {
  const int fd = ::open(path.c_str(),
                        O_RDONLY | (follow_link ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  if (status != nullptr) *status = info;
  // A buffer of the file's size and one byte more (so that most files take one read and
  // the one that says the end), at most 256 KB; not cleared, since only what was read is
  // taken. A run reads back hundreds of thousands of small files.
  const auto size = static_cast<std::size_t>(
      std::min<off_t>(std::max<off_t>(info.st_size, 0) + 1, 256 * 1024));
  const std::unique_ptr<char[]> buffer(new char[size]);
  for (;;) {
    const ssize_t got = ::read(fd, buffer.get(), size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    take(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
  }
  ::close(fd);
  return true;
}

}  // namespace

std::optional<Digest> DigestOfFile(const std::filesystem::path& path, struct stat* status) {
  Digester digester;
  if (!ReadRegularFile(path, /*follow_link=*/false,
                       [&](std::string_view piece) { digester.Add(piece); }, status)) {
    return std::nullopt;
  }
  return digester.Finish();
}

bool ChangedBefore(const FileStamp& stamp, const struct stat& now) {
  const std::int64_t now_ns = StampOf(now).change_time_ns;
  return stamp.change_time_ns < now_ns && stamp.write_time_ns < now_ns;
}

// Splits a JPEG stream, handed over a piece at a time, between two digesters: the image
// digest takes all but the COM segments before the first scan (marker, length and text); the
// comments digest takes those segments, each after the count of image bytes before it, so
// that the two together tell every byte of the file and its place. It keeps where it is in
// the stream between pieces. A stream that is not JPEG is image bytes whole.
class ImageBytes {
 public:
  ImageBytes(Digester& image, Digester& comments) : image_(image), comments_(comments) {}

  void Add(std::string_view piece) {
    std::size_t i = 0;
    while (i < piece.size()) {
      if (state_ == State::kWhole) {
        AddImage(piece.substr(i));
        return;
      }
      if (state_ == State::kBody) {
        const std::size_t n = std::min<std::size_t>(remaining_, piece.size() - i);
        if (skip_) comments_.Add(piece.substr(i, n));
        else AddImage(piece.substr(i, n));
        i += n;
        remaining_ -= n;
        if (remaining_ == 0) state_ = State::kMarker;
        continue;
      }
      Take(static_cast<unsigned char>(piece[i++]));
    }
  }

  // Whether the stream held a comment segment.
  bool SawComment() const { return saw_comment_; }

 private:
  enum class State { kStart, kMarker, kCode, kLengthHigh, kLengthLow, kBody, kWhole };

  void AddImage(std::string_view bytes) {
    image_.Add(bytes);
    image_count_ += bytes.size();
  }

  // One byte of the header structure: a marker, its code or its length.
  void Take(unsigned char byte) {
    header_ += static_cast<char>(byte);
    switch (state_) {
      case State::kStart:
        if (header_.size() == 2) Emit(header_ == "\xFF\xD8" ? State::kMarker : State::kWhole);
        break;
      case State::kMarker:
        if (byte != 0xFF) Emit(State::kWhole);  // Not a marker: the structure ends here.
        else state_ = State::kCode;
        break;
      case State::kCode:
        if (byte == 0xFF) break;  // A fill byte.
        code_ = byte;
        if (byte == 0x01 || (byte >= 0xD0 && byte <= 0xD8)) Emit(State::kMarker);
        else if (byte == 0xD9 || byte == 0xDA) Emit(State::kWhole);  // EOI, or the scan
        else state_ = State::kLengthHigh;
        break;
      case State::kLengthHigh:
        state_ = State::kLengthLow;
        break;
      case State::kLengthLow: {
        const std::size_t n = header_.size();
        const std::size_t length = (static_cast<unsigned char>(header_[n - 2]) << 8) | byte;
        skip_ = code_ == 0xFE;
        remaining_ = length >= 2 ? length - 2 : 0;
        if (skip_) {
          saw_comment_ = true;
          comments_.Add(std::string_view(reinterpret_cast<const char*>(&image_count_),
                                         sizeof image_count_));
          comments_.Add(header_);
          header_.clear();
        }
        Emit(remaining_ > 0 ? State::kBody : State::kMarker);
        break;
      }
      case State::kBody:
      case State::kWhole:
        break;
    }
  }

  // Hands on the header bytes gathered so far and goes on in `next`.
  void Emit(State next) {
    AddImage(header_);
    header_.clear();
    state_ = next;
  }

  Digester& image_;
  Digester& comments_;
  std::uint64_t image_count_ = 0;  // Bytes given to the image digest so far.
  bool saw_comment_ = false;
  State state_ = State::kStart;
  std::string header_;
  unsigned char code_ = 0;
  std::size_t remaining_ = 0;
  bool skip_ = false;
};

PictureDigester::PictureDigester()
    : image_bytes_(std::make_unique<ImageBytes>(image_, comments_)) {}

PictureDigester::~PictureDigester() = default;

void PictureDigester::Bytes(const std::uint8_t* data, std::size_t size) {
  image_bytes_->Add(std::string_view(reinterpret_cast<const char*>(data), size));
}

void PictureDigester::End(bool whole) {
  ended_ = true;
  whole_ = whole;
}

std::optional<PictureDigests> PictureDigester::Finish() {
  if (!ended_ || !whole_) return std::nullopt;
  const Digest image = image_.Finish();
  if (!image_bytes_->SawComment()) return PictureDigests{image, image};
  // The bulk of the file went into one digest only; the file's adds its comments.
  Digester file;
  file.Add(image);
  file.Add(comments_.Finish());
  return PictureDigests{file.Finish(), image};
}

std::optional<PictureDigests> DigestOfPicture(const std::filesystem::path& path) {
  PictureDigester digester;
  const bool read = ReadRegularFile(path, /*follow_link=*/true, [&](std::string_view piece) {
    digester.Bytes(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
  });
  digester.End(read);
  return digester.Finish();
}

FileStamp StampOf(const struct stat& info) {
  return FileStamp{static_cast<std::uint64_t>(info.st_size), TimeNs(info.st_mtim),
                    TimeNs(info.st_ctim), static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<FileStamp> StampOfFile(const std::filesystem::path& path, bool follow_link) {
  struct stat info;
  if ((follow_link ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0 ||
      !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  return StampOf(info);
}

FileStamp SettledStamp(const FileStamp& stamp, std::int64_t settle_time_ns) {
  if (NowNs() - stamp.change_time_ns >= settle_time_ns &&
      NowNs() - stamp.write_time_ns >= settle_time_ns) {
    return stamp;
  }
  FileStamp unsettled = stamp;
  unsettled.inode = 0;
  return unsettled;
}

// --- Opening ----------------------------------------------------------------------------

Result<std::unique_ptr<SiteRecord>> SiteRecord::Open(const std::filesystem::path& site_directory,
                                                       Diagnostics& diagnostics) {
  const std::filesystem::path file = site_directory / std::string(kRecordFileName);
  struct stat info;
  bool existed = false;
  if (::lstat(file.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) {
      return Status::Refused(file.string() +
                             " is not Pixamond's record of the site; it is left as it is");
    }
    existed = true;
  }
  // Two runs that start at the same moment can each take the record's shared lock before
  // either takes the exclusive one; in the exclusive locking mode neither lets go of it,
  // and both would be refused. So a run refused closes its connection and tries again a
  // few milliseconds later, a random time, until one of them holds the site; a run that
  // already holds it still refuses the other within a fraction of a second.
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  std::minstd_rand random(static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(now));
  for (int attempt = 1;; ++attempt) {
    std::unique_ptr<SiteRecord> record(new SiteRecord());
    record->site_ = site_directory;
    const int opened = sqlite3_open_v2(
        file.c_str(), &record->db_,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
        nullptr);
    if (opened != SQLITE_OK) {
      return Status::IoError("Cannot open the site's record " + file.string() + ": " +
                             SqliteMessage(record->db_));
    }
    Status prepared = record->Prepare(diagnostics, existed);
    if (prepared.ok()) return record;
    constexpr int kAttempts = 12;
    if (prepared.code() != Status::Code::kRefused || prepared.message() != kAnotherRunText ||
        attempt == kAttempts) {
      return prepared;
    }
    record.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 40));
  }
}

std::unique_ptr<SiteRecord> SiteRecord::OpenToRead(const std::filesystem::path& site_directory) {
  const std::filesystem::path file = site_directory / std::string(kRecordFileName);
  struct stat info;
  if (::lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  std::unique_ptr<SiteRecord> record(new SiteRecord());
  record->site_ = site_directory;
  record->read_only_ = true;
  if (sqlite3_open_v2(file.c_str(), &record->db_,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    return nullptr;
  }
  sqlite3_stmt* check = nullptr;
  bool ours = false;
  if (sqlite3_prepare_v2(record->db_, "PRAGMA application_id", -1, &check, nullptr) == SQLITE_OK &&
      sqlite3_step(check) == SQLITE_ROW) {
    ours = sqlite3_column_int(check, 0) == kApplicationId;
  }
  sqlite3_finalize(check);
  sqlite3_stmt* version = nullptr;
  if (ours && sqlite3_prepare_v2(record->db_, "PRAGMA user_version", -1, &version, nullptr) ==
                  SQLITE_OK &&
      sqlite3_step(version) == SQLITE_ROW) {
    ours = sqlite3_column_int(version, 0) == kSchemaVersion;
  }
  sqlite3_finalize(version);
  if (!ours) return nullptr;
  record->statements_.assign(kStatementCount, nullptr);
  return record;
}

std::unique_ptr<SiteRecord> SiteRecord::OpenInMemory(const std::filesystem::path& site_directory) {
  std::unique_ptr<SiteRecord> record(new SiteRecord());
  record->site_ = site_directory;
  record->new_record_ = true;
  if (sqlite3_open_v2(":memory:", &record->db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK ||
      !record->Execute(kSchema).ok()) {
    return nullptr;
  }
  // Nothing of it is committed anywhere: it is dropped with the connection.
  record->read_only_ = true;
  record->statements_.assign(kStatementCount, nullptr);
  return record;
}

Status SiteRecord::Execute(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) == SQLITE_OK) return Status::OK();
  std::string message = error != nullptr ? error : SqliteMessage(db_);
  sqlite3_free(error);
  return Status::IoError(message);
}

Status SiteRecord::Prepare(Diagnostics& diagnostics, bool existed) {
  const std::string file = (site_ / std::string(kRecordFileName)).string();
  // One run writes a site at a time: the first write takes a lock that the connection keeps
  // until it closes, and a second run meets it at once.
  sqlite3_busy_timeout(db_, 0);
  if (Status set = Execute("PRAGMA locking_mode = EXCLUSIVE"); !set.ok()) {
    return Status::IoError("Cannot use the site's record " + file + ": " + set.message());
  }
  // WAL: a commit appends to the log without waiting for the disk; a kill leaves the record
  // as of the last commit. With the exclusive lock the log needs no shared memory file.
  // NORMAL: in WAL mode only a checkpoint waits for the disk, and a power cut can lose the
  // last commits but never break the record.
  int begun = sqlite3_exec(db_, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL",
                           nullptr, nullptr, nullptr);
  if (begun == SQLITE_OK) begun = sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
  if (begun == SQLITE_BUSY || begun == SQLITE_LOCKED) {
    return Status::Refused(std::string(kAnotherRunText));
  }
  if (begun == SQLITE_NOTADB) {
    return Status::Refused(file + " is not Pixamond's record of the site; it is left as it is");
  }
  if (begun != SQLITE_OK) {
    return Status::IoError("Cannot use the site's record " + file + ": " + SqliteMessage(db_));
  }
  int application_id = 0;
  int version = 0;
  bool has_tables = false;
  {
    sqlite3_stmt* statement = nullptr;
    const char* sql =
        "SELECT (SELECT application_id FROM pragma_application_id),"
        " (SELECT user_version FROM pragma_user_version),"
        " (SELECT count(*) FROM sqlite_schema)";
    const int prepared = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
    if (prepared == SQLITE_NOTADB || prepared == SQLITE_CORRUPT) {
      sqlite3_finalize(statement);
      return Status::Refused(file + " is not Pixamond's record of the site; it is left as it is");
    }
    if (prepared == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
      application_id = sqlite3_column_int(statement, 0);
      version = sqlite3_column_int(statement, 1);
      has_tables = sqlite3_column_int(statement, 2) > 0;
    }
    sqlite3_finalize(statement);
  }
  if (existed && (has_tables || application_id != 0) && application_id != kApplicationId) {
    return Status::Refused(file + " is not Pixamond's record of the site; it is left as it is");
  }
  new_record_ = !has_tables;
  if (has_tables && version != kSchemaVersion) {
    // No older schema has been released yet; a newer one is not this build's to read. Either
    // way the record starts anew, and the site's files are adopted as on a first run.
    diagnostics.Detail(file + " was written by another version of Pixamond; it is started anew");
    if (Status dropped = Execute(
            "DROP TABLE IF EXISTS pictures; DROP TABLE IF EXISTS outputs;"
            " DROP TABLE IF EXISTS folders");
        !dropped.ok()) {
      return Status::IoError("Cannot renew the site's record " + file + ": " + dropped.message());
    }
    new_record_ = true;
  }
  // A record as this build writes it is left as it is: an unchanged rerun writes nothing.
  Status made = Status::OK();
  if (new_record_ || application_id != kApplicationId || version != kSchemaVersion) made = Execute(kSchema);
  if (made.ok() && (application_id != kApplicationId || version != kSchemaVersion)) {
    const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
    made = Execute(stamp.c_str());
  }
  if (!made.ok()) {
    return Status::IoError("Cannot write the site's record " + file + ": " + made.message());
  }
  // The camera settings of pictures and their image digests came after the first schema
  // too: a record without their columns gets them, empty, and its pictures are read again.
  for (const char* column : {"camera_settings TEXT", "image BLOB"}) {
    if (!made.ok() || read_only_ || new_record_) break;
    const std::string name(column, std::strchr(column, ' '));
    sqlite3_stmt* statement = nullptr;
    bool has_column = true;
    const std::string query =
        "SELECT count(*) FROM pragma_table_info('pictures') WHERE name = '" + name + "'";
    if (sqlite3_prepare_v2(db_, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      has_column = sqlite3_column_int(statement, 0) > 0;
    }
    sqlite3_finalize(statement);
    if (!has_column) made = Execute(("ALTER TABLE pictures ADD COLUMN " + std::string(column)).c_str());
  }
  // The rewrites of users' pictures came after the first schema; a record without their
  // table gets it, and one that has it is left as it is.
  if (made.ok() && !read_only_) {
    made = Execute(
        "CREATE TABLE IF NOT EXISTS rewrites (path TEXT PRIMARY KEY, original BLOB,"
        " rewritten BLOB) WITHOUT ROWID");
  }
  // So did the notes of finished folders; without them every folder is made once more.
  if (made.ok() && !read_only_) {
    made = Execute(
        "CREATE TABLE IF NOT EXISTS folders (path TEXT PRIMARY KEY, key BLOB, summary BLOB)"
        " WITHOUT ROWID");
  }
  // The outputs whose stamps are not trusted yet, for SettleOutputs: an index of only those,
  // so that the end of a run finds them without reading every row.
  if (made.ok() && !read_only_) {
    made = Execute(
        "CREATE INDEX IF NOT EXISTS unsettled_outputs ON outputs (path) WHERE inode = 0");
  }
  if (!made.ok()) {
    return Status::IoError("Cannot write the site's record " + file + ": " + made.message());
  }
  statements_.assign(kStatementCount, nullptr);
  if (Status merged = MergePending(diagnostics); !merged.ok()) return merged;
  if (Status committed = CommitLocked(); !committed.ok()) return committed;
  // Notes of earlier versions, which the record replaces.
  const std::filesystem::path old_notes = site_ / ".pixamond-facts";
  if (const int fd = ::open(old_notes.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      fd >= 0) {
    constexpr std::string_view kOldHeader = "Pixamond facts 1\n";
    char start[kOldHeader.size()];
    const bool ours = ::read(fd, start, sizeof start) == static_cast<ssize_t>(sizeof start) &&
                      std::string_view(start, sizeof start) == kOldHeader;
    ::close(fd);
    if (ours) ::unlink(old_notes.c_str());
  }
  return Status::OK();
}

// Every file a killed run put in place after its last commit is in the pending list; each
// that still holds what was noted is recorded as the run's, with no recipe, so that it is
// made again.
Status SiteRecord::MergePending(Diagnostics& diagnostics) {
  const std::filesystem::path pending = site_ / std::string(kPendingFileName);
  // The list goes only when a run commits at its end: a run that ended any other way left
  // it behind.
  struct stat before;
  last_run_finished_ = !new_record_ && ::lstat(pending.c_str(), &before) != 0 && errno == ENOENT;
  pending_fd_ = ::open(pending.c_str(), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (pending_fd_ < 0) {
    return Status::IoError("Cannot write " + pending.string() + ": " + std::strerror(errno));
  }
  struct stat info;
  if (::fstat(pending_fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    return Status::IoError("Cannot use " + pending.string());
  }
  if (info.st_size == 0) return Status::OK();
  std::string text;
  if (info.st_size <= kMaxPendingSize) {
    text.resize(static_cast<std::size_t>(info.st_size));
    const ssize_t got = ::pread(pending_fd_, text.data(), text.size(), 0);
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
    const std::optional<Digest> digest = DigestFromHex(line.substr(tab1 + 1, tab2 - tab1 - 1));
    const std::string path(line.substr(tab2 + 1));
    if (!digest || kind < 1 || kind > kLastOutputKind || !StaysInsideSite(path)) continue;
    const std::optional<Digest> on_disk = DigestOfFile(site_ / path);
    if (!on_disk || *on_disk != *digest) continue;
    RecordedOutput output = FindOutputLocked(path).value_or(RecordedOutput());
    output.kind = static_cast<OutputKind>(kind);
    output.content = *digest;
    output.recipe = Digest();
    output.stamp = FileStamp();
    RecordOutputLocked(path, output);
    ++adopted;
  }
  if (adopted > 0) {
    diagnostics.Detail(std::to_string(adopted) +
                       " files that an interrupted run put in place are taken back");
  }
  return Status::OK();
}

SiteRecord::~SiteRecord() {
  for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);
  bool committed = read_only_;
  if (db_ != nullptr) {
    if (!read_only_) committed = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db_);
  }
  if (pending_fd_ >= 0) {
    // Everything the list named is in the record now; a list that could not be committed
    // stays for the next run.
    ::close(pending_fd_);
    if (committed) ::unlink((site_ / std::string(kPendingFileName)).c_str());
  }
}

sqlite3_stmt* SiteRecord::Statement(int which) const {
  if (statements_[which] == nullptr) {
    sqlite3_prepare_v3(db_, kStatementText[which], -1, SQLITE_PREPARE_PERSISTENT,
                       &statements_[which], nullptr);
  }
  return statements_[which];
}

std::string SiteRecord::SitePath(std::string_view path) const {
  const std::string& root = site_.native();
  if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
      (path[root.size()] == '/' || root == "/")) {
    return std::string(path.substr(root == "/" ? 1 : root.size() + 1));
  }
  return std::string(path);
}

// --- Pictures ---------------------------------------------------------------------------

std::optional<RecordedPicture> SiteRecord::FindPicture(std::string_view path) const {
  if (std::optional<std::optional<RecordedPicture>> ahead = PictureAhead(path)) {
    return std::move(*ahead);
  }
  std::optional<RecordedPicture> picture;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sqlite3_stmt* statement = Statement(kFindPicture);
    if (statement == nullptr) return std::nullopt;
    StatementUse use(statement);
    BindText(statement, 1, path);
    if (sqlite3_step(statement) != SQLITE_ROW) return std::nullopt;
    picture = ColumnPicture(statement, 0);
  }
  // Judged outside the lock: the other threads' lookups need not wait for it.
  return Believed(std::move(picture));
}

void SiteRecord::RecordPicture(std::string_view path, const RecordedPicture& picture) {
  ConfirmPicture(path);
  std::lock_guard<std::mutex> lock(mutex_);
  DropPictureAhead(path);
  sqlite3_stmt* statement = Statement(kPutPicture);
  if (statement == nullptr) return;
  StatementUse use(statement);
  BindText(statement, 1, path);
  BindStamp(statement, 2, SettledStamp(picture.stamp, settle_time_ns_));
  BindDigest(statement, 6, picture.content);
  sqlite3_bind_int(statement, 7, picture.reader_version);
  sqlite3_bind_int(statement, 8, picture.width);
  sqlite3_bind_int(statement, 9, picture.height);
  const ExifInfo& exif = picture.metadata.exif;
  sqlite3_bind_int(statement, 10, static_cast<int>(exif.orientation));
  BindText(statement, 11, picture.comments);
  BindText(statement, 12, exif.description);
  BindText(statement, 13, exif.date_taken);
  BindText(statement, 14, exif.make);
  BindText(statement, 15, exif.model);
  BindText(statement, 16, picture.metadata.xmp_description);
  BindText(statement, 17, picture.metadata.iptc_caption);
  BindText(statement, 18, picture.damage);
  const std::string camera_settings = FormatCameraSettings(exif);
  BindText(statement, 19, camera_settings);
  BindDigest(statement, 20, picture.image);
  StepWrite(statement);
  CommitIfDue();
}

void SiteRecord::ConfirmPicture(std::string_view path) {
  const std::uint64_t hash = PathHash(path);
  std::lock_guard<std::mutex> lock(seen_mutex_);
  seen_pictures_.push_back(hash);
}

void SiteRecord::ForgetUnconfirmedPictures() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> gone = PathsNotSeen(kAllPictures, seen_pictures_);
  for (const std::string& path : gone) DropPictureAhead(path);
  DeleteRows(kDeletePicture, gone);
}

std::vector<std::string> SiteRecord::PathsNotSeen(int all,
                                                  const std::vector<std::uint64_t>& seen) const {
  std::unique_lock<std::mutex> seen_lock(seen_mutex_);
  const SeenPaths seen_paths(seen);
  seen_lock.unlock();
  std::vector<std::string> paths;
  sqlite3_stmt* statement = Statement(all);
  if (statement == nullptr) return paths;
  StatementUse use(statement);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    const std::string_view path = ColumnView(statement, 0);
    if (!seen_paths.Contains(path)) paths.emplace_back(path);
  }
  return paths;
}

void SiteRecord::DeleteRows(int remove, const std::vector<std::string>& paths) {
  sqlite3_stmt* statement = Statement(remove);
  if (statement == nullptr) return;
  for (const std::string& path : paths) {
    StatementUse use(statement);
    BindText(statement, 1, path);
    sqlite3_step(statement);
    ++changes_since_commit_;
  }
}

// --- Outputs ----------------------------------------------------------------------------

std::optional<RecordedOutput> SiteRecord::FindOutput(std::string_view path) const {
  if (std::optional<std::optional<RecordedOutput>> ahead = OutputAhead(path)) {
    return std::move(*ahead);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return FindOutputLocked(path);
}

std::optional<RecordedOutput> SiteRecord::FindOutputLocked(std::string_view path) const {
  sqlite3_stmt* statement = Statement(kFindOutput);
  if (statement == nullptr) return std::nullopt;
  StatementUse use(statement);
  BindText(statement, 1, path);
  if (sqlite3_step(statement) != SQLITE_ROW) return std::nullopt;
  return ColumnOutput(statement, 0);
}

Status SiteRecord::NotePending(std::string_view path, OutputKind kind, const Digest& content) {
  std::string line = std::to_string(static_cast<int>(kind)) + "\t" + HexOf(content) + "\t";
  line.append(path);
  line += '\n';
  std::lock_guard<std::mutex> lock(mutex_);
  if (pending_fd_ < 0) return Status::OK();
  // One write of a whole line: O_APPEND keeps lines of several threads apart.
  if (::write(pending_fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    return Status::IoError("Cannot write " + (site_ / std::string(kPendingFileName)).string() +
                           ": " + std::strerror(errno));
  }
  return Status::OK();
}

void SiteRecord::RecordOutput(std::string_view path, const RecordedOutput& output) {
  std::lock_guard<std::mutex> lock(mutex_);
  RecordOutputLocked(path, output);
  CommitIfDue();
}

void SiteRecord::RecordOutputLocked(std::string_view path, const RecordedOutput& output) {
  ConfirmOutput(path);
  DropOutputAhead(path);
  sqlite3_stmt* statement = Statement(kPutOutput);
  if (statement == nullptr) return;
  StatementUse use(statement);
  BindText(statement, 1, path);
  sqlite3_bind_int(statement, 2, static_cast<int>(output.kind));
  BindText(statement, 3, output.source);
  BindDigest(statement, 4, output.recipe);
  BindDigest(statement, 5, output.content);
  const FileStamp stamp = SettledStamp(output.stamp, settle_time_ns_);
  BindStamp(statement, 6, stamp);
  if (stamp.inode == 0 && output.stamp.inode != 0 && output.kind != OutputKind::kFolder) {
    recorded_unsettled_ = true;
  }
  sqlite3_bind_int(statement, 10, output.width);
  sqlite3_bind_int(statement, 11, output.height);
  sqlite3_bind_int(statement, 12, output.keeps_hand_edits ? 1 : 0);
  StepWrite(statement);
}

void SiteRecord::ConfirmOutput(std::string_view path) {
  const std::uint64_t hash = PathHash(path);
  std::lock_guard<std::mutex> lock(seen_mutex_);
  seen_outputs_.push_back(hash);
}

void SiteRecord::ForgetOutput(std::string_view path) {
  std::lock_guard<std::mutex> lock(mutex_);
  DropOutputAhead(path);
  sqlite3_stmt* statement = Statement(kDeleteOutput);
  if (statement == nullptr) return;
  StatementUse use(statement);
  BindText(statement, 1, path);
  sqlite3_step(statement);
  ++changes_since_commit_;
}

std::vector<SiteRecord::Unconfirmed> SiteRecord::UnconfirmedOutputs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::uint64_t> outputs;
  std::vector<std::uint64_t> pictures;
  {
    std::lock_guard<std::mutex> seen(seen_mutex_);
    outputs = seen_outputs_;
    pictures = seen_pictures_;
  }
  const SeenPaths seen_outputs(std::move(outputs));
  const SeenPaths seen_pictures(std::move(pictures));
  // Every row's path is asked about, and only a row the run did not see is read whole.
  std::vector<std::string> paths;
  {
    sqlite3_stmt* statement = Statement(kAllOutputPaths);
    if (statement == nullptr) return {};
    StatementUse use(statement);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const std::string_view path = ColumnView(statement, 0);
      if (!seen_outputs.Contains(path) && StaysInsideSite(path)) paths.emplace_back(path);
    }
  }
  std::vector<Unconfirmed> unconfirmed;
  for (std::string& path : paths) {
    std::optional<RecordedOutput> output = FindOutputLocked(path);
    if (!output) continue;
    Unconfirmed entry{std::move(path), std::move(*output), false};
    entry.source_gone =
        !entry.output.source.empty() && !seen_pictures.Contains(entry.output.source);
    unconfirmed.push_back(std::move(entry));
  }
  return unconfirmed;
}

std::vector<std::pair<std::string, RecordedOutput>> SiteRecord::AllOutputs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<std::string, RecordedOutput>> outputs;
  sqlite3_stmt* statement = Statement(kAllOutputs);
  if (statement == nullptr) return outputs;
  StatementUse use(statement);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string path = ColumnText(statement, 0);
    if (!StaysInsideSite(path)) continue;
    outputs.emplace_back(std::move(path), ColumnOutput(statement, 1));
  }
  return outputs;
}

void SiteRecord::RecordRewrite(std::string_view path, std::string_view original,
                               const Digest& rewritten) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (db_ == nullptr || read_only_) return;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_,
                         "INSERT OR REPLACE INTO rewrites VALUES (?1, ?2, ?3)", -1, &statement,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    if (write_error_.ok()) write_error_ = Status::IoError(SqliteMessage(db_));
    return;
  }
  BindText(statement, 1, path);
  sqlite3_bind_blob64(statement, 2, original.data(), original.size(), SQLITE_STATIC);
  if (rewritten.Empty()) {
    sqlite3_bind_null(statement, 3);
  } else {
    BindDigest(statement, 3, rewritten);
  }
  StepWrite(statement);
  sqlite3_finalize(statement);
}

std::vector<SiteRecord::Rewrite> SiteRecord::AllRewrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Rewrite> rewrites;
  sqlite3_stmt* statement = nullptr;
  // A record of a build before rewrites were kept has no such table: nothing to give back.
  if (db_ == nullptr ||
      sqlite3_prepare_v2(db_, "SELECT path, original, rewritten FROM rewrites", -1, &statement,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return rewrites;
  }
  while (sqlite3_step(statement) == SQLITE_ROW) {
    Rewrite rewrite;
    rewrite.path = ColumnText(statement, 0);
    if (!StaysInsideSite(rewrite.path)) continue;
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 1));
    if (bytes != nullptr) {
      rewrite.original.assign(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, 1)));
    }
    rewrite.rewritten = ColumnDigest(statement, 2);
    rewrites.push_back(std::move(rewrite));
  }
  sqlite3_finalize(statement);
  return rewrites;
}

void SiteRecord::ForgetRewrite(std::string_view path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (db_ == nullptr || read_only_) return;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, "DELETE FROM rewrites WHERE path = ?1", -1, &statement, nullptr) ==
      SQLITE_OK) {
    BindText(statement, 1, path);
    sqlite3_step(statement);
  }
  sqlite3_finalize(statement);
  ++changes_since_commit_;
}

// --- Folders ----------------------------------------------------------------------------

std::optional<RecordedFolder> SiteRecord::FindFolder(std::string_view path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  sqlite3_stmt* statement = Statement(kFindFolder);
  if (statement == nullptr) return std::nullopt;
  StatementUse use(statement);
  BindText(statement, 1, path);
  if (sqlite3_step(statement) != SQLITE_ROW) return std::nullopt;
  RecordedFolder folder;
  folder.key = ColumnDigest(statement, 0);
  const void* summary = sqlite3_column_blob(statement, 1);
  const int size = sqlite3_column_bytes(statement, 1);
  if (summary != nullptr && size > 0) {
    folder.summary.assign(static_cast<const char*>(summary), static_cast<std::size_t>(size));
  }
  return folder;
}

void SiteRecord::RecordFolder(std::string_view path, const RecordedFolder& folder) {
  ConfirmFolder(path);
  std::lock_guard<std::mutex> lock(mutex_);
  sqlite3_stmt* statement = Statement(kPutFolder);
  if (statement == nullptr) return;
  StatementUse use(statement);
  BindText(statement, 1, path);
  BindDigest(statement, 2, folder.key);
  sqlite3_bind_blob(statement, 3, folder.summary.data(), static_cast<int>(folder.summary.size()),
                    SQLITE_STATIC);
  StepWrite(statement);
  CommitIfDue();
}

void SiteRecord::ConfirmFolder(std::string_view path) {
  const std::uint64_t hash = PathHash(path);
  std::lock_guard<std::mutex> lock(seen_mutex_);
  seen_folders_.push_back(hash);
}

void SiteRecord::ForgetFolder(std::string_view path) {
  std::lock_guard<std::mutex> lock(mutex_);
  sqlite3_stmt* statement = Statement(kDeleteFolder);
  if (statement == nullptr) return;
  StatementUse use(statement);
  BindText(statement, 1, path);
  sqlite3_step(statement);
  ++changes_since_commit_;
}

void SiteRecord::ForgetUnconfirmedFolders() {
  std::lock_guard<std::mutex> lock(mutex_);
  DeleteRows(kDeleteFolder, PathsNotSeen(kAllFolders, seen_folders_));
}

int SiteRecord::PictureCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  sqlite3_stmt* statement = nullptr;
  int count = 0;
  if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM pictures", -1, &statement, nullptr) ==
          SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    count = sqlite3_column_int(statement, 0);
  }
  sqlite3_finalize(statement);
  return count;
}

std::size_t SiteRecord::OutputMark() const {
  std::lock_guard<std::mutex> lock(seen_mutex_);
  return seen_outputs_.size();
}

std::vector<std::pair<std::string, RecordedOutput>> SiteRecord::OutputsSince(
    std::string_view folder, std::size_t mark) const {
  std::vector<std::uint64_t> since;
  {
    std::lock_guard<std::mutex> seen(seen_mutex_);
    if (mark < seen_outputs_.size()) since.assign(seen_outputs_.begin() + mark, seen_outputs_.end());
  }
  std::sort(since.begin(), since.end());
  std::vector<std::pair<std::string, RecordedOutput>> outputs;
  std::string first(folder);
  if (!first.empty()) first += '/';
  std::string after = first;
  if (!after.empty()) after.back() = '/' + 1;
  std::lock_guard<std::mutex> lock(mutex_);
  sqlite3_stmt* statement = Statement(kOutputsBelow);
  if (statement == nullptr) return outputs;
  StatementUse use(statement);
  BindText(statement, 1, first);
  // The top folder: every path is below it.
  BindText(statement, 2, after.empty() ? std::string_view("\xff") : std::string_view(after));
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string path = ColumnText(statement, 0);
    if (!std::binary_search(since.begin(), since.end(), PathHash(path))) continue;
    outputs.emplace_back(std::move(path), ColumnOutput(statement, 1));
  }
  return outputs;
}

// --- Ownership --------------------------------------------------------------------------

void SiteRecord::ReadStatusAhead(const std::string& folder, const std::vector<std::string>& full_paths,
                                 const void* group) {
  // Looked up from the folder, not from the top of the file system, each by a name or two.
  const int folder_fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::vector<std::string> names;
  names.reserve(full_paths.size());
  for (const std::string& path : full_paths) {
    const bool inside = folder_fd >= 0 && path.size() > prefix.size() &&
                        path.compare(0, prefix.size(), prefix) == 0;
    names.push_back(inside ? path.substr(prefix.size()) : path);
  }
  std::vector<PathStatus> statuses = LinkStatusOfMany(folder_fd >= 0 ? folder_fd : AT_FDCWD, names);
  if (folder_fd >= 0) ::close(folder_fd);
  const std::lock_guard<std::mutex> lock(ahead_mutex_);
  for (std::size_t i = 0; i < full_paths.size(); ++i) {
    ahead_[full_paths[i]] = StatusAhead{statuses[i], group};
  }
}

template <typename Row, typename ReadColumns>
void SiteRecord::ReadRowsAhead(std::vector<std::string> site_paths, int range, int find,
                               ReadColumns read_columns,
                               std::unordered_map<std::string, RowAhead<Row>>& ahead,
                               const void* group) {
  std::sort(site_paths.begin(), site_paths.end());
  site_paths.erase(std::unique(site_paths.begin(), site_paths.end()), site_paths.end());
  std::vector<std::optional<Row>> rows(site_paths.size());
  std::lock_guard<std::mutex> lock(mutex_);
  ReadRows(Statement(range), Statement(find), site_paths,
           [&](std::size_t index, sqlite3_stmt* statement, int first) {
             rows[index] = read_columns(statement, first);
           });
  const std::lock_guard<std::mutex> ahead_lock(ahead_mutex_);
  for (std::size_t i = 0; i < site_paths.size(); ++i) {
    ahead[std::move(site_paths[i])] = {std::move(rows[i]), group};
  }
}

void SiteRecord::ReadAhead(const std::string& folder, const std::vector<std::string>& output_paths,
                           const std::vector<std::string>& picture_paths, const void* group) {
  ReadStatusAhead(folder, output_paths, group);
  std::vector<std::string> outputs;
  outputs.reserve(output_paths.size());
  for (const std::string& path : output_paths) outputs.push_back(SitePath(path));
  ReadRowsAhead(std::move(outputs), kOutputRange, kFindOutput, ColumnOutput, outputs_ahead_,
                group);
  std::vector<std::string> pictures;
  pictures.reserve(picture_paths.size());
  for (const std::string& path : picture_paths) pictures.push_back(SitePath(path));
  ReadRowsAhead(
      std::move(pictures), kPictureRange, kFindPicture,
      [](sqlite3_stmt* statement, int first) { return Believed(ColumnPicture(statement, first)); },
      pictures_ahead_, group);
}

void SiteRecord::ForgetAhead(const void* group) {
  const std::lock_guard<std::mutex> lock(ahead_mutex_);
  const auto forget = [group](auto& map) {
    for (auto it = map.begin(); it != map.end();) {
      it = it->second.group == group ? map.erase(it) : std::next(it);
    }
  };
  forget(ahead_);
  forget(outputs_ahead_);
  forget(pictures_ahead_);
}

std::optional<std::optional<RecordedOutput>> SiteRecord::OutputAhead(std::string_view path) const {
  const std::lock_guard<std::mutex> lock(ahead_mutex_);
  return RowReadAhead(outputs_ahead_, path);
}

std::optional<std::optional<RecordedPicture>> SiteRecord::PictureAhead(std::string_view path) const {
  const std::lock_guard<std::mutex> lock(ahead_mutex_);
  return RowReadAhead(pictures_ahead_, path);
}

void SiteRecord::DropOutputAhead(std::string_view path) {
  const std::lock_guard<std::mutex> lock(ahead_mutex_);
  if (!outputs_ahead_.empty()) outputs_ahead_.erase(std::string(path));
}

void SiteRecord::DropPictureAhead(std::string_view path) {
  const std::lock_guard<std::mutex> lock(ahead_mutex_);
  if (!pictures_ahead_.empty()) pictures_ahead_.erase(std::string(path));
}

std::optional<PathStatus> SiteRecord::TakeStatusAhead(const std::string& full_path) const {
  const std::lock_guard<std::mutex> lock(ahead_mutex_);
  if (ahead_.empty()) return std::nullopt;
  const auto found = ahead_.find(full_path);
  if (found == ahead_.end()) return std::nullopt;
  const PathStatus status = found->second.status;
  ahead_.erase(found);
  return status;
}

ClaimResult SiteRecord::ClaimRecorded(const std::string& full_path,
                                        const std::optional<RecordedOutput>& recorded) const {
  ClaimResult result;
  struct stat info;
  const std::optional<PathStatus> ahead = TakeStatusAhead(full_path);
  if (ahead) info = ahead->info;
  if (ahead ? ahead->error != 0 : ::lstat(full_path.c_str(), &info) != 0) {
    // Nothing there, or a place that cannot even be looked at (a name too long for the file
    // system): the write says why it fails, and nothing of the user's can be lost by it.
    result.claim = Ownership::kAbsent;
    return result;
  }
  result.claim = Ownership::kUsers;
  if (S_ISLNK(info.st_mode)) {
    result.why = "a link";
    return result;
  }
  if (S_ISDIR(info.st_mode)) {
    result.why = "a folder";
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.why = "not a plain file";
    return result;
  }
  if (!recorded) return result;  // Adoption may still make it the run's.
  if (recorded->stamp.inode != 0 && StampOf(info) == recorded->stamp) {
    result.claim = Ownership::kOurs;
    result.stamp_matched = true;
    return result;
  }
  const std::optional<Digest> digest = DigestOfFile(full_path);
  if (digest && *digest == recorded->content) {
    result.claim = Ownership::kOurs;
    return result;
  }
  if (recorded->kind == OutputKind::kPage && IsPageOfThisProgram(full_path)) {
    result.claim = Ownership::kHandEdited;
    return result;
  }
  result.why = "changed since Pixamond wrote it";
  return result;
}

// --- Settling ---------------------------------------------------------------------------

std::optional<struct stat> SiteRecord::FileSystemNow() const {
  struct stat now;
  if (pending_fd_ < 0 || ::futimens(pending_fd_, nullptr) != 0 || ::fstat(pending_fd_, &now) != 0) {
    return std::nullopt;
  }
  return now;
}

namespace {

// An output a run recorded with a stamp too new to trust, to be read back.
struct SettleCandidate {
  std::string path;  // Relative to the site.
  Digest content;    // As recorded.
  // What the read back found; kNot: nothing to settle, the next run looks at it.
  enum class Found { kNot, kSettled, kTooNew } found = Found::kNot;
  FileStamp stamp;
};

// Reads `candidate` back (at `site`) against the file system's clock `now`. Files change
// their times in steps of that clock (of a few milliseconds on most). A file whose change
// time is of an earlier step than now shows a later one after any change to come; one
// changed in the step of now could change again unseen, and is too new. The status is read
// before the bytes: a change since shows in the stamp, a change before in the digest.
void ReadBack(const std::filesystem::path& site, const struct stat& now,
              SettleCandidate& candidate) {
  struct stat info {};
  candidate.found = SettleCandidate::Found::kNot;
  const std::optional<Digest> digest = DigestOfFile(site / candidate.path, &info);
  if (!digest || info.st_dev != now.st_dev) return;
  candidate.stamp = StampOf(info);
  if (!ChangedBefore(candidate.stamp, now)) {
    candidate.found = SettleCandidate::Found::kTooNew;
  } else if (*digest == candidate.content) {
    candidate.found = SettleCandidate::Found::kSettled;
  }
}

// Reads `candidates` back, `threads` at a time.
void ReadBackAll(const std::filesystem::path& site, const struct stat& now,
                 std::vector<SettleCandidate>& candidates, int threads) {
  const std::size_t count = candidates.size();
  const std::size_t parts = std::min<std::size_t>(std::max(threads, 1), count);
  std::vector<std::thread> helpers;
  for (std::size_t part = 1; part < parts; ++part) {
    helpers.emplace_back([&, part] {
      for (std::size_t i = part; i < count; i += parts) ReadBack(site, now, candidates[i]);
    });
  }
  for (std::size_t i = 0; i < count; i += std::max<std::size_t>(parts, 1)) {
    ReadBack(site, now, candidates[i]);
  }
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace

int SiteRecord::SettleOutputs(int threads, const std::function<bool(int)>& read_so_far) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!recorded_unsettled_ || read_only_ || db_ == nullptr || pending_fd_ < 0) return 0;
  recorded_unsettled_ = false;
  std::optional<struct stat> now = FileSystemNow();
  if (!now) return 0;

  sqlite3_stmt* find = nullptr;
  sqlite3_stmt* put = nullptr;
  const auto finalize = [&] {
    sqlite3_finalize(find);
    sqlite3_finalize(put);
  };
  if (sqlite3_prepare_v2(db_,
                         "SELECT path, content FROM outputs WHERE inode = 0 AND path > ?1"
                         " AND kind <> ?2 ORDER BY path LIMIT 512",
                         -1, &find, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db_,
                         "UPDATE outputs SET size = ?2, write_ns = ?3, change_ns = ?4,"
                         " inode = ?5 WHERE path = ?1 AND inode = 0 AND content = ?6",
                         -1, &put, nullptr) != SQLITE_OK) {
    finalize();
    return 0;
  }
  int settled = 0;
  // Records the stamps of those read back as still holding what was recorded; keeps those
  // too new to tell in `late` (the run's last few), up to a number, to try again once the
  // clock has moved on.
  constexpr std::size_t kMostLate = 4096;
  std::vector<SettleCandidate> late;
  const auto take = [&](std::vector<SettleCandidate>& candidates) {
    for (SettleCandidate& candidate : candidates) {
      if (candidate.found == SettleCandidate::Found::kTooNew) {
        if (late.size() < kMostLate) late.push_back(std::move(candidate));
        continue;
      }
      if (candidate.found != SettleCandidate::Found::kSettled) continue;
      DropOutputAhead(candidate.path);
      sqlite3_reset(put);
      BindText(put, 1, candidate.path);
      BindStamp(put, 2, candidate.stamp);
      BindDigest(put, 6, candidate.content);
      StepWrite(put);
      ++settled;
    }
  };

  std::string after;
  int read = 0;
  bool stopped = false;
  for (bool more = true; more && !stopped;) {
    // A batch of the unsettled outputs (this run's, and the few an earlier run left),
    // taken before any row changes.
    std::vector<SettleCandidate> batch;
    more = false;
    sqlite3_reset(find);
    BindText(find, 1, after);
    sqlite3_bind_int(find, 2, static_cast<int>(OutputKind::kFolder));
    while (sqlite3_step(find) == SQLITE_ROW) {
      more = true;
      after.assign(ColumnView(find, 0));
      SettleCandidate& candidate = batch.emplace_back();
      candidate.path = after;
      candidate.content = ColumnDigest(find, 1);
    }
    ReadBackAll(site_, *now, batch, threads);
    take(batch);
    read += static_cast<int>(batch.size());
    stopped = read_so_far && !read_so_far(read);
  }
  // A step of the clock lasts milliseconds: a few short waits see the last files through.
  for (int attempt = 0; attempt < 20 && !late.empty() && !stopped; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    now = FileSystemNow();
    if (!now) break;
    std::vector<SettleCandidate> again;
    again.swap(late);
    ReadBackAll(site_, *now, again, 1);
    take(again);
  }
  finalize();
  return settled;
}

// --- Commits ----------------------------------------------------------------------------

void SiteRecord::StepWrite(sqlite3_stmt* statement) {
  if (sqlite3_step(statement) != SQLITE_DONE && write_error_.ok()) {
    write_error_ = Status::IoError(SqliteMessage(db_));
  }
  ++changes_since_commit_;
}

void SiteRecord::CommitIfDue() {
  if (changes_since_commit_ >= kChangesPerCommit) static_cast<void>(CommitLocked());
}

Status SiteRecord::CommitLocked() {
  if (read_only_ || db_ == nullptr) return Status::OK();
  Status committed = Execute("COMMIT");
  if (committed.ok()) {
    changes_since_commit_ = 0;
    // What the list named is in the record now.
    if (pending_fd_ >= 0 && ::ftruncate(pending_fd_, 0) != 0) {
      committed = Status::IoError(std::strerror(errno));
    }
  }
  const Status begun = Execute("BEGIN");
  if (committed.ok() && !begun.ok()) committed = begun;
  if (!committed.ok() && write_error_.ok()) write_error_ = committed;
  return committed;
}

Status SiteRecord::Commit() {
  std::lock_guard<std::mutex> lock(mutex_);
  static_cast<void>(CommitLocked());
  if (!write_error_.ok()) {
    return Status::IoError("The site's record " + (site_ / std::string(kRecordFileName)).string() +
                           " could not be written: " + write_error_.message());
  }
  return Status::OK();
}

}  // namespace pix
