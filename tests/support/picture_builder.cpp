#include "support/picture_builder.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "picture/gifio.h"
#include "picture/webimage.h"
// jpeglib.h needs the declarations of <cstdio> before it.
#include <jpeglib.h>

#include "support/temp_dir.h"

namespace pix::test {
namespace {

Rgb ColorOf(char c) {
  static const std::map<char, Rgb> kKey = {
      {'r', {220, 20, 30}},   {'g', {30, 200, 40}},  {'b', {20, 40, 210}},
      {'y', {230, 220, 30}},  {'c', {30, 210, 220}}, {'m', {200, 30, 190}},
      {'w', {255, 255, 255}}, {'k', {0, 0, 0}},      {'.', {128, 128, 128}}};
  auto found = kKey.find(c);
  EXPECT_NE(found, kKey.end()) << "unknown pixel character " << c;
  return found == kKey.end() ? Rgb{} : found->second;
}

// The test pictures are valid, so libjpeg's default handler (which ends the program) never
// runs; it would only show a broken builder.
struct Compressor {
  jpeg_compress_struct info{};
  jpeg_error_mgr err{};
  Compressor() {
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
  }
  ~Compressor() { jpeg_destroy_compress(&info); }
};

int AppendToString(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)
      ->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
  return length;
}

ColorMapObject* MakeMap(const std::vector<Rgb>& colors) {
  if (colors.empty()) return nullptr;
  std::vector<GifColorType> entries;
  for (const Rgb& c : colors) entries.push_back(GifColorType{c.R, c.G, c.B});
  return GifMakeMapObject(static_cast<int>(entries.size()), entries.data());
}

std::vector<Rgb> ReadMap(const ColorMapObject* map) {
  std::vector<Rgb> colors;
  if (map == nullptr) return colors;
  for (int i = 0; i < map->ColorCount; ++i) {
    colors.push_back(Rgb{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
  }
  return colors;
}

void PutExtension(GifFileType* gif, const GifExtension& extension) {
  EGifPutExtensionLeader(gif, extension.code);
  for (const std::string& block : extension.sub_blocks) {
    EGifPutExtensionBlock(gif, static_cast<int>(block.size()), block.data());
  }
  EGifPutExtensionTrailer(gif);
}

}  // namespace

PixelArt ParseArt(const std::vector<std::string>& rows) {
  PixelArt art;
  art.height = static_cast<int>(rows.size());
  art.width = rows.empty() ? 0 : static_cast<int>(rows[0].size());
  for (const std::string& row : rows) {
    EXPECT_EQ(static_cast<int>(row.size()), art.width) << "ragged pixel template";
    for (char c : row) art.pixels.push_back(ColorOf(c));
  }
  return art;
}

PixelArt SampleArt() {
  return ParseArt({
      "rrrrwgggg",
      "rrrrwgggg",
      "rrrrwgggg",
      "wwwwwwwww",
      "bbbbwyyyy",
      "bbbbwyyyy",
      "bbbbwyyyy",
  });
}

PixelArt EnlargeArt(const PixelArt& art, int factor) {
  PixelArt large;
  large.width = art.width * factor;
  large.height = art.height * factor;
  for (int y = 0; y < large.height; ++y) {
    for (int x = 0; x < large.width; ++x) large.pixels.push_back(art.At(x / factor, y / factor));
  }
  return large;
}

PixelArt GradientArt(int width, int height) {
  PixelArt art;
  art.width = width;
  art.height = height;
  art.pixels.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      art.pixels[static_cast<std::size_t>(y) * width + x] =
          Rgb{static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1)),
              static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1)),
              static_cast<std::uint8_t>(((x / 16 + y / 16) % 2) * 160 + 40)};
    }
  }
  return art;
}

std::string MakeJpeg(const PixelArt& art, const JpegOptions& options) {
  Compressor c;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c.info, &buffer, &size);
  c.info.image_width = static_cast<JDIMENSION>(art.width);
  c.info.image_height = static_cast<JDIMENSION>(art.height);
  int components = 3;
  switch (options.kind) {
    case JpegKind::kGrey:
      components = 1;
      c.info.in_color_space = JCS_GRAYSCALE;
      break;
    case JpegKind::kCmyk:
    case JpegKind::kYcck:
      components = 4;
      c.info.in_color_space = JCS_CMYK;
      break;
    case JpegKind::kTwoChannel:
      components = 2;
      c.info.in_color_space = JCS_UNKNOWN;
      break;
    default:
      c.info.in_color_space = JCS_RGB;
  }
  c.info.input_components = components;
  jpeg_set_defaults(&c.info);
  if (options.kind == JpegKind::kYcck) jpeg_set_colorspace(&c.info, JCS_YCCK);
  jpeg_set_quality(&c.info, options.quality, TRUE);
  if (options.kind == JpegKind::kProgressive) jpeg_simple_progression(&c.info);
  if (!options.jfif) c.info.write_JFIF_header = FALSE;
  if (options.arithmetic) c.info.arith_code = TRUE;
  jpeg_start_compress(&c.info, TRUE);
  if (!options.app1_payload.empty()) {
    jpeg_write_marker(&c.info, JPEG_APP0 + 1,
                      reinterpret_cast<const JOCTET*>(options.app1_payload.data()),
                      static_cast<unsigned>(options.app1_payload.size()));
  }
  for (const JpegSegment& segment : options.segments) {
    jpeg_write_marker(&c.info, segment.marker,
                      reinterpret_cast<const JOCTET*>(segment.payload.data()),
                      static_cast<unsigned>(segment.payload.size()));
  }
  for (const std::string& comment : options.comments) {
    jpeg_write_marker(&c.info, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                      static_cast<unsigned>(comment.size()));
  }
  std::vector<JSAMPLE> row(static_cast<std::size_t>(art.width) * components);
  for (int y = 0; y < art.height; ++y) {
    for (int x = 0; x < art.width; ++x) {
      const Rgb& p = art.At(x, y);
      JSAMPLE* out = &row[static_cast<std::size_t>(x) * components];
      if (components == 1) {
        out[0] = static_cast<JSAMPLE>((p.R * 299 + p.G * 587 + p.B * 114) / 1000);
      } else if (components == 2) {
        out[0] = p.R;
        out[1] = p.G;
      } else if (components == 3) {
        out[0] = p.R;
        out[1] = p.G;
        out[2] = p.B;
      } else {
        // Inverted CMYK without black ink: each inverted ink equals its RGB channel.
        out[0] = p.R;
        out[1] = p.G;
        out[2] = p.B;
        out[3] = 255;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c.info, rows, 1);
  }
  jpeg_finish_compress(&c.info);
  std::string bytes(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

DecodedJpeg DecodeJpegBytes(const std::string& bytes) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr err{};
  info.err = jpeg_std_error(&err);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  DecodedJpeg decoded;
  decoded.width = static_cast<int>(info.output_width);
  decoded.height = static_cast<int>(info.output_height);
  decoded.components = info.output_components;
  const std::size_t stride = static_cast<std::size_t>(decoded.width) * decoded.components;
  decoded.samples.resize(stride * decoded.height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = decoded.samples.data() + info.output_scanline * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return decoded;
}

std::string CutInsideScan(const std::string& jpeg) {
  const std::size_t scan = jpeg.find("\xFF\xDA");
  EXPECT_NE(scan, std::string::npos) << "the JPEG file has no scan";
  if (scan == std::string::npos || scan + 4 > jpeg.size()) return jpeg;
  // The scan header's length (two bytes, big-endian, counting themselves) follows its
  // marker; the compressed data starts after it.
  const std::size_t header = static_cast<unsigned char>(jpeg[scan + 2]) * 256u +
                             static_cast<unsigned char>(jpeg[scan + 3]);
  const std::size_t data = scan + 2 + header;
  return jpeg.substr(0, data + (jpeg.size() - data) / 2);
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(static_cast<unsigned char>(v));
  return bytes;
}

std::string ComSegment(const std::string& text) {
  const std::size_t length = text.size() + 2;
  return Bytes({0xFF, 0xFE, static_cast<int>(length >> 8), static_cast<int>(length & 0xFF)}) + text;
}

namespace {

// Numbers in a TIFF structure's byte order.
void PutNumber(std::string& out, std::uint32_t value, int bytes, bool big_endian) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = 8 * (big_endian ? bytes - 1 - i : i);
    out += static_cast<char>((value >> shift) & 0xFF);
  }
}

TiffEntry TextEntry(unsigned tag, const std::string& text) {
  // ASCII values end with a NUL, which the count includes.
  return {tag, 2, static_cast<unsigned>(text.size() + 1), text + '\0'};
}

std::string BigEndianBytes(std::size_t value, int count) {
  std::string bytes;
  for (int i = count - 1; i >= 0; --i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

}  // namespace

std::string TiffStructure(bool big_endian, std::vector<TiffEntry> ifd0,
                          std::vector<TiffEntry> exif, std::vector<TiffEntry> gps) {
  // The sub-directories' pointers, filled in below.
  if (!exif.empty()) ifd0.push_back({0x8769, 4, 1, std::string()});
  if (!gps.empty()) ifd0.push_back({0x8825, 4, 1, std::string()});
  const auto ifd_size = [](const std::vector<TiffEntry>& ifd) {
    return ifd.empty() ? 0u : static_cast<unsigned>(2 + 12 * ifd.size() + 4);
  };
  // Header, the three directories one after the other, then the longer values.
  const unsigned ifd0_at = 8;
  const unsigned exif_at = ifd0_at + ifd_size(ifd0);
  const unsigned gps_at = exif_at + ifd_size(exif);
  const unsigned data_at = gps_at + ifd_size(gps);
  std::string tiff = big_endian ? "MM" : "II";
  PutNumber(tiff, 42, 2, big_endian);
  PutNumber(tiff, ifd0_at, 4, big_endian);
  std::string data;
  for (const std::vector<TiffEntry>* ifd : {&ifd0, &exif, &gps}) {
    if (ifd->empty()) continue;
    PutNumber(tiff, static_cast<unsigned>(ifd->size()), 2, big_endian);
    for (const TiffEntry& entry : *ifd) {
      PutNumber(tiff, entry.tag, 2, big_endian);
      PutNumber(tiff, entry.type, 2, big_endian);
      PutNumber(tiff, entry.count, 4, big_endian);
      if (entry.tag == 0x8769 && entry.bytes.empty()) {
        PutNumber(tiff, exif_at, 4, big_endian);
      } else if (entry.tag == 0x8825 && entry.bytes.empty()) {
        PutNumber(tiff, gps_at, 4, big_endian);
      } else if (entry.bytes.size() <= 4) {
        tiff += entry.bytes + std::string(4 - entry.bytes.size(), '\0');
      } else {
        PutNumber(tiff, data_at + static_cast<unsigned>(data.size()), 4, big_endian);
        data += entry.bytes;
        if (data.size() % 2 != 0) data += '\0';
      }
    }
    PutNumber(tiff, 0, 4, big_endian);  // no next directory
  }
  return tiff + data;
}

JpegSegment ExifSegment(const ExifFields& fields) {
  const bool big = fields.BigEndian;
  std::vector<TiffEntry> ifd0 = fields.more_ifd0_entries;
  std::vector<TiffEntry> exif = fields.more_exif_entries;
  std::vector<TiffEntry> gps;
  const auto text = [](std::vector<TiffEntry>& ifd, unsigned tag, const std::string& value) {
    if (!value.empty()) ifd.push_back(TextEntry(tag, value));
  };
  const auto short_value = [big](std::vector<TiffEntry>& ifd, unsigned tag, int value) {
    if (value == 0) return;
    std::string bytes;
    PutNumber(bytes, static_cast<std::uint32_t>(value), 2, big);
    ifd.push_back({tag, 3, 1, bytes});
  };
  const auto rationals = [big](std::vector<TiffEntry>& ifd, unsigned tag,
                               std::initializer_list<std::pair<unsigned, unsigned>> values) {
    std::string bytes;
    for (const auto& [numerator, denominator] : values) {
      PutNumber(bytes, numerator, 4, big);
      PutNumber(bytes, denominator, 4, big);
    }
    ifd.push_back({tag, 5, static_cast<unsigned>(values.size()), bytes});
  };
  text(ifd0, 0x010E, fields.image_description);
  text(ifd0, 0x010F, fields.make);
  text(ifd0, 0x0110, fields.model);
  short_value(ifd0, 0x0112, fields.orientation);
  text(exif, 0x9003, fields.date_time_original);
  const auto rational = [&](unsigned tag, const unsigned (&value)[2]) {
    if (value[0] != 0 || value[1] != 0) rationals(exif, tag, {{value[0], value[1]}});
  };
  rational(0x829A, fields.exposure_time);
  rational(0x829D, fields.f_number);
  rational(0x920A, fields.focal_length);
  short_value(exif, 0x8827, fields.iso);
  short_value(exif, 0xA405, fields.focal_length_35mm);
  text(exif, 0xA434, fields.lens_model);
  if (fields.gps_position) {
    // Degrees, minutes and seconds as three rationals each, and the hemispheres.
    text(gps, 0x0001, fields.gps_south_west ? "S" : "N");
    rationals(gps, 0x0002, {{48, 1}, {51, 1}, {0, 1}});
    text(gps, 0x0003, fields.gps_south_west ? "W" : "E");
    rationals(gps, 0x0004, {{2, 1}, {21, 1}, {0, 1}});
  }
  // Directories list their entries by tag; the extra entries go first among equals.
  const auto by_tag = [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; };
  if (fields.sorted) {
    std::stable_sort(ifd0.begin(), ifd0.end(), by_tag);
    std::stable_sort(exif.begin(), exif.end(), by_tag);
  }
  return {JPEG_APP0 + 1,
          std::string("Exif\0\0", 6) + TiffStructure(big, std::move(ifd0), std::move(exif),
                                                      std::move(gps))};
}

JpegOptions WithExif(const ExifFields& fields) {
  JpegOptions options;
  options.jfif = false;
  options.segments = {ExifSegment(fields)};
  return options;
}

JpegSegment XmpSegment(const std::string& properties) {
  const std::string packet =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
      " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
      "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n" +
      properties +
      "\n  </rdf:Description>\n"
      " </rdf:RDF>\n"
      "</x:xmpmeta>\n"
      "<?xpacket end=\"w\"?>";
  return {JPEG_APP0 + 1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet};
}

JpegSegment PhotoshopIptcSegment(const std::vector<IptcDataSet>& data_sets) {
  std::string iim;
  for (const IptcDataSet& set : data_sets) {
    iim += Bytes({0x1C, set.record, set.data_set});  // tag marker, record, data set
    iim += BigEndianBytes(set.data.size(), 2);      // length of the data
    iim += set.data;
  }
  std::string payload("Photoshop 3.0\0", 14);  // signature of Photoshop's APP13
  payload += "8BIM";                           // image resource signature
  payload += Bytes({0x04, 0x04});              // resource id: IPTC-NAA record
  payload += Bytes({0x00, 0x00});              // name: empty, padded to an even count
  payload += BigEndianBytes(iim.size(), 4);    // size of the resource data
  payload += iim;
  if (iim.size() % 2 != 0) payload += '\0';  // the data are padded to an even count
  return {JPEG_APP0 + 13, payload};
}

std::string MakeGif(const GifPicture& picture) {
  std::string bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(&bytes, AppendToString, &error);
  EXPECT_NE(gif, nullptr);
  if (gif == nullptr) return bytes;
  EGifSetGifVersion(gif, picture.signature == "GIF89a");
  ColorMapObject* global = MakeMap(picture.global_colors);
  EXPECT_EQ(EGifPutScreenDesc(gif, picture.screen_width, picture.screen_height,
                              picture.color_resolution, picture.background_color, global),
            GIF_OK);
  GifFreeMapObject(global);
  for (const GifFrame& frame : picture.frames) {
    for (const GifExtension& extension : frame.extensions_before) PutExtension(gif, extension);
    ColorMapObject* local = MakeMap(frame.local_colors);
    // Through the program's own wrapper: giflib leaks a local colour map that an image
    // without one follows.
    EXPECT_EQ(PutGifImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                              frame.interlace, local),
              GIF_OK)
        << GifErrorString(gif->Error);
    GifFreeMapObject(local);
    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.width));
    std::vector<int> order;
    if (frame.interlace) {
      const int start[] = {0, 4, 2, 1};
      const int step[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int y = start[pass]; y < frame.height; y += step[pass]) order.push_back(y);
      }
    } else {
      for (int y = 0; y < frame.height; ++y) order.push_back(y);
    }
    for (int y : order) {
      for (int x = 0; x < frame.width; ++x) line[x] = frame.At(x, y);
      EXPECT_EQ(EGifPutLine(gif, line.data(), frame.width), GIF_OK);
    }
  }
  for (const GifExtension& extension : picture.trailing_extensions) PutExtension(gif, extension);
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  return bytes;
}

GifPicture ReadGif(const std::filesystem::path& path) {
  GifPicture picture;
  FILE* file = std::fopen(path.c_str(), "rb");
  char signature[7] = {};
  if (file != nullptr) {
    if (std::fread(signature, 1, 6, file) != 6) signature[0] = '\0';
    std::fclose(file);
  }
  picture.signature = signature;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  EXPECT_NE(gif, nullptr) << path << ": " << GifErrorString(error);
  if (gif == nullptr) return picture;
  picture.screen_width = gif->SWidth;
  picture.screen_height = gif->SHeight;
  picture.color_resolution = gif->SColorResolution;
  picture.background_color = gif->SBackGroundColor;
  picture.global_colors = ReadMap(gif->SColorMap);
  std::vector<GifExtension> pending;
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  do {
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
      ADD_FAILURE() << path << ": " << GifErrorString(gif->Error);
      break;
    }
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR) {
        ADD_FAILURE() << path << ": " << GifErrorString(gif->Error);
        break;
      }
      GifFrame frame;
      frame.left = gif->Image.Left;
      frame.top = gif->Image.Top;
      frame.width = gif->Image.Width;
      frame.height = gif->Image.Height;
      frame.interlace = gif->Image.Interlace;
      frame.local_colors = ReadMap(gif->Image.ColorMap);
      frame.extensions_before = std::move(pending);
      pending.clear();
      frame.pixels.resize(static_cast<std::size_t>(frame.width) * frame.height);
      for (int y = 0; y < frame.height; ++y) {
        if (DGifGetLine(gif, frame.pixels.data() + static_cast<std::size_t>(y) * frame.width,
                        frame.width) == GIF_ERROR) {
          ADD_FAILURE() << path << ": " << GifErrorString(gif->Error);
          break;
        }
      }
      picture.frames.push_back(std::move(frame));
    } else if (type == EXTENSION_RECORD_TYPE) {
      GifExtension extension;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &extension.code, &block) == GIF_ERROR) break;
      while (block != nullptr) {
        extension.sub_blocks.emplace_back(reinterpret_cast<const char*>(block + 1), block[0]);
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) break;
      }
      pending.push_back(std::move(extension));
    }
  } while (type != TERMINATE_RECORD_TYPE);
  picture.trailing_extensions = std::move(pending);
  DGifCloseFile(gif, &error);
  return picture;
}

GifPicture SimpleGif(int width, int height, const std::vector<std::uint8_t>& pixels, int colors) {
  GifPicture picture;
  picture.screen_width = width;
  picture.screen_height = height;
  for (int i = 0; i < colors; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 255 / std::max(1, colors - 1));
    picture.global_colors.push_back(Rgb{level, level, level});
  }
  GifFrame frame;
  frame.width = width;
  frame.height = height;
  frame.pixels = pixels;
  picture.frames.push_back(frame);
  return picture;
}

std::string ImageSizeOf(const std::filesystem::path& path) {
  int width = 0, height = 0;
  if (!GetWebImageSize(path, &width, &height).ok()) return "unreadable";
  return std::to_string(width) + "x" + std::to_string(height);
}

bool ToolAvailable(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

int RunTool(const std::string& command, std::string* output) {
  output->clear();
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::filesystem::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string HugeGif(bool interlaced) {
  return Bytes({'G', 'I', 'F', '8', '9', 'a'}) +
         Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0, 0}) +        // screen 65535 x 65535, no colours
         Bytes({0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}) +  // image 65535 x 65535
         Bytes({interlaced ? 0x40 : 0x00}) +                  // packed fields
         Bytes({0x02, 0x02, 0x44, 0x01, 0x00}) +  // code size 2, a block holding a clear code
         Bytes({0x3B});                           // trailer
}

void WriteJpegPicture(const std::filesystem::path& path, int width, int height,
                      const std::string& comment) {
  JpegOptions options;
  if (!comment.empty()) options.comments = {comment};
  WriteFile(path, MakeJpeg(GradientArt(width, height), options));
}

void WriteGifPicture(const std::filesystem::path& path, int width, int height, bool interlaced) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i % 16);
  GifPicture picture = SimpleGif(width, height, pixels);
  picture.frames[0].interlace = interlaced;
  WriteFile(path, MakeGif(picture));
}

JpegHeader HeaderOf(const std::filesystem::path& path) {
  Result<JpegHeader> header = ReadJpegHeader(path.string());
  if (!header.ok()) {
    ADD_FAILURE() << header.status().message();
    return JpegHeader();
  }
  return std::move(header).value();
}

}  // namespace pix::test
