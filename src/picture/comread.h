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
// the same walk (ReadJpegHeader with a JpegHeaderMap).
//
// Problems are written as lines "COMREAD(place): <count>message" to the detail sink
// (base/diagnostics.h) and end the walk; they never end the program. Every call keeps its own
// state, so several pictures may be read at the same time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "picture/metadata.h"

namespace pix {

/// The most bytes `comments` may hold; the reader keeps a few places free, so the longest
/// text it hands over is 31997 bytes.
inline constexpr int kMaxCommentsLength = 32000;

struct JpegHeaderMap;

/// What the reader found in the header of one JPEG picture: its frame size and its caption.
struct JpegHeader {
  std::int32_t width = 0;   ///< Frame width in pixels; 0 when no frame header was read.
  std::int32_t height = 0;  ///< Number of lines; 0 when no frame header was read.
  /// The text of the caption segment (the last COM segment before the scan that holds
  /// variable records, or the last COM segment when none does), with every line ending made
  /// CR LF, carriage returns and the other control characters except tab dropped, every
  /// other byte (UTF-8 text included) kept as it is, and always ending in CR LF. Empty when
  /// the file has no COM segment or the segment could not be read.
  std::string comments;
  /// How many errors the walk reported: 0 for a header read cleanly up to its scan. Their
  /// lines went to the detail sink.
  int error_count = 0;

  /// True when the header has no usable frame size: the file is no usable JPEG picture,
  /// which every caller reports as JpegCorruptMessage.
  bool IsCorrupt() const { return width <= 0 || height <= 0; }
};

/// What a walk of the header may gather besides the JpegHeader, each when given.
struct JpegHeaderExtras {
  /// The places of the segments the walk met (see JpegHeaderMap).
  JpegHeaderMap* map = nullptr;
  /// The metadata segments the walk passed (as ReadJpegMetadataSegments keeps them), so
  /// that the header is read once for both.
  JpegMetadataSegments* metadata_segments = nullptr;
};

/// Reads the frame size and caption of the JPEG file `file_name`. Fails only when the file
/// cannot be opened (NotFound when it is not there, IoError otherwise, with the reason); a
/// file that opens but holds no usable picture is read as far as it goes, and IsCorrupt
/// says so.
Result<JpegHeader> ReadJpegHeader(const std::string& file_name, JpegHeaderExtras extras = {});

/// "JPEG file NAME is corrupt": what the site run, the comment command and the comment
/// writer say of a picture the reader finds no frame size in.
std::string JpegCorruptMessage(std::string_view file_name);

/// One COM segment of a picture's header, by its place in the file.
struct JpegCommentSegment {
  std::int64_t start = 0;       ///< Offset of the 0xFF right before the COM code.
  std::int64_t end = 0;         ///< Offset just past the segment's text.
  bool holds_records = false;   ///< Its text is variable records (HoldsVariableRecords).
};

/// Where the walk of ReadJpegHeader found the COM segments and the frame header.
struct JpegHeaderMap {
  /// Every COM segment read whole before the walk ended, in file order.
  std::vector<JpegCommentSegment> comments;
  /// Offset of the 0xFF right before the first frame header's code; -1 when none was met.
  std::int64_t frame_header_start = -1;
  /// Index in `comments` of the caption segment, whose text comments holds; -1 for none.
  int caption = -1;
  /// Number of the segments in Comments that hold variable records.
  int RecordSegmentCount() const;
};

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
