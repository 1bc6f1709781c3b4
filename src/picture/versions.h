// The versions of what turns a picture's bytes into what a site shows. The site's record
// keeps them beside what they made, so that a new version remakes exactly what it changes.
#pragma once

namespace pix {

/// Bumped whenever a picture reader (header, comment, EXIF, XMP, IPTC) hands over other
/// values for the same bytes: every picture is read again.
inline constexpr int kPictureReaderVersion = 3;

/// Bumped whenever an image maker (the inline GIF, JPEG and WebP images, the detail image)
/// writes other bytes for the same picture and settings: every image is made again.
inline constexpr int kImageMakerVersion = 1;

}  // namespace pix
