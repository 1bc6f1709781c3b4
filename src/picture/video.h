// Video files beside the pictures (".mp4", ".webm", ".mov"): what ffprobe says of them, a
// poster frame from ffmpeg, and a drawn play symbol where ffmpeg is not installed. Videos
// are never re-encoded: a page plays the file itself.
//
// ffprobe and ffmpeg are optional tools found on the PATH when a run starts; both run as
// child processes with their own output only (nothing goes through a shell), and a tool
// that fails or says nothing usable leaves the video without what it would have told.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"

namespace pix {

/// The video tools found on the PATH; empty paths for those that are missing.
struct VideoTools {
  std::string ffprobe;
  std::string ffmpeg;
  /// Finds both on the PATH.
  static VideoTools Find();
};

/// The version of what reads a video's facts (see kPictureReaderVersion): what is known of
/// a video depends on whether ffprobe was there to ask, so that a run after it is installed
/// reads every video again.
int VideoReaderVersion(const VideoTools& tools);

/// What ffprobe says of a video: the size of its first video stream as it is shown (a
/// stream stored turned gives its sides swapped) and its length.
struct VideoProbe {
  int width = 0;
  int height = 0;
  double duration_seconds = 0.0;
};

/// Asks `ffprobe` about `video`; none when it cannot tell.
std::optional<VideoProbe> ProbeVideo(const std::string& ffprobe, const std::filesystem::path& video);

/// Reads ffprobe's "key=value" lines (width, height, duration, rotation, TAG:rotate).
std::optional<VideoProbe> ParseVideoProbe(std::string_view output);

/// Writes one frame of `video`, `at_seconds` in, as a JPEG file at `jpeg_file` (replaced).
Status ExtractPosterFrame(const std::string& ffmpeg, const std::filesystem::path& video,
                          double at_seconds, const std::filesystem::path& jpeg_file);

/// Writes a plain play symbol, light on grey, of `width` x `height` as a JPEG file: the
/// picture of a video whose frames cannot be read here.
Status WriteVideoIcon(const std::filesystem::path& jpeg_file, int width, int height);

/// A length in seconds as a page shows it: "0:07", "12:34", "1:02:03".
std::string VideoDurationText(double seconds);
/// The same as an ISO 8601 duration for a datetime attribute: "PT7S", "PT1H2M3S".
std::string VideoDurationIso(double seconds);

}  // namespace pix
