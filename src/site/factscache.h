// What a run remembers of a site for the next run, so that a rerun that changes nothing
// hardly looks at the disk.
//
// A run reads each picture's header, checks each inline and detail image, and compares
// each page it makes with the page on disk. The next run can take all of that on trust
// for every file that is as it was: a picture of the same size and write time has the
// same size, caption and metadata; an image or page with the same size, write time and
// inode is the file this program left there, whose size or digest was noted. So an
// unchanged picture costs the scan's look at its files and one look each at its inline
// image and page, and nothing is opened.
//
// The notes are kept in one hidden file at the site's top, FACTS_FILE_NAME, a text file of
// tab-separated records (texts escaped), rewritten at the end of a run only when they
// changed. A missing, damaged or foreign file only costs the reading it would have spared.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/status.h"
#include "picture/metadata.h"

namespace pix {

/// The name of the notes file at the top of a site.
inline constexpr std::string_view FACTS_FILE_NAME = ".pixamond-facts";

/// What tells that a file is still the one that was noted. The change time catches what
/// keeps size and write time (a tool that sets the write time back after editing); the
/// inode, a file put in the place of another.
struct TFileStamp {
  std::uint64_t Size = 0;
  std::int64_t WriteTimeNs = 0;
  std::int64_t ChangeTimeNs = 0;
  std::uint64_t Inode = 0;
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

/// An image the run made or found current, and its size in pixels.
struct TNotedImage {
  TFileStamp Stamp;
  int Width = 0;
  int Height = 0;
  bool Known() const { return Width > 0 && Height > 0; }
};

/// What was learned of one readable picture.
struct TNotedPicture {
  TFileStamp Picture;  ///< As the scan finds it.
  int Width = 0;       ///< Shown upright.
  int Height = 0;
  std::string szComments;
  TPictureMetadata Metadata;
  TNotedImage Inline;
  TNotedImage Detail;
};

/// A page as this program left it.
struct TNotedPage {
  TFileStamp Stamp;
  std::uint64_t Digest[2] = {0, 0};  ///< XXH3 128 of its bytes.
};

/// The 128-bit digest pages are noted by, of bytes handed over a piece at a time.
class TPageDigester {
 public:
  TPageDigester();
  ~TPageDigester();
  TPageDigester(const TPageDigester&) = delete;
  TPageDigester& operator=(const TPageDigester&) = delete;
  void Add(std::string_view bytes);
  /// The digest of everything added so far.
  void Finish(std::uint64_t digest[2]) const;

 private:
  struct State;
  std::unique_ptr<State> Impl;
};

class TFactsCache {
 public:
  /// Reads the notes of the site at `siteDirectory`; none when there are none or they
  /// cannot be read.
  void Load(const std::filesystem::path& siteDirectory);

  /// The notes of the last run. Paths are relative to the site directory. Safe to call
  /// from several threads while nothing is noted.
  std::optional<TNotedPicture> FindPicture(std::string_view path) const;
  const TNotedPage* FindPage(std::string_view path) const;

  /// Notes what this run learned (from one thread).
  void NotePicture(std::string path, TNotedPicture picture);
  void NotePage(std::string path, const TNotedPage& page);

  /// Writes this run's notes when they differ from the last run's. A run that did not get
  /// through (`complete` false) keeps the last run's notes of what it did not reach. Files
  /// written in the last two seconds are left out: their times cannot yet tell a later
  /// change (the next run looks at them again). Refused (Status::Code::kRefused) when
  /// something other than notes of this program stands at the notes' name.
  Status Save(bool complete);

  /// The notes file's text for `pictures` and `pages`, handed to `sink` a record at a time.
  static void SerializeRecords(const std::unordered_map<std::string, TNotedPicture>& pictures,
                               const std::unordered_map<std::string, TNotedPage>& pages,
                               const std::function<void(std::string_view)>& sink);
  /// The notes file's text for `pictures` and `pages`, and back.
  static std::string Serialize(const std::unordered_map<std::string, TNotedPicture>& pictures,
                               const std::unordered_map<std::string, TNotedPage>& pages);
  static bool Parse(std::string_view text,
                    std::unordered_map<std::string, TNotedPicture>* pictures,
                    std::unordered_map<std::string, TNotedPage>* pages);

 private:
  std::filesystem::path File;
  bool bLoadedOurs = false;  // A notes file of this program was there.
  std::uint64_t LoadedSize = 0;  // Its size and digest, to tell whether anything changed.
  std::uint64_t LoadedDigest[2] = {0, 0};
  std::string LoadedText;  // The last run's notes, which OldPictures points into.
  // Each picture's note as text (what follows its path), parsed when looked up.
  std::unordered_map<std::string, std::string_view> OldPictures;
  std::unordered_map<std::string, TNotedPage> OldPages;
  std::unordered_map<std::string, TNotedPicture> NewPictures;
  std::unordered_map<std::string, TNotedPage> NewPages;
};

}  // namespace pix
