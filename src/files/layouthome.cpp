#include "files/layouthome.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "base/safefile.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

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

Result<fs::path> ResolveLayoutHome(const std::optional<fs::path>& home_option) {
  std::optional<fs::path> home = home_option;
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
  // Without a trailing "/", so that the home's name compares equal however it was given.
  absolute = absolute.lexically_normal();
  if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
  return absolute;
}

std::optional<fs::path> FindInstalledDataDir(const fs::path& program_dir,
                                             const std::vector<fs::path>& program_install_dirs,
                                             const fs::path& data_install_dir) {
  const fs::path program = program_dir.lexically_normal();
  std::vector<fs::path> program_names(program.begin(), program.end());
  if (!program_names.empty() && program_names.back().empty()) program_names.pop_back();
  for (const fs::path& install_dir : program_install_dirs) {
    std::vector<fs::path> install_names;
    for (const fs::path& name : install_dir.lexically_normal()) {
      if (!name.empty() && name != ".") install_names.push_back(name);
    }
    // The prefix keeps at least the root: "/bin" is a program folder of the prefix "/".
    if (install_names.empty() || install_names.size() >= program_names.size()) continue;
    if (!std::equal(install_names.rbegin(), install_names.rend(), program_names.rbegin())) continue;
    fs::path prefix;
    for (std::size_t i = 0; i < program_names.size() - install_names.size(); ++i) {
      prefix /= program_names[i];
    }
    const fs::path data = prefix / data_install_dir;
    std::error_code error;
    if (fs::is_directory(data, error)) return data.lexically_normal();
  }
  return std::nullopt;
}

// The settings a home starts with when it has none (see PrepareLayoutHome).
constexpr std::string_view kNewHomeSettings =
    "[FileExtensions]\n"
    "InLineFileExt=jpg\n"
    "[Display]\n"
    "MaxDisplayWidth=240\n"
    "MaxDisplayHeight=180\n"
    "InLinePixelDensity=2\n"
    "DetailImageMaxSize=1600\n";

Status PrepareLayoutHome(const fs::path& home, const fs::path& shipped_data) {
  std::error_code missing;
  const bool has_settings = fs::exists(fs::symlink_status(home / "pixamond.ini", missing));
  std::error_code error;
  fs::create_directories(home, error);
  if (error || !fs::is_directory(home)) {
    return Status::IoError("Cannot create the layout home " + home.string() + ": " +
                           error.message());
  }
  for (const char* name : kSiteLayoutFiles) {
    const fs::path target = home / name;
    const fs::path source = shipped_data / name;
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
  if (has_settings) return Status::OK();
  // A new home starts with a private and sharp site: JPEG thumbnails of twice the display
  // box, sharp on dense screens, and detail pages that show a web-sized copy without the
  // picture's metadata (its GPS position among them) instead of the original.
  return WriteFileAtomically(home / "pixamond.ini", kNewHomeSettings);
}

Result<fs::path> OpenLayoutHome(const std::optional<fs::path>& home_option) {
  Result<fs::path> home = ResolveLayoutHome(home_option);
  if (!home.ok()) return home.status();
  Status prepared = PrepareLayoutHome(*home, FindShippedDataDir());
  if (!prepared.ok()) return prepared;
  return home;
}

}  // namespace pix
