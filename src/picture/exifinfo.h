// What a picture's EXIF data say about it: which way up it is stored, its description, when
// it was taken and with which camera.
//
// The EXIF data are the payload of the picture's APP1 segment that starts with "Exif\0\0";
// exiv2 reads them, in this file only. The data may be damaged or hostile: exiv2 checks its
// offsets against the buffer and passes over an entry it cannot read, every value is checked
// for the type and count it must have, and whatever cannot be read is simply not known.
#pragma once

#include <string>
#include <string_view>

#include "picture/orientation.h"

namespace pix {

struct ExifInfo {
  /// How the stored picture is turned upright (the orientation tag of the main image);
  /// kNormal when the tag is missing or not one of the eight values.
  Orientation orientation = Orientation::kNormal;
  /// The picture's own description (ImageDescription), or empty when the camera wrote only
  /// its placeholder (see IsCameraPlaceholderDescription).
  std::string description;
  /// When the picture was taken (DateTimeOriginal) as "2024-06-01T14:03:22"; empty when the
  /// tag is missing or not a real date.
  std::string date_taken;
  std::string make;   ///< The camera's maker, as the camera spells it.
  std::string model;  ///< The camera's model name.
  /// How the picture was exposed, each as a page shows it and empty when unknown:
  std::string exposure_time;      ///< ExposureTime: "1/250 s", "2 s", "0.5 s".
  std::string aperture;           ///< FNumber: "f/5.6".
  std::string iso;                ///< PhotographicSensitivity (ISOSpeedRatings): "400".
  std::string focal_length;       ///< FocalLength: "50 mm", "4.2 mm".
  std::string focal_length_35mm;  ///< FocalLengthIn35mmFilm: "75 mm".
  std::string lens;               ///< LensModel, else LensMake: "EF50mm f/1.8 STM".
  /// Where the picture was taken, in decimal degrees (north and east positive), when its
  /// GPS directory holds a usable latitude and longitude.
  bool has_position = false;
  double latitude = 0.0;
  double longitude = 0.0;
  /// For a video, not a picture: its length in seconds as ffprobe gave it; 0 when unknown.
  double duration_seconds = 0.0;
};

/// The exposure fields and the position of `info` in one line of text, for the site's
/// record; ParseCameraSettings reads it back (false for text it did not write).
std::string FormatCameraSettings(const ExifInfo& info);
bool ParseCameraSettings(std::string_view text, ExifInfo& info);

/// The OpenStreetMap page of a position: a marker at it, zoomed to a street's scale.
std::string OpenStreetMapUrl(double latitude, double longitude);

/// Reads the EXIF data of an APP1 segment payload (starting with "Exif\0\0"). Texts are
/// cleaned up as CleanMetadataText does. Anything that cannot be read stays unknown.
ExifInfo ReadExifInfo(std::string_view app1_payload);

/// True when the EXIF data of an APP1 segment payload say where the picture was taken: its
/// GPS directory holds a latitude or a longitude.
bool ExifHasGpsPosition(std::string_view app1_payload);

/// Keeps exiv2 from writing what it finds wrong in a picture to standard error: metadata
/// are a bonus, and damaged ones are no problem of the run. Called before every use of
/// exiv2 (here and by IptcCaptionOf); only the first call does anything.
void QuietenExiv2();

/// True when `description` is no description but what a camera writes into every picture:
/// nothing but blanks, a maker's fixed text ("OLYMPUS DIGITAL CAMERA", "SONY DSC", a DCIM
/// folder name and the like), or the camera's make or model itself.
bool IsCameraPlaceholderDescription(std::string_view description, std::string_view make,
                                    std::string_view model);

/// The camera's name for a page: make and model joined by a space, or the model alone when
/// it already names the maker (it starts with the make, or its first word is a word of the
/// make, as in "NIKON CORPORATION" and "NIKON D750"). Either alone when the other is empty.
std::string CameraName(std::string_view make, std::string_view model);

/// An EXIF date and time ("2024:06:01 14:03:22") in ISO 8601 ("2024-06-01T14:03:22");
/// empty when the text is no real date, such as the "0000:00:00 00:00:00" or blanks that
/// cameras write when their clock was never set.
std::string IsoDateTimeFromExif(std::string_view exif_date_time);

}  // namespace pix
