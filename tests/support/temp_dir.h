// Temporary folders for tests, removed with everything in them when the test ends.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace pix::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

/// Writes `bytes` to `path` exactly, creating parent folders.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

/// The exact bytes of `path`; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

/// The status of the file at `path` (a link followed); all zeroes when there is none.
struct stat StatOf(const std::filesystem::path& path);

/// How many entries `dir` holds (not counting those below its subfolders), for the checks
/// that no temporary file is left beside a target.
std::size_t CountEntries(const std::filesystem::path& dir);

}  // namespace pix::test
