// The headless command line: reads one command's options and runs it.
//
// The options are read with getopt_long from glibc. It comes with the C library the program
// already links against, so it adds no dependency, and it follows the convention users know
// from other tools: "--jobs 2" or "--jobs=2", options before or after the positional
// argument, "--" to end the options, and unambiguous abbreviations of option names.
// getopt_long's own messages are switched off; every usage error becomes one line of ours.
#include "app/commandline.h"

#include <getopt.h>
#include <pwd.h>
#include <unistd.h>

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
#include "site/clean.h"
#include "site/publish.h"
#include "site/sitecheck.h"
#include "site/website.h"

namespace pix {
namespace {

// What getopt_long returns for each option. The codes lie above every character, so that
// they cannot be taken for the 1, '?' and ':' it returns for positional arguments and errors.
enum OptionCode : int {
  kOptionHome = 256,
  kOptionName,
  kOptionEmail,
  kOptionJobs,
  kOptionSet,
  kOptionQuiet,
  kOptionVerbose,
  kOptionDryRun,
  kOptionDelete,
  kOptionWithOriginals,
  kOptionCheck,
};

constexpr option kAllOptions[] = {
    {"home", required_argument, nullptr, kOptionHome},
    {"name", required_argument, nullptr, kOptionName},
    {"email", required_argument, nullptr, kOptionEmail},
    {"jobs", required_argument, nullptr, kOptionJobs},
    {"set", required_argument, nullptr, kOptionSet},
    {"quiet", no_argument, nullptr, kOptionQuiet},
    {"verbose", no_argument, nullptr, kOptionVerbose},
    {"dry-run", no_argument, nullptr, kOptionDryRun},
    {"delete", no_argument, nullptr, kOptionDelete},
    {"with-originals", no_argument, nullptr, kOptionWithOriginals},
    {"check", no_argument, nullptr, kOptionCheck},
};

// The long option table of one command, ended by the all-zero entry getopt_long expects;
// empty for a command that does not exist. Every command takes --quiet and --verbose.
std::vector<option> OptionsOfCommand(const std::string& command) {
  std::vector<int> codes;
  if (command == "generate") {
    codes = {kOptionHome, kOptionName, kOptionEmail, kOptionJobs, kOptionCheck};
  } else if (command == "organize") {
    codes = {kOptionHome};
  } else if (command == "comment") {
    codes = {kOptionSet};
  } else if (command == "publish") {
    codes = {kOptionDryRun, kOptionDelete, kOptionWithOriginals};
  } else if (command == "check") {
    codes = {};
  } else if (command == "clean") {
    codes = {kOptionDryRun};
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

// Stores the value or flag of one recognised option.
Status TakeOption(int code, const char* value, CommandLineOptions& options) {
  switch (code) {
    case kOptionHome:
      options.home = value;
      break;
    case kOptionName:
      options.full_name = value;
      break;
    case kOptionEmail:
      options.e_mail_address = value;
      break;
    case kOptionJobs:
      options.jobs = JobsFromText(value);
      if (!options.jobs) return UsageError("--jobs needs a number from 1 to 9999");
      break;
    case kOptionSet:
      options.comment_file = value;
      break;
    case kOptionQuiet:
      options.quiet = true;
      break;
    case kOptionVerbose:
      options.verbose = true;
      break;
    case kOptionDryRun:
      options.dry_run = true;
      break;
    case kOptionDelete:
      options.delete_extra = true;
      break;
    case kOptionWithOriginals:
      options.with_originals = true;
      break;
    case kOptionCheck:
      options.check = true;
      break;
  }
  return Status::OK();
}

Status TakeTarget(const char* argument, CommandLineOptions& options, bool& has_target) {
  if (has_target && options.command == "publish" && options.destination.empty() &&
      *argument != '\0') {
    options.destination = argument;
    return Status::OK();
  }
  if (has_target) return UsageError(std::string("unexpected argument ") + argument);
  options.target = argument;
  has_target = true;
  return Status::OK();
}

// Why getopt_long refused `element`, the argument it was reading: an option the command does
// not have, a value option at the end of the arguments (':'), or a value given to a flag.
Status RefusedOption(int result, const std::string& element) {
  if (result == ':') return UsageError(OptionName(optopt) + " needs a value");
  if (optopt >= kOptionHome) return UsageError(OptionName(optopt) + " takes no value");
  // An unknown long option is named without its value. There are no short options, so
  // an argument such as "-rf.jpg" is named whole: it is usually a file name that wants "--".
  const bool long_option = element.compare(0, 2, "--") == 0;
  return UsageError("unknown option " + (long_option ? element.substr(0, element.find('=')) : element));
}

}  // namespace

Result<CommandLineOptions> ParseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("no command given");
  const std::vector<option> long_options = OptionsOfCommand(args.front());
  if (long_options.empty()) return UsageError("unknown command " + args.front());
  CommandLineOptions options;
  options.command = args.front();

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
  bool has_target = false;
  for (;;) {
    // With no short options, every call starts on a new argument: this one. (optind 0
    // stands for 1, the first argument after the command.)
    const int element = std::max(optind, 1);
    const int result = getopt_long(argc, argv.data(), "-:", long_options.data(), nullptr);
    if (result == -1) break;
    Status taken;
    if (result == 1) {
      taken = TakeTarget(optarg, options, has_target);
    } else if (result == '?' || result == ':') {
      taken = RefusedOption(result, argv[element]);
    } else {
      taken = TakeOption(result, optarg, options);
    }
    if (!taken.ok()) return taken;
  }
  // What follows "--" is positional, whatever it looks like.
  for (int i = optind; i < argc; ++i) {
    Status taken = TakeTarget(argv[i], options, has_target);
    if (!taken.ok()) return taken;
  }
  if (!has_target) {
    return UsageError(options.command + " needs a " +
                      (options.command == "comment" ? "picture" : "site directory"));
  }
  if (options.command == "publish" && options.destination.empty()) {
    return UsageError("publish needs a destination: a folder, host:path or rsync://...");
  }
  return options;
}

std::string AccountFullName() {
  std::vector<char> buffer(16384);
  passwd entry;
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_gecos == nullptr) {
    return "";
  }
  std::string name = found->pw_gecos;
  name = name.substr(0, name.find(','));
  // Accounts made by the system carry their own name or none; neither is a person's.
  if (name == found->pw_name) return "";
  return name;
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

int UsageFailure(CommandLineIo& io, const std::string& text) {
  io.messages << "pixamond: " << text << "\nTry 'pixamond --help'.\n";
  return kExitUsage;
}

// The folders a command that works on a site works with.
struct SiteCommand {
  std::filesystem::path layout_home;
  std::string site;
};

// Opens the layout home and checks the site directory; prints why when either fails.
std::optional<SiteCommand> PrepareSiteCommand(const CommandLineOptions& options,
                                              CommandLineIo& io, UserInterface& ui) {
  std::optional<std::filesystem::path> home_option;
  if (options.home) home_option = *options.home;
  Result<std::filesystem::path> home = OpenLayoutHome(home_option);
  if (!home.ok()) {
    io.messages << "pixamond: " << home.status().message() << "\n";
    return std::nullopt;
  }
  const std::string site = AbsoluteDirectory(options.target);
  if (!ValidateSiteDirectory(site, home->string(), &ui)) return std::nullopt;
  if (!IsDirectoryPath(site)) {
    io.messages << "pixamond: " << site << " is not a directory\n";
    return std::nullopt;
  }
  return SiteCommand{std::move(*home), site};
}

// Stores --name and --email, then makes sure a full name is known: asked for on a
// terminal, a usage failure otherwise.
bool SettleFullName(const CommandLineOptions& options, const SettingsFile& settings,
                    CommandLineIo& io, UserInterface& ui) {
  const std::string_view section = kHTMLDefaults;
  auto store = [&](const std::optional<std::string>& value, std::string_view key) {
    if (!value) return true;
    const Status written = settings.WriteString(section, key, *value);
    if (!written.ok()) io.messages << "pixamond: " << written.message() << "\n";
    return written.ok();
  };
  if (!store(options.full_name, kPersonFullName) ||
      !store(options.e_mail_address, kEMailAddress)) {
    return false;
  }
  std::string name = settings.GetString(section, kPersonFullName);
  while (name.empty()) {
    // The account's own name is offered: an empty answer takes it.
    std::optional<std::string> entered =
        io.input_is_terminal ? ui.PromptLine("Input", "Please enter your full name:",
                                             io.account_full_name, 256)
                            : std::nullopt;
    if (!entered) {
      io.messages << "pixamond: Your Full Name is a required value. Give it once with --name "
                     "\"Your Name\"; it is remembered.\n";
      return false;
    }
    name = *entered;
  }
  const Status written = settings.WriteString(section, kPersonFullName, name);
  if (!written.ok()) {
    io.messages << "pixamond: " << written.message() << "\n";
    return false;
  }
  return true;
}

// The command's diagnostics sink: problems always reach standard error, the picture
// libraries' detail lines only with --verbose. It stays the detail sink while it lives.
class CommandDiagnostics : public StreamDiagnostics {
 public:
  CommandDiagnostics(std::ostream& out, bool verbose) : StreamDiagnostics(out, verbose) {
    SetDetailSink(this);
  }
  ~CommandDiagnostics() override { SetDetailSink(nullptr); }
  CommandDiagnostics(const CommandDiagnostics&) = delete;
  CommandDiagnostics& operator=(const CommandDiagnostics&) = delete;
};

// The site directory of publish, check and clean, made absolute; a usage message when it is
// no directory. These commands read the site's record, not the layout home.
std::optional<std::string> ExistingSiteDirectory(const CommandLineOptions& options,
                                                 CommandLineIo& io) {
  const std::string site = AbsoluteDirectory(options.target);
  if (!IsDirectoryPath(site)) {
    io.messages << "pixamond: " << site << " is not a directory\n";
    return std::nullopt;
  }
  return site;
}

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

// Prints the findings of a check of `site` to the output, one a line, with a count on the
// message stream; false when there were findings or the site could not be checked.
bool ReportCheck(const std::string& site, bool quiet, CommandLineIo& io) {
  const Result<std::vector<std::string>> findings = CheckSite(site);
  if (!findings.ok()) {
    io.messages << "pixamond: " << findings.status().message() << "\n";
    return false;
  }
  for (const std::string& finding : *findings) io.out << finding << "\n";
  if (!quiet) {
    io.messages << "check: " << findings->size()
                << (findings->size() == 1 ? " finding\n" : " findings\n");
  }
  return findings->empty();
}

int Generate(const CommandLineOptions& options, CommandLineIo& io) {
  const int jobs = options.jobs.value_or(WebSite::DefaultJobs());
  const bool quiet = options.quiet;
  ConsoleUserInterface ui(io.input, io.messages, io.input_is_terminal);
  ConsoleProgress progress(io.messages, io.messages_are_terminal && !quiet);
  ui.SetBeforeMessage([&progress] { progress.ClearLine(); });
  CommandDiagnostics diagnostics(io.messages, options.verbose);
  diagnostics.SetBeforeLine([&progress] { progress.ClearLine(); });

  const std::optional<SiteCommand> command = PrepareSiteCommand(options, io, ui);
  if (!command) return kExitUsage;
  const std::string& site = command->site;
  if (!SettleFullName(options, SettingsFile(command->layout_home), io, ui)) return kExitUsage;

  WebSite web_site(site, command->layout_home.string(), ui, progress, diagnostics);
  web_site.SetJobs(jobs);
  const Status prepared = web_site.Prepare();
  if (!prepared.ok()) {
    io.messages << "pixamond: " << prepared.message() << "\n";
    // The site directory was checked above; what stops a run here (a layout file that
    // cannot be read, a site another run holds, a record that cannot be written) is no
    // misuse of the command.
    return kExitReported;
  }
  web_site.Execute();
  progress.ClearLine();

  const RunStats& stats = web_site.Stats();
  if (!quiet) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", progress.ElapsedSeconds());
    io.messages << stats.pictures << " pictures, " << stats.pages_written << " pages written, "
                << stats.pages_unchanged << " unchanged, "
                << stats.inline_made << " inline images made, " << stats.inline_reused
                << " reused, " << seconds << " s\n";
    if (stats.folders_unchanged > 0) {
      io.messages << stats.folders_unchanged
                  << " folders as the last run left them: their pictures were not read\n";
    }
    if (stats.pages_removed > 0 || stats.images_removed > 0) {
      io.messages << stats.pages_removed << " pages and " << stats.images_removed
                  << " images of deleted pictures removed\n";
    }
    if (stats.other_removed > 0) {
      io.messages << stats.other_removed << " files the site no longer uses removed\n";
    }
  }
  bool reported = stats.problems_reported > 0 || diagnostics.ProblemCount() > 0;
  if (options.check && !web_site.Cancelled() && !ReportCheck(site, quiet, io)) reported = true;
  return reported || web_site.Cancelled() ? kExitReported : kExitOk;
}

int Publish(const CommandLineOptions& options, CommandLineIo& io) {
  ConsoleProgress progress(io.messages, io.messages_are_terminal && !options.quiet);
  CommandDiagnostics diagnostics(io.messages, options.verbose);
  diagnostics.SetBeforeLine([&progress] { progress.ClearLine(); });
  const std::optional<std::string> site = ExistingSiteDirectory(options, io);
  if (!site) return kExitUsage;
  std::string destination = options.destination;
  if (!IsRemoteDestination(destination)) destination = AbsoluteDirectory(destination);
  PublishOptions publish;
  publish.dry_run = options.dry_run;
  publish.delete_extra = options.delete_extra;
  publish.with_originals = options.with_originals;
  const Result<PublishStats> stats =
      PublishSite(*site, destination, publish, progress, io.out, diagnostics);
  progress.ClearLine();
  if (!stats.ok()) {
    io.messages << "pixamond: " << stats.status().message() << "\n";
    return stats.status().code() == Status::Code::kInvalidArgument ? kExitUsage : kExitReported;
  }
  if (!options.quiet) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", progress.ElapsedSeconds());
    io.messages << (options.dry_run ? "dry run: " : "") << stats->files << " files ("
                << Megabytes(stats->bytes) << "), " << stats->copied << " copied, "
                << stats->unchanged << " unchanged, " << stats->removed << " removed";
    if (stats->withheld > 0) io.messages << ", " << stats->withheld << " originals left out";
    io.messages << ", " << seconds << " s\n";
  }
  return diagnostics.ProblemCount() > 0 ? kExitReported : kExitOk;
}

int Check(const CommandLineOptions& options, CommandLineIo& io) {
  const std::optional<std::string> site = ExistingSiteDirectory(options, io);
  if (!site) return kExitUsage;
  return ReportCheck(*site, options.quiet, io) ? kExitOk : kExitReported;
}

int Clean(const CommandLineOptions& options, CommandLineIo& io) {
  CommandDiagnostics diagnostics(io.messages, options.verbose);
  const std::optional<std::string> site = ExistingSiteDirectory(options, io);
  if (!site) return kExitUsage;
  const Result<CleanStats> stats = CleanSite(*site, options.dry_run, io.out, diagnostics);
  if (!stats.ok()) {
    io.messages << "pixamond: " << stats.status().message() << "\n";
    return kExitReported;
  }
  if (!options.quiet) {
    io.messages << (options.dry_run ? "dry run: " : "") << stats->removed << " files and "
                << stats->folders_removed << " folders removed, " << stats->restored
                << " pictures restored, " << stats->kept << " files kept because they changed\n";
  }
  return diagnostics.ProblemCount() > 0 ? kExitReported : kExitOk;
}

int Organize(const CommandLineOptions& options, CommandLineIo& io) {
  ConsoleUserInterface ui(io.input, io.messages, io.input_is_terminal);
  CommandDiagnostics diagnostics(io.messages, options.verbose);
  const std::optional<SiteCommand> command = PrepareSiteCommand(options, io, ui);
  if (!command) return kExitUsage;
  const Status built = BuildAutoOrganizeLayout(command->site, command->layout_home, diagnostics);
  if (!built.ok()) {
    io.messages << "pixamond: " << built.message() << "\n";
    return kExitReported;
  }
  const std::string names = SettingsFile(command->layout_home)
                                .GetString(kAutoOrganizeLayout, kAutoOrganizeBaseFileNames, "", 16384);
  // What the next generate writes: no catch-all page where no series took a picture.
  const std::vector<std::string> pages = WritableMatchPages(names);
  for (const std::string& page : pages) io.out << page << "\n";
  if (pages.empty()) {
    io.messages << "pixamond: no name series found; every folder lists its own pictures\n";
  }
  return diagnostics.ProblemCount() > 0 ? kExitReported : kExitOk;
}

int Comment(const CommandLineOptions& options, CommandLineIo& io) {
  CommandDiagnostics diagnostics(io.messages, options.verbose);
  const std::string& picture = options.target;
  // Only regular files are opened: a named pipe would wait for a writer that never comes,
  // and a directory or a device holds no picture and no caption.
  Status regular = RequireRegularFile(picture);
  if (regular.ok() && options.comment_file && *options.comment_file != "-") {
    regular = RequireRegularFile(*options.comment_file);
  }
  if (!regular.ok()) {
    io.messages << "pixamond: " << regular.message() << "\n";
    return kExitUsage;
  }
  if (!options.comment_file) {
    const Result<JpegHeader> header = ReadJpegHeader(picture);
    if (!header.ok()) {
      io.messages << "pixamond: " << header.status().message() << "\n";
      return kExitReported;
    }
    if (header->IsCorrupt()) {
      io.messages << "pixamond: " << JpegCorruptMessage(picture) << "\n";
      return kExitReported;
    }
    io.out << header->comments;
    return kExitOk;
  }
  std::string text;
  if (*options.comment_file == "-") {
    text.assign(std::istreambuf_iterator<char>(io.input), std::istreambuf_iterator<char>());
  } else {
    Result<std::string> file = ReadTextFile(*options.comment_file);
    if (!file.ok()) {
      io.messages << "pixamond: " << file.status().message() << "\n";
      return kExitUsage;
    }
    text = std::move(*file);
  }
  const Status written = WriteJpegCommentInPlace(picture, text);
  if (!written.ok()) {
    io.messages << "pixamond: " << written.message() << "\n";
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
         "                             [--jobs N] [--check] [--quiet] [--verbose]\n"
         "      Writes the web site of the pictures below SITE_DIR.\n"
         "  pixamond organize SITE_DIR [--home DIR] [--quiet] [--verbose]\n"
         "      Finds the name series of the site's pictures and makes them match pages.\n"
         "  pixamond comment PICTURE [--set FILE] [--quiet] [--verbose]\n"
         "      Prints the comment of a JPEG picture, or replaces it with the text of FILE\n"
         "      (\"-\" for standard input).\n"
         "  pixamond publish SITE_DIR DEST [--dry-run] [--delete] [--with-originals]\n"
         "                                 [--quiet] [--verbose]\n"
         "      Copies the files the site is made of (pages, images, the files they link)\n"
         "      to the folder DEST, or through rsync to host:path or rsync://host/path;\n"
         "      only what changed is copied.\n"
         "  pixamond check SITE_DIR [--quiet] [--verbose]\n"
         "      Prints one line for each broken link, page a browser must repair, page\n"
         "      without lang, image without alt, stale or missing output, file changed by\n"
         "      hand and published file with a GPS position.\n"
         "  pixamond clean SITE_DIR [--dry-run] [--quiet] [--verbose]\n"
         "      Removes what Pixamond wrote into SITE_DIR and has not changed since, then\n"
         "      the site's record; the user's files stay as they were.\n"
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
         "  --check        check the site after the run, as pixamond check does\n"
         "  --dry-run      print what publish would copy and remove, or what clean would\n"
         "                remove, and change nothing\n"
         "  --delete       publish removes from DEST what the site no longer has (hidden\n"
         "                files such as .htaccess stay)\n"
         "  --with-originals  publish linked originals that carry a GPS position, one line\n"
         "                each (without it they are left out and named)\n"
         "\n"
         "Options go before or after SITE_DIR or PICTURE. A value follows its option as the\n"
         "next argument or after \"=\": --jobs 4 and --jobs=4 are the same. \"--\" ends the\n"
         "options, for a name that begins with \"-\".\n"
         "\n"
         "Exit status: 0 all went well, 1 some pictures or pages were reported, check\n"
         "found something, or publish or clean failed, 2 usage error or refused directory.\n";
}

int RunCommandLine(const std::vector<std::string>& args, CommandLineIo& io) {
  if (args.empty() || args.front() == "--help" || args.front() == "-h" ||
      args.front() == "help") {
    io.out << CommandLineHelp();
    return kExitOk;
  }
  if (args.front() == "--version") {
    io.out << "pixamond " << kVersionMajor << "." << kVersionMinor << "\n";
    return kExitOk;
  }
  const Result<CommandLineOptions> options = ParseCommandLine(args);
  if (!options.ok()) return UsageFailure(io, options.status().message());
  if (options->command == "generate") return Generate(*options, io);
  if (options->command == "organize") return Organize(*options, io);
  if (options->command == "publish") return Publish(*options, io);
  if (options->command == "check") return Check(*options, io);
  if (options->command == "clean") return Clean(*options, io);
  return Comment(*options, io);
}

}  // namespace pix
