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


std::string ErrnoText() { return std::strerror(errno); }

// Moves `count` bytes from `in` to `out` (or only reads them when `out` is null).
Status MoveBytes(std::FILE* in, std::FILE* out, std::int64_t count, const std::string& in_name) {
  std::uint8_t buffer[1 << 16];
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(count, sizeof buffer));
    const std::size_t got = std::fread(buffer, 1, want, in);
    if (got != want) {
      if (std::ferror(in)) return Status::IoError("Cannot read " + in_name + ": " + ErrnoText());
      return Status::Corrupt(in_name + " changed while its comment was written");
    }
    if (out != nullptr && std::fwrite(buffer, 1, got, out) != got) {
      return Status::IoError("Cannot write the copy of " + in_name + ": " + ErrnoText());
    }
    count -= static_cast<std::int64_t>(got);
  }
  return Status::OK();
}

Status MoveRest(std::FILE* in, std::FILE* out, const std::string& in_name) {
  std::uint8_t buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, got, out) != got) {
      return Status::IoError("Cannot write the copy of " + in_name + ": " + ErrnoText());
    }
  }
  if (std::ferror(in)) return Status::IoError("Cannot read " + in_name + ": " + ErrnoText());
  return Status::OK();
}

}  // namespace

CommentWritePlan::CommentWritePlan(std::string_view init_comments, const JpegHeaderMap& map) {
  PIX_CHECK(init_comments.size() <= kMaxComSegmentText);
  PIX_CHECK(map.frame_header_start >= 0);
  if (!init_comments.empty()) {
    const std::size_t length = init_comments.size() + 2;
    segment_image_.reserve(init_comments.size() + 4);
    segment_image_.push_back(0xFF);
    segment_image_.push_back(kMarkerCom);
    segment_image_.push_back(static_cast<std::uint8_t>(length >> 8));
    segment_image_.push_back(static_cast<std::uint8_t>(length & 0xFF));
    segment_image_.insert(segment_image_.end(), init_comments.begin(), init_comments.end());
  }
  // A caption (variable records, or none at all) replaces only a caption segment: another
  // program's comment is never taken for one. Plain text replaces whatever the reader shows.
  const bool caption = init_comments.empty() || HoldsVariableRecords(init_comments);
  int current = map.caption;
  if (current >= 0 && caption && !map.comments[static_cast<std::size_t>(current)].holds_records) {
    current = -1;
  }
  // The new segment takes the current one's place when that lies before the frame header;
  // otherwise it goes right in front of the frame header, where every reader looks first.
  std::int64_t insert_at = map.frame_header_start;
  if (current >= 0 && map.comments[static_cast<std::size_t>(current)].start < insert_at) {
    insert_at = map.comments[static_cast<std::size_t>(current)].start;
  }
  const bool insert = !segment_image_.empty();
  bool placed = !insert;
  for (std::size_t i = 0; i < map.comments.size(); ++i) {
    const JpegCommentSegment& segment = map.comments[i];
    // Every segment of variable records goes: the current caption and the older ones.
    if (!segment.holds_records && static_cast<int>(i) != current) continue;
    const bool here = !placed && segment.start == insert_at;
    if (!placed && !here && insert_at < segment.start) {
      edits_.push_back(Edit{insert_at, insert_at, true});
      placed = true;
    }
    edits_.push_back(Edit{segment.start, segment.end, here});
    placed = placed || here;
  }
  if (!placed) edits_.push_back(Edit{insert_at, insert_at, true});
}

Status CommentWritePlan::Copy(std::FILE* in, std::FILE* out, const std::string& in_name) const {
  std::int64_t position = 0;
  for (const Edit& edit : edits_) {
    Status moved = MoveBytes(in, out, edit.offset - position, in_name);
    if (!moved.ok()) return moved;
    if (edit.insert &&
        std::fwrite(segment_image_.data(), 1, segment_image_.size(), out) != segment_image_.size()) {
      return Status::IoError("Cannot write the copy of " + in_name + ": " + ErrnoText());
    }
    moved = MoveBytes(in, nullptr, edit.drop_end - edit.offset, in_name);
    if (!moved.ok()) return moved;
    position = edit.drop_end;
  }
  return MoveRest(in, out, in_name);
}

Status WriteJpegComment(const fs::path& in_file, const fs::path& out_file,
                        std::string_view comments) {
  if (comments.size() > kMaxComSegmentText) {
    return Status::TooLarge("The comment for " + out_file.string() + " is " +
                            std::to_string(comments.size()) +
                            " bytes long; a JPEG comment segment holds at most " +
                            std::to_string(kMaxComSegmentText) + " bytes");
  }
  // The output is judged first, so that a file the user protected is refused whatever it
  // holds; a link is written through, since its target is the picture the user named.
  Result<UserFileTarget> target = CheckUserFileRewrite(out_file, SymlinkRule::kWriteThrough);
  if (!target.ok()) return target.status();
  // Only a regular file is opened: a named pipe or a device would make the read wait.
  Status regular = RequireRegularFile(in_file);
  if (!regular.ok()) return regular;

  FilePtr in(std::fopen(in_file.c_str(), "rb"));
  if (!in) return Status::NotFound("Cannot open " + in_file.string() + ": " + ErrnoText());

  // The same walk that reads captions finds the segments to replace, so that the reader and
  // the writer always agree on which segment is the caption.
  JpegHeaderMap map;
  const Result<JpegHeader> before = ReadJpegHeader(in_file.string(), {&map, nullptr});
  if (!before.ok()) return before.status();
  if (before->IsCorrupt() || map.frame_header_start < 0) {
    return Status::Corrupt(JpegCorruptMessage(in_file.string()));
  }
  const CommentWritePlan change(comments, map);
  std::error_code same_error;
  if (change.ChangesNothing() && fs::equivalent(in_file, out_file, same_error)) {
    return Status::OK();
  }

  const auto write = [&](std::FILE* out) { return change.Copy(in.get(), out, in_file.string()); };
  // The copy must read back with the new caption and the frame size of the original; a
  // caption emptied must leave no caption segment.
  const auto check = [&](const fs::path& new_file) {
    JpegHeaderMap new_map;
    const Result<JpegHeader> after = ReadJpegHeader(new_file.string(), {&new_map, nullptr});
    if (!after.ok()) return after.status();
    const bool caption_right = comments.empty()
                                  ? new_map.RecordSegmentCount() == 0
                                  : after->comments == FilterCommentText(comments);
    if (after->width != before->width || after->height != before->height || !caption_right) {
      return Status::Corrupt("The comment written into " + target->name +
                             " does not read back as written; the file is left unchanged");
    }
    return Status::OK();
  };
  return ReplaceUserFileSafely(*target, write, check);
}

Status WriteJpegCommentInPlace(const fs::path& path, std::string_view comments) {
  return WriteJpegComment(path, path, comments);
}

}  // namespace pix
