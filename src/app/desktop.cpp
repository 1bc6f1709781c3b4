#include "app/desktop.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "app/commandline.h"
#include "files/layouthome.h"

namespace pix {
namespace fs = std::filesystem;
namespace {

bool IsExecutableFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool IsCommandLineRequest(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  const std::string& first = args.front();
  return first == "generate" || first == "organize" || first == "comment" || first == "publish" ||
         first == "check" || first == "clean" || first == "help" ||
         first == "--help" || first == "-h" || first == "--version";
}

Result<DesktopOptions> ParseDesktopArguments(const std::vector<std::string>& args) {
  DesktopOptions options;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_ended && arg == "--") {
      options_ended = true;
      continue;
    }
    if (!options_ended && arg.size() > 1 && arg.front() == '-') {
      if (arg == "--home") {
        if (i + 1 >= args.size()) return UsageError("--home needs a value");
        options.home = args[++i];
      } else if (arg.compare(0, 7, "--home=") == 0) {
        options.home = arg.substr(7);
      } else {
        const bool long_option = arg.compare(0, 2, "--") == 0;
        return UsageError("unknown option " + (long_option ? arg.substr(0, arg.find('=')) : arg));
      }
      continue;
    }
    if (options.site_directory) return UsageError("unexpected argument " + arg);
    options.site_directory = arg;
  }
  return options;
}

std::optional<fs::path> FindDesktopProgram() {
  const fs::path here = ExecutableDir();
  if (here.empty()) return std::nullopt;
  for (const fs::path& candidate :
       {here / kDesktopProgramName, here / PIXAMOND_DESKTOP_FROM_BIN / kDesktopProgramName}) {
    if (IsExecutableFile(candidate)) return candidate.lexically_normal();
  }
  return std::nullopt;
}

int StartDesktopProgram(const std::vector<std::string>& args, CommandLineIo& io) {
  const Result<DesktopOptions> options = ParseDesktopArguments(args);
  if (!options.ok()) {
    io.messages << "pixamond: " << options.status().message() << "\nTry 'pixamond --help'.\n";
    return kExitUsage;
  }
  // A word that names nothing on the disk is far more likely a mistyped command than a
  // site directory.
  if (options->site_directory) {
    std::error_code error;
    if (!fs::exists(*options->site_directory, error)) {
      io.messages << "pixamond: unknown command " << *options->site_directory
                  << "\nTry 'pixamond --help'.\n";
      return kExitUsage;
    }
  }
  const std::optional<fs::path> program = FindDesktopProgram();
  if (!program) {
    io.messages << "pixamond: the desktop program " << kDesktopProgramName
                << " is not installed; the commands work without it (pixamond --help)\n";
    return kExitUsage;
  }
  std::vector<std::string> storage;
  storage.push_back(program->string());
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  io.out.flush();
  io.messages.flush();
  std::cout.flush();
  std::cerr.flush();
  ::execv(argv.front(), argv.data());
  io.messages << "pixamond: cannot start " << program->string() << ": " << std::strerror(errno)
              << "\n";
  return kExitUsage;
}

}  // namespace pix
