// The terminal as the user interface of the command line.
//
// Messages go to the message stream (standard error) as "pixamond: TITLE: TEXT"; a
// question is answered with its first button (OK or Yes), so a run never waits for a
// terminal that nobody watches. Prompts read one line from the input when it is a
// terminal, and answer Cancel otherwise or at the end of the input; a prompt with an
// initial value shows it in brackets and takes it for an empty line.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

#include "base/progress.h"
#include "base/userinterface.h"

namespace pix {

class ConsoleUserInterface : public UserInterface {
 public:
  ConsoleUserInterface(std::istream& in, std::ostream& messages, bool interactive);

  MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                            MessageButtons buttons, MessageIcon icon) override;
  std::optional<std::string> PromptLine(const std::string& title, const std::string& prompt,
                                        const std::string& initial, int max_length) override;

  /// Called before a message is written, so that a live progress line can step aside.
  void SetBeforeMessage(std::function<void()> hook) { before_message_ = std::move(hook); }

 private:
  std::istream& input_;
  std::ostream& messages_;
  bool interactive_;
  std::function<void()> before_message_;
};

/// A live progress line on a terminal: count, percentage, the current step and the time
/// since the start, redrawn at most ten times a second.
class ConsoleProgress : public Progress {
 public:
  /// `enabled` false shows nothing (not a terminal, or --quiet).
  ConsoleProgress(std::ostream& out, bool enabled);

  /// Removes the progress line so that other text can be written in its place.
  void ClearLine();
  double ElapsedSeconds() const;

 protected:
  void Refresh() override;

 private:
  std::ostream& out_;
  bool enabled_;
  bool line_shown_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace pix
