#include "site/factscache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <charconv>
#include <chrono>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "base/safefile.h"
#include "base/filetime.h"
#include "picture/comread.h"
#include "picture/metatext.h"

namespace pix {
namespace {

// The first line of the notes file; another version's notes are not read.
constexpr std::string_view kHeader = "Pixamond facts 1\n";
// A note is kept only for a file whose time is this much older than the note: a file
// system keeps times only so finely (ext4 to the clock tick, FAT to two seconds), so a
// change made within that time after the file was looked at could leave size and time
// as they were.
constexpr std::int64_t kSettledNs = 2'000'000'000;
// Notes of a site of hundreds of thousands of pictures fit well within this.
constexpr std::size_t kMaxFactsFileSize = 256u * 1024 * 1024;


// Texts are kept on one line: the backslash, tab, line feed and carriage return are
// written as two characters.
void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': *out += '\\'; break;
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      default: return false;
    }
  }
  return true;
}

template <typename Value>
void AppendNumber(std::string& out, Value value) {
  out += '\t';
  out += std::to_string(value);
}

void AppendText(std::string& out, std::string_view text) {
  out += '\t';
  AppendEscaped(out, text);
}

void AppendStamp(std::string& out, const TFileStamp& stamp) {
  AppendNumber(out, stamp.Size);
  AppendNumber(out, stamp.WriteTimeNs);
  AppendNumber(out, stamp.ChangeTimeNs);
  AppendNumber(out, stamp.Inode);
}

void AppendImage(std::string& out, const TNotedImage& image) {
  AppendStamp(out, image.Stamp);
  AppendNumber(out, image.Width);
  AppendNumber(out, image.Height);
}

// Reads the fields of one record in turn; any field that is missing or malformed fails the
// record.
class TFieldReader {
 public:
  explicit TFieldReader(std::string_view line) : Line(line) {}

  bool Text(std::string* out) {
    std::string_view field;
    return Next(&field) && Unescape(field, out);
  }

  template <typename Value>
  bool Number(Value* out) {
    std::string_view field;
    if (!Next(&field)) return false;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), *out);
    return error == std::errc() && end == field.data() + field.size();
  }

  bool Stamp(TFileStamp* stamp) {
    return Number(&stamp->Size) && Number(&stamp->WriteTimeNs) &&
           Number(&stamp->ChangeTimeNs) && Number(&stamp->Inode);
  }

  bool Image(TNotedImage* image) {
    return Stamp(&image->Stamp) && Number(&image->Width) && Number(&image->Height);
  }

  bool AtEnd() const { return Done; }

  // What is left of the line, from the next field on.
  std::string_view Rest() const { return Done ? std::string_view() : Line.substr(At); }

 private:
  bool Next(std::string_view* field) {
    if (Done) return false;
    const std::size_t tab = Line.find('\t', At);
    *field = Line.substr(At, tab == std::string_view::npos ? std::string_view::npos : tab - At);
    if (tab == std::string_view::npos) {
      Done = true;
    } else {
      At = tab + 1;
    }
    return true;
  }

  std::string_view Line;
  std::size_t At = 0;
  bool Done = false;
};

// "2024-06-01T18:30:12", as IsoDateTimeFromExif makes it.
bool IsIsoDateTime(std::string_view text) {
  constexpr std::string_view kShape = "0000-00-00T00:00:00";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return false;
  }
  return true;
}

bool ParsePicture(TFieldReader& fields, TNotedPicture* picture) {
  int orientation = 1;
  TExifInfo& exif = picture->Metadata.Exif;
  if (!(fields.Stamp(&picture->Picture) && fields.Number(&picture->Width) &&
        fields.Number(&picture->Height) && fields.Number(&orientation) &&
        fields.Text(&picture->szComments) && fields.Text(&exif.Description) &&
        fields.Text(&exif.DateTaken) && fields.Text(&exif.Make) && fields.Text(&exif.Model) &&
        fields.Text(&picture->Metadata.XmpDescription) &&
        fields.Text(&picture->Metadata.IptcCaption) && fields.Image(&picture->Inline) &&
        fields.Image(&picture->Detail))) {
    return false;
  }
  if (orientation < 1 || orientation > 8 || picture->Width <= 0 || picture->Height <= 0) {
    return false;
  }
  exif.Orientation = static_cast<TOrientation>(orientation);
  // Notes travel with the site (an album unpacked from an archive keeps its files' times),
  // so they are held to what the readers themselves hand over: a text that the readers
  // would not have given marks notes made by someone else.
  for (const std::string* text : {&exif.Description, &exif.Make, &exif.Model,
                                  &picture->Metadata.XmpDescription,
                                  &picture->Metadata.IptcCaption}) {
    if (CleanMetadataText(*text) != *text) return false;
  }
  if (!exif.DateTaken.empty() && !IsIsoDateTime(exif.DateTaken)) return false;
  return picture->szComments.empty() ||
         (picture->szComments.size() < static_cast<std::size_t>(MAX_COMMENTS_LENGTH) &&
          FilterCommentText(picture->szComments) == picture->szComments);
}

bool ParsePage(TFieldReader& fields, TNotedPage* page) {
  return fields.Stamp(&page->Stamp) && fields.Number(&page->Digest[0]) &&
         fields.Number(&page->Digest[1]);
}

std::optional<std::string> ReadSmallFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info;
  std::optional<std::string> text;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) <= kMaxFactsFileSize) {
    text.emplace(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < text->size()) {
      const ssize_t part = ::read(fd, text->data() + got, text->size() - got);
      if (part <= 0) break;
      got += static_cast<std::size_t>(part);
    }
    text->resize(got);
  }
  ::close(fd);
  return text;
}

// Calls `record(kind, path, fields)` for each record of notes `text`, where `fields` reads
// what follows the path; false at once for text that is not notes, a cut or malformed
// record, or one `record` refuses.
template <typename Record>
bool ForEachRecord(std::string_view text, Record record) {
  if (text.substr(0, kHeader.size()) != kHeader) return false;
  for (std::size_t at = kHeader.size(); at < text.size();) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return false;  // A cut file.
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (line.size() < 2 || line[1] != '\t') return false;
    TFieldReader fields(line.substr(2));
    std::string path;
    if (!fields.Text(&path)) return false;
    if (!record(line[0], std::move(path), fields)) return false;
  }
  return true;
}

}  // namespace

TFileStamp StampOf(const struct stat& info) {
  return TFileStamp{static_cast<std::uint64_t>(info.st_size), TimeNs(info.st_mtim),
                    TimeNs(info.st_ctim), static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<TFileStamp> StampOfFile(const std::filesystem::path& path, bool followLink) {
  struct stat info;
  const int looked = followLink ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
  if (looked != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return StampOf(info);
}

struct TPageDigester::State {
  State() : Hash(XXH3_createState()) {
    if (Hash == nullptr) throw std::bad_alloc();
    XXH3_128bits_reset(Hash);
  }
  ~State() { XXH3_freeState(Hash); }
  XXH3_state_t* Hash;
};

TPageDigester::TPageDigester() : Impl(std::make_unique<State>()) {}
TPageDigester::~TPageDigester() = default;

void TPageDigester::Add(std::string_view bytes) {
  XXH3_128bits_update(Impl->Hash, bytes.data(), bytes.size());
}

void TPageDigester::Finish(std::uint64_t digest[2]) const {
  const XXH128_hash_t hash = XXH3_128bits_digest(Impl->Hash);
  digest[0] = hash.low64;
  digest[1] = hash.high64;
}

void TFactsCache::Load(const std::filesystem::path& siteDirectory) {
  File = siteDirectory / FACTS_FILE_NAME;
  OldPictures.clear();
  OldPages.clear();
  bLoadedOurs = false;
  LoadedSize = 0;
  LoadedText.clear();
  if (std::optional<std::string> text = ReadSmallFile(File)) {
    bLoadedOurs = text->substr(0, kHeader.size()) == kHeader;
    LoadedSize = text->size();
    TPageDigester digester;
    digester.Add(*text);
    digester.Finish(LoadedDigest);
    // A picture's note stays text until it is looked up: a site of many pictures costs
    // its notes file and an index, not a copy of every note in parsed form. Every note is
    // checked now all the same, so that notes are believed whole or not at all.
    LoadedText = std::move(*text);
    const bool good = ForEachRecord(
        LoadedText, [&](char kind, std::string path, TFieldReader& fields) {
          if (kind == 'P') {
            const std::string_view rest = fields.Rest();
            TNotedPicture picture;
            if (!ParsePicture(fields, &picture) || !fields.AtEnd()) return false;
            OldPictures.insert_or_assign(std::move(path), rest);
            return true;
          }
          if (kind == 'H') {
            TNotedPage page;
            if (!ParsePage(fields, &page) || !fields.AtEnd()) return false;
            OldPages.insert_or_assign(std::move(path), page);
            return true;
          }
          return false;
        });
    if (!good) {
      OldPictures.clear();
      OldPages.clear();
      LoadedText = std::string();
    }
  }
}

std::optional<TNotedPicture> TFactsCache::FindPicture(std::string_view path) const {
  const auto found = OldPictures.find(std::string(path));
  if (found == OldPictures.end()) return std::nullopt;
  // Checked when loaded: it reads.
  TFieldReader fields(found->second);
  TNotedPicture picture;
  if (!ParsePicture(fields, &picture)) return std::nullopt;
  return picture;
}

const TNotedPage* TFactsCache::FindPage(std::string_view path) const {
  const auto found = OldPages.find(std::string(path));
  return found == OldPages.end() ? nullptr : &found->second;
}

void TFactsCache::NotePicture(std::string path, TNotedPicture picture) {
  NewPictures.insert_or_assign(std::move(path), std::move(picture));
}

void TFactsCache::NotePage(std::string path, const TNotedPage& page) {
  OldPages.erase(path);  // Pages are looked up by the page writer only.
  NewPages.insert_or_assign(std::move(path), page);
}

void TFactsCache::SerializeRecords(
    const std::unordered_map<std::string, TNotedPicture>& pictures,
    const std::unordered_map<std::string, TNotedPage>& pages,
    const std::function<void(std::string_view)>& sink) {
  // Sorted, so that the same notes always make the same text.
  std::vector<const std::pair<const std::string, TNotedPicture>*> sortedPictures;
  sortedPictures.reserve(pictures.size());
  for (const auto& entry : pictures) sortedPictures.push_back(&entry);
  std::sort(sortedPictures.begin(), sortedPictures.end(),
            [](auto* a, auto* b) { return a->first < b->first; });
  std::vector<const std::pair<const std::string, TNotedPage>*> sortedPages;
  sortedPages.reserve(pages.size());
  for (const auto& entry : pages) sortedPages.push_back(&entry);
  std::sort(sortedPages.begin(), sortedPages.end(),
            [](auto* a, auto* b) { return a->first < b->first; });
  sink(kHeader);
  // One record at a time, so that the notes of a large site never stand whole in memory.
  std::string out;
  for (const auto* entry : sortedPictures) {
    const TNotedPicture& picture = entry->second;
    const TPictureMetadata& metadata = picture.Metadata;
    out = 'P';
    AppendText(out, entry->first);
    AppendStamp(out, picture.Picture);
    AppendNumber(out, picture.Width);
    AppendNumber(out, picture.Height);
    AppendNumber(out, static_cast<int>(metadata.Exif.Orientation));
    AppendText(out, picture.szComments);
    AppendText(out, metadata.Exif.Description);
    AppendText(out, metadata.Exif.DateTaken);
    AppendText(out, metadata.Exif.Make);
    AppendText(out, metadata.Exif.Model);
    AppendText(out, metadata.XmpDescription);
    AppendText(out, metadata.IptcCaption);
    AppendImage(out, picture.Inline);
    AppendImage(out, picture.Detail);
    out += '\n';
    sink(out);
  }
  for (const auto* entry : sortedPages) {
    out = 'H';
    AppendText(out, entry->first);
    AppendStamp(out, entry->second.Stamp);
    AppendNumber(out, entry->second.Digest[0]);
    AppendNumber(out, entry->second.Digest[1]);
    out += '\n';
    sink(out);
  }
}

std::string TFactsCache::Serialize(
    const std::unordered_map<std::string, TNotedPicture>& pictures,
    const std::unordered_map<std::string, TNotedPage>& pages) {
  std::string text;
  SerializeRecords(pictures, pages, [&](std::string_view part) { text += part; });
  return text;
}

bool TFactsCache::Parse(std::string_view text,
                        std::unordered_map<std::string, TNotedPicture>* pictures,
                        std::unordered_map<std::string, TNotedPage>* pages) {
  return ForEachRecord(text, [&](char kind, std::string path, TFieldReader& fields) {
    if (kind == 'P') {
      TNotedPicture picture;
      if (!ParsePicture(fields, &picture) || !fields.AtEnd()) return false;
      pictures->insert_or_assign(std::move(path), std::move(picture));
      return true;
    }
    if (kind == 'H') {
      TNotedPage page;
      if (!ParsePage(fields, &page) || !fields.AtEnd()) return false;
      pages->insert_or_assign(std::move(path), page);
      return true;
    }
    return false;
  });
}

Status TFactsCache::Save(bool complete) {
  if (File.empty()) return Status::OK();
  if (!complete) {
    for (const auto& [path, rest] : OldPictures) {
      if (NewPictures.count(path) != 0) continue;
      if (std::optional<TNotedPicture> picture = FindPicture(path)) {
        NewPictures.emplace(path, std::move(*picture));
      }
    }
    for (const auto& [path, page] : OldPages) NewPages.emplace(path, page);
  }
  OldPictures.clear();
  OldPages.clear();
  LoadedText = std::string();
  const std::int64_t settled =
      std::chrono::duration_cast<std::chrono::nanoseconds>(
          std::chrono::system_clock::now().time_since_epoch())
          .count() -
      kSettledNs;
  for (auto entry = NewPictures.begin(); entry != NewPictures.end();) {
    TNotedPicture& picture = entry->second;
    if (picture.Inline.Stamp.WriteTimeNs > settled) picture.Inline = TNotedImage();
    if (picture.Detail.Stamp.WriteTimeNs > settled) picture.Detail = TNotedImage();
    entry = picture.Picture.WriteTimeNs > settled ? NewPictures.erase(entry) : std::next(entry);
  }
  for (auto entry = NewPages.begin(); entry != NewPages.end();) {
    entry = entry->second.Stamp.WriteTimeNs > settled ? NewPages.erase(entry) : std::next(entry);
  }
  // Whatever stands at the notes' name and is not notes of this program (a link, which may
  // lead anywhere, a folder, a file of the user's) is left as it is.
  struct stat info;
  const bool exists = ::lstat(File.c_str(), &info) == 0;
  if (exists && (!S_ISREG(info.st_mode) || !bLoadedOurs)) {
    return Status::Refused(File.string() +
                           " is not a file of Pixamond's; it is left as it is, and the "
                           "next run reads every picture again");
  }
  // Nothing to remember and nothing there: no file is made.
  if (NewPictures.empty() && NewPages.empty() && !exists) return Status::OK();
  // The same notes as the file holds: it is left alone.
  TPageDigester digester;
  std::uint64_t size = 0;
  SerializeRecords(NewPictures, NewPages, [&](std::string_view part) {
    digester.Add(part);
    size += part.size();
  });
  std::uint64_t digest[2];
  digester.Finish(digest);
  if (exists && size == LoadedSize && digest[0] == LoadedDigest[0] &&
      digest[1] == LoadedDigest[1]) {
    return Status::OK();
  }
  // Notes lost in a crash cost only time, so they are not synced.
  Result<TTempFileBeside> temp =
      TTempFileBeside::Create(File, TTempFileBeside::Durability::kUnsynced);
  if (!temp.ok()) return temp.status();
  bool written = true;
  SerializeRecords(NewPictures, NewPages, [&](std::string_view part) {
    written = written && std::fwrite(part.data(), 1, part.size(), temp->File()) == part.size();
  });
  if (!written) return Status::IoError("Cannot write " + File.string());
  return temp->Commit();
}

}  // namespace pix
