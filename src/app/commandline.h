// The headless command line of the pixamond program.
//
//   pixamond generate SITE_DIR [--home DIR] [--name TEXT] [--email TEXT] [--jobs N]
//                              [--quiet] [--verbose]
//   pixamond organize SITE_DIR [--home DIR]
//   pixamond comment PICTURE [--set FILE]
//   pixamond --help | --version
//
// Exit status: 0 when all went well, 1 when the work was done but some pictures or pages
// were reported, 2 for usage errors and refused directories.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace pix {

/// The streams of one command, and whether the user sits at a terminal.
struct TCommandLineIo {
  std::istream& In;
  std::ostream& Out;       ///< Results (comment text, match page names, help).
  std::ostream& Messages;  ///< Messages of the run, progress line and summary.
  bool bInputIsTerminal = false;
  bool bMessagesAreTerminal = false;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitReported = 1;
inline constexpr int kExitUsage = 2;

/// Runs the command given by `args` (without the program name).
int RunCommandLine(const std::vector<std::string>& args, TCommandLineIo& io);

/// The text of --help.
std::string CommandLineHelp();

}  // namespace pix
