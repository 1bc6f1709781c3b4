// The JPEG inline image conversion over any bytes, with either palette: a picture that
// converts must give a GIF file of exactly the display size; anything else must fail
// without leaving a file.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "picture/comread.h"
#include "picture/inlinegif.h"
#include "picture/gifrsize.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  // The first two bytes give the display size (1 to 64 each) and, in the next bit of the
  // first, the way the colours are chosen; the rest is the picture.
  if (size < 2) return 0;
  const int width = data[0] % 64 + 1;
  const int height = data[1] % 64 + 1;
  pix::InlineGifOptions options;
  options.palette = (data[0] & 0x40) != 0 ? pix::InlinePalette::kMedianCut
                                          : pix::InlinePalette::kDither;
  const std::string_view file(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::filesystem::path in = pix::fuzz::WriteScratchFile("picture.jpg", file);
  const std::filesystem::path out = pix::fuzz::ScratchDir() / "inline.gif";
  pix::fuzz::RemoveScratchFile("inline.gif");
  const pix::Result<pix::JpegHeader> header = pix::ReadJpegHeader(in.string());
  if (header.ok() && pix::fuzz::ExceedsFuzzedPixels(header->width, header->height)) return 0;

  if (pix::MakeJpegInlineImage(in, out, width, height, options).ok()) {
    int got_width = 0;
    int got_height = 0;
    Expect(pix::GetGifSize(&got_width, &got_height, out).ok(), "an unreadable inline image");
    Expect(got_width == width && got_height == height, "an inline image of the wrong size");
  } else {
    Expect(!std::filesystem::exists(out), "a failed conversion left a file");
  }
  // Nothing but the picture may be left in the folder: no intermediate or temporary file.
  pix::fuzz::RemoveScratchFile("inline.gif");
  std::error_code ec;
  int files = 0;
  for (auto it = std::filesystem::directory_iterator(pix::fuzz::ScratchDir(), ec);
       it != std::filesystem::directory_iterator(); ++it) {
    ++files;
  }
  Expect(files == 1, "a temporary file left behind");
  return 0;
}
