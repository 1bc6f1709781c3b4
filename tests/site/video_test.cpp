// Videos beside the pictures: listed with an entry and a detail page that plays the file
// itself, with a poster and a length from ffmpeg and ffprobe when they are on the PATH and a
// drawn symbol and a note when they are not. The tools here are small scripts standing in
// for ffmpeg and ffprobe, so that the test needs neither.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "generated_site.h"
#include "picture/video.h"
#include "site/pictureentry.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

const char kLayout[] =
    "PageHeadTemplate:\r\n<TITLE>t</TITLE>\r\n\r\n"
    "FileEntryTemplate:\r\n(${AnchorFileName} ${ImageFileURL})\r\n\r\n"
    "DetailPageTemplate:\r\n<BODY>${VideoURL?<VIDEO src=\"${VideoURL}\" "
    "poster=\"${DetailImageURL}\"></VIDEO>}|${VideoType}|${VideoDuration}|${VideoDurationISO}|"
    "${VideoNote}</BODY>\r\n\r\n"
    "ParentPageLabel:\r\nx\r\n\r\n";

// Sets PATH for the life of the object.
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& path) : old_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    ::setenv("PATH", path.c_str(), 1);
  }
  ~ScopedPath() { ::setenv("PATH", old_.c_str(), 1); }

 private:
  std::string old_;
};

class VideoTest : public test::GeneratedSiteTest {
 protected:
  VideoTest() {
    test::WriteFile(home_ / "globals.txt", kLayout);
    WriteSettings(
        "[FileExtensions]\nInLineFileExt=jpg\n"
        "[Display]\nMaxDisplayWidth=160\nMaxDisplayHeight=160\n");
    // A video file's bytes do not matter to the stand-ins.
    test::WriteFile(site_ / "clip.mp4", "not really a video");
    test::WriteJpegPicture(site_ / "photo.jpg", 16, 12, "");
  }

  // Stand-ins for ffprobe (a 240 x 320 stream stored turned a quarter, so 320 x 240 as
  // shown, 7.4 s long) and ffmpeg (which writes a 120 x 90 JPEG frame, turned upright as
  // ffmpeg does, to the file named last).
  void InstallTools() {
    test::WriteFile(tools_ / "frame.jpg", test::MakeJpeg(test::GradientArt(120, 90), {}));
    test::WriteFile(tools_ / "ffprobe",
                    "#!/bin/sh\nprintf 'width=240\\nheight=320\\nrotation=-90\\nduration=7.400\\n'\n");
    test::WriteFile(tools_ / "ffmpeg",
                    "#!/bin/sh\nfor last; do :; done\n/bin/cp '" + (tools_ / "frame.jpg").string() +
                        "' \"$last\"\n");
    ::chmod((tools_ / "ffprobe").c_str(), 0755);
    ::chmod((tools_ / "ffmpeg").c_str(), 0755);
  }

  void Run() {
    // Only the stand-ins: ffmpeg installed on the machine is not what is tested.
    ScopedPath path(tools_.path().string());
    ASSERT_TRUE(Generate());
  }

  std::string Detail() {
    const std::string page = test::ReadFile(site_ / "clip.html");
    const std::size_t body = page.find("<BODY>");
    return page.substr(body + 6, page.find("</BODY>") - body - 6);
  }

  std::string PosterSize() { return test::ImageSizeOf(site_ / "inline" / "clip.jpg"); }

  test::TempDir tools_;
};

// Without the tools: a drawn symbol and a note; the tools once there give the poster and the
// length, and when they go the next run draws the symbol again.
TEST_F(VideoTest, ListedWithAPosterFromTheToolsOrADrawnSymbolAndANoteWithoutThem) {
  Run();
  EXPECT_NE(test::ReadFile(site_ / "index.html").find("(clip.mp4 inline/clip.jpg)"),
            std::string::npos);
  const std::string without_tools =
      "<VIDEO src=\"clip.mp4\" poster=\"inline/clip.jpg\"></VIDEO>|video/mp4|||"
      "No preview frame: ffmpeg was not installed when this page was made.";
  EXPECT_EQ(Detail(), without_tools);
  // The drawn symbol in the usual video shape, fitted into the display box.
  EXPECT_EQ(PosterSize(), "160x90");
  // Publishing carries the video as it is, and its poster.
  test::TempDir web;
  ASSERT_TRUE(PublishTo(web.path()));
  EXPECT_EQ(test::ReadFile(web / "clip.mp4"), "not really a video");
  EXPECT_TRUE(fs::exists(web / "inline" / "clip.jpg"));

  InstallTools();
  Run();
  EXPECT_EQ(Detail(),
            "<VIDEO src=\"clip.mp4\" poster=\"inline/clip.jpg\"></VIDEO>|video/mp4|0:07|PT7S|");
  // Shown upright: the stream is stored turned, so its sides are swapped, and the poster
  // fits the display box as the video is shown.
  EXPECT_EQ(PosterSize(), "160x120");

  fs::remove(tools_ / "ffmpeg");
  fs::remove(tools_ / "ffprobe");
  Run();
  EXPECT_EQ(Detail(), without_tools);
  EXPECT_EQ(PosterSize(), "160x90");
}

TEST(VideoProbeTest, ReadsWhatFfprobeSays) {
  const std::optional<VideoProbe> probe =
      ParseVideoProbe("width=1920\nheight=1080\nTAG:rotate=90\nduration=61.5\nwidth=10\n");
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->width, 1080);
  EXPECT_EQ(probe->height, 1920);
  EXPECT_DOUBLE_EQ(probe->duration_seconds, 61.5);
  EXPECT_FALSE(ParseVideoProbe("duration=N/A\nwidth=0\nheight=0\n"));
  EXPECT_EQ(VideoDurationText(3723), "1:02:03");
  EXPECT_EQ(VideoDurationIso(3723), "PT1H2M3S");
  EXPECT_EQ(VideoDurationText(59.6), "1:00");
}

}  // namespace
}  // namespace pix
