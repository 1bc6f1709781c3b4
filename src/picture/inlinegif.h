// Turning a JPEG picture into its inline image: a GIF file of the display size.
//
// The picture is decoded with libjpeg at the smallest DCT scale that still covers the
// display size (at full size when it is smaller), reduced to the display size by dropping
// pixels and lines (or enlarged by replicating them), turned upright, and written as a
// non-interlaced GIF87a file with one global colour map. The pixels dropped and repeated are
// those the GIF resizer picks, so a JPEG picture and a GIF picture of the same size are
// reduced alike.
//
// Its colours come down to at most 256 in one of two ways (InlinePalette): the library's
// two-pass quantizer with Floyd-Steinberg dithering over the decoded picture, before the
// reduction, or a median cut of the reduced picture itself, which only looks at the pixels
// that are shown and costs a small part of the decoding. Nothing in between is encoded: the
// decoded picture stays in memory until the inline image is written.
//
// Data the decoder can decode around (a file cut short) gives an image all the same, with
// the library's first warning handed back; anything else fails and leaves an existing inline
// image as it was.
#pragma once

#include <filesystem>
#include <string>

#include "base/safefile.h"
#include "base/status.h"
#include "files/settings.h"
#include "picture/orientation.h"

namespace pix {

class FileBytesObserver;  // picture/decjpeg.h

/// How MakeJpegInlineImage reduces the picture while decoding it.
enum class DecodeReduction {
  kDctScaling,  ///< Decode at the smallest M/8 that still covers the display size.
  kFullSize,    ///< Decode every pixel (slower; kept to compare against).
};

struct InlineGifOptions {
  /// How the stored picture is turned upright. The display size is that of the upright
  /// picture, so for the orientations that swap sides the stored picture is reduced to
  /// display height x display width and then turned.
  Orientation orientation = Orientation::kNormal;
  InlinePalette palette = InlinePalette::kDither;
  DecodeReduction reduction = DecodeReduction::kDctScaling;
  /// Called with the finished inline image just before it replaces the old one; when it
  /// fails, nothing is replaced and its status is returned.
  BeforeReplace before_replace;
  /// Receives the library's first warning about damaged data in the picture (such as
  /// "Premature end of JPEG file"); empty when it decoded cleanly or not at all.
  std::string* damage = nullptr;
  /// Sees every byte of the picture's file as it is decoded (FileBytesObserver).
  FileBytesObserver* file_bytes = nullptr;
};

/// Makes the inline image `inline_file` (a GIF file of `display_width` x `display_height`)
/// from the JPEG picture `jpeg_file`. On failure an existing inline image stays as it was.
Status MakeJpegInlineImage(const std::filesystem::path& jpeg_file,
                           const std::filesystem::path& inline_file, int display_width,
                           int display_height, const InlineGifOptions& options = {});

}  // namespace pix
