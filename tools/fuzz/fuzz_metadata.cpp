// The metadata code of our own over any bytes: the header walk of a picture file (which
// joins split EXIF data and Photoshop resources, then hands them to exiv2), the XMP reader
// and the text clean-up on the bytes themselves, so that every byte reaches them; the
// record's form of the camera settings, and the reading of ffprobe's output. EXIF and IPTC
// records are exiv2's to parse and are not fed to it directly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "picture/metadata.h"
#include "picture/metatext.h"
#include "picture/video.h"

namespace {

void CheckPromises(const pix::PictureMetadata& metadata) {
  using pix::fuzz::Expect;
  const int orientation = static_cast<int>(metadata.exif.orientation);
  Expect(orientation >= 1 && orientation <= 8, "an orientation outside 1 to 8");
  Expect(metadata.exif.date_taken.empty() || metadata.exif.date_taken.size() == 19,
         "a date that is not ISO 8601");
  for (const std::string* text :
       {&metadata.exif.description, &metadata.exif.make, &metadata.exif.model,
        &metadata.xmp_description, &metadata.iptc_caption}) {
    Expect(text->size() <= pix::kMaxMetadataTextLength, "a text longer than its cap");
    Expect(text->find('\0') == std::string::npos, "a NUL kept in a text");
  }
  const pix::ExifInfo& exif = metadata.exif;
  Expect(!exif.has_position || (exif.latitude >= -90 && exif.latitude <= 90 &&
                                exif.longitude >= -180 && exif.longitude <= 180),
         "a position off the globe");
  // What the record keeps reads back as it was.
  pix::ExifInfo back;
  Expect(pix::ParseCameraSettings(pix::FormatCameraSettings(exif), back),
         "camera settings the record cannot read back");
  Expect(back.exposure_time == exif.exposure_time && back.aperture == exif.aperture &&
             back.iso == exif.iso && back.focal_length == exif.focal_length &&
             back.focal_length_35mm == exif.focal_length_35mm &&
             back.has_position == exif.has_position,
         "camera settings that change on their way through the record");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckPromises(pix::ReadJpegMetadata(pix::fuzz::WriteScratchFile("picture.jpg", bytes)));
  pix::JpegMetadataSegments segments;
  segments.xmp = std::string(bytes);
  CheckPromises(pix::ParseJpegMetadata(segments));
  for (const pix::TextEncoding encoding : {pix::TextEncoding::kDetect, pix::TextEncoding::kUtf8}) {
    const std::string text = pix::CleanMetadataTextAs(bytes, encoding);
    pix::fuzz::Expect(text.size() <= pix::kMaxMetadataTextLength &&
                          text.find('\0') == std::string::npos &&
                          pix::CleanMetadataTextAs(text, pix::TextEncoding::kUtf8) == text,
                      "a cleaned text that is not clean");
  }
  if (const std::optional<pix::VideoProbe> probe = pix::ParseVideoProbe(bytes)) {
    pix::fuzz::Expect(probe->width > 0 && probe->height > 0 && probe->duration_seconds >= 0,
                      "a video of no size");
  }
  return 0;
}
