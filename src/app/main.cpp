// The pixamond program: the command line. It links no Qt, so that every command starts at
// once; with no command it hands over to the desktop program (see app/desktop.h).
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/desktop.h"
#include "base/safefile.h"
#include "files/filelist.h"

int main(int argc, char** argv) {
  pix::InstallOutOfMemoryHandler();
  std::vector<std::string> args(argv + 1, argv + argc);
  // Messages and diagnostic lines go to standard error; the command decides which lines
  // (--verbose) reach it.
  pix::CommandLineIo io{std::cin, std::cout, std::cerr, ::isatty(STDIN_FILENO) != 0,
                         ::isatty(STDERR_FILENO) != 0};
  if (!pix::IsCommandLineRequest(args)) return pix::StartDesktopProgram(args, io);
  io.account_full_name = pix::AccountFullName();
  pix::InstallInterruptCleanup();
  const int status = pix::RunCommandLine(args, io);
  std::cout.flush();
  std::cerr.flush();
  return status;
}
