// Re-encodes a JPEG picture at a given size for the benchmark corpus: the picture is cut to
// the aspect of the new size (centred), scaled with a box filter when shrinking and
// bilinearly when enlarging, and written at quality 90.
//
//   reencode IN.jpg OUT.jpg WIDTH HEIGHT
#include <cstdio>  // before jpeglib.h, which uses FILE

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <vector>

namespace {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
};

bool Read(const char* path, Image* image) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return false;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  image->width = static_cast<int>(cinfo.output_width);
  image->height = static_cast<int>(cinfo.output_height);
  image->rgb.resize(static_cast<std::size_t>(image->width) * image->height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &image->rgb[static_cast<std::size_t>(cinfo.output_scanline) * image->width * 3];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  return true;
}

// The source rectangle of the new aspect, centred, sampled at output pixel (x, y).
Image Resize(const Image& in, int width, int height) {
  double crop_w = in.width;
  double crop_h = in.height;
  if (crop_w / crop_h > static_cast<double>(width) / height) {
    crop_w = crop_h * width / height;
  } else {
    crop_h = crop_w * height / width;
  }
  const double left = (in.width - crop_w) / 2;
  const double top = (in.height - crop_h) / 2;
  const double step = crop_w / width;  // source pixels per output pixel
  Image out;
  out.width = width;
  out.height = height;
  out.rgb.resize(static_cast<std::size_t>(width) * height * 3);
  const int box = std::max(1, static_cast<int>(std::ceil(step)));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double sx = left + x * step;
      const double sy = top + y * step;
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        int count = 0;
        if (step >= 1.0) {
          for (int dy = 0; dy < box; ++dy) {
            for (int dx = 0; dx < box; ++dx) {
              const int px = std::min(in.width - 1, static_cast<int>(sx) + dx);
              const int py = std::min(in.height - 1, static_cast<int>(sy) + dy);
              sum += in.rgb[(static_cast<std::size_t>(py) * in.width + px) * 3 + c];
              ++count;
            }
          }
        } else {
          const int x0 = std::min(in.width - 1, static_cast<int>(sx));
          const int y0 = std::min(in.height - 1, static_cast<int>(sy));
          const int x1 = std::min(in.width - 1, x0 + 1);
          const int y1 = std::min(in.height - 1, y0 + 1);
          const double fx = sx - x0;
          const double fy = sy - y0;
          auto at = [&](int px, int py) {
            return in.rgb[(static_cast<std::size_t>(py) * in.width + px) * 3 + c];
          };
          sum = (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) +
                (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
          count = 1;
        }
        out.rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
            static_cast<unsigned char>(std::lround(sum / count));
      }
    }
  }
  return out;
}

bool Write(const char* path, const Image& image) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(
        &image.rgb[static_cast<std::size_t>(cinfo.next_scanline) * image.width * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: reencode IN.jpg OUT.jpg WIDTH HEIGHT\n";
    return 2;
  }
  Image in;
  if (!Read(argv[1], &in)) {
    std::cerr << "cannot read " << argv[1] << "\n";
    return 1;
  }
  const int width = std::atoi(argv[3]);
  const int height = std::atoi(argv[4]);
  if (width < 1 || height < 1 || !Write(argv[2], Resize(in, width, height))) {
    std::cerr << "cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
