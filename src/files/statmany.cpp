#include "files/statmany.h"

#include <fcntl.h>

#include <cerrno>

namespace pix {

std::vector<PathStatus> LinkStatusOfMany(int dir_fd, const std::vector<std::string>& names) {
  std::vector<PathStatus> results(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    PathStatus& result = results[i];
    result.error =
        ::fstatat(dir_fd, names[i].c_str(), &result.info, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
  }
  return results;
}

}  // namespace pix
