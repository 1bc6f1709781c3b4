// A site generated into a temporary folder, with the shipped default layout unless a test
// writes its own into the layout home: for the tests of what is done with a finished site
// (publishing, checking and cleaning it) and of the pages themselves.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "files/layouthome.h"
#include "site/website.h"
#include "support/picture_builder.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix::test {

class GeneratedSiteTest : public testing::Test {
 protected:
  // The settings of a private site: JPEG thumbnails and web-sized detail images, so that no
  // page links an original.
  static constexpr const char* kPrivateSettings =
      "[HTMLDefaults]\nPersonFullName=Ann Example\n"
      "[FileExtensions]\nInLineFileExt=jpg\n"
      "[Display]\nInLinePixelDensity=2\nDetailImageMaxSize=1600\n";
  // The shipped defaults: detail pages show the original itself.
  static constexpr const char* kOriginalSettings = "[HTMLDefaults]\nPersonFullName=Ann Example\n";

  void UseSettings(const char* settings) {
    WriteFile(home_ / "pixamond.ini", settings);
    ASSERT_TRUE(OpenLayoutHome(home_.path()).ok());
  }

  // A few pictures in two folders, with a caption file and a page of the user's own.
  void WritePictures() {
    WriteJpegPicture(site_ / "beach.jpg", 64, 48, "");
    WriteJpegPicture(site_ / "dune.jpg", 48, 64, "");
    WriteFile(site_ / "dune.txt", "DetailPageTitle:\r\nThe dune\r\n\r\n");
    WriteJpegPicture(site_ / "trip" / "boat.jpg", 40, 30, "");
    WriteGifPicture(site_ / "trip" / "map.gif", 32, 24, /*interlaced=*/false);
    WriteFile(site_ / "notes.html", "<!DOCTYPE html><html lang=en><title>n</title><p>mine\n");
  }

  // A picture that says where it was taken.
  void WriteGpsPicture(const std::filesystem::path& path) {
    ExifFields exif;
    exif.gps_position = true;
    JpegOptions options;
    options.segments = {ExifSegment(exif)};
    WriteFile(path, MakeJpeg(GradientArt(30, 20), options));
  }

  // Generates the site in `site`: how many problems the run reported, -1 when it could
  // not start.
  int ProblemsOfRun(const std::filesystem::path& site) {
    CollectedDiagnostics diagnostics;
    Progress progress;
    WebSite run(site.string(), home_.path().string(), ui_, progress, diagnostics);
    if (!run.Prepare().ok()) return -1;
    run.Execute();
    return diagnostics.ProblemCount() + run.Stats().problems_reported;
  }

  // Generates the fixture's site; true when the run reported nothing.
  bool Generate() { return ProblemsOfRun(site_.path()) == 0; }

  TempDir home_;
  TempDir site_;
  ScriptedUserInterface ui_;
};

}  // namespace pix::test
