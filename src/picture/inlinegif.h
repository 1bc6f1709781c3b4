// Whether an inline image must be made again.
#pragma once

#include <cstdint>
#include <filesystem>

namespace pix {

/// True when the inline GIF `szImageFullFileName` of the picture `szSourceFullFileName`
/// must be made again: it is missing, older than the picture, cannot be read as a GIF file,
/// or its width or height differs from the wanted size by more than 2 pixels. The GIF path
/// must end in ".gif" (in any case); callers only ever pass inline image paths.
bool IsInlineGifStale(const std::filesystem::path& szSourceFullFileName,
                      const std::filesystem::path& szImageFullFileName, int Width, int Height);

/// The same for an inline image of any format: a GIF, JPEG or WebP file, known by its
/// extension (see WebImageFormatOf). Also used for detail images.
bool IsInlineImageStale(const std::filesystem::path& szSourceFullFileName,
                        const std::filesystem::path& szImageFullFileName, int Width, int Height);

/// The same for a picture whose write time is already known (nanoseconds since 1970, as the
/// scan of its directory found it). The image is opened once: a GIF's size comes from its
/// 13-byte header (a header whose colour table the file cannot hold marks a cut file).
bool IsInlineImageStale(std::int64_t SourceWriteTimeNs,
                        const std::filesystem::path& szImageFullFileName, int Width, int Height);

}  // namespace pix
