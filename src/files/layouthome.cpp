#include "files/layouthome.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <system_error>

namespace pix {
namespace fs = std::filesystem;
namespace {

std::mutex gHomeMutex;
std::optional<fs::path> gLayoutHome;

std::optional<fs::path> NonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return fs::path(value);
}

}  // namespace

fs::path ExecutableDir() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : exe.parent_path();
}

Result<fs::path> ResolveLayoutHome(const std::optional<fs::path>& homeOption) {
  std::optional<fs::path> home = homeOption;
  if (!home || home->empty()) home = NonEmptyEnvironment("PIXAMOND_HOME");
  if (!home) {
    if (auto config = NonEmptyEnvironment("XDG_CONFIG_HOME")) home = *config / "pixamond";
  }
  if (!home) {
    if (auto user = NonEmptyEnvironment("HOME")) home = *user / ".config" / "pixamond";
  }
  if (!home) {
    return Status::NotFound(
        "No layout home: give --home, or set PIXAMOND_HOME, XDG_CONFIG_HOME or HOME");
  }
  std::error_code error;
  fs::path absolute = fs::absolute(*home, error);
  if (error) return Status::IoError("Cannot use the layout home " + home->string());
  return absolute.lexically_normal();
}

fs::path FindShippedDataDir() {
  const fs::path here = ExecutableDir();
  if (!here.empty()) {
    // The command line lies in the bin directory, the desktop program in the libexec one.
    for (const char* relative : {PIXAMOND_DATA_FROM_BIN, PIXAMOND_DATA_FROM_DESKTOP}) {
      const fs::path installed = here / relative;
      std::error_code error;
      if (fs::is_directory(installed, error)) return installed.lexically_normal();
    }
  }
  return fs::path(PIXAMOND_SOURCE_DATA_DIR);
}

Status PrepareLayoutHome(const fs::path& home, const fs::path& shippedData) {
  std::error_code error;
  fs::create_directories(home, error);
  if (error || !fs::is_directory(home)) {
    return Status::IoError("Cannot create the layout home " + home.string() + ": " +
                           error.message());
  }
  for (const char* name : kSiteLayoutFiles) {
    const fs::path target = home / name;
    const fs::path source = shippedData / name;
    if (fs::exists(fs::symlink_status(target, error)) || !fs::is_regular_file(source, error)) {
      continue;
    }
    // skip_existing keeps a file that appeared meanwhile: a user's layout is never replaced.
    fs::copy_file(source, target, fs::copy_options::skip_existing, error);
    if (error) {
      return Status::IoError("Cannot copy " + source.string() + " to " + target.string() +
                             ": " + error.message());
    }
  }
  return Status::OK();
}

Status OpenLayoutHome(const std::optional<fs::path>& homeOption) {
  Result<fs::path> home = ResolveLayoutHome(homeOption);
  if (!home.ok()) return home.status();
  Status prepared = PrepareLayoutHome(*home, FindShippedDataDir());
  if (!prepared.ok()) return prepared;
  SetLayoutHome(*home);
  return Status::OK();
}

void SetLayoutHome(const fs::path& home) {
  std::lock_guard<std::mutex> lock(gHomeMutex);
  gLayoutHome = home;
}

fs::path LayoutHome() {
  std::lock_guard<std::mutex> lock(gHomeMutex);
  if (!gLayoutHome) {
    Result<fs::path> home = ResolveLayoutHome(std::nullopt);
    std::error_code error;
    gLayoutHome = home.ok() ? *home : fs::current_path(error);
  }
  return *gLayoutHome;
}

}  // namespace pix
