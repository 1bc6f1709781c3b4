#include "picture/exifinfo.h"

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "picture/metatext.h"

namespace pix {
namespace {

struct ExifDataDeleter {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataDeleter>;

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

// The text of an entry of `ifd`. Texts should be ASCII, but cameras and programs also store
// them as bytes or undefined data (often UTF-8); all three are read alike.
std::string TextEntry(ExifData& data, ExifIfd ifd, ExifTag tag) {
  ExifEntry* entry = exif_content_get_entry(data.ifd[ifd], tag);
  if (entry == nullptr || entry->data == nullptr || entry->size == 0) return std::string();
  if (entry->format != EXIF_FORMAT_ASCII && entry->format != EXIF_FORMAT_BYTE &&
      entry->format != EXIF_FORMAT_UNDEFINED) {
    return std::string();
  }
  return CleanMetadataText(
      std::string_view(reinterpret_cast<const char*>(entry->data), entry->size));
}

// The orientation tag of the main image. Only the first IFD counts: the thumbnail's IFD may
// carry a tag of its own, which says nothing about the picture.
Orientation OrientationEntry(ExifData& data) {
  ExifEntry* entry = exif_content_get_entry(data.ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry == nullptr || entry->data == nullptr || entry->components < 1) {
    return Orientation::kNormal;
  }
  const ExifByteOrder order = exif_data_get_byte_order(&data);
  if (entry->format == EXIF_FORMAT_SHORT && entry->size >= 2) {
    return OrientationFromTag(exif_get_short(entry->data, order));
  }
  if (entry->format == EXIF_FORMAT_LONG && entry->size >= 4) {
    return OrientationFromTag(static_cast<long>(exif_get_long(entry->data, order)));
  }
  return Orientation::kNormal;
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

// The entry `tag` of `ifd` when it has `format` and at least `count` values of `width`
// bytes each.
ExifEntry* EntryOf(ExifData& data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned count,
                   unsigned width) {
  ExifEntry* entry = exif_content_get_entry(data.ifd[ifd], tag);
  if (entry == nullptr || entry->data == nullptr || entry->format != format ||
      entry->components < count || entry->size < count * width) {
    return nullptr;
  }
  return entry;
}

// The `index`th rational of an entry, as a number; none when it is missing or divides by 0.
std::optional<double> RationalEntry(ExifData& data, ExifIfd ifd, ExifTag tag, unsigned index = 0) {
  ExifEntry* entry = EntryOf(data, ifd, tag, EXIF_FORMAT_RATIONAL, index + 1, 8);
  if (entry == nullptr) return std::nullopt;
  const ExifRational value = exif_get_rational(entry->data + 8 * index, exif_data_get_byte_order(&data));
  if (value.denominator == 0) return std::nullopt;
  return static_cast<double>(value.numerator) / value.denominator;
}

// A SHORT or LONG entry as a number.
std::optional<long> IntegerEntry(ExifData& data, ExifIfd ifd, ExifTag tag) {
  const ExifByteOrder order = exif_data_get_byte_order(&data);
  if (ExifEntry* entry = EntryOf(data, ifd, tag, EXIF_FORMAT_SHORT, 1, 2)) {
    return exif_get_short(entry->data, order);
  }
  if (ExifEntry* entry = EntryOf(data, ifd, tag, EXIF_FORMAT_LONG, 1, 4)) {
    return static_cast<long>(exif_get_long(entry->data, order));
  }
  return std::nullopt;
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

void ReadExposure(ExifData& data, ExifInfo& info) {
  if (const std::optional<double> time = Measure(RationalEntry(data, EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME), 1e6)) {
    // Short times as the fraction a camera shows ("1/250"), long ones in seconds.
    info.exposure_time = *time < 0.5 ? "1/" + Decimal(std::round(1.0 / *time), 0) + " s"
                                     : Decimal(*time, 1) + " s";
  }
  if (const std::optional<double> f = Measure(RationalEntry(data, EXIF_IFD_EXIF, EXIF_TAG_FNUMBER), 1000)) {
    info.aperture = "f/" + Decimal(*f, 1);
  }
  if (const std::optional<long> iso = IntegerEntry(data, EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS);
      iso && *iso > 0) {
    info.iso = std::to_string(*iso);
  }
  if (const std::optional<double> focal = Measure(RationalEntry(data, EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH), 100000)) {
    info.focal_length = Decimal(*focal, 1) + " mm";
  }
  if (const std::optional<long> focal =
          IntegerEntry(data, EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM);
      focal && *focal > 0) {
    info.focal_length_35mm = std::to_string(*focal) + " mm";
  }
  // LensModel and LensMake (EXIF 2.3); libexif of older releases has no names for them.
  info.lens = TextEntry(data, EXIF_IFD_EXIF, static_cast<ExifTag>(0xa434));
  if (info.lens.empty()) info.lens = TextEntry(data, EXIF_IFD_EXIF, static_cast<ExifTag>(0xa433));
}

// One coordinate of the GPS directory: degrees, minutes and seconds, negative for the
// southern or western hemisphere (`negative_ref`).
std::optional<double> Coordinate(ExifData& data, ExifTag tag, ExifTag ref_tag, char negative_ref,
                                 double limit) {
  std::optional<double> parts[3];
  for (unsigned i = 0; i < 3; ++i) {
    parts[i] = RationalEntry(data, EXIF_IFD_GPS, tag, i);
    if (!parts[i]) return std::nullopt;
  }
  double value = *parts[0] + *parts[1] / 60.0 + *parts[2] / 3600.0;
  if (!std::isfinite(value) || value > limit) return std::nullopt;
  const std::string ref = TextEntry(data, EXIF_IFD_GPS, ref_tag);
  if (!ref.empty() && (ref[0] == negative_ref || ref[0] == negative_ref + ('a' - 'A'))) value = -value;
  return value;
}

void ReadPosition(ExifData& data, ExifInfo& info) {
  if (data.ifd[EXIF_IFD_GPS] == nullptr) return;
  const std::optional<double> latitude =
      Coordinate(data, static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE),
                 static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE_REF), 'S', 90.0);
  const std::optional<double> longitude =
      Coordinate(data, static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE),
                 static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE_REF), 'W', 180.0);
  // 0, 0 is what a receiver without a fix writes, not a place anyone photographs.
  if (!latitude || !longitude || (*latitude == 0.0 && *longitude == 0.0)) return;
  info.has_position = true;
  info.latitude = *latitude;
  info.longitude = *longitude;
}

}  // namespace

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
  if (app1_payload.empty()) return info;
  ExifDataPtr data(exif_data_new());
  if (!data) return info;
  // Read what the picture holds and nothing else: following the standard would make the
  // library add the tags it requires, with invented values.
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data.get(), reinterpret_cast<const unsigned char*>(app1_payload.data()),
                      static_cast<unsigned int>(app1_payload.size()));
  info.orientation = OrientationEntry(*data);
  info.make = TextEntry(*data, EXIF_IFD_0, EXIF_TAG_MAKE);
  info.model = TextEntry(*data, EXIF_IFD_0, EXIF_TAG_MODEL);
  info.description = TextEntry(*data, EXIF_IFD_0, EXIF_TAG_IMAGE_DESCRIPTION);
  if (IsCameraPlaceholderDescription(info.description, info.make, info.model)) {
    info.description.clear();
  }
  std::string taken = TextEntry(*data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
  // A few programs put the tag into the first IFD instead.
  if (taken.empty()) taken = TextEntry(*data, EXIF_IFD_0, EXIF_TAG_DATE_TIME_ORIGINAL);
  info.date_taken = IsoDateTimeFromExif(taken);
  ReadExposure(*data, info);
  ReadPosition(*data, info);
  return info;
}

bool ExifHasGpsPosition(std::string_view app1_payload) {
  if (app1_payload.empty()) return false;
  ExifDataPtr data(exif_data_new());
  if (!data) return false;
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data.get(), reinterpret_cast<const unsigned char*>(app1_payload.data()),
                      static_cast<unsigned int>(app1_payload.size()));
  ExifContent* gps = data->ifd[EXIF_IFD_GPS];
  if (gps == nullptr) return false;
  return exif_content_get_entry(gps, static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE)) != nullptr ||
         exif_content_get_entry(gps, static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE)) != nullptr;
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
