// The status of many files read at once.
//
// A rerun of a large site looks at three files a picture (the picture, its page, its inline
// image) and changes none of them; a system call each would cost more than the look itself.
// The statuses are asked of the kernel in batches through one io_uring, a submission and a
// wait for up to a batch of files. Where the kernel has no io_uring or refuses it (an old
// kernel, a container that forbids it), each file is looked at with fstatat as before:
// the results are the same either way.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

namespace pix {

/// What fstatat gave for one file: errno's value when it failed, else 0 and the status.
struct PathStatus {
  int error = 0;
  struct stat info {};
};

/// The status of each of `names`, resolved against the folder `dir_fd` (AT_FDCWD: the
/// current folder; an absolute name ignores it), as fstatat with AT_SYMLINK_NOFOLLOW gives
/// it: a link is not followed. The results are in the order of `names`. Only the size,
/// mode, times, inode, device, link count, owner and group of `info` are filled in.
std::vector<PathStatus> LinkStatusOfMany(int dir_fd, const std::vector<std::string>& names);

/// Turns the batches off for the calling thread, for the tests of the plain path.
void UseStatusBatchesForTesting(bool use);

}  // namespace pix
