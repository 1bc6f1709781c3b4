// A picture's entry as its metadata shape it, end to end: runs of the generator over pictures
// that carry EXIF, XMP, IPTC and comments, with a layout that prints the variables.
#include "site/pictureentry.h"

#include <gtest/gtest.h>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "picture/gifrsize.h"
#include "site/website.h"
#include "support/picture_builder.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

const char kHead[] =
    "<!--Produced With Pixamond Version 2.0-->\r\n"
    "<!--Pixamond is written by the Pixamond developers-->\r\n"
    "<!DOCTYPE html>\r\n<HTML lang=\"en\">\r\n";

class PictureEntryTest : public testing::Test {
 protected:
  PictureEntryTest() {
    test::WriteFile(home / "pixamond.ini",
                    "[HTMLDefaults]\nPersonFullName=Ann Example\n"
                    "[Display]\nMaxDisplayWidth=100\nMaxDisplayHeight=100\n");
    test::WriteFile(
        home / "globals.txt",
        "FileEntryTemplate:\r\n<E ${AnchorFileName}|${DisplayWidth}x${DisplayHeight}>\r\n\r\n"
        "DirEntryTemplate:\r\n<D ${AnchorFileName}|${ImageCaption}|${ImageCamera}>\r\n\r\n"
        "DetailPageTemplate:\r\n[${ImageCaption}|${ImageCaptionText}|${ImageDateTaken}|"
        "${ImageCamera}|${AnchorWidth}x${AnchorHeight}|${DisplayWidth}x${DisplayHeight}"
        "${ImageDateTakenText?|${ImageDateTakenText}}]\r\n\r\n");
  }

  RunStats Run(int jobs = 1) {
    WebSite site(root.path().string(), home.path().string(), ui, progress, diagnostics);
    site.SetJobs(jobs);
    EXPECT_TRUE(site.Prepare().ok());
    site.Execute();
    return site.Stats();
  }

  // The variables of a picture's detail page, between the brackets.
  std::string Detail(const std::string& base) {
    const std::string page = test::ReadFile(root / (base + ".html"));
    EXPECT_EQ(page.rfind(kHead, 0), 0u) << page;
    const std::size_t open = page.find('[');
    const std::size_t close = page.rfind(']');
    if (open == std::string::npos || close == std::string::npos) return page;
    return page.substr(open + 1, close - open - 1);
  }

  void WritePicture(const std::string& name, const test::TPixelArt& art,
                    const test::TJpegOptions& options) {
    test::WriteFile(root / name, test::MakeJpeg(art, options));
  }

  test::TempDir home;
  test::TempDir root;
  test::ScopedLayoutHome useHome{home.path()};
  CollectedDiagnostics diagnostics;
  test::TScriptedUserInterface ui;
  Progress progress;
};

test::TJpegOptions WithExif(const test::TExifFields& fields) {
  test::TJpegOptions options;
  options.Jfif = false;
  options.Segments = {test::ExifSegment(fields)};
  return options;
}

TEST_F(PictureEntryTest, TurnedPicturesShowUprightSizesAndAreNotMadeTwice) {
  // Stored 200 x 100; the tag turns the even ones on their side.
  for (int tag = 1; tag <= 8; ++tag) {
    test::TExifFields fields;
    fields.orientation = tag;
    WritePicture("p" + std::to_string(tag) + ".jpg", test::GradientArt(200, 100), WithExif(fields));
  }
  const std::string before = test::ReadFile(root / "p6.jpg");
  EXPECT_EQ(Run(4).inline_made, 8);
  for (int tag = 1; tag <= 8; ++tag) {
    const std::string base = "p" + std::to_string(tag);
    const bool side = tag >= 5;
    EXPECT_EQ(Detail(base), side ? "||||100x200|50x100" : "||||200x100|100x50") << base;
    int width = 0, height = 0;
    ASSERT_TRUE(GetGifSize(&width, &height, root / "inline" / (base + ".gif")).ok());
    EXPECT_EQ(width, side ? 50 : 100) << base;
    EXPECT_EQ(height, side ? 100 : 50) << base;
  }
  EXPECT_EQ(test::ReadFile(root / "p6.jpg"), before) << "the picture itself is never changed";
  const RunStats second = Run();
  EXPECT_EQ(second.inline_made, 0);
  EXPECT_EQ(second.inline_reused, 8);
  EXPECT_EQ(diagnostics.ProblemCount(), 0);
}

TEST_F(PictureEntryTest, CaptionDateAndCameraComeFromThePicture) {
  test::TExifFields fields;
  fields.ImageDescription = "OLYMPUS DIGITAL CAMERA";
  fields.Make = "OLYMPUS IMAGING CORP.";
  fields.Model = "E-M5 <Mark II>";
  fields.DateTimeOriginal = "2024:06:01 14:03:22";
  test::TJpegOptions xmp = WithExif(fields);
  xmp.Segments.push_back(test::XmpSegment(
      "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">Boats &amp; \"gulls\""
      "</rdf:li></rdf:Alt></dc:description>"));
  WritePicture("a.jpg", test::SampleArt(), xmp);
  test::TJpegOptions iptc;
  iptc.Segments = {test::PhotoshopIptcSegment({{2, 120, "Market day"}})};
  WritePicture("b.jpg", test::SampleArt(), iptc);
  WritePicture("c.jpg", test::SampleArt(), WithExif(fields));  // a placeholder only
  test::TJpegOptions commented = WithExif(fields);
  commented.Comments = {"ImageDescription:\r\n<em>Our</em> boat\r\n\r\n"};
  WritePicture("d.jpg", test::SampleArt(), commented);
  test::WriteGifPicture(root / "e.gif", 9, 7, false);
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
  test::TExifFields fields;
  fields.Make = "Canon";
  fields.Model = "Canon EOS R5";
  test::TJpegOptions options = WithExif(fields);
  options.Comments = {"A quiet street"};
  test::WriteFile(root / "sub" / "a.jpg", test::MakeJpeg(test::SampleArt(), options));
  Run();
  const std::string top = test::ReadFile(root / "index.html");
  EXPECT_NE(top.find("<D sub/index.html||>"), std::string::npos) << top;
  const std::string detail = test::ReadFile(root / "sub" / "a.html");
  EXPECT_NE(detail.find("[A quiet street|A quiet street||Canon EOS R5|9x7|100x77]"),
            std::string::npos)
      << detail;
}

}  // namespace
}  // namespace pix
