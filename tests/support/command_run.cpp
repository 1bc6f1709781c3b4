#include "support/command_run.h"

#include <sstream>

#include "app/commandline.h"

namespace pix::test {

CommandRun RunCommand(const std::vector<std::string>& args, const std::string& input,
                      bool terminal, const std::string& account_name) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream messages;
  CommandLineIo io{in, out, messages, terminal, false, account_name};
  CommandRun run;
  run.status = RunCommandLine(args, io);
  run.out = out.str();
  run.messages = messages.str();
  return run;
}

}  // namespace pix::test
