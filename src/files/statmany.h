// The statuses of many files, read one by one.
//
// A rerun of a large site looks at a few files a picture (the picture, its page, its inline
// and detail images) and changes none of them. Reading their statuses in batches through
// io_uring made 0.5 system calls a picture instead of 4.6, but the kernel runs every statx
// of a ring in a worker thread of its own, and handing each over cost more than the call:
// an unchanged rerun of 100 000 pictures took 1.7 s with the ring and 1.0 s without (Linux
// 6.18, 2 cores). So each status is a plain fstatat; callers still ask for a folder's
// statuses at once, so that another way of reading them needs no change of theirs.
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
/// it: a link is not followed. The results are in the order of `names`.
std::vector<PathStatus> LinkStatusOfMany(int dir_fd, const std::vector<std::string>& names);

}  // namespace pix
