// The headless command line: reads one command's options and runs it.
//
// The options are read with getopt_long from glibc. It comes with the C library the program
// already links against, so it adds no dependency, and it follows the convention users know
// from other tools: "--jobs 2" or "--jobs=2", options before or after the positional
// argument, "--" to end the options, and unambiguous abbreviations of option names.
// getopt_long's own messages are switched off; every usage error becomes one line of ours.
#include "app/commandline.h"

#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "app/console.h"
#include "base/diagnostics.h"
#include "files/autoorganize.h"
#include "files/layouthome.h"
#include "files/names.h"
#include "files/settings.h"
#include "files/sitedir.h"
#include "files/utils.h"
#include "picture/comread.h"
#include "picture/comwrite.h"
#include "site/website.h"

namespace pix {
namespace {

// What getopt_long returns for each option. The codes lie above every character, so that
// they cannot be taken for the 1, '?' and ':' it returns for positional arguments and errors.
enum TOptionCode : int {
  kOptionHome = 256,
  kOptionName,
  kOptionEmail,
  kOptionJobs,
  kOptionSet,
  kOptionQuiet,
  kOptionVerbose,
};

constexpr option kAllOptions[] = {
    {"home", required_argument, nullptr, kOptionHome},
    {"name", required_argument, nullptr, kOptionName},
    {"email", required_argument, nullptr, kOptionEmail},
    {"jobs", required_argument, nullptr, kOptionJobs},
    {"set", required_argument, nullptr, kOptionSet},
    {"quiet", no_argument, nullptr, kOptionQuiet},
    {"verbose", no_argument, nullptr, kOptionVerbose},
};

// The long option table of one command, ended by the all-zero entry getopt_long expects;
// empty for a command that does not exist. Every command takes --quiet and --verbose.
std::vector<option> OptionsOfCommand(const std::string& command) {
  std::vector<int> codes;
  if (command == "generate") {
    codes = {kOptionHome, kOptionName, kOptionEmail, kOptionJobs};
  } else if (command == "organize") {
    codes = {kOptionHome};
  } else if (command == "comment") {
    codes = {kOptionSet};
  } else {
    return {};
  }
  codes.push_back(kOptionQuiet);
  codes.push_back(kOptionVerbose);
  std::vector<option> options;
  for (const option& entry : kAllOptions) {
    if (std::find(codes.begin(), codes.end(), entry.val) != codes.end()) {
      options.push_back(entry);
    }
  }
  options.push_back(option{nullptr, 0, nullptr, 0});
  return options;
}

std::string OptionName(int code) {
  for (const option& entry : kAllOptions) {
    if (entry.val == code) return std::string("--") + entry.name;
  }
  return "the option";
}

// The --jobs value: a whole number from 1 to 9999.
std::optional<int> JobsFromText(const std::string& text) {
  if (text.empty() || text.size() > 4 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const int jobs = std::stoi(text);
  return jobs >= 1 ? std::optional<int>(jobs) : std::nullopt;
}

Status UsageError(std::string text) { return Status::InvalidArgument(std::move(text)); }

// Stores the value or flag of one recognised option.
Status TakeOption(int code, const char* value, TCommandLineOptions& options) {
  switch (code) {
    case kOptionHome:
      options.Home = value;
      break;
    case kOptionName:
      options.FullName = value;
      break;
    case kOptionEmail:
      options.EMailAddress = value;
      break;
    case kOptionJobs:
      options.Jobs = JobsFromText(value);
      if (!options.Jobs) return UsageError("--jobs needs a number from 1 to 9999");
      break;
    case kOptionSet:
      options.CommentFile = value;
      break;
    case kOptionQuiet:
      options.bQuiet = true;
      break;
    case kOptionVerbose:
      options.bVerbose = true;
      break;
  }
  return Status::OK();
}

Status TakeTarget(const char* argument, TCommandLineOptions& options, bool& bHasTarget) {
  if (bHasTarget) return UsageError(std::string("unexpected argument ") + argument);
  options.Target = argument;
  bHasTarget = true;
  return Status::OK();
}

// Why getopt_long refused `element`, the argument it was reading: an option the command does
// not have, a value option at the end of the arguments (':'), or a value given to a flag.
Status RefusedOption(int result, const std::string& element) {
  if (result == ':') return UsageError(OptionName(optopt) + " needs a value");
  if (optopt >= kOptionHome) return UsageError(OptionName(optopt) + " takes no value");
  // An unknown long option is named without its value. There are no short options, so
  // an argument such as "-rf.jpg" is named whole: it is usually a file name that wants "--".
  const bool bLong = element.compare(0, 2, "--") == 0;
  return UsageError("unknown option " + (bLong ? element.substr(0, element.find('=')) : element));
}

}  // namespace

Result<TCommandLineOptions> ParseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("no command given");
  const std::vector<option> longOptions = OptionsOfCommand(args.front());
  if (longOptions.empty()) return UsageError("unknown command " + args.front());
  TCommandLineOptions options;
  options.Command = args.front();

  // getopt_long takes a writable argv (in its default mode it reorders it), so it gets
  // copies of the arguments; the command stands where it expects the program name.
  std::vector<std::string> storage(args);
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  // optind = 0 makes glibc start afresh, forgetting the place inside an argument where an
  // earlier call stopped. The leading '-' hands back each positional argument in turn
  // (as code 1), so options after it are read too; unlike the default reordering this does
  // not stop at the first positional argument when POSIXLY_CORRECT is set. The ':' reports
  // a missing value as ':' rather than '?'.
  optind = 0;
  opterr = 0;
  bool bHasTarget = false;
  for (;;) {
    // With no short options, every call starts on a new argument: this one. (optind 0
    // stands for 1, the first argument after the command.)
    const int element = std::max(optind, 1);
    const int result = getopt_long(argc, argv.data(), "-:", longOptions.data(), nullptr);
    if (result == -1) break;
    Status taken;
    if (result == 1) {
      taken = TakeTarget(optarg, options, bHasTarget);
    } else if (result == '?' || result == ':') {
      taken = RefusedOption(result, argv[element]);
    } else {
      taken = TakeOption(result, optarg, options);
    }
    if (!taken.ok()) return taken;
  }
  // What follows "--" is positional, whatever it looks like.
  for (int i = optind; i < argc; ++i) {
    Status taken = TakeTarget(argv[i], options, bHasTarget);
    if (!taken.ok()) return taken;
  }
  if (!bHasTarget) {
    return UsageError(options.Command + " needs a " +
                      (options.Command == "comment" ? "picture" : "site directory"));
  }
  return options;
}

std::string AbsoluteDirectory(const std::string& directory) {
  if (directory.empty()) return directory;
  std::error_code error;
  std::string absolute = std::filesystem::absolute(directory, error).lexically_normal().string();
  if (error) absolute = directory;
  if (absolute.size() > 1) StripTrailingChar(absolute, '/');
  return absolute;
}

namespace {

int UsageFailure(TCommandLineIo& io, const std::string& text) {
  io.Messages << "pixamond: " << text << "\nTry 'pixamond --help'.\n";
  return kExitUsage;
}

// Opens the layout home and checks the site directory; prints why when either fails.
std::optional<std::string> PrepareSiteCommand(const TCommandLineOptions& options,
                                              TCommandLineIo& io, UserInterface& ui) {
  std::optional<std::filesystem::path> homeOption;
  if (options.Home) homeOption = *options.Home;
  const Status home = OpenLayoutHome(homeOption);
  if (!home.ok()) {
    io.Messages << "pixamond: " << home.message() << "\n";
    return std::nullopt;
  }
  const std::string site = AbsoluteDirectory(options.Target);
  std::string program = LayoutHome().string();
  if (program.size() > 1) StripTrailingChar(program, '/');
  if (!ValidateSiteDirectory(site, program, &ui)) return std::nullopt;
  if (!IsDirectoryPath(site)) {
    io.Messages << "pixamond: " << site << " is not a directory\n";
    return std::nullopt;
  }
  return site;
}

// Stores --name and --email, then makes sure a full name is known: asked for on a
// terminal, a usage failure otherwise.
bool SettleFullName(const TCommandLineOptions& options, TCommandLineIo& io, UserInterface& ui) {
  const std::string_view section = kHTMLDefaults;
  auto store = [&](const std::optional<std::string>& value, std::string_view key) {
    if (!value) return true;
    const Status written = WriteIniString(section, key, *value);
    if (!written.ok()) io.Messages << "pixamond: " << written.message() << "\n";
    return written.ok();
  };
  if (!store(options.FullName, kPersonFullName) ||
      !store(options.EMailAddress, kEMailAddress)) {
    return false;
  }
  std::string name = GetIniString(section, kPersonFullName);
  while (name.empty()) {
    std::optional<std::string> entered =
        io.bInputIsTerminal ? ui.PromptLine("Input", "Please enter your full name:", "", 256)
                            : std::nullopt;
    if (!entered) {
      io.Messages << "Your Full Name is a required value.\n";
      return false;
    }
    name = *entered;
  }
  const Status written = WriteIniString(section, kPersonFullName, name);
  if (!written.ok()) {
    io.Messages << "pixamond: " << written.message() << "\n";
    return false;
  }
  return true;
}

// The command's diagnostics sink: problems always reach standard error, the picture
// libraries' detail lines only with --verbose. It stays the detail sink while it lives.
class TCommandDiagnostics : public StreamDiagnostics {
 public:
  TCommandDiagnostics(std::ostream& out, bool verbose) : StreamDiagnostics(out, verbose) {
    SetDetailSink(this);
  }
  ~TCommandDiagnostics() override { SetDetailSink(nullptr); }
  TCommandDiagnostics(const TCommandDiagnostics&) = delete;
  TCommandDiagnostics& operator=(const TCommandDiagnostics&) = delete;
};

int Generate(const TCommandLineOptions& options, TCommandLineIo& io) {
  const int jobs = options.Jobs.value_or(WebSite::DefaultJobs());
  const bool quiet = options.bQuiet;
  TConsoleUserInterface ui(io.In, io.Messages, io.bInputIsTerminal);
  TConsoleProgress progress(io.Messages, io.bMessagesAreTerminal && !quiet);
  ui.SetBeforeMessage([&progress] { progress.ClearLine(); });
  TCommandDiagnostics diagnostics(io.Messages, options.bVerbose);
  diagnostics.SetBeforeLine([&progress] { progress.ClearLine(); });

  const std::optional<std::string> site = PrepareSiteCommand(options, io, ui);
  if (!site) return kExitUsage;
  if (!SettleFullName(options, io, ui)) return kExitUsage;

  std::string program = LayoutHome().string();
  if (program.size() > 1) StripTrailingChar(program, '/');
  WebSite webSite(*site, program, ui, progress, diagnostics);
  webSite.SetJobs(jobs);
  const Status prepared = webSite.Prepare();
  if (!prepared.ok()) {
    io.Messages << "pixamond: " << prepared.message() << "\n";
    // The site directory was checked above; what stops a run here (a layout file that
    // cannot be read, a site another run holds, a record that cannot be written) is no
    // misuse of the command.
    return kExitReported;
  }
  webSite.Execute();
  progress.ClearLine();

  const RunStats& stats = webSite.Stats();
  if (!quiet) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", progress.ElapsedSeconds());
    io.Messages << stats.pictures << " pictures, " << stats.pages_written << " pages written, "
                << stats.pages_unchanged << " unchanged, "
                << stats.inline_made << " inline images made, " << stats.inline_reused
                << " reused, " << seconds << " s\n";
    if (stats.pages_removed > 0 || stats.images_removed > 0) {
      io.Messages << stats.pages_removed << " pages and " << stats.images_removed
                  << " images of deleted pictures removed\n";
    }
    if (stats.other_removed > 0) {
      io.Messages << stats.other_removed << " files the site no longer uses removed\n";
    }
  }
  const bool reported = stats.problems_reported > 0 || diagnostics.ProblemCount() > 0;
  return reported || webSite.Cancelled() ? kExitReported : kExitOk;
}

int Organize(const TCommandLineOptions& options, TCommandLineIo& io) {
  TConsoleUserInterface ui(io.In, io.Messages, io.bInputIsTerminal);
  TCommandDiagnostics diagnostics(io.Messages, options.bVerbose);
  const std::optional<std::string> site = PrepareSiteCommand(options, io, ui);
  if (!site) return kExitUsage;
  const Status built = BuildAutoOrganizeLayout(*site, LayoutHome(), diagnostics);
  if (!built.ok()) {
    io.Messages << "pixamond: " << built.message() << "\n";
    return kExitReported;
  }
  const std::string names = GetIniString(kAutoOrganizeLayout,
                                         kAutoOrganizeBaseFileNames, "", 16384);
  StringTokenList list(names, ',');
  while (std::optional<std::string_view> name = list.GetNextToken()) io.Out << *name << "\n";
  return diagnostics.ProblemCount() > 0 ? kExitReported : kExitOk;
}

int Comment(const TCommandLineOptions& options, TCommandLineIo& io) {
  TCommandDiagnostics diagnostics(io.Messages, options.bVerbose);
  const std::string& picture = options.Target;
  // Only regular files are opened: a named pipe would wait for a writer that never comes,
  // and a directory or a device holds no picture and no caption.
  Status regular = RequireRegularFile(picture);
  if (regular.ok() && options.CommentFile && *options.CommentFile != "-") {
    regular = RequireRegularFile(*options.CommentFile);
  }
  if (!regular.ok()) {
    io.Messages << "pixamond: " << regular.message() << "\n";
    return kExitUsage;
  }
  if (!options.CommentFile) {
    FileImageInfo info;
    info.file_name = picture;
    ReadJpegImageInfo(&info);
    if (info.open_error != 0) {
      io.Messages << "pixamond: Cannot open " << picture << ": " << std::strerror(info.open_error)
                  << "\n";
      return kExitReported;
    }
    if (IsCorruptJpegInfo(info)) {
      io.Messages << "pixamond: " << JpegCorruptMessage(picture) << "\n";
      return kExitReported;
    }
    io.Out << info.comments;
    return kExitOk;
  }
  std::string text;
  if (*options.CommentFile == "-") {
    text.assign(std::istreambuf_iterator<char>(io.In), std::istreambuf_iterator<char>());
  } else {
    Result<std::string> file = ReadTextFile(*options.CommentFile);
    if (!file.ok()) {
      io.Messages << "pixamond: " << file.status().message() << "\n";
      return kExitUsage;
    }
    text = std::move(*file);
  }
  const Status written = WriteJpegCommentInPlace(picture, text);
  if (!written.ok()) {
    io.Messages << "pixamond: " << written.message() << "\n";
    return kExitReported;
  }
  return kExitOk;
}

}  // namespace

std::string CommandLineHelp() {
  return "Usage:\n"
         "  pixamond [--home DIR] [SITE_DIR]\n"
         "      Opens the desktop window, on the site directory SITE_DIR when given.\n"
         "  pixamond generate SITE_DIR [--home DIR] [--name TEXT] [--email TEXT]\n"
         "                             [--jobs N] [--quiet] [--verbose]\n"
         "      Writes the web site of the pictures below SITE_DIR.\n"
         "  pixamond organize SITE_DIR [--home DIR] [--quiet] [--verbose]\n"
         "      Finds the name series of the site's pictures and makes them match pages.\n"
         "  pixamond comment PICTURE [--set FILE] [--quiet] [--verbose]\n"
         "      Prints the comment of a JPEG picture, or replaces it with the text of FILE\n"
         "      (\"-\" for standard input).\n"
         "  pixamond --help | --version\n"
         "\n"
         "Options:\n"
         "  --home DIR     the layout home (default $PIXAMOND_HOME, $XDG_CONFIG_HOME/pixamond,\n"
         "                 ~/.config/pixamond): settings and site-wide layout files\n"
         "  --name TEXT    your full name, stored in the settings before the run\n"
         "  --email TEXT   your e-mail address, stored in the settings before the run\n"
         "  --quiet        no progress line and no summary\n"
         "  --verbose      also show the diagnostic lines of the picture readers\n"
         "  --jobs N       make N inline images at a time (default: the number of cores)\n"
         "\n"
         "Options go before or after SITE_DIR or PICTURE. A value follows its option as the\n"
         "next argument or after \"=\": --jobs 4 and --jobs=4 are the same. \"--\" ends the\n"
         "options, for a name that begins with \"-\".\n"
         "\n"
         "Exit status: 0 all went well, 1 some pictures or pages were reported,\n"
         "2 usage error or refused directory.\n";
}

int RunCommandLine(const std::vector<std::string>& args, TCommandLineIo& io) {
  if (args.empty() || args.front() == "--help" || args.front() == "-h" ||
      args.front() == "help") {
    io.Out << CommandLineHelp();
    return kExitOk;
  }
  if (args.front() == "--version") {
    io.Out << "pixamond " << kVersionMajor << "." << kVersionMinor << "\n";
    return kExitOk;
  }
  const Result<TCommandLineOptions> options = ParseCommandLine(args);
  if (!options.ok()) return UsageFailure(io, options.status().message());
  if (options->Command == "generate") return Generate(*options, io);
  if (options->Command == "organize") return Organize(*options, io);
  return Comment(*options, io);
}

}  // namespace pix
