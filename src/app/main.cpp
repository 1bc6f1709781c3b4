// The pixamond program. Without arguments it opens the desktop window; with a command it
// works headless (see app/commandline.h).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/ui/application.h"
#include "files/filelist.h"

namespace {

// An output stream buffer over a file descriptor, unbuffered, for the message stream once
// standard error has been turned over to the diagnostic lines.
class DescriptorBuf : public std::streambuf {
 public:
  explicit DescriptorBuf(int fd) : Fd(fd) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return ::write(Fd, &byte, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    std::streamsize done = 0;
    while (done < count) {
      const ssize_t written = ::write(Fd, data + done, static_cast<std::size_t>(count - done));
      if (written <= 0) break;
      done += written;
    }
    return done;
  }

 private:
  int Fd;
};

}  // namespace

int main(int argc, char** argv) {
  pix::InstallOutOfMemoryHandler();
  if (argc <= 1) return pix::ui::RunDesktopApplication(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  // --verbose as the command reads it: a shortened --verb counts, a "--verbose" after "--"
  // is a name. Arguments with a usage error leave it off; the run then only reports that.
  const pix::Result<pix::TCommandLineOptions> options = pix::ParseCommandLine(args);
  const bool verbose = options.ok() && options->bVerbose;

  // The run's messages keep the real standard error; the diagnostic lines that the picture
  // readers write there are dropped unless --verbose asks for them.
  const int messagesFd = ::dup(STDERR_FILENO);
  if (!verbose && messagesFd >= 0) {
    std::fflush(stderr);
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
      ::dup2(devNull, STDERR_FILENO);
      ::close(devNull);
    }
  }
  // The diagnostic lines come a line number at a time; buffering them keeps a run from
  // spending its time in single-byte writes.
  static char diagnosticsBuffer[1 << 16];
  std::setvbuf(stderr, diagnosticsBuffer, verbose ? _IOLBF : _IOFBF, sizeof diagnosticsBuffer);
  DescriptorBuf messagesBuf(messagesFd >= 0 ? messagesFd : STDERR_FILENO);
  std::ostream messages(&messagesBuf);

  pix::TCommandLineIo io{std::cin, std::cout, messages, ::isatty(STDIN_FILENO) != 0,
                         ::isatty(messagesFd >= 0 ? messagesFd : STDERR_FILENO) != 0};
  const int status = pix::RunCommandLine(args, io);
  std::cout.flush();
  std::fflush(stderr);
  return status;
}
