// The de-interlacer of gifrsize.h: rewrites a user's GIF picture with its lines in order and
// everything else as it was.
//
// The file is copied record by record as its bytes stand (gifrecords.h); of an interlaced
// image only the interlace flag is cleared and the LZW data made anew from its pixels, put
// in top-to-bottom order. giflib decodes and encodes that one image on its own, wrapped in a
// small GIF stream in memory, so that nothing giflib would change (the version, the aspect
// ratio, sort flags, sub-block lengths) passes through it. Before the copy replaces anything
// it is read again beside the original and must match it in every byte but those.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/safereplace.h"
#include "files/utils.h"
#include "picture/gifimage.h"
#include "picture/gifio.h"
#include "picture/gifrecords.h"
#include "picture/gifrsize.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

// The de-interlacer numbers its images across the whole run of the program.
std::atomic<int> deinterlaced_image_count{0};


struct MapFreer {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

Status WriteBytes(std::FILE* out, const std::vector<std::uint8_t>& bytes) {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
    return Status::IoError("Cannot write a GIF file");
  }
  return Status::OK();
}

void PutLittle16(std::vector<std::uint8_t>& bytes, int value) {
  bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

// The pixels of `image`, top line first. giflib reads them from a GIF stream in memory that
// holds nothing but the image: a screen of its size without colour table, the descriptor at
// (0, 0) with the image's interlace flag and no colour table, its LZW data and a trailer.
Result<GifImageRows> DecodeImage(const GifRecord& image, const fs::path& name) {
  std::vector<std::uint8_t> wrapped = {'G', 'I', 'F', '8', '9', 'a'};
  PutLittle16(wrapped, image.width);
  PutLittle16(wrapped, image.height);
  wrapped.insert(wrapped.end(), {0x00, 0x00, 0x00});  // No colour table, background, aspect.
  wrapped.push_back(0x2C);
  PutLittle16(wrapped, 0);
  PutLittle16(wrapped, 0);
  PutLittle16(wrapped, image.width);
  PutLittle16(wrapped, image.height);
  wrapped.push_back(image.interlaced ? kGifInterlaceFlag : 0x00);
  wrapped.insert(wrapped.end(), image.body.begin(), image.body.end());
  wrapped.push_back(0x3B);
  GifBytes bytes{wrapped.data(), wrapped.size()};
  Result<GifReadHandle> in = OpenGifInMemory(&bytes);
  if (!in.ok()) return Status::Corrupt(name.string() + ": " + in.status().message());
  GifFileType* gif = in->get();
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  if (DGifGetRecordType(gif, &type) == GIF_ERROR || type != IMAGE_DESC_RECORD_TYPE ||
      DGifGetImageDesc(gif) == GIF_ERROR) {
    return GifIoFailure(gif->Error, name);
  }
  return ReadGifImageRows(gif, name);
}

// New LZW data (code size, sub-blocks, terminator) for `rows`, written top line first with
// the code size of the original. giflib takes the code size from the colour table's size,
// so the table it is given has 2^codeSize (dummy) entries; only the image's data is kept of
// what it writes.
Result<std::vector<std::uint8_t>> EncodeImage(const GifImageRows& rows, int width, int height,
                                              int code_size, const fs::path& name) {
  std::vector<std::uint8_t> encoded;
  {
    Result<GifWriter> writer = GifWriter::OpenBuffer(&encoded);
    if (!writer.ok()) return writer.status();
    GifFileType* out = writer->Gif();
    const std::unique_ptr<ColorMapObject, MapFreer> table(
        GifMakeMapObject(1 << code_size, nullptr));
    if (!table) return GifOutOfMemory(name);
    if (EGifPutScreenDesc(out, width, height, 8, 0, table.get()) == GIF_ERROR ||
        PutGifImageDesc(out, 0, 0, width, height, false, nullptr) == GIF_ERROR) {
      return GifIoFailure(out->Error, name);
    }
    for (int y = 0; y < height; ++y) {
      GifPixelType* line =
          rows.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
      if (EGifPutLine(out, line, width) == GIF_ERROR) return GifIoFailure(out->Error, name);
    }
    Status closed = writer->Close();
    if (!closed.ok()) return closed;
  }
  // The image record is the first record of what giflib wrote.
  FilePtr file(::fmemopen(encoded.data(), encoded.size(), "rb"));
  if (!file) return GifOutOfMemory(name);
  GifRecordReader reader(file.get(), name);
  std::vector<std::uint8_t> start;
  GifRecord record;
  if (!reader.ReadStart(&start).ok() || !reader.ReadRecord(&record).ok() ||
      record.record_kind != GifRecord::Kind::kImage) {
    return Status::Corrupt("The de-interlaced image of " + name.string() +
                           " could not be encoded; the picture is left as it is");
  }
  return std::move(record.body);
}

// Makes `image` non-interlaced: clears its flag and gives it LZW data with the lines in
// order. An image without pixels has no lines to reorder and keeps its data as they are.
Status PutLinesInOrder(GifRecord& image, const fs::path& name) {
  image.head[kGifImagePackedByte] &= static_cast<std::uint8_t>(~kGifInterlaceFlag);
  if (image.width < 1 || image.height < 1) return Status::OK();
  const int code_size = image.body[0];
  if (code_size < 1 || code_size > 8) {
    // giflib would read codes of up to 11 bits into 8-bit pixels; such data cannot be
    // written again as it was meant.
    return Status::Corrupt(name.string() + " holds an image with the LZW code size " +
                           std::to_string(code_size) + "; it is left as it is");
  }
  Result<GifImageRows> rows = DecodeImage(image, name);
  if (!rows.ok()) return rows.status();
  image.interlaced = false;
  Result<std::vector<std::uint8_t>> data =
      EncodeImage(*rows, image.width, image.height, code_size, name);
  if (!data.ok()) return data.status();
  image.body = std::move(data).value();
  return Status::OK();
}

Status CopyDeinterlaced(std::FILE* in, std::FILE* out, const fs::path& name) {
  GifRecordReader reader(in, name);
  std::vector<std::uint8_t> start;
  Status read = reader.ReadStart(&start);
  if (!read.ok()) return read;
  Status written = WriteBytes(out, start);
  GifRecord record;
  while (written.ok()) {
    read = reader.ReadRecord(&record);
    if (!read.ok()) return read;
    if (record.record_kind == GifRecord::Kind::kImage) {
      if (record.interlaced) {
        Status ordered = PutLinesInOrder(record, name);
        if (!ordered.ok()) return ordered;
      }
      if (record.width > 0 && record.height > 0) {
        PrintGifImageProgress(++deinterlaced_image_count, record.left, record.top, record.width,
                              record.height);
      }
    }
    written = WriteBytes(out, record.head);
    if (written.ok()) written = WriteBytes(out, record.body);
    if (record.record_kind == GifRecord::Kind::kTrailer) break;
  }
  return written;
}

// Whether two images hold the same pixels in the same places.
bool SamePixels(const GifRecord& before, const GifRecord& after, const fs::path& name) {
  Result<GifImageRows> old = DecodeImage(before, name);
  Result<GifImageRows> now = DecodeImage(after, name);
  return old.ok() && now.ok() &&
         std::memcmp(old->get(), now->get(),
                     static_cast<std::size_t>(before.width) * before.height) == 0;
}

// Whether the record `after` of the copy keeps everything of the original's `before`.
bool KeepsRecord(const GifRecord& before, const GifRecord& after, const fs::path& name) {
  if (before.record_kind != after.record_kind) return false;
  if (before.record_kind != GifRecord::Kind::kImage) {
    return before.head == after.head && before.body == after.body;
  }
  std::vector<std::uint8_t> expected_head = before.head;
  expected_head[kGifImagePackedByte] &= static_cast<std::uint8_t>(~kGifInterlaceFlag);
  if (after.head != expected_head) return false;
  if (!before.interlaced || before.width < 1 || before.height < 1) {
    return before.body == after.body;
  }
  return SamePixels(before, after, name);
}

// Reads the original and its de-interlaced copy side by side: the copy must be the
// original in every byte apart from its images' interlace flags and their LZW data, and
// those images must hold the original's pixels.
Status CheckKeepsEverything(const fs::path& original, const fs::path& copy, const fs::path& name) {
  const Status lost = Status::Corrupt("The de-interlaced copy of " + name.string() +
                                      " would not keep everything of it; it is left as it is");
  FilePtr old_file(std::fopen(original.c_str(), "rb"));
  FilePtr new_file(std::fopen(copy.c_str(), "rb"));
  if (!old_file || !new_file) return lost;
  GifRecordReader old_reader(old_file.get(), original);
  GifRecordReader new_reader(new_file.get(), copy);
  std::vector<std::uint8_t> old_start;
  std::vector<std::uint8_t> new_start;
  if (!old_reader.ReadStart(&old_start).ok() || !new_reader.ReadStart(&new_start).ok() ||
      old_start != new_start) {
    return lost;
  }
  GifRecord before;
  GifRecord after;
  do {
    if (!old_reader.ReadRecord(&before).ok() || !new_reader.ReadRecord(&after).ok() ||
        !KeepsRecord(before, after, name)) {
      return lost;
    }
  } while (before.record_kind != GifRecord::Kind::kTrailer);
  // giflib must read the copy as the GIF file it is, with no image left interlaced.
  int width = 0;
  int height = 0;
  const Result<bool> interlaced = IsGifInterlaced(copy);
  if (!GetGifSize(&width, &height, copy).ok() || !interlaced.ok() || *interlaced) {
    return Status::Corrupt("The de-interlaced copy of " + name.string() +
                           " does not read back as a non-interlaced GIF file");
  }
  return Status::OK();
}

Status Deinterlace(const fs::path& in_file, const fs::path& out_file) {
  Result<UserFileTarget> target = CheckUserFileRewrite(out_file, SymlinkRule::kRefuse);
  if (!target.ok()) return target.status();
  // Only a regular file is opened: a named pipe or a device would make the read wait.
  Status regular = RequireRegularFile(in_file);
  if (!regular.ok()) return regular;
  FilePtr in(std::fopen(in_file.c_str(), "rb"));
  if (!in) {
    return Status::NotFound("Cannot open " + in_file.string() + ": " + std::strerror(errno));
  }
  return ReplaceUserFileSafely(
      *target, [&](std::FILE* out) { return CopyDeinterlaced(in.get(), out, in_file); },
      // The original is still in place while its copy is checked, even when both have the
      // same name.
      [&](const fs::path& new_file) { return CheckKeepsEverything(in_file, new_file, in_file); });
}

}  // namespace

Status DeinterlaceGif(const fs::path& in_file, const fs::path& out_file) {
  Status done = Deinterlace(in_file, out_file);
  if (!done.ok()) ReportDetail(done.message());
  return done;
}

Status DeinterlaceGifInPlace(const fs::path& path) { return DeinterlaceGif(path, path); }

}  // namespace pix
