#include "picture/metadata.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>

#include "picture/metatext.h"

namespace pix {
namespace {

constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerApp13 = 0xED;
constexpr int kMarkerSos = 0xDA;
constexpr int kMarkerEoi = 0xD9;

constexpr std::string_view kExifSignature("Exif\0\0", 6);
constexpr std::string_view kXmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
constexpr std::string_view kPhotoshopSignature("Photoshop 3.0\0", 14);

// A header has a few dozen segments; a file with thousands is damaged or made to waste
// time, and so is one with long runs of bytes between its segments.
constexpr int kMaxSegments = 4096;
constexpr int kMaxStrayBytes = 4096;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Markers that stand alone, without a length: TEM, the restart markers and SOI.
bool IsStandaloneMarker(int code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD8); }

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

class MetadataWalk {
 public:
  explicit MetadataWalk(std::FILE* file) : file_(file) {}

  JpegMetadataSegments Run() {
    if (std::getc(file_) != 0xFF || std::getc(file_) != 0xD8) return std::move(segments_);
    for (int segment = 0; segment < kMaxSegments; ++segment) {
      const int code = NextMarker();
      if (code < 0 || code == kMarkerSos || code == kMarkerEoi) break;
      if (IsStandaloneMarker(code)) continue;
      const int high = std::getc(file_);
      const int low = std::getc(file_);
      if (high == EOF || low == EOF) break;
      const long length = high * 256L + low;
      if (length < 2) break;
      if (!ReadSegment(code, static_cast<std::size_t>(length - 2))) break;
    }
    return std::move(segments_);
  }

 private:
  // The code of the next marker, passing over fill bytes and a few stray bytes; -1 at the
  // end of the file or after too many stray bytes.
  int NextMarker() {
    int byte = std::getc(file_);
    for (int stray = 0; byte != 0xFF; ++stray) {
      if (byte == EOF || stray >= kMaxStrayBytes) return -1;
      byte = std::getc(file_);
    }
    while (byte == 0xFF) byte = std::getc(file_);
    return byte == EOF ? -1 : byte;
  }

  // Keeps or passes over a segment of `size` bytes; false when the file ends inside it.
  bool ReadSegment(int code, std::size_t size) {
    if (code != kMarkerApp1 && code != kMarkerApp13) return Skip(size);
    // The signature tells what the segment holds; only then is the rest worth reading.
    std::string head(std::min(size, kMetadataSignatureBytes), '\0');
    if (std::fread(head.data(), 1, head.size(), file_) != head.size()) return false;
    const std::size_t rest = size - head.size();
    std::size_t signature = 0;
    std::string* keep = MetadataSegmentKeeper(segments_, code, head, size, &signature);
    if (keep == nullptr) return Skip(rest);
    const std::size_t start = keep->size();
    keep->append(head, signature);
    keep->resize(start + (head.size() - signature) + rest);
    if (std::fread(keep->data() + keep->size() - rest, 1, rest, file_) != rest) {
      keep->resize(start);  // A cut segment is not kept.
      return false;
    }
    return true;
  }

  // Short segments (tables, a JFIF header) are read past within the stream's buffer, which
  // costs no system call; only a long one is passed over by seeking.
  bool Skip(std::size_t size) {
    if (size == 0) return true;
    if (size > kReadPastLimit) return std::fseek(file_, static_cast<long>(size), SEEK_CUR) == 0;
    char scratch[kReadPastLimit];
    return std::fread(scratch, 1, size, file_) == size;
  }

  static constexpr std::size_t kReadPastLimit = 4096;

  std::FILE* file_;  // Owned by the caller.
  JpegMetadataSegments segments_;
};

}  // namespace

std::string* MetadataSegmentKeeper(JpegMetadataSegments& segments, int code,
                                   std::string_view head, std::size_t size,
                                   std::size_t* signature) {
  static_assert(kXmpSignature.size() == kMetadataSignatureBytes);
  *signature = 0;
  if (code == kMarkerApp1 && StartsWith(head, kExifSignature) && !segments.exif_full) {
    segments.exif_full = segments.exif.size() + size > kMaxExifBytes;
    if (segments.exif_full) return nullptr;
    // A later segment continues the data of the first: its signature is left out.
    if (!segments.exif.empty()) *signature = kExifSignature.size();
    return &segments.exif;
  }
  if (code == kMarkerApp1 && segments.xmp.empty() && head == kXmpSignature) {
    *signature = kXmpSignature.size();
    return &segments.xmp;
  }
  if (code == kMarkerApp13 && StartsWith(head, kPhotoshopSignature) && !segments.photoshop_full) {
    // Once one segment cannot be kept, the later ones would only be pieces without their
    // start.
    segments.photoshop_full = segments.photoshop.size() + size > kMaxPhotoshopResourceBytes;
    if (segments.photoshop_full) return nullptr;
    *signature = kPhotoshopSignature.size();
    return &segments.photoshop;
  }
  return nullptr;
}

JpegMetadataSegments ReadJpegMetadataSegments(const std::filesystem::path& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return JpegMetadataSegments();
  // One read takes in the usual header whole.
  std::setvbuf(file.get(), nullptr, _IOFBF, 64 * 1024);
  return MetadataWalk(file.get()).Run();
}

PictureMetadata ParseJpegMetadata(const JpegMetadataSegments& segments) {
  PictureMetadata metadata;
  metadata.exif = ReadExifInfo(segments.exif);
  metadata.xmp_description = XmpDescriptionOf(segments.xmp);
  metadata.iptc_caption = IptcCaptionOf(segments.photoshop);
  return metadata;
}

PictureMetadata ReadJpegMetadata(const std::filesystem::path& path) {
  return ParseJpegMetadata(ReadJpegMetadataSegments(path));
}

}  // namespace pix
