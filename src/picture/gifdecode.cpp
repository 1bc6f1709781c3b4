// The GIF loader of TRasterPicture: finds the first image of a GIF file and decodes its
// LZW data into the bottom-up 8-bit bitmap.
//
// Every read is checked: a file cut short anywhere gives a status, never a read past the
// data. The decoder writes each finished line into its row of the bitmap and drops the
// pixels that come after the last line, so no file can make it write outside the bitmap.
// Every loop consumes input, so every file ends in a status.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "picture/graphic.h"

namespace pix {

namespace {

struct TFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Buffered byte input from a file. A read error counts as the end of the file and is
// remembered, so that the loader can tell a damaged disk from a damaged file.
class TByteReader {
 public:
  explicit TByteReader(std::FILE* file) : file_(file) {}

  // The next byte, or -1 at the end of the file.
  int ReadByte() {
    if (pos_ == len_ && !Fill()) return -1;
    return buffer_[pos_++];
  }

  // Reads up to `count` bytes into `out`; returns how many were read.
  std::size_t Read(std::uint8_t* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
      if (pos_ == len_ && !Fill()) break;
      const std::size_t take = std::min(count - done, len_ - pos_);
      std::memcpy(out + done, buffer_ + pos_, take);
      pos_ += take;
      done += take;
    }
    return done;
  }

  // Passes over up to `count` bytes; false when the file ends first.
  bool Skip(std::size_t count) {
    while (count > 0) {
      if (pos_ == len_ && !Fill()) return false;
      const std::size_t take = std::min(count, len_ - pos_);
      pos_ += take;
      count -= take;
    }
    return true;
  }

  bool ReadError() const { return error_; }

 private:
  bool Fill() {
    if (error_) return false;
    len_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    pos_ = 0;
    if (len_ == 0 && std::ferror(file_)) error_ = true;
    return len_ > 0;
  }

  std::FILE* file_;
  std::uint8_t buffer_[64 * 1024];
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  bool error_ = false;
};

int Little16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

constexpr int kMaxLzwCodes = 4096;
constexpr int kMaxLzwBits = 12;

}  // namespace

// Decodes one GIF file into a TRasterPicture. Lives only for one load.
class TGifDecoder {
 public:
  explicit TGifDecoder(TRasterPicture& picture) : picture_(picture) {}

  std::int16_t Load();

 private:
  std::int16_t ReadColorTable(int bits);
  std::int16_t FindFirstImage();
  bool SkipSubBlocks();
  std::int16_t ReadImageDescriptor();
  std::int16_t DecodeImage(int minimumCodeSize);
  std::int16_t ReadCode(int width, int* code);
  std::int16_t NextDataByte(int* byte);
  void PutPixels(const std::uint8_t* reversed, int count);
  void NextLine();

  TRasterPicture& picture_;
  TByteReader* reader_ = nullptr;

  // The current data sub-block: up to 255 bytes and the read position in it.
  std::uint8_t block_[255] = {};
  int blockLength_ = 0;
  int blockPos_ = 0;
  // Bits read from the data but not yet taken as a code, least significant first.
  std::uint32_t bitBuffer_ = 0;
  int bitCount_ = 0;

  // Where the next pixel goes: its column, its picture line (0 at the top), the interlace
  // pass, and whether every line has been filled.
  int x_ = 0;
  int y_ = 0;
  int pass_ = 0;
  bool interlaced_ = false;
  bool imageFull_ = false;
  std::uint8_t* row_ = nullptr;
};

std::int16_t TGifDecoder::Load() {
  std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(picture_.szFileName.c_str(), "rb"));
  if (!file) return kRasterCannotOpen;
  TByteReader reader(file.get());
  reader_ = &reader;

  std::int16_t result = kRasterLoaded;
  if (reader.Read(picture_.GifHeader.data(), 13) < 13 ||
      std::memcmp(picture_.GifHeader.data(), "GIF", 3) != 0) {
    result = kRasterNotGif;
  } else {
    const std::uint8_t* screen = picture_.GifHeader.data();
    picture_.SetPictureSize(Little16(screen + 6), Little16(screen + 8), 8);
    const int packed = screen[10];
    picture_.ColorBits = (packed & 7) + 1;
    picture_.Palette.fill(TPaletteColor{});
    if (packed & 0x80) result = ReadColorTable(picture_.ColorBits);
    if (result == kRasterLoaded) result = FindFirstImage();
    if (result == kRasterLoaded) result = ReadImageDescriptor();
    if (result == kRasterLoaded) {
      const int minimumCodeSize = reader.ReadByte();
      if (minimumCodeSize < 0) {
        result = kRasterCutShort;
      } else if (minimumCodeSize < 2 || minimumCodeSize > 8) {
        result = kRasterBadCodeSize;
      } else {
        result = DecodeImage(minimumCodeSize);
      }
    }
  }
  // A file that could not be read to its end is a file that cannot be read, whatever the
  // decoder made of the part it saw.
  if (result != kRasterLoaded && reader.ReadError()) result = kRasterCannotOpen;
  reader_ = nullptr;
  return result;
}

std::int16_t TGifDecoder::ReadColorTable(int bits) {
  std::uint8_t table[3 * 256];
  const std::size_t count = std::size_t{1} << bits;
  if (reader_->Read(table, 3 * count) < 3 * count) return kRasterCutShort;
  for (std::size_t i = 0; i < count; ++i) {
    picture_.Palette[i] = TPaletteColor{table[3 * i], table[3 * i + 1], table[3 * i + 2]};
  }
  return kRasterLoaded;
}

// Reads blocks until an image descriptor's separator. Every extension is skipped by its
// sub-blocks: for the well-formed graphic control (4 bytes), plain text (12 bytes) and
// application (11 bytes) extensions that is exactly their fixed part and their data, and
// an extension whose fixed part has an unusual length is still skipped whole.
std::int16_t TGifDecoder::FindFirstImage() {
  for (;;) {
    const int byte = reader_->ReadByte();
    if (byte <= 0) return kRasterNoImage;
    if (byte == 0x2C) return kRasterLoaded;
    if (byte == 0x21) {
      if (reader_->ReadByte() < 0) return kRasterNoImage;  // the label
      if (!SkipSubBlocks()) return kRasterNoImage;
    }
    // Any other byte is passed over.
  }
}

bool TGifDecoder::SkipSubBlocks() {
  for (;;) {
    const int count = reader_->ReadByte();
    if (count < 0) return false;
    if (count == 0) return true;
    if (!reader_->Skip(static_cast<std::size_t>(count))) return false;
  }
}

std::int16_t TGifDecoder::ReadImageDescriptor() {
  std::uint8_t* descriptor = picture_.ImageDescriptor.data();
  if (reader_->Read(descriptor, 9) < 9) return kRasterCutShort;
  // Left and top are ignored: the first image is shown at the top left, at its own size.
  const int width = Little16(descriptor + 4);
  const int height = Little16(descriptor + 6);
  const int packed = descriptor[8];
  picture_.ColorBits = (packed & 7) + 1;
  picture_.SetPictureSize(width, height, 8);
  interlaced_ = (packed & 0x40) != 0;
  if (packed & 0x80) {
    picture_.Palette.fill(TPaletteColor{});
    const std::int16_t result = ReadColorTable(picture_.ColorBits);
    if (result != kRasterLoaded) return result;
  }
  if (width == 0 || height == 0) return kRasterEmptyImage;
  if (std::int64_t{width} * height > kMaxRasterPicturePixels) return kRasterTooLarge;
  return kRasterLoaded;
}

std::int16_t TGifDecoder::NextDataByte(int* byte) {
  if (blockPos_ == blockLength_) {
    // A zero count here is an empty sub-block before the end code; a count whose bytes
    // the file does not hold leaves the bytes it does hold to be decoded first.
    const int count = reader_->ReadByte();
    if (count <= 0) return kRasterCutShort;
    blockLength_ = static_cast<int>(reader_->Read(block_, static_cast<std::size_t>(count)));
    blockPos_ = 0;
    if (blockLength_ == 0) return kRasterCutShort;
  }
  *byte = block_[blockPos_++];
  return kRasterLoaded;
}

std::int16_t TGifDecoder::ReadCode(int width, int* code) {
  while (bitCount_ < width) {
    int byte = 0;
    const std::int16_t result = NextDataByte(&byte);
    if (result != kRasterLoaded) return result;
    bitBuffer_ |= static_cast<std::uint32_t>(byte) << bitCount_;
    bitCount_ += 8;
  }
  *code = static_cast<int>(bitBuffer_ & ((1u << width) - 1));
  bitBuffer_ >>= width;
  bitCount_ -= width;
  return kRasterLoaded;
}

// Moves to the next picture line after one is complete. An interlaced image sends its
// lines in four passes: every 8th line from 0, every 8th from 4, every 4th from 2, every
// 2nd from 1; a pass that starts below the last line is left out.
void TGifDecoder::NextLine() {
  static constexpr int kPassStart[4] = {0, 4, 2, 1};
  static constexpr int kPassStep[4] = {8, 8, 4, 2};
  const int height = picture_.Height();
  if (interlaced_) {
    y_ += kPassStep[pass_];
    while (y_ >= height && pass_ < 3) {
      ++pass_;
      y_ = kPassStart[pass_];
    }
  } else {
    ++y_;
  }
  x_ = 0;
  if (y_ >= height) {
    imageFull_ = true;
    row_ = nullptr;
  } else {
    row_ = picture_.Bitmap.get() + picture_.Stride * static_cast<std::size_t>(height - 1 - y_);
  }
}

// Outputs a string held last character first. Pixels after the last line are dropped.
void TGifDecoder::PutPixels(const std::uint8_t* reversed, int count) {
  const int width = picture_.Width();
  while (count > 0 && !imageFull_) {
    row_[x_++] = reversed[--count];
    if (x_ == width) NextLine();
  }
}

std::int16_t TGifDecoder::DecodeImage(int minimumCodeSize) {
  const std::size_t size = picture_.Stride * static_cast<std::size_t>(picture_.Height());
  picture_.Bitmap.reset(static_cast<std::uint8_t*>(std::calloc(size, 1)));
  if (!picture_.Bitmap) return kRasterNoMemory;
  y_ = 0;
  pass_ = 0;
  x_ = 0;
  imageFull_ = false;
  row_ = picture_.Bitmap.get() + picture_.Stride * static_cast<std::size_t>(picture_.Height() - 1);

  // The string table: entry i is the string of entry prefix[i] followed by suffix[i].
  // A prefix is always a smaller code than its entry, so following prefixes ends, and a
  // string is at most kMaxLzwCodes characters long (one more for a code that names the
  // entry being made).
  auto prefix = std::make_unique<std::uint16_t[]>(kMaxLzwCodes);
  auto suffix = std::make_unique<std::uint8_t[]>(kMaxLzwCodes);
  auto stack = std::make_unique<std::uint8_t[]>(kMaxLzwCodes + 1);

  const int clearCode = 1 << minimumCodeSize;
  const int endCode = clearCode + 1;
  int nextFree = clearCode + 2;
  int width = minimumCodeSize + 1;
  int previous = -1;
  int previousFirst = 0;

  for (;;) {
    int code = 0;
    const std::int16_t result = ReadCode(width, &code);
    if (result != kRasterLoaded) return result;
    if (code == clearCode) {
      nextFree = clearCode + 2;
      width = minimumCodeSize + 1;
      previous = -1;
      continue;
    }
    if (code == endCode) return kRasterLoaded;
    if (code > nextFree) return kRasterBadCode;

    int depth = 0;
    int current = code;
    if (code == nextFree) {
      // The entry about to be made: the previous string and its own first character.
      if (previous < 0) return kRasterNoPreviousCode;
      stack[depth++] = static_cast<std::uint8_t>(previousFirst);
      current = previous;
    }
    while (current >= clearCode + 2) {
      stack[depth++] = suffix[current];
      current = prefix[current];
    }
    // What is left is a single character: a code below the clear code.
    stack[depth++] = static_cast<std::uint8_t>(current);
    const int first = current;
    PutPixels(stack.get(), depth);

    if (previous >= 0 && nextFree < kMaxLzwCodes) {
      prefix[nextFree] = static_cast<std::uint16_t>(previous);
      suffix[nextFree] = static_cast<std::uint8_t>(first);
      ++nextFree;
      if (nextFree >= (1 << width) && width < kMaxLzwBits) ++width;
    }
    previous = code;
    previousFirst = first;
  }
}

void TRasterPicture::LoadGif() {
  TGifDecoder decoder(*this);
  status = decoder.Load();
  if (status != kRasterLoaded) Bitmap.reset();
}

}  // namespace pix
