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

/// The same test for a picture whose write time is already known (nanoseconds since 1970,
/// as a scan of its directory found it): the inline GIF is opened once and only its
/// header is read.
bool IsInlineGifStale(std::int64_t SourceWriteTimeNs,
                      const std::filesystem::path& szImageFullFileName, int Width, int Height);

}  // namespace pix
