#include "picture/exifinfo.h"

#include <exiv2/error.hpp>
#include <exiv2/exif.hpp>
#include <exiv2/value.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "picture/metatext.h"

namespace pix {
namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// The tags read, by the directory exiv2 names their group after.
enum class Ifd { kImage, kPhoto, kGps };

// The entries of one EXIF structure that a page uses, found in one pass over what exiv2
// read. Exiv2 reads a damaged entry as best it can and passes over one it cannot read, so
// the entries around it are kept.
class ExifEntries {
 public:
  ExifEntries(const Exiv2::ExifData& data, Exiv2::ByteOrder order) : order_(order) {
    for (const Exiv2::Exifdatum& datum : data) {
      const std::uint16_t tag = datum.tag();
      // Cheap tests first: most entries (maker notes, the thumbnail's) are not wanted.
      if (!IsWanted(tag)) continue;
      const std::string group = datum.groupName();
      const std::optional<Ifd> ifd = group == "Image"     ? std::optional(Ifd::kImage)
                                     : group == "Photo"   ? std::optional(Ifd::kPhoto)
                                     : group == "GPSInfo" ? std::optional(Ifd::kGps)
                                                          : std::nullopt;
      if (!ifd) continue;
      // The first of two entries of the same tag counts, as for any reader that searches.
      if (Find(*ifd, tag) == nullptr) found_.push_back({*ifd, tag, &datum});
    }
  }

  const Exiv2::Exifdatum* Find(Ifd ifd, std::uint16_t tag) const {
    for (const Found& entry : found_) {
      if (entry.ifd == ifd && entry.tag == tag) return entry.datum;
    }
    return nullptr;
  }

  // The text of an entry. Texts should be ASCII, but cameras and programs also store them
  // as bytes or undefined data (often UTF-8); all three are read alike.
  std::string Text(Ifd ifd, std::uint16_t tag) const {
    const Exiv2::Exifdatum* datum = Find(ifd, tag);
    if (datum == nullptr) return std::string();
    const Exiv2::TypeId type = datum->typeId();
    if (type != Exiv2::asciiString && type != Exiv2::unsignedByte && type != Exiv2::undefined) {
      return std::string();
    }
    std::string bytes(static_cast<std::size_t>(datum->size()), '\0');
    if (bytes.empty()) return bytes;
    datum->copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), order_);
    return CleanMetadataText(bytes);
  }

  // A SHORT or LONG entry as a number.
  std::optional<long> Integer(Ifd ifd, std::uint16_t tag) const {
    const Exiv2::Exifdatum* datum = Find(ifd, tag);
    if (datum == nullptr || datum->count() < 1) return std::nullopt;
    if (datum->typeId() != Exiv2::unsignedShort && datum->typeId() != Exiv2::unsignedLong) {
      return std::nullopt;
    }
    return datum->toLong(0);
  }

  // The `index`th unsigned rational of an entry, as a number; none when it is missing or
  // divides by 0.
  std::optional<double> Rational(Ifd ifd, std::uint16_t tag, long index = 0) const {
    const Exiv2::Exifdatum* datum = Find(ifd, tag);
    if (datum == nullptr || datum->typeId() != Exiv2::unsignedRational ||
        datum->count() <= index) {
      return std::nullopt;
    }
    const auto* values = dynamic_cast<const Exiv2::URationalValue*>(&datum->value());
    if (values == nullptr || values->value_.size() <= static_cast<std::size_t>(index)) {
      return std::nullopt;
    }
    const Exiv2::URational value = values->value_[static_cast<std::size_t>(index)];
    if (value.second == 0) return std::nullopt;
    return static_cast<double>(value.first) / value.second;
  }

 private:
  struct Found {
    Ifd ifd;
    std::uint16_t tag;
    const Exiv2::Exifdatum* datum;
  };

  static bool IsWanted(std::uint16_t tag) {
    switch (tag) {
      case 0x0001: case 0x0002: case 0x0003: case 0x0004:  // GPS position and hemispheres
      case 0x010E: case 0x010F: case 0x0110: case 0x0112:  // description, make, model, orientation
      case 0x829A: case 0x829D: case 0x8827:               // exposure time, FNumber, ISO
      case 0x9003: case 0x920A: case 0xA405:               // date taken, focal lengths
      case 0xA433: case 0xA434:                            // lens make and model
        return true;
      default:
        return false;
    }
  }

  Exiv2::ByteOrder order_;
  std::vector<Found> found_;
};

// A number of `bytes` bytes at `at` of a TIFF structure in its byte order; none past the end.
std::optional<std::uint32_t> TiffNumber(std::string_view tiff, std::size_t at, std::size_t bytes) {
  if (at > tiff.size() || tiff.size() - at < bytes) return std::nullopt;
  const bool big_endian = tiff[0] == 'M';
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    const std::size_t from = big_endian ? at + i : at + bytes - 1 - i;
    value = value << 8 | static_cast<std::uint8_t>(tiff[from]);
  }
  return value;
}

// Where the entry `tag` of the directory at `ifd` starts; none when it has none or the
// directory does not fit.
std::optional<std::size_t> FindTiffEntry(std::string_view tiff, std::size_t ifd,
                                         std::uint16_t tag) {
  const std::optional<std::uint32_t> count = TiffNumber(tiff, ifd, 2);
  if (!count) return std::nullopt;
  for (std::size_t i = 0; i < *count; ++i) {
    const std::size_t entry = ifd + 2 + 12 * i;
    const std::optional<std::uint32_t> entry_tag = TiffNumber(tiff, entry, 2);
    if (!entry_tag || tiff.size() - entry < 12) return std::nullopt;
    if (*entry_tag == tag) return entry;
  }
  return std::nullopt;
}

// Renames the maker note of a TIFF structure to a private tag, which exiv2 keeps as plain
// bytes instead of parsing it: a maker's note can hold hundreds of entries, which cost
// exiv2 ten times what the rest of the data do, and no page uses them.
void HideMakerNote(std::string& tiff) {
  const std::string_view header = std::string_view(tiff).substr(0, 4);
  if (tiff.size() < 8 || (header != std::string_view("II*\0", 4) &&
                          header != std::string_view("MM\0*", 4))) {
    return;
  }
  const std::optional<std::uint32_t> ifd0 = TiffNumber(tiff, 4, 4);
  if (!ifd0) return;
  const std::optional<std::size_t> pointer = FindTiffEntry(tiff, *ifd0, 0x8769);
  if (!pointer) return;
  const std::optional<std::uint32_t> exif_ifd = TiffNumber(tiff, *pointer + 8, 4);
  if (!exif_ifd) return;
  const std::optional<std::size_t> note = FindTiffEntry(tiff, *exif_ifd, 0x927C);
  if (!note) return;
  // 0xFFFE: in the range of private tags no one defines.
  tiff[*note] = '\xFF';
  tiff[*note + 1] = '\xFE';
}

// Reads the TIFF structure of an APP1 payload with exiv2; false when there is none that it
// can read.
bool DecodeExif(std::string_view app1_payload, Exiv2::ExifData& data, Exiv2::ByteOrder& order) {
  constexpr std::size_t kSignatureBytes = 6;  // "Exif\0\0"
  if (app1_payload.size() <= kSignatureBytes || app1_payload.size() > UINT32_MAX) return false;
  QuietenExiv2();
  std::string tiff(app1_payload.substr(kSignatureBytes));
  HideMakerNote(tiff);
  try {
    order = Exiv2::ExifParser::decode(data, reinterpret_cast<const Exiv2::byte*>(tiff.data()),
                                      static_cast<std::uint32_t>(tiff.size()));
  } catch (const std::exception&) {
    // Whatever exiv2 had read before it gave up is kept.
  }
  return !data.empty();
}

// The orientation tag of the main image. Only the first IFD counts: the thumbnail's IFD may
// carry a tag of its own, which says nothing about the picture.
Orientation OrientationEntry(const ExifEntries& entries) {
  const std::optional<long> value = entries.Integer(Ifd::kImage, 0x0112);
  return value ? OrientationFromTag(*value) : Orientation::kNormal;
}

bool IsDigitRun(std::string_view text, std::size_t at, std::size_t count) {
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

int NumberAt(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// A number with at most `decimals` places and no trailing zeros: 5.6, 50, 4.25.
std::string Decimal(double value, int decimals) {
  char text[64];
  const std::to_chars_result written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  std::string result(text, written.ec == std::errc() ? written.ptr : text);
  if (result.find('.') != std::string::npos) {
    while (!result.empty() && result.back() == '0') result.pop_back();
    if (!result.empty() && result.back() == '.') result.pop_back();
  }
  return result;
}

// A positive, finite measure below `limit`, else none: what a camera writes for "unknown"
// (zero, or a rational of 0/0) is no measure.
std::optional<double> Measure(std::optional<double> value, double limit) {
  if (!value || !std::isfinite(*value) || *value <= 0.0 || *value >= limit) return std::nullopt;
  return value;
}

void ReadExposure(const ExifEntries& entries, ExifInfo& info) {
  if (const std::optional<double> time = Measure(entries.Rational(Ifd::kPhoto, 0x829A), 1e6)) {
    // Short times as the fraction a camera shows ("1/250"), long ones in seconds.
    info.exposure_time = *time < 0.5 ? "1/" + Decimal(std::round(1.0 / *time), 0) + " s"
                                     : Decimal(*time, 1) + " s";
  }
  if (const std::optional<double> f = Measure(entries.Rational(Ifd::kPhoto, 0x829D), 1000)) {
    info.aperture = "f/" + Decimal(*f, 1);
  }
  if (const std::optional<long> iso = entries.Integer(Ifd::kPhoto, 0x8827); iso && *iso > 0) {
    info.iso = std::to_string(*iso);
  }
  if (const std::optional<double> focal = Measure(entries.Rational(Ifd::kPhoto, 0x920A), 100000)) {
    info.focal_length = Decimal(*focal, 1) + " mm";
  }
  if (const std::optional<long> focal = entries.Integer(Ifd::kPhoto, 0xA405); focal && *focal > 0) {
    info.focal_length_35mm = std::to_string(*focal) + " mm";
  }
  // LensModel, else LensMake.
  info.lens = entries.Text(Ifd::kPhoto, 0xA434);
  if (info.lens.empty()) info.lens = entries.Text(Ifd::kPhoto, 0xA433);
}

// One coordinate of the GPS directory: degrees, minutes and seconds, negative for the
// southern or western hemisphere (`negative_ref`).
std::optional<double> Coordinate(const ExifEntries& entries, std::uint16_t tag,
                                 std::uint16_t ref_tag, char negative_ref, double limit) {
  std::optional<double> parts[3];
  for (long i = 0; i < 3; ++i) {
    parts[i] = entries.Rational(Ifd::kGps, tag, i);
    if (!parts[i]) return std::nullopt;
  }
  double value = *parts[0] + *parts[1] / 60.0 + *parts[2] / 3600.0;
  if (!std::isfinite(value) || value > limit) return std::nullopt;
  const std::string ref = entries.Text(Ifd::kGps, ref_tag);
  if (!ref.empty() && (ref[0] == negative_ref || ref[0] == negative_ref + ('a' - 'A'))) value = -value;
  return value;
}

void ReadPosition(const ExifEntries& entries, ExifInfo& info) {
  const std::optional<double> latitude = Coordinate(entries, 0x0002, 0x0001, 'S', 90.0);
  const std::optional<double> longitude = Coordinate(entries, 0x0004, 0x0003, 'W', 180.0);
  // 0, 0 is what a receiver without a fix writes, not a place anyone photographs.
  if (!latitude || !longitude || (*latitude == 0.0 && *longitude == 0.0)) return;
  info.has_position = true;
  info.latitude = *latitude;
  info.longitude = *longitude;
}

}  // namespace

void QuietenExiv2() {
  static std::once_flag once;
  std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
}

std::string FormatCameraSettings(const ExifInfo& info) {
  std::string text = "1";
  for (const std::string* field : {&info.exposure_time, &info.aperture, &info.iso,
                                   &info.focal_length, &info.focal_length_35mm, &info.lens}) {
    text += '\t';
    for (const char c : *field) text += c == '\t' || c == '\n' ? ' ' : c;
  }
  text += '\t';
  if (info.has_position) text += Decimal(info.latitude, 7) + "," + Decimal(info.longitude, 7);
  text += '\t';
  if (info.duration_seconds > 0) text += Decimal(info.duration_seconds, 3);
  return text;
}

bool ParseCameraSettings(std::string_view text, ExifInfo& info) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = text.find('\t', start);
    fields.push_back(text.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  if (fields.size() != 9 || fields[0] != "1") return false;
  info.duration_seconds = 0.0;
  if (!fields[8].empty()) {
    const std::from_chars_result read = std::from_chars(
        fields[8].data(), fields[8].data() + fields[8].size(), info.duration_seconds);
    if (read.ec != std::errc() || !(info.duration_seconds >= 0)) return false;
  }
  std::string* targets[] = {&info.exposure_time, &info.aperture, &info.iso,
                            &info.focal_length, &info.focal_length_35mm, &info.lens};
  for (std::size_t i = 0; i < 6; ++i) targets[i]->assign(fields[i + 1]);
  info.has_position = false;
  const std::string_view position = fields[7];
  if (position.empty()) return true;
  const std::size_t comma = position.find(',');
  if (comma == std::string_view::npos) return false;
  double latitude = 0.0;
  double longitude = 0.0;
  const std::from_chars_result a =
      std::from_chars(position.data(), position.data() + comma, latitude);
  const std::from_chars_result b = std::from_chars(position.data() + comma + 1,
                                                   position.data() + position.size(), longitude);
  if (a.ec != std::errc() || b.ec != std::errc() || std::fabs(latitude) > 90.0 ||
      std::fabs(longitude) > 180.0) {
    return false;
  }
  info.has_position = true;
  info.latitude = latitude;
  info.longitude = longitude;
  return true;
}

std::string OpenStreetMapUrl(double latitude, double longitude) {
  const std::string lat = Decimal(latitude, 5);
  const std::string lon = Decimal(longitude, 5);
  return "https://www.openstreetmap.org/?mlat=" + lat + "&mlon=" + lon + "#map=16/" + lat + "/" +
         lon;
}

ExifInfo ReadExifInfo(std::string_view app1_payload) {
  ExifInfo info;
  Exiv2::ExifData data;
  Exiv2::ByteOrder order = Exiv2::invalidByteOrder;
  if (!DecodeExif(app1_payload, data, order)) return info;
  const ExifEntries entries(data, order);
  info.orientation = OrientationEntry(entries);
  info.make = entries.Text(Ifd::kImage, 0x010F);
  info.model = entries.Text(Ifd::kImage, 0x0110);
  info.description = entries.Text(Ifd::kImage, 0x010E);
  if (IsCameraPlaceholderDescription(info.description, info.make, info.model)) {
    info.description.clear();
  }
  std::string taken = entries.Text(Ifd::kPhoto, 0x9003);
  // A few programs put the tag into the first IFD instead.
  if (taken.empty()) taken = entries.Text(Ifd::kImage, 0x9003);
  info.date_taken = IsoDateTimeFromExif(taken);
  ReadExposure(entries, info);
  ReadPosition(entries, info);
  return info;
}

bool ExifHasGpsPosition(std::string_view app1_payload) {
  Exiv2::ExifData data;
  Exiv2::ByteOrder order = Exiv2::invalidByteOrder;
  if (!DecodeExif(app1_payload, data, order)) return false;
  const ExifEntries entries(data, order);
  return entries.Find(Ifd::kGps, 0x0002) != nullptr || entries.Find(Ifd::kGps, 0x0004) != nullptr;
}

bool IsCameraPlaceholderDescription(std::string_view description, std::string_view make,
                                    std::string_view model) {
  // The fixed texts that makers' cameras write into every picture.
  static constexpr std::string_view kPlaceholders[] = {
      "OLYMPUS DIGITAL CAMERA",
      "SONY DSC",
      "DIGITAL CAMERA",
      "KONICA MINOLTA DIGITAL CAMERA",
      "MINOLTA DIGITAL CAMERA",
      "SAMSUNG DIGITAL CAMERA",
      "SAMSUNG CAMERA PICTURES",
      "KODAK Digital Still Camera",
      "PENTAX DIGITAL CAMERA",
      "LEICA DIGITAL CAMERA",
      "SANYO DIGITAL CAMERA",
      "DSC",
      "default",
      "Image",
  };
  std::size_t start = description.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return true;
  description = description.substr(start, description.find_last_not_of(" \t\r\n") - start + 1);
  for (std::string_view placeholder : kPlaceholders) {
    if (EqualIgnoringCase(description, placeholder)) return true;
  }
  // Folder names of the camera's card: "DCIM", "DCIM\100OLYMP", "DCIM/100MEDIA".
  if (StartsWithIgnoringCase(description, "DCIM")) return true;
  return (!make.empty() && EqualIgnoringCase(description, make)) ||
         (!model.empty() && EqualIgnoringCase(description, model));
}

std::string CameraName(std::string_view make, std::string_view model) {
  if (make.empty()) return std::string(model);
  if (model.empty()) return std::string(make);
  if (StartsWithIgnoringCase(model, make)) return std::string(model);
  // Makers that write their company's name as the make often start the model with the
  // brand alone: "NIKON CORPORATION" and "NIKON D750", "EASTMAN KODAK COMPANY" and "KODAK
  // EASYSHARE C713".
  const std::string_view model_word = model.substr(0, model.find(' '));
  for (std::size_t start = 0; start < make.size();) {
    std::size_t end = make.find(' ', start);
    if (end == std::string_view::npos) end = make.size();
    if (EqualIgnoringCase(make.substr(start, end - start), model_word)) return std::string(model);
    start = end + 1;
  }
  return std::string(make) + " " + std::string(model);
}

std::string IsoDateTimeFromExif(std::string_view text) {
  // "YYYY:MM:DD HH:MM:SS"; a few programs write the date with "-" and a "T" between.
  if (text.size() != 19) return std::string();
  const auto date_separator = [&](std::size_t at) { return text[at] == ':' || text[at] == '-'; };
  if (!IsDigitRun(text, 0, 4) || !date_separator(4) || !IsDigitRun(text, 5, 2) ||
      !date_separator(7) || !IsDigitRun(text, 8, 2) || (text[10] != ' ' && text[10] != 'T') ||
      !IsDigitRun(text, 11, 2) || text[13] != ':' || !IsDigitRun(text, 14, 2) || text[16] != ':' ||
      !IsDigitRun(text, 17, 2)) {
    return std::string();
  }
  const int year = NumberAt(text, 0, 4);
  const int month = NumberAt(text, 5, 2);
  const int day = NumberAt(text, 8, 2);
  const int hour = NumberAt(text, 11, 2);
  const int minute = NumberAt(text, 14, 2);
  const int second = NumberAt(text, 17, 2);
  if (year < 1 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 ||
      second > 60) {
    return std::string();
  }
  // A day the month does not have (2024:02:30, 2023:02:29, 2024:04:31) is no date either.
  static constexpr int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0)) return std::string();
  std::string iso(text);
  iso[4] = '-';
  iso[7] = '-';
  iso[10] = 'T';
  return iso;
}

}  // namespace pix
