// Writing a picture's comment into its JPEG file.
//
// The file is copied byte for byte, and a COM segment holding the new text is placed in
// front of the frame header (or in front of the end-of-image marker when no frame header
// comes first). Segments before that point, earlier comments included, are copied by their
// lengths; the frame header, the scans and everything after pass unchanged and undecoded.
// The marker reader takes the last COM segment before the scan, which is the one written
// here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace pix {

/// The longest text a COM segment can hold: its 16-bit length counts itself too.
inline constexpr std::size_t kMaxComSegmentText = 65533;

/// Bytes to write, owned by the filter that produced them.
struct TByteView {
  const std::uint8_t* Data = nullptr;
  std::size_t Size = 0;
};

/// A byte filter that is fed a JPEG file one byte at a time and tells for each byte what
/// goes to the output: the byte itself, nothing, or the new COM segment followed by the
/// marker code in front of which it is placed.
class TWriteComObject {
 public:
  /// Builds the segment for `szInitComments`, which must not be longer than
  /// kMaxComSegmentText (WriteJpegComment refuses longer texts before it gets here).
  explicit TWriteComObject(std::string_view szInitComments);

  /// Takes the next input byte and sets `Output` to what must be written for it, valid
  /// until the next call. Returns false when the input is not one this filter can place a
  /// comment in (the reason and the file offset go to the detail sink); it must not
  /// be called again after that.
  bool FilterByte(std::uint8_t Byte, TByteView* Output);

  /// True once the new segment has been placed; every later byte passes unchanged.
  bool IsCommentInserted() const { return bCommentInserted; }

 private:
  void FilterStep();
  void ActOnMarker();
  void SetError(const char* why);

  std::int64_t FileOffset = 0;
  std::uint8_t CurrentByte = 0;
  // FE, length (2 bytes), the text, FF, and the marker code in front of which it is placed.
  std::vector<std::uint8_t> ComSegmentImage;
  TByteView OutputView;
  bool bPreviousWasFF = false;
  bool bCopySegment = false;
  int CopyCount = 0;
  bool IsError = false;
  bool bLengthHighNext = false;
  bool bLengthLowNext = false;
  int SegmentLength = 0;
  bool bCommentInserted = false;
};

/// Copies the JPEG file `szInFile` to `szOutFile` with a new COM segment holding
/// `szComments`. The copy is written beside `szOutFile` under a temporary name and moved
/// into place only when it is complete and the marker reader reads back the new text and
/// the picture's frame size from it; on any failure `szOutFile` is left as it was. The two
/// paths may name the same file, which then changes in place. An existing `szOutFile` is
/// replaced only when CheckUserFileRewrite allows it (a symbolic link is written through to
/// the file it leads to and stays a link), and keeps its mode, owner and group.
Status WriteJpegComment(const std::filesystem::path& szInFile,
                        const std::filesystem::path& szOutFile, std::string_view szComments);

/// Gives the picture at `path` the comment `szComments`, safely in place.
Status WriteJpegCommentInPlace(const std::filesystem::path& path, std::string_view szComments);

}  // namespace pix
