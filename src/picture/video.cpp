#include "picture/video.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "files/utils.h"
#include "picture/decjpeg.h"
#include "picture/versions.h"

extern char** environ;

namespace pix {
namespace {

// The most of a tool's output that is read: ffprobe's few lines fit many times over.
constexpr std::size_t kMaxToolOutput = 64 * 1024;

// Runs `args` (the program's path first) with standard input and error on /dev/null; its
// standard output, up to kMaxToolOutput bytes, goes to `output` when given. True when it
// ended with status 0.
bool RunTool(std::vector<std::string> args, std::string* output) {
  int pipe_ends[2] = {-1, -1};
  if (output != nullptr && ::pipe2(pipe_ends, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (output != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (output != nullptr) ::close(pipe_ends[1]);
  if (spawned != 0) {
    if (output != nullptr) ::close(pipe_ends[0]);
    return false;
  }
  if (output != nullptr) {
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(pipe_ends[0], buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      if (output->size() < kMaxToolOutput) output->append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipe_ends[0]);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<double> NumberOf(std::string_view text) {
  double value = 0.0;
  const std::from_chars_result read = std::from_chars(text.data(), text.data() + text.size(), value);
  if (read.ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// A path that a tool cannot take for an option, whatever the file is called.
std::string AsArgument(const std::filesystem::path& path) {
  const std::string text = path.string();
  return !text.empty() && text.front() == '-' ? "./" + text : text;
}

}  // namespace

int VideoReaderVersion(const VideoTools& tools) {
  return kPictureReaderVersion + (tools.ffprobe.empty() ? 1000 : 2000);
}

VideoTools VideoTools::Find() {
  VideoTools tools;
  tools.ffprobe = FindProgramOnPath("ffprobe").value_or(std::string());
  tools.ffmpeg = FindProgramOnPath("ffmpeg").value_or(std::string());
  return tools;
}

std::optional<VideoProbe> ParseVideoProbe(std::string_view output) {
  VideoProbe probe;
  long rotation = 0;
  while (!output.empty()) {
    const std::size_t end = output.find('\n');
    std::string_view line = output.substr(0, end);
    output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::optional<double> value = NumberOf(line.substr(equals + 1));
    if (!value) continue;
    // Only the first of each: a second stream says nothing of the first.
    if (key == "width" && probe.width == 0 && *value >= 1 && *value <= 65535) {
      probe.width = static_cast<int>(*value);
    } else if (key == "height" && probe.height == 0 && *value >= 1 && *value <= 65535) {
      probe.height = static_cast<int>(*value);
    } else if (key == "duration" && probe.duration_seconds == 0.0 && *value > 0 &&
               *value < 1e7) {
      probe.duration_seconds = *value;
    } else if ((key == "rotation" || key == "TAG:rotate") && rotation == 0) {
      rotation = std::lround(*value);
    }
  }
  if (probe.width == 0 || probe.height == 0) return std::nullopt;
  // A stream stored turned a quarter is shown with its sides swapped.
  if (std::labs(rotation) % 180 == 90) std::swap(probe.width, probe.height);
  return probe;
}

std::optional<VideoProbe> ProbeVideo(const std::string& ffprobe, const std::filesystem::path& video) {
  if (ffprobe.empty()) return std::nullopt;
  std::string output;
  if (!RunTool({ffprobe, "-v", "error", "-select_streams", "v:0", "-show_entries",
                "stream=width,height:stream_tags=rotate:stream_side_data=rotation:"
                "format=duration",
                "-of", "default=noprint_wrappers=1", AsArgument(video)},
               &output)) {
    return std::nullopt;
  }
  return ParseVideoProbe(output);
}

Status ExtractPosterFrame(const std::string& ffmpeg, const std::filesystem::path& video,
                          double at_seconds, const std::filesystem::path& jpeg_file) {
  if (ffmpeg.empty()) return Status::NotFound("ffmpeg is not installed");
  char at[32];
  std::snprintf(at, sizeof at, "%.3f", at_seconds > 0 ? at_seconds : 0.0);
  if (!RunTool({ffmpeg, "-nostdin", "-v", "error", "-ss", at, "-i", AsArgument(video),
                "-frames:v", "1", "-q:v", "3", "-f", "image2", "-c:v", "mjpeg", "-y",
                AsArgument(jpeg_file)},
               nullptr)) {
    return Status::IoError("ffmpeg could not take a frame of " + video.string());
  }
  return Status::OK();
}

Status WriteVideoIcon(const std::filesystem::path& jpeg_file, int width, int height) {
  RgbPicture picture;
  picture.width = std::max(1, width);
  picture.height = std::max(1, height);
  picture.pixels.assign(static_cast<std::size_t>(picture.width) * picture.height * 3, 0x55);
  // A triangle pointing right, a third of the shorter side high, in the middle.
  const double size = std::min(picture.width, picture.height) / 3.0;
  const double left = picture.width / 2.0 - size * 0.4;
  const double middle = picture.height / 2.0;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const double dx = x + 0.5 - left;
      const double reach = size / 2.0 * (1.0 - dx / (size * 0.9));
      if (dx >= 0 && std::fabs(y + 0.5 - middle) <= reach) {
        std::uint8_t* pixel = &picture.pixels[(static_cast<std::size_t>(y) * picture.width + x) * 3];
        pixel[0] = pixel[1] = pixel[2] = 0xEE;
      }
    }
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(jpeg_file.c_str(), "wb"),
                                                       &std::fclose);
  if (!out) return Status::IoError("Cannot write " + jpeg_file.string() + ": " + std::strerror(errno));
  Status written = EncodeJpegRgb(picture, 90, out.get(), jpeg_file);
  if (std::fclose(out.release()) != 0 && written.ok()) {
    written = Status::IoError("Cannot write " + jpeg_file.string());
  }
  return written;
}

std::string VideoDurationText(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

std::string VideoDurationIso(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  std::string text = "PT";
  if (total >= 3600) text += std::to_string(total / 3600) + "H";
  if (total >= 60) text += std::to_string(total / 60 % 60) + "M";
  text += std::to_string(total % 60) + "S";
  return text;
}

}  // namespace pix
