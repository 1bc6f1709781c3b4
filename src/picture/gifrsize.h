// GIF services for inline images: resizing a GIF file by replicating or dropping pixels
// and lines (so that no new colours arise and the colour maps are copied unchanged),
// reading a GIF file's size, telling whether it is interlaced, and rewriting an interlaced
// GIF file as a non-interlaced one.
//
// Files written here start with "GIF87a". Progress goes to the detail sink
// (base/diagnostics.h): a line "GifRSize: Image N at (LEFT, TOP) [WIDTHxHEIGHT]" for each
// image. A file that cannot be read or written is reported there too and makes the operation fail;
// it never ends the program, and an output that existed before is only ever replaced by a complete
// new file.
#pragma once

#include <filesystem>

#include "base/status.h"

namespace pix {

/// The largest image (width x height of one image descriptor) the resizer and the
/// de-interlacer take: 2^28 pixels, about 268 million, so that every real picture of up to
/// 200 megapixels passes while a 34-byte file that claims 65535 x 65535 is refused. The
/// de-interlacer holds the whole image in memory; the resizer one line at a time.
inline constexpr long long kMaxGifImagePixels = 1LL << 28;

/// Writes `szOutFile` as `szInFile` resized to `Width` x `Height` (1 to 65535 each). Every
/// image is scaled with its position, cut at the new screen's edge (an image left with
/// nothing inside the screen is dropped), and keeps its local colour map; of every
/// extension only the first data sub-block is copied. Interlaced images are refused
/// ("Can't read inerlaced images.  Sorry"); de-interlace such files first. The two paths
/// may name the same file.
Status ResizeGifToSize(int Width, int Height, const std::filesystem::path& szInFile,
                       const std::filesystem::path& szOutFile);

/// The logical screen width and height of a GIF file (not the size of its images). Both
/// are set to 0 first and stay 0 when the file cannot be read.
Status GetGifSize(int* Width, int* Height, const std::filesystem::path& szFile);

/// Whether the first image of a GIF file is interlaced; false for a file without images.
Result<bool> IsGifInterlaced(const std::filesystem::path& szFile);

/// Writes `szOutFile` as a copy of `szInFile` whose images are all non-interlaced, with the
/// lines in top-to-bottom order. The two paths may name the same file.
Status DeinterlaceGif(const std::filesystem::path& szInFile,
                      const std::filesystem::path& szOutFile);

/// Rewrites the GIF file at `path` non-interlaced, safely in place: the new file replaces
/// the old one only when it is complete, readable and of the same screen size.
Status DeinterlaceGifInPlace(const std::filesystem::path& path);

}  // namespace pix
