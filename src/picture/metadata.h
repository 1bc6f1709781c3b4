// A JPEG picture's metadata: its EXIF data, the description of its XMP packet and the
// caption of its IPTC record, read without decoding the picture.
//
// A small walk over the marker segments of the file header keeps the payloads of the
// segments that carry metadata (APP1 "Exif", APP1 XMP, APP13 "Photoshop 3.0") and passes
// over every other segment; it stops at the start of the compressed data. Sizes are capped
// and every read is checked, so a damaged or hostile header costs at most a few hundred
// kilobytes and gives nothing, or whatever it holds that can be read. Metadata are a
// bonus: no problem with them is reported, and none keeps a picture from its page.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "picture/exifinfo.h"

namespace pix {

/// The most bytes of Photoshop image resources (APP13, which may span several segments)
/// that are kept; one segment carries at most 65533.
inline constexpr std::size_t kMaxPhotoshopResourceBytes = 256 * 1024;

/// The most bytes of EXIF data (which may span several segments) that are kept.
inline constexpr std::size_t kMaxExifBytes = 1024 * 1024;

/// The payloads of the metadata segments of a JPEG header, each without its signature
/// except the EXIF payload, which keeps its "Exif\0\0".
struct JpegMetadataSegments {
  /// The first APP1 segment starting with "Exif\0\0", and joined to it without their
  /// signature the later ones: writers split EXIF data longer than a segment holds so.
  std::string exif;
  std::string xmp;        ///< The XMP packet of the first APP1 XMP segment.
  std::string photoshop;  ///< The image resources of every APP13 "Photoshop 3.0" segment.
  /// A Photoshop segment could not be kept, so later ones are not kept either: the
  /// resources run on from one segment to the next.
  bool photoshop_full = false;
  /// Likewise for EXIF segments.
  bool exif_full = false;
};

/// The bytes a walk reads of a segment before it can tell whether the segment is kept.
inline constexpr std::size_t kMetadataSignatureBytes = 29;

/// Where a walk over a JPEG header keeps the segment with marker `code` and `size` bytes of
/// payload, whose first bytes are `head` (min(size, kMetadataSignatureBytes) of them): the
/// string of `segments` to append the payload to, with `*signature` set to how many bytes of
/// `head` are left out. Null when the segment carries no metadata or one of its kind is
/// already kept. The walk of ReadJpegMetadataSegments and the header walk of comread.h both
/// decide through it.
std::string* MetadataSegmentKeeper(JpegMetadataSegments& segments, int code,
                                   std::string_view head, std::size_t size,
                                   std::size_t* signature);

/// Walks the header of the JPEG file at `path` and keeps its metadata segments. A file
/// that cannot be opened or is no JPEG file gives empty segments.
JpegMetadataSegments ReadJpegMetadataSegments(const std::filesystem::path& path);

/// What a picture's metadata say.
struct PictureMetadata {
  ExifInfo exif;
  std::string xmp_description;  ///< See XmpDescriptionOf.
  std::string iptc_caption;     ///< See IptcCaptionOf.
};

/// Reads the metadata of the JPEG picture at `path`; everything is empty or unknown for a
/// picture without them.
PictureMetadata ReadJpegMetadata(const std::filesystem::path& path);

/// The same from segments already read.
PictureMetadata ParseJpegMetadata(const JpegMetadataSegments& segments);

}  // namespace pix
