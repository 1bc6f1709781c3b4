#include "files/utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

#include "base/safefile.h"

namespace pix {
namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StatPath(const std::filesystem::path& path, struct stat* info) {
  return ::stat(path.c_str(), info) == 0;
}

// Position of the first place in `text` at or after `from` where `needle` starts,
// compared without regard to case.
std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text.substr(i), needle)) return i;
  }
  return std::string_view::npos;
}

}  // namespace

// The largest text file read into memory. Settings, variable files and the text beside a
// picture are a few kilobytes; anything past this is not one of them (or is a device that
// never ends) and is refused rather than read until memory runs out.
constexpr std::size_t kMaxTextFileBytes = std::size_t{64} << 20;

Result<std::string> ReadTextFile(const std::filesystem::path& path) {
  if (!FileExists(path)) return Status::NotFound("There is no file " + path.string());
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return Status::IoError("Cannot open " + path.string() + ": " + std::strerror(errno));
  // Read in blocks rather than trusting the size from a stat: the file may be growing,
  // shrinking, or a pipe-like special file.
  std::string text;
  char block[65536];
  std::size_t count;
  while ((count = std::fread(block, 1, sizeof block, file.get())) > 0) {
    if (text.size() + count > kMaxTextFileBytes) {
      return Status::TooLarge("Cannot read " + path.string() + ": the file is larger than " +
                              std::to_string(kMaxTextFileBytes >> 20) + " MB");
    }
    text.append(block, count);
  }
  if (std::ferror(file.get())) {
    return Status::IoError("Cannot read " + path.string() + ": " + std::strerror(errno));
  }
  return text;
}

std::optional<std::string> GetHtmlTagText(const std::filesystem::path& path,
                                          std::string_view tag) {
  Result<std::string> text = ReadTextFile(path);
  if (!text.ok()) return std::nullopt;
  return ExtractTagText(*text, tag);
}

std::optional<std::string> ExtractTagText(std::string_view buffer, std::string_view tag) {
  const std::string opening = "<" + std::string(tag);
  const std::string closing = "</" + std::string(tag) + ">";
  const std::size_t start = FindNoCase(buffer, opening, 0);
  if (start == std::string_view::npos) return std::nullopt;
  const std::size_t close = buffer.find('>', start);
  if (close == std::string_view::npos) return std::nullopt;
  const std::size_t text_start = close + 1;
  std::size_t text_end = FindNoCase(buffer, closing, text_start);
  if (text_end == std::string_view::npos) text_end = buffer.size();
  return std::string(buffer.substr(text_start, text_end - text_start));
}

namespace {
constexpr std::string_view kPageSignature = "<!--Produced With Pixamond Version ";
}  // namespace

bool IsPageOfThisProgram(const std::filesystem::path& path) {
  // Not through a link, and without waiting on anything that is not a plain file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  char start[kPageSignature.size()];
  const bool plain = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  const ssize_t read = plain ? ::read(fd, start, sizeof start) : -1;
  ::close(fd);
  return read == static_cast<ssize_t>(sizeof start) &&
         std::string_view(start, sizeof start) == kPageSignature;
}

bool StartsLikePageOfThisProgram(std::string_view start) {
  return start.substr(0, kPageSignature.size()) == kPageSignature;
}

void WriteVersionComment(std::ostream& out) {
  out << kPageSignature << kVersionMajor << "." << kVersionMinor
      << "-->\r\n"
      << "<!--Pixamond is written by the Pixamond developers-->\r\n";
}

std::size_t AppendWithSep(std::string& destination, char separator, std::string_view text) {
  if (destination.empty()) {
    destination.assign(text);
    return 0;
  }
  if (destination.back() != separator) destination.push_back(separator);
  if (!text.empty() && text.front() == separator) text.remove_prefix(1);
  const std::size_t start = destination.size();
  destination.append(text);
  return start;
}

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  AppendWithSep(path, '/', name);
  return path;
}

std::string BuildFileName(std::string_view directory, std::string_view name,
                          std::string_view extension) {
  std::string result(directory);
  AppendWithSep(result, '/', name);
  AppendWithSep(result, '.', extension);
  return result;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (FoldCase(text[i]) != FoldCase(prefix[i])) return false;
  }
  return true;
}

bool DoesStringEndMatch(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return StartsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

void StripTrailingChar(std::string& text, char c) {
  while (!text.empty() && text.back() == c) text.pop_back();
}

void CutAfterLastSlash(std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos) path.erase(slash + 1);
}

void ReplaceChar(std::string& text, char from, char to) {
  for (char& c : text) {
    if (c == from) c = to;
  }
}

bool FileExists(const std::filesystem::path& path) {
  struct stat info;
  return StatPath(path, &info) && S_ISREG(info.st_mode);
}

bool IsDirectoryPath(const std::filesystem::path& path) {
  struct stat info;
  return StatPath(path, &info) && S_ISDIR(info.st_mode);
}

Status RequireRegularFile(const std::filesystem::path& path) {
  struct stat info;
  if (!StatPath(path, &info) || S_ISREG(info.st_mode)) return Status::OK();
  return Status::Refused(path.string() + " is " + FileKindText(info.st_mode) +
                         ", not a regular file; it is not opened");
}

bool IsFileSystemRoot(std::string_view path) { return path == "/"; }

std::optional<std::uint64_t> GetFileSizeOf(const std::filesystem::path& path) {
  struct stat info;
  if (!StatPath(path, &info) || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

std::optional<std::filesystem::file_time_type> GetFileWriteTime(
    const std::filesystem::path& path) {
  std::error_code error;
  const auto time = std::filesystem::last_write_time(path, error);
  if (error) return std::nullopt;
  return time;
}

StringTokenList::StringTokenList(std::string_view text, char separator)
    : text_(text), separator_(separator) {}

std::optional<std::string_view> StringTokenList::GetNextToken() {
  const std::size_t start = cursor_;
  while (cursor_ < text_.size() && text_[cursor_] != separator_ && text_[cursor_] != '\0') {
    ++cursor_;
  }
  while (cursor_ < text_.size() && text_[cursor_] == separator_) {
    text_[cursor_] = '\0';
    ++cursor_;
  }
  if (start >= text_.size() || text_[start] == '\0') return std::nullopt;
  std::size_t end = start;
  while (end < text_.size() && text_[end] != '\0') ++end;
  return std::string_view(text_).substr(start, end - start);
}

std::optional<std::string> FindProgramOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + program;
    struct stat info;
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

}  // namespace pix
