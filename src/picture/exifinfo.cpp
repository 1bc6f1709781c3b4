#include "picture/exifinfo.h"

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

#include <memory>

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

}  // namespace

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
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60) {
    return std::string();
  }
  std::string iso(text);
  iso[4] = '-';
  iso[7] = '-';
  iso[10] = 'T';
  return iso;
}

}  // namespace pix
