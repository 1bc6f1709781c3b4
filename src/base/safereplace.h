// Changing a picture in place without ever risking it.
//
// Every change that rewrites a picture file (a new comment, a de-interlaced copy, a new
// inline image) writes the new version beside the old one under a temporary name, checks
// that the new file is complete, and only then renames it over the old one. On any failure
// the old file stays exactly as it was and the temporary file is removed.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>

#include "base/safefile.h"
#include "base/status.h"

namespace pix {

/// Writes the new contents to `out`, an open binary stream the helper owns.
using TWriteNewFile = std::function<Status(std::FILE* out)>;

/// Checks the finished new file (already closed, at `newFile`) before it replaces the old.
using TCheckNewFile = std::function<Status(const std::filesystem::path& newFile)>;

/// Replaces (or creates) `target`: `write` fills a temporary file beside it, the file must
/// then be flushed without error and not be empty, `check` (when given) must accept it, and
/// only then is it renamed over `target`. `target` may also be the file `write` reads from.
/// Files that can be made again (inline images) need not wait for the disk: `durability`.
Status ReplaceFileSafely(
    const std::filesystem::path& target, const TWriteNewFile& write,
    const TCheckNewFile& check = nullptr,
    TTempFileBeside::Durability durability = TTempFileBeside::Durability::kSynced);

}  // namespace pix
