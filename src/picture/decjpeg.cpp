#include "picture/decjpeg.h"

#include <malloc.h>

#include <condition_variable>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
// jpeglib.h needs the declarations of <cstdio> before it.
#include <jpeglib.h>

#include "base/diagnostics.h"
#include "base/safefile.h"
#include "base/safereplace.h"
#include "picture/gifio.h"
#include "picture/gifrsize.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

// The GIF output stage raises its own error through the library, so that it is reported
// like the library's own messages.
constexpr int kMsgGifGrayOrRgbOnly = 1014;
const char* const kOutputStageMessages[] = {"GIF output must be grayscale or RGB"};

// The most memory one decoder may take. Larger pictures (or damaged headers claiming huge
// sizes) fail with the library's "insufficient memory" message instead of exhausting RAM.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

// The largest CMYK picture that is converted to RGB in memory.
constexpr std::uint64_t kMaxConvertedPixels = 64ULL * 1024 * 1024;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, FileCloser>;

// ---------------------------------------------------------------------------------------
// The error manager and the one place where libjpeg's longjmp lands.

struct TJpegErrorManager {
  jpeg_error_mgr Pub;  // First, so that the library's pointer to it reaches the rest.
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];       // The fatal error, for the failure the caller gets.
  char FirstWarning[JMSG_LENGTH_MAX];  // What the first warning said; empty while clean.
};

TJpegErrorManager& ErrorManagerOf(j_common_ptr info) {
  return *reinterpret_cast<TJpegErrorManager*>(info->err);
}

// Passes the library's fatal error on as a detail line and keeps the text for the failure
// the caller gets.
void PrintLibraryMessage(j_common_ptr info) {
  TJpegErrorManager& err = ErrorManagerOf(info);
  (*info->err->format_message)(info, err.Message);
  ReportDetail(err.Message);
}

// The library's warnings (level -1) and trace messages come here. A warning means damaged
// data, whose area the library fills in before it goes on; the first one becomes a detail
// line, as with the library's own handler, and its text is kept so that the caller can
// report the damaged picture. Trace messages are not wanted.
void NoteLibraryMessage(j_common_ptr info, int level) {
  if (level >= 0) return;
  TJpegErrorManager& err = ErrorManagerOf(info);
  if (err.Pub.num_warnings == 0) {
    (*info->err->format_message)(info, err.FirstWarning);
    ReportDetail(err.FirstWarning);
  }
  ++err.Pub.num_warnings;
}

[[noreturn]] void LeaveOnFatalError(j_common_ptr info) {
  (*info->err->output_message)(info);
  std::longjmp(ErrorManagerOf(info).Jump, 1);
}

jpeg_error_mgr* SetUpErrorManager(TJpegErrorManager& err) {
  jpeg_error_mgr* pub = jpeg_std_error(&err.Pub);
  pub->error_exit = LeaveOnFatalError;
  pub->output_message = PrintLibraryMessage;
  pub->emit_message = NoteLibraryMessage;
  pub->addon_message_table = kOutputStageMessages;
  pub->first_addon_message = kMsgGifGrayOrRgbOnly;
  pub->last_addon_message = kMsgGifGrayOrRgbOnly;
  err.Message[0] = '\0';
  err.FirstWarning[0] = '\0';
  return pub;
}

// Runs one step of libjpeg work. A fatal library error jumps back here and makes the call
// return false; the step functions hold no object with a destructor, so nothing is skipped
// that would need cleaning up. Every libjpeg call that can fail goes through here.
bool CallJpeg(TJpegErrorManager& err, void (*step)(void*), void* context) {
  if (setjmp(err.Jump) != 0) return false;
  step(context);
  return true;
}

// ---------------------------------------------------------------------------------------
// Owned decompressor and compressor.

struct TJpegDecompressor {
  jpeg_decompress_struct Info;
  TJpegErrorManager Err;
};
struct TJpegDecompressorDeleter {
  void operator()(TJpegDecompressor* d) const {
    jpeg_destroy_decompress(&d->Info);  // Safe on a half-created object: it checks `mem`.
    delete d;
  }
};
using TDecompressorPtr = std::unique_ptr<TJpegDecompressor, TJpegDecompressorDeleter>;

// A destination that collects the compressed bytes in memory.
struct TJpegCompressor {
  jpeg_compress_struct Info;
  TJpegErrorManager Err;
  jpeg_destination_mgr Destination;
  std::vector<JOCTET> Bytes;
};
struct TJpegCompressorDeleter {
  void operator()(TJpegCompressor* c) const {
    jpeg_destroy_compress(&c->Info);
    delete c;
  }
};
using TCompressorPtr = std::unique_ptr<TJpegCompressor, TJpegCompressorDeleter>;

Status LibraryFailure(const TJpegErrorManager& err, const fs::path& name) {
  return Status::Corrupt(name.string() + ": " + err.Message);
}

Result<TDecompressorPtr> NewDecompressor(const fs::path& name) {
  TDecompressorPtr d(new TJpegDecompressor{});
  d->Info.err = SetUpErrorManager(d->Err);
  if (!CallJpeg(
          d->Err, [](void* c) { jpeg_create_decompress(static_cast<j_decompress_ptr>(c)); },
          &d->Info)) {
    return LibraryFailure(d->Err, name);
  }
  d->Info.mem->max_memory_to_use = kMaxDecoderMemory;
  return d;
}

// Reads a COM segment and drops its text: comments play no part in the inline image.
boolean DropComment(j_decompress_ptr info) {
  jpeg_source_mgr* source = info->src;
  long length = 0;
  for (int i = 0; i < 2; ++i) {
    if (source->bytes_in_buffer == 0 && !(*source->fill_input_buffer)(info)) return FALSE;
    length = length * 256 + *source->next_input_byte++;
    --source->bytes_in_buffer;
  }
  if (length > 2) (*source->skip_input_data)(info, length - 2);
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Decoding steps, each run through CallJpeg.

void ReadHeaderStep(void* context) {
  auto* info = static_cast<j_decompress_ptr>(context);
  jpeg_set_marker_processor(info, JPEG_COM, DropComment);
  jpeg_read_header(info, TRUE);
}

// The GIF output stage: grey or RGB only; colour (and samples of more than 8 bits) goes
// through the quantizer, limited to 256 colours; then the output size is fixed.
void SetUpGifOutputStep(void* context) {
  auto* info = static_cast<j_decompress_ptr>(context);
  if (info->out_color_space != JCS_GRAYSCALE && info->out_color_space != JCS_RGB) {
    info->err->msg_code = kMsgGifGrayOrRgbOnly;
    (*info->err->error_exit)(reinterpret_cast<j_common_ptr>(info));
  }
  if (info->out_color_space != JCS_GRAYSCALE || info->data_precision > 8) {
    info->quantize_colors = TRUE;
    if (info->desired_number_of_colors > 256) info->desired_number_of_colors = 256;
  }
  jpeg_calc_output_dimensions(info);
}

void StartStep(void* context) { jpeg_start_decompress(static_cast<j_decompress_ptr>(context)); }
void FinishStep(void* context) { jpeg_finish_decompress(static_cast<j_decompress_ptr>(context)); }

// At the smallest DCT scale a block of the picture becomes one pixel, or two by two for
// subsampled colour: the decoder uses only the lowest coefficients of each block. A
// progressive file sends those early (the DC coefficients of every block first, the lowest
// AC coefficients of each component soon after) and spends most of its bytes and nearly
// all of the decoding time on later scans of detail such a pixel cannot show, so the
// decoding stops once the coefficients it uses have come in. They may still lack their
// last bit, which moves a pixel by a fraction of a level.
bool DecodesFirstScansOnly(const jpeg_decompress_struct& info) {
  return info.progressive_mode && info.min_DCT_scaled_size == 1;
}

// True once every coefficient the scaled decoder uses has its first pass: the DC
// coefficient of a block decoded to one pixel; every coefficient of one decoded to two by
// two (subsampled colour), whose reduced transform reads the odd frequencies up to the
// highest. `coef_bits` is -1 for a coefficient no scan has sent yet.
bool HoldsUsedCoefficients(const jpeg_decompress_struct& info) {
  for (int c = 0; c < info.num_components; ++c) {
    const int* bits = info.coef_bits[c];
    const int used = info.comp_info[c].DCT_scaled_size > 1 ? DCTSIZE2 : 1;
    for (int k = 0; k < used; ++k) {
      if (bits[k] < 0) return false;
    }
  }
  return true;
}

// Starts the decoder on the first scans of the picture (see DecodesFirstScansOnly), in
// buffered-image mode: input is taken up to the end of the scan that completes the DC
// coefficients (or the end of the file), and output starts from what it holds.
void StartFirstScansStep(void* context) {
  auto* info = static_cast<j_decompress_ptr>(context);
  info->buffered_image = TRUE;
  info->do_block_smoothing = FALSE;
  info->enable_2pass_quant = info->quantize_colors && info->two_pass_quantize;
  jpeg_start_decompress(info);
  for (;;) {
    const int got = jpeg_consume_input(info);
    if (got == JPEG_REACHED_EOI || got == JPEG_SUSPENDED) break;
    if (got == JPEG_SCAN_COMPLETED && HoldsUsedCoefficients(*info)) break;
  }
  jpeg_start_output(info, info->input_scan_number);
}

// The end of a decoding started by StartFirstScansStep: the rest of the file is not read.
void FinishFirstScansStep(void* context) {
  auto* info = static_cast<j_decompress_ptr>(context);
  jpeg_finish_output(info);
  jpeg_abort_decompress(info);
}

// Starts the decoder, on the first scans only where they are all that is needed.
bool StartDecoding(TJpegDecompressor& d) {
  return CallJpeg(d.Err, DecodesFirstScansOnly(d.Info) ? StartFirstScansStep : StartStep,
                  &d.Info);
}

// Ends a decoding begun by StartDecoding.
bool FinishDecoding(TJpegDecompressor& d) {
  return CallJpeg(d.Err, d.Info.buffered_image ? FinishFirstScansStep : FinishStep, &d.Info);
}

struct TReadRow {
  j_decompress_ptr Info;
  JSAMPROW Row;
};
void ReadRowStep(void* context) {
  auto* read = static_cast<TReadRow*>(context);
  jpeg_read_scanlines(read->Info, &read->Row, 1);
}

// How the decoder scales: a fixed numerator and denominator, or fitted to a size.
struct TScaleRequest {
  unsigned Numerator = 1;
  unsigned Denominator = 1;
  int FitWidth = 0;
  int FitHeight = 0;
};

void ApplyScale(jpeg_decompress_struct& info, const TScaleRequest& scale) {
  if (scale.FitWidth > 0 && scale.FitHeight > 0) {
    info.scale_num = static_cast<unsigned>(ChooseDctScaleEighths(
        static_cast<int>(info.image_width), static_cast<int>(info.image_height), scale.FitWidth,
        scale.FitHeight));
    info.scale_denom = 8;
  } else {
    info.scale_num = scale.Numerator;
    info.scale_denom = scale.Denominator;
  }
}

struct TGifMapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// The global colour map of the output: the quantizer's palette, or a ramp of 256 grey
// levels, padded with black to a power of two.
std::unique_ptr<ColorMapObject, TGifMapDeleter> MakeOutputColorMap(
    const jpeg_decompress_struct& info) {
  const bool quantized = info.quantize_colors;
  const int colors = quantized ? info.actual_number_of_colors : 256;
  const int entries = 1 << GifBitSize(colors < 2 ? 2 : colors);
  std::unique_ptr<ColorMapObject, TGifMapDeleter> map(GifMakeMapObject(entries, nullptr));
  if (!map) return map;
  for (int i = 0; i < entries; ++i) {
    GifColorType& c = map->Colors[i];
    if (i >= colors) {
      c.Red = c.Green = c.Blue = 0;
    } else if (!quantized) {
      c.Red = c.Green = c.Blue = static_cast<GifByteType>(i);
    } else if (info.out_color_components == 1) {
      c.Red = c.Green = c.Blue = info.colormap[0][i];
    } else {
      c.Red = info.colormap[0][i];
      c.Green = info.colormap[1][i];
      c.Blue = info.colormap[2][i];
    }
  }
  return map;
}

Result<int> DecodeCmykToGif(TJpegDecompressor& d, const TScaleRequest& scale, std::FILE* out,
                            const fs::path& name);

// The memory that pictures being decoded at the same time may hold in whole-picture buffers.
// A progressive picture keeps every DCT coefficient of the whole picture until its last
// scan (about 3 bytes a pixel, over 50 MB for a 24-megapixel photograph), whatever the
// output scale; several of them at once could pass any sensible limit. Decoders ask for
// their share first and wait while others hold it; a picture that alone needs more than
// the whole budget is decoded when nothing else holds any.
class TDecodeMemoryBudget {
 public:
  static constexpr std::uint64_t kBudget = 96ull << 20;

  static TDecodeMemoryBudget& Shared() {
    static TDecodeMemoryBudget budget;
    return budget;
  }

  void Acquire(std::uint64_t bytes) {
    std::unique_lock<std::mutex> lock(Mutex);
    Released.wait(lock, [&] { return Held == 0 || Held + bytes <= kBudget; });
    Held += bytes;
  }

  void Release(std::uint64_t bytes) {
    {
      std::lock_guard<std::mutex> lock(Mutex);
      Held -= bytes;
    }
    Released.notify_all();
  }

 private:
  std::mutex Mutex;
  std::condition_variable Released;
  std::uint64_t Held = 0;
};

// Holds a decoder's share of the budget for as long as the decoder runs.
class TDecodeMemoryShare {
 public:
  explicit TDecodeMemoryShare(std::uint64_t bytes) : Bytes(bytes) {
    if (Bytes > 0) TDecodeMemoryBudget::Shared().Acquire(Bytes);
  }
  ~TDecodeMemoryShare() {
    if (Bytes > 0) TDecodeMemoryBudget::Shared().Release(Bytes);
  }
  TDecodeMemoryShare(const TDecodeMemoryShare&) = delete;
  TDecodeMemoryShare& operator=(const TDecodeMemoryShare&) = delete;

 private:
  std::uint64_t Bytes;
};

// What the decoder of a picture whose header has been read keeps for the whole picture: the
// coefficients of every block when the picture is progressive (or otherwise needs more
// than one pass over its data), nothing worth counting when it is decoded a band at a time.
std::uint64_t WholePictureBuffers(const jpeg_decompress_struct& info) {
  if (!info.progressive_mode && !jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&info))) {
    return 0;
  }
  std::uint64_t bytes = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    bytes += static_cast<std::uint64_t>(component.width_in_blocks) * component.height_in_blocks *
             DCTSIZE2 * sizeof(JCOEF);
  }
  return bytes;
}

// Decodes the picture whose source is already attached to `d` and writes it as a GIF
// stream to `out`. Returns the warning outcome (0 or kDecodeHadWarnings).
Result<int> DecodeToGif(TJpegDecompressor& d, const TScaleRequest& scale, std::FILE* out,
                        const fs::path& name) {
  jpeg_decompress_struct& info = d.Info;
  if (!CallJpeg(d.Err, ReadHeaderStep, &info)) return LibraryFailure(d.Err, name);
  const long long pixels = static_cast<long long>(info.image_width) * info.image_height;
  if (pixels > kMaxJpegPicturePixels) {
    const std::string message = name.string() + ": the picture declares " +
                                std::to_string(info.image_width) + "x" +
                                std::to_string(info.image_height) + " pixels, more than the " +
                                std::to_string(kMaxJpegPicturePixels) + " a picture may have";
    ReportDetail(message);
    return Status::TooLarge(message);
  }
  if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
    return DecodeCmykToGif(d, scale, out, name);
  }
  ApplyScale(info, scale);
  const TDecodeMemoryShare share(WholePictureBuffers(info));
  if (!CallJpeg(d.Err, SetUpGifOutputStep, &info)) return LibraryFailure(d.Err, name);
  if (!StartDecoding(d)) return LibraryFailure(d.Err, name);
  if (info.output_components != 1) {
    return Status::Corrupt(name.string() + ": the decoder did not map the picture to colours");
  }
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);

  Result<TGifWriter> writer = TGifWriter::Open(out);
  if (!writer.ok()) return writer.status();
  GifFileType* gif = writer->Gif();
  auto map = MakeOutputColorMap(info);
  if (!map) return Status::TooLarge(name.string() + ": no memory for a colour map");
  if (EGifPutScreenDesc(gif, width, height, map->BitsPerPixel, 0, map.get()) == GIF_ERROR ||
      PutGifImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_ERROR) {
    PrintGifError(gif->Error);
    return Status::IoError("Cannot write the GIF image of " + name.string());
  }
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width));
  TReadRow read{&info, row.data()};
  while (info.output_scanline < info.output_height) {
    if (!CallJpeg(d.Err, ReadRowStep, &read)) return LibraryFailure(d.Err, name);
    if (EGifPutLine(gif, row.data(), width) == GIF_ERROR) {
      PrintGifError(gif->Error);
      return Status::IoError("Cannot write the GIF image of " + name.string());
    }
  }
  if (!FinishDecoding(d)) return LibraryFailure(d.Err, name);
  Status closed = writer->Close();
  if (!closed.ok()) return closed;
  return d.Err.Pub.num_warnings > 0 ? kDecodeHadWarnings : 0;
}

// ---------------------------------------------------------------------------------------
// CMYK and YCCK pictures. The library cannot turn them into RGB itself, so they are decoded
// as CMYK, converted here, and passed once more through the library as an RGB picture (a
// near-lossless JPEG in memory) so that they get the same quantizer as every other picture.

void InitDestination(j_compress_ptr info) {
  auto* c = reinterpret_cast<TJpegCompressor*>(info->client_data);
  c->Bytes.resize(1 << 16);
  info->dest->next_output_byte = c->Bytes.data();
  info->dest->free_in_buffer = c->Bytes.size();
}

boolean GrowDestination(j_compress_ptr info) {
  auto* c = reinterpret_cast<TJpegCompressor*>(info->client_data);
  const std::size_t used = c->Bytes.size();
  c->Bytes.resize(used * 2);  // Cannot throw in practice: the picture is at most 64 MP.
  info->dest->next_output_byte = c->Bytes.data() + used;
  info->dest->free_in_buffer = c->Bytes.size() - used;
  return TRUE;
}

void TermDestination(j_compress_ptr info) {
  auto* c = reinterpret_cast<TJpegCompressor*>(info->client_data);
  c->Bytes.resize(c->Bytes.size() - info->dest->free_in_buffer);
}

struct TEncodeRgb {
  j_compress_ptr Info;
  const std::vector<JSAMPLE>* Pixels;
  int Width;
  int Height;
};

void EncodeRgbStep(void* context) {
  auto* job = static_cast<TEncodeRgb*>(context);
  j_compress_ptr info = job->Info;
  info->image_width = static_cast<JDIMENSION>(job->Width);
  info->image_height = static_cast<JDIMENSION>(job->Height);
  info->input_components = 3;
  info->in_color_space = JCS_RGB;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, 100, TRUE);
  for (int i = 0; i < info->num_components; ++i) {
    info->comp_info[i].h_samp_factor = 1;  // No chroma subsampling: keep every colour.
    info->comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(info, TRUE);
  const std::size_t stride = static_cast<std::size_t>(job->Width) * 3;
  while (info->next_scanline < info->image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(job->Pixels->data()) + info->next_scanline * stride;
    jpeg_write_scanlines(info, &row, 1);
  }
  jpeg_finish_compress(info);
}

Result<std::vector<JOCTET>> EncodeRgbInMemory(const std::vector<JSAMPLE>& pixels, int width,
                                              int height, const fs::path& name) {
  TCompressorPtr c(new TJpegCompressor{});
  c->Info.err = SetUpErrorManager(c->Err);
  if (!CallJpeg(
          c->Err, [](void* info) { jpeg_create_compress(static_cast<j_compress_ptr>(info)); },
          &c->Info)) {
    return LibraryFailure(c->Err, name);
  }
  c->Info.client_data = c.get();
  c->Destination.init_destination = InitDestination;
  c->Destination.empty_output_buffer = GrowDestination;
  c->Destination.term_destination = TermDestination;
  c->Info.dest = &c->Destination;
  TEncodeRgb job{&c->Info, &pixels, width, height};
  if (!CallJpeg(c->Err, EncodeRgbStep, &job)) return LibraryFailure(c->Err, name);
  return std::move(c->Bytes);
}

// One decoded CMYK row as RGB. Adobe's programs store CMYK inverted (0 is full ink) and
// mark the file with an Adobe segment; plain CMYK counts ink up from 0.
void CmykRowToRgb(const JSAMPLE* cmyk, int width, bool inverted, JSAMPLE* target) {
  for (int x = 0; x < width; ++x) {
    const JSAMPLE* p = &cmyk[static_cast<std::size_t>(x) * 4];
    const int k = inverted ? p[3] : 255 - p[3];
    for (int channel = 0; channel < 3; ++channel) {
      const int ink = inverted ? p[channel] : 255 - p[channel];
      target[x * 3 + channel] = static_cast<JSAMPLE>((ink * k + 127) / 255);
    }
  }
}

Result<int> DecodeCmykToGif(TJpegDecompressor& d, const TScaleRequest& scale, std::FILE* out,
                            const fs::path& name) {
  jpeg_decompress_struct& info = d.Info;
  ApplyScale(info, scale);
  info.out_color_space = JCS_CMYK;  // The library turns YCCK into CMYK.
  const TDecodeMemoryShare share(WholePictureBuffers(info));
  if (!StartDecoding(d)) return LibraryFailure(d.Err, name);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) >
      kMaxConvertedPixels) {
    return Status::TooLarge(name.string() + ": the CMYK picture is too large to convert");
  }
  const bool inverted = info.saw_Adobe_marker;
  std::vector<JSAMPLE> cmyk(static_cast<std::size_t>(width) * 4);
  std::vector<JSAMPLE> rgb(static_cast<std::size_t>(width) * height * 3);
  TReadRow read{&info, cmyk.data()};
  while (info.output_scanline < info.output_height) {
    JSAMPLE* target = rgb.data() + static_cast<std::size_t>(info.output_scanline) * width * 3;
    if (!CallJpeg(d.Err, ReadRowStep, &read)) return LibraryFailure(d.Err, name);
    CmykRowToRgb(cmyk.data(), width, inverted, target);
  }
  if (!FinishDecoding(d)) return LibraryFailure(d.Err, name);
  const bool warned = d.Err.Pub.num_warnings > 0;

  Result<std::vector<JOCTET>> rgbJpeg = EncodeRgbInMemory(rgb, width, height, name);
  if (!rgbJpeg.ok()) return rgbJpeg.status();
  Result<TDecompressorPtr> again = NewDecompressor(name);
  if (!again.ok()) return again.status();
  jpeg_mem_src(&(*again)->Info, rgbJpeg->data(), static_cast<unsigned long>(rgbJpeg->size()));
  Result<int> decoded = DecodeToGif(**again, TScaleRequest{}, out, name);
  if (!decoded.ok()) return decoded;
  // An outcome with warnings always comes with their text: should the converted copy warn
  // where the picture itself did not, the copy's warning is handed on.
  if (!warned && *decoded == kDecodeHadWarnings) {
    std::memcpy(d.Err.FirstWarning, (*again)->Err.FirstWarning, sizeof d.Err.FirstWarning);
  }
  return warned ? kDecodeHadWarnings : *decoded;
}

// ---------------------------------------------------------------------------------------
// RGB decoding and JPEG encoding, for inline images and detail images in full colour.

void ReadHeaderKeepingProfileStep(void* context) {
  auto* info = static_cast<j_decompress_ptr>(context);
  jpeg_set_marker_processor(info, JPEG_COM, DropComment);
  // The colour profile lives in APP2 segments; nothing else of the metadata is kept.
  jpeg_save_markers(info, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(info, TRUE);
}

struct TReadProfile {
  j_decompress_ptr Info;
  std::vector<std::uint8_t>* Profile;
};
void ReadProfileStep(void* context) {
  auto* read = static_cast<TReadProfile*>(context);
  JOCTET* data = nullptr;
  unsigned int length = 0;
  if (jpeg_read_icc_profile(read->Info, &data, &length) && data != nullptr) {
    read->Profile->assign(data, data + length);
  }
  std::free(data);
}

void CalcOutputStep(void* context) {
  jpeg_calc_output_dimensions(static_cast<j_decompress_ptr>(context));
}

Result<TRgbPicture> DecodeOpenedToRgb(TJpegDecompressor& d, const TScaleRequest& scale,
                                      const fs::path& name) {
  jpeg_decompress_struct& info = d.Info;
  if (!CallJpeg(d.Err, ReadHeaderKeepingProfileStep, &info)) return LibraryFailure(d.Err, name);
  const long long pixels = static_cast<long long>(info.image_width) * info.image_height;
  if (pixels > kMaxJpegPicturePixels) {
    return Status::TooLarge(name.string() + ": the picture declares " +
                            std::to_string(info.image_width) + "x" +
                            std::to_string(info.image_height) + " pixels, more than the " +
                            std::to_string(kMaxJpegPicturePixels) + " a picture may have");
  }
  TRgbPicture picture;
  TReadProfile profile{&info, &picture.IccProfile};
  if (!CallJpeg(d.Err, ReadProfileStep, &profile)) return LibraryFailure(d.Err, name);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  // The library turns YCCK into CMYK, grey and YCbCr into RGB.
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  ApplyScale(info, scale);
  if (!CallJpeg(d.Err, CalcOutputStep, &info)) return LibraryFailure(d.Err, name);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  if (static_cast<long long>(width) * height > kMaxRgbPicturePixels) {
    return Status::TooLarge(name.string() + ": " + std::to_string(width) + "x" +
                            std::to_string(height) + " pixels are too many to convert");
  }
  const TDecodeMemoryShare share(WholePictureBuffers(info) +
                                 static_cast<std::uint64_t>(width) * height * 3);
  if (!StartDecoding(d)) return LibraryFailure(d.Err, name);
  picture.Width = width;
  picture.Height = height;
  picture.Pixels.resize(static_cast<std::size_t>(width) * height * 3);
  std::vector<JSAMPLE> cmykRow(cmyk ? static_cast<std::size_t>(width) * 4 : 0);
  while (info.output_scanline < info.output_height) {
    JSAMPLE* target =
        picture.Pixels.data() + static_cast<std::size_t>(info.output_scanline) * width * 3;
    TReadRow read{&info, cmyk ? cmykRow.data() : target};
    if (!CallJpeg(d.Err, ReadRowStep, &read)) return LibraryFailure(d.Err, name);
    if (cmyk) CmykRowToRgb(cmykRow.data(), width, info.saw_Adobe_marker, target);
  }
  if (!FinishDecoding(d)) return LibraryFailure(d.Err, name);
  // A profile for CMYK describes inks the RGB pixels no longer hold.
  if (cmyk) picture.IccProfile.clear();
  return picture;
}

struct TEncodePicture {
  j_compress_ptr Info;
  const TRgbPicture* Picture;
  int Quality;
};

void EncodePictureStep(void* context) {
  auto* job = static_cast<TEncodePicture*>(context);
  j_compress_ptr info = job->Info;
  const TRgbPicture& picture = *job->Picture;
  info->image_width = static_cast<JDIMENSION>(picture.Width);
  info->image_height = static_cast<JDIMENSION>(picture.Height);
  info->input_components = 3;
  info->in_color_space = JCS_RGB;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, job->Quality, TRUE);
  info->optimize_coding = TRUE;
  // Thumbnails keep their colour at full resolution: halving it costs a small picture's
  // edges more than the few bytes it saves.
  if (static_cast<long long>(picture.Width) * picture.Height <= 512LL * 512) {
    for (int i = 0; i < info->num_components; ++i) {
      info->comp_info[i].h_samp_factor = 1;
      info->comp_info[i].v_samp_factor = 1;
    }
  }
  // Progressive files are smaller and show early on a slow line, but only past the size of
  // a thumbnail.
  if (static_cast<long long>(picture.Width) * picture.Height > 300LL * 300) {
    jpeg_simple_progression(info);
  }
  jpeg_start_compress(info, TRUE);
  if (!picture.IccProfile.empty()) {
    jpeg_write_icc_profile(info, picture.IccProfile.data(),
                           static_cast<unsigned int>(picture.IccProfile.size()));
  }
  const std::size_t stride = static_cast<std::size_t>(picture.Width) * 3;
  while (info->next_scanline < info->image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(picture.Pixels.data()) + info->next_scanline * stride;
    jpeg_write_scanlines(info, &row, 1);
  }
  jpeg_finish_compress(info);
}

// Decodes the JPEG file `in` into a GIF stream on `out`. `damage`, when given, receives the
// library's first warning (empty for a clean decode).
Result<int> DecodeFileToGif(std::FILE* in, const TScaleRequest& scale, std::FILE* out,
                            const fs::path& name, std::string* damage = nullptr) {
  Result<TDecompressorPtr> d = NewDecompressor(name);
  if (!d.ok()) return d.status();
  jpeg_stdio_src(&(*d)->Info, in);
  Result<int> decoded = DecodeToGif(**d, scale, out, name);
  if (decoded.ok() && damage != nullptr) *damage = (*d)->Err.FirstWarning;
  return decoded;
}

}  // namespace

int ChooseDctScaleEighths(int ImageWidth, int ImageHeight, int MinWidth, int MinHeight) {
  for (int eighths = 1; eighths < 8; ++eighths) {
    const long long width = (static_cast<long long>(ImageWidth) * eighths + 7) / 8;
    const long long height = (static_cast<long long>(ImageHeight) * eighths + 7) / 8;
    if (width >= MinWidth && height >= MinHeight) return eighths;
  }
  return 8;
}

Result<int> DecodeJpeg(const TDecodeJpegParams& Params) {
  if (Params.OutputFormat != kDecodeOutputGif) {
    return Status::InvalidArgument("Unknown output format " + std::to_string(Params.OutputFormat));
  }
  const bool fitted = Params.FitWidth > 0 && Params.FitHeight > 0;
  if (!fitted && (Params.ScaleNumerator == 0 || Params.ScaleDenominator == 0)) {
    return Status::InvalidArgument("A decode scale needs a numerator and a denominator");
  }
  TFilePtr in(std::fopen(Params.InputFileName.c_str(), "rb"));
  if (!in) {
    const std::string why = std::strerror(errno);
    ReportDetail("Cannot open " + Params.InputFileName.string() + ": " + why);
    return Status::NotFound("Cannot open " + Params.InputFileName.string() + ": " + why);
  }
  const TScaleRequest scale{Params.ScaleNumerator, Params.ScaleDenominator, Params.FitWidth,
                            Params.FitHeight};
  bool outputCreated = false;
  int warnings = 0;
  Status written = ReplaceFileSafely(
      Params.OutputFileName,
      [&](std::FILE* out) -> Status {
        outputCreated = true;
        Result<int> decoded = DecodeFileToGif(in.get(), scale, out, Params.InputFileName);
        if (!decoded.ok()) return decoded.status();
        warnings = *decoded;
        return Status::OK();
      },
      [&](const fs::path& newFile) {
        int width = 0;
        int height = 0;
        return GetGifSize(&width, &height, newFile);
      });
  if (!written.ok()) {
    if (!outputCreated) {
      const int error = errno;
      ReportDetail("Error=" + std::to_string(error) + "," + std::strerror(error));
    }
    return written;
  }
  return warnings;
}

Status MakeJpegInlineImage(const fs::path& szJpegFile, const fs::path& szInlineFile,
                           int DisplayWidth, int DisplayHeight, TDecodeReduction Reduction,
                           TOrientation Orientation, const BeforeReplace& beforeReplace,
                           std::string* damage) {
  if (damage != nullptr) damage->clear();
  if (DisplayWidth < 1 || DisplayHeight < 1) {
    return Status::InvalidArgument("No inline image of " + std::to_string(DisplayWidth) + "x" +
                                   std::to_string(DisplayHeight) + " can be made for " +
                                   szJpegFile.string());
  }
  TFilePtr in(std::fopen(szJpegFile.c_str(), "rb"));
  if (!in) {
    return Status::NotFound("Cannot open " + szJpegFile.string() + ": " + std::strerror(errno));
  }
  TScaleRequest scale;
  if (Reduction == TDecodeReduction::DctScaling) {
    // The decoder works on the picture as it is stored.
    const bool swap = SwapsSides(Orientation);
    scale.FitWidth = swap ? DisplayHeight : DisplayWidth;
    scale.FitHeight = swap ? DisplayWidth : DisplayHeight;
  }
  // The decoded picture goes to a temporary file beside the inline image, which removes
  // itself when this function returns, whatever happened.
  Result<TempFileBeside> decoded = TempFileBeside::Create(szInlineFile);
  if (!decoded.ok()) return decoded.status();
  Result<int> outcome = DecodeFileToGif(in.get(), scale, decoded->File(), szJpegFile, damage);
  if (!outcome.ok()) return outcome.status();
  // The intermediate file is read back at once and then removed, so it is only flushed,
  // not synced to disk.
  if (std::fflush(decoded->File()) != 0 || std::ferror(decoded->File()) != 0) {
    return Status::IoError("Cannot write beside " + szInlineFile.string() + ": " +
                           std::strerror(errno));
  }
  // The resizer turns the picture once it has its display size, the smallest it gets.
  return ResizeGifToSize(DisplayWidth, DisplayHeight, decoded->TempPath(), szInlineFile,
                         Orientation, beforeReplace);
}

Result<TRgbPicture> DecodeJpegToRgb(const fs::path& szJpegFile, int FitWidth, int FitHeight,
                                    std::string* damage) {
  if (damage != nullptr) damage->clear();
  TFilePtr in(std::fopen(szJpegFile.c_str(), "rb"));
  if (!in) {
    return Status::NotFound("Cannot open " + szJpegFile.string() + ": " + std::strerror(errno));
  }
  Result<TDecompressorPtr> d = NewDecompressor(szJpegFile);
  if (!d.ok()) return d.status();
  jpeg_stdio_src(&(*d)->Info, in.get());
  TScaleRequest scale;
  scale.FitWidth = FitWidth;
  scale.FitHeight = FitHeight;
  Result<TRgbPicture> picture = DecodeOpenedToRgb(**d, scale, szJpegFile);
  if (picture.ok() && damage != nullptr) *damage = (*d)->Err.FirstWarning;
  return picture;
}

Status EncodeJpegRgb(const TRgbPicture& Picture, int Quality, std::FILE* out,
                     const fs::path& szName) {
  if (Picture.Width < 1 || Picture.Height < 1 ||
      Picture.Pixels.size() != static_cast<std::size_t>(Picture.Width) * Picture.Height * 3) {
    return Status::InvalidArgument("No JPEG file can be made of an empty picture for " +
                                   szName.string());
  }
  TCompressorPtr c(new TJpegCompressor{});
  c->Info.err = SetUpErrorManager(c->Err);
  if (!CallJpeg(
          c->Err, [](void* info) { jpeg_create_compress(static_cast<j_compress_ptr>(info)); },
          &c->Info)) {
    return LibraryFailure(c->Err, szName);
  }
  jpeg_stdio_dest(&c->Info, out);
  TEncodePicture job{&c->Info, &Picture, Quality < 1 ? 1 : (Quality > 100 ? 100 : Quality)};
  if (!CallJpeg(c->Err, EncodePictureStep, &job)) return LibraryFailure(c->Err, szName);
  return Status::OK();
}

void PrepareMemoryForDecoding() {
  // glibc gives every thread that allocates its own heap (up to eight a core), and a heap
  // keeps what is freed in it for that thread. A decoder's whole-picture buffers are tens of
  // megabytes, so each worker would park a picture's worth of memory after its largest
  // picture. With few heaps a buffer freed by one decoder serves the next, whichever thread
  // runs it, and the total stays near the shared budget. Two rather than one: the page
  // writer and the first worker each keep a heap of their own, because a run that decodes
  // little (an unchanged rerun) allocates small things all the time on both threads, and
  // one heap's lock then costs them a fifth of the run. Buffers of more than 32 MB are
  // mapped apart by glibc in any case and return to the system when freed.
  // Set once, before the threads start; it takes no environment variable from the user.
  static const bool done = ::mallopt(M_ARENA_MAX, 2) == 1;
  static_cast<void>(done);
}

}  // namespace pix
