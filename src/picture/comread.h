// Reading a JPEG picture's frame size and comment without decoding it.
//
// A picture keeps its own variables (caption, description and the like, as variable
// records) in the text of a JPEG comment (COM) segment. The reader walks the marker segments
// of the file header one byte at a time, takes width and height from the frame header and
// the text of the COM segment, and stops at the start of the compressed data, so a large
// picture costs no more than a small one.
//
// Problems are written as lines "COMREAD(place): <count>message" to the detail sink
// (base/diagnostics.h) and end the walk; they never end the program. Every call keeps its own
// state, so several pictures may be read at the same time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pix {

/// The most bytes `szComments` may hold; the reader keeps a few places free, so the longest
/// text it hands over is 31997 bytes.
inline constexpr int MAX_COMMENTS_LENGTH = 32000;

/// Frame size and comment of one JPEG picture.
struct TFileImageInfo {
  std::int32_t Width = 0;   ///< Frame width in pixels; 0 when no frame header was read.
  std::int32_t Height = 0;  ///< Number of lines; 0 when no frame header was read.
  std::string szFileName;   ///< The picture's path; set by the caller.
  /// The text of the last COM segment before the scan, with every line ending made CR LF,
  /// carriage returns and the other control characters except tab dropped, every other byte
  /// (UTF-8 text included) kept as it is, and always ending in CR LF. Empty when the file has
  /// no COM segment or the segment could not be read.
  std::string szComments;
  /// The file was not there (set when it could not be opened for that reason).
  bool bMissing = false;
};

/// Reads the frame size and comment of the JPEG file `szFileName` into the other fields.
/// Always returns 1: the outcome is judged by the fields (a width and height both not above
/// 0 mean the file is not a usable JPEG picture). Error lines go to the detail sink.
int ReadJpegImageInfo(TFileImageInfo* FileImageInfo);

/// As ReadJpegImageInfo, but returns the number of errors the walk reported (0 for a header
/// read cleanly up to its scan). Used where a written file is checked before it is kept.
int ReadJpegImageInfoCountingErrors(TFileImageInfo* FileImageInfo);

/// True for a byte the comment reader keeps as it is: tab, printable ASCII and every byte
/// from 0x80 to 0xFF (the bytes of UTF-8 characters). Line feeds are kept as CR LF; carriage
/// returns, the other control characters and DEL are dropped.
bool IsKeptCommentByte(std::uint8_t byte);

/// Turns the raw bytes of one COM segment into the text the reader hands over: LF becomes
/// CR LF, the bytes IsKeptCommentByte accepts stay, every other byte is dropped, storing
/// stops when five or fewer of MAX_COMMENTS_LENGTH places are left (a UTF-8 character cut
/// there is dropped whole), and CR LF ends the text when it does not already end in a line
/// feed. Every kept byte takes one place, a line feed two.
class TCommentTextFilter {
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
  std::string Text;
  int FreePlaces = MAX_COMMENTS_LENGTH;
};

/// The text the reader would hand over for a COM segment holding `raw`.
std::string FilterCommentText(std::string_view raw);

}  // namespace pix
