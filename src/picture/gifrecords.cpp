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

bool TGifRecordReader::Append(std::size_t count, std::vector<std::uint8_t>* out) {
  const std::size_t at = out->size();
  out->resize(at + count);
  const std::size_t got = count == 0 ? 0 : std::fread(out->data() + at, 1, count, File);
  Offset += got;
  if (got != count) {
    out->resize(at + got);
    return false;
  }
  return true;
}

Status TGifRecordReader::CutShort() const {
  if (std::ferror(File)) return Status::IoError("Cannot read " + Name.string());
  return Status::Corrupt(Name.string() + " ends in the middle of its GIF data (at byte " +
                         std::to_string(Offset) + ")");
}

Status TGifRecordReader::ReadStart(std::vector<std::uint8_t>* bytes) {
  bytes->clear();
  // The signature "GIF" and a version of three bytes, then the screen descriptor: width,
  // height, packed byte, background colour, aspect ratio.
  if (!Append(13, bytes)) return CutShort();
  if ((*bytes)[0] != 'G' || (*bytes)[1] != 'I' || (*bytes)[2] != 'F') {
    return Status::Corrupt(Name.string() + " is not a GIF file");
  }
  if (!Append(ColorTableBytes((*bytes)[10]), bytes)) return CutShort();
  return Status::OK();
}

Status TGifRecordReader::ReadSubBlocks(std::vector<std::uint8_t>* out) {
  for (;;) {
    const std::size_t at = out->size();
    if (!Append(1, out)) return CutShort();
    const std::size_t length = (*out)[at];
    if (length == 0) return Status::OK();
    if (!Append(length, out)) return CutShort();
  }
}

Status TGifRecordReader::ReadRecord(TGifRecord* record) {
  record->Head.clear();
  record->Body.clear();
  record->Left = record->Top = record->Width = record->Height = 0;
  record->bInterlaced = false;
  if (!Append(1, &record->Head)) return CutShort();
  const std::uint8_t introducer = record->Head[0];
  if (introducer == kExtensionIntroducer) {
    record->RecordKind = TGifRecord::Kind::kExtension;
    if (!Append(1, &record->Head)) return CutShort();  // The label.
    return ReadSubBlocks(&record->Body);
  }
  if (introducer == kImageSeparator) {
    record->RecordKind = TGifRecord::Kind::kImage;
    // Left, top, width, height (16 bits each, low byte first) and the packed byte.
    if (!Append(9, &record->Head)) return CutShort();
    const std::uint8_t* descriptor = record->Head.data() + 1;
    record->Left = Little16(descriptor);
    record->Top = Little16(descriptor + 2);
    record->Width = Little16(descriptor + 4);
    record->Height = Little16(descriptor + 6);
    const std::uint8_t packed = descriptor[8];
    record->bInterlaced = (packed & kGifInterlaceFlag) != 0;
    if (!Append(ColorTableBytes(packed), &record->Head)) return CutShort();
    if (!Append(1, &record->Body)) return CutShort();  // The LZW minimum code size.
    return ReadSubBlocks(&record->Body);
  }
  if (introducer == kTrailer) {
    record->RecordKind = TGifRecord::Kind::kTrailer;
    // Whatever follows the trailer is kept with it, in blocks, until the file ends.
    while (Append(64 * 1024, &record->Head)) {
    }
    if (std::ferror(File)) return Status::IoError("Cannot read " + Name.string());
    return Status::OK();
  }
  return Status::Corrupt(Name.string() + " holds an unknown GIF record at byte " +
                         std::to_string(Offset - 1));
}

}  // namespace pix
