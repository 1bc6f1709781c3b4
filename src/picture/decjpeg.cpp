#include "picture/decjpeg.h"

#include <malloc.h>
#include <sys/mman.h>

#include <array>
#include <condition_variable>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
// jpeglib.h needs the declarations of <cstdio> before it.
#include <jpeglib.h>
#include <jerror.h>

#include "base/diagnostics.h"
#include "base/safefile.h"
#include "base/safereplace.h"

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


// ---------------------------------------------------------------------------------------
// The error manager and the one place where libjpeg's longjmp lands.

struct JpegErrorManager {
  jpeg_error_mgr pub;  // First, so that the library's pointer to it reaches the rest.
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];       // The fatal error, for the failure the caller gets.
  char first_warning[JMSG_LENGTH_MAX];  // What the first warning said; empty while clean.
};

JpegErrorManager& ErrorManagerOf(j_common_ptr info) {
  return *reinterpret_cast<JpegErrorManager*>(info->err);
}

// Passes the library's fatal error on as a detail line and keeps the text for the failure
// the caller gets.
void PrintLibraryMessage(j_common_ptr info) {
  JpegErrorManager& err = ErrorManagerOf(info);
  (*info->err->format_message)(info, err.message);
  ReportDetail(err.message);
}

// The library's warnings (level -1) and trace messages come here. A warning means damaged
// data, whose area the library fills in before it goes on; the first one becomes a detail
// line, as with the library's own handler, and its text is kept so that the caller can
// report the damaged picture. Trace messages are not wanted.
void NoteLibraryMessage(j_common_ptr info, int level) {
  if (level >= 0) return;
  JpegErrorManager& err = ErrorManagerOf(info);
  if (err.pub.num_warnings == 0) {
    (*info->err->format_message)(info, err.first_warning);
    ReportDetail(err.first_warning);
  }
  ++err.pub.num_warnings;
}

[[noreturn]] void LeaveOnFatalError(j_common_ptr info) {
  (*info->err->output_message)(info);
  std::longjmp(ErrorManagerOf(info).jump, 1);
}

jpeg_error_mgr* SetUpErrorManager(JpegErrorManager& err) {
  jpeg_error_mgr* pub = jpeg_std_error(&err.pub);
  pub->error_exit = LeaveOnFatalError;
  pub->output_message = PrintLibraryMessage;
  pub->emit_message = NoteLibraryMessage;
  pub->addon_message_table = kOutputStageMessages;
  pub->first_addon_message = kMsgGifGrayOrRgbOnly;
  pub->last_addon_message = kMsgGifGrayOrRgbOnly;
  err.message[0] = '\0';
  err.first_warning[0] = '\0';
  return pub;
}

// Runs one step of libjpeg work. A fatal library error jumps back here and makes the call
// return false; the step functions hold no object with a destructor, so nothing is skipped
// that would need cleaning up. Every libjpeg call that can fail goes through here.
bool CallJpeg(JpegErrorManager& err, void (*step)(void*), void* context) {
  if (setjmp(err.jump) != 0) return false;
  step(context);
  return true;
}

// ---------------------------------------------------------------------------------------
// Whole-image coefficient arrays, in huge pages kept apart from the heap.
//
// A progressive picture is decoded through an array that holds every DCT coefficient of the
// whole picture, and a progressive or Huffman-optimised image is encoded through one: tens
// of megabytes for a large photograph. The library takes them from malloc and clears them
// with a pass of its own, so every page of them is first touched, one fault at a time,
// before the decoding starts; on a virtual machine, where a page fault is dear, that was a
// third of the time a progressive picture took. Here the library's memory manager gets them
// from BlockArrays instead: their rows are laid in chunks of one huge page each, which the
// kernel hands over already cleared (one fault for 2 MB instead of for every 4 KB).
//
// A chunk the system hands over fresh still costs its clearing by the kernel, and on a
// virtual machine the host's work to back it: 16 to 24 ms for 64 MB here, against 2.5 ms
// to clear memory the process already holds. So chunks an image is done with wait in a
// shared pool (ChunkPool) for the next image, up to a cap, and are cleared there only for
// the arrays that the library asks to get cleared (a decoder's; an encoder writes every
// block before it reads one). The pool only ever holds chunks that images held at once
// before, so it adds nothing to the most memory the arrays took.

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kChunk = kHugePage;

// Chunks of kChunk bytes on kChunk boundaries, each mapped on its own account, and those
// that wait for the next image.
class ChunkPool {
 public:
  // The most chunks held, lent and waiting, once chunks come back: 96 MB, what decoders
  // and the encoders of their images share (DecodeMemoryBudget). So waiting chunks never
  // take more than the budget lets images hold at once.
  static constexpr std::size_t kMostIdle = 48;

  static ChunkPool& Shared() {
    static ChunkPool pool;
    return pool;
  }

  // Fills `chunks` with `count` chunks; `fresh` says of each whether the system has just
  // handed it over, cleared. False when the system has no memory left; what was taken is
  // then in `chunks` all the same, for Give.
  bool Take(std::size_t count, void** chunks, bool* fresh, std::size_t* taken) {
    *taken = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (*taken < count && idle_count_ > 0) {
        chunks[*taken] = idle_[--idle_count_];
        fresh[(*taken)++] = false;
      }
      lent_ += count;  // What is not taken here is mapped below, or given back on failure.
    }
    if (*taken == count) return true;
    // The rest in one mapping, trimmed to chunk boundaries so that each chunk can go back
    // to the system alone.
    const std::size_t wanted = (count - *taken) * kChunk;
    void* mapping = ::mmap(nullptr, wanted + kChunk, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
      std::lock_guard<std::mutex> lock(mutex_);
      lent_ -= count - *taken;
      return false;
    }
    auto* raw = static_cast<std::uint8_t*>(mapping);
    const std::size_t head =
        (kChunk - reinterpret_cast<std::uintptr_t>(raw) % kChunk) % kChunk;
    if (head > 0) ::munmap(raw, head);
    if (kChunk - head > 0) ::munmap(raw + head + wanted, kChunk - head);
    // Only advice: where the system gives no huge pages, small ones serve.
    ::madvise(raw + head, wanted, MADV_HUGEPAGE);
    for (std::uint8_t* chunk = raw + head; *taken < count; chunk += kChunk) {
      chunks[*taken] = chunk;
      fresh[(*taken)++] = true;
    }
    return true;
  }

  std::uint64_t IdleBytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::uint64_t>(idle_count_) * kChunk;
  }

  // Gives every idle chunk back to the system.
  void Drain() {
    std::array<void*, kMostIdle> idle{};
    std::size_t count = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      std::swap(idle, idle_);
      std::swap(count, idle_count_);
    }
    for (std::size_t i = 0; i < count; ++i) ::munmap(idle[i], kChunk);
  }

  // Takes back `count` chunks; those past the cap go back to the system.
  void Give(void* const* chunks, std::size_t count) {
    std::size_t kept = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lent_ -= count;
      while (kept < count && lent_ + idle_count_ < kMostIdle) {
        idle_[idle_count_++] = chunks[kept++];
      }
    }
    for (; kept < count; ++kept) ::munmap(chunks[kept], kChunk);
  }

 private:
  std::mutex mutex_;
  std::array<void*, kMostIdle> idle_{};
  std::size_t idle_count_ = 0;
  std::size_t lent_ = 0;  // Chunks images hold.
};

class BlockArrays {
 public:
  BlockArrays() = default;
  ~BlockArrays() { Release(); }
  BlockArrays(const BlockArrays&) = delete;
  BlockArrays& operator=(const BlockArrays&) = delete;

  // Makes the memory manager of `info` (created, nothing requested yet) take its
  // whole-image coefficient arrays from here. Uses the object's client_data.
  void Install(j_common_ptr info) {
    info->client_data = this;
    library_realize_ = info->mem->realize_virt_arrays;
    info->mem->request_virt_barray = Request;
    info->mem->realize_virt_arrays = Realize;
    info->mem->access_virt_barray = Access;
  }

  // Gives every chunk back. Called once the library is done with the image (it has
  // finished or aborted it, or is destroyed), which also frees the row pointers.
  void Release() {
    if (chunk_count_ > 0) ChunkPool::Shared().Give(chunks_.data(), chunk_count_);
    chunk_count_ = 0;
    for (int i = 0; i < count_; ++i) arrays_[static_cast<std::size_t>(i)] = Array{};
    count_ = 0;
  }

 private:
  struct Array {
    JDIMENSION blocks_per_row = 0;
    JDIMENSION rows = 0;
    bool cleared = false;                // The library wants it cleared.
    JBLOCKARRAY row_pointers = nullptr;  // Null until realized; in the library's image pool.
  };

  // A row is at most 65 535 pixels of 8 x 8 blocks of 64 coefficients of 2 bytes: 1 MB,
  // so every row fits a chunk. The most chunks the largest arrays allowed need, each
  // chunk left at worst half empty.
  static constexpr std::size_t kMostChunks =
      2 * static_cast<std::size_t>(kMaxDecoderMemory) / kChunk + MAX_COMPONENTS;

  static BlockArrays& Of(j_common_ptr info) {
    return *static_cast<BlockArrays*>(info->client_data);
  }

  static std::size_t RowBytes(const Array& array) {
    return static_cast<std::size_t>(array.blocks_per_row) * sizeof(JBLOCK);
  }

  // These are called by the library; they fail through its error exit, so they hold no
  // object with a destructor.
  static jvirt_barray_ptr Request(j_common_ptr info, int pool_id, boolean pre_zero,
                                  JDIMENSION blocks_per_row, JDIMENSION rows,
                                  JDIMENSION /*max_access*/) {
    if (pool_id != JPOOL_IMAGE) ERREXIT1(info, JERR_BAD_POOL_ID, pool_id);
    BlockArrays& self = Of(info);
    if (self.count_ >= MAX_COMPONENTS) ERREXIT1(info, JERR_OUT_OF_MEMORY, 10);
    Array& array = self.arrays_[static_cast<std::size_t>(self.count_++)];
    array.blocks_per_row = blocks_per_row;
    array.rows = rows;
    array.cleared = pre_zero != FALSE;
    return reinterpret_cast<jvirt_barray_ptr>(&array);
  }

  // Gives the arrays not yet realized their memory: those of a small image from the
  // library's own pool, the others in chunks, row after row, a row never across two chunks.
  static void Realize(j_common_ptr info) {
    BlockArrays& self = Of(info);
    self.library_realize_(info);  // The library's own arrays of samples.
    std::uint64_t total = 0;
    std::size_t chunks = 0;
    self.Measure(info, &total, &chunks);
    if (chunks == 0) return;
    // Less than half a chunk would take a whole huge page.
    if (total < kChunk / 2) {
      self.LayInLibraryPool(info);
    } else {
      self.LayInChunks(info, chunks);
    }
  }

  // The bytes of the blocks of the arrays not yet realized, and the chunks they take laid
  // as LayInChunks lays them. An array without blocks gets row pointers (to nothing) here.
  void Measure(j_common_ptr info, std::uint64_t* total, std::size_t* chunks) {
    std::size_t room = 0;  // Left in the last chunk counted.
    for (int i = 0; i < count_; ++i) {
      Array& array = arrays_[static_cast<std::size_t>(i)];
      if (array.row_pointers != nullptr) continue;
      const std::size_t row = RowBytes(array);
      if (row == 0 || array.rows == 0) {
        array.row_pointers = NewRowPointers(info, array);
        for (JDIMENSION r = 0; r < array.rows; ++r) array.row_pointers[r] = nullptr;
        continue;
      }
      if (row > kChunk) ERREXIT1(info, JERR_OUT_OF_MEMORY, 13);
      *total += static_cast<std::uint64_t>(row) * array.rows;
      if (*total > static_cast<std::uint64_t>(kMaxDecoderMemory)) {
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 11);
      }
      for (JDIMENSION r = 0; r < array.rows; ++r) {
        if (room < row) {
          ++*chunks;
          room = kChunk;
        }
        room -= row;
      }
    }
  }

  void LayInLibraryPool(j_common_ptr info) {
    for (int i = 0; i < count_; ++i) {
      Array& array = arrays_[static_cast<std::size_t>(i)];
      if (array.row_pointers != nullptr) continue;
      const std::size_t row = RowBytes(array);
      array.row_pointers = NewRowPointers(info, array);
      auto* blocks = static_cast<std::uint8_t*>(
          (*info->mem->alloc_large)(info, JPOOL_IMAGE, row * array.rows));
      if (array.cleared) std::memset(blocks, 0, row * array.rows);
      for (JDIMENSION r = 0; r < array.rows; ++r) {
        array.row_pointers[r] = reinterpret_cast<JBLOCKROW>(blocks + row * r);
      }
    }
  }

  // As Measure counted: the first row starts the first chunk, and a row that does not fit
  // in what is left starts the next.
  void LayInChunks(j_common_ptr info, std::size_t chunks) {
    if (chunk_count_ + chunks > kMostChunks) ERREXIT1(info, JERR_OUT_OF_MEMORY, 14);
    std::array<bool, kMostChunks> fresh{};
    std::size_t taken = 0;
    const bool got =
        ChunkPool::Shared().Take(chunks, chunks_.data() + chunk_count_, fresh.data(), &taken);
    const std::size_t first = chunk_count_;
    chunk_count_ += taken;  // Given back by Release, whatever happens next.
    if (!got) ERREXIT1(info, JERR_OUT_OF_MEMORY, 12);
    std::size_t chunk = first;
    std::size_t used = 0;  // Bytes laid in the current chunk.
    for (int i = 0; i < count_; ++i) {
      Array& array = arrays_[static_cast<std::size_t>(i)];
      if (array.row_pointers != nullptr) continue;
      const std::size_t row = RowBytes(array);
      array.row_pointers = NewRowPointers(info, array);
      for (JDIMENSION r = 0; r < array.rows; ++r) {
        if (kChunk - used < row) {
          ++chunk;
          used = 0;
        }
        auto* at = static_cast<std::uint8_t*>(chunks_[chunk]) + used;
        // A chunk that has served an image before still holds its coefficients.
        if (array.cleared && !fresh[chunk - first]) std::memset(at, 0, row);
        array.row_pointers[r] = reinterpret_cast<JBLOCKROW>(at);
        used += row;
      }
    }
  }

  // Row pointers for `array`, in the library's image pool, freed with the image.
  static JBLOCKARRAY NewRowPointers(j_common_ptr info, const Array& array) {
    return static_cast<JBLOCKARRAY>((*info->mem->alloc_small)(
        info, JPOOL_IMAGE, (static_cast<std::size_t>(array.rows) + 1) * sizeof(JBLOCKROW)));
  }

  static JBLOCKARRAY Access(j_common_ptr info, jvirt_barray_ptr ptr, JDIMENSION start_row,
                            JDIMENSION rows, boolean /*writable*/) {
    const Array& array = *reinterpret_cast<const Array*>(ptr);
    if (array.row_pointers == nullptr || start_row > array.rows ||
        rows > array.rows - start_row) {
      ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    }
    return array.row_pointers + start_row;
  }

  std::array<Array, MAX_COMPONENTS> arrays_{};
  int count_ = 0;
  std::array<void*, kMostChunks> chunks_{};
  std::size_t chunk_count_ = 0;
  void (*library_realize_)(j_common_ptr) = nullptr;
};

// ---------------------------------------------------------------------------------------
// Owned decompressor and compressor.

// A source that reads a file as libjpeg's own stdio source does, except at the end: once
// the file has ended it reads no more, so that a damaged file whose segments claim more
// bytes than it holds (a comment segment of 65 535 bytes in a file of 12) costs no call to
// read for every two bytes skipped. Past the end it gives what the stdio source gives: an
// end-of-image marker, with the library's warning that the file ended early.
struct FileSource {
  jpeg_source_mgr pub;  // First, so that the library's pointer to it leads here.
  std::FILE* file = nullptr;
  bool ended = false;
  bool started = false;  // Some bytes came from the file.
  FileBytesObserver* observer = nullptr;  // Sees every byte read, when set.
  std::array<JOCTET, 16384> buffer;
};

FileSource& FileSourceOf(j_decompress_ptr info) {
  return *reinterpret_cast<FileSource*>(info->src);
}

void InitFileSource(j_decompress_ptr info) { FileSourceOf(info).started = false; }

boolean FillFileSource(j_decompress_ptr info) {
  FileSource& source = FileSourceOf(info);
  std::size_t got = 0;
  if (!source.ended) {
    got = std::fread(source.buffer.data(), 1, source.buffer.size(), source.file);
    source.ended = got == 0;
    if (got > 0 && source.observer != nullptr) source.observer->Bytes(source.buffer.data(), got);
  }
  if (got == 0) {
    if (!source.started) ERREXIT(info, JERR_INPUT_EMPTY);
    WARNMS(info, JWRN_JPEG_EOF);
    source.buffer[0] = 0xFF;
    source.buffer[1] = JPEG_EOI;
    got = 2;
  }
  source.pub.next_input_byte = source.buffer.data();
  source.pub.bytes_in_buffer = got;
  source.started = true;
  return TRUE;
}

void SkipFileSource(j_decompress_ptr info, long count) {
  FileSource& source = FileSourceOf(info);
  if (count <= 0) return;
  while (count > static_cast<long>(source.pub.bytes_in_buffer)) {
    count -= static_cast<long>(source.pub.bytes_in_buffer);
    FillFileSource(info);
    // What lies past the end is the end marker, however far the skip meant to go.
    if (source.ended) return;
  }
  source.pub.next_input_byte += count;
  source.pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermFileSource(j_decompress_ptr) {}

// Hands the source's observer the rest of the file, which the decoding did not need, and
// then the end. Called once the decoding is done with the file.
void ReadRestForObserver(FileSource& source) {
  if (source.observer == nullptr) return;
  while (!source.ended) {
    const std::size_t got =
        std::fread(source.buffer.data(), 1, source.buffer.size(), source.file);
    if (got == 0) break;
    source.observer->Bytes(source.buffer.data(), got);
  }
  source.ended = true;
  source.observer->End(std::ferror(source.file) == 0);
  source.observer = nullptr;
}

struct JpegDecompressor {
  jpeg_decompress_struct info;
  JpegErrorManager err;
  FileSource source;
  BlockArrays arrays;

  // Reads the compressed data from `file`, which must stay open while the decompressor
  // reads; `observer`, when given, sees every byte read (FileBytesObserver).
  void ReadFrom(std::FILE* file, FileBytesObserver* observer = nullptr) {
    source.file = file;
    source.ended = false;
    source.observer = observer;
    source.pub.init_source = InitFileSource;
    source.pub.fill_input_buffer = FillFileSource;
    source.pub.skip_input_data = SkipFileSource;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = TermFileSource;
    source.pub.bytes_in_buffer = 0;
    source.pub.next_input_byte = nullptr;
    info.src = &source.pub;
  }
};
struct JpegDecompressorDeleter {
  void operator()(JpegDecompressor* d) const {
    jpeg_destroy_decompress(&d->info);  // Safe on a half-created object: it checks `mem`.
    delete d;
  }
};
using DecompressorPtr = std::unique_ptr<JpegDecompressor, JpegDecompressorDeleter>;

// A destination that collects the compressed bytes in memory.
struct MemoryDestination {
  jpeg_destination_mgr pub;  // First, so that the library's pointer to it leads here.
  std::vector<JOCTET>* bytes;
};

struct JpegCompressor {
  jpeg_compress_struct info;
  JpegErrorManager err;
  MemoryDestination destination;
  std::vector<JOCTET> bytes;
  BlockArrays arrays;
};
struct JpegCompressorDeleter {
  void operator()(JpegCompressor* c) const {
    jpeg_destroy_compress(&c->info);
    delete c;
  }
};
using CompressorPtr = std::unique_ptr<JpegCompressor, JpegCompressorDeleter>;

Status LibraryFailure(const JpegErrorManager& err, const fs::path& name) {
  return Status::Corrupt(name.string() + ": " + err.message);
}

Result<DecompressorPtr> NewDecompressor(const fs::path& name) {
  DecompressorPtr d(new JpegDecompressor{});
  d->info.err = SetUpErrorManager(d->err);
  if (!CallJpeg(
          d->err, [](void* c) { jpeg_create_decompress(static_cast<j_decompress_ptr>(c)); },
          &d->info)) {
    return LibraryFailure(d->err, name);
  }
  d->info.mem->max_memory_to_use = kMaxDecoderMemory;
  d->arrays.Install(reinterpret_cast<j_common_ptr>(&d->info));
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
bool StartDecoding(JpegDecompressor& d) {
  return CallJpeg(d.err, DecodesFirstScansOnly(d.info) ? StartFirstScansStep : StartStep,
                  &d.info);
}

// Ends a decoding begun by StartDecoding.
bool FinishDecoding(JpegDecompressor& d) {
  const bool finished =
      CallJpeg(d.err, d.info.buffered_image ? FinishFirstScansStep : FinishStep, &d.info);
  d.arrays.Release();  // The library is done with them, even when it failed.
  return finished;
}

struct ReadRow {
  j_decompress_ptr info;
  JSAMPROW row;
};
void ReadRowStep(void* context) {
  auto* read = static_cast<ReadRow*>(context);
  jpeg_read_scanlines(read->info, &read->row, 1);
}

// How the decoder scales: a fixed numerator and denominator, or fitted to a size.
struct ScaleRequest {
  unsigned numerator = 1;
  unsigned denominator = 1;
  int fit_width = 0;
  int fit_height = 0;
};

void ApplyScale(jpeg_decompress_struct& info, const ScaleRequest& scale) {
  if (scale.fit_width > 0 && scale.fit_height > 0) {
    info.scale_num = static_cast<unsigned>(ChooseDctScaleEighths(
        static_cast<int>(info.image_width), static_cast<int>(info.image_height), scale.fit_width,
        scale.fit_height));
    info.scale_denom = 8;
  } else {
    info.scale_num = scale.numerator;
    info.scale_denom = scale.denominator;
  }
}

// The palette of the decoded picture: the quantizer's colours, or a ramp of 256 grey levels.
std::vector<std::array<std::uint8_t, 3>> OutputPalette(const jpeg_decompress_struct& info) {
  const bool quantized = info.quantize_colors;
  const int colors = quantized ? info.actual_number_of_colors : 256;
  std::vector<std::array<std::uint8_t, 3>> palette(static_cast<std::size_t>(colors));
  for (int i = 0; i < colors; ++i) {
    std::array<std::uint8_t, 3>& c = palette[static_cast<std::size_t>(i)];
    if (!quantized) {
      c = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i)};
    } else if (info.out_color_components == 1) {
      c[0] = c[1] = c[2] = info.colormap[0][i];
    } else {
      c = {info.colormap[0][i], info.colormap[1][i], info.colormap[2][i]};
    }
  }
  return palette;
}

Result<IndexedPicture> DecodeCmykToPalette(JpegDecompressor& d, const ScaleRequest& scale,
                                           const fs::path& name);

// The memory that pictures being decoded at the same time may hold in whole-picture buffers.
// A progressive picture keeps every DCT coefficient of the whole picture until its last
// scan (about 3 bytes a pixel, over 50 MB for a 24-megapixel photograph), whatever the
// output scale; several of them at once could pass any sensible limit. Decoders ask for
// their share first and wait while others hold it; a picture that alone needs more than
// the whole budget is decoded when nothing else holds any. A small share (a baseline
// picture's, its images' buffers) may go past the budget by up to kSlack in all, so that
// small pictures go on beside the largest progressive one rather than wait for it.
class DecodeMemoryBudget {
 public:
  static constexpr std::uint64_t kBudget = 96ull << 20;
  static constexpr std::uint64_t kSlack = 16ull << 20;

  static DecodeMemoryBudget& Shared() {
    static DecodeMemoryBudget budget;
    return budget;
  }

  // Waits until `bytes` fit, doing the thread's wait work (DecodeWaitWork) meanwhile.
  void Acquire(std::uint64_t bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto fits = [&] {
      return held_ == 0 || held_ + bytes <= kBudget ||
             (bytes <= kSlack && held_ + bytes <= kBudget + kSlack);
    };
    while (!fits()) {
      if (const DecodeWaitWork::Work* work = thread_wait_work) {
        const std::uint64_t room = held_ < kBudget ? kBudget - held_ : 0;
        lock.unlock();
        bool did = false;
        {
          // Nothing nested: the decoders of the work wait. Put back however it ends.
          const NoWaitWork nested;
          did = (*work)(room);
        }
        lock.lock();
        if (did) continue;
      }
      released_.wait(lock, fits);
    }
    held_ += bytes;
  }

  // Takes the calling thread's wait work away for as long as it lives.
  struct NoWaitWork {
    const DecodeWaitWork::Work* const before = thread_wait_work;
    NoWaitWork() { thread_wait_work = nullptr; }
    ~NoWaitWork() { thread_wait_work = before; }
    NoWaitWork(const NoWaitWork&) = delete;
    NoWaitWork& operator=(const NoWaitWork&) = delete;
  };

  // The calling thread's wait work, when it has some (DecodeWaitWork).
  static inline thread_local const DecodeWaitWork::Work* thread_wait_work = nullptr;

  void Release(std::uint64_t bytes) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      held_ -= bytes;
    }
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::uint64_t held_ = 0;
};

// Holds a decoder's share of the budget for as long as the decoder runs.
class DecodeMemoryShare {
 public:
  explicit DecodeMemoryShare(std::uint64_t bytes) : bytes_(bytes) {
    if (bytes_ > 0) DecodeMemoryBudget::Shared().Acquire(bytes_);
  }
  ~DecodeMemoryShare() {
    if (bytes_ > 0) DecodeMemoryBudget::Shared().Release(bytes_);
  }
  DecodeMemoryShare(const DecodeMemoryShare&) = delete;
  DecodeMemoryShare& operator=(const DecodeMemoryShare&) = delete;

 private:
  std::uint64_t bytes_;
};

// Refuses a decode that would hand back more than kMaxRgbPicturePixels.
Status CheckOutputSize(int width, int height, const fs::path& name) {
  if (static_cast<long long>(width) * height <= kMaxRgbPicturePixels) return Status::OK();
  return Status::TooLarge(name.string() + ": " + std::to_string(width) + "x" +
                          std::to_string(height) + " pixels are too many to convert");
}

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

// Decodes the picture whose source is already attached to `d` into palette indices, with
// the library's two-pass quantizer (a grey picture keeps its levels). Warnings about damaged
// data stay in `d.err`.
Result<IndexedPicture> DecodeToPalette(JpegDecompressor& d, const ScaleRequest& scale,
                                       const fs::path& name) {
  jpeg_decompress_struct& info = d.info;
  if (!CallJpeg(d.err, ReadHeaderStep, &info)) return LibraryFailure(d.err, name);
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
    return DecodeCmykToPalette(d, scale, name);
  }
  ApplyScale(info, scale);
  if (!CallJpeg(d.err, SetUpGifOutputStep, &info)) return LibraryFailure(d.err, name);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  if (Status fits = CheckOutputSize(width, height, name); !fits.ok()) return fits;
  const DecodeMemoryShare share(WholePictureBuffers(info) +
                                 static_cast<std::uint64_t>(width) * height);
  if (!StartDecoding(d)) return LibraryFailure(d.err, name);
  if (info.output_components != 1) {
    return Status::Corrupt(name.string() + ": the decoder did not map the picture to colours");
  }
  IndexedPicture picture;
  picture.width = width;
  picture.height = height;
  picture.indices.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  while (info.output_scanline < info.output_height) {
    ReadRow read{&info, picture.indices.data() + static_cast<std::size_t>(info.output_scanline) *
                                                     static_cast<std::size_t>(width)};
    if (!CallJpeg(d.err, ReadRowStep, &read)) return LibraryFailure(d.err, name);
  }
  picture.palette = OutputPalette(info);
  if (!FinishDecoding(d)) return LibraryFailure(d.err, name);
  return picture;
}

// ---------------------------------------------------------------------------------------
// CMYK and YCCK pictures. The library cannot turn them into RGB itself, so they are decoded
// as CMYK, converted here, and passed once more through the library as an RGB picture (a
// near-lossless JPEG in memory) so that they get the same quantizer as every other picture.

std::vector<JOCTET>& DestinationBytes(j_compress_ptr info) {
  return *reinterpret_cast<MemoryDestination*>(info->dest)->bytes;
}

void InitDestination(j_compress_ptr info) {
  std::vector<JOCTET>& bytes = DestinationBytes(info);
  bytes.resize(1 << 16);
  info->dest->next_output_byte = bytes.data();
  info->dest->free_in_buffer = bytes.size();
}

boolean GrowDestination(j_compress_ptr info) {
  std::vector<JOCTET>& bytes = DestinationBytes(info);
  const std::size_t used = bytes.size();
  bytes.resize(used * 2);  // Cannot throw in practice: the picture is at most 64 MP.
  info->dest->next_output_byte = bytes.data() + used;
  info->dest->free_in_buffer = bytes.size() - used;
  return TRUE;
}

void TermDestination(j_compress_ptr info) {
  std::vector<JOCTET>& bytes = DestinationBytes(info);
  bytes.resize(bytes.size() - info->dest->free_in_buffer);
}

struct EncodeRgb {
  j_compress_ptr info;
  const std::vector<JSAMPLE>* pixels;
  int width;
  int height;
};

// Sets the encoder up for RGB pixels of `width` x `height` at `quality`, with libjpeg's
// defaults otherwise; with `full_colour`, the colour is kept at full resolution instead of
// halved each way.
void SetUpRgbEncoder(j_compress_ptr info, int width, int height, int quality, bool full_colour) {
  info->image_width = static_cast<JDIMENSION>(width);
  info->image_height = static_cast<JDIMENSION>(height);
  info->input_components = 3;
  info->in_color_space = JCS_RGB;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, quality, TRUE);
  if (!full_colour) return;
  for (int i = 0; i < info->num_components; ++i) {
    info->comp_info[i].h_samp_factor = 1;
    info->comp_info[i].v_samp_factor = 1;
  }
}

void EncodeRgbStep(void* context) {
  auto* job = static_cast<EncodeRgb*>(context);
  j_compress_ptr info = job->info;
  SetUpRgbEncoder(info, job->width, job->height, 100, /*full_colour=*/true);
  jpeg_start_compress(info, TRUE);
  const std::size_t stride = static_cast<std::size_t>(job->width) * 3;
  while (info->next_scanline < info->image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(job->pixels->data()) + info->next_scanline * stride;
    jpeg_write_scanlines(info, &row, 1);
  }
  jpeg_finish_compress(info);
}

Result<std::vector<JOCTET>> EncodeRgbInMemory(const std::vector<JSAMPLE>& pixels, int width,
                                              int height, const fs::path& name) {
  CompressorPtr c(new JpegCompressor{});
  c->info.err = SetUpErrorManager(c->err);
  if (!CallJpeg(
          c->err, [](void* info) { jpeg_create_compress(static_cast<j_compress_ptr>(info)); },
          &c->info)) {
    return LibraryFailure(c->err, name);
  }
  c->arrays.Install(reinterpret_cast<j_common_ptr>(&c->info));
  c->destination.bytes = &c->bytes;
  c->destination.pub.init_destination = InitDestination;
  c->destination.pub.empty_output_buffer = GrowDestination;
  c->destination.pub.term_destination = TermDestination;
  c->info.dest = &c->destination.pub;
  EncodeRgb job{&c->info, &pixels, width, height};
  if (!CallJpeg(c->err, EncodeRgbStep, &job)) return LibraryFailure(c->err, name);
  return std::move(c->bytes);
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

Result<IndexedPicture> DecodeCmykToPalette(JpegDecompressor& d, const ScaleRequest& scale,
                                           const fs::path& name) {
  jpeg_decompress_struct& info = d.info;
  ApplyScale(info, scale);
  info.out_color_space = JCS_CMYK;  // The library turns YCCK into CMYK.
  // Held only while the CMYK data is decoded: the converted copy's decoding takes a share
  // of its own, and a thread that held one share while waiting for another could wait for
  // ever on a thread that does the same.
  std::optional<DecodeMemoryShare> share;
  share.emplace(WholePictureBuffers(info));
  if (!StartDecoding(d)) return LibraryFailure(d.err, name);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) >
      kMaxConvertedPixels) {
    return Status::TooLarge(name.string() + ": the CMYK picture is too large to convert");
  }
  const bool inverted = info.saw_Adobe_marker;
  std::vector<JSAMPLE> cmyk(static_cast<std::size_t>(width) * 4);
  std::vector<JSAMPLE> rgb(static_cast<std::size_t>(width) * height * 3);
  ReadRow read{&info, cmyk.data()};
  while (info.output_scanline < info.output_height) {
    JSAMPLE* target = rgb.data() + static_cast<std::size_t>(info.output_scanline) * width * 3;
    if (!CallJpeg(d.err, ReadRowStep, &read)) return LibraryFailure(d.err, name);
    CmykRowToRgb(cmyk.data(), width, inverted, target);
  }
  if (!FinishDecoding(d)) return LibraryFailure(d.err, name);
  share.reset();
  const bool warned = d.err.pub.num_warnings > 0;

  Result<std::vector<JOCTET>> rgb_jpeg = EncodeRgbInMemory(rgb, width, height, name);
  if (!rgb_jpeg.ok()) return rgb_jpeg.status();
  Result<DecompressorPtr> again = NewDecompressor(name);
  if (!again.ok()) return again.status();
  jpeg_mem_src(&(*again)->info, rgb_jpeg->data(), static_cast<unsigned long>(rgb_jpeg->size()));
  Result<IndexedPicture> decoded = DecodeToPalette(**again, ScaleRequest{}, name);
  if (!decoded.ok()) return decoded;
  // Should the converted copy warn where the picture itself did not, the copy's warning is
  // handed on, so that damage is never reported without its text.
  if (!warned && (*again)->err.pub.num_warnings > 0) {
    d.err.pub.num_warnings = (*again)->err.pub.num_warnings;
    std::memcpy(d.err.first_warning, (*again)->err.first_warning, sizeof d.err.first_warning);
  }
  return decoded;
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

struct ReadProfile {
  j_decompress_ptr info;
  std::vector<std::uint8_t>* profile;
};
void ReadProfileStep(void* context) {
  auto* read = static_cast<ReadProfile*>(context);
  JOCTET* data = nullptr;
  unsigned int length = 0;
  if (jpeg_read_icc_profile(read->info, &data, &length) && data != nullptr) {
    read->profile->assign(data, data + length);
  }
  std::free(data);
}

void CalcOutputStep(void* context) {
  jpeg_calc_output_dimensions(static_cast<j_decompress_ptr>(context));
}

// Decodes the picture whose source is attached to `d` into RGB rows for `sink`.
Status DecodeOpenedToRows(JpegDecompressor& d, const ScaleRequest& scale, RgbRowSink& sink,
                          const fs::path& name) {
  jpeg_decompress_struct& info = d.info;
  if (!CallJpeg(d.err, ReadHeaderKeepingProfileStep, &info)) return LibraryFailure(d.err, name);
  const long long pixels = static_cast<long long>(info.image_width) * info.image_height;
  if (pixels > kMaxJpegPicturePixels) {
    return Status::TooLarge(name.string() + ": the picture declares " +
                            std::to_string(info.image_width) + "x" +
                            std::to_string(info.image_height) + " pixels, more than the " +
                            std::to_string(kMaxJpegPicturePixels) + " a picture may have");
  }
  std::vector<std::uint8_t> icc_profile;
  ReadProfile profile{&info, &icc_profile};
  if (!CallJpeg(d.err, ReadProfileStep, &profile)) return LibraryFailure(d.err, name);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  // The library turns YCCK into CMYK, grey and YCbCr into RGB.
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  ApplyScale(info, scale);
  if (!CallJpeg(d.err, CalcOutputStep, &info)) return LibraryFailure(d.err, name);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  if (Status fits = CheckOutputSize(width, height, name); !fits.ok()) return fits;
  const DecodeMemoryShare share(WholePictureBuffers(info) + sink.MemoryFor(width, height));
  if (!StartDecoding(d)) return LibraryFailure(d.err, name);
  // A profile for CMYK describes inks the RGB pixels no longer hold.
  if (cmyk) icc_profile.clear();
  sink.Begin(width, height, icc_profile);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
  std::vector<JSAMPLE> cmyk_row(cmyk ? static_cast<std::size_t>(width) * 4 : 0);
  while (info.output_scanline < info.output_height) {
    ReadRow read{&info, cmyk ? cmyk_row.data() : row.data()};
    if (!CallJpeg(d.err, ReadRowStep, &read)) return LibraryFailure(d.err, name);
    if (cmyk) CmykRowToRgb(cmyk_row.data(), width, info.saw_Adobe_marker, row.data());
    sink.Row(row.data());
  }
  if (!FinishDecoding(d)) return LibraryFailure(d.err, name);
  return Status::OK();
}

// How an image of `width` x `height` pixels is encoded (see JpegRowEncoder): its colour at
// full resolution for a thumbnail, else at half resolution each way; progressive past the
// size of a thumbnail.
bool KeepsFullColour(int width, int height) {
  return static_cast<long long>(width) * height <= 512LL * 512;
}
bool IsProgressive(int width, int height) {
  return static_cast<long long>(width) * height > 300LL * 300;
}

struct StartEncoding {
  j_compress_ptr info;
  int width;
  int height;
  int quality;
  const std::vector<std::uint8_t>* icc_profile;
};

void StartEncodingStep(void* context) {
  auto* job = static_cast<StartEncoding*>(context);
  j_compress_ptr info = job->info;
  // Thumbnails keep their colour at full resolution: halving it costs a small picture's
  // edges more than the few bytes it saves.
  SetUpRgbEncoder(info, job->width, job->height, job->quality,
                  KeepsFullColour(job->width, job->height));
  info->optimize_coding = TRUE;
  // Progressive files are smaller and show early on a slow line, but only past the size of
  // a thumbnail.
  if (IsProgressive(job->width, job->height)) jpeg_simple_progression(info);
  jpeg_start_compress(info, TRUE);
  if (!job->icc_profile->empty()) {
    jpeg_write_icc_profile(info, job->icc_profile->data(),
                           static_cast<unsigned int>(job->icc_profile->size()));
  }
}

struct WriteRow {
  j_compress_ptr info;
  JSAMPROW row;
};
void WriteRowStep(void* context) {
  auto* write = static_cast<WriteRow*>(context);
  jpeg_write_scanlines(write->info, &write->row, 1);
}

void FinishEncodingStep(void* context) {
  jpeg_finish_compress(static_cast<j_compress_ptr>(context));
}

}  // namespace

int ChooseDctScaleEighths(int image_width, int image_height, int min_width, int min_height) {
  for (int eighths = 1; eighths < 8; ++eighths) {
    const long long width = (static_cast<long long>(image_width) * eighths + 7) / 8;
    const long long height = (static_cast<long long>(image_height) * eighths + 7) / 8;
    if (width >= min_width && height >= min_height) return eighths;
  }
  return 8;
}

namespace {

// A decompressor reading `jpeg_file`, which it holds open. Without one, the observer has
// been told that the file could not be read.
struct OpenedDecompressor {
  FilePtr file;
  DecompressorPtr decompressor;
};
Result<OpenedDecompressor> OpenDecompressor(const fs::path& jpeg_file,
                                            FileBytesObserver* observer) {
  FilePtr in(std::fopen(jpeg_file.c_str(), "rb"));
  if (!in) {
    const int error = errno;
    if (observer != nullptr) observer->End(false);
    return Status::NotFound("Cannot open " + jpeg_file.string() + ": " + std::strerror(error));
  }
  Result<DecompressorPtr> d = NewDecompressor(jpeg_file);
  if (!d.ok()) {
    if (observer != nullptr) observer->End(false);
    return d.status();
  }
  (*d)->ReadFrom(in.get(), observer);
  return OpenedDecompressor{std::move(in), std::move(*d)};
}

}  // namespace

Result<IndexedPicture> DecodeJpegToPalette(const fs::path& jpeg_file, int fit_width,
                                           int fit_height, std::string* damage,
                                           FileBytesObserver* file_bytes) {
  if (damage != nullptr) damage->clear();
  Result<OpenedDecompressor> opened = OpenDecompressor(jpeg_file, file_bytes);
  if (!opened.ok()) {
    if (opened.status().code() == Status::Code::kNotFound) {
      ReportDetail(opened.status().message());
    }
    return opened.status();
  }
  JpegDecompressor& d = *opened->decompressor;
  ScaleRequest scale;
  scale.fit_width = fit_width;
  scale.fit_height = fit_height;
  Result<IndexedPicture> picture = DecodeToPalette(d, scale, jpeg_file);
  ReadRestForObserver(d.source);
  if (picture.ok() && damage != nullptr) *damage = d.err.first_warning;
  return picture;
}

Status DecodeJpegRows(const fs::path& jpeg_file, int fit_width, int fit_height,
                      RgbRowSink& sink, std::string* damage, FileBytesObserver* file_bytes) {
  if (damage != nullptr) damage->clear();
  Result<OpenedDecompressor> opened = OpenDecompressor(jpeg_file, file_bytes);
  if (!opened.ok()) return opened.status();
  JpegDecompressor& d = *opened->decompressor;
  ScaleRequest scale;
  scale.fit_width = fit_width;
  scale.fit_height = fit_height;
  Status decoded = DecodeOpenedToRows(d, scale, sink, jpeg_file);
  ReadRestForObserver(d.source);
  if (decoded.ok() && damage != nullptr) *damage = d.err.first_warning;
  return decoded;
}

std::uint64_t CollectRgbRows::MemoryFor(int width, int height) {
  return static_cast<std::uint64_t>(width) * height * 3;
}

void CollectRgbRows::Begin(int width, int height, const std::vector<std::uint8_t>& icc_profile) {
  picture_.width = width;
  picture_.height = height;
  picture_.icc_profile = icc_profile;
  picture_.pixels.resize(static_cast<std::size_t>(width) * height * 3);
  next_ = picture_.pixels.data();
}

void CollectRgbRows::Row(const std::uint8_t* pixels) {
  const std::size_t bytes = static_cast<std::size_t>(picture_.width) * 3;
  std::memcpy(next_, pixels, bytes);
  next_ += bytes;
}

Result<RgbPicture> DecodeJpegToRgb(const fs::path& jpeg_file, int fit_width, int fit_height,
                                    std::string* damage, FileBytesObserver* file_bytes) {
  RgbPicture picture;
  CollectRgbRows collect(picture);
  Status decoded = DecodeJpegRows(jpeg_file, fit_width, fit_height, collect, damage, file_bytes);
  if (!decoded.ok()) return decoded;
  return picture;
}

std::uint64_t JpegEncoderMemory(int width, int height) {
  // Two bytes a coefficient, one coefficient a pixel for each of three components, the two
  // of colour at a quarter of the pixels where they are halved each way.
  const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
  return KeepsFullColour(width, height) ? pixels * 6 : pixels * 3;
}

struct JpegRowEncoder::Compressor : JpegCompressor {};

void JpegRowEncoder::CompressorDeleter::operator()(Compressor* compressor) const {
  JpegCompressorDeleter()(compressor);
}

JpegRowEncoder::JpegRowEncoder() = default;
JpegRowEncoder::~JpegRowEncoder() = default;

Status JpegRowEncoder::Start(int width, int height, int quality,
                             const std::vector<std::uint8_t>& icc_profile,
                             const fs::path& name) {
  name_ = name;
  if (width < 1 || height < 1) {
    return status_ = Status::InvalidArgument("No JPEG file can be made of an empty picture for " +
                                             name.string());
  }
  compressor_.reset(new Compressor{});
  JpegCompressor& c = *compressor_;
  c.info.err = SetUpErrorManager(c.err);
  if (!CallJpeg(
          c.err, [](void* info) { jpeg_create_compress(static_cast<j_compress_ptr>(info)); },
          &c.info)) {
    return status_ = LibraryFailure(c.err, name);
  }
  c.arrays.Install(reinterpret_cast<j_common_ptr>(&c.info));
  c.destination.bytes = &c.bytes;
  c.destination.pub.init_destination = InitDestination;
  c.destination.pub.empty_output_buffer = GrowDestination;
  c.destination.pub.term_destination = TermDestination;
  c.info.dest = &c.destination.pub;
  StartEncoding job{&c.info, width, height, quality < 1 ? 1 : (quality > 100 ? 100 : quality),
                    &icc_profile};
  if (!CallJpeg(c.err, StartEncodingStep, &job)) return status_ = LibraryFailure(c.err, name);
  return status_;
}

void JpegRowEncoder::Row(const std::uint8_t* pixels) {
  if (!status_.ok() || compressor_ == nullptr) return;
  WriteRow write{&compressor_->info, const_cast<JSAMPLE*>(pixels)};
  if (!CallJpeg(compressor_->err, WriteRowStep, &write)) {
    status_ = LibraryFailure(compressor_->err, name_);
  }
}

Result<std::vector<std::uint8_t>> JpegRowEncoder::Finish() {
  if (!status_.ok()) return status_;
  if (compressor_ == nullptr || compressor_->info.next_scanline < compressor_->info.image_height) {
    return Status::Corrupt(name_.string() + ": the image was not given all its rows");
  }
  if (!CallJpeg(compressor_->err, FinishEncodingStep, &compressor_->info)) {
    return status_ = LibraryFailure(compressor_->err, name_);
  }
  compressor_->arrays.Release();
  return std::move(compressor_->bytes);
}

Status EncodeJpegRgb(const RgbPicture& picture, int quality, std::FILE* out,
                     const fs::path& name) {
  if (picture.width < 1 || picture.height < 1 ||
      picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height * 3) {
    return Status::InvalidArgument("No JPEG file can be made of an empty picture for " +
                                   name.string());
  }
  const DecodeMemoryShare share(JpegEncoderMemory(picture.width, picture.height));
  JpegRowEncoder encoder;
  encoder.Start(picture.width, picture.height, quality, picture.icc_profile, name);
  const std::size_t stride = static_cast<std::size_t>(picture.width) * 3;
  for (int y = 0; y < picture.height; ++y) {
    encoder.Row(picture.pixels.data() + static_cast<std::size_t>(y) * stride);
  }
  Result<std::vector<std::uint8_t>> bytes = encoder.Finish();
  if (!bytes.ok()) return bytes.status();
  if (std::fwrite(bytes->data(), 1, bytes->size(), out) != bytes->size()) {
    return Status::IoError("Cannot write " + name.string());
  }
  return Status::OK();
}

DecodeWaitWork::DecodeWaitWork(Work work)
    : work_(std::move(work)), before_(DecodeMemoryBudget::thread_wait_work) {
  DecodeMemoryBudget::thread_wait_work = &work_;
}

DecodeWaitWork::~DecodeWaitWork() { DecodeMemoryBudget::thread_wait_work = before_; }

std::uint64_t WholePictureMemoryOf(const fs::path& jpeg_file) {
  Result<OpenedDecompressor> opened = OpenDecompressor(jpeg_file, nullptr);
  if (!opened.ok()) return 0;
  JpegDecompressor& d = *opened->decompressor;
  // A look at the header only: the library's words on damage are said when it is decoded.
  d.err.pub.emit_message = [](j_common_ptr, int) {};
  d.err.pub.output_message = [](j_common_ptr) {};
  if (!CallJpeg(d.err, ReadHeaderStep, &d.info)) return 0;
  return WholePictureBuffers(d.info);
}

std::uint64_t SpareDecodingMemory() { return ChunkPool::Shared().IdleBytes(); }

void ReleaseSpareDecodingMemory() { ChunkPool::Shared().Drain(); }

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
