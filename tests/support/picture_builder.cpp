#include "support/picture_builder.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "picture/gifio.h"
// jpeglib.h needs the declarations of <cstdio> before it.
#include <jpeglib.h>
#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

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
  jpeg_compress_struct Info{};
  jpeg_error_mgr Err{};
  Compressor() {
    Info.err = jpeg_std_error(&Err);
    jpeg_create_compress(&Info);
  }
  ~Compressor() { jpeg_destroy_compress(&Info); }
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

void PutExtension(GifFileType* gif, const TGifExtension& extension) {
  EGifPutExtensionLeader(gif, extension.Code);
  for (const std::string& block : extension.SubBlocks) {
    EGifPutExtensionBlock(gif, static_cast<int>(block.size()), block.data());
  }
  EGifPutExtensionTrailer(gif);
}

}  // namespace

TPixelArt ParseArt(const std::vector<std::string>& rows) {
  TPixelArt art;
  art.Height = static_cast<int>(rows.size());
  art.Width = rows.empty() ? 0 : static_cast<int>(rows[0].size());
  for (const std::string& row : rows) {
    EXPECT_EQ(static_cast<int>(row.size()), art.Width) << "ragged pixel template";
    for (char c : row) art.Pixels.push_back(ColorOf(c));
  }
  return art;
}

TPixelArt SampleArt() {
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

TPixelArt EnlargeArt(const TPixelArt& art, int factor) {
  TPixelArt large;
  large.Width = art.Width * factor;
  large.Height = art.Height * factor;
  for (int y = 0; y < large.Height; ++y) {
    for (int x = 0; x < large.Width; ++x) large.Pixels.push_back(art.At(x / factor, y / factor));
  }
  return large;
}

TPixelArt GradientArt(int width, int height) {
  TPixelArt art;
  art.Width = width;
  art.Height = height;
  art.Pixels.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      art.Pixels[static_cast<std::size_t>(y) * width + x] =
          Rgb{static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1)),
              static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1)),
              static_cast<std::uint8_t>(((x / 16 + y / 16) % 2) * 160 + 40)};
    }
  }
  return art;
}

std::string MakeJpeg(const TPixelArt& art, const TJpegOptions& options) {
  Compressor c;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c.Info, &buffer, &size);
  c.Info.image_width = static_cast<JDIMENSION>(art.Width);
  c.Info.image_height = static_cast<JDIMENSION>(art.Height);
  int components = 3;
  switch (options.Kind) {
    case JpegKind::Grey:
      components = 1;
      c.Info.in_color_space = JCS_GRAYSCALE;
      break;
    case JpegKind::Cmyk:
    case JpegKind::Ycck:
      components = 4;
      c.Info.in_color_space = JCS_CMYK;
      break;
    case JpegKind::TwoChannel:
      components = 2;
      c.Info.in_color_space = JCS_UNKNOWN;
      break;
    default:
      c.Info.in_color_space = JCS_RGB;
  }
  c.Info.input_components = components;
  jpeg_set_defaults(&c.Info);
  if (options.Kind == JpegKind::Ycck) jpeg_set_colorspace(&c.Info, JCS_YCCK);
  jpeg_set_quality(&c.Info, options.Quality, TRUE);
  if (options.Kind == JpegKind::Progressive) jpeg_simple_progression(&c.Info);
  if (!options.Jfif) c.Info.write_JFIF_header = FALSE;
  jpeg_start_compress(&c.Info, TRUE);
  if (!options.App1Payload.empty()) {
    jpeg_write_marker(&c.Info, JPEG_APP0 + 1,
                      reinterpret_cast<const JOCTET*>(options.App1Payload.data()),
                      static_cast<unsigned>(options.App1Payload.size()));
  }
  for (const TJpegSegment& segment : options.Segments) {
    jpeg_write_marker(&c.Info, segment.Marker,
                      reinterpret_cast<const JOCTET*>(segment.Payload.data()),
                      static_cast<unsigned>(segment.Payload.size()));
  }
  for (const std::string& comment : options.Comments) {
    jpeg_write_marker(&c.Info, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                      static_cast<unsigned>(comment.size()));
  }
  std::vector<JSAMPLE> row(static_cast<std::size_t>(art.Width) * components);
  for (int y = 0; y < art.Height; ++y) {
    for (int x = 0; x < art.Width; ++x) {
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
    jpeg_write_scanlines(&c.Info, rows, 1);
  }
  jpeg_finish_compress(&c.Info);
  std::string bytes(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

TDecodedJpeg DecodeJpegBytes(const std::string& bytes) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr err{};
  info.err = jpeg_std_error(&err);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  TDecodedJpeg decoded;
  decoded.Width = static_cast<int>(info.output_width);
  decoded.Height = static_cast<int>(info.output_height);
  decoded.Components = info.output_components;
  const std::size_t stride = static_cast<std::size_t>(decoded.Width) * decoded.Components;
  decoded.Samples.resize(stride * decoded.Height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = decoded.Samples.data() + info.output_scanline * stride;
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

namespace {

struct ExifDataDeleter {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};

// Adds an entry of `format` holding `bytes` to `ifd`; libexif frees the data with the entry.
void AddExifEntry(ExifData* data, ExifIfd ifd, ExifTag tag, ExifFormat format,
                  unsigned long components, const std::string& bytes) {
  ExifEntry* entry = exif_entry_new();
  entry->tag = tag;
  entry->format = format;
  entry->components = components;
  entry->size = static_cast<unsigned int>(bytes.size());
  entry->data = static_cast<unsigned char*>(std::calloc(bytes.size(), 1));
  std::memcpy(entry->data, bytes.data(), bytes.size());
  exif_content_add_entry(data->ifd[ifd], entry);
  exif_entry_unref(entry);
}

void AddExifText(ExifData* data, ExifIfd ifd, ExifTag tag, const std::string& text) {
  if (text.empty()) return;
  // ASCII values end with a NUL, which the count includes.
  AddExifEntry(data, ifd, tag, EXIF_FORMAT_ASCII, text.size() + 1, text + '\0');
}

std::string BigEndianBytes(std::size_t value, int count) {
  std::string bytes;
  for (int i = count - 1; i >= 0; --i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

}  // namespace

TJpegSegment ExifSegment(const TExifFields& fields) {
  std::unique_ptr<ExifData, ExifDataDeleter> data(exif_data_new());
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  const ExifByteOrder order = fields.BigEndian ? EXIF_BYTE_ORDER_MOTOROLA : EXIF_BYTE_ORDER_INTEL;
  exif_data_set_byte_order(data.get(), order);
  AddExifText(data.get(), EXIF_IFD_0, EXIF_TAG_IMAGE_DESCRIPTION, fields.ImageDescription);
  AddExifText(data.get(), EXIF_IFD_0, EXIF_TAG_MAKE, fields.Make);
  AddExifText(data.get(), EXIF_IFD_0, EXIF_TAG_MODEL, fields.Model);
  if (fields.orientation != 0) {
    unsigned char value[2];
    exif_set_short(value, order, static_cast<ExifShort>(fields.orientation));
    AddExifEntry(data.get(), EXIF_IFD_0, EXIF_TAG_ORIENTATION, EXIF_FORMAT_SHORT, 1,
                 std::string(reinterpret_cast<const char*>(value), 2));
  }
  AddExifText(data.get(), EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, fields.DateTimeOriginal);
  unsigned char* bytes = nullptr;
  unsigned int size = 0;
  exif_data_save_data(data.get(), &bytes, &size);
  EXPECT_NE(bytes, nullptr) << "libexif could not write the EXIF data";
  TJpegSegment segment{JPEG_APP0 + 1, std::string(reinterpret_cast<const char*>(bytes), size)};
  std::free(bytes);
  return segment;
}

TJpegSegment XmpSegment(const std::string& properties) {
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

TJpegSegment PhotoshopIptcSegment(const std::vector<TIptcDataSet>& dataSets) {
  std::string iim;
  for (const TIptcDataSet& set : dataSets) {
    iim += Bytes({0x1C, set.Record, set.DataSet});  // tag marker, record, data set
    iim += BigEndianBytes(set.Data.size(), 2);      // length of the data
    iim += set.Data;
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

std::string MakeGif(const TGifPicture& picture) {
  std::string bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(&bytes, AppendToString, &error);
  EXPECT_NE(gif, nullptr);
  if (gif == nullptr) return bytes;
  EGifSetGifVersion(gif, picture.Signature == "GIF89a");
  ColorMapObject* global = MakeMap(picture.GlobalColors);
  EXPECT_EQ(EGifPutScreenDesc(gif, picture.ScreenWidth, picture.ScreenHeight,
                              picture.ColorResolution, picture.BackgroundColor, global),
            GIF_OK);
  GifFreeMapObject(global);
  for (const TGifFrame& frame : picture.Frames) {
    for (const TGifExtension& extension : frame.ExtensionsBefore) PutExtension(gif, extension);
    ColorMapObject* local = MakeMap(frame.LocalColors);
    // Through the program's own wrapper: giflib leaks a local colour map that an image
    // without one follows.
    EXPECT_EQ(PutGifImageDesc(gif, frame.Left, frame.Top, frame.Width, frame.Height,
                              frame.Interlace, local),
              GIF_OK)
        << GifErrorString(gif->Error);
    GifFreeMapObject(local);
    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
    std::vector<int> order;
    if (frame.Interlace) {
      const int start[] = {0, 4, 2, 1};
      const int step[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int y = start[pass]; y < frame.Height; y += step[pass]) order.push_back(y);
      }
    } else {
      for (int y = 0; y < frame.Height; ++y) order.push_back(y);
    }
    for (int y : order) {
      for (int x = 0; x < frame.Width; ++x) line[x] = frame.At(x, y);
      EXPECT_EQ(EGifPutLine(gif, line.data(), frame.Width), GIF_OK);
    }
  }
  for (const TGifExtension& extension : picture.TrailingExtensions) PutExtension(gif, extension);
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  return bytes;
}

TGifPicture ReadGif(const std::filesystem::path& path) {
  TGifPicture picture;
  FILE* file = std::fopen(path.c_str(), "rb");
  char signature[7] = {};
  if (file != nullptr) {
    if (std::fread(signature, 1, 6, file) != 6) signature[0] = '\0';
    std::fclose(file);
  }
  picture.Signature = signature;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  EXPECT_NE(gif, nullptr) << path << ": " << GifErrorString(error);
  if (gif == nullptr) return picture;
  picture.ScreenWidth = gif->SWidth;
  picture.ScreenHeight = gif->SHeight;
  picture.ColorResolution = gif->SColorResolution;
  picture.BackgroundColor = gif->SBackGroundColor;
  picture.GlobalColors = ReadMap(gif->SColorMap);
  std::vector<TGifExtension> pending;
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
      TGifFrame frame;
      frame.Left = gif->Image.Left;
      frame.Top = gif->Image.Top;
      frame.Width = gif->Image.Width;
      frame.Height = gif->Image.Height;
      frame.Interlace = gif->Image.Interlace;
      frame.LocalColors = ReadMap(gif->Image.ColorMap);
      frame.ExtensionsBefore = std::move(pending);
      pending.clear();
      frame.Pixels.resize(static_cast<std::size_t>(frame.Width) * frame.Height);
      for (int y = 0; y < frame.Height; ++y) {
        if (DGifGetLine(gif, frame.Pixels.data() + static_cast<std::size_t>(y) * frame.Width,
                        frame.Width) == GIF_ERROR) {
          ADD_FAILURE() << path << ": " << GifErrorString(gif->Error);
          break;
        }
      }
      picture.Frames.push_back(std::move(frame));
    } else if (type == EXTENSION_RECORD_TYPE) {
      TGifExtension extension;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &extension.Code, &block) == GIF_ERROR) break;
      while (block != nullptr) {
        extension.SubBlocks.emplace_back(reinterpret_cast<const char*>(block + 1), block[0]);
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) break;
      }
      pending.push_back(std::move(extension));
    }
  } while (type != TERMINATE_RECORD_TYPE);
  picture.TrailingExtensions = std::move(pending);
  DGifCloseFile(gif, &error);
  return picture;
}

TGifPicture SimpleGif(int width, int height, const std::vector<std::uint8_t>& pixels, int colors) {
  TGifPicture picture;
  picture.ScreenWidth = width;
  picture.ScreenHeight = height;
  for (int i = 0; i < colors; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 255 / std::max(1, colors - 1));
    picture.GlobalColors.push_back(Rgb{level, level, level});
  }
  TGifFrame frame;
  frame.Width = width;
  frame.Height = height;
  frame.Pixels = pixels;
  picture.Frames.push_back(frame);
  return picture;
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

void WriteJpegPicture(const std::filesystem::path& path, int width, int height,
                      const std::string& comment) {
  TJpegOptions options;
  if (!comment.empty()) options.Comments = {comment};
  WriteFile(path, MakeJpeg(GradientArt(width, height), options));
}

void WriteGifPicture(const std::filesystem::path& path, int width, int height, bool interlaced) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i % 16);
  TGifPicture picture = SimpleGif(width, height, pixels);
  picture.Frames[0].Interlace = interlaced;
  WriteFile(path, MakeGif(picture));
}

}  // namespace pix::test
