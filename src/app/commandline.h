// The headless command line of the pixamond program.
//
//   pixamond generate SITE_DIR [--home DIR] [--name TEXT] [--email TEXT] [--jobs N]
//                              [--quiet] [--verbose]
//   pixamond organize SITE_DIR [--home DIR] [--quiet] [--verbose]
//   pixamond comment PICTURE [--set FILE] [--quiet] [--verbose]
//   pixamond publish SITE_DIR DEST [--dry-run] [--delete] [--with-originals] [--quiet]
//                                  [--verbose]
//   pixamond check SITE_DIR [--quiet] [--verbose]
//   pixamond clean SITE_DIR [--dry-run] [--quiet] [--verbose]
//   pixamond --help | --version
//   pixamond [--home DIR] [SITE_DIR]      (no command: the desktop window, app/desktop.h)
//
// Options may come before or after SITE_DIR or PICTURE; a value follows its option as the
// next argument or after "=" (--jobs 2, --jobs=2). "--" ends the options, for a name that
// begins with "-".
//
// Exit status: 0 when all went well, 1 when the work was done but some pictures or pages
// were reported (for check: when it found anything; for publish and clean: when a file
// could not be copied or removed), 2 for usage errors and refused directories.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"

namespace pix {

/// A mistake in the words of a command line (the usage exit code, 2).
inline Status UsageError(std::string text) { return Status::InvalidArgument(std::move(text)); }

/// The streams of one command, and whether the user sits at a terminal.
struct CommandLineIo {
  std::istream& input;
  std::ostream& out;       ///< Results (comment text, match page names, help).
  std::ostream& messages;  ///< Messages of the run, progress line and summary.
  bool input_is_terminal = false;
  bool messages_are_terminal = false;
  /// The user account's full name, offered when a run asks for the name; may be empty.
  std::string account_full_name = {};
};

/// The full name of the account running the program (the first field of its GECOS entry in
/// the password database); empty when it has none.
std::string AccountFullName();

/// One command as the user gave it. Only the options of that command can be set; each value
/// option keeps the last value given.
struct CommandLineOptions {
  std::string command;  ///< "generate", "organize", "comment", "publish", "check", "clean".
  std::string target;   ///< SITE_DIR, or PICTURE for comment.
  std::string destination;  ///< DEST of publish: a folder, "host:path" or "rsync://...".
  std::optional<std::string> home;          ///< --home: the layout home.
  std::optional<std::string> full_name;      ///< --name: stored in the settings before the run.
  std::optional<std::string> e_mail_address;  ///< --email: stored in the settings before the run.
  std::optional<int> jobs;                  ///< --jobs: 1 to 9999; none means one per core.
  std::optional<std::string> comment_file;   ///< --set: the new comment's file, "-" for input.
  bool quiet = false;                      ///< --quiet: no progress line and no summary.
  bool verbose = false;                    ///< --verbose: the readers' diagnostic lines.
  bool dry_run = false;         ///< --dry-run: say what publish or clean would do, do nothing.
  bool delete_extra = false;    ///< --delete: publish removes what the site no longer has.
  bool with_originals = false;  ///< --with-originals: publish originals with a GPS position.
  bool check = false;           ///< --check: generate checks the site after the run.
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitReported = 1;
inline constexpr int kExitUsage = 2;

/// Reads the command and options in `args` (without the program name). A usage error is an
/// InvalidArgument whose message is one line without the "pixamond: " prefix, such as
/// "unknown option --bogus". --help and --version are not commands here; RunCommandLine
/// answers them. Uses getopt_long's global state, so it must not run on two threads at once.
Result<CommandLineOptions> ParseCommandLine(const std::vector<std::string>& args);

/// Runs the command given by `args` (without the program name).
int RunCommandLine(const std::vector<std::string>& args, CommandLineIo& io);

/// `directory` made absolute against the current directory, normalised, without a
/// trailing "/"; as it is when it cannot be made absolute.
std::string AbsoluteDirectory(const std::string& directory);

/// The text of --help.
std::string CommandLineHelp();

}  // namespace pix
