// Writing a picture's caption into its JPEG file.
//
// A picture's caption is the text of one COM segment, its caption segment (see comread.h:
// the last COM segment holding variable records). A new caption takes the place of that
// segment; older segments of variable records (the history of earlier captions, which must
// not travel with a published picture) are dropped; everything else, the comments of other
// programs, EXIF, XMP, ICC and IPTC segments, the frame header and the compressed data,
// is copied byte for byte and in order. A picture without a caption gets one new segment
// right in front of its frame header, and so does one whose caption segment follows the
// frame header. An empty caption leaves no caption segment behind.
//
// Text that is not variable records (what a user may hand to `pixamond comment --set`)
// replaces the segment the reader shows, which for a picture without a caption is its last
// comment.
//
// The file is copied through a checked temporary file: the copy must read back with the
// new caption and the picture's frame size before it replaces the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "picture/comread.h"

namespace pix {

/// The longest text a COM segment can hold: its 16-bit length counts itself too.
inline constexpr std::size_t kMaxComSegmentText = 65533;

/// The change of one picture's header that gives it a new caption: which COM segments go,
/// and where the new one is placed. Planned from the walk of the picture's header, then
/// carried out as one streaming copy.
class CommentWritePlan {
 public:
  /// Plans the change that gives the picture whose header is `map` the caption
  /// `init_comments` (not longer than kMaxComSegmentText). The map must come from a walk
  /// that met a frame header.
  CommentWritePlan(std::string_view init_comments, const JpegHeaderMap& map);

  /// True when the copy would be the picture byte for byte.
  bool ChangesNothing() const { return edits_.empty(); }

  /// Copies `in` (read from its start) to `out` with the change made. Fails when the input
  /// ends before a planned place or on any read or write error; `inName` names it.
  Status Copy(std::FILE* in, std::FILE* out, const std::string& in_name) const;

  /// The new segment as written: FF FE, the length, the text. Empty for an empty caption.

 private:
  // At Offset the new segment is written (when insert), then the bytes up to DropEnd are
  // left out (none when DropEnd equals Offset).
  struct Edit {
    std::int64_t offset = 0;
    std::int64_t drop_end = 0;
    bool insert = false;
  };
  std::vector<std::uint8_t> segment_image_;
  std::vector<Edit> edits_;  // In file order.
};

/// Copies the JPEG file `in_file` to `out_file` with the caption `comments` (see the
/// top of this file). A file the reader finds no frame size in is refused with
/// JpegCorruptMessage before anything is written. The copy is written beside `out_file`
/// under a temporary name and moved into place only when it is complete and the marker
/// reader reads back the new caption and the picture's frame size from it; on any failure
/// `out_file` is left as it was. The two paths may name the same file, which then changes
/// in place (and is not written at all when nothing would change). An existing `out_file`
/// is replaced only when CheckUserFileRewrite allows it (a symbolic link is written through
/// to the file it leads to and stays a link), and keeps its mode, owner and group.
Status WriteJpegComment(const std::filesystem::path& in_file,
                        const std::filesystem::path& out_file, std::string_view comments);

/// Gives the picture at `path` the caption `comments`, safely in place.
Status WriteJpegCommentInPlace(const std::filesystem::path& path, std::string_view comments);

}  // namespace pix
