#include "picture/gifrecords.h"

#include <string>

namespace pix {
namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kColorTableFlag = 0x80;

// The bytes of the colour table that a packed byte announces: 3 for each of its
// 2^(size + 1) entries.
std::size_t ColorTableBytes(std::uint8_t packed) {
  if ((packed & kColorTableFlag) == 0) return 0;
  return 3u << ((packed & 0x07) + 1);
}

int Little16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

}  // namespace

bool GifRecordReader::Append(std::size_t count, std::vector<std::uint8_t>* out) {
  const std::size_t at = out->size();
  out->resize(at + count);
  const std::size_t got = count == 0 ? 0 : std::fread(out->data() + at, 1, count, file_);
  offset_ += got;
  if (got != count) {
    out->resize(at + got);
    return false;
  }
  return true;
}

Status GifRecordReader::CutShort() const {
  if (std::ferror(file_)) return Status::IoError("Cannot read " + name_.string());
  return Status::Corrupt(name_.string() + " ends in the middle of its GIF data (at byte " +
                         std::to_string(offset_) + ")");
}

Status GifRecordReader::ReadStart(std::vector<std::uint8_t>* bytes) {
  bytes->clear();
  // The signature "GIF" and a version of three bytes, then the screen descriptor: width,
  // height, packed byte, background colour, aspect ratio.
  if (!Append(13, bytes)) return CutShort();
  if ((*bytes)[0] != 'G' || (*bytes)[1] != 'I' || (*bytes)[2] != 'F') {
    return Status::Corrupt(name_.string() + " is not a GIF file");
  }
  if (!Append(ColorTableBytes((*bytes)[10]), bytes)) return CutShort();
  return Status::OK();
}

Status GifRecordReader::ReadSubBlocks(std::vector<std::uint8_t>* out) {
  for (;;) {
    const std::size_t at = out->size();
    if (!Append(1, out)) return CutShort();
    const std::size_t length = (*out)[at];
    if (length == 0) return Status::OK();
    if (!Append(length, out)) return CutShort();
  }
}

Status GifRecordReader::ReadRecord(GifRecord* record) {
  record->head.clear();
  record->body.clear();
  record->left = record->top = record->width = record->height = 0;
  record->interlaced = false;
  if (!Append(1, &record->head)) return CutShort();
  const std::uint8_t introducer = record->head[0];
  if (introducer == kExtensionIntroducer) {
    record->record_kind = GifRecord::Kind::kExtension;
    if (!Append(1, &record->head)) return CutShort();  // The label.
    return ReadSubBlocks(&record->body);
  }
  if (introducer == kImageSeparator) {
    record->record_kind = GifRecord::Kind::kImage;
    // Left, top, width, height (16 bits each, low byte first) and the packed byte.
    if (!Append(9, &record->head)) return CutShort();
    const std::uint8_t* descriptor = record->head.data() + 1;
    record->left = Little16(descriptor);
    record->top = Little16(descriptor + 2);
    record->width = Little16(descriptor + 4);
    record->height = Little16(descriptor + 6);
    const std::uint8_t packed = descriptor[8];
    record->interlaced = (packed & kGifInterlaceFlag) != 0;
    if (!Append(ColorTableBytes(packed), &record->head)) return CutShort();
    if (!Append(1, &record->body)) return CutShort();  // The LZW minimum code size.
    return ReadSubBlocks(&record->body);
  }
  if (introducer == kTrailer) {
    record->record_kind = GifRecord::Kind::kTrailer;
    // Whatever follows the trailer is kept with it, in blocks, until the file ends.
    while (Append(64 * 1024, &record->head)) {
    }
    if (std::ferror(file_)) return Status::IoError("Cannot read " + name_.string());
    return Status::OK();
  }
  return Status::Corrupt(name_.string() + " holds an unknown GIF record at byte " +
                         std::to_string(offset_ - 1));
}

}  // namespace pix
