// The layout home: the folder that holds the user's settings file (pixamond.ini), the
// site-wide layout files (globals.txt, dglobals.txt, mglobals.txt), the match-page variable
// files and the desktop program's diagnostic files. An installed program's own folder is
// not writable, so all of this lives in a folder of the user's.
//
// The layout home is, first found: the --home option, $PIXAMOND_HOME,
// $XDG_CONFIG_HOME/pixamond, ~/.config/pixamond. It is created when missing, and any
// site-wide layout file missing there is copied from the shipped default layout; a file
// that exists is never overwritten.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <vector>

#include "base/status.h"

namespace pix {

/// The site-wide layout files that a layout home is seeded with.
inline constexpr std::array<const char*, 3> kSiteLayoutFiles = {"globals.txt", "dglobals.txt",
                                                                 "mglobals.txt"};

/// Where the layout home is, from the option and the environment, as an absolute path
/// without a trailing "/"; an error when none of them names a folder (no option, no
/// variables, no HOME).
Result<std::filesystem::path> ResolveLayoutHome(
    const std::optional<std::filesystem::path>& home_option);

/// The folder of shipped data (default layout, sample layouts, help pages): share/pixamond
/// of the install prefix that holds the running program, else the source tree's data
/// folder for a program run from its build tree.
std::filesystem::path FindShippedDataDir();

/// The shipped data folder of an installation whose program lies in `programDir`, an
/// absolute folder: `programDir` must end with one of `programInstallDirs` (folders
/// relative to the install prefix, such as "bin" or "lib/pixamond"), and what is left of it
/// is the prefix, whose `dataInstallDir` ("share/pixamond") must be a folder. None when no
/// install folder fits.
std::optional<std::filesystem::path> FindInstalledDataDir(
    const std::filesystem::path& program_dir,
    const std::vector<std::filesystem::path>& program_install_dirs,
    const std::filesystem::path& data_install_dir);

/// The folder of the running program's executable; empty when it cannot be found.
std::filesystem::path ExecutableDir();

/// Creates `home` when missing and copies each site-wide layout file that it lacks from
/// `shippedData`. A home without "pixamond.ini" gets one that asks for JPEG inline images
/// at twice the 240 x 180 display box and 1600-pixel detail images without metadata; a
/// settings file that is there is kept as it is. Never overwrites a file.
Status PrepareLayoutHome(const std::filesystem::path& home,
                         const std::filesystem::path& shipped_data);

/// Resolves and prepares the layout home in one step, as start-up does; the home found.
/// Everything later that reads the settings or the layout is handed this folder.
Result<std::filesystem::path> OpenLayoutHome(
    const std::optional<std::filesystem::path>& home_option);

}  // namespace pix
