// The display decoder over any GIF bytes. Every byte of a loaded bitmap is read, so that a
// bitmap smaller than its header claims shows up as an overflow.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "picture/graphic.h"

// Where the sum of the bitmap goes, so that the reads are not optimised away.
volatile unsigned gSink = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const pix::TRasterPicture picture(pix::fuzz::WriteScratchFile("picture.gif", bytes));
  if (picture.GetStatus() != pix::kRasterLoaded) {
    Expect(picture.Bits() == nullptr, "a refused picture kept its bitmap");
    return 0;
  }
  Expect(picture.Width() > 0 && picture.Height() > 0, "a loaded picture without pixels");
  Expect(
      static_cast<std::int64_t>(picture.Width()) * picture.Height() <= pix::kMaxRasterPicturePixels,
      "a picture above the pixel cap loaded");
  unsigned sum = 0;
  for (std::size_t i = 0; i < picture.BitsSize(); ++i) sum += picture.Bits()[i];
  const int colors = 1 << picture.BitCount();
  std::vector<std::uint8_t> line(static_cast<std::size_t>(picture.Width()));
  picture.CopyIndexLine(picture.Height() - 1, line.data());
  for (const std::uint8_t index : line) Expect(index < colors, "an index outside the palette");
  gSink = sum;
  return 0;
}
