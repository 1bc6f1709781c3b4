#include "app/commandline.h"

#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "app/console.h"
#include "base/diagnostics.h"
#include "files/autoorganize.h"
#include "files/layouthome.h"
#include "files/settings.h"
#include "files/sitedir.h"
#include "files/stringtable.h"
#include "files/utils.h"
#include "picture/comread.h"
#include "picture/comwrite.h"
#include "site/website.h"

namespace pix {
namespace {

// The options of one command: named values, flags and the one positional argument.
struct TParsedArgs {
  std::string Command;
  std::optional<std::string> Target;
  std::map<std::string, std::string> Values;
  std::map<std::string, bool> Flags;
};

std::optional<TParsedArgs> Parse(const std::vector<std::string>& args,
                                 const std::vector<std::string>& valueOptions,
                                 const std::vector<std::string>& flagOptions, std::string* error) {
  TParsedArgs parsed;
  parsed.Command = args.front();
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto isOne = [&](const std::vector<std::string>& list) {
      for (const std::string& option : list) {
        if (arg == option) return true;
      }
      return false;
    };
    if (isOne(valueOptions)) {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return std::nullopt;
      }
      parsed.Values[arg] = args[++i];
    } else if (isOne(flagOptions)) {
      parsed.Flags[arg] = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return std::nullopt;
    } else if (!parsed.Target) {
      parsed.Target = arg;
    } else {
      *error = "unexpected argument " + arg;
      return std::nullopt;
    }
  }
  if (!parsed.Target) {
    *error = parsed.Command + " needs a " + (parsed.Command == "comment" ? "picture" : "site directory");
    return std::nullopt;
  }
  return parsed;
}

std::optional<std::filesystem::path> HomeOption(const TParsedArgs& parsed) {
  auto it = parsed.Values.find("--home");
  if (it == parsed.Values.end()) return std::nullopt;
  return std::filesystem::path(it->second);
}

// The site directory as an absolute path without a trailing "/".
std::string AbsoluteDirectory(const std::string& directory) {
  if (directory.empty()) return directory;
  std::error_code error;
  std::string absolute = std::filesystem::absolute(directory, error).lexically_normal().string();
  if (error) absolute = directory;
  if (absolute.size() > 1) StripTrailingChar(absolute, '/');
  return absolute;
}

int UsageFailure(TCommandLineIo& io, const std::string& text) {
  io.Messages << "pixamond: " << text << "\nTry 'pixamond --help'.\n";
  return kExitUsage;
}

// Opens the layout home and checks the site directory; prints why when either fails.
std::optional<std::string> PrepareSiteCommand(const TParsedArgs& parsed, TCommandLineIo& io,
                                              TUserInterface& ui) {
  const Status home = OpenLayoutHome(HomeOption(parsed));
  if (!home.ok()) {
    io.Messages << "pixamond: " << home.message() << "\n";
    return std::nullopt;
  }
  const std::string site = AbsoluteDirectory(*parsed.Target);
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
bool SettleFullName(const TParsedArgs& parsed, TCommandLineIo& io, TUserInterface& ui) {
  const std::string_view section = StringTable[idsHTMLDefaults];
  for (const auto& [option, id] : {std::pair<const char*, int>{"--name", idsPersonFullName},
                                   std::pair<const char*, int>{"--email", idsEMailAddress}}) {
    auto it = parsed.Values.find(option);
    if (it == parsed.Values.end()) continue;
    const Status written = WriteIniString(section, StringTable[id], it->second);
    if (!written.ok()) {
      io.Messages << "pixamond: " << written.message() << "\n";
      return false;
    }
  }
  std::string name = GetIniString(section, StringTable[idsPersonFullName]);
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
  const Status written = WriteIniString(section, StringTable[idsPersonFullName], name);
  if (!written.ok()) {
    io.Messages << "pixamond: " << written.message() << "\n";
    return false;
  }
  return true;
}

// The --jobs value: a whole number from 1 up; the number of cores when not given.
std::optional<int> JobsOption(const TParsedArgs& parsed) {
  auto it = parsed.Values.find("--jobs");
  if (it == parsed.Values.end()) return TWebSite::DefaultJobs();
  const std::string& text = it->second;
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const int jobs = std::stoi(text);
  return jobs >= 1 ? std::optional<int>(jobs) : std::nullopt;
}

// The command's diagnostics sink: problems always reach standard error, the picture
// libraries' detail lines only with --verbose. It stays the detail sink while it lives.
class TCommandDiagnostics : public TStreamDiagnostics {
 public:
  TCommandDiagnostics(std::ostream& out, bool verbose) : TStreamDiagnostics(out, verbose) {
    SetDetailSink(this);
  }
  ~TCommandDiagnostics() override { SetDetailSink(nullptr); }
  TCommandDiagnostics(const TCommandDiagnostics&) = delete;
  TCommandDiagnostics& operator=(const TCommandDiagnostics&) = delete;
};

bool Verbose(const TParsedArgs& parsed) { return parsed.Flags.count("--verbose") > 0; }

int Generate(const TParsedArgs& parsed, TCommandLineIo& io) {
  const std::optional<int> jobsOption = JobsOption(parsed);
  if (!jobsOption) return UsageFailure(io, "--jobs needs a number from 1 to 9999");
  const int jobs = *jobsOption;
  const bool quiet = parsed.Flags.count("--quiet") > 0;
  TConsoleUserInterface ui(io.In, io.Messages, io.bInputIsTerminal);
  TConsoleProgress progress(io.Messages, io.bMessagesAreTerminal && !quiet);
  ui.SetBeforeMessage([&progress] { progress.ClearLine(); });
  TCommandDiagnostics diagnostics(io.Messages, Verbose(parsed));
  diagnostics.SetBeforeLine([&progress] { progress.ClearLine(); });

  const std::optional<std::string> site = PrepareSiteCommand(parsed, io, ui);
  if (!site) return kExitUsage;
  if (!SettleFullName(parsed, io, ui)) return kExitUsage;

  std::string program = LayoutHome().string();
  if (program.size() > 1) StripTrailingChar(program, '/');
  TWebSite webSite(*site, program, ui, progress, diagnostics);
  webSite.SetJobs(jobs);
  const Status prepared = webSite.Prepare();
  if (!prepared.ok()) {
    io.Messages << "pixamond: " << prepared.message() << "\n";
    return kExitUsage;
  }
  webSite.Execute();
  progress.ClearLine();

  const TRunStats& stats = webSite.Stats();
  if (!quiet) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", progress.ElapsedSeconds());
    io.Messages << stats.Pictures << " pictures, " << stats.PagesWritten << " pages written, "
                << stats.InlineMade << " inline images made, " << stats.InlineReused
                << " reused, " << seconds << " s\n";
  }
  const bool reported = stats.ProblemsReported > 0 || diagnostics.ProblemCount() > 0;
  return reported || webSite.Cancelled() ? kExitReported : kExitOk;
}

int Organize(const TParsedArgs& parsed, TCommandLineIo& io) {
  TConsoleUserInterface ui(io.In, io.Messages, io.bInputIsTerminal);
  TCommandDiagnostics diagnostics(io.Messages, Verbose(parsed));
  const std::optional<std::string> site = PrepareSiteCommand(parsed, io, ui);
  if (!site) return kExitUsage;
  const Status built = BuildAutoOrganizeLayout(*site, LayoutHome(), diagnostics);
  if (!built.ok()) {
    io.Messages << "pixamond: " << built.message() << "\n";
    return kExitReported;
  }
  const std::string names = GetIniString(StringTable[idsAutoOrganizeLayout],
                                         StringTable[idsAutoOrganizeBaseFileNames], "", 16384);
  TStringTokenList list(names, ',');
  while (std::optional<std::string_view> name = list.GetNextToken()) io.Out << *name << "\n";
  return diagnostics.ProblemCount() > 0 ? kExitReported : kExitOk;
}

int Comment(const TParsedArgs& parsed, TCommandLineIo& io) {
  TCommandDiagnostics diagnostics(io.Messages, Verbose(parsed));
  const std::string& picture = *parsed.Target;
  auto set = parsed.Values.find("--set");
  if (set == parsed.Values.end()) {
    TFileImageInfo info;
    info.szFileName = picture;
    ReadJpegImageInfo(&info);
    if (info.Width <= 0 || info.Height <= 0) {
      io.Messages << "pixamond: JPEG file " << picture << " is corrupt\n";
      return kExitReported;
    }
    io.Out << info.szComments;
    return kExitOk;
  }
  std::string text;
  if (set->second == "-") {
    text.assign(std::istreambuf_iterator<char>(io.In), std::istreambuf_iterator<char>());
  } else {
    Result<std::string> file = ReadTextFile(set->second);
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
         "  pixamond generate SITE_DIR [--home DIR] [--name TEXT] [--email TEXT]\n"
         "                             [--jobs N] [--quiet] [--verbose]\n"
         "      Writes the web site of the pictures below SITE_DIR.\n"
         "  pixamond organize SITE_DIR [--home DIR]\n"
         "      Finds the name series of the site's pictures and makes them match pages.\n"
         "  pixamond comment PICTURE [--set FILE]\n"
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
  std::string error;
  if (args.front() == "generate") {
    auto parsed =
        Parse(args, {"--home", "--name", "--email", "--jobs"}, {"--quiet", "--verbose"}, &error);
    return parsed ? Generate(*parsed, io) : UsageFailure(io, error);
  }
  if (args.front() == "organize") {
    auto parsed = Parse(args, {"--home"}, {"--quiet", "--verbose"}, &error);
    return parsed ? Organize(*parsed, io) : UsageFailure(io, error);
  }
  if (args.front() == "comment") {
    auto parsed = Parse(args, {"--set"}, {"--quiet", "--verbose"}, &error);
    return parsed ? Comment(*parsed, io) : UsageFailure(io, error);
  }
  return UsageFailure(io, "unknown command " + args.front());
}

}  // namespace pix
