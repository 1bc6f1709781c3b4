#include "picture/inlinegif.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "base/check.h"
#include "files/utils.h"

namespace pix {
namespace {

// The GIF signature and logical screen descriptor: "GIF87a" or "GIF89a", the screen's width
// and height (little-endian), the packed fields, the background colour and the aspect.
constexpr std::size_t kGifHeaderSize = 13;

std::int64_t WriteTimeNs(const struct stat& info) {
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

}  // namespace

bool IsInlineGifStale(const std::filesystem::path& szSourceFullFileName,
                      const std::filesystem::path& szImageFullFileName, int Width, int Height) {
  struct stat source;
  // A picture whose time cannot be read counts as older than any inline image.
  const std::int64_t sourceTime =
      ::stat(szSourceFullFileName.c_str(), &source) == 0 ? WriteTimeNs(source) : 0;
  return IsInlineGifStale(sourceTime, szImageFullFileName, Width, Height);
}

bool IsInlineGifStale(std::int64_t SourceWriteTimeNs,
                      const std::filesystem::path& szImageFullFileName, int Width, int Height) {
  PIX_CHECK(DoesStringEndMatch(szImageFullFileName.string(), ".gif"));
  const int fd = ::open(szImageFullFileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return true;
  struct stat info;
  unsigned char header[kGifHeaderSize];
  const bool plain = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  const bool older = plain && WriteTimeNs(info) < SourceWriteTimeNs;
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
  const int gifWidth = header[6] | header[7] << 8;
  const int gifHeight = header[8] | header[9] << 8;
  return std::abs(gifWidth - Width) > 2 || std::abs(gifHeight - Height) > 2;
}

}  // namespace pix
