// The way from the command line to the desktop window.
//
//   pixamond [--home DIR] [SITE_DIR]
//
// The command line never loads Qt: given no command, `pixamond` starts the desktop program
// `pixamond-desktop` in its own place (the same process id, the same arguments), which
// opens the window on the layout home DIR and the site directory SITE_DIR. The desktop
// program is found beside `pixamond` (a build tree) or, installed, in the libexec
// directory of the same prefix (see FindDesktopProgram).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"

namespace pix {

struct CommandLineIo;

/// The file name of the desktop program.
inline constexpr const char* kDesktopProgramName = "pixamond-desktop";

/// What the desktop window is opened with.
struct DesktopOptions {
  std::optional<std::string> home;           ///< --home: the layout home.
  std::optional<std::string> site_directory;  ///< The site directory to select at start-up.
};

/// True when `args` (without the program name) ask for the command line: they start with a
/// command or with --help, -h or --version. Everything else is the desktop's form.
bool IsCommandLineRequest(const std::vector<std::string>& args);

/// Reads the desktop's arguments: "--home DIR" (or "--home=DIR") and at most one site
/// directory, in any order; "--" ends the options. A usage error is an InvalidArgument
/// with a one-line message, as ParseCommandLine gives.
Result<DesktopOptions> ParseDesktopArguments(const std::vector<std::string>& args);

/// The desktop program: `pixamond-desktop` beside the running executable, else where an
/// installed `pixamond` finds it. Nothing when neither exists.
std::optional<std::filesystem::path> FindDesktopProgram();

/// Checks `args` (the desktop's form) and replaces this process with the desktop program.
/// Returns only when that cannot be done, with the exit status, after a message on
/// `io.Messages`.
int StartDesktopProgram(const std::vector<std::string>& args, CommandLineIo& io);

}  // namespace pix
