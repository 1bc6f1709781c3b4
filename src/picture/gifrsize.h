// GIF services for inline images: resizing a GIF file by replicating or dropping pixels
// and lines (so that no new colours arise and the colour maps are copied unchanged), and
// turning it upright on the way when its picture was stored turned, reading a GIF file's
// size, telling whether it is interlaced, and rewriting an interlaced GIF file (a picture
// of the user's) as a non-interlaced one that keeps everything else.
//
// Resized files start with "GIF87a"; a de-interlaced file keeps the signature, and every
// other byte apart from its images' line order, of its original. Progress goes to the
// detail sink (base/diagnostics.h): a line "GifRSize: Image N at (LEFT, TOP)
// [WIDTHxHEIGHT]" for each image. A file that cannot be read or written is reported there
// too and makes the operation fail; it never ends the program, and an output that existed
// before is only ever replaced by a complete new file.
#pragma once

#include <filesystem>

#include "base/safefile.h"
#include "base/status.h"
#include "picture/orientation.h"

namespace pix {

/// The largest image (width x height of one image descriptor) the resizer and the
/// de-interlacer take: 2^28 pixels, about 268 million, so that every real picture of up to
/// 200 megapixels passes while a 34-byte file that claims 65535 x 65535 is refused. The
/// de-interlacer holds the whole image in memory, and so does the resizer for an
/// interlaced image; for any other it holds one line at a time.
inline constexpr long long kMaxGifImagePixels = 1LL << 28;

/// Writes `out_file` as `in_file` resized to `Width` x `Height` (1 to 65535 each). Every
/// image is scaled with its position, cut at the new screen's edge (an image left with
/// nothing inside the screen is dropped), and keeps its local colour map; of every
/// extension only the first data sub-block is copied. An interlaced image is read whole
/// and written non-interlaced, so that a picture which could not be de-interlaced on the
/// disk still gets its inline image. The two paths may name the same file.
///
/// With an `Orientation` other than kNormal the resized picture is also turned upright:
/// `in_file` is resized to the size that, turned, is `Width` x `Height` (Height x Width
/// for the orientations that swap sides), and each resized image is turned, with its place
/// on the screen, before it is written. A turned image is held whole in memory, at its
/// resized size.
///
/// `beforeReplace`, when set, is called with the finished and checked new file just before
/// it replaces `out_file`; when it fails, `out_file` stays as it was and its status is
/// returned.
Status ResizeGifToSize(int width, int height, const std::filesystem::path& in_file,
                       const std::filesystem::path& out_file,
                       Orientation orientation = Orientation::kNormal,
                       const BeforeReplace& before_replace = {});

/// The logical screen width and height of a GIF file (not the size of its images). Both
/// are set to 0 first and stay 0 when the file cannot be read.
Status GetGifSize(int* width, int* height, const std::filesystem::path& file);

/// Whether the first image of a GIF file is interlaced; false for a file without images.
Result<bool> IsGifInterlaced(const std::filesystem::path& file);

/// Writes `out_file` as a copy of `in_file` whose images are all non-interlaced, with the
/// lines in top-to-bottom order, and which is otherwise the same byte for byte: the
/// signature (GIF89a stays GIF89a), the screen descriptor, the global and local colour
/// tables, every extension with all its sub-blocks in its place (graphic controls, loop
/// counts, comments of any length, plain text), the images' descriptors but for the
/// interlace flag, and whatever follows the trailer. Only the LZW data of an interlaced
/// image is made anew. The copy replaces `out_file` only when it reads back with all of
/// that and the same pixels; otherwise `out_file` stays as it was and the status says why.
/// An existing `out_file` is the user's picture: it is replaced only when
/// CheckUserFileRewrite allows it (a symbolic link is refused), and keeps its mode, owner
/// and group. The two paths may name the same file.
Status DeinterlaceGif(const std::filesystem::path& in_file,
                      const std::filesystem::path& out_file);

/// Rewrites the GIF picture at `path` non-interlaced, safely in place (see DeinterlaceGif).
Status DeinterlaceGifInPlace(const std::filesystem::path& path);

}  // namespace pix
