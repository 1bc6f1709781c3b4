#include "picture/webpio.h"

#include <webp/encode.h>
#include <webp/decode.h>
#include <webp/mux.h>

#include <memory>

namespace pix {
namespace {

struct TWebPFree {
  void operator()(std::uint8_t* bytes) const { WebPFree(bytes); }
};

struct TMuxDelete {
  void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

}  // namespace

Result<std::vector<std::uint8_t>> EncodeWebP(const TRgbPicture& Picture, int Quality,
                                             const std::filesystem::path& szName) {
  if (Picture.Width < 1 || Picture.Height < 1 || Picture.Width > WEBP_MAX_DIMENSION ||
      Picture.Height > WEBP_MAX_DIMENSION ||
      Picture.Pixels.size() != static_cast<std::size_t>(Picture.Width) * Picture.Height * 3) {
    return Status::InvalidArgument("No WebP file can be made of a picture of " +
                                   std::to_string(Picture.Width) + "x" +
                                   std::to_string(Picture.Height) + " pixels for " +
                                   szName.string());
  }
  const float quality = static_cast<float>(Quality < 1 ? 1 : (Quality > 100 ? 100 : Quality));
  std::uint8_t* encoded = nullptr;
  const std::size_t size = WebPEncodeRGB(Picture.Pixels.data(), Picture.Width, Picture.Height,
                                         Picture.Width * 3, quality, &encoded);
  const std::unique_ptr<std::uint8_t, TWebPFree> owned(encoded);
  if (size == 0 || encoded == nullptr) {
    return Status::IoError("libwebp could not encode the picture for " + szName.string());
  }
  if (Picture.IccProfile.empty()) return std::vector<std::uint8_t>(encoded, encoded + size);

  // The profile goes into the extended container beside the image.
  const std::unique_ptr<WebPMux, TMuxDelete> mux(WebPMuxNew());
  if (!mux) return Status::TooLarge("No memory for the WebP file of " + szName.string());
  const WebPData image{encoded, size};
  const WebPData profile{Picture.IccProfile.data(), Picture.IccProfile.size()};
  WebPData assembled;
  WebPDataInit(&assembled);
  if (WebPMuxSetImage(mux.get(), &image, 0) != WEBP_MUX_OK ||
      WebPMuxSetChunk(mux.get(), "ICCP", &profile, 0) != WEBP_MUX_OK ||
      WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
    WebPDataClear(&assembled);
    return Status::IoError("libwebp could not add the colour profile for " + szName.string());
  }
  std::vector<std::uint8_t> bytes(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return bytes;
}

Status GetWebPSize(const std::vector<std::uint8_t>& bytes, int* Width, int* Height) {
  *Width = *Height = 0;
  if (bytes.empty() || !WebPGetInfo(bytes.data(), bytes.size(), Width, Height)) {
    *Width = *Height = 0;
    return Status::Corrupt("not a WebP file");
  }
  return Status::OK();
}

}  // namespace pix
