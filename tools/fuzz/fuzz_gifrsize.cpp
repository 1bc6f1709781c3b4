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
struct TReadBack {
  bool bReads = false;
  int Width = 0;
  int Height = 0;
  int Images = 0;
  bool bInterlaced = false;
};

TReadBack ReadBack(const std::filesystem::path& path) {
  TReadBack back;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) return back;
  back.bReads = DGifSlurp(gif) == GIF_OK || gif->Error == D_GIF_ERR_NO_IMAG_DSCR;
  back.Width = gif->SWidth;
  back.Height = gif->SHeight;
  back.Images = back.bReads ? gif->ImageCount : 0;
  for (int i = 0; i < back.Images; ++i) back.bInterlaced |= gif->SavedImages[i].ImageDesc.Interlace;
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

  int screenWidth = 0;
  int screenHeight = 0;
  const bool readable = pix::GetGifSize(&screenWidth, &screenHeight, in).ok();
  const TReadBack original = ReadBack(in);
  if (pix::DeinterlaceGif(in, flat).ok()) {
    // The copy keeps every record of the original, so it reads whenever the original does,
    // with as many images, at the same size and with no interlaced image.
    const TReadBack copy = ReadBack(flat);
    Expect(!original.bReads || copy.bReads, "a de-interlaced copy that giflib cannot read");
    Expect(!original.bReads || copy.Images == original.Images, "a copy with other images");
    Expect(copy.Width == screenWidth && copy.Height == screenHeight, "a copy of another size");
    Expect(!copy.bInterlaced, "an interlaced image left in the copy");
  } else {
    Expect(!std::filesystem::exists(flat), "a failed de-interlace left a file");
  }
  if (pix::ResizeGifToSize(width, height, in, out).ok()) {
    Expect(readable, "an unreadable file resized");
    const TReadBack resized = ReadBack(out);
    Expect(resized.bReads && resized.Images > 0 && !resized.bInterlaced, "a broken resized copy");
    Expect(resized.Width == width && resized.Height == height, "a resized copy of another size");
  } else {
    Expect(!std::filesystem::exists(out), "a failed resize left a file");
  }
  return 0;
}
