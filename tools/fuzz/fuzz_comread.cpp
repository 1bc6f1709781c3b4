// The JPEG marker walk and comment reader over any bytes: the frame size and comment of a
// file, and the comment text filter on its own.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "picture/comread.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const pix::Result<pix::JpegHeader> read =
      pix::ReadJpegHeader(pix::fuzz::WriteScratchFile("picture.jpg", bytes).string());
  Expect(read.ok(), "a written scratch file that cannot be opened");
  if (!read.ok()) return 0;
  const pix::JpegHeader& info = *read;
  Expect(info.comments.size() < static_cast<std::size_t>(pix::kMaxCommentsLength),
         "a comment longer than kMaxCommentsLength");
  Expect(info.width >= 0 && info.height >= 0, "a negative frame size");

  // The filter hands over no control characters but tab and CR LF, and always ends in CR LF.
  const std::string text = pix::FilterCommentText(bytes);
  Expect(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0,
         "filtered text without its closing CR LF");
  Expect(text.size() < static_cast<std::size_t>(pix::kMaxCommentsLength),
         "filtered text too long");
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    Expect(byte == '\t' || byte == '\r' || byte == '\n' || (byte >= 0x20 && byte != 0x7f),
           "a dropped byte kept");
  }
  return 0;
}
