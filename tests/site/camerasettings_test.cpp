// How a picture was taken, on its pages: exposure, aperture, sensitivity, focal lengths,
// lens and date from its EXIF data (never a day the month does not have), and a map link
// for a picture that says where it was taken only when Pages/MapLinks asks for one. Checked
// in the pages a run writes, and in what the site's record keeps for the next run.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "generated_site.h"
#include "site/siterecord.h"

namespace pix {
namespace {

const char kLayout[] =
    "PageHeadTemplate:\r\n<TITLE>t</TITLE>\r\n\r\n"
    "FileEntryTemplate:\r\n(${AnchorFileName})\r\n\r\n"
    "DetailPageTemplate:\r\n<BODY>[${ImageExposureTime}|${ImageAperture}|${ImageISO}|"
    "${ImageFocalLength}|${ImageFocalLengthEquivalent}|${ImageLens}|${ImageMapURL}]"
    "${ImageDateTaken?<TIME datetime=\"${ImageDateTaken}\">}</BODY>\r\n\r\n"
    "ParentPageLabel:\r\nx\r\n\r\n";

class CameraSettingsTest : public test::GeneratedSiteTest {
 protected:
  CameraSettingsTest() { test::WriteFile(home_ / "globals.txt", kLayout); }

  void Picture(const std::string& name, const test::ExifFields& exif) {
    test::WriteFile(site_ / name, test::MakeJpeg(test::SampleArt(), test::WithExif(exif)));
  }

  // What the detail page of `base` shows between its brackets.
  std::string Shown(const std::string& base) {
    const std::string page = test::ReadFile(site_ / (base + ".html"));
    const std::size_t open = page.find('[');
    return page.substr(open + 1, page.find(']', open) - open - 1);
  }
};

TEST_F(CameraSettingsTest, ExposureTagsBecomeVariablesAndTheMapLinkNeedsTheSetting) {
  test::ExifFields full;
  full.exposure_time[0] = 1;
  full.exposure_time[1] = 250;
  full.f_number[0] = 56;
  full.f_number[1] = 10;
  full.focal_length[0] = 50;
  full.focal_length[1] = 1;
  full.iso = 400;
  full.focal_length_35mm = 75;
  full.lens_model = "EF50mm f/1.8 <STM>";
  full.gps_position = true;
  Picture("full.jpg", full);

  test::ExifFields long_exposure;
  long_exposure.exposure_time[0] = 5;
  long_exposure.exposure_time[1] = 2;
  long_exposure.focal_length[0] = 42;
  long_exposure.focal_length[1] = 10;
  long_exposure.f_number[1] = 10;  // 0/10: the camera did not know
  long_exposure.gps_position = true;
  long_exposure.gps_south_west = true;
  Picture("long.jpg", long_exposure);
  test::WriteJpegPicture(site_ / "bare.jpg", 8, 8, "");

  UseSettings("[HTMLDefaults]\nPersonFullName=Ann\n");
  ASSERT_TRUE(Generate());
  // Texts from the picture are escaped; without MapLinks no position reaches a page.
  EXPECT_EQ(Shown("full"), "1/250 s|f/5.6|400|50 mm|75 mm|EF50mm f/1.8 &lt;STM&gt;|");
  EXPECT_EQ(Shown("long"), "2.5 s|||4.2 mm|||");
  EXPECT_EQ(Shown("bare"), "||||||");

  UseSettings("[HTMLDefaults]\nPersonFullName=Ann\n[Pages]\nMapLinks=Yes\n");
  ASSERT_TRUE(Generate());
  EXPECT_EQ(Shown("full"),
            "1/250 s|f/5.6|400|50 mm|75 mm|EF50mm f/1.8 &lt;STM&gt;|"
            "https://www.openstreetmap.org/?mlat=48.85&amp;mlon=2.35#map=16/48.85/2.35");
  EXPECT_EQ(Shown("long"),
            "2.5 s|||4.2 mm|||"
            "https://www.openstreetmap.org/?mlat=-48.85&amp;mlon=-2.35#map=16/-48.85/-2.35");
  EXPECT_EQ(Shown("bare"), "||||||");
}

TEST_F(CameraSettingsTest, ADayTheMonthDoesNotHaveNeverReachesAPage) {
  test::ExifFields leap;
  leap.date_time_original = "2024:02:29 10:00:00";
  Picture("leap.jpg", leap);
  test::ExifFields impossible;
  impossible.date_time_original = "2024:02:30 10:00:00";
  Picture("impossible.jpg", impossible);
  UseSettings("[HTMLDefaults]\nPersonFullName=Ann\n");
  ASSERT_TRUE(Generate());
  EXPECT_NE(test::ReadFile(site_ / "leap.html").find("datetime=\"2024-02-29T10:00:00\""),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(site_ / "impossible.html").find("datetime"), std::string::npos);
  // Nor from a record that an older reader wrote, which believed the day: the record is
  // made to say so of both pictures, with stamps that match the files, and the pictures
  // are read again.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((site_ / std::string(kRecordFileName)).c_str(), &db), SQLITE_OK);
  for (const char* name : {"leap.jpg", "impossible.jpg"}) {
    const std::optional<FileStamp> stamp = StampOfFile(site_ / name, /*follow_link=*/false);
    ASSERT_TRUE(stamp);
    const std::string update =
        "UPDATE pictures SET date_taken = '2024-02-30T10:00:00', size = " +
        std::to_string(stamp->size) + ", write_ns = " + std::to_string(stamp->write_time_ns) +
        ", change_ns = " + std::to_string(stamp->change_time_ns) +
        ", inode = " + std::to_string(stamp->inode) + " WHERE path = '" + name + "'";
    ASSERT_EQ(sqlite3_exec(db, update.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  }
  sqlite3_close(db);
  ASSERT_TRUE(Generate());
  EXPECT_EQ(test::ReadFile(site_ / "impossible.html").find("datetime"), std::string::npos);
  EXPECT_NE(test::ReadFile(site_ / "leap.html").find("datetime=\"2024-02-29T10:00:00\""),
            std::string::npos);
}

TEST(CameraSettingsRecordTest, RecordKeepsTheSettingsAndAnOlderRecordGainsTheirColumn) {
  test::TempDir site;
  CollectedDiagnostics diagnostics;
  RecordedPicture picture;
  picture.stamp.inode = 7;
  picture.reader_version = 2;
  picture.width = picture.height = 8;
  picture.image = DigestOf("pixels");
  ExifInfo& exif = picture.metadata.exif;
  exif.exposure_time = "1/60 s";
  exif.aperture = "f/2";
  exif.iso = "100";
  exif.focal_length = "4.2 mm";
  exif.focal_length_35mm = "26 mm";
  exif.lens = "wide\tcamera";  // a tab would split the record's fields
  exif.has_position = true;
  exif.latitude = -33.8568;
  exif.longitude = 151.2153;
  {
    Result<std::unique_ptr<SiteRecord>> record = SiteRecord::Open(site.path(), diagnostics);
    ASSERT_TRUE(record.ok());
    (*record)->RecordPicture("a.jpg", picture);
    ASSERT_TRUE((*record)->Commit().ok());
    const std::optional<RecordedPicture> found = (*record)->FindPicture("a.jpg");
    ASSERT_TRUE(found);
    const ExifInfo& back = found->metadata.exif;
    EXPECT_EQ(back.exposure_time + back.aperture + back.iso + back.focal_length +
                  back.focal_length_35mm + back.lens,
              "1/60 sf/21004.2 mm26 mmwide camera");
    EXPECT_TRUE(back.has_position);
    EXPECT_DOUBLE_EQ(back.latitude, -33.8568);
    EXPECT_DOUBLE_EQ(back.longitude, 151.2153);
  }
  // A record from before the column: it gains it, and its pictures are read again.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((site / std::string(kRecordFileName)).c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "ALTER TABLE pictures DROP COLUMN camera_settings", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  Result<std::unique_ptr<SiteRecord>> record = SiteRecord::Open(site.path(), diagnostics);
  ASSERT_TRUE(record.ok()) << record.status().message();
  EXPECT_FALSE((*record)->IsNew());
  EXPECT_FALSE((*record)->FindPicture("a.jpg"));
  (*record)->RecordPicture("a.jpg", picture);
  EXPECT_TRUE((*record)->FindPicture("a.jpg"));
}

}  // namespace
}  // namespace pix
