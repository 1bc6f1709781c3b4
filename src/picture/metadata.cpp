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

class TMetadataWalk {
 public:
  explicit TMetadataWalk(std::FILE* file) : File(file) {}

  TJpegMetadataSegments Run() {
    if (std::getc(File) != 0xFF || std::getc(File) != 0xD8) return std::move(Segments);
    for (int segment = 0; segment < kMaxSegments; ++segment) {
      const int code = NextMarker();
      if (code < 0 || code == kMarkerSos || code == kMarkerEoi) break;
      if (IsStandaloneMarker(code)) continue;
      const int high = std::getc(File);
      const int low = std::getc(File);
      if (high == EOF || low == EOF) break;
      const long length = high * 256L + low;
      if (length < 2) break;
      if (!ReadSegment(code, static_cast<std::size_t>(length - 2))) break;
    }
    return std::move(Segments);
  }

 private:
  // The code of the next marker, passing over fill bytes and a few stray bytes; -1 at the
  // end of the file or after too many stray bytes.
  int NextMarker() {
    int byte = std::getc(File);
    for (int stray = 0; byte != 0xFF; ++stray) {
      if (byte == EOF || stray >= kMaxStrayBytes) return -1;
      byte = std::getc(File);
    }
    while (byte == 0xFF) byte = std::getc(File);
    return byte == EOF ? -1 : byte;
  }

  // Keeps or passes over a segment of `size` bytes; false when the file ends inside it.
  bool ReadSegment(int code, std::size_t size) {
    if (code != kMarkerApp1 && code != kMarkerApp13) return Skip(size);
    // The signature tells what the segment holds; only then is the rest worth reading.
    std::string head(std::min(size, kMetadataSignatureBytes), '\0');
    if (std::fread(head.data(), 1, head.size(), File) != head.size()) return false;
    const std::size_t rest = size - head.size();
    std::size_t signature = 0;
    std::string* keep = MetadataSegmentKeeper(Segments, code, head, size, &signature);
    if (keep == nullptr) return Skip(rest);
    const std::size_t start = keep->size();
    keep->append(head, signature);
    keep->resize(start + (head.size() - signature) + rest);
    if (std::fread(keep->data() + keep->size() - rest, 1, rest, File) != rest) {
      keep->resize(start);  // A cut segment is not kept.
      return false;
    }
    return true;
  }

  // Short segments (tables, a JFIF header) are read past within the stream's buffer, which
  // costs no system call; only a long one is passed over by seeking.
  bool Skip(std::size_t size) {
    if (size == 0) return true;
    if (size > kReadPastLimit) return std::fseek(File, static_cast<long>(size), SEEK_CUR) == 0;
    char scratch[kReadPastLimit];
    return std::fread(scratch, 1, size, File) == size;
  }

  static constexpr std::size_t kReadPastLimit = 4096;

  std::FILE* File;  // Owned by the caller.
  TJpegMetadataSegments Segments;
};

}  // namespace

std::string* MetadataSegmentKeeper(TJpegMetadataSegments& segments, int code,
                                   std::string_view head, std::size_t size,
                                   std::size_t* signature) {
  static_assert(kXmpSignature.size() == kMetadataSignatureBytes);
  *signature = 0;
  if (code == kMarkerApp1 && segments.Exif.empty() && StartsWith(head, kExifSignature)) {
    return &segments.Exif;
  }
  if (code == kMarkerApp1 && segments.Xmp.empty() && head == kXmpSignature) {
    *signature = kXmpSignature.size();
    return &segments.Xmp;
  }
  if (code == kMarkerApp13 && StartsWith(head, kPhotoshopSignature) && !segments.bPhotoshopFull) {
    // Once one segment cannot be kept, the later ones would only be pieces without their
    // start.
    segments.bPhotoshopFull = segments.Photoshop.size() + size > kMaxPhotoshopResourceBytes;
    if (segments.bPhotoshopFull) return nullptr;
    *signature = kPhotoshopSignature.size();
    return &segments.Photoshop;
  }
  return nullptr;
}

TJpegMetadataSegments ReadJpegMetadataSegments(const std::filesystem::path& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return TJpegMetadataSegments();
  // One read takes in the usual header whole.
  std::setvbuf(file.get(), nullptr, _IOFBF, 64 * 1024);
  return TMetadataWalk(file.get()).Run();
}

TPictureMetadata ParseJpegMetadata(const TJpegMetadataSegments& segments) {
  TPictureMetadata metadata;
  metadata.Exif = ReadExifInfo(segments.Exif);
  metadata.XmpDescription = XmpDescriptionOf(segments.Xmp);
  metadata.IptcCaption = IptcCaptionOf(segments.Photoshop);
  return metadata;
}

TPictureMetadata ReadJpegMetadata(const std::filesystem::path& path) {
  return ParseJpegMetadata(ReadJpegMetadataSegments(path));
}

}  // namespace pix
