// How a picture was taken, on its pages: exposure, aperture, sensitivity, focal lengths and
// lens from its EXIF data, and a map link for a picture that says where it was taken only
// when Pages/MapLinks asks for one. Checked in the pages a run writes, and in what the
// site's record keeps for the next run.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "site/siterecord.h"
#include "site/website.h"
#include "support/picture_builder.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

const char kLayout[] =
    "PageHeadTemplate:\r\n<TITLE>t</TITLE>\r\n\r\n"
    "FileEntryTemplate:\r\n(${AnchorFileName})\r\n\r\n"
    "DetailPageTemplate:\r\n<BODY>[${ImageExposureTime}|${ImageAperture}|${ImageISO}|"
    "${ImageFocalLength}|${ImageFocalLengthEquivalent}|${ImageLens}|${ImageMapURL}]</BODY>\r\n\r\n"
    "ParentPageLabel:\r\nx\r\n\r\n";

class CameraSettingsTest : public testing::Test {
 protected:
  CameraSettingsTest() { test::WriteFile(home_ / "globals.txt", kLayout); }

  void Run(const std::string& pages) {
    test::WriteFile(home_ / "pixamond.ini",
                    "[HTMLDefaults]\nPersonFullName=Ann\n[Pages]\n" + pages);
    CollectedDiagnostics diagnostics;
    Progress progress;
    WebSite site(root_.path().string(), home_.path().string(), ui_, progress, diagnostics);
    ASSERT_TRUE(site.Prepare().ok());
    site.Execute();
    EXPECT_EQ(diagnostics.ProblemCount() + site.Stats().problems_reported, 0);
  }

  void Picture(const std::string& name, const test::ExifFields& exif) {
    test::JpegOptions options;
    options.segments.push_back(test::ExifSegment(exif));
    test::WriteFile(root_ / name, test::MakeJpeg(test::SampleArt(), options));
  }

  // What the detail page of `base` shows between its brackets.
  std::string Shown(const std::string& base) {
    const std::string page = test::ReadFile(root_ / (base + ".html"));
    const std::size_t open = page.find('[');
    return page.substr(open + 1, page.find(']', open) - open - 1);
  }

  test::TempDir home_;
  test::TempDir root_;
  test::ScriptedUserInterface ui_;
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
  test::WriteJpegPicture(root_ / "bare.jpg", 8, 8, "");

  Run("");
  // Texts from the picture are escaped; without MapLinks no position reaches a page.
  EXPECT_EQ(Shown("full"), "1/250 s|f/5.6|400|50 mm|75 mm|EF50mm f/1.8 &lt;STM&gt;|");
  EXPECT_EQ(Shown("long"), "2.5 s|||4.2 mm|||");
  EXPECT_EQ(Shown("bare"), "||||||");

  Run("MapLinks=Yes\n");
  EXPECT_EQ(Shown("full"),
            "1/250 s|f/5.6|400|50 mm|75 mm|EF50mm f/1.8 &lt;STM&gt;|"
            "https://www.openstreetmap.org/?mlat=48.85&amp;mlon=2.35#map=16/48.85/2.35");
  EXPECT_EQ(Shown("long"),
            "2.5 s|||4.2 mm|||"
            "https://www.openstreetmap.org/?mlat=-48.85&amp;mlon=-2.35#map=16/-48.85/-2.35");
  EXPECT_EQ(Shown("bare"), "||||||");
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
