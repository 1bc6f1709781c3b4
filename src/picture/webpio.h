// WebP files through libwebp: encoding an RGB picture with its colour profile, and reading
// the size of a WebP file. libwebp is used nowhere else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "base/status.h"
#include "picture/decjpeg.h"

namespace pix {

/// The bytes of a lossy WebP file of `Picture` at quality `Quality` (1 to 100), carrying its
/// colour profile (as the container's ICCP chunk) and no other metadata. `name` names the
/// file in messages.
Result<std::vector<std::uint8_t>> EncodeWebP(const RgbPicture& picture, int quality,
                                             const std::filesystem::path& name);

/// The width and height of the WebP picture in `bytes`; fails when they are no WebP file.
Status GetWebPSize(const std::vector<std::uint8_t>& bytes, int* width, int* height);

}  // namespace pix
