#include "picture/inlinegif.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "base/check.h"
#include "base/filetime.h"
#include "files/utils.h"
#include "picture/gifrsize.h"
#include "picture/webimage.h"

namespace pix {
namespace {

// The GIF signature and logical screen descriptor: "GIF87a" or "GIF89a", the screen's width
// and height (little-endian), the packed fields, the background colour and the aspect.
constexpr std::size_t kGifHeaderSize = 13;

}  // namespace

bool IsInlineGifStale(const std::filesystem::path& szSourceFullFileName,
                      const std::filesystem::path& szImageFullFileName, int Width, int Height) {
  PIX_CHECK(DoesStringEndMatch(szImageFullFileName.string(), ".gif"));
  return IsInlineImageStale(szSourceFullFileName, szImageFullFileName, Width, Height);
}

bool IsInlineImageStale(const std::filesystem::path& szSourceFullFileName,
                        const std::filesystem::path& szImageFullFileName, int Width, int Height) {
  struct stat source;
  // A picture whose time cannot be read counts as older than any inline image.
  const std::int64_t sourceTime =
      ::stat(szSourceFullFileName.c_str(), &source) == 0 ? TimeNs(source.st_mtim) : 0;
  return IsInlineImageStale(sourceTime, szImageFullFileName, Width, Height);
}

bool IsInlineImageStale(std::int64_t SourceWriteTimeNs,
                        const std::filesystem::path& szImageFullFileName, int Width, int Height) {
  int width = 0;
  int height = 0;
  if (WebImageFormatOf(szImageFullFileName) == TWebImageFormat::kGif) {
    const int fd = ::open(szImageFullFileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return true;
    struct stat info;
    unsigned char header[kGifHeaderSize];
    const bool plain = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const bool older = plain && TimeNs(info.st_mtim) < SourceWriteTimeNs;
    const ssize_t got = plain && !older ? ::read(fd, header, sizeof header) : -1;
    ::close(fd);
    // A GIF that cannot be read is made again like a missing one.
    if (got != static_cast<ssize_t>(sizeof header) ||
        (std::memcmp(header, "GIF87a", 6) != 0 && std::memcmp(header, "GIF89a", 6) != 0)) {
      return true;
    }
    // A colour table that the file cannot hold whole marks a cut file.
    const long long tableSize = (header[10] & 0x80) != 0 ? 3LL << ((header[10] & 0x07) + 1) : 0;
    if (static_cast<long long>(info.st_size) < static_cast<long long>(kGifHeaderSize) + tableSize) {
      return true;
    }
    width = header[6] | header[7] << 8;
    height = header[8] | header[9] << 8;
  } else {
    struct stat info;
    if (::stat(szImageFullFileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        TimeNs(info.st_mtim) < SourceWriteTimeNs) {
      return true;
    }
    // An image that cannot be read is made again like a missing one.
    if (!GetWebImageSize(szImageFullFileName, &width, &height).ok()) return true;
  }
  return std::abs(width - Width) > 2 || std::abs(height - Height) > 2;
}

}  // namespace pix
