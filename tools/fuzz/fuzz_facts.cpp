// The notes a run leaves for the next over any bytes: notes that are believed hold only
// texts the picture readers could have handed over, and write back as the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "fuzz_support.h"
#include "picture/comread.h"
#include "picture/metatext.h"
#include "site/factscache.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::unordered_map<std::string, pix::TNotedPicture> pictures;
  std::unordered_map<std::string, pix::TNotedPage> pages;
  if (!pix::TFactsCache::Parse(bytes, &pictures, &pages)) return 0;
  for (const auto& [path, picture] : pictures) {
    const int orientation = static_cast<int>(picture.Metadata.Exif.Orientation);
    Expect(orientation >= 1 && orientation <= 8, "an orientation outside 1 to 8");
    Expect(picture.Width > 0 && picture.Height > 0, "a picture without a size");
    Expect(picture.Metadata.XmpDescription.size() <= pix::kMaxMetadataTextLength,
           "a text longer than its cap");
    Expect(picture.szComments.size() < static_cast<std::size_t>(pix::MAX_COMMENTS_LENGTH),
           "a comment longer than its cap");
    Expect(picture.szComments.find('\0') == std::string::npos, "a NUL in a comment");
  }
  // What was believed is written back as it was read, apart from the order of the records.
  const std::string again = pix::TFactsCache::Serialize(pictures, pages);
  std::unordered_map<std::string, pix::TNotedPicture> pictures2;
  std::unordered_map<std::string, pix::TNotedPage> pages2;
  Expect(pix::TFactsCache::Parse(again, &pictures2, &pages2), "written notes not read back");
  Expect(pix::TFactsCache::Serialize(pictures2, pages2) == again, "notes changed on the way");
  return 0;
}
