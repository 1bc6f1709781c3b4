// Turning a JPEG picture into its inline image.
//
// The picture is decoded with libjpeg into a GIF file, its colours reduced to at most 256
// by the library's two-pass quantizer with Floyd-Steinberg dithering (a grey picture keeps
// its grey levels through a grey ramp), and that GIF is then resized to the display size by
// the GIF resizer. Every inline image is therefore a non-interlaced GIF87a file made by
// pixel replication or dropping from a 256-colour picture.
//
// To spare most of the decoding work, the decoder uses libjpeg's DCT scaling: it decodes at
// the smallest scale M/8 whose size still covers the display size in both directions, so
// that the resize only drops pixels. A picture smaller than the display box is decoded at
// full size and enlarged by the resizer. CMYK and YCCK pictures are converted to RGB.
//
// A damaged picture never ends the program. Data the library cannot decode at all makes the
// operation fail, leaving any earlier output untouched, with the library's message in the
// failure and on the detail sink. Damage it can decode around (a file cut short, stray
// bytes between segments) only makes it warn: the damaged area is filled in, the image is
// made, and the first warning goes to the detail sink and, when asked, back to the caller,
// so that a damaged picture is reported rather than quietly shown.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/safefile.h"
#include "base/status.h"
#include "picture/orientation.h"

namespace pix {

/// The most pixels (width x height of the frame header) a picture may declare: 2^28, about
/// 268 million, so that every real photograph of up to 200 megapixels converts while a tiny
/// damaged file that claims 65500 x 65500 pixels is refused before anything is decoded.
inline constexpr long long kMaxJpegPicturePixels = 1LL << 28;

/// The only output format: a GIF file.
inline constexpr int kDecodeOutputGif = 1;

/// What DecodeJpeg returns when the library warned about damaged data (the damaged area is
/// filled in); 0 means a clean decode.
inline constexpr int kDecodeHadWarnings = 2;

/// One decode request.
struct DecodeJpegParams {
  std::filesystem::path input_file_name;   ///< The JPEG picture.
  std::filesystem::path output_file_name;  ///< The GIF file to write.
  unsigned scale_numerator = 1;           ///< The decoder's scale, as libjpeg takes it.
  unsigned scale_denominator = 1;
  int output_format = kDecodeOutputGif;
  /// When both are above 0 the scale above is ignored and chosen once the header is read:
  /// the smallest M/8 at which the decoded picture still covers FitWidth x FitHeight.
  int fit_width = 0;
  int fit_height = 0;
};

/// Decodes a JPEG picture into a GIF file of the decoded size. Returns 0, or
/// kDecodeHadWarnings when the library warned about damaged data. The output replaces an
/// existing file only when it is complete.
Result<int> DecodeJpeg(const DecodeJpegParams& params);

/// The smallest M (1 to 8) for which a picture of `ImageWidth` x `ImageHeight` decoded at
/// scale M/8 (each side rounded up, as libjpeg does) is at least `MinWidth` x `MinHeight`;
/// 8 when even the full size is smaller.
int ChooseDctScaleEighths(int image_width, int image_height, int min_width, int min_height);

/// How MakeJpegInlineImage reduces the picture while decoding it.
enum class DecodeReduction {
  kDctScaling,  ///< Decode at the smallest M/8 that still covers the display size.
  kFullSize,    ///< Decode every pixel (slower; kept to compare against).
};

/// Makes the inline image `inline_file` (a GIF file of `DisplayWidth` x `DisplayHeight`)
/// from the JPEG picture `jpeg_file`. The intermediate GIF is a temporary file beside the
/// inline image that is always removed; on failure an existing inline image stays as it was.
/// `Orientation` says how the stored picture is turned upright; the display size is that of
/// the upright picture, so for the orientations that swap sides the stored picture is
/// reduced to `DisplayHeight` x `DisplayWidth` and then turned.
///
/// `beforeReplace`, when set, is called with the finished inline image just before it
/// replaces `inline_file`; when it fails, nothing is replaced and its status is returned.
/// `damage`, when given, receives the library's first warning about damaged data in
/// `jpeg_file` (such as "Premature end of JPEG file"); it is empty when the picture
/// decoded cleanly or could not be decoded at all. A warning does not make the call fail.
Status MakeJpegInlineImage(const std::filesystem::path& jpeg_file,
                           const std::filesystem::path& inline_file, int display_width,
                           int display_height,
                           DecodeReduction reduction = DecodeReduction::kDctScaling,
                           Orientation orientation = Orientation::kNormal,
                           const BeforeReplace& before_replace = {}, std::string* damage = nullptr);

/// A picture's pixels as RGB, three bytes a pixel, top line first, with the colour profile
/// it carried (the ICC bytes; empty when it had none).
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
  std::vector<std::uint8_t> icc_profile;
};

/// The most pixels DecodeJpegToRgb hands back: a decode that would give more (a huge
/// picture asked for at full size) is refused rather than take gigabytes.
inline constexpr long long kMaxRgbPicturePixels = 64LL * 1024 * 1024;

/// Decodes the JPEG picture `jpeg_file` into RGB, as it is stored (not turned upright), at
/// the smallest scale M/8 whose size still covers `FitWidth` x `FitHeight`; with either of
/// them 0, at full size. Grey pictures become grey RGB; CMYK and YCCK pictures are
/// converted. Only the colour profile is kept of the picture's metadata. `damage`, when
/// given, receives the library's first warning about damaged data, as MakeJpegInlineImage
/// gives it; empty for a clean decode.
Result<RgbPicture> DecodeJpegToRgb(const std::filesystem::path& jpeg_file, int fit_width,
                                    int fit_height, std::string* damage = nullptr);

/// Writes `Picture` to `out` as a JPEG stream of quality `Quality` (1 to 100) with optimised
/// Huffman tables, progressive when it is larger than a thumbnail, carrying its colour
/// profile and no other metadata. `name` names the file in messages.
Status EncodeJpegRgb(const RgbPicture& picture, int quality, std::FILE* out,
                     const std::filesystem::path& name);

/// Makes every thread of the process allocate from one heap, so that the large buffers
/// one decoder frees are reused by the next instead of being kept per thread. Called once
/// before the threads that decode are started (later calls do nothing).
void PrepareMemoryForDecoding();

}  // namespace pix
