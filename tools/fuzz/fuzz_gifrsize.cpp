// The GIF resizer and de-interlacer over any bytes read by giflib. Whatever they write must
// be a GIF file that giflib reads whole, of the requested size, and not interlaced.
#include <gif_lib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "picture/gifrsize.h"

namespace {

// Reads the whole file with giflib; true when it is a GIF file of `width` x `height` with no
// interlaced image (and at least one image unless `mayHaveNoImage`).
bool ReadsAsGif(const std::filesystem::path& path, int width, int height,
                bool mayHaveNoImage = false) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) return false;
  const bool read =
      DGifSlurp(gif) == GIF_OK || (mayHaveNoImage && gif->Error == D_GIF_ERR_NO_IMAG_DSCR);
  const bool whole = read && gif->SWidth == width && gif->SHeight == height;
  bool interlaced = false;
  for (int i = 0; whole && i < gif->ImageCount; ++i)
    interlaced |= gif->SavedImages[i].ImageDesc.Interlace;
  DGifCloseFile(gif, &error);
  return whole && !interlaced;
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
  if (pix::DeinterlaceGif(in, flat).ok()) {
    // Images without pixels are left out of the copy, which may leave none.
    Expect(ReadsAsGif(flat, screenWidth, screenHeight, true), "a broken de-interlaced copy");
  } else {
    Expect(!std::filesystem::exists(flat), "a failed de-interlace left a file");
  }
  if (pix::ResizeGifToSize(width, height, in, out).ok()) {
    Expect(readable, "an unreadable file resized");
    Expect(ReadsAsGif(out, width, height), "a broken resized copy");
  } else {
    Expect(!std::filesystem::exists(out), "a failed resize left a file");
  }
  return 0;
}
