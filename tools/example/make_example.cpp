// Writes the shipped example picture tree: a few directories of JPEG and GIF pictures of
// several sizes, painted from simple shapes, some with captions in their JPEG comments and
// some named in series, so that every feature of a generated site has something to show.
//
//   make_example DIR     (DIR is created; pictures already there are replaced)
#include <cstdio>  // before jpeglib.h, which uses FILE

#include <gif_lib.h>
#include <jpeglib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// A landscape: a sky from `skyTop` to `skyBottom`, a sun, and two rows of hills.
struct Scene {
  Rgb sky_top, sky_bottom, sun, hill_far, hill_near;
  double sun_x, sun_y, sun_radius;  // fractions of the width and height
  double phase;                  // shifts the hills
};

Rgb Paint(const Scene& scene, int x, int y, int width, int height) {
  const double u = static_cast<double>(x) / width;
  const double v = static_cast<double>(y) / height;
  const double far = 0.55 + 0.08 * std::sin(u * 7.0 + scene.phase) + 0.04 * std::sin(u * 17.0);
  const double near = 0.72 + 0.07 * std::sin(u * 4.0 + scene.phase * 2.0);
  if (v > near) return Mix(scene.hill_near, {0.05, 0.05, 0.05}, (v - near) * 1.5);
  if (v > far) return Mix(scene.hill_far, scene.hill_near, (v - far) * 2.0);
  const double dx = (u - scene.sun_x) * width / height;
  const double dy = v - scene.sun_y;
  const double distance = std::sqrt(dx * dx + dy * dy);
  const Rgb sky = Mix(scene.sky_top, scene.sky_bottom, v / far);
  if (distance < scene.sun_radius) return scene.sun;
  if (distance < scene.sun_radius * 2.2) {
    return Mix(scene.sun, sky, (distance - scene.sun_radius) / (scene.sun_radius * 1.2));
  }
  return sky;
}

unsigned char Byte(double value) {
  return static_cast<unsigned char>(std::lround(std::fmin(1.0, std::fmax(0.0, value)) * 255));
}

// An APP segment: its marker (JPEG_APP0 + n) and payload.
struct Segment {
  int marker = 0;
  std::string payload;
};

bool WriteJpeg(const fs::path& path, const Scene& scene, int width, int height,
               const std::string& comment, const std::vector<Segment>& segments = {},
               bool stored_on_side = false) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 85, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  for (const Segment& segment : segments) {
    jpeg_write_marker(&cinfo, segment.marker,
                      reinterpret_cast<const JOCTET*>(segment.payload.data()),
                      static_cast<unsigned>(segment.payload.size()));
  }
  if (!comment.empty()) {
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                      static_cast<unsigned>(comment.size()));
  }
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      // A picture stored on its side holds the upright scene turned a quarter
      // anticlockwise, so that turning it clockwise shows the scene upright.
      const Rgb c = stored_on_side ? Paint(scene, height - 1 - y, x, height, width)
                                 : Paint(scene, x, y, width, height);
      row[static_cast<std::size_t>(x) * 3] = Byte(c.r);
      row[static_cast<std::size_t>(x) * 3 + 1] = Byte(c.g);
      row[static_cast<std::size_t>(x) * 3 + 2] = Byte(c.b);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(file) == 0;
}

// A GIF of the scene in a 6x6x6 colour cube, interlaced when asked (the generator then
// rewrites it non-interlaced before the pages are made).
bool WriteGif(const fs::path& path, const Scene& scene, int width, int height, bool interlaced) {
  std::vector<GifColorType> colours(256);
  for (int i = 0; i < 216; ++i) {
    colours[static_cast<std::size_t>(i)] = {static_cast<GifByteType>(i / 36 * 51),
                                            static_cast<GifByteType>(i / 6 % 6 * 51),
                                            static_cast<GifByteType>(i % 6 * 51)};
  }
  ColorMapObject* map = GifMakeMapObject(256, colours.data());
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (gif == nullptr) {
    GifFreeMapObject(map);
    return false;
  }
  EGifSetGifVersion(gif, false);
  bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, width, height, interlaced, nullptr) == GIF_OK;
  std::vector<std::vector<GifByteType>> rows(static_cast<std::size_t>(height),
                                             std::vector<GifByteType>(static_cast<std::size_t>(width)));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb c = Paint(scene, x, y, width, height);
      const int r = static_cast<int>(std::lround(std::fmin(1, std::fmax(0, c.r)) * 5));
      const int g = static_cast<int>(std::lround(std::fmin(1, std::fmax(0, c.g)) * 5));
      const int b = static_cast<int>(std::lround(std::fmin(1, std::fmax(0, c.b)) * 5));
      rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] =
          static_cast<GifByteType>(r * 36 + g * 6 + b);
    }
  }
  // Interlaced images store their rows in four passes.
  const int starts[] = {0, 4, 2, 1};
  const int steps[] = {8, 8, 4, 2};
  for (int pass = 0; ok && pass < (interlaced ? 4 : 1); ++pass) {
    const int start = interlaced ? starts[pass] : 0;
    const int step = interlaced ? steps[pass] : 1;
    for (int y = start; ok && y < height; y += step) {
      ok = EGifPutLine(gif, rows[static_cast<std::size_t>(y)].data(), width) == GIF_OK;
    }
  }
  ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
  GifFreeMapObject(map);
  // giflib creates its files readable by their owner only; a picture of a web site must be
  // readable by the web server too.
  std::error_code permission_error;
  fs::permissions(path,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                      fs::perms::others_read,
                  permission_error);
  return ok && !permission_error;
}

// A picture's own variables, as the records of its comment.
std::string Caption(const std::string& title, const std::string& description,
                    const std::string& subject) {
  return "DetailPageTitle:\r\n" + title + "\r\n\r\nDetailPageLabel:\r\n" + title +
         "\r\n\r\nImageDescription:\r\n" + description + "\r\n\r\nImageSubjectName:\r\n" +
         subject + "\r\n\r\n";
}

// Little-endian fields of a TIFF structure.
void Put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8 & 0xFF);
}
void Put32(std::string& out, unsigned value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// One entry of a TIFF directory: its tag, type (2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL), count
// and value bytes (little-endian).
struct TiffEntry {
  unsigned tag;
  unsigned type;
  unsigned count;
  std::string bytes;
};
TiffEntry Ascii(unsigned tag, const std::string& text) {
  return {tag, 2, static_cast<unsigned>(text.size() + 1), text + '\0'};
}
TiffEntry Short(unsigned tag, unsigned value) {
  std::string bytes;
  Put16(bytes, value);
  return {tag, 3, 1, bytes};
}
TiffEntry Rationals(unsigned tag, std::initializer_list<std::pair<unsigned, unsigned>> values) {
  std::string bytes;
  for (const auto& [numerator, denominator] : values) {
    Put32(bytes, numerator);
    Put32(bytes, denominator);
  }
  return {tag, 5, static_cast<unsigned>(values.size()), bytes};
}

// An EXIF segment as a phone writes it for a picture taken upright but stored on its side:
// the orientation and the camera, in the EXIF sub-directory the time it was taken and how
// it was exposed, and in the GPS directory where.
Segment ExifSegment(unsigned orientation, const std::string& make, const std::string& model,
                    const std::string& date_taken) {
  const std::vector<TiffEntry> exif = {
      Rationals(0x829A, {{1, 250}}),   // ExposureTime
      Rationals(0x829D, {{18, 10}}),   // FNumber
      Short(0x8827, 64),               // ISOSpeedRatings
      Ascii(0x9003, date_taken),       // DateTimeOriginal
      Rationals(0x920A, {{690, 100}}),  // FocalLength
      Short(0xA405, 25),               // FocalLengthIn35mmFilm
      Ascii(0xA434, "Pixel 8 back camera 6.9mm f/1.68"),  // LensModel
  };
  const std::vector<TiffEntry> gps = {
      Ascii(0x0001, "N"), Rationals(0x0002, {{47, 1}, {21, 1}, {3240, 100}}),  // Latitude
      Ascii(0x0003, "E"), Rationals(0x0004, {{8, 1}, {32, 1}, {2160, 100}}),   // Longitude
  };
  const auto ifd_size = [](std::size_t entries) {
    return static_cast<unsigned>(2 + 12 * entries + 4);
  };
  // Layout: header, IFD0 (5 entries), the EXIF IFD, the GPS IFD, then the longer values.
  const unsigned ifd0 = 8;
  const unsigned exif_ifd = ifd0 + ifd_size(5);
  const unsigned gps_ifd = exif_ifd + ifd_size(exif.size());
  const std::vector<TiffEntry> main = {
      Ascii(0x010F, make), Ascii(0x0110, model), Short(0x0112, orientation),
      {0x8769, 4, 1, std::string()},  // EXIF IFD, filled in below
      {0x8825, 4, 1, std::string()},  // GPS IFD
  };
  std::string tiff = "II*";
  tiff += '\0';
  Put32(tiff, ifd0);
  std::string data;
  const unsigned data_start = gps_ifd + ifd_size(gps.size());
  const auto write_ifd = [&](const std::vector<TiffEntry>& entries) {
    Put16(tiff, static_cast<unsigned>(entries.size()));
    for (const TiffEntry& entry : entries) {
      Put16(tiff, entry.tag);
      Put16(tiff, entry.type);
      Put32(tiff, entry.count);
      if (entry.tag == 0x8769 && entry.bytes.empty()) {
        Put32(tiff, exif_ifd);
      } else if (entry.tag == 0x8825 && entry.bytes.empty()) {
        Put32(tiff, gps_ifd);
      } else if (entry.bytes.size() <= 4) {
        tiff += entry.bytes + std::string(4 - entry.bytes.size(), '\0');
      } else {
        Put32(tiff, data_start + static_cast<unsigned>(data.size()));
        data += entry.bytes;
        if (data.size() % 2 != 0) data += '\0';
      }
    }
    Put32(tiff, 0);
  };
  write_ifd(main);
  write_ifd(exif);
  write_ifd(gps);
  return {JPEG_APP0 + 1, std::string("Exif\0\0", 6) + tiff + data};
}

// An XMP segment holding a description, as photo managers write a caption.
Segment XmpSegment(const std::string& description) {
  const std::string packet =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
      " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
      "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
      "   <dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">" +
      description +
      "</rdf:li></rdf:Alt></dc:description>\n"
      "  </rdf:Description>\n"
      " </rdf:RDF>\n"
      "</x:xmpmeta>\n"
      "<?xpacket end=\"w\"?>";
  return {JPEG_APP0 + 1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet};
}

const Scene kDusk{{0.16, 0.12, 0.35}, {0.95, 0.55, 0.35}, {1.0, 0.85, 0.5},
                  {0.35, 0.22, 0.35}, {0.15, 0.1, 0.18}, 0.7, 0.5, 0.07, 0.3};
const Scene kNoon{{0.25, 0.5, 0.9}, {0.7, 0.85, 1.0}, {1.0, 1.0, 0.85},
                  {0.35, 0.6, 0.3}, {0.2, 0.45, 0.15}, 0.25, 0.2, 0.06, 1.4};
const Scene kDawn{{0.55, 0.6, 0.8}, {1.0, 0.8, 0.7}, {1.0, 0.95, 0.8},
                  {0.5, 0.55, 0.6}, {0.3, 0.35, 0.4}, 0.4, 0.45, 0.05, 2.2};
const Scene kNight{{0.02, 0.03, 0.1}, {0.1, 0.15, 0.3}, {0.95, 0.95, 0.9},
                   {0.08, 0.1, 0.15}, {0.03, 0.04, 0.06}, 0.8, 0.2, 0.04, 3.1};

Scene Varied(Scene scene, double shift) {
  scene.sun_x = std::fmod(scene.sun_x + shift * 0.17, 0.9) + 0.05;
  scene.phase += shift;
  return scene;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_example DIR\n";
    return 2;
  }
  const fs::path root = argv[1];
  std::error_code error;
  for (const char* folder :
       {"", "holiday", "garden", "garden/macro", "night", "Zürich Süd", "hike"}) {
    fs::create_directories(root / folder, error);
    if (error) {
      std::cerr << "cannot create " << (root / folder).string() << ": " << error.message() << "\n";
      return 1;
    }
  }
  bool ok = true;
  ok &= WriteJpeg(root / "cover.jpg", kDusk, 1024, 683,
                  Caption("Evening over the hills", "The view from the terrace, late in summer.",
                          "Landscape"));
  for (int i = 1; i <= 5; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "photo%04d.jpg", i);
    const int width = i % 2 ? 800 : 600;
    const int height = i % 2 ? 600 : 800;
    ok &= WriteJpeg(root / "holiday" / name, Varied(kNoon, i), width, height,
                    i == 1 ? Caption("Arrival", "First look at the valley.", "Holiday") : "");
  }
  ok &= WriteJpeg(root / "holiday" / "beach.jpg", kDawn, 1200, 800,
                  Caption("The beach at dawn", "Nobody else was up yet.", "Holiday"));
  ok &= WriteGif(root / "holiday" / "map.gif", kNoon, 320, 240, /*interlaced=*/true);
  for (int i = 1; i <= 3; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "img%04da.jpg", i);
    ok &= WriteJpeg(root / "garden" / name, Varied(kDawn, i * 0.7), 640, 480, "");
  }
  ok &= WriteGif(root / "garden" / "flower.gif", Varied(kNoon, 5), 200, 200, false);
  ok &= WriteJpeg(root / "garden" / "macro" / "leaf.jpg", Varied(kNoon, 2.5), 480, 480,
                  Caption("Leaf", "A leaf against the light.", "Garden"));
  ok &= WriteJpeg(root / "garden" / "macro" / "dew.jpg", Varied(kDawn, 1.1), 500, 375, "");
  ok &= WriteJpeg(root / "night" / "stars.jpg", kNight, 1280, 720,
                  Caption("Stars", "A clear night, far from the town.", "Sky"));
  // A name that must be escaped in links and text.
  ok &= WriteJpeg(root / "night" / "Moon & stars #2.jpg", Varied(kNight, 0.9), 900, 1200, "");
  // Names and captions as today's cameras and people write them: UTF-8, and dots in names.
  ok &= WriteJpeg(root / "Zürich Süd" / "Dünes.jpg", Varied(kDusk, 1.7), 960, 640,
                  Caption("Dünes au crépuscule", "Sand und Licht über dem Sée, 5 €.", "Reise"));
  ok &= WriteJpeg(root / "Zürich Süd" / "2024.06.01 walk.jpg", Varied(kNoon, 3.3), 800, 600,
                  "");
  // A portrait taken with a phone held upright: stored landscape, turned by its EXIF
  // orientation (6: turn a quarter clockwise to show).
  ok &= WriteJpeg(root / "Zürich Süd" / "PXL_20240601_183012345.MP.jpg", Varied(kDusk, 2.4), 800,
                  600, "",
                  {ExifSegment(6, "Google", "Pixel 8", "2024:06:01 18:30:12")},
                  /*storedOnSide=*/true);
  // A caption written by a photo manager, in XMP only.
  ok &= WriteJpeg(root / "Zürich Süd" / "Limmat.jpg", Varied(kNoon, 4.1), 900, 600, "",
                  {XmpSegment("Die Limmat am Abend &amp; ein Café am Ufer")});
  // A long album: thirty pictures, more than one page holds, named as a photographer
  // names them, so that numbers in names need the natural order ("Summit_2" before
  // "Summit_10") and no three share a name pattern that would make them a series.
  const char* const places[] = {"Alpine_meadow", "Birch_grove", "Cairn", "Cliff_edge",
                                "Creek", "Footbridge_over_the_Reuss_near_Andermatt",
                                "Glacier_view", "Hut", "Lake", "Moraine", "Pass", "Ridge",
                                "Scree", "Summit", "Waterfall"};
  int shot = 0;
  for (const char* place : places) {
    for (const int number : {2, 10}) {
      ++shot;
      const std::string name = std::string(place) + "_" + std::to_string(number) + ".jpg";
      ok &= WriteJpeg(root / "hike" / name, Varied(shot % 3 ? kNoon : kDawn, shot * 0.37),
                      shot % 4 ? 640 : 427, shot % 4 ? 427 : 640, "");
    }
  }
  if (!ok) {
    std::cerr << "cannot write the example pictures into " << root.string() << "\n";
    return 1;
  }
  std::cout << root.string() << "\n";
  return 0;
}
