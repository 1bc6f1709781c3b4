// A picture tree of good pictures and every kind of bad one, shared by the bad-input test
// and the tool that measures a run over it (tools/fuzz/make_badinput_tree).
//
// Bad JPEG files: cut off in the header, zero bytes, garbage, a frame header that claims
// 65500 x 65500 pixels, 12-bit samples, the lossless process. Bad GIF files: cut off before
// the image, a 34-byte file that claims a 65535 x 65535 image, an LZW code size of 15, an
// image of no pixels, no image at all, no GIF at all. Good pictures: plain, progressive,
// grey, CMYK and arithmetic-coded JPEG files, and GIF files plain and interlaced.
#pragma once

#include <string>
#include <vector>

#include "support/picture_builder.h"

namespace pix::test {

struct TreeFile {
  std::string name;    ///< Path inside the tree.
  std::string bytes;   ///< The file's contents.
  bool good = false;  ///< Whether the run must make a page and an inline image for it.
};

/// The offset of the marker FF `code` in a JPEG file, or npos.
inline std::size_t FindJpegMarker(const std::string& jpeg, int code) {
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (static_cast<unsigned char>(jpeg[i]) == 0xFF &&
        static_cast<unsigned char>(jpeg[i + 1]) == code) {
      return i;
    }
  }
  return std::string::npos;
}

/// A baseline JPEG whose frame header is changed by `patch` (given the offset of FF C0).
template <typename Patch>
std::string PatchedFrame(const std::string& jpeg, Patch patch) {
  std::string bytes = jpeg;
  patch(bytes, FindJpegMarker(bytes, 0xC0));
  return bytes;
}

inline std::vector<TreeFile> BadInputTree() {
  const PixelArt art = GradientArt(48, 32);
  const std::string jpeg = MakeJpeg(art);
  JpegOptions options;
  std::vector<TreeFile> files;
  files.push_back({"good/plain.jpg", jpeg, true});
  options.kind = JpegKind::kProgressive;
  files.push_back({"good/progressive.jpg", MakeJpeg(art, options), true});
  options.kind = JpegKind::kGrey;
  files.push_back({"good/grey.jpg", MakeJpeg(art, options), true});
  options.kind = JpegKind::kCmyk;
  files.push_back({"good/cmyk.jpg", MakeJpeg(art, options), true});
  options = {};
  options.arithmetic = true;
  files.push_back({"good/arithmetic.jpg", MakeJpeg(art, options), true});
  files.push_back({"good/flat.gif",
                   MakeGif(SimpleGif(5, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14})),
                   true});
  GifPicture interlaced = SimpleGif(4, 9, std::vector<std::uint8_t>(36, 5));
  interlaced.frames[0].interlace = true;
  files.push_back({"good/interlaced.gif", MakeGif(interlaced), true});

  files.push_back({"bad/zero-size.jpg", "", false});
  files.push_back({"bad/garbage.jpg", "this is no picture at all", false});
  files.push_back({"bad/cut-in-header.jpg", jpeg.substr(0, FindJpegMarker(jpeg, 0xC0) + 6), false});
  files.push_back({"bad/corrupt-after-soi.jpg", "\xFF\xD8\xFF\xC0\x00\x02\xFF\xFF garbage", false});
  files.push_back({"bad/enormous.jpg",
                   PatchedFrame(jpeg,
                                [](std::string& b, std::size_t at) {
                                  b[at + 5] = b[at + 7] =
                                      '\xFF';  // Height and width 65500 and more.
                                  b[at + 6] = b[at + 8] = '\xDC';
                                }),
                   false});
  files.push_back({"bad/twelve-bit.jpg",
                   PatchedFrame(jpeg,
                                [](std::string& b, std::size_t at) {
                                  b[at + 1] = '\xC1';  // Extended sequential,
                                  b[at + 4] = 12;      // 12-bit samples.
                                }),
                   false});
  files.push_back({"bad/lossless.jpg",
                   PatchedFrame(jpeg,
                                [](std::string& b, std::size_t at) {
                                  b[at + 1] = '\xC3';  // The lossless process.
                                }),
                   false});

  const std::string gif = MakeGif(SimpleGif(5, 3, std::vector<std::uint8_t>(15, 3)));
  files.push_back({"bad/cut-short.gif", gif.substr(0, gif.size() / 2), false});
  files.push_back({"bad/not-a-gif.gif", "GIF? no, a text file", false});
  files.push_back({"bad/huge-screen.gif", HugeGif(), false});
  files.push_back({"bad/code-size-15.gif",
                   Bytes({'G',  'I',  'F',  '8',  '9',  'a', 4, 0, 2, 0,    0x80, 0, 0,  //
                          0,    0,    0,    255,  255,  255,                             //
                          0x2C, 0,    0,    0,    0,    4,   0, 2, 0, 0x00,              //
                          0x0F, 0x02, 0xFF, 0xFF, 0x00, 0x3B}),
                   false});
  files.push_back({"bad/no-pixels.gif",
                   Bytes({'G',  'I',  'F',  '8',  '9',  'a', 4, 0, 2, 0,    0x80, 0, 0,  //
                          0,    0,    0,    255,  255,  255,                             //
                          0x2C, 0,    0,    0,    0,    0,   0, 0, 0, 0x00,              //
                          0x02, 0x02, 0x44, 0x01, 0x00, 0x3B}),
                   false});
  files.push_back({"bad/no-image.gif",
                   Bytes({'G', 'I', 'F', '8', '9', 'a', 4,   0, 2, 0, 0x80, 0, 0,  //
                          0,   0,   0,   255, 255, 255, 0x3B}),
                   false});
  return files;
}

}  // namespace pix::test
