// Test pictures built in code: JPEG files made with libjpeg from small ASCII-art pixel
// templates (odd sizes, distinct channels, so that swapped or shifted channels show), GIF
// files made with giflib from frame descriptions, and helpers to read both back and to run
// the command-line tools of libjpeg-turbo and giflib.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "picture/comread.h"

namespace pix::test {

struct Rgb {
  std::uint8_t R = 0, G = 0, B = 0;
  bool operator==(const Rgb& o) const { return R == o.R && G == o.G && B == o.B; }
};

/// A picture of Width x Height RGB pixels, row by row.
struct PixelArt {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
  const Rgb& At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

/// Turns rows of characters into pixels: r red, g green, b blue, y yellow, c cyan,
/// m magenta, w white, k black, . mid grey. All rows must be equally long.
PixelArt ParseArt(const std::vector<std::string>& rows);

/// The usual 9 x 7 template: coloured bars in distinct channels around a white cross.
PixelArt SampleArt();

/// `art` with every pixel made a block of `factor` x `factor` pixels, so that the colour
/// in the middle of each block survives JPEG's chroma blur.
PixelArt EnlargeArt(const PixelArt& art, int factor);

/// A smooth colour picture of any size (gradients in each channel), for size tests.
PixelArt GradientArt(int width, int height);

/// TwoChannel is a JPEG of an unknown colour space with two components (red and green),
/// which no viewer can show; it stands for pictures the decoder must refuse.
enum class JpegKind { kBaseline, kProgressive, kGrey, kCmyk, kYcck, kTwoChannel };

/// A marker segment: its marker code (0xE1 for APP1, 0xED for APP13, ...) and payload.
struct JpegSegment {
  int marker = 0;
  std::string payload;
};

struct JpegOptions {
  JpegKind kind = JpegKind::kBaseline;
  int quality = 92;
  /// Whether the JFIF APP0 segment comes first, as libjpeg writes it; cameras write none and
  /// start with their EXIF segment.
  bool jfif = true;
  /// An APP1 segment written first, e.g. one holding a complete thumbnail JPEG.
  std::string app1_payload;
  /// More segments (EXIF, XMP, Photoshop), in this order, after the APP1 segment above.
  std::vector<JpegSegment> segments;
  /// COM segments, in this order, after the APP segments and before the tables.
  std::vector<std::string> comments;
  /// Arithmetic coding instead of Huffman coding (baseline and progressive kinds).
  bool arithmetic = false;
};

/// A JPEG file of the picture. CMYK and YCCK pictures are written the way Adobe's programs
/// write them: inverted ink values and an Adobe segment.
std::string MakeJpeg(const PixelArt& art, const JpegOptions& options = {});

/// A JPEG file decoded by libjpeg: Components 1 (grey) or 3 (RGB) samples per pixel.
struct DecodedJpeg {
  int width = 0;
  int height = 0;
  int components = 0;
  std::vector<std::uint8_t> samples;
};
DecodedJpeg DecodeJpegBytes(const std::string& bytes);

/// `jpeg` (a file of one scan, such as MakeJpeg's baseline kind writes) cut short halfway
/// through its compressed data: libjpeg decodes it, fills in what is missing and warns
/// "Premature end of JPEG file".
std::string CutInsideScan(const std::string& jpeg);

/// Bytes from a list of values 0 to 255 (for marker streams written out field by field).
std::string Bytes(std::initializer_list<int> values);

/// A whole COM segment holding `text`: marker, big-endian length (counting itself), text.
std::string ComSegment(const std::string& text);

/// An entry of a TIFF directory: tag, type (2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, or any
/// number for a damaged entry), count, and its value bytes in the structure's byte order.
struct TiffEntry {
  unsigned tag = 0;
  unsigned type = 0;
  unsigned count = 0;
  std::string bytes;
};

/// A TIFF structure as EXIF data hold it: the first directory with `ifd0`, and when they
/// are not empty an EXIF and a GPS directory that it points to (their pointers are added
/// last to the first directory). Entries are written in the order given.
std::string TiffStructure(bool big_endian, std::vector<TiffEntry> ifd0,
                          std::vector<TiffEntry> exif, std::vector<TiffEntry> gps);

/// What an EXIF segment built by ExifSegment holds; empty texts and an orientation of 0
/// leave their tag out. Texts are written as they are, byte for byte.
struct ExifFields {
  int orientation = 0;
  std::string image_description;
  std::string make;
  std::string model;
  std::string date_time_original;  ///< In the first IFD's EXIF sub-IFD, as cameras write it.
  bool BigEndian = false;        ///< Motorola byte order ("MM") instead of Intel ("II").
  /// A GPS directory with where the picture was taken: 48 deg 51' N, 2 deg 21' E.
  bool gps_position = false;
  /// With gps_position: the southern and western hemispheres ("S", "W") instead.
  bool gps_south_west = false;
  /// Exposure tags of the EXIF sub-IFD; a rational of 0/0, a number of 0 or an empty text
  /// leaves the tag out.
  unsigned exposure_time[2] = {0, 0};  ///< ExposureTime, numerator and denominator.
  unsigned f_number[2] = {0, 0};       ///< FNumber.
  unsigned focal_length[2] = {0, 0};   ///< FocalLength.
  int iso = 0;                         ///< ISOSpeedRatings (SHORT).
  int focal_length_35mm = 0;           ///< FocalLengthIn35mmFilm (SHORT).
  std::string lens_model;              ///< LensModel.
  /// Entries written as they are into the first and the EXIF directory (damaged ones too).
  std::vector<TiffEntry> more_ifd0_entries;
  std::vector<TiffEntry> more_exif_entries;
  /// Entries sorted by tag, as the standard wants; false keeps the extra entries first.
  bool sorted = true;
};

/// An APP1 segment holding EXIF data: "Exif\0\0" and a TIFF structure.
JpegSegment ExifSegment(const ExifFields& fields);

/// Options for a JPEG file as a camera writes it: its EXIF segment first, no JFIF segment.
JpegOptions WithExif(const ExifFields& fields);

/// An APP1 segment holding an XMP packet whose rdf:Description contains `properties`
/// (XML text such as "<dc:description>...</dc:description>").
JpegSegment XmpSegment(const std::string& properties);

/// An IPTC data set: record, data set number and data.
struct IptcDataSet {
  int record = 2;
  int data_set = 0;
  std::string data;
};

/// An APP13 segment: "Photoshop 3.0", then one image resource 0x0404 holding the data sets.
JpegSegment PhotoshopIptcSegment(const std::vector<IptcDataSet>& data_sets);

struct GifExtension {
  int code = 0;
  std::vector<std::string> sub_blocks;
  bool operator==(const GifExtension& o) const {
    return code == o.code && sub_blocks == o.sub_blocks;
  }
};

struct GifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlace = false;
  std::vector<Rgb> local_colors;  ///< Empty: the frame uses the global colours.
  /// Width x Height colour indices, top row first. For an interlaced frame the builder
  /// stores them in the interlaced order; a frame read back holds them in file order.
  std::vector<std::uint8_t> pixels;
  std::vector<GifExtension> extensions_before;  ///< Extension records ahead of the image.
  std::uint8_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

struct GifPicture {
  std::string signature = "GIF89a";  ///< What a file read back starts with.
  int screen_width = 0, screen_height = 0;
  int color_resolution = 8;
  int background_color = 0;
  std::vector<Rgb> global_colors;  ///< A power of two entries, or empty for none.
  std::vector<GifFrame> frames;
  std::vector<GifExtension> trailing_extensions;  ///< Extensions after the last image.
};

/// A GIF file of the picture, written record by record with giflib.
std::string MakeGif(const GifPicture& picture);

/// A GIF file read back record by record; fails the current test when it cannot be read.
GifPicture ReadGif(const std::filesystem::path& path);

/// The header of the JPEG file at `path` as the caption reader reads it; a test failure and
/// an empty header when the file cannot be opened.
JpegHeader HeaderOf(const std::filesystem::path& path);

/// A one-frame GIF whose pixel values are given row by row; the global colour map has
/// `colors` distinct grey levels.
GifPicture SimpleGif(int width, int height, const std::vector<std::uint8_t>& pixels,
                      int colors = 16);

/// A hostile GIF of 34 bytes: a 65535 x 65535 screen and an image of that size, interlaced
/// when asked, whose data hold only a clear code.
std::string HugeGif(bool interlaced = false);

/// Writes a JPEG picture of `width` by `height` (a smooth gradient) to `path`, with
/// `comment` in a COM segment unless it is empty. Parent folders are created.
void WriteJpegPicture(const std::filesystem::path& path, int width, int height,
                      const std::string& comment);

/// Writes a one-frame GIF picture of `width` by `height` to `path`, interlaced when asked.
void WriteGifPicture(const std::filesystem::path& path, int width, int height, bool interlaced);

/// The size of an image file of any inline format (GIF, JPEG, WebP, by its extension) as
/// "WxH"; "unreadable" when it cannot be read.
std::string ImageSizeOf(const std::filesystem::path& path);

/// True when the command-line tool `name` is on the PATH.
bool ToolAvailable(const std::string& name);

/// Runs `command` through the shell; returns its exit status and fills `output` with what
/// it wrote on standard output.
int RunTool(const std::string& command, std::string* output);

/// Quotes a path for the shell.
std::string ShellQuote(const std::filesystem::path& path);

}  // namespace pix::test
