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

  const std::string in = pix::fuzz::WriteScratchFile("in.jpg", file).string();
  const pix::Result<pix::JpegHeader> before = pix::ReadJpegHeader(in);
  Expect(before.ok(), "a written scratch file that cannot be opened");
  if (!before.ok()) return 0;
  const std::filesystem::path out = pix::fuzz::ScratchDir() / "out.jpg";
  pix::fuzz::RemoveScratchFile("out.jpg");
  if (pix::WriteJpegComment(in, out, comment).ok()) {
    pix::JpegHeaderMap map;
    const pix::Result<pix::JpegHeader> after = pix::ReadJpegHeader(out.string(), {&map, nullptr});
    Expect(after.ok(), "a written copy that cannot be opened");
    if (!after.ok()) return 0;
    if (!comment.empty()) {
      Expect(after->comments == pix::FilterCommentText(comment), "the new comment not read back");
    }
    Expect(map.RecordSegmentCount() <= 1, "an older caption kept");
    Expect(after->width == before->width && after->height == before->height,
           "frame size changed");
  } else {
    Expect(!std::filesystem::exists(out), "a failed write left an output file");
  }
  return 0;
}
