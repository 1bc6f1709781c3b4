// A picture's entry as its metadata shape it, end to end: runs of the generator over pictures
// that carry EXIF data, with a layout that prints the variables.
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
    "<HTML>\r\n";

class PictureEntryTest : public testing::Test {
 protected:
  PictureEntryTest() {
    test::WriteFile(home / "pixamond.ini",
                    "[HTMLDefaults]\nPersonFullName=Ann Example\n"
                    "[Display]\nMaxDisplayWidth=100\nMaxDisplayHeight=100\n");
    test::WriteFile(
        home / "globals.txt",
        "FileEntryTemplate:\r\n<E ${AnchorFileName}|${DisplayWidth}x${DisplayHeight}>\r\n\r\n"
        "DetailPageTemplate:\r\n[${AnchorWidth}x${AnchorHeight}|${DisplayWidth}x${DisplayHeight}]"
        "\r\n\r\n");
  }

  TRunStats Run(int jobs = 1) {
    TWebSite site(root.path().string(), home.path().string(), ui, progress, diagnostics);
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
  TCollectedDiagnostics diagnostics;
  test::TScriptedUserInterface ui;
  TProgress progress;
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
    fields.Orientation = tag;
    WritePicture("p" + std::to_string(tag) + ".jpg", test::GradientArt(200, 100), WithExif(fields));
  }
  const std::string before = test::ReadFile(root / "p6.jpg");
  EXPECT_EQ(Run(4).InlineMade, 8);
  for (int tag = 1; tag <= 8; ++tag) {
    const std::string base = "p" + std::to_string(tag);
    const bool side = tag >= 5;
    EXPECT_EQ(Detail(base), side ? "100x200|50x100" : "200x100|100x50") << base;
    int width = 0, height = 0;
    ASSERT_TRUE(GetGifSize(&width, &height, root / "inline" / (base + ".gif")).ok());
    EXPECT_EQ(width, side ? 50 : 100) << base;
    EXPECT_EQ(height, side ? 100 : 50) << base;
  }
  EXPECT_EQ(test::ReadFile(root / "p6.jpg"), before) << "the picture itself is never changed";
  const TRunStats second = Run();
  EXPECT_EQ(second.InlineMade, 0);
  EXPECT_EQ(second.InlineReused, 8);
  EXPECT_EQ(diagnostics.ProblemCount(), 0);
}

}  // namespace
}  // namespace pix
