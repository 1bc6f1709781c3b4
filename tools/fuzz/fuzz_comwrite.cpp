// The comment writer over any JPEG bytes and any comment: WriteJpegComment, whose output must
// read back with the new text and the old frame size, and keep no older caption.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "picture/comread.h"
#include "picture/comwrite.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  // The first byte gives the length of the comment, which follows; the rest is the file.
  if (size < 1) return 0;
  const std::size_t comment_size = std::min<std::size_t>(data[0], size - 1);
  const std::string_view comment(reinterpret_cast<const char*>(data + 1), comment_size);
  const std::string_view file(reinterpret_cast<const char*>(data + 1 + comment_size),
                              size - 1 - comment_size);

  pix::FileImageInfo before;
  before.file_name = pix::fuzz::WriteScratchFile("in.jpg", file).string();
  pix::ReadJpegImageInfo(&before);
  const std::filesystem::path out = pix::fuzz::ScratchDir() / "out.jpg";
  pix::fuzz::RemoveScratchFile("out.jpg");
  if (pix::WriteJpegComment(before.file_name, out, comment).ok()) {
    pix::FileImageInfo after;
    after.file_name = out.string();
    pix::JpegHeaderMap map;
    pix::ReadJpegHeaderMap(&after, &map);
    if (!comment.empty()) {
      Expect(after.comments == pix::FilterCommentText(comment), "the new comment not read back");
    }
    Expect(map.RecordSegmentCount() <= 1, "an older caption kept");
    Expect(after.width == before.width && after.height == before.height, "frame size changed");
  } else {
    Expect(!std::filesystem::exists(out), "a failed write left an output file");
  }
  return 0;
}
