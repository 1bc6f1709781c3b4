#include "picture/webimage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
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
#include "picture/lightrows.h"
#include "picture/webpio.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

}  // namespace

// The size of the image file `path`, read as `format` whatever its name says.
Status ImageSizeAs(WebImageFormat format, const fs::path& path, int* width, int* height);

WebImageFormat WebImageFormatOf(const fs::path& path) {
  const std::string ext = path.extension().string();
  if (EqualsNoCase(ext, ".jpg") || EqualsNoCase(ext, ".jpeg") || EqualsNoCase(ext, ".jpe")) {
    return WebImageFormat::kJpeg;
  }
  if (EqualsNoCase(ext, ".webp")) return WebImageFormat::kWebP;
  return WebImageFormat::kGif;
}

Result<RgbPicture> DecodeGifToRgb(const fs::path& path) {
  Result<GifReadHandle> opened = OpenGifForReading(path);
  if (!opened.ok()) return opened.status();
  GifFileType* gif = opened->get();
  const int width = gif->SWidth;
  const int height = gif->SHeight;
  if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMaxRgbPicturePixels) {
    return Status::Corrupt(path.string() + ": a GIF screen of " + std::to_string(width) + "x" +
                           std::to_string(height) + " pixels cannot be converted");
  }
  RgbPicture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels.assign(static_cast<std::size_t>(width) * height * 3, 255);
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
    Result<GifImageRows> rows = ReadGifImageRows(gif, path);
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
        std::uint8_t* target = &picture.pixels[(static_cast<std::size_t>(py) * width + px) * 3];
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

namespace {


// Where the rows of an image go as they are made, top row first.
class RowTarget {
 public:
  virtual ~RowTarget() = default;
  virtual void Row(const std::uint8_t* pixels) = 0;
};

// Keeps the rows of an image whole, in a picture of the image's size.
class CollectRows : public RowTarget {
 public:
  CollectRows(RgbPicture& picture, int width, int height,
              const std::vector<std::uint8_t>& icc_profile)
      : rows_(picture) {
    rows_.Begin(width, height, icc_profile);
  }
  void Row(const std::uint8_t* pixels) override { rows_.Row(pixels); }

 private:
  CollectRgbRows rows_;
};

// Hands every row to several targets.
class ShareRows : public RowTarget {
 public:
  void Add(RowTarget* target) { targets_.push_back(target); }
  void Row(const std::uint8_t* pixels) override {
    for (RowTarget* target : targets_) target->Row(pixels);
  }

 private:
  std::vector<RowTarget*> targets_;
};

// Reduces (or enlarges) an image given row by row in linear light, as ResampleInLinearLight
// describes, and hands each output row on as soon as the input rows it needs have come.
// Each input row is narrowed once, into linear light, and only the narrowed rows the
// filter still reaches are kept, in a ring: the rows an output row needs start no earlier
// than those of the row before, so a ring of as many rows as the widest reach holds them
// all, and it stays in the processor's cache. Four values a pixel (the fourth unused), so
// that the filter weighs a whole pixel in one step.
// An image of the input's own size is the input: its rows are handed on as they come. (The
// filter gives the same bytes, at five taps a value each way: the decode of a wallpaper of
// 2560 x 1600 at 5/8 is the detail image of 1600 x 1000, and so is a picture that is
// already that small.)
class LinearResampler : public RowTarget {
 public:
  LinearResampler(int in_width, int in_height, int width, int height, RowTarget& target)
      : in_width_(in_width),
        width_(width),
        height_(height),
        passes_through_(in_width == width && in_height == height),
        across_(in_width, passes_through_ ? 0 : width),
        down_(CoverageOf(in_height, passes_through_ ? 0 : height)),
        narrowed_row_(static_cast<std::size_t>(width) * 3),
        target_(target) {
    if (passes_through_) return;
    for (const Coverage& c : down_) ring_rows_ = std::max(ring_rows_, c.weights.size());
    ring_.reset(new float[narrowed_row_ * ring_rows_]);
    light_.assign(static_cast<std::size_t>(in_width) * 4, 0.0f);
    sum_.resize(narrowed_row_);
    out_.resize(narrowed_row_);
  }

  // The bytes a resampler of these sizes holds.
  static std::uint64_t Memory(int in_width, int in_height, int width, int height) {
    if (in_width == width && in_height == height) return 0;
    // The ring holds as many rows as the filter reaches down.
    const auto reach = static_cast<std::uint64_t>(
        6.0 * std::max(1.0, static_cast<double>(in_height) / height) + 2);
    const std::uint64_t out_row = static_cast<std::uint64_t>(width) * 3;
    const std::uint64_t in_row = static_cast<std::uint64_t>(in_width) * 4;
    // The weights: each output pixel's coverage (a vector of its own) across and down, and
    // those across once more, side by side.
    const auto reach_across = static_cast<std::uint64_t>(
        6.0 * std::max(1.0, static_cast<double>(in_width) / width) + 2);
    const std::uint64_t weights =
        static_cast<std::uint64_t>(width) * (reach_across * 2 * sizeof(float) + 48) +
        static_cast<std::uint64_t>(height) * (reach * sizeof(float) + 48);
    return out_row * sizeof(float) * reach + in_row * sizeof(float) +
           out_row * (sizeof(float) + 1) + weights;
  }

  void Row(const std::uint8_t* in) override {
    if (passes_through_) {
      target_.Row(in);
      return;
    }
    loops_.narrow(in, in_width_, light_.data(), across_,
                  ring_.get() + (taken_ % ring_rows_) * narrowed_row_);
    ++taken_;
    while (next_ < height_) {
      const Coverage& c = down_[static_cast<std::size_t>(next_)];
      const std::size_t first = static_cast<std::size_t>(c.first);
      if (first + c.weights.size() > taken_) break;
      loops_.weigh(ring_.get(), ring_rows_, narrowed_row_, first, c.weights.data(),
                   c.weights.size(), sum_.data());
      loops_.encode(sum_.data(), narrowed_row_, out_.data());
      target_.Row(out_.data());
      ++next_;
    }
  }

 private:

  const LightRowLoops& loops_ = FastestLightRowLoops();
  int in_width_;
  int width_;
  int height_;
  bool passes_through_;
  RowWeights across_;
  std::vector<Coverage> down_;
  std::size_t narrowed_row_;
  std::size_t ring_rows_ = 1;
  std::unique_ptr<float[]> ring_;
  std::vector<float> light_;
  std::vector<float> sum_;
  std::vector<std::uint8_t> out_;
  std::size_t taken_ = 0;  // Input rows narrowed so far, from the top.
  int next_ = 0;           // The next output row.
  RowTarget& target_;
};

}  // namespace

RgbPicture ResampleInLinearLight(const RgbPicture& picture, int width, int height) {
  RgbPicture result;
  CollectRows collect(result, width, height, picture.icc_profile);
  LinearResampler resampler(picture.width, picture.height, width, height, collect);
  const std::size_t stride = static_cast<std::size_t>(picture.width) * 3;
  for (int y = 0; y < picture.height; ++y) {
    resampler.Row(picture.pixels.data() + static_cast<std::size_t>(y) * stride);
  }
  return result;
}

RgbPicture TurnUpright(const RgbPicture& picture, Orientation orientation) {
  if (orientation == Orientation::kNormal) return picture;
  RgbPicture result;
  const bool swap = SwapsSides(orientation);
  result.width = swap ? picture.height : picture.width;
  result.height = swap ? picture.width : picture.height;
  result.icc_profile = picture.icc_profile;
  result.pixels.resize(picture.pixels.size());
  TurnPixelBlocks(orientation, picture.pixels.data(), picture.width, picture.height, 3,
                  result.pixels.data());
  return result;
}

namespace {

Status RefuseSize(const WebImageRequest& request) {
  if (request.width < 1 || request.height < 1 ||
      static_cast<long long>(request.width) * request.height > kMaxRgbPicturePixels) {
    return Status::InvalidArgument("No image of " + std::to_string(request.width) + "x" +
                                   std::to_string(request.height) + " can be made for " +
                                   request.source.string());
  }
  return Status::OK();
}

// The size of the image `request` asks for as the picture is stored: the decoder and the
// resampler work on the stored picture, which is turned upright only once it is small.
int StoredWidth(const WebImageRequest& request) {
  return SwapsSides(request.orientation) ? request.height : request.width;
}
int StoredHeight(const WebImageRequest& request) {
  return SwapsSides(request.orientation) ? request.width : request.height;
}

// Turns `stored`, the image `request` asks for as the picture is stored, upright and writes
// it to the target.
Status WriteWebImage(const WebImageRequest& request, const RgbPicture& stored) {
  const bool turn = request.orientation != Orientation::kNormal;
  const RgbPicture turned = turn ? TurnUpright(stored, request.orientation) : RgbPicture();
  const RgbPicture& upright = turn ? turned : stored;
  // A new file replaces the old only when it reads back as an image of the wanted size.
  auto check = [&](const fs::path& new_file) -> Status {
    int width = 0;
    int height = 0;
    const Status read = ImageSizeAs(request.format, new_file, &width, &height);
    if (!read.ok()) return read;
    if (width != upright.width || height != upright.height) {
      return Status::Corrupt(request.target.string() + " did not come out at its size");
    }
    return Status::OK();
  };
  // The check is the last step before the rename, so the caller's hook runs after it, on
  // the file that is about to replace the old one.
  auto check_then_hook = [&](const fs::path& new_file) -> Status {
    Status checked = check(new_file);
    if (!checked.ok() || !request.before_replace) return checked;
    return request.before_replace(new_file);
  };
  if (request.format == WebImageFormat::kWebP) {
    Result<std::vector<std::uint8_t>> bytes =
        EncodeWebP(upright, request.quality, request.target);
    if (!bytes.ok()) return bytes.status();
    return ReplaceFileSafely(
        request.target,
        [&](std::FILE* out) -> Status {
          if (std::fwrite(bytes->data(), 1, bytes->size(), out) != bytes->size()) {
            return Status::IoError("Cannot write " + request.target.string());
          }
          return Status::OK();
        },
        check_then_hook, TempFileBeside::Durability::kUnsynced);
  }
  // A JPEG file needs no check of its own (the encoder fails rather than write a short one),
  // so the caller's hook takes the check's place, just before the rename.
  return ReplaceFileSafely(
      request.target,
      [&](std::FILE* out) { return EncodeJpegRgb(upright, request.quality, out, request.target); },
      request.before_replace, TempFileBeside::Durability::kUnsynced);
}

}  // namespace

Status MakeWebImage(const WebImageRequest& request) {
  return MakeWebImages({request}).front();
}

namespace {

// Writes `bytes`, the image `request` asks for encoded, to the target.
Status WriteEncodedImage(const WebImageRequest& request, const std::vector<std::uint8_t>& bytes) {
  // A JPEG file needs no check of its own (the encoder fails rather than make a short one),
  // so the caller's hook takes the check's place, just before the rename.
  return ReplaceFileSafely(
      request.target,
      [&](std::FILE* out) -> Status {
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
          return Status::IoError("Cannot write " + request.target.string());
        }
        return Status::OK();
      },
      request.before_replace, TempFileBeside::Durability::kUnsynced);
}

// Encodes the rows of a JPEG image as they come.
class EncodeRows : public RowTarget {
 public:
  explicit EncodeRows(JpegRowEncoder& encoder) : encoder_(encoder) {}
  void Row(const std::uint8_t* pixels) override { encoder_.Row(pixels); }

 private:
  JpegRowEncoder& encoder_;
};

// The images of one picture made from one decode, as the decoded rows come: the largest is
// reduced from the decoded rows, and a smaller one from the rows of the smallest larger
// image that is at least twice its size each way (which costs less than reducing the
// decoded picture again and comes as close to an exact reduction: the large step has been
// taken in linear light already, and the second filter works over two pixels and more;
// an inline image of 240 x 150 reduced from its 480 x 300 companion rather than from a
// detail image of 1600 x 1000 is 0.015 dB further from the exact reduction, at a fifth
// of the taps), else from the decoded rows too. A JPEG image that
// stands as the picture is stored is encoded as its rows come; the others (turned upright,
// or WebP) are kept whole until the decoding is done. So the decoded picture and the larger
// images are never held whole.
class WebImagePipeline : public RgbRowSink {
 public:
  // `requests` all name one picture; those whose outcome is not ok are left out.
  WebImagePipeline(const std::vector<WebImageRequest>& requests,
                   const std::vector<Status>& outcomes)
      : requests_(requests) {
    for (std::size_t i = 0; i < requests.size(); ++i) {
      if (!outcomes[i].ok()) continue;
      images_.push_back(std::make_unique<Image>());
      images_.back()->request = i;
    }
    // The largest image first.
    std::stable_sort(images_.begin(), images_.end(),
                     [&](const std::unique_ptr<Image>& a, const std::unique_ptr<Image>& b) {
                       return Area(requests[a->request]) > Area(requests[b->request]);
                     });
    for (const std::unique_ptr<Image>& each : images_) {
      Image& image = *each;
      const WebImageRequest& request = requests[image.request];
      image.width = StoredWidth(request);
      image.height = StoredHeight(request);
      image.streamed = request.format == WebImageFormat::kJpeg &&
                       request.orientation == Orientation::kNormal;
      // The smallest of the larger images it can be reduced from: fewer taps a pixel.
      for (const std::unique_ptr<Image>& larger : images_) {
        if (larger.get() == &image) break;
        if (IsReducedFrom(larger->width, larger->height, image.width, image.height)) {
          image.source = larger.get();
        }
      }
    }
  }

  std::uint64_t MemoryFor(int width, int height) override {
    std::uint64_t bytes = 0;
    for (const std::unique_ptr<Image>& each : images_) {
      const Image& image = *each;
      bytes += LinearResampler::Memory(image.source != nullptr ? image.source->width : width,
                                       image.source != nullptr ? image.source->height : height,
                                       image.width, image.height);
      const std::uint64_t pixels = static_cast<std::uint64_t>(image.width) * image.height;
      bytes += image.streamed ? JpegEncoderMemory(image.width, image.height)
                              : pixels * 3 * (requests_[image.request].orientation ==
                                                      Orientation::kNormal
                                                  ? 1
                                                  : 2);
    }
    return bytes;
  }

  void Begin(int width, int height, const std::vector<std::uint8_t>& icc_profile) override {
    // The largest first, so that the smaller ones can take its rows.
    for (const std::unique_ptr<Image>& each : images_) {
      Image& image = *each;
      const WebImageRequest& request = requests_[image.request];
      if (image.streamed) {
        image.encoder.Start(image.width, image.height, request.quality, icc_profile,
                            request.target);
        image.sink = std::make_unique<EncodeRows>(image.encoder);
      } else {
        image.sink = std::make_unique<CollectRows>(image.whole, image.width, image.height,
                                                   icc_profile);
      }
      image.rows.Add(image.sink.get());
      Image* source = image.source;
      image.resampler = std::make_unique<LinearResampler>(
          source != nullptr ? source->width : width, source != nullptr ? source->height : height,
          image.width, image.height, image.rows);
      if (source != nullptr) source->rows.Add(image.resampler.get());
    }
  }

  void Row(const std::uint8_t* pixels) override {
    for (const std::unique_ptr<Image>& image : images_) {
      if (image->source == nullptr) image->resampler->Row(pixels);
    }
  }

  // Writes every image to its target once all rows are in; their outcomes go to
  // `outcomes`.
  void Write(std::vector<Status>& outcomes) {
    for (const std::unique_ptr<Image>& each : images_) {
      Image& image = *each;
      const WebImageRequest& request = requests_[image.request];
      if (!image.streamed) {
        outcomes[image.request] = WriteWebImage(request, image.whole);
        continue;
      }
      Result<std::vector<std::uint8_t>> bytes = image.encoder.Finish();
      outcomes[image.request] = bytes.ok() ? WriteEncodedImage(request, *bytes) : bytes.status();
    }
  }

 private:
  struct Image {
    std::size_t request = 0;
    int width = 0;  // As the picture is stored.
    int height = 0;
    Image* source = nullptr;  // Whose rows it is made from; the decoded rows when null.
    bool streamed = false;  // Encoded as its rows come, else kept whole.
    JpegRowEncoder encoder;
    RgbPicture whole;
    std::unique_ptr<RowTarget> sink;  // Encodes or keeps the image's rows.
    ShareRows rows;                   // The sink, and for the largest the smaller images.
    std::unique_ptr<LinearResampler> resampler;
  };

  static long long Area(const WebImageRequest& request) {
    return static_cast<long long>(request.width) * request.height;
  }

  const std::vector<WebImageRequest>& requests_;
  std::vector<std::unique_ptr<Image>> images_;  // The largest first.
};

}  // namespace

bool IsReducedFrom(int larger_width, int larger_height, int width, int height) {
  return larger_width >= 2 * width && larger_height >= 2 * height;
}

std::vector<Status> MakeWebImages(const std::vector<WebImageRequest>& requests,
                                  std::vector<std::string>* damages,
                                  FileBytesObserver* source_bytes) {
  std::vector<Status> outcomes(requests.size(), Status::OK());
  if (damages != nullptr) damages->assign(requests.size(), std::string());
  // The decode covers the largest image asked for; one of an impossible size is refused
  // on its own.
  int fit_width = 0;
  int fit_height = 0;
  bool wanted = false;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const WebImageRequest& request = requests[i];
    PIX_CHECK(request.source == requests.front().source &&
              request.source_is_jpeg == requests.front().source_is_jpeg &&
              request.orientation == requests.front().orientation);
    outcomes[i] = RefuseSize(request);
    if (!outcomes[i].ok()) continue;
    wanted = true;
    fit_width = std::max(fit_width, StoredWidth(request));
    fit_height = std::max(fit_height, StoredHeight(request));
  }
  if (!wanted) return outcomes;
  const WebImageRequest& first = requests.front();
  WebImagePipeline pipeline(requests, outcomes);
  std::string damage;  // Stays empty for a GIF picture, which giflib reads whole or not at all.
  Status decoded;
  if (first.source_is_jpeg) {
    decoded = DecodeJpegRows(first.source, fit_width, fit_height, pipeline, &damage, source_bytes);
  } else {
    Result<RgbPicture> picture = DecodeGifToRgb(first.source);
    decoded = picture.status();
    if (picture.ok()) {
      pipeline.Begin(picture->width, picture->height, picture->icc_profile);
      const std::size_t stride = static_cast<std::size_t>(picture->width) * 3;
      for (int y = 0; y < picture->height; ++y) {
        pipeline.Row(picture->pixels.data() + static_cast<std::size_t>(y) * stride);
      }
    }
  }
  if (!decoded.ok()) {
    for (Status& outcome : outcomes) {
      if (outcome.ok()) outcome = decoded;
    }
    return outcomes;
  }
  std::vector<Status> written(requests.size(), Status::OK());
  pipeline.Write(written);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    if (!outcomes[i].ok()) continue;
    outcomes[i] = written[i];
    if (damages != nullptr) (*damages)[i] = damage;
  }
  return outcomes;
}

Status ImageSizeAs(WebImageFormat format, const fs::path& path, int* width, int* height) {
  *width = *height = 0;
  switch (format) {
    case WebImageFormat::kGif:
      return GetGifSize(width, height, path);
    case WebImageFormat::kJpeg: {
      const Result<JpegHeader> header = ReadJpegHeader(path.string());
      if (!header.ok()) return header.status();
      if (header->IsCorrupt()) return Status::Corrupt(path.string() + " is no readable JPEG file");
      *width = header->width;
      *height = header->height;
      return Status::OK();
    }
    case WebImageFormat::kWebP: {
      // The size lies in the first few dozen bytes of the file.
      std::ifstream in(path, std::ios::binary);
      std::vector<std::uint8_t> head(64);
      in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
      head.resize(static_cast<std::size_t>(in.gcount()));
      const Status read = GetWebPSize(head, width, height);
      if (!read.ok()) return Status::Corrupt(path.string() + " is no readable WebP file");
      return read;
    }
  }
  return Status::Corrupt(path.string());
}

Status GetWebImageSize(const fs::path& path, int* width, int* height) {
  return ImageSizeAs(WebImageFormatOf(path), path, width, height);
}

}  // namespace pix
