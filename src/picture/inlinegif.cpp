#include "picture/inlinegif.h"

#include <cstdlib>

#include "base/check.h"
#include "files/utils.h"
#include "picture/gifrsize.h"

namespace pix {

bool IsInlineGifStale(const std::filesystem::path& szSourceFullFileName,
                      const std::filesystem::path& szImageFullFileName, int Width, int Height) {
  PIX_CHECK(DoesStringEndMatch(szImageFullFileName.string(), ".gif"));
  const auto gifTime = GetFileWriteTime(szImageFullFileName);
  if (!gifTime) return true;
  const auto sourceTime = GetFileWriteTime(szSourceFullFileName);
  if (sourceTime && *gifTime < *sourceTime) return true;
  int gifWidth = 0;
  int gifHeight = 0;
  // A GIF that cannot be read is made again like a missing one.
  if (!GetGifSize(&gifWidth, &gifHeight, szImageFullFileName).ok()) return true;
  return std::abs(gifWidth - Width) > 2 || std::abs(gifHeight - Height) > 2;
}

}  // namespace pix
