// A picture's entry as its metadata shape it, end to end: runs of the generator over pictures
// that carry EXIF, XMP, IPTC and comments, with a layout that prints the variables.
#include "site/pictureentry.h"

#include <gtest/gtest.h>

#include "generated_site.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

class PictureEntryTest : public test::GeneratedSiteTest {
 protected:
  PictureEntryTest() {
    test::WriteFile(home_ / "pixamond.ini",
                    "[HTMLDefaults]\nPersonFullName=Ann Example\n"
                    "[Display]\nMaxDisplayWidth=100\nMaxDisplayHeight=100\n");
    test::WriteFile(
        home_ / "globals.txt",
        "FileEntryTemplate:\r\n<E ${AnchorFileName}|${DisplayWidth}x${DisplayHeight}>\r\n\r\n"
        "DirEntryTemplate:\r\n<D ${AnchorFileName}|${ImageCaption}|${ImageCamera}>\r\n\r\n"
        "DetailPageTemplate:\r\n[${ImageCaption}|${ImageCaptionText}|${ImageDateTaken}|"
        "${ImageCamera}|${AnchorWidth}x${AnchorHeight}|${DisplayWidth}x${DisplayHeight}"
        "${ImageDateTakenText?|${ImageDateTakenText}}]\r\n\r\n");
  }

  RunStats Run(int jobs = 1) { return RunSite(jobs); }

  // The variables of a picture's detail page, between the brackets.
  std::string Detail(const std::string& base) {
    const std::string page = test::ReadFile(site_ / (base + ".html"));
    EXPECT_EQ(page.rfind(kPageHead, 0), 0u) << page;
    const std::size_t open = page.find('[');
    const std::size_t close = page.rfind(']');
    if (open == std::string::npos || close == std::string::npos) return page;
    return page.substr(open + 1, close - open - 1);
  }

  void WritePicture(const std::string& name, const test::PixelArt& art,
                    const test::JpegOptions& options) {
    test::WriteFile(site_ / name, test::MakeJpeg(art, options));
  }
};

TEST_F(PictureEntryTest, TurnedPicturesShowUprightSizesAndAreNotMadeTwice) {
  // Stored 200 x 100; the tag turns the even ones on their side.
  for (int tag = 1; tag <= 8; ++tag) {
    test::ExifFields fields;
    fields.orientation = tag;
    WritePicture("p" + std::to_string(tag) + ".jpg", test::GradientArt(200, 100),
                 test::WithExif(fields));
  }
  const std::string before = test::ReadFile(site_ / "p6.jpg");
  EXPECT_EQ(Run(4).inline_made, 8);
  for (int tag = 1; tag <= 8; ++tag) {
    const std::string base = "p" + std::to_string(tag);
    const bool side = tag >= 5;
    EXPECT_EQ(Detail(base), side ? "||||100x200|50x100" : "||||200x100|100x50") << base;
    EXPECT_EQ(test::ImageSizeOf(site_ / "inline" / (base + ".gif")), side ? "50x100" : "100x50")
        << base;
  }
  EXPECT_EQ(test::ReadFile(site_ / "p6.jpg"), before) << "the picture itself is never changed";
  const RunStats second = Run();
  EXPECT_EQ(second.inline_made, 0);
  EXPECT_EQ(second.inline_reused, 8);
  EXPECT_EQ(diagnostics_.ProblemCount(), 0);
}

TEST_F(PictureEntryTest, CaptionDateAndCameraComeFromThePicture) {
  test::ExifFields fields;
  fields.image_description = "OLYMPUS DIGITAL CAMERA";
  fields.make = "OLYMPUS IMAGING CORP.";
  fields.model = "E-M5 <Mark II>";
  fields.date_time_original = "2024:06:01 14:03:22";
  test::JpegOptions xmp = test::WithExif(fields);
  xmp.segments.push_back(test::XmpSegment(
      "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">Boats &amp; \"gulls\""
      "</rdf:li></rdf:Alt></dc:description>"));
  WritePicture("a.jpg", test::SampleArt(), xmp);
  test::JpegOptions iptc;
  iptc.segments = {test::PhotoshopIptcSegment({{2, 120, "Market day"}})};
  WritePicture("b.jpg", test::SampleArt(), iptc);
  WritePicture("c.jpg", test::SampleArt(), test::WithExif(fields));  // a placeholder only
  test::JpegOptions commented = test::WithExif(fields);
  commented.comments = {"ImageDescription:\r\n<em>Our</em> boat\r\n\r\n"};
  WritePicture("d.jpg", test::SampleArt(), commented);
  test::WriteGifPicture(site_ / "e.gif", 9, 7, false);
  Run();
  EXPECT_EQ(Detail("a"),
            "Boats &amp; &quot;gulls&quot;|Boats &amp; &quot;gulls&quot;|2024-06-01T14:03:22|"
            "OLYMPUS IMAGING CORP. E-M5 &lt;Mark II&gt;|9x7|100x77|2024-06-01 14:03");
  EXPECT_EQ(Detail("b"), "Market day|Market day|||9x7|100x77");
  EXPECT_EQ(Detail("c"),
            "||2024-06-01T14:03:22|OLYMPUS IMAGING CORP. E-M5 &lt;Mark II&gt;|9x7|100x77|"
            "2024-06-01 14:03");
  EXPECT_EQ(Detail("d"),
            "<em>Our</em> boat|Our boat|2024-06-01T14:03:22|"
            "OLYMPUS IMAGING CORP. E-M5 &lt;Mark II&gt;|9x7|100x77|2024-06-01 14:03");
  EXPECT_EQ(Detail("e"), "||||9x7|100x77") << "a GIF picture after a JPEG one keeps nothing of it";
}

TEST_F(PictureEntryTest, DirectoryEntryTakesNothingFromItsLastPicture) {
  test::ExifFields fields;
  fields.make = "Canon";
  fields.model = "Canon EOS R5";
  test::JpegOptions options = test::WithExif(fields);
  options.comments = {"A quiet street"};
  test::WriteFile(site_ / "sub" / "a.jpg", test::MakeJpeg(test::SampleArt(), options));
  Run();
  const std::string top = test::ReadFile(site_ / "index.html");
  EXPECT_NE(top.find("<D sub/index.html||>"), std::string::npos) << top;
  const std::string detail = test::ReadFile(site_ / "sub" / "a.html");
  EXPECT_NE(detail.find("[A quiet street|A quiet street||Canon EOS R5|9x7|100x77]"),
            std::string::npos)
      << detail;
}

}  // namespace
}  // namespace pix
