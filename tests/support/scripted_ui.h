// A user interface that answers from a script and records what it was shown, for tests.
#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/userinterface.h"

namespace pix::test {

/// Thrown when the code under test asks more than the script answers, so that a test of a
/// loop that never ends fails instead of hanging.
class ScriptExhausted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ScriptedUserInterface : public UserInterface {
 public:
  struct Shown {
    std::string text;
    std::string title;
    MessageButtons buttons;
    MessageIcon icon;
  };
  struct Prompted {
    std::string title;
    std::string prompt;
    std::string initial;
    int max_length;
  };

  /// Queues the answer to the next message box.
  void AnswerMessage(MessageAnswer answer) { message_answers_.push_back(answer); }
  /// Queues the answer to the next prompt: a text for OK, nothing for Cancel.
  void AnswerPrompt(std::optional<std::string> answer) { prompt_answers_.push_back(answer); }

  MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                            MessageButtons buttons, MessageIcon icon) override;
  std::optional<std::string> PromptLine(const std::string& title, const std::string& prompt,
                                        const std::string& initial, int max_length) override;

  const std::vector<Shown>& messages() const { return messages_; }
  const std::vector<Prompted>& prompts() const { return prompts_; }

 private:
  std::deque<MessageAnswer> message_answers_;
  std::deque<std::optional<std::string>> prompt_answers_;
  std::vector<Shown> messages_;
  std::vector<Prompted> prompts_;
};

}  // namespace pix::test
