// Where the shipped data is. The one file compiled with the build's own paths: kept apart
// from the rest of the layout home's code, so that a build in another folder or clone
// recompiles only these few lines.
#include <algorithm>
#include <string_view>
#include <vector>

#include "files/layouthome.h"

namespace pix {
namespace fs = std::filesystem;

fs::path FindShippedDataDir() {
  std::vector<fs::path> program_install_dirs;
  std::string_view dirs = PIXAMOND_PROGRAM_INSTALL_DIRS;
  while (!dirs.empty()) {
    const std::size_t end = std::min(dirs.find(':'), dirs.size());
    if (end > 0) program_install_dirs.emplace_back(dirs.substr(0, end));
    dirs.remove_prefix(std::min(end + 1, dirs.size()));
  }
  const fs::path program_dir = ExecutableDir();
  const fs::path data_install_dir = PIXAMOND_DATA_INSTALL_DIR;
  if (auto installed = FindInstalledDataDir(program_dir, program_install_dirs, data_install_dir)) {
    return *installed;
  }
#ifdef PIXAMOND_SOURCE_DATA_DIR
  return fs::path(PIXAMOND_SOURCE_DATA_DIR);
#else
  // Not where it was installed: name the data folder it would have, for the messages.
  return (program_dir / ".." / data_install_dir).lexically_normal();
#endif
}

}  // namespace pix
