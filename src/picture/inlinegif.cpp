#include "picture/inlinegif.h"

#include <cstdlib>

#include "base/check.h"
#include "files/utils.h"
#include "picture/gifrsize.h"
#include "picture/webimage.h"

namespace pix {

bool IsInlineGifStale(const std::filesystem::path& szSourceFullFileName,
                      const std::filesystem::path& szImageFullFileName, int Width, int Height) {
  PIX_CHECK(DoesStringEndMatch(szImageFullFileName.string(), ".gif"));
  return IsInlineImageStale(szSourceFullFileName, szImageFullFileName, Width, Height);
}

bool IsInlineImageStale(const std::filesystem::path& szSourceFullFileName,
                        const std::filesystem::path& szImageFullFileName, int Width, int Height) {
  const auto gifTime = GetFileWriteTime(szImageFullFileName);
  if (!gifTime) return true;
  const auto sourceTime = GetFileWriteTime(szSourceFullFileName);
  if (sourceTime && *gifTime < *sourceTime) return true;
  int gifWidth = 0;
  int gifHeight = 0;
  // An image that cannot be read is made again like a missing one.
  if (!GetWebImageSize(szImageFullFileName, &gifWidth, &gifHeight).ok()) return true;
  return std::abs(gifWidth - Width) > 2 || std::abs(gifHeight - Height) > 2;
}

}  // namespace pix
