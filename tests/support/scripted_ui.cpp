#include "support/scripted_ui.h"

namespace pix::test {

MessageAnswer ScriptedUserInterface::ShowMessage(const std::string& text,
                                                  const std::string& title,
                                                  MessageButtons buttons, MessageIcon icon) {
  messages_.push_back({text, title, buttons, icon});
  if (message_answers_.empty()) {
    // A box with only OK needs no scripted answer.
    if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
    throw ScriptExhausted("unexpected message box: " + text);
  }
  const MessageAnswer answer = message_answers_.front();
  message_answers_.pop_front();
  return answer;
}

std::optional<std::string> ScriptedUserInterface::PromptLine(const std::string& title,
                                                              const std::string& prompt,
                                                              const std::string& initial,
                                                              int max_length) {
  prompts_.push_back({title, prompt, initial, max_length});
  if (prompt_answers_.empty()) throw ScriptExhausted("unexpected prompt: " + prompt);
  std::optional<std::string> answer = prompt_answers_.front();
  prompt_answers_.pop_front();
  return answer;
}

}  // namespace pix::test
