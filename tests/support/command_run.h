// One run of the command line with string streams in place of the terminal.
#pragma once

#include <string>
#include <vector>

namespace pix::test {

struct CommandRun {
  int status = -1;
  std::string out;       ///< What the command printed as its result.
  std::string messages;  ///< Its messages, progress and summary.
};

/// Runs `args` as `pixamond` would, with `input` as standard input; `terminal` says whether
/// that input is a terminal, `account_name` is the name the account offers.
CommandRun RunCommand(const std::vector<std::string>& args, const std::string& input = "",
                      bool terminal = false, const std::string& account_name = "");

}  // namespace pix::test
