// Checks that tie the settings and the file list together: where the layout home and the
// last site directory are, whether a chosen directory may be the root of a site, and
// whether a directory entry gets a page of its own.
#pragma once

#include <string>
#include <string_view>

namespace pix {

class FileItem;
class SettingsFile;
class UserInterface;

/// The site directory last chosen (Files/SearchDirectory) as the settings file holds it,
/// in its case and without a trailing "/" ("/" stays "/"); empty when none was chosen.
std::string LastSiteDirectory(const SettingsFile& settings);

/// Whether `directory` may be the root of a site. Refused are: an empty name ("No
/// directory has been selected."), the root "/" ("You can't select the root directory of a
/// drive"), a relative name or one shorter than 4 characters without its trailing "/"
/// ("You must select a proper directory."), and the layout home `layout_home` or
/// any directory whose site would take it in, compared without regard to case ("Select a
/// directory that does not contain program."). With `ui` a refusal is shown in a box with
/// an OK button and the program's caption; without one it is silent.
bool ValidateSiteDirectory(std::string_view directory, std::string_view layout_home,
                           UserInterface* ui);

}  // namespace pix
