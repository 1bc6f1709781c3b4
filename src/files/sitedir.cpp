#include "files/sitedir.h"

#include <climits>
#include <filesystem>

#include "base/userinterface.h"
#include "files/filelist.h"
#include "files/names.h"
#include "files/settings.h"
#include "files/utils.h"

namespace pix {
namespace {

// Removes trailing "/" but keeps the root "/" itself.
std::string WithoutTrailingSlash(std::string path) {
  StripTrailingChar(path, '/');
  return path.empty() ? std::string("/") : path;
}

std::string NormalPath(std::string_view path) {
  std::string normal = std::filesystem::path(std::string(path)).lexically_normal().string();
  return WithoutTrailingSlash(std::move(normal));
}

// The path with every link resolved (as far as it exists), so that a link to "/" or to a
// folder above the layout home is judged by where it leads.
std::string RealPath(std::string_view path) {
  std::error_code error;
  const std::filesystem::path real =
      std::filesystem::weakly_canonical(std::filesystem::path(std::string(path)), error);
  return error ? NormalPath(path) : NormalPath(real.string());
}

// True when a scan of `site` with every sub-directory reaches `directory`: the two are the
// same, or `directory` lies below `site` along names that do not begin with "." (the scan
// skips those). Names are compared without regard to case.
bool SiteTakesIn(std::string_view site, std::string_view directory) {
  if (EqualsNoCase(site, directory)) return true;
  const std::size_t prefix = site == "/" ? 1 : site.size() + 1;
  if (directory.size() <= prefix || !StartsWithNoCase(directory, site) ||
      directory[prefix - 1] != '/') {
    return false;
  }
  for (std::size_t i = prefix; i < directory.size(); ++i) {
    if (directory[i] == '.' && directory[i - 1] == '/') return false;
  }
  return true;
}

bool Refuse(UserInterface* ui, const char* message) {
  if (ui != nullptr) {
    ui->ShowMessage(message, kProgramCaption, MessageButtons::kOk, MessageIcon::kNone);
  }
  return false;
}

}  // namespace

std::string LastSiteDirectory(const SettingsFile& settings) {
  std::string search = settings.GetString(kFilesSection, kSearchDirectory, "", PATH_MAX);
  if (!search.empty()) search = WithoutTrailingSlash(std::move(search));
  return search;
}

bool ValidateSiteDirectory(std::string_view given_directory, std::string_view layout_home,
                           UserInterface* ui) {
  if (given_directory.empty()) return Refuse(ui, "No directory has been selected.");
  if (IsFileSystemRoot(given_directory)) {
    return Refuse(ui, "You can't select the root directory of a drive");
  }
  std::string directory(given_directory);
  StripTrailingChar(directory, '/');
  // A relative name would depend on the current directory of whoever runs the program.
  if (directory.size() < 4 || directory.front() != '/') {
    return Refuse(ui, "You must select a proper directory.");
  }
  if (IsFileSystemRoot(RealPath(directory))) {
    return Refuse(ui, "You can't select the root directory of a drive");
  }
  if (!layout_home.empty() &&
      (SiteTakesIn(NormalPath(directory), NormalPath(layout_home)) ||
       SiteTakesIn(RealPath(directory), RealPath(layout_home)))) {
    return Refuse(ui, "Select a directory that does not contain program.");
  }
  return true;
}

}  // namespace pix
