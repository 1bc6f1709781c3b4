#include "files/layouthome.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string_view>
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

std::optional<fs::path> FindInstalledDataDir(const fs::path& programDir,
                                             const std::vector<fs::path>& programInstallDirs,
                                             const fs::path& dataInstallDir) {
  const fs::path program = programDir.lexically_normal();
  std::vector<fs::path> programNames(program.begin(), program.end());
  if (!programNames.empty() && programNames.back().empty()) programNames.pop_back();
  for (const fs::path& installDir : programInstallDirs) {
    std::vector<fs::path> installNames;
    for (const fs::path& name : installDir.lexically_normal()) {
      if (!name.empty() && name != ".") installNames.push_back(name);
    }
    // The prefix keeps at least the root: "/bin" is a program folder of the prefix "/".
    if (installNames.empty() || installNames.size() >= programNames.size()) continue;
    if (!std::equal(installNames.rbegin(), installNames.rend(), programNames.rbegin())) continue;
    fs::path prefix;
    for (std::size_t i = 0; i < programNames.size() - installNames.size(); ++i) {
      prefix /= programNames[i];
    }
    const fs::path data = prefix / dataInstallDir;
    std::error_code error;
    if (fs::is_directory(data, error)) return data.lexically_normal();
  }
  return std::nullopt;
}

fs::path FindShippedDataDir() {
  std::vector<fs::path> programInstallDirs;
  std::string_view dirs = PIXAMOND_PROGRAM_INSTALL_DIRS;
  while (!dirs.empty()) {
    const std::size_t end = std::min(dirs.find(':'), dirs.size());
    if (end > 0) programInstallDirs.emplace_back(dirs.substr(0, end));
    dirs.remove_prefix(std::min(end + 1, dirs.size()));
  }
  const fs::path programDir = ExecutableDir();
  const fs::path dataInstallDir = PIXAMOND_DATA_INSTALL_DIR;
  if (auto installed = FindInstalledDataDir(programDir, programInstallDirs, dataInstallDir)) {
    return *installed;
  }
#ifdef PIXAMOND_SOURCE_DATA_DIR
  return fs::path(PIXAMOND_SOURCE_DATA_DIR);
#else
  // Not where it was installed: name the data folder it would have, for the messages.
  return (programDir / ".." / dataInstallDir).lexically_normal();
#endif
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
