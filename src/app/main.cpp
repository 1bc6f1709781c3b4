// The pixamond program. Without arguments it opens the desktop window; with a command it
// works headless (see app/commandline.h).
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/ui/application.h"
#include "base/safefile.h"
#include "files/filelist.h"

int main(int argc, char** argv) {
  pix::InstallOutOfMemoryHandler();
  pix::InstallInterruptCleanup();
  if (argc <= 1) return pix::ui::RunDesktopApplication(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  // Messages and diagnostic lines go to standard error; the command decides which lines
  // (--verbose) reach it.
  pix::TCommandLineIo io{std::cin, std::cout, std::cerr, ::isatty(STDIN_FILENO) != 0,
                         ::isatty(STDERR_FILENO) != 0};
  const int status = pix::RunCommandLine(args, io);
  std::cout.flush();
  std::cerr.flush();
  return status;
}
