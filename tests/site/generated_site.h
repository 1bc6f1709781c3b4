// A site generated into a temporary folder, with the shipped default layout unless a test
// writes its own into the layout home: for the tests of the runs, of the pages they write
// and of what is done with a finished site (publishing, checking and cleaning it).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "base/diagnostics.h"
#include "base/progress.h"
#include "files/layouthome.h"
#include "site/publish.h"
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
  // What every page a run writes starts with.
  static constexpr const char* kPageHead =
      "<!--Produced With Pixamond Version 2.0-->\r\n"
      "<!--Pixamond is written by the Pixamond developers-->\r\n"
      "<!DOCTYPE html>\r\n<HTML lang=\"en\">\r\n";

  void UseSettings(const char* settings) {
    WriteFile(home_ / "pixamond.ini", settings);
    ASSERT_TRUE(OpenLayoutHome(home_.path()).ok());
  }

  // Writes the layout home's settings: the user's name, then `more`.
  void WriteSettings(const std::string& more = "") {
    WriteFile(home_ / "pixamond.ini", "[HTMLDefaults]\nPersonFullName=Ann\n" + more);
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
    WriteFile(path, MakeJpeg(GradientArt(30, 20), WithExif(exif)));
  }

  // A JPEG picture of `width` x 30 pixels taken at `date` ("2024:06:01 14:03:22"), or
  // without a date when it is empty.
  static void WritePictureTaken(const std::filesystem::path& path, const std::string& date,
                                int width = 40) {
    ExifFields exif;
    exif.date_time_original = date;
    WriteFile(path,
              MakeJpeg(GradientArt(width, 30), date.empty() ? JpegOptions() : WithExif(exif)));
  }

  // Publishes the fixture's site into the folder `to`; true when it went well.
  bool PublishTo(const std::filesystem::path& to) {
    CollectedDiagnostics diagnostics;
    Progress progress;
    std::ostringstream listing;
    return PublishSite(site_.path(), to.string(), PublishOptions(), progress, listing, diagnostics)
        .ok();
  }

  // Generates the fixture's site, `jobs` at a time unless 0, telling `progress` if given;
  // what the runs report gathers in `diagnostics_`.
  RunStats RunSite(int jobs = 0, Progress* progress = nullptr) {
    Progress quiet;
    WebSite run(site_.path().string(), home_.path().string(), ui_, progress ? *progress : quiet,
                diagnostics_);
    if (jobs > 0) run.SetJobs(jobs);
    EXPECT_TRUE(run.Prepare().ok());
    run.Execute();
    return run.Stats();
  }

  // A run that trusts the stamps of files older than `age` (a real run: two seconds), so
  // that a test can tell files it wrote a while ago from those the run writes.
  RunStats RunTrustingStampsOlderThan(std::chrono::milliseconds age) {
    Progress progress;
    WebSite run(site_.path().string(), home_.path().string(), ui_, progress, diagnostics_);
    EXPECT_TRUE(run.Prepare().ok());
    run.Record().SetSettleTimeForTesting(
        std::chrono::duration_cast<std::chrono::nanoseconds>(age).count());
    run.Execute();
    return run.Stats();
  }

  // A run that trusts the stamps of every file at once, as a real run trusts those of
  // files that have settled.
  RunStats RunTrustingStamps() {
    Progress progress;
    WebSite run(site_.path().string(), home_.path().string(), ui_, progress, diagnostics_);
    EXPECT_TRUE(run.Prepare().ok());
    run.Record().SetSettleTimeForTesting(0);
    run.Execute();
    return run.Stats();
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
  CollectedDiagnostics diagnostics_;
};

}  // namespace pix::test
