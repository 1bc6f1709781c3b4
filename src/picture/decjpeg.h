// Decoding JPEG pictures with libjpeg, and encoding them.
//
// Pictures are decoded either into RGB (DecodeJpegToRgb) or straight into at most 256
// colours with the library's two-pass quantizer and Floyd-Steinberg dithering
// (DecodeJpegToPalette; a grey picture keeps its grey levels through a grey ramp). Both
// use libjpeg's DCT scaling when asked for a size: the picture is decoded at the smallest
// scale M/8 whose size still covers it, which spares most of the decoding work; a picture
// smaller than that size is decoded at full size. CMYK and YCCK pictures are converted to
// RGB.
//
// A damaged picture never ends the program. Data the library cannot decode at all makes the
// operation fail, with the library's message in the failure and on the detail sink. Damage
// it can decode around (a file cut short, stray bytes between segments) only makes it warn:
// the damaged area is filled in, the picture is decoded, and the first warning goes to the
// detail sink and, when asked, back to the caller, so that a damaged picture is reported
// rather than quietly shown.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "picture/palette.h"

namespace pix {

/// The most pixels (width x height of the frame header) a picture may declare: 2^28, about
/// 268 million, so that every real photograph of up to 200 megapixels converts while a tiny
/// damaged file that claims 65500 x 65500 pixels is refused before anything is decoded.
inline constexpr long long kMaxJpegPicturePixels = 1LL << 28;

/// Sees the bytes of a picture's file as a decoding reads them, so that what needs the whole
/// file (its digests) is made from the same read, and from exactly the bytes decoded: every
/// byte once, in order from the first; once the decoding is done, whether it succeeded or
/// not, the rest of the file it did not need (a progressive picture decoded at a small
/// scale is read only to its first scans); then End.
class FileBytesObserver {
 public:
  virtual ~FileBytesObserver() = default;
  virtual void Bytes(const std::uint8_t* data, std::size_t size) = 0;
  /// Called once, last; `whole` is false when the file could not be read to its end (or
  /// not opened), and the bytes given are then not the file's.
  virtual void End(bool whole) = 0;
};

/// The smallest M (1 to 8) for which a picture of `ImageWidth` x `ImageHeight` decoded at
/// scale M/8 (each side rounded up, as libjpeg does) is at least `MinWidth` x `MinHeight`;
/// 8 when even the full size is smaller.
int ChooseDctScaleEighths(int image_width, int image_height, int min_width, int min_height);

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
/// given, receives the library's first warning about damaged data, such as
/// "Premature end of JPEG file"; empty for a clean decode. `file_bytes`, when given, sees
/// every byte of the file (FileBytesObserver).
Result<RgbPicture> DecodeJpegToRgb(const std::filesystem::path& jpeg_file, int fit_width,
                                    int fit_height, std::string* damage = nullptr,
                                    FileBytesObserver* file_bytes = nullptr);

/// Takes a picture's RGB rows as they are decoded (DecodeJpegRows), so that the picture is
/// never held whole.
class RgbRowSink {
 public:
  virtual ~RgbRowSink() = default;
  /// The bytes the sink will hold while it takes a picture of `width` x `height` pixels,
  /// which the decoding counts against the memory budget of pictures decoded at once.
  virtual std::uint64_t MemoryFor(int width, int height) = 0;
  /// Called once before the first row with the decoded size and the colour profile.
  virtual void Begin(int width, int height, const std::vector<std::uint8_t>& icc_profile) = 0;
  /// One row of `width` RGB pixels, three bytes each; the top row first.
  virtual void Row(const std::uint8_t* pixels) = 0;
};

/// A sink that keeps the rows whole, in `picture`.
class CollectRgbRows : public RgbRowSink {
 public:
  explicit CollectRgbRows(RgbPicture& picture) : picture_(picture) {}
  std::uint64_t MemoryFor(int width, int height) override;
  void Begin(int width, int height, const std::vector<std::uint8_t>& icc_profile) override;
  void Row(const std::uint8_t* pixels) override;

 private:
  RgbPicture& picture_;
  std::uint8_t* next_ = nullptr;
};

/// Decodes as DecodeJpegToRgb does, handing the rows to `sink` as they come. The memory the
/// sink names and the decoder's own whole-picture buffers are held against one budget
/// shared by every thread: a decoding waits while others hold it (unless nothing does).
/// The sink may have had rows when the decoding fails.
Status DecodeJpegRows(const std::filesystem::path& jpeg_file, int fit_width, int fit_height,
                      RgbRowSink& sink, std::string* damage = nullptr,
                      FileBytesObserver* file_bytes = nullptr);

/// Decodes the JPEG picture `jpeg_file` into palette indices with the library's two-pass
/// quantizer, as it is stored (not turned upright), at the smallest scale M/8 whose size
/// still covers `fit_width` x `fit_height`; with either of them 0, at full size. A grey
/// picture gets a ramp of 256 grey levels as its palette. `damage` and `file_bytes` as for
/// DecodeJpegToRgb.
Result<IndexedPicture> DecodeJpegToPalette(const std::filesystem::path& jpeg_file, int fit_width,
                                           int fit_height, std::string* damage = nullptr,
                                           FileBytesObserver* file_bytes = nullptr);

/// Writes `Picture` to `out` as a JPEG stream of quality `Quality` (1 to 100) with optimised
/// Huffman tables, progressive when it is larger than a thumbnail, carrying its colour
/// profile and no other metadata. `name` names the file in messages.
Status EncodeJpegRgb(const RgbPicture& picture, int quality, std::FILE* out,
                     const std::filesystem::path& name);

/// The memory a JpegRowEncoder of an image of `width` x `height` pixels holds: the
/// coefficients of the whole image.
std::uint64_t JpegEncoderMemory(int width, int height);

/// Encodes an image into memory row by row, with the settings and bytes of EncodeJpegRgb.
/// The first failure is kept: later rows are ignored and Finish returns it.
class JpegRowEncoder {
 public:
  JpegRowEncoder();
  ~JpegRowEncoder();
  JpegRowEncoder(const JpegRowEncoder&) = delete;
  JpegRowEncoder& operator=(const JpegRowEncoder&) = delete;

  /// Starts an image of `width` x `height` pixels at `quality` (1 to 100) carrying
  /// `icc_profile`; `name` names the file in messages.
  Status Start(int width, int height, int quality, const std::vector<std::uint8_t>& icc_profile,
               const std::filesystem::path& name);
  /// The next row of `width` RGB pixels.
  void Row(const std::uint8_t* pixels);
  /// The JPEG stream, once every row has been given.
  Result<std::vector<std::uint8_t>> Finish();

 private:
  struct Compressor;
  struct CompressorDeleter {
    void operator()(Compressor* compressor) const;
  };
  std::unique_ptr<Compressor, CompressorDeleter> compressor_;
  Status status_;
  std::filesystem::path name_;
};

/// Work the calling thread does, instead of waiting idle, while one of its decoders waits
/// for its share of the memory that decoders of large progressive pictures share (see
/// DecodeJpegRows): a pool of workers sets it to doing a small picture nobody has started.
/// It is given the room left: the most whole-picture buffers (WholePictureMemoryOf) a
/// picture may need to be decoded now without waiting in turn. It returns false when it
/// found nothing to do; the decoder then waits. While it runs, no further work is nested:
/// a decoder of that work that must wait, waits. The scope sets it for the calling thread
/// and puts the one before back when it ends.
class DecodeWaitWork {
 public:
  using Work = std::function<bool(std::uint64_t room)>;
  explicit DecodeWaitWork(Work work);
  ~DecodeWaitWork();
  DecodeWaitWork(const DecodeWaitWork&) = delete;
  DecodeWaitWork& operator=(const DecodeWaitWork&) = delete;

 private:
  Work work_;
  const Work* before_;
};

/// The bytes of whole-picture buffers a decoder of the JPEG picture `jpeg_file` holds: its
/// coefficients when it is progressive, 0 when it is decoded a band at a time or cannot be
/// read. Reads the header only.
std::uint64_t WholePictureMemoryOf(const std::filesystem::path& jpeg_file);

/// The memory that decoders and encoders of large pictures handed back and that waits,
/// already backed by the system, for the next one: with what they still hold, at most the
/// 96 MB they share, and never more than they held at once before.
std::uint64_t SpareDecodingMemory();

/// Gives the SpareDecodingMemory back to the system; a run calls it once its pictures are
/// done, so that a long-lived window does not keep it.
void ReleaseSpareDecodingMemory();

/// Makes every thread of the process allocate from one heap, so that the large buffers
/// one decoder frees are reused by the next instead of being kept per thread. Called once
/// before the threads that decode are started (later calls do nothing).
void PrepareMemoryForDecoding();

}  // namespace pix
