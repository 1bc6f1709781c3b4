// Reading a JPEG picture's frame size and comment without decoding it.
//
// A picture keeps its own variables (caption, description and the like, as variable
// records) in the text of a JPEG comment (COM) segment: its caption segment. Other programs
// leave comments of their own ("Created with GIMP"), which are not captions. The reader
// walks the marker segments of the file header one byte at a time, takes width and height
// from the frame header and the text of the caption segment, and stops at the start of the
// compressed data, so a large picture costs no more than a small one. The caption segment is
// the last COM segment holding variable records; a picture without one shows the text of
// its last COM segment. The comment writer (comwrite.h) replaces the same segment, found by
// the same walk (ReadJpegHeaderMap).
//
// Problems are written as lines "COMREAD(place): <count>message" to the detail sink
// (base/diagnostics.h) and end the walk; they never end the program. Every call keeps its own
// state, so several pictures may be read at the same time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "picture/metadata.h"

namespace pix {

/// The most bytes `comments` may hold; the reader keeps a few places free, so the longest
/// text it hands over is 31997 bytes.
inline constexpr int kMaxCommentsLength = 32000;

/// Frame size and comment of one JPEG picture.
struct FileImageInfo {
  std::int32_t width = 0;   ///< Frame width in pixels; 0 when no frame header was read.
  std::int32_t height = 0;  ///< Number of lines; 0 when no frame header was read.
  std::string file_name;   ///< The picture's path; set by the caller.
  /// The text of the caption segment (the last COM segment before the scan that holds
  /// variable records, or the last COM segment when none does), with every line ending made CR LF,
  /// carriage returns and the other control characters except tab dropped, every other byte
  /// (UTF-8 text included) kept as it is, and always ending in CR LF. Empty when the file has
  /// no COM segment or the segment could not be read.
  std::string comments;
  /// The errno of a file that could not be opened (too many open files, no permission...);
  /// 0 when it was opened.
  int open_error = 0;
  /// The file was not there (set when it could not be opened for that reason).
  bool missing = false;
  /// When set by the caller, the walk also keeps the metadata segments it passes (as
  /// ReadJpegMetadataSegments does), so the header is read once for both.
  JpegMetadataSegments* metadata_segments = nullptr;
};

/// Reads the frame size and comment of the JPEG file `file_name` into the other fields.
/// Always returns 1: the outcome is judged by the fields (a width and height both not above
/// 0 mean the file is not a usable JPEG picture). Error lines go to the detail sink.
int ReadJpegImageInfo(FileImageInfo* file_image_info);

/// As ReadJpegImageInfo, but returns the number of errors the walk reported (0 for a header
/// read cleanly up to its scan). Used where a written file is checked before it is kept.
int ReadJpegImageInfoCountingErrors(FileImageInfo* file_image_info);

/// True when the picture read into `info` has no usable frame size, which every caller
/// reports as JpegCorruptMessage.
inline bool IsCorruptJpegInfo(const FileImageInfo& info) {
  return info.width <= 0 || info.height <= 0;
}

/// "JPEG file NAME is corrupt": what the site run, the comment command and the comment
/// writer say of a picture the reader finds no frame size in.
std::string JpegCorruptMessage(std::string_view file_name);

/// One COM segment of a picture's header, by its place in the file.
struct JpegCommentSegment {
  std::int64_t start = 0;       ///< Offset of the 0xFF right before the COM code.
  std::int64_t end = 0;         ///< Offset just past the segment's text.
  bool holds_records = false;   ///< Its text is variable records (HoldsVariableRecords).
};

/// Where the walk of ReadJpegHeaderMap found the COM segments and the frame header.
struct JpegHeaderMap {
  /// Every COM segment read whole before the walk ended, in file order.
  std::vector<JpegCommentSegment> comments;
  /// Offset of the 0xFF right before the first frame header's code; -1 when none was met.
  std::int64_t frame_header_start = -1;
  /// Index in Comments of the caption segment, whose text comments holds; -1 for none.
  int caption = -1;
  /// Number of the segments in Comments that hold variable records.
  int RecordSegmentCount() const;
};

/// As ReadJpegImageInfoCountingErrors, and fills `map` with the places of the segments the
/// walk met.
int ReadJpegHeaderMap(FileImageInfo* file_image_info, JpegHeaderMap* map);

/// True when the raw text of a COM segment is variable records as this program writes them:
/// it starts with a name line (two or more ASCII letters, a colon and a line end, LF or
/// CR LF) and ends with a blank line. A comment such as "Created with GIMP", or "Note: taken
/// at dawn" on one line, is another program's.
bool HoldsVariableRecords(std::string_view raw);

/// True for a byte the comment reader keeps as it is: tab, printable ASCII and every byte
/// from 0x80 to 0xFF (the bytes of UTF-8 characters). Line feeds are kept as CR LF; carriage
/// returns, the other control characters and DEL are dropped.
bool IsKeptCommentByte(std::uint8_t byte);

/// Turns the raw bytes of one COM segment into the text the reader hands over: LF becomes
/// CR LF, the bytes IsKeptCommentByte accepts stay, every other byte is dropped, storing
/// stops when five or fewer of kMaxCommentsLength places are left (a UTF-8 character cut
/// there is dropped whole), and CR LF ends the text when it does not already end in a line
/// feed. Every kept byte takes one place, a line feed two.
class CommentTextFilter {
 public:
  /// Empties the text for a new segment.
  void Reset();
  /// Takes the next byte of the segment. Returns false when the byte would have been kept
  /// but the text is full: the text is then cut, and the rest of the segment is of no
  /// interest.
  bool Add(std::uint8_t byte);
  /// The finished text (adds the closing CR LF when needed).
  std::string Finish() &&;

 private:
  std::string text_;
  int free_places_ = kMaxCommentsLength;
};

/// The text the reader would hand over for a COM segment holding `raw`.
std::string FilterCommentText(std::string_view raw);

}  // namespace pix
