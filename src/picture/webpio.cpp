#include "picture/webpio.h"

#include <webp/encode.h>
#include <webp/decode.h>
#include <webp/mux.h>

#include <memory>

namespace pix {
namespace {

struct WebPDeleter {
  void operator()(std::uint8_t* bytes) const { WebPFree(bytes); }
};

struct MuxDelete {
  void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

}  // namespace

Result<std::vector<std::uint8_t>> EncodeWebP(const RgbPicture& picture, int requested_quality,
                                             const std::filesystem::path& name) {
  if (picture.width < 1 || picture.height < 1 || picture.width > WEBP_MAX_DIMENSION ||
      picture.height > WEBP_MAX_DIMENSION ||
      picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height * 3) {
    return Status::InvalidArgument("No WebP file can be made of a picture of " +
                                   std::to_string(picture.width) + "x" +
                                   std::to_string(picture.height) + " pixels for " +
                                   name.string());
  }
  const float quality = static_cast<float>(requested_quality < 1 ? 1 : (requested_quality > 100 ? 100 : requested_quality));
  std::uint8_t* encoded = nullptr;
  const std::size_t size = WebPEncodeRGB(picture.pixels.data(), picture.width, picture.height,
                                         picture.width * 3, quality, &encoded);
  const std::unique_ptr<std::uint8_t, WebPDeleter> owned(encoded);
  if (size == 0 || encoded == nullptr) {
    return Status::IoError("libwebp could not encode the picture for " + name.string());
  }
  if (picture.icc_profile.empty()) return std::vector<std::uint8_t>(encoded, encoded + size);

  // The profile goes into the extended container beside the image.
  const std::unique_ptr<WebPMux, MuxDelete> mux(WebPMuxNew());
  if (!mux) return Status::TooLarge("No memory for the WebP file of " + name.string());
  const WebPData image{encoded, size};
  const WebPData profile{picture.icc_profile.data(), picture.icc_profile.size()};
  WebPData assembled;
  WebPDataInit(&assembled);
  if (WebPMuxSetImage(mux.get(), &image, 0) != WEBP_MUX_OK ||
      WebPMuxSetChunk(mux.get(), "ICCP", &profile, 0) != WEBP_MUX_OK ||
      WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
    WebPDataClear(&assembled);
    return Status::IoError("libwebp could not add the colour profile for " + name.string());
  }
  std::vector<std::uint8_t> bytes(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return bytes;
}

Status GetWebPSize(const std::vector<std::uint8_t>& bytes, int* width, int* height) {
  *width = *height = 0;
  if (bytes.empty() || !WebPGetInfo(bytes.data(), bytes.size(), width, height)) {
    *width = *height = 0;
    return Status::Corrupt("not a WebP file");
  }
  return Status::OK();
}

}  // namespace pix
