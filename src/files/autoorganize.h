// The auto-organize analysis: the picture names of a whole site are turned into name
// patterns (digits as "#", a final letter after a digit or "-" as "@"), and every pattern
// that enough pictures share becomes a match page in the settings, followed by the
// catch-all page "miscpics" for the rest.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace pix {

class Diagnostics;

/// The catch-all match page that every auto-organized layout ends with, and its pattern.
inline constexpr const char* kMiscPicsBaseName = "miscpics";
inline constexpr const char* kMiscPicsPattern = "[*.*]";

/// The match pages of `base_file_names` (AutoOrganizeLayout/AutoOrganizeBaseFileNames) that
/// a run can write, in order: every name before the catch-all page "miscpics", and the
/// catch-all page itself only after another name, since a run writes it only in folders
/// where an earlier match page took a picture. Names after a leading catch-all page are
/// never looked at by a run and are left out too.
std::vector<std::string> WritableMatchPages(std::string_view base_file_names);

/// Rewrites a picture's base name (its name up to the first ".") into a pattern in place:
/// every decimal digit becomes "#", and when the name has at least 5 characters, ends with
/// a letter and has "#" or "-" before it, that letter becomes "@".
void MakeNamePattern(std::string& base_name);

/// Analyses the pictures (".gif", ".jpg", ".jpeg" in any case) in and below `site_root`,
/// leaving out those directly inside an inline sub-directory, and writes the result to the
/// settings: MatchPageSearchStrings is replaced by one entry per pattern shared by at least
/// AutoOrganizeLayout/MinMatchPerPage pictures (default 3) plus "miscpics", and
/// AutoOrganizeLayout gets the list of match pages and DoAutoOrganize=Yes. Every picture
/// of the site takes part, however many there are. Patterns that differ only in case share
/// one page, named after the spelling that sorts last by its bytes. A pattern whose page name
/// cannot be a settings key or a list entry (it holds "," or "=", begins with ";" or "[", or has
/// blanks at its ends) is left out and reported to `diagnostics`. The settings are those of
/// `layoutHome`. Nothing is written when the site cannot be scanned.
Status BuildAutoOrganizeLayout(std::string_view site_root, const std::filesystem::path& layout_home,
                               Diagnostics& diagnostics);

}  // namespace pix
