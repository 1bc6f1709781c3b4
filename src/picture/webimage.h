// Full-colour web images: inline images in JPEG or WebP, and the web-sized copies of
// pictures that detail pages show.
//
// A web image is made from the picture decoded in RGB (a JPEG picture through libjpeg's DCT
// scaling, at the smallest scale that still covers the wanted size, so a large photograph
// is never decoded whole; a GIF picture from its first image on its screen), reduced to the
// wanted size in linear light (sRGB's curve undone, the light of the input pixels weighed
// by a Lanczos filter stretched over the area each output pixel covers, the curve applied
// again, so that fine detail neither aliases nor darkens), turned upright by its EXIF
// orientation, and written as JPEG or WebP at the quality asked for. Of the picture's
// metadata only its colour profile is carried over: no EXIF, no GPS position, no comment.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/safefile.h"
#include "base/status.h"
#include "picture/decjpeg.h"
#include "picture/orientation.h"

namespace pix {

class FileBytesObserver;  // picture/decjpeg.h

/// The kinds of file an inline image may be.
enum class WebImageFormat { kGif, kJpeg, kWebP };

/// The format an image file's extension names: ".jpg", ".jpeg" and ".jpe" are JPEG, ".webp"
/// is WebP, and anything else is GIF (in any case).
WebImageFormat WebImageFormatOf(const std::filesystem::path& path);

/// Decodes the first image of the GIF file `path` onto its logical screen, white where the
/// image does not reach or is transparent.
Result<RgbPicture> DecodeGifToRgb(const std::filesystem::path& path);

/// `picture` brought to `width` x `height` in linear light (sRGB's transfer curve undone
/// before filtering and applied again after) with a Lanczos filter of three lobes, stretched
/// over the input pixels each output pixel covers when reducing. The colour profile is kept.
RgbPicture ResampleInLinearLight(const RgbPicture& picture, int width, int height);

/// `picture` turned as `orientation` says, so that it stands upright.
RgbPicture TurnUpright(const RgbPicture& picture, Orientation orientation);

/// What MakeWebImage makes.
struct WebImageRequest {
  std::filesystem::path source;  ///< The picture: a JPEG file, or else a GIF file.
  bool source_is_jpeg = true;
  std::filesystem::path target;  ///< Where the web image goes.
  WebImageFormat format = WebImageFormat::kJpeg;  ///< kJpeg or kWebP.
  int width = 0;  ///< Of the upright picture.
  int height = 0;
  int quality = 82;  ///< 1 to 100.
  Orientation orientation = Orientation::kNormal;  ///< How the source is stored.
  /// When set, called with the finished and checked web image just before it replaces the
  /// target; when it fails, the target stays as it was and its status is the request's.
  BeforeReplace before_replace;
};

/// Makes the web image `request` describes. The target is replaced only by a complete file
/// that reads back with the wanted size; on failure an earlier file stays as it was.
Status MakeWebImage(const WebImageRequest& request);

/// Whether, among images made from one decode, one of `width` x `height` is reduced from
/// the pixels of a larger one of `larger_width` x `larger_height` (MakeWebImages): when that
/// one is at least twice its size each way.
bool IsReducedFrom(int larger_width, int larger_height, int width, int height);

/// Makes several web images of one picture (an inline image and a detail image, say) from
/// one decode: every request names the same source, kind and orientation. A JPEG picture
/// is decoded at the scale the largest image needs, since reading its compressed data costs
/// about as much at every scale. The largest image is reduced from the decoded pixels, and
/// a smaller one from the pixels of the smallest larger image it IsReducedFrom, else from
/// the decoded pixels too. An image of the decoded picture's own size is that picture.
/// Returns one status for each request, in their order; each target is replaced as
/// MakeWebImage replaces it, so one image failing leaves the others made.
///
/// `damages`, when given, receives one text for each request, in their order: libjpeg's
/// first warning about damaged data in the picture (such as "Premature end of JPEG file")
/// for a request the decoded picture went to, though damaged, since its image is made all
/// the same. It is empty when the decode was clean, for a GIF picture, and for a request
/// no decoded picture went to (a refused size, a picture that could not be decoded).
///
/// `source_bytes`, when given, sees every byte of a JPEG source as it is decoded
/// (FileBytesObserver); it is not called for a GIF source or when nothing is decoded.
std::vector<Status> MakeWebImages(const std::vector<WebImageRequest>& requests,
                                  std::vector<std::string>* damages = nullptr,
                                  FileBytesObserver* source_bytes = nullptr);

/// The width and height of an image file of any inline format (by its extension); both 0
/// and a failure when it cannot be read.
Status GetWebImageSize(const std::filesystem::path& path, int* width, int* height);

}  // namespace pix
