// File helpers shared by the stores of the configuration items.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"

namespace pix {

class Trash;

/// Deletes the file at `path`; a file that is not there (or an empty path) is no failure.
Status DeleteFileIfPresent(const std::string& path);

/// Removes the file at `path` as a save removes the files of crossed-out items: into
/// `trash` when one is given and available, for good otherwise. A file that is not there
/// is no failure.
Status RemoveCrossedOutFile(const std::string& path, Trash* trash);

/// Replaces (or creates) the variable file at `path` with `text`, never leaving it
/// half-written.
Status WriteVarFile(const std::string& path, std::string_view text);

}  // namespace pix
