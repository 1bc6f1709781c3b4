// The GIF resizer and de-interlacer over any bytes read by giflib. Whatever they write must
// be a GIF file that giflib reads whole, of the requested size, and not interlaced.
#include <gif_lib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "picture/gifrsize.h"

namespace {

// What giflib makes of a whole file (a file without images counts as read).
struct ReadBack {
  bool reads = false;
  int width = 0;
  int height = 0;
  int images = 0;
  bool interlaced = false;
};

ReadBack ReadBackFile(const std::filesystem::path& path) {
  ReadBack back;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) return back;
  back.reads = DGifSlurp(gif) == GIF_OK || gif->Error == D_GIF_ERR_NO_IMAG_DSCR;
  back.width = gif->SWidth;
  back.height = gif->SHeight;
  back.images = back.reads ? gif->ImageCount : 0;
  for (int i = 0; i < back.images; ++i) back.interlaced |= gif->SavedImages[i].ImageDesc.Interlace;
  DGifCloseFile(gif, &error);
  return back;
}

}  // namespace
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  // The first two bytes give the new size (1 to 256 each); the rest is the file.
  if (size < 2) return 0;
  const int width = data[0] + 1;
  const int height = data[1] + 1;
  const std::string_view file(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::filesystem::path in = pix::fuzz::WriteScratchFile("in.gif", file);
  const std::filesystem::path flat = pix::fuzz::ScratchDir() / "flat.gif";
  const std::filesystem::path out = pix::fuzz::ScratchDir() / "out.gif";
  pix::fuzz::RemoveScratchFile("flat.gif");
  pix::fuzz::RemoveScratchFile("out.gif");
  if (pix::fuzz::GifExceedsFuzzedPixels(in)) return 0;

  int screen_width = 0;
  int screen_height = 0;
  const bool readable = pix::GetGifSize(&screen_width, &screen_height, in).ok();
  const ReadBack original = ReadBackFile(in);
  if (pix::DeinterlaceGif(in, flat).ok()) {
    // The copy keeps every record of the original, so it reads whenever the original does,
    // with as many images, at the same size and with no interlaced image.
    const ReadBack copy = ReadBackFile(flat);
    Expect(!original.reads || copy.reads, "a de-interlaced copy that giflib cannot read");
    Expect(!original.reads || copy.images == original.images, "a copy with other images");
    Expect(copy.width == screen_width && copy.height == screen_height, "a copy of another size");
    Expect(!copy.interlaced, "an interlaced image left in the copy");
  } else {
    Expect(!std::filesystem::exists(flat), "a failed de-interlace left a file");
  }
  if (pix::ResizeGifToSize(width, height, in, out).ok()) {
    Expect(readable, "an unreadable file resized");
    const ReadBack resized = ReadBackFile(out);
    Expect(resized.reads && resized.images > 0 && !resized.interlaced, "a broken resized copy");
    Expect(resized.width == width && resized.height == height, "a resized copy of another size");
  } else {
    Expect(!std::filesystem::exists(out), "a failed resize left a file");
  }
  return 0;
}
