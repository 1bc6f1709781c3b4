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
std::atomic<int> gDeinterlacedImageCount{0};

struct TFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

struct TMapFreer {
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
Result<TGifImageRows> DecodeImage(const TGifRecord& image, const fs::path& name) {
  std::vector<std::uint8_t> wrapped = {'G', 'I', 'F', '8', '9', 'a'};
  PutLittle16(wrapped, image.Width);
  PutLittle16(wrapped, image.Height);
  wrapped.insert(wrapped.end(), {0x00, 0x00, 0x00});  // No colour table, background, aspect.
  wrapped.push_back(0x2C);
  PutLittle16(wrapped, 0);
  PutLittle16(wrapped, 0);
  PutLittle16(wrapped, image.Width);
  PutLittle16(wrapped, image.Height);
  wrapped.push_back(image.bInterlaced ? kGifInterlaceFlag : 0x00);
  wrapped.insert(wrapped.end(), image.Body.begin(), image.Body.end());
  wrapped.push_back(0x3B);
  TGifBytes bytes{wrapped.data(), wrapped.size()};
  Result<TGifReadHandle> in = OpenGifInMemory(&bytes);
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
Result<std::vector<std::uint8_t>> EncodeImage(const TGifImageRows& rows, int width, int height,
                                              int codeSize, const fs::path& name) {
  std::vector<std::uint8_t> encoded;
  {
    Result<TGifWriter> writer = TGifWriter::OpenBuffer(&encoded);
    if (!writer.ok()) return writer.status();
    GifFileType* out = writer->Gif();
    const std::unique_ptr<ColorMapObject, TMapFreer> table(
        GifMakeMapObject(1 << codeSize, nullptr));
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
  TFilePtr file(::fmemopen(encoded.data(), encoded.size(), "rb"));
  if (!file) return GifOutOfMemory(name);
  TGifRecordReader reader(file.get(), name);
  std::vector<std::uint8_t> start;
  TGifRecord record;
  if (!reader.ReadStart(&start).ok() || !reader.ReadRecord(&record).ok() ||
      record.RecordKind != TGifRecord::Kind::kImage) {
    return Status::Corrupt("The de-interlaced image of " + name.string() +
                           " could not be encoded; the picture is left as it is");
  }
  return std::move(record.Body);
}

// Makes `image` non-interlaced: clears its flag and gives it LZW data with the lines in
// order. An image without pixels has no lines to reorder and keeps its data as they are.
Status PutLinesInOrder(TGifRecord& image, const fs::path& name) {
  image.Head[kGifImagePackedByte] &= static_cast<std::uint8_t>(~kGifInterlaceFlag);
  if (image.Width < 1 || image.Height < 1) return Status::OK();
  const int codeSize = image.Body[0];
  if (codeSize < 1 || codeSize > 8) {
    // giflib would read codes of up to 11 bits into 8-bit pixels; such data cannot be
    // written again as it was meant.
    return Status::Corrupt(name.string() + " holds an image with the LZW code size " +
                           std::to_string(codeSize) + "; it is left as it is");
  }
  Result<TGifImageRows> rows = DecodeImage(image, name);
  if (!rows.ok()) return rows.status();
  image.bInterlaced = false;
  Result<std::vector<std::uint8_t>> data =
      EncodeImage(*rows, image.Width, image.Height, codeSize, name);
  if (!data.ok()) return data.status();
  image.Body = std::move(data).value();
  return Status::OK();
}

Status CopyDeinterlaced(std::FILE* in, std::FILE* out, const fs::path& name) {
  TGifRecordReader reader(in, name);
  std::vector<std::uint8_t> start;
  Status read = reader.ReadStart(&start);
  if (!read.ok()) return read;
  Status written = WriteBytes(out, start);
  TGifRecord record;
  while (written.ok()) {
    read = reader.ReadRecord(&record);
    if (!read.ok()) return read;
    if (record.RecordKind == TGifRecord::Kind::kImage) {
      if (record.bInterlaced) {
        Status ordered = PutLinesInOrder(record, name);
        if (!ordered.ok()) return ordered;
      }
      if (record.Width > 0 && record.Height > 0) {
        PrintGifImageProgress(++gDeinterlacedImageCount, record.Left, record.Top, record.Width,
                              record.Height);
      }
    }
    written = WriteBytes(out, record.Head);
    if (written.ok()) written = WriteBytes(out, record.Body);
    if (record.RecordKind == TGifRecord::Kind::kTrailer) break;
  }
  return written;
}

// Whether two images hold the same pixels in the same places.
bool SamePixels(const TGifRecord& before, const TGifRecord& after, const fs::path& name) {
  Result<TGifImageRows> old = DecodeImage(before, name);
  Result<TGifImageRows> now = DecodeImage(after, name);
  return old.ok() && now.ok() &&
         std::memcmp(old->get(), now->get(),
                     static_cast<std::size_t>(before.Width) * before.Height) == 0;
}

// Whether the record `after` of the copy keeps everything of the original's `before`.
bool KeepsRecord(const TGifRecord& before, const TGifRecord& after, const fs::path& name) {
  if (before.RecordKind != after.RecordKind) return false;
  if (before.RecordKind != TGifRecord::Kind::kImage) {
    return before.Head == after.Head && before.Body == after.Body;
  }
  std::vector<std::uint8_t> expectedHead = before.Head;
  expectedHead[kGifImagePackedByte] &= static_cast<std::uint8_t>(~kGifInterlaceFlag);
  if (after.Head != expectedHead) return false;
  if (!before.bInterlaced || before.Width < 1 || before.Height < 1) {
    return before.Body == after.Body;
  }
  return SamePixels(before, after, name);
}

// Reads the original and its de-interlaced copy side by side: the copy must be the
// original in every byte apart from its images' interlace flags and their LZW data, and
// those images must hold the original's pixels.
Status CheckKeepsEverything(const fs::path& original, const fs::path& copy, const fs::path& name) {
  const Status lost = Status::Corrupt("The de-interlaced copy of " + name.string() +
                                      " would not keep everything of it; it is left as it is");
  TFilePtr oldFile(std::fopen(original.c_str(), "rb"));
  TFilePtr newFile(std::fopen(copy.c_str(), "rb"));
  if (!oldFile || !newFile) return lost;
  TGifRecordReader oldReader(oldFile.get(), original);
  TGifRecordReader newReader(newFile.get(), copy);
  std::vector<std::uint8_t> oldStart;
  std::vector<std::uint8_t> newStart;
  if (!oldReader.ReadStart(&oldStart).ok() || !newReader.ReadStart(&newStart).ok() ||
      oldStart != newStart) {
    return lost;
  }
  TGifRecord before;
  TGifRecord after;
  do {
    if (!oldReader.ReadRecord(&before).ok() || !newReader.ReadRecord(&after).ok() ||
        !KeepsRecord(before, after, name)) {
      return lost;
    }
  } while (before.RecordKind != TGifRecord::Kind::kTrailer);
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

Status Deinterlace(const fs::path& szInFile, const fs::path& szOutFile) {
  Result<UserFileTarget> target = CheckUserFileRewrite(szOutFile, SymlinkRule::kRefuse);
  if (!target.ok()) return target.status();
  // Only a regular file is opened: a named pipe or a device would make the read wait.
  Status regular = RequireRegularFile(szInFile);
  if (!regular.ok()) return regular;
  TFilePtr in(std::fopen(szInFile.c_str(), "rb"));
  if (!in) {
    return Status::NotFound("Cannot open " + szInFile.string() + ": " + std::strerror(errno));
  }
  return ReplaceUserFileSafely(
      *target, [&](std::FILE* out) { return CopyDeinterlaced(in.get(), out, szInFile); },
      // The original is still in place while its copy is checked, even when both have the
      // same name.
      [&](const fs::path& newFile) { return CheckKeepsEverything(szInFile, newFile, szInFile); });
}

}  // namespace

Status DeinterlaceGif(const fs::path& szInFile, const fs::path& szOutFile) {
  Status done = Deinterlace(szInFile, szOutFile);
  if (!done.ok()) ReportDetail(done.message());
  return done;
}

Status DeinterlaceGifInPlace(const fs::path& path) { return DeinterlaceGif(path, path); }

}  // namespace pix
