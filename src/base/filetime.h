// File times as the program compares them: nanoseconds since 1970, one number.
#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace pix {

/// A time of a file's status (st_mtim, st_ctim) in nanoseconds since 1970.
inline std::int64_t TimeNs(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace pix
