// Full-colour inline images over any bytes, read as a JPEG or a GIF picture: a picture that
// converts must give a JPEG or WebP file of exactly the size asked for, turned as asked;
// anything else must fail without leaving a file. Its inputs are those of fuzz_decjpeg.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "picture/comread.h"
#include "picture/gifrsize.h"
#include "picture/webimage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pix::fuzz::Expect;
  // The first two bytes give the size (1 to 64 each, from their low six bits), the format
  // (bit 6 of the first: WebP), the source (bit 7 of the first: GIF) and the orientation
  // (the top two bits of the second); the rest is the picture.
  if (size < 2) return 0;
  const int width = data[0] % 64 + 1;
  const int height = data[1] % 64 + 1;
  const bool webp = (data[0] & 0x40) != 0;
  const bool gif = (data[0] & 0x80) != 0;
  const pix::Orientation turns[] = {pix::Orientation::kNormal, pix::Orientation::kRotate180,
                                     pix::Orientation::kRotate90, pix::Orientation::kTransverse};
  const std::string_view file(reinterpret_cast<const char*>(data + 2), size - 2);
  pix::WebImageRequest request;
  request.source = pix::fuzz::WriteScratchFile(gif ? "picture.gif" : "picture.jpg", file);
  request.source_is_jpeg = !gif;
  request.format = webp ? pix::WebImageFormat::kWebP : pix::WebImageFormat::kJpeg;
  request.target = pix::fuzz::ScratchDir() / (webp ? "inline.webp" : "inline.jpg");
  request.width = width;
  request.height = height;
  request.orientation = turns[data[1] >> 6];
  pix::fuzz::RemoveScratchFile(webp ? "inline.webp" : "inline.jpg");
  int source_width = 0;
  int source_height = 0;
  if (gif) {
    if (!pix::GetGifSize(&source_width, &source_height, request.source).ok()) {
      source_width = source_height = 0;
    }
    if (pix::fuzz::GifExceedsFuzzedPixels(request.source)) {
      pix::fuzz::RemoveScratchFile("picture.gif");
      return 0;
    }
  } else if (const pix::Result<pix::JpegHeader> header =
                 pix::ReadJpegHeader(request.source.string());
             header.ok()) {
    source_width = header->width;
    source_height = header->height;
  }
  if (pix::fuzz::ExceedsFuzzedPixels(source_width, source_height)) {
    pix::fuzz::RemoveScratchFile(gif ? "picture.gif" : "picture.jpg");
    return 0;
  }

  if (pix::MakeWebImage(request).ok()) {
    int got_width = 0;
    int got_height = 0;
    Expect(pix::GetWebImageSize(request.target, &got_width, &got_height).ok(),
           "an unreadable inline image");
    Expect(got_width == width && got_height == height, "an inline image of the wrong size");
  } else {
    Expect(!std::filesystem::exists(request.target), "a failed conversion left a file");
  }
  pix::fuzz::RemoveScratchFile(webp ? "inline.webp" : "inline.jpg");
  pix::fuzz::RemoveScratchFile(gif ? "picture.gif" : "picture.jpg");
  std::error_code ec;
  int files = 0;
  for (auto it = std::filesystem::directory_iterator(pix::fuzz::ScratchDir(), ec);
       it != std::filesystem::directory_iterator(); ++it) {
    ++files;
  }
  Expect(files == 0, "a temporary file left behind");
  return 0;
}
