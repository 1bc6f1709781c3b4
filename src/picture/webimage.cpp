#include "picture/webimage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "base/check.h"
#include "base/safereplace.h"
#include "files/utils.h"
#include "picture/comread.h"
#include "picture/gifimage.h"
#include "picture/gifio.h"
#include "picture/gifrsize.h"
#include "picture/webpio.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

// sRGB's transfer curve: the light of each 8-bit value, and back.
const std::array<float, 256>& LinearOf() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> values{};
    for (int i = 0; i < 256; ++i) {
      const double v = i / 255.0;
      values[i] = static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    return values;
  }();
  return table;
}

// Light back to 8-bit sRGB values, rounded to the nearest: the value v is taken from the
// light halfway between the values v - 1 and v on, so a value is found by comparing with
// these thresholds. A table over kEncodeSteps equal steps of light gives the value at the
// start of each step, and one comparison with the next threshold settles it: the curve is
// steepest in the deepest shadows, 12.92 x 255 values for all the light, so a step of
// 1/8192 spans less than half a value and holds at most one threshold.
constexpr int kEncodeSteps = 8192;

struct TEncodeTables {
  std::array<float, 257> Threshold{};  // Threshold[v]: the least light that codes as v.
  std::array<std::uint8_t, kEncodeSteps + 1> StartOf{};
};

const TEncodeTables& EncodeTables() {
  static const TEncodeTables tables = [] {
    TEncodeTables t;
    t.Threshold[0] = -1.0f;
    for (int v = 1; v <= 255; ++v) {
      const double coded = (v - 0.5) / 255.0;
      t.Threshold[v] = static_cast<float>(
          coded <= 0.04045 ? coded / 12.92 : std::pow((coded + 0.055) / 1.055, 2.4));
    }
    t.Threshold[256] = 2.0f;  // Past all light: nothing codes above 255.
    int v = 0;
    for (int i = 0; i <= kEncodeSteps; ++i) {
      const float light = static_cast<float>(i) / kEncodeSteps;
      while (light >= t.Threshold[v + 1]) ++v;
      t.StartOf[i] = static_cast<std::uint8_t>(v);
    }
    return t;
  }();
  return tables;
}

inline std::uint8_t Encode(const TEncodeTables& tables, float light) {
  if (!(light > 0.0f)) return 0;
  if (light >= 1.0f) return 255;
  const int v = tables.StartOf[static_cast<int>(light * kEncodeSteps)];
  return static_cast<std::uint8_t>(v + (light >= tables.Threshold[v + 1] ? 1 : 0));
}

// The input pixels that make one output pixel along one direction, with their weights.
struct TCoverage {
  int First = 0;
  std::vector<float> Weights;  // Summing to 1.
};

// Lanczos' windowed sinc with three lobes.
double Lanczos3(double x) {
  x = std::fabs(x);
  if (x < 1e-9) return 1.0;
  if (x >= 3.0) return 0.0;
  const double pi = 3.14159265358979323846;
  return 3.0 * std::sin(pi * x) * std::sin(pi * x / 3.0) / (pi * pi * x * x);
}

// The weights of each output pixel: Lanczos3 stretched over as many input pixels as one
// output pixel covers when reducing, so that every input pixel counts (an area-weighted
// average with a sharper edge than a plain box), and at its own width when enlarging.
// Input pixels past the edges repeat the edge pixel.
std::vector<TCoverage> CoverageOf(int inSize, int outSize) {
  std::vector<TCoverage> result(static_cast<std::size_t>(outSize));
  const double scale = static_cast<double>(inSize) / outSize;
  const double stretch = std::max(1.0, scale);
  const double support = 3.0 * stretch;
  for (int o = 0; o < outSize; ++o) {
    const double centre = (o + 0.5) * scale - 0.5;
    const int first = static_cast<int>(std::floor(centre - support)) + 1;
    const int last = static_cast<int>(std::ceil(centre + support)) - 1;
    std::vector<double> weights(static_cast<std::size_t>(last - first + 1));
    double total = 0.0;
    for (int i = first; i <= last; ++i) {
      const double w = Lanczos3((i - centre) / stretch);
      weights[static_cast<std::size_t>(i - first)] = w;
      total += w;
    }
    // Pixels beyond an edge are the edge pixel again: their weights go to it.
    TCoverage& c = result[static_cast<std::size_t>(o)];
    c.First = std::max(0, first);
    const int end = std::min(inSize - 1, last);
    c.Weights.assign(static_cast<std::size_t>(end - c.First + 1), 0.0f);
    for (int i = first; i <= last; ++i) {
      const int at = std::clamp(i, 0, inSize - 1) - c.First;
      c.Weights[static_cast<std::size_t>(at)] +=
          static_cast<float>(weights[static_cast<std::size_t>(i - first)] / total);
    }
  }
  return result;
}

}  // namespace

// The size of the image file `path`, read as `format` whatever its name says.
Status ImageSizeAs(TWebImageFormat format, const fs::path& path, int* Width, int* Height);

TWebImageFormat WebImageFormatOf(const fs::path& path) {
  const std::string ext = path.extension().string();
  if (EqualsNoCase(ext, ".jpg") || EqualsNoCase(ext, ".jpeg") || EqualsNoCase(ext, ".jpe")) {
    return TWebImageFormat::kJpeg;
  }
  if (EqualsNoCase(ext, ".webp")) return TWebImageFormat::kWebP;
  return TWebImageFormat::kGif;
}

Result<TRgbPicture> DecodeGifToRgb(const fs::path& path) {
  Result<TGifReadHandle> opened = OpenGifForReading(path);
  if (!opened.ok()) return opened.status();
  GifFileType* gif = opened->get();
  const int width = gif->SWidth;
  const int height = gif->SHeight;
  if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMaxRgbPicturePixels) {
    return Status::Corrupt(path.string() + ": a GIF screen of " + std::to_string(width) + "x" +
                           std::to_string(height) + " pixels cannot be converted");
  }
  TRgbPicture picture;
  picture.Width = width;
  picture.Height = height;
  picture.Pixels.assign(static_cast<std::size_t>(width) * height * 3, 255);
  int transparent = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return GifIoFailure(gif->Error, path);
    if (type == TERMINATE_RECORD_TYPE) {
      return Status::Corrupt(path.string() + ": the GIF file holds no image");
    }
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return GifIoFailure(gif->Error, path);
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        GraphicsControlBlock control;
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
          transparent = control.TransparentColor;
        }
      }
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return GifIoFailure(gif->Error, path);
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) return GifIoFailure(gif->Error, path);
    const GifImageDesc& image = gif->Image;
    Result<TGifImageRows> rows = ReadGifImageRows(gif, path);
    if (!rows.ok()) return rows.status();
    const ColorMapObject* map = image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap;
    for (int y = 0; y < image.Height; ++y) {
      const int py = image.Top + y;
      if (py < 0 || py >= height) continue;
      const GifPixelType* line = rows->get() + static_cast<std::size_t>(y) * image.Width;
      for (int x = 0; x < image.Width; ++x) {
        const int px = image.Left + x;
        if (px < 0 || px >= width) continue;
        const int index = line[x];
        if (index == transparent) continue;
        std::uint8_t* target = &picture.Pixels[(static_cast<std::size_t>(py) * width + px) * 3];
        if (map != nullptr && index < map->ColorCount) {
          target[0] = map->Colors[index].Red;
          target[1] = map->Colors[index].Green;
          target[2] = map->Colors[index].Blue;
        } else {
          // A file without colours: its indices read as grey levels.
          target[0] = target[1] = target[2] = static_cast<std::uint8_t>(index);
        }
      }
    }
    return picture;
  }
}

TRgbPicture ResampleInLinearLight(const TRgbPicture& picture, int width, int height) {
  TRgbPicture result;
  result.Width = width;
  result.Height = height;
  result.IccProfile = picture.IccProfile;
  result.Pixels.resize(static_cast<std::size_t>(width) * height * 3);
  const std::array<float, 256>& linear = LinearOf();
  const TEncodeTables& encode = EncodeTables();
  const std::vector<TCoverage> across = CoverageOf(picture.Width, width);
  const std::vector<TCoverage> down = CoverageOf(picture.Height, height);
  // Rows are narrowed as the output rows come to need them, and only the narrowed rows the
  // filter still reaches are kept, in a ring: the rows an output row needs start no earlier
  // than those of the row before, so a ring of as many rows as the widest reach holds them
  // all, and it stays in the processor's cache. Each input row is brought into linear light
  // once, four values a pixel (the fourth unused) so that the filter weighs a whole pixel in
  // one step.
  const std::size_t narrowedRow = static_cast<std::size_t>(width) * 3;
  std::size_t ringRows = 1;
  for (const TCoverage& c : down) ringRows = std::max(ringRows, c.Weights.size());
  std::unique_ptr<float[]> ring(new float[narrowedRow * ringRows]);
  auto ringRow = [&](std::size_t inputRow) {
    return ring.get() + (inputRow % ringRows) * narrowedRow;
  };
  std::vector<float> light(static_cast<std::size_t>(picture.Width) * 4, 0.0f);
  auto narrow = [&](std::size_t y) {
    const std::uint8_t* in = &picture.Pixels[y * picture.Width * 3];
    for (std::size_t x = 0; x < static_cast<std::size_t>(picture.Width); ++x) {
      for (std::size_t ch = 0; ch < 3; ++ch) light[x * 4 + ch] = linear[in[x * 3 + ch]];
    }
    float* out = ringRow(y);
    for (int x = 0; x < width; ++x) {
      const TCoverage& c = across[static_cast<std::size_t>(x)];
      const float* p = light.data() + static_cast<std::size_t>(c.First) * 4;
      const float* w = c.Weights.data();
      const std::size_t taps = c.Weights.size();
      float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
      for (std::size_t k = 0; k < taps; ++k, p += 4) {
        for (std::size_t ch = 0; ch < 4; ++ch) sum[ch] += w[k] * p[ch];
      }
      for (std::size_t ch = 0; ch < 3; ++ch) out[x * 3 + ch] = sum[ch];
    }
  };
  std::size_t narrowedRows = 0;  // Input rows narrowed so far, from the top.
  std::vector<float> row(narrowedRow);
  for (int y = 0; y < height; ++y) {
    const TCoverage& c = down[static_cast<std::size_t>(y)];
    const std::size_t first = static_cast<std::size_t>(c.First);
    while (narrowedRows < first + c.Weights.size()) narrow(narrowedRows++);
    std::fill(row.begin(), row.end(), 0.0f);
    for (std::size_t k = 0; k < c.Weights.size(); ++k) {
      const float* in = ringRow(first + k);
      const float w = c.Weights[k];
      for (std::size_t i = 0; i < narrowedRow; ++i) row[i] += w * in[i];
    }
    std::uint8_t* out = &result.Pixels[static_cast<std::size_t>(y) * narrowedRow];
    for (std::size_t i = 0; i < narrowedRow; ++i) out[i] = Encode(encode, row[i]);
  }
  return result;
}

TRgbPicture TurnUpright(const TRgbPicture& picture, TOrientation orientation) {
  if (orientation == TOrientation::kNormal) return picture;
  TRgbPicture result;
  const bool swap = SwapsSides(orientation);
  result.Width = swap ? picture.Height : picture.Width;
  result.Height = swap ? picture.Width : picture.Height;
  result.IccProfile = picture.IccProfile;
  result.Pixels.resize(picture.Pixels.size());
  TurnPixelBlocks(orientation, picture.Pixels.data(), picture.Width, picture.Height, 3,
                  result.Pixels.data());
  return result;
}

namespace {

Status RefuseSize(const TWebImageRequest& request) {
  if (request.Width < 1 || request.Height < 1 ||
      static_cast<long long>(request.Width) * request.Height > kMaxRgbPicturePixels) {
    return Status::InvalidArgument("No image of " + std::to_string(request.Width) + "x" +
                                   std::to_string(request.Height) + " can be made for " +
                                   request.Source.string());
  }
  return Status::OK();
}

// The size of the image `request` asks for as the picture is stored: the decoder and the
// resampler work on the stored picture, which is turned upright only once it is small.
int StoredWidth(const TWebImageRequest& request) {
  return SwapsSides(request.Orientation) ? request.Height : request.Width;
}
int StoredHeight(const TWebImageRequest& request) {
  return SwapsSides(request.Orientation) ? request.Width : request.Height;
}

// Turns `stored`, the image `request` asks for as the picture is stored, upright and writes
// it to the target.
Status WriteWebImage(const TWebImageRequest& request, const TRgbPicture& stored) {
  const bool turn = request.Orientation != TOrientation::kNormal;
  const TRgbPicture turned = turn ? TurnUpright(stored, request.Orientation) : TRgbPicture();
  const TRgbPicture& upright = turn ? turned : stored;
  // A new file replaces the old only when it reads back as an image of the wanted size.
  auto check = [&](const fs::path& newFile) -> Status {
    int width = 0;
    int height = 0;
    const Status read = ImageSizeAs(request.Format, newFile, &width, &height);
    if (!read.ok()) return read;
    if (width != upright.Width || height != upright.Height) {
      return Status::Corrupt(request.Target.string() + " did not come out at its size");
    }
    return Status::OK();
  };
  // The check is the last step before the rename, so the caller's hook runs after it, on
  // the file that is about to replace the old one.
  auto checkThenHook = [&](const fs::path& newFile) -> Status {
    Status checked = check(newFile);
    if (!checked.ok() || !request.before_replace) return checked;
    return request.before_replace(newFile);
  };
  if (request.Format == TWebImageFormat::kWebP) {
    Result<std::vector<std::uint8_t>> bytes =
        EncodeWebP(upright, request.Quality, request.Target);
    if (!bytes.ok()) return bytes.status();
    return ReplaceFileSafely(
        request.Target,
        [&](std::FILE* out) -> Status {
          if (std::fwrite(bytes->data(), 1, bytes->size(), out) != bytes->size()) {
            return Status::IoError("Cannot write " + request.Target.string());
          }
          return Status::OK();
        },
        checkThenHook, TempFileBeside::Durability::kUnsynced);
  }
  // A JPEG file needs no check of its own (the encoder fails rather than write a short one),
  // so the caller's hook takes the check's place, just before the rename.
  return ReplaceFileSafely(
      request.Target,
      [&](std::FILE* out) { return EncodeJpegRgb(upright, request.Quality, out, request.Target); },
      request.before_replace, TempFileBeside::Durability::kUnsynced);
}

}  // namespace

Status MakeWebImage(const TWebImageRequest& request) {
  return MakeWebImages({request}).front();
}

std::vector<Status> MakeWebImages(const std::vector<TWebImageRequest>& requests,
                                  std::vector<std::string>* damages) {
  std::vector<Status> outcomes(requests.size(), Status::OK());
  if (damages != nullptr) damages->assign(requests.size(), std::string());
  // The decode covers the largest image asked for; one of an impossible size is refused
  // on its own.
  int fitWidth = 0;
  int fitHeight = 0;
  bool wanted = false;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const TWebImageRequest& request = requests[i];
    PIX_CHECK(request.Source == requests.front().Source &&
              request.bSourceIsJpeg == requests.front().bSourceIsJpeg &&
              request.Orientation == requests.front().Orientation);
    outcomes[i] = RefuseSize(request);
    if (!outcomes[i].ok()) continue;
    wanted = true;
    fitWidth = std::max(fitWidth, StoredWidth(request));
    fitHeight = std::max(fitHeight, StoredHeight(request));
  }
  if (!wanted) return outcomes;
  const TWebImageRequest& first = requests.front();
  std::string damage;  // Stays empty for a GIF picture, which giflib reads whole or not at all.
  Result<TRgbPicture> decoded = first.bSourceIsJpeg
                                    ? DecodeJpegToRgb(first.Source, fitWidth, fitHeight, &damage)
                                    : DecodeGifToRgb(first.Source);
  // The largest image first: a smaller one is reduced from its pixels when they are at
  // least twice its size each way, which costs less than reducing the decoded picture
  // again and comes as close to an exact reduction (the large step has been taken in
  // linear light already, and the second filter works over two pixels and more).
  std::vector<std::size_t> order(requests.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return static_cast<long long>(requests[a].Width) * requests[a].Height >
           static_cast<long long>(requests[b].Width) * requests[b].Height;
  });
  TRgbPicture largest;  // The largest image made, as the picture is stored.
  for (const std::size_t i : order) {
    if (!outcomes[i].ok()) continue;
    if (!decoded.ok()) {
      outcomes[i] = decoded.status();
      continue;
    }
    if (damages != nullptr) (*damages)[i] = damage;
    const int width = StoredWidth(requests[i]);
    const int height = StoredHeight(requests[i]);
    const bool fromLargest = largest.Width >= 2 * width && largest.Height >= 2 * height;
    TRgbPicture stored = ResampleInLinearLight(fromLargest ? largest : *decoded, width, height);
    outcomes[i] = WriteWebImage(requests[i], stored);
    if (largest.Width == 0) largest = std::move(stored);
  }
  return outcomes;
}

Status ImageSizeAs(TWebImageFormat format, const fs::path& path, int* Width, int* Height) {
  *Width = *Height = 0;
  switch (format) {
    case TWebImageFormat::kGif:
      return GetGifSize(Width, Height, path);
    case TWebImageFormat::kJpeg: {
      TFileImageInfo info;
      info.szFileName = path.string();
      ReadJpegImageInfo(&info);
      if (info.Width < 1 || info.Height < 1) {
        return Status::Corrupt(path.string() + " is no readable JPEG file");
      }
      *Width = info.Width;
      *Height = info.Height;
      return Status::OK();
    }
    case TWebImageFormat::kWebP: {
      // The size lies in the first few dozen bytes of the file.
      std::ifstream in(path, std::ios::binary);
      std::vector<std::uint8_t> head(64);
      in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
      head.resize(static_cast<std::size_t>(in.gcount()));
      const Status read = GetWebPSize(head, Width, Height);
      if (!read.ok()) return Status::Corrupt(path.string() + " is no readable WebP file");
      return read;
    }
  }
  return Status::Corrupt(path.string());
}

Status GetWebImageSize(const fs::path& path, int* Width, int* Height) {
  return ImageSizeAs(WebImageFormatOf(path), path, Width, Height);
}

}  // namespace pix
