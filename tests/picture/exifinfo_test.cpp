// Reading EXIF data: the tags pictures are shown and captioned by, in both byte orders, and
// the camera texts that are no caption, no date or no name.
#include "picture/exifinfo.h"

#include <gtest/gtest.h>

#include "support/picture_builder.h"

namespace pix {
namespace {

ExifInfo ReadFields(const test::ExifFields& fields) {
  return ReadExifInfo(test::ExifSegment(fields).payload);
}

TEST(ExifInfoTest, MissingOrImpossibleValuesAreUnknown) {
  const ExifInfo none = ReadExifInfo({});
  EXPECT_EQ(none.orientation, Orientation::kNormal);
  EXPECT_EQ(none.description, "");
  EXPECT_EQ(none.date_taken, "");
  test::ExifFields fields;
  fields.orientation = 9;
  fields.date_time_original = "0000:00:00 00:00:00";
  const ExifInfo odd = ReadFields(fields);
  EXPECT_EQ(odd.orientation, Orientation::kNormal);
  EXPECT_EQ(odd.date_taken, "");
  // A TIFF header whose first IFD lies past the end of the data.
  EXPECT_EQ(ReadExifInfo(std::string("Exif\0\0MM\0\x2A\0\0\x01\x00", 14)).orientation,
            Orientation::kNormal);
}

TEST(ExifInfoTest, TagsAreReadInBothByteOrdersAndDamagedEntriesDoNotHideThem) {
  for (bool big_endian : {false, true}) {
    test::ExifFields fields;
    fields.BigEndian = big_endian;
    fields.image_description = "Harbour at dawn";
    fields.make = "Canon";
    fields.model = "Canon EOS R5";
    fields.orientation = 6;
    fields.date_time_original = "2024:06:01 14:03:22";
    fields.exposure_time[0] = 1;
    fields.exposure_time[1] = 250;
    // An entry of zeros in the first directory, as some writers leave one; in the EXIF
    // directory, written ahead of the date, an entry of a type that does not exist, one
    // whose value would lie far past the end of the data, a pointer to a directory past the
    // end and a maker's note that cannot be read.
    fields.more_ifd0_entries = {{0x0000, 0, 0, std::string()}};
    fields.more_exif_entries = {{0x8822, 99, 1, std::string("\0\x01", 2)},
                                {0x9000, 7, 0x10000000, std::string("\xFF\xFF\xFF\x0F", 4)},
                                {0xA005, 4, 1, std::string("\xF0\xFF\xFF\x7F", 4)},
                                {0x927C, 7, 16, std::string("SONY DSC \0\0\0\xFF\xFF\0\0", 16)}};
    fields.sorted = false;
    const ExifInfo info = ReadFields(fields);
    EXPECT_EQ(info.description, "Harbour at dawn") << big_endian;
    EXPECT_EQ(info.make, "Canon");
    EXPECT_EQ(info.model, "Canon EOS R5");
    EXPECT_EQ(info.orientation, Orientation::kRotate90);
    EXPECT_EQ(info.date_taken, "2024-06-01T14:03:22");
    EXPECT_EQ(info.exposure_time, "1/250 s");
  }
}

TEST(ExifInfoTest, TextsAreCleanedAndLatin1BecomesUtf8) {
  test::ExifFields fields;
  fields.image_description = "  Caf\xE9 \x01on the  corner\r\n ";
  fields.make = "NIKON CORPORATION   ";
  const ExifInfo info = ReadFields(fields);
  EXPECT_EQ(info.description, "Caf\xC3\xA9 on the  corner");
  EXPECT_EQ(info.make, "NIKON CORPORATION");
}

TEST(ExifInfoTest, CameraPlaceholdersAreNoDescription) {
  for (const char* placeholder :
       {"OLYMPUS DIGITAL CAMERA", "SONY DSC", "sony dsc  ", "DCIM", "DCIM\\100OLYMP", "          ",
        "KODAK Digital Still Camera", "Pentax K-1", "PENTAX"}) {
    test::ExifFields fields;
    fields.make = "PENTAX";
    fields.model = "Pentax K-1";
    fields.image_description = placeholder;
    EXPECT_EQ(ReadFields(fields).description, "") << placeholder;
  }
  EXPECT_FALSE(IsCameraPlaceholderDescription("SONY DSC at the lake", "SONY", "ILCE-7M3"));
  EXPECT_FALSE(IsCameraPlaceholderDescription("Olympus mountains", "OLYMPUS", "E-M5"));
}

TEST(ExifInfoTest, DatesMustBeRealDates) {
  EXPECT_EQ(IsoDateTimeFromExif("2024:06:01 14:03:22"), "2024-06-01T14:03:22");
  EXPECT_EQ(IsoDateTimeFromExif("2024-06-01T14:03:22"), "2024-06-01T14:03:22");
  for (const char* text : {"", "    :  :     :  :  ", "2024:13:01 14:03:22", "2024:06:00 10:00:00",
                           "2024:06:01 24:00:00", "2024:06:01 14:03", "2024:06:01 14:03:22Z",
                           "2O24:06:01 14:03:22", "2024/06/01 14:03:22", "2024:02:30 10:00:00",
                           "2023:02:29 10:00:00", "2024:04:31 10:00:00", "1900:02:29 10:00:00"}) {
    EXPECT_EQ(IsoDateTimeFromExif(text), "") << text;
  }
  // Leap days of leap years are dates.
  EXPECT_EQ(IsoDateTimeFromExif("2024:02:29 10:00:00"), "2024-02-29T10:00:00");
  EXPECT_EQ(IsoDateTimeFromExif("2000:02:29 10:00:00"), "2000-02-29T10:00:00");
}

TEST(ExifInfoTest, CameraNameNamesTheMakerOnce) {
  EXPECT_EQ(CameraName("Canon", "Canon EOS R5"), "Canon EOS R5");
  EXPECT_EQ(CameraName("NIKON CORPORATION", "NIKON D750"), "NIKON D750");
  EXPECT_EQ(CameraName("EASTMAN KODAK COMPANY", "KODAK EASYSHARE C713"), "KODAK EASYSHARE C713");
  EXPECT_EQ(CameraName("SONY", "ILCE-7M3"), "SONY ILCE-7M3");
  EXPECT_EQ(CameraName("Apple", "iPhone 12"), "Apple iPhone 12");
  EXPECT_EQ(CameraName("OLYMPUS IMAGING CORP.", "E-M5"), "OLYMPUS IMAGING CORP. E-M5");
  EXPECT_EQ(CameraName("FUJI PHOTO FILM CO., LTD.", "FUJIFILM FinePix"),
            "FUJI PHOTO FILM CO., LTD. FUJIFILM FinePix")
      << "a word counts only whole";
  EXPECT_EQ(CameraName("", "X100V"), "X100V");
  EXPECT_EQ(CameraName("FUJIFILM", ""), "FUJIFILM");
  EXPECT_EQ(CameraName("", ""), "");
}

}  // namespace
}  // namespace pix
