// The record structure of a GIF stream, read as its bytes stand in the file and without
// decoding anything: what a rewrite needs that must keep every byte it does not change.
//
// A GIF stream is a start (the signature, the logical screen descriptor and the global
// colour table) followed by records: extensions (0x21, a label and data sub-blocks),
// images (0x2C, a descriptor, a local colour table and LZW data in sub-blocks) and the
// trailer (0x3B). Every length is checked against what the file holds; a file cut short or
// holding an unknown record gives a status, never a read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/status.h"

namespace pix {

/// One record of a GIF stream, byte for byte.
struct GifRecord {
  enum class Kind { kExtension, kImage, kTrailer };
  Kind record_kind = Kind::kTrailer;
  /// Extension: the introducer 0x21 and the label. Image: the separator 0x2C, the nine
  /// descriptor bytes and the local colour table. Trailer: 0x3B and every byte that follows
  /// it in the file, which belongs to the file as much as the rest.
  std::vector<std::uint8_t> head;
  /// Extension: the data sub-blocks with their length bytes and the terminating zero.
  /// Image: the LZW minimum code size, the data sub-blocks and the terminating zero.
  /// Trailer: empty.
  std::vector<std::uint8_t> body;
  // Of an image, from its descriptor.
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
};

/// Where an image's packed descriptor byte stands in its Head, and its interlace flag.
inline constexpr std::size_t kGifImagePackedByte = 9;
inline constexpr std::uint8_t kGifInterlaceFlag = 0x40;

class GifRecordReader {
 public:
  /// Reads from `file`, which stays owned by the caller; `name` names it in messages.
  GifRecordReader(std::FILE* file, std::filesystem::path name)
      : file_(file), name_(std::move(name)) {}

  /// Reads the start of the stream: signature, screen descriptor and global colour table.
  Status ReadStart(std::vector<std::uint8_t>* bytes);

  /// Reads the next record. The trailer is the last one; after it there is none.
  Status ReadRecord(GifRecord* record);

 private:
  bool Append(std::size_t count, std::vector<std::uint8_t>* out);
  Status ReadSubBlocks(std::vector<std::uint8_t>* out);
  Status CutShort() const;

  std::FILE* file_;  // Owned by the caller.
  std::filesystem::path name_;
  std::uint64_t offset_ = 0;
};

}  // namespace pix
