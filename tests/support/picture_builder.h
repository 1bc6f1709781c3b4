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

namespace pix::test {

struct Rgb {
  std::uint8_t R = 0, G = 0, B = 0;
  bool operator==(const Rgb& o) const { return R == o.R && G == o.G && B == o.B; }
};

/// A picture of Width x Height RGB pixels, row by row.
struct TPixelArt {
  int Width = 0;
  int Height = 0;
  std::vector<Rgb> Pixels;
  const Rgb& At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};

/// Turns rows of characters into pixels: r red, g green, b blue, y yellow, c cyan,
/// m magenta, w white, k black, . mid grey. All rows must be equally long.
TPixelArt ParseArt(const std::vector<std::string>& rows);

/// The usual 9 x 7 template: coloured bars in distinct channels around a white cross.
TPixelArt SampleArt();

/// `art` with every pixel made a block of `factor` x `factor` pixels, so that the colour
/// in the middle of each block survives JPEG's chroma blur.
TPixelArt EnlargeArt(const TPixelArt& art, int factor);

/// A smooth colour picture of any size (gradients in each channel), for size tests.
TPixelArt GradientArt(int width, int height);

/// TwoChannel is a JPEG of an unknown colour space with two components (red and green),
/// which no viewer can show; it stands for pictures the decoder must refuse.
enum class JpegKind { Baseline, Progressive, Grey, Cmyk, Ycck, TwoChannel };

/// A marker segment: its marker code (0xE1 for APP1, 0xED for APP13, ...) and payload.
struct TJpegSegment {
  int Marker = 0;
  std::string Payload;
};

struct TJpegOptions {
  JpegKind Kind = JpegKind::Baseline;
  int Quality = 92;
  /// Whether the JFIF APP0 segment comes first, as libjpeg writes it; cameras write none and
  /// start with their EXIF segment.
  bool Jfif = true;
  /// An APP1 segment written first, e.g. one holding a complete thumbnail JPEG.
  std::string App1Payload;
  /// More segments (EXIF, XMP, Photoshop), in this order, after the APP1 segment above.
  std::vector<TJpegSegment> Segments;
  /// COM segments, in this order, after the APP segments and before the tables.
  std::vector<std::string> Comments;
};

/// A JPEG file of the picture. CMYK and YCCK pictures are written the way Adobe's programs
/// write them: inverted ink values and an Adobe segment.
std::string MakeJpeg(const TPixelArt& art, const TJpegOptions& options = {});

/// A JPEG file decoded by libjpeg: Components 1 (grey) or 3 (RGB) samples per pixel.
struct TDecodedJpeg {
  int Width = 0;
  int Height = 0;
  int Components = 0;
  std::vector<std::uint8_t> Samples;
};
TDecodedJpeg DecodeJpegBytes(const std::string& bytes);

/// `jpeg` (a file of one scan, such as MakeJpeg's baseline kind writes) cut short halfway
/// through its compressed data: libjpeg decodes it, fills in what is missing and warns
/// "Premature end of JPEG file".
std::string CutInsideScan(const std::string& jpeg);

/// Bytes from a list of values 0 to 255 (for marker streams written out field by field).
std::string Bytes(std::initializer_list<int> values);

/// What an EXIF segment built by ExifSegment holds; empty texts and an orientation of 0
/// leave their tag out. Texts are written as they are, byte for byte.
struct TExifFields {
  int orientation = 0;
  std::string ImageDescription;
  std::string Make;
  std::string Model;
  std::string DateTimeOriginal;  ///< In the first IFD's EXIF sub-IFD, as cameras write it.
  bool BigEndian = false;        ///< Motorola byte order ("MM") instead of Intel ("II").
};

/// An APP1 segment holding EXIF data ("Exif\0\0" and a TIFF structure), written by libexif.
TJpegSegment ExifSegment(const TExifFields& fields);

/// An APP1 segment holding an XMP packet whose rdf:Description contains `properties`
/// (XML text such as "<dc:description>...</dc:description>").
TJpegSegment XmpSegment(const std::string& properties);

/// An IPTC data set: record, data set number and data.
struct TIptcDataSet {
  int Record = 2;
  int DataSet = 0;
  std::string Data;
};

/// An APP13 segment: "Photoshop 3.0", then one image resource 0x0404 holding the data sets.
TJpegSegment PhotoshopIptcSegment(const std::vector<TIptcDataSet>& dataSets);

struct TGifExtension {
  int Code = 0;
  std::vector<std::string> SubBlocks;
  bool operator==(const TGifExtension& o) const {
    return Code == o.Code && SubBlocks == o.SubBlocks;
  }
};

struct TGifFrame {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Interlace = false;
  std::vector<Rgb> LocalColors;  ///< Empty: the frame uses the global colours.
  /// Width x Height colour indices, top row first. For an interlaced frame the builder
  /// stores them in the interlaced order; a frame read back holds them in file order.
  std::vector<std::uint8_t> Pixels;
  std::vector<TGifExtension> ExtensionsBefore;  ///< Extension records ahead of the image.
  std::uint8_t At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};

struct TGifPicture {
  std::string Signature = "GIF89a";  ///< What a file read back starts with.
  int ScreenWidth = 0, ScreenHeight = 0;
  int ColorResolution = 8;
  int BackgroundColor = 0;
  std::vector<Rgb> GlobalColors;  ///< A power of two entries, or empty for none.
  std::vector<TGifFrame> Frames;
  std::vector<TGifExtension> TrailingExtensions;  ///< Extensions after the last image.
};

/// A GIF file of the picture, written record by record with giflib.
std::string MakeGif(const TGifPicture& picture);

/// A GIF file read back record by record; fails the current test when it cannot be read.
TGifPicture ReadGif(const std::filesystem::path& path);

/// A one-frame GIF whose pixel values are given row by row; the global colour map has
/// `colors` distinct grey levels.
TGifPicture SimpleGif(int width, int height, const std::vector<std::uint8_t>& pixels,
                      int colors = 16);

/// Writes a JPEG picture of `width` by `height` (a smooth gradient) to `path`, with
/// `comment` in a COM segment unless it is empty. Parent folders are created.
void WriteJpegPicture(const std::filesystem::path& path, int width, int height,
                      const std::string& comment);

/// Writes a one-frame GIF picture of `width` by `height` to `path`, interlaced when asked.
void WriteGifPicture(const std::filesystem::path& path, int width, int height, bool interlaced);

/// True when the command-line tool `name` is on the PATH.
bool ToolAvailable(const std::string& name);

/// Runs `command` through the shell; returns its exit status and fills `output` with what
/// it wrote on standard output.
int RunTool(const std::string& command, std::string* output);

/// Quotes a path for the shell.
std::string ShellQuote(const std::filesystem::path& path);

}  // namespace pix::test
