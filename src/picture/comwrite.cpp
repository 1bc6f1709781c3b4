#include "picture/comwrite.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/check.h"
#include "base/diagnostics.h"
#include "base/safereplace.h"
#include "files/utils.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

constexpr std::uint8_t kMarkerCom = 0xFE;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string ErrnoText() { return std::strerror(errno); }

// Moves `count` bytes from `in` to `out` (or only reads them when `out` is null).
Status MoveBytes(std::FILE* in, std::FILE* out, std::int64_t count, const std::string& inName) {
  std::uint8_t buffer[1 << 16];
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(count, sizeof buffer));
    const std::size_t got = std::fread(buffer, 1, want, in);
    if (got != want) {
      if (std::ferror(in)) return Status::IoError("Cannot read " + inName + ": " + ErrnoText());
      return Status::Corrupt(inName + " changed while its comment was written");
    }
    if (out != nullptr && std::fwrite(buffer, 1, got, out) != got) {
      return Status::IoError("Cannot write the copy of " + inName + ": " + ErrnoText());
    }
    count -= static_cast<std::int64_t>(got);
  }
  return Status::OK();
}

Status MoveRest(std::FILE* in, std::FILE* out, const std::string& inName) {
  std::uint8_t buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, got, out) != got) {
      return Status::IoError("Cannot write the copy of " + inName + ": " + ErrnoText());
    }
  }
  if (std::ferror(in)) return Status::IoError("Cannot read " + inName + ": " + ErrnoText());
  return Status::OK();
}

}  // namespace

TWriteComObject::TWriteComObject(std::string_view szInitComments, const TJpegHeaderMap& map) {
  PIX_CHECK(szInitComments.size() <= kMaxComSegmentText);
  PIX_CHECK(map.FrameHeaderStart >= 0);
  if (!szInitComments.empty()) {
    const std::size_t length = szInitComments.size() + 2;
    SegmentImage.reserve(szInitComments.size() + 4);
    SegmentImage.push_back(0xFF);
    SegmentImage.push_back(kMarkerCom);
    SegmentImage.push_back(static_cast<std::uint8_t>(length >> 8));
    SegmentImage.push_back(static_cast<std::uint8_t>(length & 0xFF));
    SegmentImage.insert(SegmentImage.end(), szInitComments.begin(), szInitComments.end());
  }
  // A caption (variable records, or none at all) replaces only a caption segment: another
  // program's comment is never taken for one. Plain text replaces whatever the reader shows.
  const bool caption = szInitComments.empty() || HoldsVariableRecords(szInitComments);
  int current = map.Caption;
  if (current >= 0 && caption && !map.Comments[static_cast<std::size_t>(current)].bHoldsRecords) {
    current = -1;
  }
  // The new segment takes the current one's place when that lies before the frame header;
  // otherwise it goes right in front of the frame header, where every reader looks first.
  std::int64_t insertAt = map.FrameHeaderStart;
  if (current >= 0 && map.Comments[static_cast<std::size_t>(current)].Start < insertAt) {
    insertAt = map.Comments[static_cast<std::size_t>(current)].Start;
  }
  const bool insert = !SegmentImage.empty();
  bool placed = !insert;
  for (std::size_t i = 0; i < map.Comments.size(); ++i) {
    const TJpegCommentSegment& segment = map.Comments[i];
    // Every segment of variable records goes: the current caption and the older ones.
    if (!segment.bHoldsRecords && static_cast<int>(i) != current) continue;
    const bool here = !placed && segment.Start == insertAt;
    if (!placed && !here && insertAt < segment.Start) {
      Edits.push_back(TEdit{insertAt, insertAt, true});
      placed = true;
    }
    Edits.push_back(TEdit{segment.Start, segment.End, here});
    placed = placed || here;
  }
  if (!placed) Edits.push_back(TEdit{insertAt, insertAt, true});
}

Status TWriteComObject::Copy(std::FILE* in, std::FILE* out, const std::string& inName) const {
  std::int64_t position = 0;
  for (const TEdit& edit : Edits) {
    Status moved = MoveBytes(in, out, edit.Offset - position, inName);
    if (!moved.ok()) return moved;
    if (edit.bInsert &&
        std::fwrite(SegmentImage.data(), 1, SegmentImage.size(), out) != SegmentImage.size()) {
      return Status::IoError("Cannot write the copy of " + inName + ": " + ErrnoText());
    }
    moved = MoveBytes(in, nullptr, edit.DropEnd - edit.Offset, inName);
    if (!moved.ok()) return moved;
    position = edit.DropEnd;
  }
  return MoveRest(in, out, inName);
}

Status WriteJpegComment(const fs::path& szInFile, const fs::path& szOutFile,
                        std::string_view szComments) {
  if (szComments.size() > kMaxComSegmentText) {
    return Status::TooLarge("The comment for " + szOutFile.string() + " is " +
                            std::to_string(szComments.size()) +
                            " bytes long; a JPEG comment segment holds at most " +
                            std::to_string(kMaxComSegmentText) + " bytes");
  }
  // The output is judged first, so that a file the user protected is refused whatever it
  // holds; a link is written through, since its target is the picture the user named.
  Result<UserFileTarget> target = CheckUserFileRewrite(szOutFile, SymlinkRule::kWriteThrough);
  if (!target.ok()) return target.status();
  // Only a regular file is opened: a named pipe or a device would make the read wait.
  Status regular = RequireRegularFile(szInFile);
  if (!regular.ok()) return regular;

  TFilePtr in(std::fopen(szInFile.c_str(), "rb"));
  if (!in) return Status::NotFound("Cannot open " + szInFile.string() + ": " + ErrnoText());

  // The same walk that reads captions finds the segments to replace, so that the reader and
  // the writer always agree on which segment is the caption.
  TFileImageInfo before;
  before.szFileName = szInFile.string();
  TJpegHeaderMap map;
  ReadJpegHeaderMap(&before, &map);
  if (IsCorruptJpegInfo(before) || map.FrameHeaderStart < 0) {
    return Status::Corrupt(JpegCorruptMessage(szInFile.string()));
  }
  const TWriteComObject change(szComments, map);
  std::error_code sameError;
  if (change.ChangesNothing() && fs::equivalent(szInFile, szOutFile, sameError)) {
    return Status::OK();
  }

  const auto write = [&](std::FILE* out) { return change.Copy(in.get(), out, szInFile.string()); };
  // The copy must read back with the new caption and the frame size of the original; a
  // caption emptied must leave no caption segment.
  const auto check = [&](const fs::path& newFile) {
    TFileImageInfo after;
    after.szFileName = newFile.string();
    TJpegHeaderMap newMap;
    ReadJpegHeaderMap(&after, &newMap);
    const bool captionRight = szComments.empty()
                                  ? newMap.RecordSegmentCount() == 0
                                  : after.szComments == FilterCommentText(szComments);
    if (after.Width != before.Width || after.Height != before.Height || !captionRight) {
      return Status::Corrupt("The comment written into " + target->name +
                             " does not read back as written; the file is left unchanged");
    }
    return Status::OK();
  };
  return ReplaceUserFileSafely(*target, write, check);
}

Status WriteJpegCommentInPlace(const fs::path& path, std::string_view szComments) {
  return WriteJpegComment(path, path, szComments);
}

}  // namespace pix
