// File helpers shared by the stores of the configuration items.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"

namespace pix {

/// Deletes the file at `path`; a file that is not there (or an empty path) is no failure.
Status DeleteFileIfPresent(const std::string& path);

/// Replaces (or creates) the variable file at `path` with `text`, never leaving it
/// half-written.
Status WriteVarFile(const std::string& path, std::string_view text);

}  // namespace pix
